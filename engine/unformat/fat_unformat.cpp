// The FAT unformat scan. A quick format writes a new boot sector, new empty
// FATs and a new empty root folder, and leaves the data area alone: every old
// folder's first cluster still begins with its "." and ".." entries. The scan
// finds the old cluster geometry from two such clusters, then reads the data
// area cluster by cluster and walks each old folder it meets.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "disk/raw.h"
#include "fat/fat_entry.h"
#include "records/records.h"
#include "state.h"
#include "unformat/unformat.h"
#include "unformat/unformat_internal.h"
#include "volume/boot.h"

using unformat::SendPath;
using unformat::SendProgress;
using unformat::StopRequested;

namespace {

constexpr uint32_t kBlockSectors = 8192;        // 4 MB read at a time
constexpr size_t kMaxCandidates = 64;            // folder clusters kept while the geometry is unknown
constexpr int kMaxFolderDepth = 128;             // deeper than any path the records can hold
constexpr size_t kPathBytes = sizeof(UnformatFatRecord::path) - 1;

bool IsPowerOfTwo(uint64_t v) { return v && !(v & (v - 1)); }

// The first sector of a folder: "." and ".." as its first two entries, both
// marked as folders.
bool IsFolderStart(const uint8_t* p) {
  return std::memcmp(p, ".          ", 11) == 0 && std::memcmp(p + 32, "..         ", 11) == 0 &&
         (p[11] & kAttrDirectory) && (p[32 + 11] & kAttrDirectory);
}

// The cluster an entry names: FAT12/16 entries have only the low word.
uint32_t ClusterOf(const uint8_t* e, bool fat32) { return EntryCluster(e, fat32); }

// Reads count sectors; on failure, sector by sector, marking each that could
// not be read in bad (one flag per sector). false when nothing could be read.
bool ReadSalvaging(int driveIndex, HANDLE volume, uint64_t sector, uint32_t count, uint8_t* buffer,
                   std::vector<uint8_t>* bad) {
  bad->assign(count, 0);
  if (ReadVolumeSectors(driveIndex, sector, count, buffer, volume) == 0) return true;
  bool any = false;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* p = buffer + static_cast<size_t>(i) * kSectorSize;
    if (ReadVolumeSectors(driveIndex, sector + i, 1, p, volume) == 0) {
      any = true;
    } else {
      std::memset(p, 0, kSectorSize);
      (*bad)[i] = 1;
    }
  }
  return any;
}

class FatUnformatScan {
 public:
  FatUnformatScan(bool fat32, int driveIndex, HANDLE volume, uint32_t spc, uint64_t dataStart, uint64_t extent)
      : fat32_(fat32),
        driveIndex_(driveIndex),
        volume_(volume),
        spc_(spc),
        dataStart_(dataStart),
        extent_(extent),
        out_(fat32 ? gUnformatFat32Files : gUnformatFat16Files) {}

  int Run();

 private:
  uint64_t ClusterSector(uint32_t c) const { return dataStart_ + static_cast<uint64_t>(c - 2) * spc_; }
  bool ClusterInVolume(uint32_t c) const { return c >= 2 && ClusterSector(c) + spc_ <= extent_; }
  bool SameCluster(uint32_t named, uint32_t c) const { return fat32_ ? named == c : named == (c & 0xFFFF); }

  void WalkEntries(const uint8_t* dir, uint32_t ownCluster, int depth);
  void WalkFolder(const uint8_t* dir, size_t index, uint32_t parentCluster, int depth);
  void AddFile(const uint8_t* dir, size_t index);
  std::string JoinPath(const std::string& name) const;

  const bool fat32_;
  const int driveIndex_;
  const HANDLE volume_;
  const uint32_t spc_;
  const uint64_t dataStart_;
  const uint64_t extent_;
  std::vector<UnformatFatRecord>& out_;
  std::unordered_set<uint64_t> visited_;   // first sectors of the folders walked
  std::vector<std::string> folders_;      // the path of the folder being walked
  uint32_t lostFolders_ = 0;
  bool full_ = false;
};

