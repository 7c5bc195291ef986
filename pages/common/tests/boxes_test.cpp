// The stop question and the busy boxes under Wine: the question keeps its own
// answer, only Yes stops, the scan ending closes it as No; the busy boxes keep
// their owner disabled until the page ends them.
#include <gtest/gtest.h>

#include "busy_boxes.h"
#include "page_test_support.h"
#include "resource.h"
#include "testsupport.h"

using namespace pagetest;

namespace {

class Boxes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(owner.CreateEx(0, "STATIC", "page", WS_POPUP | WS_VISIBLE, 40, 40, 640, 480, nullptr, nullptr));
    Pump(50);
  }
  void TearDown() override {
    owner.DestroyWindow();
    Pump(20);
  }
  CWnd owner;
};

TEST_F(Boxes, OnlyAnExplicitYesStopsAndEveryQuestionStartsAtNo) {
  CStopScanMBDlg box(&owner);
  {
    AnswerWhenShown yes(IDC_STOPBOX_QUESTION, [](HWND h) { ClickButton(h, IDC_STOPBOX_YES); });
    EXPECT_EQ(box.Ask(), 1);
    EXPECT_TRUE(yes.Found());
  }
  EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd));
  // Enter: the standard OK ending, which is No.
  {
    AnswerWhenShown enter(IDC_STOPBOX_QUESTION, [](HWND h) { PostMessageA(h, WM_COMMAND, IDOK, 0); });
    EXPECT_EQ(box.Ask(), 0);
  }
  // The Return key itself, with the focus where the box puts it.
  {
    AnswerWhenShown key(IDC_STOPBOX_QUESTION, [](HWND h) {
      HWND focus = GetDlgItem(h, IDC_STOPBOX_NO);
      PostMessageA(focus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
      PostMessageA(focus, WM_KEYUP, VK_RETURN, 0xC01C0001);
    });
    EXPECT_EQ(box.Ask(), 0);
  }
  {
    AnswerWhenShown esc(IDC_STOPBOX_QUESTION, [](HWND h) { PostMessageA(h, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(box.Ask(), 0);
  }
  {
    AnswerWhenShown close(IDC_STOPBOX_QUESTION, [](HWND h) { PostMessageA(h, WM_CLOSE, 0, 0); });
    EXPECT_EQ(box.Ask(), 0);
  }
  {
    AnswerWhenShown no(IDC_STOPBOX_QUESTION, [](HWND h) { ClickButton(h, IDC_STOPBOX_NO); });
    EXPECT_EQ(box.Ask(), 0);
  }
}

TEST_F(Boxes, TheScanEndingWhileTheQuestionIsOpenClosesItAsNo) {
  CStopScanMBDlg box(&owner);
  {
    AnswerWhenShown yes(IDC_STOPBOX_QUESTION, [](HWND h) { ClickButton(h, IDC_STOPBOX_YES); });
    ASSERT_EQ(box.Ask(), 1);
  }
  // A worker sends WM_STOPBOX_END: the previous Yes does not linger.
  AnswerWhenShown end(IDC_STOPBOX_QUESTION, [](HWND h) {
    EXPECT_TRUE(IsWindowEnabled(h));
    EXPECT_EQ(SendMessageA(h, WM_STOPBOX_END, 0, 0), 1);
  });
  EXPECT_FALSE(box.IsAsking());
  EXPECT_EQ(box.Ask(), 0);
  EXPECT_TRUE(end.Found());
  EXPECT_FALSE(box.IsAsking());
}

TEST_F(Boxes, TheSharedBoxAsksOverThePageItIsGiven) {
  gStopScanBox.m_pParentWnd = &owner;
  AnswerWhenShown look(IDC_STOPBOX_QUESTION, [this](HWND h) {
    EXPECT_FALSE(IsWindowEnabled(owner.m_hWnd));
    EXPECT_EQ(GetWindow(h, GW_OWNER), owner.m_hWnd);
    Sleep(300);
    testsupport::SaveScreenshot(testsupport::ArtifactPath("stop_box.bmp"), h);
    ClickButton(h, IDC_STOPBOX_YES);
  }, 400);
  EXPECT_EQ(gStopScanBox.Ask(), 1);
  EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd));
  gStopScanBox.m_pParentWnd = nullptr;
}

TEST_F(Boxes, AFillBoxKeepsItsOwnerDisabledUntilTheListIsFilled) {
  CProtectingDlg box;
  ASSERT_TRUE(box.Show(&owner));
  box.ShowWindow(SW_SHOW);
  EXPECT_FALSE(IsWindowEnabled(owner.m_hWnd));
  EXPECT_TRUE(box.Bar().IsRunning());
  // Enter, Esc, the keyboard's close command and WM_CLOSE leave it up.
  PostMessageA(box.m_hWnd, WM_COMMAND, IDOK, 0);
  PostMessageA(box.m_hWnd, WM_COMMAND, IDCANCEL, 0);
  PostMessageA(box.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageA(box.m_hWnd, WM_CLOSE, 0, 0);
  Pump(200);
  ASSERT_TRUE(box.IsWindow());
  EXPECT_TRUE(box.IsWindowVisible());
  EXPECT_FALSE(IsWindowEnabled(owner.m_hWnd));
  Pump(300);
  testsupport::SaveScreenshot(testsupport::ArtifactPath("busy_box.bmp"), box.m_hWnd);
  // The page passes the worker's WM_FILELIST_DONE on.
  box.PostMessage(WM_FILELIST_DONE);
  ASSERT_TRUE(PumpUntil([&] { return !box.IsWindow(); }, 5000));
  EXPECT_FALSE(box.Bar().IsRunning());
  EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd));
}

