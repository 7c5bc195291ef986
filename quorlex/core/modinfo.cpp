#include "modinfo.h"

#include <atomic>

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

std::wstring ModuleFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameW(ModuleHandle(), path, MAX_PATH);
  std::wstring folder(path, n);
  size_t slash = folder.rfind(L'\\');
  folder.resize(slash == std::wstring::npos ? 0 : slash + 1);
  return folder;
}

int ProductId() { return gProductId.load(); }
void SetProductId(int id) { gProductId.store(id); }
int SubVersion() { return gSubVersion.load(); }
void SetSubVersion(int sv) { gSubVersion.store(sv); }

int ReadSubVersion() {
  std::wstring file = ModuleFolder() + L"tarnver.dat";
  return (int)GetPrivateProfileIntW(L"tarn", L"subversion", 0, file.c_str());
}

}  // namespace tarn
