// Driving the real salvora.exe from a test, as a user drives it: start it,
// find its windows by the controls they hold, wait for their states, press
// their buttons, read their texts and tree rows across the process border.
// Every wait polls the program's windows and ends early when the program
// has gone; no test needs a fixed sleep to stay in step with it.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "testsupport.h"

namespace programtest {

// The folder of the running test program (trailing backslash); the build
// puts salvora.exe and its libraries beside it.
inline std::string BinFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path);
  return p.substr(0, p.rfind('\\') + 1);
}

// A posted button press: the program handles it in its own time, so a modal
// box it opens does not hold the test.
inline void Click(HWND window, int id) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

inline std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// A control's text, asked of the control itself: GetWindowText on a window
// of another process gives only the text the window was created with.
inline std::string ControlText(HWND window, int id) {
  char text[1024] = "";
  GetDlgItemTextA(window, id, text, sizeof text);
  return text;
}

// Polls pred() every 20 ms; false when it still fails after ms milliseconds.
template <typename Pred>
bool WaitUntil(Pred pred, int ms = 60000) {
  // Tests build for the product's Windows too: 32-bit ticks, whose
  // difference is right across their wrap.
  const DWORD start = GetTickCount();
  for (;;) {
    if (pred()) return true;
    if (GetTickCount() - start > static_cast<DWORD>(ms)) return false;
    Sleep(20);
  }
}

// Waits until the window is shown (visible true) or hidden/gone (false).
inline bool WaitVisible(HWND window, bool visible, int ms = 20000) {
  return WaitUntil([&] { return (IsWindow(window) && IsWindowVisible(window)) == visible; }, ms);
}

