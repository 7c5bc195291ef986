// The model behind the result pages: the folder tree that mirrors the rows of
// a page's tree-list, and the walks that tick and invert its rows. Each page
// owns its trees (the deleted-file page two: the full list and the filtered
// one). Below it, the deleted-file fill that builds a tree from gDeletedFiles
// (with or without the page's filters) and the walk that reads its marks back
// into the records.
//
// Nothing here touches a control. The deleted-file fill reports every new
// node to a sink (the page inserts the row on its own thread and writes the
// item back into the node); the check walks read and write marks through an
// accessor with
//   int Check(HTREEITEM); void SetCheck(HTREEITEM, int);
// (TreeViewChecks over the page's tree, a plain map in the tests).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "fw_string.h"

class CFileTypeFilter;

// One path component. Folder nodes and the root have no record.
struct ResultTreeNode {
  ResultTreeNode* firstChild = nullptr;
  ResultTreeNode* nextSibling = nullptr;
  ResultTreeNode* parent = nullptr;   // null for the root
  CString name;
  HTREEITEM treeItem = nullptr;   // the row, once made; TVI_ROOT for the root
  int32_t recordIndex = -1;       // into the road's records; -1 for folders and the root
  uint8_t source = 0;             // which of the road's record lists the record lies in
  // Trees in name order: the children again, in list order, so that a folder
  // of many thousand files finds its insertion point by binary search.
  std::unique_ptr<std::vector<ResultTreeNode*>> index;

  bool IsFile() const { return recordIndex >= 0; }
};

// Where a walk in name order hands each node it made, in order; the row is
// made (below ParentRow(parent), after RowBefore(previous)) and stored in
// node->treeItem before the row of a later node is made. parent is null for a
// top-level node, previous null for a node that landed first on its level.
class ResultRowSink {
 public:
  virtual ~ResultRowSink() = default;
  virtual void Insert(ResultTreeNode* node, ResultTreeNode* parent, ResultTreeNode* previous,
                      int32_t recordIndex) = 0;
};

inline HTREEITEM ParentRow(const ResultTreeNode* parent) { return parent ? parent->treeItem : TVI_ROOT; }
inline HTREEITEM RowBefore(const ResultTreeNode* previous) { return previous ? previous->treeItem : TVI_FIRST; }

// The tree of one result list. A tree is filled one of two ways, never both:
//  - in name order (the deleted-file and recycle-bin roads): folder nodes
//    come before file nodes on every level, each group in ascending name
//    order (case-insensitive, code page 936 characters kept whole); a folder
//    of a name already there is reused;
//  - in record order (the unformat road): on every level children keep the
//    order of the records, nothing is sorted; folders of one name without
//    regard to the case of ASCII letters are one.
//  - by type (the deep-scan road): one top-level folder per type, in the
//    order the types first appear, each record at the end of its folder.
// Either way every record is a file node of its own, and the nodes keep the
// order in which they were made (parents before children).
class CResultTree {
 public:
  CResultTree();
  CResultTree(const CResultTree&) = delete;
  CResultTree& operator=(const CResultTree&) = delete;

  ResultTreeNode* Root() { return &nodes_.front(); }
  const ResultTreeNode* Root() const { return &nodes_.front(); }
  bool Empty() const { return !Root()->firstChild; }
  // Every node but the root, in the order they were made.
  size_t NodeCount() const { return nodes_.size() - 1; }
  ResultTreeNode* Node(size_t i) { return &nodes_[i + 1]; }
  const ResultTreeNode* Node(size_t i) const { return &nodes_[i + 1]; }
  size_t FileCount() const { return files_; }

  // Frees every node; the tree is an empty root again.
  void Clear();

  // ---- in name order ----
  // Adds one component (length bytes) below `level`. A folder component
  // (recordIndex -1) whose name is already there is reused (*isNew false).
  // *node is the new or reused node; *previous the node before it on its
  // level (its row is the one to insert after), null when it landed first.
  // False when a node cannot be allocated; nothing has changed then.
  bool AddComponent(ResultTreeNode* level, const char* name, int length, int32_t recordIndex, ResultTreeNode** node,
                    bool* isNew, ResultTreeNode** previous);
  // Walks a record's path ('\'-separated, code page 936: the second byte of a
  // two-byte character may be 0x5C) in below the root, one component at a
  // time; an empty component (a leading or doubled backslash) names no
  // folder. The last component is the file. Every new node goes to the sink
  // (may be null). False when a node could not be allocated.
  bool AddInNameOrder(const char* path, int length, int32_t recordIndex, ResultRowSink* sink);

