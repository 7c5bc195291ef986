#include "skinbutton.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "skinregion.h"

// ---- shared drawing ---------------------------------------------------------

namespace skin {

HBITMAP LoadBitmapId(UINT id) {
  if (!id) return nullptr;
  return static_cast<HBITMAP>(
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

namespace {
SIZE BitmapSize(HBITMAP b) {
  BITMAP bm = {};
  if (b) GetObjectA(b, sizeof bm, &bm);
  return SIZE{bm.bmWidth, bm.bmHeight};
}
}  // namespace

void DrawBitmap(HDC dc, HBITMAP bmp, const RECT& rect, int mode, HBITMAP mask) {
  if (!dc || !bmp) return;
  SIZE s = BitmapSize(bmp);
  int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0 || s.cx <= 0 || s.cy <= 0) return;
  HDC src = CreateCompatibleDC(dc);
  HGDIOBJ oldSrc = SelectObject(src, bmp);
  if (mode == kTile) {
    for (int y = rect.top; y < rect.bottom; y += s.cy)
      for (int x = rect.left; x < rect.right; x += s.cx)
        BitBlt(dc, x, y, std::min<int>(s.cx, rect.right - x), std::min<int>(s.cy, rect.bottom - y), src, 0, 0,
               SRCCOPY);
  } else {
    int dw = mode == kStretch ? w : s.cx, dh = mode == kStretch ? h : s.cy;
    auto blit = [&](HDC to, int x, int y, HDC from, DWORD rop) {
      if (mode == kStretch) StretchBlt(to, x, y, dw, dh, from, 0, 0, s.cx, s.cy, rop);
      else BitBlt(to, x, y, dw, dh, from, 0, 0, rop);
    };
    if (!mask) {
      SetStretchBltMode(dc, COLORONCOLOR);
      blit(dc, rect.left, rect.top, src, SRCCOPY);
    } else {
      // Off screen: background, XOR picture, AND mask, XOR picture again
      // leaves the picture inside the mask and the background outside.
      HDC off = CreateCompatibleDC(dc);
      HBITMAP offBmp = CreateCompatibleBitmap(dc, dw, dh);
      HGDIOBJ oldOff = SelectObject(off, offBmp);
      SetStretchBltMode(off, COLORONCOLOR);
      BitBlt(off, 0, 0, dw, dh, dc, rect.left, rect.top, SRCCOPY);
      blit(off, 0, 0, src, SRCINVERT);
      HDC m = CreateCompatibleDC(dc);
      HGDIOBJ oldM = SelectObject(m, mask);
      SIZE ms = BitmapSize(mask);
      if (mode == kStretch) StretchBlt(off, 0, 0, dw, dh, m, 0, 0, ms.cx, ms.cy, SRCAND);
      else BitBlt(off, 0, 0, dw, dh, m, 0, 0, SRCAND);
      SelectObject(m, oldM);
      DeleteDC(m);
      blit(off, 0, 0, src, SRCINVERT);
      BitBlt(dc, rect.left, rect.top, dw, dh, off, 0, 0, SRCCOPY);
      SelectObject(off, oldOff);
      DeleteObject(offBmp);
      DeleteDC(off);
    }
  }
  SelectObject(src, oldSrc);
  DeleteDC(src);
}

void DrawEmbossed(HDC dc, const char* text, RECT rect, UINT format) {
  SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
  DrawTextA(dc, text, -1, &rect, format);
  OffsetRect(&rect, -1, -1);
  SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  DrawTextA(dc, text, -1, &rect, format);
}

}  // namespace skin

namespace {

std::string WindowText(HWND h) {
  int n = GetWindowTextLengthA(h);
  std::string s(static_cast<size_t>(n) + 1, '\0');
  GetWindowTextA(h, &s[0], n + 1);
  s.resize(static_cast<size_t>(n));
  return s;
}

void FreeBitmap(HBITMAP* b) {
  if (*b) DeleteObject(*b);
  *b = nullptr;
}

HWND MakeToolTip(HWND owner, const char* text, int maxWidth, bool multiline) {
  HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, GetModuleHandleA(nullptr),
                             nullptr);
  if (!tip) return nullptr;
  TOOLINFOA ti = {};
  ti.cbSize = sizeof ti;
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = owner;
  ti.uId = reinterpret_cast<UINT_PTR>(owner);
  ti.lpszText = const_cast<char*>(text);
  SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  if (multiline) {
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, maxWidth);
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_INITIAL, 20);
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_RESHOW, 20);
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
  } else {
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_AUTOMATIC, 500);
  }
  SendMessageA(tip, TTM_ACTIVATE, TRUE, 0);
  return tip;
}

