// The deleted-file road's first half inside a test program, under Wine and
// Xvfb, on images made by mkfs.fat, mtools and libntfs-3g: the main window
// and its page switching, the location page choosing a mapped drive, real
// scans to their end, the nothing-found page, the recycle-bin road, the stop
// protocol's edge cases, and the settings dialogs. Screenshots of every page
// are saved as artifacts.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "busy_boxes.h"
#include "deleted/fat_scan.h"
#include "location_page.h"
#include "messages.h"
#include "nothing_found_page.h"
#include "page_state.h"
#include "page_test_support.h"
#include "resource.h"
#include "restova_app.h"
#include "restova_dlg.h"
#include "scan_page.h"
#include "settings_dlgs.h"
#include "state.h"
#include "testsupport.h"
#include "treelist.h"

using namespace pagetest;
using testsupport::ArtifactPath;
using testsupport::SaveScreenshot;

CRestovaApp theApp;

namespace {

// ---- a worker behind a gate: the real scan, once the test opens the gate ---------

HANDLE gGate = nullptr;

UINT GatedScan(LPVOID request) {
  WaitForSingleObject(gGate, 60000);
  return DeletedScanThreadProc(request);
}

void Click(CWnd* page, int id) {
  ::SendMessageA(page->m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(page->m_hWnd, id)));
}

// Screenshots of a window once it has painted.
void Shoot(CWnd* w, const char* name) {
  ::RedrawWindow(w->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(400);
  EXPECT_TRUE(SaveScreenshot(ArtifactPath(name), w->m_hWnd)) << name;
}

bool HasRecord(const char* path, int driveIndex = -1) {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  return std::any_of(gDeletedFiles.begin(), gDeletedFiles.end(), [&](const DeletedFileRecord& r) {
    return lstrcmpiA(r.path, path) == 0 && (driveIndex < 0 || r.driveIndex == driveIndex);
  });
}

class Road : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterTreeListClass(GetModuleHandleA(nullptr));   // as the program does before its first window
    gGate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const std::string scratch = testsupport::EnvText("SALVORA_SCRATCH_WIN") + "\\";
    drives = new ListedDrives({{'X', scratch + "xroot"}, {'N', scratch + "nroot"}, {'P', scratch + "proot"},
                               {'F', scratch + "froot"}, {'R', scratch + "rroot"}});
  }
  static void TearDownTestSuite() {
    delete drives;
    drives = nullptr;
  }
  static ListedDrives* drives;

  void SetUp() override {
    ResetEvent(gGate);
    gScanAbort = 0;
    main = new CRestovaDlg;
    ASSERT_TRUE(main->Create(IDD_MAIN));
    theApp.m_pMainWnd = main;
    main->CenterWindow();
    main->ShowWindow(SW_SHOW);
    Pump(100);
  }

  void TearDown() override {
    SetEvent(gGate);
    if (main->m_hWnd) main->DestroyWindow();
    theApp.DestroyPagesAndResults();
    theApp.m_pMainWnd = nullptr;
    delete main;
    gRecycleBinMode = 0;
    Pump(50);
  }

  CRFilesDlg* OpenLocation() {
    Click(main, IDC_MODE_DELETED);
    return dynamic_cast<CRFilesDlg*>(main->CurrentPage());
  }
  CScanDelFilesDlg* ScanPage() { return dynamic_cast<CScanDelFilesDlg*>(theApp.Page(kScanPageSlot)); }
  CDialog* ResultPage() { return theApp.Page(kResultPageSlot); }
  CFindNoFileDlg* NothingFound() { return dynamic_cast<CFindNoFileDlg*>(theApp.Page(kNothingFoundPageSlot)); }

  // A scan page over the location page, as its Next makes one, with the
  // gated worker.
  CScanDelFilesDlg* GatedScanPage(CRFilesDlg* location, const char* target) {
    auto* scan = new CScanDelFilesDlg(location);
    scan->SetTarget(target);
    scan->SetWorkerProc(GatedScan);
    theApp.HoldPage(kScanPageSlot, scan);
    EXPECT_TRUE(scan->Create(IDD_DELETED_SCAN, location));
    scan->CenterWindow();
    scan->ShowWindow(SW_SHOW);
    location->ShowWindow(SW_HIDE);
    return scan;
  }

  // Runs the location page's Next on a drive and waits for the scan's end.
  CScanDelFilesDlg* ScanDrive(CRFilesDlg* location, const char* root) {
    EXPECT_TRUE(location->Tree().SelectPath(root)) << root;
    Click(location, IDC_LOC_NEXT);
    CScanDelFilesDlg* scan = ScanPage();
    EXPECT_NE(scan, nullptr);
    if (!scan) return nullptr;
    EXPECT_TRUE(PumpUntil([&] { return scan->Finished(); }, 60000));
    return scan;
  }

  CRestovaDlg* main = nullptr;
};

