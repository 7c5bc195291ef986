// The real salvora.exe, started as a user starts it: the command-line
// switches open the deleted-file road at once (only the last switch counts,
// in any case, and only whole), WM_SHOW_PAGE switches pages, and the
// recycle-bin button scans the recycle folders of the mapped drives.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "program_driver.h"
#include "resource.h"
#include "testsupport.h"

using namespace programtest;

namespace {

// The main window, once the posted switch (if any) has had its time.
HWND MainWindow(const Program& p) {
  HWND main = p.WaitFor(IDC_MODE_DELETED);
  Sleep(700);
  return main;
}

// Waits until the window is hidden (true) or shown (false).
bool WaitHidden(HWND window, bool hidden = true) { return WaitVisible(window, !hidden, 10000); }

TEST(Program, TheDeletedFileSwitchOpensTheLocationPageAtOnceInAnyCase) {
  for (const char* args : {" -fixdel", " -FIXDEL", " -t -FixDel"}) {
    Program p;
    ASSERT_TRUE(p.Start(args));
    HWND location = p.WaitFor(IDC_LOC_BROWSE_TREE);
    ASSERT_NE(location, nullptr) << args;
    HWND main = p.Find(IDC_MODE_DELETED);
    if (main) {
      EXPECT_TRUE(WaitHidden(main)) << "the main window hides behind the road: " << args;
    }
    // Back to the main window, then out.
    Click(location, IDC_LOC_BACK);
    ASSERT_TRUE(WaitHidden(location));
    main = p.WaitFor(IDC_MODE_DELETED);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(p.Close(main), 1u);
  }
}

TEST(Program, OnlyAWholeLastSwitchCounts) {
  for (const char* args : {" -fixdel ", " -fixdelx", " -fixdel -x", " fixdel", " -fixusb -x"}) {
    Program p;
    ASSERT_TRUE(p.Start(args));
    HWND main = MainWindow(p);
    ASSERT_NE(main, nullptr) << args;
    EXPECT_EQ(p.Find(IDC_LOC_BROWSE_TREE), nullptr) << args;
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(p.Close(main), 1u);
  }
}

TEST(Program, ShowPageMessagesAndModeButtonsSwitchPages) {
  Program p;
  ASSERT_TRUE(p.Start(""));
  HWND main = MainWindow(p);
  ASSERT_NE(main, nullptr);
  PostMessageA(main, WM_USER + 1000, 0, 0);
  HWND location = p.WaitFor(IDC_LOC_BROWSE_TREE);
  ASSERT_NE(location, nullptr);
  EXPECT_TRUE(WaitHidden(main));
  PostMessageA(location, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitHidden(location));
  ASSERT_TRUE(WaitHidden(main, false));
  // A fresh page for every press of the mode button.
  Click(main, IDC_MODE_DELETED);
  ASSERT_TRUE(WaitHidden(main));
  HWND second = p.WaitFor(IDC_LOC_BROWSE_TREE);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, location);
  EXPECT_FALSE(IsWindow(location));
  Click(second, IDC_CLOSE);
  ASSERT_TRUE(WaitHidden(main, false));
  // The unformat road opens its location page; its close box comes back.
  Click(main, IDC_MODE_UNFORMAT);
  ASSERT_TRUE(WaitHidden(main));
  HWND unformat = p.WaitFor(IDC_UFLOC_VOLUMES);
  ASSERT_NE(unformat, nullptr);
  Click(unformat, IDC_CLOSE);
  ASSERT_TRUE(WaitHidden(main, false));
  EXPECT_EQ(p.Close(main), 1u);
}

TEST(Program, ClosingWithTheServiceLibraryRunsTheUpdateFirst) {
  // quorlex.dll lies beside the program in the build's folder.
  Program p;
  ASSERT_TRUE(p.Start(""));
  HWND main = MainWindow(p);
  ASSERT_NE(main, nullptr);
  PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  HWND update = p.WaitFor(IDC_UPDATE_PROGRESS, 20000);
  ASSERT_NE(update, nullptr);
  EXPECT_FALSE(IsWindowVisible(main));
  ASSERT_EQ(WaitForSingleObject(p.pi.hProcess, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  GetExitCodeProcess(p.pi.hProcess, &code);
  EXPECT_EQ(code, 1u);
}

TEST(Program, TheTipsOfItemIniTakeTurnsWhileTheMainWindowIsShown) {
  const std::string folder = testsupport::ScratchDir("tips");
  ASSERT_TRUE(CopyFileA((BinFolder() + "salvora.exe").c_str(), (folder + "salvora.exe").c_str(), FALSE));
  ASSERT_TRUE(testsupport::WriteWholeFile(folder + "item.ini",
                                          "[common]\r\ncont=2\r\n"
                                          "[Item0]\r\nName=恢复之前，请不要向丢失文件的磁盘写入数据\r\n"
                                          "URL=https://www.salvora.example/tips/1\r\n"
                                          "[Item1]\r\nName=恢复出来的文件请保存到其他磁盘\r\n"
                                          "URL=https://www.salvora.example/tips/2\r\n"));
  Program p;
  ASSERT_TRUE(p.Start("", folder));
  HWND main = p.WaitFor(IDC_MODE_DELETED);
  ASSERT_NE(main, nullptr);
  HWND tip = GetDlgItem(main, IDC_MAIN_TIP);
  EXPECT_EQ(WindowText(tip), "恢复之前，请不要向丢失文件的磁盘写入数据");
  RECT r;
  GetWindowRect(tip, &r);
  MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 15);
  EXPECT_EQ(r.top, 475);
  EXPECT_EQ(r.bottom, 493);
  // Every two seconds the next one, then the first again.
  for (int waited = 0; waited < 5000 && WindowText(tip) != "恢复出来的文件请保存到其他磁盘"; waited += 100) Sleep(100);
  EXPECT_EQ(WindowText(tip), "恢复出来的文件请保存到其他磁盘");
  Sleep(300);
  testsupport::SaveScreenshot(testsupport::ArtifactPath("main_window_tip.bmp"), main);
  // Hidden behind a road, the tip waits.
  PostMessageA(main, WM_USER + 1000, 0, 0);
  HWND location = p.WaitFor(IDC_LOC_BROWSE_TREE);
  ASSERT_NE(location, nullptr);
  ASSERT_TRUE(WaitHidden(main));
  const std::string shown = WindowText(tip);
  Sleep(4500);
  EXPECT_EQ(WindowText(tip), shown);
  PostMessageA(location, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitHidden(main, false));
  for (int waited = 0; waited < 5000 && WindowText(tip) == shown; waited += 100) Sleep(100);
  EXPECT_NE(WindowText(tip), shown) << "it goes on when the main window is back";
  EXPECT_EQ(p.Close(main), 1u);
}

}  // namespace
