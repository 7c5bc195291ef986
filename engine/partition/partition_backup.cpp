#include "partition/partition_backup.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "disk/identity.h"
#include "disk/raw.h"
#include "partition/partition_table.h"
#include "state.h"
#include "volume/sector_zero.h"

namespace {

// The walk of an extended partition's boot records ends after this many.
constexpr unsigned kMaxExtendedRecords = 128;

// Sectors saved from the start of a partition of each type.
uint32_t SavedSectorsOfType(uint8_t type) {
  switch (type) {
    case kPartTypeFat32:
    case kPartTypeFat32Lba:
      return 3;   // boot sector, FSInfo, and the sector after it
    case kPartTypeNtfs:
      return 16;  // the boot file's first 8 KB
    default:
      return 1;
  }
}

// Creates every folder of path below its root ("X:\" or "\\server\share\").
void CreateParentFolders(const std::string& path) {
  size_t from = 0;
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) {
    from = 3;
  } else if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/')) {
    // Skip the server and share names.
    size_t server = path.find_first_of("\\/", 2);
    if (server == std::string::npos) return;
    size_t share = path.find_first_of("\\/", server + 1);
    if (share == std::string::npos) return;
    from = share + 1;
  }
  for (size_t i = from; i < path.size(); ++i) {
    if (path[i] != '\\' && path[i] != '/') continue;
    std::string folder = path.substr(0, i);
    if (!folder.empty()) CreateDirectoryA(folder.c_str(), nullptr);
  }
}

bool WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    unsigned chunk = static_cast<unsigned>(std::min<size_t>(size, 1u << 20));
    int done = _write(fd, p, chunk);
    if (done <= 0) return false;
    p += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

bool ReadAll(int fd, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    unsigned chunk = static_cast<unsigned>(std::min<size_t>(size, 1u << 20));
    int got = _read(fd, p, chunk);
    if (got <= 0) return false;
    p += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

// A backup file being written: created new (never over an existing file),
// removed again when the backup does not complete.
class BackupWriter {
 public:
  ~BackupWriter() { Abandon(); }

  bool Create(const char* path) {
    if (!path || !path[0]) return false;
    CreateParentFolders(path);
    fd_ = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd_ < 0) return false;
    path_ = path;   // ours from here on: removed unless finished
    return true;
  }

  bool WriteHeader(const char* identifyText) {
    BackupFileHeader h = {};
    std::memcpy(h.magic, kBackupMagic, sizeof h.magic);
    h.magicEnd = kBackupMagicEnd;
    h.format = 128;
    h.headerBytes = kBackupHeaderBytes;
    h.fileBytes = kBackupHeaderBytes;
    MakeBackupIdentifyField(identifyText, h.identify);
    return Write(&h, sizeof h);
  }

  // CHS bytes as a table entry holds them (head, sector byte, cylinder byte).
  bool AddRecord(uint8_t head, uint8_t sectorByte, uint8_t cylinderByte, uint32_t lba, uint32_t count,
                 const uint8_t* data) {
    BackupRecordHeader r;
    std::memcpy(r.tag, kBackupRecordTag, sizeof r.tag);
    r.cylinder = cylinderByte;
    r.head = head;
    r.sector = sectorByte;
    r.count = count;
    r.lba = lba;
    std::memset(r.fill, 'A', sizeof r.fill);
    return Write(&r, sizeof r) && Write(data, static_cast<size_t>(count) * kSectorSize);
  }

  // Writes the length into the header and closes the file, which is kept.
  bool Finish() {
    if (fd_ < 0 || failed_) return false;
    __int64 length = _lseeki64(fd_, 0, SEEK_END);
    bool ok = length >= kBackupHeaderBytes && static_cast<uint64_t>(length) <= 0xFFFFFFFFull;
    uint32_t field = static_cast<uint32_t>(length);
    ok = ok && _lseeki64(fd_, offsetof(BackupFileHeader, fileBytes), SEEK_SET) >= 0 && WriteAll(fd_, &field, 4);
    ok = (_close(fd_) == 0) && ok;
    fd_ = -1;
    if (ok) path_.clear();   // kept
    return ok;
  }

  void Abandon() {
    if (fd_ >= 0) _close(fd_);
    fd_ = -1;
    if (!path_.empty()) DeleteFileA(path_.c_str());
    path_.clear();
  }

 private:
  bool Write(const void* data, size_t size) {
    if (fd_ < 0 || failed_) return false;
    if (!WriteAll(fd_, data, size)) failed_ = true;
    return !failed_;
  }

  int fd_ = -1;
  bool failed_ = false;
  std::string path_;   // while the file is ours to remove
};

