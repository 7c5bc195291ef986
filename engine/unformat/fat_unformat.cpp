// The FAT unformat scan. A quick format writes a new boot sector, new empty
// FATs and a new empty root folder, and leaves the data area alone: every old
// folder's first cluster still begins with its "." and ".." entries, and "."
// names the folder's own cluster.
//
// The scan reads the whole volume once and notes every sector that begins
// like a folder. Each cluster size puts such a sector at one place for
// cluster 2; the geometry that puts the most of them at the same place is the
// old volume's (a folder copied into a file, or a volume image kept as a
// file, agrees only with itself). Then the old folders that geometry explains
// are walked, in the order they lie.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "bytes.h"
#include "disk/block_read.h"
#include "disk/raw.h"
#include "fat/fat_entry.h"
#include "fat/fat_volume.h"
#include "records/records.h"
#include "state.h"
#include "unformat/unformat.h"
#include "unformat/unformat_internal.h"
#include "volume/sector_zero.h"

using unformat::FatVolumeImage;
using unformat::FolderStart;
using unformat::SendPath;
using unformat::SendProgress;
using unformat::StopRequested;

namespace {

constexpr uint32_t kBlockSectors = 8192;        // 4 MB read at a time
// Folder starts kept from the first pass (16 bytes each). A volume with more
// old folders than this is walked by a second pass over the whole volume.
constexpr size_t kMaxFolderStarts = 1u << 21;
constexpr size_t kMaxVolumeImages = 1024;        // FAT boot sectors met inside the volume
// The largest reserved area a formatter leaves before the FATs (an alignment
// of the data area to a flash erase block included).
constexpr uint64_t kMaxReservedSectors = 32768;
constexpr uint32_t kMaxFat32Cluster = 0x0FFFFFF6;
constexpr int kMaxFolderDepth = 128;             // deeper than any path the records can hold
constexpr size_t kPathBytes = sizeof(UnformatFatRecord::path) - 1;

// The first sector of a folder: "." and ".." as its first two entries, both
// marked as folders.
bool IsFolderStart(const uint8_t* p) {
  return std::memcmp(p, ".          ", 11) == 0 && std::memcmp(p + 32, "..         ", 11) == 0 &&
         (p[11] & kAttrDirectory) && (p[32 + 11] & kAttrDirectory);
}

// The cluster an entry names: FAT12/16 entries have only the low word.
uint32_t ClusterOf(const uint8_t* e, bool fat32) { return EntryCluster(e, fat32); }

// The cluster the first short entry of a block names; 0 when none.
uint32_t FirstEntryCluster(const uint8_t* block, size_t bytes, bool fat32) {
  for (size_t i = 0; i < bytes / kDirEntrySize; ++i) {
    const uint8_t* e = block + i * kDirEntrySize;
    if (IsEndOfDirectory(e)) return 0;
    if (!IsLabelOrLongName(e)) return ClusterOf(e, fat32);
  }
  return 0;
}

// Reads count sectors; on failure, sector by sector, marking each that could
// not be read in bad (one flag per sector). false when nothing could be read.
bool ReadSalvaging(int driveIndex, HANDLE volume, uint64_t sector, uint32_t count, uint8_t* buffer,
                   std::vector<uint8_t>* bad) {
  auto read = [&](uint64_t at, uint32_t n, uint8_t* out) {
    return ReadVolumeSectors(driveIndex, at, n, out, volume) == 0;
  };
  return ReadBlockOrPieces(read, sector, count, 1, buffer, bad) < count;
}

// Where the data area of a FAT volume can begin at the latest: after the
// reserved sectors, two FATs large enough for every cluster the volume could
// hold and (FAT12/16) the largest fixed root folder.
uint64_t LatestDataStart(bool fat32, uint32_t spc, uint64_t volumeSectors) {
  uint64_t clusters = volumeSectors / spc + 2;
  if (!fat32) clusters = std::min<uint64_t>(clusters, 65536 + 2);
  const uint64_t fatSectors = (clusters * (fat32 ? 4 : 2) + kSectorSize - 1) / kSectorSize;
  return kMaxReservedSectors + 2 * fatSectors + (fat32 ? 0 : 65536 * 32 / kSectorSize);
}

// What the first pass over the volume saw.
struct VolumeSurvey {
  std::vector<FolderStart> folders;       // in sector order
  // Sectors that read as folder entries past a folder's start, each with the
  // first cluster its first entry names (a folder's later clusters).
  std::vector<FolderStart> continuations;
  std::vector<FatVolumeImage> images;
  bool foldersComplete = true;            // false: more folder starts than were kept
  bool anyRead = false;
};

class FatUnformatScan {
 public:
  FatUnformatScan(bool fat32, int driveIndex, HANDLE volume, uint32_t spc, uint64_t dataStart, uint64_t extent,
                  const std::vector<FolderStart>* continuations = nullptr)
      : fat32_(fat32),
        driveIndex_(driveIndex),
        volume_(volume),
        spc_(spc),
        dataStart_(dataStart),
        extent_(extent),
        out_(fat32 ? gUnformatFat32Files : gUnformatFat16Files) {
    if (continuations)
      for (const FolderStart& f : *continuations)
        if (ClusterAt(f.sector) >= 2) continuedBy_.emplace(f.cluster, f.sector);
  }

