// A tooltip bubble that stands at a given screen point (tracking tooltip),
// for hints such as "tick the files and press Next".
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

class CTrackToolTip {
 public:
  CTrackToolTip();
  ~CTrackToolTip() { Destroy(); }
  CTrackToolTip(const CTrackToolTip&) = delete;
  CTrackToolTip& operator=(const CTrackToolTip&) = delete;

  void SetToolInfo(UINT flags, HWND owner, UINT_PTR id, const RECT& rect, HINSTANCE instance,
                   const char* text, LPARAM param);
  // Creates the bubble on first use, else moves it and replaces the text.
  void Show(HWND owner, const char* text, const char* title, int x, int y, int maxWidth, int icon);
  void Activate(int showCommand);          // SW_SHOWNORMAL / SW_SHOW / SW_HIDE
  void SetAutoHide(UINT milliseconds);     // 0: stays until hidden
  void SetPosition(int x, int y);
  void Destroy();
  HWND GetSafeHwnd() const { return tip_; }

 private:
  void ShowImpl(HWND owner, const char* text, const char* title, int x, int y, int maxWidth, int icon,
                DWORD style);
  static void CALLBACK HideTimer(HWND hwnd, UINT, UINT_PTR id, DWORD);
  static LRESULT CALLBACK TipProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  // How much wider the one-line text draws than its measured extent, in
  // the bubble's font (0 when it does not, when it wraps, or unknown).
  int DrawingShortfall() const;

  HWND tip_ = nullptr;
  TOOLINFOA tool_;
  HWND owner_ = nullptr;
  WNDPROC tipProc_ = nullptr;   // the tooltip class's own procedure
  std::string text_;            // the text shown, kept: the caller's may go
  int maxWidth_ = -1;
  int width_ = 0;          // the bubble's width for its text, frame and margins
  int inTipMessage_ = 0;   // depth of the tooltip's own messages being handled
};
