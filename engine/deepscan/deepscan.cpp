#include "deepscan/deepscan.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "bytes.h"
#include "deepscan/block_reader.h"
#include "deepscan/file_end.h"
#include "disk/device.h"
#include "disk/identity.h"
#include "disk/raw.h"
#include "messages.h"
#include "progress/progress_gate.h"
#include "records/records.h"
#include "state.h"
#include "volume/boot.h"
#include "volume/sector_zero.h"

HWND gDeepScanWindow = nullptr;
uint32_t gLastHitWasMpeg = 0;
std::atomic<uint32_t> gDeepScanProgressShift{0};
std::atomic<uint32_t> gDeepScanHitCount{0};

namespace {

// Windows 9x addresses at most 2^32 sectors; its size probe stops there.
constexpr uint64_t kMaxProbeSectors = 1ull << 32;
// A type the table gives no size limit for stops here, at the latest.
constexpr uint64_t kDefaultCapBytes = 4ull << 30;
// An unreadable block is read again in pieces, so one bad sector costs the
// scan 64 KB rather than 4 MB.
constexpr uint32_t kPieceSectors = 128;
constexpr uint32_t kPiecesPerBlock = kDeepScanBlockSectors / kPieceSectors;
constexpr size_t kZipLookBytes = 102400;
constexpr uint32_t kZipReadSectors = 200;
constexpr size_t kZipHeaderReach = 10240;

// A UTF-16LE copy of an ASCII name, without terminator.
std::string Utf16Le(const char* ascii) {
  std::string out;
  for (; *ascii; ++ascii) {
    out += *ascii;
    out += '\0';
  }
  return out;
}

bool IsNtFamily() { return GetPlatformKind() == kPlatformNt; }

// Closes what OpenSectorTarget opened: a volume handle, or the disk handle.
void CloseSectorTarget(uint32_t target, HANDLE handle) {
  if (TargetVolume(target) != kTargetUnused)
    CloseVolume(handle);
  else
    CloseDiskHandle();
}

// The total of a volume's boot sector as the file-system detection reads it.
uint64_t BootSectorTotal(const SectorZero& zero) {
  const BootFields& f = zero.fields;
  switch (zero.boot) {
    case BootKind::Fat16:
      return f.totalSectors32 ? f.totalSectors32 : f.totalSectors16;   // small FAT12/16 volumes keep it in 16 bits
    case BootKind::Fat32:
      return f.totalSectors32;
    case BootKind::Ntfs:
      return static_cast<uint32_t>(f.ntfsTotalSectors);   // the low 32 bits only
    case BootKind::Unknown:
      break;
  }
  return 0;
}

uint64_t VolumeSectorCount(int driveIndex, HANDLE handle) {
  // The deep scan reads the whole volume, whatever file system it holds (or
  // none): the device's size first, the boot sector's word only without it.
  if (IsNtFamily()) {
    uint64_t device = GetDeviceSectorCount(handle);
    if (device) return device;
  }
  SectorZero zero;
  if (!ReadVolumeSectorZero(driveIndex, handle, &zero)) return 0;
  return BootSectorTotal(zero);
}

// Windows 9x without a count in the identify data: probe with single-sector
// reads, coarse steps first, then halve the gap to the first sector that
// fails, so the count is exact rather than a multiple of the step.
uint64_t ProbeDiskSectorCount9x(int disk) {
  char path[32];
  MakeDiskPath(disk, path);
  if (!path[0]) return 0;
  uint8_t sector[512];
  auto readable = [&](uint64_t s) { return ReadDiskSectors(path, s, 1, sector) == 0; };
  static const uint64_t kSteps[] = {1953125, 195312, 19531};
  uint64_t good = 0, bad = 0;
  bool found = false;
  for (uint64_t step : kSteps) {
    if (!readable(step)) continue;
    good = step;
    while (good + step < kMaxProbeSectors && readable(good + step)) good += step;
    bad = std::min(good + step, kMaxProbeSectors);
    found = true;
    break;
  }
  if (!found) {
    if (!readable(0)) return 0;
    good = 0;
    bad = kSteps[2];
  }
  while (bad - good > 1) {
    uint64_t mid = good + (bad - good) / 2;
    if (readable(mid))
      good = mid;
    else
      bad = mid;
  }
  return good + 1;
}

}  // namespace

// --- sector counts -----------------------------------------------------------