  // Walks the folders of the list that the geometry explains.
  int WalkListed(const std::vector<FolderStart>& folders);
  // Reads the data area cluster by cluster and walks each old folder met.
  int WalkLinear();

 private:
  uint64_t ClusterSector(uint32_t c) const { return dataStart_ + static_cast<uint64_t>(c - 2) * spc_; }
  bool ClusterInVolume(uint32_t c) const { return c >= 2 && ClusterSector(c) + spc_ <= extent_; }
  bool SameCluster(uint32_t named, uint64_t c) const {
    return fat32_ ? named == c : named == (c & 0xFFFF);
  }
  // The cluster whose first sector is `sector`, or 0.
  uint64_t ClusterAt(uint64_t sector) const {
    if (sector < dataStart_ || (sector - dataStart_) % spc_ != 0) return 0;
    return (sector - dataStart_) / spc_ + 2;
  }

  // A lost folder found by the scan itself (not through a parent).
  void WalkLostFolder(const uint8_t* cluster, uint64_t sector, uint32_t c);
  void WalkEntries(const std::vector<uint8_t>& dir, uint32_t ownCluster, int depth);
  void ReadOn(std::vector<uint8_t>* dir, uint32_t first);
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
  std::unordered_set<uint64_t> continued_; // first sectors of their later clusters
  std::unordered_multimap<uint32_t, uint64_t> continuedBy_;   // first entry's cluster -> sector
  std::vector<std::string> folders_;      // the path of the folder being walked
  uint32_t lostFolders_ = 0;
  bool full_ = false;
};

void FatUnformatScan::WalkLostFolder(const uint8_t* cluster, uint64_t sector, uint32_t c) {
  if (!visited_.insert(sector).second) return;
  char name[16];
  std::snprintf(name, sizeof name, "DIR%u", lostFolders_++);
  folders_.assign(1, name);
  std::vector<uint8_t> dir(cluster, cluster + static_cast<size_t>(spc_) * kSectorSize);
  ReadOn(&dir, c);
  WalkEntries(dir, c, 0);
}

// The old FAT, which chained a folder's clusters, is gone; but a folder
// written in one go lies on the disk as it was written. Its next cluster is
// the one whose first entry's data begins right after the data of the last
// entry so far (the folder grew when that entry no longer fitted), else the
// cluster right after the last, else the one right after the last entry's
// data. Read on while such a cluster parses as entries, up to the folder's
// end slot or the largest folder the format allows.
void FatUnformatScan::ReadOn(std::vector<uint8_t>* dir, uint32_t first) {
  const size_t cb = static_cast<size_t>(spc_) * kSectorSize;
  const size_t maxClusters = std::max<size_t>(1, kMaxDirectoryBytes / cb);
  const uint32_t maxCluster = fat32_ ? kMaxFat32Cluster : 0xFFFF;
  bool ended = false;
  ParsesAsDirectoryEntries(dir->data(), cb, maxCluster, fat32_, &ended);
  uint32_t last = first;
  std::vector<uint8_t> next(cb);
  for (size_t n = 1; n < maxClusters && !ended && !StopRequested(); ++n) {
    const uint8_t* tail = dir->data() + dir->size() - cb;
    const uint32_t after = ClusterAfterLastEntry(tail, cb, static_cast<uint32_t>(cb), fat32_);
    std::vector<uint32_t> candidates;
    auto range = continuedBy_.equal_range(after);
    for (auto it = range.first; it != range.second && candidates.size() < 8; ++it)
      candidates.push_back(static_cast<uint32_t>(ClusterAt(it->second)));
    candidates.push_back(last + 1);
    candidates.push_back(after);
    uint32_t taken = 0;
    for (uint32_t c : candidates) {
      if (!ClusterInVolume(c)) continue;
      const uint64_t sector = ClusterSector(c);
      if (continued_.count(sector) || visited_.count(sector)) continue;
      if (ReadVolumeSectors(driveIndex_, sector, spc_, next.data(), volume_) != 0) continue;
      if (IsFolderStart(next.data()) || !ParsesAsDirectoryEntries(next.data(), cb, maxCluster, fat32_, &ended))
        continue;
      taken = c;
      break;
    }
    if (taken == 0) break;
    continued_.insert(ClusterSector(taken));
    dir->insert(dir->end(), next.begin(), next.end());
    last = taken;
  }
}

int FatUnformatScan::WalkListed(const std::vector<FolderStart>& folders) {
  std::vector<uint8_t> buffer(static_cast<size_t>(spc_) * kSectorSize);
  std::vector<uint8_t> bad;
  for (const FolderStart& f : folders) {
    if (full_) break;
    if (gUnformatAbort.load() == 1 || gScanAbort.load() == 1) return -2;
    const uint64_t c = ClusterAt(f.sector);
    if (c < 2 || c > 0xFFFFFFFFull || f.sector + spc_ > extent_ || !SameCluster(f.cluster, c)) continue;
    if (visited_.count(f.sector)) continue;   // walked already as a subfolder
    if (!ReadSalvaging(driveIndex_, volume_, f.sector, spc_, buffer.data(), &bad) || bad[0] ||
        !IsFolderStart(buffer.data()))
      continue;
    WalkLostFolder(buffer.data(), f.sector, static_cast<uint32_t>(c));
  }
  if (gScanAbort.load() == 1) return -2;
  SendProgress(extent_, extent_);
  return 0;
}

int FatUnformatScan::WalkLinear() {
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
      const uint64_t cluster = ClusterAt(at);
      if (cluster > 0xFFFFFFFFull || !SameCluster(ClusterOf(p, fat32_), cluster)) continue;
      WalkLostFolder(p, at, static_cast<uint32_t>(cluster));
      if (gScanAbort.load() == 1) return -2;
    }
    if (gScanAbort.load() == 1) return -2;
    sector += static_cast<uint64_t>(n) * spc_;
  }
  return 0;
}

