#include "fat/fat_entry.h"

#include <algorithm>
#include <cstring>

#include "bytes.h"

namespace {

uint8_t ShortNameChecksum(const uint8_t name[11]) {
  uint8_t sum = 0;
  for (int i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name[i]);
  return sum;
}

// The checksum maps each possible first byte to a different value, so a
// deleted entry's long name tells which first byte its short name had. A long
// name left over from another entry usually points to a byte that no short
// name may begin with.
bool DeletedChecksumFits(const uint8_t* entry, uint8_t checksum) {
  uint8_t name[11];
  std::memcpy(name, entry, 11);
  for (int c = 0; c < 256; ++c) {
    name[0] = static_cast<uint8_t>(c);
    if (ShortNameChecksum(name) != checksum) continue;
    // 0x05 stands for a real first byte of 0xE5 (a lead byte in some code pages).
    if (c == 0x05) return true;
    if (c <= 0x20 || (c >= 'a' && c <= 'z') || c == kEntryDeleted) return false;
    return std::strchr("\"*+,./:;<=>?[\\]|", c) == nullptr;
  }
  return false;
}

bool IsOemLeadByte(uint8_t b) { return IsDBCSLeadByteEx(CP_OEMCP, b) != 0; }

// Separators and control characters out of a name in the OEM code page,
// stepping over the trail bytes of two-byte characters (which may be '\').
void CleanOemName(std::string* name) {
  for (size_t i = 0; i < name->size(); ++i) {
    uint8_t b = static_cast<uint8_t>((*name)[i]);
    if (IsOemLeadByte(b) && i + 1 < name->size()) {
      ++i;
      continue;
    }
    if (b < 0x20 || b == '\\' || b == '/' || b == 0x7F) (*name)[i] = '_';
  }
  bool dotsOnly = !name->empty() && name->find_first_not_of('.') == std::string::npos;
  if (dotsOnly) name->assign(name->size(), '_');
}

std::wstring ToWideOem(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()), &w[0], n);
  return w;
}