uint64_t GetPhysicalDiskSectorCount(int disk) {
  char path[32];
  MakeDiskPath(disk, path);
  if (!path[0]) return 0;
  HANDLE h = gDeviceCalls.createFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  if (!IsValidHandle(h)) return 0;
  OSVERSIONINFOA vi = {};
  vi.dwOSVersionInfoSize = sizeof vi;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  bool old = GetVersionExA(&vi) && (vi.dwMajorVersion < 5 || (vi.dwMajorVersion == 5 && vi.dwMinorVersion == 0));
#pragma GCC diagnostic pop
  uint64_t sectors = 0;
  DWORD got = 0;
  if (old) {
    DISK_GEOMETRY g = {};
    if (gDeviceCalls.deviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &got, nullptr))
      sectors = static_cast<uint64_t>(g.Cylinders.LowPart) * g.TracksPerCylinder * g.SectorsPerTrack;
  } else {
    GET_LENGTH_INFORMATION len = {};
    if (gDeviceCalls.deviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &len, sizeof len, &got, nullptr) &&
        len.Length.QuadPart > 0)
      sectors = static_cast<uint64_t>(len.Length.QuadPart) / kSectorSize;
    DISK_GEOMETRY_EX gx = {};
    if (gDeviceCalls.deviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &gx, sizeof gx, &got,
                                     nullptr) &&
        gx.DiskSize.QuadPart > 0)
      sectors = std::max(sectors, static_cast<uint64_t>(gx.DiskSize.QuadPart) / kSectorSize);
  }
  // Disk images (and drivers that answer neither) still know their size.
  if (sectors == 0) sectors = GetDeviceSectorCount(h);
  gDeviceCalls.closeHandle(h);
  return sectors;
}

uint64_t GetTargetSectorCount64(uint32_t target) {
  gDiskSectorCount = 0;
  uint32_t disk = TargetDisk(target), volume = TargetVolume(target);
  if (disk != kTargetUnused && volume != kTargetUnused) return 0;
  if (volume != kTargetUnused) {
    HANDLE h = OpenVolume(static_cast<int>(volume));
    if (!h) return 0;
    uint64_t n = VolumeSectorCount(static_cast<int>(volume), h);
    CloseVolume(h);
    return n;
  }
  switch (GetPlatformKind()) {
    case kPlatformNt:
      return GetPhysicalDiskSectorCount(static_cast<int>(disk));
    case kPlatformWin9x:
      if (GetDiskIdentifyText(static_cast<int>(disk)) && gDiskSectorCount != 0) return gDiskSectorCount;
      return ProbeDiskSectorCount9x(static_cast<int>(disk));
    default:
      return 0;
  }
}

uint32_t GetTargetSectorCount(uint32_t target) {
  return static_cast<uint32_t>(std::min<uint64_t>(GetTargetSectorCount64(target), 0xFFFFFFFFu));
}

// --- the table by first byte ----------------------------------------------

SignatureDispatch::SignatureDispatch(const SignatureTable& table) {
  std::vector<Candidate> byByte[256];
  for (size_t i = 0; i < table.size() && i <= 0xFFFF; ++i) {
    const SignatureRecord& r = table.record(i);
    size_t slots = std::min<size_t>(r.slotCount, kSignatureSlotCount);
    for (size_t s = 0; s < slots; ++s) {
      const SignatureSlot& slot = r.slots[s];
      Candidate c = {static_cast<uint16_t>(i), static_cast<uint8_t>(s), slot.length, {}};
      std::memcpy(c.pattern, slot.pattern, sizeof c.pattern);
      if (slot.length == 0) {
        for (auto& list : byByte) list.push_back(c);   // matches every sector
      } else {
        byByte[slot.pattern[0]].push_back(c);
      }
    }
  }
  for (int b = 0; b < 256; ++b) {
    first_[b] = static_cast<uint32_t>(candidates_.size());
    candidates_.insert(candidates_.end(), byByte[b].begin(), byByte[b].end());
  }
  first_[256] = static_cast<uint32_t>(candidates_.size());
}

bool SignatureDispatch::Match(const uint8_t* sector, size_t size, size_t* record, int* slot) const {
  if (size == 0) return false;
  uint8_t b = sector[0];
  for (uint32_t k = first_[b]; k < first_[b + 1]; ++k) {
    const Candidate& c = candidates_[k];
    if (c.length > size) continue;
    if (c.length > 1 && std::memcmp(sector + 1, c.pattern + 1, c.length - 1u) != 0) continue;
    if (record) *record = c.record;
    if (slot) *slot = c.slot;
    return true;
  }
  return false;
}

