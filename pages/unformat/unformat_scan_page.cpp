#include "unformat_scan_page.h"

#include <cstdio>
#include <cstring>

#include "messages.h"
#include "nothing_found_page.h"
#include "recovery_totals.h"
#include "resource.h"
#include "restova_app.h"
#include "source_texts.h"
#include "state.h"
#include "unformat/unformat.h"
#include "unformat_result_page.h"
#include "unformat_results.h"

namespace {

const UINT_PTR kProgressTimer = 1;

const char* KindName(int kind) {
  switch (kind) {
    case kUnformatNtfs: return "NTFS";
    case kUnformatFat32: return "FAT32";
    case kUnformatFat16: return "FAT16";
    default: return nullptr;
  }
}

}  // namespace

BEGIN_MESSAGE_MAP(CUnformatScanDlg, CScanPageBase)
  ON_BN_CLICKED(IDC_UFSCAN_STOP, &CUnformatScanDlg::OnStop)
  ON_BN_CLICKED(IDC_UFSCAN_BACK, &CUnformatScanDlg::OnBack)
  ON_BN_CLICKED(IDC_CLOSE, &CUnformatScanDlg::OnCloseBox)
  ON_WM_CLOSE()
  ON_WM_TIMER()
  ON_MESSAGE(WM_UNFORMAT_PROGRESS, &CUnformatScanDlg::OnProgress)
  ON_MESSAGE(WM_UNFORMAT_PATH, &CUnformatScanDlg::OnPath)
  ON_MESSAGE(WM_UNFORMAT_DONE, &CUnformatScanDlg::OnDone)
  ON_MESSAGE(WM_UNFORMAT_FINISHED, &CUnformatScanDlg::OnScanFinished)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CUnformatScanDlg::CUnformatScanDlg(CWnd* opener) : CScanPageBase(IDD_UNFORMAT_SCAN, opener) {}

CUnformatScanDlg::~CUnformatScanDlg() {
  // Deleted without its window having gone: the worker still reports here.
  StopWorker();
}

void CUnformatScanDlg::SetParameters(int kind, int driveIndex) {
  m_kind = kind;
  m_driveIndex = static_cast<uint8_t>(driveIndex);
}

BOOL CUnformatScanDlg::OnInitDialog() {
  CWizardPage::OnInitDialog();
  SetUpScanControls(IDC_UFSCAN_STOP, IDC_UFSCAN_BACK, IDC_UFSCAN_HEADING, IDC_UFSCAN_FOUND_LABEL, IDC_UFSCAN_PATH);
  m_progress.SubclassDlgItem(IDC_UFSCAN_PROGRESS, this);
  m_volume.SubclassDlgItem(IDC_UFSCAN_VOLUME, this);
  StyleBodyText(m_volume, true);
  m_percent.SubclassDlgItem(IDC_UFSCAN_PERCENT, this);
  StyleBodyText(m_percent);
  m_count.SubclassDlgItem(IDC_UFSCAN_COUNT, this);
  StyleBodyText(m_count, true);
  gScanAbort = 0;
  m_timer = SetTimer(kProgressTimer, 200, nullptr);
  return TRUE;
}

BOOL CUnformatScanDlg::StartWorker() {
  if (m_worker || m_scanEnded || !m_hWnd) return FALSE;
  if (m_driveIndex > 'Z' - 'C' || m_kind < kUnformatNtfs || m_kind > kUnformatDetect) return FALSE;
  // Cleared here, before the thread exists, so that a stop raised at once is
  // never lost to the worker's start.
  gScanAbort = 0;
  gUnformatAbort = 0;
  // Where the results come from: the destination page keeps them off this
  // volume, the progress page shows it before each file.
  std::snprintf(gScanTarget, sizeof gScanTarget, "%c:\\", 'C' + m_driveIndex);

  CString volume;
  const char* fs = KindName(m_kind);
  volume.Format(LoadText(IDS_UNFORMAT_VOLUME), 'C' + m_driveIndex, fs ? fs : LoadText(IDS_FS_AUTO).GetString());
  m_volume.SetText(volume);

  m_worker = AfxBeginThread(m_workerProc ? m_workerProc : UnformatScanThreadProc, this);
  if (!m_worker) {
    // No thread: the page ends as a scan that found nothing.
    m_scanEnded = true;
    PostMessage(WM_UNFORMAT_FINISHED);
    return FALSE;
  }
  return TRUE;
}

