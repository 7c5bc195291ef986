// What a volume's boot sector says it is. Under Wine (and for a formatted
// volume) the platform's own answer cannot be trusted, so every road asks the
// boot sector.
#pragma once

#include <cstdint>

enum class BootKind { Fat16, Fat32, Ntfs, Unknown };   // Fat16 covers FAT12

// The signatures are tested in this order; the first match wins:
// "FAT1" at 0x36 (FAT12/16), "FAT3" at 0x52 (FAT32), "NTFS" at 3.
BootKind ClassifyBootSector(const uint8_t sector[512]);

inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t ReadLe64(const uint8_t* p) {
  return static_cast<uint64_t>(ReadLe32(p)) | static_cast<uint64_t>(ReadLe32(p + 4)) << 32;
}
