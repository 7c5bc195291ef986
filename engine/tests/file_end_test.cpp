// Where a found file ends, told from the files the tools made: whatever the
// pieces the bytes arrive in, the same end; a file cut short never gets a
// wrong end; damaged and random bytes never crash the finder and give the
// same answer however they are cut.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "deepscan/file_end.h"
#include "deepscan_test_util.h"

using namespace deeptest;

namespace {

struct Sample {
  Hit hit;
  std::string bytes;   // the file, then what followed it on the image
  bool sourceEnds;     // the image ends where the bytes do
};

std::vector<Sample> Samples() {
  static std::vector<Sample> samples = [] {
    std::vector<Sample> out;
    for (const char* fixture :
         {"deepscan-volume", "deepscan-streams", "deepscan-office", "deepscan-tail", "deepscan-video"}) {
      std::string image = testsupport::FixtureImage(fixture);
      uint64_t end = ImageSectors(image) * 512;
      for (const Hit& h : ReadHits(fixture)) {
        std::string bytes = ImageBytes(image, h.first * 512ull, static_cast<size_t>(h.size) + 8192);
        out.push_back({h, bytes, h.first * 512ull + bytes.size() == end});
      }
    }
    return out;
  }();
  return samples;
}

struct Answer {
  bool done;
  uint64_t length;
  bool cut;
  bool operator==(const Answer& o) const { return done == o.done && length == o.length && cut == o.cut; }
};

// finish: the source ends where the bytes do.
Answer FeedInPieces(FileEndKind kind, const std::string& bytes, std::mt19937& rng, size_t maxPiece,
                    bool finish = false, int* office = nullptr) {
  FileEndFinder f(kind);
  size_t at = 0;
  while (at < bytes.size()) {
    size_t n = std::min<size_t>(bytes.size() - at, 1 + rng() % maxPiece);
    f.Feed(reinterpret_cast<const uint8_t*>(bytes.data()) + at, n);
    at += n;
  }
  if (finish) f.Finish();
  if (office) *office = f.OfficeKind();
  return {f.done(), f.length(), f.cut()};
}

}  // namespace

TEST(FileEnd, TheToolsFilesEndWhereTheyEndInAnyPieces) {
  std::mt19937 rng(1);
  size_t refined = 0;
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.hit.source);
    FileEndKind kind = FileEndKindOfType(s.hit.type.c_str());
    EXPECT_EQ(kind != FileEndKind::kNone, s.hit.refined);
    Answer whole = FeedInPieces(kind, s.bytes, rng, s.bytes.size(), s.sourceEnds);
    if (!s.hit.refined) {
      EXPECT_EQ(whole.length, 0u);
      continue;
    }
    ++refined;
    EXPECT_EQ(whole.length, s.hit.size);
    for (size_t piece : {1, 3, 512, 4099, 70000})
      EXPECT_EQ(FeedInPieces(kind, s.bytes, rng, piece, s.sourceEnds).length, s.hit.size) << "pieces up to " << piece;
  }
  EXPECT_GE(refined, 40u);
}

TEST(FileEnd, AFileCutShortNeverGetsAWrongEnd) {
  std::mt19937 rng(2);
  for (const Sample& s : Samples()) {
    if (!s.hit.refined) continue;
    SCOPED_TRACE(s.hit.source);
    FileEndKind kind = FileEndKindOfType(s.hit.type.c_str());
    for (int k = 0; k < 12; ++k) {
      size_t cut = rng() % s.hit.size;
      Answer a = FeedInPieces(kind, s.bytes.substr(0, cut), rng, 5000);
      // The end is unknown, or (sizes written in the header) the true one.
      EXPECT_TRUE(a.length == 0 || a.length == s.hit.size) << "cut at " << cut << ": " << a.length;
    }
  }
}

