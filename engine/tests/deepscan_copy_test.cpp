// The copy-out and the preview of found items: byte for byte where the
// file's structure tells its end, the rest from their first byte to the next
// hit; the per-file messages, the stop flag, unreadable sectors, the scanned
// volume refused as destination, names that try to leave it, and the 10 MB
// preview limit.
#include <gtest/gtest.h>

#include <map>

#include "copyout/output.h"
#include "deepscan_test_util.h"
#include "disk/raw.h"

using namespace deeptest;
using testsupport::MappedImage;
using testsupport::ReadWholeFile;
using testsupport::ScratchDir;
using testsupport::Sha256Hex;

namespace {

constexpr char kVolume = 'S';
constexpr char kHostile = 'U';
constexpr char kStreams = 'R';
constexpr char kTail = 'P';
constexpr char kOffice = 'Q';
constexpr char kVideo = 'N';

std::string Output(const std::string& dest, const FoundFileRecord& r) { return dest + NameOf(r); }

}  // namespace

TEST(DeepCopyOut, EveryFileComesOutAsItWasWritten) {
  std::vector<Hit> truth = ReadHits("deepscan-volume");
  ASSERT_EQ(Scan(VolumeTarget(kVolume)), kDeepScanDone);
  ASSERT_EQ(gFoundFiles.size(), truth.size());
  std::string dest = ScratchDir("all");
  gRecoveredSectors = 0;
  EXPECT_EQ(CopyOut(dest), static_cast<int>(truth.size()));
  EXPECT_EQ(gRawRecoverFailedFiles.load(), 0u);

  // The page hears of some of the files (at most one message per gate
  // interval), each with the number taken on so far, and of the last one.
  std::vector<Received> files = Of(WM_RECOVER_FILE);
  ASSERT_GE(files.size(), 2u);
  ASSERT_LE(files.size(), truth.size());
  for (size_t k = 0; k < files.size(); ++k) {
    EXPECT_TRUE(files[k].sent);
    ASSERT_GE(files[k].wParam, 1u);
    ASSERT_LE(files[k].wParam, truth.size());
    if (k > 0) EXPECT_GT(files[k].wParam, files[k - 1].wParam);
    const FoundFileRecord& r = gFoundFiles[files[k].wParam - 1];
    EXPECT_EQ(files[k].source, NameOf(r));
    EXPECT_EQ(files[k].destination, Output(dest, r));
  }
  EXPECT_EQ(files.back().wParam, truth.size());
  uint64_t sectors = 0;
  for (size_t i = 0; i < truth.size(); ++i) {
    const FoundFileRecord& r = gFoundFiles[i];
    SCOPED_TRACE(truth[i].source);
    std::string out;
    ASSERT_TRUE(ReadWholeFile(Output(dest, r), &out));
    if (truth[i].refined) {
      EXPECT_EQ(out.size(), truth[i].size);
      EXPECT_EQ(Sha256Hex(out.data(), out.size()), truth[i].sha256);
    } else {
      // No structure to tell the end: the whole extent, the file first.
      EXPECT_EQ(out.size(), FoundFileBytes(r));
      ASSERT_GE(out.size(), truth[i].size);
      EXPECT_EQ(Sha256Hex(out.data(), truth[i].size), truth[i].sha256);
    }
    sectors += (out.size() + 511) / 512;
  }
  EXPECT_GE(gRecoveredSectors.load(), sectors - truth.size());
  EXPECT_LE(gRecoveredSectors.load(), sectors + truth.size() * 2048);
}