ListedDrives* Road::drives = nullptr;

// ---- the main window ----------------------------------------------------------------------

TEST_F(Road, TheMainWindowOpensTheDeletedFileRoadAndEveryButtonPressMakesAFreshPage) {
  Shoot(main, "main_window.bmp");
  for (int id : {IDC_MODE_DELETED, IDC_MODE_UNFORMAT, IDC_MODE_DEEP, IDC_MODE_REMOVABLE, IDC_MODE_RECYCLE,
                 IDC_MODE_LOSTPART})
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(main->m_hWnd, id))) << id;

  CRFilesDlg* first = OpenLocation();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(Shown(first));
  EXPECT_FALSE(Shown(main));
  EXPECT_EQ(theApp.Stats().fixtype2, 1);
  HWND firstWindow = first->m_hWnd;

  // Back returns to the main window; the button then makes a new page.
  Click(first, IDC_LOC_BACK);
  EXPECT_TRUE(Shown(main));
  EXPECT_FALSE(::IsWindowVisible(firstWindow));
  CRFilesDlg* second = OpenLocation();
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(::IsWindow(firstWindow)) << "the old page is destroyed first";
  EXPECT_TRUE(Shown(second));
  Click(second, IDC_CLOSE);
  EXPECT_TRUE(Shown(main));

  // The other roads open their own first pages, each a fresh one.
  HWND previous = second->m_hWnd;
  for (int id : {IDC_MODE_UNFORMAT, IDC_MODE_DEEP, IDC_MODE_REMOVABLE, IDC_MODE_LOSTPART}) {
    Click(main, id);
    CDialog* page = main->CurrentPage();
    ASSERT_NE(page, nullptr) << id;
    EXPECT_NE(page->m_hWnd, previous) << id;
    EXPECT_TRUE(Shown(page)) << id;
    EXPECT_FALSE(Shown(main)) << id;
    page->ShowWindow(SW_HIDE);
    main->ShowWindow(SW_SHOW);
    previous = page->m_hWnd;
  }
  EXPECT_EQ(theApp.Stats().fixtype2, 5);
  EXPECT_TRUE(main->CanShowPage(kPageDeepRecovery));
}

TEST_F(Road, ShowPageMessagesSwitchToTheRightPage) {
  // No current page yet: "show it again" has nothing to show.
  EXPECT_EQ(main->ShowPage(8), 0);
  EXPECT_TRUE(Shown(main));

  main->SendMessage(WM_SHOW_PAGE, 0, 0);   // page 1
  auto* location = dynamic_cast<CRFilesDlg*>(main->CurrentPage());
  ASSERT_NE(location, nullptr);
  EXPECT_TRUE(Shown(location));
  EXPECT_FALSE(Shown(main));

  main->SendMessage(WM_SHOW_PAGE, 0, -1);  // the start page, inside the main window
  auto* start = dynamic_cast<CMainPageDlg*>(main->CurrentPage());
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(::GetParent(start->m_hWnd), main->m_hWnd);
  EXPECT_FALSE(Shown(location));
  main->ShowWindow(SW_SHOW);
  EXPECT_TRUE(Shown(start));

  main->SendMessage(WM_SHOW_PAGE, 0, 4);   // page 5: the tool box
  EXPECT_NE(dynamic_cast<CToolBoxDlg*>(main->CurrentPage()), nullptr);
  EXPECT_EQ(main->PageOfKind(kPageStart), static_cast<CDialog*>(start)) << "a page of another kind stays";

  main->SendMessage(WM_SHOW_PAGE, 0, 1);   // page 2: the unformat road's location page
  EXPECT_EQ(dynamic_cast<CToolBoxDlg*>(main->CurrentPage()), nullptr);
  EXPECT_EQ(main->CurrentPage(), main->PageOfKind(2));

  main->SendMessage(WM_SHOW_PAGE, 0, 0);
  CDialog* again = main->CurrentPage();
  EXPECT_NE(dynamic_cast<CRFilesDlg*>(again), nullptr);
  EXPECT_FALSE(Shown(main));
  again->ShowWindow(SW_HIDE);
  main->SendMessage(WM_SHOW_PAGE, 0, 41);  // above 7: the current page again
  EXPECT_TRUE(Shown(again));
  EXPECT_FALSE(Shown(main));
}

// ---- real scans -----------------------------------------------------------------------------

