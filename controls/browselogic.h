// Plain pieces of the folder browse tree: the mouse wheel and path matching.
#pragma once
#include <string>

namespace controls {

// Adds a wheel turn to the accumulator and returns how many whole lines it
// makes: positive lines up (each 120 units), negative lines down. What is
// left below 120 stays in the accumulator for the next turn.
int TakeWheelLines(int* accumulator, int delta);

// True when `folder` is `path` or a leading part of it that ends on a
// component boundary ("C:\A" leads "c:\a\b" but not "C:\AB"), compared
// without regard to case (ASCII letters; double-byte characters whole).
bool PathLeadsTo(const std::string& folder, const std::string& path);

}  // namespace controls
