// Window region from a mask bitmap: the GDI side of MaskRuns.
#include <windows.h>

#include <vector>

#include "dibinfo.h"
#include "maskregion.h"
#include "skinregion.h"

HRGN RegionFromMaskBitmap(HBITMAP mask) {
  BITMAP bm;
  if (!mask || !GetObjectA(mask, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0)
    return nullptr;
  const int w = bm.bmWidth, h = bm.bmHeight;
  // Read the whole bitmap at once as 32-bit top-down rows rather than pixel
  // by pixel: a 300 x 200 mask is one call instead of 60,000.
  std::vector<uint32_t> px(static_cast<size_t>(w) * h);
  BITMAPINFO bi = TopDownRgb32(w, h);
  HDC screen = GetDC(nullptr);
  int rows = GetDIBits(screen, mask, 0, h, px.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != h) return nullptr;
  std::vector<controls::PixelRun> runs = controls::MaskRuns(px.data(), w, h, w);

  HRGN result = CreateRectRgn(0, 0, 0, 0);
  if (!result) return nullptr;
  // Rectangles go to ExtCreateRegion in batches (older systems refuse very
  // large region data), each batch ORed into the result.
  const size_t kBatch = 2000;
  std::vector<char> buf(sizeof(RGNDATAHEADER) + kBatch * sizeof(RECT));
  for (size_t first = 0; first < runs.size(); first += kBatch) {
    size_t n = std::min(kBatch, runs.size() - first);
    RGNDATA* rd = reinterpret_cast<RGNDATA*>(buf.data());
    rd->rdh.dwSize = sizeof(RGNDATAHEADER);
    rd->rdh.iType = RDH_RECTANGLES;
    rd->rdh.nCount = static_cast<DWORD>(n);
    rd->rdh.nRgnSize = static_cast<DWORD>(n * sizeof(RECT));
    RECT bound = {w, h, 0, 0};
    RECT* rects = reinterpret_cast<RECT*>(rd->Buffer);
    for (size_t i = 0; i < n; ++i) {
      const controls::PixelRun& r = runs[first + i];
      rects[i] = RECT{r.left, r.y, r.right, r.y + 1};
      bound.left = std::min<LONG>(bound.left, r.left);
      bound.top = std::min<LONG>(bound.top, r.y);
      bound.right = std::max<LONG>(bound.right, r.right);
      bound.bottom = std::max<LONG>(bound.bottom, r.y + 1);
    }
    rd->rdh.rcBound = bound;
    HRGN part = ExtCreateRegion(nullptr, static_cast<DWORD>(sizeof(RGNDATAHEADER) + n * sizeof(RECT)), rd);
    if (part) {
      CombineRgn(result, result, part, RGN_OR);
      DeleteObject(part);
    }
  }
  return result;
}
