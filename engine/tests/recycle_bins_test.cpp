// Recycle bins of Vista and later on FAT32 whose items are plain 8.3 names
// (mkfs.fat, mtools): a deleted entry has lost its first byte, and the bin
// items are matched by shape, named from their information files, and the
// information files kept out of the results.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "content/record_content.h"
#include "ntfs_fixture.h"
#include "state.h"
#include "testsupport.h"

using namespace ntfstest;

namespace {

const std::string kSid = "\\S-1-5-21-1000-2000-3000-1004";

int IndexOf(const std::string& path) {
  for (size_t i = 0; i < gDeletedFiles.size(); ++i)
    if (lstrcmpiA(path.c_str(), gDeletedFiles[i].path) == 0) return static_cast<int>(i);
  return -1;
}

std::string ShaOf(const std::string& path) {
  for (const testsupport::ManifestEntry& e : testsupport::ReadManifest("fat-recycle83"))
    if (e.path == path) return e.sha256;
  return std::string();
}

std::string ShaOfRecord(int index) {
  std::vector<uint8_t> bytes;
  if (index < 0 || ReadRecordContentUpTo(static_cast<uint32_t>(index), 1 << 20, &bytes) < 0) return "unreadable";
  return testsupport::Sha256Hex(bytes.data(), bytes.size());
}

}  // namespace

TEST(FatVistaBin, ShortNamesAreMatchedByShapeAndTheirIndexFilesAreNoResults) {
  ClearDeletedFiles();
  ASSERT_EQ(RunScan("G:\\$RECYCLE.BIN"), 0);
  ASSERT_GE(IndexOf(kSid + "\\_RCTRL01.JPG"), 0) << "the scan names deleted short names otherwise";
  const std::vector<std::string> before = [] {
    std::vector<std::string> p;
    for (const DeletedFileRecord& r : gDeletedFiles) p.push_back(r.path);
    return p;
  }();
  EXPECT_EQ(ResolveRecycleBinNames(), 0);

  const std::string bin = "/$RECYCLE.BIN/S-1-5-21-1000-2000-3000-1004/";
  const int beach = IndexOf(kSid + "\\Photos\\beach.jpg");
  const int notes = IndexOf(kSid + "\\Docs\\old notes.txt");
  EXPECT_EQ(ShaOfRecord(beach), ShaOf(bin + "$RCTRL01.JPG"));
  EXPECT_EQ(ShaOfRecord(notes), ShaOf(bin + "$RCTRL02.TXT"));
  // A folder item gives its former name to what lies below it.
  const int trip = IndexOf(kSid + "\\Trips\\Summer 2023\\_MG_0001.JPG");
  EXPECT_EQ(ShaOfRecord(trip), ShaOf(bin + "$RDIR001/IMG_0001.JPG"));
  // An information file naming another extension is not used.
  EXPECT_GE(IndexOf(kSid + "\\_RMISMA1.TXT"), 0);

  std::vector<std::string> indexFiles;
  for (uint32_t i = 0; i < gDeletedFiles.size(); ++i)
    if (IsRecycleIndexRecord(i)) indexFiles.push_back(before[i]);
  for (const char* name : {"_ICTRL01.JPG", "_ICTRL02.TXT", "_IDIR001", "_IMISMA1.TXT"}) {
    const std::string path = kSid + "\\" + name;
    bool marked = false;
    for (const std::string& p : indexFiles) marked = marked || lstrcmpiA(p.c_str(), path.c_str()) == 0;
    EXPECT_TRUE(marked) << name;
  }
  EXPECT_EQ(indexFiles.size(), 4u);
  // The user's own file whose deleted short name only looks like one.
  const int mine = IndexOf(kSid + "\\_ILE0001.TXT");
  ASSERT_GE(mine, 0);
  EXPECT_FALSE(IsRecycleIndexRecord(static_cast<uint32_t>(mine)));
  EXPECT_EQ(ShaOfRecord(mine), ShaOf(bin + "FILE0001.TXT"));
}

TEST(FatVistaBin, AStoppedResolutionEndsAndSaysSo) {
  ClearDeletedFiles();
  ASSERT_EQ(RunScan("G:\\$RECYCLE.BIN"), 0);
  std::atomic<bool> stop{true};
  uint32_t reports = 0;
  BinNameProgress control;
  control.stop = &stop;
  control.progress = [&](uint32_t, uint32_t) { ++reports; };
  EXPECT_EQ(ResolveRecycleBinNames(&control), 1);
  EXPECT_GE(IndexOf(kSid + "\\_RCTRL01.JPG"), 0);
  stop = false;
  uint32_t last = 0, total = 0;
  control.progress = [&](uint32_t done, uint32_t all) {
    EXPECT_GE(done, last);
    last = done;
    total = all;
  };
  EXPECT_EQ(ResolveRecycleBinNames(&control), 0);
  EXPECT_EQ(last, total);
  EXPECT_EQ(total, 2 * gDeletedFiles.size());
}

// An emptied NTFS bin of 8,000 pairs (libntfs-3g): every item named from its
// own partner, every partner an index file.
TEST(ManyPairs, EveryItemIsNamedFromItsOwnPartner) {
  ClearDeletedFiles();
  ASSERT_EQ(RunScan("H:\\$Recycle.Bin"), 0);
  ASSERT_EQ(gDeletedFiles.size(), 16000u);
  EXPECT_EQ(ResolveRecycleBinNames(), 0);
  const std::string folder = "\\S-1-5-21-1000-2000-3000-1004\\Users\\Lin\\Pictures\\";
  std::vector<uint8_t> named(8000, 0);
  size_t indexFiles = 0;
  for (uint32_t i = 0; i < gDeletedFiles.size(); ++i) {
    const std::string path = gDeletedFiles[i].path;
    if (IsRecycleIndexRecord(i)) {
      ++indexFiles;
      EXPECT_NE(path.find("\\$I"), std::string::npos) << path;
      continue;
    }
    ASSERT_EQ(path.compare(0, folder.size(), folder), 0) << path;
    const int n = std::atoi(path.c_str() + folder.size());
    ASSERT_TRUE(n >= 0 && n < 8000) << path;
    char name[16];
    std::snprintf(name, sizeof name, "%05d.jpg", n);
    EXPECT_EQ(path, folder + name);
    // The item's size is the one its partner stated (64 + n % 200 bytes).
    EXPECT_EQ(gDeletedFiles[i].size, static_cast<uint32_t>(64 + n % 200)) << path;
    ++named[static_cast<size_t>(n)];
  }
  EXPECT_EQ(indexFiles, 8000u);
  for (size_t n = 0; n < named.size(); ++n) ASSERT_EQ(named[n], 1) << n;
}
