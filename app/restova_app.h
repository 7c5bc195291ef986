// The application object of salvora.exe: prepares COM, sockets and the
// picture library, runs the main window modally, and cleans up the pages and
// the results when it has closed. Pages reach it with RestovaApp().
#pragma once
#include "framework.h"
#include "statistics.h"   // StatisticsRecord (app/service)

// The page dialogs the wizard keeps here (created by the pages, destroyed by
// DestroyPagesAndResults when the main window has closed).
enum PageSlot {
  kScanPageSlot = 0,          // deleted-file / recycle-bin scan page
  kResultPageSlot = 1,        // deleted-file result page
  kDestinationPageSlot = 2,   // deleted-file destination page
  kCopyOutPageSlot = 3,       // deleted-file copy-out progress page
  kReportPageSlot = 4,        // deleted-file report page
  kUnformatResultPageSlot = 5,
  kNothingFoundPageSlot = 6,
  kPageSlot7 = 7,
  kPageSlot8 = 8,
  kPageSlotCount = 9
};

class CRestovaApp : public CWinApp {
 public:
  CRestovaApp();
  ~CRestovaApp() override;

  BOOL InitInstance() override;
  int ExitInstance() override;   // releases the picture library; returns 1, the exit code

  int BindPictureLibrary();      // pictaran.dll from the program's folder: 1 when started
  void UnbindPictureLibrary();
  // After the main window: every page held here (window, then object), then
  // the deleted-file results.
  void DestroyPagesAndResults();

  CDialog* m_pages[kPageSlotCount] = {};
  uint32_t m_listedFileCount = 0;   // files the last result page listed
  uint32_t m_reserved1 = 0;
  uint32_t m_reserved2 = 0;
  StatisticsRecord m_stats;
};

inline CRestovaApp* RestovaApp() { return static_cast<CRestovaApp*>(AfxGetApp()); }

// The folder of the program file, ending with '\'.
CString GetProgramFolder();
