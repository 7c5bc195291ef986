// A FAT12/16/32 volume as the engine reads it: geometry from the boot sector
// (every field checked before use), the first FAT through a small cache of
// large blocks, bounded cluster chains, and whole-extent reads.
//
// The deleted-file scan and the copy-out both read through this one layer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

enum class FatType { kFat12, kFat16, kFat32 };

struct FatGeometry {
  FatType type = FatType::kFat16;
  uint32_t sectorsPerCluster = 0;
  uint32_t reservedSectors = 0;
  uint32_t fatCount = 0;
  uint32_t fatSectors = 0;        // sectors of one FAT
  uint32_t rootEntries = 0;       // FAT12/16: entries of the fixed root directory
  uint32_t rootDirSector = 0;     // FAT12/16: its first sector
  uint32_t rootDirSectors = 0;
  uint32_t rootCluster = 0;       // FAT32: first cluster of the root directory
  uint32_t dataStartSector = 0;   // first sector of cluster 2
  uint64_t totalSectors = 0;
  uint32_t clusterCount = 0;      // clusters 2 .. clusterCount + 1 exist

  uint32_t clusterBytes() const { return sectorsPerCluster * 512; }
  uint32_t maxCluster() const { return clusterCount + 1; }
  bool IsValidCluster(uint32_t c) const { return c >= 2 && c <= maxCluster(); }
  uint64_t ClusterToSector(uint32_t cluster) const {
    return dataStartSector + static_cast<uint64_t>(cluster - 2) * sectorsPerCluster;
  }
  // The cluster whose first sector is this one; 0 when the sector is not the
  // start of a cluster of the data area.
  uint32_t SectorToCluster(uint64_t sector) const;
};

// Reads the fields a FAT boot sector carries (bytes per sector must be 512).
// FAT12 and FAT16 are told apart by the cluster count, as the format defines.
// false when the fields cannot describe a FAT volume of the kind its
// signature names.
bool ParseFatBootSector(const uint8_t boot[512], FatGeometry* out);

// The largest directory the format allows: 65536 entries.
constexpr uint32_t kMaxDirectoryBytes = 65536 * 32;

class FatVolume {
 public:
  FatVolume(HANDLE volume, int driveIndex, const FatGeometry& geometry);
  FatVolume(const FatVolume&) = delete;
  FatVolume& operator=(const FatVolume&) = delete;

  const FatGeometry& geometry() const { return g_; }
  HANDLE handle() const { return volume_; }
  int driveIndex() const { return driveIndex_; }

  // true only when all count sectors were read.
  bool ReadSectors(uint64_t sector, uint32_t count, void* buffer);

  // The FAT entry of a cluster (first FAT). false when its sector cannot be read.
  bool FatEntry(uint32_t cluster, uint32_t* value);
  // True when the value ends a chain (end marker) for this FAT type.
  bool IsEndOfChain(uint32_t value) const;

  // The chain from start: start first, then each following cluster. Ends at
  // the end marker, at a free, bad or out-of-range entry, at an unreadable
  // FAT sector, at a cluster met before (a loop), or after maxClusters.
  std::vector<uint32_t> ReadChain(uint32_t start, uint32_t maxClusters);

  // The chain from start when it is exactly as long as a file of size bytes
  // needs and ends with the end marker (a file whose chain is intact); empty
  // otherwise.
  std::vector<uint32_t> WholeChain(uint32_t start, uint64_t size);

  // Reads the clusters of a chain into out, joining runs of consecutive
  // clusters into large reads. Stops at the first cluster that cannot be read;
  // out holds the clusters before it. Returns the number of clusters read.
  size_t ReadChainData(const std::vector<uint32_t>& chain, std::vector<uint8_t>* out);

 private:
  struct FatBlock {
    uint32_t index = UINT32_MAX;            // block number within the FAT
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> sectorOk;          // per sector: read or not
    uint64_t lastUse = 0;
  };
  bool FatByte(uint64_t offset, uint8_t* value);
  FatBlock* LoadBlock(uint32_t index);

  HANDLE volume_;
  int driveIndex_;
  FatGeometry g_;
  std::vector<FatBlock> cache_;
  uint64_t useClock_ = 0;
};
