// The unformat road inside a test program, under Wine and Xvfb, on volumes
// that mkfs.fat and mkntfs formatted again over their files: the location
// page choosing a mapped volume, real scans to their end, the result page and
// its ticks, the copy-out into a destination folder checked against the
// fixtures' own hashes, the nothing-found end, and the stop protocol's edge
// cases. Screenshots of every page are saved as artifacts.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "busy_boxes.h"
#include "messages.h"
#include "nothing_found_page.h"
#include "page_test_support.h"
#include "resource.h"
#include "test_page_host.h"
#include "state.h"
#include "testsupport.h"
#include "treelist.h"
#include "treeviewchecks.h"
#include "unformat/unformat.h"
#include "unformat/unformat_copy.h"
#include "unformat_copyout_pages.h"
#include "unformat_destination.h"
#include "unformat_location_page.h"
#include "unformat_result_page.h"
#include "unformat_scan_page.h"

using namespace pagetest;
using testsupport::ArtifactPath;
using testsupport::FixtureDir;
using testsupport::MappedImage;
using testsupport::ReadWholeFile;
using testsupport::SaveScreenshot;
using testsupport::Sha256OfFile;
using testsupport::Utf8ToAnsi;

pagetest::TestPageHost theApp;

namespace {

// ---- what the fixtures expect the scan to find ---------------------------------------

struct Expected {
  std::string path;   // as the scan names it, code page 936
  uint64_t size = 0;
  std::string sha256;
};

std::vector<Expected> ReadExpected(const std::string& fixture) {
  std::vector<Expected> out;
  for (const testsupport::ScanRow& r : testsupport::ReadScanTable(fixture, "unformat.tsv"))
    out.push_back({Utf8ToAnsi(r.path), r.size, r.sha256});
  return out;
}

// ---- workers behind a gate ----------------------------------------------------------

HANDLE gGate = nullptr;

// The real worker, once the test opens the gate or the page raises gScanAbort.
UINT GatedScan(LPVOID page) {
  while (WaitForSingleObject(gGate, 10) == WAIT_TIMEOUT)
    if (gScanAbort.load() != 0) break;
  return UnformatScanThreadProc(page);
}

// The messages of a scan under way, then the gated worker: for the picture.
UINT ShowcaseScan(LPVOID param) {
  auto* page = static_cast<CUnformatScanDlg*>(param);
  const HWND w = page->m_hWnd;
  SendMessageA(w, WM_UNFORMAT_PATH, 0, reinterpret_cast<LPARAM>(kUnformatStartText));
  SendMessageA(w, WM_UNFORMAT_PROGRESS, 131072, 58000);
  for (const char* p : {"DIR0\\README.TXT", "DIR0\\MixedCase.Txt", "DIR0\\Sub\\notes from the meeting.txt"})
    SendMessageA(w, WM_UNFORMAT_PATH, 0, reinterpret_cast<LPARAM>(p));
  return GatedScan(param);
}

// ---- small helpers ---------------------------------------------------------------------

void Click(CWnd* page, int id) {
  ::SendMessageA(page->m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(page->m_hWnd, id)));
}

