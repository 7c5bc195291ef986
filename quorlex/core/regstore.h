// Registry access: a thin key wrapper, the per-product store under
// HKCU\Software\Quillon\Tarn\<sub-key> (value names plain, or hashed as the
// "%08X" CRC-32 of the name's ANSI bytes), the installed product version and
// the parsing of dotted version texts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class QRegKey {
 public:
  QRegKey() = default;
  ~QRegKey() { Close(); }
  QRegKey(const QRegKey&) = delete;
  QRegKey& operator=(const QRegKey&) = delete;

  LONG Open(HKEY parent, const wchar_t* path, REGSAM access);
  LONG Create(HKEY parent, const wchar_t* path, REGSAM access);
  void Close();
  bool IsOpen() const { return key_ != nullptr; }
  HKEY Handle() const { return key_; }

  LONG QueryDword(const wchar_t* name, DWORD* value) const;  // REG_DWORD only
  // The whole value, terminated; at most maxChars characters when maxChars > 0.
  LONG QueryString(const wchar_t* name, std::wstring* value, size_t maxChars = 0) const;
  LONG SetDword(const wchar_t* name, DWORD value);
  LONG SetString(const wchar_t* name, const std::wstring& value);  // REG_SZ
  LONG DeleteValue(const wchar_t* name);

 private:
  HKEY key_ = nullptr;
};

namespace tarn {

extern const wchar_t kStoreRoot[];  // Software\Quillon\Tarn

std::wstring StoreKeyPath(const wchar_t* subKey);
std::wstring ProductSubKey(int productId);  // the id as decimal text
// Eight uppercase hex digits: the CRC-32 of the name's ANSI bytes.
std::wstring HashedValueName(const wchar_t* name);

// Win32 error code; the name is always hashed; only REG_DWORD values read.
LONG StoreReadDword(const wchar_t* subKey, const wchar_t* name, DWORD* value);
bool StoreReadString(const wchar_t* subKey, const wchar_t* name, bool hashed, std::wstring* value);
bool StoreWriteDword(const wchar_t* subKey, const wchar_t* name, bool hashed, DWORD value);
bool StoreWriteString(const wchar_t* subKey, const wchar_t* name, bool hashed,
                      const std::wstring& value);

// HKLM\Software\Quillon\Antivirus "ProductID" n shown as "%d.%d" of the two
// 16-bit halves; "" when missing (then asked again on the next call).
std::wstring InstalledProductVersion();
// The formatting step alone.
std::wstring ProductVersionText(uint32_t productId);

// "a.b.c.d" -> a << 48 | b << 32 | c << 16 | d; missing parts count 0.
uint64_t ParseVersionText(const wchar_t* text);

}  // namespace tarn
