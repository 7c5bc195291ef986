// Deleted-file scans of FAT12/16 and FAT32 volumes: walk the folder tree below
// the scan target and append a DeletedFileRecord for every deleted file whose
// entry still describes it, deleted folders read on past their first cluster;
// then read the free clusters the walk did not reach for the entries of
// folders it could not reach. Progress texts go to gScanWindow (sent).
#pragma once

#include <atomic>
#include <cstdint>

// 0, or -1 when the target folder is not found, the boot sector does not
// describe a FAT volume, or the scan was stopped (gScanAbort == 1);
// kScanCannotOpen when the volume cannot be opened, kScanCannotRead when its
// root folder cannot be read (source_report.h).
int Fat16DeletedScan(int driveIndex, const char* target, const uint8_t* bootSector);
int Fat32DeletedScan(int driveIndex, const char* target, const uint8_t* bootSector);

// The pass over the free clusters reads every free cluster of the volume: on
// a volume of terabytes that is hours of reading (a Stop ends it at once).
// Cleared only by tests of huge sparse volumes that look at something else.
extern std::atomic<bool> gFatFreeClusterPass;

// The type table "ZEPFR.DAT" settles the first cluster of deleted FAT32 files.
// When it cannot be used the files still get records (their cluster guessed
// from their neighbours) and the scan leaves here the number of the string
// the page shows once: 57 the table cannot be opened, 58 it is damaged. The
// scans only raise it; the page clears it (to kTypeTableOk) before it starts
// a scan, as it clears gScanAbort. The engine itself shows nothing.
enum : uint32_t {
  kTypeTableOk = 0,
  kTypeTableMissing = 57,
  kTypeTableDamaged = 58,
};
extern std::atomic<uint32_t> gTypeTableProblem;

// Resource string 56, sent as the first progress text of a FAT32 scan.
extern const char kFat32ScanStartText[];
// Resource string IDS_FOLDERLESS_FILES: the folder at the root of the results
// that holds the files found in free clusters whose folder is not known.
extern const char kFolderlessFolderName[];
// Resource string IDS_FREE_CLUSTER_PASS: the progress text of the pass over
// the free clusters, followed by how far it is ("37%").
extern const char kFreeClusterPassText[];
