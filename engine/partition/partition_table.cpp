#include "partition/partition_table.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "disk/device.h"
#include "disk/raw.h"
#include "state.h"

bool HasBootSignature(const uint8_t sector[512]) { return sector[510] == 0x55 && sector[511] == 0xAA; }

bool IsGptDisk(const uint8_t sector0[512], const uint8_t* sector1) {
  if (sector1 && std::memcmp(sector1, "EFI PART", 8) == 0) return true;
  if (!HasBootSignature(sector0)) return false;
  for (unsigned i = 0; i < kPartitionEntries; ++i)
    if (ReadPartitionEntry(sector0, i).type == kPartTypeGptProtective) return true;
  return false;
}

PartitionEntry ReadPartitionEntry(const uint8_t sector[512], unsigned index) {
  PartitionEntry e;
  std::memcpy(&e, sector + kPartitionTableOffset + 16 * (index & 3), sizeof e);
  return e;
}

void WritePartitionEntry(uint8_t sector[512], unsigned index, const PartitionEntry& entry) {
  std::memcpy(sector + kPartitionTableOffset + 16 * (index & 3), &entry, sizeof entry);
}

void EncodeChs(uint64_t lba, uint8_t* head, uint8_t* sectorByte, uint8_t* cylinderByte) {
  Chs chs = LbaToChs(lba, kCylinderHeads, kTrackSectors);
  if (lba / kCylinderSectors > 1023) chs = {1023, 254, 63};
  *head = static_cast<uint8_t>(chs.head);
  *sectorByte = static_cast<uint8_t>(chs.sector | ((chs.cylinder >> 2) & 0xC0));
  *cylinderByte = static_cast<uint8_t>(chs.cylinder & 0xFF);
}

PartitionEntry MakePartitionEntry(bool active, uint8_t type, uint32_t start, uint32_t count) {
  PartitionEntry e = {};
  e.bootFlag = active ? kBootFlagActive : 0;
  e.type = type;
  e.startLba = start;
  e.sectorCount = count;
  EncodeChs(start, &e.startHead, &e.startSector, &e.startCylinder);
  uint64_t last = static_cast<uint64_t>(start) + (count ? count - 1 : 0);
  EncodeChs(last, &e.endHead, &e.endSector, &e.endCylinder);
  return e;
}

uint64_t RoundUpToGrid(uint64_t sector, PartitionGrid grid) {
  const uint64_t step = grid == PartitionGrid::kCylinder ? kCylinderSectors : kMibSectors;
  if (sector >= kTableSectorLimit) return sector;
  return (sector + step - 1) / step * step;
}

bool IsConsistentRebuiltTable(const uint8_t sector[512], uint64_t diskSectors) {
  if (!HasBootSignature(sector)) return false;
  const uint64_t limit = diskSectors ? diskSectors : kTableSectorLimit;
  struct Span {
    uint64_t start, end;
  } used[kPartitionEntries];
  unsigned usedCount = 0, extended = 0;
  bool seenEmpty = false;
  for (unsigned i = 0; i < kPartitionEntries; ++i) {
    PartitionEntry e = ReadPartitionEntry(sector, i);
    if (IsEmptyEntry(e)) {
      static const uint8_t kZero[16] = {};
      if (std::memcmp(&e, kZero, sizeof e) != 0) return false;
      seenEmpty = true;
      continue;
    }
    if (seenEmpty) return false;
    switch (e.type) {
      case kPartTypeFat16:
      case kPartTypeNtfs:
      case kPartTypeFat32:
        break;
      case kPartTypeExtended:
        ++extended;
        break;
      default:
        return false;
    }
    if (e.bootFlag != 0 && e.bootFlag != kBootFlagActive) return false;
    if (e.startLba == 0 || e.sectorCount == 0) return false;
    const uint64_t end = static_cast<uint64_t>(e.startLba) + e.sectorCount;
    if (end > limit) return false;
    for (unsigned j = 0; j < usedCount; ++j)
      if (e.startLba < used[j].end && used[j].start < end) return false;
    used[usedCount++] = {e.startLba, end};
  }
  return usedCount > 0 && extended <= 1;
}

namespace {

bool SectorReadable(const char* path, uint64_t sector) {
  uint8_t buffer[kSectorSize];
  return ReadDiskSectors(path, sector, 1, buffer) == 0;
}

}  // namespace

uint64_t DiskSectorCount(const char* diskPath) {
  HANDLE h = gDeviceCalls.createFile(diskPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
  if (IsValidHandle(h)) {
    uint64_t count = GetDeviceSectorCount(h);
    gDeviceCalls.closeHandle(h);
    if (count) return count;
  }
  // No size from the platform (the Windows 9x driver answers none): the
  // first sector past the end is the first one that cannot be read.
  if (!SectorReadable(diskPath, 0)) return 0;
  uint64_t good = 0, bad = 1;
  while (SectorReadable(diskPath, bad)) {
    good = bad;
    if (bad >= (1ull << 40)) return bad + 1;   // 512 TiB: further than any table reaches
    bad *= 2;
  }
  while (bad - good > 1) {
    uint64_t mid = good + (bad - good) / 2;
    if (SectorReadable(diskPath, mid))
      good = mid;
    else
      bad = mid;
  }
  return good + 1;
}
