// Files in pieces and files holding files: a JPEG whose pieces lie around
// other files ends at its first piece and comes out counted damaged, while
// the same JPEG whole, a JPEG whose Exif thumbnail begins on a sector, a zip
// whose members begin on sectors and a JPEG holding a zip holding a JPEG each
// come out as one whole file.
#include <gtest/gtest.h>

#include <map>

#include "deepscan_test_util.h"

using namespace deeptest;
using testsupport::ReadWholeFile;
using testsupport::ScratchDir;
using testsupport::Sha256Hex;

namespace {

constexpr char kPieces = 'L';

// first sector -> "whole" or "damaged"
std::map<uint64_t, std::string> ReadPieces() {
  std::map<uint64_t, std::string> out;
  std::string text;
  if (!ReadWholeFile(testsupport::FixtureDir("deepscan-pieces") + "pieces.tsv", &text)) return out;
  for (const std::string& line : testsupport::Split(text, '\n')) {
    std::vector<std::string> f = testsupport::Split(line, '\t');
    if (f.size() >= 2 && !f[0].empty()) out[std::stoull(f[0])] = f[1];
  }
  return out;
}

}  // namespace

TEST(DeepScanFragments, APictureInPiecesEndsAtItsFirstAndFilesInsideFilesAreNoHits) {
  const std::vector<Hit> truth = ReadHits("deepscan-pieces");
  const std::map<uint64_t, std::string> pieces = ReadPieces();
  ASSERT_EQ(truth.size(), 8u);
  ASSERT_EQ(pieces.size(), truth.size());
  ASSERT_EQ(Scan(VolumeTarget(kPieces)), kDeepScanDone);
  // Exactly the files laid out: no hit at a thumbnail, a member, or the later
  // pieces of the cut picture.
  ASSERT_EQ(gFoundFiles.size(), truth.size());
  for (size_t i = 0; i < truth.size(); ++i) {
    SCOPED_TRACE(truth[i].source);
    EXPECT_EQ(gFoundFiles[i].firstSector, truth[i].first);
    EXPECT_EQ(TypeOf(gFoundFiles[i]), truth[i].type);
    EXPECT_EQ(gFoundFiles[i].lastSector, truth[i].first + truth[i].Sectors() - 1);
  }

  const std::string dest = ScratchDir("pieces");
  const int whole = CopyOut(dest);
  EXPECT_EQ(whole, 6);
  EXPECT_EQ(gRawRecoverDamagedFiles.load(), 2u);
  EXPECT_EQ(gRawRecoverFailedFiles.load(), 0u);
  for (size_t i = 0; i < truth.size(); ++i) {
    SCOPED_TRACE(truth[i].source);
    std::string out;
    ASSERT_TRUE(ReadWholeFile(dest + NameOf(gFoundFiles[i]), &out));
    // Whole files byte for byte; a cut one is its first piece and no more.
    EXPECT_EQ(out.size(), truth[i].size);
    EXPECT_EQ(Sha256Hex(out.data(), out.size()), truth[i].sha256);
    ASSERT_TRUE(pieces.count(truth[i].first));
  }
}