void Shoot(CWnd* w, const char* name) {
  ::RedrawWindow(w->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(400);
  EXPECT_TRUE(SaveScreenshot(ArtifactPath(name), w->m_hWnd)) << name;
}

std::string ImageHash(char letter) { return Sha256OfFile(MappedImage(letter)); }

// ---- the test bed -------------------------------------------------------------------

class UnformatRoad : public ::testing::Test {
 public:
 protected:
  static void SetUpTestSuite() {
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterTreeListClass(GetModuleHandleA(nullptr));
    gGate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const std::string scratch = testsupport::EnvText("SALVORA_SCRATCH_WIN") + "\\";
    drives = new ListedDrives({{'X', scratch + "x-root"}, {'Y', scratch + "y-root"}, {'W', scratch + "w-root"},
                               {'V', scratch + "v-root"}, {'U', scratch + "u-root"}, {'T', scratch + "t-root"},
                               {'R', scratch + "out"}});
  }
  static void TearDownTestSuite() {
    delete drives;
    drives = nullptr;
  }
  static ListedDrives* drives;

  void SetUp() override {
    ResetEvent(gGate);
    gScanAbort = 0;
    gUnformatAbort = 0;
    ASSERT_TRUE(main.CreateEx(0, "STATIC", "main", WS_POPUP, 100, 100, 200, 100, nullptr, nullptr)) << GetLastError();
    theApp.m_pMainWnd = &main;
    location.reset(static_cast<CFormatRecvrDlg*>(NewUnformatLocationPage()));
    ASSERT_TRUE(location->Create(IDD_UNFORMAT_LOCATION, &main));
    location->CenterWindow();
    location->ShowWindow(SW_SHOW);
    Pump(100);
  }

  void TearDown() override {
    SetEvent(gGate);
    if (scan && scan->m_hWnd) scan->DestroyWindow();
    scan.reset();
    if (location->m_hWnd) location->DestroyWindow();
    location.reset();
    theApp.DestroyPagesAndResults();
    ClearUnformatResults();
    theApp.m_pMainWnd = nullptr;
    main.DestroyWindow();
    Pump(50);
  }

  // Chooses a volume and a file-system kind on the location page.
  void Choose(char letter, int kind) {
    CListBoxST& list = location->Volumes();
    int row = -1;
    for (int i = 0; i < list.GetCount(); ++i)
      if (list.GetItemData(i) == static_cast<DWORD_PTR>(letter - 'C')) row = i;
    ASSERT_GE(row, 0) << letter << ": not listed";
    list.SetCurSel(row);
    CComboBox& fs = location->FileSystem();
    for (int i = 0; i < fs.GetCount(); ++i)
      if (static_cast<int>(fs.GetItemData(i)) == kind) fs.SetCurSel(i);
  }

  // Next on the location page, then the scan to its end.
  CUnformatScanDlg* ScanWithNext(char letter, int kind) {
    Choose(letter, kind);
    Click(location.get(), IDC_UFLOC_NEXT);
    CUnformatScanDlg* page = location->ScanPage();
    EXPECT_NE(page, nullptr);
    if (!page) return nullptr;
    EXPECT_TRUE(PumpUntil([&] { return page->ResultPagesOpened() + page->NothingFoundPagesOpened() > 0; }, 120000));
    return page;
  }

  // A scan page over the location page with a gated worker.
  CUnformatScanDlg* GatedScanPage(char letter, int kind, AFX_THREADPROC worker = GatedScan) {
    scan.reset(new CUnformatScanDlg(location.get()));
    EXPECT_TRUE(scan->Create(IDD_UNFORMAT_SCAN, location.get()));
    scan->SetParameters(kind, letter - 'C');
    scan->SetWorkerProc(worker);
    EXPECT_TRUE(scan->StartWorker());
    PlacePage(scan.get());   // as the location page's Next places it
    scan->ShowWindow(SW_SHOW);
    location->ShowWindow(SW_HIDE);
    return scan.get();
  }

  static CRect WindowRectOf(CWnd* w) {
    CRect r;
    if (w && w->m_hWnd) ::GetWindowRect(w->m_hWnd, &r);
    return r;
  }

  CUftFileChoseDlg* ResultPage() { return dynamic_cast<CUftFileChoseDlg*>(theApp.Page(kUnformatResultPageSlot)); }

  CUftFileChoseDlg* FilledResultPage() {
    CUftFileChoseDlg* page = ResultPage();
    EXPECT_NE(page, nullptr);
    if (!page) return nullptr;
    EXPECT_TRUE(PumpUntil([&] { return page->Filled(); }, 60000));
    return page;
  }

  // The row of a path in the result page's tree (null when not listed).
  static const ResultTreeNode* FindRow(CUftFileChoseDlg* page, const std::string& path) {
    const ResultTreeNode* node = page->Tree().Root();
    size_t start = 0;
    while (node) {
      size_t slash = path.find('\\', start);
      const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
      const ResultTreeNode* next = nullptr;
      for (const ResultTreeNode* c = node->firstChild; c && !next; c = c->nextSibling)
        if (c->name.str() == part) next = c;
      if (!next || slash == std::string::npos) return next;
      node = next;
      start = slash + 1;
    }
    return nullptr;
  }

  // Ticks everything on the result page and goes through the destination,
  // progress and report pages into dest; checks the files against the fixture.
  void CopyAllAndCheck(CUftFileChoseDlg* page, const std::string& fixture, const std::string& dest,
                       const char* shots = nullptr) {
    Click(page, IDC_UFRES_CHECK_ALL);
    Click(page, IDC_UFRES_NEXT);
    EXPECT_EQ(page->CheckedCount(), page->ListedCount());
    auto* destination = dynamic_cast<CChoiceRecoveryPathDlgUf*>(theApp.Page(kDestinationPageSlot));
    ASSERT_NE(destination, nullptr);
    EXPECT_TRUE(Shown(destination));
    EXPECT_FALSE(Shown(page));
    EXPECT_EQ(destination->Results(), static_cast<CRecoveryResults*>(page));
    if (shots) Shoot(destination, (std::string(shots) + "_destination.bmp").c_str());
    destination->SetDlgItemText(IDC_DEST_EDIT, dest.substr(0, dest.size() - 1).c_str());
    std::string reportFolder;
    int reportRecovered = -1;
    std::atomic<bool> reportSeen{false};
    {
      // The report runs modally at the end of the copy-out.
      AnswerWhenShown report(IDC_REP_FINISH, [&](HWND h) {
        char text[600] = "";
        GetDlgItemTextA(h, IDC_REP_FOLDER, text, sizeof text);
        reportFolder = text;
        reportRecovered = static_cast<int>(GetDlgItemInt(h, IDC_REP_RECOVERED, nullptr, FALSE));
        if (shots) SaveScreenshot(ArtifactPath(std::string(shots) + "_report.bmp"), h);
        ClickButton(h, IDC_REP_FINISH);
        reportSeen = true;
      }, 400);
      Click(destination, IDC_DEST_NEXT);
      // The copy-out runs; its end opens the report, which the helper answers.
      EXPECT_TRUE(PumpUntil([&] { return reportSeen.load(); }, 120000));
      ASSERT_TRUE(report.Found());
    }
    CCopyOutProgressPage* progress = destination->ProgressPage();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return progress->Finished(); }, 120000));
    EXPECT_FALSE(destination->WorkerRunning());
    EXPECT_EQ(progress->FileCount(), page->ListedCount());
    EXPECT_EQ(progress->RecoveredCount(), page->ListedCount());
    EXPECT_EQ(reportRecovered, static_cast<int>(page->ListedCount()));
    EXPECT_EQ(reportFolder.substr(0, 2), dest.substr(0, 2));
    EXPECT_GT(gRecoveredSectors.load(), 0u);
    int compared = 0;
    for (const Expected& e : ReadExpected(fixture)) {
      if (e.sha256.empty()) continue;
      EXPECT_EQ(Sha256OfFile(dest + e.path), e.sha256) << e.path;
      ++compared;
    }
    EXPECT_GT(compared, 5);
  }

  CWnd main;
  std::unique_ptr<CFormatRecvrDlg> location;
  std::unique_ptr<CUnformatScanDlg> scan;
};

