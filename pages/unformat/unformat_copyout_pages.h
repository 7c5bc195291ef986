// The unformat road's pages of the shared destination, copy-out progress and
// report family (recovery_path_dlg.h, copyout_progress_dlg.h,
// recovery_report_dlg.h): the destination page runs the road's worker
// (unformat_destination.h) with its progress page as a member, and the
// progress page opens the report modally over it.
#pragma once

#include <memory>

#include "copyout_progress_dlg.h"
#include "recovery_path_dlg.h"
#include "recovery_report_dlg.h"

class CUfatRecvringDlg;

// Unformat (dialog 362): its progress page is a member; the worker is the
// road's (unformat_destination.h) and ends with WM_RECOVERY_FINISHED.
class CChoiceRecoveryPathDlgUf : public CWorkerRecoveryPathPage {
 public:
  CChoiceRecoveryPathDlgUf(CRecoveryResults* results, AFX_THREADPROC worker);
  ~CChoiceRecoveryPathDlgUf() override;
  uint64_t SelectionSectors() const override;
  CCopyOutProgressPage* ProgressPage() const override;

 protected:
  void StartCopyOut() override;
  LRESULT OnRecoveryFinished(WPARAM, LPARAM) { return ForwardWorkerEnd(); }
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

  std::unique_ptr<CUfatRecvringDlg> m_progress;
};

// Unformat (dialog 360): a member of its destination page.
class CUfatRecvringDlg : public CMemberProgressPage {
 public:
  explicit CUfatRecvringDlg(CRecoveryPathPage* owner);

 protected:
  BOOL OnInitDialog() override;
  void OnShowWindow(BOOL show, UINT status);
  DECLARE_MESSAGE_MAP()

  void RaiseStopFlag() override;
  void Finish(bool report) override;
};

// Unformat (dialog 363), run modally.
class CUnftReportDlg : public CRecoveryReportPage {
 public:
  CUnftReportDlg(CWnd* parent, const RecoveryReportFacts& facts, CWnd* backTo);

 protected:
  void EndReport() override { EndDialog(IDOK); }
};
