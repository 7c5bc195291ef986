// The deep-scan road inside a test program, under Wine and Xvfb, on images
// whose files were made by ImageMagick, Ghostscript, ffmpeg, libgsf and
// Python's zipfile and written at known sectors (tests/fixtures/recipes/
// deepscan.py): the location page in its three modes, the real scan to its
// end, the result page grouped by type with its preview through pictaran,
// the destination and copy-out pages with the road's worker plugged in, and
// the stop protocol's edge cases, with the scan held at a chosen block by
// a relay between the engine and the page. Screenshots are saved as artifacts.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "busy_boxes.h"
#include "deep_copyout_pages.h"
#include "deep_location_page.h"
#include "deep_result_page.h"
#include "deep_results.h"
#include "deep_scan_page.h"
#include "deepscan/found_files.h"
#include "deepscan/deepscan.h"
#include "messages.h"
#include "nothing_found_page.h"
#include "page_state.h"
#include "page_test_support.h"
#include "picture.h"
#include "records/records.h"
#include "resource.h"
#include "test_page_host.h"
#include "state.h"
#include "testsupport.h"
#include "treelist.h"

using namespace pagetest;
using testsupport::ArtifactPath;
using testsupport::SaveScreenshot;

pagetest::TestPageHost theApp;

namespace {

// ---- the ground truth of a fixture -------------------------------------------------

using Expected = testsupport::HitRow;

std::vector<Expected> ReadHits(const std::string& fixture) { return testsupport::ReadHitTable(fixture); }

std::set<std::string> TypesOf(const std::vector<Expected>& hits) {
  std::set<std::string> t;
  for (const Expected& e : hits) t.insert(e.type);
  return t;
}

// The result page's rows as the tests address them: its type folders in
// their order, its hits in the order they were listed.
struct ResultRows {
  std::vector<const ResultTreeNode*> folders;
  std::vector<const ResultTreeNode*> rows;
  std::string Type(size_t folder) const { return folders[folder]->name.str(); }
  HTREEITEM FolderItem(size_t folder) const { return folders[folder]->treeItem; }
  HTREEITEM RowItem(size_t row) const { return rows[row]->treeItem; }
  HTREEITEM FolderItemOfRow(size_t row) const { return rows[row]->parent->treeItem; }
  std::string TypeOfRow(size_t row) const { return rows[row]->parent->name.str(); }
  int Hit(size_t row) const { return rows[row]->recordIndex; }
};

ResultRows RowsOf(const CPtFileChosDlg* page) {
  ResultRows r;
  const CResultTree& tree = page->Tree();
  for (const ResultTreeNode* f = tree.Root()->firstChild; f; f = f->nextSibling) r.folders.push_back(f);
  for (size_t i = 0; i < tree.NodeCount(); ++i)
    if (tree.Node(i)->IsFile()) r.rows.push_back(tree.Node(i));
  return r;
}

std::set<std::string> TypesShown(const CPtFileChosDlg* page) {
  std::set<std::string> t;
  for (const ResultTreeNode* f : RowsOf(page).folders) t.insert(f->name.str());
  return t;
}

// ---- windows -----------------------------------------------------------------------

void Click(CWnd* page, int id) {
  ::PostMessageA(page->m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(page->m_hWnd, id)));
}

void Shoot(CWnd* w, const char* name) {
  ::RedrawWindow(w->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(500);
  EXPECT_TRUE(SaveScreenshot(ArtifactPath(name), w->m_hWnd)) << name;
}

HTREEITEM FindItemWithData(HWND tree, HTREEITEM from, LPARAM data) {
  for (HTREEITEM i = from; i; i = TreeView_GetNextSibling(tree, i)) {
    TVITEMA it = {};
    it.mask = TVIF_PARAM;
    it.hItem = i;
    TreeView_GetItem(tree, &it);
    if (it.lParam == data) return i;
    if (HTREEITEM c = FindItemWithData(tree, TreeView_GetChild(tree, i), data)) return c;
  }
  return nullptr;
}

std::string ItemText(HWND tree, HTREEITEM item) {
  char text[260] = "";
  TVITEMA it = {};
  it.mask = TVIF_TEXT;
  it.hItem = item;
  it.pszText = text;
  it.cchTextMax = sizeof text;
  TreeView_GetItem(tree, &it);
  return text;
}

int CheckOf(HWND tree, HTREEITEM item) {
  return static_cast<int>((TreeView_GetItemState(tree, item, TVIS_STATEIMAGEMASK) & TVIS_STATEIMAGEMASK) >> 12);
}

// Colours on the screen inside a window: how many distinct ones on a grid.
int DistinctColours(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  HDC screen = GetDC(nullptr);
  std::set<COLORREF> seen;
  for (int y = r.top + 4; y < r.bottom - 4; y += 7)
    for (int x = r.left + 4; x < r.right - 4; x += 7) seen.insert(GetPixel(screen, x, y));
  ReleaseDC(nullptr, screen);
  return static_cast<int>(seen.size());
}

// ---- a relay between the scan and its page ------------------------------------------
//
// The scan sends to the window in gDeepScanWindow. The relay's window lives on
// a thread of its own and passes every message on to the page; at the block
// of sector `holdAt` it holds the scan (before the scan looks at its stop
// flag) until the test releases it.

class Relay {
 public:
  explicit Relay(uint64_t holdAt) : holdAt_(holdAt) {
    reached_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this] { Run(); });
    WaitForSingleObject(ready_, 10000);
  }
  ~Relay() {
    Release();
    PostMessageA(window_, WM_CLOSE, 0, 0);
    thread_.join();
    CloseHandle(reached_);
    CloseHandle(release_);
    CloseHandle(ready_);
  }
  HWND Window() const { return window_; }
  void SetTarget(HWND page) { target_ = page; }
  bool WaitReached(int ms = 60000) {
    return PumpUntil([&] { return WaitForSingleObject(reached_, 0) == WAIT_OBJECT_0; }, ms);
  }
  void Release() { SetEvent(release_); }

 private:
  static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<Relay*>(GetWindowLongPtrA(h, GWLP_USERDATA));
    if (!self || m < WM_USER) {
      if (m == WM_CLOSE) PostQuitMessage(0);
      return DefWindowProcA(h, m, w, l);
    }
    // The scan reports where it is at most every 50 ms: the blocks before
    // the held one are held up long enough for its report to be due.
    if (m == WM_RAWSCAN_PROGRESS && static_cast<uint64_t>(l) < self->holdAt_) Sleep(120);
    if (m == WM_RAWSCAN_PROGRESS && static_cast<uint64_t>(l) >= self->holdAt_ &&
        WaitForSingleObject(self->reached_, 0) != WAIT_OBJECT_0) {
      SetEvent(self->reached_);
      WaitForSingleObject(self->release_, 60000);
    }
    return SendMessageA(self->target_, m, w, l);
  }
  void Run() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "DeepScanRelay";
    RegisterClassA(&wc);
    window_ = CreateWindowA("DeepScanRelay", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetEvent(ready_);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    DestroyWindow(window_);
  }

  uint64_t holdAt_;
  HANDLE reached_, release_, ready_;
  HWND window_ = nullptr;
  std::atomic<HWND> target_{nullptr};
  std::thread thread_;
};

