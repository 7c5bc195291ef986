// The result pages' tree with columns and three-state check boxes.
//
// A dialog template places a custom control of class "MERLO_TREE_LIST_CTRL";
// the page calls CTreeListCtrl::SubclassDlgItem in OnInitDialog, which builds
// a header (id 337) and a CColumnTreeCtrl (id 373) inside it. The tree is
// our own tree window (rowtree.h), which answers the tree-view messages in
// time independent of its row count. The tree's own labels stay empty:
// every column, column 0 included, is drawn by the tree's paint over its
// lines, buttons, check boxes and images.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>

#include "checktree.h"
#include "fwlink.h"
#include "rowtree.h"
#include "treeviewchecks.h"

// Holds the tree's drawing off while many rows change state at once. A
// visible tree view does work for every single row it changes (about 5 ms a
// row under Wine, measured by scripts/bench-controls.sh), and the tree view
// ignores WM_SETREDRAW for it; so the visible bit is cleared for the
// duration, the way DefWindowProc implements WM_SETREDRAW, and the tree is
// repainted once at the end.
class TreeDrawingOff {
 public:
  explicit TreeDrawingOff(HWND tree) : tree_(tree) {
    style_ = ::GetWindowLongPtrA(tree_, GWL_STYLE);
    if (style_ & WS_VISIBLE) ::SetWindowLongPtrA(tree_, GWL_STYLE, style_ & ~static_cast<LONG_PTR>(WS_VISIBLE));
  }
  ~TreeDrawingOff() {
    if (!(style_ & WS_VISIBLE)) return;
    ::SetWindowLongPtrA(tree_, GWL_STYLE, ::GetWindowLongPtrA(tree_, GWL_STYLE) | WS_VISIBLE);
    ::InvalidateRect(tree_, nullptr, TRUE);
  }
  TreeDrawingOff(const TreeDrawingOff&) = delete;
  TreeDrawingOff& operator=(const TreeDrawingOff&) = delete;

 private:
  HWND tree_;
  LONG_PTR style_;
};

// Registers "MERLO_TREE_LIST_CTRL" (once; call before the first dialog that
// holds a tree-list is created).
void RegisterTreeListClass(HINSTANCE instance);

// One row's texts, owned by the tree (the tree item's lParam).
struct CColumnTreeItem {
  CColumnTreeItem() { ++live_; }
  ~CColumnTreeItem() { --live_; }
  CColumnTreeItem(const CColumnTreeItem&) = delete;
  CColumnTreeItem& operator=(const CColumnTreeItem&) = delete;
  // How many row objects exist (what the tests check deletes against).
  static int Live() { return live_; }

  std::string text;      // the columns joined by `separator`
  LPARAM userData = 0;   // the caller's lParam of the full InsertItem form
  char separator = '\0';

 private:
  static inline std::atomic<int> live_{0};
};

class CColumnTreeCtrl : public CTreeCtrl {
 public:
  CColumnTreeCtrl() = default;
  ~CColumnTreeCtrl() override = default;

