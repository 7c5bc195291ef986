#include "ntfs/ntfs_volume.h"

#include <algorithm>
#include <cstring>

#include "bytes.h"
#include "disk/raw.h"
#include "ntfs/ntfs_compress.h"
#include "state.h"

namespace {

constexpr uint32_t kMaxSectorsPerCluster = 4096;       // 2 MB clusters
constexpr uint64_t kMaxAttributeListBytes = 256 * 1024;

bool IsPowerOfTwo(uint32_t v) { return v && (v & (v - 1)) == 0; }

// a * b, or UINT64_MAX when that does not fit.
uint64_t SaturatingMul(uint64_t a, uint64_t b) {
  if (a && b > UINT64_MAX / a) return UINT64_MAX;
  return a * b;
}

}  // namespace

uint32_t DecodeClusterSectors(uint8_t code) {
  uint32_t spc = code;
  if (code > 0x80) {
    // Clusters above 64 KB are written as a negative power of two.
    const uint32_t shift = 256u - code;
    spc = shift <= 12 ? (1u << shift) : 0;
  }
  return IsPowerOfTwo(spc) && spc <= kMaxSectorsPerCluster ? spc : 0;
}

uint8_t EncodeClusterSectors(uint32_t sectors) {
  if (!IsPowerOfTwo(sectors) || sectors > kMaxSectorsPerCluster) return 0;
  if (sectors <= 128) return static_cast<uint8_t>(sectors);
  uint32_t shift = 0;
  while ((1u << shift) < sectors) ++shift;
  return static_cast<uint8_t>(256u - shift);
}

bool ReadNtfsGeometry(const uint8_t boot[512], NtfsGeometry* out) {
  if (std::memcmp(boot + 3, "NTFS", 4) != 0) return false;
  if (ReadLe16(boot + 11) != kSectorSize) return false;
  const uint32_t spc = DecodeClusterSectors(boot[13]);
  if (spc == 0) return false;
  NtfsGeometry g;
  g.sectorsPerCluster = spc;
  g.clusterBytes = spc * kSectorSize;
  g.totalSectors = ReadLe64(boot + 0x28);
  g.totalClusters = g.totalSectors / spc;
  g.mftCluster = ReadLe64(boot + 0x30);
  const int8_t perRecord = static_cast<int8_t>(boot[0x40]);
  uint64_t recordBytes = 0;
  if (perRecord > 0)
    recordBytes = static_cast<uint64_t>(perRecord) * g.clusterBytes;
  else if (perRecord >= -31)
    recordBytes = 1ull << -perRecord;
  if (recordBytes != kMftRecordBytes) return false;
  if (g.mftCluster >= g.totalClusters) return false;
  g.mftStartSector = g.mftCluster * spc;
  *out = g;
  return true;
}

void ClampToDevice(NtfsGeometry* g, uint64_t deviceSectors) {
  if (deviceSectors == 0 || g->totalSectors <= deviceSectors) return;
  g->totalSectors = deviceSectors;
  g->totalClusters = deviceSectors / g->sectorsPerCluster;
}

NtfsVolume::NtfsVolume(HANDLE handle, int driveIndex, const NtfsGeometry& geometry)
    : handle_(handle), driveIndex_(driveIndex), geometry_(geometry) {}

bool NtfsVolume::ReadSectors(uint64_t sector, uint32_t count, void* buffer) const {
  return ReadVolumeSectors(driveIndex_, sector, count, buffer, handle_) == 0;
}

bool NtfsVolume::ReadRecordAt(uint64_t sector, uint8_t record[kMftRecordBytes]) const {
  return ReadSectors(sector, kMftRecordSectors, record) && PrepareFileRecord(record);
}

