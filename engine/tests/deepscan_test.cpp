// The signature scan on images holding real files made by third-party tools
// at known sectors: every file found with its type, first sector and end,
// the messages the page gets, photorec (testdisk) as a second opinion, the
// stop flag, sources with one hit or none, a source that is not a whole
// number of blocks, and headers that promise what their bytes do not keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "deepscan/block_reader.h"
#include "deepscan_test_util.h"
#include "disk/raw.h"
#include "signatures/signature_table.h"

using namespace deeptest;
using testsupport::FixtureImage;
using testsupport::MappedDisk;
using testsupport::MappedImage;

namespace {

constexpr char kVolume = 'S';     // deepscan-volume
constexpr char kNothing = 'O';    // deepscan-nothing
constexpr char kTenK = 'T';       // deepscan-10k
constexpr char kHostile = 'U';    // deepscan-hostile
constexpr char kSingle = 'V';     // deepscan-single
constexpr char kStreams = 'R';   // deepscan-streams
constexpr char kTail = 'P';      // deepscan-tail
constexpr char kOffice = 'Q';    // deepscan-office
constexpr char kVideo = 'N';     // deepscan-video
constexpr int kDisk = 2;          // deepscan-disk
constexpr int kFarDisk = 3;       // deepscan-far: 2^32 + 24,576 sectors, sparse
constexpr uint64_t kFar = 1ull << 32;

// Each hit ends where its structure says (refined types) or where the next
// hit begins (the others), the last at the end of the source.
void ExpectHitsAre(const std::vector<Hit>& truth, uint64_t sourceSectors, uint16_t source) {
  ASSERT_EQ(gFoundFiles.size(), truth.size());
  std::map<std::string, int> counters;
  for (size_t i = 0; i < truth.size(); ++i) {
    const FoundFileRecord& r = gFoundFiles[i];
    const Hit& h = truth[i];
    SCOPED_TRACE(h.source);
    EXPECT_EQ(TypeOf(r), h.type);
    char name[64];
    std::snprintf(name, sizeof name, "%s\\%08d.%s", h.type.c_str(), ++counters[h.type], h.type.c_str());
    EXPECT_EQ(NameOf(r), name);
    EXPECT_EQ(r.firstSector, h.first);
    uint64_t partEnd = i + 1 < truth.size() ? truth[i + 1].first - 1 : sourceSectors - 1;
    if (h.refined) {
      EXPECT_EQ(r.lastSector, std::min<uint64_t>(partEnd, h.first + h.Sectors() - 1));
    } else {
      EXPECT_EQ(r.lastSector, partEnd);
    }
    EXPECT_EQ(r.source, source);
    EXPECT_EQ(r.selected, 1u);
  }
}

}  // namespace

TEST(DeepScanVolume, FindsEveryFileWithItsTypeFirstSectorAndEnd) {
  std::vector<Hit> truth = ReadHits("deepscan-volume");
  ASSERT_GT(truth.size(), 20u);
  uint64_t sectors = ImageSectors(MappedImage(kVolume));
  ASSERT_EQ(Scan(VolumeTarget(kVolume)), kDeepScanDone);
  ExpectHitsAre(truth, sectors, static_cast<uint16_t>(VolumeTarget(kVolume)));

  // Found messages, sent, each naming the newest hit with the count so far:
  // the first hit's at once, the last one's at the end, at most one per
  // 50 ms between; one progress message per 4 MB block with the source's
  // size, the last block short.
  std::vector<Received> found = Of(WM_RAWSCAN_FOUND);
  ASSERT_GE(found.size(), 2u);
  ASSERT_LE(found.size(), gFoundFiles.size());
  size_t previous = 0;
  for (const Received& r : found) {
    EXPECT_TRUE(r.sent);
    ASSERT_GT(r.wParam, previous);
    ASSERT_LE(r.wParam, gFoundFiles.size());
    previous = r.wParam;
    EXPECT_EQ(r.text, NameOf(gFoundFiles[r.wParam - 1]));
  }
  EXPECT_EQ(found.front().wParam, 1u);
  EXPECT_EQ(found.back().wParam, gFoundFiles.size());
  // Progress at most once per block (the gate holds most back), each naming
  // the start of a 4 MB block with the source's size, in order, the first
  // block's and the last block's always.
  std::vector<Received> progress = Of(WM_RAWSCAN_PROGRESS);
  ASSERT_GE(progress.size(), 2u);
  ASSERT_LE(progress.size(), (sectors + 8191) / 8192);
  for (size_t i = 0; i < progress.size(); ++i) {
    EXPECT_TRUE(progress[i].sent);
    EXPECT_EQ(progress[i].wParam, sectors);
    EXPECT_EQ(static_cast<uint64_t>(progress[i].lParam) % 8192, 0u);
    if (i > 0) EXPECT_GT(progress[i].lParam, progress[i - 1].lParam);
  }
  EXPECT_EQ(progress.front().lParam, 0);
  EXPECT_EQ(static_cast<uint64_t>(progress.back().lParam), (sectors - 1) / 8192 * 8192);
}

