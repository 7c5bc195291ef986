// The NTFS unformat scan. A new format writes a new MFT, usually somewhere
// else or only over its first few dozen records; the old MFT's records of
// user files are left where they were. The scan finds where the old MFT began
// (from a system file record that tells it), then reads it 1 KB at a time and
// lists every file record that was in use, with its folders rebuilt from the
// parent references.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bytes.h"
#include "disk/block_read.h"
#include "disk/raw.h"
#include "ntfs/ntfs_path.h"
#include "ntfs/ntfs_record.h"
#include "ntfs/ntfs_volume.h"
#include "records/records.h"
#include "state.h"
#include "unformat/unformat.h"
#include "unformat/unformat_internal.h"
#include "volume/boot.h"
#include "volume/sector_zero.h"

using unformat::SendPath;
using unformat::SendProgress;
using unformat::StopRequested;

namespace {

constexpr uint32_t kBlockSectors = 8192;            // 4 MB read at a time
constexpr uint64_t kLocateLimit = 6356992;          // 0x610000: past where Windows puts the MFT
constexpr uint32_t kMaxSpc = 4096;                   // 2 MB clusters, the largest Windows makes
constexpr int kMaxParentDepth = 256;                 // a longer chain loops or is damaged
constexpr size_t kNtfsPathBytes = 260 - 1;           // the pages take at most 260 bytes with the NUL
constexpr uint64_t kFirstUserRecord = 16;            // records below are the file system's own

// The record's name is this ASCII text and it lies in the root folder.
bool IsSystemFile(const NtfsFileName& fn, const char* ascii) {
  const size_t n = std::strlen(ascii);
  if (fn.length != n || RefRecord(fn.parentRef) != kNtfsRootRecord) return false;
  for (size_t i = 0; i < n; ++i)
    if (ReadLe16(fn.name + 2 * i) != static_cast<uint8_t>(ascii[i])) return false;
  return true;
}

struct MftCandidate {
  uint64_t start = 0;
  uint32_t spc = 0;
};

class MftLocator {
 public:
  MftLocator(HANDLE volume, int driveIndex, uint64_t volumeSectors)
      : volume_(volume), driveIndex_(driveIndex), volumeSectors_(volumeSectors) {}

  // What a prepared, in-use record at sector s says of its MFT's start.
  bool Examine(const uint8_t* record, uint64_t s, MftCandidate* out);
  // The records at start are the MFT mirror's copies: its first record is a
  // $MFT whose data lies elsewhere. The copies of $MFTMirr, $LogFile and
  // $Volume there tell the same story as the real ones and must not be taken
  // for an MFT.
  bool IsMirror(const MftCandidate& c) const;

 private:
  bool ReadAt(uint64_t sector, uint32_t count, uint8_t* buffer) const {
    return sector + count <= volumeSectors_ &&
           ReadVolumeSectors(driveIndex_, sector, count, buffer, volume_) == 0;
  }
  // Tries the cluster sizes in turn: the first whose data at the file's first
  // cluster passes the test, and that puts the MFT's start on a cluster.
  template <typename Test>
  bool TryClusterSizes(uint64_t lcn, uint64_t recordSector, uint64_t recordIndex, Test test, MftCandidate* out);

