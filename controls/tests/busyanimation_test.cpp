// The busy bar's thread: stop waits for it without eating the caller's
// messages, a stopped bar starts again, and stop without start is immediate.
#include <gtest/gtest.h>

#include <windows.h>

#include "busyanimation.h"

namespace {
int PositionAfter(BusyAnimation& a, int ms) {
  Sleep(ms);
  return a.Snapshot().position;
}
}  // namespace

TEST(BusyAnimation, StopWithoutStartReturnsAtOnce) {
  BusyAnimation a;
  DWORD t0 = GetTickCount();
  a.Stop();
  EXPECT_FALSE(a.Running());
  EXPECT_LT(GetTickCount() - t0, 50u);
}

TEST(BusyAnimation, StopKeepsTheCallersMessagesAndRestartAnimatesAgain) {
  BusyAnimation a;
  a.Update([](controls::BusyBarState& s) {
    s.blocks = 1000;
    controls::BusySetMotion(&s, controls::kMotionWrapForward);
  });
  MSG m;
  PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);  // make sure this thread has a queue
  a.Start(nullptr, 5);
  EXPECT_TRUE(a.Running());
  for (int i = 0; i < 5; ++i) PostThreadMessageA(GetCurrentThreadId(), WM_APP + i, i, 0);
  int moved = PositionAfter(a, 100);
  EXPECT_GT(moved, 0);
  a.Stop();
  EXPECT_FALSE(a.Running());
  int stopped = a.Snapshot().position;
  EXPECT_EQ(PositionAfter(a, 50), stopped);  // the thread is gone
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_APP + i, WM_APP + i, PM_REMOVE)) << i;
    EXPECT_EQ(m.wParam, static_cast<WPARAM>(i));
  }

  a.Start(nullptr, 5);
  EXPECT_GT(PositionAfter(a, 100), stopped);
  a.Start(nullptr, 5);  // a second start replaces the thread, not adds one
  a.Stop();
}

TEST(BusyAnimation, ZeroBlocksRunsWithoutFault) {
  BusyAnimation a;
  a.Update([](controls::BusyBarState& s) { s.blocks = 0; });
  a.Start(nullptr, 1);
  Sleep(20);
  a.Stop();
  EXPECT_EQ(a.Snapshot().position, 0);
}