// --- refinements --------------------------------------------------------

const uint8_t* FindBytePattern(const void* pattern, size_t length, const uint8_t* buffer, size_t bufferLength) {
  if (!pattern || !buffer || length == 0 || length > bufferLength) return nullptr;
  const uint8_t* p = static_cast<const uint8_t*>(pattern);
  const uint8_t* end = buffer + bufferLength - length + 1;
  for (const uint8_t* at = buffer; at < end;) {
    const void* f = std::memchr(at, p[0], static_cast<size_t>(end - at));
    if (!f) return nullptr;
    at = static_cast<const uint8_t*>(f);
    if (std::memcmp(at, p, length) == 0) return at;
    ++at;
  }
  return nullptr;
}

bool IsBitmapHeader(const uint8_t* sector, uint32_t* size) {
  if (sector[0] != 'B' || sector[1] != 'M' || ReadLe16(sector + 6) != 0 || ReadLe16(sector + 8) != 0) return false;
  if (size) *size = ReadLe32(sector + 2);
  return true;
}

int RefineOleType(uint64_t sector, const uint8_t* header, uint32_t target, HANDLE handle, const uint8_t* block,
                  uint64_t blockStart, uint32_t blockSectors, uint64_t sourceSectors) {
  static const uint8_t kMagic[4] = {0xD0, 0xCF, 0x11, 0xE0};
  if (std::memcmp(header, kMagic, 4) != 0) return 0;
  // Compound files of 4 KB sectors keep their directory in 4 KB sectors.
  uint32_t shift = ReadLe16(header + 30) == 12 ? 12 : 9;
  uint32_t count = 1u << (shift - 9);
  uint64_t at = sector + ((static_cast<uint64_t>(ReadLe32(header + 48)) + 1) << (shift - 9));
  if (sourceSectors && at + count > sourceSectors) return -1;
  uint8_t directory[4096];
  if (block && at >= blockStart && at + count <= blockStart + blockSectors) {
    std::memcpy(directory, block + (at - blockStart) * kSectorSize, count * kSectorSize);
  } else if (ReadTargetSectors(target, at, count, directory, handle) != 0) {
    return -1;
  }
  size_t size = count * kSectorSize;
  static const std::string kWorkbook = Utf16Le("Workbook"), kWord = Utf16Le("WordDocument"),
                           kPowerPoint = Utf16Le("PowerPoint Document");
  if (FindBytePattern(kWorkbook.data(), kWorkbook.size(), directory, size)) return 2;
  if (FindBytePattern(kWord.data(), kWord.size(), directory, size)) return 1;
  if (FindBytePattern(kPowerPoint.data(), kPowerPoint.size(), directory, size)) return 3;
  return 0;
}

int RefineZipType(uint64_t sector, const uint8_t* data, size_t available, uint32_t target, HANDLE handle,
                  uint64_t sourceSectors) {
  static const uint8_t kLocal[4] = {'P', 'K', 3, 4};
  if (available < 4 || std::memcmp(data, kLocal, 4) != 0) return -1;
  static const char kContentTypes[] = "[Content_Types].xml";
  if (!FindBytePattern(kContentTypes, sizeof kContentTypes - 1, data, std::min<size_t>(available, kSectorSize)))
    return 0;
  std::vector<uint8_t> own;
  if (available < kZipLookBytes) {
    uint64_t count = kZipReadSectors;
    if (sourceSectors) count = std::min<uint64_t>(count, sourceSectors > sector ? sourceSectors - sector : 0);
    if (count == 0) return 0;
    own.resize(static_cast<size_t>(count) * kSectorSize);
    if (ReadTargetSectors(target, sector, static_cast<uint32_t>(count), own.data(), handle) != 0) return 0;
    data = own.data();
    available = own.size();
  } else {
    available = kZipLookBytes;
  }
  // The header after the one at `at`: 30 bytes, the name, the extra field and
  // the packed data; it must lie within 10,240 bytes and carry the magic.
  auto nextHeader = [&](size_t at, size_t* next) {
    if (at + 30 > available) return false;
    uint64_t step = 30ull + ReadLe16(data + at + 26) + ReadLe16(data + at + 28) + ReadLe32(data + at + 18);
    if (step >= kZipHeaderReach) return false;
    uint64_t n = at + step;
    if (n + 4 > available || std::memcmp(data + n, kLocal, 4) != 0) return false;
    *next = static_cast<size_t>(n);
    return true;
  };
  size_t second = 0, third = 0;
  // The reach of the first header is counted from the start, as is the second's from the second.
  if (!nextHeader(0, &second) || !nextHeader(second, &third)) return 0;
  size_t from = third + 30;
  if (from >= available) return 0;
  size_t span = std::min<size_t>(kSectorSize, available - from);
  if (FindBytePattern("word/", 5, data + from, span)) return 1;
  if (FindBytePattern("xl/", 3, data + from, span)) return 2;
  if (FindBytePattern("ppt/", 4, data + from, span)) return 3;
  return 0;
}

