#include "deleted/fat_scan.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "bytes.h"
#include "disk/block_read.h"
#include "disk/raw.h"
#include "fat/fat_entry.h"
#include "fat/fat_volume.h"
#include "messages.h"
#include "progress/progress_gate.h"
#include "signatures/signature_table.h"
#include "source_report.h"
#include "state.h"

std::atomic<uint32_t> gTypeTableProblem{kTypeTableOk};
std::atomic<bool> gFatFreeClusterPass{true};
const char kFat32ScanStartText[] = "正在分析FAT32文件系统，请稍候……";
const char kFolderlessFolderName[] = "找不到所属文件夹的文件";
const char kFreeClusterPassText[] = "正在空闲空间中查找已删除的文件夹：";

namespace {

// Folders nest no deeper than this (a path of 512 bytes cannot hold more).
constexpr int kMaxFolderDepth = 256;
constexpr size_t kMaxRecordPath = sizeof(DeletedFileRecord::path) - 1;
// A target text is cut here by the pages; a part that reaches it may be the
// beginning of a longer name.
constexpr size_t kTargetCutAt = 259;
// The free-cluster pass reads 4 MB at a time, keeps the bytes of at most
// 64 MB of the clusters it finds (the rest are read again when walked) and
// notes at most this many of them.
constexpr uint32_t kPassReadBytes = 4u << 20;
constexpr uint32_t kPassGapBytes = 64u << 10;
constexpr size_t kMaxKeptBytes = 64u << 20;
constexpr size_t kMaxFreeHits = 1u << 20;

struct Directory {
  std::vector<uint8_t> bytes;
  uint32_t firstCluster = 0;   // 0 for the fixed root directory of FAT12/16
  size_t count() const { return bytes.size() / kDirEntrySize; }
  const uint8_t* entry(size_t i) const { return bytes.data() + i * kDirEntrySize; }

  // The last high-word guess: it holds for every entry from `from` up to
  // (not including) `until`, where the next live entry is (or the folder's
  // end), since no live entry lies between. A folder of thousands of deleted
  // entries then costs one walk, not one per entry.
  struct Guess {
    bool valid = false;
    size_t from = 0, until = 0;
    uint16_t word = 0;
  };
  mutable Guess guess;
};

enum class WalkKind { kTarget, kLive, kDeleted };

std::wstring ToWide(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &w[0], n);
  return w;
}

// Names compare as the file system compares them: equal once both are
// upper-cased code unit by code unit, with no linguistic folding.
std::wstring UpperCased(const std::wstring& text) {
  std::wstring upper(text);
  if (!upper.empty())
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()), &upper[0],
                 static_cast<int>(upper.size()));
  return upper;
}

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && (a == b || UpperCased(a) == UpperCased(b));
}

// Offsets of the '\' separators of a text, stepping over two-byte characters
// (whose second byte may be '\').
std::vector<size_t> SeparatorOffsets(const std::string& text, UINT codePage) {
  std::vector<size_t> out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint8_t b = static_cast<uint8_t>(text[i]);
    if (IsDBCSLeadByteEx(codePage, b) && i + 1 < text.size()) {
      ++i;
      continue;
    }
    if (b == '\\') out.push_back(i);
  }
  return out;
}

// Folder path + name, kept within the record's 512 bytes: when it does not
// fit, the file is listed in its deepest ancestor folder that leaves room.
std::string RecordPathFor(const std::string& folder, const std::string& name) {
  if (folder.size() + name.size() <= kMaxRecordPath) return folder + name;
  std::vector<size_t> seps = SeparatorOffsets(folder, CP_OEMCP);
  for (size_t k = seps.size(); k-- > 0;) {
    if (seps[k] + 1 + name.size() <= kMaxRecordPath) return folder.substr(0, seps[k] + 1) + name;
  }
  return "\\" + name.substr(0, kMaxRecordPath - 1);
}

class FatScan {
 public:
  FatScan(HANDLE volume, int driveIndex, const FatGeometry& g, const char* target)
      : vol_(volume, driveIndex, g), g_(g), fat32_(g.type == FatType::kFat32), target_(target) {
    progressPrefix_ = target_;
    while (!progressPrefix_.empty() && progressPrefix_.back() == '\\') progressPrefix_.pop_back();
  }

  int Run() {
    Directory dir;
    // Without its root folder the volume cannot be scanned at all; a target
    // folder that is not there is a scan that finds nothing.
    if (!LoadRoot(&dir)) return kScanCannotRead;
    if (!FindTarget(&dir)) return -1;
    if (dir.firstCluster) liveSeen_.insert(dir.firstCluster);
    folderPaths_[dir.firstCluster] = "\\";
    // The root folder's sub-folders name it as cluster 0 in their "..".
    if (targetIsRoot_) folderPaths_[0] = "\\";
    const int result = Walk(dir, "\\", WalkKind::kTarget, 0) && FreeClusterPass() ? 0 : -1;
    // The page shows the last file found, whatever the gate held back or
    // the free-cluster pass showed since.
    if (!lastRecordText_.empty() && lastSent_ != lastRecordText_) SendProgress(lastRecordText_);
    return result;
  }

