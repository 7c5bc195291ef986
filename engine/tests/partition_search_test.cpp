// The lost-partition search on whole-disk images partitioned by sfdisk with
// file systems made by mkfs.fat and mkntfs: the table is zeroed, the search
// must find what testdisk finds and write back the table sfdisk wrote.
//   disk 1: part-classic (cylinder layout)   disk 2: part-modern (1 MiB layout)
//   disk 3: part-empty   disk 4: part-gpt   disk 5: mbr-disk   disk 6: fat32-small (a volume, no table)
//   disk 7: part-modern (damaged chains)
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "disk/raw.h"
#include "partition/partition_backup.h"
#include "partition/partition_search.h"
#include "partition/partition_table.h"
#include "partition_fixture.h"
#include "testsupport.h"

using partfix::ReadSectors;

namespace {

bool AnswerYes(void*, int) { return true; }

// The search writes sfdisk's own table back: entries byte for byte (CHS
// included), the disk signature kept, the boot program ours; nothing but
// sector 0 changes, and what testdisk finds on the wiped disk is in it.
void ExpectRebuilt(int disk, const std::string& fixture) {
  std::vector<uint8_t> wiped = ReadSectors(disk, 0, 1);
  ASSERT_EQ(SearchLostPartitions(disk), kSearchWritten);

  std::vector<uint8_t> now = ReadSectors(disk, 0, 1);
  std::vector<uint8_t> original = partfix::FixtureSectors(fixture, 0, 1);
  EXPECT_EQ(0, std::memcmp(now.data(), kStandardBootProgram, 440)) << "boot program";
  EXPECT_TRUE(std::equal(now.begin() + 440, now.end(), original.begin() + 440))
      << "signature, entries and 55 AA as sfdisk wrote them";
  for (const partfix::SfdiskPartition& p : partfix::ReadSfdisk(fixture)) {
    if (p.number > 4) continue;
    PartitionEntry e = ReadPartitionEntry(now.data(), static_cast<unsigned>(p.number - 1));
    EXPECT_EQ(e.startLba, p.start) << "partition " << p.number;
    EXPECT_EQ(e.sectorCount, p.size) << "partition " << p.number;
    EXPECT_EQ(e.type, p.type) << "partition " << p.number;
    EXPECT_EQ(e.bootFlag == kBootFlagActive, p.bootable) << "partition " << p.number;
  }
  std::vector<uint64_t> starts = partfix::PartitionStarts(disk);
  for (const partfix::TestdiskPartition& t : partfix::ReadTestdisk(fixture)) {
    if (t.kind == 'E') continue;
    EXPECT_TRUE(std::find(starts.begin(), starts.end(), t.start) != starts.end())
        << "testdisk found a partition at " << t.start << " that the rebuilt table does not name";
  }
  EXPECT_EQ(partfix::DifferingSectors(disk, fixture), std::vector<uint64_t>{0}) << "only sector 0 changes";

  // The replaced sector is kept, in memory and in a file the restore takes.
  EXPECT_EQ(gPreviousSector0Disk, disk);
  EXPECT_EQ(0, std::memcmp(gPreviousSector0, wiped.data(), 512));
  EXPECT_NE(GetFileAttributesA(gPreviousSector0File), INVALID_FILE_ATTRIBUTES) << gPreviousSector0File;

  // A second search finds a table and leaves it alone.
  EXPECT_EQ(SearchLostPartitions(disk), kSearchTableValid);
  EXPECT_EQ(ReadSectors(disk, 0, 1), now);

  // Undo: the kept copy restores the wiped sector 0.
  EXPECT_EQ(RestorePartitionInfo(disk, gPreviousSector0File, AnswerYes, nullptr), kRestoreDone);
  EXPECT_EQ(ReadSectors(disk, 0, 1), wiped);
  DeleteFileA(gPreviousSector0File);
  partfix::RemoveKeptRestoreCopies();
}

TEST(LostPartitions, CylinderLayoutWithLogicalDrivesIsRebuilt) {
  partfix::WipeTableEntries(1);
  ExpectRebuilt(1, "part-classic");
}

TEST(LostPartitions, MibLayoutWithLogicalDrivesIsRebuilt) {
  partfix::WipeTableEntries(2);
  ExpectRebuilt(2, "part-modern");
}

TEST(LostPartitions, DisksThatAreNotLostAreLeftAlone) {
  gPreviousSector0Disk = -1;
  // A table (sfdisk's), a GPT whose protective entry is gone (refused as a
  // GPT disk: its partitions are not in sector 0), a volume formatted
  // without a table.
  EXPECT_EQ(SearchLostPartitions(5), kSearchTableValid);
  EXPECT_EQ(SearchLostPartitions(4), kSearchGptDisk);
  EXPECT_EQ(SearchLostPartitions(6), kSearchTableValid);
  EXPECT_TRUE(partfix::DifferingSectors(5, "mbr-disk").empty());
  EXPECT_TRUE(partfix::DifferingSectors(4, "part-gpt").empty());
  EXPECT_TRUE(partfix::DifferingSectors(6, "fat32-small").empty());
  EXPECT_EQ(gPreviousSector0Disk, -1);
}

TEST(LostPartitions, NothingFoundWritesNothing) {
  EXPECT_EQ(SearchLostPartitions(3), kSearchNothingFound);
  EXPECT_TRUE(partfix::DifferingSectors(3, "part-empty").empty());
  EXPECT_EQ(SearchLostPartitions(8), kSearchDiskError) << "no disk 8 is mapped";
  EXPECT_EQ(SearchLostPartitions(10), kSearchDiskError);
}

// Boot records that link back to themselves or to the first one end the
// chain; the logical drives before the bad link are still covered.
TEST(LostPartitions, LoopingExtendedChainEnds) {
  const uint64_t ebr2 = 157696;   // the second logical drive's boot record
  for (uint32_t back : {0u, 32768u}) {   // to the first record, to itself
    partfix::WipeTableEntries(7);
    std::vector<uint8_t> record = ReadSectors(7, ebr2, 1);
    PartitionEntry link = MakePartitionEntry(false, kPartTypeExtended, back, 1000);
    WritePartitionEntry(record.data(), 1, link);
    partfix::WriteSectors(7, ebr2, record);
    ASSERT_EQ(SearchLostPartitions(7), kSearchWritten) << back;
    std::vector<uint8_t> now = ReadSectors(7, 0, 1);
    std::vector<uint8_t> original = partfix::FixtureSectors("part-modern", 0, 1);
    EXPECT_TRUE(std::equal(now.begin() + 446, now.end(), original.begin() + 446)) << back;
    DeleteFileA(gPreviousSector0File);
  }
}

TEST(RebuiltEntries, CylinderHeadSector) {
  PartitionEntry e = MakePartitionEntry(true, kPartTypeNtfs, 63, 1012032);
  EXPECT_EQ(e.bootFlag, 0x80);
  EXPECT_EQ((std::vector<int>{e.startCylinder, e.startHead, e.startSector}), (std::vector<int>{0, 1, 1}));
  EXPECT_EQ((std::vector<int>{e.endCylinder, e.endHead, e.endSector & 63}), (std::vector<int>{62, 254, 63}));

  // An end on a track boundary: the last sector is the track's 63rd.
  e = MakePartitionEntry(false, kPartTypeFat32, 2048, 129024 - 2048);
  EXPECT_EQ((std::vector<int>{e.endHead, e.endSector & 63}), (std::vector<int>{7, 63}));
  // Past cylinder 1023: 1023/254/63.
  e = MakePartitionEntry(false, kPartTypeNtfs, 16777216, 4194304);
  EXPECT_EQ((std::vector<int>{e.startHead, e.startSector, e.startCylinder}), (std::vector<int>{254, 0xFF, 0xFF}));
}

TEST(RebuiltEntries, ConsistencyCheck) {
  PrepareRebuiltSector0();
  EXPECT_FALSE(IsConsistentRebuiltTable(gRebuiltSector0, 0)) << "no entry";
  WritePartitionEntry(gRebuiltSector0, 0, MakePartitionEntry(true, kPartTypeFat16, 63, 32067));
  WritePartitionEntry(gRebuiltSector0, 1, MakePartitionEntry(false, kPartTypeExtended, 32130, 16065));
  EXPECT_TRUE(IsConsistentRebuiltTable(gRebuiltSector0, 48195));
  EXPECT_FALSE(IsConsistentRebuiltTable(gRebuiltSector0, 48194)) << "past the disk's end";
  WritePartitionEntry(gRebuiltSector0, 2, MakePartitionEntry(false, kPartTypeNtfs, 40000, 100));
  EXPECT_FALSE(IsConsistentRebuiltTable(gRebuiltSector0, 0)) << "overlap";
  WritePartitionEntry(gRebuiltSector0, 2, MakePartitionEntry(false, kPartTypeExtended, 48195, 100));
  EXPECT_FALSE(IsConsistentRebuiltTable(gRebuiltSector0, 0)) << "two extended";
  WritePartitionEntry(gRebuiltSector0, 2, MakePartitionEntry(false, 0x83, 48195, 100));
  EXPECT_FALSE(IsConsistentRebuiltTable(gRebuiltSector0, 0)) << "a type the search never gives";
  PrepareRebuiltSector0();
  WritePartitionEntry(gRebuiltSector0, 1, MakePartitionEntry(false, kPartTypeNtfs, 63, 100));
  EXPECT_FALSE(IsConsistentRebuiltTable(gRebuiltSector0, 0)) << "a gap before a used entry";
}

}  // namespace
