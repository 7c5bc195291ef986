// What the NTFS deleted-file copy-out says about each file: a record given to
// another file since the scan is not copied as the deleted one, clusters the
// volume has given to another file make the copy damaged, and a copy the
// stop or a full destination cut short leaves no file under the real name.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "copyout/output.h"
#include "deleted/recover.h"
#include "disk/raw.h"
#include "ntfs/ntfs_record.h"
#include "ntfs_fixture.h"
#include "state.h"
#include "testsupport.h"

using namespace ntfstest;
using testsupport::Sha256OfFile;
using testsupport::Utf8ToAnsi;

namespace {

std::string Dest(const char* sub) {
  std::string d = testsupport::ScratchDir(sub);
  d.pop_back();
  return d;
}

// Ticks exactly the records with these paths.
void Select(const std::vector<std::string>& ansiPaths) {
  for (DeletedFileRecord& r : gDeletedFiles) {
    r.selected = 0;
    for (const std::string& p : ansiPaths) r.selected |= p == r.path;
  }
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

const FixtureFile* FileTagged(const std::vector<FixtureFile>& files, const std::string& tag) {
  for (const FixtureFile& f : files)
    if (f.Has(tag)) return &f;
  return nullptr;
}

// The raw 1 KB record at a sector of a writable drive, changed by edit and
// written back; Restore() puts the original back.
class RecordEdit {
 public:
  RecordEdit(int driveIndex, uint64_t sector) : drive_(driveIndex), sector_(sector), original_(1024) {
    handle_ = OpenVolume(drive_);
    EXPECT_NE(handle_, nullptr);
    EXPECT_EQ(ReadVolumeSectors(drive_, sector_, 2, original_.data(), handle_), 0);
  }
  ~RecordEdit() {
    Restore();
    CloseVolume(handle_);
  }
  void Apply(const std::function<void(uint8_t* raw, const uint8_t* prepared)>& edit) {
    std::vector<uint8_t> raw = original_, prepared = original_;
    ASSERT_TRUE(PrepareFileRecord(prepared.data()));
    edit(raw.data(), prepared.data());
    ASSERT_EQ(WriteVolumeSectors(drive_, sector_, 2, raw.data(), handle_), 0);
  }
  void Restore() { WriteVolumeSectors(drive_, sector_, 2, original_.data(), handle_); }

 private:
  int drive_;
  uint64_t sector_;
  HANDLE handle_ = nullptr;
  std::vector<uint8_t> original_;
};

struct Counts {
  uint32_t failed, damaged, handled;
};
Counts Recover(const std::string& dest) {
  gRecoverAbort = 0;
  ResetCopyOutCounters();
  RecoverSelectedFiles(nullptr, dest.c_str());
  return {gRecoverFailedFiles.load(), gRecoverDamagedFiles.load(), gRecoverTakenFiles.load()};
}

}  // namespace

TEST(NtfsCopyHonesty, ARecordGivenToAnotherFileSinceTheScanIsNotCopiedAsTheDeletedOne) {
  ClearDeletedFiles();
  ASSERT_EQ(RunScan("R:\\"), 0);
  const std::string path = "\\Docs\\big.bin";
  const DeletedFileRecord* r = FindRecord(path);
  ASSERT_NE(r, nullptr);
  Select({path});
  std::string sha;
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-deleted"))
    if (f.path == "/Docs/big.bin") sha = f.sha256;
  RecordEdit edit(r->driveIndex, r->location);

  struct Case {
    const char* what;
    std::function<void(uint8_t*, const uint8_t*)> edit;
  };
  const std::vector<Case> cases = {
      {"in use again", [](uint8_t* raw, const uint8_t*) { raw[22] |= kRecordInUse; }},
      {"freed again under a new sequence number", [](uint8_t* raw, const uint8_t*) { raw[16] += 1; }},
      {"a part of another file's record", [](uint8_t* raw, const uint8_t*) { raw[32] = 70; }},
      {"another name",
       [](uint8_t* raw, const uint8_t* prepared) {
         NtfsAttribute a;
         ASSERT_TRUE(FindAttribute(prepared, 1024, kAttrFileName, false, &a));
         size_t at = static_cast<size_t>(a.value - prepared) + 0x42;   // the name's first character
         if (at % 512 >= 510) at += 2;
         raw[at] = raw[at] == 'x' ? 'y' : 'x';
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    edit.Apply(c.edit);
    const std::string dest = Dest("ntfs-reused-record");
    const Counts n = Recover(dest);
    EXPECT_EQ(n.handled, 1u);
    EXPECT_EQ(n.failed, 1u);
    EXPECT_EQ(n.damaged, 0u);
    EXPECT_FALSE(Exists(dest + path)) << "nothing is written under the deleted file's name";
  }
  edit.Restore();
  const std::string dest = Dest("ntfs-reused-record-back");
  const Counts n = Recover(dest);
  EXPECT_EQ(n.failed, 0u);
  EXPECT_EQ(Sha256OfFile(dest + path), sha);
  ClearDeletedFiles();
}

TEST(NtfsCopyHonesty, ClustersTheVolumeGaveToAnotherFileMakeTheCopyDamaged) {
  ClearDeletedFiles();
  ASSERT_EQ(RunScan("U:\\"), 0);
  const std::vector<FixtureFile> files = ReadFixtureFiles("ntfs-reused");
  const FixtureFile* reused = FileTagged(files, "reused");
  const FixtureFile* free = FileTagged(files, "free");
  const FixtureFile* taker = FileTagged(files, "taker");
  ASSERT_TRUE(reused && free && taker);
  const std::string reusedPath = Utf8ToAnsi(SafePath(reused->path)), freePath = Utf8ToAnsi(SafePath(free->path));
  ASSERT_NE(FindRecord(reusedPath), nullptr);
  ASSERT_NE(FindRecord(freePath), nullptr);
  // The scan already tells, so the result page can say so before the copy.
  EXPECT_EQ(FindRecord(reusedPath)->damaged, 1);
  EXPECT_EQ(FindRecord(freePath)->damaged, 0);
  Select({reusedPath, freePath});
  const std::string dest = Dest("ntfs-reused-clusters");
  const Counts n = Recover(dest);
  EXPECT_EQ(n.handled, 2u);
  EXPECT_EQ(n.damaged, 1u);
  EXPECT_EQ(n.failed, 0u);
  EXPECT_EQ(Sha256OfFile(dest + freePath), free->sha256);
  // Written, since the user asked for it: what it holds is the later file's.
  EXPECT_EQ(Sha256OfFile(dest + reusedPath), taker->sha256);
  ClearDeletedFiles();
}

TEST(NtfsCopyHonesty, AStopInTheMiddleOfAFileLeavesNoFileUnderItsName) {
  ClearDeletedFiles();
  ASSERT_EQ(RunScan("G:\\"), 0);
  const std::string path = "\\Big\\huge.bin";
  ASSERT_NE(FindRecord(path), nullptr);
  Select({path});
  const std::string dest = Dest("ntfs-stopped");
  gRecoverAbort = 0;
  ResetCopyOutCounters();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    RecoverSelectedFiles(nullptr, dest.c_str());
    done = true;
  });
  // The file is 4 GiB: the stop comes once its first megabytes are written.
  while (!done && gRecoveredSectors.load() < 8192) Sleep(1);
  gRecoverAbort = 1;
  worker.join();
  EXPECT_EQ(gRecoverFailedFiles.load(), 1u);
  EXPECT_FALSE(Exists(dest + path));
  gRecoverAbort = 0;
  ClearDeletedFiles();
}

// Run by full_destination.sh with a 24 KB destination.
TEST(NtfsFullDestination, FilesThatDoNotFitLeaveNoTruncatedCopy) {
  std::string dest = testsupport::EnvText("SALVORA_FULL_DEST");
  if (dest.empty()) GTEST_SKIP() << "needs the small destination full_destination.sh mounts";
  dest.pop_back();
  ClearDeletedFiles();
  ASSERT_EQ(RunScan("N:\\"), 0);
  std::vector<std::string> paths;
  std::vector<std::pair<std::string, std::string>> expected;   // output path, sha256
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-deleted")) {
    if (!f.deleted || f.sha256.empty()) continue;
    const std::string p = Utf8ToAnsi(SafePath(f.path));
    if (!FindRecord(p)) continue;
    paths.push_back(p);
    expected.emplace_back(dest + p, f.sha256);
  }
  Select(paths);
  const Counts n = Recover(dest);
  EXPECT_GT(n.failed, 0u);
  EXPECT_LT(n.failed, paths.size()) << "some files fit";
  int whole = 0;
  for (const auto& e : expected) {
    if (!Exists(e.first)) continue;
    EXPECT_EQ(Sha256OfFile(e.first), e.second) << "a file on the destination is whole: " << e.first;
    ++whole;
  }
  EXPECT_EQ(whole + n.failed, paths.size());
  ClearDeletedFiles();
}