// ---- location page -----------------------------------------------------------------------

TEST_F(UnformatRoad, TheLocationPageListsTheVolumesAndDetectsTheFileSystemByDefault) {
  CListBoxST& list = location->Volumes();
  ASSERT_GT(list.GetCount(), 0);
  EXPECT_EQ(list.GetCurSel(), 0);
  bool sawX = false;
  for (int i = 0; i < list.GetCount(); ++i) {
    const DWORD_PTR drive = list.GetItemData(i);
    EXPECT_LE(drive, static_cast<DWORD_PTR>('Z' - 'C')) << "no A: or B:";
    CString text;
    list.GetText(i, text);
    CString tail;
    tail.Format(" (%c:)", static_cast<char>('C' + drive));
    EXPECT_EQ(text.Right(tail.GetLength()), tail);
    sawX = sawX || drive == static_cast<DWORD_PTR>('X' - 'C');
  }
  EXPECT_TRUE(sawX);
  CComboBox& fs = location->FileSystem();
  ASSERT_EQ(fs.GetCount(), 4);
  EXPECT_EQ(fs.GetCurSel(), 3);
  EXPECT_EQ(fs.GetItemData(3), 3u);
  CString automatic, expected;
  fs.GetLBText(3, automatic);
  expected.LoadString(IDS_FS_AUTO);
  EXPECT_EQ(automatic, expected);
  Shoot(location.get(), "unformat_location.bmp");

  // The close box returns to the main window.
  Click(location.get(), IDC_CLOSE);
  EXPECT_FALSE(Shown(location.get()));
  EXPECT_TRUE(Shown(&main));
}

