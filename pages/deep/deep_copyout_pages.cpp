#include "deep_copyout_pages.h"

#include "deepscan/found_files.h"
#include "messages.h"
#include "resource.h"
#include "state.h"

uint64_t gRawSelectedSectors = 0;

// ---- the destination page ---------------------------------------------------------------

BEGIN_MESSAGE_MAP(CChoiceRecoveryPathDlgARW, CWorkerRecoveryPathPage)
  ON_MESSAGE(WM_RAWRECOVER_DONE, &CChoiceRecoveryPathDlgARW::OnRawRecoverDone)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CChoiceRecoveryPathDlgARW::CChoiceRecoveryPathDlgARW(CRecoveryResults* results, AFX_THREADPROC worker)
    : CWorkerRecoveryPathPage(IDD_DEEP_DESTINATION, results, RecoveryRoad::kDeep, worker),
      m_progress(std::make_unique<CPtRecoveringDlg>(this)) {}

CChoiceRecoveryPathDlgARW::~CChoiceRecoveryPathDlgARW() { StopWorker(gScanAbort); }

uint64_t CChoiceRecoveryPathDlgARW::SelectionSectors() const {
  return m_results ? m_results->ChosenSectors() : gRawSelectedSectors;
}

CCopyOutProgressPage* CChoiceRecoveryPathDlgARW::ProgressPage() const { return m_progress.get(); }

void CChoiceRecoveryPathDlgARW::StartCopyOut() {
  if (WorkerRunning()) return;
  // The raw copy-out stops on gScanAbort: cleared here, before its thread
  // exists, so that a stop pressed as soon as the progress page shows counts.
  gScanAbort = 0;
  RunCopyOut(IDD_DEEP_PROGRESS, &gRawProgressWindow);
}

void CChoiceRecoveryPathDlgARW::LeaveBack() {
  if (m_results && m_results->ResultPage()) m_results->ResultPage()->ShowWindow(SW_SHOW);
  ShowWindow(SW_HIDE);
}

void CChoiceRecoveryPathDlgARW::OnDestroy() {
  StopWorker(gScanAbort);
  gRawProgressWindow = nullptr;
  CRecoveryPathPage::OnDestroy();
}

// ---- the progress page --------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CPtRecoveringDlg, CMemberProgressPage)
  ON_MESSAGE(WM_RECOVER_FILE, &CPtRecoveringDlg::OnFileMessage)
END_MESSAGE_MAP()

CPtRecoveringDlg::CPtRecoveringDlg(CRecoveryPathPage* owner)
    : CMemberProgressPage(IDD_DEEP_PROGRESS, owner, &gRawRecoverDamagedFiles, &gRawRecoverFailedFiles) {}

BOOL CPtRecoveringDlg::OnInitDialog() {
  m_fileCount = 0;
  m_totalSectors = m_owner ? m_owner->SelectionSectors() : gRawSelectedSectors;
  return CCopyOutProgressPage::OnInitDialog();
}

void CPtRecoveringDlg::RaiseStopFlag() { gScanAbort = 1; }

CString CPtRecoveringDlg::SourceText(const char* first) const {
  CString format, text;
  format.LoadString(IDS_DEEP_SOURCE_TEXT);
  text.Format(format.GetString(), first);
  return text;
}

void CPtRecoveringDlg::Finish(bool report) {
  ShowWindow(SW_HIDE);
  if (!report) {
    if (m_owner) m_owner->ShowWindow(SW_SHOW);
    return;
  }
  CRAWRecoveryINFO dlg(m_owner, Facts(), ReportBackPage());
  dlg.DoModal();
}

// ---- the report --------------------------------------------------------------------------

CRAWRecoveryINFO::CRAWRecoveryINFO(CWnd* parent, const RecoveryReportFacts& facts, CWnd* backTo)
    : CRecoveryReportPage(IDD_DEEP_REPORT, parent, facts, backTo) {}