TEST(DeepScanVolume, FindsWhatPhotorecCarvesFromTheSameImage) {
  std::vector<Carved> theirs = ReadPhotorec("deepscan-volume");
  std::vector<Hit> truth = ReadHits("deepscan-volume");
  ASSERT_FALSE(theirs.empty());
  ASSERT_EQ(Scan(VolumeTarget(kVolume)), kDeepScanDone);
  std::map<uint32_t, const FoundFileRecord*> ours;
  for (const FoundFileRecord& r : gFoundFiles) ours[r.firstSector] = &r;
  size_t sameEnd = 0;
  for (const Carved& c : theirs) {
    SCOPED_TRACE(std::to_string(c.first) + "." + c.ext);
    auto it = ours.find(c.first);
    ASSERT_NE(it, ours.end()) << "photorec carved a file where the scan found none";
    sameEnd += it->second->lastSector == c.first + (c.size + 511) / 512 - 1;
  }
  // Where both read the structure, both end the file in the same sector.
  size_t refined = std::count_if(truth.begin(), truth.end(), [](const Hit& h) { return h.refined; });
  EXPECT_GE(sameEnd, refined);
}

TEST(DeepScanDisk, FindsTheFilesOfAPartitionedDisk) {
  std::vector<Hit> truth = ReadHits("deepscan-disk");
  uint64_t sectors = ImageSectors(MappedDisk(kDisk));
  EXPECT_EQ(GetTargetSectorCount64(MakeDiskTarget(kDisk)), sectors);
  ASSERT_EQ(Scan(MakeDiskTarget(kDisk)), kDeepScanDone);
  ExpectHitsAre(truth, sectors, static_cast<uint16_t>(MakeDiskTarget(kDisk)));
  for (const Carved& c : ReadPhotorec("deepscan-disk")) {
    bool found = std::any_of(gFoundFiles.begin(), gFoundFiles.end(),
                             [&](const FoundFileRecord& r) { return r.firstSector == c.first; });
    EXPECT_TRUE(found) << "photorec: " << c.first << "." << c.ext;
  }
}

TEST(DeepScanSources, SectorCounts) {
  EXPECT_EQ(GetTargetSectorCount64(VolumeTarget(kVolume)), ImageSectors(MappedImage(kVolume)))
      << "a volume without a file system is as long as its device";
  EXPECT_EQ(GetTargetSectorCount(VolumeTarget(kTenK)), 10000u);
  EXPECT_EQ(GetTargetSectorCount(0x0102), 0u) << "both a disk and a volume";
  EXPECT_EQ(GetTargetSectorCount(MakeDiskTarget(9)), 0u) << "no such disk";
}

TEST(DeepScanSources, ASourceThatCannotBeReadIsNotOneWithoutHits) {
  SourceReport report;
  EXPECT_EQ(RawSignatureScan(MakeDiskTarget(9), &report), kDeepScanCannotOpen) << "no such disk";
  EXPECT_EQ(report.state, SourceState::kCannotOpen);
  EXPECT_EQ(report.disk, 9);
  EXPECT_NE(report.error, 0u);
  EXPECT_EQ(RawSignatureScan(0x0102, &report), kDeepScanCannotOpen) << "both a disk and a volume";
  EXPECT_EQ(RawSignatureScan(VolumeTarget('K'), &report), kDeepScanCannotRead) << "opens, reads nothing";
  EXPECT_EQ(report.state, SourceState::kCannotRead);
  EXPECT_EQ(report.driveIndex, 'K' - 'C');
  EXPECT_EQ(report.error, static_cast<uint32_t>(ERROR_HANDLE_EOF));
  EXPECT_TRUE(gFoundFiles.empty());
  // Read to its end without a hit: that, and only that, is nothing found.
  EXPECT_EQ(RawSignatureScan(VolumeTarget('O'), &report), kDeepScanNothing);
  EXPECT_EQ(report.state, SourceState::kScanned);
}

