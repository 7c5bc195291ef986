// Hits of the signature scan: order, closing, the single-hit case and disks
// of more than 2^32 sectors.
#include <gtest/gtest.h>

#include <cstring>

#include "records/records.h"

namespace {

FoundFileRecord Hit(uint32_t sector) {
  FoundFileRecord r = {};
  MakeFoundFileName("jpg", static_cast<uint32_t>(gFoundFiles.size() + 1), r.name);
  r.firstSector = sector;
  r.source = 0xFF01;
  r.selected = 1;
  return r;
}

}  // namespace

TEST(FoundFiles, NamesAreAFolderPerTypeAndANumberedFile) {
  char name[260];
  std::memset(name, 'x', sizeof name);
  MakeFoundFileName("jpg", 1, name);
  EXPECT_STREQ(name, "jpg\\00000001.jpg");
  for (size_t i = std::strlen(name); i < sizeof name; ++i) ASSERT_EQ(name[i], 0);
  MakeFoundFileName("docx", 12345678, name);
  EXPECT_STREQ(name, "docx\\12345678.docx");
  std::string longType(300, 't');
  MakeFoundFileName(longType.c_str(), 7, name);
  EXPECT_LT(std::strlen(name), sizeof name);
}

TEST(FoundFiles, EachHitEndsWhereTheNextBegins) {
  gFoundFiles.clear();
  ASSERT_TRUE(AppendFoundFile(Hit(100)));
  EXPECT_EQ(gFoundFiles.back().lastSector, 100u) << "one sector until closed";
  ASSERT_TRUE(AppendFoundFile(Hit(250)));
  EXPECT_EQ(gFoundFiles[0].lastSector, 249u);
  EXPECT_FALSE(AppendFoundFile(Hit(250))) << "a sector yields one hit";
  EXPECT_FALSE(AppendFoundFile(Hit(10))) << "scan order";
  ASSERT_EQ(gFoundFiles.size(), 2u);

  // 10,000 sectors read as two blocks: the end position is 16384.
  CloseFoundFilesAtEnd(16384, 0);
  EXPECT_EQ(gFoundFiles[1].lastSector, 16383u);
  // Where the source's size is known, no hit runs past its last sector.
  CloseFoundFilesAtEnd(16384, 10000);
  EXPECT_EQ(gFoundFiles[1].lastSector, 9999u);
  EXPECT_EQ(FoundFileBytes(gFoundFiles[0]), 150u * 512);
}

TEST(FoundFiles, ASingleHitIsKept) {
  gFoundFiles.clear();
  ASSERT_TRUE(AppendFoundFile(Hit(4000)));
  CloseFoundFilesAtEnd(8192, 5000);
  ASSERT_EQ(gFoundFiles.size(), 1u);
  EXPECT_EQ(gFoundFiles[0].lastSector, 4999u);
  EXPECT_EQ(FoundFileBytes(gFoundFiles[0]), 1000u * 512);
}

TEST(FoundFiles, AStoppedScanClosesTheLastHit2048SectorsOn) {
  gFoundFiles.clear();
  AppendFoundFile(Hit(10));
  AppendFoundFile(Hit(20));
  AppendFoundFile(Hit(30));
  CloseFoundFilesOnStop(0);
  EXPECT_EQ(gFoundFiles[2].lastSector, 30u + 2048);
  EXPECT_EQ(FoundFileBytes(gFoundFiles[2]), 2049u * 512);
  CloseFoundFilesOnStop(1000);
  EXPECT_EQ(gFoundFiles[2].lastSector, 999u);
  // A hit on the very last sector is one sector long.
  gFoundFiles.clear();
  AppendFoundFile(Hit(999));
  CloseFoundFilesOnStop(1000);
  EXPECT_EQ(gFoundFiles[0].lastSector, 999u);
  EXPECT_EQ(FoundFileBytes(gFoundFiles[0]), 512u);
}

TEST(UnformatRecords, TheNtfsSizeIsStoredHighHalfFirst) {
  UnformatNtfsRecord r = {};
  SetUnformatNtfsSize(&r, 0x123456789ull);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&r);
  EXPECT_EQ(bytes[575], 0x01);   // sizeHigh
  EXPECT_EQ(bytes[579], 0x89);   // sizeLow, little-endian
  EXPECT_EQ(UnformatNtfsSize(r), 0x123456789ull);
}

TEST(FoundFiles, SectorsPast2TiBAreKeptWhole) {
  const uint64_t beyond = (1ull << 32) + 5;
  gFoundFiles.clear();
  ASSERT_TRUE(AppendFoundFile(Hit(0xFFFFFFF0u)));
  FoundFileRecord next = Hit(0);
  next.firstSector = beyond;
  ASSERT_TRUE(AppendFoundFile(next));
  EXPECT_EQ(gFoundFiles[0].lastSector, beyond - 1) << "across 2^32";
  EXPECT_EQ(FoundFileBytes(gFoundFiles[0]), (beyond - 0xFFFFFFF0u) * 512);
  CloseFoundFilesAtEnd(beyond + 8192, beyond + 100);
  EXPECT_EQ(gFoundFiles[1].lastSector, beyond + 99);
  CloseFoundFilesOnStop(0);
  EXPECT_EQ(gFoundFiles[1].lastSector, beyond + 2048);
  next.firstSector = 7;
  EXPECT_FALSE(AppendFoundFile(next)) << "a low sector after a beyond one is out of order";
}
