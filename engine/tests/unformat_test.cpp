// The unformat scan and its copy-out, on volumes filled by mtools and
// libntfs-3g and then formatted again by mkfs.fat and mkntfs: what the scan
// finds (paths, sizes, times), what it sends, that the copy-out gives back the
// very bytes, that damaged volumes end cleanly and that both stop flags work.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "disk/raw.h"
#include "messages.h"
#include "records/records.h"
#include "state.h"
#include "testsupport.h"
#include "unformat/unformat.h"
#include "unformat/unformat_copy.h"
#include "winsupport.h"

using testsupport::FixtureDir;
using testsupport::ScratchDir;
using testsupport::Sha256OfFile;
using testsupport::Utf8ToAnsi;

namespace {

// --- the fixtures' expectations ------------------------------------------------

struct Expected {
  std::string path;   // as the scan names it, code page 936
  uint64_t size = 0;
  std::string sha256;
  std::string mtime;
  std::string tags;
  bool Has(const char* tag) const { return tags.find(tag) != std::string::npos; }
};

std::vector<Expected> ReadExpected(const std::string& fixture) {
  std::vector<Expected> out;
  for (const testsupport::ScanRow& r : testsupport::ReadScanTable(fixture, "unformat.tsv"))
    out.push_back({Utf8ToAnsi(r.path), r.size, r.sha256, r.mtime, r.tags});
  return out;
}

std::string Format(const SYSTEMTIME& t) { return testsupport::FormatSystemTime(t); }

// The NTFS records hold local times; the fixtures say UTC.
std::string FormatUtc(const SYSTEMTIME& local) {
  FILETIME lft, ft;
  SYSTEMTIME utc;
  if (!SystemTimeToFileTime(&local, &lft) || !LocalFileTimeToFileTime(&lft, &ft) || !FileTimeToSystemTime(&ft, &utc))
    return "?";
  return Format(utc);
}

int DriveIndex(char letter) { return letter - 'C'; }

// --- a page stand-in -----------------------------------------------------------

struct Received {
  std::vector<std::string> paths;
  std::vector<WPARAM> pathCounts;            // files found so far, per path message
  std::vector<WPARAM> recoveredCounts;       // files taken on so far, per file message
  uint64_t progressCount = 0;
  uint32_t lastTotal = 0, maxPosition = 0;
  bool positionPastTotal = false;
  std::vector<std::string> recoveredSources, recoveredDestinations;
};
Received gReceived;
std::function<void(UINT)> gOnMessage;

LRESULT CALLBACK PageProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  switch (m) {
    case WM_UNFORMAT_PATH:
      gReceived.paths.push_back(reinterpret_cast<const char*>(l));
      gReceived.pathCounts.push_back(w);
      break;
    case WM_UNFORMAT_PROGRESS:
      ++gReceived.progressCount;
      gReceived.lastTotal = static_cast<uint32_t>(w);
      gReceived.maxPosition = std::max<uint32_t>(gReceived.maxPosition, static_cast<uint32_t>(l));
      if (static_cast<uint32_t>(l) > static_cast<uint32_t>(w)) gReceived.positionPastTotal = true;
      break;
    case WM_RECOVER_FILE: {
      const RecoverProgressBlock* b = reinterpret_cast<const RecoverProgressBlock*>(l);
      gReceived.recoveredSources.push_back(b->source);
      gReceived.recoveredDestinations.push_back(b->destination);
      gReceived.recoveredCounts.push_back(w);
      break;
    }
    default:
      return DefWindowProcA(h, m, w, l);
  }
  if (gOnMessage) gOnMessage(m);
  return 0;
}

HWND Page() {
  static HWND window = testsupport::MessageWindow("UnformatTestPage", PageProc);
  return window;
}

// Runs fn on a worker thread while this thread serves the page, as the
// unformat pages run their workers.
void Serve(const std::function<void()>& fn) { testsupport::RunPumping(fn); }

int Scan(int kind, char letter) {
  gReceived = Received();
  gUnformatAbort = 0;
  gScanAbort = 0;
  ClearUnformatResults();
  int rc = 99;
  HWND page = Page();   // made on this thread, which serves it
  Serve([&] { rc = RunUnformatScan(kind, DriveIndex(letter), page); });
  return rc;
}

int Recover(const std::string& dest) {
  gReceived.recoveredSources.clear();
  gReceived.recoveredDestinations.clear();
  gReceived.recoveredCounts.clear();
  gRecoverAbort = 0;
  ResetCopyOutCounters();
  gUnformatProgressWindow = Page();
  int failed = -1;
  Serve([&] { failed = RecoverUnformatFiles(dest.c_str()); });
  return failed;
}