// Takes the scan page's picture while the scan runs: inside the handling of a
// progress text, while the worker waits for it.
HHOOK gShotHook = nullptr;
HWND gShotPage = nullptr;
int gProgressSeen = 0;
LRESULT CALLBACK ShootDuringScan(int code, WPARAM wp, LPARAM lp) {
  auto* m = reinterpret_cast<CWPRETSTRUCT*>(lp);
  if (code == HC_ACTION && m->hwnd == gShotPage && m->message == WM_DELSCAN_PROGRESS && ++gProgressSeen == 3) {
    ::RedrawWindow(gShotPage, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);
    ::RedrawWindow(gShotPage, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    SaveScreenshot(ArtifactPath("scan_page.bmp"), gShotPage);
  }
  return CallNextHookEx(gShotHook, code, wp, lp);
}

TEST_F(Road, AFat32DriveChosenInTheTreeIsScannedAndItsResultsOpen) {
  CRFilesDlg* location = OpenLocation();
  ASSERT_NE(location, nullptr);
  ASSERT_TRUE(location->Tree().SelectPath("X:\\"));
  Shoot(location, "location_page.bmp");

  gProgressSeen = 0;
  gShotPage = nullptr;
  gShotHook = SetWindowsHookExA(WH_CALLWNDPROCRET, ShootDuringScan, nullptr, GetCurrentThreadId());
  // The worker's first text waits until this thread handles messages again.
  Click(location, IDC_LOC_NEXT);
  CScanDelFilesDlg* scan = ScanPage();
  ASSERT_NE(scan, nullptr);
  gShotPage = scan->m_hWnd;
  EXPECT_STREQ(scan->ScanTarget(), "X:\\");
  EXPECT_FALSE(Shown(location));
  ASSERT_TRUE(PumpUntil([&] { return ResultPage() != nullptr; }, 60000));
  UnhookWindowsHookEx(gShotHook);
  EXPECT_GE(gProgressSeen, 3) << "progress texts reached the page";

  EXPECT_FALSE(scan->WorkerRunning());
  EXPECT_EQ(scan->ResultPagesOpened(), 1);
  EXPECT_TRUE(Shown(ResultPage()));
  EXPECT_FALSE(Shown(scan));
  EXPECT_EQ(NothingFound(), nullptr);
  EXPECT_TRUE(HasRecord("\\Early Note.txt", 'X' - 'C'));
  EXPECT_TRUE(HasRecord("\\a\\b\\c\\Deep In Tree.txt"));
  EXPECT_FALSE(HasRecord("\\Filler.bin")) << "a live file is not a deleted one";
  EXPECT_EQ(theApp.Stats().pending, 1);
  EXPECT_EQ(theApp.Stats().scancount, -1);
  Shoot(ResultPage(), "result_after_scan.bmp");
  Pump(200);
}

TEST_F(Road, AnNtfsDriveIsScannedToo) {
  CRFilesDlg* location = OpenLocation();
  ASSERT_NE(location, nullptr);
  CScanDelFilesDlg* scan = ScanDrive(location, "N:\\");
  ASSERT_NE(scan, nullptr);
  ASSERT_NE(ResultPage(), nullptr);
  EXPECT_GT(DeletedFileCount(), 0u);
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  for (const DeletedFileRecord& r : gDeletedFiles) EXPECT_EQ(r.driveIndex, 'N' - 'C') << r.path;
}

TEST_F(Road, AScanThatFindsNothingOpensTheNothingFoundPageAndBackLeadsToTheLocationPage) {
  CRFilesDlg* location = OpenLocation();
  ASSERT_NE(location, nullptr);
  CScanDelFilesDlg* scan = ScanDrive(location, "P:\\");
  ASSERT_NE(scan, nullptr);
  EXPECT_EQ(ResultPage(), nullptr);
  CFindNoFileDlg* none = NothingFound();
  ASSERT_NE(none, nullptr);
  EXPECT_TRUE(Shown(none));
  EXPECT_FALSE(Shown(scan));
  EXPECT_EQ(none->DriveIndex(), 'p' - 'c');
  EXPECT_EQ(none->m_modeKind, 1);
  // The main window can open the deep-scan road: the page offers it.
  EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(none->m_hWnd, IDC_NF_DEEP)));
  Shoot(none, "nothing_found.bmp");

  Click(none, IDC_NF_BACK);
  EXPECT_FALSE(Shown(none));
  EXPECT_TRUE(Shown(location));
  EXPECT_FALSE(Shown(main));

  // Again, and Finish this time: the main window.
  ScanDrive(location, "P:\\");
  none = NothingFound();
  ASSERT_NE(none, nullptr);
  Click(none, IDC_NF_FINISH);
  EXPECT_FALSE(Shown(none));
  EXPECT_TRUE(Shown(main));
}

