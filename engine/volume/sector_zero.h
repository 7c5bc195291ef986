// Sector 0 of a source (a volume or a physical disk): opened, read and judged
// in one place, so that every road and page starts from the same bytes and
// the same reading of them.
//
// The judge says what the sector is and gives its fields as the sector stores
// them, each bounded so far as reading it is safe. Whether a road can use such
// a volume, which of the size fields it believes, in which order it tests a
// table and a boot sector, stays the road's decision over these views (or
// over the raw bytes).
#pragma once

#include <windows.h>

#include <cstdint>

#include "source_report.h"
#include "volume/boot.h"

enum class SectorZeroKind : uint8_t {
  kUnknown = 0,
  kFat12,
  kFat16,          // also a "FAT1" boot sector whose layout does not read (FAT12 cannot be told then)
  kFat32,
  kNtfs,
  kMbr,            // 55 AA and a table shaped as one (it may be empty)
  kGptProtective,  // such a table with an entry of type 0xEE
};

// The first thing wrong with a boot sector's geometry; kNone for any other
// kind of sector.
enum class BootFault : uint8_t {
  kNone = 0,
  kZeroSectorSize,     // bytes per sector 0
  kOddSectorSize,      // not a power of two from 512 to 4096
  kBadClusterSize,     // sectors per cluster 0, not a power of two, or past 2 MB (NTFS)
  kNoSize,             // the size field the kind keeps its size in is 0
  kLayoutPastEnd,      // FAT: no reserved sector, no FAT, or the data area past the end;
                       // NTFS: the MFT past the end
};

// The BIOS parameter block as stored; the meaning of an offset depends on the
// kind (FAT or NTFS), so every field is read whatever the kind.
struct BootFields {
  uint16_t bytesPerSector = 0;    // 0x0B
  uint8_t clusterByte = 0;        // 0x0D as stored (NTFS: above 0x80 a negative power of two)
  uint16_t reservedSectors = 0;   // 0x0E
  uint8_t fatCount = 0;           // 0x10
  uint16_t rootEntries = 0;       // 0x11
  uint16_t totalSectors16 = 0;    // 0x13
  uint16_t fatSectors16 = 0;      // 0x16
  uint32_t hiddenSectors = 0;     // 0x1C
  uint32_t totalSectors32 = 0;    // 0x20
  uint32_t fatSectors32 = 0;      // 0x24 (FAT32)
  uint32_t rootCluster = 0;       // 0x2C (FAT32)
  uint64_t ntfsTotalSectors = 0;  // 0x28 (NTFS)
  uint64_t mftCluster = 0;        // 0x30 (NTFS)

  // Decoded for the kind: sectors per cluster, a power of two (0 when the
  // byte names none); the size as BootSectorTotalSectors gives it; and for
  // FAT the first sector of cluster 2 and the clusters after it (0 when the
  // layout does not read).
  uint32_t sectorsPerCluster = 0;
  uint64_t totalSectors = 0;
  uint64_t dataStartSector = 0;
  uint64_t clusterCount = 0;
};

// One entry of the table at 0x1BE, as stored.
struct TableEntryView {
  uint8_t status = 0;   // 0x80 active, 0 not; anything else is no table
  uint8_t type = 0;
  uint32_t firstLba = 0;
  uint32_t sectorCount = 0;
};

struct SectorZero {
  // kScanned: the sector was read, and everything below is its judge's.
  // kCannotOpen / kCannotRead otherwise (the bytes are zeros).
  SourceState state = SourceState::kCannotOpen;
  int readResult = -1;        // the raw layer's code of the open and read (0, -1, -2)
  uint32_t systemError = 0;   // GetLastError() right after the open or read that failed
  uint32_t deviceError = 0;   // LastDeviceError() then (the raw layer's reason)

  uint8_t bytes[512] = {};
  SectorZeroKind kind = SectorZeroKind::kUnknown;
  BootKind boot = BootKind::Unknown;   // ClassifyBootSector: the signatures every road starts from
  bool endMark = false;                // 55 AA at 510
  BootFault fault = BootFault::kNone;
  BootFields fields;
  TableEntryView entries[4];

  bool read() const { return state == SourceState::kScanned; }
  bool IsBootSector() const { return boot != BootKind::Unknown; }
};

// Judges the 512 bytes at sector (copied into out->bytes); the read state of
// out is left alone.
void JudgeSectorZero(const uint8_t sector[512], SectorZero* out);

// --- volumes -----------------------------------------------------------------

// Opens the volume and reads its sector 0. The handle is the caller's
// (CloseVolume), also when the read failed; nullptr when it did not open
// (state kCannotOpen).
HANDLE OpenVolumeSectorZero(int driveIndex, SectorZero* out);
// On a volume already open (a read that fails is kCannotRead). true when read.
bool ReadVolumeSectorZero(int driveIndex, HANDLE volume, SectorZero* out);
// Through a handle of its own for the one read (ReadVolumeSectorsByIndex):
// -1 is kCannotOpen, -2 kCannotRead. true when read.
bool ReadVolumeSectorZeroOnce(int driveIndex, SectorZero* out);

// --- physical disks ("\\.\PHYSICALDRIVEn") -----------------------------------

// Through a handle of its own (ReadDiskSectors): -1 is kCannotOpen, -2
// kCannotRead. true when read.
bool ReadDiskSectorZero(const char* path, SectorZero* out);
// Opens the disk as the process's disk handle (OpenDiskHandle) and reads on
// it; the handle stays open when it opened (CloseDiskHandle), even when the
// read failed (kCannotRead). true when read.
bool OpenDiskSectorZero(const char* path, SectorZero* out);
