#include "framepaint.h"

#include "skinids.h"

namespace {

// Draws the polyline through pts with a fresh pen; 0 without a DC or pen.
int Outline(HDC dc, COLORREF colour, const POINT* pts, int count) {
  if (!dc) return 0;
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  if (!pen) return 0;
  HGDIOBJ old = SelectObject(dc, pen);
  Polyline(dc, pts, count);
  SelectObject(dc, old);
  DeleteObject(pen);
  return 1;
}

int Frame(int l, int t, int r, int b, HDC dc, COLORREF colour) {
  const POINT pts[] = {{l - 1, t - 1}, {l - 1, b}, {r, b}, {r, t - 1}, {l - 1, t - 1}};
  return Outline(dc, colour, pts, 5);
}

}  // namespace

int DrawFrameRect(int left, int top, int right, int bottom, HDC dc) {
  return Frame(left, top, right, bottom, dc, RGB(190, 203, 212));
}

int DrawFrameRectLight(int left, int top, int right, int bottom, HDC dc) {
  return Frame(left, top, right, bottom, dc, RGB(215, 223, 238));
}

int DrawFrameRectTwoTone(int left, int top, int right, int bottom, HDC dc) {
  // Polyline leaves out its last point: each run ends one pixel further.
  const POINT light[] = {{left - 1, top - 1}, {left - 1, bottom}, {right + 1, bottom}};
  const POINT dark[] = {{left - 1, top - 1}, {right, top - 1}, {right, bottom}};
  return Outline(dc, RGB(232, 235, 240), light, 3) && Outline(dc, RGB(119, 139, 166), dark, 3);
}