// --- the scan ---------------------------------------------------------------

namespace {

// The form type of a RIFF file: the table's one pattern for it cannot reach
// past the size field.
const char* RiffType(const uint8_t* sector) {
  if (std::memcmp(sector + 8, "AVI ", 4) == 0) return "avi";
  if (std::memcmp(sector + 8, "WAVE", 4) == 0) return "wav";
  return nullptr;
}

struct TypeCounter {
  char name[7];
  uint32_t count;
};

// What the scan learns of a hit after recording it: its length when its
// structure told it, its size limit from the table, and the Office format
// a zip's entries named.
struct HitFacts {
  uint64_t knownBytes = 0;
  uint64_t capBytes = 0;
  int office = kZipPlain;
};

// A header found inside the open hit, where its end finder was still
// walking the file: part of that file unless the walk later shows the file
// broke before it, or could not say where the file ends.
struct HeldHit {
  uint64_t sector;
  char type[8];
  size_t record;
};

class DeepScan {
 public:
  DeepScan(uint32_t target, HANDLE handle, const SignatureTable& table, uint64_t total)
      : target_(target), handle_(handle), table_(table), dispatch_(table), total_(total) {}
  ~DeepScan() {
    if (buffer_) VirtualFree(buffer_, 0, MEM_RELEASE);
  }
  int Run(uint64_t from);

 private:
  bool ReadBlock(uint64_t position, uint32_t count);
  void ProcessBlock(uint64_t position, uint32_t count, const std::vector<uint32_t>* marks);
  static void MarkCandidates(const void* self, const uint8_t* block, uint32_t sectors, std::vector<uint32_t>* marks);
  void Consider(uint64_t sector, const uint8_t* bytes, uint32_t indexInBlock);
  bool RecordFoundFile(uint64_t sector, const char* type, const uint8_t* bytes, size_t record);
  bool AddHit(uint64_t sector, const char* type, size_t record, bool follow);
  bool OpenHitEndsBefore(uint64_t sector);
  bool OpenHitHolds(uint64_t sector);
  void FeedOpenHit(uint64_t toSector);
  void CloseOpenHit();
  void SettleHeldHits();
  void ApplyWhatHitsTold();
  void NameOfficePackages();
  void SendProgress(uint64_t position, bool last = false);
  void SendFound(bool last);