  HANDLE volume_;
  int driveIndex_;
  uint64_t volumeSectors_;
};

template <typename Test>
bool MftLocator::TryClusterSizes(uint64_t lcn, uint64_t recordSector, uint64_t recordIndex, Test test,
                                 MftCandidate* out) {
  const uint64_t back = recordIndex * kMftRecordSectors;
  if (recordSector < back) return false;
  const uint64_t start = recordSector - back;
  uint8_t data[kMftRecordBytes];
  for (uint32_t spc = 1; spc <= kMaxSpc; spc <<= 1) {
    if (start % spc != 0 || lcn > (volumeSectors_ / spc)) continue;
    if (!test(lcn * spc, data)) continue;
    out->start = start;
    out->spc = spc;
    return true;
  }
  return false;
}

bool MftLocator::Examine(const uint8_t* record, uint64_t s, MftCandidate* out) {
  NtfsFileName fn;
  if (!ChooseFileName(record, kMftRecordBytes, &fn)) return false;
  std::vector<NtfsRun> runs;
  auto firstLcn = [&](uint64_t* lcn) {
    if (ReadAttributeRuns(record, kAttrData, &runs) != 0 || runs.empty() || runs[0].sparse) return false;
    *lcn = runs[0].lcn;
    return true;
  };
  uint64_t lcn = 0;
  if (IsSystemFile(fn, "$MFT")) {
    // Its data is the MFT itself: the first run starts at this very record.
    if (!firstLcn(&lcn)) return false;
    return TryClusterSizes(lcn, s, 0, [&](uint64_t at, uint8_t*) { return at == s; }, out);
  }
  if (IsSystemFile(fn, "$MFTMirr")) {
    if (!firstLcn(&lcn)) return false;
    return TryClusterSizes(lcn, s, 1, [&](uint64_t at, uint8_t* data) {
      NtfsFileName copy;
      return ReadAt(at, kMftRecordSectors, data) && PrepareFileRecord(data) &&
             ChooseFileName(data, kMftRecordBytes, &copy) && IsSystemFile(copy, "$MFT");
    }, out);
  }
  if (IsSystemFile(fn, "$LogFile")) {
    if (!firstLcn(&lcn)) return false;
    return TryClusterSizes(lcn, s, 2, [&](uint64_t at, uint8_t* data) {
      return ReadAt(at, 1, data) && std::memcmp(data, "RSTR", 4) == 0;
    }, out);
  }
  if (IsSystemFile(fn, "$AttrDef")) {
    if (!firstLcn(&lcn)) return false;
    return TryClusterSizes(lcn, s, 4, [&](uint64_t at, uint8_t* data) {
      return ReadAt(at, 1, data) && std::memcmp(data, "$\0S\0", 4) == 0 && data[0x80] == 0x10;
    }, out);
  }
  if (IsSystemFile(fn, "$UpCase")) {
    if (!firstLcn(&lcn)) return false;
    return TryClusterSizes(lcn, s, 10, [&](uint64_t at, uint8_t* data) {
      if (!ReadAt(at, 1, data)) return false;
      for (int i = 0; i < 8; ++i)
        if (ReadLe16(data + 2 * i) != i) return false;
      return true;
    }, out);
  }
  return false;
}

bool MftLocator::IsMirror(const MftCandidate& c) const {
  uint8_t record[kMftRecordBytes];
  NtfsFileName fn;
  std::vector<NtfsRun> runs;
  if (!ReadAt(c.start, kMftRecordSectors, record) || !PrepareFileRecord(record) ||
      !ChooseFileName(record, kMftRecordBytes, &fn) || !IsSystemFile(fn, "$MFT"))
    return false;
  return ReadAttributeRuns(record, kAttrData, &runs) == 0 && !runs.empty() && runs[0].lcn * c.spc != c.start;
}

void ToLocalSystemTime(const FILETIME& utc, SYSTEMTIME* out) {
  FILETIME local;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, out)) std::memset(out, 0, sizeof *out);
}

// names[0] is the file, then its folders outwards. The outermost folders are
// left out when the whole does not fit.
std::string JoinInnermostFirst(const std::vector<std::string>& names) {
  std::string path = names.empty() ? std::string() : names[0].substr(0, kNtfsPathBytes);
  for (size_t k = 1; k < names.size(); ++k) {
    if (names[k].size() + 1 + path.size() > kNtfsPathBytes) break;
    path = names[k] + "\\" + path;
  }
  return path;
}

class NtfsUnformatScan {
 public:
  NtfsUnformatScan(NtfsVolume& volume, int driveIndex, bool linear, uint32_t spc)
      : volume_(volume), folders_(volume, gNtfsFolderCacheLimit), driveIndex_(driveIndex), linear_(linear), spc_(spc) {}

  // 0, -2 stopped.
  int ScanRun(const NtfsRun& run, uint64_t extent);
  // Without an MFT to follow: every sector of the volume is tested for the
  // start of a record, since nothing tells where the old MFT's records lie
  // or how large its clusters were. 0, -2 stopped.
  int ScanLinear(uint64_t extent);
  bool full() const { return full_; }
  // Sectors whose records are copies of the MFT's own (its mirror): with
  // large clusters the mirror's one cluster holds the first thousands of
  // records, users' files among them, which must not be listed twice.
  void SkipSectors(uint64_t first, uint64_t end) { skipped_.push_back({first, end}); }
  // The cluster size the old folders' index blocks agree on (each folder
  // with an index allocation names a cluster that must begin with "INDX"),
  // 0 when none tells.
  uint32_t VoteClusterSize(uint64_t extent) const;