template <typename Record>
const Record* Find(const std::vector<Record>& all, const std::string& path) {
  const Record* hit = nullptr;
  for (const Record& r : all)
    if (path == r.path) {
      EXPECT_EQ(hit, nullptr) << "listed twice: " << path;
      hit = &r;
    }
  return hit;
}

struct Cleanup {
  ~Cleanup() {
    gOnMessage = nullptr;
    gUnformatAbort = 0;
    gScanAbort = 0;
    gRecoverAbort = 0;
    gOptUseNtfsMft = 0;
  }
};

// --- FAT -------------------------------------------------------------------------

struct FatCase {
  const char* fixture;
  char letter;
  int kind;
  std::vector<UnformatFatRecord>* files;
  uint32_t oldSpc;   // the cluster size before the format, in sectors
};

class FatUnformat : public ::testing::TestWithParam<FatCase> {};

TEST_P(FatUnformat, FindsTheOldFoldersWithNamesSizesAndTimes) {
  Cleanup cleanup;
  const FatCase& c = GetParam();
  ASSERT_EQ(Scan(c.kind, c.letter), 0);
  const std::vector<UnformatFatRecord>& all = *c.files;
  const std::vector<Expected> expected = ReadExpected(c.fixture);
  ASSERT_FALSE(expected.empty());
  for (const Expected& e : expected) {
    const UnformatFatRecord* r = Find(all, e.path);
    ASSERT_NE(r, nullptr) << "not found: " << e.path;
    EXPECT_EQ(r->size, e.size) << e.path;
    EXPECT_EQ(Format(r->modified), e.mtime) << e.path;
    EXPECT_EQ(r->selected, 1);
    EXPECT_EQ(r->reserved, 0u);
    EXPECT_EQ(r->driveIndex, DriveIndex(c.letter));
    // The old cluster size, whatever the new boot sector says.
    EXPECT_EQ(r->sectorsPerCluster, c.oldSpc) << e.path;
    EXPECT_EQ(r->accessed.wHour + r->accessed.wMinute + r->accessed.wSecond, 0);
    if (e.size != 0) {
      EXPECT_NE(r->startSector, 0u);
    }
  }
  // The root folder was written over: its own files cannot be found, and
  // nothing else but the files of the old folders is listed.
  EXPECT_EQ(all.size(), expected.size());
  // The other kind's vector and the NTFS one stay empty.
  EXPECT_TRUE(gUnformatNtfsFiles.empty());
  EXPECT_TRUE((c.files == &gUnformatFat16Files ? gUnformatFat32Files : gUnformatFat16Files).empty());
}

// The status first; then paths (at most one per gate interval), each with the
// number of files found so far, the last file's at the end.
void ExpectPathsOf(const std::vector<std::string>& files) {
  ASSERT_GE(gReceived.paths.size(), 2u);
  EXPECT_EQ(gReceived.paths[0], kUnformatStartText);
  ASSERT_LE(gReceived.paths.size(), files.size() + 1);
  for (size_t k = 1; k < gReceived.paths.size(); ++k) {
    const WPARAM n = gReceived.pathCounts[k];
    ASSERT_GE(n, 1u);
    ASSERT_LE(n, files.size());
    if (k > 1) EXPECT_GT(n, gReceived.pathCounts[k - 1]);
    EXPECT_EQ(gReceived.paths[k], files[n - 1]);
  }
  EXPECT_EQ(gReceived.pathCounts.back(), files.size());
}

template <typename Record>
std::vector<std::string> PathsOf(const std::vector<Record>& records) {
  std::vector<std::string> out;
  for (const Record& r : records) out.push_back(r.path);
  return out;
}

// The file messages of a copy-out of every record: some of them, each naming
// the file the count says; with every file copied, the last one at the end.
template <typename Record>
void ExpectFileMessagesOf(const std::vector<Record>& records, const std::string& dest, bool everyFileCopied) {
  const auto& r = gReceived;
  ASSERT_FALSE(r.recoveredSources.empty());
  ASSERT_LE(r.recoveredSources.size(), records.size());
  for (size_t k = 0; k < r.recoveredSources.size(); ++k) {
    const WPARAM n = r.recoveredCounts[k];
    ASSERT_GE(n, 1u);
    ASSERT_LE(n, records.size());
    EXPECT_EQ(r.recoveredSources[k], records[n - 1].path);
    if (!dest.empty()) EXPECT_EQ(r.recoveredDestinations[k], dest + records[n - 1].path);
  }
  if (everyFileCopied) EXPECT_EQ(r.recoveredCounts.back(), records.size());
}

