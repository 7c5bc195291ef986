// The pages after a scan, inside a test program under Wine and Xvfb, on
// volumes made by mkfs.fat and mtools (fat32-deleted on X:) and by mkntfs and
// libntfs-3g (ntfs-deleted on N:): the result page filled from a real scan,
// ticks that become the records' `selected` field, the filters, the
// destination checks in their order against real drives (R: a folder, Y: a
// CD-ROM, Q: none), the real copy-out into R: checked byte for byte against
// the fixture's manifest, stopping a copy-out, and the report's counts.
// Screenshots of the result, destination, progress and report pages are saved.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dibinfo.h"
#include "busy_boxes.h"
#include "choice_files_dlg.h"
#include "deleted_copyout_pages.h"
#include "messages.h"
#include "page_state.h"
#include "page_test_support.h"
#include "records/records.h"
#include "resource.h"
#include "test_page_host.h"
#include "scan_page.h"
#include "state.h"
#include "testsupport.h"
#include "treelist.h"
#include "treeviewchecks.h"
#include "deleted/delscan.h"

using namespace pagetest;
using testsupport::ArtifactPath;
using testsupport::SaveScreenshot;

pagetest::TestPageHost theApp;

namespace {

// ---- helpers -----------------------------------------------------------------------

void Click(CWnd* page, int id) {
  ::SendMessageA(page->m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(page->m_hWnd, id)));
}

