#include "content/record_content.h"

#include "bytes.h"
#include "content/info2.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "disk/raw.h"
#include "ntfs/ntfs_record.h"
#include "ntfs/ntfs_volume.h"
#include "state.h"
#include "volume/boot.h"
#include "volume/sector_zero.h"

RecycleInfoCache gRecycleInfoCache;

namespace {

// The cache also remembers which record it was read from, so an index that
// names another file after a new scan can never be served the old bytes.
uint64_t gCacheLocation;
uint8_t gCacheDrive;

// The records the last resolution took for index files of a bin.
std::vector<uint8_t> gIndexRecords;
std::mutex gIndexRecordsLock;

void InvalidateRecycleInfoCache() {
  gRecycleInfoCache.valid = false;
  std::lock_guard<std::mutex> lock(gIndexRecordsLock);
  gIndexRecords.clear();
}

const bool kCacheHookRegistered = (RegisterDeletedFilesClearHook(&InvalidateRecycleInfoCache), true);

constexpr size_t kInfoBytes = sizeof gRecycleInfoCache.data;
constexpr size_t kMaxRecyclePath = kFormerPathBytes;

bool CopyRecord(uint32_t index, DeletedFileRecord* out) {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  if (index >= gDeletedFiles.size()) return false;
  *out = gDeletedFiles[index];
  out->path[sizeof out->path - 1] = 0;
  return true;
}

// One record's data, read through its file system: the NTFS stream its
// file record names, or on FAT the sectors from its first one on (a deleted
// file's chain is gone; its clusters are taken to follow each other).
class ContentReader {
 public:
  // false when the record, its volume or (NTFS) its data stream cannot be
  // read, or it is a folder.
  bool Open(const DeletedFileRecord& record) {
    // The file system is taken from the boot sector: the platform's own
    // answer describes whatever lies behind the drive letter, not what is on
    // it.
    const char root[4] = {static_cast<char>('c' + record.driveIndex), ':', '\\', 0};
    volume_ = GetCachedVolumeHandle(root, &driveIndex_);
    if (!volume_) return false;
    SectorZero zero;
    if (!ReadVolumeSectorZero(driveIndex_, volume_, &zero)) return false;
    location_ = record.location;
    switch (zero.boot) {
      case BootKind::Ntfs:
        return OpenNtfs(zero.bytes);
      case BootKind::Fat16:
      case BootKind::Fat32:
        ntfs_ = false;
        size_ = UINT64_MAX;
        return true;
      default:
        return false;
    }
  }

  bool ntfs() const { return ntfs_; }
  // NTFS: the stream's size; FAT: unknown (UINT64_MAX).
  uint64_t size() const { return size_; }

  // count bytes from offset (a multiple of 512); NTFS reads stop at the
  // stream's end and leave the rest of out alone.
  bool Read(uint64_t offset, uint32_t count, uint8_t* out) {
    if (count == 0) return true;
    if (ntfs_) {
      if (offset >= size_) return true;
      const size_t wanted = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
      return reader_->Read(offset, wanted, out);
    }
    // Whole sectors are read into a buffer of our own: the caller's holds
    // only the bytes it asked for.
    const uint32_t sectors = (count - 1) / kSectorSize + 1;
    std::vector<uint8_t> data(static_cast<size_t>(sectors) * kSectorSize);
    if (ReadTargetSectors(MakeVolumeTarget(static_cast<uint32_t>(driveIndex_)), location_ + offset / kSectorSize,
                          sectors, data.data(), volume_) != 0)
      return false;
    std::memcpy(out, data.data(), count);
    return true;
  }

 private:
  bool OpenNtfs(const uint8_t* boot) {
    NtfsGeometry geometry;
    if (!ReadNtfsGeometry(boot, &geometry)) return false;
    volumeReader_.reset(new NtfsVolume(volume_, driveIndex_, geometry));
    uint8_t record[kMftRecordBytes];
    if (!volumeReader_->ReadRecordFromSector(location_, record)) return false;
    if (RecordFlags(record) & kRecordIsFolder) return false;
    if (!LocateUnnamedData(volumeReader_.get(), record, &stream_)) return false;
    reader_.reset(new NtfsDataReader(*volumeReader_, stream_));
    ntfs_ = true;
    size_ = stream_.realSize;
    return true;
  }