TEST(DeepScanSources, TenThousandSectorsAreTwoBlocksAndTheLastHitEndsWithTheSource) {
  std::vector<Hit> truth = ReadHits("deepscan-10k");
  ASSERT_EQ(truth.size(), 3u);
  // An earlier scan ended with an MPEG hit: this one's first MPEG still counts.
  gLastHitWasMpeg = 1;
  ASSERT_EQ(Scan(VolumeTarget(kTenK)), kDeepScanDone);
  std::vector<Received> progress = Of(WM_RAWSCAN_PROGRESS);
  ASSERT_EQ(progress.size(), 2u);
  EXPECT_EQ(progress[0].lParam, 0);
  EXPECT_EQ(progress[1].lParam, 8192);
  EXPECT_EQ(progress[1].wParam, 10000u);
  // The MPEG's own pack headers are one file; an MPEG after a JPEG is another.
  ExpectHitsAre(truth, 10000, static_cast<uint16_t>(VolumeTarget(kTenK)));
  ASSERT_EQ(gFoundFiles.size(), 3u);
  EXPECT_EQ(gFoundFiles.back().lastSector, 9999u) << "never past the source";
  EXPECT_EQ(gLastHitWasMpeg, 1u);
}

TEST(DeepScanSources, OneHitIsKeptAndNoHitIsNothingFound) {
  std::vector<Hit> truth = ReadHits("deepscan-single");
  ASSERT_EQ(truth.size(), 1u);
  ASSERT_EQ(Scan(VolumeTarget(kSingle)), kDeepScanDone) << "a lone file is still a file";
  ExpectHitsAre(truth, ImageSectors(MappedImage(kSingle)), static_cast<uint16_t>(VolumeTarget(kSingle)));

  EXPECT_EQ(Scan(VolumeTarget(kNothing)), kDeepScanNothing);
  EXPECT_TRUE(gFoundFiles.empty());
  EXPECT_EQ(Of(WM_RAWSCAN_PROGRESS).size(), 1u);
  EXPECT_TRUE(Of(WM_RAWSCAN_FOUND).empty());
}

TEST(DeepScanStop, TheStopFlagKeepsTheHitsSoFarAndClosesTheLastOne) {
  std::vector<Hit> truth = ReadHits("deepscan-volume");
  // Raised when the second block has been read: only the first is examined.
  // The first block's progress is held longer than the gate's interval, so
  // the second block's is due.
  OnMessage() = [](const Received& r) {
    if (r.message == WM_RAWSCAN_PROGRESS && r.lParam == 0) Sleep(150);
    if (r.message == WM_RAWSCAN_PROGRESS && r.lParam == 8192) gDeepScanAbort = 1;
  };
  ASSERT_EQ(Scan(VolumeTarget(kVolume)), kDeepScanDone);
  EXPECT_EQ(Of(WM_RAWSCAN_PROGRESS).size(), 2u);
  std::vector<Hit> before;
  for (const Hit& h : truth)
    if (h.first < 8192) before.push_back(h);
  ASSERT_EQ(gFoundFiles.size(), before.size());
  for (size_t i = 0; i + 1 < before.size(); ++i) {
    EXPECT_EQ(gFoundFiles[i].firstSector, before[i].first);
    if (before[i].refined) {
      EXPECT_EQ(gFoundFiles[i].lastSector, before[i].first + before[i].Sectors() - 1);
    }
  }
  // The last hit (a docx running into the block that was not read) is 2049
  // sectors long: its end was not seen.
  const FoundFileRecord& last = gFoundFiles.back();
  EXPECT_EQ(last.firstSector, before.back().first);
  EXPECT_GT(before.back().first + before.back().Sectors(), 8192u);
  EXPECT_EQ(last.lastSector, last.firstSector + 2048);
  gDeepScanAbort = 0;

  // A stop at the first block, before any sector was examined: nothing.
  OnMessage() = [](const Received& r) {
    if (r.message == WM_RAWSCAN_PROGRESS) gDeepScanAbort = 1;
  };
  EXPECT_EQ(Scan(VolumeTarget(kVolume)), kDeepScanNothing);
  EXPECT_TRUE(gFoundFiles.empty());

  // A stop raised after the page cleared the flag and before the worker got
  // going is the scan's to obey, not to wipe.
  gDeepScanAbort = 1;
  int rc = 0;
  testsupport::RunPumping([&] { rc = RawSignatureScan(VolumeTarget(kVolume)); });
  EXPECT_EQ(rc, kDeepScanNothing);
  EXPECT_TRUE(gFoundFiles.empty());
  gDeepScanAbort = 0;
}

