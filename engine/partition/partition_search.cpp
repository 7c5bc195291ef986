#include "partition/partition_search.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "disk/raw.h"
#include "fat/fat_volume.h"
#include "ntfs/ntfs_volume.h"
#include "partition/partition_backup.h"
#include "partition/partition_table.h"
#include "state.h"
#include "volume/boot.h"

uint8_t gRebuiltSector0[512];
uint8_t gPreviousSector0[512];
int gPreviousSector0Disk = -1;
char gPreviousSector0File[MAX_PATH];

namespace {

// The walk of a chain of extended boot records ends after this many.
constexpr unsigned kMaxExtendedRecords = 128;
constexpr uint64_t kFirstProbe = kTrackSectors;   // the end of the first track
constexpr unsigned kMaxFailedProbes = 16;          // unreadable probes in a row that end the search

bool OnCylinderGrid(uint64_t sector) { return sector == kFirstProbe || sector % kCylinderSectors == 0; }
bool OnMibGrid(uint64_t sector) { return sector % kMibSectors == 0; }

// The probe after pos: the next cylinder start or 1 MiB step.
uint64_t NextProbe(uint64_t pos) {
  uint64_t cylinder = (pos / kCylinderSectors + 1) * kCylinderSectors;
  uint64_t mib = (pos / kMibSectors + 1) * kMibSectors;
  return std::min(cylinder, mib);
}

struct FileSystemFound {
  uint8_t type;
  uint64_t sectors;
};

// A FAT or NTFS boot sector whose geometry holds together.
bool RecogniseBootSector(const uint8_t sector[512], FileSystemFound* out) {
  FatGeometry fat;
  if (ParseFatBootSector(sector, &fat)) {
    out->type = fat.type == FatType::kFat32 ? kPartTypeFat32 : kPartTypeFat16;
    out->sectors = fat.totalSectors;
    return true;
  }
  NtfsGeometry ntfs;
  if (ReadNtfsGeometry(sector, &ntfs)) {
    out->type = kPartTypeNtfs;
    out->sectors = ntfs.totalSectors;
    return true;
  }
  return false;
}

// An extended boot record names one logical drive in its first entry and at
// most a link to the next record in its second; the other two are unused.
bool LooksLikeExtendedRecord(const uint8_t sector[512]) {
  PartitionEntry first = ReadPartitionEntry(sector, 0);
  PartitionEntry second = ReadPartitionEntry(sector, 1);
  if (first.type == kPartTypeEmpty || IsExtendedType(first.type)) return false;
  if (first.startLba == 0 || first.sectorCount == 0) return false;
  if (second.type != kPartTypeEmpty && !IsExtendedType(second.type)) return false;
  return ReadPartitionEntry(sector, 2).type == kPartTypeEmpty && ReadPartitionEntry(sector, 3).type == kPartTypeEmpty;
}

// What one of a file system's own structures turned out to be.
enum class Evidence { kAbsent, kFits, kContradicts };

// The first sector of a FAT: the media byte, then all ones.
Evidence FatStartEvidence(const uint8_t* s, uint8_t media, bool fat32) {
  const bool fits = s[0] == media && s[1] == 0xFF && s[2] == 0xFF && (!fat32 || (s[3] & 0x0F) == 0x0F);
  return fits ? Evidence::kFits : Evidence::kContradicts;
}

// The first sector of a root folder: entries up to the first free one, each a
// long-name part, a label, a deleted entry or a plausible short name. An
// empty root (all zeros) shows nothing either way.
Evidence RootFolderEvidence(const uint8_t* s) {
  if (std::all_of(s, s + kSectorSize, [](uint8_t b) { return b == 0; })) return Evidence::kAbsent;
  static const char kForbidden[] = "\"*+,./:;<=>?[\\]|";
  unsigned entries = 0;
  for (unsigned i = 0; i < kSectorSize / 32; ++i) {
    const uint8_t* e = s + i * 32;
    if (e[0] == 0) break;
    ++entries;
    const uint8_t attr = e[11];
    if (attr == 0x0F) {   // a long-name part: sequence number, then zero type and cluster
      if ((e[0] & 0x1F) == 0 || (e[0] & 0x1F) > 20 || e[12] != 0 || e[26] != 0 || e[27] != 0)
        return Evidence::kContradicts;
      continue;
    }
    if (attr & 0xC0) return Evidence::kContradicts;
    for (int k = 0; k < 11; ++k) {
      const uint8_t b = e[k];
      if (k == 0 && (b == 0xE5 || b == 0x05)) continue;
      if (b < 0x20 || (b < 0x80 && std::strchr(kForbidden, b))) return Evidence::kContradicts;
    }
    if (e[0] == ' ') return Evidence::kContradicts;
  }
  return entries ? Evidence::kFits : Evidence::kAbsent;
}

// A file system found by the search, and how well its own structures (its
// FATs, root folder and backup boot sector; its MFT, mirror and backup boot
// sector) bear it out.
struct Candidate {
  uint64_t start = 0;
  uint64_t sectors = 0;          // what the file system (or chain of logical drives) covers
  uint64_t systemEnd = 0;        // the first sector after its own structures (FAT: the data area's start)
  uint8_t type = 0;
  unsigned fits = 0;             // structures that check out
  unsigned contradictions = 0;   // structures that cannot be what they should be
  bool folderFits = false;       // its root folder checks out
  bool quiet = false;            // an empty root folder, but no boot sector inside its own structures
  uint64_t weight = 0;           // set when the table is chosen

