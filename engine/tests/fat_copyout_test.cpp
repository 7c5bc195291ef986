// The deleted-file copy-out on FAT volumes made by mkfs.fat and mtools: byte
// for byte, with its folders, numbered names, partial sources reported as
// failures, hostile names kept inside the destination, and the stop flag.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <thread>

#include "copyout/fat_copy.h"
#include "copyout/output.h"
#include "copyout/tally.h"
#include "deleted/fat_scan.h"
#include "deleted/recover.h"
#include "disk/raw.h"
#include "fat_test_util.h"

using namespace fattest;
using testsupport::MappedImage;
using testsupport::ReadWholeFile;
using testsupport::ScratchDir;
using testsupport::Sha256OfFile;

namespace {

size_t SelectWhere(const std::function<bool(const DeletedFileRecord&)>& pick) {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  size_t n = 0;
  for (DeletedFileRecord& r : gDeletedFiles) {
    r.selected = pick(r) ? 1 : 0;
    n += r.selected;
  }
  return n;
}

bool AnyOutputMatches(const std::string& dest, const Expected& e) {
  for (const std::string& p : OutputsFor(Below(dest, e.path)))
    if (Sha256OfFile(p) == e.sha256) return true;
  return false;
}

}  // namespace

class FatCopyOutTest : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(FatCopyOutTest, EveryDeletedFileComesOutByteForByte) {
  DefaultOptions defaults;
  const char* fixture = GetParam().first;
  const char* root = GetParam().second;
  gOptSkipTempFolders = 0;
  ASSERT_EQ(Scan(root), 0);
  SelectAll();
  size_t records = Records().size();
  std::string dest = ScratchDir(std::string("copy-") + fixture);
  EXPECT_EQ(Recover(dest + "ZUL"), 0);
  EXPECT_EQ(gRecoverFailedFiles.load(), 0u);
  EXPECT_EQ(gRecoverTakenFiles.load(), records);

  for (const Expected& e : ReadScanTable(fixture))
    EXPECT_TRUE(AnyOutputMatches(dest + "ZUL", e)) << fixture << ": " << e.path;

  // Progress blocks, sent, each naming where a file was and where it goes
  // and how many files were taken on so far; the last one names the last
  // file and the whole count. Then the end.
  std::vector<Received> m = Messages();
  ASSERT_GE(m.size(), 2u);
  ASSERT_LE(m.size(), records + 1);
  EXPECT_EQ(m.back().message, static_cast<UINT>(WM_RECOVER_DONE));
  std::vector<DeletedFileRecord> all = Records();
  for (size_t k = 0; k + 1 < m.size(); ++k) {
    EXPECT_TRUE(m[k].sent);
    ASSERT_GE(m[k].wParam, 1u);
    ASSERT_LE(m[k].wParam, records);
    const size_t i = m[k].wParam - 1;
    EXPECT_EQ(m[k].source, std::string(root, 2) + all[i].path);
    EXPECT_EQ(m[k].destination, dest + "ZUL" + all[i].path);
    if (k > 0) EXPECT_GT(m[k].wParam, m[k - 1].wParam);
  }
  EXPECT_EQ(m[m.size() - 2].wParam, records);
  uint64_t sectors = 0;
  for (const DeletedFileRecord& r : all) sectors += r.size / 512 + (r.size % 512 ? 1 : 0);
  EXPECT_GE(gRecoveredSectors.load(), sectors - all.size());
  EXPECT_LE(gRecoveredSectors.load(), sectors + all.size());
}

INSTANTIATE_TEST_SUITE_P(EachFatType, FatCopyOutTest,
                         ::testing::Values(std::make_pair("fat12-deleted", "E:\\"),
                                           std::make_pair("fat16-deleted", "F:\\"),
                                           std::make_pair("fat32-deleted", "G:\\")),
                         [](const ::testing::TestParamInfo<std::pair<const char*, const char*>>& i) {
                           return std::string(i.param.second[0] == 'E'   ? "Fat12"
                                              : i.param.second[0] == 'F' ? "Fat16"
                                                                         : "Fat32");
                         });

