// A volume past 2 TiB whose MFT and file data lie beyond sector 2^32: the
// deleted-file road and the NTFS unformat road find and copy what is there,
// with the record positions whole.
#include <gtest/gtest.h>

#include <string>

#include "copyout/ntfs_copy.h"
#include "disk/raw.h"
#include "ntfs_fixture.h"
#include "records/records.h"
#include "state.h"
#include "testsupport.h"
#include "unformat/unformat.h"
#include "unformat/unformat_copy.h"

using namespace ntfstest;

namespace {

constexpr char kLetter = 'K';
constexpr uint64_t kTwoTiB = 1ull << 32;   // in sectors

std::string Dest(const char* sub) {
  std::string d = testsupport::ScratchDir(sub);
  d.pop_back();
  return d;
}

}  // namespace

TEST(NtfsFar, DeletedFilesPastTwoTerabytesAreFoundAndCopied) {
  ClearDeletedFiles();
  ASSERT_EQ(RunScan("K:\\"), 0);
  EXPECT_GT(gMftStartSector, kTwoTiB);
  const std::string dest = Dest("ntfs-far");
  int checked = 0;
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-far")) {
    const DeletedFileRecord* r = FindRecord(testsupport::Utf8ToAnsi(SafePath(f.path)));
    if (!f.deleted) {
      EXPECT_EQ(r, nullptr) << f.path;
      continue;
    }
    ASSERT_NE(r, nullptr) << f.path;
    EXPECT_GT(r->location, kTwoTiB) << f.path;
    EXPECT_EQ(r->location, gMftStartSector + 2 * static_cast<uint64_t>(f.record)) << f.path;
    EXPECT_EQ(RecordSize(*r), f.size);
    HANDLE volume = OpenVolume(r->driveIndex);
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(CopyOutNtfsFile(dest.c_str(), r->driveIndex, volume, r->location, 128, r->path), 0) << f.path;
    CloseVolume(volume);
    EXPECT_EQ(testsupport::Sha256OfFile(dest + r->path), f.sha256) << f.path;
    ++checked;
  }
  EXPECT_EQ(checked, 3);
  ClearDeletedFiles();
}

TEST(NtfsFar, TheUnformatScanKeepsRecordPositionsPastTwoTerabytes) {
  // Through the MFT's own runs: the other way reads the whole volume.
  gOptUseNtfsMft = 1;
  gUnformatAbort = 0;
  gScanAbort = 0;
  ClearUnformatResults();
  ASSERT_EQ(RunUnformatScan(kUnformatNtfs, kLetter - 'C', nullptr), 0);
  gOptUseNtfsMft = 0;
  const UnformatNtfsRecord* live = nullptr;
  for (UnformatNtfsRecord& r : gUnformatNtfsFiles) {
    EXPECT_GT(r.recordSector, kTwoTiB) << r.path;
    if (std::string(r.path) == "Far\\live.bin") live = &r;
    r.selected = 1;
  }
  ASSERT_NE(live, nullptr);
  EXPECT_EQ(UnformatNtfsSize(*live), 200000u);
  const std::string dest = Dest("ntfs-far-unformat");
  gRecoverAbort = 0;
  ResetCopyOutCounters();
  gUnformatProgressWindow = nullptr;
  EXPECT_EQ(RecoverUnformatFiles(dest.c_str()), 0);
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-far")) {
    if (f.deleted) continue;
    EXPECT_EQ(testsupport::Sha256OfFile(dest + "\\" + f.path.substr(1, 3) + "\\" + f.path.substr(5)), f.sha256)
        << f.path;
  }
  ClearUnformatResults();
}
