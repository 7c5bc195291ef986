// The check walks of checktree.h over a real tree-view window.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "rowtree.h"

// Over the tree-list's own tree the walks go straight to its items (a
// million rows are ticked without a message each); over any other tree
// view, through its messages.
struct TreeViewChecks {
  using Item = HTREEITEM;
  HWND tree;
  controls::RowTree* rows = controls::RowTreeOf(tree);

  static Item H(controls::RowTreeItem* i) { return reinterpret_cast<Item>(i); }
  Item Parent(Item i) const {
    if (!rows) return TreeView_GetParent(tree, i);
    controls::RowTreeItem* item = rows->Item(i);
    return item ? H(item->parent) : nullptr;
  }
  Item FirstChild(Item i) const {
    if (!rows) return TreeView_GetChild(tree, i);
    controls::RowTreeItem* item = rows->Item(i);
    return item ? H(item->firstChild) : nullptr;
  }
  Item Next(Item i) const {
    if (!rows) return TreeView_GetNextSibling(tree, i);
    controls::RowTreeItem* item = rows->Item(i);
    return item ? H(item->next) : nullptr;
  }
  Item Prev(Item i) const {
    if (!rows) return TreeView_GetPrevSibling(tree, i);
    controls::RowTreeItem* item = rows->Item(i);
    return item ? H(item->prev) : nullptr;
  }
  Item FirstRoot() const { return TreeView_GetRoot(tree); }
  int Check(Item i) const {
    if (rows) {
      controls::RowTreeItem* item = rows->Item(i);
      return item ? static_cast<int>((item->state & TVIS_STATEIMAGEMASK) >> 12) : 0;
    }
    return static_cast<int>((TreeView_GetItemState(tree, i, TVIS_STATEIMAGEMASK) & TVIS_STATEIMAGEMASK) >> 12);
  }
  void SetCheck(Item i, int s) const {
    if (rows) {
      if (controls::RowTreeItem* item = rows->Item(i))
        rows->SetState(item, INDEXTOSTATEIMAGEMASK(static_cast<UINT>(s)), TVIS_STATEIMAGEMASK);
      return;
    }
    TVITEMA it = {};
    it.mask = TVIF_STATE;
    it.hItem = i;
    it.state = INDEXTOSTATEIMAGEMASK(s);
    it.stateMask = TVIS_STATEIMAGEMASK;
    SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
  }
};