TEST(FatCopyOut, OnlyTickedFilesAreCopiedAndASecondCopyIsNumbered) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("F:\\docs"), 0);
  ASSERT_EQ(SelectWhere([](const DeletedFileRecord& r) { return std::string(r.path) == "\\Letter to Bank.txt"; }),
            1u);
  std::string dest = ScratchDir("numbered");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Recover(dest), 0);
  std::vector<std::string> files;
  ListFiles(dest, &files);
  std::sort(files.begin(), files.end());
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0], dest + "Letter to Bank.txt");
  EXPECT_EQ(files[1], dest + "Letter to Bank_001.txt");
  EXPECT_EQ(files[2], dest + "Letter to Bank_002.txt");
  EXPECT_EQ(Sha256OfFile(files[0]), Sha256OfFile(files[2]));

  SelectAll(false);
  EXPECT_EQ(Recover(ScratchDir("none")), -1) << "nothing ticked: nothing ran";
  ClearDeletedFiles();
  EXPECT_EQ(Recover(ScratchDir("none")), -1);
  EXPECT_EQ(Messages().back().message, static_cast<UINT>(WM_RECOVER_DONE));
}

TEST(FatCopyOut, ASourceCutShortIsAFailureAndKeepsOnlyTheBytesRead) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("J:\\"), 0);
  SelectAll();
  std::string dest = ScratchDir("truncated");
  EXPECT_EQ(Recover(dest), -1);
  EXPECT_EQ(gRecoverFailedFiles.load(), 1u);

  std::string first, across, image;
  ASSERT_TRUE(ReadWholeFile(dest + "First.bin", &first));
  EXPECT_EQ(first.size(), 5000u);
  ASSERT_TRUE(ReadWholeFile(dest + "Across The Cut.bin", &across));
  ASSERT_TRUE(ReadWholeFile(MappedImage('J'), &image));
  std::vector<DeletedFileRecord> at = RecordsAt(Records(), "/Across The Cut.bin");
  ASSERT_EQ(at.size(), 1u);
  uint64_t start = static_cast<uint64_t>(at[0].location) * 512;
  ASSERT_LT(start, image.size());
  EXPECT_EQ(across.size(), image.size() - start) << "every byte still on the volume, and nothing more";
  EXPECT_EQ(across, image.substr(start));
  EXPECT_LT(across.size(), at[0].size);
}

TEST(FatCopyOut, HostileNamesAndOverlongPathsLandInsideTheDestination) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("O:\\"), 0);
  SelectAll();
  std::string outer = ScratchDir("hostile");
  std::string dest = outer + "inside";
  EXPECT_EQ(Recover(dest), 0);
  EXPECT_EQ(gRecoverFailedFiles.load(), 0u);
  std::vector<std::string> files;
  ListFiles(outer, &files);
  EXPECT_EQ(files.size(), Records().size());
  std::map<std::string, int> names;
  for (const std::string& f : files) {
    EXPECT_EQ(f.compare(0, dest.size() + 1, dest + "\\"), 0) << f;
    EXPECT_LT(f.size(), static_cast<size_t>(MAX_PATH));
    names[f.substr(f.find_last_of('\\') + 1)]++;
  }
  EXPECT_EQ(names["_CON"], 1) << "device names are never opened";
  EXPECT_EQ(names["_nul.txt"], 1);
  EXPECT_EQ(names["C__evil2.txt"], 1);
  EXPECT_EQ(names["a_b_c_.txt"], 1);
  EXPECT_EQ(names["Deep Deleted File.txt"], 1);
  EXPECT_EQ(GetFileAttributesA((outer + "evil1.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(FatCopyOut, TheScannedDriveIsNeverTheDestination) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("F:\\docs"), 0);
  SelectAll();
  EXPECT_EQ(Recover("f:\\recovered"), -2);
  EXPECT_EQ(gRecoverFailedFiles.load(), Records().size());
}

// The stop comes while the first file is announced, before it begins: it is
// neither written nor counted as copied or failed, nothing else is copied,
// and the end is still sent. FAT12 and FAT16 volumes go through the FAT copy,
// NTFS through CopyOutNtfsFile.
class StopBeforeAFileBegins : public ::testing::TestWithParam<const char*> {};

TEST_P(StopBeforeAFileBegins, TheAnnouncedFileIsNeitherWrittenNorCounted) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan(GetParam()), 0);
  ASSERT_GE(SelectWhere([](const DeletedFileRecord& r) { return r.size > 0; }), 2u);
  std::vector<DeletedFileRecord> ticked;
  for (const DeletedFileRecord& r : Records())
    if (r.selected) ticked.push_back(r);
  OnProgress() = [](size_t n) {
    if (n == 1) gRecoverAbort = 1;
  };
  std::string dest = ScratchDir(std::string("stopped-") + GetParam()[0]);
  EXPECT_EQ(Recover(dest), -1) << "nothing was copied";
  EXPECT_EQ(gRecoverTakenFiles.load(), 0u);
  EXPECT_EQ(gRecoverFailedFiles.load(), 0u);
  EXPECT_EQ(gRecoverDamagedFiles.load(), 0u);
  const CopyOutTally tally = LastCopyOutTally();
  EXPECT_EQ(tally.ticked, ticked.size());
  EXPECT_EQ(tally.notStarted, ticked.size()) << "every ticked file is counted, as not started";
  EXPECT_TRUE(tally.AddsUp());
  std::vector<std::string> files;
  ListFiles(dest, &files);
  EXPECT_TRUE(files.empty());
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[0].destination, dest.substr(0, dest.size() - 1) + ticked[0].path);
  EXPECT_EQ(Messages().back().message, static_cast<UINT>(WM_RECOVER_DONE));
}

