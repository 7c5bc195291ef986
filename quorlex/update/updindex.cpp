#include "updindex.h"

#include <windows.h>
#include <zlib.h>

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "regstore.h"
#include "safepath.h"
#include "svclog.h"

namespace tarn {

namespace {

const wchar_t kInfo[] = L"info";

std::wstring InfoValue(const BKIni::Document& doc, const wchar_t* key) {
  BKIni::SectionHandle info = doc.FindSection(kInfo);
  return doc.KeyValue(info, key);
}

bool ReadNumbered(const BKIni::Document& doc, const wchar_t* prefix, unsigned n, std::wstring* out) {
  if (!doc.HasSection(kInfo)) return false;
  wchar_t key[32];
  swprintf(key, 32, L"%ls%u", prefix, n);
  *out = InfoValue(doc, key);
  return !out->empty();
}

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

}  // namespace

uint32_t IndexNumber(const std::wstring& text) {
  return (uint32_t)wcstoul(text.c_str(), nullptr, 10);
}

unsigned ReadSubLevelCount(const BKIni::Document& doc) {
  if (!doc.HasSection(kInfo)) return 0;
  return IndexNumber(InfoValue(doc, L"c"));
}

bool ReadSubLevelPath(const BKIni::Document& doc, unsigned n, std::wstring* out) {
  return ReadNumbered(doc, L"p", n, out);
}

bool ReadSubLevelMd5(const BKIni::Document& doc, unsigned n, std::wstring* out) {
  return ReadNumbered(doc, L"m", n, out);
}

bool ResolveLocalFolder(const std::wstring& lp, std::wstring* folder) {
  if (!lp.empty() && lp.front() == L'%' && lp.back() == L'%') {
    if (lp.size() < 2 || lp[1] != L'P') return false;
    // From the fourth character up to, not including, the last one.
    *folder = lp.size() > 4 ? lp.substr(3, lp.size() - 4) : std::wstring();
    return true;
  }
  *folder = lp;
  return true;
}

std::wstring AppendBackslash(const std::wstring& folder) {
  if (folder.empty() || folder.back() == L'\\') return folder;
  return folder + L'\\';
}

UpdateFileEntry MakeFileEntry(const BKIni::Document& doc, const BKIni::SectionHandle& section,
                              bool* keep) {
  UpdateFileEntry e;
  e.levelPath = doc.Context();
  auto text = [&](const wchar_t* key, std::wstring* field) {
    if (doc.HasKey(section, key)) *field = doc.KeyValue(section, key);
  };
  auto number = [&](const wchar_t* key, uint32_t* field) {
    if (doc.HasKey(section, key)) *field = IndexNumber(doc.KeyValue(section, key));
  };
  std::wstring rp, lp;
  text(L"FN", &e.fileName);
  text(L"SFN", &e.serverFileName);
  text(L"RP", &rp);
  text(L"LP", &lp);
  text(L"Ver", &e.version);
  number(L"C", &e.crc);
  number(L"FS", &e.fileSize);
  number(L"SFS", &e.serverFileSize);
  number(L"CV", &e.compareMode);
  number(L"UR", &e.inUse);
  e.remoteFolder = e.levelPath + rp;
  *keep = ResolveLocalFolder(lp, &e.localFolder);
  e.localPath = e.localFolder.empty() ? e.fileName : AppendBackslash(e.localFolder) + e.fileName;
  return e;
}

bool IsEntrySafe(const UpdateFileEntry& e) {
  // An entry without a file name would name its folder: never taken.
  return IsSafeRelativeFile(e.fileName) && IsMd5Text(e.serverFileName) &&
         IsSafeRelativeFolder(e.localFolder) && IsSafeRelativeFolder(e.levelPath) &&
         IsSafeRelativeFolder(e.remoteFolder) && IsSafeRelativeFile(e.localPath);
}

void ReadFileEntries(const BKIni::Document& doc, const std::wstring& root,
                     std::vector<UpdateFileEntry>* files, int* refused) {
  for (const auto& item : doc.Sections()) {
    if (item.first == L"COMMENT") continue;
    BKIni::SectionHandle section = doc.FindSection(item.first.c_str());
    bool keep = false;
    UpdateFileEntry e = MakeFileEntry(doc, section, &keep);
    if (!keep) continue;
    if (!IsEntrySafe(e)) {
      LogLineW(L" %-60ls Rejected name", e.localPath.c_str());
      if (refused) ++*refused;
      continue;
    }
    int need = EntryNeedsUpdate(e, root);
    if (need == kEntryBlocked) {
      if (refused) ++*refused;
    } else if (need) {
      files->push_back(e);
    }
  }
}

int EntryNeedsUpdate(const UpdateFileEntry& entry, const std::wstring& root) {
  LogLineW(L" %-60ls ", entry.localPath.c_str());
  std::wstring path = JoinBelow(root, entry.localPath);
  if (path.empty()) return kEntryBlocked;
  // The updater's own working folder holds the downloads and the journal:
  // an entry there would overwrite them.
  std::wstring lower = BackslashPath(entry.localPath);
  if (_wcsnicmp(lower.c_str(), L"update\\", 7) == 0 || _wcsicmp(lower.c_str(), L"update") == 0) {
    LogLine("In the updater's folder");
    return kEntryBlocked;
  }
  // Every folder on the way must be a real folder: a file stands in the way,
  // a link could lead out of the program's folder.
  for (size_t at = lower.find(L'\\'); at != std::wstring::npos; at = lower.find(L'\\', at + 1)) {
    DWORD a = GetFileAttributesW((root + lower.substr(0, at)).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) break;
    if (!(a & FILE_ATTRIBUTE_DIRECTORY) || IsLink(a)) {
      LogLine("Something in the way");
      return kEntryBlocked;
    }
  }
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD err = GetLastError();
    return (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) ? 1 : 0;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) || IsLink(attributes)) {
    // What a folder (or a link) holds may be the user's: nothing is deleted to
    // make room, the run is refused instead.
    LogLine("A folder stands where the file belongs");
    return kEntryBlocked;
  }
  int result = 0;
  if (entry.compareMode == 0)
    result = CompareEntryVersion(entry, root);
  else if (entry.compareMode == 3)
    result = CompareEntryCrc(entry, root);
  if (result == 0) LogLine("Up-to-date");
  return result;
}

