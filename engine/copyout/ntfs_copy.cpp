#include "copyout/ntfs_copy.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "copyout/output.h"
#include "disk/raw.h"
#include "ntfs/ntfs_bitmap.h"
#include "ntfs/ntfs_volume.h"
#include "state.h"
#include "volume/sector_zero.h"

namespace {

constexpr size_t kChunkBytes = 1024 * 1024;
constexpr uint16_t kCompressedOrSparse = 0x00FF | 0x8000;
// Windows addresses no more clusters than this in one file.
constexpr uint64_t kMaxFileClusters = 1ull << 32;

uint64_t SaturatingMul(uint64_t a, uint64_t b) { return a && b > UINT64_MAX / a ? UINT64_MAX : a * b; }

// The volume the deleted files of a copy-out come from, kept from file to
// file while the handle and the boot sector stay the same: its MFT's runs
// and the places of its bitmaps are read once, the bits on every file.
struct CopySource {
  HANDLE handle = nullptr;
  int driveIndex = -1;
  bool bootRead = false;
  uint8_t boot[kSectorSize] = {};
  uint32_t fallbackSpc = 0;
  std::unique_ptr<NtfsVolume> volume;
  std::unique_ptr<NtfsAllocation> allocation;   // null when the boot sector is not NTFS
};
std::mutex gSourceLock;
CopySource gSource;

// The source for this call, made anew when anything about it changed.
CopySource& SourceFor(HANDLE handle, int driveIndex, uint32_t sectorsPerCluster) {
  SectorZero zero;
  const bool bootRead = ReadVolumeSectorZero(driveIndex, handle, &zero);
  const uint8_t* boot = zero.bytes;
  CopySource& s = gSource;
  if (s.volume && s.handle == handle && s.driveIndex == driveIndex && s.bootRead == bootRead &&
      (bootRead ? std::memcmp(s.boot, boot, sizeof s.boot) == 0 : s.fallbackSpc == sectorsPerCluster))
    return s;
  s = CopySource();
  s.handle = handle;
  s.driveIndex = driveIndex;
  s.bootRead = bootRead;
  s.fallbackSpc = sectorsPerCluster;
  NtfsGeometry g;
  if (bootRead && ReadNtfsGeometry(boot, &g)) {
    std::memcpy(s.boot, boot, sizeof s.boot);
    ClampToDevice(&g, GetDeviceSectorCount(handle));
    s.volume.reset(new NtfsVolume(handle, driveIndex, g));
    s.allocation.reset(new NtfsAllocation(s.volume.get()));
    return s;
  }
  // Without a boot sector: the caller's cluster size with 1 KB records,
  // enough to read one file's runs, and nothing known of the allocation.
  if (bootRead) std::memcpy(s.boot, boot, sizeof s.boot);
  g = NtfsGeometry();
  g.sectorsPerCluster = sectorsPerCluster ? sectorsPerCluster : 1;
  g.clusterBytes = g.sectorsPerCluster * kSectorSize;
  g.totalSectors = GetDeviceSectorCount(handle);
  g.totalClusters = g.totalSectors / g.sectorsPerCluster;
  s.volume.reset(new NtfsVolume(handle, driveIndex, g));
  return s;
}

// Whether the record read now is still the deleted file the scan listed.
bool StillTheScannedFile(NtfsVolume* volume, const uint8_t* record, const NtfsScannedIdentity* scanned) {
  if (RecordFlags(record) & kRecordInUse) return false;   // given to a live file
  if (RecordBaseReference(record) != 0) return false;      // now part of another file's record
  if (!scanned || !scanned->known) return true;
  if (RecordSequence(record) != scanned->sequence) return false;
  uint8_t scratch[kMftRecordBytes];
  NtfsFileName fn;
  char name[512];
  // A file the scan found without a name was listed under the empty one.
  if (!FindRecordName(volume, record, scratch, &fn) || !NtfsNameToComponent(fn.name, fn.length, name, sizeof name))
    name[0] = 0;
  return NtfsNameHash(name) == scanned->nameHash;
}

// Whether the now-allocation marks as in use any sector that holds one of
// the first `bytes` of the stream. Sectors, not whole clusters: the present
// file system may have other cluster sizes than the one the file was
// written with, and what lies past the file's end is not the file's.
bool ClustersTaken(const NtfsVolume& volume, const NtfsDataStream& stream, uint64_t bytes, NtfsAllocation* now) {
  if (!now || !now->known()) return false;
  const NtfsGeometry& g = volume.geometry();
  const uint64_t sectors = (bytes + kSectorSize - 1) / kSectorSize;
  for (const NtfsRun& run : stream.runs) {
    const uint64_t first = SaturatingMul(run.vcn, g.sectorsPerCluster);   // in the file
    if (first >= sectors) break;
    if (run.sparse || run.lcn >= g.totalClusters) continue;
    const uint64_t inRun = std::min(run.length, g.totalClusters - run.lcn) * g.sectorsPerCluster;
    const uint64_t n = std::min(inRun, sectors - first);
    if (now->SectorsInUse(run.lcn * g.sectorsPerCluster, n)) return true;
  }
  return false;
}

}  // namespace

