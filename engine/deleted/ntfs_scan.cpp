#include "deleted/ntfs_scan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bytes.h"
#include "copyout/ntfs_copy.h"
#include "disk/raw.h"
#include "messages.h"
#include "ntfs/ntfs_bitmap.h"
#include "ntfs/ntfs_index.h"
#include "ntfs/ntfs_path.h"
#include "ntfs/ntfs_record.h"
#include "ntfs/ntfs_volume.h"
#include "progress/progress_gate.h"
#include "source_report.h"
#include "state.h"

namespace {

const char kScanStartText[] = "正在分析NTFS文件系统，请稍候……";

constexpr uint32_t kBlockSectors = 20480;                        // 10 MB of MFT per read
constexpr uint32_t kBlockRecords = kBlockSectors / kMftRecordSectors;
// Deeper than any real tree: NTFS paths end at 32767 characters, and a
// chain longer than this loops or is damaged.
constexpr int kMaxDepth = 4096;
constexpr size_t kPathField = sizeof(gNtfsEntry.path);   // 512 with its NUL
// Records below this are the file system's own, or reserved for it.
constexpr uint64_t kFirstUserRecord = 24;

// The identities of the listed records, by index into gDeletedFiles.
std::mutex gIdentityLock;
std::vector<NtfsScannedIdentity> gIdentities;

void ForgetIdentities() {
  std::lock_guard<std::mutex> lock(gIdentityLock);
  std::vector<NtfsScannedIdentity>().swap(gIdentities);
}
const bool kIdentityHookRegistered = (RegisterDeletedFilesClearHook(&ForgetIdentities), true);

void RememberIdentity(size_t index, const NtfsScannedIdentity& identity) {
  std::lock_guard<std::mutex> lock(gIdentityLock);
  if (gIdentities.size() <= index) gIdentities.resize(index + 1);
  gIdentities[index] = identity;
}

// The name ParseNtfsRecord took for the last record it accepted.
uint32_t gLastNameHash = 0;

// Claims a scan gathers for the pass over $Bitmap at its end: beyond these a
// file's data is left for the copy-out to judge.
constexpr size_t kMaxClaimsPerFile = 64;
constexpr size_t kMaxClaims = 8u << 20;

// What a record shows of its own data before anything is read: whether it
// claims more than the volume holds (true), and the clusters its data lies
// in, for the bitmap pass. A record whose data lies in other records
// (an attribute list) is left to the copy-out, which reads them anyway.
bool ClaimDataClusters(NtfsVolume& volume, const uint8_t* record, size_t owner,
                       std::vector<NtfsClusterClaim>* claims) {
  NtfsAttribute data, list;
  NtfsDataStream stream;
  // Small files keep their data in the record: nothing to claim.
  if (!FindAttribute(record, kMftRecordBytes, kAttrData, true, &data) || !data.nonResident ||
      FindAttribute(record, kMftRecordBytes, kAttrAttributeList, false, &list) ||
      !LocateUnnamedData(&volume, record, &stream) || stream.resident)
    return false;
  const NtfsGeometry& g = volume.geometry();
  const NtfsCopyPlan plan = PlanNtfsCopy(stream, g);
  const uint64_t clusters = (plan.bytes + g.clusterBytes - 1) / g.clusterBytes;
  size_t taken = 0;
  for (const NtfsRun& run : stream.runs) {
    if (run.vcn >= clusters || taken == kMaxClaimsPerFile || claims->size() >= kMaxClaims) break;
    if (run.sparse || run.lcn >= g.totalClusters) continue;
    NtfsClusterClaim c;
    c.lcn = run.lcn;
    c.count = std::min({run.length, clusters - run.vcn, g.totalClusters - run.lcn});
    c.owner = owner;
    claims->push_back(c);
    ++taken;
  }
  return plan.damaged;
}

void ToSystemTime(const FILETIME& utc, SYSTEMTIME* out, bool* bad) {
  FILETIME local;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, out)) {
    std::memset(out, 0, sizeof *out);
    *bad = true;
  }
}

