// Deleted FAT folders larger than one cluster: read on past their first
// cluster, and the rest found by the pass over the free clusters, against
// what mtools wrote and what sleuthkit's tsk_recover writes back.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "deleted/fat_scan.h"
#include "fat_test_util.h"

using namespace fattest;
using testsupport::ReadManifest;
using testsupport::ScratchDir;
using testsupport::Sha256OfFile;

namespace {

struct Volume {
  const char* fixture;
  const char* root;
};

// The folder's name as the engine spells it, in UTF-8 as the tables are.
std::string FolderlessUtf8() { return testsupport::AnsiToUtf8(kFolderlessFolderName); }

void ScanAndCopy(const Volume& v, std::map<std::string, std::string>* shaByPath) {
  ASSERT_EQ(Scan(v.root), 0);
  SelectAll();
  const std::string dest = ScratchDir(std::string("folders-") + v.fixture);
  EXPECT_EQ(Recover(dest), 0);
  EXPECT_EQ(gRecoverDamagedFiles.load(), 0u) << v.fixture;
  for (const DeletedFileRecord& r : Records()) {
    EXPECT_EQ(shaByPath->count(PathUtf8(r)), 0u) << "listed twice: " << PathUtf8(r);
    (*shaByPath)[PathUtf8(r)] = Sha256OfFile(Below(dest, PathUtf8(r)));
  }
}

}  // namespace

class FatFolders : public ::testing::TestWithParam<Volume> {};

TEST_P(FatFolders, EveryFileOfADeletedFolderComesBackByteForByteUnderItsPath) {
  DefaultOptions defaults;
  const Volume& v = GetParam();
  std::map<std::string, std::string> got;
  ScanAndCopy(v, &got);
  const std::vector<Expected> rows = ReadScanTable(v.fixture);
  ASSERT_FALSE(rows.empty());
  size_t tsk = 0, ours = 0;
  for (const Expected& e : rows) {
    if (e.Has("tsk")) ++tsk;
    if (e.Has("lost")) {
      EXPECT_EQ(got.count(e.path), 0u) << "its entry is gone: " << e.path;
      continue;
    }
    if (e.Has("folderless")) {
      // A long name that began in the lost cluster is cut: the data is what counts.
      bool there = false;
      for (const auto& g : got) there |= g.first.rfind("/" + FolderlessUtf8() + "/", 0) == 0 && g.second == e.sha256;
      EXPECT_TRUE(there) << "not found without its folder: " << e.path;
      ours += there ? 1 : 0;
      continue;
    }
    auto it = got.find(e.path);
    ASSERT_NE(it, got.end()) << v.fixture << ": not found at its path: " << e.path;
    EXPECT_EQ(it->second, e.sha256) << e.path;
    if (it->second == e.sha256) ++ours;
  }
  EXPECT_GE(ours, tsk) << "fewer files than tsk_recover gives back";
  // Nothing of a file in use is listed as deleted, whatever cluster it took.
  std::set<std::string> liveSha;
  for (const testsupport::ManifestEntry& m : ReadManifest(v.fixture))
    if (!m.deleted) liveSha.insert(m.sha256);
  for (const auto& g : got) EXPECT_EQ(liveSha.count(g.second), 0u) << "a live file's data: " << g.first;
}

INSTANTIATE_TEST_SUITE_P(Volumes, FatFolders,
                         ::testing::Values(Volume{"fat32-big-folders", "E:\\"}, Volume{"fat32-folder-taken", "F:\\"},
                                           Volume{"fat16-64k-clusters", "G:\\"},
                                           Volume{"fat32-orphan-loop", "H:\\"}),
                         [](const ::testing::TestParamInfo<Volume>& i) { return std::string(1, i.param.root[0]); });

TEST(FatFoldersPass, FilesFoundWithoutTheirFolderGoUnderTheFolderThatSaysSo) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("F:\\"), 0);
  size_t folderless = 0;
  for (const DeletedFileRecord& r : Records())
    if (PathUtf8(r).rfind("/" + FolderlessUtf8() + "/", 0) == 0) ++folderless;
  size_t expected = 0;
  for (const Expected& e : ReadScanTable("fat32-folder-taken")) expected += e.Has("folderless") ? 1 : 0;
  EXPECT_EQ(folderless, expected);
  // A long name whose beginning lay in the lost cluster keeps its type.
  for (const DeletedFileRecord& r : Records()) {
    const std::string p = PathUtf8(r);
    EXPECT_NE(p.find('.', p.rfind('/')), std::string::npos) << p;
  }
  // The page hears of the pass, and ends on the last file found.
  bool passShown = false;
  for (const Received& m : Messages())
    passShown |= m.text.rfind(kFreeClusterPassText, 0) == 0;
  EXPECT_TRUE(passShown);
  ASSERT_GE(Messages().size(), 2u);
  EXPECT_EQ(Messages()[Messages().size() - 2].text, std::string("F:") + Records().back().path);
}

TEST(FatFoldersPass, AStopDuringThePassEndsTheScanAtOnce) {
  DefaultOptions defaults;
  size_t stoppedAt = 0;
  OnProgress() = [&](size_t n) {
    if (!stoppedAt && Messages().back().text.rfind(kFreeClusterPassText, 0) == 0) {
      gScanAbort = 1;
      stoppedAt = n;
    }
  };
  Scan("G:\\");
  OnProgress() = nullptr;
  ASSERT_NE(stoppedAt, 0u) << "the pass never showed itself";
  // No more of the pass after the stop: at most the last file's text, then the end.
  const std::vector<Received>& m = Messages();
  EXPECT_EQ(m.back().message, static_cast<UINT>(WM_DELSCAN_DONE));
  EXPECT_LE(m.size(), stoppedAt + 2);
  for (size_t i = stoppedAt; i < m.size(); ++i) EXPECT_NE(m[i].text.rfind(kFreeClusterPassText, 0), 0u);
  // The files found before the pass are kept.
  EXPECT_FALSE(Records().empty());
  gScanAbort = 0;
}

TEST(FatFoldersPass, WithoutThePassOnlyTheFirstClustersAndWhatFollowsThemAreRead) {
  DefaultOptions defaults;
  gFatFreeClusterPass = false;
  const int scanned = Scan("F:\\");
  gFatFreeClusterPass = true;
  ASSERT_EQ(scanned, 0);
  for (const DeletedFileRecord& r : Records())
    EXPECT_NE(PathUtf8(r).rfind("/" + FolderlessUtf8() + "/", 0), 0u) << PathUtf8(r);
}