TEST(FileEnd, DamagedAndRandomBytesGiveOneAnswerHoweverTheyArrive) {
  std::mt19937 rng(3);
  std::vector<std::pair<FileEndKind, std::string>> inputs;
  for (const Sample& s : Samples()) {
    FileEndKind kind = FileEndKindOfType(s.hit.type.c_str());
    for (int k = 0; k < 30; ++k) {
      std::string damaged = s.bytes.substr(0, std::min<size_t>(s.bytes.size(), 1 + rng() % 300000));
      int flips = 1 + rng() % 12;
      for (int i = 0; i < flips; ++i) {
        // Damage the structure near the start most of the time.
        size_t at = rng() % 3 ? rng() % std::min<size_t>(damaged.size(), 600) : rng() % damaged.size();
        damaged[at] = static_cast<char>(rng());
      }
      inputs.push_back({kind, damaged});
    }
  }
  for (FileEndKind kind : {FileEndKind::kJpeg, FileEndKind::kPng, FileEndKind::kGif, FileEndKind::kBmp,
                           FileEndKind::kZip, FileEndKind::kOle, FileEndKind::kRiff, FileEndKind::kPdf,
                           FileEndKind::kMpeg, FileEndKind::kMp3, FileEndKind::kIsoMedia, FileEndKind::kMatroska,
                           FileEndKind::kFlv})
    for (int k = 0; k < 20; ++k) {
      std::string noise(1 + rng() % 100000, '\0');
      for (char& c : noise) c = static_cast<char>(rng());
      inputs.push_back({kind, noise});
    }
  for (const auto& in : inputs) {
    Answer whole = FeedInPieces(in.first, in.second, rng, in.second.size());
    Answer small = FeedInPieces(in.first, in.second, rng, 7);
    Answer mid = FeedInPieces(in.first, in.second, rng, 3000);
    ASSERT_EQ(whole, small);
    ASSERT_EQ(whole, mid);
  }
}

TEST(FileEnd, StreamsThatRunToTheSourcesEndEndOnAFrameOrPacket) {
  // Frames (MP3), packets (MPEG), boxes (MP4) and tags (FLV) carry no total.
  std::mt19937 rng(4);
  size_t streams = 0;
  for (const Sample& s : Samples()) {
    FileEndKind kind = FileEndKindOfType(s.hit.type.c_str());
    if (kind != FileEndKind::kMpeg && kind != FileEndKind::kMp3 && kind != FileEndKind::kIsoMedia &&
        kind != FileEndKind::kFlv)
      continue;
    SCOPED_TRACE(s.hit.source);
    ++streams;
    std::string file = s.bytes.substr(0, static_cast<size_t>(s.hit.size));
    // An ID3v1 tag is the end of its file; otherwise, without the word that
    // the source has ended, the end is not told yet.
    const bool tagged = file.size() > 128 && file.compare(file.size() - 128, 3, "TAG") == 0;
    EXPECT_EQ(FeedInPieces(kind, file, rng, 5000).done, tagged);
    // A raw video stream has no last packet to end on: it stays unknown.
    const bool raw = s.hit.source == "video.m1v";
    EXPECT_EQ(FeedInPieces(kind, file, rng, 5000, true).length, raw ? 0u : s.hit.size);
    // Cut inside its last frame or packet: no end at all; cut inside the
    // ID3v1 tag: the frames ended where it begins.
    Answer cut = FeedInPieces(kind, file.substr(0, file.size() - 100), rng, 5000, true);
    EXPECT_TRUE(cut.done);
    EXPECT_EQ(cut.length, tagged ? s.hit.size - 128 : 0u);
  }
  EXPECT_GE(streams, 12u);

  // The raw video stream ends where zero bytes say no picture goes on:
  // three before the source's end, or more than any padding before a start
  // code.
  for (const Sample& s : Samples()) {
    if (s.hit.source != "video.m1v") continue;
    std::string file = s.bytes.substr(0, static_cast<size_t>(s.hit.size));
    EXPECT_EQ(FeedInPieces(FileEndKind::kMpeg, file + std::string(5000, '\0'), rng, 300).length, s.hit.size);
    EXPECT_EQ(FeedInPieces(FileEndKind::kMpeg, file + std::string(3, '\0'), rng, 300, true).length, s.hit.size);
    EXPECT_EQ(FeedInPieces(FileEndKind::kMpeg, file + std::string(2, '\0'), rng, 300, true).length, 0u);
  }
}

