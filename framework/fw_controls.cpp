#include "fw_controls.h"

#include "fw_app.h"
#include "fw_dialog.h"

// ---- owner drawing reflected to the control classes ----------------------------

BOOL CStatic::OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg != WM_DRAWITEM) return CWnd::OnChildNotify(msg, wp, lp, result);
  if (CWnd::OnChildNotify(msg, wp, lp, result)) return TRUE;
  DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lp));
  *result = TRUE;
  return TRUE;
}

BOOL CButton::OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg != WM_DRAWITEM) return CWnd::OnChildNotify(msg, wp, lp, result);
  if (CWnd::OnChildNotify(msg, wp, lp, result)) return TRUE;
  DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lp));
  *result = TRUE;
  return TRUE;
}

namespace {

// The list-like controls share this: the four owner-draw messages go to the
// virtuals, everything else through the map's reflect rows.
template <typename T>
BOOL ListChildNotify(T* self, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  switch (msg) {
    case WM_DRAWITEM:
      self->DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lp));
      *result = TRUE;
      return TRUE;
    case WM_MEASUREITEM:
      self->MeasureItem(reinterpret_cast<LPMEASUREITEMSTRUCT>(lp));
      *result = TRUE;
      return TRUE;
    case WM_COMPAREITEM:
      *result = self->CompareItem(reinterpret_cast<LPCOMPAREITEMSTRUCT>(lp));
      return TRUE;
    case WM_DELETEITEM:
      self->DeleteItem(reinterpret_cast<LPDELETEITEMSTRUCT>(lp));
      *result = TRUE;
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

BOOL CComboBox::OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (CWnd::OnChildNotify(msg, wp, lp, result)) return TRUE;
  return ListChildNotify(this, msg, wp, lp, result);
}

BOOL CListBox::OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (CWnd::OnChildNotify(msg, wp, lp, result)) return TRUE;
  return ListChildNotify(this, msg, wp, lp, result);
}

// ---- CEdit, CComboBox, CListBox --------------------------------------------------

void CEdit::GetSel(int& start, int& end) const {
  DWORD s = 0, e = 0;
  SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
  start = static_cast<int>(s);
  end = static_cast<int>(e);
}

void CComboBox::GetLBText(int index, CString& out) const {
  int n = GetLBTextLen(index);
  if (n == CB_ERR) {
    out.Empty();
    return;
  }
  char* buf = out.GetBufferSetLength(n + 1);
  int got = static_cast<int>(SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf)));
  out.ReleaseBuffer(got >= 0 && got <= n ? got : 0);
}

void CListBox::GetText(int index, CString& out) const {
  int n = GetTextLen(index);
  if (n == LB_ERR) {
    out.Empty();
    return;
  }
  char* buf = out.GetBufferSetLength(n + 1);
  int got = static_cast<int>(SendMessage(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf)));
  out.ReleaseBuffer(got >= 0 && got <= n ? got : 0);
}

// ---- CListCtrl -------------------------------------------------------------------

int CListCtrl::InsertColumn(int col, const char* heading, int format, int width, int subItem) {
  LVCOLUMNA c = {};
  c.mask = LVCF_FMT | LVCF_TEXT;
  c.fmt = format;
  c.pszText = const_cast<char*>(heading);
  if (width != -1) {
    c.mask |= LVCF_WIDTH;
    c.cx = width;
  }
  if (subItem != -1) {
    c.mask |= LVCF_SUBITEM;
    c.iSubItem = subItem;
  }
  return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, static_cast<WPARAM>(col), reinterpret_cast<LPARAM>(&c)));
}

int CListCtrl::InsertItem(int index, const char* text, int image) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT | (image >= 0 ? LVIF_IMAGE : 0);
  item.iItem = index;
  item.pszText = const_cast<char*>(text);
  item.iImage = image;
  return InsertItem(&item);
}

BOOL CListCtrl::SetItemText(int item, int subItem, const char* text) {
  LVITEMA it = {};
  it.iSubItem = subItem;
  it.pszText = const_cast<char*>(text);
  return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it)));
}

CString CListCtrl::GetItemText(int item, int subItem) const {
  char buf[1024] = "";
  LVITEMA it = {};
  it.iSubItem = subItem;
  it.pszText = buf;
  it.cchTextMax = sizeof buf;
  int n = static_cast<int>(SendMessage(LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it)));
  return CString(buf, n > 0 && n < static_cast<int>(sizeof buf) ? n : 0);
}

DWORD_PTR CListCtrl::GetItemData(int item) const {
  LVITEMA it = {};
  it.mask = LVIF_PARAM;
  it.iItem = item;
  return GetItem(&it) ? static_cast<DWORD_PTR>(it.lParam) : 0;
}

