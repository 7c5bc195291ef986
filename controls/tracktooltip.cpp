#include "tracktooltip.h"
#include "dibinfo.h"

#include <cstring>
#include <vector>

namespace {
const UINT_PTR kAutoHideTimer = 2747;
const char kSelfProp[] = "CTrackToolTip";
const int kLongestText = 4096;   // wide characters measured; a hint is one line
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
    // Every size the tooltip gives itself passes through TipProc, whichever
    // message made it recalculate.
    SetPropA(tip_, kSelfProp, this);
    tipProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(tip_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CTrackToolTip::TipProc)));
    text_ = text ? text : "";
    maxWidth_ = maxWidth;
    if (!tool_.cbSize) {
      RECT none = {0, 0, 0, 0};
      SetToolInfo(TTF_TRACK | TTF_ABSOLUTE, owner, 1, none, nullptr, text_.c_str(), 0);
    }
    tool_.lpszText = const_cast<char*>(text_.c_str());
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
  text_ = text ? text : "";
  SendMessageA(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
  tool_.lpszText = const_cast<char*>(text_.c_str());
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

int CTrackToolTip::DrawingShortfall() const {
  if (!tip_ || text_.empty()) return 0;
  const int chars = MultiByteToWideChar(CP_ACP, 0, text_.data(), static_cast<int>(text_.size()), nullptr, 0);
  if (chars <= 0 || chars > kLongestText) return 0;
  std::vector<wchar_t> wide(chars);
  MultiByteToWideChar(CP_ACP, 0, text_.data(), static_cast<int>(text_.size()), wide.data(), chars);
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return 0;
  HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(tip_, WM_GETFONT, 0, 0)));
  SIZE measured = {};
  int width = 0;
  if (GetTextExtentPoint32W(dc, wide.data(), chars, &measured) && measured.cx > 0 && measured.cy > 0 &&
      (maxWidth_ < 0 || measured.cx <= maxWidth_)) {
    // Drawn on white with room either side: glyphs may draw wider than the
    // extent says (a face whose bitmaps and outlines disagree, as Wine's
    // stand-ins for the Chinese faces do for the curly quotes), and that
    // wider text is what the bubble clips.
    const int pad = measured.cy;
    const int w = 3 * measured.cx + 2 * pad;
    const int h = measured.cy + 2;
    BITMAPINFO bi = TopDownRgb32(w, h);
    void* bits = nullptr;
    HBITMAP bmp = w <= 16 * kLongestText ? CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bmp && bits) {
      HGDIOBJ oldBmp = SelectObject(dc, bmp);
      auto* px = static_cast<DWORD*>(bits);
      const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
      for (size_t i = 0; i < count; ++i) px[i] = 0x00FFFFFF;
      SetTextColor(dc, RGB(0, 0, 0));
      SetBkMode(dc, TRANSPARENT);
      RECT r = {pad, 0, w, h};
      UINT flags = DT_SINGLELINE | DT_NOCLIP | DT_EXTERNALLEADING;
      if (GetWindowLongA(tip_, GWL_STYLE) & TTS_NOPREFIX) flags |= DT_NOPREFIX;
      GdiFlush();
      DrawTextW(dc, wide.data(), chars, &r, flags);
      GdiFlush();
      int right = -1;
      for (int x = w - 1; x >= 0 && right < 0; --x)
        for (int y = 0; y < h; ++y)
          if ((px[static_cast<size_t>(y) * w + x] & 0x00FFFFFF) != 0x00FFFFFF) {
            right = x;
            break;
          }
      width = right >= pad ? right + 1 - pad : 0;
      SelectObject(dc, oldBmp);
    }
    if (bmp) DeleteObject(bmp);
    width = width > measured.cx ? width - measured.cx : 0;
  }
  SelectObject(dc, oldFont);
  DeleteDC(dc);
  return width;
}

LRESULT CALLBACK CTrackToolTip::TipProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = static_cast<CTrackToolTip*>(GetPropA(hwnd, kSelfProp));
  if (!self || !self->tipProc_) return DefWindowProcA(hwnd, msg, wp, lp);
  const WNDPROC base = self->tipProc_;
  // Hiding may size the bubble to nothing: that is no measure of the text.
  if (msg == WM_WINDOWPOSCHANGING && lp && !(reinterpret_cast<WINDOWPOS*>(lp)->flags & (SWP_NOSIZE | SWP_HIDEWINDOW)) &&
      reinterpret_cast<WINDOWPOS*>(lp)->cx > 0) {
    auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
    // Sized by the tooltip itself (inside one of its own messages), the
    // width is its measure of the text with its margins and frame: what
    // drawing takes beyond that measure is added. Other sizings keep it.
    if (self->inTipMessage_ > 0) self->width_ = pos->cx + self->DrawingShortfall();
    const int want = self->width_;
    if (pos->cx < want) {
      pos->cx = want;
      // Widened to the right, but kept on its monitor.
      RECT now;
      GetWindowRect(hwnd, &now);
      int x = pos->flags & SWP_NOMOVE ? now.left : pos->x;
      const int y = pos->flags & SWP_NOMOVE ? now.top : pos->y;
      RECT wanted = {x, y, x + want, y + (pos->cy > 0 ? pos->cy : 1)};
      MONITORINFO mi = {};
      mi.cbSize = sizeof mi;
      if (GetMonitorInfoA(MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &mi) && wanted.right > mi.rcWork.right) {
        x = mi.rcWork.right - want;
        if (x < mi.rcWork.left) x = mi.rcWork.left;
        pos->x = x;
        pos->y = y;
        pos->flags &= ~SWP_NOMOVE;
      }
    }
  } else if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(base));
    RemovePropA(hwnd, kSelfProp);
    self->tipProc_ = nullptr;
    if (self->tip_ == hwnd) self->tip_ = nullptr;
  }
  if (msg < WM_USER) return CallWindowProcA(base, hwnd, msg, wp, lp);
  ++self->inTipMessage_;
  const LRESULT result = CallWindowProcA(base, hwnd, msg, wp, lp);
  --self->inTipMessage_;
  return result;
}

void CTrackToolTip::Destroy() {
  if (tip_ && IsWindow(tip_)) DestroyWindow(tip_);
  tip_ = nullptr;
}
