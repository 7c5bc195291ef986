// The model behind the deleted-file result page: the folder tree that mirrors
// the rows of its tree-list, the fill that builds it from gDeletedFiles (with
// or without the page's filters), and the walks that tick, invert and read the
// check marks. The tree is process-wide: one result page at a time owns it.
//
// Nothing here touches a control. The fill reports every new node to a sink
// (the page inserts the row on its own thread and writes the item back into
// the node); the check walks read and write marks through an accessor with
//   int Check(HTREEITEM); void SetCheck(HTREEITEM, int);
// (TreeViewChecks over the page's tree, a plain map in the tests).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "fw_string.h"

class CFileTypeFilter;

// One path component. Folder nodes (record index -1) come before file nodes
// on every level, each group in ascending name order (case-insensitive, code
// page 936 characters kept whole).
struct ResultTreeNode {
  ResultTreeNode* firstChild = nullptr;
  CString name;
  HTREEITEM treeItem = nullptr;   // the row made for this node; null for a root
  int32_t recordIndex = -1;       // index into gDeletedFiles; -1 for folders and roots
  ResultTreeNode* nextSibling = nullptr;
  // The children again, in list order, so that a folder of many thousand
  // files finds its insertion point by binary search. Owned; null for leaves.
  std::vector<ResultTreeNode*>* index = nullptr;
};

// The two roots (full list and filtered list) and the one the fill, the walks
// and the collection work on.
extern ResultTreeNode* gResultTreeFull;
extern ResultTreeNode* gResultTreeFiltered;
extern ResultTreeNode* gResultTreeCurrent;
extern ResultTreeNode* gResultTreeCursor;   // where the next component goes
// Set when the page applies a filter: the next fill is the filtered fill.
extern bool gResultFilterActive;

// Free the old full (filtered) tree, make a fresh root current. False when
// memory runs out.
bool ResetResultTree();
bool ResetFilteredTree();
// The full root current again (the show-all button); false when there is none.
bool UseFullResultTree();
// Both trees freed; both roots null (the current root too).
void FreeResultTrees();

// Adds one component below `level` (a node; the cursor normally). A folder
// component whose name is already there is reused (not new). The new or reused
// node becomes the cursor. *previous is the node before it on its level (its
// row is the one to insert after), null when it landed first (TVI_FIRST).
// False when a node cannot be allocated.
bool AddPathToTree(ResultTreeNode* level, const char* name, int32_t recordIndex, bool* isNew,
                   ResultTreeNode** previous);

// The rows a new node goes between, once the rows of the nodes before it
// exist: its parent's row (TVI_ROOT for a top-level node, parent null) and
// the row to insert after (TVI_FIRST when previous is null).
inline HTREEITEM ParentRow(const ResultTreeNode* parent) { return parent ? parent->treeItem : TVI_ROOT; }
inline HTREEITEM RowBefore(const ResultTreeNode* previous) { return previous ? previous->treeItem : TVI_FIRST; }

// Where the fill hands its results. Insert is called for every new node, in
// order; the row is made (below ParentRow(parent), after RowBefore(previous))
// and stored in node->treeItem before the row of a later node is made. The
// page's sink hands them over in batches with WM_FILELIST_ADD.
class ResultFillSink {
 public:
  virtual ~ResultFillSink() = default;
  virtual void Insert(ResultTreeNode* node, ResultTreeNode* parent, ResultTreeNode* previous,
                      int32_t recordIndex) = 0;
  virtual void OutOfMemory() = 0;    // a node could not be allocated; the fill stops
  virtual void FillDone() = 0;       // the busy box may go
  virtual void NothingListed() = 0;  // unfiltered fill, nothing in the tree
  virtual void ResultsListed() = 0;  // unfiltered fill, rows exist (after a short pause)
  // Now and then while the fill runs: the recycle-bin names resolved so far
  // (done of total), then the rows listed so far.
  virtual void NamesResolved(uint32_t /*done*/, uint32_t /*total*/) {}
  virtual void RowsListed(uint32_t /*rows*/, uint32_t /*records done*/, uint32_t /*records*/) {}
};

