#include "module_path.h"

#include <vector>

std::wstring ModuleFolderW(HMODULE module) {
  // A buffer filled to the brim may hold a cut name: grow it until the whole
  // name fits, up to the longest path Windows has.
  for (DWORD size = MAX_PATH + 1; size <= 32768; size *= 2) {
    std::vector<wchar_t> path(size + 1, L'\0');
    SetLastError(0);
    DWORD n = GetModuleFileNameW(module, path.data(), size);
    if (n == 0) return std::wstring();
    if (n < size && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      std::wstring full(path.data(), n);
      size_t slash = full.rfind(L'\\');
      return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash + 1);
    }
  }
  return std::wstring();
}

namespace {

std::string ToAnsi(const std::wstring& text, bool* lossy) {
  *lossy = false;
  if (text.empty()) return std::string();
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), (int)text.size(), nullptr,
                              0, nullptr, &usedDefault);
  if (n <= 0) {
    *lossy = true;
    return std::string();
  }
  std::string out((size_t)n, '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), (int)text.size(), &out[0], n,
                      nullptr, &usedDefault);
  if (usedDefault) *lossy = true;
  // Back again: only a name that comes back unchanged names the same folder.
  int m = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out.data(), n, nullptr, 0);
  std::wstring back(m > 0 ? (size_t)m : 0, L'\0');
  if (m > 0) MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out.data(), n, &back[0], m);
  if (back != text) *lossy = true;
  return out;
}

}  // namespace

bool SurvivesCodePage(const std::wstring& text) {
  bool lossy = false;
  ToAnsi(text, &lossy);
  return !lossy;
}

std::string ModuleFolderAnsi(HMODULE module) {
  bool lossy = false;
  std::string folder = ToAnsi(ModuleFolderW(module), &lossy);
  return lossy ? std::string() : folder;
}

HMODULE LoadLibraryBeside(const std::wstring& folder, const wchar_t* name) {
  if (folder.empty() || !name) return nullptr;
  // The full path: the search order never comes into it.
  return LoadLibraryW((folder + name).c_str());
}

void UseSafeLibrarySearch() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  typedef BOOL(WINAPI * SetDefaultFn)(DWORD);
  typedef BOOL(WINAPI * SetDirectoryFn)(LPCWSTR);
  // LOAD_LIBRARY_SEARCH_DEFAULT_DIRS: the program's folder, the system
  // folder and folders added on purpose; never the current directory.
  const DWORD kSearchDefaultDirs = 0x00001000;
  auto setDefault =
      reinterpret_cast<SetDefaultFn>(GetProcAddress(kernel, "SetDefaultDllDirectories"));
  if (setDefault && setDefault(kSearchDefaultDirs)) return;
  auto setDirectory = reinterpret_cast<SetDirectoryFn>(GetProcAddress(kernel, "SetDllDirectoryW"));
  if (setDirectory) setDirectory(L"");
}
