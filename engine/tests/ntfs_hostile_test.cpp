// The deleted-file road and the NTFS unformat road on volumes damaged on
// purpose (tests/fixtures/recipes/hostile_ntfs.py). Every run must end (the
// test's time limit), write no file larger than the volume and nothing
// outside the destination, leave the scanned image as it was, and say which
// files came back damaged.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "copyout/output.h"
#include "deleted/recover.h"
#include "disk/raw.h"
#include "ntfs_fixture.h"
#include "records/records.h"
#include "state.h"
#include "testsupport.h"
#include "unformat/unformat.h"
#include "unformat/unformat_copy.h"

using namespace ntfstest;
using testsupport::Sha256OfFile;
using testsupport::Utf8ToAnsi;

namespace {

// Every file below a folder, with its size.
void ListFiles(const std::string& folder, std::map<std::string, uint64_t>* out) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListFiles(path, out);
    else
      (*out)[path] = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

// One run of a road on a hostile image: the destination is "out" inside a
// scratch folder of its own, so anything written beside it shows.
class HostileRun {
 public:
  HostileRun(char letter, const char* name) : letter_(letter) {
    image_ = testsupport::MappedImage(letter);
    before_ = Sha256OfFile(image_);
    EXPECT_FALSE(before_.empty());
    HANDLE v = OpenVolume(letter - 'C');
    volumeBytes_ = GetDeviceSectorCount(v) * 512;
    CloseVolume(v);
    EXPECT_GT(volumeBytes_, 0u);
    scratch_ = testsupport::ScratchDir(name);
    scratch_.pop_back();
    dest_ = scratch_ + "\\out";
  }
  ~HostileRun() {
    std::map<std::string, uint64_t> files;
    ListFiles(scratch_, &files);
    for (const auto& f : files) {
      EXPECT_EQ(f.first.compare(0, dest_.size() + 1, dest_ + "\\"), 0) << "written outside: " << f.first;
      EXPECT_LE(f.second, volumeBytes_) << "larger than the volume: " << f.first;
    }
    EXPECT_EQ(Sha256OfFile(image_), before_) << "the scanned image changed";
  }
  const std::string& dest() const { return dest_; }

 private:
  char letter_;
  std::string image_, before_, scratch_, dest_;
  uint64_t volumeBytes_ = 0;
};

int Unformat(char letter, bool useMft) {
  gOptUseNtfsMft = useMft ? 1 : 0;
  gUnformatAbort = 0;
  gScanAbort = 0;
  ClearUnformatResults();
  const int rc = RunUnformatScan(kUnformatNtfs, letter - 'C', nullptr);
  gOptUseNtfsMft = 0;
  return rc;
}

int RecoverUnformat(const std::string& dest) {
  gRecoverAbort = 0;
  ResetCopyOutCounters();
  gUnformatProgressWindow = nullptr;
  return RecoverUnformatFiles(dest.c_str());
}

const UnformatNtfsRecord* FindUnformat(const std::string& path) {
  const UnformatNtfsRecord* hit = nullptr;
  for (const UnformatNtfsRecord& r : gUnformatNtfsFiles)
    if (path == r.path) {
      EXPECT_EQ(hit, nullptr) << "listed twice: " << path;
      hit = &r;
    }
  return hit;
}

}  // namespace

TEST(NtfsHostile, SizesAndRunsTheVolumeCannotHoldGiveDamagedFilesNoLargerThanIt) {
  HostileRun run('S', "hostile-sizes");
  ClearDeletedFiles();
  ASSERT_EQ(RunScan("S:\\"), 0);
  const std::vector<FixtureFile> files = ReadFixtureFiles("ntfs-hostile-sizes");
  int hostile = 0;
  for (const FixtureFile& f : files) {
    if (!f.deleted) continue;
    const DeletedFileRecord* r = FindRecord(Utf8ToAnsi(SafePath(f.path)));
    ASSERT_NE(r, nullptr) << f.path;
    EXPECT_EQ(r->damaged, f.Has("hostile") ? 1 : 0) << f.path;
    hostile += f.Has("hostile");
  }
  for (DeletedFileRecord& r : gDeletedFiles) r.selected = 1;
  gRecoverAbort = 0;
  ResetCopyOutCounters();
  RecoverSelectedFiles(nullptr, run.dest().c_str());
  EXPECT_EQ(gRecoverDamagedFiles.load(), static_cast<uint32_t>(hostile));
  EXPECT_EQ(gRecoverFailedFiles.load(), 0u);
  for (const FixtureFile& f : files) {
    const std::string out = run.dest() + Utf8ToAnsi(SafePath(f.path));
    if (f.deleted && !f.Has("hostile")) EXPECT_EQ(Sha256OfFile(out), f.sha256) << f.path;
  }
  ClearDeletedFiles();
}

