// The pieces of a DOS partition table (sector 0 of a disk and the extended
// boot records of its logical drives) that the lost-partition search, the
// partition backup and the restore share: entries, their cylinder/head/sector
// form, the table's consistency, and the size of a disk.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kBootProgramBytes = 446;     // boot program, disk signature and two spare bytes
constexpr uint32_t kDiskSignatureOffset = 440;  // u32 that Windows keys the disk's volumes to
constexpr uint32_t kPartitionTableOffset = 446;
constexpr uint32_t kPartitionEntries = 4;
constexpr uint32_t kTrackSectors = 63;
constexpr uint32_t kCylinderHeads = 255;
constexpr uint32_t kCylinderSectors = kTrackSectors * kCylinderHeads;   // 16,065
constexpr uint32_t kMibSectors = 2048;          // the 1 MiB alignment of today's partitioning tools
// A table entry holds 32-bit sector numbers: nothing at or past this sector
// can be named by one.
constexpr uint64_t kTableSectorLimit = 0x100000000ull;

// The standard boot program of a rebuilt sector 0: finds the active partition
// and starts its boot sector; prints "Invalid partition table", "Error loading
// operating system" or "Missing operating system". Its bytes 440-445 are zero.
extern const uint8_t kStandardBootProgram[kBootProgramBytes];

enum : uint8_t {
  kPartTypeEmpty = 0x00,
  kPartTypeExtended = 0x05,
  kPartTypeFat16 = 0x06,
  kPartTypeNtfs = 0x07,
  kPartTypeFat32 = 0x0B,
  kPartTypeFat32Lba = 0x0C,
  kPartTypeExtendedLba = 0x0F,
  kPartTypeGptProtective = 0xEE,
};
constexpr uint8_t kBootFlagActive = 0x80;

inline bool IsExtendedType(uint8_t type) { return type == kPartTypeExtended || type == kPartTypeExtendedLba; }

#pragma pack(push, 1)
struct PartitionEntry {
  uint8_t bootFlag;        // 0x80 active, 0 not
  uint8_t startHead;
  uint8_t startSector;     // bits 0-5; bits 6-7 are cylinder bits 8-9
  uint8_t startCylinder;   // cylinder bits 0-7
  uint8_t type;
  uint8_t endHead;
  uint8_t endSector;
  uint8_t endCylinder;
  uint32_t startLba;
  uint32_t sectorCount;
};
#pragma pack(pop)
static_assert(sizeof(PartitionEntry) == 16, "a table entry is 16 bytes");
static_assert(offsetof(PartitionEntry, type) == 4, "layout");
static_assert(offsetof(PartitionEntry, startLba) == 8, "layout");

// 55 AA at the end of the sector.
bool HasBootSignature(const uint8_t sector[512]);
// A disk laid out with a GUID partition table: an entry of type 0xEE in a
// signed sector 0, or the "EFI PART" header in sector 1 (sector1 may be null
// when it could not be read). Its partitions are not in sector 0: the DOS
// table operations must leave such a disk alone.
bool IsGptDisk(const uint8_t sector0[512], const uint8_t* sector1);
// Entry 0..3 of a table sector (sector 0 or an extended boot record).
PartitionEntry ReadPartitionEntry(const uint8_t sector[512], unsigned index);
void WritePartitionEntry(uint8_t sector[512], unsigned index, const PartitionEntry& entry);
inline bool IsEmptyEntry(const PartitionEntry& e) { return e.type == kPartTypeEmpty; }

// The three CHS bytes of a sector in 255-head, 63-sector cylinders: head;
// sector with cylinder bits 8-9 in its top bits; cylinder bits 0-7. A sector
// past cylinder 1023 gets 1023/254/63, which tells every reader to use the LBA.
void EncodeChs(uint64_t lba, uint8_t* head, uint8_t* sectorByte, uint8_t* cylinderByte);

// An entry from start to start + count - 1, with the CHS form of both ends.
PartitionEntry MakePartitionEntry(bool active, uint8_t type, uint32_t start, uint32_t count);

// The grid a partition's end is rounded to: the 255 x 63 cylinders of older
// tools, or the 1 MiB steps of newer ones.
enum class PartitionGrid { kCylinder, kMib };
// The smallest multiple of the grid step at or above sector; a sector past
// the last step that a table can name stays as it is.
uint64_t RoundUpToGrid(uint64_t sector, PartitionGrid grid);


// True when the four entries of a rebuilt table are fit to be written: the
// used entries come first and have a known type (FAT16, NTFS, FAT32,
// extended), a non-zero count, a start past sector 0, lie inside the disk
// (diskSectors 0: end within the first 2^32 sectors), do not overlap, and at
// most one of them is extended; the unused entries are all zero; the sector
// ends in 55 AA. At least one entry is used.
bool IsConsistentRebuiltTable(const uint8_t sector[512], uint64_t diskSectors);

// Sectors of a physical disk: the length query, else the size of the file
// behind it (disk images), else the first sector that cannot be read, found
// by doubling and halving with single-sector reads. 0 when not even sector 0
// can be read. Opens and closes its own handles.
uint64_t DiskSectorCount(const char* diskPath);