TEST_P(FatUnformat, SendsTheStatusThenPathsWithTheirCountAndItsProgress) {
  Cleanup cleanup;
  const FatCase& c = GetParam();
  ASSERT_EQ(Scan(c.kind, c.letter), 0);
  ExpectPathsOf(PathsOf(*c.files));
  EXPECT_GT(gReceived.progressCount, 0u);
  EXPECT_FALSE(gReceived.positionPastTotal);
  uint64_t total = 0;
  EXPECT_EQ(DetectVolumeFileSystem(DriveIndex(c.letter), &total), c.kind);
  // The whole device is read: the progress total is its size.
  EXPECT_GE(gReceived.lastTotal, total);
}

TEST_P(FatUnformat, DetectFindsTheSameFiles) {
  Cleanup cleanup;
  const FatCase& c = GetParam();
  ASSERT_EQ(Scan(kUnformatDetect, c.letter), 0);
  EXPECT_EQ(c.files->size(), ReadExpected(c.fixture).size());
}

TEST_P(FatUnformat, CopyOutGivesBackTheContiguousFilesByteForByte) {
  Cleanup cleanup;
  const FatCase& c = GetParam();
  ASSERT_EQ(Scan(c.kind, c.letter), 0);
  const std::string dest = ScratchDir(std::string("copy-") + c.fixture);
  for (UnformatFatRecord& r : *c.files) r.selected = 1;
  EXPECT_EQ(Recover(dest), 0);
  for (const Expected& e : ReadExpected(c.fixture)) {
    EXPECT_EQ(Sha256OfFile(dest + e.path), e.sha256) << e.path;
  }
  // The files the page hears of say where they came from and where they went.
  ExpectFileMessagesOf(*c.files, dest, true);
  EXPECT_GT(gRecoveredSectors.load(), 0u);
  // A second run, started as the page starts it, counts its sectors from 0
  // and numbers clashing names.
  const uint32_t first = gRecoveredSectors.load();
  EXPECT_EQ(Recover(dest), 0);
  EXPECT_EQ(gRecoveredSectors.load(), first);
  const Expected e = ReadExpected(c.fixture)[0];
  const size_t dot = e.path.find_last_of('.');
  EXPECT_EQ(Sha256OfFile(dest + e.path.substr(0, dot) + "_001" + e.path.substr(dot)), e.sha256);
}

TEST_P(FatUnformat, CopiesOnlyTheTickedFiles) {
  Cleanup cleanup;
  const FatCase& c = GetParam();
  ASSERT_EQ(Scan(c.kind, c.letter), 0);
  const std::string dest = ScratchDir(std::string("ticked-") + c.fixture);
  for (UnformatFatRecord& r : *c.files) r.selected = 0;
  (*c.files)[1].selected = 1;
  EXPECT_EQ(Recover(dest), 0);
  ASSERT_EQ(gReceived.recoveredSources.size(), 1u);
  EXPECT_EQ(gReceived.recoveredSources[0], (*c.files)[1].path);
  EXPECT_EQ(Sha256OfFile(dest + (*c.files)[0].path), "");
}

INSTANTIATE_TEST_SUITE_P(Volumes, FatUnformat,
                         ::testing::Values(FatCase{"fat16-unformat", 'F', kUnformatFat16, &gUnformatFat16Files, 8},
                                           FatCase{"fat32-unformat", 'G', kUnformatFat32, &gUnformatFat32Files, 8},
                                           // Folders over many clusters, read on past their first.
                                           FatCase{"fat32-unformat-folders", 'J', kUnformatFat32,
                                                   &gUnformatFat32Files, 1},
                                           // 64 KiB clusters.
                                           FatCase{"fat16-unformat-64k", 'K', kUnformatFat16, &gUnformatFat16Files,
                                                   128}),
                         [](const ::testing::TestParamInfo<FatCase>& i) {
                           return std::string(i.param.kind == kUnformatFat16 ? "Fat16" : "Fat32") + i.param.letter;
                         });

