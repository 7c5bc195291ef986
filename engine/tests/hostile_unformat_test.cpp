// The unformat road on formatted volumes made to fool it (recipes in
// tests/fixtures/recipes/hostile_unformat.py and unformat.py), each scanned and
// copied out whole: the scan ends (ctest's time limit bounds it), lists the old
// volume's own files and nothing of a decoy, writes only below the
// destination, no file larger than the volume, and leaves the image as it was.
//   F: unformat-decoy-image   G: unformat-dotdot-decoy   H: unformat-odd-entries
//   I: fat16-unformat-hostile J: unformat-garbage         K: ntfs-unformat-hostile
// Positions past 2^32 sectors: a sparse image made here (no fixture needed).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "copyout/fat_copy.h"
#include "disk/raw.h"
#include "records/records.h"
#include "state.h"
#include "testsupport.h"
#include "unformat/unformat.h"
#include "unformat/unformat_copy.h"
#include "unformat/unformat_internal.h"

using testsupport::ScratchDir;
using testsupport::Sha256OfFile;

namespace {

int DriveIndex(char letter) { return letter - 'C'; }

struct Expected {
  std::string path;   // code page 936
  uint64_t size = 0;
  std::string sha256;
  std::string tags;
};

std::vector<Expected> ReadExpected(const std::string& fixture) {
  std::vector<Expected> out;
  for (const testsupport::ScanRow& r : testsupport::ReadScanTable(fixture, "unformat.tsv"))
    out.push_back({testsupport::Utf8ToAnsi(r.path), r.size, r.sha256, r.tags});
  return out;
}

std::string RecordPath(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

// Every path the FAT vectors hold, in order.
std::vector<std::string> FatPaths() {
  std::vector<std::string> out;
  for (const auto* v : {&gUnformatFat16Files, &gUnformatFat32Files})
    for (const UnformatFatRecord& r : *v) out.push_back(RecordPath(r.path, sizeof r.path));
  return out;
}

// Every file below folder (recursively), with its size.
void ListFiles(const std::string& folder, std::map<std::string, uint64_t>* out) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListFiles(folder + name + "\\", out);
    else
      (*out)[folder + name] = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

struct Cleanup {
  ~Cleanup() {
    gUnformatAbort = 0;
    gScanAbort = 0;
    gRecoverAbort = 0;
  }
};

// Scans the drive with the kind, ticks everything, copies it out, and checks
// what every hostile volume must give: a bounded run, output only below the
// destination, no file larger than the volume, the image unchanged.
struct RoadRun {
  int scanResult = 99;
  int notWhole = -1;
  std::string dest;
  std::map<std::string, uint64_t> written;
};

RoadRun RunRoad(int kind, char letter, const std::string& name) {
  Cleanup cleanup;
  RoadRun run;
  const std::string image = testsupport::MappedImage(letter);
  const std::string before = Sha256OfFile(image);
  EXPECT_FALSE(before.empty()) << image;
  ClearUnformatResults();
  run.scanResult = RunUnformatScan(kind, DriveIndex(letter), nullptr);
  for (auto* v : {&gUnformatFat16Files, &gUnformatFat32Files})
    for (UnformatFatRecord& r : *v) r.selected = 1;
  for (UnformatNtfsRecord& r : gUnformatNtfsFiles) r.selected = 1;
  // The destination is a folder inside a folder of its own: whatever lands
  // beside it shows.
  const std::string outer = ScratchDir("road-" + name);
  run.dest = outer + "into\\";
  CreateDirectoryA(run.dest.c_str(), nullptr);
  gUnformatProgressWindow = nullptr;
  ResetCopyOutCounters();
  run.notWhole = RecoverUnformatFiles(run.dest.c_str());
  ListFiles(run.dest, &run.written);
  std::map<std::string, uint64_t> all;
  ListFiles(outer, &all);
  EXPECT_EQ(all.size(), run.written.size()) << "files written beside the destination";

  HANDLE v = OpenVolume(DriveIndex(letter));
  const uint64_t volumeBytes = GetDeviceSectorCount(v) * 512;
  CloseVolume(v);
  for (const auto& f : run.written) EXPECT_LE(f.second, volumeBytes) << f.first << " is larger than the volume";
  EXPECT_EQ(Sha256OfFile(image), before) << "the scanned image changed";
  return run;
}

// The expected files are found, each once, with their sizes, and nothing else.
void ExpectExactly(const std::vector<Expected>& expected) {
  std::vector<std::string> paths = FatPaths();
  ASSERT_FALSE(expected.empty());
  for (const Expected& e : expected) {
    auto it = std::find(paths.begin(), paths.end(), e.path);
    ASSERT_NE(it, paths.end()) << "not found: " << testsupport::AnsiToUtf8(e.path);
    paths.erase(it);
  }
  for (const std::string& extra : paths) ADD_FAILURE() << "listed but not on the old volume: " << extra;
}

TEST(HostileUnformat, AVolumeImageKeptAsAFileDoesNotLendItsGeometry) {
  // The image holds eight folders, the old volume three: a vote alone would
  // take the image's geometry. Its own boot sector gives it away.
  RoadRun run = RunRoad(kUnformatDetect, 'F', "decoy-image");
  EXPECT_EQ(run.scanResult, kUnformatScanned);
  const std::vector<Expected> expected = ReadExpected("unformat-decoy-image");
  ExpectExactly(expected);
  for (const UnformatFatRecord& r : gUnformatFat16Files) EXPECT_EQ(r.sectorsPerCluster, 4u) << r.path;
  EXPECT_EQ(run.notWhole, 0);
  for (const Expected& e : expected) EXPECT_EQ(Sha256OfFile(run.dest + e.path), e.sha256) << e.path;
  EXPECT_EQ(run.written.size(), expected.size());
}

TEST(HostileUnformat, TwoFolderLikeSectorsInAFileAreOutvoted) {
  RoadRun run = RunRoad(kUnformatFat16, 'G', "dotdot");
  EXPECT_EQ(run.scanResult, kUnformatScanned);
  const std::vector<Expected> expected = ReadExpected("unformat-dotdot-decoy");
  ExpectExactly(expected);
  EXPECT_EQ(run.notWhole, 0);
  for (const Expected& e : expected) EXPECT_EQ(Sha256OfFile(run.dest + e.path), e.sha256) << e.path;
}

TEST(HostileUnformat, AnOversizeFileStopsAtTheVolumeAndOnePathTwiceGivesTwoFiles) {
  RoadRun run = RunRoad(kUnformatFat16, 'H', "odd");
  EXPECT_EQ(run.scanResult, kUnformatScanned);
  const std::vector<Expected> expected = ReadExpected("unformat-odd-entries");
  ExpectExactly(expected);
  // The file whose entry claims 4 GiB is written as far as the volume
  // reaches, kept, and counted as damaged, apart from the failed ones.
  EXPECT_EQ(gRecoverDamagedFiles.load(), 1u);
  EXPECT_EQ(run.notWhole, 0);
  const Expected* huge = nullptr;
  std::vector<const Expected*> twins;
  for (const Expected& e : expected) {
    if (e.tags.find("oversize") != std::string::npos) huge = &e;
    if (e.tags.find("duplicate") != std::string::npos) twins.push_back(&e);
  }
  ASSERT_NE(huge, nullptr);
  EXPECT_NE(GetFileAttributesA((run.dest + huge->path).c_str()), INVALID_FILE_ATTRIBUTES);
  // Both records of one path are copied, the second under a numbered name
  // (their folder is too long for the destination: both land in its root).
  ASSERT_EQ(twins.size(), 2u);
  std::map<std::string, std::string> bySha;
  for (const auto& f : run.written) bySha[Sha256OfFile(f.first)] = f.first;
  ASSERT_TRUE(bySha.count(twins[0]->sha256)) << "the first of the two is not written";
  ASSERT_TRUE(bySha.count(twins[1]->sha256)) << "the second of the two is not written";
  const std::string first = bySha[twins[0]->sha256], second = bySha[twins[1]->sha256];
  EXPECT_EQ(first.substr(first.find_last_of('\\') + 1), "same name.txt");
  EXPECT_EQ(second.substr(second.find_last_of('\\') + 1), "same name_001.txt");
}

TEST(HostileUnformat, EarlierHostileVolumesEndCleanly) {
  // Folders that loop or point past the volume; random bytes; NTFS records
  // of garbage: every run ends, within the destination, image untouched.
  RoadRun loops = RunRoad(kUnformatFat16, 'I', "loops");
  EXPECT_EQ(loops.scanResult, kUnformatScanned);
  EXPECT_FALSE(gUnformatFat16Files.empty());
  RoadRun garbage = RunRoad(kUnformatDetect, 'J', "garbage");
  EXPECT_EQ(garbage.scanResult, kUnformatNotSupported);
  EXPECT_TRUE(garbage.written.empty());
  RoadRun garbage16 = RunRoad(kUnformatFat16, 'J', "garbage16");
  EXPECT_EQ(garbage16.scanResult, kUnformatScanned) << "read to the end, nothing found";
  EXPECT_TRUE(gUnformatFat16Files.empty());
  RoadRun ntfs = RunRoad(kUnformatNtfs, 'K', "ntfs");
  EXPECT_EQ(ntfs.scanResult, kUnformatScanned);
}

TEST(HostileUnformat, AVolumeThatCannotBeOpenedIsAnErrorNotNothingFound) {
  // Q is not mapped: no volume behind the letter.
  EXPECT_EQ(RunUnformatScan(kUnformatDetect, DriveIndex('Q'), nullptr), kUnformatCannotRead);
  EXPECT_NE(gUnformatError, 0u);
  for (int kind : {kUnformatNtfs, kUnformatFat32, kUnformatFat16}) {
    gUnformatError = 0;
    EXPECT_EQ(RunUnformatScan(kind, DriveIndex('Q'), nullptr), kUnformatCannotRead) << kind;
    EXPECT_NE(gUnformatError, 0u) << kind;
  }
}

// --- the geometry vote, as a function ------------------------------------------

TEST(FatGeometryVote, TheMostFolderStartsWinAndATieIsNoAnswer) {
  using unformat::FatVolumeImage;
  using unformat::FolderStart;
  uint32_t spc = 0;
  uint64_t start = 0;
  const uint64_t volume = 131072;
  // Three folders of a volume with 4-sector clusters from sector 200, two
  // sectors that agree on 1-sector clusters and come first.
  std::vector<FolderStart> folders = {{300, 12}, {303, 15}, {1000, 202}, {2000, 452}, {4000, 952}};
  ASSERT_TRUE(unformat::ChooseFatGeometry(folders, {}, nullptr, false, volume, &spc, &start));
  EXPECT_EQ(spc, 4u);
  EXPECT_EQ(start, 200u);
  // One folder more for the other geometry: a tie, no answer ...
  folders.push_back({310, 22});
  EXPECT_FALSE(unformat::ChooseFatGeometry(folders, {}, nullptr, false, volume, &spc, &start));
  // ... unless the new file system has one of the two geometries: a quick
  // format with the old settings.
  const FatVolumeImage sameLayout = {0, 4, 200};
  ASSERT_TRUE(unformat::ChooseFatGeometry(folders, {}, &sameLayout, false, volume, &spc, &start));
  EXPECT_EQ(spc, 4u);
  EXPECT_EQ(start, 200u);
  const FatVolumeImage otherLayout = {0, 8, 232};
  EXPECT_FALSE(unformat::ChooseFatGeometry(folders, {}, &otherLayout, false, volume, &spc, &start));
  // A single folder agrees with anything: no answer either.
  EXPECT_FALSE(unformat::ChooseFatGeometry({{1000, 202}}, {}, nullptr, false, volume, &spc, &start));
  // A geometry whose cluster 2 lies in the middle of the volume (past any
  // FAT a volume of this size can have) is not a volume's.
  std::vector<FolderStart> deep = {{100000, 10}, {100008, 12}, {100016, 14}};
  EXPECT_FALSE(unformat::ChooseFatGeometry(deep, {}, nullptr, false, volume, &spc, &start));
  // The geometry of a volume image found inside is the image's.
  std::vector<FolderStart> inner = {{5000, 10}, {5001, 11}, {5002, 12}, {1000, 202}, {2000, 452}};
  ASSERT_TRUE(unformat::ChooseFatGeometry(inner, {}, nullptr, false, volume, &spc, &start));
  EXPECT_EQ(spc, 1u);
  EXPECT_TRUE(unformat::ChooseFatGeometry(inner, {FatVolumeImage{4900, 1, 4992}}, nullptr, false, volume, &spc, &start));
  EXPECT_EQ(spc, 4u);
  EXPECT_EQ(start, 200u);
  // FAT32 folders past sector 2^32.
  const uint64_t big = 1ull << 34;
  std::vector<FolderStart> distant = {{32768 + (uint64_t(40000000) - 2) * 128, 40000000},
                                  {32768 + (uint64_t(40000005) - 2) * 128, 40000005}};
  ASSERT_TRUE(unformat::ChooseFatGeometry(distant, {}, nullptr, true, big, &spc, &start));
  EXPECT_EQ(spc, 128u);
  EXPECT_EQ(start, 32768u);
}

// --- positions past 2^32 sectors -----------------------------------------------

// A sparse image of 2.2 TiB: an old FAT32 folder with 64 KB clusters whose
// cluster lies past sector 2^32, listing a file that lies further still. The
// walk and the copy-out must reach them (a 32-bit sector would wrap).
TEST(FarPositions, FoldersAndFilesPastTwoTerabytesAreWalkedAndCopied) {
  const std::string dir = ScratchDir("far");
  const std::string image = dir + "far.img";
  HANDLE f = CreateFileA(image.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD got = 0;
  DeviceIoControl(f, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &got, nullptr);
  const uint32_t spc = 128;
  const uint64_t dataStart = 32768;
  const uint32_t folderCluster = 33600000, fileCluster = 33600100;   // sectors past 2^32
  const uint64_t folderSector = dataStart + uint64_t(folderCluster - 2) * spc;
  const uint64_t fileSector = dataStart + uint64_t(fileCluster - 2) * spc;
  ASSERT_GT(folderSector, 0xFFFFFFFFull);
  const uint64_t total = fileSector + 4096;
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(total * 512);
  ASSERT_TRUE(SetFilePointerEx(f, end, nullptr, FILE_BEGIN) && SetEndOfFile(f));
  std::vector<uint8_t> folder(spc * 512, 0);
  auto entry = [&](size_t i, const char* name, uint8_t attr, uint32_t cluster, uint32_t size) {
    uint8_t* e = folder.data() + i * 32;
    std::memcpy(e, name, 11);
    e[11] = attr;
    e[20] = static_cast<uint8_t>(cluster >> 16);
    e[21] = static_cast<uint8_t>(cluster >> 24);
    e[26] = static_cast<uint8_t>(cluster);
    e[27] = static_cast<uint8_t>(cluster >> 8);
    std::memcpy(e + 28, &size, 4);
  };
  entry(0, ".          ", 0x10, folderCluster, 0);
  entry(1, "..         ", 0x10, 0, 0);
  entry(2, "FAR     BIN", 0x20, fileCluster, 70000);
  std::string data(70000, 0);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + (i >> 9));
  auto writeAt = [&](uint64_t sector, const void* p, DWORD n) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(sector * 512);
    DWORD done = 0;
    return SetFilePointerEx(f, at, nullptr, FILE_BEGIN) && WriteFile(f, p, n, &done, nullptr) && done == n;
  };
  ASSERT_TRUE(writeAt(folderSector, folder.data(), static_cast<DWORD>(folder.size())));
  ASSERT_TRUE(writeAt(fileSector, data.data(), static_cast<DWORD>(data.size())));
  CloseHandle(f);

  HANDLE v = CreateFileA(image.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(v, INVALID_HANDLE_VALUE);
  ClearUnformatResults();
  // The drive index only names the records' volume; reads go to the handle.
  const int drive = DriveIndex('X');
  EXPECT_EQ(unformat::WalkFatUnformatFolders(true, drive, v, spc, dataStart, total, {{folderSector, folderCluster}}),
            0);
  ASSERT_EQ(gUnformatFat32Files.size(), 1u);
  const UnformatFatRecord r = gUnformatFat32Files[0];
  EXPECT_STREQ(r.path, "DIR0\\FAR.BIN");
  EXPECT_EQ(r.startSector, fileSector);
  EXPECT_EQ(r.size, 70000u);
  // The copy-out reads it back from there.
  const std::string out = dir + "far.bin";
  HANDLE o = CreateFileA(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(o, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WriteContiguousSectors(drive, v, r.startSector, r.sectorsPerCluster, r.size, o), 0);
  CloseHandle(o);
  CloseHandle(v);
  EXPECT_EQ(Sha256OfFile(out), testsupport::Sha256Hex(data.data(), data.size()));
  DeleteFileA(image.c_str());
  ClearUnformatResults();
}

}  // namespace