  HANDLE volume_ = nullptr;
  int driveIndex_ = 0;
  uint64_t location_ = 0;
  bool ntfs_ = false;
  uint64_t size_ = 0;
  std::unique_ptr<NtfsVolume> volumeReader_;
  NtfsDataStream stream_;
  std::unique_ptr<NtfsDataReader> reader_;
};

// Index just past the last backslash of an 8-bit path (the ANSI code page's
// trail bytes are not taken for one).
size_t NameStart(const char* path) {
  size_t start = 0;
  for (size_t i = 0; path[i];) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && path[i + 1]) {
      i += 2;
      continue;
    }
    if (path[i] == '\\') start = i + 1;
    ++i;
  }
  return start;
}

// The item's former path stored in an information file: version 2 keeps a
// character count at 24 and the text at 28, earlier versions the text at 24.
bool StoredPath(const uint8_t* info, size_t size, char* out, size_t outSize) {
  const uint64_t version = ReadLe64(info);
  size_t offset = 24, maxChars = (size - 24) / 2;
  if (version == 2) {
    offset = 28;
    maxChars = std::min<size_t>(ReadLe32(info + 24), (size - 28) / 2);
  }
  std::vector<wchar_t> text;
  for (size_t i = 0; i < maxChars; ++i) {
    wchar_t c = static_cast<wchar_t>(ReadLe16(info + offset + 2 * i));
    if (c == 0) break;
    text.push_back(c);
  }
  return FormerPathText(text.data(), text.size(), out, outSize);
}

// The folders of an item's former path that lie below a bin folder: the
// record path it is given is the bin folder's, then this path without its
// drive letter.
struct BinFolder {
  std::vector<uint32_t> indexFiles;   // the records of its "INFO2" files
  bool loaded = false;
  bool usable = true;                 // false: too many index files, or over the read budget
  std::unique_ptr<Info2Lookup> entries;
};

// More index files than this in one bin folder are not a bin's; and the
// names of all bins together are read from at most this many.
constexpr size_t kMaxIndexFilesPerFolder = 64;
constexpr size_t kMaxIndexFilesRead = 256;

// The components of a record path ("\a\b\c"), as [start, end) offsets; a
// trail byte of a two-byte character is never taken for a backslash.
std::vector<std::pair<size_t, size_t>> PathComponents(const std::string& path) {
  std::vector<std::pair<size_t, size_t>> parts;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && IsDBCSLeadByteEx(936, static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (i == path.size() || path[i] == '\\') {
      if (i > start) parts.emplace_back(start, i);
      start = i + 1;
    }
  }
  return parts;
}

// A user's folder in a bin of Windows 2000 or XP is named after the user's
// SID ("S-1-5-...").
bool LooksLikeSid(const std::string& name) {
  return name.size() > 4 && (name[0] == 'S' || name[0] == 's') && name[1] == '-' && name[2] == '1' && name[3] == '-';
}

// Where a record lies in a bin folder: the folder ("" for the scanned bin
// folder itself, "\S-..." for a user's folder in it) and which component
// of its path is the item directly in it.
bool BinPlace(const std::string& path, const std::vector<std::pair<size_t, size_t>>& parts, size_t item,
              std::string* folder) {
  if (item == 0) {
    folder->clear();
    return !parts.empty();
  }
  if (item != 1 || parts.size() < 2) return false;
  const std::string first = path.substr(parts[0].first, parts[0].second - parts[0].first);
  if (!LooksLikeSid(first)) return false;
  *folder = "\\" + first;
  return true;
}

std::string FolderKey(uint8_t drive, const std::string& folder) {
  std::string key(1, static_cast<char>(drive));
  for (char c : folder) key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return key;
}

// Gives every bin item of Windows 95 to XP ("D<letter><n>.ext", a file or a
// folder directly in its bin folder) the path its folder's index files name,
// below that bin folder. paths: the records' paths before any was renamed.
bool Stopped(const BinNameProgress* control) { return control && control->stop && control->stop->load(); }

void Report(const BinNameProgress* control, uint32_t done, uint32_t total) {
  if (control && control->progress) control->progress(done, total);
}

constexpr uint32_t kReportEvery = 512;