TEST_F(UnformatRoad, NextWithoutAVolumeSaysSoAndStartsNothing) {
  location->Volumes().SetCurSel(-1);
  AnswerWhenShown ok(IDOK, [](HWND h) {
    char text[256] = "";
    EnumChildWindows(
        h,
        [](HWND c, LPARAM lp) -> BOOL {
          char t[256] = "";
          GetWindowTextA(c, t, sizeof t);
          if (strlen(t) > strlen(reinterpret_cast<char*>(lp))) lstrcpynA(reinterpret_cast<char*>(lp), t, 256);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(text));
    CString expected;
    expected.LoadString(IDS_SELECT_VOLUME);
    EXPECT_NE(strstr(text, expected), nullptr) << text;
    PostMessageA(h, WM_COMMAND, IDOK, 0);
  });
  Click(location.get(), IDC_UFLOC_NEXT);
  EXPECT_TRUE(ok.Found());
  EXPECT_EQ(location->ScanPage(), nullptr);
  EXPECT_TRUE(Shown(location.get()));
}

// ---- the scan to its end, the result page, the copy-out -----------------------------------

TEST_F(UnformatRoad, Fat16VolumeIsScannedListedTickedAndCopiedOut) {
  const std::string before = ImageHash('X');
  CUnformatScanDlg* page = ScanWithNext('X', kUnformatFat16);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->ResultPagesOpened(), 1);
  EXPECT_FALSE(Shown(page));
  EXPECT_EQ(std::string(gScanTarget), "X:\\");
  // The status text came first and as it is; the paths follow with the volume's root.
  EXPECT_GT(page->PathMessages(), 1u);
  EXPECT_EQ(page->PathText().Left(3), "X:\\");
  EXPECT_EQ(page->ProgressTotal(), 131072u);

  CUftFileChoseDlg* result = FilledResultPage();
  ASSERT_NE(result, nullptr);
  EXPECT_TRUE(Shown(result));
  EXPECT_TRUE(::IsWindowEnabled(result->m_hWnd)) << "the busy box has gone";
  const std::vector<Expected> expected = ReadExpected("fat16-unformat");
  EXPECT_EQ(result->ListedCount(), expected.size());
  CColumnTreeCtrl& tree = result->List().m_tree;
  for (const Expected& e : expected) {
    const ResultTreeNode* row = FindRow(result, e.path);
    ASSERT_NE(row, nullptr) << e.path;
    ASSERT_NE(row->treeItem, nullptr);
    CString size;
    size.Format("%u Byte", static_cast<unsigned>(e.size));
    EXPECT_EQ(tree.GetItemText(row->treeItem, 1), size) << e.path;
    EXPECT_EQ(TreeViewChecks{tree.m_hWnd}.Check(row->treeItem), 1);
  }
  Shoot(result, "unformat_result.bmp");

  // Next with nothing ticked says so and stays.
  {
    AnswerWhenShown ok(IDOK, [](HWND h) { PostMessageA(h, WM_COMMAND, IDOK, 0); });
    Click(result, IDC_UFRES_NEXT);
    EXPECT_TRUE(ok.Found());
    EXPECT_EQ(result->CheckedCount(), 0u);
    EXPECT_TRUE(Shown(result));
  }
  // Invert twice restores the marks; then everything is copied out.
  Click(result, IDC_UFRES_INVERT);
  EXPECT_EQ(result->CollectChecks(), result->ListedCount());
  Click(result, IDC_UFRES_INVERT);
  EXPECT_EQ(result->CollectChecks(), 0u);
  CopyAllAndCheck(result, "fat16-unformat", "R:\\fat16\\", "unformat");
  EXPECT_EQ(ImageHash('X'), before) << "nothing is written to the scanned volume";
}

TEST_F(UnformatRoad, Fat32VolumeIsDetectedAndItsSizesShowInKilobytesOrBytes) {
  CUnformatScanDlg* page = ScanWithNext('Y', kUnformatDetect);
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(page->ResultPagesOpened(), 1);
  EXPECT_FALSE(gUnformatFat32Files.empty());
  EXPECT_TRUE(gUnformatFat16Files.empty());
  CUftFileChoseDlg* result = FilledResultPage();
  ASSERT_NE(result, nullptr);
  const std::vector<Expected> expected = ReadExpected("fat32-unformat");
  EXPECT_EQ(result->ListedCount(), expected.size());
  for (const Expected& e : expected) {
    const ResultTreeNode* row = FindRow(result, e.path);
    ASSERT_NE(row, nullptr) << e.path;
    CString size;
    // Under 1 KB in bytes: a small file never shows as "0 KB".
    if (e.size < 1024)
      size.Format("%u Byte", static_cast<unsigned>(e.size));
    else
      size.Format("%u KB", static_cast<unsigned>(e.size >> 10));
    EXPECT_EQ(result->List().m_tree.GetItemText(row->treeItem, 1), size) << e.path;
  }
  // Maximise and restore keep the list filling the page.
  CRect before;
  result->List().GetWindowRect(&before);
  Click(result, IDC_UFRES_MAXIMISE);
  Pump(100);
  EXPECT_TRUE(result->Maximised());
  Click(result, IDC_UFRES_EXPAND);
  Shoot(result, "unformat_result_maximised.bmp");
  CRect wide;
  result->List().GetWindowRect(&wide);
  EXPECT_GT(wide.Width(), before.Width());
  Click(result, IDC_UFRES_RESTORE);
  Pump(100);
  CRect back;
  result->List().GetWindowRect(&back);
  EXPECT_EQ(back.Width(), before.Width());
}

