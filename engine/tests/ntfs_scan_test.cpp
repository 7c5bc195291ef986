// The NTFS deleted-file scan and copy-out on volumes made by mkntfs and
// emptied through libntfs-3g, checked against the maker's ground truth and
// against sleuthkit's fls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "copyout/ntfs_copy.h"
#include "copyout/output.h"
#include "disk/raw.h"
#include "ntfs/ntfs_path.h"
#include "ntfs_fixture.h"
#include "state.h"
#include "testsupport.h"

using namespace ntfstest;
using testsupport::AnsiToUtf8;
using testsupport::Utf8ToAnsi;

namespace {

uint64_t RecordNumber(const DeletedFileRecord& r) { return (r.location - gMftStartSector) / 2; }

std::string Utf8Path(const DeletedFileRecord& r) { return AnsiToUtf8(r.path); }

// Copies one record out into dest (no trailing backslash); the result code.
int CopyOut(const DeletedFileRecord& r, const std::string& dest) {
  HANDLE volume = OpenVolume(r.driveIndex);
  EXPECT_NE(volume, nullptr);
  int rc = CopyOutNtfsFile(dest.c_str(), r.driveIndex, volume, r.location, 8, r.path);
  CloseVolume(volume);
  return rc;
}

std::string NoSlash(std::string dir) {
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

int64_t FolderRecord(const std::string& fixture, const std::string& path) {
  std::string text;
  testsupport::ReadWholeFile(testsupport::FixtureDir(fixture) + "folders.tsv", &text);
  size_t at = text.find(path + "\t");
  if (at == std::string::npos || (at != 0 && text[at - 1] != '\n')) return -1;
  return std::stoll(text.substr(at + path.size() + 1));
}

class NtfsScan : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearDeletedFiles();
    gScanAbort = 0;
    gOptSkipBadTimes = 1;
  }
};

}  // namespace

TEST_F(NtfsScan, FindsEveryDeletedFileWithPathSizeAndTimesAsSleuthkitDoes) {
  ASSERT_EQ(RunScan("N:\\"), 0);
  EXPECT_EQ(gDelScanFsKind, 0);
  std::map<uint64_t, const DeletedFileRecord*> ours;
  for (const DeletedFileRecord& r : gDeletedFiles) {
    EXPECT_TRUE(ours.emplace(RecordNumber(r), &r).second) << "listed twice: " << r.path;
    EXPECT_EQ(r.driveIndex, 'N' - 'C');
    EXPECT_EQ(r.damaged, 0) << "nothing took the clusters of " << r.path;
  }
  size_t expected = 0;
  for (const OracleFile& o : ReadOracle("ntfs-deleted")) {
    if (o.record >= 16 && o.record <= 23) {
      // Reserved records of a fresh volume: sleuthkit lists them as orphans.
      EXPECT_EQ(ours.count(o.record), 0u) << "reserved record " << o.record << " listed";
      continue;
    }
    ++expected;
    auto it = ours.find(o.record);
    ASSERT_NE(it, ours.end()) << "not found: " << o.path;
    const DeletedFileRecord& r = *it->second;
    const std::string orphan = "/$OrphanFiles/";
    std::string want = o.path.compare(0, orphan.size(), orphan) == 0
                           ? "\\" + SafeName(o.path.substr(orphan.size()))
                           : SafePath(o.path);
    EXPECT_EQ(Utf8Path(r), want);
    EXPECT_EQ(RecordSize(r), o.size) << o.path;
    EXPECT_EQ(UnixSeconds(r.created), o.crtime) << o.path;
    EXPECT_EQ(UnixSeconds(r.modified), o.mtime) << o.path;
    EXPECT_EQ(UnixSeconds(r.accessed), o.atime) << o.path;
  }
  EXPECT_EQ(ours.size(), expected) << "files listed that sleuthkit does not list";
  // Serials run from 0 in scan order.
  for (size_t i = 0; i < gDeletedFiles.size(); ++i) EXPECT_EQ(gDeletedFiles[i].serial, i);
}

TEST_F(NtfsScan, EveryDeletedFileOfTheGroundTruthIsListedWithItsFullPath) {
  ASSERT_EQ(RunScan("N:\\"), 0);
  int deleted = 0;
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-deleted")) {
    const DeletedFileRecord* r = FindRecord(Utf8ToAnsi(SafePath(f.path)));
    if (!f.deleted) {
      EXPECT_EQ(r, nullptr) << "live file listed: " << f.path;
      continue;
    }
    ++deleted;
    ASSERT_NE(r, nullptr) << f.path;
    EXPECT_EQ(RecordSize(*r), f.size);
    EXPECT_EQ(RecordNumber(*r), static_cast<uint64_t>(f.record));
  }
  EXPECT_GT(deleted, 10);
  // A deleted file inside a deleted folder inside a deleted folder.
  EXPECT_NE(FindRecord("\\Old\\Sub\\b.bin"), nullptr);
  EXPECT_NE(FindRecord("\\Old\\a.txt"), nullptr);
  // Names that would leave their folder are made safe.
  EXPECT_NE(FindRecord("\\Docs\\a_.._.._evil.txt"), nullptr);
  EXPECT_NE(FindRecord("\\Docs\\__"), nullptr);
}

