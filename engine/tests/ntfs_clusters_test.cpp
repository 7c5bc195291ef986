// Both NTFS roads at the ends of the cluster sizes Windows makes (64 KB and
// 2 MB clusters, 512-byte clusters with a record split across the MFT's
// runs), and a deleted record whose name went with its extension record. The
// volumes are made by mkntfs and libntfs-3g; every copy must be the bytes
// ntfs-3g read from the volume before the deletion or the format.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "content/record_content.h"
#include "copyout/ntfs_copy.h"
#include "copyout/output.h"
#include "deleted/ntfs_scan.h"
#include "disk/raw.h"
#include "ntfs/ntfs_volume.h"
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

int DriveIndex(char letter) { return letter - 'C'; }

std::string NoSlash(std::string dir) {
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

// Copies record `index` of gDeletedFiles into dest with the identity the scan
// kept of it, as the copy-out page does.
int CopyOut(size_t index, const std::string& dest) {
  const DeletedFileRecord& r = gDeletedFiles[index];
  HANDLE volume = OpenVolume(r.driveIndex);
  EXPECT_NE(volume, nullptr);
  const NtfsScannedIdentity identity = ScannedNtfsIdentity(index);
  const int rc = CopyOutNtfsFile(dest.c_str(), r.driveIndex, volume, r.location, 8, r.path, &identity);
  CloseVolume(volume);
  return rc;
}

size_t IndexOf(const DeletedFileRecord* r) { return static_cast<size_t>(r - gDeletedFiles.data()); }

class NtfsRoads : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearDeletedFiles();
    gScanAbort = 0;
    gRecoverAbort = 0;
    gOptSkipBadTimes = 1;
  }
};

}  // namespace

TEST(NtfsClusterCode, TheBootSectorsByteForEveryClusterWindowsMakes) {
  for (uint32_t spc = 1; spc <= 4096; spc <<= 1) EXPECT_EQ(DecodeClusterSectors(EncodeClusterSectors(spc)), spc) << spc;
  // As mkntfs and Windows write them: 64 KB as it is, 128 KB and up as -log2.
  EXPECT_EQ(EncodeClusterSectors(1), 1);
  EXPECT_EQ(EncodeClusterSectors(128), 128);
  EXPECT_EQ(EncodeClusterSectors(256), 0xF8);
  EXPECT_EQ(EncodeClusterSectors(4096), 0xF4);
  // 4 MB clusters, a size that is no power of two, none at all.
  for (uint32_t spc : {8192u, 3u, 0u}) EXPECT_EQ(EncodeClusterSectors(spc), 0) << spc;
  for (uint8_t code : {0x00, 0x03, 0x81, 0xF3, 0xE0}) EXPECT_EQ(DecodeClusterSectors(code), 0u) << int(code);
}

// --- the deleted-file road, 2 MB and 64 KB clusters --------------------------------

class NtfsLargeClusters : public NtfsRoads, public ::testing::WithParamInterface<std::pair<const char*, char>> {};

TEST_P(NtfsLargeClusters, EveryDeletedFileIsListedAndCopiedAsNtfs3gReadIt) {
  const std::string fixture = GetParam().first;
  const std::string root = std::string(1, GetParam().second) + ":\\";
  ASSERT_EQ(RunScan(root.c_str()), 0);
  const std::string dest = NoSlash(testsupport::ScratchDir("clusters-" + fixture));
  size_t deleted = 0;
  for (const FixtureFile& f : ReadFixtureFiles(fixture)) {
    const DeletedFileRecord* r = FindRecord(Utf8ToAnsi(SafePath(f.path)));
    if (!f.deleted) {
      EXPECT_EQ(r, nullptr) << "live file listed: " << f.path;
      continue;
    }
    ++deleted;
    ASSERT_NE(r, nullptr) << f.path;
    EXPECT_EQ(RecordSize(*r), f.size) << f.path;
    EXPECT_EQ(r->damaged, 0) << f.path;
    ASSERT_EQ(CopyOut(IndexOf(r), dest), 0) << f.path;
    EXPECT_EQ(Sha256OfFile(dest + r->path), f.sha256) << f.path;
  }
  EXPECT_EQ(gDeletedFiles.size(), deleted);
  EXPECT_GE(deleted, 6u);
}

