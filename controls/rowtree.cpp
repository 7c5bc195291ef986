#include "rowtree.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <new>

const char kRowTreeClass[] = "MERLO_ROW_TREE";

namespace controls {

namespace {

constexpr uint32_t kLive = 0x52545249;   // a live item's mark
constexpr size_t kBlockItems = 4096;
constexpr uint16_t kMaxDepth = 0xFFFF;
constexpr int kButtonSize = 9;

bool Special(HTREEITEM h) {
  return h == TVI_ROOT || h == TVI_FIRST || h == TVI_LAST || h == TVI_SORT || h == nullptr;
}

int StateIndex(uint32_t state) { return static_cast<int>((state & TVIS_STATEIMAGEMASK) >> 12); }

LRESULT CALLBACK RowTreeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* tree = reinterpret_cast<RowTree*>(::GetWindowLongPtrA(hwnd, 0));
  if (msg == WM_NCCREATE) {
    tree = new (std::nothrow) RowTree(hwnd);
    if (!tree) return FALSE;
    ::SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(tree));
    return ::DefWindowProcA(hwnd, msg, wp, lp);
  }
  if (!tree) return ::DefWindowProcA(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    ::SetWindowLongPtrA(hwnd, 0, 0);
    delete tree;
    return ::DefWindowProcA(hwnd, msg, wp, lp);
  }
  return tree->Handle(msg, wp, lp);
}

ATOM gRowTreeAtom = 0;

}  // namespace

RowTree* RowTreeOf(HWND window) {
  if (!window || !gRowTreeAtom) return nullptr;
  if (static_cast<ATOM>(::GetClassLongPtrA(window, GCW_ATOM)) != gRowTreeAtom) return nullptr;
  return reinterpret_cast<RowTree*>(::GetWindowLongPtrA(window, 0));
}

RowTree::~RowTree() {
  for (auto& block : blocks_)
    for (size_t i = 0; i < kBlockItems; ++i) delete[] block[i].text;
}

// ---- items --------------------------------------------------------------------

RowTreeItem* RowTree::Item(HTREEITEM h) const {
  if (Special(h) || blockStarts_.empty()) return nullptr;
  auto* p = reinterpret_cast<const RowTreeItem*>(h);
  // The block that would hold it: the last one starting at or before it.
  auto it = std::upper_bound(blockStarts_.begin(), blockStarts_.end(), p, std::less<const RowTreeItem*>());
  if (it == blockStarts_.begin()) return nullptr;
  const RowTreeItem* start = *(it - 1);
  const uintptr_t offset = reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(start);
  if (offset >= kBlockItems * sizeof(RowTreeItem) || offset % sizeof(RowTreeItem) != 0) return nullptr;
  RowTreeItem* item = const_cast<RowTreeItem*>(p);
  return item->mark == kLive ? item : nullptr;
}

