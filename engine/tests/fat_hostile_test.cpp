// The deleted-file road on FAT volumes damaged the way hostile or unlucky
// disks are (tests/fixtures/recipes/hostile_fat.py): each scan and copy-out
// ends (the test's time limit bounds them), writes nothing outside the
// destination and no file larger than the volume, counts every file it could
// not copy whole, and leaves the scanned image exactly as it was.
#include <gtest/gtest.h>

#include <map>

#include "fat_test_util.h"

using namespace fattest;
using testsupport::MappedImage;
using testsupport::ScratchDir;
using testsupport::Sha256OfFile;

namespace {

struct Hostile {
  const char* fixture;
  char drive;
};

std::map<std::string, uint32_t> Expectations(const std::string& fixture) {
  std::vector<std::vector<std::string>> rows;
  EXPECT_TRUE(testsupport::ReadTable(testsupport::FixtureDir(fixture) + "hostile.tsv", '\t', &rows));
  std::map<std::string, uint32_t> out;
  for (const auto& row : rows)
    if (row.size() == 2) out[row[0]] = static_cast<uint32_t>(std::stoul(row[1]));
  return out;
}

uint64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return 0;
  return static_cast<uint64_t>(a.nFileSizeHigh) << 32 | a.nFileSizeLow;
}

}  // namespace

class HostileFat : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileFat, TheRoadEndsInsideTheDestinationAndLeavesTheImageAlone) {
  DefaultOptions defaults;
  const Hostile& h = GetParam();
  const std::string image = MappedImage(h.drive);
  const std::string before = Sha256OfFile(image);
  ASSERT_FALSE(before.empty());
  const uint64_t volumeBytes = FileSize(image);
  std::map<std::string, uint32_t> expect = Expectations(h.fixture);

  const std::string root = std::string(1, h.drive) + ":\\";
  ASSERT_EQ(Scan(root), 0);
  EXPECT_EQ(Records().size(), expect["files"]);
  SelectAll();
  const std::string outer = ScratchDir(std::string("hostile-") + h.fixture);
  const std::string dest = outer + "inside";
  Recover(dest);
  EXPECT_EQ(gRecoverTakenFiles.load(), expect["files"]) << "every file is taken on";
  EXPECT_EQ(gRecoverDamagedFiles.load(), expect["damaged"]);
  EXPECT_EQ(gRecoverFailedFiles.load(), expect["failed"]);

  std::vector<std::string> files;
  ListFiles(outer, &files);
  EXPECT_EQ(files.size(), expect["whole"] + expect["damaged"]);
  for (const std::string& f : files) {
    EXPECT_EQ(f.compare(0, dest.size() + 1, dest + "\\"), 0) << "outside the destination: " << f;
    EXPECT_LE(FileSize(f), volumeBytes) << "larger than the volume: " << f;
  }
  EXPECT_EQ(Sha256OfFile(image), before) << "the scanned image was written to";
}

INSTANTIATE_TEST_SUITE_P(EachImage, HostileFat,
                         ::testing::Values(Hostile{"hostile-fat32-same-name", 'E'},
                                           Hostile{"hostile-fat16-oversize", 'F'},
                                           Hostile{"hostile-fat32-oversize", 'G'},
                                           Hostile{"hostile-fat16-full-fat", 'H'}),
                         [](const ::testing::TestParamInfo<Hostile>& i) {
                           std::string name;
                           for (const char* p = i.param.fixture + 8; *p; ++p)
                             if (*p != '-') name += *p;
                           return name;
                         });
