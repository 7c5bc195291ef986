#include "servers.h"

#include <windows.h>

#include <cwchar>

#include "modinfo.h"
#include "regstore.h"
#include "textconv.h"

namespace tarn {

const wchar_t kServersKey[] = L"Software\\Quillon\\Tarn\\Servers";
const wchar_t kServerUpdate[] = L"Update";
const wchar_t kServerStatAction[] = L"StatAction";
const wchar_t kServerStatNode[] = L"StatNode";
const wchar_t kServerPush[] = L"Push";

namespace {

const size_t kMaxAddressChars = 2048;

// A program without a manifest that runs unelevated reads HKLM\Software
// through the user's own VirtualStore, which the user can write: such a view
// is not an administrator's word. Windows without virtualisation (XP) does
// not know the query and counts as not virtualised.
bool RegistryVirtualized() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
  DWORD enabled = 0, size = 0;
  BOOL known = GetTokenInformation(token, TokenVirtualizationEnabled, &enabled, sizeof enabled, &size);
  CloseHandle(token);
  return known && enabled;
}

}  // namespace

std::wstring ServersKeyOf(const std::wstring& modulePath) {
  std::wstring key = std::wstring(kServersKey) + L"\\" + modulePath;
  for (size_t i = wcslen(kServersKey) + 1; i < key.size(); ++i)
    if (key[i] == L'\\') key[i] = L'/';
  return key;
}

std::string ServerAddress(const wchar_t* name, const char* builtIn) {
  std::wstring path = ModulePath(ModuleHandle());
  if (path.empty()) return builtIn;
  QRegKey key;
  std::wstring value;
  if (key.Open(HKEY_LOCAL_MACHINE, ServersKeyOf(path).c_str(), KEY_QUERY_VALUE) !=
          ERROR_SUCCESS ||
      key.QueryString(name, &value, kMaxAddressChars) != ERROR_SUCCESS || value.empty() ||
      RegistryVirtualized())
    return builtIn;
  return WideToAnsi(value);
}

}  // namespace tarn
