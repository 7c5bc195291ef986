#include "machineid.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "hashing.h"
#include "plainfile.h"
#include "svclog.h"
#include "regstore.h"
#include "textconv.h"

namespace tarn {

const wchar_t kIdentityRegKey[] =
    L"CLSID\\{9B7A98EC-7EF9-468c-ACC8-37C793DBD7E0}\\Implemented Categories\\"
    L"{A5F7140E-4311-4ef9-AABC-F55941B5EBE5}";

namespace {

const wchar_t kIdFolderTail[] = L"\\Quillon\\NOX\\";
const wchar_t kIdFileName[] = L"hg.dat";

// The common application data folder, trusted as the system gives it.
std::wstring IdentityBase() {
  wchar_t base[MAX_PATH + 1] = {};
  if (!SHGetSpecialFolderPathW(nullptr, base, CSIDL_COMMON_APPDATA, TRUE)) {
    UINT n = GetWindowsDirectoryW(base, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::wstring();
    return std::wstring(base) + L"\\All Users\\Application Data";
  }
  return base;
}

std::wstring IdentityFolder() {
  std::wstring base = IdentityBase();
  return base.empty() ? base : base + kIdFolderTail;
}

// The file store is used only along plain folders and while hg.dat has one
// link: a junction in place of the maker's folder or a hard link in place of
// the file would have the id read from, or written into, another file.
bool IdentityFileUsable(const std::wstring& file) {
  if (IsPlainPathBelow(IdentityBase(), file)) return true;
  LogLine("the identity file lies behind a link; not used");
  return false;
}

// The registry store: full access, else read-only.
void OpenIdentityKey(QRegKey* key) {
  if (key->Create(HKEY_CLASSES_ROOT, kIdentityRegKey, KEY_ALL_ACCESS) != ERROR_SUCCESS)
    key->Open(HKEY_CLASSES_ROOT, kIdentityRegKey, KEY_READ);
}

bool ReadFileValue(const std::wstring& file, const wchar_t* name, std::wstring* value) {
  if (file.empty() || !IdentityFileUsable(file)) return false;
  // A sentinel tells a missing key from an empty value.
  static const wchar_t kMissing[] = L"\x01missing\x01";
  wchar_t text[MAX_PATH + 1] = {};
  GetPrivateProfileStringW(L"id", name, kMissing, text, MAX_PATH, file.c_str());
  if (lstrcmpW(text, kMissing) == 0) return false;
  *value = text;
  return true;
}

}  // namespace

std::wstring IdentityFilePath() {
  std::wstring folder = IdentityFolder();
  return folder.empty() ? folder : folder + kIdFileName;
}

void StoreIdentityValue(const wchar_t* name, const std::wstring& text) {
  QRegKey key;
  OpenIdentityKey(&key);
  if (key.IsOpen()) key.SetString(name, text);
  std::wstring file = IdentityFilePath();
  if (file.empty() || !IdentityFileUsable(file)) return;
  // The maker's folder may not exist yet on a fresh machine; the ini writer
  // does not create folders.
  std::wstring folder = file.substr(0, file.rfind(L'\\'));
  SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  if (!IdentityFileUsable(file)) return;
  WritePrivateProfileStringW(L"id", name, text.c_str(), file.c_str());
}

bool ReadIdentityValue(const wchar_t* name, const wchar_t* defaultText, std::wstring* value,
                       bool* pathOk) {
  std::wstring fromReg, fromFile;
  bool inReg = false;
  {
    QRegKey key;
    OpenIdentityKey(&key);
    inReg = key.IsOpen() && key.QueryString(name, &fromReg, MAX_PATH) == ERROR_SUCCESS;
  }
  std::wstring file = IdentityFilePath();
  if (pathOk) *pathOk = !file.empty();
  bool inFile = ReadFileValue(file, name, &fromFile);

  if (inReg && inFile) {
    *value = fromReg;
  } else if (inReg) {
    *value = fromReg;
    StoreIdentityValue(name, fromReg);
  } else if (inFile) {
    *value = fromFile;
    StoreIdentityValue(name, fromFile);
  } else if (lstrcmpiW(name, L"idex") == 0) {
    *value = MakeMachineId();
  } else if (defaultText) {
    *value = defaultText;
    StoreIdentityValue(name, *value);
  } else {
    value->clear();
    return false;
  }
  return true;
}

std::wstring MakeMachineId() {
  srand((unsigned)time(nullptr));
  std::string raw = FormatA("%05ld", (long)rand());

  GUID guid = {};
  CoCreateGuid(&guid);
  static const GUID kZero = {};
  if (!IsEqualGUID(guid, kZero)) {
    raw += FormatA("%08lX%04X%04x%02X%02X%02X%02X%02X%02X%02X%02X", (unsigned long)guid.Data1,
                   guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                   guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  }

  SYSTEMTIME t;
  GetLocalTime(&t);
  raw += FormatA("%03d%02d%02d%04d%02d%02d%02d", t.wMilliseconds, t.wMinute, t.wDay, t.wYear,
                 t.wHour, t.wSecond, t.wMonth);

  char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof computer;
  if (!GetComputerNameA(computer, &size)) size = 0;
  raw += Md5Hex(computer, size);

  ULARGE_INTEGER freeBytes = {};
  wchar_t system[MAX_PATH + 1] = {};
  if (!GetSystemDirectoryW(system, MAX_PATH) ||
      !GetDiskFreeSpaceExW(system, nullptr, nullptr, &freeBytes))
    freeBytes.QuadPart = 0;
  raw += FormatA("%010lu", (unsigned long)freeBytes.LowPart);

  std::wstring id = AnsiToWide(Md5Hex(raw));
  StoreIdentityValue(L"idex", id);
  return id;
}

std::wstring GetMachineId(const wchar_t* ulstFile) {
  std::wstring id, idno;
  if (ReadIdentityValue(L"idno", nullptr, &idno) && StrToIntW(idno.c_str()) < 0) {
    StoreIdentityValue(L"idno", L"0");
    id = MakeMachineId();
  } else {
    ReadIdentityValue(L"idex", nullptr, &id);
  }
  if (id.size() > 32) id = MakeMachineId();
  if (id.empty() ||
      (ulstFile && *ulstFile &&
       (int)GetPrivateProfileIntW(L"ulst", id.c_str(), -1, ulstFile) != -1))
    id = MakeMachineId();
  return id;
}

std::string GetMachineIdA() {
  std::string id = WideToAnsi(GetMachineId(L""));
  return id.empty() ? std::string(32, '0') : id;
}

}  // namespace tarn