INSTANTIATE_TEST_SUITE_P(EachFileSystem, StopBeforeAFileBegins, ::testing::Values("E:\\", "G:\\", "Q:\\"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                           return std::string(i.param[0] == 'E' ? "Fat12" : i.param[0] == 'G' ? "Fat32" : "Ntfs");
                         });

TEST(FatCopyOut, WithTheStopFlagUpAFileIsNotStartedAndNothingIsCreated) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("F:\\docs"), 0);
  ASSERT_EQ(SelectWhere([](const DeletedFileRecord& r) { return std::string(r.path) == "\\Letter to Bank.txt"; }),
            1u);
  const DeletedFileRecord r = RecordsAt(Records(), "/Letter to Bank.txt")[0];
  std::string dest = ScratchDir("flag-up");
  HANDLE volume = OpenVolume(r.driveIndex);
  ASSERT_NE(volume, nullptr);
  gRecoverAbort = 1;
  EXPECT_EQ(CopyOutFat16File(dest.c_str(), r.driveIndex, volume, r.location, 4, r.path, r.size), kCopyNotStarted);
  EXPECT_EQ(CopyOutFat32File(dest.c_str(), r.driveIndex, volume, r.location, 4, r.path, r.size), kCopyNotStarted);
  gRecoverAbort = 0;
  CloseVolume(volume);
  std::vector<std::string> files;
  ListFiles(dest, &files);
  EXPECT_TRUE(files.empty());
}

// Run by full_destination.sh with a destination that is full after 24 KB.
TEST(FullDestination, FilesThatDoNotFitFailAndLeaveNoTruncatedCopy) {
  std::string dest = testsupport::EnvText("SALVORA_FULL_DEST");
  if (dest.empty()) GTEST_SKIP() << "needs the destination that full_destination.sh fills up";
  DefaultOptions defaults;
  ASSERT_EQ(Scan("F:\\"), 0);
  SelectAll();
  Recover(dest);
  EXPECT_GT(gRecoverFailedFiles.load(), 0u);
  EXPECT_LT(gRecoverFailedFiles.load(), Records().size()) << "some files fit";
  std::map<std::string, std::string> shaByName;
  for (const Expected& e : ReadScanTable("fat16-deleted")) shaByName[Below(dest, e.path)] = e.sha256;
  std::vector<std::string> files;
  ListFiles(dest, &files);
  EXPECT_FALSE(files.empty());
  for (const std::string& f : files) {
    ASSERT_TRUE(shaByName.count(f)) << f;
    EXPECT_EQ(Sha256OfFile(f), shaByName[f]) << "a file on the destination is whole: " << f;
  }
}