TEST(DeepScanHostile, HeadersThatLieNeverCrashTheScanOrStretchAHit) {
  uint64_t sectors = ImageSectors(MappedImage(kHostile));
  ASSERT_EQ(Scan(VolumeTarget(kHostile)), kDeepScanDone);
  ASSERT_FALSE(gFoundFiles.empty());
  for (size_t i = 0; i < gFoundFiles.size(); ++i) {
    const FoundFileRecord& r = gFoundFiles[i];
    EXPECT_LE(r.firstSector, r.lastSector);
    EXPECT_LT(r.lastSector, sectors);
    if (i + 1 < gFoundFiles.size()) {
      EXPECT_LT(r.lastSector, gFoundFiles[i + 1].firstSector);
    }
  }
  auto at = [](uint32_t sector) -> const FoundFileRecord* {
    for (const FoundFileRecord& r : gFoundFiles)
      if (r.firstSector == sector) return &r;
    return nullptr;
  };
  // Sizes far beyond the source leave the extent the scan gave.
  ASSERT_TRUE(at(120));
  EXPECT_EQ(TypeOf(*at(120)), "bmp");
  EXPECT_EQ(at(120)->lastSector, at(130)->firstSector - 1);
  ASSERT_TRUE(at(130));
  EXPECT_EQ(TypeOf(*at(130)), "avi");
  // A WAV smaller than its own header keeps the scan's extent.
  ASSERT_TRUE(at(140));
  EXPECT_EQ(TypeOf(*at(140)), "wav");
  EXPECT_EQ(at(140)->lastSector, at(150)->firstSector - 1);
  // Two MPEG packs in a row are one file.
  ASSERT_TRUE(at(180));
  EXPECT_EQ(TypeOf(*at(180)), "mpg");
  EXPECT_EQ(at(181), nullptr);
  // A compound file whose directory lies beyond the source is dropped; a zip
  // whose look-ahead runs off the end is still a zip; the last sector is a JPEG.
  EXPECT_EQ(at(static_cast<uint32_t>(sectors - 2)), nullptr);
  ASSERT_TRUE(at(static_cast<uint32_t>(sectors - 3)));
  EXPECT_EQ(TypeOf(*at(static_cast<uint32_t>(sectors - 3))), "zip");
  ASSERT_TRUE(at(static_cast<uint32_t>(sectors - 1)));
  EXPECT_EQ(gFoundFiles.back().lastSector, sectors - 1);
}

// --- streams, Office packages, size limits, disks past 2 TiB ------------------

TEST(DeepScanStreams, MpegAndMp3FilesEndWhereTheyEnd) {
  // ffmpeg's program streams (MPEG-1, MPEG-2, packets not a sector long),
  // a raw video stream, MP3s with ID3v2 and ID3v1 tags, among random bytes;
  // the last hit a program stream that ends where the source ends. The
  // second program stream follows the first with no other hit between:
  // its first pack lies past the first one's end, so it is a file of its own.
  std::vector<Hit> truth = ReadHits("deepscan-streams");
  ASSERT_EQ(truth.size(), 7u);
  uint64_t sectors = ImageSectors(MappedImage(kStreams));
  ASSERT_EQ(truth.back().first + truth.back().Sectors(), sectors);
  ASSERT_EQ(Scan(VolumeTarget(kStreams)), kDeepScanDone);
  ExpectHitsAre(truth, sectors, static_cast<uint16_t>(VolumeTarget(kStreams)));
  // photorec ends the streams it carves where the scan does.
  std::vector<Carved> theirs = ReadPhotorec("deepscan-streams");
  ASSERT_GE(theirs.size(), 5u);
  for (const Carved& c : theirs) {
    auto it = std::find_if(gFoundFiles.begin(), gFoundFiles.end(),
                           [&](const FoundFileRecord& r) { return r.firstSector == c.first; });
    ASSERT_NE(it, gFoundFiles.end()) << c.first;
    EXPECT_EQ(it->lastSector, c.first + (c.size + 511) / 512 - 1) << c.first << "." << c.ext;
  }

  // An MP3 with nothing but random bytes after it to the end of the source.
  std::vector<Hit> tail = ReadHits("deepscan-tail");
  ASSERT_EQ(Scan(VolumeTarget(kTail)), kDeepScanDone);
  ASSERT_GE(gFoundFiles.size(), 1u);
  const FoundFileRecord* song = nullptr;
  for (const FoundFileRecord& r : gFoundFiles)
    if (r.firstSector == tail[0].first) song = &r;
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->lastSector, tail[0].first + tail[0].Sectors() - 1);
}

TEST(DeepScanStreams, VideoFilesEndWhereTheirBoxesElementsAndTagsEnd) {
  // ffmpeg's MP4 (movie box last, first), MKV and FLV among random bytes;
  // the last hit an MP4 that ends where the source ends.
  std::vector<Hit> truth = ReadHits("deepscan-video");
  ASSERT_EQ(truth.size(), 5u);
  uint64_t sectors = ImageSectors(MappedImage(kVideo));
  ASSERT_EQ(truth.back().first + truth.back().Sectors(), sectors);
  ASSERT_EQ(Scan(VolumeTarget(kVideo)), kDeepScanDone);
  ExpectHitsAre(truth, sectors, static_cast<uint16_t>(VolumeTarget(kVideo)));
  for (const Carved& c : ReadPhotorec("deepscan-video")) {
    auto it = std::find_if(gFoundFiles.begin(), gFoundFiles.end(),
                           [&](const FoundFileRecord& r) { return r.firstSector == c.first; });
    ASSERT_NE(it, gFoundFiles.end()) << c.first;
    EXPECT_EQ(it->lastSector, c.first + (c.size + 511) / 512 - 1) << c.first << "." << c.ext;
  }
}

