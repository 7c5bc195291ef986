#include "copyout/fat_copy.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "copyout/output.h"
#include "disk/raw.h"
#include "fat/fat_volume.h"
#include "state.h"
#include "volume/sector_zero.h"

namespace {

constexpr uint32_t kCopyChunkBytes = 1 << 20;   // read and written 1 MB at a time

// Reads count sectors; when the whole read fails, as many sectors as can be
// read one by one from the start. Returns the sectors in buffer.
uint32_t ReadSalvaging(int driveIndex, HANDLE volume, uint64_t sector, uint32_t count, uint8_t* buffer) {
  if (ReadVolumeSectors(driveIndex, sector, count, buffer, volume) == 0) return count;
  uint32_t got = 0;
  while (got < count && ReadVolumeSectors(driveIndex, sector + got, 1, buffer + static_cast<size_t>(got) * 512,
                                          volume) == 0)
    ++got;
  return got;
}

}  // namespace

uint32_t DeletedClusterWalk::Next() {
  const FatGeometry& g = volume_.geometry();
  if (last_ == 0) {
    last_ = g.IsValidCluster(first_) ? first_ : g.maxCluster();
    return g.IsValidCluster(first_) ? first_ : 0;
  }
  uint32_t value = 0;
  while (last_ < g.maxCluster()) {
    ++last_;
    if (!volume_.FatEntry(last_, &value) || value == 0) return last_;
  }
  return 0;
}

template <typename Next>
int DeletedFatCopier::WriteClusters(Next nextCluster, uint64_t size, HANDLE out, bool* ranOut) {
  const FatGeometry& g = volume_.geometry();
  const uint64_t clusterBytes = g.clusterBytes();
  const uint64_t maxRun = std::max<uint64_t>(1, kCopyChunkBytes / clusterBytes);
  if (buffer_.size() < maxRun * clusterBytes) buffer_.resize(static_cast<size_t>(maxRun * clusterBytes));
  *ranOut = false;
  uint64_t remaining = size;
  uint32_t next = nextCluster();
  while (remaining > 0) {
    if (gRecoverAbort.load() != 0) return -3;
    if (next == 0) {
      *ranOut = true;
      return 0;
    }
    // A run of consecutive clusters, read at once. Clusters are asked for
    // only while the file still needs them: past its end the FAT is not
    // searched.
    const uint32_t start = next;
    uint64_t run = 1;
    bool haveNext = false;
    while (run < maxRun && run * clusterBytes < remaining) {
      const uint32_t c = nextCluster();
      if (c != 0 && c == start + run) {
        ++run;
        continue;
      }
      next = c;
      haveNext = true;
      break;
    }
    const uint64_t runBytes = std::min<uint64_t>(remaining, run * clusterBytes);
    const uint32_t sectors = static_cast<uint32_t>((runBytes + 511) / 512);
    const uint32_t got = ReadSalvaging(volume_.driveIndex(), volume_.handle(), g.ClusterToSector(start), sectors,
                                       buffer_.data());
    const uint64_t bytes = std::min<uint64_t>(runBytes, static_cast<uint64_t>(got) * 512);
    if (bytes > 0 && WriteRecoveredBytes(out, buffer_.data(), static_cast<uint32_t>(bytes)) != 0) return -2;
    if (got < sectors) return -1;
    remaining -= bytes;
    if (!haveNext && remaining > 0) next = nextCluster();
  }
  return 0;
}

int DeletedFatCopier::Check(const FatGeometry& g, uint64_t firstDataSector, uint64_t size) {
  if (gRecoverAbort.load() != 0) return kCopyNotStarted;
  // Only the start of a cluster of the data area can be where a file begins.
  if (size != 0 && g.SectorToCluster(firstDataSector) == 0) return -1;
  return 0;
}

int DeletedFatCopier::Start(const char* destination, const FatGeometry& g, uint64_t firstDataSector,
                            const char* path, uint64_t size, OutputFile* out) {
  const int checked = Check(g, firstDataSector, size);
  if (checked != 0) return checked;
  int error = 0;
  return out->Create(path, destination, &error) ? 0 : -2;
}

