#include "source_report.h"

#include "bytes.h"
#include "fat/fat_volume.h"
#include "ntfs/ntfs_volume.h"
#include "state.h"
#include "volume/boot.h"

SourceReport VolumeFailure(SourceState state, int driveIndex, uint32_t error) {
  SourceReport r;
  r.state = state;
  r.error = error;
  r.driveIndex = driveIndex;
  return r;
}

SourceReport DiskFailure(SourceState state, int disk, uint32_t error) {
  SourceReport r;
  r.state = state;
  r.error = error;
  r.disk = disk;
  return r;
}

namespace {

// The record size an NTFS boot sector names: clusters per record, or (a
// negative byte) a power of two in bytes; 0 when the field is nonsense.
uint32_t NtfsRecordBytes(const uint8_t boot[512]) {
  const uint32_t spc = boot[13];
  const int8_t perRecord = static_cast<int8_t>(boot[0x40]);
  if (perRecord > 0 && spc > 0 && spc <= 0x80) return static_cast<uint32_t>(perRecord) * spc * 512u;
  if (perRecord < 0 && perRecord >= -31) return 1u << -perRecord;
  return 0;
}

}  // namespace

SourceReport JudgeBootSector(const uint8_t boot[512], int driveIndex) {
  SourceReport r;
  r.driveIndex = driveIndex;
  const BootKind kind = ClassifyBootSector(boot);
  if (kind == BootKind::Unknown) {
    r.state = SourceState::kUnsupported;
    r.reason = Unsupported::kUnknownFileSystem;
    return r;
  }
  const uint32_t sectorBytes = ReadLe16(boot + 11);
  if (sectorBytes != kSectorSize) {
    r.state = SourceState::kUnsupported;
    r.reason = sectorBytes ? Unsupported::kOtherSectorSize : Unsupported::kDamagedBootSector;
    r.value = sectorBytes;
    return r;
  }
  if (kind == BootKind::Ntfs) {
    NtfsGeometry g;
    if (ReadNtfsGeometry(boot, &g)) return r;
    const uint32_t recordBytes = NtfsRecordBytes(boot);
    r.state = SourceState::kUnsupported;
    if (recordBytes && recordBytes != kMftRecordBytes) {
      r.reason = Unsupported::kOtherRecordSize;
      r.value = recordBytes;
    } else {
      r.reason = Unsupported::kDamagedBootSector;
    }
    return r;
  }
  FatGeometry g;
  if (ParseFatBootSector(boot, &g)) return r;
  r.state = SourceState::kUnsupported;
  r.reason = Unsupported::kDamagedBootSector;
  return r;
}
