#include "volume/sector_zero.h"

#include <cstring>

#include "bytes.h"
#include "disk/raw.h"

namespace {

constexpr uint32_t kTableOffset = 0x1BE;
constexpr uint8_t kGptProtectiveType = 0xEE;
constexpr uint32_t kMaxNtfsClusterSectors = 4096;   // 2 MB clusters
constexpr uint64_t kFat12Clusters = 4085;           // fewer clusters than this: FAT12

bool IsPowerOfTwo(uint64_t v) { return v && (v & (v - 1)) == 0; }

BootFields ReadFields(const uint8_t* s) {
  BootFields f;
  f.bytesPerSector = ReadLe16(s + 0x0B);
  f.clusterByte = s[0x0D];
  f.reservedSectors = ReadLe16(s + 0x0E);
  f.fatCount = s[0x10];
  f.rootEntries = ReadLe16(s + 0x11);
  f.totalSectors16 = ReadLe16(s + 0x13);
  f.fatSectors16 = ReadLe16(s + 0x16);
  f.hiddenSectors = ReadLe32(s + 0x1C);
  f.totalSectors32 = ReadLe32(s + 0x20);
  f.fatSectors32 = ReadLe32(s + 0x24);
  f.rootCluster = ReadLe32(s + 0x2C);
  f.ntfsTotalSectors = ReadLe64(s + 0x28);
  f.mftCluster = ReadLe64(s + 0x30);
  return f;
}

uint32_t ClusterSectors(BootKind kind, uint8_t code) {
  uint64_t spc = code;
  if (kind == BootKind::Ntfs && code > 0x80) {
    const uint32_t shift = 256u - code;
    spc = shift <= 12 ? (1ull << shift) : 0;
  }
  return IsPowerOfTwo(spc) && spc <= kMaxNtfsClusterSectors ? static_cast<uint32_t>(spc) : 0;
}

// The FAT layout from the stored fields, all in 64 bits: a hostile sector's
// largest counts (65535 reserved sectors, 255 FATs of 2^32 sectors) cannot
// wrap. kNone with the data area and cluster count filled in.
BootFault JudgeFatLayout(bool fat32, BootFields* f) {
  const uint64_t fatSectors = fat32 && f->fatSectors32 ? f->fatSectors32 : f->fatSectors16;
  if (f->reservedSectors == 0 || f->fatCount == 0 || fatSectors == 0) return BootFault::kLayoutPastEnd;
  const uint64_t rootBytes = fat32 ? 0 : static_cast<uint64_t>(f->rootEntries) * 32;
  const uint64_t rootSectors = (rootBytes + f->bytesPerSector - 1) / f->bytesPerSector;
  const uint64_t dataStart = f->reservedSectors + f->fatCount * fatSectors + rootSectors;
  if (dataStart >= f->totalSectors) return BootFault::kLayoutPastEnd;
  f->dataStartSector = dataStart;
  f->clusterCount = (f->totalSectors - dataStart) / f->sectorsPerCluster;
  return f->clusterCount ? BootFault::kNone : BootFault::kLayoutPastEnd;
}

BootFault JudgeBootFields(BootKind kind, BootFields* f) {
  if (f->bytesPerSector == 0) return BootFault::kZeroSectorSize;
  if (!IsPowerOfTwo(f->bytesPerSector) || f->bytesPerSector < 512 || f->bytesPerSector > 4096)
    return BootFault::kOddSectorSize;
  if (f->sectorsPerCluster == 0) return BootFault::kBadClusterSize;
  if (f->totalSectors == 0) return BootFault::kNoSize;
  if (kind == BootKind::Ntfs)
    return f->mftCluster < f->totalSectors / f->sectorsPerCluster ? BootFault::kNone : BootFault::kLayoutPastEnd;
  return JudgeFatLayout(kind == BootKind::Fat32, f);
}

}  // namespace