UINT UnformatScanThreadProc(LPVOID param) {
  auto* page = static_cast<CUnformatScanDlg*>(param);
  const HWND window = page->m_hWnd;
  const int kind = page->Kind();
  const int driveIndex = page->DriveIndex();
  ClearUnformatResults();
  const int rc = RunUnformatScan(kind, driveIndex, window);
  SourceReport source;
  source.driveIndex = driveIndex;
  if (rc == kUnformatCannotRead) {
    // Without a code the device gave short reads: nothing came back.
    source = VolumeFailure(SourceState::kCannotRead, driveIndex, gUnformatError ? gUnformatError : ERROR_HANDLE_EOF);
  } else if (rc == kUnformatNotSupported) {
    source.state = SourceState::kUnsupported;
    source.reason = Unsupported::kUnknownFileSystem;
  } else if (rc == kUnformatOtherSectorSize) {
    source.state = SourceState::kUnsupported;
    source.reason = Unsupported::kOtherSectorSize;
    source.value = gUnformatError;
  }
  page->SetSource(source);
  if (gScanAbort.load() == 0) {
    SendMessageA(window, WM_UNFORMAT_DONE, 0, 0);
  }
  return 1;
}

void CUnformatScanDlg::PaintBody(CDC* dc, const CRect& client) {
  PaintScanPanel(dc, client, IDC_UFSCAN_HEADING, IDC_UFSCAN_BACK, 22);
}

LRESULT CUnformatScanDlg::OnProgress(WPARAM total, LPARAM position) {
  // Only kept: the timer draws them, so a fast scan does not repaint per read.
  m_total = static_cast<uint32_t>(total);
  m_position = static_cast<uint32_t>(position);
  return 0;
}

void CUnformatScanDlg::OnTimer(UINT_PTR id) {
  if (id != kProgressTimer) return;
  int barTotal = 0, barDone = 0;
  ScaleForBar(m_total, m_position, &barTotal, &barDone);
  m_progress.SetPos(barTotal, barDone);
  CString percent;
  percent.Format("%u%%", m_total ? static_cast<unsigned>(static_cast<uint64_t>(barDone) * 100 / (barTotal ? barTotal : 1))
                                 : 0u);
  m_percent.SetText(percent);
}

LRESULT CUnformatScanDlg::OnPath(WPARAM filesSoFar, LPARAM text) {
  // The text belongs to the worker, which waits until this returns.
  const char* path = reinterpret_cast<const char*>(text);
  if (!path) return 0;
  std::snprintf(gScanTarget, sizeof gScanTarget, "%c:\\", 'C' + m_driveIndex);
  // The first message is the scan's status text; the paths that follow lie
  // on the volume.
  if (m_pathMessages == 0)
    m_pathText = path;
  else
    m_pathText = CString(gScanTarget) + path;
  ++m_pathMessages;
  // A path comes with the number of files found so far (the scan reports
  // only some of them); without it each path counts one.
  if (std::strcmp(path, kUnformatStartText) != 0)
    m_filesFound = filesSoFar ? static_cast<uint32_t>(filesSoFar) : m_filesFound + 1;
  m_path.SetText(m_pathText);
  UpdateCount();
  return 0;
}

void CUnformatScanDlg::UpdateCount() {
  CString count;
  if (m_filesFound) count.Format(LoadText(IDS_FOUND_FILES_COUNT), m_filesFound);
  m_count.SetText(count);
}

