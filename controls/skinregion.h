#pragma once
#include <windows.h>

// The region of every non-white pixel of a mask bitmap (white is outside),
// in the bitmap's pixel coordinates; null when the bitmap cannot be read.
// The caller owns the region.
HRGN RegionFromMaskBitmap(HBITMAP mask);