  uint32_t target_;
  HANDLE handle_;
  const SignatureTable& table_;
  SignatureDispatch dispatch_;
  uint64_t total_;
  uint8_t* buffer_ = nullptr;      // the scan's own block, when it reads one itself
  const uint8_t* block_ = nullptr;   // the block being looked at
  uint64_t blockStart_ = 0;
  uint32_t blockCount_ = 0;
  bool pieceGood_[kPiecesPerBlock] = {};
  bool anyRead_ = false;   // some block gave sectors: the source could be read
  std::vector<TypeCounter> counters_;
  // The last hit, whose end the sectors after it may still tell.
  bool open_ = false;
  FileEndFinder finder_;
  uint64_t fedTo_ = 0;   // sector up to which the open hit was fed
  std::vector<HeldHit> held_;   // headers inside the open hit, in order
  std::vector<HitFacts> facts_;   // per hit of gFoundFiles
  uint32_t progressShift_ = 0;
  ProgressGate foundGate_;
  ProgressGate progressGate_;
  uint64_t heldPosition_ = 0;
  bool positionHeld_ = false;
  size_t foundSent_ = 0;   // hits told to the page so far
};

bool DeepScan::ReadBlock(uint64_t position, uint32_t count) {
  blockStart_ = position;
  blockCount_ = count;
  block_ = buffer_;
  if (ReadTargetSectors(target_, position, count, buffer_, handle_) == 0) {
    std::fill(std::begin(pieceGood_), std::end(pieceGood_), true);
    return true;
  }
  bool any = false;
  for (uint32_t p = 0; p * kPieceSectors < count; ++p) {
    uint32_t n = std::min(kPieceSectors, count - p * kPieceSectors);
    uint8_t* at = buffer_ + static_cast<size_t>(p) * kPieceSectors * kSectorSize;
    pieceGood_[p] = ReadTargetSectors(target_, position + p * kPieceSectors, n, at, handle_) == 0;
    if (!pieceGood_[p]) std::memset(at, 0, static_cast<size_t>(n) * kSectorSize);
    any |= pieceGood_[p];
  }
  return any;
}

void DeepScan::FeedOpenHit(uint64_t toSector) {
  if (!open_ || finder_.done()) return;
  uint64_t from = std::max(fedTo_, blockStart_);
  toSector = std::min(toSector, blockStart_ + blockCount_);
  if (fedTo_ < blockStart_) {
    finder_.Break();   // a block in between was not read
    return;
  }
  while (from < toSector && !finder_.done()) {
    uint32_t piece = static_cast<uint32_t>((from - blockStart_) / kPieceSectors);
    if (!pieceGood_[piece]) {
      finder_.Break();
      return;
    }
    uint64_t pieceEnd = std::min<uint64_t>(blockStart_ + (piece + 1ull) * kPieceSectors, toSector);
    finder_.Feed(block_ + (from - blockStart_) * kSectorSize, static_cast<size_t>(pieceEnd - from) * kSectorSize);
    from = pieceEnd;
  }
  fedTo_ = std::max(fedTo_, toSector);
  if (finder_.done()) SettleHeldHits();
}

// The open hit's finder has finished: the headers held inside the part it
// found whole stay part of it; those from where it broke on are files.
void DeepScan::SettleHeldHits() {
  if (held_.empty() || !open_ || gFoundFiles.empty()) return;
  const uint64_t first = gFoundFiles.back().firstSector;
  const uint64_t whole = finder_.done() ? finder_.length() : 0;
  auto inside = [&](const HeldHit& h) { return (h.sector - first) * kSectorSize < whole; };
  if (std::all_of(held_.begin(), held_.end(), inside)) {
    held_.clear();
    return;
  }
  CloseOpenHit();
}

void DeepScan::CloseOpenHit() {
  if (!open_) return;
  if (!facts_.empty()) {
    facts_.back().knownBytes = finder_.length();
    if (finder_.done()) facts_.back().office = finder_.OfficeKind();
  }
  open_ = false;
  if (held_.empty() || gFoundFiles.empty()) return;
  // A finder that ends without a whole part to give leaves every held header
  // a file of its own, as though it had never been held.
  const uint64_t first = gFoundFiles.back().firstSector;
  const uint64_t whole = finder_.done() ? finder_.length() : 0;
  std::vector<HeldHit> held;
  held.swap(held_);
  bool lastWasMpeg = false;
  for (const HeldHit& h : held) {
    if ((h.sector - first) * kSectorSize < whole) continue;
    // Their bytes have passed: the copy-out's finder tells where they end.
    const bool mpeg = std::strcmp(h.type, "mpg") == 0;
    if (mpeg && lastWasMpeg) continue;   // one stream's packs
    lastWasMpeg = mpeg;
    AddHit(h.sector, h.type, h.record, false);
  }
}

bool DeepScan::OpenHitHolds(uint64_t sector) {
  if (!open_ || gFoundFiles.empty() || facts_.empty()) return false;
  FeedOpenHit(sector);
  if (!open_) return false;
  const uint64_t offset = (sector - gFoundFiles.back().firstSector) * kSectorSize;
  return offset < facts_.back().capBytes && finder_.Holds(offset);
}

bool DeepScan::OpenHitEndsBefore(uint64_t sector) {
  if (!open_ || gFoundFiles.empty()) return false;
  FeedOpenHit(sector);
  if (!finder_.done() || finder_.length() == 0) return false;
  uint64_t sectors = (finder_.length() + kSectorSize - 1) / kSectorSize;
  return gFoundFiles.back().firstSector + sectors <= sector;
}

bool DeepScan::RecordFoundFile(uint64_t sector, const char* type, const uint8_t* bytes, size_t record) {
  if (std::strcmp(type, "jpg") == 0 && std::memcmp(bytes + 6, "Exif", 4) != 0 &&
      std::memcmp(bytes + 6, "JFIF", 4) != 0)
    return false;
  // A header inside the open hit's own structure (a picture's thumbnail, an
  // archive's members, a package's pictures) is part of that file.
  if (OpenHitHolds(sector)) {
    HeldHit h = {sector, {}, record};
    std::memcpy(h.type, type, strnlen(type, sizeof h.type - 1));
    held_.push_back(h);
    return false;
  }
  if (std::strcmp(type, "mpg") == 0) {
    // An MPEG stream's own packs begin sectors all through it: they are one
    // file, unless the stream before them has ended.
    if (gLastHitWasMpeg && !OpenHitEndsBefore(sector)) return false;
  }
  return AddHit(sector, type, record, true);
}

// follow: the hit's bytes are still to come, and its finder walks them.
bool DeepScan::AddHit(uint64_t sector, const char* type, size_t record, bool follow) {
  gLastHitWasMpeg = std::strcmp(type, "mpg") == 0 ? 1 : 0;
  char key[7] = {};
  std::memcpy(key, type, strnlen(type, sizeof key));
  uint32_t count = 1;
  auto it = std::find_if(counters_.begin(), counters_.end(),
                         [&](const TypeCounter& c) { return std::memcmp(c.name, key, sizeof key) == 0; });
  if (it != counters_.end()) {
    count = ++it->count;
  } else {
    TypeCounter c;
    std::memcpy(c.name, key, sizeof key);
    c.count = 1;
    counters_.push_back(c);
  }
  char typeName[8] = {};
  std::memcpy(typeName, key, sizeof key);

  FoundFileRecord hit = {};
  MakeFoundFileName(typeName, count, hit.name);
  hit.firstSector = sector;
  hit.lastSector = sector;
  hit.source = static_cast<uint16_t>(target_ & 0xFFFF);
  hit.selected = 1;

  // The hit before this one has seen all the sectors it is going to (and
  // the headers it held from where it broke on are recorded first).
  FeedOpenHit(sector);
  CloseOpenHit();
  if (!AppendFoundFile(hit)) return false;
  HitFacts facts;
  facts.capBytes = table_.SizeCap(record);
  if (facts.capBytes == 0) facts.capBytes = kDefaultCapBytes;
  facts_.push_back(facts);
  open_ = follow;
  finder_.Reset(FileEndKindOfType(follow ? typeName : nullptr));
  fedTo_ = sector;

  gDeepScanHitCount = static_cast<uint32_t>(gFoundFiles.size());
  SendFound(false);
  return true;
}

// A disk full of small files gives thousands of hits a second; each message
// is a round trip to the page's thread. The page hears of the newest hit at
// most every 50 ms, with the count so far, and of the last hit at the end.
void DeepScan::SendFound(bool last) {
  if (!gDeepScanWindow || gFoundFiles.empty() || foundSent_ == gFoundFiles.size()) return;
  if (!last && !foundGate_.Due()) return;
  foundSent_ = gFoundFiles.size();
  SendMessageA(gDeepScanWindow, WM_RAWSCAN_FOUND, static_cast<WPARAM>(foundSent_),
               reinterpret_cast<LPARAM>(gFoundFiles.back().name));
}

void DeepScan::Consider(uint64_t sector, const uint8_t* bytes, uint32_t indexInBlock) {
  size_t record = 0;
  int slot = -1;
  if (!dispatch_.Match(bytes, kSectorSize, &record, &slot)) return;
  char type[8] = {};
  std::memcpy(type, table_.record(record).name, 7);
  if (slot == 0) {
    if (std::strncmp(type, "doc", 3) == 0) {
      switch (RefineOleType(sector, bytes, target_, handle_, block_, blockStart_, blockCount_, total_)) {
        case 1: std::strcpy(type, "doc"); break;
        case 2: std::strcpy(type, "xls"); break;
        case 3: std::strcpy(type, "ppt"); break;
        default: return;
      }
    } else if (std::strncmp(type, "bmp", 3) == 0) {
      if (!IsBitmapHeader(bytes, nullptr)) return;
    } else if (std::strncmp(type, "zip", 3) == 0) {
      size_t available = static_cast<size_t>(blockCount_ - indexInBlock) * kSectorSize;
      switch (RefineZipType(sector, bytes, available, target_, handle_, total_)) {
        case 0: std::strcpy(type, "zip"); break;
        case 1: std::strcpy(type, "docx"); break;
        case 2: std::strcpy(type, "xlsx"); break;
        case 3: std::strcpy(type, "pptx"); break;
        default: return;
      }
    } else if (std::strncmp(type, "avi", 3) == 0) {
      const char* riff = RiffType(bytes);
      if (!riff) return;
      std::strcpy(type, riff);
    }
  }
  RecordFoundFile(sector, type, bytes, record);
}

// On a reader's thread: the sectors that begin like a file of the table.
void DeepScan::MarkCandidates(const void* self, const uint8_t* block, uint32_t sectors, std::vector<uint32_t>* marks) {
  const SignatureDispatch& dispatch = static_cast<const DeepScan*>(self)->dispatch_;
  for (uint32_t i = 0; i < sectors; ++i)
    if (dispatch.Match(block + static_cast<size_t>(i) * kSectorSize, kSectorSize, nullptr, nullptr)) marks->push_back(i);
}

void DeepScan::ProcessBlock(uint64_t position, uint32_t count, const std::vector<uint32_t>* marks) {
  if (marks) {
    // Read whole, and looked at by its reader: only the sectors it marked.
    for (uint32_t i : *marks) Consider(position + i, block_ + static_cast<size_t>(i) * kSectorSize, i);
    FeedOpenHit(position + count);
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (!pieceGood_[i / kPieceSectors]) {
      i = (i / kPieceSectors + 1) * kPieceSectors - 1;   // the rest of an unreadable piece
      continue;
    }
    Consider(position + i, block_ + static_cast<size_t>(i) * kSectorSize, i);
  }
  FeedOpenHit(position + count);
}

// A zip whose own entries name an Office package is that document. The
// refinement at the hit looks only at the archive's first entries; the walk
// to its end has seen every name. The hits are numbered again afterwards,
// so each type still counts from 00000001 in scan order.
void DeepScan::NameOfficePackages() {
  bool renamed = false;
  for (size_t i = 0; i < gFoundFiles.size() && i < facts_.size(); ++i) {
    FoundFileRecord& r = gFoundFiles[i];
    if (facts_[i].office == kZipPlain || std::strncmp(r.name, "zip\\", 4) != 0) continue;
    static const char* const kOffice[] = {"", "docx", "xlsx", "pptx"};
    MakeFoundFileName(kOffice[facts_[i].office], 0, r.name);
    renamed = true;
  }
  if (!renamed) return;
  std::vector<std::pair<std::string, uint32_t>> counts;
  for (FoundFileRecord& r : gFoundFiles) {
    std::string type(r.name, strnlen(r.name, sizeof r.name));
    type = type.substr(0, type.find('\\'));
    auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == type; });
    if (it == counts.end()) it = counts.insert(counts.end(), {type, 0});
    MakeFoundFileName(type.c_str(), ++it->second, r.name);
  }
}

