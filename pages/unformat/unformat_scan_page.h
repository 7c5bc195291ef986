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
#include "scan_page_base.h"
#include "source_report.h"

class CUnformatScanDlg : public CScanPageBase {
 public:
  // opener: the location page (Back returns there).
  explicit CUnformatScanDlg(CWnd* opener);
  ~CUnformatScanDlg() override;

  // kind: 0 NTFS, 1 FAT32, 2 FAT16, 3 detect; driveIndex: drive letter - 'C'.
  void SetParameters(int kind, int driveIndex);
  // Clears the stop flags and starts the worker (once). FALSE when no thread
  // could be made: the page then ends as a scan that found nothing.
  BOOL StartWorker();

  int Kind() const { return m_kind; }
  int DriveIndex() const { return m_driveIndex; }
  // The texts and values the page shows (and the tests read).
  const CString& PathText() const { return m_pathText; }
  uint32_t PathMessages() const { return m_pathMessages; }
  uint32_t ProgressTotal() const { return m_total; }
  uint32_t ProgressPosition() const { return m_position; }
  int NothingFoundPagesOpened() const { return m_nothingFoundOpened; }
  // How the scan ended with its volume (after the scan has ended).
  const SourceReport& Source() const { return m_source; }
  // The worker's words on how the scan ended (before it sends its end).
  void SetSource(const SourceReport& report) { m_source = report; }

 protected:
  BOOL OnInitDialog() override;
  void PaintBody(CDC* dc, const CRect& client) override;
  void OnTimer(UINT_PTR id);
  LRESULT OnProgress(WPARAM total, LPARAM position);
  LRESULT OnPath(WPARAM, LPARAM text);
  LRESULT OnDone(WPARAM, LPARAM);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  void AskToStop(StopAction action) override;
  void FinishScan() override;
  void ShowNothingFound();
  void UpdateCount();

  uint8_t m_driveIndex = 0xFF;
  int m_kind = -1;
  CString m_pathText;
  uint32_t m_pathMessages = 0;
  uint32_t m_filesFound = 0;
  UINT_PTR m_timer = 0;
  uint32_t m_total = 0;
  uint32_t m_position = 0;
  int m_nothingFoundOpened = 0;
  SourceReport m_source;   // written by the worker, read once it is joined

  CMyProgressBar m_progress;
  CLabel m_volume;
  CLabel m_percent;
  CLabel m_count;
};

// The worker (argument: the page): empties the three result vectors, runs
// the unformat scan with the page's kind and volume, reporting to the page,
// tells the page whether the volume could be read (SetSource), and unless
// the user left the page (gScanAbort) sends it WM_UNFORMAT_DONE.
// It reads only what the page set before starting it. Returns 1.
UINT UnformatScanThreadProc(LPVOID page);
