// Lost-partition search and partition-table rebuild. When the table in sector
// 0 of a physical disk is gone, the search reads the whole disk once, in large
// blocks, and looks at every sector for FAT12/16, FAT32 and NTFS boot sectors
// (and their backup copies: FAT32's in its reserved sectors, NTFS's in the
// volume's last sector) and extended boot records. It builds primary entries
// and, where file systems lay behind boot records or there are more than
// four, an extended partition with its chain of logical drives, then writes
// sector 0 and the boot records of the chain.
//
// The partition page runs SearchLostPartitions on its rebuild worker, shows
// LostPartitionSearchProgress while it runs, may ask it to stop, then gets
// WM_PARTSEARCH_DONE and shows the message of the result. Nothing here opens
// a window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// The sector 0 being rebuilt: the standard boot program, the disk signature
// of the sector it replaces, four entries, 55 AA. Process-wide; written by
// PrepareRebuiltSector0 and the search, one search at a time.
extern uint8_t gRebuiltSector0[512];

// The sector 0 that the last successful rebuild replaced, kept in memory and
// in a backup file (the partition page's restore takes it back):
// gPreviousSector0Disk is the disk number (-1 when no rebuild has written),
// gPreviousSector0File the file's path, in the user's temporary folder,
// named "DISK<n>-SECTOR0-<yyyymmdd>-<hhmmss>.VXB".
extern uint8_t gPreviousSector0[512];
extern int gPreviousSector0Disk;
extern char gPreviousSector0File[MAX_PATH];

// Fills gRebuiltSector0 with the standard boot program, zero entries and
// 55 AA. The page calls it before each search; the search calls it too.
void PrepareRebuiltSector0();

// Results of SearchLostPartitions. Only kSearchWritten and kSearchWriteFailed
// have touched the disk.
enum : int {
  kSearchWritten = 0,        // a table was built, written and read back (string 46)
  kSearchDiskError = -1,     // the disk cannot be opened or sector 0 cannot be read: nothing written
  kSearchTableValid = -2,    // sector 0 holds a table (55 AA and a first entry with sectors) or is
                             // itself a volume's boot sector: nothing written (string 48)
  kSearchInconsistent = -3,  // the table built failed its checks: nothing written (a safety net,
                             // not expected to happen)
  kSearchNothingFound = -4,  // no partition found: nothing written (string 63)
  kSearchCannotKeepOld = -5, // the copy of the sectors to be replaced could not be saved: nothing written
  kSearchGptDisk = -6,       // a GPT disk (protective entry 0xEE or a GPT header): nothing written
  kSearchWriteFailed = -7,   // a write failed or did not read back: sector 0 or a boot record of
                             // the chain may be changed; the old ones are in gPreviousSector0File
  kSearchStopped = -8,       // the user stopped the search before anything was written: nothing written
  kSearchDiskStopped = -9,   // the disk stopped answering part-way: nothing written
};

// Searches disk 0-9 and, when partitions were found, writes the rebuilt
// table. Only sector 0 and the boot records of a rebuilt chain of logical
// drives are ever written (a boot record only where it does not already say
// what the rebuilt one says), only with a consistent table, and only after
// every sector about to be replaced has been saved to gPreviousSector0File.
//
// Each entry starts at its file system's first sector and is exactly as long
// as the file system says (FAT: the boot sector's total; NTFS: that plus its
// backup boot sector), entries of types FAT16 6 (active in the first slot),
// FAT32 0x0B, NTFS 7, extended 5. Every boot sector found is checked against
// its own structures (FAT: both FATs' first sectors, the root folder, the
// FAT32 backup boot and FSInfo sectors; NTFS: the MFT's first record and the
// root folder's, the mirror, the backup boot sector); of all the file systems
// found, the table takes the set that does not overlap and is borne out best,
// so a stale boot sector of an earlier layout never hides the partitions that
// lie inside its old extent, and a volume image kept as a file inside a
// partition whose structures hold is not a partition. The ones left out are
// in LostPartitionFindings, marked not written.
int SearchLostPartitions(int disk);

// The search of the page's worker: call before starting it (clears a stop
// asked for earlier and the progress).
void BeginLostPartitionSearch();
// Asks the running search to stop; it ends with kSearchStopped before it
// writes anything (once writing has begun, it finishes).
void StopLostPartitionSearch();
// How far the running (or last) search has read the disk, in thousandths.
unsigned LostPartitionSearchProgress();

// What the last search found: every file system it would have written and
// every one it left out (overlapping a better one, no room for the boot
// record that would reach it, more than a table can hold).
struct LostPartitionFinding {
  uint64_t start = 0;
  uint64_t sectors = 0;
  uint8_t type = 0;
  bool written = false;   // named by the rebuilt table
  bool logical = false;   // as a logical drive of the extended partition
  bool fromBackup = false;   // its first sector is gone; found by its backup boot sector
  bool fromRecord = false;   // no boot sector found: named by a boot record of a chain
};
const std::vector<LostPartitionFinding>& LostPartitionFindings();
// Sectors the last search could not read (bad sectors it read around): a
// partition whose boot sectors lie there may not have been found.
uint64_t LostPartitionSearchUnreadSectors();