// The entries of a folder's clusters, from the one after "..".
void FatUnformatScan::WalkEntries(const std::vector<uint8_t>& bytes, uint32_t ownCluster, int depth) {
  const uint8_t* dir = bytes.data();
  const size_t count = bytes.size() / kDirEntrySize;
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
  ReadOn(&buffer, c);
  WalkEntries(buffer, c, depth);
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

  UnformatFatRecord r;
  std::memset(&r, 0, sizeof r);
  const std::string path = JoinPath(EntryName(dir, index, false));
  std::memcpy(r.path, path.data(), path.size());
  r.startSector = start;
  r.size = size;
  r.selected = 1;
  ConvertFatDateTime(ReadLe16(e + 16), ReadLe16(e + 14), &r.created);
  ConvertFatDateTime(ReadLe16(e + 24), ReadLe16(e + 22), &r.modified);
  ConvertFatDateTime(ReadLe16(e + 18), 0, &r.accessed);
  r.driveIndex = static_cast<uint8_t>(driveIndex_);
  r.sectorsPerCluster = spc_;
  out_.push_back(r);
  SendPath(r.path);
}

// The first pass: every sector of the volume, in 4 MB blocks. 0, -2 stopped.
int SurveyVolume(HANDLE volume, int driveIndex, bool fat32, uint64_t volumeSectors, VolumeSurvey* survey) {
  std::vector<uint8_t> block(static_cast<size_t>(kBlockSectors) * kSectorSize);
  std::vector<uint8_t> bad;
  for (uint64_t sector = 0; sector < volumeSectors; sector += kBlockSectors) {
    if (StopRequested()) return -2;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kBlockSectors, volumeSectors - sector));
    SendProgress(volumeSectors, sector);
    if (!ReadSalvaging(driveIndex, volume, sector, n, block.data(), &bad)) continue;
    survey->anyRead = true;
    for (uint32_t i = 0; i < n; ++i) {
      if (bad[i]) continue;
      const uint8_t* p = block.data() + static_cast<size_t>(i) * kSectorSize;
      const uint64_t s = sector + i;
      if (IsFolderStart(p)) {
        const uint32_t c = ClusterOf(p, fat32);
        if (c < 2 || (fat32 && c > kMaxFat32Cluster)) continue;
        if (survey->folders.size() < kMaxFolderStarts)
          survey->folders.push_back({s, c});
        else
          survey->foldersComplete = false;
      } else if (p[0] != 0 && survey->continuations.size() < kMaxFolderStarts &&
                 ParsesAsDirectoryEntries(p, kSectorSize, fat32 ? kMaxFat32Cluster : 0xFFFF, fat32, nullptr)) {
        const uint32_t first = FirstEntryCluster(p, kSectorSize, fat32);
        if (first >= 2) survey->continuations.push_back({s, first});
      } else if (s != 0 && p[510] == 0x55 && p[511] == 0xAA && survey->images.size() < kMaxVolumeImages) {
        // A FAT boot sector inside the volume: the start of a volume image
        // kept as a file. (Sector 0 is the new file system's own.)
        FatGeometry g;
        if (ParseFatBootSector(p, &g)) survey->images.push_back({s, g.sectorsPerCluster, s + g.dataStartSector});
      }
    }
  }
  SendProgress(volumeSectors, volumeSectors);
  return 0;
}