RowTreeItem* RowTree::Allocate() {
  if (freeList_) {
    RowTreeItem* item = freeList_;
    freeList_ = item->next;
    *item = RowTreeItem();
    item->mark = kLive;
    return item;
  }
  if (blocks_.empty() || nextInBlock_ == kBlockItems) {
    std::unique_ptr<RowTreeItem[]> block(new (std::nothrow) RowTreeItem[kBlockItems]);
    if (!block) return nullptr;
    try {
      blocks_.reserve(blocks_.size() + 1);
      blockStarts_.reserve(blockStarts_.size() + 1);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    const RowTreeItem* start = block.get();
    blockStarts_.insert(std::upper_bound(blockStarts_.begin(), blockStarts_.end(), start,
                                         std::less<const RowTreeItem*>()),
                        start);
    blocks_.push_back(std::move(block));
    nextInBlock_ = 0;
  }
  RowTreeItem* item = &blocks_.back()[nextInBlock_++];
  item->mark = kLive;
  return item;
}

void RowTree::Free(RowTreeItem* item) {
  delete[] item->text;
  *item = RowTreeItem();
  item->next = freeList_;
  freeList_ = item;
}

HTREEITEM RowTree::Insert(const TVINSERTSTRUCTA& is) {
  RowTreeItem* parent = nullptr;
  if (is.hParent && is.hParent != TVI_ROOT) {
    parent = Item(is.hParent);
    if (!parent) return nullptr;
  }
  RowTreeItem* after = nullptr;   // null: first
  RowTreeItem*& first = parent ? parent->firstChild : firstRoot_;
  RowTreeItem*& last = parent ? parent->lastChild : lastRoot_;
  const TVITEMA& src = is.item;
  const char* text = (src.mask & TVIF_TEXT) && src.pszText && src.pszText != LPSTR_TEXTCALLBACKA ? src.pszText : "";
  if (is.hInsertAfter == TVI_FIRST) {
    after = nullptr;
  } else if (is.hInsertAfter == TVI_SORT) {
    after = nullptr;
    for (RowTreeItem* s = first; s && lstrcmpiA(s->text ? s->text : "", text) <= 0; s = s->next) after = s;
  } else if (is.hInsertAfter == TVI_LAST || is.hInsertAfter == TVI_ROOT || !is.hInsertAfter) {
    after = last;
  } else {
    after = Item(is.hInsertAfter);
    if (!after || after->parent != parent) after = last;   // not a sibling: at the end, as the tree view does
  }

  char* copy = nullptr;
  if (*text) {
    const size_t n = std::strlen(text);
    copy = new (std::nothrow) char[n + 1];
    if (!copy) return nullptr;
    std::memcpy(copy, text, n + 1);
  }
  RowTreeItem* item = Allocate();
  if (!item) {
    delete[] copy;
    return nullptr;
  }
  item->text = copy;
  item->parent = parent;
  if (src.mask & TVIF_PARAM) item->param = src.lParam;
  if (src.mask & TVIF_IMAGE) item->image = src.iImage;
  if (src.mask & TVIF_SELECTEDIMAGE) item->selectedImage = src.iSelectedImage;
  if (src.mask & TVIF_STATE) item->state = (src.state & src.stateMask) & ~static_cast<uint32_t>(TVIS_SELECTED);
  if (StateIndex(item->state) == 0 && (::GetWindowLongA(window_, GWL_STYLE) & TVS_CHECKBOXES))
    item->state |= INDEXTOSTATEIMAGEMASK(1);

  item->prev = after;
  item->next = after ? after->next : first;
  if (item->next) item->next->prev = item;
  else last = item;
  if (after) after->next = item;
  else first = item;
  ++count_;
  if (!parent || (parent->state & TVIS_EXPANDED)) Changed();
  else if (first == item && last == item) Repaint();   // the parent's button appears
  return reinterpret_cast<HTREEITEM>(item);
}

void RowTree::Unlink(RowTreeItem* item) {
  RowTreeItem*& first = item->parent ? item->parent->firstChild : firstRoot_;
  RowTreeItem*& last = item->parent ? item->parent->lastChild : lastRoot_;
  if (item->prev) item->prev->next = item->next;
  else first = item->next;
  if (item->next) item->next->prev = item->prev;
  else last = item->prev;
  item->next = item->prev = nullptr;
}

// Children before their parent, without recursion (a hostile volume can
// nest folders deeply).
void RowTree::DeleteSubtree(RowTreeItem* top) {
  RowTreeItem* cur = top;
  while (true) {
    while (cur->firstChild) cur = cur->firstChild;
    RowTreeItem* next = cur == top ? nullptr : (cur->next ? cur->next : cur->parent);
    if (cur != top) Unlink(cur);
    if (caret_ == cur) caret_ = nullptr;
    if (deleter_) {
      deleter_(cur->param);
    } else {
      NMTREEVIEWA nm = {};
      nm.action = 0;
      nm.itemOld.mask = TVIF_HANDLE | TVIF_PARAM;
      nm.itemOld.hItem = reinterpret_cast<HTREEITEM>(cur);
      nm.itemOld.lParam = cur->param;
      Notify(TVN_DELETEITEMA, &nm);
    }
    Free(cur);
    --count_;
    if (!next) break;
    cur = next;
  }
}

bool RowTree::Delete(HTREEITEM h) {
  if (h == TVI_ROOT || h == nullptr) {
    while (firstRoot_) {
      RowTreeItem* r = firstRoot_;
      Unlink(r);
      DeleteSubtree(r);
    }
    caret_ = nullptr;
    top_ = 0;
    Changed();
    return true;
  }
  RowTreeItem* item = Item(h);
  if (!item) return false;
  RowTreeItem* parent = item->parent;
  Unlink(item);
  DeleteSubtree(item);
  if (parent && !parent->firstChild) parent->state &= ~static_cast<uint32_t>(TVIS_EXPANDED);
  Changed();
  return true;
}

void RowTree::SetState(RowTreeItem* item, uint32_t state, uint32_t mask) {
  mask &= ~static_cast<uint32_t>(TVIS_SELECTED);
  const uint32_t was = item->state;
  item->state = (item->state & ~mask) | (state & mask);
  if ((was ^ item->state) & TVIS_EXPANDED) Changed();
  else if (was != item->state) Repaint();
}

int RowTree::Depth(const RowTreeItem* item) const {
  int d = 0;
  for (const RowTreeItem* p = item->parent; p; p = p->parent) ++d;
  return d;
}

// ---- rows shown -----------------------------------------------------------------

void RowTree::Changed() {
  rowsStale_ = true;
  Repaint();
}

void RowTree::Repaint() {
  if (paintPending_) return;
  if (!(::GetWindowLongA(window_, GWL_STYLE) & WS_VISIBLE)) return;
  paintPending_ = true;
  ::InvalidateRect(window_, nullptr, FALSE);
}

void RowTree::EnsureRows() {
  if (!rowsStale_) return;
  rowsStale_ = false;
  rows_.clear();
  depths_.clear();
  size_t depth = 0;
  for (RowTreeItem* cur = firstRoot_; cur;) {
    cur->row = static_cast<uint32_t>(rows_.size());
    try {
      rows_.push_back(cur);
      depths_.push_back(static_cast<uint16_t>(std::min<size_t>(depth, kMaxDepth)));
    } catch (const std::bad_alloc&) {
      break;   // the rows made so far are shown
    }
    if (cur->firstChild && (cur->state & TVIS_EXPANDED)) {
      cur = cur->firstChild;
      ++depth;
      continue;
    }
    while (cur && !cur->next) {
      cur = cur->parent;
      if (depth) --depth;
    }
    if (cur) cur = cur->next;
  }
  UpdateScroll();
}

int RowTree::VisibleCount() const {
  RECT c;
  ::GetClientRect(window_, &c);
  return std::max<int>(0, c.bottom / std::max(1, itemHeight_));
}

void RowTree::UpdateScroll() {
  const int rows = static_cast<int>(std::min<size_t>(rows_.size(), INT32_MAX));
  const int page = VisibleCount();
  top_ = std::max(0, std::min(top_, rows - std::max(1, page)));
  SCROLLINFO si = {sizeof si};
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = rows > 0 ? rows - 1 : 0;
  si.nPage = static_cast<UINT>(rows > page ? page : rows + 1);
  si.nPos = top_;
  ::SetScrollInfo(window_, SB_VERT, &si, TRUE);
}

void RowTree::ScrollTo(int top) {
  EnsureRows();
  const int rows = static_cast<int>(std::min<size_t>(rows_.size(), INT32_MAX));
  top = std::max(0, std::min(top, rows - std::max(1, VisibleCount())));
  if (top == top_) return;
  top_ = top;
  ::SetScrollPos(window_, SB_VERT, top_, TRUE);
  ::InvalidateRect(window_, nullptr, FALSE);
}

bool RowTree::RowOf(const RowTreeItem* item, int* row) {
  EnsureRows();
  if (!item || item->row >= rows_.size() || rows_[item->row] != item) return false;
  *row = static_cast<int>(item->row);
  return true;
}

bool RowTree::EnsureVisible(RowTreeItem* item) {
  if (!item) return false;
  for (RowTreeItem* p = item->parent; p; p = p->parent)
    if (!(p->state & TVIS_EXPANDED)) Expand(p, TVE_EXPAND, true);
  int row = 0;
  if (!RowOf(item, &row)) return false;
  const int page = std::max(1, VisibleCount());
  if (row < top_) ScrollTo(row);
  else if (row >= top_ + page) ScrollTo(row - page + 1);
  return true;
}

bool RowTree::Expand(RowTreeItem* item, UINT code, bool notify) {
  if (!item) return false;
  const bool open = (item->state & TVIS_EXPANDED) != 0;
  bool want = open;
  switch (code & 3) {
    case TVE_EXPAND: want = true; break;
    case TVE_COLLAPSE: want = false; break;
    case TVE_TOGGLE: want = !open; break;
    default: return false;
  }
  if (want && !item->firstChild) return false;
  if (want == open) return true;
  if (!want && caret_) {
    // A selection inside a branch that closes moves to the branch.
    for (RowTreeItem* p = caret_->parent; p; p = p->parent)
      if (p == item) {
        Select(item, TVC_UNKNOWN);
        break;
      }
  }
  if (want) item->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
  else item->state &= ~static_cast<uint32_t>(TVIS_EXPANDED);
  Changed();
  if (notify) {
    NMTREEVIEWA nm = {};
    nm.action = want ? TVE_EXPAND : TVE_COLLAPSE;
    nm.itemNew.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
    nm.itemNew.hItem = reinterpret_cast<HTREEITEM>(item);
    nm.itemNew.state = item->state;
    nm.itemNew.lParam = item->param;
    Notify(TVN_ITEMEXPANDEDA, &nm);
  }
  return true;
}

void RowTree::ExpandAll(bool expand) {
  for (RowTreeItem* cur = firstRoot_; cur;) {
    if (cur->firstChild) {
      if (expand) cur->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
      else cur->state &= ~static_cast<uint32_t>(TVIS_EXPANDED);
      cur = cur->firstChild;
      continue;
    }
    while (cur && !cur->next) cur = cur->parent;
    if (cur) cur = cur->next;
  }
  if (!expand && caret_) {
    RowTreeItem* top = caret_;
    while (top->parent) top = top->parent;
    if (top != caret_) Select(top, TVC_UNKNOWN);
  }
  Changed();
}

void RowTree::Select(RowTreeItem* item, UINT action) {
  if (item == caret_) return;
  NMTREEVIEWA nm = {};
  nm.action = action;
  nm.itemOld.mask = nm.itemNew.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
  nm.itemOld.hItem = reinterpret_cast<HTREEITEM>(caret_);
  if (caret_) {
    nm.itemOld.state = caret_->state;
    nm.itemOld.lParam = caret_->param;
  }
  nm.itemNew.hItem = reinterpret_cast<HTREEITEM>(item);
  if (item) {
    nm.itemNew.state = item->state;
    nm.itemNew.lParam = item->param;
  }
  if (Notify(TVN_SELCHANGINGA, &nm)) return;
  // The receiver may have deleted either item meanwhile.
  if (item && !Item(reinterpret_cast<HTREEITEM>(item))) return;
  caret_ = item;
  Repaint();
  Notify(TVN_SELCHANGEDA, &nm);
}

// ---- geometry -----------------------------------------------------------------

RowTree::Offsets RowTree::OffsetsOf(const RowTreeItem* item, int depth) {
  const int atRoot = (::GetWindowLongA(window_, GWL_STYLE) & TVS_LINESATROOT) ? 1 : 0;
  Offsets o;
  o.lines = indent_ * (depth + atRoot - 1);
  o.state = o.lines + indent_;
  int cx = 0, cy = 0;
  if (stateImages_ && StateIndex(item->state) && ImageList_GetIconSize(stateImages_, &cx, &cy)) o.image = o.state + cx;
  else o.image = o.state;
  o.text = o.image;
  if (normalImages_ && ImageList_GetIconSize(normalImages_, &cx, &cy)) o.text += cx;
  int width = 2;
  if (item->text && *item->text) {
    HDC dc = ::GetDC(window_);
    HGDIOBJ old = font_ ? ::SelectObject(dc, font_) : nullptr;
    SIZE size = {};
    ::GetTextExtentPoint32A(dc, item->text, static_cast<int>(std::strlen(item->text)), &size);
    if (old) ::SelectObject(dc, old);
    ::ReleaseDC(window_, dc);
    width = static_cast<int>(size.cx) + 4;
  }
  o.textRight = o.text + width;
  return o;
}

bool RowTree::ItemRect(RowTreeItem* item, bool label, RECT* out) {
  int row = 0;
  if (!RowOf(item, &row)) return false;
  const int y = (row - top_) * itemHeight_;
  RECT c;
  ::GetClientRect(window_, &c);
  if (label) {
    const Offsets o = OffsetsOf(item, depths_[static_cast<size_t>(row)]);
    *out = RECT{o.text, y, o.textRight, y + itemHeight_};
  } else {
    *out = RECT{0, y, c.right, y + itemHeight_};
  }
  return true;
}

HTREEITEM RowTree::HitTest(TVHITTESTINFO* ht) {
  ht->hItem = nullptr;
  ht->flags = 0;
  RECT c;
  ::GetClientRect(window_, &c);
  const POINT p = ht->pt;
  if (p.x < 0) ht->flags |= TVHT_TOLEFT;
  if (p.x >= c.right) ht->flags |= TVHT_TORIGHT;
  if (p.y < 0) ht->flags |= TVHT_ABOVE;
  if (p.y >= c.bottom) ht->flags |= TVHT_BELOW;
  if (ht->flags) return nullptr;
  EnsureRows();
  const int64_t row = top_ + static_cast<int64_t>(p.y) / std::max(1, itemHeight_);
  if (row >= static_cast<int64_t>(rows_.size())) {
    ht->flags = TVHT_NOWHERE;
    return nullptr;
  }
  RowTreeItem* item = rows_[static_cast<size_t>(row)];
  const Offsets o = OffsetsOf(item, depths_[static_cast<size_t>(row)]);
  if (p.x < o.lines) ht->flags = TVHT_ONITEMINDENT;
  else if (p.x < o.state) ht->flags = item->firstChild ? TVHT_ONITEMBUTTON : TVHT_ONITEMINDENT;
  else if (p.x < o.image) ht->flags = TVHT_ONITEMSTATEICON;
  else if (p.x < o.text) ht->flags = TVHT_ONITEMICON;
  else if (p.x < o.textRight) ht->flags = TVHT_ONITEMLABEL;
  else ht->flags = TVHT_ONITEMRIGHT;
  ht->hItem = reinterpret_cast<HTREEITEM>(item);
  return ht->hItem;
}

// ---- drawing -------------------------------------------------------------------

void RowTree::Paint(HDC dc) {
  paintPending_ = false;
  EnsureRows();
  RECT c;
  ::GetClientRect(window_, &c);
  const LONG style = ::GetWindowLongA(window_, GWL_STYLE);
  HGDIOBJ oldFont = font_ ? ::SelectObject(dc, font_) : nullptr;
  HPEN pen = ::CreatePen(PS_DOT, 1, ::GetSysColor(COLOR_GRAYTEXT));
  HPEN boxPen = ::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_GRAYTEXT));
  HPEN textPen = ::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_WINDOWTEXT));
  HGDIOBJ oldPen = ::SelectObject(dc, pen);
  ::SetBkMode(dc, TRANSPARENT);
  const int page = VisibleCount() + 1;
  for (int i = 0; i < page && static_cast<size_t>(top_ + i) < rows_.size(); ++i) {
    const size_t row = static_cast<size_t>(top_ + i);
    RowTreeItem* item = rows_[row];
    const int depth = depths_[row];
    const int y = i * itemHeight_;
    const int mid = y + itemHeight_ / 2;
    const Offsets o = OffsetsOf(item, depth);
    if (style & TVS_HASLINES) {
      ::SelectObject(dc, pen);
      const int x = o.lines + indent_ / 2;
      // This item's own stub and its part of its parent's line.
      if (o.lines + indent_ > 0) {
        ::MoveToEx(dc, x, (item->prev || item->parent) ? y : mid, nullptr);
        ::LineTo(dc, x, item->next ? y + itemHeight_ : mid);
        ::MoveToEx(dc, x, mid, nullptr);
        ::LineTo(dc, o.state, mid);
      }
      // The lines of the ancestors that have rows still to come.
      int ax = x - indent_;
      for (RowTreeItem* a = item->parent; a && ax > -indent_; a = a->parent, ax -= indent_) {
        if (a->next) {
          ::MoveToEx(dc, ax, y, nullptr);
          ::LineTo(dc, ax, y + itemHeight_);
        }
      }
    }
    if ((style & TVS_HASBUTTONS) && item->firstChild) {
      const int bx = o.lines + (indent_ - kButtonSize) / 2, by = mid - kButtonSize / 2;
      RECT box = {bx, by, bx + kButtonSize, by + kButtonSize};
      ::FillRect(dc, &box, ::GetSysColorBrush(COLOR_WINDOW));
      ::SelectObject(dc, boxPen);
      ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
      ::Rectangle(dc, box.left, box.top, box.right, box.bottom);
      ::SelectObject(dc, textPen);
      ::MoveToEx(dc, bx + 2, mid, nullptr);
      ::LineTo(dc, bx + kButtonSize - 2, mid);
      if (!(item->state & TVIS_EXPANDED)) {
        ::MoveToEx(dc, bx + kButtonSize / 2, by + 2, nullptr);
        ::LineTo(dc, bx + kButtonSize / 2, by + kButtonSize - 2);
      }
    }
    int cx = 0, cy = 0;
    if (stateImages_ && StateIndex(item->state) && ImageList_GetIconSize(stateImages_, &cx, &cy))
      ImageList_Draw(stateImages_, StateIndex(item->state), dc, o.state, y + (itemHeight_ - cy) / 2, ILD_TRANSPARENT);
    if (normalImages_ && ImageList_GetIconSize(normalImages_, &cx, &cy)) {
      const int image = item == caret_ ? item->selectedImage : item->image;
      ImageList_Draw(normalImages_, image, dc, o.image, y + (itemHeight_ - cy) / 2, ILD_TRANSPARENT);
    }
    if (item->text && *item->text) {
      RECT t = {o.text + 2, y, c.right, y + itemHeight_};
      if (item == caret_) {
        RECT hl = {o.text, y, o.textRight, y + itemHeight_};
        ::FillRect(dc, &hl, ::GetSysColorBrush(COLOR_HIGHLIGHT));
        ::SetTextColor(dc, ::GetSysColor(COLOR_HIGHLIGHTTEXT));
      } else {
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
      }
      ::DrawTextA(dc, item->text, -1, &t, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
    }
  }
  ::SelectObject(dc, oldPen);
  ::DeleteObject(pen);
  ::DeleteObject(boxPen);
  ::DeleteObject(textPen);
  if (oldFont) ::SelectObject(dc, oldFont);
}