TEST(DeepCopyOut, OnlyTickedHitsAndNumberedNamesWhenTaken) {
  ASSERT_EQ(Scan(VolumeTarget(kVolume)), kDeepScanDone);
  for (FoundFileRecord& r : gFoundFiles) r.selected = 0;
  gFoundFiles[1].selected = 1;
  gFoundFiles[3].selected = 1;
  std::string dest = ScratchDir("ticked");
  EXPECT_EQ(CopyOut(dest), 2);
  ASSERT_EQ(Of(WM_RECOVER_FILE).size(), 2u);
  EXPECT_EQ(Of(WM_RECOVER_FILE)[1].source, NameOf(gFoundFiles[3]));
  std::string out;
  EXPECT_FALSE(ReadWholeFile(Output(dest, gFoundFiles[0]), &out));
  // Again into the same folder: the names are taken, the copies are numbered.
  EXPECT_EQ(CopyOut(dest), 2);
  std::string first = Output(dest, gFoundFiles[1]);
  std::string numbered = first.substr(0, first.rfind('.')) + "_001" + first.substr(first.rfind('.'));
  EXPECT_EQ(Of(WM_RECOVER_FILE)[0].destination, numbered);
  std::string a, b;
  ASSERT_TRUE(ReadWholeFile(first, &a));
  ASSERT_TRUE(ReadWholeFile(numbered, &b));
  EXPECT_EQ(a, b);
}

TEST(DeepCopyOut, TheStopFlagEndsTheRunAndRemovesTheUnfinishedFile) {
  ASSERT_EQ(Scan(VolumeTarget(kVolume)), kDeepScanDone);
  std::string dest = ScratchDir("stopped");
  // A stop asked for before the worker got going is not forgotten: the one
  // who starts the copy-out clears the flag, the copy-out does not.
  gScanAbort = 1;
  EXPECT_EQ(CopyOut(dest), 0);
  EXPECT_TRUE(Of(WM_RECOVER_FILE).empty());
  gScanAbort = 0;
  // Each of the first two announcements is held longer than the gate's
  // interval, so that the third file's is due; the stop comes with it.
  OnMessage() = [](const Received& r) {
    if (r.message != WM_RECOVER_FILE) return;
    if (Of(WM_RECOVER_FILE).size() < 3)
      Sleep(150);
    else
      gScanAbort = 1;
  };
  EXPECT_EQ(CopyOut(dest), 2);
  std::vector<Received> files = Of(WM_RECOVER_FILE);
  ASSERT_EQ(files.size(), 3u);
  std::string out;
  EXPECT_TRUE(ReadWholeFile(files[1].destination, &out));
  EXPECT_FALSE(ReadWholeFile(files[2].destination, &out)) << "a stopped file is not left half-written";
  EXPECT_EQ(gRawRecoverFailedFiles.load(), 1u) << "the file the stop cut short is not recovered";
  gScanAbort = 0;
}

TEST(DeepCopyOut, RefusedDestinationsAndSectorsThatCannotBeRead) {
  ASSERT_EQ(Scan(VolumeTarget(kVolume)), kDeepScanDone);
  std::string dest = ScratchDir("odd");
  RecoverProgressBlock block;
  EXPECT_EQ(CopyOutFoundFile(0, "S:\\saved", &block), kRawCopyRefused) << "never onto the scanned volume";
  EXPECT_EQ(CopyOutFoundFile(gFoundFiles.size(), dest.c_str(), &block), kRawCopyRefused);

  // A hit running past the end of the source: what is there, zeros after it.
  uint64_t sectors = ImageSectors(MappedImage(kVolume));
  FoundFileRecord tail = gFoundFiles.back();
  std::strcpy(tail.name, "dat\\00000001.dat");
  tail.firstSector = static_cast<uint32_t>(sectors - 4);
  tail.lastSector = static_cast<uint32_t>(sectors + 5);
  gFoundFiles.push_back(tail);
  EXPECT_EQ(CopyOutFoundFile(gFoundFiles.size() - 1, dest.c_str(), &block), kRawCopyPartial);
  std::string out;
  ASSERT_TRUE(ReadWholeFile(block.destination, &out));
  ASSERT_EQ(out.size(), 10u * 512);
  EXPECT_EQ(out.substr(0, 4 * 512), ImageBytes(MappedImage(kVolume), (sectors - 4) * 512, 4 * 512));
  EXPECT_EQ(out.substr(4 * 512), std::string(6 * 512, '\0'));

  // Names from a record are made safe and stay below the destination.
  int error = 0;
  std::string created;
  for (const char* evil : {"..\\..\\escape.jpg", "C:\\Windows\\x.jpg", "jpg\\..\\..\\..\\up.jpg", "\\\\host\\s\\f"}) {
    HANDLE h = CreateRawOutputFile(dest.c_str(), evil, &error, &created);
    ASSERT_TRUE(h) << evil;
    CloseHandle(h);
    EXPECT_EQ(created.compare(0, dest.size(), dest), 0) << created;
    EXPECT_EQ(created.find(".."), std::string::npos) << created;
  }
}

