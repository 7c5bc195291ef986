#include "treelist.h"

#include <algorithm>

#include "celltext.h"
#include "skinids.h"
#include "treeviewchecks.h"

namespace {

const char kTreeListClass[] = "MERLO_TREE_LIST_CTRL";
const int kScrollLine = 6;

int WindowWidth(HWND h) {
  RECT r = {};
  ::GetWindowRect(h, &r);
  return r.right - r.left;
}

int WindowHeight(HWND h) {
  RECT r = {};
  ::GetWindowRect(h, &r);
  return r.bottom - r.top;
}

}  // namespace

void RegisterTreeListClass(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW | CS_GLOBALCLASS;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  // The brush lives as long as the class: for the whole process.
  static HBRUSH background = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
  wc.hbrBackground = background;
  wc.lpszClassName = kTreeListClass;
  RegisterClassA(&wc);  // a second registration fails harmlessly
  RegisterRowTreeClass(instance);
}

// ---- CColumnTreeCtrl ------------------------------------------------------

BEGIN_MESSAGE_MAP(CColumnTreeCtrl, CTreeCtrl)
  ON_WM_LBUTTONDOWN()
  ON_WM_LBUTTONDBLCLK()
  ON_WM_KEYDOWN()
  ON_WM_PAINT()
  ON_WM_ERASEBKGND()
  ON_WM_HSCROLL()
  ON_WM_SIZE()
END_MESSAGE_MAP()

namespace {
void DeleteRowObject(LPARAM param) { delete reinterpret_cast<CColumnTreeItem*>(param); }
}  // namespace

// A vertical bar that comes or goes changes the width the columns have.
void CColumnTreeCtrl::OnSize(UINT, int, int) {
  Default();
  RecalcHorizontalRange();
}

int CColumnTreeCtrl::InsertColumn(int column, const char* heading, int format, int width, int) {
  static const int kFormats[] = {HDF_LEFT, HDF_RIGHT, HDF_CENTER};
  HDITEMA hi = {};
  hi.mask = HDI_TEXT | HDI_FORMAT | (width == -1 ? 0 : HDI_WIDTH);
  hi.fmt = kFormats[(format >= 0 && format <= 2) ? format : 0] | HDF_STRING;
  hi.cxy = width;
  hi.pszText = const_cast<char*>(heading ? heading : "");
  ++columnCount_;
  int index = static_cast<int>(::SendMessageA(m_header.m_hWnd, HDM_INSERTITEMA, column, reinterpret_cast<LPARAM>(&hi)));
  int total = GetTotalColumnWidth();
  ::SetWindowPos(m_header.m_hWnd, nullptr, offset_, 0, std::max(total, WindowWidth(m_hWnd)),
                 WindowHeight(m_header.m_hWnd), SWP_NOZORDER | SWP_SHOWWINDOW);
  RecalcHorizontalRange();
  return index;
}

HTREEITEM CColumnTreeCtrl::InsertItem(UINT mask, const char* text, int image, int selectedImage, UINT state,
                                      UINT stateMask, LPARAM param, HTREEITEM parent, HTREEITEM after) {
  return InsertItemColumns(mask, text ? text : "", image, selectedImage, state, stateMask, param, parent, after);
}

HTREEITEM CColumnTreeCtrl::InsertItemColumns(UINT mask, std::string columns, int image, int selectedImage,
                                             UINT state, UINT stateMask, LPARAM param, HTREEITEM parent,
                                             HTREEITEM after) {
  auto* obj = new CColumnTreeItem;
  obj->text = std::move(columns);
  obj->userData = param;
  TVINSERTSTRUCTA is = {};
  is.hParent = parent;
  is.hInsertAfter = after;
  is.item.mask = mask | TVIF_TEXT | TVIF_PARAM;
  is.item.pszText = const_cast<char*>("");
  is.item.iImage = image;
  is.item.iSelectedImage = selectedImage;
  is.item.state = state;
  is.item.stateMask = stateMask;
  is.item.lParam = reinterpret_cast<LPARAM>(obj);
  auto item = rows_ ? rows_->Insert(is)
                    : reinterpret_cast<HTREEITEM>(::SendMessageA(m_hWnd, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&is)));
  if (!item) {
    delete obj;
    return nullptr;
  }
  ++itemCount_;
  return item;
}

