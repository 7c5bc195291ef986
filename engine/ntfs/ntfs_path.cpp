#include "ntfs/ntfs_path.h"

#include "ntfs/ntfs_record.h"
#include "ntfs/ntfs_volume.h"

size_t gNtfsFolderCacheLimit = kNtfsFolderCacheEntries;

// References into an unordered_map stay valid as it grows; only emptying it
// would leave a walk holding freed names, so that waits for EndWalk.
void NtfsFolderCache::EndWalk() {
  if (entries_.size() >= maxEntries_) entries_.clear();
}

const NtfsFolderInfo& NtfsFolderCache::Get(uint64_t record) {
  auto it = entries_.find(record);
  if (it != entries_.end()) return it->second;
  NtfsFolderInfo info;
  uint8_t buffer[kMftRecordBytes], scratch[kMftRecordBytes];
  NtfsFileName fn;
  char name[512];
  if (volume_.ReadRecord(record, buffer) && FindRecordName(&volume_, buffer, scratch, &fn) &&
      NtfsNameToComponent(fn.name, fn.length, name, sizeof name)) {
    const uint16_t flags = RecordFlags(buffer);
    info.readable = true;
    info.folder = (flags & kRecordIsFolder) != 0;
    info.inUse = (flags & kRecordInUse) != 0;
    info.sequence = RecordSequence(buffer);
    info.parentRef = fn.parentRef;
    info.name = name;
  }
  return entries_.emplace(record, std::move(info)).first->second;
}

bool ReferenceMatches(const NtfsFolderInfo& info, uint64_t ref) {
  const uint16_t seq = RefSequence(ref);
  if (seq == 0 || seq == info.sequence) return true;
  return !info.inUse && static_cast<uint16_t>(seq + 1) == info.sequence;
}
