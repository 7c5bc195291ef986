// The real salvora.exe, started as a user starts it: it opens its main window
// with and without pictaran.dll beside it, and a normal close ends the process
// with exit code 1.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "program_driver.h"
#include "resource.h"
#include "testsupport.h"
#include "version.h"

using namespace programtest;
using namespace testsupport;

namespace {

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
  LetItPaint();
  EXPECT_TRUE(SaveScreenshot(ArtifactPath("about.bmp"), about));
  PostMessageA(about, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, 20000));
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_EQ(p.Close(main), 1u);
}

}  // namespace
