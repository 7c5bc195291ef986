// Progress-bar arithmetic and busy-bar stepping, including the counts and
// ranges of zero that must not divide by zero.
#include <gtest/gtest.h>

#include <set>

#include "barmath.h"

using namespace controls;

TEST(ProgressBar, DoneBeyondTotalShowsFullBar) {
  ProgressValue v = ScaleProgress(100, 250);
  EXPECT_EQ(v.position, 100);
  EXPECT_EQ(ProgressFillWidth(v, 510), 506);  // at most width - 4
}

TEST(ProgressBar, LargeTotalsKeepTheirProportions) {
  ProgressValue big = ScaleProgress(2000000000, 500000000);
  EXPECT_EQ(big.total, 2000000000 / 512);
  EXPECT_EQ(big.position, 500000000 / 512);
  EXPECT_EQ(ProgressFillWidth(big, 510), 127);  // a quarter of 510
  ProgressValue edge = ScaleProgress(1000000, 1000000);
  EXPECT_EQ(edge.total, 1000000);  // not above the limit: kept as is
  EXPECT_EQ(ProgressFillWidth(edge, 510), 506);
}

TEST(ProgressBar, TotalZeroCountsAsOneAndSmallPositionStillShows) {
  EXPECT_EQ(ProgressFillWidth(ScaleProgress(0, 0), 510), 3);
  EXPECT_EQ(ProgressFillWidth(ProgressValue{0, 1}, 510), 506);
  EXPECT_EQ(ProgressFillWidth(ScaleProgress(1000, 1), 510), 3);
  EXPECT_EQ(ProgressFillWidth(ScaleProgress(1000, -5), 510), 3);
  EXPECT_EQ(ProgressFillWidth(ScaleProgress(-7, 3), 510), 3);
}

TEST(ProgressBar, TilesFromTwoUpToTheFill) {
  EXPECT_EQ(ProgressTileXs(3, 5), (std::vector<int>{2}));
  EXPECT_EQ(ProgressTileXs(13, 5), (std::vector<int>{2, 7, 12}));
  EXPECT_TRUE(ProgressTileXs(2, 5).empty());
  EXPECT_TRUE(ProgressTileXs(100, 0).empty());
}

TEST(BusyBar, BounceVisitsBothEndsWithoutSkipping) {
  BusyBarState s;
  s.blocks = 10;
  std::vector<int> seen;
  for (int i = 0; i < 40; ++i) {
    seen.push_back(s.position);
    BusyStep(&s);
  }
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_EQ(std::abs(seen[i] - seen[i - 1]), 1);
  int ends9 = 0, ends0 = 0;
  for (int p : seen) {
    EXPECT_GE(p, 0);
    EXPECT_LE(p, 9);
    ends9 += p == 9;
    ends0 += p == 0;
  }
  EXPECT_GE(ends9, 2);
  EXPECT_GE(ends0, 2);
}

TEST(BusyBar, WrapForwardAndBackward) {
  BusyBarState s;
  s.blocks = 4;
  BusySetMotion(&s, kMotionWrapForward);
  std::vector<int> f;
  for (int i = 0; i < 9; ++i) {
    f.push_back(s.position);
    BusyStep(&s);
  }
  EXPECT_EQ(f, (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3, 0}));

  BusySetMotion(&s, kMotionWrapBackward);
  BusyReset(&s);
  EXPECT_EQ(s.position, 4);
  std::vector<int> b;
  for (int i = 0; i < 9; ++i) {
    BusyStep(&s);
    b.push_back(s.position);
  }
  EXPECT_EQ(b, (std::vector<int>{3, 2, 1, 0, 3, 2, 1, 0, 3}));
}

TEST(BusyBar, GrowingRunStepsThroughSubSteps) {
  BusyBarState s;
  s.blocks = 4;
  s.blockMode = kGrowingRun;
  s.subSteps = 5;
  BusySetMotion(&s, kMotionWrapForward);
  EXPECT_EQ(BusyStepLimit(s), 20);
  std::set<int> seen;
  for (int i = 0; i < 40; ++i) {
    seen.insert(s.position);
    BusyStep(&s);
  }
  EXPECT_EQ(seen.size(), 20u);
  s.position = 7;  // 7/20 of 4 blocks = 1.4 blocks lit
  auto blocks = BusyBlocks(s, 4 * 20 + 4, 1);
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_TRUE(blocks[0].lit);
  EXPECT_FALSE(blocks[1].lit);
  EXPECT_EQ(blocks[1].partialWidth, 8);
  EXPECT_EQ(blocks[2].partialWidth, 0);
}

TEST(BusyBar, OneLitBlockLayout) {
  BusyBarState s;
  s.blocks = 10;
  s.position = 3;
  auto blocks = BusyBlocks(s, 110, 1);
  ASSERT_EQ(blocks.size(), 10u);
  EXPECT_EQ(blocks[0].left, 0);
  EXPECT_EQ(blocks[0].right, 10);
  EXPECT_EQ(blocks[1].left, 11);
  EXPECT_EQ(blocks[9].right, 109);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(blocks[i].lit, i == 3);
}

TEST(BusyBar, ProgressStyleUsesRangeAndClamps) {
  BusyBarState s;
  s.style = kBusyProgress;
  s.blocks = 10;
  s.rangeLow = 100;
  s.rangeHigh = 200;
  s.position = 150;
  auto blocks = BusyBlocks(s, 110, 1);
  int lit = 0;
  for (auto& b : blocks) lit += b.lit;
  EXPECT_EQ(lit, 5);
  s.position = 1000;
  lit = 0;
  for (auto& b : BusyBlocks(s, 110, 1)) lit += b.lit;
  EXPECT_EQ(lit, 10);
  BusyStep(&s);
  EXPECT_EQ(s.position, 1001);
}

TEST(BusyBar, ZeroBlocksRangesAndWidthsAreHarmless) {
  BusyBarState s;
  s.blocks = 0;
  BusyStep(&s);
  EXPECT_EQ(s.position, 0);
  BusyReset(&s);
  EXPECT_TRUE(BusyBlocks(s, 100, 1).empty());

  s.blocks = 5;
  s.style = kBusyProgress;
  s.rangeLow = s.rangeHigh = 50;
  auto blocks = BusyBlocks(s, 100, 1);
  ASSERT_EQ(blocks.size(), 5u);
  for (auto& b : blocks) EXPECT_FALSE(b.lit);

  s.style = kBusyEndless;
  s.blockMode = kGrowingRun;
  s.subSteps = 0;
  BusyStep(&s);
  EXPECT_TRUE(BusyBlocks(s, 100, 1).size() == 5u);
  EXPECT_TRUE(BusyBlocks(s, 0, 1).empty());
  EXPECT_TRUE(BusyBlocks(s, 4, 1).empty());  // the gaps eat the whole width

  BusyBarState one;
  one.blocks = 1;
  for (int i = 0; i < 5; ++i) {
    BusyStep(&one);
    EXPECT_EQ(one.position, 0);
  }
}
