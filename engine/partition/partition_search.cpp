#include "partition/partition_search.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "disk/raw.h"
#include "fat/fat_volume.h"
#include "ntfs/ntfs_volume.h"
#include "partition/partition_backup.h"
#include "partition/partition_table.h"
#include "state.h"

uint8_t gRebuiltSector0[512];
uint8_t gPreviousSector0[512];
int gPreviousSector0Disk = -1;
char gPreviousSector0File[MAX_PATH];

namespace {

// The walk of a chain of extended boot records ends after this many.
constexpr unsigned kMaxExtendedRecords = 128;
constexpr uint64_t kFirstProbe = kTrackSectors;   // the end of the first track
constexpr unsigned kMaxFailedProbes = 16;          // unreadable probes in a row that end the search

bool OnCylinderGrid(uint64_t sector) { return sector == kFirstProbe || sector % kCylinderSectors == 0; }
bool OnMibGrid(uint64_t sector) { return sector % kMibSectors == 0; }

// The probe after pos: the next cylinder start or 1 MiB step.
uint64_t NextProbe(uint64_t pos) {
  uint64_t cylinder = (pos / kCylinderSectors + 1) * kCylinderSectors;
  uint64_t mib = (pos / kMibSectors + 1) * kMibSectors;
  return std::min(cylinder, mib);
}

struct FileSystemFound {
  uint8_t type;
  uint64_t sectors;
};

// A FAT or NTFS boot sector whose geometry holds together.
bool RecogniseBootSector(const uint8_t sector[512], FileSystemFound* out) {
  FatGeometry fat;
  if (ParseFatBootSector(sector, &fat)) {
    out->type = fat.type == FatType::kFat32 ? kPartTypeFat32 : kPartTypeFat16;
    out->sectors = fat.totalSectors;
    return true;
  }
  NtfsGeometry ntfs;
  if (ReadNtfsGeometry(sector, &ntfs)) {
    out->type = kPartTypeNtfs;
    out->sectors = ntfs.totalSectors;
    return true;
  }
  return false;
}

// An extended boot record names one logical drive in its first entry and at
// most a link to the next record in its second; the other two are unused.
bool LooksLikeExtendedRecord(const uint8_t sector[512]) {
  PartitionEntry first = ReadPartitionEntry(sector, 0);
  PartitionEntry second = ReadPartitionEntry(sector, 1);
  if (first.type == kPartTypeEmpty || IsExtendedType(first.type)) return false;
  if (first.startLba == 0 || first.sectorCount == 0) return false;
  if (second.type != kPartTypeEmpty && !IsExtendedType(second.type)) return false;
  return ReadPartitionEntry(sector, 2).type == kPartTypeEmpty && ReadPartitionEntry(sector, 3).type == kPartTypeEmpty;
}

class LostPartitionSearch {
 public:
  LostPartitionSearch(const char* path, uint64_t diskSectors) : path_(path), diskSectors_(diskSectors) {
    probeLimit_ = diskSectors ? std::min(diskSectors, kTableSectorLimit) : kTableSectorLimit;
    endLimit_ = diskSectors ? diskSectors : kTableSectorLimit;
  }

  // Fills the entries of gRebuiltSector0; the number of entries made.
  unsigned Run() {
    uint64_t pos = kFirstProbe;
    uint8_t sector[kSectorSize];
    unsigned failedReads = 0;
    while (pos < probeLimit_ && FirstFreeEntrySlot() != 0) {
      if (!Read(pos, sector)) {
        // Inside a disk of known size an unreadable probe is a bad sector:
        // the partitions behind it are still looked for. A run of failures
        // means the disk has stopped answering.
        if (!diskSectors_ || ++failedReads >= kMaxFailedProbes) break;
        pos = NextProbe(pos);
        continue;
      }
      failedReads = 0;
      uint64_t next = 0;
      if (HasBootSignature(sector)) {
        FileSystemFound fs;
        if (RecogniseBootSector(sector, &fs)) {
          next = AddFileSystem(pos, fs);
        } else if (LooksLikeExtendedRecord(sector) && !haveExtended_) {
          next = AddExtended(pos, sector);
        }
      }
      pos = next > pos ? next : NextProbe(pos);
    }
    return entries_;
  }

 private:
  bool Read(uint64_t sector, uint8_t* buffer) { return ReadOpenDisk(path_, sector, 1, buffer) == 0; }

