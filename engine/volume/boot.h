// What a volume's boot sector says it is. Under Wine (and for a formatted
// volume) the platform's own answer cannot be trusted, so every road asks the
// boot sector.
#pragma once

#include <cstdint>

enum class BootKind { Fat16, Fat32, Ntfs, Unknown };   // Fat16 covers FAT12

// The signatures are tested in this order; the first match wins:
// "FAT1" at 0x36 (FAT12/16), "FAT3" at 0x52 (FAT32), "NTFS" at 3.
BootKind ClassifyBootSector(const uint8_t sector[512]);

// The sectors the boot sector says its volume holds: for FAT the 16-bit
// count, or the 32-bit one when that is 0 (larger volumes); for NTFS the
// 64-bit count; 0 for anything else.
uint64_t BootSectorTotalSectors(const uint8_t sector[512]);
