#include "partition/partition_search.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bytes.h"
#include "disk/raw.h"
#include "fat/fat_volume.h"
#include "ntfs/ntfs_volume.h"
#include "partition/partition_backup.h"
#include "partition/partition_table.h"
#include "state.h"
#include "volume/sector_zero.h"

uint8_t gRebuiltSector0[512];
uint8_t gPreviousSector0[512];
int gPreviousSector0Disk = -1;
char gPreviousSector0File[MAX_PATH];

namespace {

// The running search's stop and progress, shared with the page's thread.
std::atomic<bool> gStopSearch(false);
std::atomic<unsigned> gSearchPermille(0);
std::vector<LostPartitionFinding> gFindings;
uint64_t gUnreadSectors = 0;   // of the last search

constexpr uint32_t kScanBlockSectors = 8192;     // 4 MiB a read
constexpr uint32_t kRetrySectors = 64;            // a block that fails is read again in these
constexpr unsigned kMaxFailedPieces = 64;         // unreadable pieces in a row: the disk has stopped
constexpr size_t kMaxHits = 32768;                // boot sectors and boot records kept from the scan
constexpr unsigned kMaxLogicalDrives = 120;
constexpr size_t kMaxChainRecords = 1024;         // boot records looked at as links of chains

struct FileSystemFound {
  uint8_t type;
  uint64_t sectors;   // what its entry covers
};

// A FAT or NTFS boot sector whose geometry holds together. NTFS counts its
// backup boot sector, which lies just past what its boot sector counts.
bool RecogniseBootSector(const uint8_t sector[512], FileSystemFound* out) {
  FatGeometry fat;
  if (ParseFatBootSector(sector, &fat)) {
    out->type = fat.type == FatType::kFat32 ? kPartTypeFat32 : kPartTypeFat16;
    out->sectors = fat.totalSectors;
    return true;
  }
  NtfsGeometry ntfs;
  if (ReadNtfsGeometry(sector, &ntfs) && ntfs.totalSectors < kTableSectorLimit) {
    out->type = kPartTypeNtfs;
    out->sectors = ntfs.totalSectors + 1;
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

// A sector of the disk that the scan kept: a boot sector or a boot record.
struct Hit {
  uint64_t at;
  bool record;   // an extended boot record (else a FAT or NTFS boot sector)
  uint8_t sector[kSectorSize];
};

// A file system found by the search, and how well its own structures (its
// FATs, root folder and backup boot sector; its MFT, mirror and backup boot
// sector) bear it out.
struct Candidate {
  uint64_t start = 0;
  uint64_t sectors = 0;          // what its entry covers
  uint64_t systemEnd = 0;        // the first sector after its own structures (FAT: the data area's start)
  uint64_t copyAt = 0;           // where its backup boot sector lies (0: none)
  const uint8_t* boot = nullptr; // the boot sector it was read from (one of the hits)
  uint8_t type = 0;
  bool fromBackup = false;       // read from the backup copy; the first sector was not taken
  bool fromRecord = false;       // no boot sector: named by a boot record of a chain
  unsigned fits = 0;             // structures that check out
  unsigned contradictions = 0;   // structures that cannot be what they should be
  bool folderFits = false;       // its root folder checks out
  bool quiet = false;            // an empty root folder, but no boot sector inside its own structures
  bool eligible = false;
  uint64_t weight = 0;           // set when the table is chosen

  uint64_t end() const { return start + sectors; }
  // Its structures check out, the first folder among them (or, for a volume
  // with nothing in its root yet, no other file system begins inside its
  // own structures): what lies in its data area is its files'.
  bool Confirmed() const { return contradictions == 0 && (folderFits || quiet); }
};

// A logical drive of the rebuilt chain: its file system and the boot record
// that reaches it.
struct Logical {
  const Candidate* fs;
  uint64_t record;
};

class LostPartitionSearch {
 public:
  LostPartitionSearch(const char* path, uint64_t diskSectors) : path_(path), diskSectors_(diskSectors) {
    scanLimit_ = diskSectors ? std::min(diskSectors, kTableSectorLimit) : kTableSectorLimit;
    endLimit_ = diskSectors ? std::min(diskSectors, kTableSectorLimit) : kTableSectorLimit;
  }

  // Reads the disk, then builds gRebuiltSector0 and the chain of boot records
  // from the best set of file systems that do not overlap. A result code when
  // the search cannot go on (stopped, the disk stopped answering), else 0.
  int Run() {
    const int rc = Scan();
    if (rc != 0) return rc;
    if (tooManyHits_) return kSearchInconsistent;
    MakeCandidates();
    if (gStopSearch.load()) return kSearchStopped;
    Choose();
    return 0;
  }

  unsigned entries() const { return entries_; }
  // The boot records of the chain: where, and the sector to be written there
  // (only those whose sector does not already say the same).
  const std::vector<SavedSector>& records() const { return records_; }

 private:
  bool Read(uint64_t sector, uint8_t* buffer) {
    return sector < endLimit_ && ReadOpenDisk(path_, sector, 1, buffer) == 0;
  }

  // One read of the disk from sector 1, in large blocks; every sector that
  // ends in 55 AA is looked at. A block that cannot be read is read again in
  // small pieces, so that a bad sector hides no more than its own piece.
  int Scan() {
    // The Windows 9x disk driver moves a few dozen sectors a call.
    const uint32_t blockSectors = GetPlatformKind() == kPlatformWin9x ? kRetrySectors : kScanBlockSectors;
    std::vector<uint8_t> block(static_cast<size_t>(blockSectors) * kSectorSize);
    unsigned failedPieces = 0;
    for (uint64_t pos = 1; pos < scanLimit_;) {
      if (gStopSearch.load()) return kSearchStopped;
      gSearchPermille.store(static_cast<unsigned>(pos * 1000 / scanLimit_));
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(blockSectors, scanLimit_ - pos));
      if (ReadOpenDisk(path_, pos, n, block.data()) == 0) {
        failedPieces = 0;
        Look(pos, n, block.data());
      } else {
        for (uint32_t done = 0; done < n;) {
          const uint32_t piece = std::min(kRetrySectors, n - done);
          if (ReadOpenDisk(path_, pos + done, piece, block.data()) == 0) {
            failedPieces = 0;
            Look(pos + done, piece, block.data());
          } else {
            gUnreadSectors += piece;
            // Past the end of a disk whose size is unknown, or a disk that
            // has stopped answering: no table is built from half a disk.
            if (!diskSectors_) return hits_.empty() ? kSearchNothingFound : 0;
            if (++failedPieces >= kMaxFailedPieces) return kSearchDiskStopped;
          }
          done += piece;
        }
      }
      pos += n;
    }
    gSearchPermille.store(1000);
    return 0;
  }

  void Look(uint64_t first, uint32_t count, const uint8_t* data) {
    for (uint32_t i = 0; i < count && !tooManyHits_; ++i) {
      const uint8_t* s = data + static_cast<size_t>(i) * kSectorSize;
      if (s[510] != 0x55 || s[511] != 0xAA) continue;
      FileSystemFound fs;
      const bool boot = RecogniseBootSector(s, &fs);
      if (!boot && !LooksLikeExtendedRecord(s)) continue;
      // More than any disk holds: a table built from only some of them
      // could leave out what lies behind; the search writes nothing.
      if (hits_.size() >= kMaxHits) {
        tooManyHits_ = true;
        break;
      }
      Hit h;
      h.at = first + i;
      h.record = !boot;
      std::memcpy(h.sector, s, kSectorSize);
      hits_.push_back(h);
    }
  }

  // Each boot sector is taken as its volume's first sector and, where its
  // kind keeps a backup copy, as that copy: a volume whose first sector is
  // gone is found from its backup.
  void MakeCandidates() {
    for (const Hit& h : hits_) {
      if (h.record) continue;
      FileSystemFound fs;
      if (!RecogniseBootSector(h.sector, &fs)) continue;
      AddCandidate(h.at, h.sector, fs, false);
      if (fs.type == kPartTypeNtfs) {
        if (h.at >= fs.sectors) AddCandidate(h.at - (fs.sectors - 1), h.sector, fs, true);
      } else if (fs.type == kPartTypeFat32) {
        const uint16_t backup = ReadLe16(h.sector + 0x32);
        if (backup != 0 && backup != 0xFFFF && backup < ReadLe16(h.sector + 14) && h.at > backup)
          AddCandidate(h.at - backup, h.sector, fs, true);
      }
    }
    for (Candidate& c : candidates_) {
      if (gStopSearch.load()) return;
      if (c.type == kPartTypeNtfs)
        CheckNtfs(c.boot, &c);
      else
        CheckFat(c.boot, &c);
      // An empty root folder proves nothing: a stale boot sector's root may
      // lie in zeros of the file system that replaced it. But that file
      // system's boot sector then lies inside the stale one's FATs; a fresh
      // volume's FATs hold none.
      if (!c.Confirmed() && c.contradictions == 0 && !c.folderFits && c.fits >= 2)
        c.quiet = !ForeignHitBetween(c, c.start, c.systemEnd);
    }
    AddDrivesOfChains();
  }

  // A logical drive whose boot sector is gone (FAT16 keeps no copy) is still
  // named by its boot record. Only a record that is one link of a chain
  // (its link leads to another record found, or another's leads to it, both
  // counted from the same first record) is taken at its word, and only for
  // the kinds of file system the table is rebuilt with; such a drive weighs
  // less than any whose boot sector was found.
  void AddDrivesOfChains() {
    std::vector<uint64_t> records;
    for (const Hit& h : hits_)
      if (h.record) records.push_back(h.at);
    if (records.size() < 2 || records.size() > kMaxChainRecords) return;
    std::vector<bool> chained(records.size(), false);
    for (size_t i = 0; i < records.size(); ++i) {
      const PartitionEntry link = ReadPartitionEntry(RecordSector(records[i]), 1);
      if (!IsExtendedType(link.type) || link.startLba == 0) continue;
      for (size_t f = 0; f <= i; ++f) {   // f: the chain's first record
        const uint64_t next = records[f] + link.startLba;
        auto at = std::lower_bound(records.begin(), records.end(), next);
        if (at == records.end() || *at != next || next <= records[i]) continue;
        chained[i] = chained[static_cast<size_t>(at - records.begin())] = chained[f] = true;
      }
    }
    for (size_t i = 0; i < records.size(); ++i) {
      if (!chained[i]) continue;
      const PartitionEntry drive = ReadPartitionEntry(RecordSector(records[i]), 0);
      uint8_t type = 0;
      switch (drive.type) {
        case 0x01: case 0x04: case 0x06: case 0x0E: type = kPartTypeFat16; break;
        case kPartTypeFat32: case kPartTypeFat32Lba: type = kPartTypeFat32; break;
        case kPartTypeNtfs: type = kPartTypeNtfs; break;
        default: continue;
      }
      const uint64_t start = records[i] + drive.startLba;
      if (std::any_of(candidates_.begin(), candidates_.end(), [&](const Candidate& c) { return c.start == start; }))
        continue;
      if (start + drive.sectorCount > endLimit_) continue;
      Candidate c;
      c.start = start;
      c.sectors = drive.sectorCount;
      c.systemEnd = start + 1;
      c.type = type;
      c.fromRecord = true;
      c.fits = 1;
      candidates_.push_back(c);
    }
  }

  const uint8_t* RecordSector(uint64_t at) const {
    auto h = std::lower_bound(hits_.begin(), hits_.end(), at, [](const Hit& x, uint64_t v) { return x.at < v; });
    return h->sector;
  }

  void AddCandidate(uint64_t start, const uint8_t* boot, const FileSystemFound& fs, bool fromBackup) {
    // Sector 0 is the table's. A file system that would run past the disk's
    // end is not one of this disk's partitions (a volume image kept in a
    // file, a boot sector copy), nor one no entry can name.
    if (start == 0 || start + fs.sectors > endLimit_) return;
    for (const Candidate& c : candidates_)
      if (c.start == start && c.type == fs.type && c.sectors == fs.sectors) return;
    Candidate c;
    c.start = start;
    c.sectors = fs.sectors;
    c.type = fs.type;
    c.boot = boot;
    c.fromBackup = fromBackup;
    candidates_.push_back(c);
  }

  // Whether a boot sector or boot record that is not c's own copy lies in
  // (first, end).
  bool ForeignHitBetween(const Candidate& c, uint64_t first, uint64_t end) const {
    // The hits lie in the order the scan met them.
    auto h = std::upper_bound(hits_.begin(), hits_.end(), first, [](uint64_t at, const Hit& x) { return at < x.at; });
    for (; h != hits_.end() && h->at < end; ++h)
      if (h->at != c.copyAt) return true;
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
      if (backup != 0 && backup != 0xFFFF && backup < g.reservedSectors) {
        c->copyAt = c->start + backup;
        // Read from that copy, it bears out nothing of itself.
        if (!c->fromBackup && Read(c->copyAt, s) && std::memcmp(s, boot, 90) == 0) ++c->fits;
      }
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
    // The backup boot sector is the volume's last sector; the other copy is
    // the first. One of them is where this candidate was read from.
    c->copyAt = c->end() - 1;
    const uint64_t other = c->fromBackup ? c->start : c->copyAt;
    if (Read(other, s) && std::memcmp(s, boot, 0x54) == 0) ++c->fits;
  }

  // The table: of the file systems found, the set that does not overlap and
  // is borne out best (the sum of their weights), in the order they lie. A
  // file system whose own structures another one's boot sector sits in
  // cannot be whole, and weighs less; one that lies in the data area of a
  // volume whose structures hold is a file of that volume.
  void Choose() {
    // The boot records that reach a file system found. A file system that
    // holds one cannot be as large as it says: the partitions were laid out
    // around it (this is the entry that, written, would let a write into it
    // destroy the logical drive).
    std::vector<uint64_t> starts;
    for (const Candidate& c : candidates_)
      if (!c.fromRecord) starts.push_back(c.start);
    std::sort(starts.begin(), starts.end());
    std::vector<uint64_t> reaching;
    for (const Hit& h : hits_) {
      if (!h.record) continue;
      const uint64_t target = h.at + ReadPartitionEntry(h.sector, 0).startLba;
      if (std::binary_search(starts.begin(), starts.end(), target)) reaching.push_back(h.at);
    }
    for (Candidate& c : candidates_) {
      if (c.systemEnd > c.start + 1 && ForeignHitBetween(c, c.start, c.systemEnd)) c.contradictions += 1;
      auto r = std::upper_bound(reaching.begin(), reaching.end(), c.start);
      if (r != reaching.end() && *r < c.end()) c.contradictions += 1;
      const uint64_t good = 10 * (1 + c.fits + (c.folderFits ? 1 : 0));
      const uint64_t bad = 15 * static_cast<uint64_t>(c.contradictions);
      c.weight = good > bad ? good - bad : 1;
      c.eligible = c.fits > c.contradictions;
    }
    std::vector<const Candidate*> confirmed;
    for (const Candidate& c : candidates_)
      if (c.Confirmed()) confirmed.push_back(&c);
    for (Candidate& c : candidates_) {
      if (!c.eligible) continue;
      for (const Candidate* outer : confirmed)
        if (outer != &c && c.start >= outer->systemEnd && c.start > outer->start && c.end() <= outer->end())
          c.eligible = false;
    }
    std::vector<const Candidate*> pool;
    for (const Candidate& c : candidates_)
      if (c.eligible) pool.push_back(&c);
    std::sort(pool.begin(), pool.end(), [](const Candidate* a, const Candidate* b) {
      return a->end() != b->end() ? a->end() < b->end() : a->start < b->start;
    });
    // best[i]: the best weight of a set of the first i candidates (by end).
    const size_t n = pool.size();
    std::vector<uint64_t> best(n + 1, 0);
    std::vector<size_t> before(n, 0);
    for (size_t i = 0; i < n; ++i) {
      // Only candidates that end at or before this one's start may join it.
      const size_t compatible = static_cast<size_t>(
          std::upper_bound(pool.begin(), pool.begin() + i, pool[i]->start,
                           [](uint64_t start, const Candidate* x) { return start < x->end(); }) -
          pool.begin());
      before[i] = compatible;
      best[i + 1] = std::max(best[i], best[compatible] + pool[i]->weight);
    }
    std::vector<const Candidate*> chosen;
    for (size_t i = n; i > 0;) {
      if (best[i] == best[i - 1]) {
        --i;
        continue;
      }
      chosen.push_back(pool[i - 1]);
      i = before[i - 1];
    }
    std::reverse(chosen.begin(), chosen.end());
    Build(chosen);
  }

  // The boot record found in front of chosen[i]: after the end of the one
  // before it, naming exactly its start. 0 when none.
  uint64_t RecordInFront(const std::vector<const Candidate*>& chosen, size_t i) const {
    const uint64_t low = i ? chosen[i - 1]->end() : 1;
    uint64_t found = 0;
    for (const Hit& h : hits_) {
      if (!h.record || h.at < low || h.at >= chosen[i]->start) continue;
      const PartitionEntry e = ReadPartitionEntry(h.sector, 0);
      if (h.at + e.startLba == chosen[i]->start) found = std::max(found, h.at);
    }
    return found;
  }

  // One extended partition holding the run of file systems from the first
  // that a boot record was found in front of to the last, the others
  // primaries, in the order they lie. When that makes more entries than a
  // table holds, the run grows to the last file system, then back from it
  // (with no boot record found: every file system after the third). Each
  // logical drive needs a free sector in front of it for its boot record;
  // one without is left out, as are the drives past the most a chain holds.
  void Build(const std::vector<const Candidate*>& chosen) {
    const size_t n = chosen.size();
    size_t first = n, last = 0;
    for (size_t i = 0; i < n; ++i)
      if (RecordInFront(chosen, i)) {
        first = std::min(first, i);
        last = i;
      }
    auto entriesNeeded = [&]() { return first < n ? n - (last - first + 1) + 1 : n; };
    if (entriesNeeded() > kPartitionEntries) {
      if (first == n) {
        first = kPartitionEntries - 1;
        last = n - 1;
      } else {
        last = n - 1;
        while (entriesNeeded() > kPartitionEntries) --first;
      }
    }
    std::vector<bool> written(n, false), logical(n, false);
    std::vector<Logical> logicals;
    for (size_t i = 0; i < n; ++i) {
      if (first == n || i < first || i > last) {
        written[i] = true;
        continue;
      }
      logical[i] = true;
      if (logicals.size() >= kMaxLogicalDrives) continue;
      const uint64_t low = i ? chosen[i - 1]->end() : 1;
      uint64_t record = RecordInFront(chosen, i);
      if (!record && chosen[i]->start > low)
        record = chosen[i]->start - std::min<uint64_t>(kTrackSectors, chosen[i]->start - low);
      if (!record) continue;   // no sector in front of it: no boot record can reach it
      logicals.push_back({chosen[i], record});
      written[i] = true;
    }

    unsigned slot = 0;
    bool extendedMade = false;
    for (size_t i = 0; i < n && slot < kPartitionEntries; ++i) {
      if (!logical[i]) {
        const Candidate& c = *chosen[i];
        PartitionEntry e = MakePartitionEntry(slot == 0, c.type, static_cast<uint32_t>(c.start),
                                              static_cast<uint32_t>(c.sectors));
        WritePartitionEntry(gRebuiltSector0, slot++, e);
      } else if (!extendedMade && !logicals.empty()) {
        extendedMade = true;
        const uint64_t start = logicals.front().record;
        const uint64_t end = logicals.back().fs->end();
        WritePartitionEntry(gRebuiltSector0, slot++,
                            MakePartitionEntry(false, kPartTypeExtended, static_cast<uint32_t>(start),
                                               static_cast<uint32_t>(end - start)));
        for (size_t k = 0; k < logicals.size(); ++k) MakeRecord(logicals, k, start);
      }
    }
    entries_ = slot;
    gFindings.clear();
    for (size_t i = 0; i < n; ++i) {
      LostPartitionFinding f;
      f.start = chosen[i]->start;
      f.sectors = chosen[i]->sectors;
      f.type = chosen[i]->type;
      f.written = written[i];
      f.logical = logical[i];
      f.fromBackup = chosen[i]->fromBackup;
      f.fromRecord = chosen[i]->fromRecord;
      gFindings.push_back(f);
    }
    // What was found and not chosen: overlapping a better set.
    for (const Candidate& c : candidates_) {
      if (!c.eligible || std::find(chosen.begin(), chosen.end(), &c) != chosen.end()) continue;
      LostPartitionFinding f;
      f.start = c.start;
      f.sectors = c.sectors;
      f.type = c.type;
      f.fromBackup = c.fromBackup;
      f.fromRecord = c.fromRecord;
      gFindings.push_back(f);
    }
  }

  // The boot record of logical drive k: its drive relative to the record,
  // the link to the next record relative to the extended partition's start
  // (covering that record and its drive).
  void MakeRecord(const std::vector<Logical>& logicals, size_t k, uint64_t extendedStart) {
    const Logical& l = logicals[k];
    uint8_t sector[kSectorSize];
    const bool haveOld = Read(l.record, sector);
    if (!haveOld) std::memset(sector, 0, sizeof sector);
    uint8_t built[kSectorSize];
    std::memcpy(built, sector, sizeof built);
    std::memset(built + kPartitionTableOffset, 0, 4 * 16);
    built[510] = 0x55;
    built[511] = 0xAA;
    PartitionEntry drive = MakePartitionEntry(false, l.fs->type, static_cast<uint32_t>(l.fs->start),
                                              static_cast<uint32_t>(l.fs->sectors));
    drive.startLba = static_cast<uint32_t>(l.fs->start - l.record);
    WritePartitionEntry(built, 0, drive);
    if (k + 1 < logicals.size()) {
      const Logical& next = logicals[k + 1];
      PartitionEntry link = MakePartitionEntry(false, kPartTypeExtended, static_cast<uint32_t>(next.record),
                                               static_cast<uint32_t>(next.fs->end() - next.record));
      link.startLba = static_cast<uint32_t>(next.record - extendedStart);
      WritePartitionEntry(built, 1, link);
    }
    // A record that already says this (its drive, the place its link leads
    // to) is left as it is.
    if (haveOld && HasBootSignature(sector) && SameRecord(sector, built)) return;
    SavedSector out;
    out.lba = l.record;
    std::memcpy(out.data, built, sizeof built);
    records_.push_back(out);
  }

  static bool SameRecord(const uint8_t* a, const uint8_t* b) {
    const PartitionEntry a0 = ReadPartitionEntry(a, 0), b0 = ReadPartitionEntry(b, 0);
    const PartitionEntry a1 = ReadPartitionEntry(a, 1), b1 = ReadPartitionEntry(b, 1);
    if (a0.type != b0.type || a0.startLba != b0.startLba || a0.sectorCount != b0.sectorCount) return false;
    if (IsExtendedType(a1.type) != IsExtendedType(b1.type)) return false;
    if (IsExtendedType(b1.type) && (a1.startLba != b1.startLba || a1.sectorCount == 0)) return false;
    if (!IsExtendedType(b1.type) && !IsEmptyEntry(a1)) return false;
    return IsEmptyEntry(ReadPartitionEntry(a, 2)) && IsEmptyEntry(ReadPartitionEntry(a, 3));
  }

  const char* path_;
  uint64_t diskSectors_;
  uint64_t scanLimit_;    // the scan stays below this
  uint64_t endLimit_;     // partitions end at or before this
  std::vector<Hit> hits_;
  std::vector<Candidate> candidates_;
  std::vector<SavedSector> records_;
  unsigned entries_ = 0;
  bool tooManyHits_ = false;
};

class DiskHandleCloser {
 public:
  ~DiskHandleCloser() { CloseDiskHandle(); }
};

// Saves the sectors about to be replaced in the temporary folder: sector 0
// and the boot records of the chain, as they are now.
struct SectorsCopy {
  int disk;
  const uint8_t* sector0;
  const std::vector<SavedSector>* others;
};
int WriteSectorsCopy(const char* path, void* context) {
  const SectorsCopy* c = static_cast<const SectorsCopy*>(context);
  return WriteSectorsBackup(c->disk, c->sector0, c->others->data(), c->others->size(), path);
}

bool KeepPreviousSectors(int disk, const char* diskPath, const uint8_t sector0[512],
                         const std::vector<SavedSector>& records) {
  std::vector<SavedSector> old(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    old[i].lba = records[i].lba;
    if (ReadOpenDisk(diskPath, old[i].lba, 1, old[i].data) != 0) return false;
  }
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "DISK%d-SECTOR0", disk);
  SectorsCopy copy = {disk, sector0, &old};
  const std::string path = WriteTemporaryBackup(prefix, &WriteSectorsCopy, &copy);
  if (path.empty()) return false;
  std::memcpy(gPreviousSector0, sector0, sizeof gPreviousSector0);
  gPreviousSector0Disk = disk;
  std::snprintf(gPreviousSector0File, sizeof gPreviousSector0File, "%s", path.c_str());
  return true;
}

bool WriteAndCompare(const char* path, uint64_t lba, const uint8_t* data) {
  if (WriteOpenDisk(path, lba, 1, data) != 0) return false;
  uint8_t check[kSectorSize];
  return ReadOpenDisk(path, lba, 1, check) == 0 && std::memcmp(check, data, kSectorSize) == 0;
}

// Writes the boot records of the chain, then sector 0 (so that a failed
// record leaves the old sector 0), each read back; then reads the whole
// table again. true when the disk holds what was built.
bool WritePartitionTable(const char* path, const std::vector<SavedSector>& records) {
  for (const SavedSector& r : records)
    if (!WriteAndCompare(path, r.lba, r.data)) return false;
  if (!WriteAndCompare(path, 0, gRebuiltSector0)) return false;
  for (const SavedSector& r : records) {
    uint8_t check[kSectorSize];
    if (ReadOpenDisk(path, r.lba, 1, check) != 0 || std::memcmp(check, r.data, kSectorSize) != 0) return false;
  }
  return true;
}

// The chain of boot records as it will lie on the disk: each record inside
// the extended partition, its drive after it and inside it too, the records
// and drives in order and apart, every link leading to the next record.
bool IsConsistentChain(const uint8_t sector0[512], const std::vector<SavedSector>& records, const char* path) {
  PartitionEntry extended = {};
  for (unsigned i = 0; i < kPartitionEntries; ++i)
    if (IsExtendedType(ReadPartitionEntry(sector0, i).type)) extended = ReadPartitionEntry(sector0, i);
  if (IsEmptyEntry(extended)) return records.empty();
  const uint64_t first = extended.startLba, end = first + extended.sectorCount;
  uint64_t current = first, low = first;
  for (unsigned n = 0; n <= kMaxLogicalDrives; ++n) {
    uint8_t record[kSectorSize];
    auto built = std::find_if(records.begin(), records.end(), [&](const SavedSector& r) { return r.lba == current; });
    if (built != records.end())
      std::memcpy(record, built->data, sizeof record);
    else if (ReadOpenDisk(path, current, 1, record) != 0)
      return false;
    if (current < low || current >= end || !HasBootSignature(record)) return false;
    const PartitionEntry drive = ReadPartitionEntry(record, 0);
    const uint64_t driveStart = current + drive.startLba, driveEnd = driveStart + drive.sectorCount;
    if (drive.startLba == 0 || drive.sectorCount == 0 || driveEnd > end) return false;
    const PartitionEntry link = ReadPartitionEntry(record, 1);
    if (!IsExtendedType(link.type)) return driveEnd == end;
    current = first + link.startLba;
    low = driveEnd;
  }
  return false;
}

}  // namespace