void SetTipText(HWND tip, HWND owner, const char* text) {
  TOOLINFOA ti = {};
  ti.cbSize = sizeof ti;
  ti.hwnd = owner;
  ti.uId = reinterpret_cast<UINT_PTR>(owner);
  ti.lpszText = const_cast<char*>(text);
  SendMessageA(tip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
}

void RelayTo(HWND tip, HWND from, UINT msg, WPARAM wp, LPARAM lp) {
  if (!tip) return;
  MSG m = {from, msg, wp, lp, static_cast<DWORD>(GetMessageTime()), {}};
  SendMessageA(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
}

// Loads the looks and cuts the window region from the mask; shared by both
// button classes. Returns the region (owned by the caller) or null.
HRGN ApplyMask(HWND hwnd, HBITMAP mask, bool resizeToMask) {
  if (!mask) {
    SetWindowRgn(hwnd, nullptr, TRUE);
    return nullptr;
  }
  HRGN region = RegionFromMaskBitmap(mask);
  if (!region) return nullptr;
  HRGN windowCopy = CreateRectRgn(0, 0, 0, 0);
  CombineRgn(windowCopy, region, nullptr, RGN_COPY);
  SetWindowRgn(hwnd, windowCopy, TRUE);  // the window owns this copy
  if (resizeToMask) {
    BITMAP bm = {};
    GetObjectA(mask, sizeof bm, &bm);
    SetWindowPos(hwnd, nullptr, 0, 0, bm.bmWidth, bm.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
  }
  return region;
}

bool IsCursorOver(HWND hwnd) {
  POINT p;
  GetCursorPos(&p);
  RECT r;
  GetWindowRect(hwnd, &r);
  return PtInRect(&r, p) && WindowFromPoint(p) == hwnd;
}

// The tooltip is made by the first text given; later texts replace it.
void SetTip(HWND* tip, HWND owner, const char* text, int maxWidth, bool multiline) {
  if (!*tip) *tip = MakeToolTip(owner, text, maxWidth, multiline);
  else SetTipText(*tip, owner, text);
}

void DestroyTip(HWND tip) {
  if (tip && ::IsWindow(tip)) ::DestroyWindow(tip);
}

// The first move over the button asks for the leave message and redraws it
// in its hover look; leaving redraws it plain.
void BeginHover(HWND hwnd, BYTE* hover) {
  if (*hover) return;
  TRACKMOUSEEVENT tme = {sizeof tme, TME_LEAVE, hwnd, 0};
  if (TrackMouseEvent(&tme)) {
    *hover = 1;
    ::InvalidateRect(hwnd, nullptr, FALSE);
  }
}

void EndHover(HWND hwnd, BYTE* hover) {
  *hover = 0;
  ::InvalidateRect(hwnd, nullptr, FALSE);
}

short ClampDrawMode(short mode) { return static_cast<short>(std::max<short>(0, std::min<short>(2, mode))); }
short ClampMargin(short margin) { return static_cast<short>(std::max<short>(0, margin)); }

// Frees the old region and cuts the window to the mask (when there is a
// window yet); returns the new region.
HRGN ReplaceRegion(HWND hwnd, HRGN old, HBITMAP mask, short drawMode) {
  if (old) DeleteObject(old);
  return hwnd ? ApplyMask(hwnd, mask, drawMode == skin::kCopy) : nullptr;
}

HCURSOR LoadCursorId(int id) {
  return static_cast<HCURSOR>(
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_CURSOR, 0, 0, LR_DEFAULTCOLOR));
}

// A look bitmap over the whole item, or the button face when there is none.
void DrawLook(HDC dc, HBITMAP look, const RECT& item, int drawMode, HBITMAP mask) {
  if (look) skin::DrawBitmap(dc, look, item, drawMode, mask);
  else FillRect(dc, &item, GetSysColorBrush(COLOR_BTNFACE));
}

void DrawFocusInside(HDC dc, const RECT& item, int margin) {
  RECT f = item;
  InflateRect(&f, -margin, -margin);
  DrawFocusRect(dc, &f);
}

}  // namespace

// ---- CxSkinButton -----------------------------------------------------------

BEGIN_MESSAGE_MAP(CxSkinButton, CButton)
  ON_WM_LBUTTONDOWN()
  ON_WM_LBUTTONDBLCLK()
  ON_WM_LBUTTONUP()
  ON_WM_MOUSEMOVE()
  ON_WM_MOUSELEAVE()
  ON_WM_KILLFOCUS()
  ON_WM_ERASEBKGND()
  ON_WM_KEYDOWN()
  ON_MESSAGE(BM_SETCHECK, &CxSkinButton::OnSetCheck)
  ON_MESSAGE(BM_GETCHECK, &CxSkinButton::OnGetCheck)
  ON_MESSAGE(WM_SKIN_RADIO_CLEAR, &CxSkinButton::OnRadioClear)
END_MESSAGE_MAP()

CxSkinButton::~CxSkinButton() {
  FreeBitmaps();
  if (region_) DeleteObject(region_);
  DestroyTip(tip_);
}

void CxSkinButton::FreeBitmaps() {
  for (HBITMAP* b : {&normal_, &pressedBmp_, &disabled_, &mask_, &hoverBmp_, &focused_}) FreeBitmap(b);
}

void CxSkinButton::PreSubclassWindow() {
  DWORD style = static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE));
  if ((style & 3) == 3) kind_ = 2;
  else if ((style & 9) == 9) kind_ = 4;
  else kind_ = 0;
  checked_ = 0;
  SetWindowLongPtrA(m_hWnd, GWL_STYLE, style | BS_OWNERDRAW);
}

