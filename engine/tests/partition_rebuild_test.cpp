// The rebuild on disks laid out the ways that a grid search misses (made by
// tests/fixtures/recipes/partition.py, then damaged here): the table read
// back must be the original one, partition for partition, and no entry may
// cover another's file system or boot record.
//   disks 1-2: part-track63 (six FAT16 drives on 63-sector tracks, three of
//   them logical)   disk 3: part-at128 (NTFS at 128, 2 MiB clusters)
//   disks 4-5: part-odd (FAT32 at 2048, NTFS at an odd sector)
//   disk 6: part-classic (NTFS, then an extended partition)
//   disk 7: part-big-clusters (FAT16 and NTFS with 64 KiB clusters)
//   disk 8: part-track63 (a logical drive's boot sector zeroed)
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "partition/partition_backup.h"
#include "partition/partition_search.h"
#include "partition/partition_table.h"
#include "partition_fixture.h"
#include "testsupport.h"

using partfix::ReadSectors;

namespace {

struct Part {
  int number;
  uint64_t start, size;
  unsigned type;
  bool operator==(const Part& o) const {
    return number == o.number && start == o.start && size == o.size && type == o.type;
  }
};

std::ostream& operator<<(std::ostream& out, const Part& p) {
  return out << "#" << p.number << " " << p.start << "+" << p.size << " type " << std::hex << p.type << std::dec;
}

// The table as sfdisk numbers it: the four slots, then the logical drives of
// the chain; with the boot records' sectors.
std::vector<Part> ReadTable(int disk, std::vector<uint64_t>* records) {
  std::vector<Part> out;
  const std::vector<uint8_t> s0 = ReadSectors(disk, 0, 1);
  int logical = 5;
  for (unsigned i = 0; i < 4; ++i) {
    const PartitionEntry e = ReadPartitionEntry(s0.data(), i);
    if (IsEmptyEntry(e)) continue;
    out.push_back({static_cast<int>(i + 1), e.startLba, e.sectorCount, e.type});
    if (!IsExtendedType(e.type)) continue;
    uint64_t current = e.startLba;
    for (int n = 0; n < 64; ++n) {
      records->push_back(current);
      const std::vector<uint8_t> r = ReadSectors(disk, current, 1);
      const PartitionEntry d = ReadPartitionEntry(r.data(), 0);
      if (!IsEmptyEntry(d)) out.push_back({logical++, current + d.startLba, d.sectorCount, d.type});
      const PartitionEntry link = ReadPartitionEntry(r.data(), 1);
      if (!IsExtendedType(link.type)) break;
      current = e.startLba + link.startLba;
    }
  }
  std::sort(out.begin(), out.end(), [](const Part& a, const Part& b) { return a.number < b.number; });
  return out;
}

// Rebuilds disk and checks the table against sfdisk's record of the fixture;
// the sectors that differ from the fixture afterwards are returned.
std::vector<uint64_t> ExpectOriginalTable(int disk, const std::string& fixture, size_t leftOut = 0) {
  partfix::WipeTableEntries(disk);
  EXPECT_EQ(SearchLostPartitions(disk), kSearchWritten);
  std::vector<uint64_t> records;
  const std::vector<Part> now = ReadTable(disk, &records);
  std::vector<Part> truth;
  for (const partfix::SfdiskPartition& p : partfix::ReadSfdisk(fixture))
    truth.push_back({p.number, p.start, p.size, p.type});
  EXPECT_EQ(now, truth);
  // No file-system entry overlaps another, nor holds a boot record.
  for (const Part& a : now) {
    if (IsExtendedType(static_cast<uint8_t>(a.type))) continue;
    for (const Part& b : now) {
      if (&a != &b && !IsExtendedType(static_cast<uint8_t>(b.type))) {
        EXPECT_FALSE(a.start < b.start + b.size && b.start < a.start + a.size) << a << " overlaps " << b;
      }
    }
    for (uint64_t r : records) EXPECT_FALSE(r >= a.start && r < a.start + a.size) << a << " holds record " << r;
  }
  size_t notWritten = 0;
  for (const LostPartitionFinding& f : LostPartitionFindings()) notWritten += !f.written;
  EXPECT_EQ(notWritten, leftOut) << "found and reported as left out";
  return partfix::DifferingSectors(disk, fixture);
}

TEST(RebuildOffTheGrid, PrimariesAndLogicalDrivesOnTracks) {
  EXPECT_EQ(ExpectOriginalTable(1, "part-track63"), std::vector<uint64_t>{0}) << "the boot records were whole";
  DeleteFileA(gPreviousSector0File);
}

TEST(RebuildOffTheGrid, ALostChainOfBootRecordsIsWrittenBack) {
  const std::vector<uint64_t> records = {157248, 209664, 262080};
  for (uint64_t r : records) partfix::WriteSectors(2, r, std::vector<uint8_t>(512, 0));
  std::vector<uint64_t> expected = {0};
  // Written again as they were (the boot records' code area was zero).
  EXPECT_EQ(ExpectOriginalTable(2, "part-track63"), expected);
  // The copy kept first holds every sector the rebuild replaced: restoring
  // it takes the disk back to the state it was found in.
  ASSERT_EQ(RestorePartitionInfo(2, gPreviousSector0File, [](void*, int) { return true; }, nullptr), kRestoreDone);
  EXPECT_EQ(partfix::DifferingSectors(2, "part-track63"), (std::vector<uint64_t>{0, 157248, 209664, 262080}));
  DeleteFileA(gPreviousSector0File);
  partfix::RemoveKeptRestoreCopies();
}

// The second logical drive's boot sector is gone (FAT16 keeps no copy): its
// boot record, a link of the chain, still names it.
TEST(RebuildOffTheGrid, ALogicalDriveWithoutItsBootSectorIsKeptByItsRecord) {
  partfix::WriteSectors(8, 209727, std::vector<uint8_t>(512, 0));
  EXPECT_EQ(ExpectOriginalTable(8, "part-track63"), (std::vector<uint64_t>{0, 209727}));
  unsigned fromRecord = 0;
  for (const LostPartitionFinding& f : LostPartitionFindings()) fromRecord += f.fromRecord;
  EXPECT_EQ(fromRecord, 1u);
  DeleteFileA(gPreviousSector0File);
}

TEST(RebuildOffTheGrid, APartitionAtSector128WithTwoMegabyteClusters) {
  // Stopped, the search writes nothing and the next one runs again.
  partfix::WipeTableEntries(3);
  const std::vector<uint8_t> wiped = ReadSectors(3, 0, 1);
  BeginLostPartitionSearch();
  StopLostPartitionSearch();
  EXPECT_EQ(SearchLostPartitions(3), kSearchStopped);
  EXPECT_EQ(ReadSectors(3, 0, 1), wiped);
  EXPECT_EQ(ExpectOriginalTable(3, "part-at128"), std::vector<uint64_t>{0});
  EXPECT_EQ(LostPartitionSearchProgress(), 1000u);
  DeleteFileA(gPreviousSector0File);
}

TEST(RebuildOffTheGrid, SixtyFourKilobyteClusters) {
  EXPECT_EQ(ExpectOriginalTable(7, "part-big-clusters"), std::vector<uint64_t>{0});
  DeleteFileA(gPreviousSector0File);
}

TEST(RebuildOffTheGrid, FatAndNtfsAtOddSectors) {
  EXPECT_EQ(ExpectOriginalTable(4, "part-odd"), std::vector<uint64_t>{0});
  DeleteFileA(gPreviousSector0File);
}

TEST(RebuildOffTheGrid, VolumesWhoseFirstSectorIsGoneAreFoundFromTheirBackups) {
  partfix::WriteSectors(5, 2048, std::vector<uint8_t>(512, 0));
  partfix::WriteSectors(5, 133121, std::vector<uint8_t>(512, 0));
  EXPECT_EQ(ExpectOriginalTable(5, "part-odd"), (std::vector<uint64_t>{0, 2048, 133121}));
  unsigned fromBackup = 0;
  for (const LostPartitionFinding& f : LostPartitionFindings()) fromBackup += f.fromBackup;
  EXPECT_EQ(fromBackup, 2u);
  DeleteFileA(gPreviousSector0File);
}

// An NTFS boot sector whose size was written over to reach across the
// extended partition's boot record and the logical drive behind it: its
// entry would let a write into it destroy that drive. The table is the
// original one, the NTFS volume's size taken from its backup boot sector.
TEST(RebuildOffTheGrid, NoEntryCoversABootRecordOrAFileSystem) {
  const uint64_t ntfs = 2 * 16065;
  std::vector<uint8_t> boot = ReadSectors(6, ntfs, 1);
  const uint64_t across = 160711 - ntfs;   // to the second boot record, over the first logical drive
  std::memcpy(boot.data() + 0x28, &across, 8);
  partfix::WriteSectors(6, ntfs, boot);
  EXPECT_EQ(ExpectOriginalTable(6, "part-classic", 1), (std::vector<uint64_t>{0, ntfs}));
  bool reported = false;
  for (const LostPartitionFinding& f : LostPartitionFindings())
    reported = reported || (!f.written && f.start == ntfs && f.sectors == across + 1);
  EXPECT_TRUE(reported) << "the oversized volume is named as left out";
  DeleteFileA(gPreviousSector0File);
}

}  // namespace
