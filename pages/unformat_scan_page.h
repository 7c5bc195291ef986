// The unformat scan page: shows the scan of one volume while it runs on the
// page's worker, and opens the unformat result page (or the nothing-found
// page) when it ends.
//
//   page->Create(IDD_UNFORMAT_SCAN, locationPage);
//   page->SetParameters(kind, driveIndex);
//   page->StartWorker();
//
// The page owns its worker and joins it before it opens anything that reads
// the results and before its window goes. Stop, Back, the close box and
// closing the window ask first (the shared stop box); on Yes:
//   Stop, window close  raise gUnformatAbort: the scan ends and the page then
//                       shows what was found so far;
//   Back, close box     raise gScanAbort, wait for the worker, show the
//                       location page and hide; nothing opens later.
// A scan that ends while the question is open closes it as No, and the page
// goes on to its results exactly once.
#pragma once
#include <memory>

#include "bars.h"
#include "busy_boxes.h"
#include "wizard_page.h"

// Posted by the page to itself once the worker has sent WM_UNFORMAT_DONE.
constexpr UINT WM_UNFORMAT_FINISHED = WM_APP + 145;

class CUnformatScanDlg : public CWizardPage {
 public:
  // opener: the location page (Back returns there).
  explicit CUnformatScanDlg(CWnd* opener);
  ~CUnformatScanDlg() override;

  // kind: 0 NTFS, 1 FAT32, 2 FAT16, 3 detect; driveIndex: drive letter - 'C'.
  void SetParameters(int kind, int driveIndex);
  // The worker to start instead of UnformatScanThreadProc (tests gate it).
  void SetWorkerProc(AFX_THREADPROC proc) { m_workerProc = proc; }
  // Clears the stop flags and starts the worker (once). FALSE when no thread
  // could be made: the page then ends as a scan that found nothing.
  BOOL StartWorker();

  int Kind() const { return m_kind; }
  int DriveIndex() const { return m_driveIndex; }
  CWnd* Opener() const { return m_opener; }
  // The texts and values the page shows (and the tests read).
  const CString& PathText() const { return m_pathText; }
  uint32_t PathMessages() const { return m_pathMessages; }
  uint32_t ProgressTotal() const { return m_total; }
  uint32_t ProgressPosition() const { return m_position; }
  bool WorkerRunning() const { return m_worker && m_worker->IsRunning(); }
  bool ScanEnded() const { return m_scanEnded; }
  bool LeftByUser() const { return m_left; }
  int ResultPagesOpened() const { return m_resultPagesOpened; }
  int NothingFoundPagesOpened() const { return m_nothingFoundOpened; }

 protected:
  BOOL OnInitDialog() override;
  void PaintBody(CDC* dc, const CRect& client) override;
  void OnBanner() override;
  void OnStop();
  void OnBack();
  void OnCloseBox();
  void OnClose();
  void OnTimer(UINT_PTR id);
  LRESULT OnProgress(WPARAM total, LPARAM position);
  LRESULT OnPath(WPARAM, LPARAM text);
  LRESULT OnDone(WPARAM, LPARAM);
  LRESULT OnFinished(WPARAM, LPARAM);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  enum class StopAction { kStop, kBack, kCloseBox, kWindowClose };
  void AskToStop(StopAction action);
  void Leave();
  void JoinWorker();
  void RunPendingFinish();
  void FinishScan();
  void ShowNothingFound();
  void UpdateCount();

  CWnd* m_opener;
  uint8_t m_driveIndex = 0xFF;
  int m_kind = -1;
  CString m_pathText;
  uint32_t m_pathMessages = 0;
  uint32_t m_filesFound = 0;
  UINT_PTR m_timer = 0;
  uint32_t m_total = 0;
  uint32_t m_position = 0;
  AFX_THREADPROC m_workerProc = nullptr;
  std::unique_ptr<CWinThread> m_worker;

  bool m_scanEnded = false;         // the worker sent WM_UNFORMAT_DONE
  bool m_finished = false;          // the result or nothing-found page was opened
  bool m_left = false;              // the user left the page, or its window went
  bool m_stopConfirmed = false;     // Stop was answered with Yes
  bool m_finishPending = false;     // the end came while a box was up
  int m_modalDepth = 0;             // boxes running over the page
  int m_resultPagesOpened = 0;
  int m_nothingFoundOpened = 0;

  CMyProgressBar m_progress;
  CATSkinButton m_stop;
  CATSkinButton m_back;
  CLabel m_heading;
  CLabel m_volume;
  CLabel m_percent;
  CLabel m_foundLabel;
  CLabel m_count;
  CLabel m_path;
};

// The worker (argument: the page): empties the three result vectors, runs
// the unformat scan with the page's kind and volume, reporting to the page,
// and unless the user left the page (gScanAbort) sends it WM_UNFORMAT_DONE.
// It reads only what the page set before starting it. Returns 1.
UINT UnformatScanThreadProc(LPVOID page);