TEST_F(Road, TheRecycleBinRoadScansTheRecycleFoldersOfEveryDrive) {
  Click(main, IDC_MODE_RECYCLE);
  EXPECT_EQ(gRecycleBinMode, 1u);
  EXPECT_EQ(theApp.Stats().fixtype2, 4);
  CScanDelFilesDlg* scan = ScanPage();
  ASSERT_NE(scan, nullptr);
  EXPECT_TRUE(scan->IsRecycleBinScan());
  EXPECT_EQ(scan->Opener(), static_cast<CWnd*>(main));
  EXPECT_FALSE(Shown(main));
  ASSERT_TRUE(PumpUntil([&] { return ResultPage() || NothingFound(); }, 120000));
  ASSERT_NE(ResultPage(), nullptr);
  EXPECT_EQ(scan->ResultPagesOpened(), 1);
  // The emptied bins of the NTFS drive R: and the FAT32 drive F: (the
  // information files keep their names; the result page may give the data
  // files theirs back).
  const std::string sid = "\\S-1-5-21-1000-2000-3000-1001\\";
  EXPECT_TRUE(HasRecord((sid + "$IAB12CD.jpg").c_str(), 'R' - 'C'));
  EXPECT_TRUE(HasRecord((sid + "$I5TQ9XZ.docx").c_str(), 'R' - 'C'));
  EXPECT_TRUE(HasRecord((sid + "$IFATPIC.jpeg").c_str(), 'F' - 'C'));
  {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    for (const DeletedFileRecord& r : gDeletedFiles)
      EXPECT_TRUE(r.driveIndex == 'R' - 'C' || r.driveIndex == 'F' - 'C') << r.path << " on " << int(r.driveIndex);
  }
  // Leaving the results ends the road at the main window.
  ResultPage()->SendMessage(WM_CLOSE);
  ASSERT_TRUE(PumpUntil([&] { return Shown(main); }, 20000));
}

TEST_F(Road, TheRecycleWorkerScansEveryDriveButAAndB) {
  const char drives[] = "A:\\\0b:\\\0C:\\\0F:\\\0";
  using V = std::vector<std::string>;
  EXPECT_EQ(RecycleBinTargets(drives, true), (V{"C:\\$Recycle.Bin", "F:\\$Recycle.Bin"}));
  EXPECT_EQ(RecycleBinTargets(drives, false),
            (V{"C:\\RECYCLER", "C:\\RECYCLED", "F:\\RECYCLER", "F:\\RECYCLED"}));
  EXPECT_TRUE(RecycleBinTargets("", true).empty());
}

TEST_F(Road, ANothingFoundRecycleScanLeadsBackToTheMainWindowEitherWay) {
  // Both ways out of a nothing-found page that the recycle-bin road opened.
  for (int button : {IDC_NF_BACK, IDC_NF_FINISH}) {
    theApp.DestroyPage(kNothingFoundPageSlot);
    auto* scan = new CScanDelFilesDlg(main);
    scan->SetRecycleBin(TRUE);
    scan->SetWorkerProc([](LPVOID r) -> UINT {
      auto* request = static_cast<DeletedScanRequest*>(r);
      SendMessageA(request->window, WM_DELSCAN_DONE, 0, 0);   // nothing anywhere
      return 1;
    });
    gRecycleBinMode = 1;
    theApp.HoldPage(kScanPageSlot, scan);
    ASSERT_TRUE(scan->Create(IDD_DELETED_SCAN, main));
    scan->ShowWindow(SW_SHOW);
    main->ShowWindow(SW_HIDE);
    ASSERT_TRUE(PumpUntil([&] { return NothingFound() != nullptr; }, 20000));
    CFindNoFileDlg* none = NothingFound();
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(none->m_hWnd, IDC_NF_DEEP)));
    Click(none, button);
    EXPECT_TRUE(Shown(main)) << button;
    EXPECT_FALSE(Shown(none));
  }
}

// ---- the stop protocol ------------------------------------------------------------------------

TEST_F(Road, AScanThatEndsWhileTheStopQuestionIsOpenClosesItAndOpensTheResultsOnce) {
  CRFilesDlg* location = OpenLocation();
  CScanDelFilesDlg* scan = GatedScanPage(location, "X:\\");
  // The question appears; only then may the scan run to its end.
  AnswerWhenShown release(IDC_STOPBOX_QUESTION, [](HWND box) {
    Sleep(200);
    SaveScreenshot(ArtifactPath("stop_question.bmp"), box);
    SetEvent(gGate);
  });
  Click(scan, IDC_SCAN_STOP);   // returns when the question has gone
  EXPECT_TRUE(release.Found());
  EXPECT_EQ(gScanAbort.load(), 0u) << "the end of the scan answered No";
  EXPECT_TRUE(scan->ScanEnded());
  ASSERT_TRUE(PumpUntil([&] { return ResultPage() != nullptr; }));
  Pump(300);
  EXPECT_EQ(scan->ResultPagesOpened(), 1);
  EXPECT_TRUE(Shown(ResultPage()));
  EXPECT_TRUE(HasRecord("\\Early Note.txt"));
}