TEST(DeepScanOffice, PackagesAreNamedByTheirOwnEntries) {
  // [Content_Types].xml last, docProps before the main part, data
  // descriptors: the first entries do not tell, the entries of the whole
  // archive do. A zip that holds a docx stays a zip.
  std::vector<Hit> truth = ReadHits("deepscan-office");
  ASSERT_EQ(truth.size(), 7u);
  ASSERT_EQ(Scan(VolumeTarget(kOffice)), kDeepScanDone);
  ExpectHitsAre(truth, ImageSectors(MappedImage(kOffice)), static_cast<uint16_t>(VolumeTarget(kOffice)));
  // The page hears of the last hit under its final name.
  std::vector<Received> found = Of(WM_RAWSCAN_FOUND);
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(found.back().wParam, truth.size());
  EXPECT_EQ(found.back().text, NameOf(gFoundFiles.back()));
}

namespace {

// The shipped scan table with the size limit of the record named type set
// to capKiB, in a folder of its own that the scan then reads.
void UseTableWithCap(const std::string& folder, const char* type, uint32_t capKiB) {
  // The table already in the folder, else the shipped one.
  std::string bytes;
  SetSignatureTableFolder(nullptr);
  if (!testsupport::ReadWholeFile(folder + kSignatureScanTableName, &bytes))
    ASSERT_TRUE(testsupport::ReadWholeFile(SignatureTablePath(kSignatureScanTableName), &bytes));
  SignatureTable t;
  ASSERT_EQ(t.LoadFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), SignatureTableStatus::kOk);
  int i = t.FindType(type);
  ASSERT_GE(i, 0);
  size_t at = kSignatureHeaderSize + static_cast<size_t>(i) * sizeof(SignatureRecord) + 40;
  ASSERT_EQ(bytes.substr(at + 1, 2), "MX");
  for (int k = 0; k < 4; ++k) bytes[at + 3 + k] = static_cast<char>(capKiB >> (8 * k));
  testsupport::WriteWholeFile(folder + kSignatureScanTableName, bytes);
  SetSignatureTableFolder(folder.c_str());
}

}  // namespace

TEST(DeepScanCaps, AHitWithoutAnEndStopsAtItsTypesLimitAndTheSourcesEnd) {
  // The shipped table names a limit for every type it scans for.
  SignatureTable shipped;
  ASSERT_EQ(shipped.Load(SignatureTablePath(kSignatureScanTableName)), SignatureTableStatus::kOk);
  for (size_t i = 0; i < shipped.size(); ++i) EXPECT_GT(shipped.SizeCap(i), 0u) << shipped.TypeName(i);

  // An MP3 with random bytes after it to the end of the source, its limit
  // set to 16 KiB: the end its frames tell is not cut by the limit.
  std::vector<Hit> tail = ReadHits("deepscan-tail");
  ASSERT_EQ(tail.size(), 1u);
  const uint64_t sectors = ImageSectors(MappedImage(kTail));
  std::string folder = testsupport::ScratchDir("captable");
  UseTableWithCap(folder, "mp3", 16);
  ASSERT_EQ(Scan(VolumeTarget(kTail)), kDeepScanDone);
  ASSERT_EQ(gFoundFiles.size(), 1u);
  EXPECT_EQ(gFoundFiles[0].lastSector, tail[0].first + tail[0].Sectors() - 1);

  // The same row under a type the scan knows no end for: the lone hit, the
  // last one, stops at its limit rather than at the source's end, and a
  // limit beyond the source stops at the source's end.
  std::string bytes;
  ASSERT_TRUE(testsupport::ReadWholeFile(folder + kSignatureScanTableName, &bytes));
  SignatureTable t;
  ASSERT_EQ(t.LoadFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), SignatureTableStatus::kOk);
  const size_t row = kSignatureHeaderSize + static_cast<size_t>(t.FindType("mp3")) * sizeof(SignatureRecord);
  std::memcpy(&bytes[row], "aud\0\0\0", 7);
  testsupport::WriteWholeFile(folder + kSignatureScanTableName, bytes);
  ASSERT_EQ(Scan(VolumeTarget(kTail)), kDeepScanDone);
  ASSERT_EQ(gFoundFiles.size(), 1u);
  EXPECT_EQ(TypeOf(gFoundFiles[0]), "aud");
  EXPECT_EQ(FoundFileBytes(gFoundFiles[0]), 16u * 1024) << "not the " << sectors - tail[0].first << " sectors left";
  UseTableWithCap(folder, "aud", 100000);
  ASSERT_EQ(Scan(VolumeTarget(kTail)), kDeepScanDone);
  ASSERT_EQ(gFoundFiles.size(), 1u);
  EXPECT_EQ(gFoundFiles[0].lastSector, sectors - 1);
  SetSignatureTableFolder(nullptr);

  // With the shipped table, no hit of the images runs past its type's limit.
  for (char letter : {kVolume, kStreams, kHostile, kOffice, kVideo}) {
    ASSERT_EQ(Scan(VolumeTarget(letter)), kDeepScanDone);
    for (const FoundFileRecord& r : gFoundFiles) {
      std::string type = TypeOf(r);
      int row = shipped.FindType(type == "docx" || type == "xlsx" || type == "pptx" ? "zip"
                                 : type == "xls" || type == "ppt"                   ? "doc"
                                 : type == "wav"                                    ? "avi"
                                                                                    : type);
      ASSERT_GE(row, 0) << type;
      EXPECT_LE(FoundFileBytes(r), shipped.SizeCap(static_cast<size_t>(row))) << NameOf(r);
    }
  }
}

