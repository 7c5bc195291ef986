// Texts of tree-list cells: the columns of a row kept in one string, and the
// shortening of a cell text that does not fit its column.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace controls {

// Column `column` of a row whose columns are joined by `sep` (column 0 is
// before the first separator). Missing columns are empty.
std::string ColumnText(const std::string& row, int column, char sep = '\0');

// Replaces column `column` of the row; a row with fewer columns gets empty
// ones up to it. A separator inside `text` would shift every later column, so
// the text is cut there.
void SetColumnText(std::string* row, int column, const std::string& text, char sep = '\0');

// Byte offsets at which the characters of a code-page-936 text end (the
// class layer's GbkCharLength decides what is one character).
std::vector<size_t> Cp936CharEnds(const std::string& text);

// The text itself when width(text) <= maxWidth, else its longest prefix of
// whole characters that fits with "..." behind it, plus "...". A double-byte
// character is never cut in half. `width` measures a run of bytes.
using TextWidthFn = std::function<int(const char* text, int length)>;
std::string FitWithEllipsis(const std::string& text, int maxWidth, const TextWidthFn& width);

}  // namespace controls
