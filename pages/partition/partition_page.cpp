#include "partition_page.h"

#include <commdlg.h>

#include <algorithm>

#include "disk/identity.h"
#include "disk/raw.h"
#include "messages.h"
#include "partition/partition_backup.h"
#include "partition/partition_search.h"
#include "partition/partition_table.h"
#include "volume/sector_zero.h"
#include "resource.h"
#include "page_host.h"
#include "shellitems.h"
#include "source_texts.h"
#include "wizard_page.h"

namespace {

// Where the controls sit, in pixels of the 640 x 480 page. The pictures of
// the tiles, the picture and the help link are drawn for exactly these
// rectangles over the background (resources/skin/parts/partition.py).
struct Place {
  int id;
  int x, y, w, h;
};
const int kPageWidth = 640, kPageHeight = 480;
const Place kLayout[] = {
    {IDC_PAGE_TITLE, 72, 21, 300, 24},
    {IDC_MINIMISE, 579, 1, 30, 24},
    {IDC_CLOSE, 609, 1, 30, 24},
    {IDC_PART_HEADING, 24, 80, 292, 18},
    {IDC_PART_DISKS, 24, 102, 292, 250},
    {IDC_PART_OPERATIONS, 336, 80, 280, 18},
    {IDC_PART_PICTURE, 336, 102, 280, 52},
    {IDC_PART_BACKUP, 336, 162, 280, 58},
    {IDC_PART_RESTORE, 336, 228, 280, 58},
    {IDC_PART_REBUILD, 336, 294, 280, 58},
    {IDC_PART_BADGE, 24, 371, 40, 18},
    {IDC_PART_NOTE, 74, 372, 542, 36},
    {IDC_PART_LINK, 24, 428, 96, 26},
    {IDC_PART_BACK, 526, 426, 90, 30},
};

// The tiles: the icon's column, the height of the line under the caption.
const int kTileIconColumn = 60;
const int kTileHintHeight = 25;
const COLORREF kTileCaption = RGB(35, 45, 60);
const COLORREF kTileHint = RGB(112, 120, 132);
const COLORREF kBadgeOrange = 0x0C78FC;
const COLORREF kListFrame = RGB(190, 203, 212);

const char kBackupFilter[] = "VEX Partition Info Backup File(*.VXB)\0*.VXB\0All(*.*)\0*.*\0";
const char kBackupExtension[] = "VXB";

// "磁盘0" ... "磁盘3" are strings of their own; further disks take the
// name of disk 0 with their own number.
CString DiskName(int disk) {
  CString name;
  if (disk >= 0 && disk <= 3) {
    name.LoadString(IDS_DISK0 + disk);
    return name;
  }
  name.LoadString(IDS_DISK0);
  if (!name.IsEmpty() && name[name.GetLength() - 1] == '0') name = name.Left(name.GetLength() - 1);
  CString number;
  number.Format("%d", disk);
  return name + number;
}

void SkinTile(CPartitionTile& tile, UINT normal, UINT pressed, UINT hover, UINT hint) {
  tile.SetSkin(normal, pressed, hover, 0, 0, 0, skin::kCopy, 0, 0);
  tile.SetCursor(IDCUR_HAND);
  tile.SetFontName("宋体");
  tile.SetFontSize(-14);
  tile.SetFontBold(TRUE);
  tile.SetTextColor(kTileCaption);
  tile.SetCaptionFormat(DT_LEFT);
  tile.SetSubTextLayout(2, kTileIconColumn, kTileHintHeight);
  tile.SetSubTextColor(kTileHint);
  tile.SetSubText(hint);
}

}  // namespace

// ---- CPartitionTile ------------------------------------------------------------------

