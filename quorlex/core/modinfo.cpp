#include "modinfo.h"

#include <atomic>

#include "module_name.h"

namespace tarn {

namespace {
std::atomic<int> gProductId{0};
std::atomic<int> gSubVersion{0};
}  // namespace

HMODULE ModuleHandle() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModuleHandle), &module);
  return module;
}

std::wstring ModulePath(HMODULE module) { return WholeModuleFileName(module); }

std::wstring FolderOf(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring ModuleFolder() {
  std::wstring folder = ModulePath(ModuleHandle());
  size_t slash = folder.rfind(L'\\');
  folder.resize(slash == std::wstring::npos ? 0 : slash + 1);
  return folder;
}

int ProductId() { return gProductId.load(); }
void SetProductId(int id) { gProductId.store(id); }
int SubVersion() { return gSubVersion.load(); }
void SetSubVersion(int sv) { gSubVersion.store(sv); }

int ReadSubVersion() {
  std::wstring folder = ModuleFolder();
  if (folder.empty()) return 0;  // never a file of the current directory
  std::wstring file = folder + L"tarnver.dat";
  return (int)GetPrivateProfileIntW(L"tarn", L"subversion", 0, file.c_str());
}

}  // namespace tarn
