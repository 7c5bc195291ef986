// The destination pages: where the recovered files go. One family for the
// three roads (deleted files and recycle bins, unformat, deep scan): each
// proposes a folder on a drive with room that is not the scanned one, shows
// how many files of what size were ticked, checks the user's choice in a fixed
// order (destination_checks.h) and starts the road's copy-out with its
// progress page.
#pragma once

#include <atomic>
#include <memory>

#include "destination_checks.h"
#include "recovery_road.h"
#include "wizard_page.h"

class CCopyOutProgressPage;
class CStopRestorFileDlg;

class CRecoveryPathPage : public CWizardPage {
 public:
  CRecoveryPathPage(UINT templateId, CRecoveryResults* results, RecoveryRoad road);
  ~CRecoveryPathPage() override;

  CRecoveryResults* Results() const { return m_results; }
  RecoveryRoad Road() const { return m_road; }
  // The destination as typed (after Next: as checked and taken).
  const CString& Destination() const { return m_destination; }
  // The folder handed to the copy-out: the destination ending with '\'.
  const char* DestinationFolder() const { return m_destFolder; }
  // The size of the ticked files in sectors, counted afresh.
  virtual uint64_t SelectionSectors() const = 0;
  // The drive the page proposed (0: none).
  char ProposedDrive() const { return m_proposed; }
  // The progress page of the copy-out that runs or ran last (null: none).
  virtual CCopyOutProgressPage* ProgressPage() const = 0;
  // A road's worker may tell how many files it copied whole before it ends;
  // otherwise the progress page counts them.
  void SetRecoveredWhole(uint32_t files) { m_recoveredWhole = files; m_recoveredKnown = true; }
  bool RecoveredWholeKnown(uint32_t* files) const {
    if (m_recoveredKnown) *files = m_recoveredWhole;
    return m_recoveredKnown;
  }
  uint32_t m_recoveredCount = 0;   // kept up to date by the progress page

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void PaintBody(CDC* dc, const CRect& client) override;
  void OnLogo() { OnBanner(); }
  void OnBrowse();
  void OnNext();
  void OnBackButton();
  void OnClose();
  DECLARE_MESSAGE_MAP()

  // After the checks have passed: start the copy-out with the progress page.
  virtual void StartCopyOut() = 0;
  // Back, the close box and closing the window.
  virtual void LeaveBack();
  DestinationRules Rules(uint64_t totalSectors) const;
  void LayOutWarning();

  CRecoveryResults* m_results;
  RecoveryRoad m_road;
  CString m_destination;
  char m_destFolder[512] = {};
  char m_proposed = 0;
  uint32_t m_recoveredWhole = 0;
  bool m_recoveredKnown = false;
  CString m_warnIf, m_warnDrive, m_warnRest, m_fileCount, m_size, m_sizeUnit;

  CxSkinButton m_logo;
  CATSkinButton m_next, m_back, m_browse;
  CLabel m_heading, m_labels[9];
};

// The destination pages whose progress page is a member and whose copy-out
// worker they run themselves (unformat, deep scan: each road's own folder
// holds its page).
class CWorkerRecoveryPathPage : public CRecoveryPathPage {
 public:
  // worker: the road's copy-out, started with this page as its argument.
  CWorkerRecoveryPathPage(UINT templateId, CRecoveryResults* results, RecoveryRoad road, AFX_THREADPROC worker)
      : CRecoveryPathPage(templateId, results, road), m_copyOutWorker(worker) {}
  bool WorkerRunning() const { return m_worker && m_worker->IsRunning(); }
  // Waits for the worker that has sent its end message.
  void JoinWorker() {
    if (m_worker) m_worker->Join();
  }

 protected:
  // A run: the previous worker is waited for, the progress page's window is
  // made anew from its template and shown in place of this page (its handle
  // stored in *progressWindow for the worker), then the worker starts with
  // this page as its argument. The copy-out's counters start at 0 before the
  // progress page is made.
  void RunCopyOut(UINT progressTemplate, HWND* progressWindow);
  // The worker's end message: the progress page finishes once the worker
  // has returned.
  LRESULT ForwardWorkerEnd();
  // The page goes: the road's stop flag goes up and the worker is waited for.
  void StopWorker(std::atomic<uint32_t>& stopFlag);

  std::unique_ptr<CWinThread> m_worker;
  AFX_THREADPROC m_copyOutWorker;
};