 private:
  // false when the scan must stop.
  bool Examine(uint8_t* record, uint64_t sector);
  void FolderPath(uint64_t parentRef, std::vector<std::string>* names);

  NtfsVolume& volume_;
  NtfsFolderCache folders_;
  int driveIndex_;
  bool linear_;
  uint32_t spc_;
  bool full_ = false;
  std::vector<uint64_t> indexClusters_;   // first cluster of folders' index allocations
  std::vector<std::pair<uint64_t, uint64_t>> skipped_;   // [first, end) sectors
};

constexpr size_t kIndexSamples = 32;

int NtfsUnformatScan::ScanRun(const NtfsRun& run, uint64_t extent) {
  if (run.sparse || run.lcn >= extent / spc_) return 0;
  const uint64_t runStart = run.lcn * spc_;
  const uint64_t runEnd = (run.lcn + std::min(run.length, extent / spc_ - run.lcn)) * spc_;
  const uint64_t end = std::min(extent, runEnd);
  // Records begin every 1 KB of the MFT, not of the run: with 512-byte
  // clusters a run may begin with the second half of a record (read with the
  // run before it) and end with the first half of one, read from both runs.
  const uint64_t startByte = run.vcn * spc_ * kSectorSize;
  const uint64_t first = runStart + (startByte % kMftRecordBytes != 0 ? 1 : 0);
  if (first >= end) return 0;
  std::vector<uint8_t> block(static_cast<size_t>(kBlockSectors) * kSectorSize);
  for (uint64_t sector = first; sector + kMftRecordSectors <= end && !full_; sector += kBlockSectors) {
    if (StopRequested()) return -2;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kBlockSectors, end - sector)) & ~1u;
    if (ReadVolumeSectors(driveIndex_, sector, n, block.data(), volume_.handle()) != 0) {
      // Salvage the records that can still be read.
      for (uint32_t i = 0; i < n; i += kMftRecordSectors) {
        uint8_t* p = block.data() + static_cast<size_t>(i) * kSectorSize;
        if (ReadVolumeSectors(driveIndex_, sector + i, kMftRecordSectors, p, volume_.handle()) != 0)
          std::memset(p, 0, kMftRecordBytes);
      }
    }
    SendProgress(extent, sector);
    for (uint32_t i = 0; i < n; i += kMftRecordSectors)
      if (!Examine(block.data() + static_cast<size_t>(i) * kSectorSize, sector + i)) return full_ ? 0 : -2;
  }
  // Only where the run itself ends, not the volume.
  const bool wholeRun = run.length <= extent / spc_ - run.lcn && runEnd == end;
  if (!full_ && wholeRun && (end - first) % kMftRecordSectors != 0) {
    const uint64_t number = (startByte + (end - 1 - runStart) * kSectorSize) / kMftRecordBytes;
    uint8_t record[kMftRecordBytes];
    if (volume_.ReadRecord(number, record) && !Examine(record, end - 1)) return full_ ? 0 : -2;
  }
  return 0;
}

int NtfsUnformatScan::ScanLinear(uint64_t extent) {
  // One sector more than a block, so a record that begins in a block's last
  // sector is read whole.
  std::vector<uint8_t> block(static_cast<size_t>(kBlockSectors + 1) * kSectorSize);
  uint8_t record[kMftRecordBytes];
  for (uint64_t sector = 0; sector + kMftRecordSectors <= extent && !full_; sector += kBlockSectors) {
    if (StopRequested()) return -2;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kBlockSectors + 1, extent - sector));
    ReadBlockOrPieces(
        [&](uint64_t at, uint32_t count, uint8_t* out) {
          return ReadVolumeSectors(driveIndex_, at, count, out, volume_.handle()) == 0;
        },
        sector, n, 1, block.data());
    SendProgress(extent, sector);
    const uint32_t starts = std::min<uint32_t>(kBlockSectors, n - 1);
    for (uint32_t i = 0; i < starts; ++i) {
      const uint8_t* p = block.data() + static_cast<size_t>(i) * kSectorSize;
      if (!HasFileMagic(p)) continue;
      std::memcpy(record, p, kMftRecordBytes);
      NtfsAttribute index;
      std::vector<NtfsRun> runs;
      if (indexClusters_.size() < kIndexSamples && (RecordFlags(record) & kRecordIsFolder) &&
          PrepareFileRecord(record) && FindAttribute(record, kMftRecordBytes, kAttrIndexAllocation, false, &index) &&
          index.nonResident && index.lowestVcn == 0) {
        DecodeRunList(index.runList, index.runListLength, 0, &runs);
        if (!runs.empty() && !runs[0].sparse && runs[0].lcn != 0) indexClusters_.push_back(runs[0].lcn);
      }
      if (!Examine(record, sector + i)) return full_ ? 0 : -2;
    }
  }
  return 0;
}