Relay* gRelay = nullptr;

// The scan page's worker with the relay in between.
UINT RelayedScan(LPVOID page) {
  gRelay->SetTarget(static_cast<CPhotoScanDlg*>(page)->m_hWnd);
  gDeepScanWindow = gRelay->Window();
  return CPhotoScanDlg::ScanThreadProc(page);
}

// ---- the machine with the drives the test mapped ------------------------------------
//
// Under load Wine now and then leaves a freshly mapped letter out of
// GetLogicalDrives; the tests that scan a mapped drive name it themselves.

constexpr uint32_t kMappedLetters = 1u << ('Q' - 'A') | 1u << ('K' - 'A') | 1u << ('M' - 'A');

class MappedMachine : public DeepDeviceProbe {
 public:
  uint32_t LogicalDrives() override { return DeepDeviceProbe::LogicalDrives() | kMappedLetters; }
};

// The machine as it is, remembering what it told the page.
class RecordingMachine : public DeepDeviceProbe {
 public:
  uint32_t reported = 0;
  uint32_t LogicalDrives() override { return reported = DeepDeviceProbe::LogicalDrives(); }
};

// ... whose drive Q: can be plugged in as a removable device on disk 8.
class PluggableMachine : public MappedMachine {
 public:
  bool plugged = false;
  UINT DriveType(char letter) override {
    return plugged && letter == 'Q' ? DRIVE_REMOVABLE : DeepDeviceProbe::DriveType(letter);
  }
  int DiskOfDrive(char letter) override {
    if (letter == 'Q') return plugged ? 8 : -1;
    // Under Wine every drive gives one made-up number: keep the others out.
    return -1;
  }
};

// ---- the test bed ------------------------------------------------------------------

class DeepRoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTreeListClass(GetModuleHandleA(nullptr));
    pictaran_ = theApp.BindPictureLibrary() == 1;
    main_ = new CWnd;
    main_->CreateEx(0, "STATIC", "main", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr);
    theApp.m_pMainWnd = main_;
  }
  static void TearDownTestSuite() {
    theApp.m_pMainWnd = nullptr;
    main_->DestroyWindow();
    delete main_;
    theApp.UnbindPictureLibrary();
  }
  void TearDown() override {
    location.reset();
    Pump(50);
    gDeepScanWindow = nullptr;
    gDeepScanRequest = 0;
    gFoundFiles.clear();
  }

  // probe: the machine as the page sees it; by default the real one with the
  // mapped letters made sure of.
  void Open(int kind, DeepDeviceProbe* probe = nullptr) {
    location.reset(static_cast<CPhotoRecoverDlg*>(MakeDeepLocationPage(kind)));
    location->SetDeviceProbe(probe ? probe : &mapped_);
    ASSERT_TRUE(location->Create(IDD_DEEP_LOCATION, main_));
    PrepareDeepLocationPage(location.get(), kind);
    location->CenterWindow();
    location->ShowWindow(SW_SHOW);
    main_->ShowWindow(SW_HIDE);
    Pump(50);
  }

  // Selects drive Q: in the tree.
  void SelectVolume(char letter) {
    HWND tree = location->Tree().m_hWnd;
    HTREEITEM q = FindItemWithData(tree, TreeView_GetRoot(tree), MakeDeepItemData(kDeepVolume, letter - 'C'));
    ASSERT_NE(q, nullptr) << letter << ": is not in the tree";
    TreeView_SelectItem(tree, q);
  }

  CPtFileChosDlg* WaitForResults(int ms = 90000) {
    PumpUntil([&] { return location->ResultPage() && location->ResultPage()->Built(); }, ms);
    return location->ResultPage();
  }

  static inline CWnd* main_ = nullptr;
  static inline bool pictaran_ = false;
  MappedMachine mapped_;
  RecordingMachine real_;
  std::unique_ptr<CPhotoRecoverDlg> location;
};

