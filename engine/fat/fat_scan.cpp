#include "fat/fat_scan.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "disk/raw.h"
#include "fat/fat_entry.h"
#include "fat/fat_volume.h"
#include "messages.h"
#include "progress/progress_gate.h"
#include "signatures/signature_table.h"
#include "source_report.h"
#include "state.h"

std::atomic<uint32_t> gTypeTableProblem{kTypeTableOk};
const char kFat32ScanStartText[] = "正在分析FAT32文件系统，请稍候……";

namespace {

// Folders nest no deeper than this (a path of 512 bytes cannot hold more).
constexpr int kMaxFolderDepth = 256;
constexpr size_t kMaxRecordPath = sizeof(DeletedFileRecord::path) - 1;
// A target text is cut here by the pages; a part that reaches it may be the
// beginning of a longer name.
constexpr size_t kTargetCutAt = 259;

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
    const int result = Walk(dir, "\\", WalkKind::kTarget, 0) ? 0 : -1;
    // The page shows the last file found, whatever the gate held back.
    if (!lastProgress_.empty()) SendProgress(lastProgress_);
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

  bool Walk(const Directory& dir, const std::string& path, WalkKind kind, int depth) {
    for (size_t i = 0; i < dir.count(); ++i) {
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
          if (kind == WalkKind::kTarget && deleted && SkipsTempFolder(e)) continue;
          std::string sub = path + EntryName(dir.bytes.data(), i, deleted) + "\\";
          if (!WalkDeletedFolder(e, dir.firstCluster, sub, depth + 1)) return false;
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

  bool ReadFolderStart(uint32_t cluster, uint32_t parent, std::vector<uint8_t>* bytes) {
    bytes->assign(g_.clusterBytes(), 0);
    return vol_.ReadSectors(g_.ClusterToSector(cluster), g_.sectorsPerCluster, bytes->data()) &&
           LooksLikeFolderStart(bytes->data(), cluster, parent);
  }

  // A deleted folder's chain is gone: only its first cluster is read.
  bool WalkDeletedFolder(const uint8_t* e, uint32_t parent, const std::string& path, int depth) {
    uint32_t cluster = EntryCluster(e, fat32_);
    Directory dir;
    bool found = g_.IsValidCluster(cluster) && ReadFolderStart(cluster, parent, &dir.bytes);
    if (!found && fat32_ && EntryHighWord(e) == 0) {
      // The high half of the cluster number may have been cleared on
      // deletion: the "." entry of the right candidate names that candidate.
      uint8_t sector[512];
      for (uint32_t h = 1; !found && h <= (g_.maxCluster() >> 16); ++h) {
        uint32_t c = h << 16 | EntryLowWord(e);
        if (!g_.IsValidCluster(c) || !vol_.ReadSectors(g_.ClusterToSector(c), 1, sector)) continue;
        if (!LooksLikeFolderStart(sector, c, parent)) continue;
        cluster = c;
        found = ReadFolderStart(cluster, parent, &dir.bytes);
      }
    }
    if (!found || !deletedSeen_.insert(cluster).second) return true;
    dir.firstCluster = cluster;
    return Walk(dir, path, WalkKind::kDeleted, depth);
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
    ConvertFatDateTime(EntryLe16(e, 16), EntryLe16(e, 14), &r.created);
    ConvertFatDateTime(EntryLe16(e, 24), EntryLe16(e, 22), &r.modified);
    ConvertFatDateTime(EntryLe16(e, 18), 0, &r.accessed);
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
        std::string text = progressPrefix_ + path;
        if (gate_.Due()) {
          SendProgress(text);
          lastProgress_.clear();
        } else {
          lastProgress_ = std::move(text);
        }
      }
      AppendDeletedFile(r);
    }
    return !ScanAbortRequested();
  }

  void SendProgress(const std::string& text) {
    if (gScanWindow) SendMessageA(gScanWindow, WM_DELSCAN_PROGRESS, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }

  FatVolume vol_;
  const FatGeometry g_;
  const bool fat32_;
  const std::string target_;
  std::string progressPrefix_;
  bool targetIsRoot_ = true;
  std::unordered_set<uint32_t> liveSeen_, deletedSeen_;
  SignatureTable table_;
  int tableState_ = 0;   // 0 not loaded yet, 1 loaded, -1 unusable
  // A message per file would cost more than the scan itself: the page hears
  // of a file at most every gate interval, and of the last one at the end.
  ProgressGate gate_;
  std::string lastProgress_;   // a text the gate held back, not sent yet
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
