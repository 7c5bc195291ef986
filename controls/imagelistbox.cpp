#include "imagelistbox.h"

#include <algorithm>
#include <string>

#include "skinids.h"

BEGIN_MESSAGE_MAP(CListBoxST, CListBox)
  ON_CONTROL_REFLECT_EX(LBN_DBLCLK, &CListBoxST::OnDblClkReflect)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CListBoxST::~CListBoxST() {
  if (m_hWnd) FreeAllRows();
}

CListBoxST::Row* CListBoxST::RowAt(int index) const {
  LRESULT d = ::SendMessageA(m_hWnd, LB_GETITEMDATA, index, 0);
  if (d == LB_ERR) return nullptr;
  return reinterpret_cast<Row*>(d);
}

void CListBoxST::FreeAllRows() {
  int n = static_cast<int>(::SendMessageA(m_hWnd, LB_GETCOUNT, 0, 0));
  for (int i = n - 1; i >= 0; --i) {
    delete RowAt(i);
    ::SendMessageA(m_hWnd, LB_SETITEMDATA, i, 0);
  }
}

// Row records would outlive the window otherwise: the list box itself only
// forgets the pointers.
void CListBoxST::OnDestroy() {
  FreeAllRows();
  Default();
}

int CListBoxST::AddString(const char* text, int image) {
  int i = static_cast<int>(::SendMessageA(m_hWnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text ? text : "")));
  if (i == LB_ERR || i == LB_ERRSPACE) return i;
  Row r;
  r.image = image;
  UpdateRow(i, kImage, r);
  return i;
}

int CListBoxST::InsertString(int index, const char* text, int image) {
  int i = static_cast<int>(::SendMessageA(m_hWnd, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text ? text : "")));
  if (i == LB_ERR || i == LB_ERRSPACE) return i;
  Row r;
  r.image = image;
  UpdateRow(i, kImage, r);
  return i;
}

int CListBoxST::DeleteString(int index) {
  delete RowAt(index);
  ::SendMessageA(m_hWnd, LB_SETITEMDATA, index, 0);
  return static_cast<int>(::SendMessageA(m_hWnd, LB_DELETESTRING, index, 0));
}

void CListBoxST::ResetContent() {
  FreeAllRows();
  ::SendMessageA(m_hWnd, LB_RESETCONTENT, 0, 0);
}

int CListBoxST::UpdateRow(int index, UINT mask, const Row& values) {
  if (::SendMessageA(m_hWnd, LB_GETITEMDATA, index, 0) == LB_ERR) return LB_ERR;
  Row* r = RowAt(index);
  if (!r) r = new Row;
  if (mask & kData) r->data = values.data;
  if (mask & kSecond) r->second = values.second;
  if (mask & kImage) r->image = values.image;
  if (mask & kFlags) r->flags = values.flags;
  return static_cast<int>(::SendMessageA(m_hWnd, LB_SETITEMDATA, index, reinterpret_cast<LPARAM>(r)));
}

int CListBoxST::SetItemData(int index, DWORD_PTR data) {
  Row r;
  r.data = data;
  return UpdateRow(index, kData, r);
}

DWORD_PTR CListBoxST::GetItemData(int index) const {
  Row* r = RowAt(index);
  return r ? r->data : static_cast<DWORD_PTR>(-1);
}

int CListBoxST::SetImage(int index, int image, BOOL repaint) {
  Row r;
  r.image = image;
  int result = UpdateRow(index, kImage, r);
  if (repaint) ::InvalidateRect(m_hWnd, nullptr, TRUE);
  return result;
}

void CListBoxST::GetImage(int index, int* image) const {
  Row* r = RowAt(index);
  if (image) *image = r ? r->image : -1;
}

int CListBoxST::EnableItem(int index, BOOL enable, BOOL repaint) {
  Row* cur = RowAt(index);
  Row r;
  r.flags = ((cur ? cur->flags : 0) & ~1u) | (enable ? 0u : 1u);
  int result = UpdateRow(index, kFlags, r);
  if (repaint) ::InvalidateRect(m_hWnd, nullptr, TRUE);
  return result;
}

BOOL CListBoxST::IsItemEnabled(int index) const {
  Row* r = RowAt(index);
  return !(r && (r->flags & 1));
}

