#include "ntfs/ntfs_copy.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "copyout/output.h"
#include "disk/raw.h"
#include "ntfs/ntfs_volume.h"
#include "state.h"

namespace {

constexpr size_t kChunkBytes = 1024 * 1024;

// The volume's geometry from its boot sector; when that cannot be read, the
// caller's cluster size with 1 KB records (enough to read one file's runs).
NtfsGeometry GeometryOf(HANDLE volume, int driveIndex, uint32_t sectorsPerCluster) {
  uint8_t boot[kSectorSize];
  NtfsGeometry g;
  if (ReadVolumeSectors(driveIndex, 0, 1, boot, volume) == 0 && ReadNtfsGeometry(boot, &g)) {
    ClampToDevice(&g, GetDeviceSectorCount(volume));
    return g;
  }
  g = NtfsGeometry();
  g.sectorsPerCluster = sectorsPerCluster ? sectorsPerCluster : 1;
  g.clusterBytes = g.sectorsPerCluster * kSectorSize;
  g.totalSectors = GetDeviceSectorCount(volume);
  g.totalClusters = g.totalSectors / g.sectorsPerCluster;
  return g;
}

}  // namespace

int CopyOutNtfsFile(const char* destination, int driveIndex, HANDLE volume, uint32_t mftRecordSector,
                    uint32_t sectorsPerCluster, const char* path) {
  if (!volume) return -1;
  if (gRecoverAbort.load() != 0) return kCopyNotStarted;
  NtfsVolume ntfs(volume, driveIndex, GeometryOf(volume, driveIndex, sectorsPerCluster));
  uint8_t record[kMftRecordBytes];
  if (!ntfs.ReadRecordAt(mftRecordSector, record)) return -1;
  if (RecordFlags(record) & kRecordIsFolder) return -1;
  // Everything the copy needs is known before the output is made, so a
  // record that cannot be read leaves no empty file behind.
  NtfsDataStream stream;
  if (!LocateUnnamedData(&ntfs, record, &stream)) return -1;

  int error = -2;
  HANDLE out = CreateOutputFile(path, destination, &error);
  if (!out) return -2;
  const int result = WriteNtfsStream(ntfs, stream, out);
  CloseHandle(out);
  return result;
}

int WriteNtfsStream(const NtfsVolume& volume, const NtfsDataStream& stream, HANDLE out) {
  int result = 0;
  if (stream.resident) {
    if (!stream.residentValue.empty() &&
        WriteRecoveredBytes(out, stream.residentValue.data(), static_cast<uint32_t>(stream.residentValue.size())) != 0)
      result = -2;
  } else {
    std::vector<uint8_t> chunk(kChunkBytes);
    NtfsDataReader reader(volume, stream);
    bool whole = stream.complete;
    // A size larger than the runs can hold is not the file's: only what the
    // runs map is written (holes included), and the copy is reported short.
    const uint64_t clusters = RunClusters(stream.runs), clusterBytes = volume.geometry().clusterBytes;
    const uint64_t mapped = clusters > UINT64_MAX / clusterBytes ? UINT64_MAX : clusters * clusterBytes;
    const uint64_t size = std::min(stream.realSize, mapped);
    if (size < stream.realSize) whole = false;
    for (uint64_t done = 0; done < size;) {
      if (gRecoverAbort.load() != 0) {
        result = -1;   // cancelled: what was written is a partial file
        break;
      }
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunkBytes, size - done));
      if (!reader.Read(done, n, chunk.data())) whole = false;
      if (WriteRecoveredBytes(out, chunk.data(), static_cast<uint32_t>(n)) != 0) {
        result = -2;
        break;
      }
      done += n;
    }
    // Clusters that could not be read were written as zeros: the file is
    // whole in length but not in content.
    if (result == 0 && !whole) result = -1;
  }
  return result;
}