  uint64_t end() const { return start + sectors; }
  // Its structures check out, the first folder among them (or, for a volume
  // with nothing in its root yet, no other file system begins inside its
  // own structures): the probes inside it can be skipped.
  bool Confirmed() const { return contradictions == 0 && (folderFits || quiet); }
};

constexpr size_t kMaxCandidates = 64;

class LostPartitionSearch {
 public:
  LostPartitionSearch(const char* path, uint64_t diskSectors) : path_(path), diskSectors_(diskSectors) {
    probeLimit_ = diskSectors ? std::min(diskSectors, kTableSectorLimit) : kTableSectorLimit;
    endLimit_ = diskSectors ? diskSectors : kTableSectorLimit;
  }

  // Probes the disk, then fills the entries of gRebuiltSector0 with the best
  // set of file systems that do not overlap; the number of entries made.
  unsigned Run() {
    Probe();
    return Choose();
  }

 private:
  bool Read(uint64_t sector, uint8_t* buffer) { return ReadOpenDisk(path_, sector, 1, buffer) == 0; }

  void Probe() {
    uint64_t pos = kFirstProbe;
    uint8_t sector[kSectorSize];
    unsigned failedReads = 0;
    while (pos < probeLimit_ && candidates_.size() < kMaxCandidates) {
      if (!Read(pos, sector)) {
        // Inside a disk of known size an unreadable probe is a bad sector:
        // the partitions behind it are still looked for. A run of failures
        // means the disk has stopped answering.
        if (!diskSectors_ || ++failedReads >= kMaxFailedProbes) break;
        pos = NextProbe(pos);
        continue;
      }
      failedReads = 0;
      uint64_t next = 0;
      if (HasBootSignature(sector)) {
        FileSystemFound fs;
        if (RecogniseBootSector(sector, &fs)) {
          next = AddFileSystem(pos, sector, fs);
        } else if (LooksLikeExtendedRecord(sector) && !haveExtended_) {
          next = AddExtended(pos, sector);
        }
      }
      pos = next > pos ? next : NextProbe(pos);
    }
  }

  // A boot sector's file system. Only one whose structures check out lets
  // the search step over what it covers: a stale boot sector (of a volume
  // that lay here before the disk was partitioned again) must not hide the
  // partitions that lie inside its old extent. Returns where to probe next.
  uint64_t AddFileSystem(uint64_t start, const uint8_t* boot, const FileSystemFound& fs) {
    // A file system that would run past the disk's end is not one of this
    // disk's partitions (a volume image kept in a file, a boot sector copy).
    if (diskSectors_ && start + fs.sectors > diskSectors_) return 0;
    if (start + fs.sectors > kTableSectorLimit) return 0;
    Candidate c;
    c.start = start;
    c.sectors = fs.sectors;
    c.type = fs.type;
    if (fs.type == kPartTypeNtfs)
      CheckNtfs(boot, &c);
    else
      CheckFat(boot, &c);
    // An empty root folder proves nothing: a stale boot sector's root may lie
    // in zeros of the file system that replaced it. But that file system's
    // boot sector then lies inside the stale one's FATs, on a probe; a fresh
    // volume's FATs hold none.
    if (!c.Confirmed() && c.contradictions == 0 && !c.folderFits && c.fits >= 2)
      c.quiet = !BootSectorBetween(c.start, c.systemEnd);
    candidates_.push_back(c);
    return c.Confirmed() ? c.end() : 0;
  }

  // Whether a probe after first and before end holds a boot sector or an
  // extended boot record.
  bool BootSectorBetween(uint64_t first, uint64_t end) {
    uint8_t s[kSectorSize];
    for (uint64_t pos = NextProbe(first); pos < end && pos < probeLimit_; pos = NextProbe(pos)) {
      if (!Read(pos, s) || !HasBootSignature(s)) continue;
      FileSystemFound fs;
      if (RecogniseBootSector(s, &fs) || LooksLikeExtendedRecord(s)) return true;
    }
    return false;
  }