// Removes the folder starts that are folders of the file system the format
// wrote: a cluster start of its geometry whose "." names that cluster and
// which its FAT holds in use.
void DropLiveFolders(HANDLE volume, int driveIndex, const FatGeometry& g, std::vector<FolderStart>* folders) {
  FatVolume fat(volume, driveIndex, g);
  const bool fat32 = g.type == FatType::kFat32;
  folders->erase(std::remove_if(folders->begin(), folders->end(),
                                [&](const FolderStart& f) {
                                  const uint32_t c = g.SectorToCluster(f.sector);
                                  if (c < 2 || f.cluster != (fat32 ? c : (c & 0xFFFF))) return false;
                                  uint32_t entry = 0;
                                  return fat.FatEntry(c, &entry) && entry != 0;
                                }),
                 folders->end());
}

// The geometry of the file system the format wrote (sector 0 now).
bool CurrentGeometry(HANDLE volume, int driveIndex, FatVolumeImage* out) {
  SectorZero zero;
  FatGeometry g;
  if (!ReadVolumeSectorZero(driveIndex, volume, &zero) || !ParseFatBootSector(zero.bytes, &g)) return false;
  *out = {0, g.sectorsPerCluster, g.dataStartSector};
  return true;
}

}  // namespace

namespace unformat {

bool ChooseFatGeometry(const std::vector<FolderStart>& folders, const std::vector<FatVolumeImage>& images,
                       const FatVolumeImage* current, bool fat32, uint64_t volumeSectors, uint32_t* sectorsPerCluster,
                       uint64_t* firstDataSector) {
  uint32_t bestVotes = 0;
  bool tie = false;
  bool bestIsCurrent = false;
  uint32_t bestSpc = 0;
  uint64_t bestStart = 0;
  std::vector<uint64_t> starts;
  starts.reserve(folders.size());
  for (uint32_t spc = 1; spc <= 128; spc <<= 1) {
    // Where each folder start puts cluster 2 with this cluster size.
    const uint64_t latest = LatestDataStart(fat32, spc, volumeSectors);
    starts.clear();
    for (const FolderStart& f : folders) {
      const uint64_t before = static_cast<uint64_t>(f.cluster - 2) * spc;
      if (f.cluster < 2 || before >= f.sector) continue;
      const uint64_t start = f.sector - before;
      // Cluster 2 lies right after the FATs: not in the middle of the volume,
      // and not at sector 0 or 1 (the boot sector, then at least one FAT).
      if (start < 2 || start > latest) continue;
      starts.push_back(start);
    }
    std::sort(starts.begin(), starts.end());
    for (size_t i = 0; i < starts.size();) {
      size_t j = i;
      while (j < starts.size() && starts[j] == starts[i]) ++j;
      const uint32_t votes = static_cast<uint32_t>(j - i);
      const uint64_t start = starts[i];
      i = j;
      if (votes < 2) continue;   // one folder agrees with any geometry
      // The geometry of a volume image kept inside this volume is the
      // image's, not the volume's.
      bool image = false;
      for (const FatVolumeImage& v : images) image |= v.sectorsPerCluster == spc && v.firstDataSector == start;
      if (image) continue;
      // A quick format with the old settings lays the volume out as before:
      // the new boot sector's geometry settles a tie.
      const bool isCurrent = current && current->sectorsPerCluster == spc && current->firstDataSector == start;
      if (votes > bestVotes || (votes == bestVotes && isCurrent && !bestIsCurrent)) {
        tie = votes == bestVotes && !isCurrent;
        bestVotes = votes;
        bestSpc = spc;
        bestStart = start;
        bestIsCurrent = isCurrent;
      } else if (votes == bestVotes && !bestIsCurrent) {
        tie = true;
      }
    }
  }
  // Two geometries that explain as many folders: no way to tell which is
  // right, and a wrong one gives files of wrong bytes.
  if (bestVotes == 0 || tie) return false;
  *sectorsPerCluster = bestSpc;
  *firstDataSector = bestStart;
  return true;
}

int WalkFatUnformatFolders(bool fat32, int driveIndex, HANDLE volume, uint32_t sectorsPerCluster,
                           uint64_t firstDataSector, uint64_t volumeSectors, const std::vector<FolderStart>& folders) {
  FatUnformatScan scan(fat32, driveIndex, volume, sectorsPerCluster, firstDataSector, volumeSectors);
  return scan.WalkListed(folders);
}

}  // namespace unformat

