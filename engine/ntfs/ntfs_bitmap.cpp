#include "ntfs/ntfs_bitmap.h"

#include <algorithm>
#include <unordered_set>

#include "ntfs/ntfs_record.h"
#include "state.h"

namespace {

constexpr uint64_t kBitmapRecord = 6;
constexpr uint64_t kMaxBitmapRead = 1024 * 1024;   // bytes of bitmap per read

// The record's listed name is this ASCII text.
bool NamedAs(NtfsVolume* volume, const uint8_t* record, const char* ascii) {
  uint8_t scratch[kMftRecordBytes];
  NtfsFileName fn;
  if (!FindRecordName(volume, record, scratch, &fn)) return false;
  size_t n = 0;
  while (ascii[n]) ++n;
  if (fn.length != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (fn.name[2 * i] != static_cast<uint8_t>(ascii[i]) || fn.name[2 * i + 1] != 0) return false;
  return true;
}

}  // namespace

NtfsAllocation::NtfsAllocation(NtfsVolume* volume) : volume_(volume) {
  if (!volume_->LoadMft()) return;
  uint8_t record[kMftRecordBytes];
  // $Bitmap: record 6, in use, by that name, its data not resident.
  if (volume_->ReadRecord(kBitmapRecord, record) && (RecordFlags(record) & kRecordInUse) &&
      NamedAs(volume_, record, "$Bitmap") && LocateUnnamedData(volume_, record, &clusters_) && !clusters_.resident)
    clustersKnown_ = true;
  // $MFT's own $BITMAP: one bit per record.
  if (volume_->ReadRecord(0, record)) {
    NtfsAttribute a;
    if (FindAttribute(record, sizeof record, kAttrBitmap, true, &a)) {
      if (!a.nonResident) {
        records_.resident = true;
        records_.residentValue.assign(a.value, a.value + a.valueLength);
        records_.realSize = records_.initializedSize = a.valueLength;
        recordsKnown_ = true;
      } else if (a.lowestVcn == 0 && DecodeRunList(a.runList, a.runListLength, 0, &records_.runs)) {
        records_.realSize = a.realSize;
        records_.initializedSize = std::min(a.initializedSize, a.realSize);
        recordsKnown_ = true;
      }
    }
  }
}

bool NtfsAllocation::ReadBits(const NtfsDataStream& stream, uint64_t firstBit, uint64_t count,
                              std::vector<uint8_t>* bytes, uint64_t* byteStart) {
  const uint64_t first = firstBit / 8;
  if (count == 0 || first >= stream.realSize) return false;
  const uint64_t last = std::min((firstBit + count - 1) / 8, stream.realSize - 1);
  const uint64_t aligned = first - first % kSectorSize;
  const uint64_t length = last + 1 - aligned;
  bytes->assign(static_cast<size_t>(length), 0);
  NtfsDataReader reader(*volume_, stream);
  for (uint64_t done = 0; done < length;) {
    const size_t n = static_cast<size_t>(std::min(kMaxBitmapRead, length - done));
    if (!reader.Read(aligned + done, n, bytes->data() + done)) return false;
    done += n;
  }
  *byteStart = aligned;
  return true;
}

bool NtfsAllocation::SectorsInUse(uint64_t firstSector, uint64_t sectors) {
  if (!clustersKnown_ || sectors == 0) return false;
  const uint64_t spc = volume_->geometry().sectorsPerCluster;
  const uint64_t total = volume_->geometry().totalClusters;
  const uint64_t firstCluster = firstSector / spc;
  if (firstCluster >= total) return false;
  const uint64_t lastSector = firstSector + std::min(sectors, UINT64_MAX - firstSector) - 1;
  const uint64_t lastCluster = std::min(lastSector / spc, total - 1);
  // In pieces, so a run of any length costs at most a megabyte at a time.
  constexpr uint64_t kPieceBits = kMaxBitmapRead * 8;
  std::vector<uint8_t> bytes;
  for (uint64_t c = firstCluster; c <= lastCluster;) {
    const uint64_t n = std::min(kPieceBits, lastCluster - c + 1);
    uint64_t start = 0;
    if (!ReadBits(clusters_, c, n, &bytes, &start)) return false;
    for (uint64_t bit = c; bit < c + n; ++bit) {
      const uint64_t at = bit / 8 - start;
      if (at >= bytes.size()) return false;
      // A whole byte of clear bits is passed over at once.
      if (bit % 8 == 0 && bit + 8 <= c + n && bytes[static_cast<size_t>(at)] == 0) {
        bit += 7;
        continue;
      }
      if (bytes[static_cast<size_t>(at)] >> (bit % 8) & 1) return true;
    }
    c += n;
  }
  return false;
}

int NtfsAllocation::RecordAllocatedAt(uint64_t sector) {
  if (!volume_->mftLoaded()) return -1;
  const NtfsGeometry& g = volume_->geometry();
  for (const NtfsRun& run : volume_->mftRuns()) {
    if (run.sparse || run.lcn >= g.totalClusters) continue;
    const uint64_t first = run.lcn * g.sectorsPerCluster;
    const uint64_t length = std::min(run.length, g.totalClusters - run.lcn);
    if (sector < first || sector - first >= length * g.sectorsPerCluster) continue;
    const uint64_t byte = run.vcn * g.clusterBytes + (sector - first) * kSectorSize;
    if (byte % kMftRecordBytes != 0) return 0;
    const uint64_t index = byte / kMftRecordBytes;
    if (index >= volume_->mftRecordCount()) return 0;
    if (!recordsKnown_) return -1;
    std::vector<uint8_t> bytes;
    uint64_t start = 0;
    if (!ReadBits(records_, index, 1, &bytes, &start)) return -1;
    return bytes[static_cast<size_t>(index / 8 - start)] >> (index % 8) & 1;
  }
  return 0;
}

std::vector<size_t> NtfsAllocation::OwnersOfClustersInUse(std::vector<NtfsClusterClaim> claims) {
  std::vector<size_t> owners;
  if (!clustersKnown_) return owners;
  std::sort(claims.begin(), claims.end(),
            [](const NtfsClusterClaim& a, const NtfsClusterClaim& b) { return a.lcn < b.lcn; });
  const uint64_t total = volume_->geometry().totalClusters;
  constexpr uint64_t kWindowBits = kMaxBitmapRead * 8;
  std::vector<uint8_t> bytes;
  uint64_t windowFirst = UINT64_MAX, windowEnd = 0, byteStart = 0;
  bool windowRead = false;
  std::unordered_set<size_t> seen;
  for (const NtfsClusterClaim& claim : claims) {
    if (seen.count(claim.owner) || claim.lcn >= total) continue;
    const uint64_t end = claim.lcn + std::min(claim.count, total - claim.lcn);
    for (uint64_t c = claim.lcn; c < end; ++c) {
      if (c < windowFirst || c >= windowEnd) {
        windowFirst = c - c % kWindowBits;
        windowEnd = std::min(windowFirst + kWindowBits, total);
        windowRead = ReadBits(clusters_, windowFirst, windowEnd - windowFirst, &bytes, &byteStart);
      }
      if (!windowRead) {   // unreadable: nothing is claimed for this part
        c = windowEnd - 1;
        continue;
      }
      const uint64_t at = c / 8 - byteStart;
      if (at >= bytes.size()) break;
      if (c % 8 == 0 && c + 8 <= end && bytes[static_cast<size_t>(at)] == 0) {
        c += 7;
        continue;
      }
      if (bytes[static_cast<size_t>(at)] >> (c % 8) & 1) {
        seen.insert(claim.owner);
        owners.push_back(claim.owner);
        break;
      }
    }
  }
  return owners;
}