uint32_t NtfsUnformatScan::VoteClusterSize(uint64_t extent) const {
  uint32_t best = 0, bestVotes = 0;
  uint8_t sector[kSectorSize];
  for (uint32_t spc = 1; spc <= kMaxSpc; spc <<= 1) {
    uint32_t votes = 0;
    for (uint64_t lcn : indexClusters_) {
      if (lcn >= extent / spc) continue;
      if (ReadVolumeSectors(driveIndex_, lcn * spc, 1, sector, volume_.handle()) == 0 &&
          std::memcmp(sector, "INDX", 4) == 0)
        ++votes;
    }
    if (votes > bestVotes) {
      best = spc;
      bestVotes = votes;
    }
  }
  return best;
}

// The folder part of a file's path, innermost first, into names (after the
// file's own name). The walk ends at the root, at a loop, or at a parent that
// is not (or no longer) the folder the reference means: when that is the
// file's own parent, its record number stands in for it.
void NtfsUnformatScan::FolderPath(uint64_t parentRef, std::vector<std::string>* names) {
  if (linear_) {
    char lost[32];
    std::snprintf(lost, sizeof lost, "DIR%llu", static_cast<unsigned long long>(RefRecord(parentRef)));
    names->push_back(lost);
    return;
  }
  std::vector<uint64_t> visited;
  uint64_t ref = parentRef;
  for (int depth = 0; depth < kMaxParentDepth; ++depth) {
    const uint64_t parent = RefRecord(ref);
    if (parent == kNtfsRootRecord) break;
    if (std::find(visited.begin(), visited.end(), parent) != visited.end()) break;
    visited.push_back(parent);
    const NtfsFolderInfo& info = folders_.Get(parent);
    if (!info.readable || !info.folder || !ReferenceMatches(info, ref)) {
      if (depth == 0) {
        char lost[32];
        std::snprintf(lost, sizeof lost, "DIR%llu", static_cast<unsigned long long>(parent));
        names->push_back(lost);
      }
      break;
    }
    names->push_back(info.name);
    ref = info.parentRef;
  }
  folders_.EndWalk();
}

bool NtfsUnformatScan::Examine(uint8_t* record, uint64_t sector) {
  if (!HasFileMagic(record)) return true;
  for (const auto& range : skipped_)
    if (sector >= range.first && sector < range.second) return true;
  const uint16_t flags = RecordFlags(record);
  if (flags == 0 || (flags & kRecordIsFolder)) return true;
  if (!PrepareFileRecord(record) || RecordBaseReference(record) != 0) return true;

  NtfsFileName fn;
  uint8_t scratch[kMftRecordBytes];
  char name[kNtfsPathBytes + 1];
  if (!FindRecordName(&volume_, record, scratch, &fn) || !NtfsNameToComponent(fn.name, fn.length, name, sizeof name))
    return true;
  // The file system's own files ($MFT, $LogFile, ...) of the old or the new
  // format are not the user's files.
  if (name[0] == '$' && RefRecord(fn.parentRef) == kNtfsRootRecord && ReadLe32(record + 44) < kFirstUserRecord)
    return true;
  NtfsTimes times;
  if (!ReadStandardTimes(record, kMftRecordBytes, &times)) return true;
  uint64_t size = 0;
  if (!UnnamedDataSize(&volume_, record, &size)) return true;
  if (gUnformatNtfsFiles.size() >= kMaxUnformatRecords) {
    full_ = true;
    return false;
  }

  std::vector<std::string> names{name};
  FolderPath(fn.parentRef, &names);
  const std::string path = JoinInnermostFirst(names);

  UnformatNtfsRecord r;
  std::memset(&r, 0, sizeof r);
  r.driveIndex = static_cast<uint8_t>(driveIndex_);
  r.selected = 0;
  r.recordSector = sector;
  std::memcpy(r.path, path.data(), std::min(path.size(), kNtfsPathBytes));
  ToLocalSystemTime(times.created, &r.created);
  ToLocalSystemTime(times.modified, &r.modified);
  ToLocalSystemTime(times.accessed, &r.accessed);
  SetUnformatNtfsSize(&r, size);
  r.sectorsPerCluster = EncodeClusterSectors(spc_);
  gUnformatNtfsFiles.push_back(r);
  SendPath(r.path);
  return !StopRequested();
}

