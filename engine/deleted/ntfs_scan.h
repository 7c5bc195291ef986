// Deleted-file scan of NTFS volumes: reads the whole MFT in large blocks, run
// by run, and records every deleted file whose parent chain leads to the scan
// target.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "ntfs/ntfs_record.h"

class NtfsVolume;
class NtfsFolderCache;

// 0 or -1 (the boot sector is not one this scan reads, or the target folder
// is not found); kScanCannotOpen when the volume cannot be opened,
// kScanCannotRead when the MFT's own record is unreadable (source_report.h). Records go to gDeletedFiles; progress texts are sent to window:
// the start text, then every 25th accepted file.
int NtfsDeletedScan(int driveIndex, const char* target, const uint8_t* bootSector, HWND window);

// What the scan knows of its target while it parses records.
struct NtfsScanTarget {
  uint64_t record = 5;        // the target folder
  uint16_t sequence = 0;      // its sequence number (0: not compared)
};

// Parses one record whose header says it is not in use into gNtfsEntry:
// status 1 and 0 when it is a deleted file below the target, status 0 (not
// below) or 255 (not a readable file record) and -1 otherwise. The record is
// prepared (update sequence applied) in place.
// A record that holds data but no $FILE_NAME at all (its name lived in an
// extension record that is gone) has no folder either: with the root as the
// target it is listed as "\<kNtfsNamelessFolder>\<its record number>";
// recordNumber is that number (UINT64_MAX: from the record's header).
int ParseNtfsRecord(NtfsVolume& volume, uint8_t* record, const NtfsScanTarget& target, NtfsFolderCache& folders,
                    uint64_t recordNumber = UINT64_MAX);

// The folder the nameless files are listed in (string 798 of the program).
extern const char kNtfsNamelessFolder[];

// The identity of record `index` of gDeletedFiles; known is false for a
// record no NTFS scan made.
NtfsScannedIdentity ScannedNtfsIdentity(size_t index);
