#include "unformat_location_page.h"

#include "resource.h"
#include "page_host.h"
#include "unformat/unformat.h"
#include "unformat_scan_page.h"

const UnformatFsChoice kUnformatFsChoices[4] = {
    {"FAT16", kUnformatFat16},
    {"FAT32", kUnformatFat32},
    {"NTFS", kUnformatNtfs},
    {nullptr, kUnformatDetect},   // string 64 "自动识别"
};

namespace {

UINT SystemDriveType(const char* root) { return GetDriveTypeA(root); }

std::string SystemVolumeLabel(const char* root) {
  char label[261] = {};
  if (!GetVolumeInformationA(root, label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0)) return "";
  label[sizeof label - 1] = 0;
  return label;
}

// Row images of IDB_UF_VOLUME_ICONS.
enum { kVolumeImageDisk = 0, kVolumeImageRemovable = 1 };

}  // namespace

std::vector<UnformatVolumeRow> ListUnformatVolumes(DWORD logicalDrives, UINT (*driveType)(const char* root),
                                                   std::string (*label)(const char* root), const char* localDisk) {
  std::vector<UnformatVolumeRow> rows;
  // From C: on: A: and B: have no drive index.
  DWORD bits = logicalDrives >> 2;
  for (char letter = 'C'; bits && letter <= 'Z'; ++letter, bits >>= 1) {
    if (!(bits & 1)) continue;
    const char root[4] = {letter, ':', '\\', 0};
    const UINT type = driveType(root);
    if (type == DRIVE_CDROM) continue;
    std::string name = label(root);
    if (name.empty()) name = localDisk ? localDisk : "";
    UnformatVolumeRow row;
    row.text = name + " (" + letter + ":)";
    row.driveIndex = letter - 'C';
    row.removable = type == DRIVE_REMOVABLE;
    rows.push_back(row);
  }
  return rows;
}

CDialog* NewUnformatLocationPage() { return new CFormatRecvrDlg(nullptr); }

BEGIN_MESSAGE_MAP(CFormatRecvrDlg, CWizardPage)
  ON_BN_CLICKED(IDC_UFLOC_NEXT, &CFormatRecvrDlg::OnNext)
  ON_BN_CLICKED(IDC_UFLOC_BACK, &CFormatRecvrDlg::OnBack)
  ON_BN_CLICKED(IDC_CLOSE, &CFormatRecvrDlg::OnBack)
  ON_CBN_SELCHANGE(IDC_UFLOC_FS, &CFormatRecvrDlg::OnFsChange)
  ON_WM_CLOSE()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CFormatRecvrDlg::CFormatRecvrDlg(CWnd* parent) : CWizardPage(IDD_UNFORMAT_LOCATION, parent) {}

CFormatRecvrDlg::~CFormatRecvrDlg() { DestroyScanPage(); }

BOOL CFormatRecvrDlg::OnInitDialog() {
  CWizardPage::OnInitDialog();
  m_next.SubclassDlgItem(IDC_UFLOC_NEXT, this);
  m_back.SubclassDlgItem(IDC_UFLOC_BACK, this);
  SkinForwardButton(m_next);
  SkinBackButton(m_back);
  m_heading.SubclassDlgItem(IDC_UFLOC_HEADING, this);
  StyleHeading(m_heading);
  m_fsLabel.SubclassDlgItem(IDC_UFLOC_FS_LABEL, this);
  StyleBodyText(m_fsLabel);
  m_fsLabel.SetFontBold(TRUE);
  m_fsNote.SubclassDlgItem(IDC_UFLOC_FS_NOTE, this);
  StyleBodyText(m_fsNote, true);
  m_note.SubclassDlgItem(IDC_UFLOC_NOTE, this);
  StyleBodyText(m_note, true);

  m_volumes.SubclassDlgItem(IDC_UFLOC_VOLUMES, this);
  m_volumeImages.Create(24, 24, ILC_COLOR24 | ILC_MASK, 2, 0);
  CBitmap icons;
  if (icons.LoadBitmap(IDB_UF_VOLUME_ICONS)) m_volumeImages.Add(&icons, RGB(255, 0, 255));
  m_volumes.SetImageList(&m_volumeImages);
  FillVolumes();

  m_fs.SubclassDlgItem(IDC_UFLOC_FS, this);
  for (const UnformatFsChoice& choice : kUnformatFsChoices) {
    CString text;
    if (choice.text)
      text = choice.text;
    else
      text.LoadString(IDS_FS_AUTO);
    const int row = m_fs.AddString(text);
    m_fs.SetItemData(row, static_cast<DWORD_PTR>(choice.kind));
  }
  m_fs.SetCurSel(kUnformatFsDefaultRow);
  GotoDlgCtrl(&m_volumes);
  return FALSE;   // the focus is on the list
}