// Saves the sectors that the table entries of one disk name.
class BackupCollector {
 public:
  BackupCollector(const char* diskPath, uint64_t diskSectors, BackupWriter* out)
      : diskPath_(diskPath), diskSectors_(diskSectors), out_(out) {}

  // false: a read or a write of the file failed.
  bool SaveTable(const uint8_t sector0[512]) {
    for (unsigned i = 0; i < kPartitionEntries; ++i) {
      PartitionEntry e = ReadPartitionEntry(sector0, i);
      if (IsEmptyEntry(e)) break;
      bool ok = IsExtendedType(e.type) ? SaveExtended(e) : SaveSectors(e, 0, SavedSectorsOfType(e.type));
      if (!ok) return false;
    }
    return true;
  }

 private:
  // Whether count sectors at lba belong to this disk and can be named in a
  // record.
  bool OnDisk(uint64_t lba, uint32_t count) const {
    uint64_t end = lba + count;
    if (end > kTableSectorLimit) return false;
    return diskSectors_ == 0 || end <= diskSectors_;
  }

  bool SaveSectors(const PartitionEntry& e, uint64_t base, uint32_t count) {
    uint64_t lba = base + e.startLba;
    if (!OnDisk(lba, count)) return true;   // not a sector of this disk: nothing to save
    std::vector<uint8_t> data(static_cast<size_t>(count) * kSectorSize);
    if (ReadDiskSectors(diskPath_, lba, count, data.data()) != 0) return false;
    return out_->AddRecord(e.startHead, e.startSector, e.startCylinder, static_cast<uint32_t>(lba), count,
                           data.data());
  }

  // The boot records of an extended partition, each followed by the sectors
  // of the logical drive it names. Each boot record is saved too, so that a
  // restore brings the logical drives back with sector 0. A record that
  // cannot be read, lacks 55 AA or holds no entry ends the walk; so does a
  // link back to a record already seen.
  bool SaveExtended(const PartitionEntry& extended) {
    const uint64_t first = extended.startLba;
    uint64_t current = first;
    PartitionEntry link = extended;   // the entry that named the current record
    std::vector<uint64_t> seen;
    for (unsigned n = 0; n < kMaxExtendedRecords; ++n) {
      if (!OnDisk(current, 1)) break;
      uint8_t record[kSectorSize];
      if (ReadDiskSectors(diskPath_, current, 1, record) != 0 || !HasBootSignature(record)) break;
      if (IsEmptyEntry(ReadPartitionEntry(record, 0))) break;
      seen.push_back(current);
      if (!out_->AddRecord(link.startHead, link.startSector, link.startCylinder, static_cast<uint32_t>(current), 1,
                           record))
        return false;
      bool haveNext = false;
      PartitionEntry next = {};
      for (unsigned i = 0; i < kPartitionEntries; ++i) {
        PartitionEntry e = ReadPartitionEntry(record, i);
        if (IsEmptyEntry(e)) break;
        if (IsExtendedType(e.type)) {
          if (!haveNext) {
            next = e;
            haveNext = true;
          }
        } else if (!SaveSectors(e, current, SavedSectorsOfType(e.type))) {
          return false;
        }
      }
      if (!haveNext) break;
      uint64_t target = first + next.startLba;
      if (std::find(seen.begin(), seen.end(), target) != seen.end()) break;
      current = target;
      link = next;
    }
    return true;
  }

