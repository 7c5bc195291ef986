#include "deleted_copyout_pages.h"

#include <cstring>

#include "messages.h"
#include "page_host.h"
#include "recovery_totals.h"
#include "resource.h"
#include "state.h"

// ---- the destination page ------------------------------------------------------------

CChoiceRecoveryPathDlg::CChoiceRecoveryPathDlg(CRecoveryResults* results)
    : CRecoveryPathPage(IDD_DELETED_DESTINATION, results, RecoveryRoad::kDeleted) {}

uint64_t CChoiceRecoveryPathDlg::SelectionSectors() const { return SelectedDeletedSectors(); }

CCopyOutProgressPage* CChoiceRecoveryPathDlg::ProgressPage() const {
  CPageHost* host = PageHost();
  return host ? dynamic_cast<CCopyOutProgressPage*>(host->Page(kCopyOutPageSlot)) : nullptr;
}

void CChoiceRecoveryPathDlg::StartCopyOut() {
  auto* progress = new CStopRestorFileDlg(this);
  if (!ShowHeldPage(progress, kCopyOutPageSlot, IDD_DELETED_PROGRESS, this)) return;
  ShowWindow(SW_HIDE);
  gRecoverAbort = 0;
  progress->StartCopyOut(m_destination);
}

// ---- the progress page ----------------------------------------------------------------

namespace {

UINT DeletedCopyOutWorker(LPVOID request) { return static_cast<UINT>(RecoverDeletedFilesThreadProc(request)); }

}  // namespace

BEGIN_MESSAGE_MAP(CStopRestorFileDlg, CCopyOutProgressPage)
  ON_MESSAGE(WM_DELSCAN_PROGRESS, &CStopRestorFileDlg::OnFileMessage)
  ON_MESSAGE(WM_RECOVER_DONE, &CStopRestorFileDlg::OnRecoverDone)
END_MESSAGE_MAP()

CStopRestorFileDlg::CStopRestorFileDlg(CChoiceRecoveryPathDlg* owner)
    : CCopyOutProgressPage(IDD_DELETED_PROGRESS, owner) {
  m_totalSectors = SelectedDeletedSectors();
}

CStopRestorFileDlg::~CStopRestorFileDlg() {
  if (m_worker) {
    gRecoverAbort = 1;
    m_worker->Join();
  }
}

bool CStopRestorFileDlg::StartCopyOut(const char* destination) {
  if (!m_hWnd || m_worker) return false;
  m_request.window = m_hWnd;
  std::memset(m_request.destination, 0, sizeof m_request.destination);
  std::strncpy(m_request.destination, destination, sizeof m_request.destination - 1);
  gRecoverAbort = 0;
  ResetCopyOutCounters();
  m_worker = AfxBeginThread(m_workerProc ? m_workerProc : DeletedCopyOutWorker, &m_request);
  return m_worker != nullptr;
}

LRESULT CStopRestorFileDlg::OnRecoverDone(WPARAM, LPARAM) {
  // Sent by the worker as its last act: finished once it has returned.
  if (!m_leaving) PostMessage(WM_COPYOUT_FINISHED);
  return 0;
}

void CStopRestorFileDlg::RaiseStopFlag() { gRecoverAbort = 1; }

void CStopRestorFileDlg::JoinWorker() {
  if (m_worker) m_worker->Join();
}

uint32_t CStopRestorFileDlg::CountRecovered() const {
  // Copies the engine made, less those that did not come out whole: the
  // failed ones and the ones known damaged are counted apart.
  const uint32_t copies = gRecoverTakenFiles.load();
  const uint32_t notWhole = gRecoverFailedFiles.load() + gRecoverDamagedFiles.load();
  return copies > notWhole ? copies - notWhole : 0;
}

uint32_t CStopRestorFileDlg::CountDamaged() const { return gRecoverDamagedFiles.load(); }
uint32_t CStopRestorFileDlg::CountFailed() const { return gRecoverFailedFiles.load(); }

void CStopRestorFileDlg::Finish(bool report) {
  if (!report) {
    if (m_owner) m_owner->ShowWindow(SW_SHOW);
    DestroyWindow();
    return;
  }
  auto* page = new CRecoveryInfoDlg(this, Facts(), m_owner);
  if (!ShowHeldPage(page, kReportPageSlot, IDD_DELETED_REPORT, this)) return;
  ShowWindow(SW_HIDE);
}

// ---- the report -------------------------------------------------------------------------

CRecoveryInfoDlg::CRecoveryInfoDlg(CWnd* progressPage, const RecoveryReportFacts& facts, CWnd* destinationPage)
    : CRecoveryReportPage(IDD_DELETED_REPORT, progressPage, facts, destinationPage) {}

void CRecoveryInfoDlg::EndReport() { ShowWindow(SW_HIDE); }
