#include "content/record_content.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "disk/raw.h"
#include "ntfs/ntfs_record.h"
#include "ntfs/ntfs_volume.h"
#include "state.h"
#include "volume/boot.h"

RecycleInfoCache gRecycleInfoCache;

namespace {

// The cache also remembers which record it was read from, so an index that
// names another file after a new scan can never be served the old bytes.
uint64_t gCacheLocation;
uint8_t gCacheDrive;

void InvalidateRecycleInfoCache() { gRecycleInfoCache.valid = false; }

const bool kCacheHookRegistered = (RegisterDeletedFilesClearHook(&InvalidateRecycleInfoCache), true);

constexpr size_t kInfoBytes = sizeof gRecycleInfoCache.data;
constexpr size_t kMaxRecyclePath = 260;

bool CopyRecord(uint32_t index, DeletedFileRecord* out) {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  if (index >= gDeletedFiles.size()) return false;
  *out = gDeletedFiles[index];
  out->path[sizeof out->path - 1] = 0;
  return true;
}

int ReadNtfsContent(HANDLE volume, int driveIndex, const uint8_t* boot, uint64_t location, uint8_t* buffer,
                    uint32_t byteCount) {
  NtfsGeometry geometry;
  if (!ReadNtfsGeometry(boot, &geometry)) return -1;
  NtfsVolume ntfs(volume, driveIndex, geometry);
  uint8_t record[kMftRecordBytes];
  if (!ntfs.ReadRecordAt(location, record)) return -1;
  if (RecordFlags(record) & kRecordIsFolder) return -1;
  NtfsDataStream stream;
  if (!LocateUnnamedData(&ntfs, record, &stream)) return -1;
  NtfsDataReader reader(ntfs, stream);
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(byteCount, stream.realSize));
  if (!reader.Read(0, wanted, buffer)) return -1;
  return 0;
}

int ReadFatContent(HANDLE volume, int driveIndex, uint64_t location, uint8_t* buffer, uint32_t byteCount) {
  if (byteCount == 0) return 0;
  // Whole sectors are read into a buffer of our own: the caller's holds only
  // the bytes it asked for.
  const uint32_t sectors = (byteCount - 1) / kSectorSize + 1;
  std::vector<uint8_t> data(static_cast<size_t>(sectors) * kSectorSize);
  if (ReadTargetSectors(MakeVolumeTarget(static_cast<uint32_t>(driveIndex)), location, sectors, data.data(),
                        volume) != 0)
    return -1;
  std::memcpy(buffer, data.data(), byteCount);
  return static_cast<int>(byteCount);
}

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
// It must be a whole path on a drive ("X:\..."), and none of its folders may
// climb out ("." or ".." or a name of dots and spaces) or be empty.
bool StoredPath(const uint8_t* info, size_t size, char* out, size_t outSize) {
  const uint64_t version = ReadLe64(info);
  size_t offset = 24, maxChars = (size - 24) / 2;
  if (version == 2) {
    offset = 28;
    maxChars = std::min<size_t>(ReadLe32(info + 24), (size - 28) / 2);
  }
  std::vector<wchar_t> text;
  for (size_t i = 0; i < maxChars; ++i) {
    wchar_t c = static_cast<wchar_t>(info[offset + 2 * i] | info[offset + 2 * i + 1] << 8);
    if (c == 0) break;
    text.push_back(c);
  }
  if (text.size() < 4 || text[1] != L':' || text[2] != L'\\') return false;
  const wchar_t d = text[0];
  if (!((d >= L'A' && d <= L'Z') || (d >= L'a' && d <= L'z'))) return false;
  size_t componentStart = 3;
  for (size_t i = 3; i <= text.size(); ++i) {
    if (i < text.size()) {
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
  int n = WideCharToMultiByte(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()), out,
                              static_cast<int>(outSize - 1), nullptr, nullptr);
  if (n <= 0) return false;
  out[n] = 0;
  return static_cast<size_t>(n) < kMaxRecyclePath && out[1] == ':' && out[2] == '\\';
}

}  // namespace

int ReadRecordContent(uint32_t index, void* buffer, uint32_t byteCount) {
  DeletedFileRecord record;
  if (!buffer || !CopyRecord(index, &record)) return -1;
  std::memset(buffer, 0, byteCount);
  // The file system is taken from the boot sector: the platform's own answer
  // describes whatever lies behind the drive letter, not what is on it.
  const char root[4] = {static_cast<char>('c' + record.driveIndex), ':', '\\', 0};
  int driveIndex = 0;
  HANDLE volume = GetCachedVolumeHandle(root, &driveIndex);
  if (!volume) return -1;
  uint8_t boot[kSectorSize];
  if (ReadVolumeSectors(driveIndex, 0, 1, boot, volume) != 0) return -1;
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  switch (ClassifyBootSector(boot)) {
    case BootKind::Ntfs:
      return ReadNtfsContent(volume, driveIndex, boot, record.location, bytes, byteCount);
    case BootKind::Fat16:
    case BootKind::Fat32:
      return ReadFatContent(volume, driveIndex, record.location, bytes, byteCount);
    default:
      return -1;
  }
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

int ResolveRecycleBinNames() {
  for (uint32_t i = 0; i < DeletedFileCount(); ++i) {
    bool candidate = false;
    {
      std::lock_guard<std::mutex> lock(gDeletedFilesLock);
      if (i >= gDeletedFiles.size()) break;
      candidate = std::strstr(gDeletedFiles[i].path, "\\$R") != nullptr;
    }
    if (candidate) ResolveRecycleBinName(i);
  }
  return 0;
}