 private:
  // --- reading folders

  bool LoadRoot(Directory* dir) {
    if (fat32_) return LoadChainFolder(g_.rootCluster, dir);
    dir->firstCluster = 0;
    dir->bytes.assign(static_cast<size_t>(g_.rootDirSectors) * 512, 0);
    if (vol_.ReadSectors(g_.rootDirSector, g_.rootDirSectors, dir->bytes.data())) return true;
    // Keep the sectors before the first one that cannot be read.
    uint32_t ok = 0;
    while (ok < g_.rootDirSectors && vol_.ReadSectors(g_.rootDirSector + ok, 1, dir->bytes.data() + ok * 512)) ++ok;
    dir->bytes.resize(static_cast<size_t>(ok) * 512);
    return ok > 0;
  }

  bool LoadChainFolder(uint32_t cluster, Directory* dir) {
    uint32_t maxClusters = kMaxDirectoryBytes / g_.clusterBytes();
    if (maxClusters == 0) maxClusters = 1;
    std::vector<uint32_t> chain = vol_.ReadChain(cluster, maxClusters);
    dir->firstCluster = cluster;
    return !chain.empty() && vol_.ReadChainData(chain, &dir->bytes) > 0;
  }

  // --- the target folder

  // The live sub-folder entry of dir named part (or, for a part cut where the
  // pages cut target texts, whose long name begins with it).
  const uint8_t* FindLiveFolder(const Directory& dir, const std::wstring& part, bool cutPart) {
    for (size_t i = 0; i < dir.count(); ++i) {
      const uint8_t* e = dir.entry(i);
      if (IsEndOfDirectory(e)) break;
      if (IsDeletedEntry(e) || IsLabelOrLongName(e) || !IsDirectoryEntry(e)) continue;
      if (IsDotEntry(e) || IsDotDotEntry(e)) continue;
      std::wstring shortName = ToWide(BuildShortFileName(e, false), CP_OEMCP);
      if (SameTextIgnoringCase(shortName, part)) return e;
      std::wstring longName;
      if (!AssembleLongName(dir.bytes.data(), i, &longName)) continue;
      if (SameTextIgnoringCase(longName, part)) return e;
      if (cutPart && longName.size() > part.size() && SameTextIgnoringCase(longName.substr(0, part.size()), part))
        return e;
    }
    return nullptr;
  }

  // dir holds the root folder.
  bool FindTarget(Directory* dir) {
    // "X:\" then folder names separated by '\' (a trailing '\' is allowed).
    if (target_.size() < 3) return true;
    const std::string rest = target_.substr(3);
    std::vector<size_t> seps = SeparatorOffsets(rest, CP_ACP);
    seps.push_back(rest.size());
    size_t start = 0;
    for (size_t sep : seps) {
      std::string part = rest.substr(start, sep - start);
      bool cut = 3 + sep >= kTargetCutAt;
      start = sep + 1;
      if (part.empty()) continue;
      const uint8_t* e = FindLiveFolder(*dir, ToWide(part, CP_ACP), cut);
      if (!e) return false;
      Directory next;
      if (!LoadChainFolder(EntryCluster(e, fat32_), &next)) return false;
      *dir = std::move(next);
      targetIsRoot_ = false;
    }
    return true;
  }

  // --- the walk; false when the scan must end (stopped)

  // from: the first slot to look at (the slots before it are there for a
  // long name that began in them).
  bool Walk(const Directory& dir, const std::string& path, WalkKind kind, int depth, size_t from = 0) {
    for (size_t i = from; i < dir.count(); ++i) {
      if (ScanAbortRequested()) return false;
      const uint8_t* e = dir.entry(i);
      if (IsEndOfDirectory(e)) break;
      if (IsLabelOrLongName(e)) continue;
      const bool deleted = IsDeletedEntry(e);
      if (!deleted && (IsDotEntry(e) || IsDotDotEntry(e))) continue;
      if (kind == WalkKind::kDeleted && deleted && gOptSkipDeletedBeforeFolder) continue;
      const bool asDeleted = deleted || kind == WalkKind::kDeleted;
      if (IsDirectoryEntry(e)) {
        if (depth + 1 >= kMaxFolderDepth) continue;
        if (asDeleted) {
          // A skipped temp folder is still claimed, so that the pass over
          // the free clusters does not bring it back under another name.
          const bool skip = kind == WalkKind::kTarget && deleted && SkipsTempFolder(e);
          std::string sub = path + EntryName(dir.bytes.data(), i, deleted) + "\\";
          if (!WalkDeletedFolder(e, dir.firstCluster, sub, depth + 1, skip)) return false;
        } else {
          std::string sub = path + EntryName(dir.bytes.data(), i, false) + "\\";
          if (!WalkLiveFolder(e, sub, depth + 1)) return false;
        }
      } else if (asDeleted) {
        if (!RecordDeletedFile(dir, i, path)) return false;
      }
    }
    return true;
  }

