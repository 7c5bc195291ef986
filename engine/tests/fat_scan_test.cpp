// The FAT deleted-file scans, on volumes made by mkfs.fat and emptied by
// mtools: what they find, how they name it, what they send, and that damaged
// volumes end the scan cleanly.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "deleted/fat_scan.h"
#include "disk/raw.h"
#include "fat/fat_entry.h"
#include "fat_test_util.h"
#include "signatures/signature_table.h"

using namespace fattest;
using testsupport::ReadManifest;
using testsupport::ScratchDir;
using testsupport::Utf8ToAnsi;

namespace {

struct Volume {
  const char* fixture;
  const char* root;
  uint8_t fsKind;
};
const Volume kFat12 = {"fat12-deleted", "E:\\", 2};
const Volume kFat16 = {"fat16-deleted", "F:\\", 2};
const Volume kFat32 = {"fat32-deleted", "G:\\", 1};

void ExpectFound(const Volume& v, const std::vector<DeletedFileRecord>& all, const Expected& e) {
  std::vector<DeletedFileRecord> at = RecordsAt(all, e.path);
  ASSERT_FALSE(at.empty()) << v.fixture << ": not found: " << e.path;
  if (!e.Has("hiword")) {
    EXPECT_EQ(at.size(), 1u) << e.path;
  }
  for (const DeletedFileRecord& r : at) {
    EXPECT_EQ(r.size, e.size) << e.path;
    // Nothing has been written over these since they were deleted (a type
    // table candidate may be another file's start, and is marked if so).
    if (!e.Has("hiword")) {
      EXPECT_EQ(r.damaged, 0) << e.path;
    }
    EXPECT_EQ(r.sizeHigh, 0u);
    EXPECT_EQ(FormatTime(r.modified), e.mtime) << e.path;
    EXPECT_EQ(r.driveIndex, v.root[0] - 'C');
    EXPECT_EQ(r.selected, 0);
  }
}

}  // namespace

class FatScanTest : public ::testing::TestWithParam<Volume> {};

TEST_P(FatScanTest, FindsEveryDeletedFileWithItsPathSizeAndTime) {
  DefaultOptions defaults;
  const Volume& v = GetParam();
  ASSERT_EQ(Scan(v.root), 0);
  EXPECT_EQ(gDelScanFsKind, v.fsKind);
  EXPECT_EQ(gTypeTableProblem.load(), static_cast<uint32_t>(kTypeTableOk));
  std::vector<DeletedFileRecord> all = Records();
  std::vector<Expected> expected = ReadScanTable(v.fixture);
  ASSERT_FALSE(expected.empty());
  for (const Expected& e : expected) {
    if (e.Has("tmp")) {
      EXPECT_TRUE(RecordsAt(all, e.path).empty()) << "temp folders are skipped by default: " << e.path;
      continue;
    }
    ExpectFound(v, all, e);
  }
  // Files still in use are never listed, and every record is a file below the target.
  for (const testsupport::ManifestEntry& m : ReadManifest(v.fixture))
    if (!m.deleted) {
      EXPECT_TRUE(RecordsAt(all, m.path).empty()) << "live file listed: " << m.path;
    }
  std::set<uint32_t> serials;
  for (const DeletedFileRecord& r : all) {
    EXPECT_EQ(r.path[0], '\\');
    EXPECT_LT(strnlen(r.path, sizeof r.path), sizeof r.path);
    serials.insert(r.serial);
  }
  EXPECT_EQ(serials.size(), all.size()) << "serials run 0, 1, 2, ...";
  EXPECT_EQ(*serials.rbegin() + 1, all.size());
}