// ---- location page ------------------------------------------------------------------

TEST_F(DeepRoad, TheTreeListsTheSystemsVolumesAndAHeadingStartsNothing) {
  ASSERT_NO_FATAL_FAILURE(Open(kDeepRoadRecovery, &real_));
  const uint32_t drives = real_.reported;
  EXPECT_TRUE(Shown(&location->Tree()));
  EXPECT_FALSE(Shown(&location->List()));
  HWND tree = location->Tree().m_hWnd;
  HTREEITEM root = TreeView_GetRoot(tree);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(ItemText(tree, root), "我的电脑");
  EXPECT_EQ(ItemText(tree, TreeView_GetNextSibling(tree, root)), "物理存储设备");
  // Every drive the system reports from C: on, in order; Q:, K: and M: are
  // the test's images (each a folder as well as a raw volume).
  HTREEITEM item = TreeView_GetChild(tree, root);
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (!(drives & (1u << (letter - 'A')))) continue;
    const char root_[] = {letter, ':', '\\', 0};
    const UINT type = GetDriveTypeA(root_);
    if (type == DRIVE_CDROM || type == DRIVE_REMOTE) continue;
    ASSERT_NE(item, nullptr) << letter;
    TVITEMA it = {};
    it.mask = TVIF_PARAM;
    it.hItem = item;
    TreeView_GetItem(tree, &it);
    EXPECT_EQ(static_cast<uint32_t>(it.lParam), MakeDeepItemData(kDeepVolume, letter - 'C')) << letter;
    EXPECT_NE(ItemText(tree, item).find(std::string("(") + letter + ":)"), std::string::npos);
    item = TreeView_GetNextSibling(tree, item);
  }
  EXPECT_EQ(item, nullptr);
  char heading[128] = "";
  GetDlgItemTextA(location->m_hWnd, IDC_PAGE_HEADING, heading, sizeof heading);
  EXPECT_STREQ(heading, "请选择要恢复的分区或者物理设备");
  Shoot(location.get(), "deep_location.bmp");

  // A heading is no scan target: the page says so and starts nothing.
  TreeView_SelectItem(tree, root);
  std::string said;
  AnswerWhenShown box(IDOK, [&](HWND h) {
    said = MessageBoxText(h);
    PostMessageA(h, WM_COMMAND, IDOK, 0);
  });
  Click(location.get(), IDC_DL_NEXT);
  Pump(100);
  EXPECT_TRUE(box.Found());
  EXPECT_EQ(said, "请选择一个分区或者硬盘");
  EXPECT_EQ(location->ScanPage(), nullptr);
  EXPECT_TRUE(Shown(location.get()));
}

TEST_F(DeepRoad, TheRemovableModeWaitsForADeviceAndScansTheWholeDevice) {
  PluggableMachine machine;
  ASSERT_NO_FATAL_FAILURE(Open(kDeepRoadRemovable, &machine));
  EXPECT_EQ(location->m_devicesFound, 0u);
  EXPECT_FALSE(Shown(&location->List()));
  EXPECT_FALSE(Shown(&location->Tree()));
  EXPECT_TRUE(Shown(location->GetDlgItem(IDC_DL_NO_DEVICE)));
  EXPECT_TRUE(Shown(location->GetDlgItem(IDC_DL_REDETECT)));
  char heading[128] = "";
  GetDlgItemTextA(location->m_hWnd, IDC_PAGE_HEADING, heading, sizeof heading);
  EXPECT_STREQ(heading, "请选择要恢复的移动存储设备");
  Shoot(location.get(), "deep_no_device.bmp");

  // The device is plugged in; re-detect finds it and selects it.
  machine.plugged = true;
  ::SendMessageA(location->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DL_REDETECT, STN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(location->m_hWnd, IDC_DL_REDETECT)));
  EXPECT_EQ(location->m_devicesFound, 1u);
  EXPECT_TRUE(Shown(&location->List()));
  EXPECT_FALSE(Shown(location->GetDlgItem(IDC_DL_NO_DEVICE)));
  ASSERT_EQ(location->List().GetCount(), 1);
  char text[128] = "";
  ::SendMessageA(location->List().m_hWnd, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "Q盘 ( 移动存储设备1 )");
  EXPECT_EQ(location->List().GetCurSel(), 0);
  EXPECT_EQ(location->SelectedTarget(), MakeDeepItemData(kDeepRemovable, 8));
  Shoot(location.get(), "deep_removable.bmp");

  Click(location.get(), IDC_DL_NEXT);
  CPtFileChosDlg* result = WaitForResults();
  ASSERT_NE(result, nullptr);
  EXPECT_STREQ(gScanTarget, "Disk8\\");
  char title[128] = "";
  GetDlgItemTextA(location->ScanPage()->m_hWnd, IDC_PAGE_TITLE, title, sizeof title);
  EXPECT_STREQ(title, "搜索移动存储设备中的丢失文件");
  EXPECT_EQ(theApp.Stats().fixtype, 4);
  EXPECT_EQ(TypesShown(result), TypesOf(ReadHits("deepscan-disk")));
}