void Shoot(CWnd* w, const char* name) {
  ::SetWindowPos(w->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::RedrawWindow(w->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(500);
  EXPECT_TRUE(SaveScreenshot(ArtifactPath(name), w->m_hWnd)) << name;
}

// A visible message box of the thread (its text has the id 0xFFFF).
HWND FindMessageBox(DWORD thread) {
  struct S {
    HWND found;
  } s = {nullptr};
  EnumThreadWindows(
      thread,
      [](HWND h, LPARAM lp) -> BOOL {
        char cls[16] = "";
        GetClassNameA(h, cls, sizeof cls);
        if (IsWindowVisible(h) && !strcmp(cls, "#32770") && GetDlgItem(h, 0xFFFF)) {
          reinterpret_cast<S*>(lp)->found = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&s));
  return s.found;
}

std::string BoxText(HWND box) {
  char text[1024] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  return text;
}

// Answers the next message box of this thread with `button` from a helper
// thread, and remembers its text.
class Answer {
 public:
  explicit Answer(int button, std::function<void()> before = nullptr, int delayMs = 100)
      : thread_([=, ui = GetCurrentThreadId()] {
          for (int waited = 0; waited < 20000; waited += 20) {
            if (HWND box = FindMessageBox(ui)) {
              Sleep(delayMs);
              if (before) before();
              text_ = BoxText(box);
              PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
              return;
            }
            Sleep(20);
          }
        }) {}
  ~Answer() { Text(); }
  std::string Text() {
    if (thread_.joinable()) thread_.join();
    return text_;
  }

 private:
  std::string text_;
  std::thread thread_;
};

std::string TableText(UINT id) { return LoadText(id).GetString(); }

// Clicks Next on a destination page with this text and returns what the
// message box said ("" when none came).
std::string TryDestination(CRecoveryPathPage* page, const std::string& text) {
  ::SetDlgItemTextA(page->m_hWnd, IDC_DEST_EDIT, text.c_str());
  Answer answer(IDOK, nullptr, 50);
  Click(page, IDC_DEST_NEXT);   // the box runs inside the click
  return answer.Text();
}

// ---- the tree of a result page ------------------------------------------------------

struct Row {
  HTREEITEM item;
  bool folder;
};

void WalkTree(CColumnTreeCtrl& tree, HTREEITEM parent, const std::string& prefix, std::map<std::string, Row>* out) {
  HTREEITEM child = parent ? TreeView_GetChild(tree.m_hWnd, parent) : TreeView_GetRoot(tree.m_hWnd);
  for (; child; child = TreeView_GetNextSibling(tree.m_hWnd, child)) {
    std::string path = prefix + "\\" + tree.GetItemText(child, 0).GetString();
    bool folder = TreeView_GetChild(tree.m_hWnd, child) != nullptr;
    (*out)[path] = {child, folder};
    WalkTree(tree, child, path, out);
  }
}

std::map<std::string, Row> Rows(CTreeListCtrl* list) {
  std::map<std::string, Row> rows;
  WalkTree(list->m_tree, nullptr, "", &rows);
  return rows;
}

size_t FileRows(CTreeListCtrl* list) {
  size_t n = 0;
  for (auto& r : Rows(list)) n += r.second.folder ? 0 : 1;
  return n;
}

void Tick(CTreeListCtrl* list, HTREEITEM item, int state = 3) {
  list->m_tree.SetItemStateAndPropagate(item, INDEXTOSTATEIMAGEMASK(state), TVIS_STATEIMAGEMASK, TRUE);
}

std::vector<DeletedFileRecord> Records() {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  return gDeletedFiles;
}

// scan.tsv of a FAT fixture: the path a scan gives each deleted file (ANSI,
// backslashes), its size and sha256, and its tags.
struct Expected {
  std::string path;
  uint64_t size;
  std::string sha;
  std::string tags;
};

std::vector<Expected> ScanList(const std::string& fixture) {
  std::vector<Expected> out;
  for (const testsupport::ScanRow& r : testsupport::ReadScanTable(fixture))
    out.push_back({testsupport::Below("", r.path), r.size, r.sha256, r.tags});
  return out;
}

// A worker that waits for the test before the real copy-out starts.
HANDLE gGate = nullptr;
UINT GatedCopyOut(LPVOID request) {
  WaitForSingleObject(gGate, 60000);
  return static_cast<UINT>(RecoverDeletedFilesThreadProc(request));
}

// The real copy-out, its progress sent through a window of another thread
// that holds back the second file's announcement until the test opens the
// gate: the worker is then blocked where a user's stop usually finds it. The
// copy-out announces files at most every progress-gate interval: the first
// announcement is held longer than that, so the second one is due.
HANDLE gHoldSecond = nullptr;
HWND gProxy = nullptr;
HWND gProxyTarget = nullptr;
std::atomic<int> gProxyFiles{0};

LRESULT CALLBACK ProxyProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_DELSCAN_PROGRESS) {
    const int n = ++gProxyFiles;
    if (n == 1) Sleep(150);
    if (n == 2) WaitForSingleObject(gHoldSecond, 60000);
    return SendMessageA(gProxyTarget, m, w, l);
  }
  return DefWindowProcA(h, m, w, l);
}

UINT HeldCopyOut(LPVOID param) {
  auto* request = static_cast<RecoverRequest*>(param);
  gProxyTarget = request->window;
  std::atomic<bool> ready{false};
  std::thread proxy([&] {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ProxyProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "PagesBProxy";
    RegisterClassA(&wc);
    gProxy = CreateWindowA("PagesBProxy", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ready = true;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    DestroyWindow(gProxy);
  });
  while (!ready) Sleep(5);
  gProxyFiles = 0;
  RecoverSelectedFiles(gProxy, request->destination);
  PostMessageA(gProxy, WM_QUIT, 0, 0);
  proxy.join();
  SendMessageA(request->window, WM_RECOVER_DONE, 0, 0);
  return 0;
}

// ---- the hint bubble -----------------------------------------------------------------

// The visible tooltip of this thread: the page's hint.
HWND ShownHint() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND h, LPARAM lp) -> BOOL {
        char cls[32] = "";
        GetClassNameA(h, cls, sizeof cls);
        if (!IsWindowVisible(h) || lstrcmpiA(cls, TOOLTIPS_CLASSA)) return TRUE;
        *reinterpret_cast<HWND*>(lp) = h;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The first and last columns of a 32-bit picture that hold ink (darker than mid grey).
struct Ink {
  int first = -1, last = -1;
  int Span() const { return first < 0 ? 0 : last - first + 1; }
};
Ink InkOf(const DWORD* px, int w, int h) {
  Ink ink;
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      const DWORD c = px[static_cast<size_t>(y) * w + x];
      if ((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF) < 3 * 128) {
        if (ink.first < 0) ink.first = x;
        ink.last = x;
        break;
      }
    }
  return ink;
}

// A w x h picture in a memory DC; draw(dc) paints it, then its ink is read.
template <class Draw>
Ink InkOfDrawing(int w, int h, Draw draw) {
  BITMAPINFO bi = TopDownRgb32(w, h);
  void* bits = nullptr;
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  Ink ink;
  if (bmp && bits) {
    HGDIOBJ old = SelectObject(mem, bmp);
    std::fill_n(static_cast<DWORD*>(bits), static_cast<size_t>(w) * h, 0x00FFFFFFu);
    draw(mem);
    GdiFlush();
    ink = InkOf(static_cast<DWORD*>(bits), w, h);
    SelectObject(mem, old);
  }
  if (bmp) DeleteObject(bmp);
  DeleteDC(mem);
  return ink;
}

// The hint shows all its text, inside the page and clear of the list and of
// Back and Next: its text on screen spans as far as the same text drawn in
// the bubble's font with nothing to clip it.
void ExpectWholeHint(CChoiceFilesDlg* page, const char* when) {
  SCOPED_TRACE(when);
  ::SetWindowPos(page->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::RedrawWindow(page->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(200);
  HWND tip = ShownHint();
  ASSERT_NE(tip, nullptr);
  // Under Xvfb, with no window manager, a maximised or raised page's X
  // window stays above the topmost bubble whatever Wine's order says: the
  // bubble is stacked afresh so that the screen shows what it draws.
  ::SetWindowPos(tip, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::SetWindowPos(tip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::RedrawWindow(tip, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  Pump(50);

  RECT bubble, pageRect, overlap;
  GetWindowRect(tip, &bubble);
  GetWindowRect(page->m_hWnd, &pageRect);
  EXPECT_TRUE(bubble.left >= pageRect.left && bubble.right <= pageRect.right && bubble.top >= pageRect.top &&
              bubble.bottom <= pageRect.bottom);
  for (HWND other : {page->ListInUse()->m_hWnd, GetDlgItem(page->m_hWnd, IDC_RES_BACK),
                     GetDlgItem(page->m_hWnd, IDC_RES_NEXT)}) {
    RECT r;
    GetWindowRect(other, &r);
    EXPECT_FALSE(IntersectRect(&overlap, &bubble, &r)) << GetDlgCtrlID(other);
  }

  const CString hint = LoadText(IDS_RESULT_HINT);
  wchar_t text[256] = L"";
  const int chars = MultiByteToWideChar(CP_ACP, 0, hint, hint.GetLength(), text, 255);
  ASSERT_GT(chars, 10);
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(tip, WM_GETFONT, 0, 0));
  const Ink free = InkOfDrawing(1000, 40, [&](HDC dc) {
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 20, 4, text, chars);
    SelectObject(dc, old);
  });
  ASSERT_GT(free.Span(), 0);
  // The client area holds the drawn text and the margins the bubble was given.
  RECT client, margin = {};
  GetClientRect(tip, &client);
  SendMessageA(tip, TTM_GETMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
  EXPECT_GE(client.right, free.last + 1 - 20 + margin.left + margin.right);

  POINT origin = {0, 0};
  ClientToScreen(tip, &origin);
  HDC screen = GetDC(nullptr);
  const Ink shown = InkOfDrawing(client.right, client.bottom, [&](HDC dc) {
    BitBlt(dc, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
  });
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(shown.Span(), free.Span()) << "the bubble's text is cut (or not drawn)";
}

// ---- the fixture ---------------------------------------------------------------------

class RecoveryPages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTreeListClass(GetModuleHandleA(nullptr));
    testsupport::ScratchDir("out");   // R: starts empty
    // Y: is a CD-ROM for the destination checks.
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
      RegSetValueExA(key, "y:", 0, REG_SZ, reinterpret_cast<const BYTE*>("cdrom"), 6);
      RegCloseKey(key);
    }
  }
  // The prefix outlives this program: a Y: left a CD-ROM hides the volumes
  // that later tests map there from every page that lists drives.
  static void TearDownTestSuite() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, "y:");
      RegCloseKey(key);
    }
  }

  void SetUp() override {
    main_.CreateEx(0, "STATIC", "main", WS_POPUP, 0, 0, 10, 10, nullptr, 0);
    theApp.m_pMainWnd = &main_;
    gRecycleBinMode = 0;
    gGate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    gHoldSecond = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  void TearDown() override {
    SetEvent(gGate);
    SetEvent(gHoldSecond);
    theApp.DestroyPagesAndResults();
    Pump(100);
    theApp.m_pMainWnd = nullptr;
    main_.DestroyWindow();
    CloseHandle(gGate);
    CloseHandle(gHoldSecond);
    gRecycleBinMode = 0;
  }

  // The real deleted-file scan of a drive, as the scan page runs it.
  void Scan(const char* target) {
    ClearDeletedFiles();
    gScanAbort = 0;
    DeletedScanRequest request = {};
    std::strncpy(request.target, target, sizeof request.target - 1);
    RunDeletedFileScan(request);
    scan_ = std::make_unique<CScanDelFilesDlg>(&main_);
    scan_->SetTarget(target);
  }

  CChoiceFilesDlg* OpenResults() {
    auto* page = dynamic_cast<CChoiceFilesDlg*>(OpenDeletedResultPage(scan_.get()));
    EXPECT_NE(page, nullptr);
    if (!page) return nullptr;
    EXPECT_TRUE(PumpUntil([&] { return !page->Filling() && page->IsWindowEnabled(); }));
    Pump(100);
    return page;
  }

  CChoiceFilesDlg* ResultPage() { return dynamic_cast<CChoiceFilesDlg*>(theApp.Page(kResultPageSlot)); }
  CChoiceRecoveryPathDlg* Destination() {
    return dynamic_cast<CChoiceRecoveryPathDlg*>(theApp.Page(kDestinationPageSlot));
  }
  CStopRestorFileDlg* Progress() { return dynamic_cast<CStopRestorFileDlg*>(theApp.Page(kCopyOutPageSlot)); }
  CRecoveryInfoDlg* Report() { return dynamic_cast<CRecoveryInfoDlg*>(theApp.Page(kReportPageSlot)); }

  // Ticks the rows whose paths are given (folders tick their subtree) and goes on.
  CChoiceRecoveryPathDlg* TickAndGoOn(CChoiceFilesDlg* page, const std::vector<std::string>& paths) {
    auto rows = Rows(page->ListInUse());
    for (const auto& p : paths) {
      EXPECT_TRUE(rows.count(p)) << p;
      if (rows.count(p)) Tick(page->ListInUse(), rows[p].item);
    }
    Click(page, IDC_RES_NEXT);
    Pump(100);
    return Destination();
  }

  // A scan of drive, its results opened and paths ticked, Next: the
  // destination page (null when a step failed).
  CChoiceRecoveryPathDlg* DestinationAfter(const char* drive, const std::vector<std::string>& paths,
                                           CChoiceFilesDlg** results = nullptr) {
    Scan(drive);
    CChoiceFilesDlg* page = OpenResults();
    EXPECT_NE(page, nullptr) << drive;
    if (results) *results = page;
    return page ? TickAndGoOn(page, paths) : nullptr;
  }

  CWnd main_;
  std::unique_ptr<CScanDelFilesDlg> scan_;
};

}  // namespace

