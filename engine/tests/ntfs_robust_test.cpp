// Damage the MFT of a copy of an NTFS volume at random, over and over: the
// scan, the content reader and the copy-out must end every time, and write
// nowhere but into the destination.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "content/record_content.h"
#include "copyout/ntfs_copy.h"
#include "disk/raw.h"
#include "ntfs/ntfs_volume.h"
#include "ntfs_fixture.h"
#include "state.h"
#include "testsupport.h"

using namespace ntfstest;

namespace {

constexpr int kDrive = 'R' - 'C';
constexpr uint32_t kRecords = 128;

struct Volume {
  HANDLE handle = nullptr;
  uint64_t mftSector = 0;
  std::vector<uint8_t> boot = std::vector<uint8_t>(512), mft = std::vector<uint8_t>(kRecords * 1024);
  Volume() {
    handle = OpenVolume(kDrive);
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(ReadVolumeSectors(kDrive, 0, 1, boot.data(), handle), 0);
    NtfsGeometry g;
    EXPECT_TRUE(ReadNtfsGeometry(boot.data(), &g));
    mftSector = g.mftStartSector;
    EXPECT_EQ(ReadVolumeSectors(kDrive, mftSector, kRecords * 2, mft.data(), handle), 0);
  }
  ~Volume() {
    Restore();
    CloseVolume(handle);
  }
  void Restore() {
    WriteVolumeSectors(kDrive, 0, 1, boot.data(), handle);
    WriteVolumeSectors(kDrive, mftSector, kRecords * 2, mft.data(), handle);
  }
  void Write(const std::vector<uint8_t>& damaged, bool bootSector) {
    if (bootSector)
      ASSERT_EQ(WriteVolumeSectors(kDrive, 0, 1, damaged.data(), handle), 0);
    else
      ASSERT_EQ(WriteVolumeSectors(kDrive, mftSector, kRecords * 2, damaged.data(), handle), 0);
  }
};

// Everything the pages would do with the results.
void UseResults(const std::string& dest) {
  std::vector<uint8_t> buf(1024);
  for (uint32_t i = 0; i < gDeletedFiles.size() && i < 300; ++i) {
    ReadRecordContent(i, buf.data(), static_cast<uint32_t>(buf.size()));
    const DeletedFileRecord r = gDeletedFiles[i];
    if (RecordSize(r) > (8u << 20)) continue;   // a size made up by the damage
    HANDLE volume = OpenVolume(kDrive);
    CopyOutNtfsFile(dest.c_str(), kDrive, volume, r.location, 8, r.path);
    CloseVolume(volume);
  }
  ResolveRecycleBinNames();
}

}  // namespace

TEST(NtfsDamage, RandomlyDamagedRecordsNeverStopTheScanOrTheCopy) {
  Volume volume;
  std::string dest = testsupport::ScratchDir("ntfs-robust");
  dest.pop_back();
  for (unsigned seed = 1; seed <= 30; ++seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> damaged = volume.mft;
    // Record 0 ($MFT) stays whole in most rounds, so the scan gets going.
    const uint32_t from = seed % 5 == 0 ? 0 : 1024;
    const int changes = 50 + static_cast<int>(rng() % 400);
    for (int i = 0; i < changes; ++i)
      damaged[from + rng() % (damaged.size() - from)] = static_cast<uint8_t>(rng());
    volume.Write(damaged, false);
    ClearDeletedFiles();
    RunScan("R:\\");
    UseResults(dest);
    ClearDeletedFiles();
    RunScan("R:\\Docs");
    volume.Restore();
  }
  // A boot sector that still says NTFS, with every field after it made up.
  for (unsigned seed = 1; seed <= 10; ++seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> boot = volume.boot;
    for (size_t i = 11; i < 0x50; ++i) boot[i] = static_cast<uint8_t>(rng());
    boot[11] = 0;
    boot[12] = 2;   // keep 512-byte sectors half of the time
    if (seed % 2) boot[13] = static_cast<uint8_t>(1u << (rng() % 8));
    volume.Write(boot, true);
    ClearDeletedFiles();
    RunScan("R:\\");
    UseResults(dest);
  }
  volume.Restore();
  ClearDeletedFiles();
  EXPECT_EQ(RunScan("R:\\"), 0);
  EXPECT_GT(gDeletedFiles.size(), 10u) << "the volume is whole again";
  // Nothing was written beside the destination.
  EXPECT_EQ(GetFileAttributesA((dest + "\\..\\evil.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}
