#include "tracktooltip.h"

#include <cstring>

namespace {
const UINT_PTR kAutoHideTimer = 2747;
}

CTrackToolTip::CTrackToolTip() { memset(&tool_, 0, sizeof tool_); }

void CTrackToolTip::SetToolInfo(UINT flags, HWND owner, UINT_PTR id, const RECT& rect, HINSTANCE instance,
                                const char* text, LPARAM param) {
  memset(&tool_, 0, sizeof tool_);
  tool_.cbSize = sizeof tool_;
  tool_.uFlags = flags;
  tool_.hwnd = owner;
  tool_.uId = id;
  tool_.rect = rect;
  tool_.hinst = instance;
  tool_.lpszText = const_cast<char*>(text);
  tool_.lParam = param;
}

void CTrackToolTip::Show(HWND owner, const char* text, const char* title, int x, int y, int maxWidth,
                         int icon) {
  ShowImpl(owner, text, title, x, y, maxWidth, icon, WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS);
}

void CTrackToolTip::ShowImpl(HWND owner, const char* text, const char* title, int x, int y, int maxWidth,
                             int icon, DWORD style) {
  if (!tip_) {
    owner_ = owner;
    tip_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, TOOLTIPS_CLASSA, nullptr, style, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
    if (!tip_) return;
    if (!tool_.cbSize) {
      RECT none = {0, 0, 0, 0};
      SetToolInfo(TTF_TRACK | TTF_ABSOLUTE, owner, 1, none, nullptr, text, 0);
    }
    tool_.lpszText = const_cast<char*>(text);
    SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool_));
    SendMessageA(tip_, TTM_SETMAXTIPWIDTH, 0, maxWidth);
    SendMessageA(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool_));
    SendMessageA(tip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool_));
    // An empty title still takes a title's room: a bubble without one is not given one.
    if ((title && *title) || icon) SendMessageA(tip_, TTM_SETTITLEA, icon, reinterpret_cast<LPARAM>(title ? title : ""));
    SendMessageA(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
    SetWindowPos(tip_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SendMessageA(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool_));
    return;
  }
  SendMessageA(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
  tool_.lpszText = const_cast<char*>(text);
  SendMessageA(tip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool_));
  SendMessageA(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool_));
}

void CTrackToolTip::Activate(int showCommand) {
  if (!tip_) return;
  if (showCommand == SW_SHOWNORMAL || showCommand == SW_SHOW)
    SendMessageA(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool_));
  else if (showCommand == SW_HIDE)
    SendMessageA(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool_));
}

void CALLBACK CTrackToolTip::HideTimer(HWND hwnd, UINT, UINT_PTR id, DWORD) {
  // The tool is the tooltip's first (and only) tool.
  TOOLINFOA ti = {};
  ti.cbSize = sizeof ti;
  if (SendMessageA(hwnd, TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&ti)))
    SendMessageA(hwnd, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
  KillTimer(hwnd, id);
}

void CTrackToolTip::SetAutoHide(UINT milliseconds) {
  if (!tip_) return;
  KillTimer(tip_, kAutoHideTimer);
  if (milliseconds) SetTimer(tip_, kAutoHideTimer, milliseconds, HideTimer);
}

void CTrackToolTip::SetPosition(int x, int y) {
  if (tip_) SendMessageA(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
}

void CTrackToolTip::Destroy() {
  if (tip_ && IsWindow(tip_)) DestroyWindow(tip_);
  tip_ = nullptr;
}
