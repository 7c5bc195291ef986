// How a road's scan ended with its source. A source that could not be read
// is never reported as one on which nothing was found: the roads tell apart
//   - the drive or disk could not be opened or read (and the system's reason),
//   - it was read, but holds a file system (or a layout) the road cannot read,
//   - it was scanned: what was found is in the road's result vector (which
//     may be empty).
// Each road's worker fills one for its page; the page reads it after the
// worker's end message.
#pragma once

#include <windows.h>

#include <cstdint>

enum class SourceState : uint8_t {
  kScanned = 0,
  kCannotOpen = 1,    // the device could not be opened
  kCannotRead = 2,    // it opened, but what the road must read could not be read
  kUnsupported = 3,   // read, but not a file system (or a layout) the road reads
};

// Why a source is not supported (kUnsupported).
enum class Unsupported : uint8_t {
  kNone = 0,
  kUnknownFileSystem = 1,   // neither FAT nor NTFS
  kOtherSectorSize = 2,     // sectors of another size than 512 bytes (value: the size)
  kOtherRecordSize = 3,     // NTFS file records of another size than 1 KB (value: the size)
  kDamagedBootSector = 4,   // a FAT or NTFS signature over fields that describe no volume
};

struct SourceReport {
  SourceState state = SourceState::kScanned;
  Unsupported reason = Unsupported::kNone;
  uint32_t error = 0;    // the system's error code of the failed open or read; 0 when not known
  uint32_t value = 0;    // the size behind kOtherSectorSize / kOtherRecordSize
  int driveIndex = -1;   // the source: a volume (letter - 'C') ...
  int disk = -1;         // ... or a physical disk (-1: not this kind)

  bool Failed() const { return state != SourceState::kScanned; }
};

// Result codes the file-system scans give besides 0 and -1 (nothing to
// scan: the target folder is not there, or the scan was stopped).
constexpr int kScanCannotOpen = -3;   // the volume could not be opened
constexpr int kScanCannotRead = -4;   // the structures the scan starts from could not be read

// A report of a failed open or read of a volume or disk; error is the
// system's code (the raw layer keeps it: LastDeviceError).
SourceReport VolumeFailure(SourceState state, int driveIndex, uint32_t error);
SourceReport DiskFailure(SourceState state, int disk, uint32_t error);
