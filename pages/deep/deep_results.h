// The logic of the deep-scan result page, without a window: the hits of
// gFoundFiles listed in one folder per type, the texts of a row, the walk of
// Next that writes the ticks into the records, and which preview to read when
// the selection moves while a read is still under way.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fw_string.h"
#include "records/records.h"
#include "result_tree.h"

// Lists hit `index` in a tree filled by type: the name up to its first
// backslash is its folder, the rest its row; a name without a backslash is
// both. *folderIsNew when the hit's folder was made for it.
ResultTreeNode* AddFoundFile(CResultTree& tree, const FoundFileRecord& hit, int32_t index, bool* folderIsNew);

// The size column: the hit's sectors as kilobytes, "%llu KB" (1 sector shows
// 0 KB, 3 show 1 KB, 4 show 2 KB); a hit that ends before it starts, 0 KB.
CString FoundSizeText(const FoundFileRecord& hit);

// What Next found: rows walked (ticked or not), rows ticked, and the sectors
// of the ticked hits.
struct DeepSelection {
  uint32_t visited = 0;
  uint32_t checked = 0;
  uint64_t sectors = 0;
};
// Writes the ticks into the records: check state 3 sets selected to 1 and
// counts the hit as ticked; 1 sets it to 0; other states change nothing.
// stateOf(node) gives the state of a file node of the tree.
DeepSelection ApplyResultChecks(const CResultTree& tree, std::vector<FoundFileRecord>& hits,
                                const std::function<int(const ResultTreeNode& file)>& stateOf);

// The state a folder shows for its rows' states (1 unchecked, 3 checked):
// theirs when all agree, 2 (partly) when they differ; `current` when no row
// has a box.
int FolderCheckOf(const std::vector<int>& rowStates, int current);

// Which hit to read for the preview. The reader runs on a worker; while it
// reads, the selection may move on: only the latest selection is read next,
// and data that arrives for a hit no longer selected is not shown.
class PreviewRequests {
 public:
  enum Action { kNothing, kStartRead, kWait };
  // The hit under the caret (-1: a folder or nothing). A folder changes
  // nothing; the hit shown (or being read) last is not read again.
  Action Select(int index);
  // The read of `index` has ended. *show: its data is for the hit wanted
  // now. Returns the hit to read next, or -1.
  int Arrived(int index, bool* show);
  int Wanted() const { return wanted_; }
  int Reading() const { return reading_; }

 private:
  int wanted_ = -1;
  int reading_ = -1;
};

// The width and height a JPEG, PNG, GIF or BMP file declares in its header
// (the bytes are a carved file: every length is checked against size);
// false when they cannot be read or either is 0.
bool PictureDimensions(const uint8_t* bytes, size_t size, uint32_t* width, uint32_t* height);
// The largest rectangle of the picture's shape inside area, centred in it;
// a picture smaller than the area keeps its own size. area itself when a
// dimension is 0.
RECT FitKeepingShape(const RECT& area, uint32_t width, uint32_t height);