TEST(DeepPreview, PicturesReadAsTheyWereAndNothingElse) {
  std::vector<Hit> truth = ReadHits("deepscan-volume");
  ASSERT_EQ(Scan(VolumeTarget(kVolume)), kDeepScanDone);
  size_t pictures = 0;
  for (size_t i = 0; i < truth.size(); ++i) {
    uint8_t* data = nullptr;
    int n = ReadFoundFileData(i, &data);
    bool picture = truth[i].type == "jpg" || truth[i].type == "png" || truth[i].type == "gif" || truth[i].type == "bmp";
    if (!picture) {
      EXPECT_EQ(n, -2) << truth[i].source;
      EXPECT_EQ(data, nullptr);
      continue;
    }
    ++pictures;
    ASSERT_EQ(n, static_cast<int>(truth[i].size)) << truth[i].source;
    EXPECT_EQ(Sha256Hex(data, static_cast<size_t>(n)), truth[i].sha256);
    FreeFoundFileData(data);
  }
  EXPECT_GE(pictures, 8u);
  uint8_t* data = nullptr;
  EXPECT_EQ(ReadFoundFileData(truth.size() + 5, &data), -2);

  // A picture said to be 15 MB long: only its first 10 MB are read.
  FoundFileRecord big = gFoundFiles[0];
  std::strcpy(big.name, "bmp\\00000009.bmp");
  big.firstSector = 100;   // inside a JPEG: no bitmap header to end it sooner
  big.lastSector = 100 + 30000;
  gFoundFiles.push_back(big);
  int n = ReadFoundFileData(gFoundFiles.size() - 1, &data);
  EXPECT_EQ(n, static_cast<int>(kPreviewMaxBytes));
  ASSERT_TRUE(data);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 4096), ImageBytes(MappedImage(kVolume), 100 * 512, 4096));
  FreeFoundFileData(data);
  // Its source gone: -1.
  gFoundFiles.back().source = static_cast<uint16_t>(MakeDiskTarget(9));
  EXPECT_EQ(ReadFoundFileData(gFoundFiles.size() - 1, &data), -1);
}

TEST(DeepCopyOut, HostileHitsComeOutBounded) {
  ASSERT_EQ(Scan(VolumeTarget(kHostile)), kDeepScanDone);
  std::string dest = ScratchDir("hostile");
  // Headers that lie are written as far as they go and counted damaged, never whole.
  const int whole = CopyOut(dest);
  EXPECT_EQ(whole + static_cast<int>(gRawRecoverDamagedFiles.load()), static_cast<int>(gFoundFiles.size()));
  EXPECT_EQ(gRawRecoverFailedFiles.load(), 0u);
  for (const FoundFileRecord& r : gFoundFiles) {
    std::string out;
    ASSERT_TRUE(ReadWholeFile(Output(dest, r), &out)) << NameOf(r);
    EXPECT_LE(out.size(), FoundFileBytes(r)) << NameOf(r);
    uint8_t* data = nullptr;
    int n = ReadFoundFileData(&r - gFoundFiles.data(), &data);
    EXPECT_LE(n, static_cast<int>(FoundFileBytes(r)));
    FreeFoundFileData(data);
  }
}

TEST(DeepCopyOut, StreamsVideosAndOfficePackagesComeOutByteForByte) {
  // The MPEG, MP3, MP4, MKV and FLV files as ffmpeg wrote them, the last one
  // where the source ends, one with random bytes after it; the Office
  // packages under their own type.
  for (char letter : {kStreams, kTail, kOffice, kVideo}) {
    std::string fixture = letter == kStreams ? "deepscan-streams"
                          : letter == kTail  ? "deepscan-tail"
                          : letter == kVideo ? "deepscan-video"
                                             : "deepscan-office";
    SCOPED_TRACE(fixture);
    std::vector<Hit> truth = ReadHits(fixture);
    ASSERT_EQ(Scan(VolumeTarget(letter)), kDeepScanDone);
    std::string dest = ScratchDir(std::string("bytes-") + letter);
    CopyOut(dest);
    size_t compared = 0;
    for (const FoundFileRecord& r : gFoundFiles) {
      for (const Hit& h : truth) {
        if (h.first != r.firstSector) continue;
        std::string out;
        ASSERT_TRUE(ReadWholeFile(Output(dest, r), &out)) << h.source;
        EXPECT_EQ(TypeOf(r), h.type);
        EXPECT_EQ(out.size(), h.size) << h.source;
        EXPECT_EQ(Sha256Hex(out.data(), out.size()), h.sha256) << h.source;
        ++compared;
      }
    }
    EXPECT_EQ(compared, truth.size());
  }
}

