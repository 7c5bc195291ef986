// Helpers of the partition tests: sectors of the mapped disks and of the
// fixture images, the facts sfdisk and testdisk recorded beside them, and a
// comparison of a whole disk with its fixture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace partfix {

std::vector<uint8_t> ReadSectors(int disk, uint64_t lba, uint32_t count);
void WriteSectors(int disk, uint64_t lba, const std::vector<uint8_t>& data);
// Zeroes the four entries of sector 0 (the signature and 55 AA stay).
void WipeTableEntries(int disk);

// Bytes of a fixture image (read from the file, not through a disk mapping).
std::vector<uint8_t> FixtureSectors(const std::string& fixture, uint64_t lba, uint32_t count);

struct SfdiskPartition {
  int number = 0;
  uint64_t start = 0, size = 0;
  unsigned type = 0;
  bool bootable = false;
};
// `sfdisk -d` as the fixture recorded it.
std::vector<SfdiskPartition> ReadSfdisk(const std::string& fixture);

struct TestdiskPartition {
  char kind = 0;   // 'P', 'E', 'L'
  uint64_t start = 0, size = 0;
};
std::vector<TestdiskPartition> ReadTestdisk(const std::string& fixture);

// The sectors where the mapped disk differs from its fixture image (at most
// the first 64 of them).
std::vector<uint64_t> DifferingSectors(int disk, const std::string& fixture);

// The starts of the file-system partitions a table names: its primary entries
// and the logical drives of its extended partition, as the disk holds them now.
std::vector<uint64_t> PartitionStarts(int disk);

// Removes the copies that restores keep in the temporary folder
// ("DISK<n>-BEFORE-RESTORE-*.VXB"), so that test runs do not pile them up.
void RemoveKeptRestoreCopies();

}  // namespace partfix