TEST_F(UnformatRoad, NtfsVolumeIsDetectedListedAndCopiedOut) {
  const std::string before = ImageHash('W');
  CUnformatScanDlg* page = ScanWithNext('W', kUnformatDetect);
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(page->ResultPagesOpened(), 1);
  EXPECT_FALSE(gUnformatNtfsFiles.empty());
  CUftFileChoseDlg* result = FilledResultPage();
  ASSERT_NE(result, nullptr);
  const std::vector<Expected> expected = ReadExpected("ntfs-unformat");
  EXPECT_EQ(result->ListedCount(), expected.size());
  CopyAllAndCheck(result, "ntfs-unformat", "R:\\ntfs\\");
  // A second copy-out of the same list counts its own files only.
  CopyAllAndCheck(result, "ntfs-unformat", "R:\\ntfs-again\\");
  EXPECT_EQ(ImageHash('W'), before);
}

TEST_F(UnformatRoad, AHostileVolumeIsListedWithinBounds) {
  // Old folders that loop, point past the volume, nest deeper than a path
  // can hold, and names with separators in them.
  CUnformatScanDlg* page = ScanWithNext('U', kUnformatFat16);
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(page->ResultPagesOpened(), 1);
  CUftFileChoseDlg* result = FilledResultPage();
  ASSERT_NE(result, nullptr);
  for (const Expected& e : ReadExpected("fat16-unformat-hostile")) EXPECT_NE(FindRow(result, e.path), nullptr) << e.path;
  size_t rows = 0;
  for (size_t i = 0; i < result->Tree().NodeCount(); ++i) {
    const ResultTreeNode* n = result->Tree().Node(i);
    EXPECT_NE(n->treeItem, nullptr) << n->name.str();
    EXPECT_FALSE(n->name.IsEmpty());
    EXPECT_EQ(n->name.Find('\\'), -1);
    ++rows;
  }
  EXPECT_EQ(rows, result->Tree().NodeCount());
  Click(result, IDC_UFRES_EXPAND);
  Click(result, IDC_UFRES_CHECK_ALL);
  EXPECT_EQ(result->CollectChecks(), result->ListedCount());
}

TEST_F(UnformatRoad, TwoRecordsOfOnePathAreTwoRowsAndBothAreTicked) {
  // Two deep files whose paths, cut to fit a record, come out the same.
  CUnformatScanDlg* page = ScanWithNext('T', kUnformatFat16);
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(page->ResultPagesOpened(), 1);
  CUftFileChoseDlg* result = FilledResultPage();
  ASSERT_NE(result, nullptr);
  const std::vector<Expected> expected = ReadExpected("unformat-odd-entries");
  EXPECT_EQ(result->ListedCount(), expected.size());
  std::vector<int32_t> twins;
  for (size_t i = 0; i < result->Tree().NodeCount(); ++i) {
    const ResultTreeNode* n = result->Tree().Node(i);
    if (n->IsFile() && n->name == "same name.txt") {
      twins.push_back(n->recordIndex);
      EXPECT_NE(n->treeItem, nullptr);
    }
  }
  ASSERT_EQ(twins.size(), 2u) << "each record of the path has its row";
  EXPECT_NE(twins[0], twins[1]);
  Click(result, IDC_UFRES_CHECK_ALL);
  EXPECT_EQ(result->CollectChecks(), result->ListedCount());
  for (int32_t i : twins) EXPECT_EQ(gUnformatFat16Files[static_cast<size_t>(i)].selected, 1) << i;
}

TEST_F(UnformatRoad, AVolumeWithNothingToFindEndsOnTheNothingFoundPage) {
  CUnformatScanDlg* page = ScanWithNext('V', kUnformatDetect);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->ResultPagesOpened(), 0);
  EXPECT_EQ(page->NothingFoundPagesOpened(), 1);
  EXPECT_EQ(ResultPage(), nullptr);
  EXPECT_FALSE(Shown(page));
  auto* nothing = dynamic_cast<CFindNoFileDlg*>(theApp.Page(kNothingFoundPageSlot));
  ASSERT_NE(nothing, nullptr);
  EXPECT_TRUE(Shown(nothing));
  EXPECT_EQ(nothing->DriveIndex(), 'V' - 'C');
  EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(nothing->m_hWnd, IDC_NF_DEEP))) << "no deep-scan offer on this road";
  Shoot(nothing, "unformat_nothing_found.bmp");
  // Back leads to the location page.
  Click(nothing, IDC_NF_BACK);
  EXPECT_TRUE(Shown(location.get()));
  EXPECT_FALSE(Shown(nothing));
}

// ---- the scan page and the stop protocol -----------------------------------------------

