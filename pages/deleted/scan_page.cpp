#include "scan_page.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "deleted/fat_scan.h"   // gTypeTableProblem
#include "messages.h"
#include "nothing_found_page.h"
#include "source_texts.h"
#include "resource.h"
#include "page_host.h"
#include "state.h"
#include "version_checks.h"

// ---- the workers ---------------------------------------------------------------------------

UINT DeletedScanThreadProc(LPVOID param) {
  auto* job = static_cast<DeletedScanJob*>(param);
  SourceReport report;
  RunDeletedFileScan(*job, &report);
  // After the end message: the page reads this only once it has joined us.
  if (report.Failed()) job->failures.push_back(report);
  return 0;
}

std::vector<std::string> RecycleBinTargets(const char* driveStrings, bool vistaOrLater) {
  std::vector<std::string> targets;
  for (const char* d = driveStrings; d && *d; d += std::strlen(d) + 1) {
    if (!lstrcmpiA(d, "A:\\") || !lstrcmpiA(d, "B:\\")) continue;
    if (vistaOrLater) {
      targets.push_back(std::string(d) + "$Recycle.Bin");
      continue;
    }
    // Before Vista an NTFS drive keeps its bin in "RECYCLER" and a FAT drive
    // in "RECYCLED"; a drive may hold both (one system's and another's). A
    // drive without one finds nothing there and says nothing.
    targets.push_back(std::string(d) + "RECYCLER");
    targets.push_back(std::string(d) + "RECYCLED");
  }
  return targets;
}

std::vector<SourceReport> ScanRecycleFolders(const DeletedScanRequest& request,
                                             const std::vector<std::string>& targets) {
  std::vector<SourceReport> failures;
  for (const std::string& target : targets) {
    if (ScanAbortRequested()) break;
    DeletedScanRequest one = request;
    lstrcpynA(one.target, target.c_str(), sizeof one.target);
    one.recycleBin = 1;   // the scan stays silent; the end is sent by the worker, once
    SourceReport report;
    RunDeletedFileScan(one, &report);
    // A drive that holds a recycle folder the scan could not read is a bin
    // the user is told was not looked at; one without (a CD drive, a
    // network drive) has nothing to lose. A drive with two such folders is
    // told of once.
    const DWORD attributes = GetFileAttributesA(target.c_str());
    const bool told = std::any_of(failures.begin(), failures.end(),
                                  [&](const SourceReport& f) { return f.driveIndex == report.driveIndex; });
    if (WorthReporting(report) && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !told)
      failures.push_back(report);
  }
  return failures;
}

UINT RecycleBinScanThreadProc(LPVOID param) {
  auto* job = static_cast<DeletedScanJob*>(param);
  const DWORD needed = GetLogicalDriveStringsA(0, nullptr);
  std::vector<char> drives(static_cast<size_t>(needed) + 2, '\0');
  GetLogicalDriveStringsA(needed, drives.data());
  job->failures = ScanRecycleFolders(*job, RecycleBinTargets(drives.data(), IsVistaOrLater() != 0));
  if (job->window) SendMessageA(job->window, WM_DELSCAN_DONE, 0, 0);
  return 1;
}

// ---- the page ------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CScanDelFilesDlg, CScanPageBase)
  ON_BN_CLICKED(IDC_SCAN_STOP, &CScanDelFilesDlg::OnStop)
  ON_BN_CLICKED(IDC_SCAN_BACK, &CScanDelFilesDlg::OnBack)
  ON_BN_CLICKED(IDC_CLOSE, &CScanDelFilesDlg::OnCloseBox)
  ON_WM_CLOSE()
  ON_MESSAGE(WM_DELSCAN_PROGRESS, &CScanDelFilesDlg::OnScanProgress)
  ON_MESSAGE(WM_DELSCAN_DONE, &CScanDelFilesDlg::OnScanDone)
  ON_MESSAGE(WM_DELSCAN_FINISHED, &CScanDelFilesDlg::OnScanFinished)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CScanDelFilesDlg::CScanDelFilesDlg(CWnd* opener)
    : CScanPageBase(IDD_DELETED_SCAN, opener), m_stopBox(this) {}

CScanDelFilesDlg::~CScanDelFilesDlg() {
  // A page deleted without its window having gone: the worker still holds
  // the request.
  StopWorker();
}

BOOL CScanDelFilesDlg::OnInitDialog() {
  CWizardPage::OnInitDialog();
  SetUpScanControls(IDC_SCAN_STOP, IDC_SCAN_BACK, IDC_PAGE_HEADING, IDC_SCAN_FOUND_LABEL, IDC_SCAN_PATH);
  m_roll.SubclassDlgItem(IDC_SCAN_ROLL, this);

  gScanAbort = 0;
  gDelScanDone = 0;
  gTypeTableProblem = kTypeTableOk;
  ClearDeletedFiles();

  m_job.window = m_hWnd;
  lstrcpynA(m_job.target, m_target, sizeof m_job.target);
  m_job.recycleBin = m_recycleBin ? 1 : 0;
  m_job.failures.clear();
  AFX_THREADPROC proc = m_workerProc ? m_workerProc
                                     : m_recycleBin ? RecycleBinScanThreadProc : DeletedScanThreadProc;
  m_worker = AfxBeginThread(proc, &m_job);
  if (!m_worker) {
    // No thread: the page ends as a scan that found nothing.
    m_scanEnded = true;
    PostMessage(WM_DELSCAN_FINISHED);
  }
  return TRUE;
}

void CScanDelFilesDlg::PaintBody(CDC* dc, const CRect& client) {
  PaintScanPanel(dc, client, IDC_PAGE_HEADING, IDC_SCAN_BACK, 26);
}

