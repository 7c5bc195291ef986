// Reading back the first bytes of deleted files, and the names recycle-bin
// entries had before deletion, on NTFS and FAT32 recycle bins that were
// emptied.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "content/record_content.h"
#include "ntfs_fixture.h"
#include "state.h"
#include "testsupport.h"

using namespace ntfstest;
using testsupport::AnsiToUtf8;
using testsupport::Utf8ToAnsi;

namespace {

const std::string kSid = "\\S-1-5-21-1000-2000-3000-1001";

// The records the FAT scan makes of the emptied FAT recycle bin: long names,
// first sector of each file as sleuthkit reads it.
void AddFatRecords() {
  std::string text;
  ASSERT_TRUE(testsupport::ReadWholeFile(testsupport::FixtureDir("fat-recycle") + "sectors.tsv", &text));
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end - pos);
    pos = end == std::string::npos ? text.size() : end + 1;
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    DeletedFileRecord r = {};
    std::string path = Utf8ToAnsi(line.substr(0, tab));
    std::strncpy(r.path, path.c_str(), sizeof r.path - 1);
    r.location = static_cast<uint32_t>(std::stoul(line.substr(tab + 1)));
    r.driveIndex = 'F' - 'C';
    AppendDeletedFile(r);
  }
}

int IndexOf(const std::string& utf8Path, int driveIndex) {
  std::string ansi = Utf8ToAnsi(utf8Path);
  for (size_t i = 0; i < gDeletedFiles.size(); ++i)
    if (ansi == gDeletedFiles[i].path && gDeletedFiles[i].driveIndex == driveIndex) return static_cast<int>(i);
  return -1;
}

std::string ShaOf(const std::string& fixture, const std::string& path) {
  for (const testsupport::ManifestEntry& e : testsupport::ReadManifest(fixture))
    if (e.path == path) return e.sha256;
  return std::string();
}

class RecycleBin : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearDeletedFiles();
    ASSERT_EQ(RunScan("N:\\$Recycle.Bin"), 0);
    ASSERT_EQ(gDeletedFiles.size(), 9u);
    AddFatRecords();
    ASSERT_EQ(gDeletedFiles.size(), 12u);
  }
  static constexpr int kNtfs = 'N' - 'C';
  static constexpr int kFat = 'F' - 'C';
};

}  // namespace

TEST_F(RecycleBin, DataFilesGetBackTheirNamesFromTheirPartners) {
  EXPECT_EQ(ResolveRecycleBinNames(), 0);
  // NTFS: an information file of Windows 10 and one of Windows 7.
  EXPECT_GE(IndexOf(kSid + "\\Users\\Lin\\Pictures\\海边.jpg", kNtfs), 0);
  EXPECT_GE(IndexOf(kSid + "\\Users\\Lin\\Documents\\Report 2024.docx", kNtfs), 0);
  EXPECT_GE(IndexOf(kSid + "\\Users\\Lin\\cross.docx", kNtfs), 0);
  // A partner whose path climbs out of its folder, and no partner at all.
  EXPECT_GE(IndexOf(kSid + "\\$REVIL01.txt", kNtfs), 0);
  EXPECT_GE(IndexOf(kSid + "\\$RNOPART.txt", kNtfs), 0);
  // The information files themselves keep their names.
  EXPECT_GE(IndexOf(kSid + "\\$IAB12CD.jpg", kNtfs), 0);
  // FAT32: resolved from its own partner; the file whose partner lies only
  // on the other drive keeps its name.
  EXPECT_GE(IndexOf(kSid + "\\Photos\\猫.jpeg", kFat), 0);
  EXPECT_GE(IndexOf(kSid + "\\$RCROSS1.docx", kFat), 0);
  for (const DeletedFileRecord& r : gDeletedFiles) EXPECT_EQ(std::strstr(r.path, ".."), nullptr) << r.path;
}

TEST_F(RecycleBin, TheContentCacheIsForgottenWithTheResults) {
  const int pic = IndexOf(kSid + "\\$RAB12CD.jpg", kNtfs);
  ASSERT_GE(pic, 0);
  EXPECT_EQ(ResolveRecycleBinName(static_cast<uint32_t>(pic)), 0);
  EXPECT_TRUE(gRecycleInfoCache.valid);
  ClearDeletedFiles();
  EXPECT_FALSE(gRecycleInfoCache.valid);
  EXPECT_EQ(ResolveRecycleBinName(0), -1);
}

TEST_F(RecycleBin, ContentIsReadExactlyAsFarAsAsked) {
  struct Case {
    std::string path;
    int drive;
    std::string fixture, manifestPath;
    uint32_t size;
  } cases[] = {
      {kSid + "\\$RAB12CD.jpg", kNtfs, "ntfs-recycle", "/$Recycle.Bin/S-1-5-21-1000-2000-3000-1001/$RAB12CD.jpg",
       20000},
      {kSid + "\\$RFATPIC.jpeg", kFat, "fat-recycle", "/$RECYCLE.BIN/S-1-5-21-1000-2000-3000-1001/$RFATPIC.jpeg",
       9000},
  };
  for (const Case& c : cases) {
    const int index = IndexOf(c.path, c.drive);
    ASSERT_GE(index, 0) << c.path;
    std::vector<uint8_t> whole(c.size);
    const int full = ReadRecordContent(static_cast<uint32_t>(index), whole.data(), c.size);
    EXPECT_EQ(full, c.drive == kFat ? static_cast<int>(c.size) : 0);
    EXPECT_EQ(testsupport::Sha256Hex(whole.data(), whole.size()), ShaOf(c.fixture, c.manifestPath)) << c.path;
    // 700 bytes: neither a whole sector nor a whole cluster.
    std::vector<uint8_t> part(700 + 64, 0xAB);
    EXPECT_GE(ReadRecordContent(static_cast<uint32_t>(index), part.data(), 700), 0);
    EXPECT_EQ(0, std::memcmp(part.data(), whole.data(), 700));
    for (size_t i = 700; i < part.size(); ++i) ASSERT_EQ(part[i], 0xAB) << c.path << " wrote past the buffer";
  }
  uint8_t b[16];
  EXPECT_EQ(ReadRecordContent(9999, b, sizeof b), -1);
}