TEST_F(UnformatRoad, TheFirstPathIsShownAsItIsAndTheOthersUnderTheVolume) {
  CUnformatScanDlg* page = GatedScanPage('X', kUnformatFat16, ShowcaseScan);
  ASSERT_TRUE(PumpUntil([&] { return page->PathMessages() == 4; }));
  EXPECT_EQ(page->ProgressTotal(), 131072u);
  EXPECT_EQ(page->ProgressPosition(), 58000u);
  Pump(300);   // the timer draws the bar
  Shoot(page, "unformat_scan.bmp");
  EXPECT_EQ(page->PathText(), "X:\\DIR0\\Sub\\notes from the meeting.txt");
  SetEvent(gGate);
  ASSERT_TRUE(PumpUntil([&] { return page->ResultPagesOpened() == 1; }, 60000));

  // A fresh page: the first text stands as it is.
  std::unique_ptr<CUnformatScanDlg> fresh(new CUnformatScanDlg(location.get()));
  ASSERT_TRUE(fresh->Create(IDD_UNFORMAT_SCAN, location.get()));
  fresh->SetParameters(kUnformatFat16, 'D' - 'C');
  fresh->SendMessage(WM_UNFORMAT_PATH, 0, reinterpret_cast<LPARAM>("first"));
  EXPECT_EQ(fresh->PathText(), "first");
  fresh->SendMessage(WM_UNFORMAT_PATH, 0, reinterpret_cast<LPARAM>("DIR0\\a.txt"));
  EXPECT_EQ(fresh->PathText(), "D:\\DIR0\\a.txt");
  fresh->DestroyWindow();
}

TEST_F(UnformatRoad, StopAnsweredNoLetsTheScanGoOn) {
  CUnformatScanDlg* page = GatedScanPage('X', kUnformatFat16);
  {
    AnswerWhenShown no(IDC_STOPBOX_QUESTION, [](HWND h) { ClickButton(h, IDC_STOPBOX_NO); });
    Click(page, IDC_UFSCAN_STOP);
    EXPECT_TRUE(no.Found());
  }
  EXPECT_EQ(gUnformatAbort.load(), 0u);
  EXPECT_EQ(gScanAbort.load(), 0u);
  EXPECT_TRUE(Shown(page));
  EXPECT_TRUE(page->WorkerRunning());
  SetEvent(gGate);
  ASSERT_TRUE(PumpUntil([&] { return page->ResultPagesOpened() == 1; }, 60000));
  ASSERT_NE(FilledResultPage(), nullptr);
  EXPECT_EQ(ResultPage()->ListedCount(), ReadExpected("fat16-unformat").size());
}

TEST_F(UnformatRoad, StopAnsweredYesEndsTheScanAndShowsWhatWasFoundSoFar) {
  // The user stops the scan once it has reported three files. The scan
  // reports a file at most every 50 ms: the page takes its time over the
  // first two, so that the third one's report is due.
  CUnformatScanDlg* page = GatedScanPage('X', kUnformatFat16);
  static WNDPROC previous = nullptr;
  static int files = 0;
  files = 0;
  previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      page->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        const LRESULT r = CallWindowProcA(previous, h, m, wp, lp);
        const bool file = m == WM_UNFORMAT_PATH && strcmp(reinterpret_cast<const char*>(lp), kUnformatStartText) != 0;
        if (file && ++files < 3) Sleep(120);
        if (file && files == 3) {
          AnswerWhenShown yes(IDC_STOPBOX_QUESTION, [](HWND box) {
            SaveScreenshot(ArtifactPath("unformat_stop_question.bmp"), GetParent(box) ? GetParent(box) : nullptr);
            ClickButton(box, IDC_STOPBOX_YES);
          });
          SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_UFSCAN_STOP, BN_CLICKED),
                       reinterpret_cast<LPARAM>(GetDlgItem(h, IDC_UFSCAN_STOP)));
          EXPECT_TRUE(yes.Found());
        }
        return r;
      })));
  SetEvent(gGate);
  ASSERT_TRUE(PumpUntil([&] { return page->ResultPagesOpened() + page->NothingFoundPagesOpened() > 0; }, 60000));
  EXPECT_EQ(gUnformatAbort.load(), 1u);
  EXPECT_EQ(page->ResultPagesOpened(), 1);
  EXPECT_FALSE(Shown(location.get()));
  CUftFileChoseDlg* result = FilledResultPage();
  ASSERT_NE(result, nullptr);
  EXPECT_GE(result->ListedCount(), 3u);
  EXPECT_LT(result->ListedCount(), ReadExpected("fat16-unformat").size());
  // What is listed is said to be what the stopped scan had found.
  EXPECT_TRUE(result->ShowsScanStopped());
  char text[256] = "";
  GetDlgItemTextA(result->m_hWnd, IDC_PAGE_TITLE, text, sizeof text);
  EXPECT_NE(std::string(text).find("扫描已中断"), std::string::npos) << text;
  GetDlgItemTextA(result->m_hWnd, IDC_UFRES_HEADING, text, sizeof text);
  EXPECT_EQ(std::string(text).find("完成"), std::string::npos) << text;
  GetDlgItemTextA(result->m_hWnd, IDC_UFRES_HINT, text, sizeof text);
  EXPECT_NE(std::string(text).find("中断前扫描到的文件"), std::string::npos) << text;
  // Every page of the road stands where the first one stood, at its size.
  EXPECT_EQ(WindowRectOf(result), WindowRectOf(location.get()));
  EXPECT_EQ(WindowRectOf(page), WindowRectOf(location.get()));
  Pump(300);
  Shoot(result, "unformat_stopped_result.bmp");
}

