#include "unformat/unformat_copy.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "copyout/fat_copy.h"
#include "copyout/ntfs_copy.h"
#include "copyout/output.h"
#include "copyout/tally.h"
#include "disk/raw.h"
#include "messages.h"
#include "ntfs/ntfs_bitmap.h"
#include "ntfs/ntfs_volume.h"
#include "progress/progress_gate.h"
#include "records/records.h"
#include "state.h"
#include "unformat/unformat.h"
#include "volume/sector_zero.h"

HWND gUnformatProgressWindow = nullptr;

namespace {

bool IsPowerOfTwo(uint32_t v) { return v && !(v & (v - 1)); }

// The page hears of a file at most every gate interval, with the number of
// files taken on so far, and of the last one when the copy-out ends.
ProgressGate gReportGate;
RecoverProgressBlock gHeldReport;
bool gReportHeld = false;

// The run's tally as the lists are copied one after the other.
CopyOutTally gTally;

void SendReport(const RecoverProgressBlock& block) {
  gReportHeld = false;
  if (HWND w = gUnformatProgressWindow)
    SendMessageA(w, WM_RECOVER_FILE, gTally.copied, reinterpret_cast<LPARAM>(&block));
}

void ReportFile(const char* path, const std::string& created) {
  HWND w = gUnformatProgressWindow;
  if (!w) return;
  RecoverProgressBlock& block = gHeldReport;
  std::memset(&block, 0, sizeof block);
  std::snprintf(block.source, sizeof block.source, "%s", path);
  std::snprintf(block.destination, sizeof block.destination, "%s", created.c_str());
  gReportHeld = true;
  if (gReportGate.Due()) SendReport(block);
}

bool OnScannedVolume(const char* destFolder, uint8_t driveIndex) {
  return destFolder && (destFolder[0] & 0xDF) == 'C' + driveIndex;
}

// One volume open at a time, opened again when the records' drive changes.
class SourceVolume {
 public:
  ~SourceVolume() { CloseVolume(handle_); }
  HANDLE Get(int driveIndex) {
    if (driveIndex != index_) {
      CloseVolume(handle_);
      index_ = driveIndex;
      handle_ = OpenVolume(driveIndex);
    }
    return handle_;
  }