TEST_F(NtfsScan, AFreshVolumeListsNothingNotEvenItsReservedRecords) {
  ASSERT_EQ(RunScan("P:\\"), 0);
  EXPECT_EQ(gDelScanFsKind, 0);
  EXPECT_EQ(gDeletedFiles.size(), 0u);
}

TEST_F(NtfsScan, AFolderTargetListsOnlyWhatLiesBelowIt) {
  ASSERT_EQ(RunScan("N:\\Docs"), 0);
  std::set<std::string> paths;
  for (const DeletedFileRecord& r : gDeletedFiles) paths.insert(r.path);
  std::set<std::string> want = {"\\report.txt", "\\empty.txt", "\\big.bin", "\\notes.txt", "\\Mixed Case Name.TXT",
                                "\\a_.._.._evil.txt", "\\__", "\\sparse.bin"};
  EXPECT_EQ(paths, want);

  ClearDeletedFiles();
  ASSERT_EQ(RunScan("N:\\photos\\2024"), 0) << "names compared without regard to case";
  ASSERT_EQ(gDeletedFiles.size(), 1u);
  EXPECT_STREQ(gDeletedFiles[0].path, "\\Summer\\IMG_0001.jpg");

  ClearDeletedFiles();
  ASSERT_EQ(RunScan(Utf8ToAnsi("N:\\文档").c_str()), 0);
  ASSERT_EQ(gDeletedFiles.size(), 1u);
  EXPECT_EQ(AnsiToUtf8(gDeletedFiles[0].path), "\\会议记录.docx");

  // A folder that is gone, or never was, is not a target.
  for (const char* target : {"N:\\Old", "N:\\Nowhere", "N:\\Docs\\keep.txt"}) {
    ClearDeletedFiles();
    RunScan(target);
    EXPECT_EQ(gDeletedFiles.size(), 0u) << target;
  }
}

TEST_F(NtfsScan, ProgressTextsAreSentForTheStartTheFirstAndTheLastFile) {
  ASSERT_EQ(RunScan("N:\\"), 0);
  const size_t n = gDeletedFiles.size();
  ASSERT_GT(n, 1u);
  // The start, then at most one text per file (the gate holds most back),
  // the first file's always and the last file's at the end.
  ASSERT_GE(gProgressTexts.size(), 3u);
  ASSERT_LE(gProgressTexts.size(), 1 + n);
  EXPECT_EQ(gProgressTexts[0], Utf8ToAnsi("正在分析NTFS文件系统，请稍候……"));
  EXPECT_EQ(gProgressTexts[1], std::string("N:") + gDeletedFiles[0].path);
  EXPECT_EQ(gProgressTexts.back(), std::string("N:") + gDeletedFiles.back().path);

  ClearDeletedFiles();
  ASSERT_EQ(RunScan("N:\\Docs"), 0);
  ASSERT_GE(gProgressTexts.size(), 2u);
  EXPECT_EQ(gProgressTexts[1], std::string("N:\\Docs") + gDeletedFiles[0].path);
}

TEST_F(NtfsScan, AStopRequestEndsTheScan) {
  gScanAbort = 1;
  RunScan("N:\\");
  EXPECT_EQ(gDeletedFiles.size(), 0u);
  gScanAbort = 0;
}

