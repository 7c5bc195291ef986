#include "version_checks.h"

#include <cstring>
#include <string>

int GetFileVersionString(const char* path, CString& out) {
  out.Empty();
  if (!path || !*path) return 0;
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  if (!size) return 0;
  std::string block(size, '\0');
  if (!GetFileVersionInfoA(path, 0, size, &block[0])) return 0;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
      length < sizeof(VS_FIXEDFILEINFO))
    return 0;
  out.Format("%u.%u.%u.%u", HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
             HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
  return 1;
}

int GetOwnVersionString(CString& out) {
  char path[MAX_PATH] = "";
  DWORD n = GetModuleFileNameA(AfxGetInstanceHandle(), path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    out.Empty();
    return 0;
  }
  return GetFileVersionString(path, out);
}

int IsValidPathName(const char* path) {
  if (!path) return 0;
  const int length = static_cast<int>(strlen(path));
  int index = 0;   // character number, counted from 1 below
  for (int i = 0; i < length;) {
    const int n = fw::GbkCharLength(path, length, i);
    ++index;
    if (n == 1) {
      const char c = path[i];
      if (c == '\\' && i + 1 < length && (path[i + 1] == ' ' || path[i + 1] == '\\')) return 0;
      if (index >= 3 && c != '\0' && strchr("/:*?<>|", c)) return 0;
    }
    i += n;
  }
  return 1;
}

int IsVistaOrLater() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;   // 148 bytes
  static_assert(sizeof(OSVERSIONINFOA) == 148, "the plain version record");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) return 0;
#pragma GCC diagnostic pop
  return info.dwMajorVersion >= 6 ? 1 : 0;
}