TEST_F(UnformatRoad, BackAnsweredYesReturnsToTheLocationPageAndOpensNothing) {
  for (int control : {IDC_UFSCAN_BACK, IDC_CLOSE}) {
    ResetEvent(gGate);
    CUnformatScanDlg* page = GatedScanPage('X', kUnformatFat16);
    {
      AnswerWhenShown yes(IDC_STOPBOX_QUESTION, [](HWND h) { ClickButton(h, IDC_STOPBOX_YES); });
      Click(page, control);
      EXPECT_TRUE(yes.Found()) << control;
    }
    EXPECT_EQ(gScanAbort.load(), 1u) << control;
    EXPECT_FALSE(page->WorkerRunning()) << "joined before the page is left";
    EXPECT_TRUE(page->LeftByUser());
    EXPECT_FALSE(Shown(page));
    EXPECT_TRUE(Shown(location.get())) << control;
    SetEvent(gGate);
    Pump(300);
    EXPECT_EQ(page->ResultPagesOpened(), 0) << control;
    EXPECT_EQ(page->NothingFoundPagesOpened(), 0) << control;
    EXPECT_EQ(ResultPage(), nullptr);
  }
}

TEST_F(UnformatRoad, ClosingTheWindowAnsweredYesStopsLikeStop) {
  CUnformatScanDlg* page = GatedScanPage('X', kUnformatFat16);
  {
    AnswerWhenShown yes(IDC_STOPBOX_QUESTION, [](HWND h) { ClickButton(h, IDC_STOPBOX_YES); });
    page->SendMessage(WM_CLOSE);
    EXPECT_TRUE(yes.Found());
  }
  EXPECT_EQ(gUnformatAbort.load(), 1u);
  EXPECT_EQ(gScanAbort.load(), 0u);
  EXPECT_TRUE(Shown(page)) << "the page waits for the worker's end";
  SetEvent(gGate);
  // Stopped before it read anything: it says so, never that the records
  // may have been overwritten.
  ASSERT_TRUE(PumpUntil([&] { return page->NothingFoundPagesOpened() == 1; }, 60000));
  EXPECT_EQ(page->ResultPagesOpened(), 0);
  EXPECT_FALSE(Shown(page));
  auto* nothing = dynamic_cast<CFindNoFileDlg*>(theApp.Page(kNothingFoundPageSlot));
  ASSERT_NE(nothing, nullptr);
  EXPECT_TRUE(nothing->ShowsStopped());
  char heading[256] = "", explain[512] = "";
  GetDlgItemTextA(nothing->m_hWnd, IDC_PAGE_HEADING, heading, sizeof heading);
  GetDlgItemTextA(nothing->m_hWnd, IDC_NF_EXPLAIN, explain, sizeof explain);
  EXPECT_NE(std::string(heading).find("扫描已中断"), std::string::npos) << heading;
  EXPECT_EQ(std::string(explain).find("覆盖"), std::string::npos) << explain;
  EXPECT_EQ(WindowRectOf(nothing), WindowRectOf(location.get()));
  Pump(300);
  Shoot(nothing, "unformat_stopped_nothing_found.bmp");
}

TEST_F(UnformatRoad, AScanThatEndsWhileTheQuestionIsOpenClosesItAndOpensItsResultsOnce) {
  for (int control : {IDC_UFSCAN_STOP, IDC_UFSCAN_BACK}) {
    ResetEvent(gGate);
    theApp.DestroyPage(kUnformatResultPageSlot);
    CUnformatScanDlg* page = GatedScanPage('X', kUnformatFat16);
    {
      // The answer never comes: the scan ends first.
      AnswerWhenShown end(IDC_STOPBOX_QUESTION, [](HWND) { SetEvent(gGate); });
      Click(page, control);
      EXPECT_TRUE(end.Found());
    }
    EXPECT_FALSE(gStopScanBox.IsAsking());
    ASSERT_TRUE(PumpUntil([&] { return page->ResultPagesOpened() > 0; }, 60000)) << control;
    Pump(300);
    EXPECT_EQ(page->ResultPagesOpened(), 1) << control;
    EXPECT_EQ(gUnformatAbort.load(), 0u);
    EXPECT_EQ(gScanAbort.load(), 0u);
    EXPECT_FALSE(Shown(location.get())) << "only the results are shown";
    ASSERT_NE(FilledResultPage(), nullptr);
  }
}

