// How often a worker tells its page where it is. A page redraws its counters
// on a 200 ms timer, so a message per folder entry or per file only costs
// time (under Wine each sent message is a round trip through the server):
// a worker asks the gate before each progress message and sends one at most
// every interval, and always sends the last one when it ends.
#pragma once

#include <windows.h>

#include <cstdint>

class ProgressGate {
 public:
  // 50 ms: about 20 messages a second, several per redraw of the page.
  explicit ProgressGate(uint32_t intervalMs = 50) : m_interval(intervalMs) {}

  // True when a message is due: the first call, then once the interval has
  // passed since the last true. GetTickCount wraps after 49.7 days; the
  // unsigned difference stays right across the wrap.
  bool Due() {
    const uint32_t now = GetTickCount();
    if (m_started && static_cast<uint32_t>(now - m_last) < m_interval) return false;
    m_started = true;
    m_last = now;
    return true;
  }

  // Makes the next Due() true (a phase change the page must see at once).
  void Reset() { m_started = false; }

 private:
  uint32_t m_interval;
  uint32_t m_last = 0;
  bool m_started = false;
};
