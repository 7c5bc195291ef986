// Raw sector access on the NT road, against images made by mkfs.fat and
// sfdisk and mapped as \\.\X: (volume) and \\.\PHYSICALDRIVE1 (whole disk).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "disk/raw.h"
#include "state.h"
#include "testsupport.h"

using testsupport::MappedDisk;
using testsupport::MappedImage;
using testsupport::ReadWholeFile;

namespace {

constexpr int kX = 'X' - 'C';
constexpr int kW = 'W' - 'C';   // a copy that may be written
constexpr int kUnmapped = 'Q' - 'C';

std::string ImageBytes(const std::string& path, uint64_t sector, size_t count) {
  std::string all;
  EXPECT_TRUE(ReadWholeFile(path, &all)) << path;
  if (all.size() < (sector + count) * 512) return std::string();
  return all.substr(sector * 512, count * 512);
}

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace

TEST(RawVolume, ReadsMatchTheImageOnEveryRoad) {
  std::vector<uint8_t> buf(8 * 512);
  ASSERT_EQ(ReadVolumeSectorsByIndex(kX, 0, 8, buf.data()), 0);
  EXPECT_EQ(Bytes(buf), ImageBytes(MappedImage('X'), 0, 8));

  HANDLE h = OpenVolume(kX);
  ASSERT_NE(h, nullptr);
  std::fill(buf.begin(), buf.end(), 0);
  ASSERT_EQ(ReadVolumeSectors(kX, 32, 8, buf.data(), h), 0);
  EXPECT_EQ(Bytes(buf), ImageBytes(MappedImage('X'), 32, 8));

  std::fill(buf.begin(), buf.end(), 0);
  ASSERT_EQ(ReadTargetSectors(MakeVolumeTarget(kX), 100, 4, buf.data(), h), 0);
  EXPECT_EQ(Bytes(buf).substr(0, 2048), ImageBytes(MappedImage('X'), 100, 4));
  CloseVolume(h);
}

TEST(RawVolume, AReadPastTheEndIsAFailureNotAnEmptySuccess) {
  HANDLE h = OpenVolume(kX);
  ASSERT_NE(h, nullptr);
  uint64_t sectors = GetDeviceSectorCount(h);
  EXPECT_EQ(sectors, 40ull * 1024 * 2);   // the image is 40 MiB
  std::vector<uint8_t> buf(4 * 512, 0xAB);
  EXPECT_EQ(ReadVolumeSectors(kX, sectors - 1, 1, buf.data(), h), 0);
  EXPECT_EQ(ReadVolumeSectors(kX, sectors - 2, 4, buf.data(), h), -2) << "short read must fail";
  EXPECT_EQ(ReadVolumeSectors(kX, sectors + 10, 1, buf.data(), h), -2);
  CloseVolume(h);
  EXPECT_EQ(ReadVolumeSectors(kX, 0, 1, buf.data(), nullptr), -1);
}

TEST(RawVolume, SectorsPastTwoToTheThirtyOneAndThirtyTwoAreReadWhereTheyAre) {
  // Y: is a sparse 2 TiB volume whose marked sectors each hold their own
  // number: a position cut to 32 bits or taken as signed reads another one.
  HANDLE h = OpenVolume('Y' - 'C');
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetDeviceSectorCount(h), 0x100000000ull + 16);
  std::vector<uint8_t> buf(2 * 512);
  for (uint64_t sector : {1ull, 0x7FFFFFFFull, 0x80000000ull, 0xFFFFFFFFull, 0x100000000ull, 0x100000001ull}) {
    char mark[32];
    snprintf(mark, sizeof mark, "SECTOR %016llX ", static_cast<unsigned long long>(sector));
    ASSERT_EQ(ReadVolumeSectors('Y' - 'C', sector, 1, buf.data(), h), 0) << sector;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()), strlen(mark)), mark) << sector;
  }
  // Two sectors across the 2^32 line come back in order.
  ASSERT_EQ(ReadVolumeSectors('Y' - 'C', 0xFFFFFFFFull, 2, buf.data(), h), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()) + 512, 23), "SECTOR 0000000100000000");
  CloseVolume(h);
}

