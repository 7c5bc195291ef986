// The copy-out progress pages: the file being copied, where it goes, a bar of
// the sectors written against the selection's total, and two ways to stop
// (then the report, or back to the destination page). One family for the
// three roads; only the deleted-file page runs its worker itself.
//
// Stopping asks first ("您确定取消该操作？") while the copy-out goes on. On
// Yes the road's stop flag goes up and a busy box covers the page until the
// worker has ended; a copy-out that ends while the question is open is
// finished once the question has been answered. The worker's end message is
// handled after the worker has returned (the page posts itself
// WM_COPYOUT_FINISHED), so nothing waits for a thread that waits for the page.
#pragma once

#include <atomic>
#include <memory>

#include "bars.h"
#include "busy_boxes.h"
#include "recovery_road.h"
#include "wizard_page.h"

class CRecoveryPathPage;

class CCopyOutProgressPage : public CWizardPage {
 public:
  CCopyOutProgressPage(UINT templateId, CRecoveryPathPage* owner);
  ~CCopyOutProgressPage() override;

  CRecoveryPathPage* Owner() const { return m_owner; }
  bool AskingToStop() const { return m_askState == 255; }
  int AskState() const { return m_askState; }
  uint64_t TotalSectors() const { return m_totalSectors; }
  uint32_t FileCount() const { return m_fileCount; }
  const CString& CurrentFile() const { return m_file; }
  const CString& CurrentDestination() const { return m_dest; }
  bool Stopping() const { return m_busy && m_busy->m_hWnd; }
  bool Finished() const { return m_finished; }
  // Files copied whole (what the report shows as recovered).
  uint32_t RecoveredCount() const { return m_recovered; }

  // The worker has ended (on the user-interface thread, after its end message).
  void CopyOutEnded();
  // Member pages: before each copy-out (the window is made anew for each).
  void PrepareRun() {
    m_goBack = false;
    m_finished = false;
    m_ended = false;
    m_endedDuringQuestion = false;
    m_userStopped = false;
    m_askState = 0;
  }

 protected:
  enum class StopButton { kReport, kBack, kClose };

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void PaintBody(CDC* dc, const CRect& client) override;
  void OnTimer(UINT_PTR id);
  LRESULT OnFileMessage(WPARAM, LPARAM block);
  LRESULT OnCopyOutFinished(WPARAM, LPARAM);
  void OnReportButton() { AskToStop(StopButton::kReport); }
  void OnBackButton() { AskToStop(StopButton::kBack); }
  void OnCloseBox() { AskToStop(StopButton::kClose); }
  void OnClose() { AskToStop(StopButton::kClose); }
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

  // What differs between the roads.
  virtual void RaiseStopFlag() = 0;
  virtual bool WorkerDone() const = 0;
  virtual void JoinWorker() = 0;
  virtual UINT CloseQuestionDefault() const { return MB_DEFBUTTON2; }
  // Text shown for a file: the deleted-file page shows the block's first part
  // as it is, the member pages put the scanned target before it.
  virtual CString SourceText(const char* first) const;
  // A per-file message: its wParam is the number of files the worker has
  // taken on so far in this run (workers that send one message per file may
  // leave it 0: then the page counts the messages).
  virtual void CountFile(uint32_t filesSoFar);
  // Files copied whole, written but known damaged, and failed, once the
  // worker has ended.
  virtual uint32_t CountRecovered() const = 0;
  virtual uint32_t CountDamaged() const = 0;
  virtual uint32_t CountFailed() const = 0;
  // What the report shows of this copy-out.
  RecoveryReportFacts Facts() const;
  // After the end: the report, or back to the destination page.
  virtual void Finish(bool report) = 0;

  void AskToStop(StopButton button);
  void DrawBar();
  void CloseBusyBox();

  CRecoveryPathPage* m_owner;
  uint64_t m_totalSectors = 0;
  uint32_t m_fileCount = 0;
  uint32_t m_recovered = 0;
  uint32_t m_damaged = 0;
  uint32_t m_failed = 0;
  int m_askState = 0;                 // 255 while the question is up, then IDYES / IDNO
  bool m_endedDuringQuestion = false;
  bool m_goBack = false;              // after a stop: back to the destination page
  bool m_userStopped = false;         // the user answered Yes to stopping this run
  bool m_ended = false;               // the worker has ended
  bool m_finished = false;            // the report was opened or the page went back
  bool m_leaving = false;
  UINT_PTR m_timerId = 0;
  CString m_file, m_dest, m_extra;
  std::unique_ptr<CStopRecoveryScrollBar> m_busy;

  CMyProgressBar m_bar;
  CATSkinButton m_report, m_back;
  CLabel m_heading, m_fileLabel, m_destLabel, m_fileText, m_destText, m_percent;
};

// A progress page that is a member of its destination page, which runs the
// road's worker (a CWorkerRecoveryPathPage).
class CMemberProgressPage : public CCopyOutProgressPage {
 public:
  // damaged, failed: the road's tallies of files not copied whole.
  CMemberProgressPage(UINT templateId, CRecoveryPathPage* owner, const std::atomic<uint32_t>* damaged,
                      const std::atomic<uint32_t>* failed)
      : CCopyOutProgressPage(templateId, owner), m_damaged(damaged), m_failed(failed) {}

 protected:
  bool WorkerDone() const override;
  void JoinWorker() override;
  void CountFile(uint32_t filesSoFar) override;
  // Files copied whole: as the worker told its page, else the files
  // announced less those damaged or failed.
  uint32_t CountRecovered() const override;
  uint32_t CountDamaged() const override { return m_damaged->load(); }
  uint32_t CountFailed() const override { return m_failed->load(); }
  // Where the report's Back leads: the result page, else the destination page.
  CWnd* ReportBackPage() const;

 private:
  const std::atomic<uint32_t>* m_damaged;
  const std::atomic<uint32_t>* m_failed;
};
