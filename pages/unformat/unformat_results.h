// The model behind the unformat result page: the folder tree that mirrors the
// rows of its tree-list, built from the records of the three unformat result
// vectors (gUnformatFat32Files, gUnformatNtfsFiles, gUnformatFat16Files), the
// texts of a row, and the walks that tick, invert and read the check marks.
//
// Nothing here touches a window. Check marks are read and written through an
// accessor with
//   int Check(HTREEITEM); void SetCheck(HTREEITEM, int);
// (TreeViewChecks over the page's tree, a plain map in the tests).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

#include "fw_string.h"
#include "records/records.h"

// The vector a record lies in.
enum class UnformatVector : uint8_t { kNone, kFat32, kNtfs, kFat16 };

// One path component. Folder nodes and the root have no record.
struct CPathTreeNode {
  CString name;
  int32_t recordIndex = -1;            // index into `vector`; -1 for a folder and for the root
  UnformatVector vector = UnformatVector::kNone;
  HTREEITEM treeItem = nullptr;        // the row; TVI_ROOT for the root
  CPathTreeNode* parent = nullptr;
  CPathTreeNode* firstChild = nullptr;
  CPathTreeNode* nextSibling = nullptr;

  bool IsFile() const { return recordIndex >= 0; }
};

// The tree of one result page. Nodes keep the order in which they were made
// (parents before children), so the rows can be inserted in that order; on
// every level children keep the order of the records (nothing is sorted).
class CPathTree {
 public:
  CPathTree();
  CPathTree(const CPathTree&) = delete;
  CPathTree& operator=(const CPathTree&) = delete;

  CPathTreeNode* Root() { return &nodes_.front(); }
  const CPathTreeNode* Root() const { return &nodes_.front(); }
  // Every node but the root, in the order they were made.
  size_t NodeCount() const { return nodes_.size() - 1; }
  CPathTreeNode* Node(size_t i) { return &nodes_[i + 1]; }
  const CPathTreeNode* Node(size_t i) const { return &nodes_[i + 1]; }
  size_t FileCount() const { return files_; }

  // Adds the record's path ('\'-separated, code page 936: a two-byte
  // character whose second byte is '\' does not split it). Each folder
  // component is looked up among the current node's child folders without
  // regard to the case of ASCII letters and made when missing; the last
  // component always becomes a file node of its own: a second record with
  // the same path (two long paths that lost their outer folders, say) is
  // listed too, and the copy-out gives it a numbered name. A file and a folder
  // of one name are two rows. Empty components are passed over; a path
  // without a file name adds nothing. Returns the file node, or null when
  // nothing was added.
  CPathTreeNode* Add(const char* path, UnformatVector vector, int32_t recordIndex);

  // Frees every node; the tree is an empty root again.
  void Clear();

 private:
  // The child folder of that name (made when missing), or a new file node.
  CPathTreeNode* Child(CPathTreeNode* parent, const CString& name, UnformatVector vector, int32_t recordIndex,
                       bool file);

  std::deque<CPathTreeNode> nodes_;
  std::unordered_map<CPathTreeNode*, CPathTreeNode*> lastChild_;
  // Child folders by (parent, folded name).
  std::unordered_map<std::string, CPathTreeNode*> byName_;
  size_t files_ = 0;
};

// Builds the tree from the three vectors: every record of gUnformatFat32Files,
// then of gUnformatNtfsFiles, then of gUnformatFat16Files, each in index
// order; records with an empty path are passed over. `stop` (may be null) ends
// the walk early when it turns true.
void BuildUnformatTree(CPathTree* tree, const volatile bool* stop = nullptr);

// True when any of the three vectors holds a record.
bool UnformatResultsExist();

// The texts of a file row.
struct UnformatRowTexts {
  CString size, created, modified, accessed;
};
// FAT32 and NTFS: FileSizeText (bytes under 1 KB, else KB); FAT16: the size
// in bytes as "%u Byte". Created and modified "2024-07-01 12:00:00"
// (RecordTimeText), accessed the date alone "2024-07-01".
UnformatRowTexts UnformatRowTextsOf(UnformatVector vector, int32_t recordIndex);
CString UnformatDateText(const SYSTEMTIME& t);

// The record's `selected` byte, or null when the index lies outside its vector.
uint8_t* UnformatSelectedByte(UnformatVector vector, int32_t recordIndex);
// Sets every record's `selected` byte of all three vectors to 0.
void ClearUnformatSelection();
// The selected records of the three vectors in 512-byte sectors, each file
// rounded up (AddSelectedSize; NTFS sizes whole, in 64 bits).
uint64_t SelectedUnformatSectors();

// ---- check marks ----------------------------------------------------------------

// Every row (folders too) gets state 3, nothing spreads beyond that walk.
template <class Checks>
void CheckAllUnformatRows(CPathTree& tree, Checks& checks) {
  for (size_t i = 0; i < tree.NodeCount(); ++i)
    if (HTREEITEM item = tree.Node(i)->treeItem) checks.SetCheck(item, 3);
}

// Every row gets 4 minus its state: 1 and 3 swap, 2 stays.
template <class Checks>
void InvertUnformatRows(CPathTree& tree, Checks& checks) {
  for (size_t i = 0; i < tree.NodeCount(); ++i)
    if (HTREEITEM item = tree.Node(i)->treeItem) {
      const int s = checks.Check(item);
      if (s >= 1 && s <= 3) checks.SetCheck(item, 4 - s);
    }
}

// The ticks become the records' `selected` bytes: first every record of the
// three vectors is cleared (a record without a row, such as one with an
// empty path, is never copied), then every file row with state 3 selects its
// record. Returns the number of ticked files.
template <class Checks>
uint32_t CollectUnformatChecks(const CPathTree& tree, Checks& checks) {
  ClearUnformatSelection();
  uint32_t checked = 0;
  for (size_t i = 0; i < tree.NodeCount(); ++i) {
    const CPathTreeNode* n = tree.Node(i);
    if (!n->IsFile() || !n->treeItem || checks.Check(n->treeItem) != 3) continue;
    if (uint8_t* selected = UnformatSelectedByte(n->vector, n->recordIndex)) {
      *selected = 1;
      ++checked;
    }
  }
  return checked;
}
