#include "safepath.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <vector>

namespace tarn {

namespace {

inline bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

inline wchar_t Upper(wchar_t c) { return (c >= L'a' && c <= L'z') ? (wchar_t)(c - 32) : c; }

bool IsDeviceName(const std::wstring& name) {
  // The device is named by the part before the first dot ("nul.txt" is NUL).
  std::wstring stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (wchar_t& c : stem) c = Upper(c);
  static const wchar_t* const kPlain[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* d : kPlain)
    if (stem == d) return true;
  if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
      stem[3] >= L'0' && stem[3] <= L'9')
    return true;
  return false;
}

// Splits at separators; false on a leading, doubled or (unless allowed)
// trailing separator.
bool SplitComponents(const std::wstring& path, bool allowTrailing, std::vector<std::wstring>* out) {
  out->clear();
  if (path.empty()) return true;
  if (IsSeparator(path[0])) return false;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end == start) return false;  // doubled separator
    out->push_back(path.substr(start, end - start));
    if (end == path.size()) return true;
    if (end + 1 == path.size()) return allowTrailing;
    start = end + 1;
  }
  return true;
}

std::wstring FullPath(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return std::wstring();
  std::wstring full(n, L'\0');
  DWORD got = GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
  if (got == 0 || got >= n) return std::wstring();
  full.resize(got);
  return full;
}

}  // namespace

bool IsSafeComponent(const std::wstring& name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (wchar_t c : name) {
    if (c < 0x20 || c == 0x7F) return false;
    switch (c) {
      case L'<': case L'>': case L':': case L'"': case L'|': case L'?': case L'*':
      case L'/': case L'\\':
        return false;
      default:
        break;
    }
  }
  // Windows drops trailing dots and spaces: "a." would name "a", ". ." the folder.
  if (name.back() == L'.' || name.back() == L' ') return false;
  return !IsDeviceName(name);
}

bool IsSafeRelativeFile(const std::wstring& path) {
  std::vector<std::wstring> parts;
  if (path.empty() || !SplitComponents(path, false, &parts)) return false;
  for (const std::wstring& p : parts)
    if (!IsSafeComponent(p)) return false;
  return true;
}

bool IsSafeRelativeFolder(const std::wstring& path) {
  std::vector<std::wstring> parts;
  if (!SplitComponents(path, true, &parts)) return false;
  for (const std::wstring& p : parts)
    if (!IsSafeComponent(p)) return false;
  return true;
}

bool IsMd5Text(const std::wstring& text) {
  if (text.size() != 32) return false;
  for (wchar_t c : text)
    if (!iswxdigit(c) || c > 0x7F) return false;
  return true;
}

std::wstring BackslashPath(std::wstring path) {
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

bool IsBelowFolder(const std::wstring& root, const std::wstring& path) {
  std::wstring r = FullPath(root), p = FullPath(path);
  if (r.empty() || p.empty()) return false;
  if (r.back() != L'\\') r += L'\\';
  if (p.size() <= r.size()) return false;
  return _wcsnicmp(p.c_str(), r.c_str(), r.size()) == 0;
}

std::wstring JoinBelow(const std::wstring& root, const std::wstring& relative) {
  if (root.empty() || !IsSafeRelativeFile(relative)) return std::wstring();
  std::wstring joined = root;
  if (joined.back() != L'\\') joined += L'\\';
  joined += BackslashPath(relative);
  return IsBelowFolder(root, joined) ? joined : std::wstring();
}

bool CreateFoldersOf(const std::wstring& filePath) {
  size_t slash = filePath.find_last_of(L'\\');
  if (slash == std::wstring::npos) return true;
  std::wstring folder = filePath.substr(0, slash);
  // From the root: skip the drive ("C:") or the share ("\\server\share").
  size_t pos = 0;
  if (folder.size() >= 2 && folder[1] == L':') {
    pos = 2;
  } else if (folder.compare(0, 2, L"\\\\") == 0) {
    pos = folder.find(L'\\', 2);
    if (pos != std::wstring::npos) pos = folder.find(L'\\', pos + 1);
    if (pos == std::wstring::npos) return true;
  }
  while (pos != std::wstring::npos) {
    size_t next = folder.find(L'\\', pos + 1);
    std::wstring part = folder.substr(0, next);
    if (!part.empty() && part.back() != L':') {
      DWORD a = GetFileAttributesW(part.c_str());
      if (a == INVALID_FILE_ATTRIBUTES) {
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
          return false;
      } else if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
      }
    }
    pos = next;
  }
  return true;
}

}  // namespace tarn