TEST_P(FatScanTest, SendsProgressTextsOfItsRecordsEndingWithTheLastThenTheEnd) {
  DefaultOptions defaults;
  const Volume& v = GetParam();
  ASSERT_EQ(Scan(v.root), 0);
  std::vector<DeletedFileRecord> all = Records();
  ASSERT_FALSE(all.empty());
  std::vector<Received> m = Messages();
  ASSERT_FALSE(m.empty());
  EXPECT_EQ(m.back().message, static_cast<UINT>(WM_DELSCAN_DONE));
  size_t first = 0;
  if (v.fsKind == 1) {
    ASSERT_GE(m.size(), 2u);
    EXPECT_EQ(m[0].text, kFat32ScanStartText);
    first = 1;
  }
  // At most one text per record, each naming a record, in scan order, and
  // the texts of the pass over the free clusters; the last one names the
  // last record, so the page ends on the final state.
  size_t passTexts = 0;
  for (const Received& r : m) passTexts += r.text.rfind(kFreeClusterPassText, 0) == 0 ? 1 : 0;
  ASSERT_GE(m.size() - first - 1, 1u);
  ASSERT_LE(m.size() - first - 1, all.size() + passTexts + 1);
  size_t at = 0;
  for (size_t i = first; i + 1 < m.size(); ++i) {
    EXPECT_EQ(m[i].message, static_cast<UINT>(WM_DELSCAN_PROGRESS));
    EXPECT_TRUE(m[i].sent) << "progress must be sent, never posted";
    if (m[i].text.rfind(kFreeClusterPassText, 0) == 0) continue;
    while (at < all.size() && m[i].text != std::string(v.root, 2) + all[at].path) ++at;
    EXPECT_LT(at, all.size()) << "not a record's text, or out of order: " << m[i].text;
  }
  EXPECT_EQ(m[m.size() - 2].text, std::string(v.root, 2) + all.back().path);
}

INSTANTIATE_TEST_SUITE_P(EachFatType, FatScanTest, ::testing::Values(kFat12, kFat16, kFat32),
                         [](const ::testing::TestParamInfo<Volume>& i) {
                           return std::string(i.param.fsKind == 1 ? "Fat32" : i.param.root[0] == 'E' ? "Fat12"
                                                                                                      : "Fat16");
                         });

TEST(FatScan, ATargetFolderIsScannedAloneWithPathsBelowIt) {
  DefaultOptions defaults;
  for (const char* target : {"F:\\docs", "F:\\DOCS\\", "F:\\Docs"}) {
    ASSERT_EQ(Scan(target), 0) << target;
    std::vector<DeletedFileRecord> all = Records();
    ASSERT_EQ(all.size(), 2u) << target;
    EXPECT_EQ(PathUtf8(all[0]), "/Letter to Bank.txt");
    EXPECT_EQ(PathUtf8(all[1]), "/Old Notes/Draft One.txt");
    EXPECT_EQ(Messages()[0].text, std::string(target).substr(0, 7) + "\\Letter to Bank.txt") << target;
  }
  // A Chinese folder name, given in code page 936 as the pages give it.
  ASSERT_EQ(Scan(Utf8ToAnsi("E:\\文档")), 0);
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_EQ(PathUtf8(Records()[0]), "/会议记录.txt");
  // A folder below a folder, found by its long name.
  ASSERT_EQ(Scan("G:\\a\\b\\c"), 0);
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_EQ(PathUtf8(Records()[0]), "/Deep In Tree.txt");
  // No such folder (or a deleted one): nothing is recorded, the end still comes.
  for (const char* target : {"F:\\nowhere", "G:\\hiword\\Old Album", "F:\\Note.txt"}) {
    Scan(target);
    EXPECT_TRUE(Records().empty()) << target;
    EXPECT_EQ(Messages().back().message, static_cast<UINT>(WM_DELSCAN_DONE));
  }
}

TEST(FatScan, TheSkipOptionsLeaveOutTempFoldersAndFilesDeletedBeforeTheirFolder) {
  DefaultOptions defaults;
  gOptSkipTempFolders = 0;
  ASSERT_EQ(Scan("F:\\"), 0);
  EXPECT_EQ(RecordsAt(Records(), "/_ACHE.TMP/Cached Page.htm").size(), 1u);

  gOptSkipTempFolders = 1;
  gOptSkipDeletedBeforeFolder = 1;
  for (const Volume& v : {kFat12, kFat16, kFat32}) {
    ASSERT_EQ(Scan(v.root), 0);
    std::vector<DeletedFileRecord> all = Records();
    for (const Expected& e : ReadScanTable(v.fixture)) {
      if (e.Has("beforefolder") || e.Has("tmp"))
        EXPECT_TRUE(RecordsAt(all, e.path).empty()) << e.path;
      else
        EXPECT_FALSE(RecordsAt(all, e.path).empty()) << e.path;
    }
  }
  // A file left in use inside a deleted folder is still listed.
  ASSERT_EQ(Scan("F:\\"), 0);
  EXPECT_EQ(RecordsAt(Records(), "/Gone/Keep Me.txt").size(), 1u);
}

