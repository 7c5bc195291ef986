// Run lists as Windows writes them for files that jump back and forth on the
// volume and have holes; the fixtures made by libntfs-3g only ever move
// forward.
#include <gtest/gtest.h>

#include <vector>

#include "ntfs/ntfs_runs.h"

TEST(RunList, OffsetsAreSignedAndRelativeAndHolesAreSparse) {
  // 16 clusters at 0x1000; 8 at 0x1000 - 0x800; a hole of 4; 2 at +0x10.
  const uint8_t list[] = {0x21, 0x10, 0x00, 0x10,         // length 16, offset +0x1000
                          0x21, 0x08, 0x00, 0xF8,         // length 8, offset -0x800
                          0x01, 0x04,                     // length 4, no offset: a hole
                          0x11, 0x02, 0x10,               // length 2, offset +0x10 from the last real run
                          0x00};
  std::vector<NtfsRun> runs;
  ASSERT_TRUE(DecodeRunList(list, sizeof list, 0, &runs));
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_EQ(runs[0].lcn, 0x1000u);
  EXPECT_EQ(runs[1].lcn, 0x800u);
  EXPECT_EQ(runs[1].vcn, 16u);
  EXPECT_TRUE(runs[2].sparse);
  EXPECT_EQ(runs[2].vcn, 24u);
  EXPECT_FALSE(runs[3].sparse);
  EXPECT_EQ(runs[3].lcn, 0x810u);
  EXPECT_EQ(runs[3].vcn, 28u);
  EXPECT_EQ(RunClusters(runs), 30u);
}

TEST(RunList, ABadRunEndsTheListAndKeepsWhatCameBefore) {
  std::vector<NtfsRun> runs;
  const uint8_t beforeZero[] = {0x11, 0x04, 0x10, 0x11, 0x04, 0xE0, 0x00};   // second run starts at -16
  EXPECT_FALSE(DecodeRunList(beforeZero, sizeof beforeZero, 0, &runs));
  EXPECT_EQ(runs.size(), 1u);
  runs.clear();
  const uint8_t wide[] = {0x9F, 0x01};   // a 15-byte length field
  EXPECT_FALSE(DecodeRunList(wide, sizeof wide, 0, &runs));
  EXPECT_TRUE(runs.empty());
  const uint8_t cut[] = {0x31, 0x04, 0x10};   // the offset field runs past the attribute
  EXPECT_FALSE(DecodeRunList(cut, sizeof cut, 0, &runs));
  const uint8_t zeroLength[] = {0x11, 0x00, 0x10, 0x00};
  EXPECT_FALSE(DecodeRunList(zeroLength, sizeof zeroLength, 0, &runs));
  const uint8_t noEnd[] = {0x11, 0x04, 0x10};
  EXPECT_FALSE(DecodeRunList(noEnd, sizeof noEnd, 0, &runs));
  EXPECT_EQ(runs.size(), 1u) << "the run before the missing end marker is kept";
}