  // ---- in record order ----
  // Adds the record's path ('\'-separated, code page 936). Each folder
  // component is looked up among the current node's child folders without
  // regard to the case of ASCII letters and made when missing; the last
  // component always becomes a file node of its own: a second record with
  // the same path (two long paths that lost their outer folders, say) is
  // listed too, and the copy-out gives it a numbered name. A file and a folder
  // of one name are two nodes. Empty components are passed over; a path
  // without a file name adds nothing. Returns the file node, or null when
  // nothing was added.
  ResultTreeNode* AddInRecordOrder(const char* path, uint8_t source, int32_t recordIndex);

  // ---- by type ----
  // Adds the record below the top-level folder `type`, compared byte for
  // byte ("JPG" and "jpg" are two), which is made at the end of the top
  // level when missing (*folderIsNew then); the file goes at the end of its
  // folder. Returns the file node.
  ResultTreeNode* AddByType(const CString& type, const CString& name, int32_t recordIndex, bool* folderIsNew);

  // ---- check marks: 1 unchecked, 3 checked, 2 partly (the control's states) ----
  // Every row (folders too) gets 3; nothing spreads beyond that walk.
  template <class Checks>
  void CheckAll(Checks& checks) {
    for (size_t i = 1; i < nodes_.size(); ++i)
      if (HTREEITEM item = nodes_[i].treeItem) checks.SetCheck(item, 3);
  }
  // Every row gets 4 minus its mark: 1 and 3 swap, 2 stays.
  template <class Checks>
  void InvertChecks(Checks& checks) {
    for (size_t i = 1; i < nodes_.size(); ++i)
      if (HTREEITEM item = nodes_[i].treeItem) {
        const int c = checks.Check(item);
        if (c >= 1 && c <= 3) checks.SetCheck(item, 4 - c);
      }
  }
  // fn(const ResultTreeNode&) for every file node that has a row.
  template <class Fn>
  void ForEachFileRow(Fn fn) const {
    for (size_t i = 1; i < nodes_.size(); ++i)
      if (nodes_[i].IsFile() && nodes_[i].treeItem) fn(nodes_[i]);
  }

 private:
  ResultTreeNode* FolderOrFile(ResultTreeNode* parent, const CString& name, uint8_t source, int32_t recordIndex,
                               bool file);
  ResultTreeNode* AppendChild(ResultTreeNode* parent, const CString& name);

  std::deque<ResultTreeNode> nodes_;   // the root first; nodes never move
  size_t files_ = 0;
  // Record order and by type: the last child of each level, and the child
  // folders by (parent, folded name), or the types by their exact name.
  std::unordered_map<ResultTreeNode*, ResultTreeNode*> lastChild_;
  std::unordered_map<std::string, ResultTreeNode*> byName_;
  std::string component_;   // name order: the component being gathered
};

// Visits every node below root (depth first, first child before siblings)
// without recursion. fn(node). False when the walk could not allocate.
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

// ---- the deleted-file fill ---------------------------------------------------------

// Where the fill hands its results: every new node (Insert, in order); the
// page's sink hands them over in batches with WM_FILELIST_ADD.
class ResultFillSink : public ResultRowSink {
 public:
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
  CResultTree* tree = nullptr;   // the page's tree the fill goes into (emptied by the page before)
  bool filtered = false;         // the filtered fill: only records that pass `conditions`
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

// The fill as the worker runs it. Returns 0.
int RunResultFill(ResultFillJob& job);

// True when the deleted-file scan found anything.
bool ResultsExist();

// Sets the selected byte of record `index` of gDeletedFiles (ignored when out
// of range).
void SetRecordSelected(int32_t index, bool selected);

// Writes the `selected` byte of every file row's record from its mark: 3 sets
// it (and counts the file), 1 clears it, any other mark leaves it. Only rows
// of `tree` count. Returns the files counted.
template <class Checks>
uint32_t CollectCheckedRecords(const CResultTree& tree, Checks& checks) {
  uint32_t n = 0;
  tree.ForEachFileRow([&](const ResultTreeNode& node) {
    const int c = checks.Check(node.treeItem);
    if (c == 3) {
      SetRecordSelected(node.recordIndex, true);
      ++n;
    } else if (c == 1) {
      SetRecordSelected(node.recordIndex, false);
    }
  });
  return n;
}