  const char* diskPath_;
  uint64_t diskSectors_;
  BackupWriter* out_;
};

const char* IdentityOrNull(int disk) {
  const char* text = GetDiskIdentifyText(disk);
  return text && text[0] ? text : nullptr;
}

}  // namespace

void MakeBackupIdentifyField(const char* text, char field[kBackupIdentifyBytes]) {
  if (!text || !text[0]) {
    std::memset(field, 'A', kBackupIdentifyBytes);
    return;
  }
  std::memset(field, 0, kBackupIdentifyBytes);
  size_t n = std::strlen(text);
  std::memcpy(field, text, std::min<size_t>(n, kBackupIdentifyBytes - 1));
}

int BackupPartitionInfo(int disk, const char* path) {
  char diskPath[32];
  MakeDiskPath(disk, diskPath);
  if (!diskPath[0]) return kBackupCannotStart;
  SectorZero zero;
  if (!ReadDiskSectorZero(diskPath, &zero)) return kBackupCannotStart;
  const uint8_t* sector0 = zero.bytes;
  uint8_t sector1[kSectorSize];
  const bool haveSector1 = ReadDiskSectors(diskPath, 1, 1, sector1) == 0;
  if (IsGptDisk(sector0, haveSector1 ? sector1 : nullptr)) return kBackupGptDisk;
  const uint64_t diskSectors = DiskSectorCount(diskPath);
  BackupWriter file;
  if (!file.Create(path)) return kBackupCannotStart;
  if (!file.WriteHeader(IdentityOrNull(disk))) return kBackupFailed;
  if (!file.AddRecord(0, 1, 0, 0, 1, sector0)) return kBackupFailed;
  BackupCollector collector(diskPath, diskSectors, &file);
  if (!collector.SaveTable(sector0)) return kBackupFailed;
  return file.Finish() ? kBackupDone : kBackupFailed;
}

int WriteSector0Backup(int disk, const uint8_t sector0[512], const char* path) {
  BackupWriter file;
  if (!file.Create(path)) return kBackupCannotStart;
  if (!file.WriteHeader(IdentityOrNull(disk)) || !file.AddRecord(0, 1, 0, 0, 1, sector0)) return kBackupFailed;
  return file.Finish() ? kBackupDone : kBackupFailed;
}

int WriteSectorsBackup(int disk, const uint8_t sector0[512], const SavedSector* others, size_t count,
                       const char* path) {
  BackupWriter file;
  if (!file.Create(path)) return kBackupCannotStart;
  if (!file.WriteHeader(IdentityOrNull(disk)) || !file.AddRecord(0, 1, 0, 0, 1, sector0)) return kBackupFailed;
  for (size_t i = 0; i < count; ++i) {
    const uint64_t lba = others[i].lba;
    if (lba == 0 || lba >= kTableSectorLimit) return kBackupFailed;
    uint8_t head, sectorByte, cylinderByte;
    EncodeChs(lba, &head, &sectorByte, &cylinderByte);
    if (!file.AddRecord(head, sectorByte, cylinderByte, static_cast<uint32_t>(lba), 1, others[i].data))
      return kBackupFailed;
  }
  return file.Finish() ? kBackupDone : kBackupFailed;
}

std::string WriteTemporaryBackup(const char* prefix, TemporaryBackupWriter write, void* context) {
  char folder[MAX_PATH];
  DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n >= sizeof folder || !prefix) return std::string();
  SYSTEMTIME t;
  GetLocalTime(&t);
  for (int attempt = 1; attempt <= 100; ++attempt) {
    char path[MAX_PATH];
    char suffix[8] = "";
    if (attempt > 1) std::snprintf(suffix, sizeof suffix, "-%d", attempt);
    int len = std::snprintf(path, sizeof path, "%s%s-%04u%02u%02u-%02u%02u%02u%s.VXB", folder, prefix, t.wYear,
                            t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, suffix);
    if (len <= 0 || static_cast<size_t>(len) >= sizeof path) return std::string();
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) continue;
    const int rc = write(path, context);
    if (rc == kBackupDone) return path;
    if (rc != kBackupCannotStart) return std::string();   // made, but not written: removed again
  }
  return std::string();
}

