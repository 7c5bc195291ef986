// The unformat result page's side of the result tree (result_tree.h): the
// tree built in record order from the records of the three unformat result
// vectors (gUnformatFat32Files, gUnformatNtfsFiles, gUnformatFat16Files), the
// texts of a row, and the walk that reads the check marks back into the
// records.
//
// Nothing here touches a window. Check marks are read through an accessor
// with int Check(HTREEITEM) (TreeViewChecks over the page's tree, a plain map
// in the tests).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "fw_string.h"
#include "records/records.h"
#include "result_tree.h"

// The vector a record lies in (a file node's source).
enum class UnformatVector : uint8_t { kNone, kFat32, kNtfs, kFat16 };

// The vector of a file node's record (the node's source).
inline UnformatVector UnformatVectorOf(const ResultTreeNode& node) { return static_cast<UnformatVector>(node.source); }

// Builds the tree from the three vectors: every record of gUnformatFat32Files,
// then of gUnformatNtfsFiles, then of gUnformatFat16Files, each in index
// order, in record order (CResultTree::AddInRecordOrder); records with an
// empty path are passed over. `stop` (may be null) ends the walk early when it
// turns true.
void BuildUnformatTree(CResultTree* tree, const volatile bool* stop = nullptr);

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

// The ticks become the records' `selected` bytes: first every record of the
// three vectors is cleared (a record without a row, such as one with an
// empty path, is never copied), then every file row with state 3 selects its
// record. Returns the number of ticked files.
template <class Checks>
uint32_t CollectUnformatChecks(const CResultTree& tree, Checks& checks) {
  ClearUnformatSelection();
  uint32_t checked = 0;
  tree.ForEachFileRow([&](const ResultTreeNode& n) {
    if (checks.Check(n.treeItem) != 3) return;
    if (uint8_t* selected = UnformatSelectedByte(UnformatVectorOf(n), n.recordIndex)) {
      *selected = 1;
      ++checked;
    }
  });
  return checked;
}