TEST(DeepScanFar, HitsPast2TiBKeepTheirSectors) {
  // A sparse disk of 2^32 + 24,576 sectors, scanned from 2^32 - 8192 on.
  std::vector<Hit> truth = ReadHits("deepscan-far");
  ASSERT_EQ(truth.size(), 4u);
  const uint64_t sectors = kFar + 3 * 8192;
  ASSERT_EQ(GetTargetSectorCount64(MakeDiskTarget(kFarDisk)), sectors);
  EXPECT_EQ(GetTargetSectorCount(MakeDiskTarget(kFarDisk)), 0xFFFFFFFFu) << "the 32-bit count saturates";
  Messages().clear();
  gDeepScanWindow = Receiver();
  int rc = 0;
  testsupport::RunPumping([&] { rc = RawSignatureScanFrom(MakeDiskTarget(kFarDisk), kFar - 8192); });
  gDeepScanWindow = nullptr;
  ASSERT_EQ(rc, kDeepScanDone);
  ExpectHitsAre(truth, sectors, static_cast<uint16_t>(MakeDiskTarget(kFarDisk)));
  // The count is beyond 32 bits: the progress comes in units of two sectors.
  EXPECT_EQ(gDeepScanProgressShift.load(), 1u);
  std::vector<Received> progress = Of(WM_RAWSCAN_PROGRESS);
  ASSERT_GE(progress.size(), 2u);
  ASSERT_LE(progress.size(), 4u);
  EXPECT_EQ(static_cast<uint64_t>(progress[0].wParam), sectors >> 1);
  EXPECT_EQ(static_cast<uint64_t>(static_cast<ULONG_PTR>(progress.back().lParam)), (kFar + 2 * 8192) >> 1);

  // Copied out and previewed from where they lie.
  std::string dest = testsupport::ScratchDir("far");
  EXPECT_EQ(CopyOut(dest), 4);
  for (size_t i = 0; i < truth.size(); ++i) {
    std::string out;
    ASSERT_TRUE(testsupport::ReadWholeFile(dest + NameOf(gFoundFiles[i]), &out)) << truth[i].source;
    EXPECT_EQ(testsupport::Sha256Hex(out.data(), out.size()), truth[i].sha256) << truth[i].source;
  }
  uint8_t* data = nullptr;
  int n = ReadFoundFileData(1, &data);
  ASSERT_EQ(n, static_cast<int>(truth[1].size));
  EXPECT_EQ(testsupport::Sha256Hex(data, static_cast<size_t>(n)), truth[1].sha256);
  FreeFoundFileData(data);
}

// --- the pieces -------------------------------------------------------------

namespace {

void MarkEveryTenth(const void*, const uint8_t*, uint32_t sectors, std::vector<uint32_t>* marks) {
  for (uint32_t i = 0; i < sectors; i += 10) marks->push_back(i);
}

}  // namespace

