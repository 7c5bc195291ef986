#include "maskregion.h"

namespace controls {

std::vector<PixelRun> MaskRuns(const uint32_t* pixels, int width, int height, int stride) {
  std::vector<PixelRun> runs;
  if (!pixels || width <= 0 || height <= 0 || stride < width) return runs;
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = pixels + static_cast<size_t>(y) * stride;
    int x = 0;
    while (x < width) {
      while (x < width && (row[x] & 0xFFFFFF) == 0xFFFFFF) ++x;
      if (x == width) break;
      int start = x;
      while (x < width && (row[x] & 0xFFFFFF) != 0xFFFFFF) ++x;
      runs.push_back(PixelRun{start, x, y});
    }
  }
  return runs;
}

}  // namespace controls