BOOL CListCtrl::SetItemData(int item, DWORD_PTR data) {
  LVITEMA it = {};
  it.mask = LVIF_PARAM;
  it.iItem = item;
  it.lParam = static_cast<LPARAM>(data);
  return SetItem(&it);
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
  LVITEMA it = {};
  it.state = state;
  it.stateMask = mask;
  return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it)));
}

// ---- CTreeCtrl -------------------------------------------------------------------

HTREEITEM CTreeCtrl::InsertItem(UINT mask, const char* text, int image, int selectedImage, UINT state,
                                UINT stateMask, LPARAM param, HTREEITEM parent, HTREEITEM after) {
  TVINSERTSTRUCTA ins = {};
  ins.hParent = parent;
  ins.hInsertAfter = after;
  ins.item.mask = mask;
  ins.item.pszText = const_cast<char*>(text);
  ins.item.iImage = image;
  ins.item.iSelectedImage = selectedImage;
  ins.item.state = state;
  ins.item.stateMask = stateMask;
  ins.item.lParam = param;
  return InsertItem(&ins);
}

HTREEITEM CTreeCtrl::InsertItem(const char* text, HTREEITEM parent, HTREEITEM after) {
  return InsertItem(TVIF_TEXT, text, 0, 0, 0, 0, 0, parent, after);
}

HTREEITEM CTreeCtrl::InsertItem(const char* text, int image, int selectedImage, HTREEITEM parent, HTREEITEM after) {
  return InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, text, image, selectedImage, 0, 0, 0, parent, after);
}

CString CTreeCtrl::GetItemText(HTREEITEM item) const {
  char buf[1024] = "";
  TVITEMA it = {};
  it.mask = TVIF_TEXT;
  it.hItem = item;
  it.pszText = buf;
  it.cchTextMax = sizeof buf;
  if (!GetItem(&it)) return CString();
  return CString(buf);
}

BOOL CTreeCtrl::SetItemText(HTREEITEM item, const char* text) {
  TVITEMA it = {};
  it.mask = TVIF_TEXT;
  it.hItem = item;
  it.pszText = const_cast<char*>(text);
  return SetItem(&it);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
  TVITEMA it = {};
  it.mask = TVIF_PARAM;
  it.hItem = item;
  return GetItem(&it) ? static_cast<DWORD_PTR>(it.lParam) : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
  TVITEMA it = {};
  it.mask = TVIF_PARAM;
  it.hItem = item;
  it.lParam = static_cast<LPARAM>(data);
  return SetItem(&it);
}

BOOL CTreeCtrl::SetItemState(HTREEITEM item, UINT state, UINT mask) {
  TVITEMA it = {};
  it.mask = TVIF_STATE;
  it.hItem = item;
  it.state = state;
  it.stateMask = mask;
  return SetItem(&it);
}

BOOL CTreeCtrl::GetItemRect(HTREEITEM item, LPRECT r, BOOL textOnly) const {
  *reinterpret_cast<HTREEITEM*>(r) = item;   // the message takes the item in the rectangle
  return static_cast<BOOL>(SendMessage(TVM_GETITEMRECT, textOnly, reinterpret_cast<LPARAM>(r)));
}

HTREEITEM CTreeCtrl::HitTest(CPoint pt, UINT* flags) const {
  TVHITTESTINFO info = {};
  info.pt = pt;
  HTREEITEM item = HitTest(&info);
  if (flags) *flags = info.flags;
  return item;
}

// ---- CDateTimeCtrl ---------------------------------------------------------------

BOOL CDateTimeCtrl::SetTime(__time64_t t) {
  SYSTEMTIME st;
  if (!fw::Time64ToLocalSystemTime(t, &st)) return FALSE;
  return SetTime(&st);
}

BOOL CDateTimeCtrl::GetTime(__time64_t& t) const {
  SYSTEMTIME st;
  if (!GetTime(&st)) return FALSE;
  return fw::LocalSystemTimeToTime64(st, &t) ? TRUE : FALSE;
}

// ---- CToolTipCtrl ----------------------------------------------------------------

BOOL CToolTipCtrl::Create(CWnd* owner, DWORD style) {
  BOOL ok = CWnd::CreateEx(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | style,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           owner ? owner->m_hWnd : nullptr, nullptr);
  if (ok) ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return ok;
}

void CToolTipCtrl::FillToolInfo(TTTOOLINFOA& ti, CWnd* tool, UINT_PTR id) const {
  ti = {};
  ti.cbSize = sizeof ti;
  if (id == 0 && tool) {
    ti.hwnd = ::GetParent(tool->m_hWnd) ? ::GetParent(tool->m_hWnd) : tool->m_hWnd;
    ti.uId = reinterpret_cast<UINT_PTR>(tool->m_hWnd);
    ti.uFlags = TTF_IDISHWND;
  } else {
    ti.hwnd = tool ? tool->m_hWnd : nullptr;
    ti.uId = id;
  }
}