TEST(RawVolume, UnmappedDriveFailsAndIsNotCached) {
  std::vector<uint8_t> buf(512);
  EXPECT_EQ(OpenVolume(kUnmapped), nullptr);
  EXPECT_EQ(ReadVolumeSectorsByIndex(kUnmapped, 0, 1, buf.data()), -1);
  int index = 0;
  EXPECT_EQ(GetCachedVolumeHandle("q:\\", &index), nullptr);
  EXPECT_EQ(index, kUnmapped);
  HANDLE x = GetCachedVolumeHandle("X:\\docs", &index);
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(index, kX);
  EXPECT_EQ(GetCachedVolumeHandle("x:", &index), x) << "same letter, same handle";
  EXPECT_EQ(GetCachedVolumeHandle("q:", &index), nullptr);
  EXPECT_EQ(GetCachedVolumeHandle("X:", &index), x) << "a failed open must not evict the cached volume";
  ResetCachedVolumeHandle();
}

TEST(RawVolume, WritesLandOnTheVolume) {
  HANDLE h = OpenVolume(kW);
  ASSERT_NE(h, nullptr);
  std::vector<uint8_t> out(2 * 512), in(2 * 512);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(WriteVolumeSectors(kW, 2000, 2, out.data(), h), 0);
  ASSERT_EQ(ReadVolumeSectors(kW, 2000, 2, in.data(), h), 0);
  EXPECT_EQ(in, out);
  CloseVolume(h);
  EXPECT_EQ(ImageBytes(MappedImage('W'), 2000, 2), Bytes(out));
}

TEST(RawDisk, ReadsTheWholeDisk) {
  std::vector<uint8_t> buf(512);
  ASSERT_EQ(ReadDiskSectors("\\\\.\\PHYSICALDRIVE1", 0, 1, buf.data()), 0);
  EXPECT_EQ(Bytes(buf), ImageBytes(MappedDisk(1), 0, 1));
  EXPECT_EQ(buf[510], 0x55);

  ASSERT_EQ(OpenDiskHandle("\\\\.\\PHYSICALDRIVE1"), 0);
  std::vector<uint8_t> boot(512);
  ASSERT_EQ(ReadOpenDisk("\\\\.\\PHYSICALDRIVE1", 36864, 1, boot.data()), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(boot.data()) + 0x52, 5), "FAT32");
  EXPECT_EQ(GetDeviceSectorCount(gDiskHandle), 96ull * 2048);
  CloseDiskHandle();
  EXPECT_EQ(ReadOpenDisk("\\\\.\\PHYSICALDRIVE1", 0, 1, boot.data()), -1) << "no open disk";

  HANDLE t = OpenSectorTarget(MakeDiskTarget(1));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t, gDiskHandle);
  ASSERT_EQ(ReadTargetSectors(MakeDiskTarget(1), 2048, 1, boot.data(), nullptr), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(boot.data()) + 0x36, 5), "FAT16");
  CloseDiskHandle();

  EXPECT_EQ(ReadDiskSectors("\\\\.\\PHYSICALDRIVE7", 0, 1, buf.data()), -1);
}

TEST(RawTarget, BothBytesGivenIsRefusedWithoutTouchingADevice) {
  std::vector<uint8_t> buf(512);
  EXPECT_EQ(ReadTargetSectors(0x0000, 0, 1, buf.data(), nullptr), -4);
  EXPECT_EQ(WriteTargetSectors(0x1501, 0, 1, buf.data(), nullptr), -4);
  EXPECT_EQ(OpenSectorTarget(0x0102), nullptr);
  EXPECT_EQ(TargetDisk(MakeDiskTarget(3)), 3u);
  EXPECT_EQ(TargetVolume(MakeDiskTarget(3)), 255u);
  EXPECT_EQ(TargetVolume(MakeVolumeTarget(4)), 4u);
  EXPECT_EQ(TargetDisk(MakeVolumeTarget(4)), 255u);
}