TEST(FatScan, ClearedHighClusterWordsAreSettledThroughTheTypeTable) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("G:\\hiword"), 0);
  std::vector<DeletedFileRecord> all = Records();
  // Every record of a typed file starts on a sector that begins like its type.
  uint8_t sector[512];
  for (const DeletedFileRecord& r : all) {
    std::string p = PathUtf8(r);
    if (p.size() < 4 || p.compare(p.size() - 4, 4, ".dat") == 0) continue;
    ASSERT_EQ(ReadVolumeSectorsByIndex('G' - 'C', r.location, 1, sector), 0);
    SignatureTable table;
    ASSERT_EQ(table.Load(SignatureTablePath(kDeletedTypeTableName)), SignatureTableStatus::kOk);
    std::string ext = NameExtension(std::string(r.path));
    int type = table.FindType(ext);
    ASSERT_GE(type, 0) << p;
    EXPECT_GE(table.MatchRecord(static_cast<size_t>(type), sector, sizeof sector), 0) << p;
  }
  EXPECT_EQ(RecordsAt(all, "/Old Album/Second.png").size(), 1u)
      << "a deleted folder whose high word was cleared is found through its own \".\" entry";
}

TEST(FatScan, AMissingOrDamagedTypeTableIsReportedOnceAndFilesStillGetRecords) {
  DefaultOptions defaults;
  std::string empty = ScratchDir("no-table");
  SetSignatureTableFolder(empty.c_str());
  gTypeTableProblem = kTypeTableOk;
  ASSERT_EQ(Scan("G:\\"), 0);
  EXPECT_EQ(gTypeTableProblem.load(), static_cast<uint32_t>(kTypeTableMissing));
  std::vector<DeletedFileRecord> all = Records();
  for (const Expected& e : ReadScanTable("fat32-deleted"))
    EXPECT_EQ(RecordsAt(all, e.path).size(), 1u) << "guessed from the neighbours: " << e.path;

  testsupport::WriteWholeFile(empty + "ZEPFR.DAT", std::string("NOPE") + std::string(60, '\0'));
  gTypeTableProblem = kTypeTableOk;
  ASSERT_EQ(Scan("G:\\"), 0);
  EXPECT_EQ(gTypeTableProblem.load(), static_cast<uint32_t>(kTypeTableDamaged));
  EXPECT_EQ(Records().size(), all.size());
  SetSignatureTableFolder(nullptr);

  // The FAT12/16 road never needs the table.
  gTypeTableProblem = kTypeTableOk;
  ASSERT_EQ(Scan("F:\\"), 0);
  EXPECT_EQ(gTypeTableProblem.load(), static_cast<uint32_t>(kTypeTableOk));
}

TEST(FatScan, AStopRequestEndsTheScanWithWhatWasFound) {
  DefaultOptions defaults;
  // The first file's text is never held back: stopping there ends the scan
  // after that file.
  OnProgress() = [](size_t) { gScanAbort = 1; };
  EXPECT_EQ(Scan("E:\\"), 0);
  EXPECT_EQ(Records().size(), 1u);
  EXPECT_EQ(Messages().back().message, static_cast<UINT>(WM_DELSCAN_DONE));
  EXPECT_EQ(gDelScanDone.load(), 1u);
}

TEST(FatScan, AFileWhoseFirstClusterIsAllocatedAgainIsMarkedDamaged) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("T:\\"), 0);
  std::vector<DeletedFileRecord> all = Records();
  for (const Expected& e : ReadScanTable("fat16-overwritten")) {
    std::vector<DeletedFileRecord> at = RecordsAt(all, e.path);
    ASSERT_EQ(at.size(), 1u) << e.path;
    EXPECT_EQ(at[0].damaged, e.Has("overwritten") ? 1 : 0) << e.path;
  }
  // A fragmented file's first cluster is free: nothing says it is damaged.
  ASSERT_EQ(Scan("S:\\"), 0);
  for (const DeletedFileRecord& r : Records()) EXPECT_EQ(r.damaged, 0) << r.path;
}

// --- damaged volumes: every scan ends, with the done message, and whatever is
// still readable.