// ---- the result page -------------------------------------------------------------------

TEST_F(RecoveryPages, TheResultPageShowsTheScanAsAFolderTree) {
  Scan("X:\\");
  const size_t records = DeletedFileCount();
  ASSERT_GT(records, 10u);
  // As the scan marks a file whose first cluster another file has taken since.
  {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    for (DeletedFileRecord& r : gDeletedFiles)
      if (std::string(r.path) == "\\Early Note.txt") r.damaged = 1;
  }
  CChoiceFilesDlg* page = OpenResults();
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(Shown(page));
  EXPECT_EQ(page->FoundFileCount(), records);

  // Every record is a row at its path, folders above, once each.
  auto rows = Rows(page->ListInUse());
  size_t files = 0;
  for (const auto& r : Records()) {
    std::string path = r.path;
    ASSERT_TRUE(rows.count(path)) << path;
    EXPECT_FALSE(rows[path].folder) << path;
    ++files;
  }
  EXPECT_EQ(FileRows(page->ListInUse()), files);
  // On the top level the folders come first.
  bool seenFile = false;
  for (HTREEITEM i = TreeView_GetRoot(page->ListInUse()->m_tree.m_hWnd); i;
       i = TreeView_GetNextSibling(page->ListInUse()->m_tree.m_hWnd, i)) {
    bool folder = TreeView_GetChild(page->ListInUse()->m_tree.m_hWnd, i) != nullptr;
    EXPECT_FALSE(folder && seenFile) << "a folder after a file";
    seenFile |= !folder;
  }
  // The columns of a file.
  HTREEITEM photo = rows["\\Early Photo.jpg"].item;
  EXPECT_STREQ(page->ListInUse()->m_tree.GetItemText(photo, 1), "29 KB");
  EXPECT_STREQ(page->ListInUse()->m_tree.GetItemText(photo, 3), "2022-01-02 12:00:00");
  // X: is FAT, which keeps the day of the last access and no time: no invented "00:00:00".
  const CString accessed = page->ListInUse()->m_tree.GetItemText(photo, 4);
  EXPECT_EQ(accessed.GetLength(), 10) << accessed.GetString();
  EXPECT_EQ(std::string(accessed.GetString()).find(':'), std::string::npos) << accessed.GetString();
  EXPECT_EQ(page->ListInUse()->m_tree.GetCheck(photo), 1);
  // A file known overwritten says so in its size column.
  CString marked;
  marked.Format(LoadText(IDS_RES_SIZE_OVERWRITTEN).GetString(), "1 KB");
  EXPECT_STREQ(page->ListInUse()->m_tree.GetItemText(rows["\\Early Note.txt"].item, 1), marked);
  EXPECT_NE(marked.Find("1 KB"), -1);
  EXPECT_GT(marked.GetLength(), 4);
  // The hint comes a moment after the fill.
  EXPECT_TRUE(PumpUntil([&] { return page->HintShown(); }, 3000));
  // All of it shows at every size the page takes and after it moves. Before
  // each change the page is asked for its hint again, as the fill asks: a
  // fresh bubble, whose own seconds to stay the check cannot outlast.
  ExpectWholeHint(page, "as the page opens");
  const auto hintAgain = [&] { ::SendMessageA(page->m_hWnd, WM_FILELIST_HAS_RESULTS, 0, 0); };
  RECT normal;
  GetWindowRect(page->m_hWnd, &normal);
  hintAgain();
  Click(page, IDC_RES_MAXIMISE);
  Pump(300);
  ExpectWholeHint(page, "maximised");
  hintAgain();
  Click(page, IDC_RES_RESTORE);
  Pump(300);
  ExpectWholeHint(page, "restored");
  RECT before = {}, after = {};
  hintAgain();
  Pump(50);
  if (HWND tip = ShownHint()) GetWindowRect(tip, &before);
  ::SetWindowPos(page->m_hWnd, nullptr, normal.left + 40, normal.top + 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  Pump(200);
  if (HWND tip = ShownHint()) GetWindowRect(tip, &after);
  EXPECT_EQ(after.left - before.left, 40);
  EXPECT_EQ(after.top - before.top, 30);
  ExpectWholeHint(page, "moved");
  for (SIZE size : {SIZE{600, 450}, SIZE{900, 640}}) {
    hintAgain();
    ::SetWindowPos(page->m_hWnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Pump(200);
    ExpectWholeHint(page, size.cx == 600 ? "at its smallest" : "made larger");
  }
  ::SetWindowPos(page->m_hWnd, nullptr, normal.left, normal.top, normal.right - normal.left,
                 normal.bottom - normal.top, SWP_NOZORDER | SWP_NOACTIVATE);
  Pump(200);

  // As a user sees it: the tree open, a folder and a file ticked.
  Click(page, IDC_RES_EXPAND);
  Tick(page->ListInUse(), rows["\\照片"].item);
  Tick(page->ListInUse(), rows["\\a"].item);
  Tick(page->ListInUse(), rows["\\Early Photo.jpg"].item);
  Shoot(page, "result.bmp");
}

TEST_F(RecoveryPages, MaximisedTheFilterLabelsStayOnTheLightBody) {
  Scan("X:\\");
  CChoiceFilesDlg* page = OpenResults();
  ASSERT_NE(page, nullptr);
  // It opens at the size of the other pages of the road.
  RECT normal = {};
  GetWindowRect(page->m_hWnd, &normal);
  RECT page421 = {0, 0, 421, 236};   // the dialog units of every page's template
  MapDialogRect(page->m_hWnd, &page421);
  EXPECT_EQ(normal.right - normal.left, page421.right);
  EXPECT_EQ(normal.bottom - normal.top, page421.bottom);
  Click(page, IDC_RES_MAXIMISE);
  Pump(300);
  ASSERT_TRUE(IsZoomed(page->m_hWnd));
  ::SetWindowPos(page->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::RedrawWindow(page->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(500);
  // Just above and below each label: what the page paints behind it.
  HDC screen = GetDC(nullptr);
  for (int id : {IDC_RES_DATE_LABEL, IDC_RES_KIND_LABEL, IDC_RES_SIZE_LABEL, IDC_RES_PATTERN_LABEL}) {
    RECT r;
    GetWindowRect(GetDlgItem(page->m_hWnd, id), &r);
    for (POINT p : {POINT{r.left + 1, r.top - 2}, POINT{r.right - 2, r.bottom + 1}}) {
      const COLORREF c = GetPixel(screen, p.x, p.y);
      EXPECT_GT(GetRValue(c) + GetGValue(c) + GetBValue(c), 3 * 200) << id << " at " << p.x << "," << p.y << ": " << std::hex << c;
    }
  }
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(SaveScreenshot(ArtifactPath("result_maximised.bmp"), page->m_hWnd));
  Click(page, IDC_RES_RESTORE);
  Pump(300);
  RECT restored = {};
  GetWindowRect(page->m_hWnd, &restored);
  EXPECT_TRUE(EqualRect(&restored, &normal));
}

TEST_F(RecoveryPages, TicksBecomeTheRecordsSelectedFieldOnNext) {
  Scan("X:\\");
  CChoiceFilesDlg* page = OpenResults();
  ASSERT_NE(page, nullptr);

  // Nothing ticked: the page says so and stays.
  {
    Answer ok(IDOK);
    Click(page, IDC_RES_NEXT);
    EXPECT_EQ(ok.Text(), TableText(IDS_SELECT_FILES));
  }
  EXPECT_EQ(Destination(), nullptr);

  CChoiceRecoveryPathDlg* dest = TickAndGoOn(page, {"\\照片", "\\a"});
  ASSERT_NE(dest, nullptr);
  EXPECT_TRUE(Shown(dest));
  EXPECT_FALSE(Shown(page));
  uint32_t ticked = 0;
  for (const auto& r : Records()) {
    const bool inside = !strncmp(r.path, "\\照片\\", strlen("\\照片\\")) || !strncmp(r.path, "\\a\\", 3);
    EXPECT_EQ(r.selected != 0, inside) << r.path;
    ticked += inside;
  }
  EXPECT_GT(ticked, 1u);
  EXPECT_EQ(page->ChosenFileCount(), ticked);
  EXPECT_EQ(theApp.Stats().scancount, static_cast<int32_t>(page->FoundFileCount()));
  char count[32] = "";
  GetDlgItemTextA(dest->m_hWnd, IDC_DEST_FILE_COUNT, count, sizeof count);
  EXPECT_EQ(std::to_string(ticked), count);

  // Back on the destination page: the result page again, ticks kept.
  Click(dest, IDC_DEST_BACK);
  Pump(100);
  EXPECT_TRUE(Shown(page));
  EXPECT_FALSE(dest->m_hWnd);
  // Invert turns the selection round; Next writes that.
  Click(page, IDC_RES_INVERT);
  Click(page, IDC_RES_NEXT);
  Pump(100);
  for (const auto& r : Records()) {
    const bool inside = !strncmp(r.path, "\\照片\\", strlen("\\照片\\")) || !strncmp(r.path, "\\a\\", 3);
    EXPECT_EQ(r.selected != 0, !inside) << r.path;
  }
}

TEST_F(RecoveryPages, FiltersNarrowTheListAndShowAllBringsItBack) {
  Scan("N:\\");
  CChoiceFilesDlg* page = OpenResults();
  ASSERT_NE(page, nullptr);
  const size_t all = FileRows(page->ListInUse());
  auto choose = [&](int id, int index) { ::SendDlgItemMessageA(page->m_hWnd, id, CB_SETCURSEL, index, 0); };
  auto filter = [&] {
    Click(page, IDC_RES_FILTER);
    EXPECT_TRUE(PumpUntil([&] { return !page->Filling() && page->IsWindowEnabled(); }));
    Pump(50);
  };
  auto names = [&] {
    std::set<std::string> out;
    for (auto& r : Rows(page->ListInUse()))
      if (!r.second.folder) out.insert(r.first);
    return out;
  };

  // Pictures.
  choose(IDC_RES_KIND, 2);
  filter();
  EXPECT_EQ(page->ListInUse(), &page->FilteredList());
  EXPECT_FALSE(Shown(&page->FullList()));
  auto pictures = names();
  EXPECT_EQ(pictures, (std::set<std::string>{"\\Photos\\2024\\Summer\\IMG_0001.jpg"}));
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(page->m_hWnd, IDC_RES_SHOW_ALL)));
  // The same settings again refill nothing.
  Click(page, IDC_RES_FILTER);
  EXPECT_FALSE(page->Filling());

  // Size alone filters (100 KB - 1 MB): big.bin and sparse.bin (1 MB) and the photo.
  choose(IDC_RES_KIND, 0);
  choose(IDC_RES_SIZE, 2);
  filter();
  auto medium = names();
  EXPECT_TRUE(medium.count("\\Docs\\big.bin"));
  EXPECT_TRUE(medium.count("\\Photos\\2024\\Summer\\IMG_0001.jpg"));
  EXPECT_FALSE(medium.count("\\Docs\\report.txt"));
  EXPECT_LT(medium.size(), all);

  // Date alone filters: the files last modified today, and no older one.
  choose(IDC_RES_SIZE, 0);
  choose(IDC_RES_DATE, 1);
  filter();
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::set<std::string> today;
  for (const auto& r : Records())
    if (r.modified.wYear == now.wYear && r.modified.wMonth == now.wMonth && r.modified.wDay == now.wDay)
      today.insert(r.path);
  EXPECT_EQ(names(), today);
  EXPECT_LT(today.size(), all);

  // A name pattern: every file below a folder whose name holds it, and files named so.
  choose(IDC_RES_DATE, 0);
  ::SetDlgItemTextA(page->m_hWnd, IDC_RES_PATTERN, "doc");
  filter();
  auto docs = names();
  EXPECT_TRUE(docs.count("\\Docs\\big.bin"));
  EXPECT_TRUE(docs.count("\\文档\\会议记录.docx"));
  EXPECT_FALSE(docs.count("\\Photos\\2024\\Summer\\IMG_0001.jpg"));
  Click(page, IDC_RES_EXPAND);
  Shoot(page, "result_filtered.bmp");

  // Every choice back at "不限": the filter button does nothing.
  ::SetDlgItemTextA(page->m_hWnd, IDC_RES_PATTERN, "");
  Click(page, IDC_RES_FILTER);
  EXPECT_FALSE(page->Filling());
  EXPECT_EQ(page->ListInUse(), &page->FilteredList());
  // Show all: the full list as it was, choices reset.
  Click(page, IDC_RES_SHOW_ALL);
  EXPECT_EQ(page->ListInUse(), &page->FullList());
  EXPECT_TRUE(Shown(&page->FullList()));
  EXPECT_EQ(FileRows(page->ListInUse()), all);
  EXPECT_EQ(::SendDlgItemMessageA(page->m_hWnd, IDC_RES_DATE, CB_GETCURSEL, 0, 0), 0);
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(page->m_hWnd, IDC_RES_SHOW_ALL)));
}