  // format 0 left, 1 right, 2 centre; width -1: not given.
  int InsertColumn(int column, const char* heading, int format = 0, int width = -1, int subItem = -1);
  HTREEITEM InsertItem(const char* text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                       HTREEITEM after = TVI_LAST);
  HTREEITEM InsertItem(const char* text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
  HTREEITEM InsertItem(UINT mask, const char* text, int image, int selectedImage, UINT state, UINT stateMask,
                       LPARAM param, HTREEITEM parent, HTREEITEM after);
  // A row whose columns are given at once, joined by the row's separator
  // ('\0'; column 0 first): one allocation, no per-column edit.
  HTREEITEM InsertItemColumns(UINT mask, std::string columns, int image, int selectedImage, UINT state,
                              UINT stateMask, LPARAM param, HTREEITEM parent, HTREEITEM after);
  BOOL SetItemText(HTREEITEM item, int column, const char* text);
  CString GetItemText(HTREEITEM item, int column = 0) const;
  CColumnTreeItem* GetItemObject(HTREEITEM item) const;
  LPARAM GetItemUserData(HTREEITEM item) const;

  // Check states (0 none, 1 unchecked, 2 partly, 3 checked, 4 fixed).
  int GetCheck(HTREEITEM item) const { return TreeViewChecks{m_hWnd}.Check(item); }
  BOOL SetItemStateAndPropagate(HTREEITEM item, UINT state, UINT mask, BOOL propagate);
  void CheckAllTopLevel(BOOL check);
  HTREEITEM FindNextItemWithState(HTREEITEM start, BOOL withChildrenOnly, int stateImage);

  BOOL DeleteItem(HTREEITEM item);
  BOOL DeleteTopLevelItem(int n);
  BOOL DeleteAllItems();
  int GetItemCount() const { return rows_ ? static_cast<int>(std::min<size_t>(rows_->Count(), INT32_MAX)) : itemCount_; }
  // The tree window's items (null before the window exists).
  controls::RowTree* Rows() const { return rows_; }

  int GetColumnCount() const { return columnCount_; }
  int GetColumnWidth(int column) const;
  int GetTotalColumnWidth();
  int GetColumnAlign(int column) const;
  int SetColumnWidth(int column, int width);

  // Horizontal scrolling of header and columns as one block.
  void RecalcHorizontalRange();
  int GetOffset() const { return offset_; }

  CHeaderCtrl m_header;   // made by CTreeListCtrl
  CFont m_font;           // the header's font
  CImageList m_itemImages;
  CImageList m_checkImages;

 protected:
  friend class CTreeListCtrl;
  void ToggleCheck(HTREEITEM item);
  void PaintColumns(HDC dc, const RECT& client);
  void DrawCell(HDC dc, const std::string& text, RECT cell, int align);
  void MoveHeader();
  bool HasHorizontalRange() const;

  void OnLButtonDown(UINT flags, CPoint point);
  void OnLButtonDblClk(UINT flags, CPoint point);
  void OnKeyDown(UINT key, UINT repeat, UINT flags);
  void OnPaint();
  BOOL OnEraseBkgnd(CDC* dc);
  void OnHScroll(UINT code, UINT pos, CScrollBar* bar);
  void OnSize(UINT type, int cx, int cy);
  void OnDeleteItemReflect(NMHDR* hdr, LRESULT* result);
  DECLARE_MESSAGE_MAP()

 private:
  controls::RowTree* rows_ = nullptr;
  UINT lastHitFlags_ = 0;
  int columnCount_ = 0;
  int totalWidth_ = 0;
  int itemCount_ = 0;
  int offset_ = 0;
};

class CTreeListCtrl : public CWnd {
 public:
  CTreeListCtrl() = default;
  ~CTreeListCtrl() override = default;

  BOOL SubclassDlgItem(UINT id, CWnd* parent) override;
  // Returns the previous list's handle (null when none). The handle form is
  // for lists the tree-list must not own, such as the system icon list
  // (CSystemImageList::GetImageList).
  HIMAGELIST SetImageList(CImageList* list, int type);
  HIMAGELIST SetImageList(HIMAGELIST list, int type);
  void ExpandAll(BOOL expand);
  void SetItemHeight(int height) { itemHeight_ = height; }
  void SetImageSource(UINT bitmapId, int imageSize, int imageCount, COLORREF mask) {
    itemBitmapId_ = bitmapId;
    itemImageSize_ = imageSize;
    itemImageCount_ = imageCount;
    maskColour_ = mask;
  }

  CColumnTreeCtrl m_tree;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnSize(UINT type, int cx, int cy);
  void OnHeaderChanging(NMHDR* hdr, LRESULT* result);
  DECLARE_MESSAGE_MAP()

 private:
  int itemHeight_ = 20;
  UINT itemBitmapId_ = 167;
  int itemImageSize_ = 16;
  int itemImageCount_ = 7;
  COLORREF maskColour_ = RGB(255, 0, 255);
};

#define IDC_TREELIST_HEADER 337
#define IDC_TREELIST_TREE 373