TEST_F(DeepRoad, TheLostPartitionModeListsTheReadableDisks) {
  ASSERT_NO_FATAL_FAILURE(Open(kDeepRoadLostPartition));
  EXPECT_EQ(location->m_lostPartition, 1u);
  EXPECT_TRUE(Shown(&location->List()));
  EXPECT_FALSE(Shown(&location->Tree()));
  bool found = false;
  for (int i = 0; i < location->List().GetCount(); ++i) {
    char text[256] = "";
    ::SendMessageA(location->List().m_hWnd, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    const uint32_t data = static_cast<uint32_t>(location->List().GetItemData(i));
    EXPECT_EQ(DeepItemKind(data), kDeepDisk);
    const int disk = static_cast<int>(DeepItemNumber(data));
    char path[32];
    wsprintfA(path, "\\\\.\\PHYSICALDRIVE%d", disk);
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << text;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (disk == 8) {
      found = true;
      // No identity under Wine; the size from the image (40 MB).
      EXPECT_STREQ(text, "磁盘8  USB存储设备  40 MB");
      location->List().SetCurSel(i);
    }
  }
  ASSERT_TRUE(found);
  Shoot(location.get(), "deep_disks.bmp");
  Click(location.get(), IDC_DL_NEXT);
  ASSERT_NE(WaitForResults(), nullptr);
  EXPECT_STREQ(gScanTarget, "Disk8\\");
}

// ---- scan and result pages ---------------------------------------------------------------

TEST_F(DeepRoad, AVolumeIsScannedToItsEndAndItsHitsAreGroupedByType) {
  ASSERT_NO_FATAL_FAILURE(Open(kDeepRoadRecovery));
  ASSERT_NO_FATAL_FAILURE(SelectVolume('Q'));
  Click(location.get(), IDC_DL_NEXT);
  CPtFileChosDlg* result = WaitForResults();
  ASSERT_NE(result, nullptr);
  CPhotoScanDlg* scan = location->ScanPage();
  ASSERT_NE(scan, nullptr);
  EXPECT_STREQ(gScanTarget, "Q:\\");
  EXPECT_EQ(scan->ScanResult(), kDeepScanDone);
  EXPECT_FALSE(Shown(scan));
  EXPECT_FALSE(Shown(location.get()));
  EXPECT_TRUE(Shown(result));
  EXPECT_EQ(scan->HitCount(), gFoundFiles.size());
  // Every hit after the first is shown with the target in front.
  EXPECT_EQ(std::string(scan->HitText()).rfind("Q:\\", 0), 0u) << scan->HitText().GetString();
  EXPECT_EQ(theApp.Stats().fixtype, 3);
  EXPECT_EQ(theApp.Stats().pending, 1);
  EXPECT_EQ(theApp.Stats().scancount, static_cast<int>(gFoundFiles.size()));

  const std::vector<Expected> truth = ReadHits("deepscan-volume");
  const ResultRows m = RowsOf(result);
  EXPECT_EQ(TypesShown(result), TypesOf(truth));
  ASSERT_EQ(m.rows.size(), gFoundFiles.size());
  HWND tree = result->List().m_tree.m_hWnd;
  // One top-level row per type, in order of first appearance; the hits under it.
  HTREEITEM top = TreeView_GetRoot(tree);
  for (size_t f = 0; f < m.folders.size(); ++f, top = TreeView_GetNextSibling(tree, top)) {
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top, m.FolderItem(f));
    EXPECT_EQ(std::string(result->List().m_tree.GetItemText(top, 0)), m.Type(f));
  }
  EXPECT_EQ(top, nullptr);
  for (size_t r = 0; r < m.rows.size(); ++r) {
    HTREEITEM item = m.RowItem(r);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(TreeView_GetParent(tree, item), m.FolderItemOfRow(r));
    EXPECT_EQ(result->HitOfItem(item), m.Hit(r));
    const FoundFileRecord& hit = gFoundFiles[static_cast<size_t>(m.Hit(r))];
    EXPECT_EQ(std::string(result->List().m_tree.GetItemText(item, 0)) ,
              std::string(hit.name).substr(std::string(hit.name).find('\\') + 1));
    EXPECT_EQ(std::string(result->List().m_tree.GetItemText(item, 1)), std::string(FoundSizeText(hit)));
  }
}

TEST_F(DeepRoad, ThePreviewShowsAPictureFoundOnTheDiskAndNothingElse) {
  if (!pictaran_) GTEST_SKIP() << "pictaran.dll is not beside the tests";
  ASSERT_NO_FATAL_FAILURE(Open(kDeepRoadRecovery));
  ASSERT_NO_FATAL_FAILURE(SelectVolume('Q'));
  Click(location.get(), IDC_DL_NEXT);
  CPtFileChosDlg* result = WaitForResults();
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->Preview().Picture().HasLibraryPicture(), true) << "the no-preview picture at the start";
  const ResultRows m = RowsOf(result);
  auto rowOf = [&](const char* type) -> int {
    for (size_t r = 0; r < m.rows.size(); ++r)
      if (m.TypeOfRow(r) == type) return static_cast<int>(r);
    return -1;
  };
  const int jpg = rowOf("jpg"), pdf = rowOf("pdf");
  ASSERT_GE(jpg, 0);
  ASSERT_GE(pdf, 0);
  CTreeCtrl& tree = result->List().m_tree;

  tree.SelectItem(m.RowItem(static_cast<size_t>(jpg)));
  ASSERT_TRUE(PumpUntil([&] { return result->PreviewState() == CPtFileChosDlg::kShowsPicture; }, 20000));
  const int reads = result->PreviewReads();
  EXPECT_EQ(result->LastPreviewed(), m.Hit(static_cast<size_t>(jpg)));
  Pump(300);
  EXPECT_GT(DistinctColours(result->Preview().m_hWnd), 20) << "a plasma picture, not a flat colour";
  Shoot(result, "deep_result.bmp");

  // The same hit again reads nothing; a folder leaves the preview as it is.
  result->PreviewSelected();
  Pump(300);
  EXPECT_EQ(result->PreviewReads(), reads);
  tree.SelectItem(m.FolderItemOfRow(static_cast<size_t>(pdf)));
  Pump(300);
  EXPECT_EQ(result->PreviewReads(), reads);
  EXPECT_EQ(result->PreviewState(), CPtFileChosDlg::kShowsPicture);

  // A document has no preview.
  tree.SelectItem(m.RowItem(static_cast<size_t>(pdf)));
  ASSERT_TRUE(PumpUntil([&] { return result->PreviewState() == CPtFileChosDlg::kShowsNoPreview; }, 20000));
  EXPECT_EQ(result->PreviewReads(), reads + 1);

  // Without the picture library nothing is read and nothing is drawn.
  SetPictaranEntries(nullptr, nullptr);
  tree.SelectItem(m.RowItem(static_cast<size_t>(jpg)));
  Pump(400);
  EXPECT_EQ(result->PreviewReads(), reads + 1);
  theApp.BindPictureLibrary();
}