TEST_F(RecoveryPages, NextOnAFilteredListTakesOnlyItsTicks) {
  Scan("N:\\");
  CChoiceFilesDlg* page = OpenResults();
  ASSERT_NE(page, nullptr);
  Click(page, IDC_RES_CHECK_ALL);   // every row of the full list
  ::SendDlgItemMessageA(page->m_hWnd, IDC_RES_KIND, CB_SETCURSEL, 1, 0);   // documents
  Click(page, IDC_RES_FILTER);
  ASSERT_TRUE(PumpUntil([&] { return !page->Filling() && page->IsWindowEnabled(); }));
  Click(page, IDC_RES_CHECK_ALL);
  Click(page, IDC_RES_NEXT);
  Pump(100);
  ASSERT_NE(Destination(), nullptr);
  for (const auto& r : Records()) {
    std::string p = r.path;
    const bool doc = p.size() > 5 && (p.compare(p.size() - 5, 5, ".docx") == 0 || p.compare(p.size() - 4, 4, ".doc") == 0);
    EXPECT_EQ(r.selected != 0, doc) << p;
  }
}

// ---- the destination page --------------------------------------------------------------

TEST_F(RecoveryPages, TheDestinationChecksInTheirOrderOnRealDrives) {
  CChoiceRecoveryPathDlg* dest = DestinationAfter("X:\\", {"\\照片"});
  ASSERT_NE(dest, nullptr);
  // The proposal is never the scanned drive nor the CD-ROM.
  char proposed[MAX_PATH] = "";
  GetDlgItemTextA(dest->m_hWnd, IDC_DEST_EDIT, proposed, sizeof proposed);
  EXPECT_NE(dest->ProposedDrive(), 0);
  EXPECT_NE(dest->ProposedDrive(), 'X');
  EXPECT_NE(dest->ProposedDrive(), 'Y');
  EXPECT_EQ(std::string(proposed), std::string(1, dest->ProposedDrive()) + ":\\ZUL");
  Shoot(dest, "destination.bmp");

  EXPECT_EQ(TryDestination(dest, "R:\\" + std::string(256, 'a') + "b"), TableText(IDS_DEST_TOO_LONG));   // 1
  EXPECT_EQ(TryDestination(dest, ""), TableText(IDS_DEST_EMPTY));                                         // 2
  EXPECT_EQ(TryDestination(dest, "R:"), TableText(IDS_DEST_WRONG));                                       // 3
  EXPECT_EQ(TryDestination(dest, "R:\\a\\\\b"), TableText(IDS_DEST_BAD_CHARS));                           // 4
  EXPECT_EQ(TryDestination(dest, "R:\\a\\ b"), TableText(IDS_DEST_BAD_CHARS));
  EXPECT_EQ(TryDestination(dest, "x:\\saved"), TableText(IDS_DEST_ON_SCANNED));                            // 6
  EXPECT_EQ(TryDestination(dest, "Y:\\saved"), TableText(IDS_DEST_WRONG));                                // 8
  EXPECT_EQ(TryDestination(dest, "Q:\\saved"), TableText(IDS_DEST_WRONG));                                // 9
  // 10: a selection larger than any drive.
  {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    for (auto& r : gDeletedFiles)
      if (r.selected) r.sizeHigh = 0x7FFFFFFF;
  }
  EXPECT_EQ(TryDestination(dest, "R:\\saved"), TableText(IDS_DEST_NO_SPACE));
  {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    for (auto& r : gDeletedFiles) r.sizeHigh = 0;
  }
  // 5: on the recycle-bin road no drive holding scanned files, before the rest.
  gRecycleBinMode = 1;
  EXPECT_EQ(TryDestination(dest, "X:\\saved"), TableText(IDS_NEED_USB_RECYCLE));
  gRecycleBinMode = 0;
  EXPECT_TRUE(Shown(dest));
  EXPECT_EQ(Progress(), nullptr);

  // A good one goes on to the progress page.
  dest->ShowWindow(SW_SHOW);
  ::SetDlgItemTextA(dest->m_hWnd, IDC_DEST_EDIT, "R:\\checked");
  Click(dest, IDC_DEST_NEXT);
  ASSERT_NE(Progress(), nullptr);
  EXPECT_EQ(theApp.Stats().btnrecover, 1);
  EXPECT_TRUE(PumpUntil([&] { return Report() != nullptr; }));
}