void CxSkinButton::SetSkin(UINT normal, UINT pressed, UINT hover, UINT disabled, UINT focused, UINT mask,
                           short drawMode, short border, short margin) {
  FreeBitmaps();
  normal_ = skin::LoadBitmapId(normal);
  pressedBmp_ = skin::LoadBitmapId(pressed);
  hoverBmp_ = skin::LoadBitmapId(hover);
  disabled_ = skin::LoadBitmapId(disabled ? disabled : normal);
  focused_ = skin::LoadBitmapId(focused);
  mask_ = skin::LoadBitmapId(mask);
  drawMode_ = ClampDrawMode(drawMode);
  border_ = border;
  margin_ = ClampMargin(margin);
  region_ = ReplaceRegion(m_hWnd, region_, mask_, drawMode_);
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

COLORREF CxSkinButton::SetTextColor(COLORREF colour) { return std::exchange(textColour_, colour); }

void CxSkinButton::SetToolTipText(const char* text) { SetTip(&tip_, m_hWnd, text, 0, false); }

void CxSkinButton::SetMultilineToolTipText(const char* text, int maxWidth) {
  SetTip(&tip_, m_hWnd, text, maxWidth, true);
}

void CxSkinButton::Relay(UINT msg, WPARAM wp, LPARAM lp) { RelayTo(tip_, m_hWnd, msg, wp, lp); }

LRESULT CxSkinButton::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_MOUSEMOVE || msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP) Relay(msg, wp, lp);
  return CButton::WindowProc(msg, wp, lp);
}

bool CxSkinButton::CursorOver() const { return IsCursorOver(m_hWnd); }