HTREEITEM CColumnTreeCtrl::InsertItem(const char* text, int image, int selectedImage, HTREEITEM parent,
                                      HTREEITEM after) {
  return InsertItem(TVIF_IMAGE | TVIF_SELECTEDIMAGE, text, image, selectedImage, 0, 0, 0, parent, after);
}

HTREEITEM CColumnTreeCtrl::InsertItem(const char* text, HTREEITEM parent, HTREEITEM after) {
  return InsertItem(0, text, 0, 0, 0, 0, 0, parent, after);
}

CColumnTreeItem* CColumnTreeCtrl::GetItemObject(HTREEITEM item) const {
  if (!item) return nullptr;
  if (rows_) {
    controls::RowTreeItem* row = rows_->Item(item);
    return row ? reinterpret_cast<CColumnTreeItem*>(row->param) : nullptr;
  }
  TVITEMA it = {};
  it.mask = TVIF_PARAM;
  it.hItem = item;
  if (!::SendMessageA(m_hWnd, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it))) return nullptr;
  return reinterpret_cast<CColumnTreeItem*>(it.lParam);
}

LPARAM CColumnTreeCtrl::GetItemUserData(HTREEITEM item) const {
  CColumnTreeItem* obj = GetItemObject(item);
  return obj ? obj->userData : 0;
}

BOOL CColumnTreeCtrl::SetItemText(HTREEITEM item, int column, const char* text) {
  CColumnTreeItem* obj = GetItemObject(item);
  if (!obj) return FALSE;
  controls::SetColumnText(&obj->text, column, text ? text : "", obj->separator);
  if (rows_) {
    rows_->Repaint();
    return TRUE;
  }
  RECT row;
  if (TreeView_GetItemRect(m_hWnd, item, &row, FALSE)) ::InvalidateRect(m_hWnd, &row, FALSE);
  return TRUE;
}

CString CColumnTreeCtrl::GetItemText(HTREEITEM item, int column) const {
  CColumnTreeItem* obj = GetItemObject(item);
  return obj ? CString(controls::ColumnText(obj->text, column, obj->separator)) : CString();
}

BOOL CColumnTreeCtrl::SetItemStateAndPropagate(HTREEITEM item, UINT state, UINT mask, BOOL propagate) {
  TVITEMA it = {};
  it.mask = TVIF_STATE;
  it.hItem = item;
  it.state = state;
  it.stateMask = mask;
  BOOL ok = static_cast<BOOL>(::SendMessageA(m_hWnd, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it)));
  int v = static_cast<int>((state & TVIS_STATEIMAGEMASK) >> 12);
  if (ok && propagate && (mask & TVIS_STATEIMAGEMASK)) {
    TreeDrawingOff bulk(m_hWnd);
    TreeViewChecks t{m_hWnd};
    controls::PropagateTreeListCheck(t, item, v);
  }
  return ok;
}

void CColumnTreeCtrl::CheckAllTopLevel(BOOL check) {
  TreeDrawingOff bulk(m_hWnd);
  TreeViewChecks t{m_hWnd};
  controls::CheckAllTopLevel(t, check != FALSE);
}

HTREEITEM CColumnTreeCtrl::FindNextItemWithState(HTREEITEM start, BOOL withChildrenOnly, int stateImage) {
  TreeViewChecks t{m_hWnd};
  return controls::FindNextItemWithCheck(t, start, withChildrenOnly != FALSE, stateImage);
}

void CColumnTreeCtrl::ToggleCheck(HTREEITEM item) {
  TreeViewChecks t{m_hWnd};
  int s = t.Check(item);
  if (!controls::IsToggleableCheck(s)) return;
  TreeDrawingOff bulk(m_hWnd);
  controls::SetTreeListCheck(t, item, controls::ToggledCheck(s));
}

