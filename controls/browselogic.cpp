#include "browselogic.h"

#include "celltext.h"

namespace controls {

int TakeWheelLines(int* accumulator, int delta) {
  *accumulator += delta;
  int lines = *accumulator / 120;  // truncates toward zero in both directions
  *accumulator -= lines * 120;
  return lines;
}

namespace {
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool PathLeadsTo(const std::string& folder, const std::string& path) {
  std::string f = folder;
  while (f.size() > 3 && f.back() == '\\') f.pop_back();  // keep "C:\"
  if (f.empty() || f.size() > path.size()) return false;
  // Walk by characters so that a trail byte equal to 'A'..'Z' or '\' in a
  // double-byte character is never taken for a letter or a separator.
  std::vector<size_t> ends = Cp936CharEnds(path);
  size_t pos = 0;
  for (size_t e : ends) {
    if (pos >= f.size()) break;
    if (e > f.size()) return false;
    if (e - pos == 1) {
      if (Lower(path[pos]) != Lower(f[pos])) return false;
    } else if (path.compare(pos, e - pos, f, pos, e - pos) != 0) {
      return false;
    }
    pos = e;
  }
  if (pos != f.size()) return false;
  return path.size() == f.size() || f.back() == '\\' || path[f.size()] == '\\';
}

std::string BrowseRowText(const std::string& displayName) {
  size_t first = displayName.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  size_t last = displayName.find_last_not_of(' ');
  return displayName.substr(first, last - first + 1) + ' ';
}

}  // namespace controls