LRESULT CScanDelFilesDlg::OnScanProgress(WPARAM, LPARAM text) {
  // The text belongs to the worker, which waits until this returns.
  const char* path = reinterpret_cast<const char*>(text);
  if (path) {
    m_path.SetWindowText(path);
    m_path.Invalidate();
  }
  return 0;
}

LRESULT CScanDelFilesDlg::OnScanDone(WPARAM, LPARAM) {
  CloseAboutBox();
  if (m_stopBox.IsAsking()) m_stopBox.SendMessage(WM_STOPBOX_END);   // the answer becomes No
  m_scanEnded = true;
  // The worker is still inside SendMessage: the rest waits until it has ended.
  PostMessage(WM_DELSCAN_FINISHED);
  return 0;
}

void CScanDelFilesDlg::AskToStop(StopAction action) {
  if (m_finished || m_left || m_modalDepth > 0) return;
  // Once Stop was confirmed the user is not asked again: leaving, or closing
  // the window, goes ahead.
  int answer = 1;
  if (!m_stopConfirmed && !m_scanEnded) {
    ++m_modalDepth;
    answer = m_stopBox.Ask();
    --m_modalDepth;
  }
  if (answer != 1) {
    RunPendingFinish();   // the scan may have ended meanwhile
    return;
  }
  switch (action) {
    case StopAction::kStop:
      gDelScanDone = 1;
      gScanAbort = 1;
      m_stopConfirmed = true;
      m_stop.EnableWindow(FALSE);
      RunPendingFinish();
      return;
    case StopAction::kBack:
    case StopAction::kCloseBox:
      Leave();
      return;
    case StopAction::kWindowClose:
      gDelScanDone = 1;
      gScanAbort = 1;
      JoinWorker();
      m_finishPending = false;
      FinishScan();
      return;
  }
}

void CScanDelFilesDlg::FinishScan() {
  if (m_finished) return;
  JoinWorker();   // it has sent its end; from here on nothing appends
  m_finished = true;
  if (m_recycleBin) m_target = m_job.target;
  m_stop.EnableWindow(FALSE);
  m_back.EnableWindow(FALSE);

  // The type table of FAT32 scans could not be used: said once per scan.
  const uint32_t problem = gTypeTableProblem.exchange(kTypeTableOk);
  if (problem == kTypeTableMissing || problem == kTypeTableDamaged) {
    CString text;
    text.LoadString(problem);
    MessageBox(text, m_caption, MB_OK | MB_ICONWARNING);
  }

  // A source that could not be scanned is never "nothing found". On the
  // recycle-bin road the bins that were read may still have given files:
  // they are shown, after a word on the drives that were not read.
  const std::vector<SourceReport>& failures = m_job.failures;
  const bool found = DeletedFileCount() > 0;
  if (!failures.empty() && found) {
    CString text;
    text.LoadString(IDS_SOURCES_NOT_READ);
    text += "\r\n\r\n";
    text += DescribeSourceFailures(failures);
    MessageBox(text, m_caption, MB_OK | MB_ICONWARNING);
  }
  if (found)
    OpenResultPage();
  else if (!failures.empty())
    ShowSourceFailure();
  else
    ShowNothingFound();
  ShowWindow(SW_HIDE);
}

void CScanDelFilesDlg::ShowSourceFailure() {
  ShowNothingFound();
  auto* page = dynamic_cast<CFindNoFileDlg*>(PageHost()->Page(kNothingFoundPageSlot));
  if (!page || !page->m_hWnd) return;
  const std::vector<SourceReport>& failures = m_job.failures;
  // A file system the scan does not read: the deep scan, which reads none,
  // stays on offer; a drive that cannot be read at all would fail it too.
  const bool unsupported = failures.size() == 1 && failures[0].state == SourceState::kUnsupported;
  if (!unsupported) {
    for (int id : {IDC_NF_TRY, IDC_NF_DEEP_NOTE, IDC_NF_DEEP}) ::ShowWindow(::GetDlgItem(page->m_hWnd, id), SW_HIDE);
  }
  CString explanation = DescribeSourceFailures(failures);
  if (unsupported && ::IsWindowVisible(::GetDlgItem(page->m_hWnd, IDC_NF_DEEP))) {
    CString deep;
    deep.LoadString(IDS_SOURCE_TRY_DEEP);
    explanation += "\r\n";
    explanation += deep;
  }
  page->ShowFailure(SourceFailureHeading(failures[0]), explanation);
}

void CScanDelFilesDlg::OpenResultPage() {
  if (OpenDeletedResultPage(this)) ++m_resultPagesOpened;
}

void CScanDelFilesDlg::ShowNothingFound() {
  auto* page = new CFindNoFileDlg(this, m_opener);
  CPageHost* host = PageHost();
  host->HoldPage(kNothingFoundPageSlot, page);
  if (!page->Create(IDD_NOTHING_FOUND, this)) {
    host->DestroyPage(kNothingFoundPageSlot);
    return;
  }
  page->m_modeKind = 1;
  if (!m_recycleBin) page->ShowDeepScanOffer();
  if (m_stopConfirmed) page->ShowStopped();
  PlacePage(page);
  page->ShowWindow(SW_SHOW);
  const char letter = m_target.IsEmpty() ? 0 : static_cast<char>(std::tolower(static_cast<unsigned char>(m_target[0])));
  page->SetDriveIndex(letter >= 'c' && letter <= 'z' ? letter - 'c' : -1);
}

void CScanDelFilesDlg::OnDestroy() {
  // The window goes (the road is replaced, or the program ends): the worker
  // is stopped and waited for, and opens nothing.
  m_left = true;
  StopWorker();
  CWizardPage::OnDestroy();
}
