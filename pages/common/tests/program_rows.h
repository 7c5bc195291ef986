// The rows of the result pages' tree-list in the real program, read from
// outside it (tests/support/program_driver.h).
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>
#include <vector>

#include "program_driver.h"
#include "resource.h"
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

// The deleted-file result page once its list is whole: the busy box gone and
// the title counting the files. Null (and a screenshot of the screen saved as
// failureShot) when it does not come within three minutes.
inline HWND WaitForFilledResultPage(const Program& p, const std::string& failureShot) {
  HWND result = p.WaitFor({IDC_RES_LIST_FULL, IDC_RES_FILTER, IDC_RES_CHECK_ALL}, 180000);
  if (result && WaitUntil([&] {
        return IsWindowEnabled(result) && ControlText(result, IDC_PAGE_TITLE).find("共找到") != std::string::npos;
      }, 120000))
    return result;
  testsupport::SaveScreenshot(testsupport::ArtifactPath(failureShot));
  return nullptr;
}

// The tree view inside a tree-list control of a page.
// The tree window of a tree-list (its class is the tree-list's own).
inline HWND TreeOfList(HWND page, int listId) { return FindChildOfClass(GetDlgItem(page, listId), "MERLO_ROW_TREE"); }

}  // namespace programtest