bool NtfsVolume::LoadMft() {
  if (mftLoaded_) return true;
  uint8_t record[kMftRecordBytes];
  if (!ReadRecordAt(geometry_.mftStartSector, record)) return false;
  // The extents that record 0 holds itself map the start of the MFT, which is
  // where the records of its attribute list lie.
  NtfsAttribute data;
  if (!FindAttribute(record, sizeof record, kAttrData, true, &data) || !data.nonResident || data.lowestVcn != 0)
    return false;
  std::vector<NtfsRun> first;
  DecodeRunList(data.runList, data.runListLength, 0, &first);
  if (first.empty()) return false;
  DropRepeatedClusters(&first);
  mftRuns_ = first;
  mftRecordCount_ = std::min(data.realSize, SaturatingMul(RunClusters(first), geometry_.clusterBytes)) /
                    kMftRecordBytes;
  mftLoaded_ = true;
  NtfsDataStream stream;
  if (LocateUnnamedData(this, record, &stream) && !stream.resident && !stream.runs.empty()) {
    // A run list that names the same clusters twice would list every record
    // in them twice.
    DropRepeatedClusters(&stream.runs);
    mftRuns_ = stream.runs;
    mftRecordCount_ =
        std::min(stream.realSize, SaturatingMul(RunClusters(stream.runs), geometry_.clusterBytes)) / kMftRecordBytes;
  }
  return true;
}

void NtfsVolume::UseMftRuns(const std::vector<NtfsRun>& runs) {
  mftRuns_ = runs;
  DropRepeatedClusters(&mftRuns_);
  mftRecordCount_ = SaturatingMul(RunClusters(runs), geometry_.clusterBytes) / kMftRecordBytes;
  mftLoaded_ = !runs.empty();
}

bool NtfsVolume::RecordSector(uint64_t record, uint64_t* sector) const {
  if (!mftLoaded_ || record >= mftRecordCount_) return false;
  const uint64_t byte = record * kMftRecordBytes;
  const uint64_t vcn = byte / geometry_.clusterBytes;
  auto it = std::upper_bound(mftRuns_.begin(), mftRuns_.end(), vcn,
                             [](uint64_t v, const NtfsRun& r) { return v < r.vcn; });
  if (it == mftRuns_.begin()) return false;
  const NtfsRun& run = *(it - 1);
  if (vcn >= run.vcn + run.length || run.sparse) return false;
  *sector = (run.lcn + (vcn - run.vcn)) * geometry_.sectorsPerCluster +
            (byte % geometry_.clusterBytes) / kSectorSize;
  return true;
}

bool NtfsVolume::ReadRecord(uint64_t record, uint8_t out[kMftRecordBytes]) const {
  uint64_t first = 0, second = 0;
  if (!RecordSector(record, &first)) return false;
  if (geometry_.clusterBytes >= kMftRecordBytes) return ReadRecordAt(first, out);
  // 512-byte clusters: the two halves of a record may lie in different runs.
  if (!mftLoaded_) return false;
  const uint64_t byte = record * kMftRecordBytes + kSectorSize;
  const uint64_t vcn = byte / geometry_.clusterBytes;
  auto it = std::upper_bound(mftRuns_.begin(), mftRuns_.end(), vcn,
                             [](uint64_t v, const NtfsRun& r) { return v < r.vcn; });
  if (it == mftRuns_.begin()) return false;
  const NtfsRun& run = *(it - 1);
  if (vcn >= run.vcn + run.length || run.sparse) return false;
  second = (run.lcn + (vcn - run.vcn)) * geometry_.sectorsPerCluster;
  if (!ReadSectors(first, 1, out) || !ReadSectors(second, 1, out + kSectorSize) || !HasFileMagic(out)) return false;
  // Halves read from two places belong together only when both end in the
  // record's update sequence number.
  const size_t usa = ReadLe16(out + 4);
  if (usa + 2 > kSectorSize - 2 || std::memcmp(out + kSectorSize - 2, out + usa, 2) != 0 ||
      std::memcmp(out + kMftRecordBytes - 2, out + usa, 2) != 0)
    return false;
  return PrepareFileRecord(out);
}

bool NtfsVolume::ReadRecordFromSector(uint64_t sector, uint8_t out[kMftRecordBytes]) {
  if (geometry_.clusterBytes >= kMftRecordBytes) return ReadRecordAt(sector, out);
  if (!mftLoaded_ && !mftLoadTried_) {
    mftLoadTried_ = true;
    LoadMft();
  }
  if (mftLoaded_) {
    const uint64_t spc = geometry_.sectorsPerCluster;
    for (const NtfsRun& run : mftRuns_) {
      if (run.sparse || run.lcn > UINT64_MAX / spc / 2 || run.length > UINT64_MAX / spc / 2) continue;
      const uint64_t start = run.lcn * spc;
      if (sector < start || sector - start >= run.length * spc) continue;
      const uint64_t byte = run.vcn * geometry_.clusterBytes + (sector - start) * kSectorSize;
      if (byte % kMftRecordBytes != 0) break;   // the second half of a record: no record starts here
      return ReadRecord(byte / kMftRecordBytes, out);
    }
  }
  return ReadRecordAt(sector, out);
}