void CPartitionTile::DrawSubText(HDC dc, const RECT& item, UINT state) {
  if (subText_.empty()) return;
  RECT r = {item.left + iconColumn_ + 2, item.bottom - subHeight_, item.right - 10, item.bottom};
  if ((state & ODS_SELECTED) || checked_) OffsetRect(&r, 1, 1);
  LOGFONTA lf = {};
  lf.lfHeight = -12;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(lf.lfFaceName, "宋体", LF_FACESIZE);
  HFONT font = CreateFontIndirectA(&lf);
  HGDIOBJ old = SelectObject(dc, font);
  const UINT format = DT_SINGLELINE | DT_TOP | DT_END_ELLIPSIS | DT_NOPREFIX;
  if (state & ODS_DISABLED) {
    skin::DrawEmbossed(dc, subText_.c_str(), r, format);
  } else {
    ::SetTextColor(dc, subColour_);
    DrawTextA(dc, subText_.c_str(), -1, &r, format);
  }
  SelectObject(dc, old);
  DeleteObject(font);
}

// ---- CRebuildBusyBox -----------------------------------------------------------------

namespace {
const int kStopButtonId = IDCANCEL;
const UINT_PTR kProgressTimer = 1;
const UINT kProgressMs = 200;
}  // namespace

BEGIN_MESSAGE_MAP(CRebuildBusyBox, CStopRecoveryScrollBar)
  ON_BN_CLICKED(IDCANCEL, &CRebuildBusyBox::AskStop)
END_MESSAGE_MAP()

BOOL CRebuildBusyBox::OnInitDialog() {
  CStopRecoveryScrollBar::OnInitDialog();
  m_stopAsked = false;
  m_shown = ~0u;
  // The box grows by a row for its stop button, under the bar.
  CRect r;
  GetWindowRect(&r);
  const int buttonW = 80, buttonH = 24;
  SetWindowPos(nullptr, 0, 0, r.Width(), r.Height() + buttonH + 8, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  CRect client;
  GetClientRect(&client);
  HWND button = ::CreateWindowExA(0, "BUTTON", LoadText(IDS_PART_SEARCH_STOP).GetString(),
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, client.right - buttonW - 16,
                                  client.bottom - buttonH - 8, buttonW, buttonH, m_hWnd,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStopButtonId)),
                                  AfxGetResourceHandle(), nullptr);
  if (button) {
    m_stop.SubclassDlgItem(kStopButtonId, this);
    SkinBackButton(m_stop);
    m_stop.SetWindowText(LoadText(IDS_PART_SEARCH_STOP));
  }
  CenterWindow();
  ShowProgress(0);
  return TRUE;
}

void CRebuildBusyBox::ShowProgress(unsigned permille) {
  if (!m_hWnd || m_stopAsked) return;
  const unsigned percent = std::min(permille, 1000u) / 10;
  if (percent == m_shown) return;
  m_shown = percent;
  CString text;
  text.Format(LoadText(IDS_PART_SEARCH_PROGRESS).GetString(), percent);
  m_label.SetText(text);
}

void CRebuildBusyBox::AskStop() {
  if (m_stopAsked) return;
  m_stopAsked = true;
  StopLostPartitionSearch();
  m_label.SetText(LoadText(IDS_PART_SEARCH_STOPPING));
  if (m_stop.m_hWnd) m_stop.EnableWindow(FALSE);
}

// ---- CRPartitionDlg ------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CRPartitionDlg, CDialog)
  ON_BN_CLICKED(IDC_PART_BACKUP, &CRPartitionDlg::OnBackup)
  ON_BN_CLICKED(IDC_PART_RESTORE, &CRPartitionDlg::OnRestore)
  ON_BN_CLICKED(IDC_PART_REBUILD, &CRPartitionDlg::OnRebuild)
  ON_BN_CLICKED(IDC_PART_LINK, &CRPartitionDlg::OnLink)
  ON_BN_CLICKED(IDC_PART_BACK, &CRPartitionDlg::OnBack)
  ON_BN_CLICKED(IDC_CLOSE, &CRPartitionDlg::OnBack)
  ON_BN_CLICKED(IDC_MINIMISE, &CRPartitionDlg::OnMinimise)
  ON_MESSAGE(WM_PARTSEARCH_DONE, &CRPartitionDlg::OnPartSearchDone)
  ON_MESSAGE(WM_DISKS_NOT_READ, &CRPartitionDlg::OnDisksNotRead)
  ON_WM_TIMER()
  ON_WM_ERASEBKGND()
  ON_WM_NCHITTEST()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CDialog* NewPartitionPage() { return new CRPartitionDlg(nullptr); }