TEST(FileEnd, AZipsEntriesTellWhichOfficePackageItIs) {
  std::mt19937 rng(5);
  size_t zips = 0;
  for (const Sample& s : Samples()) {
    if (FileEndKindOfType(s.hit.type.c_str()) != FileEndKind::kZip) continue;
    SCOPED_TRACE(s.hit.source);
    ++zips;
    int want = s.hit.type == "docx" ? kZipWord : s.hit.type == "xlsx" ? kZipExcel : s.hit.type == "pptx" ? kZipPowerPoint
                                                                                                      : kZipPlain;
    for (size_t piece : {7, 4099, 1000000}) {
      int office = -1;
      EXPECT_EQ(FeedInPieces(FileEndKind::kZip, s.bytes, rng, piece, false, &office).length, s.hit.size);
      EXPECT_EQ(office, want) << "pieces up to " << piece;
    }
  }
  EXPECT_GE(zips, 13u);
}

TEST(FileEnd, PdfTakesItsLastEndLineAndAGapForgetsAGuess) {
  std::string pdf = "%PDF-1.4\nbody\n%%EOF\nupdate\n%%EOF\r\ntrailing garbage %%EO";
  FileEndFinder f(FileEndKind::kPdf);
  f.Feed(reinterpret_cast<const uint8_t*>(pdf.data()), pdf.size());
  EXPECT_FALSE(f.done());
  EXPECT_EQ(f.length(), pdf.find("garbage") - std::string("trailing ").size());
  f.Break();
  EXPECT_TRUE(f.done());
  EXPECT_EQ(f.length(), 0u) << "after a gap a later end may have been missed";

  // A RIFF's size was in its header: a gap later does not undo it.
  std::string riff = std::string("RIFF\x10\x00\x00\x00WAVE", 12) + std::string(8, 'x');
  FileEndFinder r(FileEndKind::kRiff);
  r.Feed(reinterpret_cast<const uint8_t*>(riff.data()), riff.size());
  EXPECT_EQ(r.length(), 24u);
  EXPECT_EQ(FileEndKindOfType("DOCX"), FileEndKind::kZip);
  EXPECT_EQ(FileEndKindOfType("psd"), FileEndKind::kNone);
  EXPECT_EQ(FileEndKindOfType(nullptr), FileEndKind::kNone);
}

// The tools' files with their bytes replaced from some sector on: the finder
// ends them there, as damaged, whatever pieces the bytes arrive in.
TEST(FileEnd, AStructureThatBreaksEndsTheFileWhereItsWholePartEnds) {
  std::mt19937 rng(5);
  int jpegs = 0, pngs = 0, zips = 0;
  for (const Sample& s : Samples()) {
    const FileEndKind kind = FileEndKindOfType(s.hit.type.c_str());
    const size_t sectors = static_cast<size_t>(s.hit.size / 512);
    if (sectors < 8) continue;
    SCOPED_TRACE(s.hit.source);
    const size_t k = sectors / 2;
    std::string broken = s.bytes.substr(0, k * 512);
    if (kind == FileEndKind::kJpeg) {
      // An MFT record in the middle of the entropy-coded data.
      std::string record(1024, '\0');
      std::memcpy(&record[0], "FILE0\0\3\0", 8);
      broken += record + s.bytes.substr(k * 512 + 1024);
      Answer a = FeedInPieces(kind, broken, rng, 1 + rng() % 5000);
      EXPECT_TRUE(a.cut);
      EXPECT_EQ(a.length, k * 512);
      EXPECT_EQ(FeedInPieces(kind, broken, rng, 7), a);
      ++jpegs;
    } else if (kind == FileEndKind::kPng ||
               (kind == FileEndKind::kZip && s.hit.type == "zip" && s.hit.source.find("streamed") == std::string::npos)) {
      // Random bytes from the middle on: a CRC or a record that is none.
      for (size_t i = 0; i < 256 * 512; ++i) broken += static_cast<char>(rng());
      Answer a = FeedInPieces(kind, broken, rng, 1 + rng() % 5000);
      EXPECT_TRUE(a.cut);
      EXPECT_EQ(a.length % 512, 0u);
      EXPECT_GT(a.length, 0u);
      EXPECT_LE(a.length, k * 512 + 512) << "never past the sector the junk begins in";
      EXPECT_EQ(FeedInPieces(kind, broken, rng, 7), a);
      ++(kind == FileEndKind::kPng ? pngs : zips);
    }
  }
  EXPECT_GE(jpegs, 2);
  EXPECT_GE(pngs, 1);
  EXPECT_GE(zips, 1);
}