TEST(DeepCopyOut, ManyHitsOfATypeGoInFoldersOfFiveHundred) {
  // 1,001 one-sector hits of one type and two of another.
  ASSERT_EQ(Scan(VolumeTarget(kVolume)), kDeepScanDone);
  FoundFileRecord model = gFoundFiles[0];
  gFoundFiles.clear();
  for (uint32_t i = 0; i < 1003; ++i) {
    FoundFileRecord r = model;
    MakeFoundFileName(i < 1001 ? "jpg" : "png", i < 1001 ? i + 1 : i - 1000, r.name);
    r.firstSector = r.lastSector = i;
    r.selected = 1;
    gFoundFiles.push_back(r);
  }
  gFoundFiles[7].selected = 0;   // not ticked: the folders count the ticked ones
  std::string dest = ScratchDir("many");
  // One sector of a JPEG is not the whole picture: written, counted damaged.
  EXPECT_EQ(CopyOut(dest) + static_cast<int>(gRawRecoverDamagedFiles.load()), 1002);
  EXPECT_EQ(gRawRecoverFailedFiles.load(), 0u);
  std::vector<Received> files = Of(WM_RECOVER_FILE);
  ASSERT_FALSE(files.empty());
  EXPECT_EQ(files[0].destination, dest + "jpg\\00000001-00000501\\00000001.jpg");
  EXPECT_EQ(files[0].source, "jpg\\00000001.jpg") << "the page hears the hit's own name";
  EXPECT_EQ(files.back().wParam, 1002u);
  std::string out;
  for (const char* name : {"jpg\\00000001-00000501\\00000501.jpg", "jpg\\00000502-00001001\\00000502.jpg",
                           "png\\00000001.png"})
    EXPECT_TRUE(ReadWholeFile(dest + name, &out)) << name << ": a type of few hits keeps one folder";
  ASSERT_TRUE(ReadWholeFile(dest + "jpg\\00000502-00001001\\00001001.jpg", &out));
  EXPECT_EQ(out, ImageBytes(MappedImage(kVolume), 1000 * 512, 512));
}

TEST(DeepFullDestination, FilesThatDoNotFitFailAndLeaveNoCutCopy) {
  // Run by full_destination.sh: a destination that is full after 24 KB.
  std::string dest = testsupport::EnvText("SALVORA_FULL_DEST");
  if (dest.empty()) GTEST_SKIP() << "needs the destination that full_destination.sh fills up";
  std::vector<Hit> truth = ReadHits("deepscan-volume");
  ASSERT_EQ(Scan(VolumeTarget(kVolume)), kDeepScanDone);
  gScanAbort = 0;
  const int whole = CopyOut(dest);
  EXPECT_EQ(gRawRecoverFailedFiles.load(), 1u) << "the file that did not fit; a full destination takes no more";
  std::vector<Received> files = Of(WM_RECOVER_FILE);
  ASSERT_FALSE(files.empty());
  size_t present = 0;
  for (size_t i = 0; i < gFoundFiles.size(); ++i) {
    std::string out;
    if (!ReadWholeFile(Output(dest, gFoundFiles[i]), &out)) continue;
    ++present;
    // Whatever is on the destination is whole.
    ASSERT_TRUE(truth[i].refined);
    EXPECT_EQ(Sha256Hex(out.data(), out.size()), truth[i].sha256) << truth[i].source;
  }
  EXPECT_EQ(present, static_cast<size_t>(whole));
  EXPECT_LT(present, gFoundFiles.size());
}
