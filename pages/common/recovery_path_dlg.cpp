#include "recovery_path_dlg.h"

#include <shlobj.h>

#include <cstring>

#include "copyout_progress_dlg.h"
#include "messages.h"
#include "page_state.h"
#include "records/records.h"
#include "recovery_report_dlg.h"
#include "recovery_totals.h"
#include "resource.h"
#include "page_host.h"
#include "state.h"

namespace {

const int kLabelIds[9] = {IDC_DEST_WARN_IF,   IDC_DEST_WARN_DRIVE, IDC_DEST_WARN_REST,
                          IDC_DEST_FILES_LABEL, IDC_DEST_FILE_COUNT, IDC_DEST_FILES_UNIT,
                          IDC_DEST_SIZE_LABEL,  IDC_DEST_SIZE,       IDC_DEST_SIZE_UNIT};
const COLORREF kWarning = RGB(214, 94, 0);
const COLORREF kFigure = RGB(33, 99, 186);

}  // namespace

BEGIN_MESSAGE_MAP(CRecoveryPathPage, CWizardPage)
  ON_BN_CLICKED(IDC_DEST_BANNER, &CRecoveryPathPage::OnLogo)
  ON_BN_CLICKED(IDC_DEST_BROWSE, &CRecoveryPathPage::OnBrowse)
  ON_BN_CLICKED(IDC_DEST_NEXT, &CRecoveryPathPage::OnNext)
  ON_BN_CLICKED(IDC_DEST_BACK, &CRecoveryPathPage::OnBackButton)
  ON_BN_CLICKED(IDC_CLOSE, &CRecoveryPathPage::OnBackButton)
  ON_WM_CLOSE()
END_MESSAGE_MAP()

CRecoveryPathPage::CRecoveryPathPage(UINT templateId, CRecoveryResults* results, RecoveryRoad road)
    : CWizardPage(templateId, results ? results->ResultPage() : nullptr), m_results(results), m_road(road) {}

CRecoveryPathPage::~CRecoveryPathPage() = default;

void CRecoveryPathPage::DoDataExchange(CDataExchange* dx) {
  CWizardPage::DoDataExchange(dx);
  DDX_Text(dx, IDC_DEST_EDIT, m_destination);
  DDX_Text(dx, IDC_DEST_WARN_IF, m_warnIf);
  DDX_Text(dx, IDC_DEST_WARN_DRIVE, m_warnDrive);
  DDX_Text(dx, IDC_DEST_WARN_REST, m_warnRest);
  DDX_Text(dx, IDC_DEST_FILE_COUNT, m_fileCount);
  DDX_Text(dx, IDC_DEST_SIZE, m_size);
  DDX_Text(dx, IDC_DEST_SIZE_UNIT, m_sizeUnit);
}

DestinationRules CRecoveryPathPage::Rules(uint64_t totalSectors) const {
  DestinationRules rules;
  rules.road = m_road;
  rules.recycleBin = m_road == RecoveryRoad::kDeleted && gRecycleBinMode == 1;
  rules.scanTarget = gScanTarget;
  rules.totalSectors = totalSectors;
  if (rules.recycleBin) rules.drivesWithRecords = DrivesHoldingDeletedFiles();
  return rules;
}

BOOL CRecoveryPathPage::OnInitDialog() {
  CWizardPage::OnInitDialog();
  // The logo of these pages has its own id; it looks and acts as on every page.
  m_logo.SubclassDlgItem(IDC_DEST_BANNER, this);
  m_logo.SetSkin(IDB_PAGE_BANNER, IDB_PAGE_BANNER, IDB_PAGE_BANNER, 0, 0, 0, skin::kCopy, 0, 0);
  m_logo.SetWindowPos(nullptr, 12, 8, 48, 48, SWP_NOZORDER | SWP_NOACTIVATE);
  m_next.SubclassDlgItem(IDC_DEST_NEXT, this);
  m_back.SubclassDlgItem(IDC_DEST_BACK, this);
  m_browse.SubclassDlgItem(IDC_DEST_BROWSE, this);
  SkinForwardButton(m_next);
  SkinBackButton(m_back);
  SkinBackButton(m_browse);
  m_heading.SubclassDlgItem(IDC_PAGE_HEADING, this);
  StyleHeading(m_heading);
  for (int i = 0; i < 9; ++i) {
    m_labels[i].SubclassDlgItem(kLabelIds[i], this);
    StyleBodyText(m_labels[i]);
  }
  for (int i : {0, 1, 2}) m_labels[i].SetTextColor(kWarning);
  for (int i : {4, 7}) m_labels[i].SetFontBold(TRUE).SetTextColor(kFigure);
  SendDlgItemMessage(IDC_DEST_EDIT, EM_LIMITTEXT, 511);

  // The proposal: "X:\ZUL" on the drive that suits best.
  const uint64_t total = SelectionSectors();
  DriveFacts facts;
  const DestinationRules rules = Rules(total);
  m_proposed = FindDefaultDestination(rules, facts);
  if (m_proposed) {
    m_destination = "C:\\ZUL";
    m_destination.SetAt(0, m_proposed);
    m_warnIf = LoadText(IDS_IF);
    m_warnDrive = CString(m_proposed, 1);
    m_warnRest = LoadText(IDS_DRIVE_HAS_FILES);
  } else {
    if (!rules.recycleBin) m_destination.Empty();
    UINT why = IDS_NEED_USB_SPACE;
    if (rules.recycleBin) why = IDS_NEED_USB_RECYCLE;
    if (m_road == RecoveryRoad::kDeep && ScannedDiskNumber(gScanTarget) >= 0) why = IDS_NEED_SECOND_DISK;
    m_warnIf = LoadText(why);
    m_warnDrive.Empty();
    m_warnRest.Empty();
  }
  m_fileCount.Format("%u", m_results ? m_results->ChosenFileCount() : 0u);
  SizeText(total, &m_size, &m_sizeUnit);
  UpdateData(FALSE);
  LayOutWarning();
  return TRUE;
}