// --- the unnamed data stream ------------------------------------------------

namespace {

struct Extent {
  uint64_t lowestVcn = 0;
  uint64_t highestVcn = 0;
  std::vector<uint8_t> runList;
  uint64_t realSize = 0, initializedSize = 0;
  uint16_t flags = 0;
  uint16_t compressionUnit = 0;
};

Extent CopyExtent(const NtfsAttribute& a) {
  Extent e;
  e.lowestVcn = a.lowestVcn;
  e.highestVcn = a.highestVcn;
  e.runList.assign(a.runList, a.runList + a.runListLength);
  e.realSize = a.realSize;
  e.initializedSize = a.initializedSize;
  e.flags = a.flags;
  e.compressionUnit = a.compressionUnit;
  return e;
}

// The bytes of the record's attribute list, resident or not.
bool ReadAttributeList(const NtfsVolume& volume, const NtfsAttribute& list, std::vector<uint8_t>* out) {
  if (!list.nonResident) {
    out->assign(list.value, list.value + list.valueLength);
    return true;
  }
  NtfsDataStream stream;
  DecodeRunList(list.runList, list.runListLength, 0, &stream.runs);
  stream.realSize = std::min<uint64_t>(list.realSize, kMaxAttributeListBytes);
  stream.initializedSize = std::min(list.initializedSize, stream.realSize);
  out->assign(static_cast<size_t>(stream.realSize), 0);
  NtfsDataReader reader(volume, stream);
  return reader.Read(0, out->size(), out->data());
}

// Calls visit(type, startVcn, reference) for each entry of the record's
// attribute list; false when the record has none or it cannot be read.
template <typename Visit>
bool ForEachListEntry(NtfsVolume* volume, const uint8_t* record, bool* complete, Visit visit) {
  NtfsAttribute list;
  if (!FindAttribute(record, kMftRecordBytes, kAttrAttributeList, false, &list)) return false;
  std::vector<uint8_t> bytes;
  if (!ReadAttributeList(*volume, list, &bytes) && complete) *complete = false;
  if (!volume->LoadMft()) {
    if (complete) *complete = false;
    return false;
  }
  size_t pos = 0;
  while (pos + 26 <= bytes.size()) {
    const uint8_t* e = bytes.data() + pos;
    const uint16_t length = ReadLe16(e + 4);
    if (length < 26 || length > bytes.size() - pos) break;
    pos += length;
    if (!visit(ReadLe32(e), e[6], ReadLe64(e + 8), ReadLe64(e + 16))) break;
  }
  return true;
}

// Whether the extents map every cluster of the stream's size, one after the
// other from the first.
bool ExtentsCover(const std::vector<Extent>& sorted, const NtfsGeometry& g) {
  uint64_t next = 0;
  for (const Extent& e : sorted) {
    if (e.lowestVcn != next || e.highestVcn < e.lowestVcn) return false;
    next = e.highestVcn + 1;
  }
  const uint64_t bytes = sorted.front().realSize;
  return g.clusterBytes == 0 || next >= bytes / g.clusterBytes + (bytes % g.clusterBytes != 0);
}

constexpr uint64_t kUnlistedSearch = 32;   // records looked at after the base and after the last it names

// An attribute list can lose entries (libntfs-3g's delete drops the last one
// when it takes the name out): the extents it no longer names still lie in
// extension records that name this very base record, allocated after it or
// after the other extension records. They are added, sorted, when their
// first cluster is one no extent has. At most 2 * kUnlistedSearch records
// are read, so a volume of such records costs no more than that each.
void FindUnlistedExtents(NtfsVolume* volume, uint64_t self, uint64_t highestRef, std::vector<Extent>* extents) {
  const uint64_t base = RefRecord(self);
  bool added = false;
  uint8_t other[kMftRecordBytes];
  auto look = [&](uint64_t n) {
    if (n == base || n >= volume->mftRecordCount() || !volume->ReadRecord(n, other) ||
        RecordBaseReference(other) != self)
      return;
    NtfsAttributeWalk walk(other, sizeof other);
    NtfsAttribute a;
    while (walk.Next(&a)) {
      if (a.type != kAttrData || a.nameLength != 0 || !a.nonResident) continue;
      const uint64_t vcn = a.lowestVcn;
      if (std::none_of(extents->begin(), extents->end(), [vcn](const Extent& x) { return x.lowestVcn == vcn; })) {
        extents->push_back(CopyExtent(a));
        added = true;
      }
    }
  };
  for (uint64_t n = base + 1; n <= base + kUnlistedSearch; ++n) look(n);
  const uint64_t from = std::max(highestRef, base + kUnlistedSearch) + 1;
  for (uint64_t n = from; n <= highestRef + kUnlistedSearch; ++n) look(n);
  if (added)
    std::sort(extents->begin(), extents->end(),
              [](const Extent& x, const Extent& y) { return x.lowestVcn < y.lowestVcn; });
}

}  // namespace

