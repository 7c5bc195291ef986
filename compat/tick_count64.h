// A 64-bit millisecond tick count on every Windows the product serves.
//
// Windows XP has only the 32-bit GetTickCount. The threads library of the C++
// runtime asks for GetTickCount64 by import, which alone would stop a program
// from loading there; every program and DLL we ship links tick_count64.cpp,
// which answers that import itself (see salvora_ship in cmake/salvora.cmake).
#pragma once

#include <windows.h>

namespace compat {

// The system's GetTickCount64 where it has one, else the 32-bit count widened
// by counting its wraps (every 49.7 days).
ULONGLONG TickCount64();

// One widening step: the 64-bit count for a 32-bit reading taken after the
// 64-bit count *last (which becomes the result). A reading below the low half
// of *last counts one wrap, so the result never goes backwards; a gap of more
// than one wrap between two readings loses whole wraps.
ULONGLONG WidenTickCount(DWORD now, ULONGLONG* last);

}  // namespace compat
