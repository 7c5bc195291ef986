// The check walks of checktree.h over a real tree-view window.
#pragma once
#include <windows.h>
#include <commctrl.h>

struct TreeViewChecks {
  using Item = HTREEITEM;
  HWND tree;

  Item Parent(Item i) const { return TreeView_GetParent(tree, i); }
  Item FirstChild(Item i) const { return TreeView_GetChild(tree, i); }
  Item Next(Item i) const { return TreeView_GetNextSibling(tree, i); }
  Item Prev(Item i) const { return TreeView_GetPrevSibling(tree, i); }
  Item FirstRoot() const { return TreeView_GetRoot(tree); }
  int Check(Item i) const {
    return static_cast<int>((TreeView_GetItemState(tree, i, TVIS_STATEIMAGEMASK) & TVIS_STATEIMAGEMASK) >> 12);
  }
  void SetCheck(Item i, int s) const {
    TVITEMA it = {};
    it.mask = TVIF_STATE;
    it.hItem = i;
    it.state = INDEXTOSTATEIMAGEMASK(s);
    it.stateMask = TVIS_STATEIMAGEMASK;
    SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
  }
};
