#include "unformat_copyout_pages.h"

#include "messages.h"
#include "resource.h"
#include "state.h"
#include "unformat/unformat_copy.h"
#include "unformat_results.h"

// ---- the destination page -------------------------------------------------------------

BEGIN_MESSAGE_MAP(CChoiceRecoveryPathDlgUf, CWorkerRecoveryPathPage)
  ON_MESSAGE(WM_RECOVERY_FINISHED, &CChoiceRecoveryPathDlgUf::OnRecoveryFinished)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CChoiceRecoveryPathDlgUf::CChoiceRecoveryPathDlgUf(CRecoveryResults* results, AFX_THREADPROC worker)
    : CWorkerRecoveryPathPage(IDD_UNFORMAT_DESTINATION, results, RecoveryRoad::kUnformat, worker),
      m_progress(std::make_unique<CUfatRecvringDlg>(this)) {}

CChoiceRecoveryPathDlgUf::~CChoiceRecoveryPathDlgUf() { StopWorker(gRecoverAbort); }

uint64_t CChoiceRecoveryPathDlgUf::SelectionSectors() const { return SelectedUnformatSectors(); }

CCopyOutProgressPage* CChoiceRecoveryPathDlgUf::ProgressPage() const { return m_progress.get(); }

void CChoiceRecoveryPathDlgUf::StartCopyOut() {
  RunCopyOut(IDD_UNFORMAT_PROGRESS, &gUnformatProgressWindow);
}

void CChoiceRecoveryPathDlgUf::OnDestroy() {
  StopWorker(gRecoverAbort);
  gUnformatProgressWindow = nullptr;
  CRecoveryPathPage::OnDestroy();
}

// ---- the progress page ------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CUfatRecvringDlg, CMemberProgressPage)
  ON_MESSAGE(WM_RECOVER_FILE, &CUfatRecvringDlg::OnFileMessage)
  ON_WM_SHOWWINDOW()
END_MESSAGE_MAP()

CUfatRecvringDlg::CUfatRecvringDlg(CRecoveryPathPage* owner)
    : CMemberProgressPage(IDD_UNFORMAT_PROGRESS, owner, &gRecoverDamagedFiles, &gRecoverFailedFiles) {}

BOOL CUfatRecvringDlg::OnInitDialog() {
  m_fileCount = 0;
  m_totalSectors = m_owner ? m_owner->SelectionSectors() : 0;
  return CCopyOutProgressPage::OnInitDialog();
}

void CUfatRecvringDlg::OnShowWindow(BOOL show, UINT status) {
  CCopyOutProgressPage::OnShowWindow(show, status);
  // Counted afresh for every run.
  if (show && m_owner && !m_ended) m_totalSectors = m_owner->SelectionSectors();
}

void CUfatRecvringDlg::RaiseStopFlag() { gRecoverAbort = 1; }

void CUfatRecvringDlg::Finish(bool report) {
  ShowWindow(SW_HIDE);
  if (!report) {
    DestroyWindow();
    if (m_owner) m_owner->ShowWindow(SW_SHOW);
    return;
  }
  CUnftReportDlg dlg(m_owner, Facts(), ReportBackPage());
  dlg.DoModal();
}

// ---- the report --------------------------------------------------------------------------

CUnftReportDlg::CUnftReportDlg(CWnd* parent, const RecoveryReportFacts& facts, CWnd* backTo)
    : CRecoveryReportPage(IDD_UNFORMAT_REPORT, parent, facts, backTo) {}