  // 1 to 4 for the first unused entry; 0 when all four are used.
  unsigned FirstFreeEntrySlot() const {
    for (unsigned i = 0; i < kPartitionEntries; ++i)
      if (IsEmptyEntry(ReadPartitionEntry(gRebuiltSector0, i))) return i + 1;
    return 0;
  }

  // The layout is that of the first partition found on one grid only: a
  // partition at a place on both grids ends on that layout's grid.
  bool MibLayout(uint64_t start) {
    if (!layoutKnown_ && OnCylinderGrid(start) != OnMibGrid(start)) {
      mibLayout_ = OnMibGrid(start);
      layoutKnown_ = true;
    }
    return mibLayout_;
  }

  // Sets entry slot (1-4) for a partition at start that covers size
  // sectors; the end of the partition, or 0 when nothing was set.
  uint64_t SetPartitionEntry(bool active, uint8_t type, uint64_t start, uint64_t size, unsigned slot) {
    if (slot < 1 || slot > kPartitionEntries || start >= kTableSectorLimit) return 0;
    uint64_t end = RebuiltPartitionEnd(start, size, MibLayout(start), endLimit_);
    if (end <= start || end - start > 0xFFFFFFFFull) return 0;
    PartitionEntry e = MakePartitionEntry(active, type, static_cast<uint32_t>(start), static_cast<uint32_t>(end - start));
    WritePartitionEntry(gRebuiltSector0, slot - 1, e);
    ++entries_;
    return end;
  }

  uint64_t AddFileSystem(uint64_t start, const FileSystemFound& fs) {
    // A file system that would run past the disk's end is not one of this
    // disk's partitions (a volume image kept in a file, a boot sector copy).
    if (diskSectors_ && start + fs.sectors > diskSectors_) return 0;
    const unsigned slot = FirstFreeEntrySlot();
    return SetPartitionEntry(slot == 1, fs.type, start, fs.sectors, slot);
  }

  // The extended partition whose first boot record lies at start: it reaches
  // to the end of the furthest logical drive its chain names.
  uint64_t AddExtended(uint64_t start, const uint8_t* record) {
    if (!CheckExtendedLink(start, record)) return 0;
    uint64_t size = ExtendedChainSize(start);
    if (size == 0) return 0;
    uint64_t end = SetPartitionEntry(false, kPartTypeExtended, start, size, FirstFreeEntrySlot());
    if (end) haveExtended_ = true;
    return end;
  }

  // The logical drive the record names begins with a boot sector.
  bool CheckExtendedLink(uint64_t start, const uint8_t* record) {
    uint64_t logicalStart = start + ReadPartitionEntry(record, 0).startLba;
    uint8_t sector[kSectorSize];
    return logicalStart < probeLimit_ && Read(logicalStart, sector) && HasBootSignature(sector);
  }

  // Sectors from the first boot record to the end of the last logical drive
  // of the chain. A record that cannot be read or lacks 55 AA, a link back
  // to a record already seen or past the disk ends the chain.
  uint64_t ExtendedChainSize(uint64_t first) {
    uint64_t extent = 0, current = first;
    std::vector<uint64_t> seen;
    uint8_t record[kSectorSize];
    for (unsigned n = 0; n < kMaxExtendedRecords; ++n) {
      if (!Read(current, record) || !HasBootSignature(record)) break;
      seen.push_back(current);
      PartitionEntry logical = ReadPartitionEntry(record, 0);
      if (!IsEmptyEntry(logical) && !IsExtendedType(logical.type) && logical.sectorCount) {
        uint64_t end = current - first + logical.startLba + logical.sectorCount;
        if (current + logical.startLba + logical.sectorCount <= endLimit_) extent = std::max(extent, end);
      }
      uint64_t next = 0;
      for (unsigned i = 1; i < kPartitionEntries && !next; ++i) {
        PartitionEntry link = ReadPartitionEntry(record, i);
        if (IsExtendedType(link.type)) next = first + link.startLba;
      }
      if (!next || next >= probeLimit_ || std::find(seen.begin(), seen.end(), next) != seen.end()) break;
      current = next;
    }
    return extent;
  }

