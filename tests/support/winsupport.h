// Win32 helpers shared by the tests and the benchmark programs (header only,
// so a benchmark can use them without linking the test framework): a
// message-only window standing in for a page, and running an engine worker on
// its own thread while this thread serves the messages it sends, as the
// pages run their workers.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace testsupport {

// A message-only window of its own class; registering the class again for a
// second window is harmless.
inline HWND MessageWindow(const char* className, WNDPROC proc) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = className;
  RegisterClassA(&wc);
  return CreateWindowA(className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

// Runs fn on a worker thread while this thread dispatches the messages sent or
// posted to its windows; returns once the worker has ended and every message
// it left behind has been handled.
inline void RunPumping(const std::function<void()>& fn) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    fn();
    done = true;
  });
  MSG msg;
  while (!done) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  worker.join();
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// "YYYY-MM-DD hh:mm:ss", as the fixture makers write times.
inline std::string FormatSystemTime(const SYSTEMTIME& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return buf;
}

// Seconds on the performance counter (for differences only).
inline double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

}  // namespace testsupport
