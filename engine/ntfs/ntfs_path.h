// Folder records as the parent walks meet them: the name, parent reference and
// state of each record asked for, read once and kept for the rest of the scan.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

class NtfsVolume;

struct NtfsFolderInfo {
  bool readable = false;   // a sound file record with a name
  bool folder = false;
  bool inUse = false;
  uint16_t sequence = 0;
  uint64_t parentRef = 0;
  std::string name;        // 8-bit path component, made safe
};

class NtfsFolderCache {
 public:
  explicit NtfsFolderCache(NtfsVolume& volume) : volume_(volume) {}
  const NtfsFolderInfo& Get(uint64_t record);

 private:
  NtfsVolume& volume_;
  std::unordered_map<uint64_t, NtfsFolderInfo> entries_;
};

// Whether a parent reference means this record: the same sequence number or,
// when the record is no longer in use, the one before it (freeing a record
// raises its sequence number). A reference without a sequence number matches.
bool ReferenceMatches(const NtfsFolderInfo& info, uint64_t ref);