// ---- notifications and input ----------------------------------------------------

LRESULT RowTree::Notify(UINT code, NMTREEVIEWA* nm) {
  nm->hdr.hwndFrom = window_;
  nm->hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(window_));
  nm->hdr.code = code;
  HWND parent = ::GetParent(window_);
  return parent ? ::SendMessageA(parent, WM_NOTIFY, nm->hdr.idFrom, reinterpret_cast<LPARAM>(nm)) : 0;
}

LRESULT RowTree::NotifyPlain(UINT code) {
  NMHDR hdr = {window_, static_cast<UINT_PTR>(::GetDlgCtrlID(window_)), code};
  HWND parent = ::GetParent(window_);
  return parent ? ::SendMessageA(parent, WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr)) : 0;
}

void RowTree::OnButtonDown(LPARAM lp, bool doubleClick) {
  if (::GetFocus() != window_) ::SetFocus(window_);
  TVHITTESTINFO ht = {};
  ht.pt = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  RowTreeItem* item = Item(HitTest(&ht));
  if (item && (ht.flags & TVHT_ONITEMBUTTON)) {
    Expand(item, TVE_TOGGLE, true);
    return;
  }
  if (item && (ht.flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON | TVHT_ONITEMRIGHT |
                           TVHT_ONITEMINDENT)))
    Select(item, TVC_BYMOUSE);
  const LRESULT handled = NotifyPlain(doubleClick ? NM_DBLCLK : NM_CLICK);
  item = Item(ht.hItem);   // the receiver may have deleted it
  if (handled || !item) return;
  if (ht.flags & TVHT_ONITEMSTATEICON) {
    if (!doubleClick && (::GetWindowLongA(window_, GWL_STYLE) & TVS_CHECKBOXES)) {
      const int s = StateIndex(item->state);
      SetState(item, INDEXTOSTATEIMAGEMASK(s == 2 ? 1 : 2), TVIS_STATEIMAGEMASK);
    }
  } else if (doubleClick) {
    Expand(item, TVE_TOGGLE, true);
  }
}

