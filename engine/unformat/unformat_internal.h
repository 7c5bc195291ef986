// Helpers shared by the FAT and NTFS unformat scans.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "state.h"

namespace unformat {

// Either stop request.
inline bool StopRequested() { return gUnformatAbort.load() == 1 || gScanAbort.load() == 1; }

// WM_UNFORMAT_PATH to gUnformatWindow (sent: the text is the caller's); for
// a file's path wParam is the number of files found so far. Paths and
// positions go out at most every progress-gate interval; the start text
// always does.
void SendPath(const char* text);
// WM_UNFORMAT_PROGRESS to gUnformatWindow, scaled to 32 bits when needed.
void SendProgress(uint64_t total, uint64_t position);
// Sends the last path and position the gate held back (the end of a scan).
void FlushProgress();

// The number of sectors to scan: the device's size when it is known (the old
// file system may have been larger than the new one says), else the boot
// sector's.
uint64_t ScanExtent(HANDLE volume, uint64_t bootTotal);

// Records why the volume could not be read (gUnformatError) and gives
// kUnformatCannotRead.
int Unreadable(DWORD systemError);

// --- the FAT scan's pieces, exposed for the tests ---------------------------

// A sector that begins like the first sector of a folder, and the cluster its
// "." entry names.
struct FolderStart {
  uint64_t sector;
  uint32_t cluster;
};
// A FAT boot sector met inside the volume (a volume image kept as a file):
// its own cluster size and where its cluster 2 lies on the scanned volume.
struct FatVolumeImage {
  uint64_t sector;
  uint32_t sectorsPerCluster;
  uint64_t firstDataSector;
};

// The old geometry from the folder starts of a whole volume: for every cluster
// size, the folder starts vote for where it puts cluster 2; the place with the
// most votes wins, when at least two agree on it, it lies where a FAT
// volume's data area can begin (not past its largest FATs) and it is not the
// geometry of a volume image inside the volume. A tie is no answer (false),
// unless one of the tied is the geometry of the file system the format wrote
// (current, may be null): a quick format with the old settings keeps it.
bool ChooseFatGeometry(const std::vector<FolderStart>& folders, const std::vector<FatVolumeImage>& images,
                       const FatVolumeImage* current, bool fat32, uint64_t volumeSectors, uint32_t* sectorsPerCluster,
                       uint64_t* firstDataSector);

// Walks the listed folder starts that the geometry explains (cluster-aligned,
// "." naming their own cluster), in the order given, appending what they hold
// to the kind's vector. 0, -2 stopped.
int WalkFatUnformatFolders(bool fat32, int driveIndex, HANDLE volume, uint32_t sectorsPerCluster,
                           uint64_t firstDataSector, uint64_t volumeSectors, const std::vector<FolderStart>& folders);

}  // namespace unformat
