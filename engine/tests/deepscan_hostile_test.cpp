// The signature scan and its copy-out on a disk of damaged and hostile
// structures (tests/fixtures/recipes/hostile_deep.py): both end (the test's
// time limit), no hit runs past the disk or its type's size limit, no file
// written is longer than its hit, nothing lands outside the destination, and
// the scanned image is not changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "deepscan_test_util.h"
#include "signatures/signature_table.h"

using namespace deeptest;
using testsupport::MappedImage;
using testsupport::ReadWholeFile;
using testsupport::ScratchDir;

namespace {

constexpr char kHostileDeep = 'H';

// Every file below folder (its path relative to it), recursively.
void ListFiles(const std::string& folder, const std::string& below, std::vector<std::string>* out) {
  WIN32_FIND_DATAA f;
  HANDLE h = FindFirstFileA((folder + below + "*").c_str(), &f);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = f.cFileName;
    if (name == "." || name == "..") continue;
    if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListFiles(folder, below + name + "\\", out);
    else
      out->push_back(below + name);
  } while (FindNextFileA(h, &f));
  FindClose(h);
}

uint64_t CapOf(const SignatureTable& table, const std::string& type) {
  std::string row = type == "docx" || type == "xlsx" || type == "pptx" ? "zip"
                    : type == "xls" || type == "ppt"                   ? "doc"
                    : type == "wav"                                    ? "avi"
                                                                       : type;
  int i = table.FindType(row);
  return i < 0 ? 0 : table.SizeCap(static_cast<size_t>(i));
}

}  // namespace

TEST(DeepScanHostileDisk, TheScanAndTheCopyOutEndAndStayInBounds) {
  const std::string image = MappedImage(kHostileDeep);
  std::string before;
  ASSERT_TRUE(ReadWholeFile(image, &before));
  const uint64_t sectors = before.size() / 512;
  const std::string imageSum = testsupport::Sha256Hex(before.data(), before.size());

  SignatureTable table;
  ASSERT_EQ(table.Load(SignatureTablePath(kSignatureScanTableName)), SignatureTableStatus::kOk);
  ASSERT_EQ(Scan(VolumeTarget(kHostileDeep)), kDeepScanDone);
  ASSERT_GT(gFoundFiles.size(), 2000u) << "the stretch of headers alone is 2,048 sectors";
  uint64_t previousLast = 0;
  for (size_t i = 0; i < gFoundFiles.size(); ++i) {
    const FoundFileRecord& r = gFoundFiles[i];
    SCOPED_TRACE(NameOf(r));
    ASSERT_LE(r.firstSector, r.lastSector);
    ASSERT_LT(r.lastSector, sectors);
    if (i > 0) {
      ASSERT_GT(r.firstSector, previousLast) << "hits do not overlap";
    }
    previousLast = r.lastSector;
    uint64_t cap = CapOf(table, TypeOf(r));
    ASSERT_GT(cap, 0u);
    ASSERT_LE(FoundFileBytes(r), cap);
  }

  // Everything is copied out: each file at most as long as its hit, and
  // nothing but those files below the destination.
  const std::string parent = ScratchDir("hostile-deep");
  const std::string dest = parent + "out\\";
  const int whole = CopyOut(dest);
  // The page hears of some of the files (the gate holds most back), always
  // of the last; the files it hears of are below the destination and no
  // longer than their hits.
  std::vector<Received> files = Of(WM_RECOVER_FILE);
  ASSERT_FALSE(files.empty());
  EXPECT_EQ(files.back().wParam, gFoundFiles.size());
  EXPECT_EQ(static_cast<size_t>(whole) + gRawRecoverDamagedFiles.load() + gRawRecoverFailedFiles.load(),
            gFoundFiles.size());
  for (const Received& f : files) {
    ASSERT_EQ(f.destination.compare(0, dest.size(), dest), 0) << f.destination;
    ASSERT_GE(f.wParam, 1u);
    ASSERT_LE(f.wParam, gFoundFiles.size());
    WIN32_FILE_ATTRIBUTE_DATA a;
    ASSERT_TRUE(GetFileAttributesExA(f.destination.c_str(), GetFileExInfoStandard, &a)) << f.destination;
    uint64_t size = static_cast<uint64_t>(a.nFileSizeHigh) << 32 | a.nFileSizeLow;
    EXPECT_LE(size, FoundFileBytes(gFoundFiles[f.wParam - 1])) << f.source;
  }
  // At most one file per hit below the destination, none longer than the
  // longest hit.
  uint64_t longest = 0;
  for (const FoundFileRecord& r : gFoundFiles) longest = std::max<uint64_t>(longest, FoundFileBytes(r));
  std::vector<std::string> below, beside;
  ListFiles(dest, "", &below);
  EXPECT_GE(below.size(), static_cast<size_t>(whole));
  EXPECT_LE(below.size(), gFoundFiles.size());
  for (const std::string& f : below) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    ASSERT_TRUE(GetFileAttributesExA((dest + f).c_str(), GetFileExInfoStandard, &a)) << f;
    EXPECT_LE(static_cast<uint64_t>(a.nFileSizeHigh) << 32 | a.nFileSizeLow, longest) << f;
  }
  ListFiles(parent, "", &beside);
  EXPECT_EQ(beside.size(), below.size()) << "nothing beside the destination";

  std::string after;
  ASSERT_TRUE(ReadWholeFile(image, &after));
  EXPECT_EQ(testsupport::Sha256Hex(after.data(), after.size()), imageSum) << "the scanned disk is not written";
}
