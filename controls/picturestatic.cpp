#include "picturestatic.h"

BEGIN_MESSAGE_MAP(CPictureStatic, CStatic)
  ON_WM_CREATE()
  ON_WM_ERASEBKGND()
  ON_WM_PAINT()
END_MESSAGE_MAP()

BOOL CPictureStatic::SetImage(UINT resourceId) {
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, TRUE);
  return picture_.LoadFromResource(resourceId);
}

void CPictureStatic::LoadOwnId() {
  int id = ::GetDlgCtrlID(m_hWnd);
  if (loadById_ && id > 0 && !picture_.HasOlePicture()) SetImage(static_cast<UINT>(id));
}

void CPictureStatic::PreSubclassWindow() { LoadOwnId(); }

int CPictureStatic::OnCreate(LPCREATESTRUCT) {
  int r = static_cast<int>(Default());
  LoadOwnId();
  return r;
}

BOOL CPictureStatic::OnEraseBkgnd(CDC* dc) {
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  RECT clip;
  // Fill whenever there is something to paint; an empty clip box means
  // there is nothing to do.
  if (::GetClipBox(dc->m_hDC, &clip) != NULLREGION) {
    HBRUSH brush = reinterpret_cast<HBRUSH>(GetClassLongPtrA(m_hWnd, GCLP_HBRBACKGROUND));
    ::FillRect(dc->m_hDC, &client, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
  }
  if (PictaranBound()) picture_.Draw(dc->m_hDC, 0, 0, client.right, client.bottom);
  return TRUE;
}

void CPictureStatic::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(m_hWnd, &ps);
  if (picture_.HasOlePicture()) {
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    int saved = SaveDC(dc);
    IntersectClipRect(dc, 0, 0, client.right, client.bottom);
    picture_.Render(dc, 0, 0, 0, 0);
    RestoreDC(dc, saved);
  }
  ::EndPaint(m_hWnd, &ps);
}