// ---- the copy-out and the report ---------------------------------------------------------

TEST_F(RecoveryPages, TheCopyOutWritesTheTickedFilesAndTheReportCountsThem) {
  Scan("X:\\");
  const uint32_t found = static_cast<uint32_t>(DeletedFileCount());
  CChoiceFilesDlg* page = OpenResults();
  ASSERT_NE(page, nullptr);
  CChoiceRecoveryPathDlg* dest = TickAndGoOn(page, {"\\照片", "\\a", "\\span32", "\\Early Photo.jpg", "\\Early Note.txt"});
  ASSERT_NE(dest, nullptr);
  const uint32_t chosen = page->ChosenFileCount();
  ::SetDlgItemTextA(dest->m_hWnd, IDC_DEST_EDIT, "R:\\restored");
  Click(dest, IDC_DEST_NEXT);
  ASSERT_NE(Progress(), nullptr);
  EXPECT_FALSE(Shown(dest));
  ASSERT_TRUE(PumpUntil([&] { return Report() != nullptr && Shown(Report()); }, 60000));
  CRecoveryInfoDlg* report = Report();
  EXPECT_EQ(report->Facts().found, found);
  EXPECT_EQ(report->Facts().chosen, chosen);
  EXPECT_EQ(report->Facts().recovered, chosen);
  EXPECT_FALSE(report->PartialNoteShown());
  EXPECT_EQ(report->Facts().folder, CString("R:\\restored"));
  EXPECT_EQ(theApp.Stats().recovercount, static_cast<int32_t>(chosen));
  EXPECT_EQ(theApp.Stats().dlgresult, 1);
  char text[64] = "";
  GetDlgItemTextA(report->m_hWnd, IDC_REP_BIG_COUNT, text, sizeof text);
  EXPECT_EQ(std::to_string(chosen), text);

  // Every ticked file is there, byte for byte.
  size_t checked = 0;
  for (const Expected& e : ScanList("fat32-deleted")) {
    const bool ticked = !e.path.rfind("\\照片\\", 0) || !e.path.rfind("\\a\\", 0) || !e.path.rfind("\\span32\\", 0) ||
                        e.path == "\\Early Photo.jpg" || e.path == "\\Early Note.txt";
    std::string out = "R:\\restored" + e.path;
    if (!ticked) {
      EXPECT_EQ(GetFileAttributesA(out.c_str()), INVALID_FILE_ATTRIBUTES) << out;
      continue;
    }
    EXPECT_EQ(testsupport::Sha256OfFile(out), e.sha) << out;
    ++checked;
  }
  EXPECT_EQ(checked, chosen);
  Shoot(report, "report.bmp");

  // Back shows the destination page; Finish the main window.
  Click(report, IDC_REP_BACK);
  EXPECT_TRUE(Shown(dest));
  EXPECT_FALSE(Shown(report));
  report->ShowWindow(SW_SHOW);
  dest->ShowWindow(SW_HIDE);
  Click(report, IDC_REP_FINISH);
  EXPECT_TRUE(Shown(&main_));
  EXPECT_FALSE(Shown(report));
}

