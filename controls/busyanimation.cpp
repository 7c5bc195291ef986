#include "busyanimation.h"

#include <chrono>

void BusyAnimation::Start(HWND window, int intervalMs) {
  Stop();
  std::lock_guard<std::mutex> hold(lock_);
  if (intervalMs > 0) interval_ = intervalMs;
  // Cleared on every start, so a bar stopped once animates again.
  stopRequest_ = false;
  running_ = true;
  thread_ = std::thread(&BusyAnimation::Run, this, window);
}

void BusyAnimation::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!thread_.joinable()) {
      running_ = false;
      return;
    }
    stopRequest_ = true;
  }
  wake_.notify_all();
  thread_.join();
  std::lock_guard<std::mutex> hold(lock_);
  running_ = false;
}

bool BusyAnimation::Running() const {
  std::lock_guard<std::mutex> hold(lock_);
  return running_;
}

controls::BusyBarState BusyAnimation::Snapshot() const {
  std::lock_guard<std::mutex> hold(lock_);
  return state_;
}

void BusyAnimation::SetInterval(int ms) {
  std::lock_guard<std::mutex> hold(lock_);
  if (ms > 0) interval_ = ms;
}

void BusyAnimation::Run(HWND window) {
  std::unique_lock<std::mutex> hold(lock_);
  while (!stopRequest_) {
    controls::BusyStep(&state_);
    hold.unlock();
    if (window) InvalidateRect(window, nullptr, FALSE);
    hold.lock();
    wake_.wait_for(hold, std::chrono::milliseconds(interval_), [this] { return stopRequest_; });
  }
}
