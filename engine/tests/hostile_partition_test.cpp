// The partition operations on disks made to fool them (recipes in
// tests/fixtures/recipes/hostile_partition.py): the rebuild ends (ctest's time
// limit bounds it) with sfdisk's own partitions, never a table with
// overlapping or missing ones, and writes nothing but sector 0; GPT disks are
// refused by all three operations and left as they are.
//   disks 1-3: part-stale63 (as made, the stale boot sector alone, a boot
//   sector whose FAT cannot map its size)   disk 4: part-decoy-inside
//   disk 5: part-gpt-protective   disk 6: part-one-ntfs   disk 7: part-stale63 (root emptied)
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "fat/fat_volume.h"
#include "partition/partition_backup.h"
#include "partition/partition_search.h"
#include "partition/partition_table.h"
#include "partition_fixture.h"
#include "testsupport.h"

using partfix::ReadSectors;

namespace {

bool AnswerYes(void*, int) { return true; }

std::vector<uint8_t> SideFile(const std::string& fixture, const char* name) {
  std::string bytes;
  EXPECT_TRUE(testsupport::ReadWholeFile(testsupport::FixtureDir(fixture) + name, &bytes)) << name;
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// The table is lost, the search rebuilds it: the entries are sfdisk's
// (start, size, type, active), and only sector 0 and the sectors the test
// damaged itself differ from the fixture.
void ExpectSfdisksTable(int disk, const std::string& fixture, const std::vector<uint64_t>& damaged) {
  partfix::WipeTableEntries(disk);
  ASSERT_EQ(SearchLostPartitions(disk), kSearchWritten);
  const std::vector<uint8_t> now = ReadSectors(disk, 0, 1);
  const std::vector<partfix::SfdiskPartition> truth = partfix::ReadSfdisk(fixture);
  ASSERT_FALSE(truth.empty());
  for (const partfix::SfdiskPartition& p : truth) {
    PartitionEntry e = ReadPartitionEntry(now.data(), static_cast<unsigned>(p.number - 1));
    EXPECT_EQ(e.startLba, p.start) << "partition " << p.number;
    EXPECT_EQ(e.sectorCount, p.size) << "partition " << p.number;
    EXPECT_EQ(e.type, p.type) << "partition " << p.number;
    EXPECT_EQ(e.bootFlag == kBootFlagActive, p.bootable) << "partition " << p.number;
  }
  for (size_t i = truth.size(); i < kPartitionEntries; ++i)
    EXPECT_TRUE(IsEmptyEntry(ReadPartitionEntry(now.data(), static_cast<unsigned>(i)))) << "entry " << i + 1;
  EXPECT_TRUE(IsConsistentRebuiltTable(now.data(), 0));
  std::vector<uint64_t> expected = {0};
  expected.insert(expected.end(), damaged.begin(), damaged.end());
  EXPECT_EQ(partfix::DifferingSectors(disk, fixture), expected);
  DeleteFileA(gPreviousSector0File);
}

TEST(HostilePartitions, AStaleBootSectorOfAnEarlierLayoutHidesNothing) {
  // As made: the old FAT32's boot sector, reserved sectors and FATs still lie
  // in 63..2047; its root folder was overwritten by the new FAT32's FAT, and
  // the new FAT32's boot sector sits inside the old FAT.
  ExpectSfdisksTable(1, "part-stale63", {});
}

TEST(HostilePartitions, AStaleBootSectorAloneHidesNothing) {
  partfix::WriteSectors(2, 63, SideFile("part-stale63", "stale-boot.bin"));
  partfix::WriteSectors(2, 64, std::vector<uint8_t>((2048 - 64) * 512, 0));
  std::vector<uint64_t> damaged;
  const std::vector<uint8_t> original = partfix::FixtureSectors("part-stale63", 63, 2048 - 63);
  const std::vector<uint8_t> now = ReadSectors(2, 63, 2048 - 63);
  for (uint64_t s = 0; s < 2048 - 63; ++s)
    if (std::memcmp(original.data() + s * 512, now.data() + s * 512, 512) != 0) damaged.push_back(63 + s);
  ASSERT_LT(damaged.size(), 64u) << "the test's own damage is listed in full";
  ExpectSfdisksTable(2, "part-stale63", damaged);
}

TEST(HostilePartitions, ABootSectorWhoseFatCannotMapItsSizeIsRefused) {
  const std::vector<uint8_t> small = SideFile("part-stale63", "small-boot.bin");
  ASSERT_EQ(small.size(), 512u);
  FatGeometry g;
  EXPECT_FALSE(ParseFatBootSector(small.data(), &g)) << "150,000 sectors, a FAT for about 70,000 clusters";
  // The same sector with its own size is a FAT32 volume.
  std::vector<uint8_t> fixed = small;
  const uint32_t own = 70000;
  std::memcpy(fixed.data() + 0x20, &own, 4);
  EXPECT_TRUE(ParseFatBootSector(fixed.data(), &g));
  partfix::WriteSectors(3, 63, small);
  ExpectSfdisksTable(3, "part-stale63", {63});
}

TEST(HostilePartitions, AVolumeWithNothingInItsRootIsStillFound) {
  // The new FAT32's root folder emptied: its structures still hold, and no
  // boot sector lies inside them, so the rebuild takes it as before.
  const std::vector<uint8_t> boot = ReadSectors(7, 2048, 1);
  const uint32_t reserved = boot[14] | boot[15] << 8;
  const uint32_t fatSectors = boot[36] | boot[37] << 8 | boot[38] << 16 | static_cast<uint32_t>(boot[39]) << 24;
  const uint64_t root = 2048 + reserved + 2ull * fatSectors;   // cluster 2, one sector per cluster
  partfix::WriteSectors(7, root, std::vector<uint8_t>(512, 0));
  ExpectSfdisksTable(7, "part-stale63", {root});
}

TEST(HostilePartitions, AVolumeImageInsideAPartitionIsNotAPartition) {
  std::string at;
  ASSERT_TRUE(testsupport::ReadWholeFile(testsupport::FixtureDir("part-decoy-inside") + "decoy-sector.txt", &at));
  const uint64_t decoy = std::stoull(at);
  ASSERT_EQ(decoy % 2048, 0u) << "the image's boot sector lies where the search probes";
  ASSERT_EQ(ReadSectors(4, decoy, 1)[510], 0x55);
  ExpectSfdisksTable(4, "part-decoy-inside", {});
}

TEST(HostilePartitions, GptDisksAreRefusedByEveryOperation) {
  const std::string dir = testsupport::ScratchDir("gpt");
  gPreviousSector0Disk = -1;
  EXPECT_EQ(SearchLostPartitions(5), kSearchGptDisk);
  EXPECT_EQ(gPreviousSector0Disk, -1);
  const std::string file = dir + "gpt.vxb";
  EXPECT_EQ(BackupPartitionInfo(5, file.c_str()), kBackupGptDisk);
  EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << "no file that could not bring the disk back";
  // An MBR disk's backup is not written over a GPT disk's protective sector.
  const std::string mbr = dir + "mbr.vxb";
  ASSERT_EQ(BackupPartitionInfo(6, mbr.c_str()), kBackupDone);
  EXPECT_EQ(RestorePartitionInfo(5, mbr.c_str(), AnswerYes, nullptr), kRestoreGptDisk);
  EXPECT_TRUE(partfix::DifferingSectors(5, "part-gpt-protective").empty());
  // Nor is a file whose sector 0 is a GPT disk's (as older backups made)
  // written anywhere.
  std::string bytes;
  ASSERT_TRUE(testsupport::ReadWholeFile(mbr, &bytes));
  bytes[kBackupHeaderBytes + kBackupRecordHeaderBytes + kPartitionTableOffset + 4] = static_cast<char>(0xEE);
  const std::string fromGpt = dir + "from-gpt.vxb";
  ASSERT_TRUE(testsupport::WriteWholeFile(fromGpt, bytes));
  EXPECT_EQ(RestorePartitionInfo(6, fromGpt.c_str(), AnswerYes, nullptr), kRestoreGptDisk);
  EXPECT_TRUE(partfix::DifferingSectors(6, "part-one-ntfs").empty());
  partfix::RemoveKeptRestoreCopies();
}

}  // namespace