TEST(FatCopyOut, ASizeNearFourGigabytesEndsAtTheEndOfTheVolume) {
  DefaultOptions defaults;
  gRecoverAbort = 0;
  std::string dest = ScratchDir("huge");
  HANDLE volume = OpenVolume('E' - 'C');
  ASSERT_NE(volume, nullptr);
  uint64_t sectors = GetDeviceSectorCount(volume);
  ASSERT_EQ(sectors, 2880u);
  // More than the volume holds: written as far as the volume goes, and damaged.
  EXPECT_EQ(CopyOutFat32File(dest.c_str(), 'E' - 'C', volume, 2870, 1, "\\huge.bin", 0xFFFFFFFFu), kCopyDamaged);
  CloseVolume(volume);
  std::string data, image;
  ASSERT_TRUE(ReadWholeFile(dest + "huge.bin", &data));
  ASSERT_TRUE(ReadWholeFile(MappedImage('E'), &image));
  EXPECT_EQ(data, image.substr(2870 * 512));
}

// --- what the FAT says about a deleted file's data

TEST(FatCopyOut, AFragmentedFileComesBackWholeFromTheFreeClustersAfterItsFirst) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("S:\\"), 0);
  std::vector<Expected> expected = ReadScanTable("fat32-fragmented");
  ASSERT_EQ(SelectWhere([](const DeletedFileRecord& r) { return std::string(r.path) == "\\Two Parts.jpg"; }), 1u);
  std::string dest = ScratchDir("fragmented");
  EXPECT_EQ(Recover(dest), 0);
  EXPECT_EQ(gRecoverFailedFiles.load(), 0u);
  EXPECT_EQ(gRecoverDamagedFiles.load(), 0u);
  for (const Expected& e : expected)
    if (e.Has("fragmented")) {
      EXPECT_EQ(Sha256OfFile(Below(dest, e.path)), e.sha256) << "both fragments, in order, and nothing between";
    }
}

// Files whose first cluster another file took since are written and counted
// damaged; a file left in use in a deleted folder is read along its own
// chain, fragments and all.
TEST(FatCopyOut, AFileWhoseFirstClusterWasTakenIsWrittenButCountedDamaged) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("T:\\"), 0);
  SelectAll();
  std::string dest = ScratchDir("overwritten");
  Recover(dest);
  EXPECT_EQ(gRecoverTakenFiles.load(), 4u);
  EXPECT_EQ(gRecoverDamagedFiles.load(), 2u);
  EXPECT_EQ(gRecoverFailedFiles.load(), 0u);
  for (const Expected& e : ReadScanTable("fat16-overwritten")) {
    std::string out = Below(dest, e.path);
    ASSERT_FALSE(OutputsFor(out).empty()) << "written, as the user asked: " << e.path;
    if (e.Has("overwritten"))
      EXPECT_NE(Sha256OfFile(out), e.sha256) << e.path;
    else
      EXPECT_EQ(Sha256OfFile(out), e.sha256) << e.path;
  }
}

TEST(FatCopyOut, FilesOfVolumesThatCannotBeReadAreFailuresAndTheCountsAddUp) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("F:\\docs"), 0);
  DeletedFileRecord whole = RecordsAt(Records(), "/Letter to Bank.txt")[0];
  DeletedFileRecord unmapped = whole, garbage = whole;
  unmapped.driveIndex = 'V' - 'C';   // no such drive
  std::strcpy(unmapped.path, "\\Nowhere.txt");
  garbage.driveIndex = 'M' - 'C';    // a boot sector that describes nothing readable
  std::strcpy(garbage.path, "\\Garbage.txt");
  ClearDeletedFiles();
  for (const DeletedFileRecord& r : {unmapped, whole, garbage, whole}) AppendDeletedFile(r);
  SelectAll();
  std::string dest = ScratchDir("unreadable");
  EXPECT_EQ(Recover(dest), 0) << "the last file's result";
  EXPECT_EQ(gRecoverTakenFiles.load(), 4u) << "no file is skipped silently";
  EXPECT_EQ(gRecoverFailedFiles.load(), 2u);
  EXPECT_EQ(gRecoverDamagedFiles.load(), 0u);
  std::vector<std::string> files;
  ListFiles(dest, &files);
  std::sort(files.begin(), files.end());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0], dest + "Letter to Bank.txt");
  EXPECT_EQ(files[1], dest + "Letter to Bank_001.txt");
}