int CompareEntryVersion(const UpdateFileEntry& entry, const std::wstring& root) {
  uint64_t newVersion = ParseVersionText(entry.version.c_str());
  std::wstring path = JoinBelow(root, entry.localPath);
  if (path.empty()) return CompareEntryCrc(entry, root);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return CompareEntryCrc(entry, root);
  std::vector<unsigned char> info(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data()) ||
      !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) || !fixed ||
      fixedSize < sizeof(VS_FIXEDFILEINFO))
    return CompareEntryCrc(entry, root);
  uint64_t localVersion = (uint64_t)fixed->dwFileVersionMS << 32 | fixed->dwFileVersionLS;
  if (newVersion > localVersion) return 1;
  if (newVersion < localVersion) return 0;
  return CompareEntryCrc(entry, root);
}

int CompareEntryCrc(const UpdateFileEntry& entry, const std::wstring& root) {
  std::wstring path = JoinBelow(root, entry.localPath);
  HANDLE file = path.empty() ? INVALID_HANDLE_VALUE
                             : CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  // A file that cannot be opened counts as CRC 0.
  if (file == INVALID_HANDLE_VALUE) return entry.crc != 0 ? 1 : 0;
  bool ok = true;
  unsigned char block[4096];
  uLong crc = crc32(0L, Z_NULL, 0);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, block, sizeof block, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    crc = crc32(crc, block, got);
  }
  CloseHandle(file);
  if (!ok) return 0;
  return (uint32_t)crc != entry.crc ? 1 : 0;
}

}  // namespace tarn
