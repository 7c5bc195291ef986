#include "celltext.h"

#include "fw_string.h"

namespace controls {

namespace {

// [begin, end) of column `column`; begin == npos when the row has fewer columns.
void FindColumn(const std::string& row, int column, char sep, size_t* begin, size_t* end) {
  size_t pos = 0;
  for (int i = 0; i < column; ++i) {
    size_t s = row.find(sep, pos);
    if (s == std::string::npos) {
      *begin = *end = std::string::npos;
      return;
    }
    pos = s + 1;
  }
  *begin = pos;
  size_t s = row.find(sep, pos);
  *end = s == std::string::npos ? row.size() : s;
}

}  // namespace

std::string ColumnText(const std::string& row, int column, char sep) {
  if (column < 0) return std::string();
  size_t b, e;
  FindColumn(row, column, sep, &b, &e);
  return b == std::string::npos ? std::string() : row.substr(b, e - b);
}

void SetColumnText(std::string* row, int column, const std::string& text, char sep) {
  if (column < 0) return;
  std::string cell = text.substr(0, text.find(sep));
  size_t b, e;
  FindColumn(*row, column, sep, &b, &e);
  if (b != std::string::npos) {
    row->replace(b, e - b, cell);
    return;
  }
  int have = 0;
  for (char c : *row) have += c == sep;
  row->append(static_cast<size_t>(column - have), sep);
  row->append(cell);
}

std::vector<size_t> Cp936CharEnds(const std::string& text) {
  std::vector<size_t> ends;
  ends.reserve(text.size());
  const int n = static_cast<int>(text.size());
  for (int i = 0; i < n;) {
    i += fw::GbkCharLength(text.data(), n, i);
    ends.push_back(static_cast<size_t>(i));
  }
  return ends;
}

std::string FitWithEllipsis(const std::string& text, int maxWidth, const TextWidthFn& width) {
  if (width(text.data(), static_cast<int>(text.size())) <= maxWidth) return text;
  static const char kDots[] = "...";
  // Widths grow with length, so the longest prefix that fits is found by
  // halving over character boundaries rather than by one measure per byte.
  std::vector<size_t> ends = Cp936CharEnds(text);
  std::string probe;
  auto fits = [&](size_t bytes) {
    probe.assign(text, 0, bytes);
    probe += kDots;
    return width(probe.data(), static_cast<int>(probe.size())) <= maxWidth;
  };
  size_t lo = 0, hi = ends.size();  // prefixes of ends[k-1] bytes, k in [lo, hi)
  size_t best = 0;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    size_t bytes = mid == 0 ? 0 : ends[mid - 1];
    if (fits(bytes)) {
      best = bytes;
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return text.substr(0, best) + kDots;
}

}  // namespace controls
