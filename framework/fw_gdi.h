// GDI objects and device contexts. Each object owns its handle and deletes it
// when it goes away (Detach gives the handle up). Selecting returns the handle
// that was selected before, ready to be selected back:
//   HFONT old = dc.SelectObject(&font); ...; dc.SelectObject(old);
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "fw_geometry.h"
#include "fw_string.h"

class CWnd;
class CDC;

class CGdiObject {
 public:
  CGdiObject() = default;
  virtual ~CGdiObject() { DeleteObject(); }
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;

  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  BOOL Attach(HGDIOBJ h);
  HGDIOBJ Detach();
  BOOL DeleteObject();
  int GetObject(int size, void* buffer) const { return ::GetObjectA(m_hObject, size, buffer); }

  HGDIOBJ m_hObject = nullptr;
};

class CPen : public CGdiObject {
 public:
  CPen() = default;
  CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
  BOOL CreatePen(int style, int width, COLORREF color) { return Attach(::CreatePen(style, width, color)); }
  operator HPEN() const { return static_cast<HPEN>(m_hObject); }
};

class CBitmap;

class CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
  BOOL CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }
  BOOL CreatePatternBrush(CBitmap* bitmap);
  // System colour brushes are shared: deleting them later is harmless.
  BOOL CreateSysColorBrush(int index) { return Attach(::GetSysColorBrush(index)); }
  operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
};

class CFont : public CGdiObject {
 public:
  BOOL CreateFontIndirect(const LOGFONTA* lf) { return Attach(::CreateFontIndirectA(lf)); }
  int GetLogFont(LOGFONTA* lf) const { return GetObject(sizeof(LOGFONTA), lf); }
  operator HFONT() const { return static_cast<HFONT>(m_hObject); }
};

class CBitmap : public CGdiObject {
 public:
  // From the resource module (AfxGetResourceHandle).
  BOOL LoadBitmap(UINT id);
  BOOL LoadBitmap(const char* name);
  BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
  BOOL CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    return Attach(::CreateBitmap(width, height, planes, bitsPerPixel, bits));
  }
  int GetBitmap(BITMAP* bm) const { return GetObject(sizeof(BITMAP), bm); }
  CSize GetSize() const;   // (0, 0) without a bitmap
  operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
};

class CRgn : public CGdiObject {
 public:
  BOOL CreateRectRgn(int l, int t, int r, int b) { return Attach(::CreateRectRgn(l, t, r, b)); }
  BOOL CreateRectRgnIndirect(LPCRECT r) { return Attach(::CreateRectRgnIndirect(r)); }
  BOOL CreateRoundRectRgn(int l, int t, int r, int b, int w, int h) {
    return Attach(::CreateRoundRectRgn(l, t, r, b, w, h));
  }
  BOOL CreateEllipticRgn(int l, int t, int r, int b) { return Attach(::CreateEllipticRgn(l, t, r, b)); }
  BOOL CreatePolygonRgn(const POINT* points, int count, int fillMode) {
    return Attach(::CreatePolygonRgn(points, count, fillMode));
  }
  BOOL CreateFromData(const XFORM* xf, int count, const RGNDATA* data) {
    return Attach(::ExtCreateRegion(xf, count, data));
  }
  int CombineRgn(HRGN a, HRGN b, int mode) { return ::CombineRgn(*this, a, b, mode); }
  int CopyRgn(HRGN src) { return ::CombineRgn(*this, src, nullptr, RGN_COPY); }
  BOOL PtInRegion(int x, int y) const { return ::PtInRegion(*this, x, y); }
  BOOL PtInRegion(POINT p) const { return ::PtInRegion(*this, p.x, p.y); }
  int GetRgnBox(LPRECT r) const { return ::GetRgnBox(*this, r); }
  operator HRGN() const { return static_cast<HRGN>(m_hObject); }
};

// A device context. A plain CDC either wraps a DC it does not own (Attach, or
// the CDC* that paint and erase handlers get) or owns a memory DC made with
// CreateCompatibleDC.
class CDC {
 public:
  CDC() = default;
  virtual ~CDC();
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  HDC GetSafeHdc() const { return m_hDC; }
  operator HDC() const { return m_hDC; }
  BOOL Attach(HDC dc);
  HDC Detach();
  BOOL CreateCompatibleDC(CDC* dc);   // dc null: compatible with the screen
  BOOL DeleteDC();

