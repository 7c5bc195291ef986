#include "barmath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace controls {

ProgressValue ScaleProgress(int total, int done) {
  if (total > 1000000) {
    total /= 512;
    done /= 512;
  }
  ProgressValue v;
  v.total = total;
  v.position = std::max(0, std::min(done, total));
  return v;
}

int ProgressFillWidth(const ProgressValue& v, int bgWidth) {
  int64_t total = v.total <= 0 ? 1 : v.total;
  int64_t w = static_cast<int64_t>(std::max(0, v.position)) * bgWidth / total;
  w = std::max<int64_t>(w, 3);
  w = std::min<int64_t>(w, bgWidth - 4);
  return static_cast<int>(w);
}

std::vector<int> ProgressTileXs(int fillWidth, int tileWidth) {
  std::vector<int> xs;
  if (fillWidth <= 2 || tileWidth <= 0) return xs;
  for (int x = 2; x < fillWidth; x += tileWidth) xs.push_back(x);
  return xs;
}

int BusyStepLimit(const BusyBarState& s) {
  if (s.blocks <= 0) return 0;
  if (s.blockMode == kGrowingRun) return std::max(0, s.subSteps) * s.blocks;
  return s.blocks;
}

void BusyStep(BusyBarState* s) {
  if (s->style == kBusyProgress) {
    s->position += s->direction;
    return;
  }
  int limit = BusyStepLimit(*s);
  if (limit <= 0) return;
  switch (s->motion) {
    case kMotionBounce:
      if (limit == 1) {  // nowhere to go
        s->position = 0;
        return;
      }
      if (s->position >= limit - 1) s->direction = -1;
      if (s->position < 1) s->direction = 1;
      break;
    case kMotionWrapForward:
      if (s->position >= limit - 1) s->position = -1;
      break;
    case kMotionWrapBackward:
      if (s->position <= 0) s->position = limit;
      break;
  }
  s->position += s->direction;
}

void BusyReset(BusyBarState* s) {
  if (s->style == kBusyEndless && s->motion == kMotionWrapBackward) {
    s->direction = -1;
    s->position = BusyStepLimit(*s);
  } else {
    s->direction = 1;
    s->position = 0;
  }
}

void BusySetMotion(BusyBarState* s, int mode) {
  s->motion = mode;
  if (s->style != kBusyEndless) return;
  if (mode == kMotionWrapForward) s->direction = 1;
  if (mode == kMotionWrapBackward) s->direction = -1;
}

std::vector<BlockRect> BusyBlocks(const BusyBarState& s, int width, int gap) {
  std::vector<BlockRect> out;
  if (s.blocks <= 0 || width <= 0) return out;
  double bw = static_cast<double>(width - gap * s.blocks) / s.blocks;
  if (bw <= 0) return out;
  // f: how many blocks are lit, with a fraction for the one being filled.
  double f = 0;
  bool run = s.style == kBusyProgress || s.blockMode == kGrowingRun;
  if (run) {
    double steps = s.style == kBusyProgress ? static_cast<double>(s.rangeHigh) - s.rangeLow
                                            : static_cast<double>(BusyStepLimit(s));
    double pos = s.style == kBusyProgress ? static_cast<double>(s.position) - s.rangeLow
                                          : static_cast<double>(s.position);
    if (steps > 0) f = pos / steps * s.blocks;
    f = std::max(0.0, std::min(f, static_cast<double>(s.blocks)));
  }
  int n = static_cast<int>(f);
  double x = 0;
  for (int i = 0; i < s.blocks; ++i) {
    BlockRect b;
    b.left = static_cast<int>(x);
    b.right = static_cast<int>(x + bw);
    b.partialWidth = 0;
    if (run) {
      b.lit = i < n;
      if (i == n) b.partialWidth = static_cast<int>(std::lround((f - n) * bw));
    } else {
      b.lit = i == s.position;
    }
    out.push_back(b);
    x += gap + bw;
  }
  return out;
}

}  // namespace controls
