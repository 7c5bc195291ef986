#include "bars.h"

#include <algorithm>

#include "skinids.h"

namespace {

HBITMAP LoadOwnBitmap(UINT id) {
  return static_cast<HBITMAP>(
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

SIZE BitmapSize(HBITMAP b) {
  BITMAP bm = {};
  if (b) GetObjectA(b, sizeof bm, &bm);
  return SIZE{bm.bmWidth, bm.bmHeight};
}

void Blit(HDC dc, HBITMAP b, int x, int y) {
  SIZE s = BitmapSize(b);
  HDC mem = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(mem, b);
  BitBlt(dc, x, y, s.cx, s.cy, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteDC(mem);
}

// The trough shared by every rolling strip, loaded once.
HBITMAP SharedTrough() {
  static HBITMAP trough = LoadOwnBitmap(IDB_PROGRESS_BACKGROUND);
  return trough;
}

}  // namespace

// ---- CMyProgressBar -------------------------------------------------------

BEGIN_MESSAGE_MAP(CMyProgressBar, CStatic)
  ON_WM_PAINT()
  ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CMyProgressBar::CMyProgressBar()
    : background_(CreateSolidBrush(RGB(245, 246, 250))), tile_(LoadOwnBitmap(IDB_PROGRESS_BAR)) {}

CMyProgressBar::~CMyProgressBar() {
  DeleteObject(background_);
  if (tile_) DeleteObject(tile_);
  if (trough_) DeleteObject(trough_);
}

int CMyProgressBar::SetPos(int total, int done) {
  value_ = controls::ScaleProgress(total, done);
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, TRUE);
  return 1;
}

BOOL CMyProgressBar::OnEraseBkgnd(CDC* dc) {
  RECT r;
  ::GetClientRect(m_hWnd, &r);
  ::FillRect(dc->m_hDC, &r, background_);
  return TRUE;
}

void CMyProgressBar::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(m_hWnd, &ps);
  if (!trough_) trough_ = LoadOwnBitmap(backgroundId_ ? backgroundId_ : IDB_PROGRESS_BACKGROUND);
  if (trough_) {
    Blit(dc, trough_, 0, 0);
    int fill = controls::ProgressFillWidth(value_, BitmapSize(trough_).cx);
    if (tile_)
      for (int x : controls::ProgressTileXs(fill, BitmapSize(tile_).cx)) Blit(dc, tile_, x, 0);
  }
  ::EndPaint(m_hWnd, &ps);
}

// ---- CQCBusyProgressCtrl ----------------------------------------------------

BEGIN_MESSAGE_MAP(CQCBusyProgressCtrl, CStatic)
  ON_WM_PAINT()
  ON_WM_ERASEBKGND()
  ON_WM_SIZE()
  ON_WM_SYSCOLORCHANGE()
END_MESSAGE_MAP()

CQCBusyProgressCtrl::CQCBusyProgressCtrl(int blocks, int startBlock) : background_(GetSysColor(COLOR_BTNFACE)) {
  anim_.Update([&](controls::BusyBarState& s) {
    s.blocks = blocks;
    s.position = startBlock;
  });
}

CQCBusyProgressCtrl::~CQCBusyProgressCtrl() {
  anim_.Stop();
  FreeOffscreen();
}

void CQCBusyProgressCtrl::FreeOffscreen() {
  if (offDc_) {
    SelectObject(offDc_, offOld_);
    DeleteDC(offDc_);
  }
  if (offBmp_) DeleteObject(offBmp_);
  offDc_ = nullptr;
  offBmp_ = nullptr;
  offOld_ = nullptr;
}

BOOL CQCBusyProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  if (!CWnd::Create("STATIC", "BusyProgressCtrl", style, rect, parent, id)) return FALSE;
  RecalcLayout();
  return TRUE;
}

void CQCBusyProgressCtrl::PreSubclassWindow() { RecalcLayout(); }

void CQCBusyProgressCtrl::RecalcLayout() {
  if (m_hWnd && IsRectEmpty(&layout_)) ::GetClientRect(m_hWnd, &layout_);
}

