#include "unformat/unformat.h"

#include <cstring>
#include <string>

#include "disk/raw.h"
#include "messages.h"
#include "progress/progress_gate.h"
#include "records/records.h"
#include "state.h"
#include "unformat/unformat_internal.h"
#include "volume/boot.h"
#include "volume/sector_zero.h"

HWND gUnformatWindow = nullptr;
DWORD gUnformatError = 0;
const char kUnformatStartText[] = "正在计算分区的簇大小";
UnformatNtfsSource gUnformatNtfsSource;

namespace unformat {

namespace {

// A message per file found, or per block read, costs more than the scan's own
// work: the page hears of the newest file (with the count so far) and of the
// position at most every gate interval, and of the last of each when the
// scan ends (FlushProgress). One scan runs at a time, on one worker.
ProgressGate gPathGate, gPositionGate;
std::string gHeldPath;
bool gPathHeld = false;
uint32_t gFilesFound = 0;
uint32_t gHeldTotal = 0, gHeldPosition = 0;
bool gPositionHeld = false;

}  // namespace

void SendPath(const char* text) {
  HWND w = gUnformatWindow;
  if (!w || !text) return;
  if (std::strcmp(text, kUnformatStartText) == 0) {
    // A scan begins: its status text always goes through.
    gFilesFound = 0;
    gPathHeld = gPositionHeld = false;
    gPathGate.Reset();
    gPositionGate.Reset();
    SendMessageA(w, WM_UNFORMAT_PATH, 0, reinterpret_cast<LPARAM>(text));
    return;
  }
  ++gFilesFound;
  gHeldPath = text;
  gPathHeld = true;
  if (gPathGate.Due()) {
    gPathHeld = false;
    SendMessageA(w, WM_UNFORMAT_PATH, gFilesFound, reinterpret_cast<LPARAM>(gHeldPath.c_str()));
  }
}

void SendProgress(uint64_t total, uint64_t position) {
  HWND w = gUnformatWindow;
  if (!w) return;
  if (position > total) position = total;
  while (total > 0xFFFFFFFFull) {
    total >>= 1;
    position >>= 1;
  }
  gHeldTotal = static_cast<uint32_t>(total);
  gHeldPosition = static_cast<uint32_t>(position);
  gPositionHeld = true;
  if (gPositionGate.Due()) {
    gPositionHeld = false;
    SendMessageA(w, WM_UNFORMAT_PROGRESS, gHeldTotal, static_cast<LPARAM>(gHeldPosition));
  }
}

void FlushProgress() {
  HWND w = gUnformatWindow;
  if (!w) return;
  if (gPositionHeld) SendMessageA(w, WM_UNFORMAT_PROGRESS, gHeldTotal, static_cast<LPARAM>(gHeldPosition));
  if (gPathHeld) SendMessageA(w, WM_UNFORMAT_PATH, gFilesFound, reinterpret_cast<LPARAM>(gHeldPath.c_str()));
  gPathHeld = gPositionHeld = false;
}

int Unreadable(DWORD systemError) {
  gUnformatError = systemError;
  return kUnformatCannotRead;
}

uint64_t ScanExtent(HANDLE volume, uint64_t bootTotal) {
  const uint64_t device = GetDeviceSectorCount(volume);
  return device ? device : bootTotal;
}

}  // namespace unformat

void ClearUnformatResults() {
  gUnformatFat16Files.clear();
  gUnformatFat16Files.shrink_to_fit();
  gUnformatFat32Files.clear();
  gUnformatFat32Files.shrink_to_fit();
  gUnformatNtfsFiles.clear();
  gUnformatNtfsFiles.shrink_to_fit();
}

int DetectVolumeFileSystem(int driveIndex, uint64_t* totalSectors) {
  if (totalSectors) *totalSectors = 0;
  SectorZero zero;
  HANDLE volume = OpenVolumeSectorZero(driveIndex, &zero);
  if (!volume) return unformat::Unreadable(zero.systemError);
  CloseVolume(volume);
  if (!zero.read()) return unformat::Unreadable(zero.systemError);
  int kind = 3;
  switch (zero.boot) {
    case BootKind::Fat16:
      kind = 2;
      break;
    case BootKind::Fat32:
      kind = 1;
      break;
    case BootKind::Ntfs:
      kind = 0;
      break;
    case BootKind::Unknown:
      break;
  }
  if (totalSectors) *totalSectors = zero.fields.totalSectors;
  return kind;
}

int RunUnformatScan(int kind, int driveIndex, HWND window) {
  gUnformatWindow = window;
  gUnformatError = 0;
  if (kind == kUnformatDetect) {
    kind = DetectVolumeFileSystem(driveIndex, nullptr);
    if (kind < 0) return kUnformatCannotRead;
    if (kind > 2) return kUnformatNotSupported;
  }
  if (kind < kUnformatNtfs || kind > kUnformatFat16) return kUnformatScanned;
  // A volume that cannot even be opened is not scanned: its error is the
  // answer, whatever the file system.
  SectorZero zero;
  HANDLE probe = OpenVolumeSectorZero(driveIndex, &zero);
  if (!probe) return unformat::Unreadable(zero.systemError);
  CloseVolume(probe);
  // The scans count in 512-byte sectors: a FAT or NTFS boot sector that names
  // another size (the new one of a quick format names the disk's) would have
  // them list files at the wrong places. Such a volume is refused.
  if (zero.read() && zero.IsBootSector() && zero.fields.bytesPerSector != kSectorSize) {
    gUnformatError = zero.fields.bytesPerSector;
    return kUnformatOtherSectorSize;
  }
  int rc;
  switch (kind) {
    case kUnformatNtfs:
      rc = ScanNtfsUnformat(driveIndex);
      break;
    case kUnformatFat32:
      rc = ScanFatUnformat(true, driveIndex);
      break;
    case kUnformatFat16:
      rc = ScanFatUnformat(false, driveIndex);
      break;
    default:
      return kUnformatScanned;
  }
  unformat::FlushProgress();
  return rc == -1 ? kUnformatCannotRead : kUnformatScanned;
}