int DeletedFatCopier::Finish(OutputFile* out, uint64_t firstDataSector, uint64_t size, bool scanSawDamage) {
  if (gRecoverAbort.load() != 0) {
    out->Discard();
    return kCopyNotStarted;
  }
  const uint32_t first = volume_.geometry().SectorToCluster(firstDataSector);
  if (size != 0 && first == 0) {
    out->Discard();
    return -1;
  }
  bool damaged = scanSawDamage && size != 0;
  std::vector<uint32_t> chain;
  uint32_t value = 0;
  if (size != 0 && volume_.FatEntry(first, &value) && value != 0) {
    // Allocated: the file's own intact chain (a file left in use in a
    // deleted folder), or another file's cluster now.
    if (!scanSawDamage) chain = volume_.WholeChain(first, size);
    if (chain.empty()) damaged = true;
  }
  bool ranOut = false;
  int result = 0;
  if (size != 0 && !chain.empty()) {
    size_t at = 0;
    result = WriteClusters([&] { return at < chain.size() ? chain[at++] : 0u; }, size, out->handle(), &ranOut);
  } else if (size != 0) {
    DeletedClusterWalk walk(volume_, first);
    result = WriteClusters([&] { return walk.Next(); }, size, out->handle(), &ranOut);
  }
  // Cut short by the destination or by the stop: removed (its data is still
  // on the source). Cut short by the source: kept, it may be all there is.
  if (result == -2 || result == -3) {
    out->Discard();
    return result == -2 ? -2 : -1;
  }
  // The chain gives exactly the file's size, or the copy is not whole.
  if (result == 0 && !ranOut && !OutputHasSize(out->handle(), size)) result = -1;
  out->Keep();
  if (result != 0) return result;
  return damaged || ranOut ? kCopyDamaged : 0;
}

int DeletedFatCopier::Copy(const char* destination, uint64_t firstDataSector, const char* path, uint64_t size,
                           bool scanSawDamage) {
  OutputFile out;
  const int started = Start(destination, volume_.geometry(), firstDataSector, path, size, &out);
  if (started != 0) return started;
  return Finish(&out, firstDataSector, size, scanSawDamage);
}

namespace {

int CopyWithBootGeometry(const char* destination, int driveIndex, HANDLE volume, uint64_t firstDataSector,
                         uint32_t sectorsPerCluster, const char* path, uint32_t size) {
  if (gRecoverAbort.load() != 0) return kCopyNotStarted;
  if (!volume) return -1;
  SectorZero zero;
  FatGeometry g;
  if (!ReadVolumeSectorZero(driveIndex, volume, &zero) || !ParseFatBootSector(zero.bytes, &g) ||
      g.sectorsPerCluster != sectorsPerCluster)
    return -1;
  FatVolume fat(volume, driveIndex, g);
  return DeletedFatCopier(fat).Copy(destination, firstDataSector, path, size);
}

}  // namespace

int CopyOutFat16File(const char* destination, int driveIndex, HANDLE volume, uint64_t firstDataSector,
                     uint32_t sectorsPerCluster, const char* path, uint32_t size) {
  return CopyWithBootGeometry(destination, driveIndex, volume, firstDataSector, sectorsPerCluster, path, size);
}

int CopyOutFat32File(const char* destination, int driveIndex, HANDLE volume, uint64_t firstDataSector,
                     uint32_t sectorsPerCluster, const char* path, uint32_t size) {
  return CopyWithBootGeometry(destination, driveIndex, volume, firstDataSector, sectorsPerCluster, path, size);
}

int WriteContiguousSectors(int driveIndex, HANDLE volume, uint64_t sector, uint32_t sectorsPerCluster, uint32_t size,
                           HANDLE out) {
  if (!volume || sectorsPerCluster == 0) return -1;
  uint64_t clusterBytes = static_cast<uint64_t>(sectorsPerCluster) * 512;
  uint64_t whole = (size + clusterBytes - 1) / clusterBytes * clusterBytes;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(kCopyChunkBytes, whole)));
  const uint32_t chunkSectors = static_cast<uint32_t>(buffer.size() / 512);
  uint32_t remaining = size;
  while (remaining > 0) {
    if (gRecoverAbort.load() != 0) return -1;
    uint32_t wantSectors =
        static_cast<uint32_t>(std::min<uint64_t>(chunkSectors, (static_cast<uint64_t>(remaining) + 511) / 512));
    uint32_t gotSectors = ReadSalvaging(driveIndex, volume, sector, wantSectors, buffer.data());
    uint32_t bytes = std::min<uint32_t>(remaining, gotSectors * 512);
    if (bytes > 0 && WriteRecoveredBytes(out, buffer.data(), bytes) != 0) return -2;
    if (gotSectors < wantSectors) return -1;
    remaining -= bytes;
    sector += wantSectors;
  }
  return 0;
}