void RowTree::OnKey(UINT key) {
  EnsureRows();
  if (rows_.empty()) return;
  int row = 0;
  const bool placed = RowOf(caret_, &row);
  const int last = static_cast<int>(rows_.size()) - 1;
  const int page = std::max(1, VisibleCount());
  int target = -1;
  switch (key) {
    case VK_UP: target = placed ? std::max(0, row - 1) : 0; break;
    case VK_DOWN: target = placed ? std::min(last, row + 1) : 0; break;
    case VK_PRIOR: target = placed ? std::max(0, row - page + 1) : 0; break;
    case VK_NEXT: target = placed ? std::min(last, row + page - 1) : 0; break;
    case VK_HOME: target = 0; break;
    case VK_END: target = last; break;
    case VK_LEFT:
      if (!caret_) return;
      if ((caret_->state & TVIS_EXPANDED) && caret_->firstChild) Expand(caret_, TVE_COLLAPSE, true);
      else if (caret_->parent) Select(caret_->parent, TVC_BYKEYBOARD);
      break;
    case VK_RIGHT:
      if (!caret_ || !caret_->firstChild) return;
      if (!(caret_->state & TVIS_EXPANDED)) Expand(caret_, TVE_EXPAND, true);
      else Select(caret_->firstChild, TVC_BYKEYBOARD);
      break;
    case VK_ADD:
      if (caret_) Expand(caret_, TVE_EXPAND, true);
      break;
    case VK_SUBTRACT:
      if (caret_) Expand(caret_, TVE_COLLAPSE, true);
      break;
    default: return;
  }
  if (target >= 0) Select(rows_[static_cast<size_t>(target)], TVC_BYKEYBOARD);
  if (caret_) EnsureVisible(caret_);
}