void CQCBusyProgressCtrl::DrawBackground(HDC dc, const RECT& r) {
  HBRUSH b = CreateSolidBrush(background_);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

namespace {
void Box(HDC dc, const RECT& r, COLORREF fill, COLORREF outline) {
  HBRUSH b = CreateSolidBrush(fill);
  HPEN p = CreatePen(PS_SOLID, 1, outline);
  HGDIOBJ ob = SelectObject(dc, b), op = SelectObject(dc, p);
  Rectangle(dc, r.left, r.top, r.right, r.bottom);
  SelectObject(dc, ob);
  SelectObject(dc, op);
  DeleteObject(b);
  DeleteObject(p);
}
}  // namespace

void CQCBusyProgressCtrl::DrawBlock(HDC dc, const RECT& r) { Box(dc, r, blockFill_, blockOutline_); }
void CQCBusyProgressCtrl::DrawLitBlock(HDC dc, const RECT& r) { Box(dc, r, litFill_, litOutline_); }

void CQCBusyProgressCtrl::DrawPartialBlock(HDC dc, const RECT& r, int width) {
  RECT in = r;
  InflateRect(&in, -1, -1);
  in.right = std::min<LONG>(in.left + width, r.right - 1);
  if (in.right <= in.left) return;
  HBRUSH b = CreateSolidBrush(litFill_);
  FillRect(dc, &in, b);
  DeleteObject(b);
}

BOOL CQCBusyProgressCtrl::OnEraseBkgnd(CDC*) { return TRUE; }

void CQCBusyProgressCtrl::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(m_hWnd, &ps);
  RecalcLayout();
  int w = layout_.right - layout_.left, h = layout_.bottom - layout_.top;
  if (w > 0 && h > 0) {
    if (!offDc_) {
      offDc_ = CreateCompatibleDC(dc);
      offBmp_ = CreateCompatibleBitmap(dc, w, h);
      offOld_ = SelectObject(offDc_, offBmp_);
    }
    RECT all = {0, 0, w, h};
    DrawBackground(offDc_, all);
    controls::BusyBarState s = anim_.Snapshot();
    for (const controls::BlockRect& b : controls::BusyBlocks(s, w, gap_)) {
      RECT r = {b.left, 0, b.right, h};
      if (b.lit) DrawLitBlock(offDc_, r);
      else DrawBlock(offDc_, r);
      if (b.partialWidth > 0) DrawPartialBlock(offDc_, r, b.partialWidth);
    }
    BitBlt(dc, layout_.left, layout_.top, w, h, offDc_, 0, 0, SRCCOPY);
  }
  ::EndPaint(m_hWnd, &ps);
}

void CQCBusyProgressCtrl::OnSize(UINT, int, int) {
  ::GetClientRect(m_hWnd, &layout_);
  FreeOffscreen();
}

void CQCBusyProgressCtrl::OnSysColorChange() {
  if (systemBackground_) {
    background_ = GetSysColor(COLOR_BTNFACE);
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
  }
}

void CQCBusyProgressCtrl::SetMoveMode(int mode) {
  anim_.Update([&](controls::BusyBarState& s) { controls::BusySetMotion(&s, mode); });
}

void CQCBusyProgressCtrl::SetBlockMode(int mode) {
  anim_.Update([&](controls::BusyBarState& s) {
    if (s.style != controls::kBusyEndless) return;
    s.blockMode = mode;
    controls::BusyReset(&s);
  });
}

void CQCBusyProgressCtrl::Start() {
  if (anim_.Snapshot().style != controls::kBusyEndless) return;
  anim_.Start(m_hWnd, interval_);
}

void CQCBusyProgressCtrl::Stop() { anim_.Stop(); }