TEST_F(RecoveryPages, EachCopyOutReportsOnlyItsOwnFilesAfterTheScanAndAnEarlierCopyOut) {
  CChoiceFilesDlg* page = nullptr;
  CChoiceRecoveryPathDlg* dest = DestinationAfter("N:\\", {"\\Docs"}, &page);
  ASSERT_NE(dest, nullptr);
  const uint32_t chosen = page->ChosenFileCount();
  ASSERT_GT(chosen, 1u);
  // The report cuts counts to the ticked files; the progress page's own count
  // and the statistics are not cut, and show a count carried over.
  for (const char* folder : {"R:\\counted-first", "R:\\counted-again"}) {
    ::SetDlgItemTextA(dest->m_hWnd, IDC_DEST_EDIT, folder);
    Click(dest, IDC_DEST_NEXT);
    ASSERT_TRUE(PumpUntil([&] { return Report() != nullptr && Shown(Report()); }, 60000)) << folder;
    const RecoveryReportFacts f = Report()->Facts();
    EXPECT_EQ(f.chosen, chosen) << folder;
    EXPECT_EQ(f.recovered + f.damaged + f.failed, chosen) << folder;
    EXPECT_GT(f.recovered, 0u) << folder;
    ASSERT_NE(Progress(), nullptr);
    EXPECT_EQ(Progress()->RecoveredCount(), f.recovered) << folder;
    EXPECT_EQ(theApp.Stats().recovercount, static_cast<int32_t>(f.recovered)) << folder;
    Click(Report(), IDC_REP_BACK);
    ASSERT_TRUE(Shown(dest)) << folder;
  }
}

TEST_F(RecoveryPages, TheProgressPageShowsTheFileAndItsWay) {
  CChoiceRecoveryPathDlg* dest = DestinationAfter("X:\\", {"\\照片", "\\a"});
  ASSERT_NE(dest, nullptr);
  // A progress page of our own on the destination, its worker held at the gate.
  auto* progress = new CStopRestorFileDlg(dest);
  theApp.HoldPage(kCopyOutPageSlot, progress);
  ASSERT_TRUE(progress->Create(IDD_DELETED_PROGRESS, dest));
  progress->CenterWindow();
  progress->ShowWindow(SW_SHOW);
  dest->ShowWindow(SW_HIDE);
  progress->SetWorkerProc(GatedCopyOut);
  ASSERT_TRUE(progress->StartCopyOut("R:\\progress"));
  // What the copy-out would show half way through one file.
  RecoverProgressBlock block = {};
  std::strcpy(block.source, "X:\\照片\\_MG_0001.jpg");
  std::strcpy(block.destination, "R:\\progress\\照片\\_MG_0001.jpg");
  progress->SendMessage(WM_DELSCAN_PROGRESS, 0, reinterpret_cast<LPARAM>(&block));
  gRecoveredSectors = static_cast<uint32_t>(progress->TotalSectors() * 62 / 100);
  Pump(400);
  EXPECT_STREQ(progress->CurrentFile(), "X:\\照片\\_MG_0001.jpg");
  EXPECT_STREQ(progress->CurrentDestination(), "R:\\progress\\照片\\_MG_0001.jpg");
  EXPECT_GT(progress->TotalSectors(), 0u);
  Shoot(progress, "progress.bmp");
  SetEvent(gGate);
  EXPECT_TRUE(PumpUntil([&] { return Report() != nullptr; }, 60000));
  EXPECT_FALSE(progress->WorkerRunning());
}

