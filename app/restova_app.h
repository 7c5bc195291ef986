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
  kPageSlotCount = 7
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

  // Pages reach one another through these, never by counting window parents.
  // The main window: null before it runs and after it has closed.
  CWnd* MainWindow() const { return m_pMainWnd; }
  // Shows the main window again (the end of every road).
  void ShowMainWindow();
  // The deep-scan road, offered by pages that end another road: whether the
  // main window has it, and opening it (false when it could not be opened).
  bool CanOpenDeepScan() const;
  bool OpenDeepScan();
  // The page held in a slot, or null.
  CDialog* Page(int slot) const { return slot >= 0 && slot < kPageSlotCount ? m_pages[slot] : nullptr; }
  // Destroys the page held in a slot (its window first, then the object) and
  // empties the slot. A page must not destroy the slot that holds itself.
  void DestroyPage(int slot);
  // Destroys the page held in the slot and keeps page there instead.
  void HoldPage(int slot, CDialog* page);

  CDialog* m_pages[kPageSlotCount] = {};
  StatisticsRecord m_stats;
};

inline CRestovaApp* RestovaApp() { return static_cast<CRestovaApp*>(AfxGetApp()); }

// The folder of the program file, ending with '\', in the active code page;
// empty when its name does not survive that code page (module_path.h): the
// 8-bit text would name another folder.
CString GetProgramFolder();