// The old MFT's record 1, when it is its $MFTMirr, tells where the mirror's
// clusters lie; their records are left out of the scan.
void SkipMirror(NtfsVolume& volume, uint64_t mftStart, NtfsUnformatScan* scan) {
  uint8_t record[kMftRecordBytes];
  NtfsFileName fn;
  std::vector<NtfsRun> runs;
  uint64_t sector = 0;
  if (!volume.RecordSector(1, &sector) || !volume.ReadRecord(1, record) ||
      !ChooseFileName(record, kMftRecordBytes, &fn) || !IsSystemFile(fn, "$MFTMirr") ||
      ReadAttributeRuns(record, kAttrData, &runs) != 0)
    return;
  const NtfsGeometry& g = volume.geometry();
  for (const NtfsRun& run : runs) {
    if (run.sparse || run.lcn >= g.totalClusters) continue;
    const uint64_t first = run.lcn * g.sectorsPerCluster;
    const uint64_t end =
        (run.length > g.totalClusters - run.lcn ? g.totalClusters : run.lcn + run.length) * g.sectorsPerCluster;
    // A mirror said to lie over the MFT's start is a damaged record.
    if (mftStart >= first && mftStart < end) continue;
    scan->SkipSectors(first, end);
  }
}

// Sectors per cluster guessed from the size of a volume when the MFT was not
// found, as Windows chooses them by default.
uint32_t DefaultClusterSize(uint64_t sectors) {
  if (sectors < 1048576) return 1;
  if (sectors < 2097152) return 2;
  if (sectors < 4194304) return 4;
  return 8;
}

}  // namespace

int ReadAttributeRuns(const uint8_t* record, uint32_t type, std::vector<NtfsRun>* runs) {
  runs->clear();
  // A 1 KB record has an update sequence of three words: its own and one per sector.
  if (!HasFileMagic(record) || ReadLe16(record + 6) != 3) return -3;
  NtfsAttribute a;
  if (!FindAttribute(record, kMftRecordBytes, type, type == kAttrData, &a)) return -3;
  if (!a.nonResident) return -1;
  if (!DecodeRunList(a.runList, a.runListLength, a.lowestVcn, runs) && runs->empty()) return -3;
  return runs->empty() ? -3 : 0;
}

int LocateMft(HANDLE volume, int driveIndex, uint64_t volumeSectors, uint64_t* mftStart) {
  *mftStart = 0;
  SectorZero zero;
  NtfsGeometry bootGeometry;
  const bool bootIsNtfs =
      ReadVolumeSectorZero(driveIndex, volume, &zero) && ReadNtfsGeometry(zero.bytes, &bootGeometry);
  MftLocator locator(volume, driveIndex, volumeSectors);
  MftCandidate present;   // the new file system's own MFT
  std::vector<uint8_t> block(static_cast<size_t>(kBlockSectors + 1) * kSectorSize);
  const uint64_t limit = std::min(volumeSectors, kLocateLimit);
  for (uint64_t sector = 0; sector < limit; sector += kBlockSectors) {
    if (StopRequested()) return -2;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kBlockSectors, volumeSectors - sector));
    SendProgress(volumeSectors, sector);
    ReadBlockOrPieces(
        [&](uint64_t at, uint32_t count, uint8_t* out) {
          return ReadVolumeSectors(driveIndex, at, count, out, volume) == 0;
        },
        sector, n, 1, block.data());
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* p = block.data() + static_cast<size_t>(i) * kSectorSize;
      if (!HasFileMagic(p) || !(RecordFlags(p) & kRecordInUse)) continue;
      uint8_t record[kMftRecordBytes];
      if (i + 1 < n) {
        std::memcpy(record, p, kMftRecordBytes);
      } else if (ReadVolumeSectors(driveIndex, sector + i, kMftRecordSectors, record, volume) != 0) {
        continue;
      }
      if (!PrepareFileRecord(record)) continue;
      MftCandidate c;
      if (!locator.Examine(record, sector + i, &c) || locator.IsMirror(c)) continue;
      if (bootIsNtfs && c.start == bootGeometry.mftStartSector) {
        // The MFT of the format that hid the old files: only when no other is found.
        if (!present.spc) present = c;
        continue;
      }
      *mftStart = c.start;
      return static_cast<int>(c.spc);
    }
  }
  if (volumeSectors > kLocateLimit && bootIsNtfs && bootGeometry.sectorsPerCluster <= kMaxSpc) {
    *mftStart = bootGeometry.mftStartSector;
    return static_cast<int>(bootGeometry.sectorsPerCluster);
  }
  if (present.spc) {
    *mftStart = present.start;
    return static_cast<int>(present.spc);
  }
  return -1;
}