void ApplyRenames(const std::vector<std::string>& paths, const std::vector<std::pair<uint32_t, std::string>>& renames) {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  for (const auto& r : renames) {
    if (r.first >= gDeletedFiles.size() || r.first >= paths.size()) continue;
    DeletedFileRecord& record = gDeletedFiles[r.first];
    if (std::strncmp(record.path, paths[r.first].c_str(), sizeof record.path) != 0) continue;
    std::memset(record.path, 0, sizeof record.path);
    std::memcpy(record.path, r.second.data(), std::min(r.second.size(), sizeof record.path - 1));
  }
}

// Gives every bin item of Windows 95 to XP ("D<letter><n>.ext", a file or a
// folder directly in its bin folder) the path its folder's index files name,
// below that bin folder; marks the index files. paths: the records' paths
// before any was renamed. False when stopped.
bool ResolveBinItemNames(const std::vector<std::string>& paths, const std::vector<uint8_t>& drives,
                         const std::vector<uint64_t>& sizes, std::vector<uint8_t>* indexRecords,
                         const BinNameProgress* control, uint32_t reportedBefore, uint32_t total) {
  std::map<std::string, BinFolder> folders;
  for (uint32_t i = 0; i < paths.size(); ++i) {
    const auto parts = PathComponents(paths[i]);
    if (parts.empty() || parts.size() > 2) continue;
    const std::string name = paths[i].substr(parts.back().first);
    std::string folder;
    if (!IsInfo2Name(name.c_str()) || !BinPlace(paths[i], parts, parts.size() - 1, &folder)) continue;
    folders[FolderKey(drives[i], folder)].indexFiles.push_back(i);
    (*indexRecords)[i] = 1;
  }
  if (folders.empty()) return true;

  size_t indexFilesRead = 0;
  auto entriesOf = [&](BinFolder& bin) -> const Info2Lookup* {
    if (!bin.loaded) {
      bin.loaded = true;
      if (bin.indexFiles.size() > kMaxIndexFilesPerFolder ||
          indexFilesRead + bin.indexFiles.size() > kMaxIndexFilesRead) {
        bin.usable = false;
        return nullptr;
      }
      std::vector<uint8_t> bytes;
      std::vector<Info2Entry> entries;
      for (uint32_t index : bin.indexFiles) {
        ++indexFilesRead;
        if (ReadRecordContentUpTo(index, kInfo2MaxBytes, &bytes) <= 0) continue;
        std::vector<Info2Entry> more = ParseInfo2(bytes.data(), bytes.size());
        entries.insert(entries.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
      }
      bin.entries.reset(new Info2Lookup(std::move(entries)));
    }
    return bin.usable ? bin.entries.get() : nullptr;
  };

  std::vector<std::pair<uint32_t, std::string>> renames;
  bool stopped = false;
  for (uint32_t i = 0; i < paths.size(); ++i) {
    if (i % kReportEvery == 0) {
      if (Stopped(control)) {
        stopped = true;
        break;
      }
      Report(control, reportedBefore + i, total);
    }
    if ((*indexRecords)[i]) continue;
    const std::string& path = paths[i];
    const auto parts = PathComponents(path);
    for (size_t item = 0; item < 2 && item < parts.size(); ++item) {
      const std::string itemName = path.substr(parts[item].first, parts[item].second - parts[item].first);
      BinItemName parsed;
      std::string folder;
      if (!ParseBinItemName(itemName.c_str(), &parsed) || !BinPlace(path, parts, item, &folder)) continue;
      auto bin = folders.find(FolderKey(drives[i], folder));
      if (bin == folders.end()) continue;
      const Info2Lookup* entries = entriesOf(bin->second);
      if (!entries) break;
      const bool isFile = item + 1 == parts.size();
      std::string former;
      if (!entries->FormerPath(parsed, isFile ? sizes[i] : UINT64_MAX, &former)) break;
      // The bin folder, the former path without its drive letter, then
      // (below an item that is a folder) the rest of the record's path.
      std::string renamed = folder + former.substr(2) + path.substr(parts[item].second);
      if (renamed.size() > (isFile ? kFormerPathBytes : sizeof(DeletedFileRecord::path) - 1)) break;
      renames.emplace_back(i, std::move(renamed));
      break;
    }
  }
  ApplyRenames(paths, renames);
  return !stopped;
}

// ---- bins of Vista and later --------------------------------------------------

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

std::string UpperText(const std::string& text) {
  std::string out(text);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

// A name as a deleted 8.3 entry leaves it: eight characters, a dot and up
// to three more, no space.
bool HasShortShape(const std::string& name) {
  const size_t dot = name.find('.');
  const size_t base = dot == std::string::npos ? name.size() : dot;
  if (base != 8) return false;
  if (dot != std::string::npos && (name.size() - dot - 1 < 1 || name.size() - dot - 1 > 3)) return false;
  if (dot != std::string::npos && name.find('.', dot + 1) != std::string::npos) return false;
  return name.find(' ') == std::string::npos;
}

// Whether a name is that of a bin's data file ('R') or information file
// ('I'): "$R..." / "$I...", or, as FAT keeps a deleted short name whose
// first byte is lost, "?R??????.ext" / "?I??????.ext".
enum class BinShape { None, Named, Short };
BinShape BinNameShape(const std::string& name, char kind) {
  if (name.size() < 3 || UpperAscii(name[1]) != kind) return BinShape::None;
  if (name[0] == '$') return BinShape::Named;
  if (static_cast<unsigned char>(name[0]) >= 0x80 || name[0] == '.') return BinShape::None;
  return HasShortShape(name) ? BinShape::Short : BinShape::None;
}

std::string ExtensionOfName(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? std::string() : UpperText(name.substr(dot + 1));
}

// Where an information file is found again: drive, folder, the name after
// its first two characters.
std::string PartnerKey(uint8_t drive, const std::string& path, size_t nameStart, size_t nameEnd) {
  std::string key(1, static_cast<char>(drive));
  key += UpperText(path.substr(0, nameStart));
  key += UpperText(path.substr(nameStart + 2, nameEnd - nameStart - 2));
  return key;
}

// An item's stored former path when its extension is the item's own (or,
// for a short name, the item's three letters begin it).
bool ExtensionFits(const std::string& itemName, BinShape shape, const std::string& stored) {
  const std::string mine = ExtensionOfName(itemName);
  const std::string theirs = ExtensionOfName(stored.substr(NameStart(stored.c_str())));
  if (mine == theirs) return true;
  return shape == BinShape::Short && mine.size() == 3 && theirs.size() > 3 && theirs.compare(0, 3, mine) == 0;
}

// Renames the items of bins of Vista and later; marks their information
// files. False when stopped.
bool ResolveVistaBinNames(const std::vector<std::string>& paths, const std::vector<uint8_t>& drives,
                          const std::vector<uint64_t>& sizes, std::vector<uint8_t>* indexRecords,
                          const BinNameProgress* control, uint32_t total) {
  const uint32_t count = static_cast<uint32_t>(paths.size());
  // Every information file, once: by drive, folder and the rest of its name.
  std::unordered_map<std::string, uint32_t> partners;
  std::vector<BinShape> infoShape(count, BinShape::None);
  for (uint32_t i = 0; i < count; ++i) {
    const auto parts = PathComponents(paths[i]);
    if (parts.empty()) continue;
    const std::string name = paths[i].substr(parts.back().first, parts.back().second - parts.back().first);
    const BinShape shape = BinNameShape(name, 'I');
    if (shape == BinShape::None) continue;
    infoShape[i] = shape;
    if (shape == BinShape::Named) (*indexRecords)[i] = 1;
    partners.emplace(PartnerKey(drives[i], paths[i], parts.back().first, parts.back().second), i);
  }
  if (partners.empty()) return true;

  // A partner's stored path, read once however many records lie below its item.
  std::unordered_map<uint32_t, std::string> stored;
  auto storedPath = [&](uint32_t partner) -> const std::string& {
    auto found = stored.find(partner);
    if (found != stored.end()) return found->second;
    std::string text;
    uint8_t info[kInfoBytes];
    char path[kMaxRecyclePath + 1];
    if (ReadRecordContent(partner, info, kInfoBytes) >= 0 && StoredPath(info, kInfoBytes, path, sizeof path))
      text = path;
    return stored.emplace(partner, std::move(text)).first->second;
  };

  std::vector<std::pair<uint32_t, std::string>> renames;
  std::vector<uint8_t> partnered(count, 0);
  bool stopped = false;
  for (uint32_t i = 0; i < count; ++i) {
    if (i % kReportEvery == 0) {
      if (Stopped(control)) {
        stopped = true;
        break;
      }
      Report(control, i, total);
    }
    if (infoShape[i] == BinShape::Named) continue;
    const std::string& path = paths[i];
    const auto parts = PathComponents(path);
    for (size_t item = 0; item < parts.size(); ++item) {
      const std::string name = path.substr(parts[item].first, parts[item].second - parts[item].first);
      const BinShape shape = BinNameShape(name, 'R');
      if (shape == BinShape::None) continue;
      auto partner = partners.find(PartnerKey(drives[i], path, parts[item].first, parts[item].second));
      if (partner == partners.end() || partner->second == i) continue;
      partnered[partner->second] = 1;
      const std::string& former = storedPath(partner->second);
      if (former.size() < 3 || !ExtensionFits(name, shape, former)) break;
      const bool isFile = item + 1 == parts.size();
      // The item's folder (without its backslash), the former path without
      // its drive letter, then what lies below an item that is a folder.
      const std::string folder = parts[item].first ? path.substr(0, parts[item].first - 1) : std::string();
      std::string renamed = folder + former.substr(2) + path.substr(parts[item].second);
      if (renamed.size() > (isFile ? kMaxRecyclePath : sizeof(DeletedFileRecord::path) - 1)) break;
      renames.emplace_back(i, std::move(renamed));
      break;
    }
  }
  // A short name is an information file when its data file was found, or
  // when it reads as one; otherwise it is the user's file.
  for (uint32_t i = 0; i < count && !stopped; ++i) {
    if (infoShape[i] != BinShape::Short) continue;
    if (partnered[i] || (sizes[i] >= 24 && sizes[i] <= kInfoBytes && !storedPath(i).empty())) (*indexRecords)[i] = 1;
  }
  ApplyRenames(paths, renames);
  return !stopped;
}

}  // namespace

bool FormerPathText(const wchar_t* text, size_t length, char* out, size_t outSize) {
  // A whole path on a drive ("X:\..."), none of whose folders climbs out
  // ("." or ".." or a name of dots and spaces) or is empty.
  if (!text || !out || outSize < 4 || length < 4 || length > 32767) return false;
  if (text[1] != L':' || text[2] != L'\\') return false;
  const wchar_t d = text[0];
  if (!((d >= L'A' && d <= L'Z') || (d >= L'a' && d <= L'z'))) return false;
  size_t componentStart = 3;
  for (size_t i = 3; i <= length; ++i) {
    if (i < length) {
      const wchar_t c = text[i];
      if (c < 0x20 || c == L'/' || c == L':') return false;
      if (c != L'\\') continue;
    }
    if (i == componentStart) return false;   // empty component
    bool dotsAndSpaces = true;
    for (size_t k = componentStart; k < i; ++k)
      if (text[k] != L'.' && text[k] != L' ') dotsAndSpaces = false;
    if (dotsAndSpaces) return false;
    componentStart = i + 1;
  }
  const int n = WideCharToMultiByte(CP_OEMCP, 0, text, static_cast<int>(length), out,
                                    static_cast<int>(outSize - 1), nullptr, nullptr);
  if (n <= 0) return false;
  out[n] = 0;
  return static_cast<size_t>(n) < kFormerPathBytes && out[1] == ':' && out[2] == '\\';
}

int ReadRecordContent(uint32_t index, void* buffer, uint32_t byteCount) {
  DeletedFileRecord record;
  if (!buffer || !CopyRecord(index, &record)) return -1;
  std::memset(buffer, 0, byteCount);
  ContentReader reader;
  if (!reader.Open(record) || !reader.Read(0, byteCount, static_cast<uint8_t*>(buffer))) return -1;
  return reader.ntfs() ? 0 : static_cast<int>(byteCount);
}

int ReadRecordContentUpTo(uint32_t index, uint32_t maxBytes, std::vector<uint8_t>* out) {
  if (!out) return -1;
  out->clear();
  DeletedFileRecord record;
  if (!CopyRecord(index, &record)) return -1;
  ContentReader reader;
  if (!reader.Open(record)) return -1;
  const uint64_t wanted = std::min<uint64_t>({RecordSize(record), reader.size(), maxBytes});
  // Piece by piece: a piece that cannot be read ends the content there, and
  // what came before it is kept.
  constexpr uint32_t kPiece = 64 * 1024;
  out->resize(static_cast<size_t>(wanted));
  for (uint64_t offset = 0; offset < wanted; offset += kPiece) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kPiece, wanted - offset));
    if (!reader.Read(offset, n, out->data() + offset)) {
      out->resize(static_cast<size_t>(offset));
      break;
    }
  }
  return static_cast<int>(out->size());
}

