// Stand-in until the copy-out lands: joins and creates the folders, nothing more.
#include "copyout/output.h"

#include <string>

#include "state.h"

HANDLE CreateOutputFile(const char* relativePath, const char* destination, int* error) {
  std::string path = std::string(destination) + relativePath;
  for (size_t i = 3; i < path.size(); ++i)
    if (path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError() == ERROR_DISK_FULL ? -2 : -1;
    return nullptr;
  }
  return h;
}

int WriteRecoveredBytes(HANDLE out, const void* data, uint32_t bytes) {
  DWORD done = 0;
  if (!WriteFile(out, data, bytes, &done, nullptr) || done != bytes)
    return GetLastError() == ERROR_DISK_FULL ? -2 : -1;
  gRecoveredSectors += bytes >= 512 ? bytes / 512 : 1;
  return 0;
}