int ScanNtfsUnformat(int driveIndex) {
  gUnformatNtfsFiles.clear();
  gUnformatNtfsSource = UnformatNtfsSource();
  SectorZero zero;
  HANDLE handle = OpenVolumeSectorZero(driveIndex, &zero);
  if (!handle) return -1;
  std::unique_ptr<void, void (*)(void*)> closer(handle, [](void* h) { CloseVolume(static_cast<HANDLE>(h)); });
  SendPath(kUnformatStartText);

  // Unread, the sector judges as no boot sector, of no size.
  const bool bootIsNtfs = zero.boot == BootKind::Ntfs;
  const uint64_t bootTotal = zero.fields.totalSectors;
  const uint64_t extent = unformat::ScanExtent(handle, bootTotal);
  if (extent < kMftRecordSectors) return -1;

  uint64_t mftStart = 0;
  int located = LocateMft(handle, driveIndex, extent, &mftStart);
  if (located == -2) return -2;
  const uint32_t spc = located > 0 ? static_cast<uint32_t>(located) : DefaultClusterSize(extent);

  NtfsGeometry g;
  g.sectorsPerCluster = spc;
  g.clusterBytes = spc * kSectorSize;
  g.totalSectors = extent;
  g.totalClusters = extent / spc;
  g.mftCluster = mftStart / spc;
  g.mftStartSector = mftStart;
  NtfsVolume volume(handle, driveIndex, g);

  std::vector<NtfsRun> runs;
  bool linear = false;
  if (mftStart != 0 && (!bootIsNtfs || gOptUseNtfsMft == 1)) {
    uint8_t record[kMftRecordBytes];
    if (!volume.ReadRecordAt(mftStart, record)) return -1;
    // Through LoadMft the MFT's own attribute list is followed too. The
    // volume's copy of the runs has the clusters a damaged run list names
    // twice taken out.
    if (volume.LoadMft()) {
      runs = volume.mftRuns();
    } else if (ReadAttributeRuns(record, kAttrData, &runs) == 0) {
      volume.UseMftRuns(runs);
      runs = volume.mftRuns();
    }
  }
  if (runs.empty() && mftStart != 0) {
    // From the MFT's start to the end of the volume: also what lies past a
    // new, shorter MFT written over the old one's start.
    NtfsRun run;
    run.lcn = mftStart / spc;
    run.length = g.totalClusters > run.lcn ? g.totalClusters - run.lcn : 0;
    if (run.length) runs.push_back(run);
    volume.UseMftRuns(runs);
  }
  if (runs.empty()) linear = true;

  gUnformatNtfsSource.valid = true;
  gUnformatNtfsSource.driveIndex = driveIndex;
  gUnformatNtfsSource.sectorsPerCluster = spc;
  gUnformatNtfsSource.mftStartSector = mftStart;
  gUnformatNtfsSource.volumeSectors = extent;
  gUnformatNtfsSource.linear = linear;
  gUnformatNtfsSource.mftRuns = linear ? std::vector<NtfsRun>() : runs;

  NtfsUnformatScan scan(volume, driveIndex, linear, spc);
  if (!linear) SkipMirror(volume, mftStart, &scan);
  if (linear) {
    const int rc = scan.ScanLinear(extent);
    // The size guessed from the volume's size is a last resort: the old
    // folders' index blocks say where clusters began.
    const uint32_t voted = scan.VoteClusterSize(extent);
    if (voted && voted != spc) {
      gUnformatNtfsSource.sectorsPerCluster = voted;
      for (UnformatNtfsRecord& r : gUnformatNtfsFiles) r.sectorsPerCluster = EncodeClusterSectors(voted);
    }
    return rc;
  }
  for (const NtfsRun& run : runs) {
    const int rc = scan.ScanRun(run, extent);
    if (rc != 0) return rc;
    if (scan.full()) break;
  }
  return 0;
}
