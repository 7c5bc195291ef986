// What every program and DLL we ship needs of its own file name: the whole
// wide name, and its folder in the active code page only when that names the
// same folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The whole wide file name of a module; "" when it cannot be had whole. A
// buffer filled to the brim may hold a cut name: it grows until the name
// fits, up to the longest path Windows has.
inline std::wstring WholeModuleFileName(HMODULE module) {
  for (DWORD size = MAX_PATH + 1; size <= 32768; size *= 2) {
    std::vector<wchar_t> path(size + 1, L'\0');
    SetLastError(0);
    DWORD n = GetModuleFileNameW(module, path.data(), size);
    if (n == 0) return std::wstring();
    if (n < size && GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::wstring(path.data(), n);
  }
  return std::wstring();
}

// text in the active code page, when it comes back unchanged from there: a
// best fit can turn one folder's name into a look-alike's ("app²" into
// "app2"), and a character with no stand-in into '?'. false otherwise.
inline bool ToCodePageExactly(const std::wstring& text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), (int)text.size(), nullptr,
                              0, nullptr, &usedDefault);
  if (n <= 0) return false;
  std::string narrow((size_t)n, '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), (int)text.size(), &narrow[0], n,
                      nullptr, &usedDefault);
  if (usedDefault) return false;
  int m = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), n, nullptr, 0);
  if (m <= 0) return false;
  std::wstring back((size_t)m, L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), n, &back[0], m);
  if (back != text) return false;
  *out = narrow;
  return true;
}