TEST(FatUnformatCopy, NeverWritesToTheScannedVolume) {
  Cleanup cleanup;
  // W is a private copy of the FAT16 volume: were the refusal to fail, only
  // the copy would be harmed.
  ASSERT_EQ(Scan(kUnformatFat16, 'W'), 0);
  ASSERT_FALSE(gUnformatFat16Files.empty());
  for (UnformatFatRecord& r : gUnformatFat16Files) r.selected = 1;
  EXPECT_EQ(Recover("W:\\saved"), static_cast<int>(gUnformatFat16Files.size()));
  EXPECT_TRUE(gReceived.recoveredSources.empty());
  EXPECT_EQ(GetFileAttributesA("W:\\saved"), INVALID_FILE_ATTRIBUTES);
}

TEST(FatUnformatCopy, PathsFromTheDiskStayInTheDestination) {
  Cleanup cleanup;
  ASSERT_EQ(Scan(kUnformatFat16, 'F'), 0);
  ASSERT_FALSE(gUnformatFat16Files.empty());
  const UnformatFatRecord model = gUnformatFat16Files[0];
  gUnformatFat16Files.clear();
  for (const char* path : {"..\\..\\..\\escape.txt", "C:\\abs.txt", "\\\\server\\share\\x.txt", "a/../../b.txt",
                           "CON", "dots\\...\\x.txt"}) {
    UnformatFatRecord r = model;
    std::memset(r.path, 0, sizeof r.path);
    std::strncpy(r.path, path, sizeof r.path - 1);
    gUnformatFat16Files.push_back(r);
  }
  const std::string dest = ScratchDir("escape");
  EXPECT_EQ(Recover(dest), 0);
  ExpectFileMessagesOf(gUnformatFat16Files, "", true);
  for (const std::string& d : gReceived.recoveredDestinations) {
    EXPECT_EQ(d.compare(0, dest.size(), dest), 0) << d;
    EXPECT_EQ(d.find("\\..\\"), std::string::npos) << d;
    EXPECT_NE(GetFileAttributesA(d.c_str()), INVALID_FILE_ATTRIBUTES) << d;
  }
}

// --- NTFS --------------------------------------------------------------------------

struct NtfsCase {
  const char* fixture;
  char letter;
  uint8_t oldSectorsPerCluster;
};

class NtfsUnformat : public ::testing::TestWithParam<NtfsCase> {};

TEST_P(NtfsUnformat, FindsTheOldRecordsWithTheirFolders) {
  Cleanup cleanup;
  const NtfsCase& c = GetParam();
  ASSERT_EQ(Scan(kUnformatNtfs, c.letter), 0);
  const std::vector<Expected> expected = ReadExpected(c.fixture);
  ASSERT_FALSE(expected.empty());
  for (const Expected& e : expected) {
    const UnformatNtfsRecord* r = Find(gUnformatNtfsFiles, e.path);
    ASSERT_NE(r, nullptr) << "not found: " << e.path;
    EXPECT_EQ(UnformatNtfsSize(*r), e.size) << e.path;
    EXPECT_EQ(FormatUtc(r->modified), e.mtime) << e.path;
    EXPECT_EQ(r->selected, 0);
    EXPECT_EQ(r->driveIndex, DriveIndex(c.letter));
    EXPECT_EQ(r->sectorsPerCluster, c.oldSectorsPerCluster);
  }
  // Only the user's files: none of the file system's own, old or new.
  for (const UnformatNtfsRecord& r : gUnformatNtfsFiles) {
    EXPECT_NE(r.path[0], '$') << r.path;
    EXPECT_LT(strnlen(r.path, sizeof r.path), 260u);
  }
  EXPECT_EQ(gUnformatNtfsFiles.size(), expected.size());
  ExpectPathsOf(PathsOf(gUnformatNtfsFiles));
}