RECT CxSkinButton::PaintLook(HDC dc, const RECT& item, UINT state, bool pressedLook) {
  RECT caption = item;
  caption.left += margin_ + 2;
  caption.right -= margin_ + 2;
  RECT edge = item;
  auto drawOrFill = [&](HBITMAP b) { DrawLook(dc, b, item, drawMode_, mask_); };
  if (state & ODS_DISABLED) {
    drawOrFill(disabled_);
    if (border_) DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);
  } else if (pressedLook) {
    drawOrFill(pressedBmp_);
    OffsetRect(&caption, 1, 1);
    if (border_) DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
  } else {
    HBITMAP look = normal_;
    if (hover_ && hoverBmp_) look = hoverBmp_;
    else if ((state & ODS_FOCUS) && focused_) look = focused_;
    drawOrFill(look);
    if (border_) DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);
  }
  if ((state & ODS_FOCUS) && margin_ > 0) DrawFocusInside(dc, item, margin_);
  return caption;
}

void CxSkinButton::DrawItem(LPDRAWITEMSTRUCT dis) {
  HDC dc = dis->hDC;
  int saved = SaveDC(dc);
  if (region_) SelectClipRgn(dc, region_);
  SetBkMode(dc, TRANSPARENT);
  bool pressedLook = (dis->itemState & ODS_SELECTED) || checked_;
  RECT caption = PaintLook(dc, dis->rcItem, dis->itemState, pressedLook);
  std::string text = WindowText(m_hWnd);
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
  if (dis->itemState & ODS_DISABLED) {
    skin::DrawEmbossed(dc, text.c_str(), caption, format);
  } else {
    ::SetTextColor(dc, textColour_);
    DrawTextA(dc, text.c_str(), -1, &caption, format);
  }
  RestoreDC(dc, saved);
}

void CxSkinButton::OnLButtonDown(UINT, CPoint) {
  Default();
  pressed_ = 1;
}

void CxSkinButton::OnLButtonDblClk(UINT flags, CPoint point) {
  // A double click counts as two clicks.
  SendMessage(WM_LBUTTONDOWN, flags, MAKELPARAM(point.x, point.y));
}

void CxSkinButton::OnLButtonUp(UINT, CPoint) {
  if ((kind_ == 2 || kind_ == 4) && pressed_ && CursorOver())
    SendMessage(BM_SETCHECK, kind_ == 2 ? !checked_ : TRUE, 0);
  pressed_ = 0;
  Default();
}

void CxSkinButton::OnMouseMove(UINT, CPoint) {
  BeginHover(m_hWnd, &hover_);
  Default();
}

void CxSkinButton::OnMouseLeave() {
  EndHover(m_hWnd, &hover_);
  Default();
}

void CxSkinButton::OnKillFocus(CWnd*) {
  if (GetCapture() == this) ReleaseCapture();
  pressed_ = 0;
  Default();
}

BOOL CxSkinButton::OnEraseBkgnd(CDC*) { return TRUE; }

void CxSkinButton::OnKeyDown(UINT key, UINT, UINT) {
  if (key == VK_SPACE && (kind_ == 2 || kind_ == 4)) SendMessage(BM_SETCHECK, kind_ == 2 ? !checked_ : TRUE, 0);
  Default();
}

LRESULT CxSkinButton::OnSetCheck(WPARAM wp, LPARAM) {
  BYTE now = (kind_ == 0) ? 0 : (wp != 0);
  checked_ = now;
  if (kind_ == 4 && now) {
    // Clear the rest of the dialog group.
    HWND parent = ::GetParent(m_hWnd);
    for (HWND h = ::GetNextDlgGroupItem(parent, m_hWnd, FALSE); h && h != m_hWnd;
         h = ::GetNextDlgGroupItem(parent, h, FALSE))
      ::PostMessageA(h, WM_SKIN_RADIO_CLEAR, 0, 0);
  }
  ::InvalidateRect(m_hWnd, nullptr, FALSE);
  return 0;
}

LRESULT CxSkinButton::OnGetCheck(WPARAM, LPARAM) { return checked_; }

LRESULT CxSkinButton::OnRadioClear(WPARAM, LPARAM) {
  if (checked_) {
    checked_ = 0;
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
  }
  return 0;
}

