// The real salvora.exe, started as a user starts it: it opens its main window
// with and without pictaran.dll beside it, and a normal close ends the process
// with exit code 1.
#include <windows.h>

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "program_driver.h"
#include "resource.h"
#include "testsupport.h"
#include "version.h"

using namespace programtest;
using namespace testsupport;

namespace {

const char kTitle[] = "奎隆数据恢复";

std::wstring ToWide(const std::string& ansi) {
  std::wstring out(ansi.size() + 1, L'\0');
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), (int)ansi.size(), &out[0], (int)out.size());
  out.resize(n > 0 ? (size_t)n : 0);
  return out;
}

std::string ToUtf8(const std::wstring& wide) {
  std::string out(wide.size() * 4 + 1, '\0');
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), (int)wide.size(), &out[0], (int)out.size(),
                              nullptr, nullptr);
  out.resize(n > 0 ? (size_t)n : 0);
  return out;
}

void LetItPaint() {
  Sleep(700);
}

TEST(Startup, WithoutThePictureLibraryTheMainWindowOpensAndClosesWithCodeOne) {
  // The program alone in a folder: no pictaran.dll beside it.
  std::string folder = ScratchDir("alone");
  std::string exe = folder + "salvora.exe";
  ASSERT_TRUE(CopyFileA((BinFolder() + "salvora.exe").c_str(), exe.c_str(), FALSE));
  Program p;
  ASSERT_TRUE(p.Start("", folder));
  HWND main = p.WaitForDialog(kTitle);
  ASSERT_NE(main, nullptr) << "no main window";
  EXPECT_FALSE(p.HasModule("pictaran.dll"));
  // The close button of the main window: the normal way out.
  Click(main, IDC_CLOSE);
  EXPECT_EQ(p.WaitForExit(), 1u);
}

