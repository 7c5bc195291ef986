// The test bed's window side: a dialog from a resource script with Chinese
// text shows under Xvfb, draws its glyphs, and is saved as a screenshot.
#include <windows.h>

#include <gtest/gtest.h>

#include "guismoke.h"
#include "testsupport.h"

using namespace testsupport;

namespace {

INT_PTR CALLBACK SmokeProc(HWND, UINT msg, WPARAM, LPARAM) {
  return msg == WM_INITDIALOG ? TRUE : FALSE;
}

void Pump() {
  MSG m;
  for (int i = 0; i < 20; ++i) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    Sleep(20);
  }
}

int DarkPixels(HWND hwnd) {
  RECT r;
  GetWindowRect(hwnd, &r);
  HDC dc = GetDC(nullptr);
  int dark = 0;
  for (int y = r.top; y < r.bottom; y += 1)
    for (int x = r.left; x < r.right; x += 1) {
      COLORREF c = GetPixel(dc, x, y);
      if (c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 200) ++dark;
    }
  ReleaseDC(nullptr, dc);
  return dark;
}

}  // namespace

TEST(GuiSmoke, ChineseDialogShowsAndDraws) {
  HWND dlg = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SMOKE), nullptr,
                                SmokeProc, 0);
  ASSERT_NE(dlg, nullptr) << GetLastError();
  SetWindowPos(dlg, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  UpdateWindow(dlg);
  Pump();

  char caption[128] = {};
  GetWindowTextA(dlg, caption, sizeof caption);
  EXPECT_EQ(AnsiToUtf8(caption), "奎隆数据恢复");
  char text[128] = {};
  GetDlgItemTextA(dlg, IDC_SMOKE_TEXT, text, sizeof text);
  EXPECT_EQ(AnsiToUtf8(text), "正在分析FAT32文件系统，请稍候……");

  // Glyphs, not an empty box: the label must put dark pixels on the screen.
  EXPECT_GT(DarkPixels(GetDlgItem(dlg, IDC_SMOKE_TEXT)), 30);
  EXPECT_TRUE(SaveScreenshot(ArtifactPath("guismoke.bmp"), dlg));
  DestroyWindow(dlg);
}