int ResolveRecycleBinName(uint32_t index) {
  DeletedFileRecord record;
  if (!CopyRecord(index, &record)) return -1;
  // The data file's own name must begin with "$R"; the folders above it may
  // well be "$Recycle.Bin".
  const size_t nameStart = NameStart(record.path);
  if (nameStart == 0 || std::strncmp(record.path + nameStart, "$R", 2) != 0) return -1;
  char infoPath[sizeof record.path];
  std::memcpy(infoPath, record.path, sizeof infoPath);
  infoPath[nameStart + 1] = 'I';
  const size_t folderLength = nameStart - 1;   // without the backslash

  // The partner lies in the same folder of the same drive.
  int64_t partner = -1;
  uint64_t partnerLocation = 0;
  {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    for (size_t i = 0; i < gDeletedFiles.size(); ++i) {
      const DeletedFileRecord& r = gDeletedFiles[i];
      if (r.driveIndex == record.driveIndex && lstrcmpiA(r.path, infoPath) == 0) {
        partner = static_cast<int64_t>(i);
        partnerLocation = r.location;
        break;
      }
    }
  }
  if (partner < 0) return -1;

  const bool cached = gRecycleInfoCache.valid && gRecycleInfoCache.index == static_cast<uint32_t>(partner) &&
                      gCacheLocation == partnerLocation && gCacheDrive == record.driveIndex;
  if (!cached) {
    gRecycleInfoCache.valid = false;
    if (ReadRecordContent(static_cast<uint32_t>(partner), gRecycleInfoCache.data, kInfoBytes) < 0) return -1;
    gRecycleInfoCache.index = static_cast<uint32_t>(partner);
    gCacheLocation = partnerLocation;
    gCacheDrive = record.driveIndex;
    gRecycleInfoCache.valid = true;
  }

  char stored[kMaxRecyclePath + 1];
  if (!StoredPath(gRecycleInfoCache.data, kInfoBytes, stored, sizeof stored)) return -1;
  // The record's folder, then the stored path without its drive letter.
  const size_t storedTail = std::strlen(stored + 2);
  if (folderLength + storedTail > kMaxRecyclePath) return -1;
  char newPath[sizeof record.path] = {};
  std::memcpy(newPath, record.path, folderLength);
  std::memcpy(newPath + folderLength, stored + 2, storedTail);

  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  if (index >= gDeletedFiles.size()) return -1;
  std::memcpy(gDeletedFiles[index].path, newPath, sizeof newPath);
  return 0;
}

