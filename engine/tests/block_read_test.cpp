// The read of a block that falls back to pieces, over a made-up disk whose
// bad sectors fail every read that touches them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "disk/block_read.h"

namespace {

// Sector s reads as bytes s + 1; a failed read may leave its buffer written.
struct FakeDisk {
  uint64_t sectors = 64;
  std::set<uint64_t> bad;
  uint64_t readFrom = UINT64_MAX, readTo = 0;   // the span the reads touched
  int calls = 0;

  uint32_t Read(uint64_t at, uint32_t count, uint32_t piece, std::vector<uint8_t>* buffer,
                std::vector<uint8_t>* marks = nullptr) {
    buffer->assign(static_cast<size_t>(count) * kSectorSize, 0);
    auto read = [this](uint64_t from, uint32_t n, uint8_t* out) {
      ++calls;
      readFrom = std::min(readFrom, from);
      readTo = std::max<uint64_t>(readTo, from + n);
      bool ok = from + n <= sectors;
      for (uint64_t s = from; ok && s < from + n; ++s) ok = !bad.count(s);
      for (uint32_t i = 0; i < n; ++i)
        std::memset(out + static_cast<size_t>(i) * kSectorSize, ok ? static_cast<int>(from + i + 1) : 0xEE, kSectorSize);
      return ok;
    };
    return ReadBlockOrPieces(read, at, count, piece, buffer->data(), marks);
  }
};

bool SectorIs(const std::vector<uint8_t>& buffer, uint32_t s, uint8_t value) {
  const uint8_t* p = buffer.data() + static_cast<size_t>(s) * kSectorSize;
  return std::all_of(p, p + kSectorSize, [value](uint8_t b) { return b == value; });
}

}  // namespace

TEST(BlockRead, AWholeBlockIsOneReadWithNothingMarked) {
  FakeDisk disk;
  std::vector<uint8_t> buffer, bad(3, 7);
  EXPECT_EQ(disk.Read(10, 16, 4, &buffer, &bad), 0u);
  EXPECT_EQ(disk.calls, 1);
  EXPECT_EQ(bad, std::vector<uint8_t>(4, 0));
  for (uint32_t s = 0; s < 16; ++s) EXPECT_TRUE(SectorIs(buffer, s, static_cast<uint8_t>(10 + s + 1))) << s;
}

// Sector pieces lose only the bad sectors; larger pieces lose their whole
// piece, and the short last piece stays inside the block.
TEST(BlockRead, APieceThatCannotBeReadIsZeroedAndMarkedAlone) {
  struct Case {
    uint32_t count, piece;
    std::set<uint64_t> bad;
    std::vector<uint8_t> marks;
    int calls;
  };
  const std::vector<uint8_t> sectorMarks = [] {
    std::vector<uint8_t> m(20, 0);
    m[5] = m[17] = 1;
    return m;
  }();
  for (const Case& c : {Case{20, 1, {5, 17}, sectorMarks, 1 + 20}, Case{22, 8, {3, 21}, {1, 0, 1}, 1 + 3}}) {
    FakeDisk disk;
    disk.bad = c.bad;
    std::vector<uint8_t> buffer, marks;
    EXPECT_EQ(disk.Read(0, c.count, c.piece, &buffer, &marks), 2u) << c.piece;
    EXPECT_EQ(marks, c.marks) << c.piece;
    EXPECT_EQ(disk.calls, c.calls) << c.piece;
    for (uint32_t s = 0; s < c.count; ++s) {
      const bool lost = marks[s / c.piece] != 0;
      EXPECT_TRUE(SectorIs(buffer, s, lost ? 0 : static_cast<uint8_t>(s + 1))) << c.piece << " " << s;
    }
    // Not one sector outside the block was asked for.
    EXPECT_EQ(disk.readFrom, 0u);
    EXPECT_EQ(disk.readTo, c.count);
  }
}

TEST(BlockRead, ABlockRunningOffTheDiskKeepsWhatLiesOnIt) {
  FakeDisk disk;
  disk.sectors = 12;
  std::vector<uint8_t> buffer;
  // Without marks: the count of pieces lost is the answer.
  EXPECT_EQ(disk.Read(8, 8, 1, &buffer), 4u);
  for (uint32_t s = 0; s < 8; ++s) EXPECT_TRUE(SectorIs(buffer, s, s < 4 ? static_cast<uint8_t>(8 + s + 1) : 0)) << s;
}