  void Note(Evidence e, Candidate* c) {
    if (e == Evidence::kFits) ++c->fits;
    if (e == Evidence::kContradicts) ++c->contradictions;
  }

  void CheckFat(const uint8_t* boot, Candidate* c) {
    FatGeometry g;
    if (!ParseFatBootSector(boot, &g)) return;
    const bool fat32 = g.type == FatType::kFat32;
    const uint8_t media = boot[21];
    c->systemEnd = c->start + g.dataStartSector;
    uint8_t s[kSectorSize];
    for (uint32_t k = 0; k < std::min<uint32_t>(g.fatCount, 2); ++k) {
      const uint64_t at = c->start + g.reservedSectors + static_cast<uint64_t>(k) * g.fatSectors;
      if (Read(at, s)) Note(FatStartEvidence(s, media, fat32), c);
    }
    const uint64_t root = c->start + (fat32 ? g.ClusterToSector(g.rootCluster) : g.rootDirSector);
    if (root < c->end() && Read(root, s)) {
      const Evidence e = RootFolderEvidence(s);
      Note(e, c);
      c->folderFits = e == Evidence::kFits;
    }
    if (fat32) {
      // The backup boot sector and the FSInfo sector of the reserved area.
      const uint16_t backup = ReadLe16(boot + 0x32), info = ReadLe16(boot + 0x30);
      if (backup != 0 && backup != 0xFFFF && backup < g.reservedSectors && Read(c->start + backup, s) &&
          std::memcmp(s, boot, 90) == 0)
        ++c->fits;
      if (info != 0 && info != 0xFFFF && info < g.reservedSectors && Read(c->start + info, s) &&
          std::memcmp(s, "RRaA", 4) == 0 && std::memcmp(s + 484, "rrAa", 4) == 0)
        ++c->fits;
    }
  }

  void CheckNtfs(const uint8_t* boot, Candidate* c) {
    NtfsGeometry g;
    if (!ReadNtfsGeometry(boot, &g)) return;
    uint8_t s[kSectorSize];
    const uint64_t mft = c->start + g.mftStartSector;
    c->systemEnd = c->start + 16;   // the boot file; the MFT's own check covers the MFT
    if (mft < c->end() && Read(mft, s))
      Note(std::memcmp(s, "FILE", 4) == 0 ? Evidence::kFits : Evidence::kContradicts, c);
    // Record 5, the root folder: in use and a folder.
    const uint64_t root = mft + 5 * 2;
    if (root < c->end() && Read(root, s)) {
      const bool fits = std::memcmp(s, "FILE", 4) == 0 && (ReadLe16(s + 0x16) & 3) == 3;
      Note(fits ? Evidence::kFits : Evidence::kContradicts, c);
      c->folderFits = fits;
    }
    const uint64_t mirror = c->start + ReadLe64(boot + 0x38) * g.sectorsPerCluster;
    if (mirror < c->end() && Read(mirror, s) && std::memcmp(s, "FILE", 4) == 0) ++c->fits;
    // The backup boot sector lies just past the sectors the boot sector counts.
    if (c->end() < endLimit_ && Read(c->end(), s) && std::memcmp(s, boot, 0x54) == 0) ++c->fits;
  }

  // The extended partition whose first boot record lies at start: it reaches
  // to the end of the furthest logical drive its chain names. Its link to
  // its first logical drive is what confirms it.
  uint64_t AddExtended(uint64_t start, const uint8_t* record) {
    if (!CheckExtendedLink(start, record)) return 0;
    uint64_t size = ExtendedChainSize(start);
    if (size == 0) return 0;
    Candidate c;
    c.start = start;
    c.sectors = std::min(size, endLimit_ - start);
    c.systemEnd = start + 1;
    c.type = kPartTypeExtended;
    c.fits = 1;
    c.folderFits = true;
    candidates_.push_back(c);
    haveExtended_ = true;
    return c.end();
  }

  // The logical drive the record names begins with a boot sector.
  bool CheckExtendedLink(uint64_t start, const uint8_t* record) {
    uint64_t logicalStart = start + ReadPartitionEntry(record, 0).startLba;
    uint8_t sector[kSectorSize];
    return logicalStart < probeLimit_ && Read(logicalStart, sector) && HasBootSignature(sector);
  }