// The objects are freed when the tree reports each deleted item
// (TVN_DELETEITEM, handled by CTreeListCtrl), so a folder's whole subtree is
// freed with it.
BOOL CColumnTreeCtrl::DeleteItem(HTREEITEM item) {
  if (!item) return FALSE;
  return static_cast<BOOL>(::SendMessageA(m_hWnd, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)));
}

BOOL CColumnTreeCtrl::DeleteTopLevelItem(int n) {
  HTREEITEM item = TreeView_GetRoot(m_hWnd);
  for (int i = 0; i < n && item; ++i) item = TreeView_GetNextSibling(m_hWnd, item);
  return DeleteItem(item);
}

BOOL CColumnTreeCtrl::DeleteAllItems() {
  HCURSOR old = ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
  BOOL ok = rows_ ? rows_->Delete(TVI_ROOT)
                  : static_cast<BOOL>(::SendMessageA(m_hWnd, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)));
  ::SetCursor(old);
  itemCount_ = 0;
  RecalcHorizontalRange();
  return ok;
}

void CColumnTreeCtrl::OnDeleteItemReflect(NMHDR* hdr, LRESULT* result) {
  auto* nm = reinterpret_cast<NMTREEVIEWA*>(hdr);
  delete reinterpret_cast<CColumnTreeItem*>(nm->itemOld.lParam);
  if (itemCount_ > 0) --itemCount_;
  *result = 0;
}

int CColumnTreeCtrl::GetColumnWidth(int column) const {
  HDITEMA hi = {};
  hi.mask = HDI_WIDTH;
  if (!::SendMessageA(m_header.m_hWnd, HDM_GETITEMA, column, reinterpret_cast<LPARAM>(&hi))) return 0;
  return hi.cxy;
}

int CColumnTreeCtrl::GetTotalColumnWidth() {
  int n = static_cast<int>(::SendMessageA(m_header.m_hWnd, HDM_GETITEMCOUNT, 0, 0));
  int total = 0;
  for (int i = 0; i < n; ++i) total += GetColumnWidth(i);
  totalWidth_ = total;
  return total;
}

int CColumnTreeCtrl::GetColumnAlign(int column) const {
  HDITEMA hi = {};
  hi.mask = HDI_FORMAT;
  if (!::SendMessageA(m_header.m_hWnd, HDM_GETITEMA, column, reinterpret_cast<LPARAM>(&hi))) return 0;
  if (hi.fmt & HDF_RIGHT) return 1;
  if (hi.fmt & HDF_CENTER) return 2;
  return 0;
}

int CColumnTreeCtrl::SetColumnWidth(int column, int width) {
  int n = static_cast<int>(::SendMessageA(m_header.m_hWnd, HDM_GETITEMCOUNT, 0, 0));
  if (width < 1 && column >= n) return 0;
  HDITEMA hi = {};
  hi.mask = HDI_WIDTH;
  hi.cxy = width;
  ::SendMessageA(m_header.m_hWnd, HDM_SETITEMA, column, reinterpret_cast<LPARAM>(&hi));
  GetTotalColumnWidth();
  RecalcHorizontalRange();
  ::InvalidateRect(m_hWnd, nullptr, FALSE);
  return 1;
}

bool CColumnTreeCtrl::HasHorizontalRange() const {
  SCROLLINFO si = {sizeof si, SIF_RANGE};
  if (!::GetScrollInfo(m_hWnd, SB_HORZ, &si)) return false;
  return si.nMax > si.nMin;
}

void CColumnTreeCtrl::MoveHeader() {
  if (!m_header.m_hWnd) return;
  int w = WindowWidth(m_hWnd);
  ::SetWindowPos(m_header.m_hWnd, nullptr, offset_, 0, std::max(w - offset_, totalWidth_),
                 WindowHeight(m_header.m_hWnd), SWP_NOZORDER | SWP_SHOWWINDOW);
}

