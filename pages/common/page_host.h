// What the pages need from the program that runs them: the main window, the
// slots that keep the pages of a road alive between steps, the deep-scan road
// offered at the end of another road, and the statistics record the roads
// fill. The program sets itself as the host at start-up; the page tests set a
// stand-in. Pages never reach the program any other way.
#pragma once
#include "framework.h"
#include "statistics.h"   // StatisticsRecord (app/service)

// The page dialogs the host keeps (created by the pages, destroyed by the
// host when the main window has closed).
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

class CPageHost {
 public:
  // Pages reach one another through these, never by counting window parents.
  // The main window: null before it runs and after it has closed.
  virtual CWnd* MainWindow() const = 0;
  // The deep-scan road, offered by pages that end another road: whether the
  // main window has it, and opening it (false when it could not be opened).
  virtual bool CanOpenDeepScan() const = 0;
  virtual bool OpenDeepScan() = 0;

  // Shows the main window again where the road's last page stood (the end of
  // every road).
  void ShowMainWindow();
  // The page held in a slot, or null.
  CDialog* Page(int slot) const { return slot >= 0 && slot < kPageSlotCount ? m_pages[slot] : nullptr; }
  // Destroys the page held in a slot (its window first, then the object) and
  // empties the slot. A page must not destroy the slot that holds itself.
  void DestroyPage(int slot);
  // Destroys the page held in the slot and keeps page there instead.
  void HoldPage(int slot, CDialog* page);
  // Every page held (the host does it once the main window has closed).
  void DestroyPages();
  // What the roads report to the service.
  StatisticsRecord& Stats() { return m_stats; }

 protected:
  CPageHost() = default;
  ~CPageHost() = default;   // the host owns itself; pages never delete it
  CPageHost(const CPageHost&) = delete;
  CPageHost& operator=(const CPageHost&) = delete;

 private:
  CDialog* m_pages[kPageSlotCount] = {};
  StatisticsRecord m_stats;
};

// The host of the running program; null until one is set.
CPageHost* PageHost();
// A host unsetting itself passes null.
void SetPageHost(CPageHost* host);