  // Sectors from the first boot record to the end of the last logical drive
  // of the chain. A record that cannot be read or lacks 55 AA, a link back
  // to a record already seen or past the disk ends the chain.
  uint64_t ExtendedChainSize(uint64_t first) {
    uint64_t extent = 0, current = first;
    std::vector<uint64_t> seen;
    uint8_t record[kSectorSize];
    for (unsigned n = 0; n < kMaxExtendedRecords; ++n) {
      if (!Read(current, record) || !HasBootSignature(record)) break;
      seen.push_back(current);
      PartitionEntry logical = ReadPartitionEntry(record, 0);
      if (!IsEmptyEntry(logical) && !IsExtendedType(logical.type) && logical.sectorCount) {
        uint64_t end = current - first + logical.startLba + logical.sectorCount;
        if (current + logical.startLba + logical.sectorCount <= endLimit_) extent = std::max(extent, end);
      }
      uint64_t next = 0;
      for (unsigned i = 1; i < kPartitionEntries && !next; ++i) {
        PartitionEntry link = ReadPartitionEntry(record, i);
        if (IsExtendedType(link.type)) next = first + link.startLba;
      }
      if (!next || next >= probeLimit_ || std::find(seen.begin(), seen.end(), next) != seen.end()) break;
      current = next;
    }
    return extent;
  }

  // The table: of the file systems found, the set that does not overlap and
  // is borne out best (the sum of their weights), in the order they lie; at
  // most four. A file system whose own structures another one's boot sector
  // sits in cannot be whole, and weighs least.
  unsigned Choose() {
    for (Candidate& c : candidates_) {
      for (const Candidate& other : candidates_)
        if (&other != &c && other.start > c.start && other.start < std::max(c.systemEnd, c.start + 1))
          c.contradictions += 1;
      const uint64_t good = 10 * (1 + c.fits + (c.folderFits ? 1 : 0));
      const uint64_t bad = 15 * static_cast<uint64_t>(c.contradictions);
      c.weight = good > bad ? good - bad : 1;
    }
    std::sort(candidates_.begin(), candidates_.end(),
              [](const Candidate& a, const Candidate& b) { return a.end() < b.end(); });
    // best[i]: the best weight of a set of the first i candidates (by end).
    const size_t n = candidates_.size();
    std::vector<uint64_t> best(n + 1, 0);
    std::vector<size_t> before(n, 0);
    for (size_t i = 0; i < n; ++i) {
      // Only candidates that end at or before this one's start may join it.
      size_t compatible = 0;
      for (size_t j = 0; j < i; ++j)
        if (candidates_[j].end() <= candidates_[i].start) compatible = j + 1;
      before[i] = compatible;
      best[i + 1] = std::max(best[i], best[compatible] + candidates_[i].weight);
    }
    std::vector<const Candidate*> chosen;
    for (size_t i = n; i > 0;) {
      if (best[i] == best[i - 1]) {
        --i;
        continue;
      }
      chosen.push_back(&candidates_[i - 1]);
      i = before[i - 1];
    }
    std::reverse(chosen.begin(), chosen.end());
    if (chosen.size() > kPartitionEntries) chosen.resize(kPartitionEntries);

    for (size_t i = 0; i < chosen.size(); ++i) {
      const Candidate& c = *chosen[i];
      // The end rounded to the layout's grid, never into the next partition.
      const uint64_t limit = i + 1 < chosen.size() ? std::min(endLimit_, chosen[i + 1]->start) : endLimit_;
      const bool active = i == 0 && c.type != kPartTypeExtended;
      SetPartitionEntry(active, c.type, c.start, c.sectors, static_cast<unsigned>(i + 1), limit);
    }
    return entries_;
  }

  // The layout is that of the first partition on one grid only: a partition
  // at a place on both grids ends on that layout's grid.
  bool MibLayout(uint64_t start) {
    if (!layoutKnown_ && OnCylinderGrid(start) != OnMibGrid(start)) {
      mibLayout_ = OnMibGrid(start);
      layoutKnown_ = true;
    }
    return mibLayout_;
  }

  // Sets entry slot (1-4) for a partition at start that covers size
  // sectors; the end of the partition, or 0 when nothing was set.
  uint64_t SetPartitionEntry(bool active, uint8_t type, uint64_t start, uint64_t size, unsigned slot, uint64_t limit) {
    if (slot < 1 || slot > kPartitionEntries || start >= kTableSectorLimit) return 0;
    uint64_t end = RebuiltPartitionEnd(start, size, MibLayout(start), limit);
    if (end <= start || end - start > 0xFFFFFFFFull) return 0;
    PartitionEntry e = MakePartitionEntry(active, type, static_cast<uint32_t>(start), static_cast<uint32_t>(end - start));
    WritePartitionEntry(gRebuiltSector0, entries_, e);
    ++entries_;
    return end;
  }