// What one run of the fill needs.
struct ResultFillJob {
  ResultFillSink* sink = nullptr;
  const CFileTypeFilter* conditions = nullptr;   // read by the filtered fill
  bool recycleBin = false;       // the scan was of the recycle bins
  bool vistaOrLater = false;     // "$I" records then are information files, not files
  uint32_t hintDelayMs = 700;    // pause before ResultsListed
  std::atomic<bool> abort{false};   // raised by the page before it waits for the worker
  // Raised by the user's stop (and with abort): the fill ends where it is,
  // and what it listed stays.
  std::atomic<bool> stop{false};
  bool stopped = false;          // the fill ended early at the user's stop
  uint32_t listedFileCount = 0;  // files the unfiltered fill listed
  uint32_t filteredFileCount = 0;   // files the filtered fill listed
};

// The fill as the worker runs it (filtered when gResultFilterActive is set).
// Returns 0.
int RunResultFill(ResultFillJob& job);

// Walks one record's path into the current tree (below the current root),
// reporting new nodes to the sink. False when a node could not be allocated.
bool WalkRecordIntoTree(const char* path, int32_t recordIndex, ResultFillSink* sink, bool* listedFile);

// ---- check marks: 1 unchecked, 3 checked, 2 partly (the control's states) ----

// Visits every node below root (depth first, first child before siblings)
// without recursion. fn(node).
template <class Fn>
bool ForEachResultNode(ResultTreeNode* root, Fn fn) {
  if (!root) return true;
  std::vector<ResultTreeNode*> stack;
  try {
    stack.reserve(64);
    for (ResultTreeNode* n = root->firstChild; n || !stack.empty();) {
      if (!n) {
        n = stack.back();
        stack.pop_back();
      }
      fn(n);
      if (n->nextSibling) stack.push_back(n->nextSibling);
      n = n->firstChild;
    }
  } catch (...) {
    return false;
  }
  return true;
}

// Every row of the current tree checked (3); nothing is propagated.
template <class Checks>
bool CheckAllResults(Checks& checks) {
  return ForEachResultNode(gResultTreeCurrent, [&](ResultTreeNode* n) {
    if (n->treeItem) checks.SetCheck(n->treeItem, 3);
  });
}

// Every row's mark inverted: 4 minus the mark (1 and 3 swap, 2 stays).
template <class Checks>
bool InvertResultChecks(Checks& checks) {
  return ForEachResultNode(gResultTreeCurrent, [&](ResultTreeNode* n) {
    if (!n->treeItem) return;
    int c = checks.Check(n->treeItem);
    if (c >= 1 && c <= 3) checks.SetCheck(n->treeItem, 4 - c);
  });
}

// Writes the `selected` byte of every file row's record from its mark: 3 sets
// it (and counts the file), 1 clears it, any other mark leaves it. Only rows
// of the current tree count. False when the walk could not allocate.
template <class Checks>
bool CollectCheckedRecords(Checks& checks, uint32_t* count);

// True when the deleted-file scan found anything.
bool ResultsExist();

// ---- the record-side half of the collection (no control involved) ---------
// Sets the selected byte of record `index` (ignored when out of range).
void SetRecordSelected(int32_t index, bool selected);

template <class Checks>
bool CollectCheckedRecords(Checks& checks, uint32_t* count) {
  uint32_t n = 0;
  bool ok = ForEachResultNode(gResultTreeCurrent, [&](ResultTreeNode* node) {
    // Leaves that are folders (an empty folder cannot occur) have index -1.
    if (node->firstChild || node->recordIndex < 0 || !node->treeItem) return;
    int c = checks.Check(node->treeItem);
    if (c == 3) {
      SetRecordSelected(node->recordIndex, true);
      ++n;
    } else if (c == 1) {
      SetRecordSelected(node->recordIndex, false);
    }
  });
  if (count) *count = n;
  return ok;
}
