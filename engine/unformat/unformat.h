// The unformat scan: finds the files of a volume that was formatted again.
// The new file system knows nothing of them, but their old folders (FAT) or
// their old MFT records (NTFS) usually still lie on the volume.
//
// Results go to gUnformatFat16Files, gUnformatFat32Files and gUnformatNtfsFiles
// (records/records.h). The scan reports to one window (the unformat scan
// page), always with SendMessage, so every text it passes is valid while the
// page handles it:
//   WM_UNFORMAT_PATH      wParam 0, lParam = a status text or the path of the
//                         file just found (8-bit, code page 936)
//   WM_UNFORMAT_PROGRESS  wParam = the volume's size in sectors, lParam = the
//                         sector just read (both scaled down together to fit
//                         32 bits on volumes of 2 TB and more)
// It stops, returning -2, when gUnformatAbort or gScanAbort is 1.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "ntfs/ntfs_runs.h"

enum UnformatKind : int {
  kUnformatNtfs = 0,
  kUnformatFat32 = 1,
  kUnformatFat16 = 2,   // FAT12 volumes are scanned as FAT16
  kUnformatDetect = 3,
};

// The window that receives the scan's messages; RunUnformatScan sets it.
// nullptr: the scan runs without reporting.
extern HWND gUnformatWindow;

// The first status text of every scan (resource string 74).
extern const char kUnformatStartText[];

// Empties the three result vectors. The scan worker calls it before a scan;
// the scans empty only their own vector.
void ClearUnformatResults();

// What a scan ends with. The three ends a user must be told apart:
//   kUnformatScanned with empty vectors (and no stop flag): scanned, nothing found;
//   kUnformatCannotRead: the volume could not be opened or read at all;
//   kUnformatNotSupported: the boot sector names no file system this scan knows.
enum : int {
  kUnformatScanned = 0,        // the scan ran to the end or until a stop: the vectors hold what it found
  kUnformatCannotRead = -1,    // gUnformatError holds the system's error code (ERROR_ACCESS_DENIED: the
                               // program does not run as administrator); 0 when the device only gave short reads
  kUnformatStopped = -2,       // from the scans of one kind only; RunUnformatScan gives kUnformatScanned
  kUnformatNotSupported = -3,  // "detect" on a volume whose boot sector is neither FAT nor NTFS
  kUnformatOtherSectorSize = -4,  // a FAT or NTFS boot sector whose sectors are not 512 bytes;
                                  // gUnformatError holds the size it names
};
// Why the last scan (or DetectVolumeFileSystem) could not read the volume
// (or, after kUnformatOtherSectorSize, the sector size the boot sector names).
extern DWORD gUnformatError;

// The dispatcher: stores the window in gUnformatWindow, then runs the scan of
// the given kind on the volume (drive letter - 'C'). Kinds 0-2 give
// kUnformatScanned or kUnformatCannotRead (a stopped scan gives
// kUnformatScanned: the caller looks at the stop flags and the vectors). Kind
// 3 detects the file system from the boot sector and runs that scan, or gives
// kUnformatCannotRead when the boot sector cannot be read and
// kUnformatNotSupported when it is not recognised. Every kind gives
// kUnformatOtherSectorSize for a FAT or NTFS volume of sectors that are not
// 512 bytes, before anything is scanned. Any other kind does
// nothing and gives kUnformatScanned.
int RunUnformatScan(int kind, int driveIndex, HWND window);

// What the boot sector of the volume says: 0 NTFS, 1 FAT32, 2 FAT12/16,
// 3 unrecognised, -1 unreadable (gUnformatError says why). totalSectors (may
// be null) receives the boot sector's size of the volume in sectors.
int DetectVolumeFileSystem(int driveIndex, uint64_t* totalSectors);

// --- FAT ------------------------------------------------------------------
// Reads the whole volume, finds the old cluster geometry from the sectors
// that begin with "." and ".." (LocateFatClusters) and walks every such
// cluster that the geometry explains as the first cluster of an old folder.
// 0 at the end of the volume (also when no geometry could be told: nothing is
// listed then), -1 the volume cannot be opened or no sector of it read
// (gUnformatError), -2 stopped.
int ScanFatUnformat(bool fat32, int driveIndex);

// The cluster geometry of the old file system, from its folders: the one
// cluster size and first data sector that the most folder starts of the whole
// volume agree on (see unformat::ChooseFatGeometry). 0, -1 none can be told,
// -2 stopped.
int LocateFatClusters(HANDLE volume, int driveIndex, bool fat32, uint64_t volumeSectors, uint32_t* sectorsPerCluster,
                      uint64_t* firstDataSector);

// --- NTFS -----------------------------------------------------------------
// Finds where the old MFT began and turns every file record that was in use
// into an UnformatNtfsRecord with the folder path of its parent records.
// 0, -1 failure, -2 stopped.
int ScanNtfsUnformat(int driveIndex);

// Looks for the old MFT from the start of the volume (up to 6,356,992
// sectors): a system file record that shows where its MFT starts. Returns the
// old cluster size in sectors and the MFT's first sector, -1 when none was
// found (mftStart 0), -2 when stopped. A match at the MFT that the present
// boot sector names (the new file system's) is used only when no other is
// found.
int LocateMft(HANDLE volume, int driveIndex, uint64_t volumeSectors, uint64_t* mftStart);

// The runs of the first attribute of the given type (for $DATA the first
// unnamed one) of a prepared 1 KB record. 0; -1 the attribute is resident;
// -3 the record or attribute is not found or its runs are damaged.
int ReadAttributeRuns(const uint8_t* record, uint32_t type, std::vector<NtfsRun>* runs);

// How the last NTFS unformat scan read the old MFT; the copy-out reads the
// files' data the same way. valid is false until a scan has located it.
struct UnformatNtfsSource {
  bool valid = false;
  int driveIndex = -1;
  uint32_t sectorsPerCluster = 0;
  uint64_t mftStartSector = 0;
  uint64_t volumeSectors = 0;
  bool linear = false;             // the MFT was not found: parents are not looked up
  std::vector<NtfsRun> mftRuns;    // where record n lies
};
extern UnformatNtfsSource gUnformatNtfsSource;

// Most records a scan lists: beyond this a damaged volume would only fill
// memory with what cannot be files.
constexpr size_t kMaxUnformatRecords = 1u << 20;