void DeepScan::ApplyWhatHitsTold() {
  if (open_) CloseOpenHit();
  for (size_t i = 0; i < gFoundFiles.size() && i < facts_.size(); ++i) {
    FoundFileRecord& r = gFoundFiles[i];
    uint64_t bytes = facts_[i].knownBytes ? facts_[i].knownBytes : facts_[i].capBytes;
    uint64_t last = r.firstSector + (bytes + kSectorSize - 1) / kSectorSize - 1;
    if (last < r.lastSector) r.lastSector = last;
  }
  NameOfficePackages();
}

void DeepScan::SendProgress(uint64_t position, bool last) {
  if (!total_ || !gDeepScanWindow) return;
  // A block is read in about a millisecond: the page hears where the scan is
  // at most every 50 ms, and of the last block read at the end.
  if (!last) {
    heldPosition_ = position;
    positionHeld_ = true;
    if (!progressGate_.Due()) return;
  } else if (!positionHeld_) {
    return;
  }
  positionHeld_ = false;
  // Both values fit the message's 32-bit words on any disk: beyond 2^32
  // sectors they go in units of 2^shift sectors (gDeepScanProgressShift).
  SendMessageA(gDeepScanWindow, WM_RAWSCAN_PROGRESS, static_cast<WPARAM>(total_ >> progressShift_),
               static_cast<LPARAM>(static_cast<ULONG_PTR>(heldPosition_ >> progressShift_)));
}

