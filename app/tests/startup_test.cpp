// The real salvora.exe, started as a user starts it: it opens its main window
// with and without pictaran.dll beside it, and a normal close ends the process
// with exit code 1.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>

#include "resource.h"
#include "testsupport.h"
#include "version.h"

using namespace testsupport;

namespace {

std::string BinFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path);
  return p.substr(0, p.rfind('\\') + 1);
}

struct Program {
  PROCESS_INFORMATION pi = {};
  bool Start(const std::string& exe) {
    STARTUPINFOA si = {sizeof si};
    std::string cmd = "\"" + exe + "\"";
    std::string dir = exe.substr(0, exe.rfind('\\') + 1);
    return CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi) != 0;
  }
  ~Program() {
    if (pi.hProcess) {
      if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
  }
  // A visible dialog window of the program whose caption is the given text.
  HWND WaitForWindow(const char* caption, int ms = 20000) {
    struct Search {
      DWORD pid;
      const char* caption;
      HWND found;
    } s = {pi.dwProcessId, caption, nullptr};
    for (int waited = 0; waited < ms; waited += 100) {
      EnumWindows(
          [](HWND h, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            char text[128] = "", cls[32] = "";
            GetWindowTextA(h, text, sizeof text);
            GetClassNameA(h, cls, sizeof cls);
            if (pid == s->pid && IsWindowVisible(h) && !strcmp(cls, "#32770") && !strcmp(text, s->caption)) {
              s->found = h;
              return FALSE;
            }
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&s));
      if (s.found) return s.found;
      if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
  }
  bool HasModule(const char* name) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pi.dwProcessId);
    if (snap == INVALID_HANDLE_VALUE) return false;
    MODULEENTRY32 me = {sizeof me};
    bool found = false;
    for (BOOL ok = Module32First(snap, &me); ok && !found; ok = Module32Next(snap, &me))
      found = lstrcmpiA(me.szModule, name) == 0;
    CloseHandle(snap);
    return found;
  }
  DWORD WaitForExit(DWORD ms = 20000) {
    if (WaitForSingleObject(pi.hProcess, ms) != WAIT_OBJECT_0) return 0xDEADBEEF;
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
  }
};

const char kTitle[] = "奎隆数据恢复";

void LetItPaint() {
  Sleep(700);
}

TEST(Startup, WithoutThePictureLibraryTheMainWindowOpensAndClosesWithCodeOne) {
  // The program alone in a folder: no pictaran.dll beside it.
  std::string folder = ScratchDir("alone");
  std::string exe = folder + "salvora.exe";
  ASSERT_TRUE(CopyFileA((BinFolder() + "salvora.exe").c_str(), exe.c_str(), FALSE));
  Program p;
  ASSERT_TRUE(p.Start(exe));
  HWND main = p.WaitForWindow(kTitle);
  ASSERT_NE(main, nullptr) << "no main window";
  EXPECT_FALSE(p.HasModule("pictaran.dll"));
  // The close button of the main window: the normal way out.
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(main, IDC_CLOSE)));
  EXPECT_EQ(p.WaitForExit(), 1u);
}

TEST(Startup, WithThePictureLibraryItIsLoadedAndTheSystemCloseEndsWithCodeOne) {
  Program p;
  ASSERT_TRUE(p.Start(BinFolder() + "salvora.exe"));
  HWND main = p.WaitForWindow(kTitle);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(p.HasModule("pictaran.dll"));
  // Esc and Enter do not close the main window.
  PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
  PostMessageA(main, WM_COMMAND, IDOK, 0);
  Sleep(300);
  EXPECT_EQ(WaitForSingleObject(p.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  LetItPaint();
  EXPECT_TRUE(SaveScreenshot(ArtifactPath("main.bmp"), main));
  // The About box opens over it, shows the version and closes with OK.
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_BANNER, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(main, IDC_BANNER)));
  HWND about = p.WaitForWindow("关于奎隆数据恢复");
  ASSERT_NE(about, nullptr);
  EXPECT_FALSE(IsWindowEnabled(main));
  char version[64] = "";
  GetDlgItemTextA(about, IDC_ABOUT_VERSION, version, sizeof version);
  EXPECT_STREQ(version, SALVORA_VERSION_TEXT);
  LetItPaint();
  EXPECT_TRUE(SaveScreenshot(ArtifactPath("about.bmp"), about));
  PostMessageA(about, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 100 && IsWindow(about); ++i) Sleep(50);
  EXPECT_FALSE(IsWindow(about));
  EXPECT_TRUE(IsWindowEnabled(main));
  PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(p.WaitForExit(), 1u);
}

}  // namespace
