// The deleted-file and recycle-bin road's pages of the shared destination,
// copy-out progress and report family (recovery_path_dlg.h,
// copyout_progress_dlg.h, recovery_report_dlg.h): the destination page opens
// a new progress page in the application object's copy-out slot, which runs
// the engine's copy-out and opens the report, a modeless page held there too.
#pragma once

#include <memory>

#include "copyout_progress_dlg.h"
#include "deleted/recover.h"
#include "recovery_path_dlg.h"
#include "recovery_report_dlg.h"

// Deleted files and recycle bins (dialog 358): the copy-out is the engine's,
// with a new CStopRestorFileDlg held in the application object's slot.
class CChoiceRecoveryPathDlg : public CRecoveryPathPage {
 public:
  explicit CChoiceRecoveryPathDlg(CRecoveryResults* results);
  uint64_t SelectionSectors() const override;
  CCopyOutProgressPage* ProgressPage() const override;

 protected:
  void StartCopyOut() override;
};

// Deleted files and recycle bins (dialog 168): a new page per recovery, held
// in the application object's copy-out slot; it runs the engine's copy-out.
class CStopRestorFileDlg : public CCopyOutProgressPage {
 public:
  explicit CStopRestorFileDlg(CChoiceRecoveryPathDlg* owner);
  ~CStopRestorFileDlg() override;

  // Starts the copy-out of the ticked records into destination.
  bool StartCopyOut(const char* destination);
  bool WorkerRunning() const { return m_worker && m_worker->IsRunning(); }
  // The worker procedure (tests hold the real one behind a gate).
  void SetWorkerProc(AFX_THREADPROC proc) { m_workerProc = proc; }
  const RecoverRequest& Request() const { return m_request; }

 protected:
  LRESULT OnRecoverDone(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

  void RaiseStopFlag() override;
  bool WorkerDone() const override { return !m_worker || !m_worker->IsRunning(); }
  void JoinWorker() override;
  UINT CloseQuestionDefault() const override { return MB_DEFBUTTON1; }
  CString SourceText(const char* first) const override { return CString(first); }
  uint32_t CountRecovered() const override;
  uint32_t CountDamaged() const override;
  uint32_t CountFailed() const override;
  void Finish(bool report) override;

  RecoverRequest m_request = {};
  AFX_THREADPROC m_workerProc = nullptr;
  std::unique_ptr<CWinThread> m_worker;
};

// Deleted files and recycle bins (dialog 169).
class CRecoveryInfoDlg : public CRecoveryReportPage {
 public:
  CRecoveryInfoDlg(CWnd* progressPage, const RecoveryReportFacts& facts, CWnd* destinationPage);

 protected:
  void EndReport() override;
};