void JudgeSectorZero(const uint8_t sector[512], SectorZero* out) {
  std::memmove(out->bytes, sector, sizeof out->bytes);
  const uint8_t* s = out->bytes;
  out->boot = ClassifyBootSector(s);
  out->endMark = s[510] == 0x55 && s[511] == 0xAA;
  out->fields = ReadFields(s);
  out->fault = BootFault::kNone;
  bool tableShape = out->endMark, protective = false;
  for (unsigned i = 0; i < 4; ++i) {
    const uint8_t* e = s + kTableOffset + 16 * i;
    TableEntryView& v = out->entries[i];
    v.status = e[0];
    v.type = e[4];
    v.firstLba = ReadLe32(e + 8);
    v.sectorCount = ReadLe32(e + 12);
    if (v.status != 0 && v.status != 0x80) tableShape = false;
    if (v.type == kGptProtectiveType) protective = true;
  }

  switch (out->boot) {
    case BootKind::Unknown:
      out->kind = !tableShape ? SectorZeroKind::kUnknown
                  : protective ? SectorZeroKind::kGptProtective
                               : SectorZeroKind::kMbr;
      return;
    case BootKind::Ntfs:
      out->kind = SectorZeroKind::kNtfs;
      break;
    case BootKind::Fat32:
      out->kind = SectorZeroKind::kFat32;
      break;
    case BootKind::Fat16:
      out->kind = SectorZeroKind::kFat16;
      break;
  }
  BootFields& f = out->fields;
  f.sectorsPerCluster = ClusterSectors(out->boot, f.clusterByte);
  f.totalSectors = BootSectorTotalSectors(s);
  out->fault = JudgeBootFields(out->boot, &f);
  // FAT12 and FAT16 share the signature; the format tells them apart by the
  // number of clusters.
  if (out->boot == BootKind::Fat16 && out->fault == BootFault::kNone && f.clusterCount < kFat12Clusters)
    out->kind = SectorZeroKind::kFat12;
}

namespace {

// The judge of a sector read (rc 0), or the failure: failedState when the
// read failed, kCannotOpen for the raw layer's -1 when it says so.
bool Finish(int rc, SourceState failedState, const uint8_t* sector, SectorZero* out) {
  out->readResult = rc;
  if (rc == 0) {
    out->state = SourceState::kScanned;
    out->systemError = 0;
    out->deviceError = 0;
    JudgeSectorZero(sector, out);
    return true;
  }
  out->systemError = GetLastError();
  out->deviceError = LastDeviceError();
  out->state = failedState;
  static const uint8_t kZeros[512] = {};
  JudgeSectorZero(kZeros, out);
  return false;
}

SourceState OwnHandleFailure(int rc) { return rc == -2 ? SourceState::kCannotRead : SourceState::kCannotOpen; }

}  // namespace

HANDLE OpenVolumeSectorZero(int driveIndex, SectorZero* out) {
  HANDLE volume = OpenVolume(driveIndex);
  if (!volume) {
    Finish(-1, SourceState::kCannotOpen, nullptr, out);
    return nullptr;
  }
  ReadVolumeSectorZero(driveIndex, volume, out);
  return volume;
}

bool ReadVolumeSectorZero(int driveIndex, HANDLE volume, SectorZero* out) {
  uint8_t sector[512];
  const int rc = ReadVolumeSectors(driveIndex, 0, 1, sector, volume);
  return Finish(rc, SourceState::kCannotRead, sector, out);
}

bool ReadVolumeSectorZeroOnce(int driveIndex, SectorZero* out) {
  uint8_t sector[512];
  const int rc = ReadVolumeSectorsByIndex(driveIndex, 0, 1, sector);
  return Finish(rc, OwnHandleFailure(rc), sector, out);
}

bool ReadDiskSectorZero(const char* path, SectorZero* out) {
  uint8_t sector[512];
  const int rc = ReadDiskSectors(path, 0, 1, sector);
  return Finish(rc, OwnHandleFailure(rc), sector, out);
}

bool OpenDiskSectorZero(const char* path, SectorZero* out) {
  if (OpenDiskHandle(path) != 0) return Finish(-1, SourceState::kCannotOpen, nullptr, out);
  uint8_t sector[512];
  const int rc = ReadOpenDisk(path, 0, 1, sector);
  return Finish(rc, SourceState::kCannotRead, sector, out);
}
