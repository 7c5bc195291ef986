// Answering the system's own boxes of a page from a helper thread: message
// boxes and the common open and save dialogs, which run their own modal
// loops on the page's thread. The script says which box comes next and how
// to answer it; whatever the page shows that the script does not expect is
// recorded and cancelled (No, Cancel), so a failing test never writes.
#pragma once
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework.h"

namespace pagetest {

struct BoxStep {
  enum Kind { kMessage, kFile } kind;
  UINT text = 0;          // kMessage: the string the box's text begins with
  int button = IDOK;      // kMessage: IDOK, IDYES, IDNO; kFile: IDOK or IDCANCEL
  std::string fileName;   // kFile: typed into the name field before OK ("" keeps it)
};

inline BoxStep Message(UINT text, int button = IDOK) { return {BoxStep::kMessage, text, button, ""}; }
inline BoxStep File(const std::string& name, int button = IDOK) { return {BoxStep::kFile, 0, button, name}; }

// One box as the helper thread met it.
struct BoxSeen {
  BoxStep::Kind kind;
  std::string text;       // message text, or what the name field held when the dialog came up
  bool expected = false;
};

class BoxScript {
 public:
  explicit BoxScript(std::vector<BoxStep> steps)
      : steps_(std::move(steps)), ui_(GetCurrentThreadId()), thread_([this] { Run(); }) {}
  ~BoxScript() { Stop(); }

  // Every step answered (the last box gone).
  bool Done() const { return done_; }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::vector<BoxSeen> Seen() {
    std::lock_guard<std::mutex> hold(lock_);
    return seen_;
  }
  // The texts of the message boxes, in order.
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (const BoxSeen& s : Seen())
      if (s.kind == BoxStep::kMessage) out.push_back(s.text);
    return out;
  }
  // Every box was the one expected, and every step came.
  bool AsScripted() {
    for (const BoxSeen& s : Seen())
      if (!s.expected) return false;
    return done_;
  }

  static std::string String(UINT id) {
    char text[1024] = "";
    LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text);
    return text;
  }

 private:
  static std::string Text(HWND h) {
    char text[2048] = "";
    GetWindowTextA(h, text, sizeof text);
    return text;
  }
  static HWND NameField(HWND dialog) {
    if (HWND edit = GetDlgItem(dialog, 0x480)) return edit;      // edt1
    if (HWND combo = GetDlgItem(dialog, 0x47C)) {                 // cmb13
      HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr);
      if (!edit) {
        HWND inner = FindWindowExA(combo, nullptr, nullptr, nullptr);
        if (inner) edit = FindWindowExA(inner, nullptr, "Edit", nullptr);
      }
      return edit ? edit : combo;
    }
    return nullptr;
  }
  // The longest static text of a message box is its message.
  static std::string MessageText(HWND box) {
    std::string best;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      char cls[32] = "";
      GetClassNameA(c, cls, sizeof cls);
      if (lstrcmpiA(cls, "Static") != 0) continue;
      std::string t = Text(c);
      if (t.size() > best.size()) best = t;
    }
    return best;
  }
  struct Found {
    HWND box = nullptr;
    bool file = false;
  };
  Found FindBox() {
    Found f;
    struct Ctx {
      Found* f;
    } ctx = {&f};
    EnumThreadWindows(
        ui_,
        [](HWND h, LPARAM lp) -> BOOL {
          auto* c = reinterpret_cast<Ctx*>(lp);
          char cls[16] = "";
          GetClassNameA(h, cls, sizeof cls);
          if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(h)) return TRUE;
          if (NameField(h) && GetDlgItem(h, IDOK)) {
            c->f->box = h;
            c->f->file = true;
            return FALSE;
          }
          if (GetDlgItem(h, IDOK) || GetDlgItem(h, IDYES)) {
            c->f->box = h;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return f;
  }

  void Answer(HWND box, int id) { PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

  void Run() {
    size_t next = 0;
    if (steps_.empty()) done_ = true;
    while (!stop_) {
      Found f = FindBox();
      if (!f.box) {
        Sleep(20);
        continue;
      }
      Sleep(f.file ? 500 : 150);   // let it settle (a file dialog fills its list)
      BoxSeen seen;
      seen.kind = f.file ? BoxStep::kFile : BoxStep::kMessage;
      seen.text = f.file ? Text(NameField(f.box)) : MessageText(f.box);
      const BoxStep* step = next < steps_.size() ? &steps_[next] : nullptr;
      if (step && step->kind == seen.kind &&
          (step->kind == BoxStep::kFile || seen.text.compare(0, String(step->text).size(), String(step->text)) == 0)) {
        seen.expected = true;
        if (step->kind == BoxStep::kFile && step->button == IDOK && !step->fileName.empty()) {
          SendMessageA(NameField(f.box), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step->fileName.c_str()));
          Sleep(50);
        }
        Answer(f.box, step->button);
        ++next;
      } else {
        // Not what the script says: No or Cancel, so nothing is written.
        Answer(f.box, f.file ? IDCANCEL : (GetDlgItem(f.box, IDNO) ? IDNO : IDOK));
      }
      {
        std::lock_guard<std::mutex> hold(lock_);
        seen_.push_back(seen);
      }
      for (int waited = 0; IsWindow(f.box) && IsWindowVisible(f.box) && waited < 10000; waited += 20) Sleep(20);
      if (next == steps_.size()) done_ = true;
    }
  }

  std::vector<BoxStep> steps_;
  DWORD ui_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::mutex lock_;
  std::vector<BoxSeen> seen_;
  std::thread thread_;
};

}  // namespace pagetest