TEST_F(Boxes, ABusyBoxOverADisabledOwnerLeavesItDisabled) {
  owner.EnableWindow(FALSE);
  CProtectingDlgUf box;
  ASSERT_TRUE(box.Show(&owner));
  EXPECT_FALSE(box.OwnerDisabledByBox());
  box.SendMessage(WM_FILELIST_DONE);
  EXPECT_FALSE(box.IsWindow());
  EXPECT_FALSE(IsWindowEnabled(owner.m_hWnd));
  owner.EnableWindow(TRUE);

  CStopRecoveryScrollBar stop;
  ASSERT_TRUE(stop.Show(&owner));
  EXPECT_TRUE(stop.OwnerDisabledByBox());
  stop.PostMessage(WM_CLOSE);
  Pump(100);
  EXPECT_TRUE(stop.IsWindow());
  stop.DestroyWindow();
  EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd));
}

TEST_F(Boxes, AModelessStopBoxClosedByItsMessageGivesItsOwnerBack) {
  CStopRecoveryScrollBar stop;
  ASSERT_TRUE(stop.Show(&owner));
  stop.ShowWindow(SW_SHOW);
  EXPECT_FALSE(IsWindowEnabled(owner.m_hWnd));
  // The page's way to end it when the worker has ended.
  stop.SendMessage(WM_BUSYBOX_CLOSE);
  EXPECT_FALSE(stop.IsWindow());
  EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd));
}

TEST_F(Boxes, TheRebuildBoxSaysSoAndEndsWhenThePageSaysTheWorkerEnded) {
  CStopRecoveryScrollBar box(&owner);
  box.m_messageMode = 1;
  AnswerWhenShown end(IDC_BUSYSTOP_LABEL, [](HWND h) {
    char text[128] = "";
    GetDlgItemTextA(h, IDC_BUSYSTOP_LABEL, text, sizeof text);
    EXPECT_STREQ(text, "正在重建您的分区表，请等待……");
    PostMessageA(h, WM_CLOSE, 0, 0);   // ignored
    Sleep(200);
    EXPECT_TRUE(IsWindowVisible(h));
    PostMessageA(h, WM_BUSYBOX_CLOSE, 0, 0);
  });
  EXPECT_EQ(box.DoModal(), IDOK);
  EXPECT_TRUE(end.Found());
  EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd));
}

}  // namespace