// ---- CATSkinButton ----------------------------------------------------------

BEGIN_MESSAGE_MAP(CATSkinButton, CxSkinButton)
  ON_WM_SETCURSOR()
END_MESSAGE_MAP()

CATSkinButton::CATSkinButton() {
  GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof captionFont_, &captionFont_);
  captionFont_.lfCharSet = DEFAULT_CHARSET;
  subFont_ = captionFont_;
}

CATSkinButton::~CATSkinButton() {
  if (cursor_) DestroyCursor(cursor_);
}

void CATSkinButton::SetFontBold(BOOL bold) { captionFont_.lfWeight = bold ? FW_BOLD : FW_NORMAL; }
void CATSkinButton::SetFontUnderline(BOOL underline) { captionFont_.lfUnderline = underline ? 1 : 0; }
void CATSkinButton::SetFontItalic(BOOL italic) { captionFont_.lfItalic = italic ? 1 : 0; }

void CATSkinButton::SetFontSize(int points) {
  if (points < 1) {
    captionFont_.lfHeight = points;
    return;
  }
  HDC desk = ::GetDC(nullptr);
  captionFont_.lfHeight = -MulDiv(points, GetDeviceCaps(desk, LOGPIXELSY), 72);
  ::ReleaseDC(nullptr, desk);
}

void CATSkinButton::SetFontName(const char* face) {
  lstrcpynA(captionFont_.lfFaceName, face ? face : "", LF_FACESIZE);
}

BOOL CATSkinButton::SetCursor(int cursorId) {
  if (cursorId != -1) {
    if (cursor_) DestroyCursor(cursor_);
    cursor_ = LoadCursorId(cursorId);
  }
  return cursor_ != nullptr;
}

BOOL CATSkinButton::SetSubTextLayout(int mode, int iconColumnWidth, int subTextHeight) {
  if (mode < 0 || mode > 2) return FALSE;
  subLayout_ = mode;
  iconColumn_ = iconColumnWidth;
  subHeight_ = subTextHeight;
  return TRUE;
}

void CATSkinButton::SetSubText(const char* text) { subText_ = text ? text : ""; }

void CATSkinButton::SetSubText(UINT stringId) {
  char buf[512] = {};
  LoadStringA(GetModuleHandleA(nullptr), stringId, buf, sizeof buf);
  subText_ = buf;
}

BOOL CATSkinButton::OnSetCursor(CWnd*, UINT, UINT) {
  if (!cursor_) return static_cast<BOOL>(Default());
  ::SetCursor(cursor_);
  return TRUE;
}

void CATSkinButton::DrawItem(LPDRAWITEMSTRUCT dis) {
  HDC dc = dis->hDC;
  int saved = SaveDC(dc);
  if (region_) SelectClipRgn(dc, region_);
  SetBkMode(dc, TRANSPARENT);
  DrawBackground(dc, dis->rcItem, dis->itemState);
  DrawCaption(dc, dis->rcItem, dis->itemState);
  DrawIcon(dc, dis->rcItem, dis->itemState);
  DrawSubText(dc, dis->rcItem, dis->itemState);
  RestoreDC(dc, saved);
}

void CATSkinButton::DrawBackground(HDC dc, const RECT& item, UINT state) {
  PaintLook(dc, item, state, (state & ODS_SELECTED) || checked_);
}

void CATSkinButton::DrawCaption(HDC dc, const RECT& item, UINT state) {
  RECT r = {item.left + iconColumn_ + margin_ + 2, item.top, item.right - margin_ - 2, item.bottom - subHeight_};
  if ((state & ODS_SELECTED) || checked_) OffsetRect(&r, 1, 1);
  HFONT font = CreateFontIndirectA(&captionFont_);
  HGDIOBJ old = SelectObject(dc, font);
  std::string text = WindowText(m_hWnd);
  UINT format = captionFormat_ | DT_SINGLELINE | DT_VCENTER;
  if (state & ODS_DISABLED) {
    skin::DrawEmbossed(dc, text.c_str(), r, format);
  } else {
    ::SetTextColor(dc, textColour_);
    DrawTextA(dc, text.c_str(), -1, &r, format);
  }
  SelectObject(dc, old);
  DeleteObject(font);
}

