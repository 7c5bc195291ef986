// Process-wide state shared by the engine's workers and the pages that start
// them. One writer per variable (see the comments); workers poll the abort
// flags between units of work, so those are atomics.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

constexpr uint32_t kSectorSize = 512;

#pragma pack(push, 1)
// One deleted file found by a deleted-file scan. The layout is shared by the
// scans, the result pages and the copy-out, and is kept byte-exact. The
// records live only in this process's memory, so the location is a full
// 64-bit sector number: a volume past 2 TiB has its files there too.
struct DeletedFileRecord {
  uint32_t serial;       // running number given by the scan
  uint8_t selected;      // non-zero: ticked on the result page, copied out
  uint64_t location;     // FAT: first sector of the first cluster; NTFS: sector of the 1 KB MFT record
  char path[513];        // below the scan target, starts with '\', NUL-terminated, code page 936
  SYSTEMTIME created;    // local times
  SYSTEMTIME modified;
  SYSTEMTIME accessed;   // FAT: date only
  uint32_t sizeHigh;     // 0 on FAT
  uint32_t size;         // low 32 bits of the size
  uint8_t driveIndex;    // drive letter - 'C'
  // Non-zero when the scan already saw that another file holds the data now
  // (a FAT file's first cluster is allocated again): the copy can only be
  // damaged, and the result page says so.
  uint8_t damaged;
};
#pragma pack(pop)
static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME layout");
static_assert(sizeof(DeletedFileRecord) == 584, "DeletedFileRecord is 584 bytes");
static_assert(offsetof(DeletedFileRecord, location) == 5, "layout");
static_assert(offsetof(DeletedFileRecord, path) == 13, "layout");
static_assert(offsetof(DeletedFileRecord, created) == 526, "layout");
static_assert(offsetof(DeletedFileRecord, sizeHigh) == 574, "layout");
static_assert(offsetof(DeletedFileRecord, driveIndex) == 582, "layout");
static_assert(offsetof(DeletedFileRecord, damaged) == 583, "layout");

inline uint64_t RecordSize(const DeletedFileRecord& r) {
  return (static_cast<uint64_t>(r.sizeHigh) << 32) | r.size;
}

// Staging block of the NTFS record parser.
struct NtfsEntryStage {
  uint8_t status;        // 1 accepted, 0 not below the target, 255 invalid
  char path[512];
  SYSTEMTIME created;
  SYSTEMTIME modified;
  SYSTEMTIME accessed;
  uint32_t sizeHigh;
  uint32_t size;
};

// --- scan target and receiving window (written by the page that starts a worker)
extern char gScanTarget[512];
extern HWND gScanWindow;

// --- stop protocol: written by the page thread, polled by the workers
extern std::atomic<uint32_t> gScanAbort;      // 1 = stop the deleted-file / unformat scan
extern std::atomic<uint32_t> gRecoverAbort;   // 1 = cancel the copy-out
extern std::atomic<uint32_t> gUnformatAbort;
extern std::atomic<uint32_t> gDeepScanAbort;
extern std::atomic<uint32_t> gDelScanDone;    // the deleted-file scan has ended

// --- results of the deleted-file scan (written by the scan)
extern uint8_t gDelScanFsKind;        // 0 NTFS, 1 FAT32, 2 FAT12/16 (also when unreadable)
extern uint8_t gDelScanDriveIndex;
extern uint64_t gMftStartSector;
extern NtfsEntryStage gNtfsEntry;
extern uint32_t gFat16Serial;
extern uint32_t gFat32Serial;

// --- counters of the last copy-out (any road), which the pages draw. Only the
// copy-out's workers add to them; the page that starts a copy-out resets them
// all with ResetCopyOutCounters just before it starts the worker, as it lowers
// the stop flag: what a page reads from then on is that run's alone.
// Files the copy-out took on: each one is whole, damaged or failed; a file the
// stop came before is not among them.
extern std::atomic<uint32_t> gRecoverTakenFiles;
// Sectors written (a short tail counts as one).
extern std::atomic<uint32_t> gRecoveredSectors;
// Files that were written but are known to be damaged: their clusters were in
// use again, or the volume could not hold what their record claims. They are
// counted apart from the whole ones and from the failed ones.
extern std::atomic<uint32_t> gRecoverDamagedFiles;
// Files that were not recovered (read failures, partial copies, a full
// destination, a stop within the file, volumes that cannot be read, records
// refused).
extern std::atomic<uint32_t> gRecoverFailedFiles;
void ResetCopyOutCounters();

// --- scan options (options dialog)
extern uint32_t gOptSkipDeletedBeforeFolder;   // default 0
extern uint32_t gOptSkipTempFolders;           // default 1
extern uint32_t gOptSkipBadTimes;              // default 1
extern uint32_t gOptUseNtfsMft;                // unformat settings dialog; default 0

// --- disk identity
extern HANDLE gDiskHandle;                      // the one open physical disk; INVALID_HANDLE_VALUE when none
extern char gDiskIdentifyText[1024];
extern uint32_t gDiskSectorCount;

// --- the deleted-file result vector. Scans append; pages clear it only while no
// worker runs. Appending takes the lock so a page reading the count on its
// timer never sees a vector being reallocated.
extern std::vector<DeletedFileRecord> gDeletedFiles;
extern std::mutex gDeletedFilesLock;

// Returns the new record's index.
size_t AppendDeletedFile(const DeletedFileRecord& record);
size_t DeletedFileCount();
// Empties the vector and forgets everything derived from it (the record-content
// cache among others). Pages call it instead of clearing the vector themselves.
void ClearDeletedFiles();

// Hooks that are run by ClearDeletedFiles, so caches keyed by record index
// (registered by their owners) are invalidated with the vector.
using ClearHook = void (*)();
void RegisterDeletedFilesClearHook(ClearHook hook);

// True when a worker loop must stop: the flag holds exactly 1.
inline bool ScanAbortRequested() { return gScanAbort.load(std::memory_order_relaxed) == 1; }