// ---- item messages -------------------------------------------------------------

HTREEITEM RowTree::NextItem(UINT code, RowTreeItem* item) {
  auto h = [](RowTreeItem* i) { return reinterpret_cast<HTREEITEM>(i); };
  int row = 0;
  switch (code) {
    case TVGN_ROOT: return h(firstRoot_);
    case TVGN_CARET: return h(caret_);
    case TVGN_DROPHILITE: return nullptr;
    case TVGN_FIRSTVISIBLE:
      EnsureRows();
      return static_cast<size_t>(top_) < rows_.size() ? h(rows_[static_cast<size_t>(top_)]) : nullptr;
    case TVGN_LASTVISIBLE:
      EnsureRows();
      return rows_.empty() ? nullptr : h(rows_.back());
    default: break;
  }
  if (!item) return nullptr;
  switch (code) {
    case TVGN_NEXT: return h(item->next);
    case TVGN_PREVIOUS: return h(item->prev);
    case TVGN_PARENT: return h(item->parent);
    case TVGN_CHILD: return h(item->firstChild);
    case TVGN_NEXTVISIBLE:
      if (!RowOf(item, &row) || static_cast<size_t>(row) + 1 >= rows_.size()) return nullptr;
      return h(rows_[static_cast<size_t>(row) + 1]);
    case TVGN_PREVIOUSVISIBLE:
      if (!RowOf(item, &row) || row == 0) return nullptr;
      return h(rows_[static_cast<size_t>(row) - 1]);
    default: return nullptr;
  }
}