TEST(FatCopyOut, AStopWithinAFileRemovesWhatWasWrittenOfIt) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("S:\\"), 0);
  ASSERT_EQ(SelectWhere([](const DeletedFileRecord& r) { return std::string(r.path) == "\\Big Deleted.bin"; }), 1u);
  std::string sha;
  for (const Expected& e : ReadScanTable("fat32-fragmented"))
    if (e.path == "/Big Deleted.bin") sha = e.sha256;
  // The stop comes as soon as the first megabyte is written. A busy machine
  // may let the copy finish first: then the file must be whole. Whichever
  // way, no file is left cut short under its real name.
  int cut = 0;
  for (int attempt = 0; attempt < 10 && cut == 0; ++attempt) {
    std::string dest = ScratchDir("stopped-within-" + std::to_string(attempt));
    gRecoveredSectors = 0;
    std::atomic<bool> done{false};
    std::thread stopper([&] {
      while (!done && gRecoveredSectors.load() == 0) {
      }
      gRecoverAbort = 1;
    });
    const int result = Recover(dest);
    done = true;
    stopper.join();
    gRecoverAbort = 0;
    EXPECT_EQ(gRecoverTakenFiles.load(), 1u);
    std::vector<std::string> files;
    ListFiles(dest, &files);
    if (result == 0) {
      ASSERT_EQ(files.size(), 1u);
      EXPECT_EQ(Sha256OfFile(files[0]), sha) << "whole";
      continue;
    }
    ++cut;
    EXPECT_EQ(result, -1);
    EXPECT_EQ(gRecoverFailedFiles.load(), 1u) << "counted as not recovered";
    EXPECT_TRUE(files.empty()) << "no file cut short under the real name";
  }
  EXPECT_EQ(cut, 1) << "the stop never came within the file";
}

// The largest FAT32 volume (2 TiB of 512-byte sectors, sparse): a deleted file
// in the last clusters, past sector 2^31, is listed where it lies and comes
// back whole.
TEST(FatCopyOut, AFileAtTheFarEndOfATwoTerabyteVolumeComesBackWhole) {
  DefaultOptions defaults;
  // Two terabytes of free clusters to read: the pass over them is left out.
  gFatFreeClusterPass = false;
  const int scanned = Scan("U:\\");
  gFatFreeClusterPass = true;
  ASSERT_EQ(scanned, 0);
  std::vector<Expected> expected = ReadScanTable("fat32-far-end");
  ASSERT_EQ(expected.size(), 1u);
  std::vector<DeletedFileRecord> at = RecordsAt(Records(), expected[0].path);
  ASSERT_EQ(at.size(), 1u);
  EXPECT_GT(at[0].location, 0x80000000ull);
  EXPECT_LT(at[0].location, 0xFFFFFFFFull) << "a FAT volume ends before sector 2^32";
  EXPECT_EQ(at[0].damaged, 0);
  SelectAll();
  std::string dest = ScratchDir("far-end");
  EXPECT_EQ(Recover(dest), 0);
  EXPECT_EQ(gRecoverDamagedFiles.load(), 0u);
  EXPECT_EQ(Sha256OfFile(Below(dest, expected[0].path)), expected[0].sha256);
}

// The page lowers the stop flag before it starts the worker; a Stop pressed
// in between must still stop the run, so the worker never lowers it.
TEST(FatCopyOut, AStopPressedBeforeTheWorkerStartsIsKept) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("F:\\docs"), 0);
  SelectAll();
  std::string dest = ScratchDir("stopped-early");
  ResetCopyOutCounters();
  gRecoverAbort = 1;
  EXPECT_EQ(RecoverSelectedFiles(nullptr, dest.c_str()), -1) << "nothing ran";
  EXPECT_EQ(gRecoverAbort.load(), 1);
  EXPECT_EQ(LastCopyOutTally().notStarted, Records().size());
  EXPECT_EQ(gRecoverTakenFiles.load(), 0u);
  EXPECT_EQ(gRecoverFailedFiles.load(), 0u);
  std::vector<std::string> files;
  ListFiles(dest, &files);
  EXPECT_TRUE(files.empty());
  gRecoverAbort = 0;
}