 private:
  int index_ = -1;
  HANDLE handle_ = nullptr;
};

// Creates the output, reports it, lets write() fill it. A file cut short by a
// full destination or by the stop is removed: a shorter file under the real
// name would pass for the file, and its data is still on the source. The
// writer's result: 0, kCopyDamaged written but known damaged, -1 source
// short, -2 destination, kCopyCancelled stopped.
// A copy counted whole holds exactly the listed bytes: one that came out of
// another length is failed (it is kept: it may be all there is).
template <typename Write>
int WriteOne(const char* destFolder, const char* path, uint64_t listedSize, Write write) {
  int error = -1;
  std::string created;
  HANDLE out = CreateUnformatOutputFile(destFolder, path, &error, &created);
  if (!out) return -2;
  ReportFile(path, created);
  int rc = write(out);
  if ((rc == 0 || rc == kCopyDamaged) && !OutputHasSize(out, listedSize)) rc = -1;
  CloseHandle(out);
  // The contiguous-sector writer ends a file early on the stop flag with -1;
  // a file it had finished before the flag came is whole and stays.
  if (rc == -1 && gRecoverAbort.load() != 0) rc = kCopyCancelled;
  if (rc == -2 || rc == kCopyCancelled) DeleteFileA(created.c_str());
  return rc;
}

// Where a volume's data can be read: its device's size, else unbounded.
uint64_t VolumeEnd(HANDLE volume) {
  const uint64_t sectors = GetDeviceSectorCount(volume);
  return sectors ? sectors : UINT64_MAX;
}

template <typename Record>
uint32_t TickedFrom(const std::vector<Record>& files, size_t index) {
  uint32_t n = 0;
  for (size_t i = index; i < files.size(); ++i) n += files[i].selected ? 1 : 0;
  return n;
}

// Walks the ticked records of one list until the stop flag is raised: counts
// each, and hands it with its path (bounded) and its source volume to
// copy(), which tells whether the file came back whole. Returns how many did
// not.
template <typename Record, typename Copy>
int CopySelected(const std::vector<Record>& files, Copy copy) {
  int failed = 0;
  SourceVolume source;
  size_t i = 0;
  for (; i < files.size() && gRecoverAbort.load() == 0; ++i) {
    const Record& r = files[i];
    if (!r.selected) continue;
    ++gRecoverTakenFiles;
    ++gTally.copied;
    char path[sizeof r.path];
    std::memcpy(path, r.path, sizeof path);
    path[sizeof path - 1] = 0;
    if (!copy(r, path, source.Get(r.driveIndex))) ++failed;
  }
  // The stop came before these: nothing of them was written.
  gTally.notStarted += TickedFrom(files, i);
  return failed;
}

int CopyOutFatFiles(const std::vector<UnformatFatRecord>& files, const char* destFolder, uint32_t* damaged) {
  HANDLE measured = nullptr;
  uint64_t volumeEnd = UINT64_MAX;
  return CopySelected(files, [&](const UnformatFatRecord& r, const char* path, HANDLE volume) {
    if (volume != measured) {
      measured = volume;
      volumeEnd = VolumeEnd(volume);
    }
    const uint64_t start = r.startSector;
    // Data must start on a cluster of the data area (sector 0 is a boot
    // sector) and inside the volume.
    const bool readable = volume && IsPowerOfTwo(r.sectorsPerCluster) && r.sectorsPerCluster <= 128 &&
                          (r.size == 0 || (start != 0 && start < volumeEnd));
    if (!readable || OnScannedVolume(destFolder, r.driveIndex)) return false;
    // A size the volume cannot hold from the file's start on (a damaged
    // entry): what the volume holds is written, and the file counts as damaged.
    uint32_t size = r.size;
    const bool oversize = r.size != 0 && (volumeEnd - start) < (static_cast<uint64_t>(r.size) + 511) / 512;
    if (oversize) size = static_cast<uint32_t>(std::min<uint64_t>(r.size, (volumeEnd - start) * 512));
    const int rc = WriteOne(destFolder, path, size, [&](HANDLE out) {
      return WriteContiguousSectors(r.driveIndex, volume, start, r.sectorsPerCluster, size, out);
    });
    if (rc == 0 && oversize) ++*damaged;
    if (rc == 0 && !oversize) ++gTally.whole;
    return rc == 0;
  });
}

int CopyOutFat(const std::vector<UnformatFatRecord>& files, const char* destFolder) {
  uint32_t damaged = 0;
  const int failed = CopyOutFatFiles(files, destFolder, &damaged);
  gRecoverDamagedFiles += damaged;
  gTally.damaged += damaged;
  return failed;
}

// The old volume as the scan saw it: its cluster size and, when the scan
// found it, its MFT (for files whose runs lie in extension records).
NtfsGeometry OldGeometry(HANDLE volume, const UnformatNtfsRecord& r, bool* fromScan) {
  const UnformatNtfsSource& s = gUnformatNtfsSource;
  const uint32_t spc = DecodeClusterSectors(r.sectorsPerCluster);
  *fromScan = s.valid && s.driveIndex == r.driveIndex && s.sectorsPerCluster == spc;
  NtfsGeometry g;
  g.sectorsPerCluster = spc;
  g.clusterBytes = g.sectorsPerCluster * kSectorSize;
  g.totalSectors = *fromScan ? s.volumeSectors : GetDeviceSectorCount(volume);
  if (g.totalSectors == 0) g.totalSectors = UINT64_MAX / 2;
  g.totalClusters = g.totalSectors / g.sectorsPerCluster;
  g.mftStartSector = *fromScan ? s.mftStartSector : 0;
  g.mftCluster = g.mftStartSector / g.sectorsPerCluster;
  return g;
}

// The volume as its present file system sees it: the allocation of the
// format that hid the old files, which may since have given their clusters
// to new ones. Null when the volume is not NTFS now.
class PresentVolume {
 public:
  NtfsAllocation* Get(HANDLE volume, int driveIndex) {
    if (volume == handle_ && driveIndex == driveIndex_) return allocation_.get();
    handle_ = volume;
    driveIndex_ = driveIndex;
    allocation_.reset();
    volume_.reset();
    SectorZero zero;
    NtfsGeometry g;
    if (!volume || !ReadVolumeSectorZero(driveIndex, volume, &zero) || !ReadNtfsGeometry(zero.bytes, &g))
      return nullptr;
    ClampToDevice(&g, GetDeviceSectorCount(volume));
    volume_.reset(new NtfsVolume(volume, driveIndex, g));
    allocation_.reset(new NtfsAllocation(volume_.get()));
    return allocation_.get();
  }