TEST_F(Road, NoLeavesTheScanRunningAndTheResultsOpenWhenItEnds) {
  CRFilesDlg* location = OpenLocation();
  CScanDelFilesDlg* scan = GatedScanPage(location, "X:\\");
  for (auto answer : {+[](HWND h) { ClickButton(h, IDC_STOPBOX_NO); },
                      +[](HWND h) { PostMessageA(h, WM_COMMAND, IDOK, 0); },
                      +[](HWND h) { PostMessageA(h, WM_CLOSE, 0, 0); }}) {
    for (int button : {IDC_SCAN_STOP, IDC_SCAN_BACK, IDC_CLOSE}) {
      AnswerWhenShown no(IDC_STOPBOX_QUESTION, answer);
      Click(scan, button);
      EXPECT_TRUE(no.Found());
      EXPECT_EQ(gScanAbort.load(), 0u);
      EXPECT_TRUE(scan->WorkerRunning());
      EXPECT_TRUE(Shown(scan));
      EXPECT_FALSE(Shown(location));
    }
  }
  SetEvent(gGate);
  ASSERT_TRUE(PumpUntil([&] { return ResultPage() != nullptr; }));
  EXPECT_EQ(scan->ResultPagesOpened(), 1);
}

TEST_F(Road, AConfirmedStopKeepsThePageUntilTheWorkerEndsAndThenShowsWhatWasFound) {
  CRFilesDlg* location = OpenLocation();
  CScanDelFilesDlg* scan = GatedScanPage(location, "X:\\");
  {
    AnswerWhenShown yes(IDC_STOPBOX_QUESTION, [](HWND h) { ClickButton(h, IDC_STOPBOX_YES); });
    Click(scan, IDC_SCAN_STOP);
  }
  EXPECT_EQ(gScanAbort.load(), 1u);
  EXPECT_EQ(gDelScanDone.load(), 1u);
  Pump(200);
  EXPECT_TRUE(Shown(scan)) << "the page waits for the worker";
  EXPECT_EQ(ResultPage(), nullptr);
  EXPECT_EQ(NothingFound(), nullptr);
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(scan->m_hWnd, IDC_SCAN_STOP)));
  SetEvent(gGate);
  ASSERT_TRUE(PumpUntil([&] { return ResultPage() || NothingFound(); }));
  Pump(200);
  // The stopped scan found nothing before it stopped: what it has is shown.
  EXPECT_EQ((ResultPage() ? 1 : 0) + (NothingFound() ? 1 : 0), 1);
  EXPECT_FALSE(Shown(scan));
}

TEST_F(Road, TheCloseBoxAfterAConfirmedStopOpensNothingLater) {
  CRFilesDlg* location = OpenLocation();
  CScanDelFilesDlg* scan = GatedScanPage(location, "X:\\");
  {
    AnswerWhenShown yes(IDC_STOPBOX_QUESTION, [](HWND h) { ClickButton(h, IDC_STOPBOX_YES); });
    Click(scan, IDC_SCAN_STOP);
  }
  ASSERT_EQ(gScanAbort.load(), 1u);
  SetEvent(gGate);        // the worker goes on to its end ...
  Click(scan, IDC_CLOSE);  // ... while the user leaves: no second question
  EXPECT_TRUE(scan->LeftByUser());
  EXPECT_FALSE(scan->WorkerRunning());
  EXPECT_TRUE(Shown(location));
  EXPECT_FALSE(Shown(scan));
  Pump(500);
  EXPECT_TRUE(scan->EndedAfterLeaving());
  EXPECT_EQ(ResultPage(), nullptr);
  EXPECT_EQ(NothingFound(), nullptr);
}

TEST_F(Road, BackDuringTheScanWaitsForTheWorkerAndOpensNothingLater) {
  CRFilesDlg* location = OpenLocation();
  for (int button : {IDC_SCAN_BACK, IDC_CLOSE}) {
    ResetEvent(gGate);
    CScanDelFilesDlg* scan = GatedScanPage(location, "X:\\");
    AnswerWhenShown yes(IDC_STOPBOX_QUESTION, [](HWND h) {
      ClickButton(h, IDC_STOPBOX_YES);
      Sleep(300);
      SetEvent(gGate);   // the worker only gets going while the page waits for it
    });
    Click(scan, button);
    EXPECT_TRUE(yes.Found());
    EXPECT_TRUE(scan->LeftByUser());
    EXPECT_FALSE(scan->WorkerRunning()) << "waited for";
    EXPECT_TRUE(Shown(location));
    EXPECT_FALSE(Shown(scan));
    Pump(500);
    EXPECT_TRUE(scan->EndedAfterLeaving());
    EXPECT_EQ(scan->ResultPagesOpened(), 0);
    EXPECT_EQ(ResultPage(), nullptr);
    EXPECT_EQ(NothingFound(), nullptr);
  }
  // The next scan from the same location page runs as usual.
  CScanDelFilesDlg* again = ScanDrive(location, "X:\\");
  ASSERT_NE(again, nullptr);
  EXPECT_NE(ResultPage(), nullptr);
}

