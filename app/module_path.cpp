#include "module_path.h"

#include "module_name.h"

std::wstring ModuleFolderW(HMODULE module) {
  std::wstring full = WholeModuleFileName(module);
  size_t slash = full.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash + 1);
}

bool SurvivesCodePage(const std::wstring& text) {
  std::string narrow;
  return ToCodePageExactly(text, &narrow);
}

std::string ModuleFolderAnsi(HMODULE module) {
  std::string folder;
  return ToCodePageExactly(ModuleFolderW(module), &folder) ? folder : std::string();
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
