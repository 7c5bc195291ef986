// Helpers of the page tests: pumping the user-interface thread, and answering
// a modal box from a helper thread while the test thread waits in the box's
// own loop.
#pragma once
#include <windows.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework.h"
#include "program_driver.h"

namespace pagetest {

// Handles this thread's messages through the class layer's loop (dialog keys
// included) for about ms milliseconds.
inline void Pump(int ms = 100) {
  const DWORD start = GetTickCount();
  do {
    fw::PumpWaitingMessages();
    Sleep(5);
  } while (GetTickCount() - start < static_cast<DWORD>(ms));
}

// Pumps until pred() holds; false after ms milliseconds.
template <typename Pred>
bool PumpUntil(Pred pred, int ms = 20000) {
  const DWORD start = GetTickCount();
  while (!pred()) {
    if (GetTickCount() - start > static_cast<DWORD>(ms)) return false;
    fw::PumpWaitingMessages();
    Sleep(5);
  }
  return true;
}

inline bool Shown(CWnd* w) { return w && w->m_hWnd && ::IsWindowVisible(w->m_hWnd); }

// The text of a message box: its longest static text.
inline std::string MessageBoxText(HWND box) {
  std::string best;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM lp) -> BOOL {
        char cls[32] = "", text[512] = "";
        GetClassNameA(child, cls, sizeof cls);
        GetWindowTextA(child, text, sizeof text);
        auto* best = reinterpret_cast<std::string*>(lp);
        if (!lstrcmpiA(cls, "Static") && strlen(text) > best->size()) *best = text;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&best));
  return best;
}

// A visible top-level window of the thread that holds a control with this id.
inline HWND FindWindowWithControl(DWORD threadId, int controlId) {
  struct Search {
    int id;
    HWND found;
  } s = {controlId, nullptr};
  EnumThreadWindows(
      threadId,
      [](HWND h, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        if (IsWindowVisible(h) && GetDlgItem(h, s->id)) {
          s->found = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// On a helper thread: waits for a visible window of the calling thread that
// holds controlId, then runs act(window) there (act posts or sends to it).
class AnswerWhenShown {
 public:
  AnswerWhenShown(int controlId, std::function<void(HWND)> act, int delayMs = 150)
      : thread_([=, ui = GetCurrentThreadId()] {
          for (int waited = 0; waited < 20000; waited += 20) {
            HWND h = FindWindowWithControl(ui, controlId);
            if (h) {
              Sleep(delayMs);
              act(h);
              found_ = true;
              return;
            }
            Sleep(20);
          }
        }) {}
  ~AnswerWhenShown() {
    if (thread_.joinable()) thread_.join();
  }
  bool Found() {
    if (thread_.joinable()) thread_.join();
    return found_;
  }

 private:
  bool found_ = false;
  std::thread thread_;
};

using programtest::ListedDrives;

inline void ClickButton(HWND dialog, int id) { programtest::Click(dialog, id); }

}  // namespace pagetest
