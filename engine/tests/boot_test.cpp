// What a boot sector says of its volume: the kind by its signature, and the
// size from the field that kind keeps it in.
#include <gtest/gtest.h>

#include <cstring>

#include "volume/boot.h"

namespace {

struct Boot {
  uint8_t bytes[512] = {};
  Boot& Text(size_t at, const char* s) {
    std::memcpy(bytes + at, s, std::strlen(s));
    return *this;
  }
  Boot& Number(size_t at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    return *this;
  }
};

}  // namespace

TEST(BootSector, FatSizesComeFromTheSmallFieldUnlessItIsZero) {
  Boot small;
  small.Text(0x36, "FAT16   ").Number(0x13, 40000, 2).Number(0x20, 999999, 4);
  EXPECT_EQ(ClassifyBootSector(small.bytes), BootKind::Fat16);
  EXPECT_EQ(BootSectorTotalSectors(small.bytes), 40000u);

  Boot large;
  large.Text(0x52, "FAT32   ").Number(0x20, 0xFFFFFFF0u, 4);
  EXPECT_EQ(ClassifyBootSector(large.bytes), BootKind::Fat32);
  EXPECT_EQ(BootSectorTotalSectors(large.bytes), 0xFFFFFFF0u);
}

TEST(BootSector, NtfsSizesTakeAllSixtyFourBits) {
  Boot ntfs;
  ntfs.Text(3, "NTFS    ").Number(0x28, 0x123456789ull, 8).Number(0x13, 7, 2);
  EXPECT_EQ(ClassifyBootSector(ntfs.bytes), BootKind::Ntfs);
  EXPECT_EQ(BootSectorTotalSectors(ntfs.bytes), 0x123456789ull);
}

TEST(BootSector, AnythingElseHasNoSize) {
  Boot other;
  other.Number(0x13, 5000, 2).Number(0x20, 5000, 4).Number(0x28, 5000, 8);
  EXPECT_EQ(ClassifyBootSector(other.bytes), BootKind::Unknown);
  EXPECT_EQ(BootSectorTotalSectors(other.bytes), 0u);
}
