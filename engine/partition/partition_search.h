// Lost-partition search and partition-table rebuild. When the table in sector
// 0 of a physical disk is gone, the search probes the places where partitions
// begin (sector 63, every 255 x 63 cylinder start, every 1 MiB step),
// recognises FAT12/16, FAT32 and NTFS boot sectors and extended boot records,
// builds up to four primary entries and writes a new sector 0.
//
// The partition page runs SearchLostPartitions on its rebuild worker, then
// sends WM_PARTSEARCH_DONE to itself and shows the message of the result.
// Nothing here opens a window.
#pragma once

#include <windows.h>

#include <cstdint>

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
  kSearchCannotKeepOld = -5, // the copy of the old sector 0 could not be saved: nothing written
  kSearchGptDisk = -6,       // a GPT disk (protective entry 0xEE or a GPT header): nothing written
  kSearchWriteFailed = -7,   // writing the new sector 0 failed or it did not read back: sector 0
                             // may be changed; the old one is in gPreviousSector0File
};

// Searches disk 0-9 and, when partitions were found, writes the rebuilt
// sector 0. Only sector 0 is ever written, and only with a consistent table:
// entries inside the disk, not overlapping, of the types the search gives
// (FAT16 6 active in the first slot, FAT32 0x0B, NTFS 7, extended 5), a
// file system's entry ending on its grid step after the file system's last
// sector (at the disk's end, or the next partition's start, at the latest).
//
// Every boot sector found is checked against its own structures (FAT: both
// FATs' first sectors, the root folder, the FAT32 backup boot and FSInfo
// sectors; NTFS: the MFT's first record and the root folder's, the mirror,
// the backup boot sector). Only a file system whose structures, its root
// folder among them, check out lets the probes skip what it covers; of all
// the file systems found, the table takes the set that does not overlap and
// is borne out best, so a stale boot sector of an earlier layout never hides
// the partitions that lie inside its old extent.
int SearchLostPartitions(int disk);

// The end of a partition found at start whose file system (or chain of
// logical drives) covers size sectors: rounded up to the grid of the disk's
// layout, never past limit. Exposed for tests.
uint64_t RebuiltPartitionEnd(uint64_t start, uint64_t size, bool mibLayout, uint64_t limit);
