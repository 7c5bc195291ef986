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

// The entries a cache keeps between walks unless told otherwise.
constexpr size_t kNtfsFolderCacheEntries = 1 << 20;

// A walk up a parent chain takes entries with Get and may hold on to them
// (their names above all) until it calls EndWalk: the cache lets nothing go
// in between, however many entries the walk adds. At EndWalk a cache grown
// past its limit is emptied, so memory stays bounded on any volume.
class NtfsFolderCache {
 public:
  explicit NtfsFolderCache(NtfsVolume& volume, size_t maxEntries = kNtfsFolderCacheEntries)
      : volume_(volume), maxEntries_(maxEntries) {}
  const NtfsFolderInfo& Get(uint64_t record);
  void EndWalk();
  size_t size() const { return entries_.size(); }

 private:
  NtfsVolume& volume_;
  size_t maxEntries_;
  std::unordered_map<uint64_t, NtfsFolderInfo> entries_;
};

// The limit the scans give their caches (kNtfsFolderCacheEntries unless a
// test makes it small, to walk the emptying on a small volume).
extern size_t gNtfsFolderCacheLimit;

// Whether a parent reference means this record: the same sequence number or,
// when the record is no longer in use, the one before it (freeing a record
// raises its sequence number). A reference without a sequence number matches.
bool ReferenceMatches(const NtfsFolderInfo& info, uint64_t ref);
