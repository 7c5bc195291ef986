// The tree window under the result pages' tree-list: the tree-view messages
// the pages and the tree-list send (insert, delete, walk, item state, expand,
// select, hit test, item rectangles, image lists) answered over a tree of
// our own, so that a list of a million rows costs time linear in its rows.
// The platform's tree view checks every handle it is given by a search
// through all its items, which makes each message cost as much as the rows
// before it.
//
// Rows are drawn as they come into view: only the rows of the window's
// height are painted, and the list of rows that expanded folders show is
// made again only when something asks for it after a change. Handles are
// the items' addresses in blocks the tree keeps for its lifetime; a handle
// is checked against those blocks (and a freed item's mark) before use.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <vector>

// The window class ("MERLO_ROW_TREE"); RegisterRowTreeClass is called by
// RegisterTreeListClass.
extern const char kRowTreeClass[];
void RegisterRowTreeClass(HINSTANCE instance);

namespace controls {

struct RowTreeItem {
  RowTreeItem* parent = nullptr;
  RowTreeItem* firstChild = nullptr;
  RowTreeItem* lastChild = nullptr;
  RowTreeItem* next = nullptr;
  RowTreeItem* prev = nullptr;
  LPARAM param = 0;
  char* text = nullptr;        // null: no text (the tree-list draws its own)
  int32_t image = 0;
  int32_t selectedImage = 0;
  uint32_t state = 0;          // TVIS_* bits and the state image index
  uint32_t row = 0;            // its place among the shown rows, when rows_[row] is it
  uint32_t mark = 0;           // kLive while the item exists
};

class RowTree {
 public:
  explicit RowTree(HWND window) : window_(window) {}
  ~RowTree();
  RowTree(const RowTree&) = delete;
  RowTree& operator=(const RowTree&) = delete;

  // Called for an item's data when the item goes, instead of TVN_DELETEITEM
  // (the tree-list owns its row objects).
  void SetParamDeleter(void (*deleter)(LPARAM)) { deleter_ = deleter; }

  // The message half, for the window procedure.
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);

  // Direct calls for the tree-list's bulk work.
  RowTreeItem* Item(HTREEITEM h) const;   // null unless a live item of this tree
  HTREEITEM Insert(const TVINSERTSTRUCTA& is);
  bool Delete(HTREEITEM h);               // TVI_ROOT or null: every item
  size_t Count() const { return count_; }
  // Every folder expanded (collapsed), with no notification per folder.
  void ExpandAll(bool expand);
  void SetState(RowTreeItem* item, uint32_t state, uint32_t mask);
  uint32_t State(const RowTreeItem* item) const { return item->state | (item == caret_ ? TVIS_SELECTED : 0); }
  // The window draws again soon (once, however many changes come first).
  void Repaint();

 private:
  RowTreeItem* Allocate();
  void Free(RowTreeItem* item);
  void Unlink(RowTreeItem* item);
  void DeleteSubtree(RowTreeItem* item);
  bool Expand(RowTreeItem* item, UINT code, bool notify);
  void Changed();                      // rows or their look changed
  void EnsureRows();
  void UpdateScroll();
  void ScrollTo(int top);
  bool RowOf(const RowTreeItem* item, int* row);
  bool EnsureVisible(RowTreeItem* item);
  void Select(RowTreeItem* item, UINT action);
  int Depth(const RowTreeItem* item) const;
  int VisibleCount() const;
  struct Offsets {
    int lines, state, image, text, textRight;
  };
  Offsets OffsetsOf(const RowTreeItem* item, int depth);
  HTREEITEM HitTest(TVHITTESTINFO* ht);
  bool ItemRect(RowTreeItem* item, bool label, RECT* out);
  void Paint(HDC dc);
  LRESULT Notify(UINT code, NMTREEVIEWA* nm);
  LRESULT NotifyPlain(UINT code);
  void OnKey(UINT key);
  void OnButtonDown(LPARAM lp, bool doubleClick);
  HTREEITEM NextItem(UINT code, RowTreeItem* item);
  BOOL GetItem(TVITEMA* it);
  BOOL SetItem(const TVITEMA* it);

  HWND window_;
  RowTreeItem* firstRoot_ = nullptr;
  RowTreeItem* lastRoot_ = nullptr;
  RowTreeItem* caret_ = nullptr;
  size_t count_ = 0;
  void (*deleter_)(LPARAM) = nullptr;

  // Items live in blocks that stay until the tree goes; freed ones wait in
  // a list for reuse.
  std::vector<std::unique_ptr<RowTreeItem[]>> blocks_;
  std::vector<const RowTreeItem*> blockStarts_;   // ascending, for the handle check
  RowTreeItem* freeList_ = nullptr;
  size_t nextInBlock_ = 0;

  std::vector<RowTreeItem*> rows_;   // the rows expanded folders show, in order
  std::vector<uint16_t> depths_;     // each row's depth (capped)
  bool rowsStale_ = true;
  bool paintPending_ = false;
  int top_ = 0;

  HIMAGELIST normalImages_ = nullptr;
  HIMAGELIST stateImages_ = nullptr;
  HFONT font_ = nullptr;
  int itemHeight_ = 16;
  bool itemHeightSet_ = false;
  int indent_ = 19;
  int wheelRest_ = 0;
};

// The tree of a window of this class, or null for any other window.
RowTree* RowTreeOf(HWND window);

}  // namespace controls
