#include "deleted/delscan.h"

#include <cstring>

#include "disk/raw.h"
#include "fat/fat_scan.h"
#include "messages.h"
#include "ntfs/ntfs_scan.h"
#include "state.h"
#include "volume/boot.h"

namespace {

// Runs the scan of the volume's file system; what the scan gives besides
// "scanned" becomes the report.
SourceReport ScanVolume(int driveIndex, const char* target, const uint8_t* boot, HWND window) {
  SourceReport report = JudgeBootSector(boot, driveIndex);
  if (report.Failed()) return report;
  ClearDeviceError();
  int rc = -1;
  switch (ClassifyBootSector(boot)) {
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
    uint8_t boot[kSectorSize];
    gDelScanFsKind = 2;
    if (driveIndex < 0 || driveIndex > 23) {
      report = VolumeFailure(SourceState::kCannotOpen, -1, ERROR_INVALID_DRIVE);
    } else {
      ClearDeviceError();
      // -1: the volume could not be opened; -2: it opened, but its boot
      // sector could not be read.
      const int rc = ReadVolumeSectorsByIndex(driveIndex, 0, 1, boot);
      if (rc == 0)
        report = ScanVolume(driveIndex, target, boot, request.window);
      else
        report = VolumeFailure(rc == -2 ? SourceState::kCannotRead : SourceState::kCannotOpen, driveIndex,
                               LastDeviceError());
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
