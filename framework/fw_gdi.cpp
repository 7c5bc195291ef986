#include "fw_gdi.h"

#include "fw_app.h"
#include "fw_wnd.h"

// ---- GDI objects -------------------------------------------------------------

BOOL CGdiObject::Attach(HGDIOBJ h) {
  if (!h) return FALSE;
  DeleteObject();
  m_hObject = h;
  return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
  HGDIOBJ h = m_hObject;
  m_hObject = nullptr;
  return h;
}

BOOL CGdiObject::DeleteObject() {
  if (!m_hObject) return FALSE;
  BOOL ok = ::DeleteObject(m_hObject);
  m_hObject = nullptr;
  return ok;
}

BOOL CBrush::CreatePatternBrush(CBitmap* bitmap) {
  return bitmap ? Attach(::CreatePatternBrush(*bitmap)) : FALSE;
}

BOOL CBitmap::LoadBitmap(UINT id) {
  return Attach(::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id)));
}

BOOL CBitmap::LoadBitmap(const char* name) { return Attach(::LoadBitmapA(AfxGetResourceHandle(), name)); }

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
  HDC screen = dc ? nullptr : ::GetDC(nullptr);
  BOOL ok = Attach(::CreateCompatibleBitmap(dc ? dc->m_hDC : screen, width, height));
  if (screen) ::ReleaseDC(nullptr, screen);
  return ok;
}

CSize CBitmap::GetSize() const {
  BITMAP bm = {};
  if (!m_hObject || !GetBitmap(&bm)) return CSize();
  return CSize(bm.bmWidth, bm.bmHeight);
}

// ---- device contexts -----------------------------------------------------------

CDC::~CDC() {
  if (m_owned) DeleteDC();
}

BOOL CDC::Attach(HDC dc) {
  if (!dc || m_hDC) return FALSE;
  m_hDC = dc;
  m_owned = false;
  return TRUE;
}

HDC CDC::Detach() {
  HDC dc = m_hDC;
  m_hDC = nullptr;
  m_owned = false;
  return dc;
}

BOOL CDC::CreateCompatibleDC(CDC* dc) {
  if (m_hDC) return FALSE;
  m_hDC = ::CreateCompatibleDC(dc ? dc->m_hDC : nullptr);
  m_owned = m_hDC != nullptr;
  return m_owned;
}

BOOL CDC::DeleteDC() {
  if (!m_hDC || !m_owned) return FALSE;
  BOOL ok = ::DeleteDC(m_hDC);
  m_hDC = nullptr;
  m_owned = false;
  return ok;
}

BOOL CDC::DrawBitmap(HBITMAP bitmap, int x, int y, int w, int h) {
  if (!bitmap) return FALSE;
  BITMAP bm = {};
  if (!::GetObjectA(bitmap, sizeof bm, &bm)) return FALSE;
  HDC mem = ::CreateCompatibleDC(m_hDC);
  HGDIOBJ old = ::SelectObject(mem, bitmap);
  if (w < 0) w = bm.bmWidth;
  if (h < 0) h = bm.bmHeight;
  BOOL ok;
  if (w == bm.bmWidth && h == bm.bmHeight) {
    ok = ::BitBlt(m_hDC, x, y, w, h, mem, 0, 0, SRCCOPY);
  } else {
    int oldMode = ::SetStretchBltMode(m_hDC, HALFTONE);
    ::SetBrushOrgEx(m_hDC, 0, 0, nullptr);
    ok = ::StretchBlt(m_hDC, x, y, w, h, mem, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    ::SetStretchBltMode(m_hDC, oldMode);
  }
  ::SelectObject(mem, old);
  ::DeleteDC(mem);
  return ok;
}

void CDC::FillSolidRect(LPCRECT r, COLORREF c) {
  COLORREF old = ::SetBkColor(m_hDC, c);
  ::ExtTextOutA(m_hDC, 0, 0, ETO_OPAQUE, r, nullptr, 0, nullptr);
  ::SetBkColor(m_hDC, old);
}

CSize CDC::GetTextExtent(const char* text, int length) const {
  SIZE s = {};
  ::GetTextExtentPoint32A(m_hDC, text, length, &s);
  return CSize(s);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }
CPaintDC::~CPaintDC() {
  ::EndPaint(m_hWnd, &m_ps);
  m_hDC = nullptr;
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr) { m_hDC = ::GetDC(m_hWnd); }
CClientDC::~CClientDC() {
  ::ReleaseDC(m_hWnd, m_hDC);
  m_hDC = nullptr;
}

CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr) { m_hDC = ::GetWindowDC(m_hWnd); }
CWindowDC::~CWindowDC() {
  ::ReleaseDC(m_hWnd, m_hDC);
  m_hDC = nullptr;
}

// ---- image lists -----------------------------------------------------------------

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
  DeleteImageList();
  m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
  return m_hImageList != nullptr;
}

BOOL CImageList::Create(UINT bitmapId, int cx, int grow, COLORREF maskColor) {
  DeleteImageList();
  m_hImageList = ImageList_LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(bitmapId), cx, grow, maskColor,
                                      IMAGE_BITMAP, LR_CREATEDIBSECTION);
  return m_hImageList != nullptr;
}

BOOL CImageList::Attach(HIMAGELIST list) {
  if (!list) return FALSE;
  DeleteImageList();
  m_hImageList = list;
  return TRUE;
}

HIMAGELIST CImageList::Detach() {
  HIMAGELIST list = m_hImageList;
  m_hImageList = nullptr;
  return list;
}

BOOL CImageList::DeleteImageList() {
  if (!m_hImageList) return FALSE;
  BOOL ok = ImageList_Destroy(m_hImageList);
  m_hImageList = nullptr;
  return ok;
}

int CImageList::Add(CBitmap* bitmap, COLORREF maskColor) {
  return bitmap ? ImageList_AddMasked(m_hImageList, *bitmap, maskColor) : -1;
}

int CImageList::Add(CBitmap* bitmap, CBitmap* mask) {
  return bitmap ? ImageList_Add(m_hImageList, *bitmap, mask ? static_cast<HBITMAP>(*mask) : nullptr) : -1;
}