void CATSkinButton::DrawIcon(HDC dc, const RECT& item, UINT) {
  if (icon_) DrawIconEx(dc, item.left + 6, item.top + 5, icon_, 16, 16, 0, nullptr, DI_NORMAL);
}

void CATSkinButton::DrawSubText(HDC dc, const RECT& item, UINT state) {
  if (subLayout_ == 0 || subText_.empty()) return;
  int left = item.left + margin_ + 4 + (subLayout_ == 2 ? iconColumn_ : 0);
  RECT r = {left, item.bottom - subHeight_, item.right - margin_ - 4, item.bottom};
  HFONT font = CreateFontIndirectA(&subFont_);
  HGDIOBJ old = SelectObject(dc, font);
  UINT format = DT_WORDBREAK | DT_VCENTER;
  if (state & ODS_DISABLED) {
    skin::DrawEmbossed(dc, subText_.c_str(), r, format);
  } else {
    ::SetTextColor(dc, subColour_);
    DrawTextA(dc, subText_.c_str(), -1, &r, format);
  }
  SelectObject(dc, old);
  DeleteObject(font);
}

// ---- CxSkinButton2 ----------------------------------------------------------

BEGIN_MESSAGE_MAP(CxSkinButton2, CButton)
  ON_WM_LBUTTONDOWN()
  ON_WM_LBUTTONDBLCLK()
  ON_WM_LBUTTONUP()
  ON_WM_MOUSEMOVE()
  ON_WM_MOUSELEAVE()
  ON_WM_KILLFOCUS()
  ON_WM_ERASEBKGND()
  ON_WM_SETCURSOR()
END_MESSAGE_MAP()

CxSkinButton2::~CxSkinButton2() {
  FreeBitmaps();
  if (region_) DeleteObject(region_);
  if (cursor_) DestroyCursor(cursor_);
  DestroyTip(tip_);
}

void CxSkinButton2::FreeBitmaps() {
  for (HBITMAP* b : {&normal_, &pressedBmp_, &disabled_, &mask_, &hoverBmp_}) FreeBitmap(b);
}

void CxSkinButton2::PreSubclassWindow() {
  DWORD style = static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE));
  SetWindowLongPtrA(m_hWnd, GWL_STYLE, style | BS_OWNERDRAW);
}

void CxSkinButton2::SetSkin(UINT normal, UINT pressed, UINT hover, UINT disabled, UINT mask, short drawMode,
                            short border, short margin, BOOL fit, int hoverShift, int pressedShift) {
  FreeBitmaps();
  normal_ = skin::LoadBitmapId(normal);
  pressedBmp_ = skin::LoadBitmapId(pressed);
  hoverBmp_ = skin::LoadBitmapId(hover);
  disabled_ = skin::LoadBitmapId(disabled ? disabled : normal);
  mask_ = skin::LoadBitmapId(mask);
  drawMode_ = ClampDrawMode(drawMode);
  border_ = border;
  margin_ = ClampMargin(margin);
  hoverShift_ = hoverShift;
  pressedShift_ = pressedShift;
  region_ = ReplaceRegion(m_hWnd, region_, mask_, drawMode_);
  if (fit && normal_ && m_hWnd) {
    BITMAP bm = {};
    GetObjectA(normal_, sizeof bm, &bm);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, bm.bmWidth, bm.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
  }
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

BOOL CxSkinButton2::SetCursor(int cursorId) {
  if (cursor_) DestroyCursor(cursor_);
  cursor_ = nullptr;
  if (cursorId == -1) return TRUE;
  cursor_ = LoadCursorId(cursorId);
  return cursor_ != nullptr;
}

COLORREF CxSkinButton2::SetTextColor(COLORREF colour) { return std::exchange(textColour_, colour); }

void CxSkinButton2::SetToolTipText(const char* text) { SetTip(&tip_, m_hWnd, text, 0, false); }

void CxSkinButton2::SetMultilineToolTipText(const char* text, int maxWidth) {
  SetTip(&tip_, m_hWnd, text, maxWidth, true);
}

LRESULT CxSkinButton2::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_MOUSEMOVE || msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP) RelayTo(tip_, m_hWnd, msg, wp, lp);
  return CButton::WindowProc(msg, wp, lp);
}