TEST_F(DeepRoad, TicksGoIntoTheRecordsOnNextAndNoTickIsRefused) {
  ASSERT_NO_FATAL_FAILURE(Open(kDeepRoadRecovery));
  ASSERT_NO_FATAL_FAILURE(SelectVolume('Q'));
  Click(location.get(), IDC_DL_NEXT);
  CPtFileChosDlg* result = WaitForResults();
  ASSERT_NE(result, nullptr);
  HWND tree = result->List().m_tree.m_hWnd;
  // Nothing ticked: the page says so and stays.
  std::string said;
  {
    AnswerWhenShown box(IDOK, [&](HWND h) {
      said = MessageBoxText(h);
      PostMessageA(h, WM_COMMAND, IDOK, 0);
    });
    Click(result, IDC_DR_NEXT);
    Pump(200);
    EXPECT_TRUE(box.Found());
  }
  EXPECT_EQ(said, "请选择您需要恢复的文件！");
  EXPECT_TRUE(Shown(result));
  for (const FoundFileRecord& r : gFoundFiles) EXPECT_EQ(r.selected, 0u);

  // Select all ticks every folder and its hits; invert turns every hit over.
  ::SendMessageA(result->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DR_CHECK_ALL, BN_CLICKED), 0);
  const ResultRows m = RowsOf(result);
  for (size_t f = 0; f < m.folders.size(); ++f) EXPECT_EQ(CheckOf(tree, m.FolderItem(f)), 3);
  for (size_t r = 0; r < m.rows.size(); ++r) EXPECT_EQ(CheckOf(tree, m.RowItem(r)), 3);
  ::SendMessageA(result->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DR_INVERT, BN_CLICKED), 0);
  for (size_t f = 0; f < m.folders.size(); ++f) EXPECT_EQ(CheckOf(tree, m.FolderItem(f)), 1);
  // One hit ticked by itself: its folder shows "partly" when it has others.
  const size_t first = 0;
  result->List().m_tree.SetItemStateAndPropagate(m.RowItem(first), INDEXTOSTATEIMAGEMASK(3),
                                                 TVIS_STATEIMAGEMASK, TRUE);
  ::SendMessageA(result->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DR_INVERT, BN_CLICKED), 0);
  ::SendMessageA(result->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DR_INVERT, BN_CLICKED), 0);
  EXPECT_EQ(CheckOf(tree, m.RowItem(first)), 3) << "invert twice restores every tick";
}

// ---- nothing found -------------------------------------------------------------------------

TEST_F(DeepRoad, AScanThatFindsNothingShowsTheNothingFoundPageAndItsBackLeadsHere) {
  ASSERT_NO_FATAL_FAILURE(Open(kDeepRoadRecovery));
  ASSERT_NO_FATAL_FAILURE(SelectVolume('M'));
  Click(location.get(), IDC_DL_NEXT);
  ASSERT_TRUE(PumpUntil([&] { return location->ScanPage() && Shown(location->ScanPage()->NothingFoundPage()); }, 60000));
  CPhotoScanDlg* scan = location->ScanPage();
  EXPECT_EQ(scan->ScanResult(), kDeepScanNothing);
  EXPECT_TRUE(gFoundFiles.empty());
  EXPECT_FALSE(Shown(scan));
  EXPECT_EQ(location->ResultPage(), nullptr);
  // The deep-scan offer belongs to the deleted-file road.
  EXPECT_FALSE(Shown(scan->NothingFoundPage()->GetDlgItem(IDC_NF_DEEP)));
  // Each page of the road opened where the first one stands, at its size.
  RECT first = {}, scanned = {}, nothing = {};
  GetWindowRect(location->m_hWnd, &first);
  GetWindowRect(scan->m_hWnd, &scanned);
  GetWindowRect(scan->NothingFoundPage()->m_hWnd, &nothing);
  EXPECT_TRUE(EqualRect(&first, &scanned));
  EXPECT_TRUE(EqualRect(&first, &nothing));
  Click(scan->NothingFoundPage(), IDC_NF_BACK);
  Pump(200);
  EXPECT_FALSE(Shown(scan->NothingFoundPage()));
  EXPECT_TRUE(Shown(location.get()));
}

// ---- destination, copy-out and report -----------------------------------------------------

