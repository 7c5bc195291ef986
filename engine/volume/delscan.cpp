#include "volume/delscan.h"

#include <cstring>

#include "disk/raw.h"
#include "fat/fat_scan.h"
#include "messages.h"
#include "ntfs/ntfs_scan.h"
#include "state.h"
#include "volume/boot.h"

int RunDeletedFileScan(const DeletedScanRequest& request) {
  gScanWindow = request.window;
  char target[512];
  std::memcpy(target, request.target, sizeof target);
  target[sizeof target - 1] = 0;
  int result = -1;
  if (target[0]) {
    std::memcpy(gScanTarget, target, sizeof gScanTarget);
    int driveIndex = target[0] - 'C';
    uint8_t boot[kSectorSize];
    if (driveIndex < 0 || driveIndex > 23 || ReadVolumeSectorsByIndex(driveIndex, 0, 1, boot) != 0) {
      gDelScanFsKind = 2;
    } else {
      switch (ClassifyBootSector(boot)) {
        case BootKind::Fat16:
          gDelScanFsKind = 2;
          gDelScanDriveIndex = static_cast<uint8_t>(driveIndex);
          Fat16DeletedScan(driveIndex, target, boot);
          result = 0;
          break;
        case BootKind::Fat32:
          gDelScanFsKind = 1;
          gDelScanDriveIndex = static_cast<uint8_t>(driveIndex);
          Fat32DeletedScan(driveIndex, target, boot);
          result = 0;
          break;
        case BootKind::Ntfs:
          gDelScanFsKind = 0;
          gDelScanDriveIndex = static_cast<uint8_t>(driveIndex);
          NtfsDeletedScan(driveIndex, target, boot, request.window);
          result = 0;
          break;
        case BootKind::Unknown:
          break;
      }
    }
  }
  gDelScanDone = 1;
  if (!request.recycleBin && request.window) SendMessageA(request.window, WM_DELSCAN_DONE, 0, 0);
  return result;
}

DWORD WINAPI DeletedFileScanThreadProc(LPVOID request) {
  return static_cast<DWORD>(RunDeletedFileScan(*static_cast<const DeletedScanRequest*>(request)));
}