int ResolveRecycleBinNames(const BinNameProgress* control) {
  // The records as the scans left them: a path one road gave a record is
  // not taken for a bin item's by the other.
  std::vector<std::string> paths;
  std::vector<uint8_t> drives;
  std::vector<uint64_t> sizes;
  {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    paths.reserve(gDeletedFiles.size());
    drives.reserve(gDeletedFiles.size());
    sizes.reserve(gDeletedFiles.size());
    for (const DeletedFileRecord& r : gDeletedFiles) {
      paths.emplace_back(r.path, strnlen(r.path, sizeof r.path));
      drives.push_back(r.driveIndex);
      sizes.push_back(RecordSize(r));
    }
  }
  const uint32_t count = static_cast<uint32_t>(paths.size());
  const uint32_t total = count > UINT32_MAX / 2 ? UINT32_MAX : 2 * count;
  std::vector<uint8_t> indexRecords(paths.size(), 0);
  bool whole = ResolveVistaBinNames(paths, drives, sizes, &indexRecords, control, total) &&
               ResolveBinItemNames(paths, drives, sizes, &indexRecords, control, count, total);
  if (whole) Report(control, total, total);
  {
    std::lock_guard<std::mutex> lock(gIndexRecordsLock);
    gIndexRecords.swap(indexRecords);
  }
  return whole ? 0 : 1;
}

bool IsRecycleIndexRecord(uint32_t index) {
  std::lock_guard<std::mutex> lock(gIndexRecordsLock);
  return index < gIndexRecords.size() && gIndexRecords[index] != 0;
}