TEST(DeepScanPieces, BlocksReadAheadAreTheSourcesBlocksInOrder) {
  const uint32_t target = VolumeTarget(kVolume);
  const std::string image = MappedImage(kVolume);
  const uint64_t sectors = ImageSectors(image);
  // From an odd sector on, to a short last block.
  const uint64_t from = 1000;
  BlockReader ahead;
  ASSERT_TRUE(ahead.Start(target, from, sectors, kDeepScanBlockSectors, &MarkEveryTenth, nullptr));
  EXPECT_EQ(ahead.Take(from + 1), nullptr) << "not a block's start";
  for (uint64_t at = from; at < sectors; at += kDeepScanBlockSectors) {
    const std::vector<uint32_t>* marks = nullptr;
    const uint8_t* block = ahead.Take(at, &marks);
    ASSERT_NE(block, nullptr) << at;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(kDeepScanBlockSectors, sectors - at));
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(block), count * 512), ImageBytes(image, at * 512, count * 512));
    ASSERT_NE(marks, nullptr);
    EXPECT_EQ(marks->size(), (count + 9) / 10);
  }
  EXPECT_EQ(ahead.Take(sectors + 8192), nullptr) << "past the end";
  // Stopped halfway, and started again: no thread is left behind.
  ASSERT_TRUE(ahead.Start(target, 0, sectors, kDeepScanBlockSectors));
  ASSERT_NE(ahead.Take(0), nullptr);
  ahead.Stop();
  EXPECT_EQ(ahead.Take(kDeepScanBlockSectors), nullptr);
  EXPECT_FALSE(ahead.Start(0x0102, 0, sectors, kDeepScanBlockSectors)) << "both a disk and a volume";
  EXPECT_FALSE(ahead.Start(target, 10, 10, kDeepScanBlockSectors)) << "nothing to read";
}

TEST(DeepScanPieces, TheFirstByteIndexMatchesExactlyAsTheTableDoes) {
  SignatureTable shipped;
  ASSERT_EQ(shipped.Load(SignatureTablePath(kSignatureScanTableName)), SignatureTableStatus::kOk);
  // A table with the odd cases: a count of 0, a count above five, a slot of
  // length 0 late in the table, two records sharing a first byte.
  SignatureTable odd;
  std::vector<uint8_t> bytes(32, 0);
  std::memcpy(bytes.data(), "BRNK", 4);
  auto add = [&](const char* name, uint8_t count, std::vector<std::vector<uint8_t>> slots) {
    SignatureRecord r = {};
    std::memcpy(r.name, name, std::strlen(name));
    r.slotCount = count;
    for (size_t i = 0; i < slots.size(); ++i) {
      r.slots[i].length = static_cast<uint8_t>(slots[i].size());
      std::memcpy(r.slots[i].pattern, slots[i].data(), slots[i].size());
    }
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&r);
    bytes.insert(bytes.end(), p, p + sizeof r);
  };
  add("none", 0, {{0xAA}});
  add("two", 2, {{0xAA, 0xBB}, {0xAA}, {0xCC}});
  add("many", 9, {{1}, {2}, {3}, {4}, {0xCC}});
  add("aa7", 1, {{0xAA, 1, 2, 3, 4, 5, 6}});
  add("empty", 2, {{0x42}, {}});
  SignatureRecord end = {};
  end.slotCount = kSignatureEndMark;
  bytes.insert(bytes.end(), reinterpret_cast<uint8_t*>(&end), reinterpret_cast<uint8_t*>(&end) + sizeof end);
  ASSERT_EQ(odd.LoadFromBytes(bytes.data(), bytes.size()), SignatureTableStatus::kOk);

  std::mt19937 rng(5);
  for (const SignatureTable* t : {&shipped, &odd}) {
    SignatureDispatch dispatch(*t);
    std::vector<std::vector<uint8_t>> sectors;
    for (size_t i = 0; i < t->size(); ++i)
      for (const SignatureSlot& s : t->record(i).slots) {
        std::vector<uint8_t> sec(512);
        for (auto& b : sec) b = static_cast<uint8_t>(rng());
        std::memcpy(sec.data(), s.pattern, s.length);
        sectors.push_back(sec);
      }
    for (int i = 0; i < 20000; ++i) {
      std::vector<uint8_t> sec(512);
      for (auto& b : sec) b = static_cast<uint8_t>(rng() % 7 == 0 ? 0 : rng());
      sec[0] = static_cast<uint8_t>(i % 256);
      sectors.push_back(sec);
    }
    for (const auto& sec : sectors) {
      size_t r1 = 99, r2 = 99;
      int s1 = -1, s2 = -1;
      bool m1 = t->MatchSector(sec.data(), sec.size(), &r1, &s1);
      bool m2 = dispatch.Match(sec.data(), sec.size(), &r2, &s2);
      ASSERT_EQ(m1, m2);
      if (m1) {
        ASSERT_EQ(r1, r2);
        ASSERT_EQ(s1, s2);
      }
    }
  }
}