CRPartitionDlg::CRPartitionDlg(CWnd* parent) : CDialog(IDD_PARTITION, parent) {
  m_icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_MAIN));
}

CRPartitionDlg::~CRPartitionDlg() {
  // A page deleted without its window going first still waits for its worker.
  if (m_worker) m_worker->Join();
}

BOOL CRPartitionDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_caption.LoadString(IDS_APP_TITLE);
  SetWindowText(m_caption);
  SetIcon(m_icon, TRUE);
  SetIcon(m_icon, FALSE);
  HMENU menu = GetSystemMenu(FALSE);
  DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
  DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
  LayOut();

  m_title.SubclassDlgItem(IDC_PAGE_TITLE, this);
  StyleBandTitle(m_title, 20);
  m_minimise.SubclassDlgItem(IDC_MINIMISE, this);
  m_minimise.SetSkin(IDB_MINIMISE, IDB_MINIMISE, IDB_MINIMISE_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
  m_close.SubclassDlgItem(IDC_CLOSE, this);
  m_close.SetSkin(IDB_CLOSE, IDB_CLOSE, IDB_CLOSE_HOVER, 0, 0, 0, skin::kStretch, 0, 0);

  m_heading.SubclassDlgItem(IDC_PART_HEADING, this);
  StyleHeading(m_heading);
  m_operations.SubclassDlgItem(IDC_PART_OPERATIONS, this);
  StyleHeading(m_operations);
  m_badge.SubclassDlgItem(IDC_PART_BADGE, this);
  m_badge.SetFontName("宋体").SetFontSize(12).SetFontBold(TRUE).SetTextColor(RGB(255, 255, 255)).SetBkColor(kBadgeOrange);
  m_note.SubclassDlgItem(IDC_PART_NOTE, this);
  StyleBodyText(m_note);

  m_backup.SubclassDlgItem(IDC_PART_BACKUP, this);
  SkinTile(m_backup, IDB_BACKUP, IDB_BACKUP_DOWN, IDB_BACKUP_OVER, IDS_PART_BACKUP_HINT);
  m_restore.SubclassDlgItem(IDC_PART_RESTORE, this);
  SkinTile(m_restore, IDB_RESTORE, IDB_RESTORE_DOWN, IDB_RESTORE_OVER, IDS_PART_RESTORE_HINT);
  m_rebuild.SubclassDlgItem(IDC_PART_REBUILD, this);
  SkinTile(m_rebuild, IDB_REBUILD, IDB_REBUILD_DOWN, IDB_REBUILD_OVER, IDS_PART_REBUILD_HINT);

  m_link.SubclassDlgItem(IDC_PART_LINK, this);
  m_link.SetSkin(IDB_LINK_BUTTON, IDB_LINK_BUTTON, IDB_LINK_BUTTON_OVER, 0, 0, 0, skin::kCopy, 0, 0);
  m_link.SetCursor(IDCUR_HAND);
  m_link.SetFontName("宋体");
  m_link.SetFontSize(-12);
  m_link.SetTextColor(kPageLinkText);
  m_link.SetCaptionFormat(DT_LEFT);
  m_link.SetSubTextLayout(0, 24, 0);
  m_picture.SubclassDlgItem(IDC_PART_PICTURE, this);
  m_picture.SetSkin(IDB_PARTITION_PICTURE, IDB_PARTITION_PICTURE, IDB_PARTITION_PICTURE, IDB_PARTITION_PICTURE, 0, 0,
                    skin::kCopy, 0, 0);
  m_back.SubclassDlgItem(IDC_PART_BACK, this);
  SkinBackButton(m_back);

  m_disks.SubclassDlgItem(IDC_PART_DISKS, this);
  m_disks.SetExtendedStyle(m_disks.GetExtendedStyle() | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB);
  static CSystemImageList systemIcons;   // the shell's list: shared, never destroyed by the list view
  m_disks.SetImageList(systemIcons.GetImageList(TRUE), LVSIL_SMALL);
  CString heading;
  heading.LoadString(IDS_COL_DISK);
  m_disks.InsertColumn(0, heading, LVCFMT_LEFT, 57);
  heading.LoadString(IDS_COL_DISK_SERIAL);
  m_disks.InsertColumn(1, heading, LVCFMT_LEFT, 230);
  FillDiskList();
  if (!m_unreadDisks.empty()) PostMessage(WM_DISKS_NOT_READ);
  return TRUE;
}

