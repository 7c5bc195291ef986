// The deleted-file road end to end in the real salvora.exe, driven as a user
// drives it: "-fixdel" opens the location page, X: (an mkfs.fat volume whose
// files mtools deleted) is chosen in the folder tree, the scan runs, every
// file is ticked, the destination is a folder on R:, the copy-out runs, and
// the report counts. Every recovered file is compared with the fixture's
// ground truth by sha256. The pages are saved as screenshots on the way.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

#include "pagesA_support.h"
#include "resource.h"
#include "testsupport.h"

using testsupport::ArtifactPath;
using testsupport::SaveScreenshot;

namespace {

std::string BinFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path);
  return p.substr(0, p.rfind('\\') + 1);
}

struct Program {
  PROCESS_INFORMATION pi = {};
  bool Start(const std::string& arguments) {
    STARTUPINFOA si = {sizeof si};
    const std::string exe = BinFolder() + "salvora.exe";
    std::string cmd = "\"" + exe + "\"" + arguments;
    return CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, BinFolder().c_str(), &si,
                          &pi) != 0;
  }
  ~Program() {
    if (!pi.hProcess) return;
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  // A visible top-level window of the program that holds the control.
  HWND Find(int controlId, bool enabledOnly = false) {
    struct Search {
      DWORD pid;
      int id;
      bool enabled;
      HWND found;
    } s = {pi.dwProcessId, controlId, enabledOnly, nullptr};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
          auto* s = reinterpret_cast<Search*>(lp);
          DWORD pid = 0;
          GetWindowThreadProcessId(h, &pid);
          if (pid == s->pid && IsWindowVisible(h) && GetDlgItem(h, s->id) && (!s->enabled || IsWindowEnabled(h))) {
            s->found = h;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
  }
  HWND WaitFor(int controlId, int ms = 60000, bool enabledOnly = false) {
    for (int waited = 0; waited < ms; waited += 50) {
      if (HWND h = Find(controlId, enabledOnly)) return h;
      if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
  }
  // The text of a tree item of the program (its memory holds the item).
  std::string TreeItemText(HWND tree, HTREEITEM item) {
    struct Block {
      TVITEMA item;
      char text[MAX_PATH];
    };
    void* remote = VirtualAllocEx(pi.hProcess, nullptr, sizeof(Block), MEM_COMMIT, PAGE_READWRITE);
    if (!remote) return std::string();
    Block b = {};
    b.item.mask = TVIF_TEXT;
    b.item.hItem = item;
    b.item.pszText = static_cast<char*>(remote) + offsetof(Block, text);
    b.item.cchTextMax = MAX_PATH;
    WriteProcessMemory(pi.hProcess, remote, &b, sizeof b, nullptr);
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote));
    ReadProcessMemory(pi.hProcess, remote, &b, sizeof b, nullptr);
    VirtualFreeEx(pi.hProcess, remote, 0, MEM_RELEASE);
    b.text[MAX_PATH - 1] = 0;
    return b.text;
  }
};

void Post(HWND window, int id) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

std::string Text(HWND window, int id) {
  char text[1024] = "";
  GetDlgItemTextA(window, id, text, sizeof text);
  return text;
}

void Shoot(HWND window, const char* name) {
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(600);
  EXPECT_TRUE(SaveScreenshot(ArtifactPath(name), window)) << name;
}

// scan.tsv: where the scan puts each deleted file, and its sha256.
struct Expected {
  std::string path;
  std::string sha;
};

std::vector<Expected> ScanList(const std::string& fixture) {
  std::vector<Expected> out;
  std::string text;
  if (!testsupport::ReadWholeFile(testsupport::FixtureDir(fixture) + "scan.tsv", &text)) return out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::string cell;
    std::istringstream ls(line);
    while (std::getline(ls, cell, '\t')) f.push_back(cell);
    if (f.size() < 3) continue;
    Expected e{testsupport::Utf8ToAnsi(f[0]), f[2]};
    for (char& c : e.path)
      if (c == '/') c = '\\';
    out.push_back(e);
  }
  return out;
}

// The file the copy-out made for a path, or one of its numbered twins
// (name_001.ext ...) when the scan found the name twice.
bool AnyCopyMatches(const std::string& path, const std::string& sha) {
  if (testsupport::Sha256OfFile(path) == sha) return true;
  const size_t slash = path.rfind('\\'), dot = path.rfind('.');
  const bool hasExt = dot != std::string::npos && dot > slash;
  for (int n = 1; n < 10; ++n) {
    char number[8];
    snprintf(number, sizeof number, "_%03d", n);
    std::string twin = hasExt ? path.substr(0, dot) + number + path.substr(dot) : path + number;
    if (testsupport::Sha256OfFile(twin) == sha) return true;
  }
  return false;
}

}  // namespace