void CListBoxST::SetImageList(CImageList* list) {
  images_ = list;
  iconW_ = iconH_ = 0;
  if (list && list->m_hImageList) ImageList_GetIconSize(list->m_hImageList, &iconW_, &iconH_);
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

int CListBoxST::MoveItem(int from, int to, BOOL select) {
  int n = static_cast<int>(::SendMessageA(m_hWnd, LB_GETCOUNT, 0, 0));
  if (from < 0 || from >= n || to < 0 || to >= n || from == to) return LB_ERR;
  int len = static_cast<int>(::SendMessageA(m_hWnd, LB_GETTEXTLEN, from, 0));
  std::string text(static_cast<size_t>(std::max(0, len)) + 1, '\0');
  ::SendMessageA(m_hWnd, LB_GETTEXT, from, reinterpret_cast<LPARAM>(&text[0]));
  LRESULT record = ::SendMessageA(m_hWnd, LB_GETITEMDATA, from, 0);
  ::SendMessageA(m_hWnd, LB_SETITEMDATA, from, 0);  // the record moves, it is not freed
  ::SendMessageA(m_hWnd, LB_DELETESTRING, from, 0);
  int i = static_cast<int>(::SendMessageA(m_hWnd, LB_INSERTSTRING, to, reinterpret_cast<LPARAM>(text.c_str())));
  if (i >= 0) ::SendMessageA(m_hWnd, LB_SETITEMDATA, i, record);
  else delete reinterpret_cast<Row*>(record);
  if (i >= 0 && select) ::SendMessageA(m_hWnd, LB_SETCURSEL, i, 0);
  return i;
}

int CListBoxST::MoveDown(int index, BOOL select) {
  int n = static_cast<int>(::SendMessageA(m_hWnd, LB_GETCOUNT, 0, 0));
  return index >= 0 && index < n - 1 ? MoveItem(index, index + 1, select) : LB_ERR;
}

BOOL CListBoxST::OnDblClkReflect() {
  int sel = static_cast<int>(::SendMessageA(m_hWnd, LB_GETCURSEL, 0, 0));
  // TRUE swallows the notification: a disabled row's double click never
  // reaches the page.
  return sel != LB_ERR && !IsItemEnabled(sel);
}

void CListBoxST::MeasureItem(LPMEASUREITEMSTRUCT mis) {
  int len = static_cast<int>(::SendMessageA(m_hWnd, LB_GETTEXTLEN, mis->itemID, 0));
  std::string text(static_cast<size_t>(std::max(0, len)) + 1, '\0');
  if (len > 0) ::SendMessageA(m_hWnd, LB_GETTEXT, mis->itemID, reinterpret_cast<LPARAM>(&text[0]));
  RECT r;
  ::GetClientRect(m_hWnd, &r);
  r.left += iconW_ + 6;
  HDC dc = ::GetDC(m_hWnd);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(m_hWnd, WM_GETFONT, 0, 0)));
  DrawTextA(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
  SelectObject(dc, old);
  ::ReleaseDC(m_hWnd, dc);
  int h = r.bottom - r.top;
  if (images_) h = std::max(h, iconH_ + 4);
  mis->itemHeight = static_cast<UINT>(h + 4);
}

void CListBoxST::DrawItemBackground(int, HDC dc, const RECT& r, BOOL, BOOL, COLORREF colour) {
  HBRUSH b = CreateSolidBrush(colour);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

void CListBoxST::DrawIconBackground(int row, HDC dc, const RECT& r, BOOL selected, BOOL disabled,
                                    COLORREF colour) {
  DrawItemBackground(row, dc, r, selected, disabled, colour);
}

void CListBoxST::DrawItemIcon(int, HDC dc, const RECT& r, int image, BOOL disabled) {
  if (!images_ || !images_->m_hImageList || image < 0) return;
  HICON icon = ImageList_GetIcon(images_->m_hImageList, image, ILD_NORMAL);
  if (!icon) return;
  DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, r.left + 3, r.top + 2, iconW_, iconH_,
             DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL));
  DestroyIcon(icon);
}

void CListBoxST::DrawItem(LPDRAWITEMSTRUCT dis) {
  if (static_cast<int>(dis->itemID) < 0) return;
  HDC dc = dis->hDC;
  int row = static_cast<int>(dis->itemID);
  Row* rec = RowAt(row);
  int image = rec ? rec->image : -1;
  BOOL disabled = (rec && (rec->flags & 1)) || !::IsWindowEnabled(m_hWnd);
  BOOL selected = (dis->itemState & ODS_SELECTED) != 0;
  COLORREF back = GetSysColor(COLOR_WINDOW);
  COLORREF text = disabled ? GetSysColor(COLOR_GRAYTEXT) : GetSysColor(COLOR_WINDOWTEXT);
  if (selected && !disabled && rowStyle_ == 0) back = RGB(235, 245, 255);
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(m_hWnd, WM_GETFONT, 0, 0)));

  RECT item = dis->rcItem;
  RECT iconArea = item;
  RECT textArea = item;
  if (images_) {
    iconArea.right = item.left + iconW_ + 6;
    DrawIconBackground(row, dc, iconArea, selected, disabled, back);
    textArea.left = iconArea.right;
  }
  DrawItemBackground(row, dc, rowStyle_ == 2 ? textArea : item, selected, disabled, back);
  DrawItemIcon(row, dc, iconArea, image, disabled);

  int len = static_cast<int>(::SendMessageA(m_hWnd, LB_GETTEXTLEN, row, 0));
  std::string s(static_cast<size_t>(std::max(0, len)) + 1, '\0');
  if (len > 0) ::SendMessageA(m_hWnd, LB_GETTEXT, row, reinterpret_cast<LPARAM>(&s[0]));
  UINT format = (rec ? rec->format : 0) | DT_WORDBREAK | DT_EXPANDTABS;
  RECT measure = textArea;
  DrawTextA(dc, s.c_str(), -1, &measure, format | DT_CALCRECT);
  int h = measure.bottom - measure.top;
  RECT out = textArea;
  out.top = item.top + std::max<LONG>(0, (item.bottom - item.top - h) / 2);
  SetTextColor(dc, text);
  DrawTextA(dc, s.c_str(), -1, &out, format);

  static HBITMAP separator = static_cast<HBITMAP>(
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_LIST_SEPARATOR), IMAGE_BITMAP, 0, 0, 0));
  if (separator) {
    BITMAP bm = {};
    GetObjectA(separator, sizeof bm, &bm);
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, separator);
    StretchBlt(dc, item.left, item.bottom - bm.bmHeight, item.right - item.left, bm.bmHeight, mem, 0, 0,
               bm.bmWidth, bm.bmHeight, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
  }
  if (dis->itemState & ODS_FOCUS) DrawFocusRect(dc, &item);
  SelectObject(dc, oldFont);
}
