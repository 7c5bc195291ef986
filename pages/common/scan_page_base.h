// What the deleted-file and unformat scan pages share. The page owns its
// worker and joins it before it opens anything that reads the results and
// before its window goes. Stop, Back, the close box and closing the window
// ask first (each page its own way); a scan whose end comes while a box is up
// over the page goes on to its results once the box is gone, exactly once.
#pragma once
#include <memory>

#include "wizard_page.h"

class CScanPageBase : public CWizardPage {
 public:
  // opener: the page that opened the scan; Back returns there.
  CScanPageBase(UINT templateId, CWnd* opener) : CWizardPage(templateId, opener), m_opener(opener) {}

  // The worker to start instead of the road's own (tests gate it).
  void SetWorkerProc(AFX_THREADPROC proc) { m_workerProc = proc; }

  CWnd* Opener() const { return m_opener; }
  // State the tests read.
  bool WorkerRunning() const { return m_worker && m_worker->IsRunning(); }
  bool ScanEnded() const { return m_scanEnded; }
  bool Finished() const { return m_finished; }
  bool LeftByUser() const { return m_left; }
  bool EndedAfterLeaving() const { return m_endedAfterLeaving; }
  int ResultPagesOpened() const { return m_resultPagesOpened; }
  // Stop was confirmed before the scan ended: what it shows is what it had found.
  bool StoppedByUser() const { return m_stopConfirmed; }

 protected:
  enum class StopAction { kStop, kBack, kCloseBox, kWindowClose };

  void OnBanner() override;
  void OnStop() { AskToStop(StopAction::kStop); }
  void OnBack() { AskToStop(StopAction::kBack); }
  void OnCloseBox() { AskToStop(StopAction::kCloseBox); }
  void OnClose() { AskToStop(StopAction::kWindowClose); }
  // Posted by the page to itself once the worker has sent its end.
  LRESULT OnScanFinished(WPARAM, LPARAM);

  virtual void AskToStop(StopAction action) = 0;
  // Opens the result page or the nothing-found page and hides this page.
  virtual void FinishScan() = 0;

  // The controls every scan page has, subclassed and styled: Stop (which
  // shows what was found so far) and Back, the heading, the found label and
  // the path being read.
  void SetUpScanControls(int stopId, int backId, int headingId, int foundLabelId, int pathId);
  // The white panel behind the scan's texts, from just above the heading to
  // above the Back button, with the scan picture at its left, 12 pixels below
  // the panel's top. headingMargin: how far above the heading it begins.
  void PaintScanPanel(CDC* dc, const CRect& client, int headingId, int backId, int headingMargin);
  // After a modal box: the scan's end that came while it was up.
  void RunPendingFinish();
  // The user leaves the scan: it stops, and nothing it finds is shown.
  void Leave();
  void JoinWorker();
  // The page or its window goes: the worker is stopped and waited for.
  void StopWorker();

  CWnd* m_opener;
  AFX_THREADPROC m_workerProc = nullptr;
  std::unique_ptr<CWinThread> m_worker;

  bool m_scanEnded = false;         // the worker sent its end
  bool m_finished = false;          // the result or nothing-found page was opened
  bool m_left = false;              // the user left the page, or its window went
  bool m_endedAfterLeaving = false; // the scan ended after that
  bool m_stopConfirmed = false;     // Stop was answered with Yes
  bool m_finishPending = false;     // the end came while a box was up
  int m_modalDepth = 0;             // boxes running over the page
  int m_resultPagesOpened = 0;

  CATSkinButton m_stop;
  CATSkinButton m_back;
  CLabel m_heading;
  CLabel m_foundLabel;
  CLabel m_path;
};