TEST(Startup, WithThePictureLibraryItIsLoadedAndTheSystemCloseEndsWithCodeOne) {
  Program p;
  ASSERT_TRUE(p.Start());
  HWND main = p.WaitForDialog(kTitle);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(p.HasModule("pictaran.dll"));
  // Esc and Enter do not close the main window.
  PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
  PostMessageA(main, WM_COMMAND, IDOK, 0);
  Sleep(300);
  EXPECT_EQ(WaitForSingleObject(p.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  // It opens in the middle of the screen (the pages of every road follow it).
  RECT window = {}, work = {};
  GetWindowRect(main, &window);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_NEAR((window.left + window.right) / 2, (work.left + work.right) / 2, 2);
  EXPECT_NEAR((window.top + window.bottom) / 2, (work.top + work.bottom) / 2, 2);
  LetItPaint();
  EXPECT_TRUE(SaveScreenshot(ArtifactPath("main.bmp"), main));
  // The About box opens over it, shows the version and closes with OK.
  Click(main, IDC_BANNER);
  HWND about = p.WaitForDialog("关于奎隆数据恢复");
  ASSERT_NE(about, nullptr);
  EXPECT_FALSE(IsWindowEnabled(main));
  char version[64] = "";
  GetDlgItemTextA(about, IDC_ABOUT_VERSION, version, sizeof version);
  EXPECT_STREQ(version, SALVORA_VERSION_TEXT);
  // It names every road of the main window, and says what the program writes.
  char line[256] = "", note[256] = "";
  GetDlgItemTextA(about, IDC_ABOUT_PRODUCT_LINE, line, sizeof line);
  for (const char* road : {"误删除", "误格式化", "深度恢复", "移动设备", "回收站", "分区丢失"})
    EXPECT_NE(std::string(line).find(road), std::string::npos) << road;
  GetDlgItemTextA(about, IDC_ABOUT_NOTE1, note, sizeof note);
  EXPECT_NE(std::string(note).find("改写该硬盘的分区表"), std::string::npos) << note;
  EXPECT_EQ(std::string(note).find("不会向其中写入"), std::string::npos) << note;
  LetItPaint();
  EXPECT_TRUE(SaveScreenshot(ArtifactPath("about.bmp"), about));
  PostMessageA(about, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, 20000));
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_EQ(p.Close(main), 1u);
}

TEST(Startup, LibrariesOfALookAlikeFolderAreNeverLoaded) {
  // In code page 936 '²' best-fits to '2': an 8-bit name of the program's
  // folder would name the look-alike folder beside it, where a library of
  // the same name waits.
  const std::wstring base = ToWide(ScratchDir("lookalike"));
  const std::wstring real = base + L"app\u00B2\\", fake = base + L"app2\\";
  char narrow[MAX_PATH * 2] = "";
  WideCharToMultiByte(CP_ACP, 0, real.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
  ASSERT_EQ(ToWide(narrow), fake) << "the 8-bit name must lead to the look-alike folder";
  for (const std::wstring& f : {real, fake})
    ASSERT_TRUE(CreateDirectoryW(f.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  const std::wstring bin = ToWide(BinFolder());
  for (const wchar_t* f : {L"salvora.exe", L"pictaran.dll"})
    ASSERT_TRUE(CopyFileW((bin + f).c_str(), (real + f).c_str(), FALSE));
  for (const wchar_t* f : {L"pictaran.dll", L"quorlex.dll"})
    ASSERT_TRUE(CopyFileW((bin + f).c_str(), (fake + f).c_str(), FALSE));
  Program p;
  const std::wstring exe = real + L"salvora.exe";
  std::wstring cmd = L"\"" + exe + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  ASSERT_TRUE(CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, real.c_str(),
                             &si, &p.pi));
  HWND main = p.WaitForDialog(kTitle);
  ASSERT_NE(main, nullptr);
  std::vector<std::wstring> loaded;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, p.pi.dwProcessId);
  ASSERT_NE(snap, INVALID_HANDLE_VALUE);
  MODULEENTRY32W me = {};
  me.dwSize = sizeof me;
  for (BOOL ok = Module32FirstW(snap, &me); ok; ok = Module32NextW(snap, &me)) loaded.push_back(me.szExePath);
  CloseHandle(snap);
  bool realPicture = false;
  for (const std::wstring& m : loaded) {
    EXPECT_NE(0, _wcsnicmp(m.c_str(), fake.c_str(), fake.size())) << ToUtf8(m);
    if (_wcsicmp(m.c_str(), (real + L"pictaran.dll").c_str()) == 0) realPicture = true;
  }
  EXPECT_TRUE(realPicture) << "the picture library comes from the program's own folder";
  EXPECT_EQ(p.Close(main), 1u);
}

TEST(Startup, TheProgramAsksForAdministratorRightsAndNothingElse) {
  // Raw devices open only for an administrator from Windows Vista on: the
  // program carries a manifest that asks for those rights. (Wine does not
  // elevate; the two tests above show it still starts the program.)
  HMODULE exe = LoadLibraryExA((BinFolder() + "salvora.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(found, nullptr) << "no application manifest";
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(exe, found)));
  ASSERT_NE(bytes, nullptr);
  const std::string manifest(bytes, SizeofResource(exe, found));
  FreeLibrary(exe);
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("urn:schemas-microsoft-com:asm.v2"), std::string::npos) << "the form XP accepts";
  // The controls are drawn by the program's own skin: no switch to another
  // common-controls version comes with it.
  EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos);
  EXPECT_EQ(manifest.find("dependency"), std::string::npos);
}

TEST(Startup, NoSystemBoxAsksForAMissingDisk) {
  // Listing drives touches card readers without a medium: the program turns
  // off the system's "no disk" boxes for itself. Its error mode is compared
  // with this process's own, set the same way (the system keeps the mode
  // in a form of its own).
  using QueryFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<QueryFn>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess"));
  ASSERT_NE(query, nullptr);
  const int kHardErrorMode = 12;   // ProcessDefaultHardErrorMode
  Program p;
  ASSERT_TRUE(p.Start());
  HWND main = p.WaitForDialog(kTitle);
  ASSERT_NE(main, nullptr);
  ULONG program = 0xFFFFFFFF, mine = 0xFFFFFFFF, before = 0xFFFFFFFF;
  ASSERT_EQ(query(p.pi.hProcess, kHardErrorMode, &program, sizeof program, nullptr), 0);
  const UINT kept = SetErrorMode(0);
  ASSERT_EQ(query(GetCurrentProcess(), kHardErrorMode, &before, sizeof before, nullptr), 0);
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ASSERT_EQ(query(GetCurrentProcess(), kHardErrorMode, &mine, sizeof mine, nullptr), 0);
  SetErrorMode(kept);
  const ULONG kBoxes = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
  EXPECT_NE(before & kBoxes, mine & kBoxes);
  EXPECT_EQ(program & kBoxes, mine & kBoxes);
  EXPECT_EQ(p.Close(main), 1u);
}

}  // namespace