INSTANTIATE_TEST_SUITE_P(Volumes, NtfsLargeClusters,
                         ::testing::Values(std::make_pair("ntfs-2m-deleted", 'J'),
                                           std::make_pair("ntfs-64k-deleted", 'K')),
                         [](const ::testing::TestParamInfo<std::pair<const char*, char>>& i) {
                           return std::string(i.param.second == 'J' ? "TwoMegabytes" : "SixtyFourKilobytes");
                         });

// --- the unformat road, 2 MB clusters formatted again with 4 KB --------------------

TEST(NtfsUnformatTwoMegabyteClusters, EveryListedFileIsWrittenWholeWithItsListedSize) {
  gUnformatAbort = 0;
  gScanAbort = 0;
  gRecoverAbort = 0;
  ClearUnformatResults();
  ASSERT_EQ(RunUnformatScan(kUnformatNtfs, DriveIndex('L'), nullptr), kUnformatScanned);
  EXPECT_EQ(gUnformatNtfsSource.sectorsPerCluster, 4096u);
  const std::vector<testsupport::ScanRow> expected = testsupport::ReadScanTable("ntfs-2m-unformat", "unformat.tsv");
  ASSERT_GE(expected.size(), 7u);
  EXPECT_EQ(gUnformatNtfsFiles.size(), expected.size());
  for (const testsupport::ScanRow& e : expected) {
    const std::string path = Utf8ToAnsi(e.path);
    const UnformatNtfsRecord* hit = nullptr;
    for (const UnformatNtfsRecord& r : gUnformatNtfsFiles)
      if (path == r.path) hit = &r;
    ASSERT_NE(hit, nullptr) << "not found: " << e.path;
    EXPECT_EQ(UnformatNtfsSize(*hit), e.size) << e.path;
    EXPECT_EQ(hit->sectorsPerCluster, 0xF4) << "kept as the boot sector writes it";
  }
  for (UnformatNtfsRecord& r : gUnformatNtfsFiles) r.selected = 1;
  const std::string dest = testsupport::ScratchDir("unformat-2m");
  gUnformatProgressWindow = nullptr;
  ResetCopyOutCounters();
  EXPECT_EQ(RecoverUnformatFiles(dest.c_str()), 0);
  EXPECT_EQ(gRecoverDamagedFiles.load(), 0u);
  for (const testsupport::ScanRow& e : expected) {
    const std::string out = dest + Utf8ToAnsi(e.path);
    WIN32_FILE_ATTRIBUTE_DATA a;
    ASSERT_TRUE(GetFileAttributesExA(out.c_str(), GetFileExInfoStandard, &a)) << out;
    EXPECT_EQ((static_cast<uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow, e.size) << e.path;
    EXPECT_EQ(Sha256OfFile(out), e.sha256) << e.path;
  }
}

// --- records the scan passed over ---------------------------------------------------

TEST_F(NtfsRoads, ARecordWhoseNameWentWithItsExtensionRecordIsListedUnderItsNumber) {
  ASSERT_EQ(RunScan("M:\\"), 0);
  const std::vector<FixtureFile> files = ReadFixtureFiles("ntfs-nameless");
  const std::string dest = NoSlash(testsupport::ScratchDir("nameless"));
  int checked = 0;
  for (const FixtureFile& f : files) {
    std::string path = Utf8ToAnsi(SafePath(f.path));
    if (f.Has("nameless")) {
      char numbered[64];
      std::snprintf(numbered, sizeof numbered, "\\%s\\%lld", kNtfsNamelessFolder, static_cast<long long>(f.record));
      path = numbered;
    }
    const DeletedFileRecord* r = FindRecord(path);
    ASSERT_NE(r, nullptr) << path;
    EXPECT_EQ(RecordSize(*r), f.size);
    ASSERT_EQ(CopyOut(IndexOf(r), dest), 0) << path;
    EXPECT_EQ(Sha256OfFile(dest + path), f.sha256) << path;
    ++checked;
  }
  EXPECT_EQ(checked, 2);
  // The extension records and the file system's reserved records are not
  // files of their own.
  EXPECT_EQ(gDeletedFiles.size(), 2u);
  // With no folder to tell, a nameless record lies below no folder target.
  ClearDeletedFiles();
  ASSERT_EQ(RunScan("M:\\Frag"), 0);
  ASSERT_EQ(gDeletedFiles.size(), 1u);
  EXPECT_STREQ(gDeletedFiles[0].path, "\\named.bin");
}

TEST_F(NtfsRoads, ARecordSplitAcrossTwoMftRunsIsReadFromBothHalves) {
  ASSERT_EQ(RunScan("S:\\"), 0);
  const std::string dest = NoSlash(testsupport::ScratchDir("split-record"));
  size_t deleted = 0;
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-split-record")) {
    if (!f.deleted) continue;
    ++deleted;
    const DeletedFileRecord* r = FindRecord(Utf8ToAnsi(SafePath(f.path)));
    ASSERT_NE(r, nullptr) << f.path;
    EXPECT_EQ(RecordSize(*r), f.size);
    ASSERT_EQ(CopyOut(IndexOf(r), dest), 0) << f.path;
    EXPECT_EQ(Sha256OfFile(dest + r->path), f.sha256) << f.path;
    // The preview reads it through the same record.
    std::vector<uint8_t> head;
    const int want = static_cast<int>(std::min<uint64_t>(64, f.size));
    EXPECT_EQ(ReadRecordContentUpTo(static_cast<uint32_t>(IndexOf(r)), 64, &head), want) << f.path;
  }
  EXPECT_EQ(deleted, 3u);
  EXPECT_EQ(gDeletedFiles.size(), deleted);
}