BOOL RowTree::GetItem(TVITEMA* it) {
  RowTreeItem* item = it ? Item(it->hItem) : nullptr;
  if (!item) return FALSE;
  if (it->mask & TVIF_TEXT) {
    if (it->pszText && it->cchTextMax > 0) {
      const char* text = item->text ? item->text : "";
      const size_t n = std::min<size_t>(std::strlen(text), static_cast<size_t>(it->cchTextMax) - 1);
      std::memcpy(it->pszText, text, n);
      it->pszText[n] = 0;
    }
  }
  if (it->mask & TVIF_PARAM) it->lParam = item->param;
  if (it->mask & TVIF_IMAGE) it->iImage = item->image;
  if (it->mask & TVIF_SELECTEDIMAGE) it->iSelectedImage = item->selectedImage;
  if (it->mask & TVIF_STATE) it->state = State(item) & it->stateMask;
  if (it->mask & TVIF_CHILDREN) it->cChildren = item->firstChild ? 1 : 0;
  return TRUE;
}

BOOL RowTree::SetItem(const TVITEMA* it) {
  RowTreeItem* item = it ? Item(it->hItem) : nullptr;
  if (!item) return FALSE;
  if ((it->mask & TVIF_TEXT) && it->pszText != LPSTR_TEXTCALLBACKA) {
    const char* text = it->pszText ? it->pszText : "";
    char* copy = nullptr;
    if (*text) {
      const size_t n = std::strlen(text);
      copy = new (std::nothrow) char[n + 1];
      if (!copy) return FALSE;
      std::memcpy(copy, text, n + 1);
    }
    delete[] item->text;
    item->text = copy;
    Repaint();
  }
  if (it->mask & TVIF_PARAM) item->param = it->lParam;
  if (it->mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE)) {
    if (it->mask & TVIF_IMAGE) item->image = it->iImage;
    if (it->mask & TVIF_SELECTEDIMAGE) item->selectedImage = it->iSelectedImage;
    Repaint();
  }
  if (it->mask & TVIF_STATE) SetState(item, it->state, it->stateMask);
  return TRUE;
}

