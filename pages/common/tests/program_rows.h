// The rows of the result pages' tree-list in the real program, read from
// outside it (tests/support/program_driver.h).
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>
#include <vector>

#include "program_driver.h"
#include "treelist.h"

namespace programtest {

// The first column of a row.
inline std::string RowText(const Program& p, HWND tree, HTREEITEM item) {
  return p.TreeListText(tree, item, offsetof(CColumnTreeItem, text), offsetof(CColumnTreeItem, separator));
}

// The first column of every row, depth first, collapsed branches included.
inline std::vector<std::string> RowTexts(const Program& p, HWND tree) {
  std::vector<std::string> out;
  for (const auto& r : p.TreeRows(tree)) out.push_back(RowText(p, tree, r.first));
  return out;
}

// The tree view inside a tree-list control of a page.
inline HWND TreeOfList(HWND page, int listId) { return FindChildOfClass(GetDlgItem(page, listId), WC_TREEVIEWA); }

}  // namespace programtest