int DeepScan::Run(uint64_t from) {
  buffer_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, static_cast<size_t>(kDeepScanBlockSectors) * kSectorSize,
                                               MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  // Without its buffer the scan looks at nothing: that is no "nothing found".
  if (!buffer_) return kDeepScanNoMemory;
  while ((total_ >> progressShift_) > 0xFFFFFFFFull) ++progressShift_;
  gDeepScanProgressShift = progressShift_;
  // An unknown size is read until reading fails.
  const uint64_t limit = total_ ? total_ : UINT64_MAX;
  uint64_t position = from;
  bool stopped = false, reachedEnd = false;
  BlockReader ahead;
  const bool readingAhead =
      total_ != 0 && ahead.Start(target_, from, total_, kDeepScanBlockSectors, &DeepScan::MarkCandidates, this);
  while (position < limit) {
    // The last block of a source is read only as far as the source goes.
    uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kDeepScanBlockSectors, limit - position));
    // A block the readers could not read whole is read here, piece by piece.
    const std::vector<uint32_t>* marks = nullptr;
    const uint8_t* ready = readingAhead ? ahead.Take(position, &marks) : nullptr;
    bool read = true;
    if (ready) {
      blockStart_ = position;
      blockCount_ = count;
      block_ = ready;
      std::fill(std::begin(pieceGood_), std::end(pieceGood_), true);
    } else {
      read = ReadBlock(position, count);
    }
    anyRead_ = anyRead_ || read;
    SendProgress(position);
    if (gDeepScanAbort.load() == 1) {
      stopped = true;
      break;
    }
    if (!read) {
      if (!total_) break;   // an unknown size ends where reading does
      position += kDeepScanBlockSectors;
      continue;
    }
    ProcessBlock(position, count, ready ? marks : nullptr);
    position += kDeepScanBlockSectors;
    reachedEnd = total_ != 0 && position >= total_;
  }
  SendProgress(position, true);
  // Not one sector arrived: that is a source that cannot be read, not one
  // on which nothing was found.
  if (!anyRead_ && !stopped) return kDeepScanCannotRead;
  if (gFoundFiles.empty()) return kDeepScanNothing;
  if (stopped) {
    CloseOpenHit();
    CloseFoundFilesOnStop(total_);
  } else {
    // A stream that stopped on a frame's or packet's boundary at the very end
    // of the source ends there.
    if (reachedEnd && open_ && fedTo_ >= total_) finder_.Finish();
    CloseOpenHit();
    CloseFoundFilesAtEnd(position, total_);
  }
  ApplyWhatHitsTold();
  SendFound(true);
  return kDeepScanDone;
}

}  // namespace