class DeepCopy : public DeepRoad {
 protected:
  // Q: scanned, every hit ticked, Next: the destination page.
  CChoiceRecoveryPathDlgARW* OpenDestination() {
    out = testsupport::ScratchDir("out");
    Open(kDeepRoadRecovery);
    if (HasFatalFailure()) return nullptr;
    SelectVolume('Q');
    if (HasFatalFailure()) return nullptr;
    Click(location.get(), IDC_DL_NEXT);
    result = WaitForResults();
    if (!result) return nullptr;
    ::SendMessageA(result->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DR_CHECK_ALL, BN_CLICKED), 0);
    Click(result, IDC_DR_NEXT);
    PumpUntil([&] { return Shown(result->DestinationPage()); }, 10000);
    return result->DestinationPage();
  }
  std::string out;
  CPtFileChosDlg* result = nullptr;
};

TEST_F(DeepCopy, TheTickedHitsAreCopiedWholeIntoTheChosenFolderAndReported) {
  CChoiceRecoveryPathDlgARW* dest = OpenDestination();
  ASSERT_NE(dest, nullptr);
  EXPECT_FALSE(Shown(result));
  EXPECT_EQ(result->ChosenFileCount(), gFoundFiles.size());
  EXPECT_EQ(gRawSelectedSectors, result->ChosenSectors());
  EXPECT_NE(dest->ProposedDrive(), 'Q') << "never the scanned volume";
  Shoot(dest, "deep_destination.bmp");

  // The scanned volume itself is refused.
  std::string said;
  {
    ::SetDlgItemTextA(dest->m_hWnd, IDC_DEST_EDIT, "Q:\\deep");
    AnswerWhenShown box(IDOK, [&](HWND h) {
      said = MessageBoxText(h);
      PostMessageA(h, WM_COMMAND, IDOK, 0);
    });
    Click(dest, IDC_DEST_NEXT);
    Pump(200);
    EXPECT_TRUE(box.Found());
  }
  EXPECT_NE(said.find("不能保存到与扫描路径相同的磁盘分区中"), std::string::npos) << said;
  EXPECT_EQ(dest->ProgressPage()->m_hWnd, nullptr);

  // W: is a folder of the test; the report comes modally when the copy ends.
  ::SetDlgItemTextA(dest->m_hWnd, IDC_DEST_EDIT, "W:\\deep");
  std::string found, chosen, recovered, folder;
  std::atomic<bool> reported{false};
  AnswerWhenShown report(IDC_REP_FINISH, [&](HWND h) {
    char t[512] = "";
    GetDlgItemTextA(h, IDC_REP_FOUND, t, sizeof t);
    found = t;
    GetDlgItemTextA(h, IDC_REP_CHOSEN, t, sizeof t);
    chosen = t;
    GetDlgItemTextA(h, IDC_REP_RECOVERED, t, sizeof t);
    recovered = t;
    GetDlgItemTextA(h, IDC_REP_FOLDER, t, sizeof t);
    folder = t;
    SaveScreenshot(ArtifactPath("deep_report.bmp"), h);
    reported = true;
    ClickButton(h, IDC_REP_FINISH);
  }, 600);
  Click(dest, IDC_DEST_NEXT);
  ASSERT_TRUE(PumpUntil([&] { return reported.load(); }, 120000));
  Pump(300);
  EXPECT_TRUE(report.Found());
  EXPECT_EQ(found, std::to_string(gFoundFiles.size()));
  EXPECT_EQ(chosen, std::to_string(gFoundFiles.size()));
  EXPECT_EQ(folder, "W:\\deep");
  EXPECT_EQ(gRawRecoverFailedFiles.load(), 0u);
  EXPECT_EQ(recovered, std::to_string(gFoundFiles.size()));
  EXPECT_TRUE(Shown(main_)) << "finish leads to the main window";

  // Byte for byte what the tools made, for every type whose end is known.
  const std::vector<Expected> truth = ReadHits("deepscan-volume");
  int compared = 0;
  for (const FoundFileRecord& hit : gFoundFiles) {
    const std::string path = out + "deep\\" + std::string(hit.name);
    EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
    for (const Expected& e : truth) {
      if (e.first != hit.firstSector || !e.refined) continue;
      EXPECT_EQ(testsupport::Sha256OfFile(path), e.sha256) << hit.name;
      ++compared;
    }
  }
  EXPECT_EQ(compared, static_cast<int>(std::count_if(truth.begin(), truth.end(), [](const Expected& e) { return e.refined; })));
}

TEST_F(DeepCopy, ACopyThatEndsWhileTheStopQuestionIsOpenWaitsForTheAnswer) {
  CChoiceRecoveryPathDlgARW* dest = OpenDestination();
  ASSERT_NE(dest, nullptr);
  ::SetDlgItemTextA(dest->m_hWnd, IDC_DEST_EDIT, "W:\\asked");
  Click(dest, IDC_DEST_NEXT);
  ASSERT_TRUE(PumpUntil([&] { return Shown(dest->ProgressPage()); }, 10000));
  CCopyOutProgressPage* progress = dest->ProgressPage();
  std::atomic<bool> heldBack{false}, workerWaited{false};
  AnswerWhenShown question(IDNO, [&](HWND h) {
    // Long enough for the copy to be over: the worker waits for the answer.
    Sleep(2500);
    workerWaited = dest->WorkerRunning();
    heldBack = FindWindowWithControl(GetWindowThreadProcessId(h, nullptr), IDC_REP_FINISH) == nullptr;
    PostMessageA(h, WM_COMMAND, IDNO, 0);
  }, 0);
  std::atomic<bool> reported{false};
  AnswerWhenShown report(IDC_REP_FINISH, [&](HWND h) {
    reported = true;
    ClickButton(h, IDC_REP_FINISH);
  }, 300);
  ::SendMessageA(progress->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_PROG_REPORT, BN_CLICKED), 0);
  EXPECT_TRUE(question.Found());
  EXPECT_TRUE(workerWaited.load()) << "the worker's end waits while the question is up";
  EXPECT_TRUE(heldBack.load()) << "no report while the question is up";
  ASSERT_TRUE(PumpUntil([&] { return reported.load(); }, 60000));
  EXPECT_EQ(theApp.Stats().recovercount, static_cast<int>(gFoundFiles.size()));
}

