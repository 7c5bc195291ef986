// Plain pieces of the folder browse tree: the mouse wheel, path matching and
// the text of a row.
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

// The text a row shows for a shell display name. The tree view clips a label
// to the advance width of its text plus two pixels, and glyphs of the small
// interface font may draw a few pixels past their advance (the closing
// bracket of "(Z:)" was cut off): one trailing blank gives the last glyph
// room. Blanks around the name are dropped first (a drive without a volume
// label is named " (C:)").
std::string BrowseRowText(const std::string& displayName);

}  // namespace controls
