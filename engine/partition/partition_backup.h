// Partition-information backup and restore: sector 0 of a physical disk, the
// extended boot records of its logical drives and the first sectors of every
// partition its table names, each saved with the sector number it came from,
// in a ".VXB" file that a restore writes back to the same numbers.
//
// The file (little-endian): a 112-byte header, then records of a 64-byte
// header and count x 512 bytes of sector data, to the end of the file.
//
// Nothing here opens a window. The restore's questions and refusals go
// through a callback that the partition page turns into its message boxes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr char kBackupMagic[] = "VexRestR Backup Boot Sector File";   // 32 characters
constexpr uint8_t kBackupMagicEnd = 0x1A;
constexpr uint32_t kBackupHeaderBytes = 112;
constexpr uint32_t kBackupRecordHeaderBytes = 64;
constexpr uint32_t kBackupIdentifyBytes = 47;
constexpr char kBackupRecordTag[] = "VexSEC";                          // 6 characters

#pragma pack(push, 1)
struct BackupFileHeader {
  char magic[32];              // kBackupMagic
  uint8_t magicEnd;            // 0x1A
  uint8_t zero1[15];
  uint32_t format;             // 128
  uint32_t zero2;
  uint32_t headerBytes;        // 112
  uint32_t fileBytes;          // the whole file's length
  uint8_t zero3;
  char identify[kBackupIdentifyBytes];   // the disk's identify text, see MakeBackupIdentifyField
};
struct BackupRecordHeader {
  char tag[6];                 // "VexSEC"
  uint32_t cylinder;           // CHS bytes of the table entry that named the sectors (entry bytes 3, 1, 2)
  uint32_t head;
  uint32_t sector;
  uint32_t count;              // sectors that follow
  uint32_t lba;                // absolute sector number of the first of them
  char fill[38];               // 'A'
};
#pragma pack(pop)
static_assert(sizeof(BackupFileHeader) == kBackupHeaderBytes, "backup header is 112 bytes");
static_assert(offsetof(BackupFileHeader, fileBytes) == 60, "layout");
static_assert(offsetof(BackupFileHeader, identify) == 65, "layout");
static_assert(sizeof(BackupRecordHeader) == kBackupRecordHeaderBytes, "record header is 64 bytes");
static_assert(offsetof(BackupRecordHeader, count) == 18, "layout");
static_assert(offsetof(BackupRecordHeader, lba) == 22, "layout");

// What a restore accepts from a file: records of 1 to 2048 sectors, at most
// 4096 records and 64 MB in all. A backup holds a few dozen sectors.
constexpr uint32_t kMaxRecordSectors = 2048;
constexpr uint32_t kMaxBackupRecords = 4096;
constexpr uint64_t kMaxBackupFileBytes = 64ull << 20;

// The identify field of a backup of a disk whose identify text is text:
// shorter than 47 characters: the text padded with zeros; 47 or longer: its
// first 46 characters and a zero; no text (null or empty): 47 'A'.
void MakeBackupIdentifyField(const char* text, char field[kBackupIdentifyBytes]);

// --- backup ---------------------------------------------------------------
// Results of BackupPartitionInfo.
enum : int {
  kBackupDone = 0,
  kBackupCannotStart = -1,   // sector 0 unreadable, the file exists already or cannot be created
  kBackupFailed = -2,        // the file could not be written, or a sector the table names (inside
                             // the disk) could not be read; the incomplete file is removed
  kBackupGptDisk = -3,       // a GPT disk: its partitions are not in sector 0, so a backup of
                             // sector 0 could not bring them back; no file is made
};
// Saves the partition information of disk 0-9 into a new file at path
// (folders below the drive root are created; an existing file is never
// overwritten). Sectors a table entry names past the disk's end are not
// the disk's and are left out.
int BackupPartitionInfo(int disk, const char* path);

// Writes a backup file of only the given sector 0 of disk (the copy the
// lost-partition search keeps of the sector it replaces). Same results.
int WriteSector0Backup(int disk, const uint8_t sector0[512], const char* path);

// Writes a backup file of sector 0 and the other sectors given (the boot
// records of logical drives a rebuild is about to replace), each under its
// own number, sector 0 first. Same results.
struct SavedSector {
  uint64_t lba;
  uint8_t data[512];
};
int WriteSectorsBackup(int disk, const uint8_t sector0[512], const SavedSector* others, size_t count,
                       const char* path);

// --- restore --------------------------------------------------------------
// Messages of the restore (string numbers of the program's string table).
enum : int {
  kRestoreMsgNotBackupFile = 60,   // "该文件不是有效的备份文件": shown, then the restore ends
  kRestoreMsgNoDiskIdentity = 61,  // the file records no disk identity: a Yes/No question
  kRestoreMsgOtherDisk = 62,       // "该备份文件不是您选择硬盘的备份文件！": shown, then the restore ends
};
// Called by the restore on the calling thread before anything is written.
// For 61 the answer is the user's: true = Yes, go on. For 60 and 62 the
// callback only shows the message; its answer is not used. A null callback
// shows nothing and answers No.
using RestorePrompt = bool (*)(void* context, int message);

// Results of RestorePartitionInfo. Only 0 means the disk now holds every
// sector of the file; only 0, -3 and -4 have written to it.
enum : int {
  kRestoreDone = 0,
  kRestoreRefused = -1,        // the file failed a check (60 or 62 given), or the user answered
                               // No to 61: nothing written
  kRestoreReadFailed = -2,     // the disk, or the sectors to be replaced, could not be read first:
                               // nothing written
  kRestoreWriteFailed = -3,    // a write failed or did not read back; every sector written before
                               // was put back, so the disk is as it was
  kRestoreIncomplete = -4,     // a write failed and the disk could not be put back completely:
                               // it is partly rewritten; the sectors as they were are in keptCopy
  kRestoreCannotKeepOld = -5,  // the copy of the sectors to be replaced could not be saved:
                               // nothing written
  kRestoreCannotOpen = -6,     // the file cannot be opened (missing, locked, no right to read it):
                               // nothing written, nothing shown
  kRestoreGptDisk = -7,        // the disk, or the disk the file was made of, is a GPT disk:
                               // nothing written, nothing shown
};
// Writes the sectors of the backup file at path back to disk 0-9. The whole
// file is read and checked before the first write: the header (text, length
// field equal to the file's length), every record (tag, 1 to 2048 sectors,
// data present, the records ending exactly at the end of the file, sector 0
// first), that neither the disk nor the file's sector 0 is a GPT disk's, the
// disk identity, and every record inside the disk. The sectors about to be
// replaced are read first and saved as a backup file of their own in the
// user's temporary folder ("DISK<n>-BEFORE-RESTORE-<yyyymmdd>-<hhmmss>.VXB",
// its path in keptCopy when given), so a failed write is undone, and when
// even that fails the user still holds the way back.
int RestorePartitionInfo(int disk, const char* path, RestorePrompt prompt, void* context,
                         std::string* keptCopy = nullptr);

// A new file in the user's temporary folder named prefix + "-<yyyymmdd>-
// <hhmmss>" (+ "-<n>" while the name is taken) + ".VXB", made by
// write(path, context), a backup-file writer that returns kBackupDone. The
// path, or "" when none could be made.
using TemporaryBackupWriter = int (*)(const char* path, void* context);
std::string WriteTemporaryBackup(const char* prefix, TemporaryBackupWriter write, void* context);
