// The one bitmap layout the controls read and draw pixels in: 32 bits a
// pixel, rows from the top, so pixel (x, y) is at y * w + x.
#pragma once
#include <windows.h>

inline BITMAPINFO TopDownRgb32(int w, int h) {
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  return bi;
}