TEST_P(NtfsUnformat, CopyOutGivesBackTheFiles) {
  Cleanup cleanup;
  const NtfsCase& c = GetParam();
  ASSERT_EQ(Scan(kUnformatDetect, c.letter), 0);
  ASSERT_FALSE(gUnformatNtfsFiles.empty());
  for (UnformatNtfsRecord& r : gUnformatNtfsFiles) r.selected = 1;
  const std::string dest = ScratchDir(std::string("copy-") + c.fixture);
  EXPECT_EQ(Recover(dest), 0);
  ExpectFileMessagesOf(gUnformatNtfsFiles, "", false);
  for (const Expected& e : ReadExpected(c.fixture)) {
    if (!e.sha256.empty()) {
      EXPECT_EQ(Sha256OfFile(dest + e.path), e.sha256) << e.path;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Volumes, NtfsUnformat,
                         ::testing::Values(NtfsCase{"ntfs-unformat", 'N', 128},
                                           NtfsCase{"ntfs-unformat-same", 'O', 8}),
                         [](const ::testing::TestParamInfo<NtfsCase>& i) {
                           return std::string(i.param.letter == 'N' ? "Moved" : "SamePlace");
                         });

TEST(NtfsUnformatOptions, TheOldMftsOwnRunsFindTheSameFiles) {
  Cleanup cleanup;
  gOptUseNtfsMft = 1;
  ASSERT_EQ(Scan(kUnformatNtfs, 'N'), 0);
  EXPECT_EQ(gUnformatNtfsFiles.size(), ReadExpected("ntfs-unformat").size());
  EXPECT_TRUE(gUnformatNtfsSource.valid);
  EXPECT_EQ(gUnformatNtfsSource.mftStartSector, 256u);
  EXPECT_FALSE(gUnformatNtfsSource.linear);
}

TEST(NtfsUnformatOptions, LocatesTheOldMftPastTheNewOne) {
  HANDLE v = OpenVolume(DriveIndex('N'));
  ASSERT_NE(v, nullptr);
  uint64_t start = 0;
  EXPECT_EQ(LocateMft(v, DriveIndex('N'), GetDeviceSectorCount(v), &start), 128);
  EXPECT_EQ(start, 256u);
  CloseVolume(v);
}

// --- damaged volumes and stops -----------------------------------------------------

TEST(UnformatDamage, LoopsGarbageAndDepthEndCleanly) {
  Cleanup cleanup;
  ASSERT_EQ(Scan(kUnformatFat16, 'H'), 0);
  for (const Expected& e : ReadExpected("fat16-unformat-hostile")) {
    const UnformatFatRecord* r = Find(gUnformatFat16Files, e.path);
    ASSERT_NE(r, nullptr) << e.path;
    EXPECT_EQ(r->size, e.size);
  }
  for (const UnformatFatRecord& r : gUnformatFat16Files) {
    const std::string p(r.path, strnlen(r.path, sizeof r.path));
    ASSERT_LT(p.size(), sizeof r.path);
    EXPECT_EQ(p.find("NOCLUS"), std::string::npos) << "a file with data and no cluster";
    EXPECT_EQ(p.find("FAR.BIN"), std::string::npos) << "a file past the volume";
    EXPECT_NE(p[0], '\\');
  }
  // Whatever garbage was listed is written below the destination only.
  for (UnformatFatRecord& r : gUnformatFat16Files) r.selected = 1;
  const std::string dest = ScratchDir("hostile");
  Recover(dest);
  for (const std::string& d : gReceived.recoveredDestinations) EXPECT_EQ(d.compare(0, dest.size(), dest), 0) << d;
}

TEST(UnformatDamage, RandomBytesAreNoVolume) {
  Cleanup cleanup;
  EXPECT_EQ(DetectVolumeFileSystem(DriveIndex('I'), nullptr), 3);
  EXPECT_EQ(Scan(kUnformatDetect, 'I'), kUnformatNotSupported) << "no file system to detect";
  // Scanned as FAT32 it is read to the end: no old folder, nothing found.
  EXPECT_EQ(Scan(kUnformatFat32, 'I'), kUnformatScanned);
  EXPECT_TRUE(gUnformatFat32Files.empty());
  EXPECT_EQ(Scan(kUnformatNtfs, 'I'), 0);
  EXPECT_TRUE(gUnformatNtfsFiles.empty());
  EXPECT_EQ(Scan(7, 'I'), 0) << "an unknown kind does nothing";
}

// Every kind, asked for or detected, counts in 512-byte sectors: a volume of
// 4096-byte sectors is refused with its size before anything is listed.
TEST(UnformatDamage, OtherSectorSizeIsRefused) {
  Cleanup cleanup;
  for (int kind : {kUnformatDetect, kUnformatFat16, kUnformatFat32, kUnformatNtfs}) {
    EXPECT_EQ(Scan(kind, 'L'), kUnformatOtherSectorSize) << kind;
    EXPECT_EQ(gUnformatError, 4096u) << kind;
    EXPECT_TRUE(gUnformatFat16Files.empty() && gUnformatFat32Files.empty() && gUnformatNtfsFiles.empty());
  }
}

TEST(UnformatDamage, NtfsLoopsAndGarbageRecords) {
  Cleanup cleanup;
  ASSERT_EQ(Scan(kUnformatNtfs, 'P'), 0);
  const UnformatNtfsRecord* good = Find(gUnformatNtfsFiles, "good.txt");
  ASSERT_NE(good, nullptr);
  EXPECT_EQ(UnformatNtfsSize(*good), 444u);
  bool loop = false;
  for (const UnformatNtfsRecord& r : gUnformatNtfsFiles) {
    const std::string p(r.path);
    if (p.find("loop.txt") != std::string::npos) loop = true;
    EXPECT_LT(p.size(), 260u);
  }
  EXPECT_TRUE(loop) << "a file whose folders loop is still listed";
}

TEST(UnformatStop, TheScanEndsOnEitherFlag) {
  Cleanup cleanup;
  // Stop as soon as the first file is reported.
  gOnMessage = [](UINT m) {
    if (m == WM_UNFORMAT_PATH && gReceived.paths.size() == 2) gUnformatAbort = 1;
  };
  EXPECT_EQ(Scan(kUnformatFat32, 'G'), 0);
  EXPECT_EQ(gUnformatFat32Files.size(), 1u);
  gOnMessage = [](UINT m) {
    if (m == WM_UNFORMAT_PATH && gReceived.paths.size() == 2) gScanAbort = 1;
  };
  EXPECT_EQ(Scan(kUnformatNtfs, 'N'), 0);
  EXPECT_EQ(gUnformatNtfsFiles.size(), 1u);
  gOnMessage = nullptr;
  gScanAbort = 1;
  EXPECT_EQ(ScanFatUnformat(false, DriveIndex('F')), -2);
  gScanAbort = 0;
}

TEST(UnformatStop, TheCopyOutEndsOnItsFlag) {
  Cleanup cleanup;
  ASSERT_EQ(Scan(kUnformatFat16, 'F'), 0);
  for (UnformatFatRecord& r : gUnformatFat16Files) r.selected = 1;
  // The stop comes as the second file has been created and announced: the
  // first is whole, the second is cut before its first byte. The first
  // announcement is held longer than the gate's interval, so that the
  // second one is due.
  gOnMessage = [](UINT m) {
    if (m == WM_RECOVER_FILE && gReceived.recoveredSources.size() == 1) Sleep(150);
    if (m == WM_RECOVER_FILE && gReceived.recoveredSources.size() == 2) gRecoverAbort = 1;
  };
  const std::string dest = ScratchDir("stopped");
  const int notWhole = Recover(dest);
  ASSERT_EQ(gReceived.recoveredSources.size(), 2u);
  EXPECT_EQ(notWhole, 1) << "the file the stop cut counts as not recovered";
  // No file is left under its real name cut short: the first is whole, the
  // second is gone.
  const std::vector<Expected> expected = ReadExpected("fat16-unformat");
  auto sha = [&](const std::string& path) {
    for (const Expected& e : expected)
      if (e.path == path) return e.sha256;
    return std::string("?");
  };
  EXPECT_EQ(Sha256OfFile(gReceived.recoveredDestinations[0]), sha(gReceived.recoveredSources[0]));
  EXPECT_EQ(GetFileAttributesA(gReceived.recoveredDestinations[1].c_str()), INVALID_FILE_ATTRIBUTES)
      << gReceived.recoveredDestinations[1];
}

// Run by engine_unformat_fulldest (engine/tests/full_destination.sh): the
// destination SALVORA_FULL_DEST fills up after a few kilobytes, as a full disk
// does. Elsewhere it is skipped.
TEST(UnformatFullDestination, FilesTheDestinationCutShortAreRemovedAndCounted) {
  const std::string dest = testsupport::EnvText("SALVORA_FULL_DEST");
  if (dest.empty()) GTEST_SKIP() << "runs under full_destination.sh only";
  Cleanup cleanup;
  ASSERT_EQ(Scan(kUnformatFat16, 'F'), 0);
  for (UnformatFatRecord& r : gUnformatFat16Files) r.selected = 1;
  const int notWhole = Recover(dest);
  // Each file is either whole under its name or not there at all.
  int missing = 0;
  for (const Expected& e : ReadExpected("fat16-unformat")) {
    const std::vector<std::string> outputs = testsupport::OutputsFor(dest + e.path);
    if (outputs.empty()) {
      ++missing;
      continue;
    }
    for (const std::string& o : outputs) EXPECT_EQ(Sha256OfFile(o), e.sha256) << "cut short: " << o;
  }
  EXPECT_GT(missing, 0) << "the destination was to fill up";
  EXPECT_EQ(notWhole, missing) << "every file the destination cut counts as not recovered";
}

}  // namespace