// --- restore ----------------------------------------------------------------

namespace {

struct RestoreRecord {
  uint32_t lba;
  uint32_t count;
  size_t offset;   // of its data in the file's data block
};

class FileCloser {
 public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser() {
    if (fd_ >= 0) _close(fd_);
  }

 private:
  int fd_;
};

// Reads and checks the whole file: the header and every record. false when
// it is not a backup file in every respect.
bool CheckBackupFile(int fd, BackupFileHeader* header, std::vector<RestoreRecord>* records,
                    std::vector<uint8_t>* data) {
  const __int64 length = _lseeki64(fd, 0, SEEK_END);
  if (length < static_cast<__int64>(kBackupHeaderBytes) || static_cast<uint64_t>(length) > kMaxBackupFileBytes)
    return false;
  if (_lseeki64(fd, 0, SEEK_SET) != 0 || !ReadAll(fd, header, sizeof *header)) return false;
  if (std::memcmp(header->magic, kBackupMagic, sizeof header->magic) != 0 || header->magicEnd != kBackupMagicEnd)
    return false;
  if (header->fileBytes != static_cast<uint64_t>(length) || header->headerBytes != kBackupHeaderBytes) return false;

  std::vector<uint8_t> body(static_cast<size_t>(length) - kBackupHeaderBytes);
  if (!body.empty() && !ReadAll(fd, body.data(), body.size())) return false;
  size_t at = 0;
  while (at < body.size()) {
    if (records->size() >= kMaxBackupRecords) return false;
    if (body.size() - at < kBackupRecordHeaderBytes) return false;   // a header cut short
    BackupRecordHeader r;
    std::memcpy(&r, body.data() + at, sizeof r);
    if (std::memcmp(r.tag, kBackupRecordTag, sizeof r.tag) != 0) return false;
    if (r.count == 0 || r.count > kMaxRecordSectors) return false;
    const size_t bytes = static_cast<size_t>(r.count) * kSectorSize;
    at += kBackupRecordHeaderBytes;
    if (body.size() - at < bytes) return false;   // data cut short
    records->push_back({r.lba, r.count, data->size()});
    data->insert(data->end(), body.begin() + at, body.begin() + at + bytes);
    at += bytes;
  }
  // Every backup begins with sector 0.
  return !records->empty() && records->front().lba == 0 && records->front().count == 1;
}

bool Say(RestorePrompt prompt, void* context, int message) { return prompt ? prompt(context, message) : false; }

// The sectors a restore is about to replace, as they are on the disk.
struct BeforeRestore {
  int disk;
  const std::vector<RestoreRecord>* records;
  const std::vector<uint8_t>* sectors;
};

// A backup file of them: restoring it puts the disk back as it was.
int WriteBeforeRestore(const char* path, void* context) {
  const BeforeRestore* b = static_cast<const BeforeRestore*>(context);
  BackupWriter file;
  if (!file.Create(path)) return kBackupCannotStart;
  if (!file.WriteHeader(IdentityOrNull(b->disk))) return kBackupFailed;
  for (const RestoreRecord& r : *b->records)
    if (!file.AddRecord(0, r.lba == 0 ? 1 : 0, 0, r.lba, r.count, b->sectors->data() + r.offset)) return kBackupFailed;
  return file.Finish() ? kBackupDone : kBackupFailed;
}

bool WriteAndVerify(const char* diskPath, const RestoreRecord& r, const uint8_t* data, std::vector<uint8_t>* scratch) {
  if (WriteDiskSectors(diskPath, r.lba, r.count, data) != 0) return false;
  scratch->resize(static_cast<size_t>(r.count) * kSectorSize);
  if (ReadDiskSectors(diskPath, r.lba, r.count, scratch->data()) != 0) return false;
  return std::memcmp(scratch->data(), data, scratch->size()) == 0;
}

// Writes every record; on a failure puts back everything touched so far,
// the failed record included, from before.
int WriteBackupSectors(const char* diskPath, const std::vector<RestoreRecord>& records,
                       const std::vector<uint8_t>& data, const std::vector<uint8_t>& before) {
  std::vector<uint8_t> scratch;
  for (size_t i = 0; i < records.size(); ++i) {
    if (WriteAndVerify(diskPath, records[i], data.data() + records[i].offset, &scratch)) continue;
    bool restored = true;
    for (size_t k = i + 1; k-- > 0;)
      restored = WriteAndVerify(diskPath, records[k], before.data() + records[k].offset, &scratch) && restored;
    return restored ? kRestoreWriteFailed : kRestoreIncomplete;
  }
  return kRestoreDone;
}

}  // namespace