int FatUnformatScan::Run() {
  const uint32_t clusterBytes = spc_ * kSectorSize;
  const uint32_t blockClusters = std::max<uint32_t>(1, kBlockSectors / spc_);
  std::vector<uint8_t> block(static_cast<size_t>(blockClusters) * clusterBytes);
  std::vector<uint8_t> bad;
  uint64_t sector = dataStart_;
  while (sector + spc_ <= extent_ && !full_) {
    if (gUnformatAbort.load() == 1) return -2;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(blockClusters, (extent_ - sector) / spc_));
    const bool readable = ReadSalvaging(driveIndex_, volume_, sector, n * spc_, block.data(), &bad);
    SendProgress(extent_, sector);
    for (uint32_t i = 0; readable && i < n && !full_; ++i) {
      if (gUnformatAbort.load() == 1) return -2;
      const uint8_t* p = block.data() + static_cast<size_t>(i) * clusterBytes;
      const uint64_t at = sector + static_cast<uint64_t>(i) * spc_;
      if (bad[static_cast<size_t>(i) * spc_] || !IsFolderStart(p)) continue;
      // A folder lists its own cluster in "."; one that names another is a
      // copy of a folder (inside an image file, say), not a folder of this volume.
      const uint64_t cluster = (at - dataStart_) / spc_ + 2;
      if (cluster > 0xFFFFFFFFull || !SameCluster(ClusterOf(p, fat32_), static_cast<uint32_t>(cluster))) continue;
      if (!visited_.insert(at).second) continue;
      char name[16];
      std::snprintf(name, sizeof name, "DIR%u", lostFolders_++);
      folders_.assign(1, name);
      WalkEntries(p, static_cast<uint32_t>(cluster), 0);
      if (gScanAbort.load() == 1) return -2;
    }
    if (gScanAbort.load() == 1) return -2;
    sector += static_cast<uint64_t>(n) * spc_;
  }
  return 0;
}

// The entries of a folder's first cluster, from the one after "..". Only the
// first cluster is read: the old FAT, which chained the rest, is gone.
void FatUnformatScan::WalkEntries(const uint8_t* dir, uint32_t ownCluster, int depth) {
  const size_t count = static_cast<size_t>(spc_) * kSectorSize / kDirEntrySize;
  for (size_t i = 2; i < count && !full_; ++i) {
    if (StopRequested()) return;
    const uint8_t* e = dir + i * kDirEntrySize;
    if (IsEndOfDirectory(e)) break;
    if (IsDeletedEntry(e) || IsLabelOrLongName(e)) continue;
    if (IsDirectoryEntry(e))
      WalkFolder(dir, i, ownCluster, depth + 1);
    else
      AddFile(dir, i);
  }
}

void FatUnformatScan::WalkFolder(const uint8_t* dir, size_t index, uint32_t parentCluster, int depth) {
  if (depth > kMaxFolderDepth || StopRequested()) return;
  const uint8_t* e = dir + index * kDirEntrySize;
  const uint32_t c = ClusterOf(e, fat32_);
  if (!ClusterInVolume(c)) return;
  const uint64_t sector = ClusterSector(c);
  std::vector<uint8_t> buffer(static_cast<size_t>(spc_) * kSectorSize);
  if (ReadVolumeSectors(driveIndex_, sector, spc_, buffer.data(), volume_) != 0) return;
  // The cluster must still be this folder: its "." names it and its ".."
  // names the folder that lists it. Anything else is a cluster used again.
  if (!IsFolderStart(buffer.data()) || !SameCluster(ClusterOf(buffer.data(), fat32_), c) ||
      !SameCluster(ClusterOf(buffer.data() + kDirEntrySize, fat32_), parentCluster))
    return;
  if (!visited_.insert(sector).second) return;
  folders_.push_back(EntryName(dir, index, false));
  WalkEntries(buffer.data(), c, depth);
  folders_.pop_back();
}

// folder\folder\name; when that does not fit the record, the outermost
// folders are left out, so the file keeps its name and nearest folders.
std::string FatUnformatScan::JoinPath(const std::string& name) const {
  std::string path = name.substr(0, kPathBytes);
  for (size_t k = folders_.size(); k-- > 0;) {
    if (folders_[k].size() + 1 + path.size() > kPathBytes) break;
    path = folders_[k] + "\\" + path;
  }
  return path;
}