void CFormatRecvrDlg::FillVolumes() {
  CString localDisk;
  localDisk.LoadString(IDS_LOCAL_DISK);
  for (const UnformatVolumeRow& row :
       ListUnformatVolumes(GetLogicalDrives(), SystemDriveType, SystemVolumeLabel, localDisk)) {
    const int i = m_volumes.AddString(row.text.c_str(), row.removable ? kVolumeImageRemovable : kVolumeImageDisk);
    m_volumes.SetItemData(i, static_cast<DWORD_PTR>(row.driveIndex));
  }
  if (m_volumes.GetCount() > 0) m_volumes.SetCurSel(0);
}

void CFormatRecvrDlg::PaintBody(CDC* dc, const CRect&) {
  // The list on a white panel; the file-system choice on its own panel with
  // the road's picture above it.
  auto rectOf = [&](int id) {
    CRect r;
    ::GetWindowRect(::GetDlgItem(m_hWnd, id), &r);
    ScreenToClient(&r);
    return r;
  };
  const CRect list = rectOf(IDC_UFLOC_VOLUMES);
  PaintPanel(dc, list);
  const CRect label = rectOf(IDC_UFLOC_FS_LABEL);
  const CRect note = rectOf(IDC_UFLOC_FS_NOTE);
  CRect side(label.left - 10, list.top, note.right + 10, list.bottom);
  PaintPanel(dc, side);
  CBitmap picture;
  if (picture.LoadBitmap(IDB_UF_LOCATION_PICTURE)) {
    BITMAP info = {};
    ::GetObjectA(picture, sizeof info, &info);
    const int x = side.left + (side.Width() - info.bmWidth) / 2;
    const int y = side.top + (label.top - side.top - info.bmHeight) / 2;
    dc->DrawBitmap(picture, x, y);
  }
}

void CFormatRecvrDlg::OnFsChange() { GotoDlgCtrl(&m_next); }

void CFormatRecvrDlg::OnNext() {
  CPageHost* host = PageHost();
  StatisticsRecord& stats = host->Stats();
  BeginOperation(stats, 2, 0);
  stats.filtertype = -1;
  stats.btnrecover = 0;

  const int row = m_volumes.GetCurSel();
  if (row < 0) {
    CString text;
    text.LoadString(IDS_SELECT_VOLUME);
    MessageBox(text, m_caption, MB_OK | MB_ICONINFORMATION);
    return;
  }
  const DWORD_PTR drive = m_volumes.GetItemData(row);
  const int fsRow = m_fs.GetCurSel();
  if (drive == static_cast<DWORD_PTR>(-1) || drive > 'Z' - 'C' || fsRow < 0) return;
  const int kind = static_cast<int>(m_fs.GetItemData(fsRow));
  if (kind < kUnformatNtfs || kind > kUnformatDetect) return;

  // The scan before this one goes, with everything it opened: its result
  // page reads the vectors that the new scan empties.
  DestroyScanPage();
  host->DestroyPage(kUnformatResultPageSlot);

  m_scanPage.reset(new CUnformatScanDlg(this));
  if (!m_scanPage->Create(IDD_UNFORMAT_SCAN, this)) {
    m_scanPage.reset();
    return;
  }
  m_scanPage->SetParameters(kind, static_cast<int>(drive));
  m_scanPage->StartWorker();
  PlacePage(m_scanPage.get());
  m_scanPage->ShowWindow(SW_SHOW);
  ShowWindow(SW_HIDE);
}

void CFormatRecvrDlg::OnBack() {
  PageHost()->ShowMainWindow();
  ShowWindow(SW_HIDE);
}

void CFormatRecvrDlg::DestroyScanPage() {
  if (!m_scanPage) return;
  std::unique_ptr<CUnformatScanDlg> page = std::move(m_scanPage);
  if (page->m_hWnd) page->DestroyWindow();   // joins its worker
}

void CFormatRecvrDlg::OnDestroy() {
  DestroyScanPage();
  CWizardPage::OnDestroy();
}