bool FindRecordName(NtfsVolume* volume, const uint8_t* record, uint8_t scratch[kMftRecordBytes], NtfsFileName* out) {
  if (ChooseFileName(record, kMftRecordBytes, out)) return true;
  bool found = false;
  uint64_t last = UINT64_MAX;
  ForEachListEntry(volume, record, nullptr, [&](uint32_t type, uint8_t, uint64_t, uint64_t ref) {
    if (type != kAttrFileName || RefRecord(ref) == last) return true;
    last = RefRecord(ref);
    if (volume->ReadRecord(RefRecord(ref), scratch) && ChooseFileName(scratch, kMftRecordBytes, out)) found = true;
    return !found;
  });
  return found;
}

bool LocateUnnamedData(NtfsVolume* volume, const uint8_t* record, NtfsDataStream* out) {
  std::vector<Extent> extents;
  bool hasList = false;
  {
    NtfsAttributeWalk walk(record, kMftRecordBytes);
    NtfsAttribute a;
    while (walk.Next(&a)) {
      if (a.type == kAttrAttributeList) hasList = true;
      if (a.type != kAttrData || a.nameLength != 0) continue;
      if (!a.nonResident) {
        NtfsDataStream s;
        s.resident = true;
        s.residentValue.assign(a.value, a.value + a.valueLength);
        s.realSize = s.initializedSize = a.valueLength;
        s.flags = a.flags;
        *out = std::move(s);
        return true;
      }
      extents.push_back(CopyExtent(a));
    }
  }
  bool complete = true;
  uint64_t self = 0;                 // the base record as its list names it (number and sequence)
  uint64_t highestRef = 0;
  if (hasList) {
    ForEachListEntry(volume, record, &complete, [&](uint32_t type, uint8_t nameLength, uint64_t startVcn,
                                                    uint64_t ref) {
      if (type == kAttrStandardInformation && startVcn == 0) self = ref;
      highestRef = std::max(highestRef, RefRecord(ref));
      if (type != kAttrData || nameLength != 0) return true;
      const bool have = std::any_of(extents.begin(), extents.end(),
                                    [startVcn](const Extent& x) { return x.lowestVcn == startVcn; });
      if (have) return true;
      uint8_t other[kMftRecordBytes];
      NtfsAttribute a;
      bool found = false;
      if (volume->ReadRecord(RefRecord(ref), other)) {
        NtfsAttributeWalk walk(other, sizeof other);
        while (!found && walk.Next(&a))
          found = a.type == kAttrData && a.nameLength == 0 && a.nonResident && a.lowestVcn == startVcn;
      }
      if (found)
        extents.push_back(CopyExtent(a));
      else
        complete = false;
      return true;
    });
  }
  std::sort(extents.begin(), extents.end(),
            [](const Extent& x, const Extent& y) { return x.lowestVcn < y.lowestVcn; });
  if (self != 0 && !extents.empty() && extents.front().lowestVcn == 0 && !ExtentsCover(extents, volume->geometry()))
    FindUnlistedExtents(volume, self, highestRef, &extents);
  if (extents.empty() || extents.front().lowestVcn != 0) return false;
  NtfsDataStream s;
  s.realSize = extents.front().realSize;
  s.initializedSize = std::min(extents.front().initializedSize, s.realSize);
  s.flags = extents.front().flags;
  s.compressionUnit = extents.front().compressionUnit;
  uint64_t expected = 0;
  for (const Extent& e : extents) {
    if (e.lowestVcn < expected) {   // overlaps what is mapped already
      complete = false;
      continue;
    }
    if (e.lowestVcn > expected) {   // an extent is missing: its clusters are unknown
      NtfsRun hole;
      hole.vcn = expected;
      hole.length = e.lowestVcn - expected;
      hole.sparse = true;
      s.runs.push_back(hole);
      complete = false;
    }
    const size_t before = s.runs.size();
    if (!DecodeRunList(e.runList.data(), e.runList.size(), e.lowestVcn, &s.runs)) complete = false;
    expected = e.lowestVcn;
    for (size_t i = before; i < s.runs.size(); ++i) expected += s.runs[i].length;
  }
  // Runs that map less than the size are not a read failure: the record
  // claims more than it holds, which the copy-out reports as damage.
  s.complete = complete;
  *out = std::move(s);
  return true;
}

