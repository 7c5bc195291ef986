// A deleted file of more than 4 GiB (almost all hole) is listed with its whole
// size and copied out whole.
#include <gtest/gtest.h>

#include <vector>

#include "copyout/ntfs_copy.h"
#include "disk/raw.h"
#include "ntfs_fixture.h"
#include "state.h"
#include "testsupport.h"

using namespace ntfstest;

TEST(NtfsBigFile, IsListedAndCopiedWholePastFourGigabytes) {
  ClearDeletedFiles();
  ASSERT_EQ(RunScan("G:\\"), 0);
  FixtureFile big;
  for (const FixtureFile& f : ReadFixtureFiles("ntfs-big"))
    if (f.Has("big")) big = f;
  ASSERT_GT(big.size, 0xFFFFFFFFull);
  const DeletedFileRecord* r = FindRecord("\\Big\\huge.bin");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->sizeHigh, 1u);
  EXPECT_EQ(RecordSize(*r), big.size);

  std::string dest = testsupport::ScratchDir("ntfs-big");
  dest.pop_back();
  HANDLE volume = OpenVolume(r->driveIndex);
  ASSERT_NE(volume, nullptr);
  gRecoveredSectors = 0;
  EXPECT_EQ(CopyOutNtfsFile(dest.c_str(), r->driveIndex, volume, r->location, 8, r->path), 0);
  CloseVolume(volume);
  const std::string out = dest + r->path;
  HANDLE h = CreateFileA(out.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(static_cast<uint64_t>(size.QuadPart), big.size);
  // The first MiB, the hole in between and the tail that lies past 4 GiB.
  auto readAt = [&](uint64_t offset, size_t n) {
    std::vector<uint8_t> buf(n);
    LARGE_INTEGER pos;
    pos.QuadPart = static_cast<LONGLONG>(offset);
    DWORD got = 0;
    EXPECT_TRUE(SetFilePointerEx(h, pos, nullptr, FILE_BEGIN));
    EXPECT_TRUE(ReadFile(h, buf.data(), static_cast<DWORD>(n), &got, nullptr));
    buf.resize(got);
    return buf;
  };
  std::vector<uint8_t> head = readAt(0, 1 << 20);
  EXPECT_EQ(testsupport::Sha256Hex(head.data(), head.size()), big.Tag("head"));
  const uint64_t tailAt = 4ull << 30;
  std::vector<uint8_t> tail = readAt(tailAt, static_cast<size_t>(big.size - tailAt));
  EXPECT_EQ(testsupport::Sha256Hex(tail.data(), tail.size()), big.Tag("tail"));
  for (uint64_t at : {uint64_t(1) << 20, uint64_t(3) << 30, tailAt - 4096}) {
    std::vector<uint8_t> hole = readAt(at, 4096);
    EXPECT_EQ(hole, std::vector<uint8_t>(4096, 0)) << at;
  }
  CloseHandle(h);
  EXPECT_GT(gRecoveredSectors.load(), (4u << 30) / 512);
  DeleteFileA(out.c_str());
}