void CxSkinButton2::DrawItem(LPDRAWITEMSTRUCT dis) {
  HDC dc = dis->hDC;
  int saved = SaveDC(dc);
  if (region_) SelectClipRgn(dc, region_);
  SetBkMode(dc, TRANSPARENT);
  const RECT& item = dis->rcItem;
  RECT edge = item;
  std::string text = WindowText(m_hWnd);
  auto drawOrFill = [&](HBITMAP b) { DrawLook(dc, b, item, drawMode_, mask_); };
  HFONT font = CreateFontA(fontSize_, 0, 0, 0, weight_, italic_, underline_, 0, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, [] {
                             static char face[LF_FACESIZE] = {};
                             if (!face[0] && !LoadStringA(GetModuleHandleA(nullptr), 52, face, sizeof face))
                               lstrcpynA(face, "宋体", sizeof face);
                             return face;
                           }());
  HGDIOBJ oldFont = SelectObject(dc, font);
  RECT caption = item;
  caption.right -= offsetX_;
  caption.top += offsetY_;
  caption.bottom += offsetY_;
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_RIGHT;
  if (dis->itemState & ODS_DISABLED) {
    drawOrFill(disabled_);
    if (border_) DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);
    skin::DrawEmbossed(dc, text.c_str(), caption, format);
  } else {
    if (dis->itemState & ODS_SELECTED) {
      drawOrFill(pressedBmp_);
      if (border_) DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
      if (pressedBmp_) OffsetRect(&caption, 0, pressedShift_);
    } else if (hover_ && hoverBmp_) {
      drawOrFill(hoverBmp_);
      if (border_) DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);
      OffsetRect(&caption, 0, -hoverShift_);
    } else {
      drawOrFill(normal_);
      if (border_) DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);
    }
    if (shadow_) {
      RECT s = caption;
      OffsetRect(&s, 1, 2);
      ::SetTextColor(dc, shadowColour_);
      DrawTextA(dc, text.c_str(), -1, &s, format);
    }
    ::SetTextColor(dc, textColour_);
    DrawTextA(dc, text.c_str(), -1, &caption, format);
  }
  if ((dis->itemState & ODS_FOCUS) && margin_ > 0) DrawFocusInside(dc, item, margin_);
  SelectObject(dc, oldFont);
  DeleteObject(font);
  RestoreDC(dc, saved);
}

void CxSkinButton2::OnLButtonDown(UINT, CPoint) {
  hover_ = 0;
  Default();
  pressed_ = 1;
}

void CxSkinButton2::OnLButtonDblClk(UINT flags, CPoint point) {
  SendMessage(WM_LBUTTONDOWN, flags, MAKELPARAM(point.x, point.y));
}

void CxSkinButton2::OnLButtonUp(UINT, CPoint) {
  pressed_ = 0;
  Default();
}

void CxSkinButton2::OnMouseMove(UINT, CPoint) {
  BeginHover(m_hWnd, &hover_);
  Default();
}

void CxSkinButton2::OnMouseLeave() {
  EndHover(m_hWnd, &hover_);
  Default();
}

void CxSkinButton2::OnKillFocus(CWnd*) {
  if (GetCapture() == this) ReleaseCapture();
  pressed_ = 0;
  Default();
}

BOOL CxSkinButton2::OnEraseBkgnd(CDC*) { return TRUE; }

BOOL CxSkinButton2::OnSetCursor(CWnd*, UINT, UINT) {
  if (!cursor_) return static_cast<BOOL>(Default());
  ::SetCursor(cursor_);
  return TRUE;
}