TEST_F(Road, ClosingTheWindowStopsTheScanAndShowsWhatWasFoundOnce) {
  CRFilesDlg* location = OpenLocation();
  CScanDelFilesDlg* scan = GatedScanPage(location, "X:\\");
  AnswerWhenShown yes(IDC_STOPBOX_QUESTION, [](HWND h) {
    ClickButton(h, IDC_STOPBOX_YES);
    Sleep(200);
    SetEvent(gGate);
  });
  scan->SendMessage(WM_CLOSE);
  EXPECT_TRUE(yes.Found());
  EXPECT_FALSE(scan->WorkerRunning());
  EXPECT_EQ((ResultPage() ? 1 : 0) + (NothingFound() ? 1 : 0), 1) << "opened at once";
  EXPECT_FALSE(Shown(scan));
  CDialog* opened = ResultPage() ? ResultPage() : static_cast<CDialog*>(NothingFound());
  Pump(500);
  EXPECT_EQ(ResultPage() ? ResultPage() : static_cast<CDialog*>(NothingFound()), opened) << "and not again";
}

TEST_F(Road, ANewRoadWaitsForTheWorkerOfThePageItReplaces) {
  CRFilesDlg* location = OpenLocation();
  CScanDelFilesDlg* scan = GatedScanPage(location, "X:\\");
  HWND old = scan->m_hWnd;
  // The main window opens the road afresh: the old location page and its scan
  // page go; the scan page waits for its worker.
  std::thread opener([] {
    Sleep(300);
    SetEvent(gGate);
  });
  main->ShowWindow(SW_SHOW);
  Click(main, IDC_MODE_DELETED);
  opener.join();
  EXPECT_FALSE(::IsWindow(old));
  EXPECT_FALSE(scan->WorkerRunning());
  const size_t records = DeletedFileCount();
  Pump(300);
  EXPECT_EQ(DeletedFileCount(), records) << "nothing appended after its page went";
  EXPECT_EQ(ResultPage(), nullptr);
  EXPECT_EQ(NothingFound(), nullptr);
}

UINT TypeTableMissingScan(LPVOID request) {
  WaitForSingleObject(gGate, 60000);
  gTypeTableProblem = kTypeTableMissing;   // as a FAT32 scan without ZEPFR.DAT leaves it
  return DeletedScanThreadProc(request);
}

TEST_F(Road, AnUnusableTypeTableIsReportedOnceAfterTheScan) {
  CRFilesDlg* location = OpenLocation();
  auto* scan = new CScanDelFilesDlg(location);
  scan->SetTarget("X:\\");
  scan->SetWorkerProc(TypeTableMissingScan);
  theApp.HoldPage(kScanPageSlot, scan);
  ASSERT_TRUE(scan->Create(IDD_DELETED_SCAN, location));
  scan->ShowWindow(SW_SHOW);
  std::atomic<int> boxes{0};
  std::string text;
  const DWORD ui = GetCurrentThreadId();
  std::thread answer([&] {
    for (int i = 0; i < 400; ++i, Sleep(50)) {
      HWND box = FindWindowWithControl(ui, IDOK);
      if (!box) continue;
      text = MessageBoxText(box);
      ++boxes;
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      return;
    }
  });
  SetEvent(gGate);
  ASSERT_TRUE(PumpUntil([&] { return scan->Finished(); }));
  answer.join();
  Pump(300);
  EXPECT_EQ(boxes.load(), 1);
  EXPECT_EQ(text, "不能打开ZEPFR.DAT文件!");
  EXPECT_EQ(gTypeTableProblem.load(), static_cast<uint32_t>(kTypeTableOk));
  EXPECT_NE(ResultPage(), nullptr) << "the records are shown all the same";
}

TEST_F(Road, AMissingReadmeOrUpdateProgramIsReported) {
  for (int command : {ID_README, ID_UPDATE}) {
    std::string text;
    AnswerWhenShown box(IDOK, [&](HWND h) {
      text = MessageBoxText(h);
      PostMessageA(h, WM_COMMAND, IDOK, 0);
    });
    main->SendMessage(WM_COMMAND, command);
    EXPECT_TRUE(box.Found()) << command;
    EXPECT_EQ(text, command == ID_README ? "无法打开程序目录中的说明文件 Readme.txt。"
                                         : "无法启动程序目录中的升级程序 Update.exe。");
  }
}

// ---- the location page's checks -----------------------------------------------------------

TEST_F(Road, NextWithoutADriveChosenSaysSoAndStays) {
  CRFilesDlg* location = OpenLocation();
  ASSERT_NE(location, nullptr);
  std::string text;
  AnswerWhenShown box(IDOK, [&](HWND h) {
    text = MessageBoxText(h);
    PostMessageA(h, WM_COMMAND, IDOK, 0);
  });
  // The tree starts on "My Computer", which is no path.
  Click(location, IDC_LOC_NEXT);
  EXPECT_TRUE(box.Found());
  EXPECT_EQ(text, "请选择要恢复的路径");
  EXPECT_EQ(ScanPage(), nullptr);
  EXPECT_TRUE(Shown(location));
}