TEST_F(UnformatRoad, APageThatGoesWhileItsScanRunsWaitsForItAndOpensNothing) {
  CUnformatScanDlg* page = GatedScanPage('X', kUnformatFat16);
  EXPECT_TRUE(page->WorkerRunning());
  page->DestroyWindow();
  EXPECT_FALSE(page->WorkerRunning());
  SetEvent(gGate);
  Pump(300);
  EXPECT_EQ(page->ResultPagesOpened() + page->NothingFoundPagesOpened(), 0);

  // The location page's Next replaces the scan page and the results it opened.
  CUnformatScanDlg* first = ScanWithNext('X', kUnformatFat16);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(FilledResultPage(), nullptr);
  HWND firstResult = ResultPage()->m_hWnd;
  HWND firstScan = first->m_hWnd;
  location->ShowWindow(SW_SHOW);
  CUnformatScanDlg* second = ScanWithNext('X', kUnformatFat16);
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(::IsWindow(firstScan));
  EXPECT_FALSE(::IsWindow(firstResult));
  ASSERT_NE(FilledResultPage(), nullptr);
}


// ---- the road's worker plugged into the shared pages ---------------------------------------

// The road's worker as the unformat writers behave: each file is reported to
// the progress window, sectors are counted, the end is sent to the
// destination page.
void ReportFile(HWND progress, CRecoveryPathPage* page, const char* name) {
  RecoverProgressBlock b = {};
  std::snprintf(b.source, sizeof b.source, "\\%s", name);
  std::snprintf(b.destination, sizeof b.destination, "%s%s", page->DestinationFolder(), name);
  SendMessageA(progress, WM_RECOVER_FILE, 0, reinterpret_cast<LPARAM>(&b));
  gRecoveredSectors += 4;
}

UINT FakeUnformatWorker(LPVOID param) {
  auto* page = static_cast<CRecoveryPathPage*>(param);
  ReportFile(gUnformatProgressWindow, page, "a.txt");
  ReportFile(gUnformatProgressWindow, page, "b.txt");
  gRecoverFailedFiles = 0;
  SendMessageA(page->m_hWnd, WM_RECOVERY_FINISHED, 0, 0);
  return 1;
}

TEST_F(UnformatRoad, TheUnformatRoadRunsItsWorkerWithTheSharedPagesAndReportsModally) {
  gUnformatNtfsFiles.clear();
  UnformatNtfsRecord r = {};
  r.selected = 1;
  SetUnformatNtfsSize(&r, (5ull << 30) + 1);   // over 4 GiB: counted whole
  gUnformatNtfsFiles.push_back(r);
  r.selected = 0;
  gUnformatNtfsFiles.push_back(r);
  std::strcpy(gScanTarget, "X:\\");
  StandInResults results;
  results.found = 2;
  results.chosen = 2;
  CChoiceRecoveryPathDlgUf dest(&results, FakeUnformatWorker);
  ASSERT_TRUE(dest.Create(IDD_UNFORMAT_DESTINATION, nullptr));
  dest.ShowWindow(SW_SHOW);
  EXPECT_EQ(dest.SelectionSectors(), (5ull << 30) / 512 + 1);
  char unit[16] = "";
  GetDlgItemTextA(dest.m_hWnd, IDC_DEST_SIZE_UNIT, unit, sizeof unit);
  EXPECT_STREQ(unit, "GB");

  std::string recovered, folder;
  std::atomic<bool> finished{false};
  {
    AnswerWhenShown finish(IDC_REP_FINISH, [&](HWND report) {
      char text[MAX_PATH] = "";
      GetDlgItemTextA(report, IDC_REP_RECOVERED, text, sizeof text);
      recovered = text;
      GetDlgItemTextA(report, IDC_REP_FOLDER, text, sizeof text);
      folder = text;
      ClickButton(report, IDC_REP_FINISH);
      finished = true;
    });
    ::SetDlgItemTextA(dest.m_hWnd, IDC_DEST_EDIT, "R:\\uf");
    ClickNow(&dest, IDC_DEST_NEXT);
    EXPECT_STREQ(dest.DestinationFolder(), "R:\\uf\\");
    ASSERT_TRUE(PumpUntil([&] { return finished.load(); }, 30000));
    Pump(200);
  }
  EXPECT_EQ(recovered, "2");
  EXPECT_EQ(folder, "R:\\uf");
  EXPECT_EQ(dest.m_recoveredCount, 2u);
  EXPECT_EQ(dest.ProgressPage()->FileCount(), 2u);
  EXPECT_TRUE(Shown(&main));
  EXPECT_FALSE(dest.WorkerRunning());
  gUnformatNtfsFiles.clear();
  dest.DestroyWindow();
}

ListedDrives* UnformatRoad::drives = nullptr;

}  // namespace
