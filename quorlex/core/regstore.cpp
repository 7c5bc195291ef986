#include "regstore.h"

#include <shlwapi.h>

#include <mutex>

#include "hashing.h"
#include "textconv.h"

LONG QRegKey::Open(HKEY parent, const wchar_t* path, REGSAM access) {
  Close();
  return RegOpenKeyExW(parent, path, 0, access, &key_);
}

LONG QRegKey::Create(HKEY parent, const wchar_t* path, REGSAM access) {
  Close();
  return RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_,
                         nullptr);
}

void QRegKey::Close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}

LONG QRegKey::QueryDword(const wchar_t* name, DWORD* value) const {
  DWORD type = 0, size = 0;
  LONG rc = RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_DWORD || size != sizeof(DWORD)) return ERROR_INVALID_DATA;
  DWORD data = 0;
  size = sizeof data;
  rc = RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  if (rc != ERROR_SUCCESS) return rc;
  *value = data;
  return ERROR_SUCCESS;
}

LONG QRegKey::QueryString(const wchar_t* name, std::wstring* value, size_t maxChars) const {
  DWORD type = 0, size = 0;
  LONG rc = RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size);
  if (rc != ERROR_SUCCESS) return rc;
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  DWORD got = (DWORD)(text.size() * sizeof(wchar_t));
  rc = RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &got);
  if (rc != ERROR_SUCCESS) return rc;
  text.resize(got / sizeof(wchar_t));
  size_t nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  if (maxChars && text.size() > maxChars) text.resize(maxChars);
  *value = text;
  return ERROR_SUCCESS;
}

LONG QRegKey::SetDword(const wchar_t* name, DWORD value) {
  return RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}

LONG QRegKey::SetString(const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        (DWORD)((value.size() + 1) * sizeof(wchar_t)));
}

LONG QRegKey::DeleteValue(const wchar_t* name) { return RegDeleteValueW(key_, name); }

namespace tarn {

const wchar_t kStoreRoot[] = L"Software\\Quillon\\Tarn";

std::wstring StoreKeyPath(const wchar_t* subKey) {
  return FormatW(L"%ls\\%ls", kStoreRoot, subKey ? subKey : L"");
}

std::wstring ProductSubKey(int productId) { return FormatW(L"%d", productId); }

std::wstring HashedValueName(const wchar_t* name) {
  std::string ansi = WideToAnsi(name ? name : L"");
  return AnsiToWide(CrcText(ansi));
}

namespace {

std::wstring ValueName(const wchar_t* name, bool hashed) {
  return hashed ? HashedValueName(name) : std::wstring(name);
}

// Opens the product key for writing, creating it when it does not exist.
bool OpenForWrite(const wchar_t* subKey, QRegKey* key) {
  std::wstring path = StoreKeyPath(subKey);
  LONG rc = key->Open(HKEY_CURRENT_USER, path.c_str(), KEY_WRITE);
  if (rc == ERROR_FILE_NOT_FOUND) rc = key->Create(HKEY_CURRENT_USER, path.c_str(), KEY_WRITE);
  return rc == ERROR_SUCCESS;
}

}  // namespace

LONG StoreReadDword(const wchar_t* subKey, const wchar_t* name, DWORD* value) {
  if (!subKey || !name || !value) return ERROR_INVALID_PARAMETER;
  QRegKey key;
  LONG rc = key.Open(HKEY_CURRENT_USER, StoreKeyPath(subKey).c_str(), KEY_READ);
  if (rc != ERROR_SUCCESS) return rc;
  return key.QueryDword(HashedValueName(name).c_str(), value);
}

bool StoreReadString(const wchar_t* subKey, const wchar_t* name, bool hashed, std::wstring* value) {
  if (!subKey || !name || !value) return false;
  QRegKey key;
  if (key.Open(HKEY_CURRENT_USER, StoreKeyPath(subKey).c_str(), KEY_READ) != ERROR_SUCCESS)
    return false;
  return key.QueryString(ValueName(name, hashed).c_str(), value) == ERROR_SUCCESS;
}

bool StoreWriteDword(const wchar_t* subKey, const wchar_t* name, bool hashed, DWORD value) {
  if (!subKey || !name) return false;
  QRegKey key;
  if (!OpenForWrite(subKey, &key)) return false;
  return key.SetDword(ValueName(name, hashed).c_str(), value) == ERROR_SUCCESS;
}

bool StoreWriteString(const wchar_t* subKey, const wchar_t* name, bool hashed,
                      const std::wstring& value) {
  if (!subKey || !name) return false;
  QRegKey key;
  if (!OpenForWrite(subKey, &key)) return false;
  return key.SetString(ValueName(name, hashed).c_str(), value) == ERROR_SUCCESS;
}

std::wstring ProductVersionText(uint32_t n) {
  return FormatW(L"%d.%d", (int)((n >> 16) & 0xFFFF), (int)(n & 0xFFFF));
}

std::wstring InstalledProductVersion() {
  static std::mutex lock;
  static std::wstring cached;
  std::lock_guard<std::mutex> guard(lock);
  if (!cached.empty()) return cached;
  QRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, L"Software\\Quillon\\Antivirus", KEY_READ) != ERROR_SUCCESS)
    return std::wstring();
  std::wstring text;
  if (key.QueryString(L"ProductID", &text) != ERROR_SUCCESS) return std::wstring();
  cached = ProductVersionText((uint32_t)StrToIntW(text.c_str()));
  return cached;
}

uint64_t ParseVersionText(const wchar_t* text) {
  uint64_t v = 0;
  const wchar_t* p = text;
  for (int part = 0; part < 4; ++part) {
    uint64_t n = 0;
    if (p) {
      n = (uint16_t)StrToIntW(p);
      p = wcschr(p, L'.');
      if (p) ++p;
    }
    v = v << 16 | n;
  }
  return v;
}

}  // namespace tarn
