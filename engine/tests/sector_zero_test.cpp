// The judge of a source's sector 0, over what mkfs.fat, mkntfs and sfdisk
// wrote (mapped as volumes and disks) and over sectors made to mislead it.
#include <gtest/gtest.h>

#include <cstring>

#include "disk/raw.h"
#include "volume/sector_zero.h"

namespace {

int Drive(char letter) { return letter - 'C'; }

void Put(uint8_t* s, size_t at, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) s[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The sector 0 of a mapped volume, read as the roads read it.
SectorZero VolumeZero(char letter) {
  SectorZero z;
  HANDLE h = OpenVolumeSectorZero(Drive(letter), &z);
  EXPECT_NE(h, nullptr) << letter;
  CloseVolume(h);
  return z;
}

SectorZero Judged(const uint8_t* sector) {
  SectorZero z;
  JudgeSectorZero(sector, &z);
  return z;
}

}  // namespace

TEST(SectorZero, BootSectorsOfTheFormattersGiveTheirKindAndTheVolumeSize) {
  struct Case {
    char letter;
    SectorZeroKind kind;
    uint64_t lastSectorsKept;   // mkntfs keeps the last sector for its copy of the boot sector
  } cases[] = {{'E', SectorZeroKind::kFat12, 0},
               {'F', SectorZeroKind::kFat16, 0},
               {'G', SectorZeroKind::kFat32, 0},
               {'H', SectorZeroKind::kNtfs, 1}};
  for (const Case& c : cases) {
    SectorZero z;
    HANDLE h = OpenVolumeSectorZero(Drive(c.letter), &z);
    ASSERT_NE(h, nullptr) << c.letter;
    const uint64_t device = GetDeviceSectorCount(h);
    CloseVolume(h);
    ASSERT_TRUE(z.read()) << c.letter;
    EXPECT_EQ(z.readResult, 0);
    EXPECT_EQ(z.kind, c.kind) << c.letter;
    EXPECT_EQ(z.fault, BootFault::kNone) << c.letter;
    EXPECT_TRUE(z.endMark) << c.letter;
    EXPECT_EQ(z.fields.bytesPerSector, 512u) << c.letter;
    EXPECT_NE(z.fields.sectorsPerCluster, 0u) << c.letter;
    EXPECT_EQ(z.fields.totalSectors + c.lastSectorsKept, device) << c.letter;
    if (c.kind != SectorZeroKind::kNtfs) {
      EXPECT_GT(z.fields.dataStartSector, 0u) << c.letter;
      EXPECT_GT(z.fields.clusterCount, 0u) << c.letter;
    }
  }
  // The three roads to a volume's sector 0 read the same bytes.
  SectorZero kept, once;
  HANDLE h = OpenVolume(Drive('G'));
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(ReadVolumeSectorZero(Drive('G'), h, &kept));
  CloseVolume(h);
  EXPECT_TRUE(ReadVolumeSectorZeroOnce(Drive('G'), &once));
  EXPECT_EQ(std::memcmp(kept.bytes, VolumeZero('G').bytes, 512), 0);
  EXPECT_EQ(std::memcmp(once.bytes, kept.bytes, 512), 0);
}

TEST(SectorZero, SfdiskTablesAreAnMbrOrAGptProtectiveSector) {
  SectorZero dos;
  ASSERT_TRUE(ReadDiskSectorZero("\\\\.\\PHYSICALDRIVE1", &dos));
  EXPECT_EQ(dos.kind, SectorZeroKind::kMbr);
  EXPECT_EQ(dos.boot, BootKind::Unknown);
  EXPECT_EQ(dos.fault, BootFault::kNone);
  // As the recipe asked sfdisk for them.
  EXPECT_EQ(dos.entries[0].type, 0x06);
  EXPECT_EQ(dos.entries[0].firstLba, 2048u);
  EXPECT_EQ(dos.entries[0].sectorCount, 32768u);
  EXPECT_EQ(dos.entries[1].type, 0x0C);
  EXPECT_EQ(dos.entries[1].firstLba, 36864u);
  EXPECT_EQ(dos.entries[1].sectorCount, 143360u);
  EXPECT_EQ(dos.entries[2].type, 0);

  SectorZero gpt;
  ASSERT_TRUE(OpenDiskSectorZero("\\\\.\\PHYSICALDRIVE2", &gpt));
  CloseDiskHandle();
  EXPECT_EQ(gpt.kind, SectorZeroKind::kGptProtective);
  EXPECT_EQ(gpt.entries[0].type, 0xEE);
  EXPECT_EQ(gpt.entries[0].firstLba, 1u);

  // The judge sees sector 0 only: with the protective entry wiped, a GPT
  // disk's sector 0 is an empty table (sector 1 is what still tells).
  SectorZero wiped;
  ASSERT_TRUE(ReadDiskSectorZero("\\\\.\\PHYSICALDRIVE3", &wiped));
  EXPECT_EQ(wiped.kind, SectorZeroKind::kMbr);
  for (const TableEntryView& e : wiped.entries) EXPECT_EQ(e.type, 0);
}

TEST(SectorZero, SourcesThatCannotBeReadSayWhichStepFailed) {
  SectorZero absent;
  EXPECT_EQ(OpenVolumeSectorZero(Drive('Q'), &absent), nullptr);
  EXPECT_EQ(absent.state, SourceState::kCannotOpen);
  EXPECT_NE(absent.deviceError, 0u);
  EXPECT_EQ(absent.kind, SectorZeroKind::kUnknown);

  SectorZero empty;
  HANDLE h = OpenVolumeSectorZero(Drive('U'), &empty);
  EXPECT_NE(h, nullptr) << "it opens; nothing lies behind it";
  CloseVolume(h);
  EXPECT_EQ(empty.state, SourceState::kCannotRead);
  SectorZero emptyOnce;
  EXPECT_FALSE(ReadVolumeSectorZeroOnce(Drive('U'), &emptyOnce));
  EXPECT_EQ(emptyOnce.state, SourceState::kCannotRead);
  EXPECT_EQ(emptyOnce.readResult, -2);

  SectorZero noDisk;
  EXPECT_FALSE(ReadDiskSectorZero("\\\\.\\PHYSICALDRIVE7", &noDisk));
  EXPECT_EQ(noDisk.state, SourceState::kCannotOpen);
  EXPECT_FALSE(OpenDiskSectorZero("\\\\.\\PHYSICALDRIVE7", &noDisk));
  EXPECT_EQ(noDisk.state, SourceState::kCannotOpen);

  const SectorZero garbage = VolumeZero('I');
  EXPECT_TRUE(garbage.read());
  EXPECT_EQ(garbage.kind, SectorZeroKind::kUnknown);
}

TEST(SectorZero, HostileBootSectorsAreJudgedWithoutTrustingTheirFields) {
  const SectorZero fat16 = VolumeZero('F'), fat32 = VolumeZero('G'), ntfs = VolumeZero('H');
  uint8_t s[512];

  std::memcpy(s, fat16.bytes, 512);
  Put(s, 0x0B, 0, 2);
  SectorZero z = Judged(s);
  EXPECT_EQ(z.kind, SectorZeroKind::kFat16) << "the signature still names the kind";
  EXPECT_EQ(z.fault, BootFault::kZeroSectorSize);
  Put(s, 0x0B, 520, 2);
  EXPECT_EQ(Judged(s).fault, BootFault::kOddSectorSize);
  Put(s, 0x0B, 512, 2);
  s[0x0D] = 3;
  EXPECT_EQ(Judged(s).fault, BootFault::kBadClusterSize);

  // Every count at its largest: 65535 reserved sectors and 255 FATs of
  // 2^32 - 1 sectors lie far past a volume of 2^32 - 1 sectors, and nothing wraps.
  std::memcpy(s, fat32.bytes, 512);
  Put(s, 0x0E, 0xFFFF, 2);
  s[0x10] = 0xFF;
  Put(s, 0x24, 0xFFFFFFFFu, 4);
  Put(s, 0x13, 0, 2);
  Put(s, 0x20, 0xFFFFFFFFu, 4);
  z = Judged(s);
  EXPECT_EQ(z.kind, SectorZeroKind::kFat32);
  EXPECT_EQ(z.fields.totalSectors, 0xFFFFFFFFu);
  EXPECT_EQ(z.fault, BootFault::kLayoutPastEnd);
  EXPECT_EQ(z.fields.clusterCount, 0u);
  Put(s, 0x20, 0, 4);
  EXPECT_EQ(Judged(s).fault, BootFault::kNoSize);

  std::memcpy(s, ntfs.bytes, 512);
  Put(s, 0x28, UINT64_MAX, 8);
  Put(s, 0x30, UINT64_MAX, 8);
  z = Judged(s);
  EXPECT_EQ(z.kind, SectorZeroKind::kNtfs);
  EXPECT_EQ(z.fault, BootFault::kLayoutPastEnd);
  s[0x0D] = 0xE0;   // 2^32 sectors per cluster
  EXPECT_EQ(Judged(s).fault, BootFault::kBadClusterSize);
  s[0x0D] = 0xF4;   // 2^12 sectors: the largest cluster Windows makes
  EXPECT_EQ(Judged(s).fields.sectorsPerCluster, 4096u);
}

TEST(SectorZero, WithoutTheEndMarkATableIsNoTableButABootSectorKeepsItsSignature) {
  SectorZero dos;
  ASSERT_TRUE(ReadDiskSectorZero("\\\\.\\PHYSICALDRIVE1", &dos));
  uint8_t s[512];
  std::memcpy(s, dos.bytes, 512);
  s[510] = s[511] = 0;
  SectorZero z = Judged(s);
  EXPECT_FALSE(z.endMark);
  EXPECT_EQ(z.kind, SectorZeroKind::kUnknown);
  // An entry whose status byte is neither 0 nor 0x80 is no table either.
  std::memcpy(s, dos.bytes, 512);
  s[0x1BE + 16] = 0x12;
  EXPECT_EQ(Judged(s).kind, SectorZeroKind::kUnknown);

  std::memcpy(s, VolumeZero('F').bytes, 512);
  s[510] = s[511] = 0;
  z = Judged(s);
  EXPECT_FALSE(z.endMark);
  EXPECT_EQ(z.kind, SectorZeroKind::kFat16);
  EXPECT_EQ(z.fault, BootFault::kNone);

  uint8_t zeros[512] = {};
  EXPECT_EQ(Judged(zeros).kind, SectorZeroKind::kUnknown);
}