TEST(Road, TheDeletedFilesOfAFat32DriveComeBackWholeThroughEveryPage) {
  // The mapped folders as drives the shell lists (the raw volumes stay as mapped).
  const std::string scratch = testsupport::EnvText("SALVORA_SCRATCH_WIN") + "\\";
  testsupport::ScratchDir("out");   // R: starts empty
  pagetest::ListedDrives drives({{'X', scratch + "xroot"}, {'R', scratch + "out"}});
  Program p;
  ASSERT_TRUE(p.Start(" -fixdel"));

  // The location page: X: chosen in the folder tree.
  HWND location = p.WaitFor(IDC_LOC_BROWSE_TREE);
  ASSERT_NE(location, nullptr);
  HWND tree = GetDlgItem(location, IDC_LOC_BROWSE_TREE);
  HTREEITEM drive = nullptr;
  for (int tries = 0; tries < 100 && !drive; ++tries, Sleep(100)) {
    for (HTREEITEM root = TreeView_GetRoot(tree); root && !drive; root = TreeView_GetNextSibling(tree, root)) {
      TreeView_Expand(tree, root, TVE_EXPAND);
      for (HTREEITEM i = TreeView_GetChild(tree, root); i; i = TreeView_GetNextSibling(tree, i))
        if (p.TreeItemText(tree, i).find("X:") != std::string::npos) drive = i;
    }
  }
  ASSERT_NE(drive, nullptr) << "X: is not in the tree";
  // Selected as the keyboard selects: the tree takes the selection as the path.
  TreeView_SelectItem(tree, drive);
  PostMessageA(tree, WM_KEYDOWN, VK_SHIFT, 0);
  Sleep(300);
  Post(location, IDC_LOC_NEXT);

  // The scan runs; the result page opens when it has ended and fills its list.
  HWND result = p.WaitFor(IDC_RES_LIST_FULL, 120000, true);
  if (!result) SaveScreenshot(ArtifactPath("road_failure.bmp"));
  ASSERT_NE(result, nullptr) << "no result page";
  Sleep(1000);
  ASSERT_TRUE(IsWindowEnabled(result)) << "the list is still being filled";
  const std::vector<Expected> expected = ScanList("fat32-deleted");
  ASSERT_FALSE(expected.empty());
  const std::string title = Text(result, IDC_PAGE_TITLE);
  EXPECT_NE(title.find(std::to_string(expected.size())), std::string::npos) << title;

  // Everything ticked, the tree open.
  Post(result, IDC_RES_CHECK_ALL);
  Post(result, IDC_RES_EXPAND);
  Sleep(300);
  Shoot(result, "road_result.bmp");
  Post(result, IDC_RES_NEXT);

  // The destination page proposes a drive other than X:; we take a folder on R:.
  HWND destination = p.WaitFor(IDC_DEST_BROWSE);
  ASSERT_NE(destination, nullptr) << "no destination page";
  const std::string proposed = Text(destination, IDC_DEST_EDIT);
  EXPECT_FALSE(proposed.empty());
  EXPECT_NE(toupper(proposed[0]), 'X') << proposed;
  EXPECT_EQ(Text(destination, IDC_DEST_FILE_COUNT), std::to_string(expected.size()));
  SetDlgItemTextA(destination, IDC_DEST_EDIT, "R:\\road");
  Shoot(destination, "road_destination.bmp");
  Post(destination, IDC_DEST_NEXT);

  // The copy-out ends in the report.
  HWND report = p.WaitFor(IDC_REP_FINISH, 120000);
  ASSERT_NE(report, nullptr) << "no report";
  EXPECT_EQ(Text(report, IDC_REP_FOLDER), "R:\\road");
  EXPECT_EQ(Text(report, IDC_REP_FOUND), std::to_string(expected.size()));
  EXPECT_EQ(Text(report, IDC_REP_CHOSEN), std::to_string(expected.size()));
  EXPECT_EQ(Text(report, IDC_REP_RECOVERED), std::to_string(expected.size()));
  EXPECT_EQ(Text(report, IDC_REP_BIG_COUNT), std::to_string(expected.size()));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(report, IDC_REP_PARTIAL)));
  Shoot(report, "road_report.bmp");

  // Every file came back byte for byte.
  for (const Expected& e : expected) EXPECT_TRUE(AnyCopyMatches("R:\\road" + e.path, e.sha)) << e.path;

  // Finish: the main window again, and the program closes normally.
  Post(report, IDC_REP_FINISH);
  HWND main = p.WaitFor(IDC_MODE_DELETED);
  ASSERT_NE(main, nullptr);
  PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(WaitForSingleObject(p.pi.hProcess, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
}
