#include "handover.h"

#include <windows.h>

#include <cwchar>

namespace tarn {

const wchar_t kPendingFileName[] = L"update\\tarnur.dat";
const wchar_t kPendingMissing[] = L"NULL";

namespace {

void MakeParentFolder(const std::wstring& file) {
  size_t slash = file.find_last_of(L"\\/");
  if (slash == std::wstring::npos || slash == 0) return;
  std::wstring folder = file.substr(0, slash);
  if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  MakeParentFolder(folder);
  CreateDirectoryW(folder.c_str(), nullptr);
}

bool EnsureFile(const std::wstring& file) {
  if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  return PendingStartFresh(file);
}

// A profile value of any length ("" on failure).
std::wstring ReadValue(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
  std::wstring buffer(512, L'\0');
  for (;;) {
    DWORD n = GetPrivateProfileStringW(section, key, kPendingMissing, &buffer[0],
                                       (DWORD)buffer.size(), file.c_str());
    // n == size - 1 means the value was cut: read again with more room.
    if (n + 1 < buffer.size() || buffer.size() >= 65536) {
      buffer.resize(n);
      return buffer;
    }
    buffer.assign(buffer.size() * 4, L'\0');
  }
}

inline int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return -1;
}

}  // namespace

bool PendingStartFresh(const std::wstring& file) {
  MakeParentFolder(file);
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(file.c_str());
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  static const unsigned char kBom[2] = {0xFF, 0xFE};
  DWORD written = 0;
  BOOL ok = WriteFile(h, kBom, sizeof kBom, &written, nullptr) && written == sizeof kBom;
  CloseHandle(h);
  return ok != FALSE;
}

bool PendingWriteCopy(const std::wstring& file, int n, const std::wstring& des,
                      const std::wstring& from) {
  if (!EnsureFile(file)) return false;
  wchar_t section[32];
  swprintf(section, 32, L"file%d", n);
  return WritePrivateProfileStringW(section, L"DES", des.c_str(), file.c_str()) &&
         WritePrivateProfileStringW(section, L"FROM", from.c_str(), file.c_str());
}

bool PendingWriteRun(const std::wstring& file, const std::wstring& program) {
  if (!EnsureFile(file)) return false;
  return WritePrivateProfileStringW(L"RUN", L"PATH", program.c_str(), file.c_str()) != FALSE;
}

std::vector<PendingCopy> PendingReadCopies(const std::wstring& file) {
  std::vector<PendingCopy> copies;
  for (int n = 0; n < kPendingMaxCopies; ++n) {
    wchar_t section[32];
    swprintf(section, 32, L"file%d", n);
    PendingCopy copy;
    copy.des = ReadValue(file, section, L"DES");
    copy.from = ReadValue(file, section, L"FROM");
    if (_wcsicmp(copy.des.c_str(), kPendingMissing) == 0 ||
        _wcsicmp(copy.from.c_str(), kPendingMissing) == 0)
      break;
    copies.push_back(copy);
  }
  return copies;
}

std::wstring PendingReadRun(const std::wstring& file) {
  std::wstring path = ReadValue(file, L"RUN", L"PATH");
  return _wcsicmp(path.c_str(), kPendingMissing) == 0 ? std::wstring() : path;
}

std::wstring EscapeCommandValue(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    if (c == L'%' || c <= L' ' || c == L'"') {
      wchar_t code[8];
      swprintf(code, 8, L"%%%04X", (unsigned)c);
      out += code;
    } else {
      out += c;
    }
  }
  return out;
}

std::wstring UnescapeCommandValue(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'%' && i + 4 < text.size()) {
      int d0 = HexDigit(text[i + 1]), d1 = HexDigit(text[i + 2]);
      int d2 = HexDigit(text[i + 3]), d3 = HexDigit(text[i + 4]);
      if (d0 >= 0 && d1 >= 0 && d2 >= 0 && d3 >= 0) {
        out += (wchar_t)(d0 << 12 | d1 << 8 | d2 << 4 | d3);
        i += 4;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace tarn