void CRPartitionDlg::LayOut() {
  SetWindowPos(nullptr, 0, 0, kPageWidth, kPageHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (const Place& p : kLayout) {
    if (HWND control = ::GetDlgItem(m_hWnd, p.id))
      ::SetWindowPos(control, nullptr, p.x, p.y, p.w, p.h, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void CRPartitionDlg::FillDiskList() {
  m_disks.DeleteAllItems();
  const int icon = CSystemImageList::GetIconIndex("c:\\", TRUE, FALSE, TRUE);
  CString noIdentity;
  noIdentity.LoadString(IDS_USB_STORAGE);
  m_unreadDisks.clear();
  for (int disk = 0; disk < kPartitionPageDisks; ++disk) {
    char path[32];
    MakeDiskPath(disk, path);
    if (!path[0]) continue;
    ClearDeviceError();
    SectorZero zero;
    if (!ReadDiskSectorZero(path, &zero)) {
      // No such disk is passed over; one that is there but cannot be read
      // is told of, never silently missing from the list.
      const SourceReport report = DiskFailure(zero.state, disk, zero.deviceError);
      if (WorthReporting(report)) m_unreadDisks.push_back(report);
      continue;
    }
    const int row = m_disks.InsertItem(m_disks.GetItemCount(), DiskName(disk), icon);
    if (row < 0) continue;
    // The row keeps its disk number: with a disk missing before it, the row
    // index is not the disk number.
    m_disks.SetItemData(row, static_cast<DWORD_PTR>(disk));
    const char* identity = GetDiskIdentifyText(disk);
    m_disks.SetItemText(row, 1, identity && identity[0] ? identity : noIdentity.GetString());
  }
}

LRESULT CRPartitionDlg::OnDisksNotRead(WPARAM, LPARAM) {
  if (m_unreadDisks.empty()) return 0;
  CString text;
  text.LoadString(IDS_DISKS_NOT_READ);
  text += "\r\n\r\n";
  text += DescribeSourceFailures(m_unreadDisks);
  SayText(text, MB_OK | MB_ICONWARNING);
  return 0;
}

int CRPartitionDlg::SelectedDisk() const {
  const int row = m_disks.GetSelectedItem();
  if (row < 0) return -1;
  return static_cast<int>(m_disks.GetItemData(row));
}

bool CRPartitionDlg::SelectDisk(int disk) {
  for (int row = 0; row < m_disks.GetItemCount(); ++row) {
    if (static_cast<int>(m_disks.GetItemData(row)) != disk) continue;
    m_disks.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    m_disks.EnsureVisible(row, FALSE);
    return true;
  }
  return false;
}

int CRPartitionDlg::Say(UINT stringId, UINT type) {
  CString text;
  text.LoadString(stringId);
  return SayText(text, type);
}

int CRPartitionDlg::SayText(const char* text, UINT type) { return MessageBox(text, m_caption, type); }

bool CRPartitionDlg::ChooseBackupFile(bool forSaving, CString* path) {
  char file[MAX_PATH] = "";
  lstrcpynA(file, path->GetString(), MAX_PATH);
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = m_hWnd;
  ofn.lpstrFilter = kBackupFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrTitle = m_caption;
  ofn.lpstrDefExt = kBackupExtension;
  // The save dialog does not ask for an existing file: a backup is only
  // ever written to a new one.
  ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | (forSaving ? 0 : OFN_FILEMUSTEXIST);
  const BOOL chosen = forSaving ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!chosen || !file[0]) return false;
  *path = file;
  return true;
}

void CRPartitionDlg::OnBackup() {
  if (IsRebuilding()) return;
  const int disk = SelectedDisk();
  if (disk < 0) {
    Say(IDS_SELECT_DISK, MB_OK | MB_ICONINFORMATION);
    return;
  }
  CString path;
  for (;;) {
    if (!ChooseBackupFile(true, &path)) return;
    // A backup never replaces a file: the user names another one.
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) break;
    Say(IDS_BACKUP_EXISTS, MB_OK | MB_ICONEXCLAMATION);
  }
  int result;
  {
    CWaitCursor wait;
    result = BackupPartitionInfo(disk, path);
  }
  if (result == kBackupCannotStart && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
    Say(IDS_BACKUP_EXISTS, MB_OK | MB_ICONEXCLAMATION);   // made by someone else meanwhile
    return;
  }
  Say(BackupResultString(result), MB_OK | (result == kBackupDone ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
}

UINT CRPartitionDlg::BackupResultString(int result) {
  switch (result) {
    case kBackupDone:
      return IDS_BACKUP_DONE;
    case kBackupGptDisk:
      return IDS_PART_GPT_DISK;
    default:
      return IDS_BACKUP_FAILED;
  }
}

UINT CRPartitionDlg::RestoreResultString(int result, bool toldUser) {
  switch (result) {
    case kRestoreDone:
      return IDS_RESTORE_DONE;
    case kRestoreRefused:
      // The restore said why (not a backup file, another disk's) or the user
      // declined.
      return toldUser ? 0 : IDS_BACKUP_INVALID;
    case kRestoreCannotOpen:
      return IDS_PART_CANNOT_OPEN_FILE;
    case kRestoreGptDisk:
      return IDS_PART_GPT_DISK;
    case kRestoreWriteFailed:
      return IDS_PART_RESTORE_UNDONE;
    case kRestoreIncomplete:
      return IDS_PART_RESTORE_INCOMPLETE;
    case kRestoreCannotKeepOld:
      return IDS_PART_CANNOT_KEEP_OLD;
    default:
      return IDS_DISK_IO_ERROR;
  }
}

namespace {

// text, a blank line, then the loaded format filled with the file's path.
void AppendFileNote(CString* text, UINT format, const char* file) {
  if (!file || !file[0]) return;
  CString note;
  note.Format(LoadText(format).GetString(), file);
  *text += "\r\n\r\n";
  *text += note;
}

}  // namespace

CString CRPartitionDlg::RestoreResultText(int result, bool toldUser, const char* backupFile, const char* keptFile) {
  const UINT id = RestoreResultString(result, toldUser);
  if (!id) return CString();
  CString text = LoadText(id);
  switch (result) {
    case kRestoreCannotOpen:
      if (backupFile && backupFile[0]) {
        text += "\r\n";
        text += backupFile;
      }
      text += "\r\n\r\n";
      text += LoadText(IDS_PART_DISK_UNCHANGED);
      break;
    case kRestoreIncomplete:
      AppendFileNote(&text, IDS_PART_KEPT_BEFORE_RESTORE, keptFile);
      break;
    case kRestoreReadFailed:
    case kRestoreCannotKeepOld:
    case kRestoreGptDisk:
      text += "\r\n";
      text += LoadText(IDS_PART_DISK_UNCHANGED);
      break;
    default:
      break;
  }
  return text;
}

bool CRPartitionDlg::AnswerRestoreCheck(void* context, int message) {
  auto* page = static_cast<CRPartitionDlg*>(context);
  page->m_restoreToldUser = true;
  if (message == kRestoreMsgNoDiskIdentity)
    return page->Say(IDS_BACKUP_NO_IDENTITY, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDYES;
  page->Say(message == kRestoreMsgOtherDisk ? IDS_BACKUP_OTHER_DISK : IDS_BACKUP_INVALID, MB_OK | MB_ICONEXCLAMATION);
  return false;
}

void CRPartitionDlg::OnRestore() {
  if (IsRebuilding()) return;
  const int disk = SelectedDisk();
  if (disk < 0) {
    Say(IDS_SELECT_DISK_TO_OPERATE, MB_OK | MB_ICONINFORMATION);
    return;
  }
  // After a rebuild of this disk the copy of the sector it replaced is
  // offered first: the way back.
  CString path;
  if (gPreviousSector0Disk == disk && gPreviousSector0File[0] &&
      GetFileAttributesA(gPreviousSector0File) != INVALID_FILE_ATTRIBUTES)
    path = gPreviousSector0File;
  if (!ChooseBackupFile(false, &path)) return;
  if (Say(IDS_RESTORE_CONFIRM, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES) return;
  int result;
  std::string kept;
  {
    CWaitCursor wait;
    m_restoreToldUser = false;
    result = RestorePartitionInfo(disk, path, &CRPartitionDlg::AnswerRestoreCheck, this, &kept);
  }
  const CString text = RestoreResultText(result, m_restoreToldUser, path, kept.c_str());
  if (!text.IsEmpty()) SayText(text, MB_OK | (result == kRestoreDone ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
}

UINT CRPartitionDlg::RebuildResultString(int result) {
  switch (result) {
    case kSearchWritten:
      return IDS_REBUILD_DONE;
    case kSearchTableValid:
      return IDS_TABLE_OK;
    case kSearchNothingFound:
      return IDS_NO_PARTITION_FOUND;
    case kSearchGptDisk:
      return IDS_PART_GPT_DISK;
    case kSearchWriteFailed:
      return IDS_PART_REBUILD_WRITE_FAILED;
    case kSearchCannotKeepOld:
      return IDS_PART_CANNOT_KEEP_OLD;
    case kSearchStopped:
      return IDS_PART_SEARCH_STOPPED;
    default:   // the disk failed, or nothing was written for safety's sake
      return IDS_DISK_IO_ERROR;
  }
}

CString CRPartitionDlg::RebuildResultText(int result, const char* keptFile) {
  CString text = LoadText(RebuildResultString(result));
  switch (result) {
    case kSearchWritten:
    case kSearchWriteFailed:
      // The way back: the sector 0 that the new table replaced, or may have.
      AppendFileNote(&text, IDS_PART_PREVIOUS_SECTOR0, keptFile);
      break;
    default:   // every other result has written nothing
      text += "\r\n";
      text += LoadText(IDS_PART_DISK_UNCHANGED);
      break;
  }
  return text;
}

void CRPartitionDlg::OnRebuild() {
  if (IsRebuilding()) return;
  const int disk = SelectedDisk();
  if (disk < 0) {
    Say(IDS_SELECT_DISK_TO_OPERATE, MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (Say(IDS_REBUILD_CONFIRM, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES) return;
  m_rebuildDisk = disk;
  m_rebuildResult = kSearchDiskError;
  m_notify = m_hWnd;
  PrepareRebuiltSector0();
  BeginLostPartitionSearch();
  m_busy.m_messageMode = 1;
  if (m_busy.Show(this)) m_busy.ShowWindow(SW_SHOW);
  m_progressTimer = SetTimer(kProgressTimer, kProgressMs);
  m_worker = AfxBeginThread(&CRPartitionDlg::RebuildPartitionTableThreadProc, this);
  if (!m_worker) {
    EndRebuild();
    Say(IDS_DISK_IO_ERROR, MB_OK | MB_ICONEXCLAMATION);
  }
}

UINT CRPartitionDlg::RebuildPartitionTableThreadProc(LPVOID param) {
  auto* page = static_cast<CRPartitionDlg*>(param);
  page->m_rebuildResult = SearchLostPartitions(page->m_rebuildDisk);
  ::PostMessageA(page->m_notify, WM_PARTSEARCH_DONE, 0, 0);
  return 0;
}

void CRPartitionDlg::EndRebuild() {
  if (m_progressTimer) {
    KillTimer(m_progressTimer);
    m_progressTimer = 0;
  }
  if (m_busy.m_hWnd) m_busy.DestroyWindow();   // enables the page again
}

void CRPartitionDlg::OnTimer(UINT_PTR id) {
  if (id == kProgressTimer && m_worker) m_busy.ShowProgress(LostPartitionSearchProgress());
}

CString CRPartitionDlg::FindingsLeftOut() {
  CString lines;
  for (const LostPartitionFinding& f : LostPartitionFindings()) {
    if (f.written) continue;
    const char* kind = f.type == kPartTypeNtfs ? "NTFS" : f.type == kPartTypeFat32 ? "FAT32" : "FAT";
    CString line;
    line.Format(LoadText(IDS_PART_FOUND_LINE).GetString(), kind, static_cast<unsigned long>(f.start),
                static_cast<unsigned long>(f.sectors));
    lines += "\r\n";
    lines += line;
  }
  if (lines.IsEmpty()) return lines;
  return LoadText(IDS_PART_FOUND_NOT_WRITTEN) + lines;
}

LRESULT CRPartitionDlg::OnPartSearchDone(WPARAM, LPARAM) {
  if (!m_worker) return 0;
  m_worker->Join();
  m_worker.reset();
  EndRebuild();
  const int result = m_rebuildResult;
  const bool keptThisDisk = gPreviousSector0Disk == m_rebuildDisk && gPreviousSector0File[0];
  CString text = RebuildResultText(result, keptThisDisk ? gPreviousSector0File : nullptr);
  if (result == kSearchWritten || result == kSearchWriteFailed) {
    const CString leftOut = FindingsLeftOut();
    if (!leftOut.IsEmpty()) text += "\r\n\r\n" + leftOut;
  }
  if (const uint64_t unread = LostPartitionSearchUnreadSectors()) {
    CString note;
    note.Format(LoadText(IDS_PART_SEARCH_UNREAD).GetString(),
                static_cast<unsigned long>(std::min<uint64_t>(unread, 0xFFFFFFFFu)));
    text += "\r\n\r\n" + note;
  }
  const bool fine = result == kSearchWritten || result == kSearchTableValid;
  SayText(text, MB_OK | (fine ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
  return 0;
}

void CRPartitionDlg::OnLink() { OpenServicePage(IDS_URL_SERVICE); }

void CRPartitionDlg::OnBack() {
  if (IsRebuilding()) return;
  if (CPageHost* host = PageHost()) host->ShowMainWindow();
  ShowWindow(SW_HIDE);
}

void CRPartitionDlg::OnMinimise() { ShowWindow(SW_MINIMIZE); }

BOOL CRPartitionDlg::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  CBitmap background;
  if (background.LoadBitmap(IDB_PARTITION_BACKGROUND))
    dc->DrawBitmap(background, 0, 0, client.Width(), client.Height());
  else
    dc->FillSolidRect(&client, kPageBody);
  // The frame of the disk list.
  if (HWND list = ::GetDlgItem(m_hWnd, IDC_PART_DISKS)) {
    CRect r;
    ::GetWindowRect(list, &r);
    ScreenToClient(&r);
    r.InflateRect(1, 1);
    CBrush frame;
    frame.CreateSolidBrush(kListFrame);
    dc->FrameRect(&r, &frame);
  }
  CBrush black;
  black.CreateSolidBrush(RGB(0, 0, 0));
  dc->FrameRect(&client, &black);
  return TRUE;
}

LRESULT CRPartitionDlg::OnNcHitTest(CPoint point) {
  LRESULT hit = CDialog::OnNcHitTest(point);
  return hit == HTCLIENT ? HTCAPTION : hit;
}

void CRPartitionDlg::OnDestroy() {
  // The search is not interrupted (it may be writing sector 0): the page
  // waits for it, and its message then finds no window.
  if (m_worker) {
    m_worker->Join();
    m_worker.reset();
  }
  EndRebuild();
  CDialog::OnDestroy();
}