  HPEN SelectObject(HPEN h) { return static_cast<HPEN>(::SelectObject(m_hDC, h)); }
  HBRUSH SelectObject(HBRUSH h) { return static_cast<HBRUSH>(::SelectObject(m_hDC, h)); }
  HFONT SelectObject(HFONT h) { return static_cast<HFONT>(::SelectObject(m_hDC, h)); }
  HBITMAP SelectObject(HBITMAP h) { return static_cast<HBITMAP>(::SelectObject(m_hDC, h)); }
  HPEN SelectObject(CPen* p) { return SelectObject(static_cast<HPEN>(*p)); }
  HBRUSH SelectObject(CBrush* p) { return SelectObject(static_cast<HBRUSH>(*p)); }
  HFONT SelectObject(CFont* p) { return SelectObject(static_cast<HFONT>(*p)); }
  HBITMAP SelectObject(CBitmap* p) { return SelectObject(static_cast<HBITMAP>(*p)); }
  HGDIOBJ SelectStockObject(int index) { return ::SelectObject(m_hDC, ::GetStockObject(index)); }
  int SelectClipRgn(HRGN rgn) { return ::SelectClipRgn(m_hDC, rgn); }
  int SelectClipRgn(CRgn* rgn) { return ::SelectClipRgn(m_hDC, rgn ? static_cast<HRGN>(*rgn) : nullptr); }
  int IntersectClipRect(LPCRECT r) { return ::IntersectClipRect(m_hDC, r->left, r->top, r->right, r->bottom); }
  int IntersectClipRect(int l, int t, int r, int b) { return ::IntersectClipRect(m_hDC, l, t, r, b); }
  int GetClipBox(LPRECT r) const { return ::GetClipBox(m_hDC, r); }
  int SaveDC() { return ::SaveDC(m_hDC); }
  BOOL RestoreDC(int saved) { return ::RestoreDC(m_hDC, saved); }

  COLORREF SetTextColor(COLORREF c) { return ::SetTextColor(m_hDC, c); }
  COLORREF GetTextColor() const { return ::GetTextColor(m_hDC); }
  COLORREF SetBkColor(COLORREF c) { return ::SetBkColor(m_hDC, c); }
  COLORREF GetBkColor() const { return ::GetBkColor(m_hDC); }
  int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
  int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }

  BOOL BitBlt(int x, int y, int w, int h, CDC* src, int xs, int ys, DWORD rop) {
    return ::BitBlt(m_hDC, x, y, w, h, src ? src->m_hDC : nullptr, xs, ys, rop);
  }
  BOOL StretchBlt(int x, int y, int w, int h, CDC* src, int xs, int ys, int ws, int hs, DWORD rop) {
    return ::StretchBlt(m_hDC, x, y, w, h, src ? src->m_hDC : nullptr, xs, ys, ws, hs, rop);
  }
  BOOL PatBlt(int x, int y, int w, int h, DWORD rop) { return ::PatBlt(m_hDC, x, y, w, h, rop); }
  int SetStretchBltMode(int mode) { return ::SetStretchBltMode(m_hDC, mode); }
  // Copies a whole bitmap (stretched when w/h differ from its size).
  BOOL DrawBitmap(HBITMAP bitmap, int x, int y, int w = -1, int h = -1);

  void FillSolidRect(LPCRECT r, COLORREF c);
  void FillSolidRect(int x, int y, int w, int h, COLORREF c) { CRect r(x, y, x + w, y + h); FillSolidRect(&r, c); }
  int FillRect(LPCRECT r, HBRUSH b) { return ::FillRect(m_hDC, r, b); }
  int FillRect(LPCRECT r, CBrush* b) { return ::FillRect(m_hDC, r, *b); }
  int FrameRect(LPCRECT r, HBRUSH b) { return ::FrameRect(m_hDC, r, b); }
  int FrameRect(LPCRECT r, CBrush* b) { return ::FrameRect(m_hDC, r, *b); }
  BOOL DrawEdge(LPRECT r, UINT edge, UINT flags) { return ::DrawEdge(m_hDC, r, edge, flags); }
  BOOL DrawFocusRect(LPCRECT r) { return ::DrawFocusRect(m_hDC, r); }
  BOOL FillRgn(HRGN rgn, HBRUSH b) { return ::FillRgn(m_hDC, rgn, b); }

  BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
  BOOL Rectangle(int l, int t, int r, int b) { return ::Rectangle(m_hDC, l, t, r, b); }
  BOOL Rectangle(LPCRECT r) { return ::Rectangle(m_hDC, r->left, r->top, r->right, r->bottom); }
  BOOL RoundRect(int l, int t, int r, int b, int w, int h) { return ::RoundRect(m_hDC, l, t, r, b, w, h); }
  BOOL Ellipse(int l, int t, int r, int b) { return ::Ellipse(m_hDC, l, t, r, b); }
  BOOL Polygon(const POINT* points, int count) { return ::Polygon(m_hDC, points, count); }
  BOOL Polyline(const POINT* points, int count) { return ::Polyline(m_hDC, points, count); }
  COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
  COLORREF SetPixel(int x, int y, COLORREF c) { return ::SetPixel(m_hDC, x, y, c); }

  int DrawText(const char* text, int length, LPRECT r, UINT format) {
    return ::DrawTextA(m_hDC, text, length, r, format);
  }
  int DrawText(const CString& text, LPRECT r, UINT format) {
    return ::DrawTextA(m_hDC, text.GetString(), text.GetLength(), r, format);
  }
  BOOL TextOut(int x, int y, const char* text, int length) { return ::TextOutA(m_hDC, x, y, text, length); }
  BOOL TextOut(int x, int y, const CString& text) { return TextOut(x, y, text.GetString(), text.GetLength()); }
  BOOL ExtTextOut(int x, int y, UINT options, LPCRECT r, const char* text, int length, const int* dx = nullptr) {
    return ::ExtTextOutA(m_hDC, x, y, options, r, text, static_cast<UINT>(length), dx);
  }
  BOOL ExtTextOut(int x, int y, UINT options, LPCRECT r, const CString& text, const int* dx = nullptr) {
    return ExtTextOut(x, y, options, r, text.GetString(), text.GetLength(), dx);
  }
  CSize GetTextExtent(const char* text, int length) const;
  CSize GetTextExtent(const CString& text) const { return GetTextExtent(text.GetString(), text.GetLength()); }
  BOOL GetTextMetrics(TEXTMETRICA* tm) const { return ::GetTextMetricsA(m_hDC, tm); }
  BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }
  BOOL DrawIconEx(int x, int y, HICON icon, int w, int h, UINT flags = DI_NORMAL) {
    return ::DrawIconEx(m_hDC, x, y, icon, w, h, 0, nullptr, flags);
  }
  BOOL DrawState(CPoint pt, CSize size, HICON icon, UINT flags, HBRUSH brush = nullptr) {
    return ::DrawStateA(m_hDC, brush, nullptr, reinterpret_cast<LPARAM>(icon), 0, pt.x, pt.y, size.cx,
                        size.cy, flags | DST_ICON);
  }

  HDC m_hDC = nullptr;

 protected:
  bool m_owned = false;   // DeleteDC on destruction
};

