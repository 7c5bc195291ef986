#include "fat/fat_volume.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "bytes.h"
#include "disk/block_read.h"
#include "disk/raw.h"
#include "volume/boot.h"

namespace {

constexpr uint32_t kFatBlockSectors = 128;   // FAT read and cached 64 KB at a time
constexpr size_t kFatCacheBlocks = 16;
constexpr uint32_t kMaxReadSectors = 2048;   // 1 MB per read of data clusters

bool IsPowerOfTwo(uint32_t v) { return v && !(v & (v - 1)); }

}  // namespace

uint32_t FatGeometry::SectorToCluster(uint64_t sector) const {
  if (sector < dataStartSector || sectorsPerCluster == 0) return 0;
  uint64_t rel = sector - dataStartSector;
  if (rel % sectorsPerCluster) return 0;
  uint64_t cluster = rel / sectorsPerCluster + 2;
  return cluster <= maxCluster() ? static_cast<uint32_t>(cluster) : 0;
}

bool ParseFatBootSector(const uint8_t boot[512], FatGeometry* out) {
  BootKind kind = ClassifyBootSector(boot);
  if (kind != BootKind::Fat16 && kind != BootKind::Fat32) return false;
  FatGeometry g;
  if (ReadLe16(boot + 11) != 512) return false;
  g.sectorsPerCluster = boot[13];
  if (!IsPowerOfTwo(g.sectorsPerCluster) || g.sectorsPerCluster > 128) return false;
  g.reservedSectors = ReadLe16(boot + 14);
  g.fatCount = boot[16];
  if (g.reservedSectors == 0 || g.fatCount == 0 || g.fatCount > 8) return false;
  uint32_t total16 = ReadLe16(boot + 19);
  g.totalSectors = total16 ? total16 : ReadLe32(boot + 32);
  uint64_t capacity;   // clusters the FAT has entries for, counting 0 and 1
  if (kind == BootKind::Fat16) {
    g.fatSectors = ReadLe16(boot + 22);
    g.rootEntries = ReadLe16(boot + 17);
    g.rootDirSectors = (g.rootEntries * 32 + 511) / 512;
  } else {
    g.fatSectors = ReadLe32(boot + 36);
    if (g.fatSectors == 0) g.fatSectors = ReadLe16(boot + 22);
    g.rootCluster = ReadLe32(boot + 44);
  }
  if (g.fatSectors == 0 || g.totalSectors == 0) return false;
  uint64_t rootDir = g.reservedSectors + static_cast<uint64_t>(g.fatCount) * g.fatSectors;
  uint64_t dataStart = rootDir + g.rootDirSectors;
  if (dataStart >= g.totalSectors || dataStart > 0xFFFFFFFFull) return false;
  g.rootDirSector = static_cast<uint32_t>(rootDir);
  g.dataStartSector = static_cast<uint32_t>(dataStart);
  uint64_t clusters = (g.totalSectors - dataStart) / g.sectorsPerCluster;
  if (kind == BootKind::Fat16) {
    g.type = clusters < 4085 ? FatType::kFat12 : FatType::kFat16;
    capacity = g.type == FatType::kFat12 ? static_cast<uint64_t>(g.fatSectors) * 512 * 2 / 3
                                         : static_cast<uint64_t>(g.fatSectors) * 256;
    clusters = std::min<uint64_t>(clusters, g.type == FatType::kFat12 ? 4084 : 65524);
  } else {
    g.type = FatType::kFat32;
    capacity = static_cast<uint64_t>(g.fatSectors) * 128;
    clusters = std::min<uint64_t>(clusters, 0x0FFFFFF5);
  }
  if (capacity <= 2) return false;
  // A FAT with fewer entries than the volume has clusters cannot belong to
  // it: the size field is not this file system's (a stale boot sector of an
  // earlier, smaller volume, a field written over). The last two clusters a
  // formatter's rounding may leave unmapped are let pass.
  if (capacity < clusters) return false;
  clusters = std::min<uint64_t>(clusters, capacity - 2);
  if (clusters == 0) return false;
  g.clusterCount = static_cast<uint32_t>(clusters);
  if (g.type == FatType::kFat32 && !g.IsValidCluster(g.rootCluster)) return false;
  *out = g;
  return true;
}

FatVolume::FatVolume(HANDLE volume, int driveIndex, const FatGeometry& geometry)
    : volume_(volume), driveIndex_(driveIndex), g_(geometry) {}

bool FatVolume::ReadSectors(uint64_t sector, uint32_t count, void* buffer) {
  if (count == 0) return true;
  return ReadVolumeSectors(driveIndex_, sector, count, buffer, volume_) == 0;
}

