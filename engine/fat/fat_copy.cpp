#include "fat/fat_copy.h"

#include <algorithm>
#include <string>
#include <vector>

#include "copyout/output.h"
#include "disk/raw.h"
#include "state.h"

namespace {

constexpr uint32_t kCopyChunkBytes = 1 << 20;   // read and written 1 MB at a time

int CopyContiguousRun(const char* destination, int driveIndex, HANDLE volume, uint64_t sector,
                      uint32_t sectorsPerCluster, const char* path, uint32_t size) {
  if (gRecoverAbort.load() != 0) return kCopyNotStarted;
  if (!volume || sectorsPerCluster == 0) return -1;
  int error = 0;
  std::string outPath;
  HANDLE out = CreateOutputFile(path, destination, &error, &outPath);
  if (!out) return -2;
  const int result = WriteContiguousSectors(driveIndex, volume, sector, sectorsPerCluster, size, out);
  CloseHandle(out);
  // A file cut short by the destination is removed: its data is still on the
  // source, and a truncated copy must not pass for the file. A file cut short
  // by the source keeps what was read: that may be all there is.
  if (result == -2) DeleteFileA(outPath.c_str());
  return result;
}

}  // namespace

int WriteContiguousSectors(int driveIndex, HANDLE volume, uint64_t sector, uint32_t sectorsPerCluster, uint32_t size,
                           HANDLE out) {
  if (!volume || sectorsPerCluster == 0) return -1;
  uint64_t clusterBytes = static_cast<uint64_t>(sectorsPerCluster) * 512;
  uint64_t whole = (size + clusterBytes - 1) / clusterBytes * clusterBytes;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(kCopyChunkBytes, whole)));
  const uint32_t chunkSectors = static_cast<uint32_t>(buffer.size() / 512);
  uint32_t remaining = size;
  int result = 0;
  while (remaining > 0) {
    if (gRecoverAbort.load() != 0) {
      result = -1;
      break;
    }
    uint32_t wantSectors =
        static_cast<uint32_t>(std::min<uint64_t>(chunkSectors, (static_cast<uint64_t>(remaining) + 511) / 512));
    uint32_t gotSectors = wantSectors;
    if (ReadVolumeSectors(driveIndex, sector, wantSectors, buffer.data(), volume) != 0) {
      // Keep what can be read, up to the first sector that cannot.
      gotSectors = 0;
      while (gotSectors < wantSectors &&
             ReadVolumeSectors(driveIndex, sector + gotSectors, 1, buffer.data() + gotSectors * 512, volume) == 0)
        ++gotSectors;
      result = -1;
    }
    uint32_t bytes = std::min<uint32_t>(remaining, gotSectors * 512);
    if (bytes > 0) {
      int w = WriteRecoveredBytes(out, buffer.data(), bytes);
      if (w != 0) {
        result = -2;
        break;
      }
    }
    if (result != 0) break;
    remaining -= bytes;
    sector += wantSectors;
  }
  return result;
}

int CopyOutFat16File(const char* destination, int driveIndex, HANDLE volume, uint32_t firstDataSector,
                     uint32_t sectorsPerCluster, const char* path, uint32_t size) {
  return CopyContiguousRun(destination, driveIndex, volume, firstDataSector, sectorsPerCluster, path, size);
}

int CopyOutFat32File(const char* destination, int driveIndex, HANDLE volume, uint32_t firstDataSector,
                     uint32_t sectorsPerCluster, const char* path, uint32_t size) {
  return CopyContiguousRun(destination, driveIndex, volume, firstDataSector, sectorsPerCluster, path, size);
}