bool UnnamedDataSize(NtfsVolume* volume, const uint8_t* record, uint64_t* size) {
  NtfsAttribute data;
  if (FindAttribute(record, kMftRecordBytes, kAttrData, true, &data)) {
    if (!data.nonResident) {
      *size = data.valueLength;
      return true;
    }
    if (data.lowestVcn == 0) {
      *size = data.realSize;
      return true;
    }
  }
  NtfsAttribute list;
  if (!FindAttribute(record, kMftRecordBytes, kAttrAttributeList, false, &list)) return false;
  NtfsDataStream stream;
  if (!LocateUnnamedData(volume, record, &stream)) return false;
  *size = stream.realSize;
  return true;
}

// --- reading the stream ------------------------------------------------------

NtfsDataReader::NtfsDataReader(const NtfsVolume& volume, const NtfsDataStream& stream)
    : volume_(volume), stream_(stream) {}

namespace {
constexpr uint16_t kAttrCompressedMask = 0x00FF;
constexpr uint32_t kMaxUnitBytes = 1024 * 1024;
}  // namespace

bool NtfsDataReader::Read(uint64_t offset, size_t count, uint8_t* out) {
  std::memset(out, 0, count);
  if (stream_.resident) {
    const std::vector<uint8_t>& v = stream_.residentValue;
    if (offset < v.size()) std::memcpy(out, v.data() + offset, std::min<uint64_t>(count, v.size() - offset));
    return true;
  }
  if (offset % kSectorSize != 0) return false;
  if ((stream_.flags & kAttrCompressedMask) && stream_.compressionUnit)
    return ReadCompressed(offset, count, out);
  // Past the initialized size: zeros.
  return ReadPlain(offset, count, std::min(offset + count, stream_.initializedSize), out);
}

// The bytes [offset, limit) as the runs hold them; out is already zero.
bool NtfsDataReader::ReadPlain(uint64_t offset, size_t count, uint64_t limit, uint8_t* out) {
  (void)count;
  const uint64_t clusterBytes = volume_.geometry().clusterBytes;
  const std::vector<NtfsRun>& runs = stream_.runs;
  bool ok = true;
  uint64_t pos = offset;
  while (pos < limit) {
    const uint64_t vcn = pos / clusterBytes;
    if (cursor_ >= runs.size() || vcn < runs[cursor_].vcn) cursor_ = 0;
    while (cursor_ < runs.size() && vcn >= runs[cursor_].vcn + runs[cursor_].length) ++cursor_;
    if (cursor_ >= runs.size() || vcn < runs[cursor_].vcn) return false;   // past the runs
    const NtfsRun& run = runs[cursor_];
    const uint64_t runStart = SaturatingMul(run.vcn, clusterBytes);
    const uint64_t runEnd = SaturatingMul(run.vcn + run.length, clusterBytes);
    const uint64_t n = std::min(limit, runEnd) - pos;
    if (!run.sparse && !ReadRunPiece(run, pos - runStart, static_cast<size_t>(n), out + (pos - offset))) ok = false;
    pos += n;
  }
  return ok;
}

