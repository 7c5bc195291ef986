#include "deleted/delscan.h"

#include <cstring>

#include "bytes.h"
#include "deleted/fat_scan.h"
#include "deleted/ntfs_scan.h"
#include "disk/raw.h"
#include "fat/fat_volume.h"
#include "messages.h"
#include "ntfs/ntfs_volume.h"
#include "state.h"
#include "volume/boot.h"
#include "volume/sector_zero.h"

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

namespace {

// Runs the scan of the volume's file system; what the scan gives besides
// "scanned" becomes the report.
SourceReport ScanVolume(int driveIndex, const char* target, const SectorZero& zero, HWND window) {
  const uint8_t* boot = zero.bytes;
  SourceReport report = JudgeBootSector(boot, driveIndex);
  if (report.Failed()) return report;
  ClearDeviceError();
  int rc = -1;
  switch (zero.boot) {
    case BootKind::Fat16:
      gDelScanFsKind = 2;
      gDelScanDriveIndex = static_cast<uint8_t>(driveIndex);
      rc = Fat16DeletedScan(driveIndex, target, boot);
      break;
    case BootKind::Fat32:
      gDelScanFsKind = 1;
      gDelScanDriveIndex = static_cast<uint8_t>(driveIndex);
      rc = Fat32DeletedScan(driveIndex, target, boot);
      break;
    case BootKind::Ntfs:
      gDelScanFsKind = 0;
      gDelScanDriveIndex = static_cast<uint8_t>(driveIndex);
      rc = NtfsDeletedScan(driveIndex, target, boot, window);
      break;
    case BootKind::Unknown:
      break;
  }
  if (rc == kScanCannotOpen) return VolumeFailure(SourceState::kCannotOpen, driveIndex, LastDeviceError());
  if (rc == kScanCannotRead) return VolumeFailure(SourceState::kCannotRead, driveIndex, LastDeviceError());
  // -1: the target folder is not on the volume, or the scan was stopped.
  return report;
}

}  // namespace

int RunDeletedFileScan(const DeletedScanRequest& request, SourceReport* out) {
  gScanWindow = request.window;
  char target[512];
  std::memcpy(target, request.target, sizeof target);
  target[sizeof target - 1] = 0;
  SourceReport report = VolumeFailure(SourceState::kCannotOpen, -1, ERROR_INVALID_DRIVE);
  if (target[0]) {
    std::memcpy(gScanTarget, target, sizeof gScanTarget);
    const int driveIndex = target[0] - 'C';
    gDelScanFsKind = 2;
    if (driveIndex < 0 || driveIndex > 23) {
      report = VolumeFailure(SourceState::kCannotOpen, -1, ERROR_INVALID_DRIVE);
    } else {
      ClearDeviceError();
      SectorZero zero;
      if (ReadVolumeSectorZeroOnce(driveIndex, &zero))
        report = ScanVolume(driveIndex, target, zero, request.window);
      else
        report = VolumeFailure(zero.state, driveIndex, zero.deviceError);
    }
  }
  if (out) *out = report;
  gDelScanDone = 1;
  if (!request.recycleBin && request.window) SendMessageA(request.window, WM_DELSCAN_DONE, 0, 0);
  return report.Failed() ? -1 : 0;
}

DWORD WINAPI DeletedFileScanThreadProc(LPVOID request) {
  return static_cast<DWORD>(RunDeletedFileScan(*static_cast<const DeletedScanRequest*>(request)));
}