TEST_F(NtfsScan, EveryDeletedFileIsCopiedOutByteForByte) {
  ASSERT_EQ(RunScan("N:\\"), 0);
  const std::string dest = NoSlash(testsupport::ScratchDir("ntfs-copy"));
  gRecoveredSectors = 0;
  int copied = 0;
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-deleted")) {
    if (!f.deleted || f.sha256.empty()) continue;
    const DeletedFileRecord* r = FindRecord(Utf8ToAnsi(SafePath(f.path)));
    ASSERT_NE(r, nullptr) << f.path;
    EXPECT_EQ(CopyOut(*r, dest), 0) << f.path;
    EXPECT_EQ(testsupport::Sha256OfFile(dest + r->path), f.sha256) << f.path;
    ++copied;
  }
  EXPECT_GT(copied, 10);
  EXPECT_GT(gRecoveredSectors.load(), 0u);
  // Nothing landed beside the destination.
  EXPECT_EQ(GetFileAttributesA((dest + "\\..\\evil.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(NtfsScan, AFolderRecordIsNotCopiedAndLeavesNoFile) {
  ASSERT_EQ(RunScan("N:\\"), 0);
  ASSERT_FALSE(gDeletedFiles.empty());
  const int64_t old = FolderRecord("ntfs-deleted", "/Old");
  ASSERT_GT(old, 0);
  DeletedFileRecord r = gDeletedFiles[0];
  r.location = gMftStartSector + static_cast<uint32_t>(old) * 2;
  std::strcpy(r.path, "\\Old");
  const std::string dest = NoSlash(testsupport::ScratchDir("ntfs-folder"));
  EXPECT_EQ(CopyOut(r, dest), -1);
  EXPECT_EQ(GetFileAttributesA((dest + "\\Old").c_str()), INVALID_FILE_ATTRIBUTES);
  // A cancelled copy-out copies nothing, and says it did not start the file.
  gRecoverAbort = 1;
  EXPECT_EQ(CopyOut(gDeletedFiles[0], dest), kCopyNotStarted);
  EXPECT_EQ(GetFileAttributesA((dest + gDeletedFiles[0].path).c_str()), INVALID_FILE_ATTRIBUTES);
  gRecoverAbort = 0;
}

TEST_F(NtfsScan, FragmentedFilesAndNamesKeptInExtensionRecords) {
  ASSERT_EQ(RunScan("F:\\"), 0);
  const std::string dest = NoSlash(testsupport::ScratchDir("ntfs-frag"));
  int checked = 0;
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-fragmented")) {
    if (!f.deleted) continue;
    const DeletedFileRecord* r = FindRecord(Utf8ToAnsi(SafePath(f.path)));
    ASSERT_NE(r, nullptr) << f.path;
    EXPECT_EQ(RecordSize(*r), f.size);
    if (f.Has("fragmented") || f.Has("attribute-list")) {
      EXPECT_GE(std::stoi(f.Tag("runs")), 100) << "the fixture is not fragmented";
    }
    EXPECT_EQ(CopyOut(*r, dest), 0) << f.path;
    EXPECT_EQ(testsupport::Sha256OfFile(dest + r->path), f.sha256) << f.path;
    ++checked;
  }
  EXPECT_EQ(checked, 2);
  // Sleuthkit finds the woven file too.
  bool inOracle = false;
  for (const OracleFile& o : ReadOracle("ntfs-fragmented")) inOracle |= o.path == "/Frag/woven-a.bin";
  EXPECT_TRUE(inOracle);
}

TEST_F(NtfsScan, DamagedRecordsAreSkippedAndEverythingElseIsFound) {
  ASSERT_EQ(RunScan("D:\\"), 0);
  EXPECT_NE(FindRecord("\\D\\good.txt"), nullptr);
  EXPECT_NE(FindRecord("\\D\\good2.bin"), nullptr);
  for (const char* bad : {"\\D\\bad-usa-count.txt", "\\D\\bad-usa-offset.txt", "\\D\\runaway-attr.txt",
                          "\\D\\bad-name.txt", "\\D\\first-attr.txt"})
    EXPECT_EQ(FindRecord(bad), nullptr) << bad;
  // A chain of folders that loops ends where it closes.
  EXPECT_NE(FindRecord("\\L1\\L2\\loop.txt"), nullptr);
  // A path longer than the path field keeps the file's name and its nearest
  // folders.
  const std::string longName = std::string(200, 'c') + ".txt";
  const DeletedFileRecord* deep = nullptr;
  for (const DeletedFileRecord& r : gDeletedFiles) {
    std::string p = r.path;
    if (p.size() > longName.size() && p.compare(p.size() - longName.size(), longName.size(), longName) == 0)
      deep = &r;
  }
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(deep->path[0], '\\');
  EXPECT_LE(std::strlen(deep->path), 511u);
  EXPECT_EQ(std::string(deep->path), "\\" + std::string(200, 'b') + "\\" + longName);

  // A run list that cannot be decoded: listed with its size, but the copy
  // reports the failure.
  const DeletedFileRecord* badRun = FindRecord("\\D\\bad-run.bin");
  ASSERT_NE(badRun, nullptr);
  EXPECT_EQ(badRun->size, 40000u);
  const std::string dest = NoSlash(testsupport::ScratchDir("ntfs-damaged"));
  EXPECT_EQ(CopyOut(*badRun, dest), -1);
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-damaged")) {
    if (f.path != "/D/good.txt" && f.path != "/D/good2.bin") continue;
    const DeletedFileRecord* r = FindRecord(Utf8ToAnsi(SafePath(f.path)));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(CopyOut(*r, dest), 0);
    EXPECT_EQ(testsupport::Sha256OfFile(dest + r->path), f.sha256);
  }
}

TEST_F(NtfsScan, PathsStayWholeWhenTheFolderCacheEmptiesAfterEveryWalk) {
  ASSERT_EQ(RunScan("N:\\"), 0);
  std::vector<std::string> normal;
  for (const DeletedFileRecord& r : gDeletedFiles) normal.push_back(r.path);
  // A cache that holds one entry empties itself as often as it can, as one
  // of a million entries does on a large volume.
  ClearDeletedFiles();
  gNtfsFolderCacheLimit = 1;
  const int rc = RunScan("N:\\");
  gNtfsFolderCacheLimit = kNtfsFolderCacheEntries;
  ASSERT_EQ(rc, 0);
  std::vector<std::string> small;
  for (const DeletedFileRecord& r : gDeletedFiles) small.push_back(r.path);
  EXPECT_EQ(small, normal);
  EXPECT_NE(std::find(small.begin(), small.end(), "\\Photos\\2024\\Summer\\IMG_0001.jpg"), small.end());
}