TEST_F(RecoveryPages, StoppingTheCopyOutShowsTheBusyBoxAndReportsOnlyWholeFiles) {
  CChoiceFilesDlg* page = nullptr;
  CChoiceRecoveryPathDlg* dest = DestinationAfter("X:\\", {"\\照片", "\\a", "\\span32"}, &page);
  ASSERT_NE(dest, nullptr);
  const uint32_t chosen = page->ChosenFileCount();
  ASSERT_GE(chosen, 3u);
  auto* progress = new CStopRestorFileDlg(dest);
  theApp.HoldPage(kCopyOutPageSlot, progress);
  ASSERT_TRUE(progress->Create(IDD_DELETED_PROGRESS, dest));
  progress->ShowWindow(SW_SHOW);
  dest->ShowWindow(SW_HIDE);
  progress->SetWorkerProc(HeldCopyOut);
  ASSERT_TRUE(progress->StartCopyOut("R:\\stopped"));
  // The first file is through and the worker waits to announce the second.
  ASSERT_TRUE(PumpUntil([&] { return gProxyFiles.load() >= 2; }, 30000));
  Pump(100);
  {
    Answer yes(IDYES);
    Click(progress, IDC_PROG_REPORT);
    EXPECT_EQ(yes.Text(), TableText(IDS_CANCEL_CONFIRM));
  }
  EXPECT_EQ(gRecoverAbort.load(), 1u);
  EXPECT_TRUE(progress->Stopping());
  EXPECT_FALSE(progress->IsWindowEnabled());
  SetEvent(gHoldSecond);
  ASSERT_TRUE(PumpUntil([&] { return Report() != nullptr; }, 30000));
  EXPECT_FALSE(progress->Stopping());
  CRecoveryInfoDlg* report = Report();
  EXPECT_EQ(report->Facts().chosen, chosen);
  EXPECT_EQ(report->Facts().recovered, 1u);
  EXPECT_TRUE(report->PartialNoteShown());
  // The files the stop left are counted as such: the four counts add up.
  const RecoveryReportFacts& f = report->Facts();
  EXPECT_EQ(f.recovered + f.damaged + f.failed + f.notStarted, chosen);
  EXPECT_GE(f.notStarted, 1u);
  char note[512] = "";
  GetDlgItemTextA(report->m_hWnd, IDC_REP_PARTIAL, note, sizeof note);
  EXPECT_NE(std::string(note).find("因中断未恢复"), std::string::npos) << note;
  EXPECT_EQ(theApp.Stats().recovercount, 1);
  // The heading says the copy-out was stopped, never that it is done.
  EXPECT_TRUE(f.stopped);
  char heading[128] = "";
  GetDlgItemTextA(report->m_hWnd, IDC_REP_DONE_BEFORE, heading, sizeof heading);
  EXPECT_NE(std::string(heading).find("中断"), std::string::npos) << heading;
  EXPECT_EQ(std::string(heading).find("完成"), std::string::npos) << heading;
  // The report opens where the progress page stood.
  RECT shown = {}, before = {};
  GetWindowRect(report->m_hWnd, &shown);
  GetWindowRect(progress->m_hWnd, &before);
  EXPECT_TRUE(EqualRect(&shown, &before));
  Shoot(report, "copyout_stopped_report.bmp");
}

TEST_F(RecoveryPages, ACopyOutThatEndsWhileTheQuestionIsOpenFinishesAfterTheAnswer) {
  CChoiceRecoveryPathDlg* dest = DestinationAfter("X:\\", {"\\a"});
  ASSERT_NE(dest, nullptr);
  for (int answer : {IDNO, IDYES}) {
    auto* progress = new CStopRestorFileDlg(dest);
    theApp.HoldPage(kCopyOutPageSlot, progress);
    ASSERT_TRUE(progress->Create(IDD_DELETED_PROGRESS, dest));
    progress->ShowWindow(SW_SHOW);
    dest->ShowWindow(SW_HIDE);
    ResetEvent(gGate);
    progress->SetWorkerProc(GatedCopyOut);
    ASSERT_TRUE(progress->StartCopyOut(answer == IDNO ? "R:\\asked1" : "R:\\asked2"));
    // The stop question of the back button; the copy-out runs to its end meanwhile.
    {
      Answer a(answer, [&] {
        SetEvent(gGate);
        Sleep(1500);
      });
      Click(progress, IDC_PROG_BACK);
    }
    Pump(200);
    if (answer == IDNO) {
      // No on Back after the end: the report.
      ASSERT_NE(Report(), nullptr);
      EXPECT_TRUE(Shown(Report()));
      EXPECT_EQ(Report()->Facts().recovered, Report()->Facts().chosen);
      theApp.DestroyPage(kReportPageSlot);
    } else {
      // Yes on Back: the destination page again, no report.
      EXPECT_EQ(Report(), nullptr);
      EXPECT_TRUE(Shown(dest));
      EXPECT_FALSE(progress->m_hWnd);
    }
  }
}

TEST_F(RecoveryPages, AnsweringNoLetsTheCopyOutGoOn) {
  CChoiceFilesDlg* page = nullptr;
  CChoiceRecoveryPathDlg* dest = DestinationAfter("X:\\", {"\\a", "\\照片"}, &page);
  ASSERT_NE(dest, nullptr);
  auto* progress = new CStopRestorFileDlg(dest);
  theApp.HoldPage(kCopyOutPageSlot, progress);
  ASSERT_TRUE(progress->Create(IDD_DELETED_PROGRESS, dest));
  progress->ShowWindow(SW_SHOW);
  progress->SetWorkerProc(GatedCopyOut);
  ASSERT_TRUE(progress->StartCopyOut("R:\\goon"));
  {
    Answer no(IDNO);
    Click(progress, IDC_CLOSE);
  }
  EXPECT_FALSE(progress->Stopping());
  EXPECT_EQ(gRecoverAbort.load(), 0u);
  EXPECT_TRUE(Shown(progress));
  SetEvent(gGate);
  ASSERT_TRUE(PumpUntil([&] { return Report() != nullptr; }, 30000));
  EXPECT_EQ(Report()->Facts().recovered, page->ChosenFileCount());
}

TEST_F(RecoveryPages, LeavingTheResultPageWhileItFillsWaitsForTheFill) {
  Scan("N:\\");
  auto* page = dynamic_cast<CChoiceFilesDlg*>(OpenDeletedResultPage(scan_.get()));
  ASSERT_NE(page, nullptr);
  // Straight away, while rows still come: the page goes, and nothing after it.
  page->SendMessage(WM_CLOSE);
  EXPECT_FALSE(page->Filling());
  EXPECT_FALSE(page->m_hWnd);
  EXPECT_TRUE(Shown(&main_));
  EXPECT_EQ(DeletedFileCount(), 0u);
  Pump(1000);
  EXPECT_EQ(theApp.Page(kDestinationPageSlot), nullptr);
}