NtfsCopyPlan PlanNtfsCopy(const NtfsDataStream& stream, const NtfsGeometry& volume) {
  NtfsCopyPlan plan;
  if (stream.resident) {
    plan.bytes = stream.residentValue.size();
    return plan;
  }
  const uint64_t clusterBytes = volume.clusterBytes ? volume.clusterBytes : kSectorSize;
  const bool holesAllowed = (stream.flags & kCompressedOrSparse) != 0;
  const uint64_t mapped = SaturatingMul(RunClusters(stream.runs), clusterBytes);
  uint64_t length = std::min(stream.realSize, mapped);
  if (stream.realSize > mapped) plan.damaged = true;
  if (holesAllowed && length > SaturatingMul(kMaxFileClusters, clusterBytes)) {
    length = SaturatingMul(kMaxFileClusters, clusterBytes);
    plan.damaged = true;
  }
  // Allocated clusters, counted as the runs go: more than the volume has is
  // a run list that names clusters again and again.
  uint64_t allocated = 0;
  for (const NtfsRun& run : stream.runs) {
    const uint64_t start = SaturatingMul(run.vcn, clusterBytes);
    if (start >= length) break;
    const uint64_t runBytes = SaturatingMul(run.length, clusterBytes);
    if (run.sparse) {
      if (!holesAllowed) {   // a hole where the file must have clusters
        length = start;
        plan.damaged = true;
        break;
      }
      continue;
    }
    if (run.lcn >= volume.totalClusters) {
      length = start;
      plan.damaged = true;
      break;
    }
    uint64_t inVolume = run.length;
    if (run.length > volume.totalClusters - run.lcn) {
      inVolume = volume.totalClusters - run.lcn;
      length = std::min(length, start + inVolume * clusterBytes);
      plan.damaged = true;
    }
    if (allocated + inVolume > volume.totalClusters) {
      length = std::min(length, start + (volume.totalClusters - allocated) * clusterBytes);
      plan.damaged = true;
      break;
    }
    allocated += inVolume;
    (void)runBytes;
  }
  plan.bytes = length;
  return plan;
}

int PrepareNtfsCopy(int driveIndex, HANDLE volume, uint64_t mftRecordSector, uint32_t sectorsPerCluster,
                    const NtfsScannedIdentity* scanned, NtfsPreparedCopy* out) {
  if (!volume || !out) return -1;
  if (gRecoverAbort.load() != 0) return kCopyNotStarted;
  std::lock_guard<std::mutex> lock(gSourceLock);
  CopySource& source = SourceFor(volume, driveIndex, sectorsPerCluster);
  NtfsVolume& ntfs = *source.volume;
  uint8_t record[kMftRecordBytes];
  if (!ntfs.ReadRecordFromSector(mftRecordSector, record)) return -1;
  if (RecordFlags(record) & kRecordIsFolder) return -1;
  if (!StillTheScannedFile(&ntfs, record, scanned)) return -1;
  out->stream = NtfsDataStream();
  if (!LocateUnnamedData(&ntfs, record, &out->stream)) return -1;
  out->geometry = ntfs.geometry();
  if (out->stream.resident) {
    out->plan = NtfsCopyPlan();
    out->plan.bytes = out->stream.residentValue.size();
    out->taken = false;
  } else {
    out->plan = PlanNtfsCopy(out->stream, out->geometry);
    out->taken = ClustersTaken(ntfs, out->stream, out->plan.bytes, source.allocation.get());
  }
  return 0;
}