// BeginPaint/EndPaint for a WM_PAINT handler.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC() override;
  PAINTSTRUCT m_ps{};

 private:
  HWND m_hWnd;
};

// GetDC/ReleaseDC of a window's client area (the screen for null).
class CClientDC : public CDC {
 public:
  explicit CClientDC(CWnd* wnd);
  ~CClientDC() override;

 private:
  HWND m_hWnd;
};

// GetWindowDC/ReleaseDC: the whole window, frame included.
class CWindowDC : public CDC {
 public:
  explicit CWindowDC(CWnd* wnd);
  ~CWindowDC() override;

 private:
  HWND m_hWnd;
};

// An image list; destroyed with the object unless detached.
class CImageList {
 public:
  CImageList() = default;
  ~CImageList() { DeleteImageList(); }
  CImageList(const CImageList&) = delete;
  CImageList& operator=(const CImageList&) = delete;

  BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
  // Image strip from a bitmap resource: images cx wide, maskColor transparent.
  BOOL Create(UINT bitmapId, int cx, int grow, COLORREF maskColor);
  BOOL Attach(HIMAGELIST list);
  HIMAGELIST Detach();
  BOOL DeleteImageList();

  int Add(CBitmap* bitmap, COLORREF maskColor);
  int Add(CBitmap* bitmap, CBitmap* mask);
  int Add(HICON icon) { return ImageList_AddIcon(m_hImageList, icon); }
  BOOL Remove(int index) { return ImageList_Remove(m_hImageList, index); }
  int GetImageCount() const { return m_hImageList ? ImageList_GetImageCount(m_hImageList) : 0; }
  BOOL GetIconSize(int* cx, int* cy) const { return ImageList_GetIconSize(m_hImageList, cx, cy); }
  HICON ExtractIcon(int index) { return ImageList_GetIcon(m_hImageList, index, ILD_NORMAL); }
  COLORREF SetBkColor(COLORREF c) { return ImageList_SetBkColor(m_hImageList, c); }
  BOOL Draw(CDC* dc, int index, POINT pt, UINT style) {
    return ImageList_Draw(m_hImageList, index, dc->m_hDC, pt.x, pt.y, style);
  }
  HIMAGELIST GetSafeHandle() const { return m_hImageList; }
  operator HIMAGELIST() const { return m_hImageList; }

  HIMAGELIST m_hImageList = nullptr;
};