// ---- the stop protocol -------------------------------------------------------------------

class DeepStop : public DeepRoad {
 protected:
  // The location page's scan of Q:, held when its second block has been read.
  void StartHeldScan() {
    relay = std::make_unique<Relay>(kDeepScanBlockSectors);
    gRelay = relay.get();
    ASSERT_NO_FATAL_FAILURE(Open(kDeepRoadRecovery));
    location->m_scanWorker = RelayedScan;
    ASSERT_NO_FATAL_FAILURE(SelectVolume('Q'));
    Click(location.get(), IDC_DL_NEXT);
    ASSERT_TRUE(relay->WaitReached());
    scan = location->ScanPage();
    ASSERT_NE(scan, nullptr);
  }
  // Asks the question by `control` and answers it with `answer` (a button of
  // the box, or 0 to leave it to the scan's end).
  void AskAndAnswer(int control, int answer) {
    AnswerWhenShown box(IDC_STOPBOX_QUESTION, [&](HWND h) {
      if (answer)
        ClickButton(h, answer);
      else
        relay->Release();
    });
    ::SendMessageA(scan->m_hWnd, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED), 0);
    EXPECT_TRUE(box.Found());
  }
  void TearDown() override {
    if (relay) relay->Release();
    DeepRoad::TearDown();
    relay.reset();
    gRelay = nullptr;
  }
  std::unique_ptr<Relay> relay;
  CPhotoScanDlg* scan = nullptr;
};

TEST_F(DeepStop, StopKeepsTheHitsFoundSoFarAndShowsThem) {
  StartHeldScan();
  Pump(300);
  Shoot(scan, "deep_scan.bmp");
  const uint32_t hitsBeforeStop = scan->HitCount();
  EXPECT_GT(hitsBeforeStop, 0u);
  AskAndAnswer(IDC_DS_STOP, IDC_STOPBOX_YES);
  EXPECT_TRUE(scan->Stopping());
  EXPECT_EQ(scan->LeaveFlag(), 0u);
  EXPECT_EQ(gDeepScanAbort.load(), 1u);
  EXPECT_TRUE(Shown(scan)) << "the page waits for the scan to end";
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(scan->m_hWnd, IDC_DS_STOP)));
  relay->Release();
  CPtFileChosDlg* result = WaitForResults();
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(gFoundFiles.size(), hitsBeforeStop);
  for (const FoundFileRecord& r : gFoundFiles) EXPECT_LT(r.firstSector, kDeepScanBlockSectors);
  const FoundFileRecord& last = gFoundFiles.back();
  EXPECT_LE(last.lastSector, last.firstSector + 2048);
  EXPECT_EQ(RowsOf(result).rows.size(), hitsBeforeStop);
}

TEST_F(DeepStop, BackReturnsToTheLocationPageAndOpensNothing) {
  StartHeldScan();
  AskAndAnswer(IDC_DS_BACK, IDC_STOPBOX_YES);
  EXPECT_EQ(scan->LeaveFlag(), 1u);
  relay->Release();
  ASSERT_TRUE(PumpUntil([&] { return scan->ScanEnded(); }));
  Pump(100);
  EXPECT_TRUE(Shown(location.get()));
  EXPECT_FALSE(Shown(scan));
  EXPECT_EQ(location->ResultPage(), nullptr);
}

TEST_F(DeepStop, TheCloseBoxLeavesTheScanLikeBack) {
  StartHeldScan();
  AskAndAnswer(IDC_CLOSE, IDC_STOPBOX_YES);
  EXPECT_EQ(scan->LeaveFlag(), 1u);
  relay->Release();
  ASSERT_TRUE(PumpUntil([&] { return scan->ScanEnded(); }));
  Pump(100);
  EXPECT_TRUE(Shown(location.get()));
  EXPECT_EQ(location->ResultPage(), nullptr);
}

TEST_F(DeepStop, AnsweringNoLetsTheScanRunToItsEnd) {
  StartHeldScan();
  AskAndAnswer(IDC_DS_STOP, IDC_STOPBOX_NO);
  EXPECT_FALSE(scan->Stopping());
  EXPECT_EQ(gDeepScanAbort.load(), 0u);
  EXPECT_TRUE(Shown(scan));
  relay->Release();
  CPtFileChosDlg* result = WaitForResults();
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(TypesShown(result), TypesOf(ReadHits("deepscan-volume")));
}