int CopyOutNtfsFile(const char* destination, int driveIndex, HANDLE volume, uint64_t mftRecordSector,
                    uint32_t sectorsPerCluster, const char* path, const NtfsScannedIdentity* scanned) {
  // Everything the copy needs is known before the output is made, so a
  // record that cannot be read leaves no empty file behind.
  NtfsPreparedCopy prepared;
  const int ready = PrepareNtfsCopy(driveIndex, volume, mftRecordSector, sectorsPerCluster, scanned, &prepared);
  if (ready != 0) return ready;
  OutputFile out;
  int error = -2;
  if (!out.Create(path, destination, &error)) return -2;
  NtfsVolume ntfs(volume, driveIndex, prepared.geometry);
  return WritePreparedNtfsCopy(ntfs, prepared, &out);
}

int WritePreparedNtfsCopy(const NtfsVolume& volume, const NtfsPreparedCopy& prepared, OutputFile* out) {
  int result = WritePlannedStream(volume, prepared.stream, prepared.plan, prepared.taken, out->handle());
  // A file cut short never keeps the name of the whole one.
  if (result == -2 || result == kCopyCancelled) {
    out->Discard();
    return result == -2 ? -2 : -1;
  }
  // What the record gives, and nothing else, is what a whole copy holds.
  if ((result == 0 || result == kCopyDamaged) && !OutputHasSize(out->handle(), prepared.plan.bytes)) result = -1;
  if (result == 0 && prepared.listedSize != kUnknownListedSize && prepared.listedSize != prepared.plan.bytes)
    result = kCopyDamaged;
  out->Keep();
  return result;
}

int WriteNtfsStream(const NtfsVolume& volume, const NtfsDataStream& stream, HANDLE out, NtfsAllocation* now) {
  if (stream.resident) {
    NtfsCopyPlan plan;
    plan.bytes = stream.residentValue.size();
    return WritePlannedStream(volume, stream, plan, false, out);
  }
  const NtfsCopyPlan plan = PlanNtfsCopy(stream, volume.geometry());
  return WritePlannedStream(volume, stream, plan, ClustersTaken(volume, stream, plan.bytes, now), out);
}

int WritePlannedStream(const NtfsVolume& volume, const NtfsDataStream& stream, const NtfsCopyPlan& plan, bool taken,
                       HANDLE out) {
  if (stream.resident) {
    if (!stream.residentValue.empty() &&
        WriteRecoveredBytes(out, stream.residentValue.data(), static_cast<uint32_t>(stream.residentValue.size())) != 0)
      return -2;
    return 0;
  }
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(kChunkBytes, std::max<uint64_t>(plan.bytes, 1))));
  NtfsDataReader reader(volume, stream);
  bool whole = stream.complete;
  for (uint64_t done = 0; done < plan.bytes;) {
    if (gRecoverAbort.load() != 0) return kCopyCancelled;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), plan.bytes - done));
    if (!reader.Read(done, n, chunk.data())) whole = false;
    if (WriteRecoveredBytes(out, chunk.data(), static_cast<uint32_t>(n)) != 0) return -2;
    done += n;
  }
  // Clusters that could not be read were written as zeros: the file is
  // whole in length but not in content.
  if (!whole) return -1;
  return plan.damaged || taken ? kCopyDamaged : 0;
}
