// The deleted-file scan page: shows the scan while it runs and opens the
// result page (or the nothing-found page) when it ends. It serves the
// deleted-file road (the location page opens it with a drive or folder) and
// the recycle-bin road (the main window opens it with the recycle-bin flag:
// its worker scans the recycle folder of every drive).
//
// The page owns its worker. Stop, Back, the close box and closing the window
// ask first (CStopScanMBDlg); on Yes:
//   Stop          raises gScanAbort; the page stays until the worker ends and
//                 then shows what was found so far;
//   Back, close   raise gScanAbort, wait for the worker, show the page that
//   box           opened this one and hide; nothing opens later;
//   window close  raises gScanAbort, waits for the worker and shows what was
//                 found at once.
// A scan that ends while the question is open closes it as No, and the result
// page opens exactly once, when the question is gone. The result page opens
// only after the worker has ended, so nothing appends to the results it reads.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "bars.h"
#include "busy_boxes.h"
#include "deleted/delscan.h"
#include "scan_page_base.h"

// What the page hands its worker: the request, and the sources the worker
// could not scan (written by the worker, read by the page once it is joined).
struct DeletedScanJob : DeletedScanRequest {
  std::vector<SourceReport> failures;
};

class CScanDelFilesDlg : public CScanPageBase {
 public:
  // opener: the page that opened the scan (the location page, or the main
  // window on the recycle-bin road); Back and the nothing-found page's Back
  // return there.
  explicit CScanDelFilesDlg(CWnd* opener);
  ~CScanDelFilesDlg() override;

  // Before Create: what to scan ("X:\" or "X:\folder"), or the recycle bins.
  void SetTarget(const char* target) { m_target = target; }
  void SetRecycleBin(BOOL recycleBin) { m_recycleBin = recycleBin; }
  // Before Create, SetWorkerProc: the worker procedure, when not the road's
  // own (tests run the real one behind a gate). Its argument is the page's
  // DeletedScanRequest.

  // What the result page asks of the scan that made its records.
  const CString& ScanTarget() const { return m_target; }
  BOOL IsRecycleBinScan() const { return m_recycleBin; }
  // Opens the nothing-found page for this scan (the result page calls it when
  // its list turns out empty). Replaces the one the application object holds.
  void ShowNothingFound();
  // The sources the scan could not read (after the scan has ended).
  const std::vector<SourceReport>& SourceFailures() const { return m_job.failures; }

 protected:
  BOOL OnInitDialog() override;
  void PaintBody(CDC* dc, const CRect& client) override;
  LRESULT OnScanProgress(WPARAM, LPARAM text);
  LRESULT OnScanDone(WPARAM, LPARAM);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  void AskToStop(StopAction action) override;
  void FinishScan() override;
  void OpenResultPage();
  // The nothing-found page, saying why the scan did not run.
  void ShowSourceFailure();

  CString m_target;
  BOOL m_recycleBin = FALSE;
  DeletedScanJob m_job;
  CStopScanMBDlg m_stopBox;
  CRollItem m_roll;
};

// Opens the deleted-file result page for a scan that found records: a new
// CChoiceFilesDlg (dialog 163) with the scan page as parent, held in the
// application object's result-page slot, created, centred and shown. It is
// defined beside the result page. Returns the page, or null when it could
// not be made.
CDialog* OpenDeletedResultPage(CScanDelFilesDlg* scanPage);

// The worker of the deleted-file road: the engine's scan of the job's
// target, which sends WM_DELSCAN_DONE at its end; a target that could not be
// scanned goes into the job's failures. The argument is the page's
// DeletedScanJob.
UINT DeletedScanThreadProc(LPVOID job);

// The recycle-bin worker: scans the recycle folders of every drive but A: and
// B: ("$Recycle.Bin" from Windows Vista on, else "RECYCLER" and "RECYCLED")
// into the results, stopping early when gScanAbort is raised, then sends
// WM_DELSCAN_DONE once. A drive with a recycle folder that is there but
// whose volume could not be scanned goes into the job's failures, once. The
// argument is the page's DeletedScanJob (its window set).
UINT RecycleBinScanThreadProc(LPVOID job);
// The recycle folders the worker scans, in drive order.
std::vector<std::string> RecycleBinTargets(const char* driveStrings, bool vistaOrLater);
// Scans the targets one after the other into the results (stopping early
// when gScanAbort is raised); the drives whose recycle folder is there but
// could not be scanned, one report each.
std::vector<SourceReport> ScanRecycleFolders(const DeletedScanRequest& request,
                                             const std::vector<std::string>& targets);