TEST_F(DeepStop, AScanThatEndsWhileTheQuestionIsOpenClosesItAndGoesOnOnce) {
  StartHeldScan();
  // The question is up; the scan is let go and ends meanwhile.
  AskAndAnswer(IDC_DS_STOP, 0);
  EXPECT_FALSE(gStopScanBox.IsAsking());
  EXPECT_TRUE(scan->ScanEnded());
  EXPECT_FALSE(scan->Stopping());
  CPtFileChosDlg* result = WaitForResults();
  ASSERT_NE(result, nullptr);
  CPtFileChosDlg* first = result;
  Pump(300);
  EXPECT_EQ(location->ResultPage(), first) << "one result page";
  EXPECT_EQ(scan->ScanResult(), kDeepScanDone);
  // Stop after the end asks nothing.
  ::SendMessageA(scan->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DS_STOP, BN_CLICKED), 0);
  EXPECT_FALSE(gStopScanBox.IsAsking());
}

TEST_F(DeepStop, ARoadClosedDuringTheScanWaitsForItAndOpensNothing) {
  StartHeldScan();
  HWND scanWindow = scan->m_hWnd;
  std::thread later([&] {
    Sleep(300);
    relay->Release();
  });
  location.reset();   // the main window goes: the page, its scan page, the worker
  later.join();
  EXPECT_FALSE(::IsWindow(scanWindow));
  Pump(200);
  EXPECT_EQ(FindWindowWithControl(GetCurrentThreadId(), IDC_DR_TREE), nullptr);
  EXPECT_EQ(gDeepScanAbort.load(), 1u);
}

// ---- the nothing-found page's request -------------------------------------------------------

TEST_F(DeepRoad, TheNothingFoundPagesRequestScansItsDriveAtOnce) {
  gDeepScanRequest = 1;
  gDeepScanDrive = static_cast<uint8_t>('K' - 'C');
  ASSERT_NO_FATAL_FAILURE(Open(kDeepRoadRecovery));
  CPtFileChosDlg* result = WaitForResults();
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(gDeepScanRequest, 0u);
  EXPECT_STREQ(gScanTarget, "K:\\");
  EXPECT_EQ(theApp.Stats().from, 1);
  EXPECT_FALSE(Shown(main_));
  // One hit: the first hit's text has no target in front.
  ASSERT_EQ(gFoundFiles.size(), 1u);
  EXPECT_EQ(std::string(location->ScanPage()->HitText()), "jpg\\00000001.jpg");
  const std::vector<Expected> truth = ReadHits("deepscan-single");
  ASSERT_EQ(truth.size(), 1u);
  EXPECT_EQ(gFoundFiles[0].firstSector, truth[0].first);
}

// ---- the road's worker plugged into the shared pages ---------------------------------------

// The road's worker as the raw writer behaves: the first file is reported to
// the progress window, then it waits for the test, and while the page asks
// whether to stop; the end is sent to the destination page.
HANDLE gRawGate = nullptr;
// Opens the gate when it goes, before the page that waits for the worker.
struct RawGate {
  RawGate() { gRawGate = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~RawGate() {
    SetEvent(gRawGate);
    CloseHandle(gRawGate);
    gRawGate = nullptr;
  }
};
UINT GatedRawWorker(LPVOID param) {
  auto* page = static_cast<CRecoveryPathPage*>(param);
  RecoverProgressBlock b = {};
  std::snprintf(b.source, sizeof b.source, "\\%s", "jpg\\00000001.jpg");
  std::snprintf(b.destination, sizeof b.destination, "%s%s", page->DestinationFolder(), "jpg\\00000001.jpg");
  SendMessageA(gRawProgressWindow, WM_RECOVER_FILE, 0, reinterpret_cast<LPARAM>(&b));
  gRecoveredSectors += 4;
  WaitForSingleObject(gRawGate, 60000);
  // The deep worker waits while its page asks whether to stop.
  while (page->ProgressPage() && page->ProgressPage()->AskingToStop()) Sleep(50);
  page->SetRecoveredWhole(gScanAbort.load() ? 1 : 2);
  SendMessageA(page->m_hWnd, WM_RAWRECOVER_DONE, 0, 0);
  return 1;
}

TEST_F(DeepRoad, StoppingTheDeepCopyOutWithBackReturnsToItsDestinationPage) {
  std::strcpy(gScanTarget, "X:\\");
  StandInResults results;
  results.found = 10;
  results.chosen = 2;
  results.sectors = 100;
  CChoiceRecoveryPathDlgARW dest(&results, GatedRawWorker);
  RawGate gate;
  ASSERT_TRUE(dest.Create(IDD_DEEP_DESTINATION, nullptr));
  dest.ShowWindow(SW_SHOW);
  ::SetDlgItemTextA(dest.m_hWnd, IDC_DEST_EDIT, "W:\\back");
  ClickNow(&dest, IDC_DEST_NEXT);
  CCopyOutProgressPage* progress = dest.ProgressPage();
  ASSERT_TRUE(progress->m_hWnd) << "the checks refused the destination";
  EXPECT_TRUE(Shown(progress));
  EXPECT_EQ(progress->TotalSectors(), 100u);
  ASSERT_TRUE(PumpUntil([&] { return progress->FileCount() == 1; }));
  {
    AnswerWhenShown yes(IDYES, [](HWND box) { PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0); }, 100);
    ClickNow(progress, IDC_PROG_BACK);
  }
  EXPECT_EQ(gScanAbort.load(), 1u);
  EXPECT_TRUE(progress->Stopping());
  SetEvent(gRawGate);
  ASSERT_TRUE(PumpUntil([&] { return Shown(&dest); }, 30000));
  EXPECT_FALSE(Shown(progress));
  EXPECT_FALSE(dest.WorkerRunning());
  EXPECT_EQ(progress->RecoveredCount(), 1u);
  gScanAbort = 0;
  dest.DestroyWindow();
}

}  // namespace
