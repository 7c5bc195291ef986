// Where recovered files may go. The destination pages of the three roads
// propose a folder, and check the user's choice before a copy-out starts: a
// recovered file must never land on the volume (or, for a whole-disk scan,
// the disk) it is being read from, nor on a CD-ROM, nor on a drive without
// room for the selection.
//
// The drive facts come through DriveFacts, so the checks run against the
// real drives or against a table in the tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "fw_string.h"

// The three roads that share the destination, progress and report pages.
enum class RecoveryRoad { kDeleted, kUnformat, kDeep };

class DriveFacts {
 public:
  virtual ~DriveFacts() = default;
  // "A:\", "C:\", ... in the system's order (GetLogicalDriveStringsA).
  virtual std::string DriveRoots();
  virtual UINT DriveType(char letter);            // GetDriveTypeA of "X:\"
  virtual bool DriveExists(char letter);          // PathFileExistsA of "X:\"
  virtual bool FreeBytes(char letter, uint64_t* bytes);
  virtual int DiskNumber(char letter);            // physical disk of the drive, -1 unknown
};

// What the checks need to know of the road.
struct DestinationRules {
  RecoveryRoad road = RecoveryRoad::kDeleted;
  bool recycleBin = false;        // deleted-file road over the recycle bins
  const char* scanTarget = "";    // gScanTarget: "X:\..." or "Disk" + digit + '\'
  uint64_t totalSectors = 0;      // size of the selection
  // Recycle-bin road: bit (letter - 'A') set for every drive that holds a
  // record of the scan (record driveIndex + 'C').
  uint32_t drivesWithRecords = 0;
};

// The drives that hold records of gDeletedFiles, as DestinationRules wants them.
uint32_t DrivesHoldingDeletedFiles();

// The disk a whole-disk scan read ("Disk" followed by a digit), else -1.
int ScannedDiskNumber(const char* scanTarget);

// True when the copy-out writes into exactly the folder the text names:
// none of its characters would be replaced, and resolving it ("." and ".."
// folders, trailing dots and spaces) changes nothing but letter case and
// trailing backslashes.
bool CopyOutKeepsDestination(const char* text);

// The checks of the Next button in their order; 0 when the destination may
// be used, else the id of the string to show. A text the copy-out would
// change is refused with the bad-characters string, after the path check.
UINT CheckDestination(const char* text, const DestinationRules& rules, DriveFacts& facts);

// The drive to propose ("X:\ZUL"), or 0 when none qualifies. On the
// recycle-bin road the first drive that passes, else the one with the most
// free space (the earlier one on a tie).
char FindDefaultDestination(const DestinationRules& rules, DriveFacts& facts);

// What Browse makes of a folder chosen in the shell's folder dialog: "\ZUL"
// appended ("ZUL" to a drive root); on the deleted-file road also the scanned
// folder below its drive, so the files keep their place; cut to its first six
// characters when it reaches 260 characters; characters a path must not hold
// become '_'. Nothing is checked here (Next checks).
CString BrowsedDestination(const char* chosen, RecoveryRoad road, const char* scanTarget);

// Replaces what a destination text must not hold: control characters, a ':'
// anywhere but after the drive letter, * ? < > | and '"' (two-byte characters
// are kept whole; a lead byte without a proper second byte becomes '_').
void SanitizeDestination(CString* text);