int RawSignatureScanFrom(uint32_t target, uint64_t firstSector, SourceReport* report) {
  SourceReport scanned;
  if (TargetVolume(target) != kTargetUnused)
    scanned.driveIndex = static_cast<int>(TargetVolume(target));
  else
    scanned.disk = static_cast<int>(TargetDisk(target));
  if (report) *report = scanned;
  gFoundFiles.clear();
  gDeepScanHitCount = 0;
  // gDeepScanAbort is the page's: it clears it before it starts this worker,
  // so a stop asked for in between is kept, not wiped here.
  // A run of MPEG hits belongs to one scan: the last hit of an earlier scan
  // must not swallow the first MPEG of this one.
  gLastHitWasMpeg = 0;
  // A disk's size is asked before the scan opens it: on Windows 9x the size
  // probe opens and closes the disk driver, which is the scan's own handle.
  const bool isVolume = TargetVolume(target) != kTargetUnused;
  uint64_t total = isVolume ? 0 : GetTargetSectorCount64(target);
  ClearDeviceError();
  HANDLE handle = OpenSectorTarget(target);
  if (!handle) {
    if (report) {
      report->state = SourceState::kCannotOpen;
      report->error = LastDeviceError();
    }
    return kDeepScanCannotOpen;
  }
  SignatureTable table;
  SignatureTableStatus status = table.Load(SignatureTablePath(kSignatureScanTableName));
  int rc;
  if (status == SignatureTableStatus::kMissing) {
    rc = kDeepScanNoTable;
  } else if (status != SignatureTableStatus::kOk) {
    rc = kDeepScanBadTable;
  } else {
    if (isVolume) total = VolumeSectorCount(static_cast<int>(TargetVolume(target)), handle);
    DeepScan scan(target, handle, table, total);
    rc = scan.Run(firstSector);
    if (rc == kDeepScanCannotRead && report) {
      report->state = SourceState::kCannotRead;
      report->error = LastDeviceError();
    }
  }
  CloseSectorTarget(target, handle);
  return rc;
}

int RawSignatureScan(uint32_t target, SourceReport* report) { return RawSignatureScanFrom(target, 0, report); }