// A compression unit whose clusters are all allocated is stored as it is;
// one with fewer allocated clusters (the rest a hole) holds LZNT1 chunks in
// them; one without any is zeros.
bool NtfsDataReader::LoadUnit(uint64_t unit) {
  if (unit == unitIndex_) return unitOk_;
  const uint64_t clusterBytes = volume_.geometry().clusterBytes;
  const uint64_t unitClusters = 1ull << stream_.compressionUnit;
  const size_t unitBytes = static_cast<size_t>(unitClusters * clusterBytes);
  unit_.assign(unitBytes, 0);
  unitIndex_ = unit;
  const uint64_t firstVcn = unit * unitClusters;
  uint64_t allocated = 0;
  const std::vector<NtfsRun>& runs = stream_.runs;
  auto it = std::upper_bound(runs.begin(), runs.end(), firstVcn,
                             [](uint64_t v, const NtfsRun& r) { return v < r.vcn; });
  if (it != runs.begin()) --it;
  for (; it != runs.end() && it->vcn < firstVcn + unitClusters; ++it) {
    if (it->sparse || it->vcn + it->length <= firstVcn) continue;
    allocated += std::min(it->vcn + it->length, firstVcn + unitClusters) - std::max(it->vcn, firstVcn);
  }
  const uint64_t start = firstVcn * clusterBytes;
  if (allocated == 0) {
    unitOk_ = true;
  } else if (allocated >= unitClusters) {
    unitOk_ = ReadPlain(start, unitBytes, start + unitBytes, unit_.data());
  } else {
    packed_.assign(static_cast<size_t>(allocated * clusterBytes), 0);
    unitOk_ = ReadPlain(start, packed_.size(), start + packed_.size(), packed_.data());
    unitOk_ = Lznt1Decompress(packed_.data(), packed_.size(), unit_.data(), unit_.size()) && unitOk_;
  }
  return unitOk_;
}

bool NtfsDataReader::ReadCompressed(uint64_t offset, size_t count, uint8_t* out) {
  const uint64_t clusterBytes = volume_.geometry().clusterBytes;
  if (stream_.compressionUnit > 16 || (clusterBytes << stream_.compressionUnit) > kMaxUnitBytes) return false;
  const uint64_t unitBytes = clusterBytes << stream_.compressionUnit;
  const uint64_t limit = std::min(offset + count, stream_.initializedSize);
  bool ok = true;
  for (uint64_t pos = offset; pos < limit;) {
    const uint64_t unit = pos / unitBytes;
    if (!LoadUnit(unit)) ok = false;
    const uint64_t inUnit = pos - unit * unitBytes;
    const uint64_t n = std::min(limit - pos, unitBytes - inUnit);
    std::memcpy(out + (pos - offset), unit_.data() + inUnit, static_cast<size_t>(n));
    pos += n;
  }
  return ok;
}

bool NtfsDataReader::ReadRunPiece(const NtfsRun& run, uint64_t byteInRun, size_t count, uint8_t* out) {
  const NtfsGeometry& g = volume_.geometry();
  if (run.lcn >= g.totalClusters || run.length > g.totalClusters - run.lcn) {
    // Clusters the volume does not have.
    if (run.lcn >= g.totalClusters) return false;
    const uint64_t inVolume = (g.totalClusters - run.lcn) * g.clusterBytes;
    if (byteInRun >= inVolume) return false;
    if (count > inVolume - byteInRun) {
      ReadRunPiece(NtfsRun{run.vcn, run.lcn, g.totalClusters - run.lcn, false}, byteInRun,
                   static_cast<size_t>(inVolume - byteInRun), out);
      return false;
    }
  }
  const uint64_t first = run.lcn * g.sectorsPerCluster + byteInRun / kSectorSize;
  const size_t whole = count / kSectorSize;
  const size_t tail = count % kSectorSize;
  bool ok = true;
  if (whole) {
    if (!volume_.ReadSectors(first, static_cast<uint32_t>(whole), out)) {
      // Salvage what can be read, a cluster at a time.
      std::memset(out, 0, whole * kSectorSize);
      size_t done = 0;
      while (done < whole) {
        const uint64_t sector = first + done;
        size_t step = g.sectorsPerCluster - static_cast<size_t>(sector % g.sectorsPerCluster);
        step = std::min(step, whole - done);
        uint8_t* p = out + done * kSectorSize;
        if (!volume_.ReadSectors(sector, static_cast<uint32_t>(step), p)) {
          std::memset(p, 0, step * kSectorSize);
          ok = false;
        }
        done += step;
      }
    }
  }
  if (tail) {
    scratch_.resize(kSectorSize);
    if (volume_.ReadSectors(first + whole, 1, scratch_.data()))
      std::memcpy(out + whole * kSectorSize, scratch_.data(), tail);
    else
      ok = false;
  }
  return ok;
}