LRESULT RowTree::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case TVM_INSERTITEMA:
      return lp ? reinterpret_cast<LRESULT>(Insert(*reinterpret_cast<const TVINSERTSTRUCTA*>(lp))) : 0;
    case TVM_DELETEITEM:
      return Delete(reinterpret_cast<HTREEITEM>(lp));
    case TVM_GETNEXTITEM:
      return reinterpret_cast<LRESULT>(NextItem(static_cast<UINT>(wp), Item(reinterpret_cast<HTREEITEM>(lp))));
    case TVM_GETITEMA:
      return GetItem(reinterpret_cast<TVITEMA*>(lp));
    case TVM_SETITEMA:
      return SetItem(reinterpret_cast<const TVITEMA*>(lp));
    case TVM_GETITEMSTATE: {
      RowTreeItem* item = Item(reinterpret_cast<HTREEITEM>(wp));
      return item ? static_cast<LRESULT>(State(item) & static_cast<UINT>(lp)) : 0;
    }
    case TVM_EXPAND:
      return Expand(Item(reinterpret_cast<HTREEITEM>(lp)), static_cast<UINT>(wp), true);
    case TVM_GETITEMRECT: {
      auto* r = reinterpret_cast<RECT*>(lp);
      if (!r) return FALSE;
      RowTreeItem* item = Item(*reinterpret_cast<HTREEITEM*>(r));
      return item && ItemRect(item, wp != 0, r);
    }
    case TVM_HITTEST:
      return lp ? reinterpret_cast<LRESULT>(HitTest(reinterpret_cast<TVHITTESTINFO*>(lp))) : 0;
    case TVM_SELECTITEM: {
      RowTreeItem* item = Item(reinterpret_cast<HTREEITEM>(lp));
      if (!item && lp) return FALSE;
      if (wp == TVGN_CARET) {
        Select(item, TVC_UNKNOWN);
        if (item) EnsureVisible(item);
        return TRUE;
      }
      if (wp == TVGN_FIRSTVISIBLE && item) {
        EnsureVisible(item);
        int row = 0;
        if (RowOf(item, &row)) ScrollTo(row);
        return TRUE;
      }
      return wp == TVGN_DROPHILITE;
    }
    case TVM_ENSUREVISIBLE:
      return EnsureVisible(Item(reinterpret_cast<HTREEITEM>(lp)));
    case TVM_GETCOUNT:
      return static_cast<LRESULT>(std::min<size_t>(count_, INT32_MAX));
    case TVM_GETVISIBLECOUNT:
      return VisibleCount();
    case TVM_SETIMAGELIST: {
      HIMAGELIST old = wp == TVSIL_STATE ? stateImages_ : normalImages_;
      (wp == TVSIL_STATE ? stateImages_ : normalImages_) = reinterpret_cast<HIMAGELIST>(lp);
      if (!itemHeightSet_) {
        int cx = 0, cy = 0;
        if (normalImages_ && ImageList_GetIconSize(normalImages_, &cx, &cy)) itemHeight_ = std::max(itemHeight_, cy);
      }
      Changed();
      return reinterpret_cast<LRESULT>(old);
    }
    case TVM_GETIMAGELIST:
      return reinterpret_cast<LRESULT>(wp == TVSIL_STATE ? stateImages_ : normalImages_);
    case TVM_SETITEMHEIGHT: {
      const int old = itemHeight_;
      const int h = static_cast<int>(static_cast<short>(LOWORD(wp)));
      itemHeight_ = h > 0 ? h : 16;
      itemHeightSet_ = h > 0;
      rowsStale_ = true;
      Changed();
      return old;
    }
    case TVM_GETITEMHEIGHT:
      return itemHeight_;
    case TVM_SETINDENT:
      indent_ = std::max(1, static_cast<int>(wp));
      Changed();
      return 0;
    case TVM_GETINDENT:
      return indent_;
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wp);
      if (lp) ::InvalidateRect(window_, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      if (wp) {
        Paint(reinterpret_cast<HDC>(wp));
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(window_, &ps);
      RECT c;
      ::GetClientRect(window_, &c);
      ::FillRect(dc, &c, ::GetSysColorBrush(COLOR_WINDOW));
      Paint(dc);
      ::EndPaint(window_, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      RECT c;
      ::GetClientRect(window_, &c);
      ::FillRect(reinterpret_cast<HDC>(wp), &c, ::GetSysColorBrush(COLOR_WINDOW));
      return 1;
    }
    case WM_SIZE:
      UpdateScroll();
      ::InvalidateRect(window_, nullptr, FALSE);
      return 0;
    case WM_VSCROLL: {
      EnsureRows();
      SCROLLINFO si = {sizeof si, SIF_ALL};
      ::GetScrollInfo(window_, SB_VERT, &si);
      const int page = std::max(1, VisibleCount());
      int top = top_;
      switch (LOWORD(wp)) {
        case SB_LINEUP: --top; break;
        case SB_LINEDOWN: ++top; break;
        case SB_PAGEUP: top -= page; break;
        case SB_PAGEDOWN: top += page; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: top = si.nTrackPos; break;
        case SB_TOP: top = 0; break;
        case SB_BOTTOM: top = INT32_MAX / 2; break;
        default: return 0;
      }
      ScrollTo(top);
      return 0;
    }
    case WM_MOUSEWHEEL: {
      wheelRest_ += GET_WHEEL_DELTA_WPARAM(wp);
      UINT lines = 3;
      ::SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
      const int steps = wheelRest_ / WHEEL_DELTA;
      wheelRest_ -= steps * WHEEL_DELTA;
      if (steps) ScrollTo(top_ - steps * static_cast<int>(lines == WHEEL_PAGESCROLL ? VisibleCount() : lines));
      return 0;
    }
    case WM_LBUTTONDOWN:
      OnButtonDown(lp, false);
      return 0;
    case WM_LBUTTONDBLCLK:
      OnButtonDown(lp, true);
      return 0;
    case WM_RBUTTONDOWN:
      NotifyPlain(NM_RCLICK);
      return 0;
    case WM_KEYDOWN:
      OnKey(static_cast<UINT>(wp));
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      ::InvalidateRect(window_, nullptr, FALSE);
      NotifyPlain(msg == WM_SETFOCUS ? NM_SETFOCUS : NM_KILLFOCUS);
      return 0;
    case WM_STYLECHANGED:
      Changed();
      return 0;
    case WM_DESTROY:
      Delete(TVI_ROOT);
      return 0;
    default:
      return ::DefWindowProcA(window_, msg, wp, lp);
  }
}

}  // namespace controls

void RegisterRowTreeClass(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.style = CS_DBLCLKS | CS_GLOBALCLASS;
  wc.lpfnWndProc = controls::RowTreeProc;
  wc.cbWndExtra = sizeof(void*);
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kRowTreeClass;
  // A second registration fails harmlessly; the first one's atom stays.
  if (ATOM atom = ::RegisterClassA(&wc)) controls::gRowTreeAtom = atom;
}