TEST(FatScanDamaged, ATruncatedVolumeListsWhatItStillHolds) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("J:\\"), 0);
  std::vector<DeletedFileRecord> all = Records();
  for (const Expected& e : ReadScanTable("fat16-truncated")) EXPECT_EQ(RecordsAt(all, e.path).size(), 1u) << e.path;
  EXPECT_EQ(Messages().back().message, static_cast<UINT>(WM_DELSCAN_DONE));
}

TEST(FatScanDamaged, LoopingChainsAndFoldersEndTheWalk) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("K:\\"), 0);
  std::vector<DeletedFileRecord> all = Records();
  for (const Expected& e : ReadScanTable("fat32-loops")) EXPECT_EQ(RecordsAt(all, e.path).size(), 1u) << e.path;
  EXPECT_LT(all.size(), 10u);
  ASSERT_EQ(Scan("K:\\selfref\\SELFLINK\\ROOTLINK\\loopdir"), 0) << "targets through looping links";
  EXPECT_EQ(Records().size(), 2u);
}

TEST(FatScanDamaged, AFortyEntryLongNameRunIsCutToALegalName) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("L:\\"), 0);
  std::vector<DeletedFileRecord> all = Records();
  ASSERT_EQ(all.size(), 1u);
  std::string path = all[0].path;
  ASSERT_EQ(path.compare(0, 5, "\\lfn\\"), 0);
  EXPECT_LE(path.size() - 5, kMaxNameBytes);
  EXPECT_EQ(all[0].size, 4000u);
}

TEST(FatScanDamaged, GarbageBootSectorsAndGarbageFoldersEndCleanly) {
  DefaultOptions defaults;
  Scan("M:\\");
  EXPECT_TRUE(Records().empty());
  EXPECT_EQ(Messages().back().message, static_cast<UINT>(WM_DELSCAN_DONE));

  ASSERT_EQ(Scan("N:\\"), 0);
  for (const DeletedFileRecord& r : Records()) {
    EXPECT_EQ(r.path[0], '\\');
    EXPECT_LT(strnlen(r.path, sizeof r.path), sizeof r.path);
  }
  EXPECT_EQ(Messages().back().message, static_cast<UINT>(WM_DELSCAN_DONE));
}

TEST(FatScanDamaged, HostileNamesAndOverlongPathsStayWellFormed) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("O:\\"), 0);
  std::vector<DeletedFileRecord> all = Records();
  EXPECT_EQ(all.size(), 10u);
  bool deep = false;
  for (const DeletedFileRecord& r : all) {
    std::string p(r.path);
    EXPECT_LE(p.size(), 512u);
    EXPECT_EQ(p.find("\\..\\"), std::string::npos) << p;
    EXPECT_NE(p.substr(p.size() - 3), "\\..") << p;
    EXPECT_EQ(p.find('/'), std::string::npos) << p;
    const std::string tail = "\\Deep Deleted File.txt";
    if (p.size() > tail.size() && p.compare(p.size() - tail.size(), tail.size(), tail) == 0) deep = true;
  }
  EXPECT_TRUE(deep) << "a file below a path longer than 512 bytes is listed in an ancestor folder";
  // The hostile names keep their text, with the separators made harmless.
  EXPECT_EQ(RecordsAt(all, "/.._.._.._evil1.txt").size(), 1u);
  EXPECT_EQ(RecordsAt(all, "/C:_evil2.txt").size(), 1u);
  EXPECT_EQ(RecordsAt(all, "/CON").size(), 1u);
  EXPECT_EQ(RecordsAt(all, "/__").size(), 1u) << "a name of dots only";
}

TEST(FatScanDamaged, AFolderCreatedOnADeletedFoldersClusterIsNotTakenForIt) {
  DefaultOptions defaults;
  ASSERT_EQ(Scan("P:\\"), 0);
  for (const DeletedFileRecord& r : Records())
    EXPECT_NE(PathUtf8(r).compare(0, 6, "/OldA/"), 0) << "live files of another folder listed as deleted: " << r.path;
}

// --- entries, as the format defines them

