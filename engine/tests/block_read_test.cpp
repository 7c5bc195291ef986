// The read of a block that falls back to pieces, over a made-up disk whose
// bad sectors fail every read that touches them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "disk/block_read.h"

namespace {

struct FakeDisk {
  uint64_t sectors = 64;
  std::set<uint64_t> bad;
  uint64_t readFrom = UINT64_MAX, readTo = 0;   // the span the reads touched
  int calls = 0;

  bool Read(uint64_t at, uint32_t n, uint8_t* out) {
    ++calls;
    readFrom = std::min(readFrom, at);
    readTo = std::max<uint64_t>(readTo, at + n);
    if (at + n > sectors) return false;
    for (uint64_t s = at; s < at + n; ++s)
      if (bad.count(s)) {
        // A failed read may leave part of its buffer written.
        std::memset(out, 0xEE, static_cast<size_t>(n) * kSectorSize);
        return false;
      }
    for (uint32_t i = 0; i < n; ++i)
      std::memset(out + static_cast<size_t>(i) * kSectorSize, static_cast<int>(at + i + 1), kSectorSize);
    return true;
  }
};

// The byte sector s holds when it was read; 0 when it was not.
uint8_t ByteOf(const std::vector<uint8_t>& buffer, uint32_t s) { return buffer[static_cast<size_t>(s) * kSectorSize]; }

bool SectorIs(const std::vector<uint8_t>& buffer, uint32_t s, uint8_t value) {
  for (size_t i = 0; i < kSectorSize; ++i)
    if (buffer[static_cast<size_t>(s) * kSectorSize + i] != value) return false;
  return true;
}

}  // namespace

TEST(BlockRead, AWholeBlockIsOneReadWithNothingMarked) {
  FakeDisk disk;
  std::vector<uint8_t> buffer(16 * kSectorSize), bad(3, 7);
  auto read = [&](uint64_t at, uint32_t n, uint8_t* out) { return disk.Read(at, n, out); };
  EXPECT_EQ(ReadBlockOrPieces(read, 10, 16, 4, buffer.data(), &bad), 0u);
  EXPECT_EQ(disk.calls, 1);
  EXPECT_EQ(bad, std::vector<uint8_t>(4, 0));
  for (uint32_t s = 0; s < 16; ++s) EXPECT_EQ(ByteOf(buffer, s), 10 + s + 1);
}

TEST(BlockRead, SectorPiecesZeroAndMarkOnlyTheBadSectors) {
  FakeDisk disk;
  disk.bad = {5, 17};
  std::vector<uint8_t> buffer(20 * kSectorSize), bad;
  auto read = [&](uint64_t at, uint32_t n, uint8_t* out) { return disk.Read(at, n, out); };
  EXPECT_EQ(ReadBlockOrPieces(read, 0, 20, 1, buffer.data(), &bad), 2u);
  ASSERT_EQ(bad.size(), 20u);
  for (uint32_t s = 0; s < 20; ++s) {
    const bool isBad = s == 5 || s == 17;
    EXPECT_EQ(bad[s], isBad ? 1 : 0) << s;
    EXPECT_TRUE(SectorIs(buffer, s, isBad ? 0 : static_cast<uint8_t>(s + 1))) << s;
  }
  // Not one sector outside the block was asked for.
  EXPECT_EQ(disk.readFrom, 0u);
  EXPECT_EQ(disk.readTo, 20u);
}

TEST(BlockRead, LargerPiecesLoseTheirWholePieceAndTheShortLastPieceStaysInTheBlock) {
  FakeDisk disk;
  disk.bad = {3, 21};
  // 22 sectors in pieces of 8: 0-7 (bad), 8-15, and the short 16-21 (bad).
  std::vector<uint8_t> buffer(22 * kSectorSize), bad;
  auto read = [&](uint64_t at, uint32_t n, uint8_t* out) { return disk.Read(at, n, out); };
  EXPECT_EQ(ReadBlockOrPieces(read, 0, 22, 8, buffer.data(), &bad), 2u);
  EXPECT_EQ(bad, (std::vector<uint8_t>{1, 0, 1}));
  for (uint32_t s = 0; s < 22; ++s) {
    const bool lost = s < 8 || s >= 16;
    EXPECT_TRUE(SectorIs(buffer, s, lost ? 0 : static_cast<uint8_t>(s + 1))) << s;
  }
  EXPECT_EQ(disk.readTo, 22u);
  EXPECT_EQ(disk.calls, 1 + 3);
}

TEST(BlockRead, ABlockRunningOffTheDiskKeepsWhatLiesOnIt) {
  FakeDisk disk;
  disk.sectors = 12;
  std::vector<uint8_t> buffer(8 * kSectorSize);
  auto read = [&](uint64_t at, uint32_t n, uint8_t* out) { return disk.Read(at, n, out); };
  // Without marks: the count of lost sectors is the answer.
  EXPECT_EQ(ReadBlockOrPieces(read, 8, 8, 1, buffer.data()), 4u);
  for (uint32_t s = 0; s < 8; ++s) EXPECT_TRUE(SectorIs(buffer, s, s < 4 ? static_cast<uint8_t>(8 + s + 1) : 0)) << s;
}
