#include "copyout/recover.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "copyout/output.h"
#include "disk/raw.h"
#include "fat/fat_copy.h"
#include "fat/fat_volume.h"
#include "messages.h"
#include "ntfs/ntfs_copy.h"
#include "ntfs/ntfs_scan.h"
#include "state.h"
#include "volume/boot.h"

std::atomic<uint32_t> gRecoverFailedFiles{0};

namespace {

// What the copy-out knows of the volume the current records come from.
struct SourceVolume {
  int driveIndex = -1;
  HANDLE handle = nullptr;
  BootKind kind = BootKind::Unknown;
  FatGeometry fat;
  uint32_t ntfsSectorsPerCluster = 0;

  bool Open(int index) {
    Close();
    driveIndex = index;
    handle = OpenVolume(index);
    if (!handle) return false;
    uint8_t boot[512];
    kind = BootKind::Unknown;
    if (ReadVolumeSectors(index, 0, 1, boot, handle) != 0) return true;
    kind = ClassifyBootSector(boot);
    if ((kind == BootKind::Fat16 || kind == BootKind::Fat32) && !ParseFatBootSector(boot, &fat))
      kind = BootKind::Unknown;
    if (kind == BootKind::Ntfs) {
      // Values above 0x80 give the cluster size as a negative power of two.
      uint8_t v = boot[13];
      ntfsSectorsPerCluster = v <= 0x80 ? v : (256 - v <= 20 ? 1u << (256 - v) : 0);
      if (ntfsSectorsPerCluster == 0) kind = BootKind::Unknown;
    }
    return true;
  }
  void Close() {
    CloseVolume(handle);
    handle = nullptr;
  }
};

// The progress texts: where the file was on the scanned volume, and where it goes.
void SendProgress(HWND window, const DeletedFileRecord& r, const char* destination) {
  if (!window) return;
  RecoverProgressBlock block;
  std::memset(&block, 0, sizeof block);
  std::string source(gScanTarget, strnlen(gScanTarget, sizeof gScanTarget));
  if (source.empty()) source = "C:";
  source[0] = static_cast<char>('C' + r.driveIndex);
  while (source.size() > 2 && source.back() == '\\') source.pop_back();
  std::string dest = destination;
  while (dest.size() > 2 && dest.back() == '\\') dest.pop_back();
  std::snprintf(block.source, sizeof block.source, "%s%s", source.c_str(), r.path);
  std::snprintf(block.destination, sizeof block.destination, "%s%s", dest.c_str(), r.path);
  SendMessageA(window, WM_DELSCAN_PROGRESS, 0, reinterpret_cast<LPARAM>(&block));
}

int CopyOne(SourceVolume& v, const DeletedFileRecord& r, size_t index, const char* destination) {
  char path[sizeof r.path];
  std::memcpy(path, r.path, sizeof path);
  path[sizeof path - 1] = 0;
  switch (v.kind) {
    case BootKind::Ntfs: {
      // The record must still hold the file the scan saw.
      const NtfsScannedIdentity scanned = ScannedNtfsIdentity(index);
      return CopyOutNtfsFile(destination, v.driveIndex, v.handle, r.location, v.ntfsSectorsPerCluster, path,
                             &scanned);
    }
    case BootKind::Fat16:
    case BootKind::Fat32:
      // Only the start of a cluster of the data area can be where a file begins.
      if (r.size != 0 && v.fat.SectorToCluster(r.location) == 0) return -1;
      if (v.kind == BootKind::Fat32)
        return CopyOutFat32File(destination, v.driveIndex, v.handle, r.location, v.fat.sectorsPerCluster, path,
                                r.size);
      return CopyOutFat16File(destination, v.driveIndex, v.handle, r.location, v.fat.sectorsPerCluster, path,
                              r.size);
    case BootKind::Unknown:
      break;
  }
  return kCopyNotStarted;   // not a file system we read: skipped
}

}  // namespace

int RecoverSelectedFiles(HWND window, const char* destination) {
  gRecoverAbort = 0;
  gRecoveredSectors = 0;
  gRecoverFailedFiles = 0;
  gRecoverDamagedFiles = 0;
  size_t count;
  {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    count = gDeletedFiles.size();
  }
  if (count == 0 || !destination) return -1;
  // Writing to the scanned volume would overwrite the very data being saved.
  char destDrive = static_cast<char>(destination[0] & 0xDF);
  int result = -1;
  SourceVolume volume;
  for (size_t i = 0; i < count && gRecoverAbort.load() == 0; ++i) {
    DeletedFileRecord r;
    {
      std::lock_guard<std::mutex> lock(gDeletedFilesLock);
      if (i >= gDeletedFiles.size()) break;
      r = gDeletedFiles[i];
    }
    if (!r.selected) continue;
    SendProgress(window, r, destination);
    if (r.driveIndex != volume.driveIndex) {
      if (!volume.Open(r.driveIndex)) break;
    }
    int rc;
    if (destDrive == 'C' + r.driveIndex) {
      rc = -2;
    } else {
      rc = CopyOne(volume, r, i, destination);
      // Skipped, or the stop came between the announcement and the copy:
      // nothing was written, so the file is neither recovered nor failed.
      if (rc == kCopyNotStarted) continue;
    }
    ++gFileCounter;
    result = rc;
    if (rc == kCopyDamaged)
      ++gRecoverDamagedFiles;
    else if (rc != 0)
      ++gRecoverFailedFiles;
  }
  volume.Close();
  return result;
}

DWORD WINAPI RecoverDeletedFilesThreadProc(LPVOID param) {
  const RecoverRequest* request = static_cast<const RecoverRequest*>(param);
  HWND window = request ? request->window : nullptr;
  char destination[512] = {};
  if (request) std::memcpy(destination, request->destination, sizeof destination - 1);
  int result = RecoverSelectedFiles(window, destination);
  if (window) SendMessageA(window, WM_RECOVER_DONE, 0, 0);
  return static_cast<DWORD>(result);
}
