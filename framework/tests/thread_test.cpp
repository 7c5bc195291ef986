// Worker threads are owned and joined; a join keeps answering the messages the
// worker sends to the joining thread, so a worker blocked in SendMessage ends.
#include <gtest/gtest.h>

#include <atomic>

#include "framework.h"

namespace {

UINT ReturnParam(LPVOID param) { return static_cast<UINT>(reinterpret_cast<UINT_PTR>(param)); }

TEST(WorkerThread, JoinReturnsWhenTheWorkerEndsAndKeepsItsExitCode) {
  auto worker = AfxBeginThread(ReturnParam, reinterpret_cast<LPVOID>(1234));
  ASSERT_NE(worker, nullptr);
  EXPECT_TRUE(worker->Join());
  EXPECT_FALSE(worker->IsRunning());
  EXPECT_EQ(worker->GetExitCode(), 1234u);
}

std::atomic<int> gStopFlag{0};

UINT WaitForStop(LPVOID) {
  while (!gStopFlag) Sleep(5);
  return 7;
}

TEST(WorkerThread, SuspendedStartAndTimedJoin) {
  gStopFlag = 0;
  auto worker = AfxBeginThread(WaitForStop, nullptr, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  ASSERT_NE(worker, nullptr);
  EXPECT_TRUE(worker->IsRunning());
  EXPECT_FALSE(worker->Join(20));   // still waiting for the flag (and suspended)
  worker->ResumeThread();
  gStopFlag = 1;
  EXPECT_TRUE(worker->Join());
  EXPECT_EQ(worker->GetExitCode(), 7u);
}

// A page-like window on this thread that the worker reports to with
// SendMessage, as the scans do.
class CReceiver : public CWnd {
 public:
  int received = 0;

 protected:
  LRESULT OnProgress(WPARAM, LPARAM) {
    ++received;
    return 0;
  }
  DECLARE_MESSAGE_MAP()
};

constexpr UINT WM_PROGRESS = WM_APP + 20;

BEGIN_MESSAGE_MAP(CReceiver, CWnd)
  ON_MESSAGE(WM_PROGRESS, &CReceiver::OnProgress)
END_MESSAGE_MAP()

UINT SendTenTimes(LPVOID param) {
  HWND target = static_cast<HWND>(param);
  for (int i = 0; i < 10; ++i) SendMessageA(target, WM_PROGRESS, 0, 0);
  PostMessageA(target, WM_PROGRESS, 0, 0);   // posted: stays queued for the loop
  return 1;
}

TEST(WorkerThread, JoiningWhileTheWorkerSendsToUsDoesNotDeadlock) {
  CReceiver receiver;
  ASSERT_TRUE(receiver.CreateEx(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
  {
    auto worker = AfxBeginThread(SendTenTimes, receiver.m_hWnd);
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(worker->Join());
  }
  EXPECT_EQ(receiver.received, 10);
  fw::PumpWaitingMessages();   // the posted one was kept, not thrown away
  EXPECT_EQ(receiver.received, 11);
  receiver.DestroyWindow();
}

// A window that says when it was painted.
class CPainted : public CWnd {
 public:
  HANDLE painted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ~CPainted() override { CloseHandle(painted); }

 protected:
  void OnPaint() {
    CPaintDC dc(this);
    SetEvent(painted);
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CPainted, CWnd)
  ON_WM_PAINT()
END_MESSAGE_MAP()

UINT WaitUntilPainted(LPVOID param) {
  // As a worker stuck in a slow read: it ends only once the page has painted.
  return WaitForSingleObject(static_cast<HANDLE>(param), 20000) == WAIT_OBJECT_0 ? 1 : 0;
}

TEST(WorkerThread, TheWindowsOfAJoiningThreadKeepPainting) {
  CPainted window;
  ASSERT_TRUE(window.CreateEx(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40, nullptr, nullptr));
  fw::PumpWaitingMessages();
  ResetEvent(window.painted);
  window.Invalidate();
  PostMessageA(window.m_hWnd, WM_PROGRESS, 0, 0);   // posted: must stay queued
  {
    auto worker = AfxBeginThread(WaitUntilPainted, window.painted);
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(worker->Join(30000));
    EXPECT_EQ(worker->GetExitCode(), 1u) << "the window was not painted while the page waited";
  }
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, window.m_hWnd, WM_PROGRESS, WM_PROGRESS, PM_NOREMOVE));
  window.DestroyWindow();
}

TEST(WorkerThread, DestroyingTheObjectJoins) {
  gStopFlag = 0;
  std::atomic<bool> ended{false};
  {
    auto worker = AfxBeginThread(
        [](LPVOID p) -> UINT {
          Sleep(50);
          static_cast<std::atomic<bool>*>(p)->store(true);
          return 0;
        },
        &ended);
    ASSERT_NE(worker, nullptr);
  }
  EXPECT_TRUE(ended);
}

}  // namespace