// The first descendant window of a window class ("SysTreeView32" ...).
inline HWND FindChildOfClass(HWND parent, const char* className) {
  struct Search {
    const char* cls;
    HWND found;
  } s = {className, nullptr};
  EnumChildWindows(
      parent,
      [](HWND h, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        char cls[64] = "";
        GetClassNameA(h, cls, sizeof cls);
        if (lstrcmpiA(cls, s->cls) == 0) {
          s->found = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// Brings the window up, lets it paint, and saves it among the artifacts.
inline bool Shoot(HWND window, const std::string& name) {
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(500);   // the picture only: nothing waits on it
  return testsupport::SaveScreenshot(testsupport::ArtifactPath(name), window);
}

// Every file below a folder (trailing backslash), as paths relative to it.
inline std::vector<std::string> FilesBelow(const std::string& folder, const std::string& prefix = std::string()) {
  std::vector<std::string> out;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + prefix + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return out;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      for (const std::string& f : FilesBelow(folder, prefix + name + "\\")) out.push_back(f);
    } else {
      out.push_back(prefix + name);
    }
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return out;
}

// The file name of a relative or full path.
inline std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Wine's server, started before the test mapped its drives, lists only the
// drives it knew then (the mapped ones can be opened, but GetLogicalDrives,
// the shell's "My Computer" and so the pages do not see them). Defining each
// mapped drive as a DOS device for the folder mapped to it lists it, for
// every process of the server, for as long as this object lives.
// drives: {letter, Windows path of the folder mapped to it}.
class ListedDrives {
 public:
  explicit ListedDrives(std::initializer_list<std::pair<char, std::string>> drives) {
    for (const auto& d : drives) {
      char name[3] = {d.first, ':', 0};
      if (DefineDosDeviceA(0, name, d.second.c_str())) defined_.push_back(d.first);
    }
  }
  ListedDrives(const ListedDrives&) = delete;
  ListedDrives& operator=(const ListedDrives&) = delete;
  ~ListedDrives() {
    for (char letter : defined_) {
      char name[3] = {letter, ':', 0};
      DefineDosDeviceA(DDD_REMOVE_DEFINITION, name, nullptr);
    }
  }
  size_t Count() const { return defined_.size(); }
  // Whether the system lists the drive now (defined here or known before).
  static bool Listed(char letter) { return (GetLogicalDrives() >> (letter - 'A')) & 1; }

 private:
  std::vector<char> defined_;
};

struct TreeRow {
  std::string text;
  LPARAM param = 0;
};

class Program {
 public:
  PROCESS_INFORMATION pi = {};

  Program() = default;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program() {
    if (!pi.hProcess) return;
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }

  // Starts folder\salvora.exe with the arguments (each with its leading
  // space, as a command line holds them), in that folder.
  bool Start(const std::string& arguments = std::string(), const std::string& folder = BinFolder()) {
    STARTUPINFOA si = {sizeof si};
    const std::string exe = folder + "salvora.exe";
    std::string cmd = "\"" + exe + "\"" + arguments;
    return CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi) != 0;
  }

  bool Running() const { return pi.hProcess && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }

  // The visible top-level windows of the program.
  std::vector<HWND> Windows() const {
    struct Search {
      DWORD pid;
      std::vector<HWND> found;
    } s = {pi.dwProcessId, {}};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
          auto* s = reinterpret_cast<Search*>(lp);
          DWORD pid = 0;
          GetWindowThreadProcessId(h, &pid);
          if (pid == s->pid && IsWindowVisible(h)) s->found.push_back(h);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
  }

  // A visible top-level window of the program that holds every one of the
  // controls (pages share control ids, so a page is best named by several);
  // enabledOnly: only one that takes input (no busy or modal box over it).
  HWND Find(std::initializer_list<int> ids, bool enabledOnly = false) const {
    for (HWND h : Windows()) {
      bool all = true;
      for (int id : ids) all = all && GetDlgItem(h, id) != nullptr;
      if (all && (!enabledOnly || IsWindowEnabled(h))) return h;
    }
    return nullptr;
  }
  HWND Find(int id, bool enabledOnly = false) const { return Find({id}, enabledOnly); }

  HWND WaitFor(std::initializer_list<int> ids, int ms = 60000, bool enabledOnly = false) const {
    HWND found = nullptr;
    WaitUntil([&] { return (found = Find(ids, enabledOnly)) != nullptr || !Running(); }, ms);
    return found;
  }
  HWND WaitFor(int id, int ms = 60000, bool enabledOnly = false) const { return WaitFor({id}, ms, enabledOnly); }

  // A visible dialog of the program with exactly this caption.
  HWND FindDialog(const char* caption) const {
    for (HWND h : Windows()) {
      char cls[32] = "";
      GetClassNameA(h, cls, sizeof cls);
      if (!strcmp(cls, "#32770") && WindowText(h) == caption) return h;
    }
    return nullptr;
  }
  HWND WaitForDialog(const char* caption, int ms = 60000) const {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindDialog(caption)) != nullptr || !Running(); }, ms);
    return found;
  }

  // The exit code, or 0xDEADBEEF when the program is still running.
  DWORD WaitForExit(DWORD ms = 30000) const {
    if (WaitForSingleObject(pi.hProcess, ms) != WAIT_OBJECT_0) return 0xDEADBEEF;
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
  }
  // The system close of the main window, then the exit code.
  DWORD Close(HWND main) const {
    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    return WaitForExit();
  }

  bool HasModule(const char* name) const {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pi.dwProcessId);
    if (snap == INVALID_HANDLE_VALUE) return false;
    MODULEENTRY32 me = {sizeof me};
    bool found = false;
    for (BOOL ok = Module32First(snap, &me); ok && !found; ok = Module32Next(snap, &me))
      found = lstrcmpiA(me.szModule, name) == 0;
    CloseHandle(snap);
    return found;
  }

  // The text and item data of a tree-view row of the program: the item
  // block lives in the program's memory, where the tree writes into it.
  TreeRow TreeItem(HWND tree, HTREEITEM item) const {
    struct Block {
      TVITEMA item;
      char text[MAX_PATH];
    };
    TreeRow row;
    void* remote = VirtualAllocEx(pi.hProcess, nullptr, sizeof(Block), MEM_COMMIT, PAGE_READWRITE);
    if (!remote) return row;
    Block b = {};
    b.item.mask = TVIF_TEXT | TVIF_PARAM;
    b.item.hItem = item;
    b.item.pszText = static_cast<char*>(remote) + offsetof(Block, text);
    b.item.cchTextMax = MAX_PATH;
    if (WriteProcessMemory(pi.hProcess, remote, &b, sizeof b, nullptr) &&
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote)) &&
        ReadProcessMemory(pi.hProcess, remote, &b, sizeof b, nullptr)) {
      b.text[MAX_PATH - 1] = 0;
      row.text = b.text;
      row.param = b.item.lParam;
    }
    VirtualFreeEx(pi.hProcess, remote, 0, MEM_RELEASE);
    return row;
  }

  // The first column of a tree-list row: the tree-list control keeps its
  // texts in a row object of its own, whose address is the tree item's data;
  // the object holds them in a std::string of this same build at textAt,
  // the columns joined by the character at separatorAt.
  std::string TreeListText(HWND tree, HTREEITEM item, size_t textAt, size_t separatorAt) const {
    static_assert(sizeof(std::string) == 4 * sizeof(void*), "the library's string: pointer, length, buffer");
    const LPARAM object = TreeItem(tree, item).param;
    if (!object) return std::string();
    const char* base = reinterpret_cast<const char*>(object);
    struct {
      const char* data;
      size_t length;
    } head = {};
    char separator = 0;
    if (!ReadProcessMemory(pi.hProcess, base + textAt, &head, sizeof head, nullptr) ||
        !ReadProcessMemory(pi.hProcess, base + separatorAt, &separator, 1, nullptr) || head.length > 1 << 16)
      return std::string();
    std::string text(head.length, '\0');
    if (head.length && !ReadProcessMemory(pi.hProcess, head.data, &text[0], head.length, nullptr)) return std::string();
    return text.substr(0, text.find(separator));
  }

  // Every row of a tree, depth first (collapsed branches included).
  std::vector<std::pair<HTREEITEM, TreeRow>> TreeRows(HWND tree, HTREEITEM from = TVI_ROOT) const {
    std::vector<std::pair<HTREEITEM, TreeRow>> out;
    HTREEITEM item = from == TVI_ROOT ? TreeView_GetRoot(tree) : TreeView_GetChild(tree, from);
    for (; item; item = TreeView_GetNextSibling(tree, item)) {
      out.emplace_back(item, TreeItem(tree, item));
      for (auto& child : TreeRows(tree, item)) out.push_back(child);
    }
    return out;
  }
};

// Chooses drive `letter` in a location page's folder tree as the keyboard
// does (the tree takes the selection as the path); false when the drive is
// still not in the tree after ten seconds.
inline bool ChooseDriveInTree(const Program& p, HWND tree, char letter) {
  const std::string text = std::string(1, letter) + ":";
  HTREEITEM drive = nullptr;
  for (int tries = 0; tries < 100 && !drive; ++tries, Sleep(100)) {
    for (HTREEITEM root = TreeView_GetRoot(tree); root && !drive; root = TreeView_GetNextSibling(tree, root)) {
      TreeView_Expand(tree, root, TVE_EXPAND);
      for (HTREEITEM i = TreeView_GetChild(tree, root); i; i = TreeView_GetNextSibling(tree, i))
        if (p.TreeItem(tree, i).text.find(text) != std::string::npos) drive = i;
    }
  }
  if (!drive) return false;
  TreeView_SelectItem(tree, drive);
  PostMessageA(tree, WM_KEYDOWN, VK_SHIFT, 0);
  Sleep(300);
  return true;
}

}  // namespace programtest
