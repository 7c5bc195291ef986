#include "plainfile.h"

namespace tarn {

namespace {

bool StartsWithFolder(const std::wstring& base, const std::wstring& path) {
  if (base.empty() || path.size() <= base.size()) return false;
  if (_wcsnicmp(base.c_str(), path.c_str(), base.size()) != 0) return false;
  return base.back() == L'\\' || path[base.size()] == L'\\';
}

// The handle names a file with one link that is no reparse point.
bool IsPlainHandle(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(h, &info)) return false;
  return info.nNumberOfLinks == 1 && !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool IsPlainPathBelow(const std::wstring& base, const std::wstring& path) {
  if (!StartsWithFolder(base, path)) return false;
  size_t from = base.size();
  if (path[from] == L'\\') ++from;
  for (size_t at = from; at <= path.size(); ++at) {
    if (at < path.size() && path[at] != L'\\' && path[at] != L'/') continue;
    std::wstring part = path.substr(0, at);
    DWORD a = GetFileAttributesW(part.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
      DWORD err = GetLastError();
      // Not there yet: nothing below it can be a link either.
      return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
    }
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    if (at == path.size() && !(a & FILE_ATTRIBUTE_DIRECTORY)) {
      HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
      if (h == INVALID_HANDLE_VALUE) return false;
      bool plain = IsPlainHandle(h);
      CloseHandle(h);
      return plain;
    }
  }
  return true;
}

HANDLE OpenPlainForAppend(const std::wstring& base, const std::wstring& path) {
  if (!IsPlainPathBelow(base, path)) return INVALID_HANDLE_VALUE;
  HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  // What was opened is checked itself: a link made since the check is not
  // written through.
  if (!IsPlainHandle(h) || SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER) {
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

}  // namespace tarn