  bool SkipsTempFolder(const uint8_t* e) const {
    if (gOptSkipTempFolders != 1) return false;
    if (!fat32_ && !targetIsRoot_) return false;
    for (int i = 0; i < 3; ++i) {
      uint8_t c = e[8 + i];
      if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 32);
      if (c != static_cast<uint8_t>("TMP"[i])) return false;
    }
    return true;
  }

  bool WalkLiveFolder(const uint8_t* e, const std::string& path, int depth) {
    uint32_t cluster = EntryCluster(e, fat32_);
    if (!g_.IsValidCluster(cluster) || !liveSeen_.insert(cluster).second) return true;
    Directory dir;
    if (!LoadChainFolder(cluster, &dir)) return true;
    folderPaths_.emplace(cluster, path);
    return Walk(dir, path, WalkKind::kLive, depth);
  }

  // A folder's first cluster begins with its "." entry, naming the cluster
  // itself, and its ".." entry, naming the folder that holds it (0 for the
  // root). A cluster since taken by a folder elsewhere fails the second test.
  bool LooksLikeFolderStart(const uint8_t* p, uint32_t self, uint32_t parent) const {
    if (!IsDotEntry(p) || !IsDotDotEntry(p + kDirEntrySize)) return false;
    if (EntryCluster(p, fat32_) != self) return false;
    uint32_t up = EntryCluster(p + kDirEntrySize, fat32_);
    bool parentIsRoot = parent == 0 || (fat32_ && parent == g_.rootCluster);
    return up == parent || (parentIsRoot && up == 0);
  }

  // One cluster, from what the free-cluster pass kept of it when it did.
  bool ReadCluster(uint32_t cluster, std::vector<uint8_t>* bytes) {
    auto kept = keptClusters_.find(cluster);
    if (kept != keptClusters_.end()) {
      *bytes = kept->second;
      return true;
    }
    bytes->assign(g_.clusterBytes(), 0);
    return vol_.ReadSectors(g_.ClusterToSector(cluster), g_.sectorsPerCluster, bytes->data());
  }

  bool ReadFolderStart(uint32_t cluster, uint32_t parent, std::vector<uint8_t>* bytes) {
    return ReadCluster(cluster, bytes) && LooksLikeFolderStart(bytes->data(), cluster, parent);
  }

  // A cluster whose FAT entry cannot be read counts as free: reading it in
  // place is all that is left.
  bool IsFreeCluster(uint32_t cluster) {
    uint32_t value = 0;
    return !vol_.FatEntry(cluster, &value) || value == 0;
  }

  // A cluster that can carry on a deleted folder: free in the FAT, taken by
  // no folder read so far, entries all through, and not the start of a
  // folder of its own.
  bool ContinuesFolder(uint32_t cluster, std::vector<uint8_t>* bytes, bool* ended) {
    if (!g_.IsValidCluster(cluster) || claimed_.count(cluster) || !IsFreeCluster(cluster)) return false;
    if (!ReadCluster(cluster, bytes)) return false;
    const uint8_t* p = bytes->data();
    if (IsDotEntry(p) || IsDotDotEntry(p + kDirEntrySize)) return false;
    return ParsesAsDirectoryEntries(p, bytes->size(), g_.maxCluster(), fat32_, ended);
  }

  // A deleted folder's chain is gone, but a folder written in one go lies
  // on the disk as it was written: each cluster after its first is the one
  // that came next, either right after the last one or right after the data
  // of the last entry it got. The folder is read on through such clusters
  // while they are free and parse, up to its end slot or the largest folder
  // the format allows. true when the end slot was read; *last is the last
  // cluster taken.
  bool ReadOnDeletedFolder(Directory* dir, uint32_t* last) {
    const size_t cb = g_.clusterBytes();
    const size_t maxClusters = std::max<size_t>(1, kMaxDirectoryBytes / cb);
    *last = dir->firstCluster;
    bool ended = false;
    ParsesAsDirectoryEntries(dir->bytes.data(), cb, g_.maxCluster(), fat32_, &ended);
    std::vector<uint8_t> next;
    for (size_t n = 1; n < maxClusters && !ended; ++n) {
      const uint8_t* tail = dir->bytes.data() + dir->bytes.size() - cb;
      const uint32_t candidates[2] = {*last + 1, ClusterAfterLastEntry(tail, cb, static_cast<uint32_t>(cb), fat32_)};
      uint32_t taken = 0;
      for (uint32_t c : candidates) {
        if (c != 0 && ContinuesFolder(c, &next, &ended)) {
          taken = c;
          break;
        }
      }
      if (taken == 0) break;
      claimed_.insert(taken);
      dir->bytes.insert(dir->bytes.end(), next.begin(), next.end());
      *last = taken;
    }
    return ended;
  }

  // skip: the folder is claimed (its clusters are not read again) but not walked.
  bool WalkDeletedFolder(const uint8_t* e, uint32_t parent, const std::string& path, int depth, bool skip = false) {
    uint32_t cluster = EntryCluster(e, fat32_);
    std::vector<uint8_t> start;
    bool found = g_.IsValidCluster(cluster) && ReadFolderStart(cluster, parent, &start);
    if (!found && fat32_ && EntryHighWord(e) == 0) {
      // The high half of the cluster number may have been cleared on
      // deletion: the "." entry of the right candidate names that candidate.
      uint8_t sector[512];
      for (uint32_t h = 1; !found && h <= (g_.maxCluster() >> 16); ++h) {
        uint32_t c = h << 16 | EntryLowWord(e);
        if (!g_.IsValidCluster(c) || !vol_.ReadSectors(g_.ClusterToSector(c), 1, sector)) continue;
        if (!LooksLikeFolderStart(sector, c, parent)) continue;
        cluster = c;
        found = ReadFolderStart(cluster, parent, &start);
      }
    }
    if (!found) return true;
    return WalkDeletedFolderAt(cluster, std::move(start), path, depth, skip);
  }

  // start holds the folder's first cluster, already checked.
  bool WalkDeletedFolderAt(uint32_t cluster, std::vector<uint8_t> start, const std::string& path, int depth,
                           bool skip = false) {
    if (!claimed_.insert(cluster).second) return true;
    Directory dir;
    dir.firstCluster = cluster;
    dir.bytes = std::move(start);
    uint32_t last = cluster;
    const bool ended = ReadOnDeletedFolder(&dir, &last);
    if (!ended && openFolders_.size() < kMaxFreeHits) {
      const size_t cb = g_.clusterBytes();
      openFolders_.push_back(
          {path, depth, cluster, last, std::vector<uint8_t>(dir.bytes.end() - cb, dir.bytes.end()), skip});
    }
    if (skip) return true;
    folderPaths_.emplace(cluster, path);
    return Walk(dir, path, WalkKind::kDeleted, depth);
  }

  // A free cluster the walk did not reach that parses as folder entries.
  struct FreeHit {
    uint32_t cluster;
    bool folderStart;   // "." naming itself, then ".."
    uint32_t parent;    // what its ".." names
  };

  // A deleted folder whose end the walk did not reach: the clusters after
  // its last one were not free, or held other data first. A folder written
  // in one go is given its next cluster after the data of the file whose
  // entry no longer fitted: the continuation is the found cluster whose
  // first entry's data begins right after the data of the folder's last
  // entry (or, failing that, the cluster right after its last).
  struct OpenFolder {
    std::string path;
    int depth;
    uint32_t first;   // the folder's first cluster (its own high word, for guesses)
    uint32_t last;
    std::vector<uint8_t> tail;   // the last cluster read
    bool skip;                   // claimed, not walked (a skipped temp folder)
  };

  // The first short entry of a cluster and the cluster its data begins at.
  uint32_t FirstEntryCluster(const std::vector<uint8_t>& bytes) const {
    for (size_t i = 0; i < bytes.size() / kDirEntrySize; ++i) {
      const uint8_t* e = bytes.data() + i * kDirEntrySize;
      if (IsEndOfDirectory(e)) return 0;
      if (IsLabelOrLongName(e)) continue;
      return EntryCluster(e, fat32_);
    }
    return 0;
  }

  // Carries on every open folder through the found clusters. false when stopped.
  bool ContinueOpenFolders(const std::unordered_map<uint32_t, size_t>& byFirstEntry, const std::vector<FreeHit>& hits,
                           const std::unordered_set<uint32_t>& continuations) {
    const size_t cb = g_.clusterBytes();
    const size_t maxClusters = std::max<size_t>(1, kMaxDirectoryBytes / cb);
    std::vector<uint8_t> bytes;
    while (!openFolders_.empty()) {
      OpenFolder f = std::move(openFolders_.back());
      openFolders_.pop_back();
      for (size_t n = 1; n < maxClusters; ++n) {
        uint32_t next = 0;
        const uint32_t after = ClusterAfterLastEntry(f.tail.data(), cb, static_cast<uint32_t>(cb), fat32_);
        auto it = after ? byFirstEntry.find(after) : byFirstEntry.end();
        if (it != byFirstEntry.end() && !claimed_.count(hits[it->second].cluster))
          next = hits[it->second].cluster;
        else if (continuations.count(f.last + 1) && !claimed_.count(f.last + 1))
          next = f.last + 1;
        if (next == 0 || !ReadCluster(next, &bytes)) break;
        claimed_.insert(next);
        Directory dir;
        dir.firstCluster = f.first;
        dir.bytes = f.tail;
        dir.bytes.insert(dir.bytes.end(), bytes.begin(), bytes.end());
        if (!f.skip && !Walk(dir, f.path, WalkKind::kDeleted, f.depth, cb / kDirEntrySize)) return false;
        bool ended = false;
        ParsesAsDirectoryEntries(bytes.data(), cb, g_.maxCluster(), fat32_, &ended);
        if (ended) break;
        f.tail = bytes;
        f.last = next;
      }
    }
    return true;
  }

  // --- the free-cluster pass

  void SendPassProgress(uint32_t cluster) {
    if (!gScanWindow || !gate_.Due()) return;
    const uint64_t done = cluster - 2, all = g_.clusterCount ? g_.clusterCount : 1;
    char text[128];
    std::snprintf(text, sizeof text, "%s%u%%", kFreeClusterPassText,
                  static_cast<unsigned>(std::min<uint64_t>(100, done * 100 / all)));
    SendProgress(text);
  }

  // Reads the free clusters of the data area, in disk order and in large
  // runs, each at most once; allocated ones are read only where a short gap
  // between free ones is read through, and never looked at. The clusters
  // that hold folder entries are noted (and their bytes kept, up to a bound).
  // false when stopped.
  bool FindFreeFolderClusters(std::vector<FreeHit>* hits) {
    const uint32_t cb = g_.clusterBytes();
    const uint32_t runMax = std::max<uint32_t>(1, kPassReadBytes / cb);
    std::vector<uint8_t> block(static_cast<size_t>(runMax) * cb);
    std::vector<uint8_t> free;   // per cluster of the run: free in the FAT
    size_t keptBytes = 0;
    gate_.Reset();   // the page shows at once that the pass has begun
    uint32_t c = 2;
    while (c <= g_.maxCluster()) {
      if (ScanAbortRequested()) return false;
      SendPassProgress(c);
      if (!IsFreeCluster(c)) {
        ++c;
        continue;
      }
      // A run from this free cluster to the last free one before a gap of
      // allocated clusters longer than kPassGapBytes: a few allocated
      // clusters cost less read through than a read of their own after them.
      const uint32_t gapMax = std::max<uint32_t>(1, kPassGapBytes / cb);
      free.assign(1, 1);
      uint32_t run = 1, lastFree = 0;
      while (run < runMax && c + run <= g_.maxCluster() && run - lastFree <= gapMax) {
        const bool isFree = IsFreeCluster(c + run);
        free.push_back(isFree ? 1 : 0);
        if (isFree) lastFree = run;
        ++run;
      }
      run = lastFree + 1;
      // A run with a bad sector is read again cluster by cluster.
      ReadBlockOrPieces([&](uint64_t at, uint32_t n, uint8_t* out) { return vol_.ReadSectors(at, n, out); },
                        g_.ClusterToSector(c), run * g_.sectorsPerCluster, g_.sectorsPerCluster, block.data());
      for (uint32_t i = 0; i < run; ++i) {
        const uint8_t* p = block.data() + static_cast<size_t>(i) * cb;
        const uint32_t at = c + i;
        if (!free[i] || IsEndOfDirectory(p) || claimed_.count(at)) continue;
        if (!ParsesAsDirectoryEntries(p, cb, g_.maxCluster(), fat32_, nullptr)) continue;
        if (hits->size() >= kMaxFreeHits) break;
        FreeHit h{at, false, 0};
        if (IsDotEntry(p) && IsDotDotEntry(p + kDirEntrySize) && EntryCluster(p, fat32_) == at) {
          h.folderStart = true;
          h.parent = EntryCluster(p + kDirEntrySize, fat32_);
          if (fat32_ && h.parent == g_.rootCluster) h.parent = 0;
        } else if (IsDotEntry(p) || IsDotDotEntry(p + kDirEntrySize)) {
          continue;   // a copy of a folder's start, naming another cluster
        }
        hits->push_back(h);
        if (keptBytes + cb <= kMaxKeptBytes) {
          keptClusters_.emplace(at, std::vector<uint8_t>(p, p + cb));
          keptBytes += cb;
        }
      }
      c += run;
    }
    return true;
  }

  // The name a folder had: from a folder entry naming its cluster in the
  // free clusters that carried on lost folders.
  std::string LostFolderName(uint32_t cluster) const {
    auto it = lostNames_.find(cluster);
    if (it != lostNames_.end()) return it->second;
    char name[24];
    std::snprintf(name, sizeof name, "DIR%u", cluster);
    return name;
  }

  void NoteLostNames(const std::vector<FreeHit>& hits) {
    std::vector<uint8_t> bytes;
    for (const FreeHit& h : hits) {
      if (h.folderStart || !ReadCluster(h.cluster, &bytes)) continue;
      for (size_t i = 0; i < bytes.size() / kDirEntrySize; ++i) {
        const uint8_t* e = bytes.data() + i * kDirEntrySize;
        if (IsEndOfDirectory(e)) break;
        if (IsLabelOrLongName(e) || !IsDirectoryEntry(e) || IsDotEntry(e) || IsDotDotEntry(e)) continue;
        if (lostNames_.size() < kMaxFreeHits)
          lostNames_.emplace(EntryCluster(e, fat32_), EntryName(bytes.data(), i, IsDeletedEntry(e)));
      }
    }
  }

  // Walks the folder starts whose ".." names a folder with a path, then
  // those whose ".." names them, and so on. false when stopped.
  bool WalkFoundStarts(const std::vector<FreeHit>& hits, std::vector<uint32_t> known) {
    std::unordered_multimap<uint32_t, size_t> byParent;
    for (size_t i = 0; i < hits.size(); ++i)
      if (hits[i].folderStart) byParent.emplace(hits[i].parent, i);
    std::vector<uint8_t> bytes;
    while (!known.empty()) {
      const uint32_t parent = known.back();
      known.pop_back();
      auto pathIt = folderPaths_.find(parent);
      if (pathIt == folderPaths_.end()) continue;
      const std::string parentPath = pathIt->second;
      const int depth = static_cast<int>(SeparatorOffsets(parentPath, CP_OEMCP).size());
      auto range = byParent.equal_range(parent);
      for (auto it = range.first; it != range.second; ++it) {
        const FreeHit& h = hits[it->second];
        if (claimed_.count(h.cluster) || depth + 1 >= kMaxFolderDepth) continue;
        if (!ReadCluster(h.cluster, &bytes)) continue;
        if (!WalkDeletedFolderAt(h.cluster, bytes, parentPath + LostFolderName(h.cluster) + "\\", depth))
          return false;
        known.push_back(h.cluster);
      }
    }
    return true;
  }

  // After the walk: the free clusters that hold folder entries no walk
  // reached. A folder start whose ".." leads to a folder the walk knows goes
  // under that folder's path; what is left (clusters that carried on a lost
  // folder past its start, starts whose folder is not known) goes under a
  // folder of its own at the root, which says so. Scanned from the root only:
  // a target folder takes what leads back to it. false when stopped.
  bool FreeClusterPass() {
    if (!gFatFreeClusterPass.load()) return true;
    std::vector<FreeHit> hits;
    if (!FindFreeFolderClusters(&hits)) return false;
    if (hits.empty()) return true;
    NoteLostNames(hits);
    std::unordered_map<uint32_t, size_t> byFirstEntry;
    std::unordered_set<uint32_t> continuations;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < hits.size(); ++i) {
      if (hits[i].folderStart) continue;
      continuations.insert(hits[i].cluster);
      if (!ReadCluster(hits[i].cluster, &bytes)) continue;
      const uint32_t first = FirstEntryCluster(bytes);
      if (first >= 2) byFirstEntry.emplace(first, i);
    }
    if (!ContinueOpenFolders(byFirstEntry, hits, continuations)) return false;
    std::vector<uint32_t> known;
    for (const auto& f : folderPaths_) known.push_back(f.first);
    if (!WalkFoundStarts(hits, std::move(known))) return false;
    if (!ContinueOpenFolders(byFirstEntry, hits, continuations)) return false;
    if (!targetIsRoot_) return true;

    const std::string lost = std::string("\\") + kFolderlessFolderName + "\\";
    // Clusters that carried on a folder: runs of neighbours read as one
    // folder (a long name may cross from one into the next), then what
    // carries on from them.
    for (size_t i = 0; i < hits.size(); ++i) {
      if (hits[i].folderStart || claimed_.count(hits[i].cluster)) continue;
      Directory dir;
      dir.firstCluster = hits[i].cluster;
      for (size_t j = i; j < hits.size() && dir.bytes.size() < kMaxDirectoryBytes; ++j) {
        const FreeHit& h = hits[j];
        if (h.folderStart || claimed_.count(h.cluster) || h.cluster != hits[i].cluster + (j - i)) break;
        if (!ReadCluster(h.cluster, &bytes)) break;
        claimed_.insert(h.cluster);
        dir.bytes.insert(dir.bytes.end(), bytes.begin(), bytes.end());
      }
      if (dir.bytes.empty()) continue;
      if (!Walk(dir, lost, WalkKind::kDeleted, 1)) return false;
      const size_t cb = g_.clusterBytes();
      bool ended = false;
      ParsesAsDirectoryEntries(dir.bytes.data() + dir.bytes.size() - cb, cb, g_.maxCluster(), fat32_, &ended);
      if (!ended) {
        const uint32_t last = dir.firstCluster + static_cast<uint32_t>(dir.bytes.size() / cb) - 1;
        openFolders_.push_back(
            {lost, 1, dir.firstCluster, last, std::vector<uint8_t>(dir.bytes.end() - cb, dir.bytes.end()), false});
      }
      if (!ContinueOpenFolders(byFirstEntry, hits, continuations)) return false;
    }
    // Starts of folders whose parent is nowhere: the top ones first, then
    // the folders below them through their "..".
    std::unordered_set<uint32_t> starts;
    for (const FreeHit& h : hits)
      if (h.folderStart) starts.insert(h.cluster);
    for (int round = 0; round < 2; ++round) {
      for (const FreeHit& h : hits) {
        if (!h.folderStart || claimed_.count(h.cluster)) continue;
        // Round 0 takes the tops; round 1 what loops among itself.
        if (round == 0 && starts.count(h.parent) && h.parent != h.cluster) continue;
        if (!ReadCluster(h.cluster, &bytes)) continue;
        if (!WalkDeletedFolderAt(h.cluster, bytes, lost + LostFolderName(h.cluster) + "\\", 1)) return false;
        if (!WalkFoundStarts(hits, {h.cluster})) return false;
        if (!ContinueOpenFolders(byFirstEntry, hits, continuations)) return false;
      }
    }
    return true;
  }

  // --- records

  bool TypeTable(int* index, const std::string& extension) {
    if (tableState_ == 0) {
      SignatureTableStatus s = table_.Load(SignatureTablePath(kDeletedTypeTableName));
      tableState_ = s == SignatureTableStatus::kOk ? 1 : -1;
      if (s == SignatureTableStatus::kMissing) gTypeTableProblem = kTypeTableMissing;
      if (s == SignatureTableStatus::kDamaged) gTypeTableProblem = kTypeTableDamaged;
    }
    *index = tableState_ == 1 ? table_.FindType(extension) : -1;
    return tableState_ == 1;
  }

  // The high word of the nearest live entry after the deleted one (or, from
  // the end of the folder, before it); the folder's own when there is none.
  uint16_t GuessHighClusterWord(const Directory& dir, size_t index) const {
    Directory::Guess& g = dir.guess;
    if (g.valid && g.from <= index && index < g.until) return g.word;
    // Kept only from a deleted entry: one in use would be the live entry
    // that the entries after it look back to.
    const uint8_t* self = dir.entry(index);
    g.valid = IsDeletedEntry(self) || IsLabelOrLongName(self);
    g.from = index;
    g.until = dir.count();
    for (size_t i = index + 1; i < dir.count(); ++i) {
      const uint8_t* e = dir.entry(i);
      if (IsEndOfDirectory(e)) {
        g.until = i;
        break;
      }
      if (IsLabelOrLongName(e) || IsDeletedEntry(e)) continue;
      g.until = i;
      g.word = EntryHighWord(e);
      return g.word;
    }
    for (size_t i = index; i-- > 0;) {
      const uint8_t* e = dir.entry(i);
      if (IsLabelOrLongName(e) || IsDeletedEntry(e)) continue;
      g.word = EntryHighWord(e);
      return g.word;
    }
    g.word = static_cast<uint16_t>(dir.firstCluster >> 16);
    return g.word;
  }

  // Where the deleted FAT32 file may start: the stated cluster when its high
  // word is set or the volume has no clusters above 65535; else every
  // candidate whose first sector begins like a file of its type; else the
  // guess from the neighbouring entries.
  std::vector<uint32_t> Fat32Candidates(const Directory& dir, size_t index, const std::string& name) {
    const uint8_t* e = dir.entry(index);
    const uint16_t low = EntryLowWord(e);
    if (EntryHighWord(e) != 0 || g_.maxCluster() <= 0xFFFF) return {EntryCluster(e, true)};
    std::vector<uint32_t> out;
    int type = -1;
    TypeTable(&type, NameExtension(name));
    if (type >= 0) {
      uint8_t sector[512];
      for (uint32_t h = 0; h <= (g_.maxCluster() >> 16); ++h) {
        if (ScanAbortRequested()) break;
        uint32_t c = h << 16 | low;
        if (!g_.IsValidCluster(c) || !vol_.ReadSectors(g_.ClusterToSector(c), 1, sector)) continue;
        if (table_.MatchRecord(static_cast<size_t>(type), sector, sizeof sector) >= 0) out.push_back(c);
      }
    }
    if (out.empty()) out.push_back(static_cast<uint32_t>(GuessHighClusterWord(dir, index)) << 16 | low);
    return out;
  }

  // A deleted file's clusters are free in the FAT until another file takes
  // them: one whose first cluster is allocated again no longer holds (all
  // of) its data. A file left in use inside a deleted folder still owns its
  // chain: it is damaged only when that chain is not its own any more.
  bool KnownDamaged(const uint8_t* e, uint32_t cluster, uint32_t size) {
    uint32_t value = 0;
    if (!vol_.FatEntry(cluster, &value) || value == 0) return false;
    return IsDeletedEntry(e) || vol_.WholeChain(cluster, size).empty();
  }

  // false when the scan must end.
  bool RecordDeletedFile(const Directory& dir, size_t index, const std::string& folder) {
    const uint8_t* e = dir.entry(index);
    const std::string name = EntryName(dir.bytes.data(), index, IsDeletedEntry(e));
    const uint32_t size = EntrySize(e);
    std::vector<uint32_t> clusters;
    if (size == 0)
      clusters.push_back(0);   // nothing to read back
    else if (fat32_)
      clusters = Fat32Candidates(dir, index, name);
    else
      clusters.push_back(EntryLowWord(e));

    DeletedFileRecord r;
    std::memset(&r, 0, sizeof r);
    std::string path = RecordPathFor(folder, name);
    std::memcpy(r.path, path.data(), path.size());
    ConvertFatDateTime(ReadLe16(e + 16), ReadLe16(e + 14), &r.created);
    ConvertFatDateTime(ReadLe16(e + 24), ReadLe16(e + 22), &r.modified);
    ConvertFatDateTime(ReadLe16(e + 18), 0, &r.accessed);
    r.size = size;
    r.driveIndex = gDelScanDriveIndex;
    for (uint32_t cluster : clusters) {
      r.location = 0;
      r.damaged = 0;
      if (size != 0) {
        // Data that cannot be found on the volume cannot be described.
        if (!g_.IsValidCluster(cluster)) continue;
        r.location = g_.ClusterToSector(cluster);
        r.damaged = KnownDamaged(e, cluster, size) ? 1 : 0;
      }
      r.serial = fat32_ ? gFat32Serial++ : gFat16Serial++;
      if (gScanWindow) {
        lastRecordText_ = progressPrefix_ + path;
        if (gate_.Due()) SendProgress(lastRecordText_);
      }
      AppendDeletedFile(r);
    }
    return !ScanAbortRequested();
  }

  void SendProgress(const std::string& text) {
    if (!gScanWindow) return;
    lastSent_ = text;
    SendMessageA(gScanWindow, WM_DELSCAN_PROGRESS, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }

  FatVolume vol_;
  const FatGeometry g_;
  const bool fat32_;
  const std::string target_;
  std::string progressPrefix_;
  bool targetIsRoot_ = true;
  std::unordered_set<uint32_t> liveSeen_;
  // Every cluster read as part of a deleted folder: each is read once.
  std::unordered_set<uint32_t> claimed_;
  std::unordered_map<uint32_t, std::string> folderPaths_;   // folders walked, by first cluster
  std::unordered_map<uint32_t, std::vector<uint8_t>> keptClusters_;
  std::unordered_map<uint32_t, std::string> lostNames_;
  std::vector<OpenFolder> openFolders_;
  SignatureTable table_;
  int tableState_ = 0;   // 0 not loaded yet, 1 loaded, -1 unusable
  // A message per file would cost more than the scan itself: the page hears
  // of a file at most every gate interval, and of the last one at the end.
  ProgressGate gate_;
  std::string lastRecordText_;   // the last record's text, sent or held back
  std::string lastSent_;
};

int RunFatScan(int driveIndex, const char* target, const uint8_t* bootSector, bool fat32) {
  if (!target || !bootSector) return -1;
  FatGeometry g;
  if (!ParseFatBootSector(bootSector, &g) || (g.type == FatType::kFat32) != fat32) return -1;
  HANDLE volume = OpenVolume(driveIndex);
  if (!volume) return kScanCannotOpen;
  int result = FatScan(volume, driveIndex, g, target).Run();
  CloseVolume(volume);
  return result;
}

}  // namespace

int Fat16DeletedScan(int driveIndex, const char* target, const uint8_t* bootSector) {
  gFat16Serial = 0;
  return RunFatScan(driveIndex, target, bootSector, false);
}

int Fat32DeletedScan(int driveIndex, const char* target, const uint8_t* bootSector) {
  gFat32Serial = 0;
  if (gScanWindow)
    SendMessageA(gScanWindow, WM_DELSCAN_PROGRESS, 0, reinterpret_cast<LPARAM>(kFat32ScanStartText));
  return RunFatScan(driveIndex, target, bootSector, true);
}