 private:
  HANDLE handle_ = nullptr;
  int driveIndex_ = -1;
  std::unique_ptr<NtfsVolume> volume_;
  std::unique_ptr<NtfsAllocation> allocation_;
};

int CopyOutUnformatNtfsFiles(const char* destFolder, uint32_t* damaged) {
  std::unique_ptr<NtfsVolume> ntfs;
  PresentVolume present;
  return CopySelected(gUnformatNtfsFiles, [&](const UnformatNtfsRecord& r, const char* path, HANDLE volume) {
    // The cluster size as the record keeps it (a boot sector's byte): one
    // no NTFS volume can have names no data.
    const uint32_t spc = DecodeClusterSectors(r.sectorsPerCluster);
    if (!volume || spc == 0 || OnScannedVolume(destFolder, r.driveIndex)) return false;
    if (!ntfs || ntfs->handle() != volume || ntfs->driveIndex() != r.driveIndex ||
        ntfs->geometry().sectorsPerCluster != spc) {
      bool fromScan = false;
      ntfs.reset(new NtfsVolume(volume, r.driveIndex, OldGeometry(volume, r, &fromScan)));
      if (fromScan && !gUnformatNtfsSource.mftRuns.empty()) ntfs->UseMftRuns(gUnformatNtfsSource.mftRuns);
    }
    uint8_t record[kMftRecordBytes];
    NtfsDataStream stream;
    // Everything the copy needs is known before the output is made, so a
    // record that cannot be read leaves no empty file behind.
    if (!ntfs->ReadRecordFromSector(r.recordSector, record) || (RecordFlags(record) & kRecordIsFolder) ||
        !LocateUnnamedData(ntfs.get(), record, &stream))
      return false;
    // A record the present file system counts as its own is a live file: its
    // clusters are in use by itself. Any other file's clusters that the
    // present file system has given away are damage.
    NtfsAllocation* now = present.Get(volume, r.driveIndex);
    if (now && now->RecordAllocatedAt(r.recordSector) != 0) now = nullptr;
    // The bytes written are the ones the record's runs give; a record whose
    // runs give fewer than its size is damaged (PlanNtfsCopy), never whole.
    const uint64_t planned = stream.resident ? stream.residentValue.size() : PlanNtfsCopy(stream, ntfs->geometry()).bytes;
    const uint64_t listed = (static_cast<uint64_t>(r.sizeHigh) << 32) | r.sizeLow;
    int rc = WriteOne(destFolder, path, planned, [&](HANDLE out) { return WriteNtfsStream(*ntfs, stream, out, now); });
    if (rc == 0 && planned != listed) rc = kCopyDamaged;
    if (rc == kCopyDamaged) {
      ++*damaged;
      return true;
    }
    if (rc == 0) ++gTally.whole;
    return rc == 0;
  });
}

}  // namespace

HANDLE CreateUnformatOutputFile(const char* destination, const char* relativePath, int* error,
                                std::string* createdPath) {
  int dummy;
  if (!error) error = &dummy;
  HANDLE h = CreateOutputFile(relativePath, destination, error, createdPath);
  // An invalid name counts as a full destination: the caller goes on with the next file.
  if (!h && *error == -1 && GetLastError() == ERROR_INVALID_NAME) *error = -2;
  return h;
}

int CopyOutUnformatNtfs(const char* destFolder) {
  uint32_t damaged = 0;
  const int failed = CopyOutUnformatNtfsFiles(destFolder, &damaged);
  gRecoverDamagedFiles += damaged;
  gTally.damaged += damaged;
  return failed;
}

int CopyOutUnformatFat32(const char* destFolder) { return CopyOutFat(gUnformatFat32Files, destFolder); }
int CopyOutUnformatFat16(const char* destFolder) { return CopyOutFat(gUnformatFat16Files, destFolder); }


int RecoverUnformatFiles(const char* destFolder) {
  gReportGate.Reset();
  gReportHeld = false;
  gTally = CopyOutTally();
  gTally.ticked = TickedFrom(gUnformatNtfsFiles, 0) + TickedFrom(gUnformatFat32Files, 0) +
                  TickedFrom(gUnformatFat16Files, 0);
  int failed = 0;
  if (!gUnformatNtfsFiles.empty()) failed += CopyOutUnformatNtfs(destFolder);
  if (!gUnformatFat32Files.empty()) failed += CopyOutUnformatFat32(destFolder);
  if (!gUnformatFat16Files.empty()) failed += CopyOutUnformatFat16(destFolder);
  if (gReportHeld) SendReport(gHeldReport);
  gRecoverFailedFiles = static_cast<uint32_t>(failed);
  gTally.failed = static_cast<uint32_t>(failed);
  ReportCopyOutTally("unformat", gTally);
  return failed;
}