int LocateFatClusters(HANDLE volume, int driveIndex, bool fat32, uint64_t volumeSectors, uint32_t* sectorsPerCluster,
                      uint64_t* firstDataSector) {
  VolumeSurvey survey;
  const int rc = SurveyVolume(volume, driveIndex, fat32, volumeSectors, &survey);
  if (rc != 0) return rc;
  FatVolumeImage current;
  const bool haveCurrent = CurrentGeometry(volume, driveIndex, &current);
  return unformat::ChooseFatGeometry(survey.folders, survey.images, haveCurrent ? &current : nullptr, fat32,
                                     volumeSectors, sectorsPerCluster, firstDataSector)
             ? 0
             : -1;
}

int ScanFatUnformat(bool fat32, int driveIndex) {
  (fat32 ? gUnformatFat32Files : gUnformatFat16Files).clear();
  HANDLE handle = OpenVolume(driveIndex);
  if (!handle) return unformat::Unreadable(GetLastError());
  std::unique_ptr<void, void (*)(void*)> closer(handle, [](void* h) { CloseVolume(static_cast<HANDLE>(h)); });
  SendPath(kUnformatStartText);

  // Read after the start text, so that a volume without a size still reports
  // this read's error. Its size fields are read whatever the signature says:
  // the format may have left a boot sector of another kind, or none.
  uint64_t bootTotal = 0;
  SectorZero zero;
  FatVolumeImage current;
  FatGeometry now;
  bool haveCurrent = false;
  if (ReadVolumeSectorZero(driveIndex, handle, &zero)) {
    bootTotal = zero.fields.totalSectors16;
    if (bootTotal == 0) bootTotal = zero.fields.totalSectors32;
    if (ParseFatBootSector(zero.bytes, &now)) {
      current = {0, now.sectorsPerCluster, now.dataStartSector};
      haveCurrent = true;
    }
  }
  const uint64_t extent = unformat::ScanExtent(handle, bootTotal);
  if (extent == 0) return unformat::Unreadable(GetLastError());

  VolumeSurvey survey;
  const int surveyed = SurveyVolume(handle, driveIndex, fat32, extent, &survey);
  if (surveyed != 0) return surveyed;
  if (!survey.anyRead) return unformat::Unreadable(GetLastError());
  // Folders made on the new file system since the format are not lost, and
  // must not outvote the old ones.
  if (haveCurrent) DropLiveFolders(handle, driveIndex, now, &survey.folders);
  uint32_t spc = 0;
  uint64_t dataStart = 0;
  // No geometry that the old folders agree on: nothing of the old volume can
  // be rebuilt, and a guess would list files of wrong bytes.
  if (!unformat::ChooseFatGeometry(survey.folders, survey.images, haveCurrent ? &current : nullptr, fat32, extent, &spc,
                                   &dataStart))
    return 0;
  if (gScanAbort.load() == 1) return -2;
  FatUnformatScan scan(fat32, driveIndex, handle, spc, dataStart, extent, &survey.continuations);
  return survey.foldersComplete ? scan.WalkListed(survey.folders) : scan.WalkLinear();
}
