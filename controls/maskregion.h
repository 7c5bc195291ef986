// Which pixels of a mask bitmap make a button's window: every pixel that is
// not white. Kept apart from GDI so that the runs can be checked directly.
#pragma once
#include <cstdint>
#include <vector>

namespace controls {

struct PixelRun {
  int left, right;  // [left, right)
  int y;
};

// Runs of non-white pixels, row by row. `pixels` holds `height` rows of
// `stride` 32-bit 0x??RRGGBB values, the top row first; only the colour bits
// count. A run that reaches the right edge ends after the last pixel.
std::vector<PixelRun> MaskRuns(const uint32_t* pixels, int width, int height, int stride);

}  // namespace controls