// ---- settings dialogs and search conditions --------------------------------------------------

TEST_F(Road, TheScanSettingsWriteTheEngineOptionsOnOkOnly) {
  gOptSkipDeletedBeforeFolder = 0;
  gOptSkipTempFolders = 1;
  gOptSkipBadTimes = 1;
  {
    // Ticked, unticked and ticked again, then cancelled: nothing changes.
    AnswerWhenShown cancel(IDC_OPT_SKIP_BAD_TIMES, [](HWND h) {
      SendMessageA(GetDlgItem(h, IDC_OPT_SKIP_BEFORE_FOLDER), BM_CLICK, 0, 0);
      SendMessageA(GetDlgItem(h, IDC_OPT_SKIP_TEMP_FOLDERS), BM_CLICK, 0, 0);
      Sleep(200);
      SaveScreenshot(ArtifactPath("scan_settings.bmp"), h);
      PostMessageA(h, WM_COMMAND, IDCANCEL, 0);
    });
    main->SendMessage(WM_COMMAND, ID_SCAN_SETTINGS);
  }
  EXPECT_EQ(gOptSkipDeletedBeforeFolder, 0u);
  EXPECT_EQ(gOptSkipTempFolders, 1u);
  {
    // The same box twice before OK leaves its option; the others change.
    AnswerWhenShown ok(IDC_OPT_SKIP_BAD_TIMES, [](HWND h) {
      EXPECT_EQ(IsDlgButtonChecked(h, IDC_OPT_SKIP_TEMP_FOLDERS), BST_CHECKED);
      SendMessageA(GetDlgItem(h, IDC_OPT_SKIP_BEFORE_FOLDER), BM_CLICK, 0, 0);
      SendMessageA(GetDlgItem(h, IDC_OPT_SKIP_BAD_TIMES), BM_CLICK, 0, 0);
      SendMessageA(GetDlgItem(h, IDC_OPT_SKIP_BAD_TIMES), BM_CLICK, 0, 0);
      SendMessageA(GetDlgItem(h, IDC_OPT_SKIP_TEMP_FOLDERS), BM_CLICK, 0, 0);
      ClickButton(h, IDC_SETTINGS_OK);
    });
    main->SendMessage(WM_COMMAND, ID_SCAN_SETTINGS);
  }
  EXPECT_EQ(gOptSkipDeletedBeforeFolder, 1u);
  EXPECT_EQ(gOptSkipTempFolders, 0u);
  EXPECT_EQ(gOptSkipBadTimes, 1u);
  {
    // Enter stores too.
    AnswerWhenShown enter(IDC_OPT_SKIP_BAD_TIMES, [](HWND h) {
      SendMessageA(GetDlgItem(h, IDC_OPT_SKIP_BAD_TIMES), BM_CLICK, 0, 0);
      PostMessageA(h, WM_COMMAND, IDOK, 0);
    });
    main->SendMessage(WM_COMMAND, ID_SCAN_SETTINGS);
  }
  EXPECT_EQ(gOptSkipBadTimes, 0u);
  gOptSkipDeletedBeforeFolder = 0;
  gOptSkipTempFolders = 1;
  gOptSkipBadTimes = 1;
}

TEST_F(Road, TheUnformatSettingStoresOnItsButtonAndEnterChangesNothing) {
  gOptUseNtfsMft = 0;
  {
    AnswerWhenShown enter(IDC_OPT_USE_NTFS_MFT, [](HWND h) {
      SendMessageA(GetDlgItem(h, IDC_OPT_USE_NTFS_MFT), BM_CLICK, 0, 0);
      PostMessageA(h, WM_COMMAND, IDOK, 0);
    });
    main->SendMessage(WM_COMMAND, ID_UNFORMAT_SETTINGS);
  }
  EXPECT_EQ(gOptUseNtfsMft, 0u);
  {
    AnswerWhenShown ok(IDC_OPT_USE_NTFS_MFT, [](HWND h) {
      SendMessageA(GetDlgItem(h, IDC_OPT_USE_NTFS_MFT), BM_CLICK, 0, 0);
      Sleep(200);
      SaveScreenshot(ArtifactPath("unformat_settings.bmp"), h);
      ClickButton(h, IDC_SETTINGS_OK);
    });
    main->SendMessage(WM_COMMAND, ID_UNFORMAT_SETTINGS);
  }
  EXPECT_EQ(gOptUseNtfsMft, 1u);
  {
    AnswerWhenShown look(IDC_OPT_USE_NTFS_MFT, [](HWND h) {
      EXPECT_EQ(IsDlgButtonChecked(h, IDC_OPT_USE_NTFS_MFT), BST_CHECKED);
      SendMessageA(GetDlgItem(h, IDC_OPT_USE_NTFS_MFT), BM_CLICK, 0, 0);
      ClickButton(h, IDC_SETTINGS_CANCEL);
    });
    main->SendMessage(WM_COMMAND, ID_UNFORMAT_SETTINGS);
  }
  EXPECT_EQ(gOptUseNtfsMft, 1u);
  gOptUseNtfsMft = 0;
}