void PrepareRebuiltSector0() {
  std::memset(gRebuiltSector0, 0, sizeof gRebuiltSector0);
  std::memcpy(gRebuiltSector0, kStandardBootProgram, kBootProgramBytes);
  gRebuiltSector0[510] = 0x55;
  gRebuiltSector0[511] = 0xAA;
}

void BeginLostPartitionSearch() {
  gStopSearch.store(false);
  gSearchPermille.store(0);
}

void StopLostPartitionSearch() { gStopSearch.store(true); }

unsigned LostPartitionSearchProgress() { return gSearchPermille.load(); }

const std::vector<LostPartitionFinding>& LostPartitionFindings() { return gFindings; }

uint64_t LostPartitionSearchUnreadSectors() { return gUnreadSectors; }

namespace {

int SearchAndWrite(int disk) {
  char path[32];
  MakeDiskPath(disk, path);
  if (!path[0]) return kSearchDiskError;
  PrepareRebuiltSector0();
  gFindings.clear();
  gUnreadSectors = 0;
  // Sized first: where the size must be found by reading, the reads go
  // through handles of their own.
  const uint64_t diskSectors = DiskSectorCount(path);
  SectorZero zero;
  const bool read = OpenDiskSectorZero(path, &zero);
  if (zero.state == SourceState::kCannotOpen) return kSearchDiskError;
  DiskHandleCloser closer;
  if (!read) return kSearchDiskError;
  const uint8_t* sector0 = zero.bytes;
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
  const int rc = search.Run();
  if (rc != 0) return rc;
  if (search.entries() == 0) return kSearchNothingFound;
  // Past here nothing stops the search: what is begun is finished.
  if (gStopSearch.load()) return kSearchStopped;

  // Windows knows the disk by its signature: keep it.
  std::memcpy(gRebuiltSector0 + kDiskSignatureOffset, sector0 + kDiskSignatureOffset, 4);
  if (!IsConsistentRebuiltTable(gRebuiltSector0, diskSectors)) return kSearchInconsistent;
  if (!IsConsistentChain(gRebuiltSector0, search.records(), path)) return kSearchInconsistent;
  if (!KeepPreviousSectors(disk, path, sector0, search.records())) return kSearchCannotKeepOld;

  return WritePartitionTable(path, search.records()) ? kSearchWritten : kSearchWriteFailed;
}

}  // namespace

int SearchLostPartitions(int disk) {
  const int rc = SearchAndWrite(disk);
  gSearchPermille.store(1000);
  gStopSearch.store(false);
  return rc;
}