void CColumnTreeCtrl::RecalcHorizontalRange() {
  if (!m_hWnd) return;
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  int w = client.right, t = GetTotalColumnWidth();
  SCROLLINFO si = {sizeof si};
  if (t <= w) {
    offset_ = 0;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    ::SetScrollInfo(m_hWnd, SB_HORZ, &si, TRUE);
    if (m_header.m_hWnd)
      ::SetWindowPos(m_header.m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    return;
  }
  int pos = std::min(-offset_, t - w);
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  si.nMin = 0;
  si.nMax = t;
  si.nPage = static_cast<UINT>(w);
  si.nPos = pos;
  ::SetScrollInfo(m_hWnd, SB_HORZ, &si, TRUE);
  offset_ = -pos;
  MoveHeader();
}

void CColumnTreeCtrl::OnHScroll(UINT code, UINT, CScrollBar* bar) {
  if (bar) {
    Default();
    return;
  }
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  SCROLLINFO si = {sizeof si, SIF_ALL};
  ::GetScrollInfo(m_hWnd, SB_HORZ, &si);
  int last = std::max(0, si.nMax - static_cast<int>(si.nPage) + 1);
  int pos = si.nPos;
  switch (code) {
    case SB_LINELEFT: pos = std::max(0, pos - kScrollLine); break;
    case SB_LINERIGHT: pos += kScrollLine; break;
    case SB_PAGELEFT: pos = std::max(0, pos - static_cast<int>(client.right)); break;
    case SB_PAGERIGHT: pos += static_cast<int>(client.right); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: pos = si.nTrackPos; break;
    case SB_LEFT: pos = 0; break;
    case SB_RIGHT: pos = last; break;
    default: return;
  }
  pos = std::min(pos, last);
  si.fMask = SIF_POS;
  si.nPos = pos;
  ::SetScrollInfo(m_hWnd, SB_HORZ, &si, TRUE);
  offset_ = -pos;
  MoveHeader();
  ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CColumnTreeCtrl::OnLButtonDown(UINT, CPoint point) {
  TVHITTESTINFO ht = {};
  ht.pt = point;
  HTREEITEM item = TreeView_HitTest(m_hWnd, &ht);
  lastHitFlags_ = ht.flags;
  if (item) {
    TreeView_SelectItem(m_hWnd, item);
    if (ht.flags & TVHT_ONITEMSTATEICON) ToggleCheck(item);
  }
  bool had = HasHorizontalRange();
  Default();  // the tree's own click handling (it sends NM_CLICK)
  if (had != HasHorizontalRange()) RecalcHorizontalRange();
}

void CColumnTreeCtrl::OnLButtonDblClk(UINT, CPoint point) {
  TVHITTESTINFO ht = {};
  ht.pt = point;
  HTREEITEM item = TreeView_HitTest(m_hWnd, &ht);
  if (item && TreeView_GetChild(m_hWnd, item)) {
    bool had = HasHorizontalRange();
    TreeView_Expand(m_hWnd, item, TVE_TOGGLE);
    if (had != HasHorizontalRange()) RecalcHorizontalRange();
  }
}

void CColumnTreeCtrl::OnKeyDown(UINT key, UINT, UINT) {
  if (key == VK_SPACE) {
    if (HTREEITEM sel = TreeView_GetSelection(m_hWnd)) ToggleCheck(sel);
    return;
  }
  Default();
}

BOOL CColumnTreeCtrl::OnEraseBkgnd(CDC*) { return TRUE; }

void CColumnTreeCtrl::OnPaint() {
  PAINTSTRUCT ps;
  HDC screen = ::BeginPaint(m_hWnd, &ps);
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  HDC mem = ::CreateCompatibleDC(screen);
  HBITMAP bmp = ::CreateCompatibleBitmap(screen, std::max(1L, client.right), std::max(1L, client.bottom));
  HGDIOBJ oldBmp = ::SelectObject(mem, bmp);
  ::IntersectClipRect(mem, 0, 0, client.right, client.bottom);
  ::FillRect(mem, &client, ::GetSysColorBrush(COLOR_WINDOW));
  // The tree paints lines, buttons, boxes and images into our DC.
  DefWindowProc(WM_PAINT, reinterpret_cast<WPARAM>(mem), 0);
  PaintColumns(mem, client);
  ::BitBlt(screen, 0, 0, client.right, client.bottom, mem, 0, 0, SRCCOPY);
  ::SelectObject(mem, oldBmp);
  ::DeleteObject(bmp);
  ::DeleteDC(mem);
  ::EndPaint(m_hWnd, &ps);
}

void CColumnTreeCtrl::DrawCell(HDC dc, const std::string& text, RECT cell, int align) {
  int width = cell.right - cell.left;
  if (text.empty() || width <= 0) return;
  std::string shown = controls::FitWithEllipsis(text, width - 8, [dc](const char* s, int n) {
    SIZE sz = {};
    ::GetTextExtentPoint32A(dc, s, n, &sz);
    return static_cast<int>(sz.cx);
  });
  static const UINT kAlign[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
  cell.right = cell.left + width - 4;
  ::DrawTextA(dc, shown.c_str(), static_cast<int>(shown.size()), &cell,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | kAlign[(align >= 0 && align <= 2) ? align : 0]);
}

void CColumnTreeCtrl::PaintColumns(HDC dc, const RECT& client) {
  LOGFONTA lf;
  HFONT treeFont = reinterpret_cast<HFONT>(::SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
  HFONT font = nullptr;
  if (treeFont && ::GetObjectA(treeFont, sizeof lf, &lf)) font = ::CreateFontIndirectA(&lf);
  HGDIOBJ oldFont = font ? ::SelectObject(dc, font) : nullptr;
  ::SetBkMode(dc, TRANSPARENT);

  int n = static_cast<int>(::SendMessageA(m_header.m_hWnd, HDM_GETITEMCOUNT, 0, 0));
  std::vector<int> widths(n), aligns(n);
  for (int i = 0; i < n; ++i) {
    widths[i] = GetColumnWidth(i);
    aligns[i] = GetColumnAlign(i);
  }
  int total = 0;
  for (int w : widths) total += w;
  int visible = static_cast<int>(::SendMessageA(m_hWnd, TVM_GETVISIBLECOUNT, 0, 0)) + 1;
  HTREEITEM item = TreeView_GetFirstVisible(m_hWnd);
  for (int row = 0; item && row < visible; ++row, item = TreeView_GetNextVisible(m_hWnd, item)) {
    CColumnTreeItem* obj = GetItemObject(item);
    if (!obj) break;
    RECT whole, label;
    if (!TreeView_GetItemRect(m_hWnd, item, &whole, FALSE)) break;
    if (whole.top >= client.bottom) break;
    TreeView_GetItemRect(m_hWnd, item, &label, TRUE);
    int col0Right = offset_ + (n > 0 ? widths[0] : client.right);
    bool selected = (TreeView_GetItemState(m_hWnd, item, TVIS_SELECTED) & TVIS_SELECTED) != 0;
    if (selected) {
      RECT hl = {std::min<LONG>(label.left, n > 1 ? col0Right : label.left), whole.top, offset_ + total, whole.bottom};
      ::FillRect(dc, &hl, ::GetSysColorBrush(COLOR_HIGHLIGHT));
      ::DrawFocusRect(dc, &hl);
      ::SetTextColor(dc, ::GetSysColor(COLOR_HIGHLIGHTTEXT));
    } else {
      ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    }
    RECT cell = {label.left + 2, whole.top, n > 1 ? std::min<LONG>(col0Right, client.right) : whole.right, whole.bottom};
    if (n <= 1) cell.right = std::max<LONG>(cell.right, client.right);
    DrawCell(dc, controls::ColumnText(obj->text, 0, obj->separator), cell, n > 0 ? aligns[0] : 0);
    int x = offset_;
    for (int i = 1; i < n; ++i) {
      x += widths[i - 1];
      RECT c = {x, whole.top, x + widths[i] - 2, whole.bottom};
      DrawCell(dc, controls::ColumnText(obj->text, i, obj->separator), c, aligns[i]);
    }
  }
  if (oldFont) ::SelectObject(dc, oldFont);
  if (font) ::DeleteObject(font);
}

// ---- CTreeListCtrl -------------------------------------------------------

BEGIN_MESSAGE_MAP(CTreeListCtrl, CWnd)
  ON_WM_SIZE()
END_MESSAGE_MAP()

BOOL CTreeListCtrl::SubclassDlgItem(UINT id, CWnd* parent) {
  if (!CWnd::SubclassDlgItem(id, parent)) return FALSE;
  RECT client;
  ::GetClientRect(m_hWnd, &client);

  RECT none = {0, 0, 0, 0};
  m_tree.m_header.CWnd::Create(WC_HEADERA, "", WS_CHILD | WS_VISIBLE | HDS_HORZ, none, this, IDC_TREELIST_HEADER);

  LOGFONTA lf = {};
  HFONT dlgFont = parent ? parent->GetFont() : nullptr;
  if (!dlgFont || !::GetObjectA(dlgFont, sizeof lf, &lf)) ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
  m_tree.m_font.CreateFontIndirect(&lf);
  m_tree.m_header.SetFont(&m_tree.m_font, TRUE);

  HDC dc = ::GetDC(m_hWnd);
  HGDIOBJ old = ::SelectObject(dc, m_tree.m_font);
  SIZE a = {};
  ::GetTextExtentPoint32A(dc, "A", 1, &a);
  ::SelectObject(dc, old);
  ::ReleaseDC(m_hWnd, dc);
  int headerHeight = a.cy + 6;
  ::SetWindowPos(m_tree.m_header.m_hWnd, nullptr, 0, 0, client.right, headerHeight, SWP_NOZORDER);

  // TVS_NOHSCROLL: the tree's labels are empty, so its own horizontal bar
  // would fight ours; the columns scroll through RecalcHorizontalRange.
  DWORD style = WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_DISABLEDRAGDROP |
                TVS_SHOWSELALWAYS | TVS_CHECKBOXES | TVS_FULLROWSELECT | TVS_NOHSCROLL;
  RECT treeRect = {0, headerHeight, client.right, std::max<LONG>(headerHeight, client.bottom)};
  RegisterRowTreeClass(AfxGetInstanceHandle());
  m_tree.CWnd::Create(kRowTreeClass, "", style, treeRect, this, IDC_TREELIST_TREE);
  m_tree.rows_ = controls::RowTreeOf(m_tree.m_hWnd);
  if (m_tree.rows_) m_tree.rows_->SetParamDeleter(&DeleteRowObject);
  m_tree.SetFont(&m_tree.m_font, FALSE);

  m_tree.m_checkImages.Create(IDB_TREE_CHECKBOXES, itemHeight_, 1, RGB(255, 0, 255));
  m_tree.m_itemImages.Create(itemImageSize_, itemImageSize_, ILC_COLOR24 | ILC_MASK, itemImageCount_, 0);
  CBitmap rows;
  if (rows.LoadBitmap(itemBitmapId_)) m_tree.m_itemImages.Add(&rows, maskColour_);
  TreeView_SetImageList(m_tree.m_hWnd, m_tree.m_itemImages.m_hImageList, TVSIL_NORMAL);
  TreeView_SetImageList(m_tree.m_hWnd, m_tree.m_checkImages.m_hImageList, TVSIL_STATE);
  TreeView_SetItemHeight(m_tree.m_hWnd, itemHeight_);
  return TRUE;
}

HIMAGELIST CTreeListCtrl::SetImageList(CImageList* list, int type) {
  return SetImageList(list ? list->m_hImageList : nullptr, type);
}

HIMAGELIST CTreeListCtrl::SetImageList(HIMAGELIST list, int type) {
  return TreeView_SetImageList(m_tree.m_hWnd, list, type);
}

namespace {
void ExpandSubtree(HWND tree, HTREEITEM item, UINT code) {
  for (HTREEITEM c = TreeView_GetChild(tree, item); c; c = TreeView_GetNextSibling(tree, c)) {
    if (TreeView_GetChild(tree, c)) {
      ExpandSubtree(tree, c, code);
      TreeView_Expand(tree, c, code);
    }
  }
}
}  // namespace

void CTreeListCtrl::ExpandAll(BOOL expand) {
  HWND tree = m_tree.m_hWnd;
  if (m_tree.rows_) {
    m_tree.rows_->ExpandAll(expand != FALSE);
  } else {
    UINT code = expand ? TVE_EXPAND : TVE_COLLAPSE;
    TreeDrawingOff bulk(tree);
    for (HTREEITEM r = TreeView_GetRoot(tree); r; r = TreeView_GetNextSibling(tree, r)) {
      if (!TreeView_GetChild(tree, r)) continue;
      ExpandSubtree(tree, r, code);
      TreeView_Expand(tree, r, code);
    }
  }
  m_tree.RecalcHorizontalRange();
}

// Every notification of the header and the tree goes to the page first,
// unchanged (the page sees NM_CLICK from 373 and HDN_* from 337); then the
// tree-list does its own part.
LRESULT CTreeListCtrl::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_NOTIFY) return CWnd::WindowProc(msg, wp, lp);
  auto* hdr = reinterpret_cast<NMHDR*>(lp);
  if (HWND parent = ::GetParent(m_hWnd)) ::SendMessageA(parent, WM_NOTIFY, wp, lp);
  LRESULT result = 0;
  if (hdr->hwndFrom == m_tree.m_hWnd) {
    switch (hdr->code) {
      case NM_CLICK:
        // The tree must not toggle the box itself: the click already did.
        result = (m_tree.lastHitFlags_ & TVHT_ONITEMSTATEICON) ? 1 : 0;
        break;
      case TVN_ITEMEXPANDEDA:
      case TVN_ITEMEXPANDEDW:
        m_tree.RecalcHorizontalRange();
        break;
      case TVN_DELETEITEMA:
      case TVN_DELETEITEMW:
        m_tree.OnDeleteItemReflect(hdr, &result);
        break;
      default:
        break;
    }
  } else if (hdr->hwndFrom == m_tree.m_header.m_hWnd) {
    switch (hdr->code) {
      case HDN_ITEMCHANGINGA:
      case HDN_ITEMCHANGINGW:
      case HDN_ITEMCHANGEDA:
      case HDN_ITEMCHANGEDW:
        OnHeaderChanging(hdr, &result);
        break;
      default:
        break;
    }
  }
  return result;
}

void CTreeListCtrl::OnHeaderChanging(NMHDR*, LRESULT* result) {
  CColumnTreeCtrl& t = m_tree;
  int total = t.GetTotalColumnWidth();
  int w = WindowWidth(t.m_hWnd);
  if (w - t.offset_ > total) t.offset_ = w <= total ? w - total : 0;
  ::SetWindowPos(t.m_header.m_hWnd, nullptr, t.offset_, 0, std::max(w, WindowWidth(t.m_header.m_hWnd)),
                 WindowHeight(t.m_header.m_hWnd), SWP_NOZORDER | SWP_SHOWWINDOW);
  t.RecalcHorizontalRange();
  ::InvalidateRect(t.m_hWnd, nullptr, FALSE);
  *result = 0;
}

void CTreeListCtrl::OnSize(UINT, int cx, int cy) {
  CColumnTreeCtrl& t = m_tree;
  if (!t.m_hWnd || !t.m_header.m_hWnd) return;
  int hh = WindowHeight(t.m_header.m_hWnd);
  ::SetWindowPos(t.m_header.m_hWnd, nullptr, 0, 0, std::max(cx, WindowWidth(t.m_header.m_hWnd)), hh,
                 SWP_NOMOVE | SWP_NOZORDER);
  ::SetWindowPos(t.m_hWnd, nullptr, 0, 0, cx, std::max(0, cy - hh), SWP_NOMOVE | SWP_NOZORDER | SWP_SHOWWINDOW);
  t.RecalcHorizontalRange();
  ::InvalidateRect(t.m_header.m_hWnd, nullptr, TRUE);
}