// "如果" + the letter + the rest, each right after the one before it.
void CRecoveryPathPage::LayOutWarning() {
  HWND parts[3] = {::GetDlgItem(m_hWnd, IDC_DEST_WARN_IF), ::GetDlgItem(m_hWnd, IDC_DEST_WARN_DRIVE),
                   ::GetDlgItem(m_hWnd, IDC_DEST_WARN_REST)};
  if (!parts[0] || !parts[1] || !parts[2]) return;
  CRect first;
  ::GetWindowRect(parts[0], &first);
  ScreenToClient(&first);
  CClientDC dc(this);
  int x = first.left;
  const CString texts[3] = {m_warnIf, m_warnDrive, m_warnRest};
  for (int i = 0; i < 3; ++i) {
    HFONT font = reinterpret_cast<HFONT>(::SendMessageA(parts[i], WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
    SIZE size = {};
    ::GetTextExtentPoint32A(dc, texts[i], texts[i].GetLength(), &size);
    if (old) ::SelectObject(dc, old);
    const int width = i == 2 ? 600 - x : size.cx + 1;
    ::SetWindowPos(parts[i], nullptr, x, first.top, width > 0 ? width : 1, first.Height(),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    x += size.cx;
  }
}

void CRecoveryPathPage::PaintBody(CDC* dc, const CRect&) {
  // A frame round the edit box, and the summary panel with its picture.
  if (HWND edit = ::GetDlgItem(m_hWnd, IDC_DEST_EDIT)) {
    CRect r;
    ::GetWindowRect(edit, &r);
    ScreenToClient(&r);
    r.InflateRect(1, 1);
    CBrush frame;
    frame.CreateSolidBrush(RGB(150, 168, 190));
    dc->FrameRect(&r, &frame);
  }
  CRect panel(120, 236, 600, 332);
  PaintPanel(dc, panel);
  CBitmap picture;
  if (picture.LoadBitmap(IDB_DESTINATION_PICTURE)) dc->DrawBitmap(picture, 138, 251, 76, 66);
}

void CRecoveryPathPage::OnBrowse() {
  CString folder;
  if (!PickFolder(m_hWnd, nullptr, BIF_NEWDIALOGSTYLE | BIF_EDITBOX, &folder)) return;
  CString text = BrowsedDestination(folder, m_road, gScanTarget);
  if (m_road != RecoveryRoad::kDeleted && text.GetLength() >= MAX_PATH) {
    MessageBox(LoadText(IDS_DEST_TOO_LONG), m_caption);
    return;
  }
  SetDlgItemText(IDC_DEST_EDIT, text);
}

void CRecoveryPathPage::OnNext() {
  UpdateData(TRUE);
  if (m_destination.GetLength() > 512) m_destination = m_destination.Left(512);
  DriveFacts facts;
  const UINT refusal = CheckDestination(m_destination, Rules(SelectionSectors()), facts);
  if (refusal) {
    MessageBox(LoadText(refusal), m_caption, MB_OK);
    return;
  }
  if (CPageHost* host = PageHost()) host->Stats().btnrecover = 1;
  std::memset(m_destFolder, 0, sizeof m_destFolder);
  std::strncpy(m_destFolder, m_destination, sizeof m_destFolder - 2);
  const size_t n = std::strlen(m_destFolder);
  if (n && m_destFolder[n - 1] != '\\') m_destFolder[n] = '\\';
  m_recoveredKnown = false;
  m_recoveredCount = 0;
  StartCopyOut();
}

void CRecoveryPathPage::LeaveBack() {
  if (m_results && m_results->ResultPage()) m_results->ResultPage()->ShowWindow(SW_SHOW);
  DestroyWindow();
}

void CRecoveryPathPage::OnBackButton() { LeaveBack(); }
void CRecoveryPathPage::OnClose() { LeaveBack(); }

// ---- pages that run their own worker -------------------------------------------------

void CWorkerRecoveryPathPage::RunCopyOut(UINT progressTemplate, HWND* progressWindow) {
  if (!m_copyOutWorker || WorkerRunning()) return;
  if (m_worker) m_worker->Join();
  gRecoverAbort = 0;
  ResetCopyOutCounters();
  CCopyOutProgressPage* progress = ProgressPage();
  if (progress->m_hWnd) progress->DestroyWindow();
  progress->PrepareRun();
  if (!progress->Create(progressTemplate, this)) return;
  PlacePage(progress);
  progress->ShowWindow(SW_SHOW);
  *progressWindow = progress->m_hWnd;
  ShowWindow(SW_HIDE);
  m_worker = AfxBeginThread(m_copyOutWorker, this);
}

LRESULT CWorkerRecoveryPathPage::ForwardWorkerEnd() {
  // Sent by the worker as its last act: the page finishes once it has returned.
  CCopyOutProgressPage* progress = ProgressPage();
  if (progress && progress->m_hWnd) progress->PostMessage(WM_COPYOUT_FINISHED);
  return 1;
}

void CWorkerRecoveryPathPage::StopWorker(std::atomic<uint32_t>& stopFlag) {
  if (!m_worker) return;
  stopFlag = 1;
  m_worker->Join();
  m_worker.reset();
}