  const char* path_;
  uint64_t diskSectors_;
  uint64_t probeLimit_;   // probes stay below this
  uint64_t endLimit_;     // partitions end at or before this
  unsigned entries_ = 0;
  bool haveExtended_ = false;
  bool layoutKnown_ = false;
  bool mibLayout_ = false;
};

class DiskHandleCloser {
 public:
  ~DiskHandleCloser() { CloseDiskHandle(); }
};

// Saves the sector about to be replaced in the temporary folder.
bool KeepPreviousSector0(int disk, const uint8_t sector0[512]) {
  char folder[MAX_PATH];
  DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n >= sizeof folder) return false;
  SYSTEMTIME t;
  GetLocalTime(&t);
  for (int attempt = 1; attempt <= 100; ++attempt) {
    char path[MAX_PATH];
    char suffix[8] = "";
    if (attempt > 1) std::snprintf(suffix, sizeof suffix, "-%d", attempt);
    int len = std::snprintf(path, sizeof path, "%sDISK%d-SECTOR0-%04u%02u%02u-%02u%02u%02u%s.VXB", folder, disk,
                            t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, suffix);
    if (len <= 0 || static_cast<size_t>(len) >= sizeof path) return false;
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) continue;
    if (WriteSector0Backup(disk, sector0, path) != kBackupDone) return false;
    std::memcpy(gPreviousSector0, sector0, sizeof gPreviousSector0);
    gPreviousSector0Disk = disk;
    std::snprintf(gPreviousSector0File, sizeof gPreviousSector0File, "%s", path);
    return true;
  }
  return false;
}

// Writes the rebuilt sector 0 to the open disk; true when it reads back.
bool WritePartitionTable(const char* path) {
  if (WriteOpenDisk(path, 0, 1, gRebuiltSector0) != 0) return false;
  uint8_t check[kSectorSize];
  return ReadOpenDisk(path, 0, 1, check) == 0 && std::memcmp(check, gRebuiltSector0, kSectorSize) == 0;
}

}  // namespace

uint64_t RebuiltPartitionEnd(uint64_t start, uint64_t size, bool mibLayout, uint64_t limit) {
  const bool cylinder = OnCylinderGrid(start) && !(mibLayout && OnMibGrid(start));
  uint64_t end = cylinder ? NextCylinderBoundary(start + size) : RoundUpToGrid(start + size, PartitionGrid::kMib);
  return std::min(end, limit);
}

void PrepareRebuiltSector0() {
  std::memset(gRebuiltSector0, 0, sizeof gRebuiltSector0);
  std::memcpy(gRebuiltSector0, kStandardBootProgram, kBootProgramBytes);
  gRebuiltSector0[510] = 0x55;
  gRebuiltSector0[511] = 0xAA;
}

int SearchLostPartitions(int disk) {
  char path[32];
  MakeDiskPath(disk, path);
  if (!path[0]) return kSearchDiskError;
  PrepareRebuiltSector0();
  // Sized first: where the size must be found by reading, the reads go
  // through handles of their own.
  const uint64_t diskSectors = DiskSectorCount(path);
  if (OpenDiskHandle(path) != 0) return kSearchDiskError;
  DiskHandleCloser closer;

  uint8_t sector0[kSectorSize];
  if (ReadOpenDisk(path, 0, 1, sector0) != 0) return kSearchDiskError;
  if (HasBootSignature(sector0) && ReadPartitionEntry(sector0, 0).sectorCount != 0) return kSearchTableValid;
  // A disk formatted as one volume without a table, and a GPT disk whose
  // protective entry is gone, have their own structures in these sectors.
  FileSystemFound fs;
  if (HasBootSignature(sector0) && RecogniseBootSector(sector0, &fs)) return kSearchTableValid;
  uint8_t sector1[kSectorSize];
  if (ReadOpenDisk(path, 1, 1, sector1) == 0 && std::memcmp(sector1, "EFI PART", 8) == 0) return kSearchTableValid;

  LostPartitionSearch search(path, diskSectors);
  if (search.Run() == 0) return kSearchNothingFound;

  // Windows knows the disk by its signature: keep it.
  std::memcpy(gRebuiltSector0 + kDiskSignatureOffset, sector0 + kDiskSignatureOffset, 4);
  if (!IsConsistentRebuiltTable(gRebuiltSector0, diskSectors)) return kSearchInconsistent;
  if (!KeepPreviousSector0(disk, sector0)) return kSearchCannotKeepOld;

  return WritePartitionTable(path) ? kSearchWritten : kSearchDiskError;
}
