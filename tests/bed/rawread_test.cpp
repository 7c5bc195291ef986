// The test bed itself: an image mapped by wine-run must read back through the
// raw device names exactly as the file holds it.
#include <windows.h>

#include <gtest/gtest.h>

#include "testsupport.h"

using namespace testsupport;

namespace {

std::string ReadDevice(const char* name, uint64_t sector, DWORD bytes) {
  HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "open failed";
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(sector * 512);
  std::string buf(bytes, '\0');
  DWORD got = 0;
  BOOL ok = SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) && ReadFile(h, &buf[0], bytes, &got, nullptr);
  CloseHandle(h);
  if (!ok || got != bytes) return "read failed";
  return buf;
}

std::string ReadImage(const std::string& path, uint64_t sector, size_t bytes) {
  std::string all;
  if (!ReadWholeFile(path, &all) || all.size() < sector * 512 + bytes) return "image unreadable";
  return all.substr(sector * 512, bytes);
}

}  // namespace

TEST(RawRead, VolumeSectorZeroMatchesTheImage) {
  std::string dev = ReadDevice("\\\\.\\X:", 0, 512);
  ASSERT_EQ(dev.size(), 512u) << dev;
  EXPECT_EQ(dev, ReadImage(MappedImage('X'), 0, 512));
  EXPECT_EQ(dev.substr(0x52, 5), "FAT32");
  EXPECT_EQ(static_cast<unsigned char>(dev[510]), 0x55);
  EXPECT_EQ(static_cast<unsigned char>(dev[511]), 0xAA);
}

TEST(RawRead, VolumeReadsPastTheFirstSector) {
  // The FAT32 backup boot sector sits at sector 6.
  std::string dev = ReadDevice("\\\\.\\X:", 6, 512);
  ASSERT_EQ(dev.size(), 512u) << dev;
  EXPECT_EQ(dev, ReadImage(MappedImage('X'), 6, 512));
}

TEST(RawRead, PhysicalDiskMbrAndPartitionBootSector) {
  std::string mbr = ReadDevice("\\\\.\\PHYSICALDRIVE1", 0, 512);
  ASSERT_EQ(mbr.size(), 512u) << mbr;
  EXPECT_EQ(mbr, ReadImage(MappedDisk(1), 0, 512));
  // First partition entry: type 6 starting at LBA 2048.
  const unsigned char* e = reinterpret_cast<const unsigned char*>(mbr.data()) + 446;
  EXPECT_EQ(e[4], 0x06);
  EXPECT_EQ(e[8] | e[9] << 8 | e[10] << 16 | e[11] << 24, 2048);
  std::string boot = ReadDevice("\\\\.\\PHYSICALDRIVE1", 2048, 512);
  ASSERT_EQ(boot.size(), 512u);
  EXPECT_EQ(boot.substr(0x36, 5), "FAT16");
}

TEST(RawRead, CodePageIs936) {
  EXPECT_EQ(GetACP(), 936u);
}
