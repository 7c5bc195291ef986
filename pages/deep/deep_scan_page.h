// The deep scan page (dialog 290): shows the signature scan of one volume or
// one physical disk while it runs on the page's worker, then opens the result
// page, the nothing-found page, or goes back to the location page.
//
//   page->Create(IDD_DEEP_SCAN, locationPage);
//   page->SetTarget(0xFF, driveIndex);   // or (disk, 0xFF)
//   page->StartWorker();
//
// The page owns its worker: destroying the page stops the scan and waits for
// it. A stop the user confirmed keeps the page up until the worker has ended;
// Stop then shows what was found so far, Back and close return to the
// location page and open nothing else.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "bars.h"
#include "source_report.h"
#include "wizard_page.h"

class CPhotoRecoverDlg;

class CPhotoScanDlg : public CWizardPage {
 public:
  explicit CPhotoScanDlg(CPhotoRecoverDlg* owner);
  ~CPhotoScanDlg() override;

  // The target: exactly one of the two is set, the other is 0xFF.
  void SetTarget(uint8_t disk, uint8_t driveIndex);
  // The title in the band.
  void SetTitleText(const char* text) { m_title.SetText(text); }
  // Starts the scan on the page's worker (once); FALSE when it cannot start.
  BOOL StartWorker();
  // The scan's procedure (argument: the page), for the tests' gated start.
  static UINT ScanThreadProc(LPVOID page);
  using WorkerProc = UINT (*)(LPVOID);
  BOOL StartWorker(WorkerProc proc);

  // For the tests and the location page.
  uint32_t LeaveFlag() const { return m_leave; }
  uint32_t HitCount() const { return m_hitCount; }
  const CString& HitText() const { return m_hitText; }
  bool ScanEnded() const { return m_ended; }
  bool Stopping() const { return m_stopping; }
  // The user stopped the scan with Stop (not by leaving the page).
  bool StoppedByUser() const { return m_stopping && m_leave == 0; }
  int ScanResult() const { return m_scanResult.load(); }
  // How the scan ended with its disk or volume (after the scan has ended).
  const SourceReport& Source() const { return m_source; }
  bool WorkerRunning() const;
  CDialog* NothingFoundPage() const { return m_nothingFound.get(); }
  CMyProgressBar& ProgressBar() { return m_bar; }

 protected:
  BOOL OnInitDialog() override;
  void PaintBody(CDC* dc, const CRect& client) override;
  void OnStop() { AskToStop(kAskedByStop); }
  void OnBack() { AskToStop(kAskedByBack); }
  void OnCloseBox() { AskToStop(kAskedByCloseBox); }
  void OnClose() { AskToStop(kAskedByClose); }
  LRESULT OnProgress(WPARAM total, LPARAM position);
  LRESULT OnFound(WPARAM, LPARAM text);
  LRESULT OnDone(WPARAM, LPARAM);
  void OnTimer(UINT_PTR id);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  enum AskedBy { kAskedByStop, kAskedByBack, kAskedByCloseBox, kAskedByClose };
  void AskToStop(AskedBy by);
  void FinishScan();
  void ShowProgress();
  void ShowTargetText();

  CPhotoRecoverDlg* m_owner;
  uint32_t m_leave = 0;          // 1: back to the location page when the scan ends
  uint32_t m_hitCount = 0;
  uint32_t m_foundMessages = 0;  // hit messages received (the first shows no target)
  uint32_t m_stopAnswer = 0;     // 255 while the question is up, then its answer
  UINT_PTR m_timer = 0;
  uint64_t m_total = 0;          // sectors of the source, from the scan
  uint64_t m_position = 0;       // sector being read
  CMyProgressBar m_bar;
  CString m_hitText;
  uint8_t m_disk = 0xFF;
  uint8_t m_drive = 0xFF;
  std::unique_ptr<CWinThread> m_worker;
  HWND m_window = nullptr;       // the page's window, for the worker (set before it starts)
  std::atomic<int> m_scanResult{1};
  SourceReport m_source;   // written by the worker before its end message
  bool m_ended = false;          // WM_DELSCAN_DONE has arrived
  bool m_finishPending = false;  // it arrived while the stop question was up
  bool m_stopping = false;       // a stop was confirmed; the worker is ending
  bool m_destroying = false;
  bool m_shownPercent = false;
  int m_lastPercent = -1;
  uint32_t m_lastCount = UINT32_MAX;
  std::unique_ptr<CDialog> m_nothingFound;

  CATSkinButton m_stopButton;
  CATSkinButton m_backButton;
  CLabel m_heading;
  CLabel m_targetLabel;
  CLabel m_percentLabel;
  CLabel m_countLabel;
  CLabel m_foundLabel;
  CLabel m_hitLabel;
};