LRESULT CUnformatScanDlg::OnDone(WPARAM, LPARAM) {
  CloseAboutBox();
  // The scan ended while the stop question was open: it closes as No.
  if (gStopScanBox.IsAsking() && gStopScanBox.m_pParentWnd == this && gStopScanBox.m_hWnd) gStopScanBox.SendMessage(WM_STOPBOX_END);
  m_scanEnded = true;
  // The worker is still inside SendMessage: the rest waits until it has ended.
  PostMessage(WM_UNFORMAT_FINISHED);
  return 0;
}

void CUnformatScanDlg::AskToStop(StopAction action) {
  if (m_finished || m_left || m_modalDepth > 0) return;
  const bool leaving = action == StopAction::kBack || action == StopAction::kCloseBox;
  // Once Stop was confirmed, or the scan has ended, nothing is asked: Stop
  // and closing wait for the results, Back leaves.
  if (m_stopConfirmed || m_scanEnded) {
    if (leaving) Leave();
    return;
  }
  gStopScanBox.m_pParentWnd = this;
  ++m_modalDepth;
  const int answer = gStopScanBox.Ask();
  gStopScanBox.m_pParentWnd = nullptr;
  --m_modalDepth;
  if (answer != 1 || m_scanEnded) {
    // No, or the scan ended while the question was open (which answers No):
    // a scan that has ended goes on to its results.
    RunPendingFinish();
    return;
  }
  if (leaving) {
    Leave();
    return;
  }
  // Stop and window close: the scan ends where it is; the worker's end
  // then opens what was found so far.
  gUnformatAbort = 1;
  m_stopConfirmed = true;
  m_stop.EnableWindow(FALSE);
}

void CUnformatScanDlg::FinishScan() {
  if (m_finished) return;
  JoinWorker();   // it has sent its end: from here on nothing appends
  m_finished = true;
  m_stop.EnableWindow(FALSE);
  m_back.EnableWindow(FALSE);
  if (m_timer) OnTimer(kProgressTimer);

  CRestovaApp* app = RestovaApp();
  bool opened = false;
  if (m_source.Failed()) {
    // The volume could not be read: that is not a scan that found nothing.
    ShowNothingFound();
    if (auto* page = dynamic_cast<CFindNoFileDlg*>(app->Page(kNothingFoundPageSlot)))
      page->ShowFailure(SourceFailureHeading(m_source), DescribeSourceFailure(m_source));
    ShowWindow(SW_HIDE);
    return;
  }
  if (UnformatResultsExist()) {
    auto* page = new CUftFileChoseDlg(this);
    app->HoldPage(kUnformatResultPageSlot, page);
    if (page->Create(IDD_UNFORMAT_RESULT, this)) {
      PlacePage(page);
      if (m_stopConfirmed) page->ShowScanStopped(IDC_UFRES_HINT);
      if (page->StartFillUnformatResults()) {
        opened = true;
        ++m_resultPagesOpened;
      }
    }
    if (!opened) app->DestroyPage(kUnformatResultPageSlot);
  }
  if (!opened) ShowNothingFound();
  ShowWindow(SW_HIDE);
}

void CUnformatScanDlg::ShowNothingFound() {
  auto* page = new CFindNoFileDlg(this, m_opener);
  CRestovaApp* app = RestovaApp();
  app->HoldPage(kNothingFoundPageSlot, page);
  if (!page->Create(IDD_NOTHING_FOUND, this)) {
    app->DestroyPage(kNothingFoundPageSlot);
    return;
  }
  page->m_modeKind = 2;
  page->SetDriveIndex(m_driveIndex);
  // Stopped before anything was found: said as such, not as a volume whose
  // records were overwritten.
  if (m_stopConfirmed) page->ShowStopped();
  PlacePage(page);
  page->ShowWindow(SW_SHOW);
  ++m_nothingFoundOpened;
}

void CUnformatScanDlg::OnDestroy() {
  // The window goes (the road is replaced, or the program ends): the worker
  // is stopped and waited for, and opens nothing.
  m_left = true;
  StopWorker();
  if (m_timer) {
    KillTimer(m_timer);
    m_timer = 0;
  }
  CWizardPage::OnDestroy();
}