std::string WideToOem(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_OEMCP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_OEMCP, 0, w.data(), static_cast<int>(w.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// Converts, shortening the part before the extension until the bytes fit.
std::string WideNameToOem(std::wstring w) {
  for (wchar_t& c : w)
    if (c < 0x20 || c == L'\\' || c == L'/' || c == 0x7F) c = L'_';
  std::string out = WideToOem(w);
  if (out.size() <= kMaxNameBytes) return out;
  size_t dot = w.find_last_of(L'.');
  std::wstring ext = dot != std::wstring::npos && w.size() - dot <= 16 ? w.substr(dot) : std::wstring();
  std::wstring stem = w.substr(0, w.size() - ext.size());
  while (!stem.empty()) {
    stem.pop_back();
    if (!stem.empty() && stem.back() >= 0xD800 && stem.back() <= 0xDBFF) stem.pop_back();   // no half pairs
    out = WideToOem(stem + ext);
    if (out.size() <= kMaxNameBytes) return out;
  }
  out = WideToOem(ext);
  return out.size() <= kMaxNameBytes ? out : std::string("_");
}

}  // namespace

bool IsLabelOrLongName(const uint8_t* e) {
  uint8_t a = EntryAttr(e);
  return a == kAttrLongName || (a & kAttrVolumeLabel) != 0;
}

bool IsDotEntry(const uint8_t* e) { return std::memcmp(e, ".       ", 8) == 0; }
bool IsDotDotEntry(const uint8_t* e) { return std::memcmp(e, "..      ", 8) == 0; }

std::string BuildShortFileName(const uint8_t* entry, bool deleted) {
  uint8_t raw[11];
  std::memcpy(raw, entry, 11);
  if (!deleted && raw[0] == 0x05) raw[0] = kEntryDeleted;   // a real first byte of 0xE5
  size_t baseLen = 8, extLen = 3;
  while (baseLen > 0 && raw[baseLen - 1] == ' ') --baseLen;
  while (extLen > 0 && raw[8 + extLen - 1] == ' ') --extLen;
  const uint8_t caseFlags = entry[12];
  auto lower = [](uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c; };
  std::string name;
  for (size_t i = 0; i < baseLen; ++i) name += static_cast<char>(caseFlags & 0x08 ? lower(raw[i]) : raw[i]);
  if (extLen) {
    name += '.';
    for (size_t i = 0; i < extLen; ++i) name += static_cast<char>(caseFlags & 0x10 ? lower(raw[8 + i]) : raw[8 + i]);
  }
  if (deleted && !name.empty()) {
    name[0] = '_';
    if (name.size() > 1) {
      uint8_t second = static_cast<uint8_t>(name[1]);
      if (second < '+' || second > 'z') name[1] = '_';
    }
  }
  if (name.empty()) name = "_";
  CleanOemName(&name);
  return name;
}

bool AssembleLongName(const uint8_t* dir, size_t index, std::wstring* name, bool* cut) {
  const uint8_t* entry = dir + index * kDirEntrySize;
  std::wstring text;
  size_t count = 0;
  uint8_t checksum = 0;
  size_t i = index;
  for (; i > 0 && count < kMaxLongNameEntries; --i, ++count) {
    const uint8_t* e = dir + (i - 1) * kDirEntrySize;
    if (EntryAttr(e) != kAttrLongName || e[12] != 0 || ReadLe16(e + 26) != 0) break;
    if (count == 0)
      checksum = e[13];
    else if (e[13] != checksum)
      break;
    static const size_t kCharAt[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (size_t at : kCharAt) text += static_cast<wchar_t>(ReadLe16(e + at));
  }
  if (count == 0) return false;
  if (IsDeletedEntry(entry)) {
    if (!DeletedChecksumFits(entry, checksum)) return false;
  } else {
    uint8_t shortName[11];
    std::memcpy(shortName, entry, 11);
    if (ShortNameChecksum(shortName) != checksum) return false;
  }
  size_t end = 0;
  while (end < text.size() && text[end] != 0 && text[end] != 0xFFFF) ++end;
  if (cut) *cut = i == 0 && end == text.size();
  text.resize(end);
  if (text.empty()) return false;
  *name = text;
  return true;
}

std::string EntryName(const uint8_t* dir, size_t index, bool deleted) {
  std::wstring longName;
  bool cut = false;
  if (AssembleLongName(dir, index, &longName, &cut)) {
    if (cut && longName.find(L'.') == std::wstring::npos) {
      const std::string shortName = BuildShortFileName(dir + index * kDirEntrySize, deleted);
      const size_t dot = shortName.find_last_of('.');
      if (dot != std::string::npos) longName += ToWideOem(shortName.substr(dot));
    }
    std::string name = WideNameToOem(longName);
    CleanOemName(&name);
    if (!name.empty()) return name;
  }
  return BuildShortFileName(dir + index * kDirEntrySize, deleted);
}

namespace {

bool PlausibleDate(uint16_t date) {
  if (date == 0) return true;
  const unsigned month = (date >> 5) & 15, day = date & 31;
  return month >= 1 && month <= 12 && day >= 1;
}

bool PlausibleTime(uint16_t time) { return (time >> 11) < 24 && ((time >> 5) & 63) < 60 && (time & 31) < 30; }

bool PlausibleLongNameSlot(const uint8_t* e) {
  if (e[12] != 0 || ReadLe16(e + 26) != 0) return false;
  if (e[0] == kEntryDeleted) return true;
  const unsigned order = e[0] & 0x3F;
  return (e[0] & 0x80) == 0 && order >= 1 && order <= kMaxLongNameEntries;
}

bool PlausibleShortSlot(const uint8_t* e, uint32_t maxCluster, bool fat32) {
  const uint8_t attr = EntryAttr(e);
  if (attr & 0xC0) return false;
  const bool dots = IsDotEntry(e) || IsDotDotEntry(e);
  if (dots) {
    if (std::memcmp(e + 8, "   ", 3) != 0 || !(attr & kAttrDirectory)) return false;
  } else {
    if (e[0] == ' ') return false;
    for (int i = 0; i < 11; ++i) {
      const uint8_t c = e[i];
      if (i == 0 && (c == kEntryDeleted || c == 0x05)) continue;
      // Short names are stored upper-cased; lower case is what text is made of.
      if (c < 0x20 || (c >= 'a' && c <= 'z') || std::strchr("\"*+,./:;<=>?[\\]|", c)) return false;
    }
  }
  if ((attr & kAttrVolumeLabel) && (attr & kAttrDirectory)) return false;
  const uint32_t cluster = EntryCluster(e, fat32);
  if (cluster == 1 || cluster > maxCluster) return false;
  if ((attr & kAttrDirectory) && EntrySize(e) != 0) return false;
  if (!fat32 && EntryHighWord(e) != 0) return false;
  if (e[13] >= 200) return false;   // hundredths of the creation time
  return PlausibleDate(ReadLe16(e + 24)) && PlausibleTime(ReadLe16(e + 22)) && PlausibleDate(ReadLe16(e + 16)) &&
         PlausibleTime(ReadLe16(e + 14)) && PlausibleDate(ReadLe16(e + 18));
}

}  // namespace

bool ParsesAsDirectoryEntries(const uint8_t* block, size_t bytes, uint32_t maxCluster, bool fat32, bool* ended) {
  if (ended) *ended = false;
  const size_t count = bytes / kDirEntrySize;
  if (count == 0 || IsEndOfDirectory(block)) return false;
  bool anyShort = false, end = false;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = block + i * kDirEntrySize;
    if (end || IsEndOfDirectory(e)) {
      // Past the end a folder's clusters hold nothing: they were cleared
      // when the folder was given them.
      for (size_t k = 0; k < kDirEntrySize; ++k)
        if (e[k]) return false;
      end = true;
      continue;
    }
    if (EntryAttr(e) == kAttrLongName) {
      if (!PlausibleLongNameSlot(e)) return false;
      continue;
    }
    if (!PlausibleShortSlot(e, maxCluster, fat32)) return false;
    anyShort = true;
  }
  if (ended) *ended = end;
  return anyShort;
}

uint32_t ClusterAfterLastEntry(const uint8_t* block, size_t bytes, uint32_t clusterBytes, bool fat32) {
  if (clusterBytes == 0) return 0;
  for (size_t i = bytes / kDirEntrySize; i-- > 0;) {
    const uint8_t* e = block + i * kDirEntrySize;
    if (IsEndOfDirectory(e) || IsLabelOrLongName(e) || IsDotEntry(e) || IsDotDotEntry(e)) continue;
    const uint64_t first = EntryCluster(e, fat32);
    if (first < 2) return 0;
    const uint64_t taken = IsDirectoryEntry(e) ? 1 : (static_cast<uint64_t>(EntrySize(e)) + clusterBytes - 1) / clusterBytes;
    const uint64_t after = first + std::max<uint64_t>(taken, 1);
    return after <= 0xFFFFFFFFull ? static_cast<uint32_t>(after) : 0;
  }
  return 0;
}

std::string NameExtension(const std::string& name) {
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

void ConvertFatDateTime(uint16_t date, uint16_t time, SYSTEMTIME* out) {
  std::memset(out, 0, sizeof *out);
  if (date) {
    out->wYear = static_cast<WORD>((date >> 9) + 1980);
    out->wMonth = static_cast<WORD>((date >> 5) & 15);
    out->wDay = static_cast<WORD>(date & 31);
  }
  if (time) {
    out->wHour = static_cast<WORD>(time >> 11);
    out->wMinute = static_cast<WORD>((time >> 5) & 63);
    out->wSecond = static_cast<WORD>((time & 31) * 2);
  }
}