// Joins the names gathered from the file up to the target (innermost first)
// into "\a\b\name". When they do not fit the path field, the outermost
// folders are left out: the file keeps its name and nearest folders.
void JoinPath(const std::vector<const std::string*>& names, char* out, size_t outSize) {
  size_t used = 0, count = 0;
  for (const std::string* n : names) {
    if (used + 1 + n->size() > outSize - 1) break;
    used += 1 + n->size();
    ++count;
  }
  size_t pos = 0;
  for (size_t i = count; i-- > 0;) {
    out[pos++] = '\\';
    std::memcpy(out + pos, names[i]->data(), names[i]->size());
    pos += names[i]->size();
  }
  out[pos] = 0;
}

}  // namespace

const char kNtfsNamelessFolder[] = "无名文件";

int ParseNtfsRecord(NtfsVolume& volume, uint8_t* record, const NtfsScanTarget& target, NtfsFolderCache& folders,
                    uint64_t recordNumber) {
  gNtfsEntry.status = 255;
  if (!PrepareFileRecord(record) || RecordBaseReference(record) != 0) return -1;

  NtfsTimes times;
  if (!ReadStandardTimes(record, kMftRecordBytes, &times)) return -1;
  bool badTime = false;
  ToSystemTime(times.created, &gNtfsEntry.created, &badTime);
  ToSystemTime(times.modified, &gNtfsEntry.modified, &badTime);
  ToSystemTime(times.accessed, &gNtfsEntry.accessed, &badTime);
  if (badTime && gOptSkipBadTimes == 1) return -1;

  NtfsFileName fn;
  uint8_t scratch[kMftRecordBytes];
  char name[kPathField];
  const bool named =
      FindRecordName(&volume, record, scratch, &fn) && NtfsNameToComponent(fn.name, fn.length, name, sizeof name);
  uint64_t size = 0;
  if (!named) {
    // A name that is there but unreadable is a damaged record; only a record
    // with no name at all is listed, and only when it holds bytes to save.
    NtfsAttribute unused;
    if (FindAttribute(record, kMftRecordBytes, kAttrFileName, false, &unused)) return -1;
    if (recordNumber == UINT64_MAX && ReadLe16(record + 4) >= 0x30) recordNumber = ReadLe32(record + 44);
    if (recordNumber < kFirstUserRecord || recordNumber == UINT64_MAX) return -1;
    if (target.record != kNtfsRootRecord) return -1;   // no folder links it to a target below the root
    if (!UnnamedDataSize(&volume, record, &size) || size == 0) return -1;
    gNtfsEntry.sizeHigh = static_cast<uint32_t>(size >> 32);
    gNtfsEntry.size = static_cast<uint32_t>(size);
    std::snprintf(gNtfsEntry.path, sizeof gNtfsEntry.path, "\\%s\\%llu", kNtfsNamelessFolder,
                  static_cast<unsigned long long>(recordNumber));
    gLastNameHash = NtfsNameHash("");
    gNtfsEntry.status = 1;
    return 0;
  }
  if (!UnnamedDataSize(&volume, record, &size)) return -1;
  gNtfsEntry.sizeHigh = static_cast<uint32_t>(size >> 32);
  gNtfsEntry.size = static_cast<uint32_t>(size);

  // Up the parent chain, whether the folders are in use or not. The walk
  // ends at the target, at the root, at a record that is not (or no longer)
  // the folder the reference means, or at a loop. The names are pointers
  // into the folder cache: it lets nothing go while a walk is under way
  // (EndWalk below).
  const std::string fileName(name);
  gLastNameHash = NtfsNameHash(name);
  std::vector<const std::string*> names{&fileName};
  std::vector<uint64_t> visited;
  uint64_t ref = fn.parentRef;
  bool reachedTarget = false;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const uint64_t parent = RefRecord(ref);
    if (parent == target.record) {
      reachedTarget = target.sequence == 0 || RefSequence(ref) == 0 || RefSequence(ref) == target.sequence;
      break;
    }
    if (parent == kNtfsRootRecord) break;
    if (std::find(visited.begin(), visited.end(), parent) != visited.end()) break;
    visited.push_back(parent);
    const NtfsFolderInfo& info = folders.Get(parent);
    if (!info.readable || !info.folder || !ReferenceMatches(info, ref)) break;
    names.push_back(&info.name);
    ref = info.parentRef;
  }
  if (target.record != kNtfsRootRecord && !reachedTarget) {
    gNtfsEntry.status = 0;
    folders.EndWalk();
    return -1;
  }
  JoinPath(names, gNtfsEntry.path, sizeof gNtfsEntry.path);
  folders.EndWalk();
  gNtfsEntry.status = 1;
  return 0;
}

