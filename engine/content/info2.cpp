#include "content/info2.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "bytes.h"
#include "content/record_content.h"

namespace {

constexpr size_t kAnsiPathBytes = 260;
constexpr size_t kWidePathChars = 260;
constexpr size_t kWidePathOffset = 280;
// A size on disk is the item's size raised to whole clusters, and no
// cluster of a bin's volume is larger.
constexpr uint64_t kLargestCluster = 64 * 1024;

std::wstring AnsiPath(const uint8_t* entry, uint32_t drive) {
  char text[kAnsiPathBytes + 1] = {};
  std::memcpy(text, entry, kAnsiPathBytes);
  // An item taken out of the bin keeps its entry with the drive letter
  // cleared; the drive number still says which it was.
  if (text[0] == 0 && text[1] == ':' && drive < 26) text[0] = static_cast<char>('A' + drive);
  const int length = static_cast<int>(strnlen(text, kAnsiPathBytes));
  if (length == 0) return std::wstring();
  wchar_t wide[kAnsiPathBytes + 1];
  const int n = MultiByteToWideChar(CP_ACP, 0, text, length, wide, static_cast<int>(kAnsiPathBytes));
  return n > 0 ? std::wstring(wide, static_cast<size_t>(n)) : std::wstring();
}

std::wstring WidePath(const uint8_t* entry) {
  std::wstring text;
  for (size_t i = 0; i < kWidePathChars; ++i) {
    const uint8_t* p = entry + kWidePathOffset + 2 * i;
    const wchar_t c = static_cast<wchar_t>(ReadLe16(p));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

// Index just past the last backslash of an 8-bit path in code page 936 (a
// trail byte may be 0x5C).
size_t LastComponentStart(const std::string& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsDBCSLeadByteEx(936, static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (path[i] == '\\') start = i + 1;
  }
  return start;
}

std::string ExtensionOf(const std::string& path) {
  const std::string name = path.substr(LastComponentStart(path));
  const size_t dot = name.find_last_of('.');   // 0x2E is never a trail byte
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && (a.empty() || CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(),
                                                              static_cast<int>(a.size()), b.data(),
                                                              static_cast<int>(b.size())) == CSTR_EQUAL);
}

char UpperLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

}  // namespace

std::vector<Info2Entry> ParseInfo2(const uint8_t* data, size_t size) {
  std::vector<Info2Entry> entries;
  if (!data || size < kInfo2HeaderBytes) return entries;
  const uint32_t entryBytes = ReadLe32(data + 12);
  if (entryBytes != kInfo2AnsiEntryBytes && entryBytes != kInfo2WideEntryBytes) return entries;
  const size_t count = (size - kInfo2HeaderBytes) / entryBytes;
  entries.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = data + kInfo2HeaderBytes + i * entryBytes;
    Info2Entry entry;
    entry.number = ReadLe32(e + 260);
    entry.drive = ReadLe32(e + 264);
    entry.size = ReadLe32(e + 276);
    if (entryBytes == kInfo2WideEntryBytes) entry.path = WidePath(e);
    if (entry.path.empty()) entry.path = AnsiPath(e, entry.drive);
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool ParseBinItemName(const char* name, BinItemName* out) {
  if (!name || !out) return false;
  if (name[0] != 'D' && name[0] != 'd' && name[0] != '_') return false;
  const char letter = UpperLetter(name[1]);
  if (letter < 'A' || letter > 'Z') return false;
  size_t i = 2;
  uint32_t number = 0;
  for (; name[i] >= '0' && name[i] <= '9'; ++i) {
    if (i - 2 >= 9) return false;
    number = number * 10 + static_cast<uint32_t>(name[i] - '0');
  }
  if (i == 2) return false;
  std::string extension;
  if (name[i] == '.') {
    extension = name + i + 1;
    if (extension.empty()) return false;
  } else if (name[i] != 0) {
    return false;
  }
  out->letter = letter;
  out->number = number;
  out->extension = extension;
  return true;
}

bool IsInfo2Name(const char* name) {
  if (!name || (name[0] != 'I' && name[0] != 'i' && name[0] != '_')) return false;
  return lstrcmpiA(name + 1, "NFO2") == 0 || lstrcmpiA(name + 1, "NFO") == 0;
}

namespace {

// The former path among the entries that carry the item's number and drive.
bool FormerPathAmong(const std::vector<const Info2Entry*>& entries, const BinItemName& item, uint64_t fileSize,
                     std::string* former) {
  struct Candidate {
    std::string path;
    uint32_t size;
  };
  std::vector<Candidate> candidates;
  for (const Info2Entry* e : entries) {
    if (e->number != item.number || e->drive >= 26 || static_cast<char>('A' + e->drive) != item.letter) continue;
    char text[kFormerPathBytes + 1];
    if (!FormerPathText(e->path.data(), e->path.size(), text, sizeof text)) continue;
    if (UpperLetter(text[0]) != item.letter) continue;
    const std::string path(text);
    if (!SameText(ExtensionOf(path), item.extension)) continue;
    candidates.push_back({path, e->size});
  }
  auto onePath = [&](const std::vector<Candidate>& list) {
    for (const Candidate& c : list)
      if (c.path != list.front().path) return false;
    return !list.empty();
  };
  if (onePath(candidates)) {
    *former = candidates.front().path;
    return true;
  }
  if (fileSize == UINT64_MAX) return false;
  std::vector<Candidate> fitting;
  for (const Candidate& c : candidates)
    if (c.size >= fileSize && c.size - fileSize < kLargestCluster) fitting.push_back(c);
  if (!onePath(fitting)) return false;
  *former = fitting.front().path;
  return true;
}

uint64_t NumberKey(uint32_t drive, uint32_t number) { return static_cast<uint64_t>(drive) << 32 | number; }

}  // namespace

bool FormerPathOfBinItem(const std::vector<Info2Entry>& entries, const BinItemName& item, uint64_t fileSize,
                         std::string* former) {
  std::vector<const Info2Entry*> all;
  all.reserve(entries.size());
  for (const Info2Entry& e : entries) all.push_back(&e);
  return FormerPathAmong(all, item, fileSize, former);
}

Info2Lookup::Info2Lookup(std::vector<Info2Entry> entries) : entries_(std::move(entries)) {
  for (uint32_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].drive < 26) byNumber_[NumberKey(entries_[i].drive, entries_[i].number)].push_back(i);
}

bool Info2Lookup::FormerPath(const BinItemName& item, uint64_t fileSize, std::string* former) const {
  if (item.letter < 'A' || item.letter > 'Z') return false;
  auto found = byNumber_.find(NumberKey(static_cast<uint32_t>(item.letter - 'A'), item.number));
  if (found == byNumber_.end()) return false;
  std::vector<const Info2Entry*> named;
  named.reserve(found->second.size());
  for (uint32_t i : found->second) named.push_back(&entries_[i]);
  return FormerPathAmong(named, item, fileSize, former);
}