TEST(FatEntry, ShortNamesOfDeletedEntriesAndTimes) {
  uint8_t e[32] = {};
  std::memcpy(e, "\xE5" "ACATION" "JPG", 11);
  EXPECT_EQ(BuildShortFileName(e, true), "_ACATION.JPG");
  std::memcpy(e, "\xE5" "!B     " "   ", 11);
  EXPECT_EQ(BuildShortFileName(e, true), "__B") << "second character below '+'";
  std::memcpy(e, "\xE5" "~1     " "TXT", 11);
  EXPECT_EQ(BuildShortFileName(e, true), "__1.TXT") << "second character above 'z'";
  std::memcpy(e, "\x05" "ABC    " "TXT", 11);
  EXPECT_EQ(BuildShortFileName(e, false), "\xE5" "ABC.TXT") << "0x05 stands for 0xE5";

  SYSTEMTIME t;
  ConvertFatDateTime(0, 0x7BBE, &t);
  EXPECT_EQ(t.wYear, 0);
  EXPECT_EQ(t.wMonth, 0);
  EXPECT_EQ(t.wDay, 0);
  EXPECT_EQ(t.wHour, 15);
  EXPECT_EQ(t.wMinute, 29);
  EXPECT_EQ(t.wSecond, 60);
  ConvertFatDateTime(0x5A21, 0, &t);
  EXPECT_EQ(FormatTime(t), "2025-01-01 00:00:00");
}

// What may carry on a deleted folder: folder entries only, never file data.
TEST(FatEntry, OnlyWellFormedEntriesParseAsAFoldersCluster) {
  uint8_t block[512] = {};
  auto put = [&](size_t slot, const char* name11, uint8_t attr, uint32_t cluster, uint32_t size) {
    uint8_t* e = block + slot * 32;
    std::memcpy(e, name11, 11);
    e[11] = attr;
    e[20] = static_cast<uint8_t>(cluster >> 16);
    e[21] = static_cast<uint8_t>(cluster >> 24);
    e[26] = static_cast<uint8_t>(cluster);
    e[27] = static_cast<uint8_t>(cluster >> 8);
    std::memcpy(e + 28, &size, 4);
    e[24] = 0x21;   // 1980-01-01
  };
  bool ended = true;
  EXPECT_FALSE(ParsesAsDirectoryEntries(block, sizeof block, 1000, true, &ended)) << "an empty cluster";
  put(0, "\xE5" "HOTO1  JPG", 0x20, 70000, 5000);
  put(1, "PHOTO2  JPG", 0x20, 70010, 900);
  put(2, "\xE5" "UB        ", 0x10, 70020, 0);
  EXPECT_TRUE(ParsesAsDirectoryEntries(block, sizeof block, 100000, true, &ended));
  EXPECT_TRUE(ended) << "the slots after the last entry are empty";
  // The next cluster of a folder written in one go follows the last entry's data.
  EXPECT_EQ(ClusterAfterLastEntry(block, 64, 512, true), 70010u + 2);
  EXPECT_EQ(ClusterAfterLastEntry(block, 96, 512, true), 70021u);
  // A cluster past the volume, a folder with a size, a byte after the end, a
  // lower-case or reserved name byte, month 0, a reserved attribute bit: not
  // a folder's cluster.
  EXPECT_FALSE(ParsesAsDirectoryEntries(block, sizeof block, 70015, true, nullptr));
  uint8_t bad[512];
  const std::pair<size_t, uint8_t> damage[] = {{2 * 32 + 28, 1}, {200, 7}, {32 + 1, 'h'}, {32 + 1, '*'},
                                                {32 + 24, 0x01}, {32 + 11, 0x41}};
  for (const auto& d : damage) {
    std::memcpy(bad, block, sizeof bad);
    bad[d.first] = d.second;
    EXPECT_FALSE(ParsesAsDirectoryEntries(bad, sizeof bad, 100000, true, nullptr)) << d.first;
  }
  // Text and random bytes.
  char text[513];
  for (size_t i = 0; i < 512; ++i) text[i] = "Holiday pictures, summer 2021. "[i % 31];
  EXPECT_FALSE(ParsesAsDirectoryEntries(reinterpret_cast<uint8_t*>(text), 512, 100000, true, nullptr));
  uint32_t x = 12345;
  for (uint8_t& b : bad) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
  EXPECT_FALSE(ParsesAsDirectoryEntries(bad, sizeof bad, 100000, true, nullptr));
}