namespace {

// The result list's busy box of this thread (it holds the stop button).
HWND FillBusyBox() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), [](HWND w, LPARAM out) -> BOOL {
    if (!IsWindowVisible(w) || !GetDlgItem(w, IDC_BUSY_STOP)) return TRUE;
    *reinterpret_cast<HWND*>(out) = w;
    return FALSE;
  }, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string ItemText(HWND window, int id) {
  char text[512] = "";
  GetDlgItemTextA(window, id, text, sizeof text);
  return text;
}

}  // namespace

TEST_F(RecoveryPages, TheBusyBoxCountsTheRowsAndItsStopKeepsWhatWasFilled) {
  ClearDeletedFiles();
  constexpr uint32_t kRecords = 400000;
  for (uint32_t i = 0; i < kRecords; ++i) {
    DeletedFileRecord r = {};
    std::snprintf(r.path, sizeof r.path, "\\Folder %03u\\file %06u.jpg", i % 400, i);
    r.size = 5000;
    r.driveIndex = 'X' - 'C';
    AppendDeletedFile(r);
  }
  scan_ = std::make_unique<CScanDelFilesDlg>(&main_);
  scan_->SetTarget("X:\\");
  auto* page = dynamic_cast<CChoiceFilesDlg*>(OpenDeletedResultPage(scan_.get()));
  ASSERT_NE(page, nullptr);
  HWND box = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (box = FillBusyBox()) != nullptr && !ItemText(box, IDC_BUSY_COUNT).empty(); }));
  const std::string count = ItemText(box, IDC_BUSY_COUNT);
  EXPECT_NE(count.find(std::to_string(kRecords)), std::string::npos) << count;
  SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDC_BUSY_STOP, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, IDC_BUSY_STOP)));
  ASSERT_TRUE(PumpUntil([&] { return !page->Filling() && page->IsWindowEnabled(); }));
  Pump(300);
  // The rows made before the stop stay, the page says the list was stopped,
  // and it is no "nothing found".
  const uint32_t listed = page->FoundFileCount();
  EXPECT_GT(listed, 0u);
  EXPECT_LT(listed, kRecords);
  EXPECT_TRUE(Shown(page));
  CString title;
  title.Format(LoadText(IDS_RESULT_FILL_STOPPED), listed);
  EXPECT_EQ(ItemText(page->m_hWnd, IDC_PAGE_TITLE), std::string(title.GetString()));
  EXPECT_GT(page->ListInUse()->m_tree.GetItemCount(), static_cast<int>(listed));
  EXPECT_FALSE(page->HintShown());
}

// ---- the recycle-bin road ---------------------------------------------------------------

namespace {

// Every file below a folder, with its sha256.
void FilesBelow(const std::string& folder, std::map<std::string, std::string>* out) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    std::string full = folder + "\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      FilesBelow(full, out);
    else
      (*out)[full] = testsupport::Sha256OfFile(full);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

}  // namespace

TEST_F(RecoveryPages, TheRecycleBinRoadListsFormerNamesAndRestoresThemAwayFromTheScannedDrives) {
  // As the recycle-bin worker scans one drive's bin.
  ClearDeletedFiles();
  gScanAbort = 0;
  DeletedScanRequest request = {};
  std::strcpy(request.target, "W:\\$Recycle.Bin");
  request.recycleBin = 1;
  RunDeletedFileScan(request);
  ASSERT_GT(DeletedFileCount(), 0u);
  scan_ = std::make_unique<CScanDelFilesDlg>(&main_);
  scan_->SetRecycleBin(TRUE);
  gRecycleBinMode = 1;
  CChoiceFilesDlg* page = OpenResults();
  ASSERT_NE(page, nullptr);

  // The files show the names they had before they were deleted; the
  // information files are not listed.
  const std::string sid = "\\S-1-5-21-1000-2000-3000-1001";
  auto rows = Rows(page->ListInUse());
  EXPECT_TRUE(rows.count(sid + "\\Users\\Lin\\Pictures\\海边.jpg"));
  EXPECT_TRUE(rows.count(sid + "\\Users\\Lin\\Documents\\Report 2024.docx"));
  EXPECT_TRUE(rows.count(sid + "\\Users\\Lin\\cross.docx"));
  EXPECT_TRUE(rows.count(sid + "\\$RNOPART.txt")) << "no partner: the name stays";
  for (auto& r : rows) EXPECT_EQ(r.first.find("\\$I"), std::string::npos) << r.first;
  EXPECT_EQ(page->FoundFileCount(), 5u);

  Click(page, IDC_RES_CHECK_ALL);
  Click(page, IDC_RES_NEXT);
  CChoiceRecoveryPathDlg* dest = Destination();
  ASSERT_NE(dest, nullptr);
  EXPECT_NE(dest->ProposedDrive(), 'W');
  // The bin's own drive holds scanned files: refused before any other check.
  EXPECT_EQ(TryDestination(dest, "W:\\restored"), TableText(IDS_NEED_USB_RECYCLE));
  std::map<std::string, std::string> before;
  FilesBelow("R:", &before);
  ::SetDlgItemTextA(dest->m_hWnd, IDC_DEST_EDIT, "R:\\bin");
  Click(dest, IDC_DEST_NEXT);
  ASSERT_TRUE(PumpUntil([&] { return Report() != nullptr; }, 60000));
  EXPECT_EQ(Report()->Facts().recovered, 5u);

  std::map<std::string, std::string> sha;
  for (const auto& e : testsupport::ReadManifest("ntfs-recycle")) sha[e.path.substr(e.path.rfind('/') + 1)] = e.sha256;
  EXPECT_EQ(testsupport::Sha256OfFile("R:\\bin" + sid + "\\Users\\Lin\\Pictures\\海边.jpg"), sha["$RAB12CD.jpg"]);
  EXPECT_EQ(testsupport::Sha256OfFile("R:\\bin" + sid + "\\Users\\Lin\\Documents\\Report 2024.docx"),
            sha["$R5TQ9XZ.docx"]);
  EXPECT_EQ(testsupport::Sha256OfFile("R:\\bin" + sid + "\\Users\\Lin\\cross.docx"), sha["$RCROSS1.docx"]);
  EXPECT_EQ(testsupport::Sha256OfFile("R:\\bin" + sid + "\\$RNOPART.txt"), sha["$RNOPART.txt"]);
  // A former path that climbs out ("C:\..\..\Windows\evil.txt") stays below the destination.
  std::map<std::string, std::string> written;
  FilesBelow("R:", &written);
  bool evilInside = false;
  for (auto& w : written) {
    if (before.count(w.first)) continue;
    EXPECT_EQ(w.first.rfind("R:\\bin\\", 0), 0u) << "written outside the destination: " << w.first;
    evilInside |= w.second == sha["$REVIL01.txt"];
  }
  EXPECT_TRUE(evilInside);
}
