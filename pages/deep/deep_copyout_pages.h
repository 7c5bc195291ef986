// The deep road's pages of the shared destination, copy-out progress and
// report family (recovery_path_dlg.h, copyout_progress_dlg.h,
// recovery_report_dlg.h): the destination page is a member of the result
// page and runs the road's raw copy-out (raw_recovery.h) with its progress
// page as a member; the progress page opens the report modally over it.
#pragma once

#include <cstdint>
#include <memory>

#include "copyout_progress_dlg.h"
#include "recovery_path_dlg.h"
#include "recovery_report_dlg.h"

class CPtRecoveringDlg;

// The deep road's total of ticked sectors, written by its result page on Next.
extern uint64_t gRawSelectedSectors;

// Deep scan (dialog 364): a member of its result page (Back hides it); the
// worker is the road's (raw_recovery.h) and ends with WM_RAWRECOVER_DONE.
class CChoiceRecoveryPathDlgARW : public CWorkerRecoveryPathPage {
 public:
  CChoiceRecoveryPathDlgARW(CRecoveryResults* results, AFX_THREADPROC worker);
  ~CChoiceRecoveryPathDlgARW() override;
  uint64_t SelectionSectors() const override;
  CCopyOutProgressPage* ProgressPage() const override;

 protected:
  void StartCopyOut() override;
  void LeaveBack() override;
  LRESULT OnRawRecoverDone(WPARAM, LPARAM) { return ForwardWorkerEnd(); }
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

  std::unique_ptr<CPtRecoveringDlg> m_progress;
};

// Deep scan (dialog 359): a member of its destination page; its stop flag is
// gScanAbort, and its worker waits while the stop question is open.
class CPtRecoveringDlg : public CMemberProgressPage {
 public:
  explicit CPtRecoveringDlg(CRecoveryPathPage* owner);

 protected:
  BOOL OnInitDialog() override;
  DECLARE_MESSAGE_MAP()

  void RaiseStopFlag() override;
  void Finish(bool report) override;
  // A carved file has no path on the disk: it is named as the result list names it.
  CString SourceText(const char* first) const override;
};

// Deep scan (dialog 365), run modally.
class CRAWRecoveryINFO : public CRecoveryReportPage {
 public:
  CRAWRecoveryINFO(CWnd* parent, const RecoveryReportFacts& facts, CWnd* backTo);

 protected:
  void EndReport() override { EndDialog(IDOK); }
};