int RestorePartitionInfo(int disk, const char* path, RestorePrompt prompt, void* context, std::string* keptCopy) {
  if (keptCopy) keptCopy->clear();
  char diskPath[32];
  MakeDiskPath(disk, diskPath);
  if (!diskPath[0]) return kRestoreReadFailed;
  if (!path || !path[0]) return kRestoreCannotOpen;
  int fd = _open(path, _O_RDONLY | _O_BINARY);
  if (fd < 0) return kRestoreCannotOpen;
  FileCloser closer(fd);

  BackupFileHeader header;
  std::vector<RestoreRecord> records;
  std::vector<uint8_t> data;
  if (!CheckBackupFile(fd, &header, &records, &data)) {
    Say(prompt, context, kRestoreMsgNotBackupFile);
    return kRestoreRefused;
  }

  // Neither onto a GPT disk nor from one: DOS table sectors would hide a
  // GPT's partitions, and a GPT disk's sector 0 brings none back.
  SectorZero now0;
  uint8_t now1[kSectorSize];
  if (!ReadDiskSectorZero(diskPath, &now0)) return kRestoreReadFailed;
  const bool haveNow1 = ReadDiskSectors(diskPath, 1, 1, now1) == 0;
  if (IsGptDisk(now0.bytes, haveNow1 ? now1 : nullptr) || IsGptDisk(data.data() + records.front().offset, nullptr))
    return kRestoreGptDisk;

  const bool noIdentity = std::all_of(header.identify, header.identify + kBackupIdentifyBytes,
                                      [](char c) { return c == 'A'; });
  if (noIdentity) {
    if (!Say(prompt, context, kRestoreMsgNoDiskIdentity)) return kRestoreRefused;
  } else {
    char expected[kBackupIdentifyBytes];
    MakeBackupIdentifyField(IdentityOrNull(disk), expected);
    if (std::memcmp(header.identify, expected, kBackupIdentifyBytes) != 0) {
      Say(prompt, context, kRestoreMsgOtherDisk);
      return kRestoreRefused;
    }
  }

  // Every sector must lie on this disk: a backup of a larger disk is not
  // this disk's.
  const uint64_t diskSectors = DiskSectorCount(diskPath);
  if (diskSectors == 0) return kRestoreReadFailed;
  for (const RestoreRecord& r : records) {
    if (static_cast<uint64_t>(r.lba) + r.count > diskSectors) {
      Say(prompt, context, kRestoreMsgOtherDisk);
      return kRestoreRefused;
    }
  }

  // Keep what is there now, so that a failed write can be undone, and in a
  // file, for when even the undoing fails.
  std::vector<uint8_t> before(data.size());
  for (const RestoreRecord& r : records)
    if (ReadDiskSectors(diskPath, r.lba, r.count, before.data() + r.offset) != 0) return kRestoreReadFailed;
  BeforeRestore kept = {disk, &records, &before};
  char prefix[48];
  std::snprintf(prefix, sizeof prefix, "DISK%d-BEFORE-RESTORE", disk);
  const std::string keptPath = WriteTemporaryBackup(prefix, &WriteBeforeRestore, &kept);
  if (keptPath.empty()) return kRestoreCannotKeepOld;
  if (keptCopy) *keptCopy = keptPath;

  return WriteBackupSectors(diskPath, records, data, before);
}
