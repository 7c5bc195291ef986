// The arithmetic of the progress bar and of the busy bar's blocks, apart from
// their windows: what is filled, where each block is, how the animation steps.
#pragma once
#include <vector>

namespace controls {

// ---- bitmap progress bar ----------------------------------------------------

struct ProgressValue {
  int total = 1000;
  int position = 1;
};

// What SetPos stores: totals above 1,000,000 are divided by 512 (with the
// position) so that the fill arithmetic stays in range; the position is
// limited to 0..total.
ProgressValue ScaleProgress(int total, int done);

// Filled width of a background `bgWidth` pixels wide: position * bgWidth /
// total (a total of 0 or less counts as 1), at least 3, at most bgWidth - 4.
int ProgressFillWidth(const ProgressValue& v, int bgWidth);

// x of each copy of the bar tile (tileWidth wide) from x 2 while x < fill.
std::vector<int> ProgressTileXs(int fillWidth, int tileWidth);

// ---- busy bar ---------------------------------------------------------------

enum BusyStyle { kBusyEndless = 1, kBusyProgress = 2 };
enum BusyMotion { kMotionBounce = 1, kMotionWrapForward = 2, kMotionWrapBackward = 4 };
enum BusyBlockMode { kOneLitBlock = 1, kGrowingRun = 2 };

struct BusyBarState {
  int blocks = 10;
  int direction = 1;
  int position = 0;
  int style = kBusyEndless;
  int rangeLow = 0, rangeHigh = 100;
  int motion = kMotionBounce;
  int blockMode = kOneLitBlock;
  int subSteps = 5;
};

// Positions the animation runs through: the block count, or sub-steps x blocks
// when a growing run is shown.
int BusyStepLimit(const BusyBarState& s);

// One animation step (endless style) or one move by the direction (progress
// style). A bar without blocks or steps does not move.
void BusyStep(BusyBarState* s);

// Back to the start: position 0 going forwards, or the far end going
// backwards for the backward wrap.
void BusyReset(BusyBarState* s);

// Motion mode as SetMoveMode stores it: the wraps also fix the direction.
void BusySetMotion(BusyBarState* s, int mode);

struct BlockRect {
  int left, right;
  bool lit;
  int partialWidth;  // > 0: block drawn plain with this much lit from the left
};

// The blocks of a width x height area with `gap` pixels between blocks, each
// with its look for the current state. No blocks (or no room) gives none.
std::vector<BlockRect> BusyBlocks(const BusyBarState& s, int width, int gap);

}  // namespace controls