NtfsScannedIdentity ScannedNtfsIdentity(size_t index) {
  std::lock_guard<std::mutex> lock(gIdentityLock);
  return index < gIdentities.size() ? gIdentities[index] : NtfsScannedIdentity();
}

int NtfsDeletedScan(int driveIndex, const char* target, const uint8_t* bootSector, HWND window) {
  std::memset(&gNtfsEntry, 0, sizeof gNtfsEntry);
  if (window) SendMessageA(window, WM_DELSCAN_PROGRESS, 0, reinterpret_cast<LPARAM>(kScanStartText));

  NtfsGeometry geometry;
  if (!bootSector || !ReadNtfsGeometry(bootSector, &geometry)) return -1;
  gMftStartSector = geometry.mftStartSector;

  HANDLE handle = OpenVolume(driveIndex);
  if (!handle) return kScanCannotOpen;
  std::unique_ptr<void, void (*)(void*)> closer(handle, [](void* h) { CloseVolume(static_cast<HANDLE>(h)); });
  ClampToDevice(&geometry, GetDeviceSectorCount(handle));
  NtfsVolume volume(handle, driveIndex, geometry);
  if (!volume.LoadMft()) return kScanCannotRead;

  NtfsScanTarget scanTarget;
  const int64_t targetRecord = FindNtfsTargetRecord(volume, target);
  if (targetRecord < 0) return -1;
  scanTarget.record = static_cast<uint64_t>(targetRecord);
  if (scanTarget.record != kNtfsRootRecord) {
    uint8_t record[kMftRecordBytes];
    if (volume.ReadRecord(scanTarget.record, record)) scanTarget.sequence = RecordSequence(record);
  }

  // The progress text: the target (a drive root without its backslash) and
  // the file's path.
  char prefix[512];
  std::strncpy(prefix, target, sizeof prefix - 1);
  prefix[sizeof prefix - 1] = 0;
  size_t prefixLength = std::strlen(prefix);
  if (prefixLength == 3 && prefix[2] == '\\') prefix[--prefixLength] = 0;

  std::vector<uint8_t> block(static_cast<size_t>(kBlockSectors) * kSectorSize);
  NtfsFolderCache folders(volume, gNtfsFolderCacheLimit);
  uint32_t accepted = 0;
  // The page hears of a file at most every gate interval, and of the last
  // one when the scan ends, however it ends.
  ProgressGate gate;
  std::string heldText;
  struct SendHeldText {
    HWND window;
    const std::string& text;
    ~SendHeldText() {
      if (window && !text.empty()) SendMessageA(window, WM_DELSCAN_PROGRESS, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
  } sendHeldText{window, heldText};
  const uint64_t recordCount = volume.mftRecordCount();
  const uint64_t clusterBytes = geometry.clusterBytes;

  // Files whose data the volume shows gone (their record claims more than it
  // holds, or its $Bitmap has given their clusters to other files) are
  // marked, so the result page can say so before anything is copied.
  std::vector<NtfsClusterClaim> claims;
  auto MarkDamaged = [](size_t index) {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    if (index < gDeletedFiles.size()) gDeletedFiles[index].damaged = 1;
  };

  // Handles one record that is not in use; false when the scan must stop.
  auto examine = [&](uint8_t* record, uint64_t sector, uint64_t number) {
    if (ScanAbortRequested()) return false;
    if (ReadLe32(record + 20) >= 0x10000) return true;   // flags not 0: in use, or a folder
    if (ParseNtfsRecord(volume, record, scanTarget, folders, number) != 0) return true;
    if (window) {
      char text[1024];
      std::snprintf(text, sizeof text, "%s%s", prefix, gNtfsEntry.path);
      if (gate.Due()) {
        SendMessageA(window, WM_DELSCAN_PROGRESS, 0, reinterpret_cast<LPARAM>(text));
        heldText.clear();
      } else {
        heldText = text;
      }
    }
    DeletedFileRecord r = {};
    r.serial = accepted++;
    r.selected = 0;
    r.location = sector;
    std::memcpy(r.path, gNtfsEntry.path, sizeof gNtfsEntry.path);
    r.path[sizeof r.path - 1] = 0;
    r.created = gNtfsEntry.created;
    r.modified = gNtfsEntry.modified;
    r.accessed = gNtfsEntry.accessed;
    r.sizeHigh = gNtfsEntry.sizeHigh;
    r.size = gNtfsEntry.size;
    r.driveIndex = static_cast<uint8_t>(driveIndex);
    NtfsScannedIdentity identity;
    identity.known = true;
    identity.sequence = RecordSequence(record);
    identity.nameHash = gLastNameHash;
    const size_t index = AppendDeletedFile(r);
    RememberIdentity(index, identity);
    if (ClaimDataClusters(volume, record, index, &claims)) MarkDamaged(index);
    return true;
  };

  // The MFT is read run by run in large blocks. With clusters smaller than a
  // record, a record may straddle two runs: it is read from both halves on
  // its own, and listed at its first half, where the copy-out looks it up.
  uint8_t split[kMftRecordBytes];
  auto readSplit = [&](uint64_t number) {
    uint64_t sector = 0;
    if (number >= recordCount || !volume.RecordSector(number, &sector)) return true;
    if (!volume.ReadRecord(number, split)) return true;
    return examine(split, sector, number);
  };
  auto readMft = [&]() {
    for (const NtfsRun& run : volume.mftRuns()) {
      if (ScanAbortRequested()) return false;
      // Clusters past the end of the volume hold no records.
      if (run.sparse || run.lcn >= geometry.totalClusters) continue;
      const uint64_t inVolume = std::min(run.length, geometry.totalClusters - run.lcn);
      const uint64_t runBytesStart = run.vcn * clusterBytes;
      const uint64_t runBytesEnd = (run.vcn + inVolume) * clusterBytes;
      const uint64_t first = (runBytesStart + kMftRecordBytes - 1) / kMftRecordBytes;
      const uint64_t last = std::min(runBytesEnd / kMftRecordBytes, recordCount);   // exclusive
      // The record that begins in this run and ends in the next one. Its
      // first half is the run's last cluster only when the run was not cut
      // short by the volume's end.
      const bool endsInRecord = runBytesEnd % kMftRecordBytes != 0 && inVolume == run.length;
      if (first >= last) {
        if (endsInRecord && !readSplit(runBytesEnd / kMftRecordBytes)) return false;
        continue;
      }
      const uint64_t firstSector = run.lcn * geometry.sectorsPerCluster +
                                   (first * kMftRecordBytes - runBytesStart) / kSectorSize;
      for (uint64_t r = first; r < last;) {
        if (ScanAbortRequested()) return false;
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kBlockRecords, last - r));
        const uint64_t sector = firstSector + (r - first) * kMftRecordSectors;
        if (!volume.ReadSectors(sector, n * kMftRecordSectors, block.data())) {
          // Salvage the records that can still be read.
          for (uint32_t i = 0; i < n; ++i) {
            uint8_t* p = block.data() + static_cast<size_t>(i) * kMftRecordBytes;
            if (!volume.ReadSectors(sector + i * kMftRecordSectors, kMftRecordSectors, p))
              std::memset(p, 0, kMftRecordBytes);
          }
        }
        for (uint32_t i = 0; i < n; ++i) {
          if (!examine(block.data() + static_cast<size_t>(i) * kMftRecordBytes, sector + i * kMftRecordSectors,
                       r + i))
            return false;
        }
        r += n;
      }
      if (endsInRecord && !readSplit(runBytesEnd / kMftRecordBytes)) return false;
    }
    return true;
  };
  if (readMft() && !claims.empty()) {
    NtfsAllocation allocation(&volume);
    for (size_t index : allocation.OwnersOfClustersInUse(std::move(claims))) MarkDamaged(index);
  }
  return 0;
}
