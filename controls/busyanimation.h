// The busy bar's animation thread: steps the bar's state every interval and
// asks the window to repaint; painting stays on the window's own thread.
#pragma once
#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "barmath.h"

class BusyAnimation {
 public:
  BusyAnimation() = default;
  ~BusyAnimation() { Stop(); }
  BusyAnimation(const BusyAnimation&) = delete;
  BusyAnimation& operator=(const BusyAnimation&) = delete;

  // Starts (or restarts) the thread; a running one is stopped first.
  // `window` (may be null) is invalidated after each step.
  void Start(HWND window, int intervalMs);
  // Asks the thread to end and waits for it. It never touches the calling
  // thread's message queue: the worker only calls InvalidateRect, which does
  // not wait for the window's thread, so a plain join cannot deadlock.
  void Stop();
  bool Running() const;

  // The bar's state, shared with the thread.
  controls::BusyBarState Snapshot() const;
  template <class Fn>
  void Update(Fn fn) {
    std::lock_guard<std::mutex> hold(lock_);
    fn(state_);
  }
  void SetInterval(int ms);

 private:
  void Run(HWND window);

  mutable std::mutex lock_;
  std::condition_variable wake_;
  controls::BusyBarState state_;
  int interval_ = 100;
  bool stopRequest_ = false;
  bool running_ = false;
  std::thread thread_;
};