TEST(NtfsUnformatSmallClusters, RecordsOfAnMftRunThatBeginsInARecordAreFound) {
  // The volume is read through its own MFT's runs: the second begins with
  // the second half of a record, and every record after it is one sector on.
  gUnformatAbort = 0;
  gScanAbort = 0;
  gOptUseNtfsMft = 1;
  ClearUnformatResults();
  const int rc = RunUnformatScan(kUnformatNtfs, DriveIndex('S'), nullptr);
  gOptUseNtfsMft = 0;
  ASSERT_EQ(rc, kUnformatScanned);
  EXPECT_EQ(gUnformatNtfsSource.mftRuns.size(), 2u);
  std::vector<FixtureFile> live;
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-split-record"))
    if (!f.deleted) live.push_back(f);
  ASSERT_EQ(live.size(), 10u);
  EXPECT_EQ(gUnformatNtfsFiles.size(), live.size());
  for (UnformatNtfsRecord& r : gUnformatNtfsFiles) r.selected = 1;
  const std::string dest = testsupport::ScratchDir("unformat-split");
  gUnformatProgressWindow = nullptr;
  ResetCopyOutCounters();
  EXPECT_EQ(RecoverUnformatFiles(dest.c_str()), 0);
  for (const FixtureFile& f : live) {
    std::string path = f.path.substr(1);
    for (char& c : path)
      if (c == '/') c = '\\';
    const UnformatNtfsRecord* hit = nullptr;
    for (const UnformatNtfsRecord& r : gUnformatNtfsFiles)
      if (path == r.path) hit = &r;
    ASSERT_NE(hit, nullptr) << f.path;
    EXPECT_EQ(UnformatNtfsSize(*hit), f.size) << f.path;
    EXPECT_EQ(Sha256OfFile(dest + path), f.sha256) << f.path;
  }
}
