#include "tabstrip.h"

#include "fw_string.h"
#include "skinids.h"

namespace controls {
void TabPolygon(int tab, int height, POINT out[4]) {
  static const int kStarts[4] = {0, 54, 108, 162};
  const int w = 66, slant = 7;
  int x = kStarts[(tab >= 0 && tab < 4) ? tab : 0];
  out[0] = POINT{x, height};
  out[1] = POINT{x + slant, 0};
  out[2] = POINT{x + w - slant, 0};
  out[3] = POINT{x + w, height};
}
}  // namespace controls

BEGIN_MESSAGE_MAP(CTabStatic, CStatic)
  ON_WM_LBUTTONDOWN()
  ON_WM_RBUTTONDOWN()
  ON_WM_MOUSEMOVE()
  ON_WM_MOUSEHOVER()
  ON_WM_MOUSELEAVE()
  ON_WM_SETCURSOR()
  ON_WM_ERASEBKGND()
  ON_WM_PAINT()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CTabStatic::CTabStatic() {
  HINSTANCE self = GetModuleHandleA(nullptr);
  for (int i = 0; i < 16; ++i)
    looks_[i] = static_cast<HBITMAP>(
        LoadImageA(self, MAKEINTRESOURCEA(IDB_TAB_LOOK_FIRST + i), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  hand_ = LoadCursorA(self, MAKEINTRESOURCEA(IDCUR_HAND));
  if (!hand_) hand_ = LoadCursor(nullptr, IDC_HAND);
  arrow_ = LoadCursor(nullptr, IDC_ARROW);
  // The roads the main window offers, in the order of its menu commands.
  const UINT captions[4] = {IDS_TABSTRIP_DELETED, IDS_TABSTRIP_UNFORMAT, IDS_TABSTRIP_DEEP, IDS_TABSTRIP_PARTITION};
  for (int i = 0; i < 4; ++i) captions_[i] = LoadText(captions[i]).GetString();
  BuildRegions();
}

CTabStatic::~CTabStatic() {
  FreeRegions();
  for (HBITMAP& b : looks_)
    if (b) DeleteObject(b);
}

void CTabStatic::BuildRegions() {
  BITMAP bm = {};
  int height = 26;
  if (looks_[0] && GetObjectA(looks_[0], sizeof bm, &bm)) height = bm.bmHeight;
  for (int s = 0; s < 4; ++s) {
    int k = 0;
    for (int t = 0; t < 4; ++t) {
      if (t == s) continue;
      POINT pts[4];
      controls::TabPolygon(t, height, pts);
      records_[s].regions[k] = CreatePolygonRgn(pts, 4, WINDING);
      records_[s].tabs[k] = t;
      ++k;
    }
  }
}

void CTabStatic::FreeRegions() {
  for (TabRecord& r : records_)
    for (HRGN& h : r.regions) {
      if (h) DeleteObject(h);
      h = nullptr;
    }
}

void CTabStatic::PreSubclassWindow() {
  // Mouse messages need SS_NOTIFY on a static control.
  SetWindowLongPtrA(m_hWnd, GWL_STYLE, GetWindowLongPtrA(m_hWnd, GWL_STYLE) | SS_NOTIFY);
}

void CTabStatic::SetCaption(int tab, const char* text) {
  if (tab < 0 || tab > 3) return;
  captions_[tab] = text ? text : "";
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

BOOL CTabStatic::SetCurSel(UINT tab) {
  if (tab > 3) return FALSE;
  current_ = tab;
  shown_ = controls::TabLookIndex(static_cast<int>(tab), static_cast<int>(tab));
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
  return TRUE;
}

int CTabStatic::HitTest(POINT p) const {
  const TabRecord& r = records_[current_];
  for (int k = 0; k < 3; ++k)
    if (r.regions[k] && PtInRegion(r.regions[k], p.x, p.y)) return r.tabs[k];
  return -1;
}

void CTabStatic::OnLButtonDown(UINT, CPoint point) {
  int tab = HitTest(point);
  if (tab >= 0 && owner_ && message_) ::SendMessageA(owner_, message_, 0, tab);
}

void CTabStatic::OnRButtonDown(UINT, CPoint) {}

void CTabStatic::OnMouseMove(UINT, CPoint point) {
  int tab = HitTest(point);
  int look = tab >= 0 ? controls::TabLookIndex(current_, tab) : controls::TabLookIndex(current_, current_);
  if (look != shown_) {
    shown_ = look;
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
  }
  if (!leaveRequested_) {
    TRACKMOUSEEVENT tme = {sizeof tme, TME_HOVER | TME_LEAVE, m_hWnd, 1};
    leaveRequested_ = TrackMouseEvent(&tme);
  }
}

void CTabStatic::OnMouseHover(UINT, CPoint) { hover_ = TRUE; }

void CTabStatic::OnMouseLeave() {
  leaveRequested_ = hover_ = FALSE;
  shown_ = controls::TabLookIndex(current_, current_);
  ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

BOOL CTabStatic::OnSetCursor(CWnd*, UINT, UINT) {
  POINT p;
  GetCursorPos(&p);
  ::ScreenToClient(m_hWnd, &p);
  ::SetCursor(HitTest(p) >= 0 ? hand_ : arrow_);
  return TRUE;
}

BOOL CTabStatic::OnEraseBkgnd(CDC*) { return TRUE; }

void CTabStatic::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(m_hWnd, &ps);
  HBITMAP look = (shown_ >= 0 && shown_ < 16) ? looks_[shown_] : nullptr;
  if (look) {
    BITMAP bm = {};
    GetObjectA(look, sizeof bm, &bm);
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, look);
    // Whatever the strip has beyond its picture takes the picture's own
    // background (its top-right corner).
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    HBRUSH rest = CreateSolidBrush(GetPixel(mem, bm.bmWidth - 1, 0));
    RECT right = {bm.bmWidth, 0, client.right, client.bottom};
    RECT below = {0, bm.bmHeight, bm.bmWidth, client.bottom};
    FillRect(dc, &right, rest);
    FillRect(dc, &below, rest);
    DeleteObject(rest);
    BitBlt(dc, 0, 0, bm.bmWidth, bm.bmHeight, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    // Captions over the picture, in the strip's font.
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(m_hWnd, WM_GETFONT, 0, 0)));
    for (int t = 0; t < 4; ++t) {
      POINT pts[4];
      controls::TabPolygon(t, bm.bmHeight, pts);
      RECT r = {pts[1].x, 3, pts[2].x, bm.bmHeight - 1};
      SetTextColor(dc, t == static_cast<int>(current_) ? RGB(28, 92, 160) : RGB(70, 82, 98));
      DrawTextA(dc, captions_[t].c_str(), -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
    }
    SelectObject(dc, oldFont);
  }
  ::EndPaint(m_hWnd, &ps);
}

void CTabStatic::OnDestroy() {
  FreeRegions();
  Default();
}