void CQCBusyProgressCtrl::Reset() {
  anim_.Update([](controls::BusyBarState& s) { controls::BusyReset(&s); });
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CQCBusyProgressCtrl::StepIt() {
  anim_.Update([](controls::BusyBarState& s) { controls::BusyStep(&s); });
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CQCBusyProgressCtrl::SetRange(int low, int high) {
  anim_.Update([&](controls::BusyBarState& s) {
    s.rangeLow = low;
    s.rangeHigh = high;
  });
}

void CQCBusyProgressCtrl::SetBlocks(int count) {
  anim_.Update([&](controls::BusyBarState& s) { s.blocks = std::max(0, count); });
  SetRectEmpty(&layout_);
  RecalcLayout();
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CQCBusyProgressCtrl::SetGap(int gap) {
  gap_ = std::max(0, gap);
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CQCBusyProgressCtrl::SetPos(int pos) {
  anim_.Update([&](controls::BusyBarState& s) { s.position = pos; });
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CQCBusyProgressCtrl::SetStyle(int style) {
  if (style != controls::kBusyEndless && style != controls::kBusyProgress) return;
  Stop();
  anim_.Update([&](controls::BusyBarState& s) {
    s.style = style;
    if (style == controls::kBusyProgress) s.direction = 1;
  });
}

void CQCBusyProgressCtrl::SetSubSteps(int n) {
  anim_.Update([&](controls::BusyBarState& s) { s.subSteps = std::max(0, n); });
  SetBlockMode(anim_.Snapshot().blockMode);
}

void CQCBusyProgressCtrl::SetColours(COLORREF background, COLORREF blockFill, COLORREF blockOutline,
                                     COLORREF litFill, COLORREF litOutline) {
  background_ = background;
  blockFill_ = blockFill;
  blockOutline_ = blockOutline;
  litFill_ = litFill;
  litOutline_ = litOutline;
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

LRESULT CQCBusyProgressCtrl::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg < WM_USER + 1 || msg > WM_USER + 20) return CStatic::WindowProc(msg, wp, lp);
  int v = static_cast<int>(wp);
  auto repaint = [this] { ::InvalidateRect(m_hWnd, nullptr, FALSE); };
  switch (msg) {
    case BBM_SETBLOCKS: SetBlocks(v); break;
    case BBM_SETPOS: SetPos(v); break;
    case BBM_SETGAP: SetGap(v); break;
    case BBM_SETINTERVAL: SetInterval(v); break;
    case BBM_SETRANGE: SetRange(v, static_cast<int>(lp)); break;
    case BBM_SETSTYLE: SetStyle(v); break;
    case BBM_START: Start(); break;
    case BBM_STOP: Stop(); break;
    case BBM_STEP: StepIt(); break;
    case BBM_SETMOTION: SetMoveMode(v); break;
    case BBM_SETBLOCKMODE: SetBlockMode(v); break;
    case BBM_SETSUBSTEPS: SetSubSteps(v); break;
    case BBM_SETBKCOLOR: background_ = static_cast<COLORREF>(wp); repaint(); break;
    case BBM_SETBLOCKFILL: blockFill_ = static_cast<COLORREF>(wp); repaint(); break;
    case BBM_SETBLOCKOUTLINE: blockOutline_ = static_cast<COLORREF>(wp); repaint(); break;
    case BBM_SETLITFILL: litFill_ = static_cast<COLORREF>(wp); repaint(); break;
    case BBM_SETLITOUTLINE: litOutline_ = static_cast<COLORREF>(wp); repaint(); break;
    case BBM_LAYOUT: SetRectEmpty(&layout_); RecalcLayout(); break;
    case BBM_RESET: Reset(); break;
    case BBM_SETSYSBACKGROUND:
      systemBackground_ = wp != 0;
      if (systemBackground_) background_ = GetSysColor(COLOR_BTNFACE);
      repaint();
      break;
  }
  return 0;
}

// ---- CRollItem ------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CRollItem, CStatic)
  ON_WM_TIMER()
  ON_WM_PAINT()
  ON_WM_ERASEBKGND()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CRollItem::CRollItem() : rolling_(LoadOwnBitmap(IDB_ROLL)), background_(CreateSolidBrush(RGB(245, 246, 250))) {}

CRollItem::~CRollItem() {
  if (rolling_) DeleteObject(rolling_);
  DeleteObject(background_);
}

void CRollItem::PreSubclassWindow() { timer_ = ::SetTimer(m_hWnd, 1, 20, nullptr); }

void CRollItem::OnDestroy() {
  if (timer_) ::KillTimer(m_hWnd, timer_);
  timer_ = 0;
  Default();
}

void CRollItem::OnTimer(UINT_PTR) {
  Default();
  RECT r;
  ::GetClientRect(m_hWnd, &r);
  rollX_ += 3;
  if (rollX_ >= r.right - 20) rollX_ = 5;
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

BOOL CRollItem::OnEraseBkgnd(CDC*) { return TRUE; }

void CRollItem::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(m_hWnd, &ps);
  if (HBITMAP trough = SharedTrough()) {
    // Off screen, so the strip does not flicker at 50 frames a second.
    RECT r;
    ::GetClientRect(m_hWnd, &r);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, std::max(1L, r.right), std::max(1L, r.bottom));
    HGDIOBJ old = SelectObject(mem, bmp);
    FillRect(mem, &r, background_);
    Blit(mem, trough, 0, 0);
    if (rolling_) Blit(mem, rolling_, rollX_, 0);
    BitBlt(dc, 0, 0, r.right, r.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
  }
  ::EndPaint(m_hWnd, &ps);
}

BEGIN_MESSAGE_MAP(CQuillStaticScrollBar, CRollItem)
  ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

BOOL CQuillStaticScrollBar::OnEraseBkgnd(CDC* dc) {
  static HBITMAP tile = LoadOwnBitmap(IDB_PROGRESS_BAR);
  if (!tile) return static_cast<BOOL>(Default());
  RECT r;
  ::GetClientRect(m_hWnd, &r);
  HDC mem = CreateCompatibleDC(dc->m_hDC);
  HGDIOBJ old = SelectObject(mem, tile);
  SIZE s = BitmapSize(tile);
  StretchBlt(dc->m_hDC, 0, 0, r.right, r.bottom, mem, 0, 0, s.cx, s.cy, SRCCOPY);
  SelectObject(mem, old);
  DeleteDC(mem);
  return TRUE;
}