FatVolume::FatBlock* FatVolume::LoadBlock(uint32_t index) {
  for (FatBlock& b : cache_) {
    if (b.index == index) {
      b.lastUse = ++useClock_;
      return &b;
    }
  }
  uint64_t first = static_cast<uint64_t>(index) * kFatBlockSectors;
  if (first >= g_.fatSectors) return nullptr;
  uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kFatBlockSectors, g_.fatSectors - first));
  FatBlock* slot;
  if (cache_.size() < kFatCacheBlocks) {
    cache_.emplace_back();
    slot = &cache_.back();
  } else {
    slot = &*std::min_element(cache_.begin(), cache_.end(),
                              [](const FatBlock& a, const FatBlock& b) { return a.lastUse < b.lastUse; });
  }
  slot->index = index;
  slot->lastUse = ++useClock_;
  slot->bytes.assign(static_cast<size_t>(count) * 512, 0);
  // Salvage what can be read of a damaged FAT, one sector at a time.
  std::vector<uint8_t> bad;
  ReadBlockOrPieces([this](uint64_t at, uint32_t n, uint8_t* out) { return ReadSectors(at, n, out); },
                    g_.reservedSectors + first, count, 1, slot->bytes.data(), &bad);
  slot->sectorOk.resize(count);
  for (uint32_t i = 0; i < count; ++i) slot->sectorOk[i] = bad[i] ? 0 : 1;
  return slot;
}

bool FatVolume::FatByte(uint64_t offset, uint8_t* value) {
  uint64_t sector = offset / 512;
  if (sector >= g_.fatSectors) return false;
  FatBlock* b = LoadBlock(static_cast<uint32_t>(sector / kFatBlockSectors));
  if (!b) return false;
  uint32_t inBlock = static_cast<uint32_t>(sector % kFatBlockSectors);
  if (!b->sectorOk[inBlock]) return false;
  *value = b->bytes[static_cast<size_t>(inBlock) * 512 + offset % 512];
  return true;
}

bool FatVolume::FatEntry(uint32_t cluster, uint32_t* value) {
  uint8_t b[4];
  switch (g_.type) {
    case FatType::kFat12: {
      uint64_t off = cluster + static_cast<uint64_t>(cluster / 2);
      if (!FatByte(off, &b[0]) || !FatByte(off + 1, &b[1])) return false;
      uint32_t v = ReadLe16(b);
      *value = cluster & 1 ? v >> 4 : v & 0xFFF;
      return true;
    }
    case FatType::kFat16: {
      uint64_t off = static_cast<uint64_t>(cluster) * 2;
      if (!FatByte(off, &b[0]) || !FatByte(off + 1, &b[1])) return false;
      *value = ReadLe16(b);
      return true;
    }
    case FatType::kFat32: {
      uint64_t off = static_cast<uint64_t>(cluster) * 4;
      for (int i = 0; i < 4; ++i)
        if (!FatByte(off + i, &b[i])) return false;
      *value = ReadLe32(b) & 0x0FFFFFFF;
      return true;
    }
  }
  return false;
}

bool FatVolume::IsEndOfChain(uint32_t value) const {
  switch (g_.type) {
    case FatType::kFat12:
      return value >= 0xFF8;
    case FatType::kFat16:
      return value >= 0xFFF8;
    case FatType::kFat32:
      return value >= 0x0FFFFFF8;
  }
  return true;
}

std::vector<uint32_t> FatVolume::ReadChain(uint32_t start, uint32_t maxClusters) {
  std::vector<uint32_t> chain;
  if (!g_.IsValidCluster(start) || maxClusters == 0) return chain;
  std::unordered_set<uint32_t> seen;
  chain.push_back(start);
  seen.insert(start);
  uint32_t cur = start;
  while (chain.size() < maxClusters) {
    uint32_t next;
    if (!FatEntry(cur, &next) || IsEndOfChain(next) || !g_.IsValidCluster(next)) break;
    if (!seen.insert(next).second) break;   // the chain loops back on itself
    chain.push_back(next);
    cur = next;
  }
  return chain;
}

std::vector<uint32_t> FatVolume::WholeChain(uint32_t start, uint64_t size) {
  const uint64_t clusterBytes = g_.clusterBytes();
  if (size == 0 || clusterBytes == 0) return {};
  const uint64_t wanted = (size + clusterBytes - 1) / clusterBytes;
  if (wanted > g_.clusterCount) return {};
  std::vector<uint32_t> chain = ReadChain(start, static_cast<uint32_t>(wanted + 1));
  uint32_t next = 0;
  if (chain.size() != wanted || !FatEntry(chain.back(), &next) || !IsEndOfChain(next)) return {};
  return chain;
}

size_t FatVolume::ReadChainData(const std::vector<uint32_t>& chain, std::vector<uint8_t>* out) {
  const uint32_t spc = g_.sectorsPerCluster;
  const size_t cb = g_.clusterBytes();
  out->assign(chain.size() * cb, 0);
  const uint32_t maxRun = std::max<uint32_t>(1, kMaxReadSectors / spc);
  size_t done = 0;
  while (done < chain.size()) {
    size_t run = 1;
    while (done + run < chain.size() && run < maxRun && chain[done + run] == chain[done] + run) ++run;
    uint8_t* dst = out->data() + done * cb;
    if (!ReadSectors(g_.ClusterToSector(chain[done]), static_cast<uint32_t>(run * spc), dst)) {
      // Keep the clusters of the run that can still be read, up to the first that cannot.
      size_t ok = 0;
      while (ok < run && ReadSectors(g_.ClusterToSector(chain[done + ok]), spc, dst + ok * cb)) ++ok;
      done += ok;
      break;
    }
    done += run;
  }
  out->resize(done * cb);
  return done;
}