TEST(DeepScanPieces, RefinementsOfCompoundFilesZipsAndBitmaps) {
  std::vector<Hit> truth = ReadHits("deepscan-volume");
  std::string image = MappedImage(kVolume);
  uint64_t sectors = ImageSectors(image);
  HANDLE h = OpenVolume(kVolume - 'C');
  ASSERT_TRUE(h);
  uint32_t target = VolumeTarget(kVolume);
  std::map<std::string, int> seen;
  for (const Hit& hit : truth) {
    std::string data = ImageBytes(image, hit.first * 512ull, 200 * 1024);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(data.data());
    if (hit.type == "doc" || hit.type == "xls" || hit.type == "ppt") {
      int want = hit.type == "doc" ? 1 : hit.type == "xls" ? 2 : 3;
      // Read from the source, and taken from a block that holds the directory.
      EXPECT_EQ(RefineOleType(hit.first, p, target, h, nullptr, 0, 0, sectors), want) << hit.source;
      EXPECT_EQ(RefineOleType(hit.first, p, target, nullptr, p, hit.first, static_cast<uint32_t>(data.size() / 512),
                              sectors),
                want)
          << hit.source;
      ++seen["ole"];
    }
    if (hit.type == "docx" || hit.type == "xlsx" || hit.type == "pptx" || hit.type == "zip") {
      int want = hit.type == "docx" ? 1 : hit.type == "xlsx" ? 2 : hit.type == "pptx" ? 3 : 0;
      EXPECT_EQ(RefineZipType(hit.first, p, data.size(), target, h, sectors), want) << hit.source;
      EXPECT_EQ(RefineZipType(hit.first, p, 4096, target, h, sectors), want) << hit.source << " read from the source";
      if (want) {
        // The third local header gone: a plain zip.
        std::string broken = data;
        size_t at1 = 30 + (p[26] | p[27] << 8) + (p[28] | p[29] << 8) +
                     (p[18] | p[19] << 8 | p[20] << 16 | static_cast<uint32_t>(p[21]) << 24);
        const uint8_t* q = p + at1;
        size_t at2 = at1 + 30 + (q[26] | q[27] << 8) + (q[28] | q[29] << 8) +
                     (q[18] | q[19] << 8 | q[20] << 16 | static_cast<uint32_t>(q[21]) << 24);
        broken[at2] = 'X';
        EXPECT_EQ(RefineZipType(hit.first, reinterpret_cast<const uint8_t*>(broken.data()), broken.size(), target, h,
                                sectors),
                  0);
      }
      ++seen["zip"];
    }
    if (hit.type == "bmp") {
      uint32_t size = 0;
      EXPECT_TRUE(IsBitmapHeader(p, &size));
      EXPECT_EQ(size, hit.size);
    }
  }
  EXPECT_GE(seen["ole"], 4);
  EXPECT_GE(seen["zip"], 6);

  std::vector<uint8_t> zip(600, 0);
  std::memcpy(zip.data(), "PK\x03\x04", 4);
  EXPECT_EQ(RefineZipType(0, zip.data(), zip.size(), target, h, sectors), 0) << "no [Content_Types].xml";
  zip[3] = 5;
  EXPECT_EQ(RefineZipType(0, zip.data(), zip.size(), target, h, sectors), -1);
  std::vector<uint8_t> ole(512, 0);
  EXPECT_EQ(RefineOleType(0, ole.data(), target, h, nullptr, 0, 0, sectors), 0);
  std::memcpy(ole.data(), "\xD0\xCF\x11\xE0", 4);
  ole[48] = 0xF0, ole[49] = 0xFF, ole[50] = 0xFF, ole[51] = 0xFF;
  EXPECT_EQ(RefineOleType(0, ole.data(), target, h, nullptr, 0, 0, sectors), -1) << "directory past the end";
  uint8_t bm[16] = {'B', 'M', 1, 2, 3, 4, 0, 0, 0, 1};
  EXPECT_FALSE(IsBitmapHeader(bm, nullptr));
  CloseVolume(h);

  const char hay[] = "abcabcabd";
  EXPECT_EQ(FindBytePattern("abd", 3, reinterpret_cast<const uint8_t*>(hay), 9),
            reinterpret_cast<const uint8_t*>(hay) + 6);
  EXPECT_EQ(FindBytePattern("abdx", 4, reinterpret_cast<const uint8_t*>(hay), 9), nullptr);
  EXPECT_EQ(FindBytePattern("abc", 3, reinterpret_cast<const uint8_t*>(hay), 2), nullptr);
}

TEST(DeepScanPieces, MissingOrDamagedTableScansNothing) {
  std::string folder = testsupport::ScratchDir("tables");
  SetSignatureTableFolder(folder.c_str());
  EXPECT_EQ(RawSignatureScan(VolumeTarget(kSingle)), kDeepScanNoTable);
  testsupport::WriteWholeFile(folder + kSignatureScanTableName, std::string(40, 'x'));
  EXPECT_EQ(RawSignatureScan(VolumeTarget(kSingle)), kDeepScanBadTable);
  EXPECT_TRUE(gFoundFiles.empty());
  SetSignatureTableFolder(nullptr);
  EXPECT_EQ(RawSignatureScan(VolumeTarget(kSingle)), kDeepScanDone);
}