  const char* path_;
  uint64_t diskSectors_;
  uint64_t probeLimit_;   // probes stay below this
  uint64_t endLimit_;     // partitions end at or before this
  std::vector<Candidate> candidates_;
  unsigned entries_ = 0;
  bool haveExtended_ = false;
  bool layoutKnown_ = false;
  bool mibLayout_ = false;
};

class DiskHandleCloser {
 public:
  ~DiskHandleCloser() { CloseDiskHandle(); }
};

// Saves the sector about to be replaced in the temporary folder.
struct Sector0Copy {
  int disk;
  const uint8_t* sector0;
};
int WriteSector0Copy(const char* path, void* context) {
  const Sector0Copy* c = static_cast<const Sector0Copy*>(context);
  return WriteSector0Backup(c->disk, c->sector0, path);
}

bool KeepPreviousSector0(int disk, const uint8_t sector0[512]) {
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "DISK%d-SECTOR0", disk);
  Sector0Copy copy = {disk, sector0};
  const std::string path = WriteTemporaryBackup(prefix, &WriteSector0Copy, &copy);
  if (path.empty()) return false;
  std::memcpy(gPreviousSector0, sector0, sizeof gPreviousSector0);
  gPreviousSector0Disk = disk;
  std::snprintf(gPreviousSector0File, sizeof gPreviousSector0File, "%s", path.c_str());
  return true;
}

// Writes the rebuilt sector 0 to the open disk; true when it reads back.
bool WritePartitionTable(const char* path) {
  if (WriteOpenDisk(path, 0, 1, gRebuiltSector0) != 0) return false;
  uint8_t check[kSectorSize];
  return ReadOpenDisk(path, 0, 1, check) == 0 && std::memcmp(check, gRebuiltSector0, kSectorSize) == 0;
}

}  // namespace

uint64_t RebuiltPartitionEnd(uint64_t start, uint64_t size, bool mibLayout, uint64_t limit) {
  const bool cylinder = OnCylinderGrid(start) && !(mibLayout && OnMibGrid(start));
  uint64_t end = cylinder ? NextCylinderBoundary(start + size) : RoundUpToGrid(start + size, PartitionGrid::kMib);
  return std::min(end, limit);
}

void PrepareRebuiltSector0() {
  std::memset(gRebuiltSector0, 0, sizeof gRebuiltSector0);
  std::memcpy(gRebuiltSector0, kStandardBootProgram, kBootProgramBytes);
  gRebuiltSector0[510] = 0x55;
  gRebuiltSector0[511] = 0xAA;
}

int SearchLostPartitions(int disk) {
  char path[32];
  MakeDiskPath(disk, path);
  if (!path[0]) return kSearchDiskError;
  PrepareRebuiltSector0();
  // Sized first: where the size must be found by reading, the reads go
  // through handles of their own.
  const uint64_t diskSectors = DiskSectorCount(path);
  if (OpenDiskHandle(path) != 0) return kSearchDiskError;
  DiskHandleCloser closer;

  uint8_t sector0[kSectorSize];
  if (ReadOpenDisk(path, 0, 1, sector0) != 0) return kSearchDiskError;
  // A GPT disk keeps its partitions elsewhere (and twice): a DOS table
  // written over its protective sector 0 would hide them all.
  uint8_t sector1[kSectorSize];
  const bool haveSector1 = ReadOpenDisk(path, 1, 1, sector1) == 0;
  if (IsGptDisk(sector0, haveSector1 ? sector1 : nullptr)) return kSearchGptDisk;
  if (HasBootSignature(sector0) && ReadPartitionEntry(sector0, 0).sectorCount != 0) return kSearchTableValid;
  // A disk formatted as one volume without a table has its own structures
  // in sector 0.
  FileSystemFound fs;
  if (HasBootSignature(sector0) && RecogniseBootSector(sector0, &fs)) return kSearchTableValid;

  LostPartitionSearch search(path, diskSectors);
  if (search.Run() == 0) return kSearchNothingFound;

  // Windows knows the disk by its signature: keep it.
  std::memcpy(gRebuiltSector0 + kDiskSignatureOffset, sector0 + kDiskSignatureOffset, 4);
  if (!IsConsistentRebuiltTable(gRebuiltSector0, diskSectors)) return kSearchInconsistent;
  if (!KeepPreviousSector0(disk, sector0)) return kSearchCannotKeepOld;

  return WritePartitionTable(path) ? kSearchWritten : kSearchWriteFailed;
}