TEST_F(Road, TheSearchConditionsCheckTheNameAndTheDatesBeforeTheyFillTheFilter) {
  CRFilesDlg* location = OpenLocation();
  ASSERT_NE(location, nullptr);
  CFileTypeFilter& filter = location->Filter();
  gCategoryFilterOn = 0;
  std::atomic<int> boxes{0};
  {
    // A name of 260 characters is refused (and says so); 259 is taken.
    AnswerWhenShown fill(IDC_COND_NAME, [&](HWND h) {
      SetDlgItemTextA(h, IDC_COND_NAME, std::string(260, 'a').c_str());
      std::thread answer([&] {
        for (int i = 0; i < 200; ++i, Sleep(50)) {
          HWND box = FindWindowWithControl(GetWindowThreadProcessId(h, nullptr), IDOK);
          if (box && box != h) {
            if (MessageBoxText(box) == "您输入的文件路径过长！") ++boxes;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            return;
          }
        }
      });
      PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_COND_OK, BN_CLICKED), 0);
      answer.join();
      Sleep(200);
      EXPECT_TRUE(IsWindowVisible(h)) << "it stays";
      SetDlgItemTextA(h, IDC_COND_NAME, std::string(259, 'b').c_str());
      SendMessageA(GetDlgItem(h, IDC_COND_PICTURES), BM_CLICK, 0, 0);
      SendMessageA(GetDlgItem(h, IDC_COND_OFFICE), BM_CLICK, 0, 0);
      Sleep(200);
      SaveScreenshot(ArtifactPath("search_conditions.bmp"), h);
      PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_COND_OK, BN_CLICKED), 0);
    });
    Click(location, IDC_LOC_CONDITIONS);
    EXPECT_TRUE(fill.Found());
  }
  EXPECT_EQ(boxes.load(), 1);
  EXPECT_EQ(std::string(filter.m_namePart), std::string(259, 'b'));
  EXPECT_EQ(filter.GetEnabled(CFileTypeFilter::kPictures), 1);
  EXPECT_EQ(filter.GetEnabled(CFileTypeFilter::kOffice), 1);
  EXPECT_EQ(filter.GetEnabled(CFileTypeFilter::kAudio), 0);
  EXPECT_EQ(filter.GetDateMode(), CFileTypeFilter::kDateNone);
  EXPECT_EQ(gCategoryFilterOn, 1);

  {
    // A from date after the to date moves the to date and keeps the dialog.
    AnswerWhenShown dates(IDC_COND_NAME, [&](HWND h) {
      SendDlgItemMessageA(h, IDC_COND_DATE_MODE, CB_SETCURSEL, 2, 0);
      SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_COND_DATE_MODE, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(GetDlgItem(h, IDC_COND_DATE_MODE)));
      EXPECT_TRUE(IsWindowEnabled(GetDlgItem(h, IDC_COND_FROM)));
      SYSTEMTIME from = {}, to = {};
      from.wYear = 2023, from.wMonth = 5, from.wDay = 20, from.wHour = 10;
      to.wYear = 2023, to.wMonth = 5, to.wDay = 1, to.wHour = 10;
      SendDlgItemMessageA(h, IDC_COND_FROM, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&from));
      SendDlgItemMessageA(h, IDC_COND_TO, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&to));
      PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_COND_OK, BN_CLICKED), 0);
      Sleep(300);
      EXPECT_TRUE(IsWindowVisible(h));
      SYSTEMTIME now = {};
      SendDlgItemMessageA(h, IDC_COND_TO, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&now));
      EXPECT_EQ(now.wDay, 20);
      PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_COND_OK, BN_CLICKED), 0);
    });
    Click(location, IDC_LOC_CONDITIONS);
  }
  EXPECT_EQ(filter.GetDateMode(), CFileTypeFilter::kDateModified);
  EXPECT_LE(filter.m_dateFrom, filter.m_dateTo);
  EXPECT_EQ(filter.m_namePart[0], 0) << "the name field was left empty this time";
  {
    // Cancel leaves the filter as it was.
    AnswerWhenShown cancel(IDC_COND_NAME, [](HWND h) {
      SetDlgItemTextA(h, IDC_COND_NAME, "ignored");
      ClickButton(h, IDC_COND_CANCEL);
    });
    Click(location, IDC_LOC_CONDITIONS);
  }
  EXPECT_EQ(filter.m_namePart[0], 0);
  EXPECT_TRUE(Shown(location));
}

}  // namespace