TEST(NtfsHostile, TheUnformatCopyOfTheSameRecordsEndsAsDamagedToo) {
  HostileRun run('S', "hostile-sizes-unformat");
  ASSERT_EQ(Unformat('S', false), 0);
  int hostile = 0;
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-hostile-sizes")) {
    if (f.deleted) continue;
    const std::string path = f.path.substr(1, 4) + "\\" + f.path.substr(6);
    ASSERT_NE(FindUnformat(path), nullptr) << path;
    hostile += f.Has("hostile");
  }
  for (UnformatNtfsRecord& r : gUnformatNtfsFiles) r.selected = 1;
  EXPECT_EQ(RecoverUnformat(run.dest()), 0);
  EXPECT_EQ(gRecoverDamagedFiles.load(), static_cast<uint32_t>(hostile));
  ClearUnformatResults();
}

TEST(NtfsHostile, AnMftWhoseRunsNameItsClustersTwiceListsEachFileOnce) {
  HostileRun run('T', "mft-doubled");
  ClearDeletedFiles();
  ASSERT_EQ(RunScan("T:\\"), 0);
  size_t deleted = 0;
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-mft-doubled")) {
    if (!f.deleted) continue;
    ++deleted;
    int found = 0;
    for (const DeletedFileRecord& r : gDeletedFiles) found += Utf8ToAnsi(SafePath(f.path)) == r.path;
    EXPECT_EQ(found, 1) << f.path;
  }
  EXPECT_EQ(gDeletedFiles.size(), deleted);
  for (DeletedFileRecord& r : gDeletedFiles) r.selected = 1;
  gRecoverAbort = 0;
  ResetCopyOutCounters();
  RecoverSelectedFiles(nullptr, run.dest().c_str());
  EXPECT_EQ(gRecoverFailedFiles.load(), 0u);
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-mft-doubled"))
    if (f.deleted) EXPECT_EQ(Sha256OfFile(run.dest() + Utf8ToAnsi(SafePath(f.path))), f.sha256) << f.path;
  ClearDeletedFiles();

  // The unformat scan through the same runs.
  ASSERT_EQ(Unformat('T', true), 0);
  size_t live = 0;
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-mft-doubled")) {
    if (f.deleted) continue;
    ++live;
    EXPECT_NE(FindUnformat("Twice\\" + f.path.substr(7)), nullptr) << f.path;
  }
  EXPECT_EQ(gUnformatNtfsFiles.size(), live);
  ClearUnformatResults();
}

TEST(NtfsHostile, AnMftThatCannotBeLocatedIsFoundSectorBySector) {
  HostileRun run('L', "unformat-lost");
  ASSERT_EQ(Unformat('L', false), 0);
  EXPECT_TRUE(gUnformatNtfsSource.linear);
  EXPECT_EQ(gUnformatNtfsSource.sectorsPerCluster, 8u) << "told by the old folder's index blocks";
  const std::vector<FixtureFile> files = ReadFixtureFiles("ntfs-unformat-lost");
  ASSERT_EQ(gUnformatNtfsFiles.size(), files.size());
  std::map<std::string, std::string> shaByName;
  for (const FixtureFile& f : files) shaByName[f.path.substr(f.path.rfind('/') + 1)] = f.sha256;
  for (UnformatNtfsRecord& r : gUnformatNtfsFiles) {
    const std::string path = r.path;
    EXPECT_EQ(path.compare(0, 3, "DIR"), 0) << path;   // the folder's number stands for its name
    EXPECT_EQ(r.sectorsPerCluster, 8u);
    r.selected = 1;
  }
  EXPECT_EQ(RecoverUnformat(run.dest()), 0);
  for (const UnformatNtfsRecord& r : gUnformatNtfsFiles) {
    const std::string path = r.path;
    const std::string name = path.substr(path.rfind('\\') + 1);
    EXPECT_EQ(Sha256OfFile(run.dest() + "\\" + path), shaByName[name]) << path;
  }
  ClearUnformatResults();
}

TEST(NtfsHostile, OldFilesWhoseClustersTheNewFileSystemTookAreDamaged) {
  HostileRun run('V', "unformat-reused");
  ASSERT_EQ(Unformat('V', false), 0);
  std::vector<std::vector<std::string>> rows;
  ASSERT_TRUE(testsupport::ReadTable(testsupport::FixtureDir("ntfs-unformat-reused") + "survived.tsv", '\t', &rows));
  ASSERT_FALSE(rows.empty());
  int survivors = 0, lost = 0;
  for (const std::vector<std::string>& row : rows) {
    ASSERT_EQ(row.size(), 3u);
    const bool survived = row[2] == "1";
    (survived ? survivors : lost)++;
    for (UnformatNtfsRecord& r : gUnformatNtfsFiles) r.selected = row[0] == r.path;
    ASSERT_NE(FindUnformat(row[0]), nullptr) << row[0];
    const std::string dest = run.dest() + "\\" + std::to_string(survivors + lost);
    EXPECT_EQ(RecoverUnformat(dest), 0) << row[0];
    EXPECT_EQ(gRecoverDamagedFiles.load(), survived ? 0u : 1u) << row[0];
    if (survived) EXPECT_EQ(Sha256OfFile(dest + "\\" + row[0]), row[1]) << row[0];
  }
  EXPECT_GT(survivors, 0);
  EXPECT_GT(lost, 0);
  ClearUnformatResults();
}