void FatUnformatScan::AddFile(const uint8_t* dir, size_t index) {
  if (out_.size() >= kMaxUnformatRecords) {
    full_ = true;
    return;
  }
  const uint8_t* e = dir + index * kDirEntrySize;
  const uint32_t size = EntrySize(e);
  const uint32_t c = ClusterOf(e, fat32_);
  uint64_t start = 0;
  if (c >= 2) {
    start = ClusterSector(c);
    // Data that begins past the volume cannot be this volume's file.
    if (size != 0 && !ClusterInVolume(c)) return;
  } else if (size != 0) {
    return;   // a file with data but no cluster: a damaged entry
  }
  if (start > 0xFFFFFFFFull) return;

  UnformatFatRecord r;
  std::memset(&r, 0, sizeof r);
  const std::string path = JoinPath(EntryName(dir, index, false));
  std::memcpy(r.path, path.data(), path.size());
  r.startSector = static_cast<uint32_t>(start);
  r.size = size;
  r.selected = 1;
  ConvertFatDateTime(EntryLe16(e, 16), EntryLe16(e, 14), &r.created);
  ConvertFatDateTime(EntryLe16(e, 24), EntryLe16(e, 22), &r.modified);
  ConvertFatDateTime(EntryLe16(e, 18), 0, &r.accessed);
  r.driveIndex = static_cast<uint8_t>(driveIndex_);
  r.sectorsPerCluster = spc_;
  out_.push_back(r);
  SendPath(r.path);
}

}  // namespace

int LocateFatClusters(HANDLE volume, int driveIndex, bool fat32, uint64_t volumeSectors, uint32_t* sectorsPerCluster,
                      uint64_t* firstDataSector) {
  std::vector<uint8_t> block(static_cast<size_t>(kBlockSectors) * kSectorSize);
  std::vector<uint8_t> bad;
  struct Candidate {
    uint64_t sector;
    uint32_t cluster;
  };
  std::vector<Candidate> seen;
  for (uint64_t sector = 0; sector < volumeSectors; sector += kBlockSectors) {
    if (StopRequested()) return -2;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kBlockSectors, volumeSectors - sector));
    if (!ReadSalvaging(driveIndex, volume, sector, n, block.data(), &bad)) continue;
    SendProgress(volumeSectors, sector);
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* p = block.data() + static_cast<size_t>(i) * kSectorSize;
      if (bad[i] || !IsFolderStart(p)) continue;
      const uint64_t s = sector + i;
      const uint32_t c = ClusterOf(p, fat32);
      if (c < 2) continue;
      // Sectors and cluster numbers of two folders must agree on one cluster
      // size that FAT allows, and put cluster 2 inside the volume.
      for (const Candidate& earlier : seen) {
        if (c <= earlier.cluster) continue;
        const uint64_t ds = s - earlier.sector, dc = c - earlier.cluster;
        if (ds % dc != 0) continue;
        const uint64_t spc = ds / dc;
        if (!IsPowerOfTwo(spc) || spc > 128) continue;
        const uint64_t before = static_cast<uint64_t>(c - 2) * spc;
        if (before >= s) continue;
        *sectorsPerCluster = static_cast<uint32_t>(spc);
        *firstDataSector = s - before;
        return 0;
      }
      if (seen.size() < kMaxCandidates) seen.push_back({s, c});
    }
  }
  return -1;
}

int ScanFatUnformat(bool fat32, int driveIndex) {
  (fat32 ? gUnformatFat32Files : gUnformatFat16Files).clear();
  HANDLE handle = OpenVolume(driveIndex);
  if (!handle) return -1;
  std::unique_ptr<void, void (*)(void*)> closer(handle, [](void* h) { CloseVolume(static_cast<HANDLE>(h)); });
  SendPath(kUnformatStartText);

  uint64_t bootTotal = 0;
  uint8_t boot[kSectorSize];
  if (ReadVolumeSectors(driveIndex, 0, 1, boot, handle) == 0) {
    bootTotal = ReadLe16(boot + 0x13);
    if (bootTotal == 0) bootTotal = ReadLe32(boot + 0x20);
  }
  const uint64_t extent = unformat::ScanExtent(handle, bootTotal);
  if (extent == 0) return -1;

  uint32_t spc = 0;
  uint64_t dataStart = 0;
  const int located = LocateFatClusters(handle, driveIndex, fat32, extent, &spc, &dataStart);
  if (located != 0) return located;
  if (gScanAbort.load() == 1) return -2;
  FatUnformatScan scan(fat32, driveIndex, handle, spc, dataStart, extent);
  return scan.Run();
}
