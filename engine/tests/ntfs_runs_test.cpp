// Run lists as Windows writes them for files that jump back and forth on the
// volume and have holes; the fixtures made by libntfs-3g only ever move
// forward.
#include <gtest/gtest.h>

#include <vector>

#include "copyout/ntfs_copy.h"
#include "ntfs/ntfs_runs.h"
#include "ntfs/ntfs_volume.h"

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

namespace {

NtfsRun MakeRun(uint64_t vcn, uint64_t lcn, uint64_t length, bool sparse = false) {
  NtfsRun r;
  r.vcn = vcn;
  r.lcn = sparse ? 0 : lcn;
  r.length = length;
  r.sparse = sparse;
  return r;
}

}  // namespace

TEST(RunList, ClustersNamedTwiceAreReadOnce) {
  // The MFT's 16 clusters at 100, named again whole, then half of them again
  // in a run that also holds 8 new ones.
  std::vector<NtfsRun> runs = {MakeRun(0, 100, 16), MakeRun(16, 100, 16), MakeRun(32, 108, 16)};
  EXPECT_TRUE(DropRepeatedClusters(&runs));
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].lcn, 100u);
  EXPECT_EQ(runs[0].length, 16u);
  EXPECT_TRUE(runs[1].sparse);   // the second naming and the repeated half: one hole
  EXPECT_EQ(runs[1].vcn, 16u);
  EXPECT_EQ(runs[1].length, 24u);
  EXPECT_FALSE(runs[2].sparse);
  EXPECT_EQ(runs[2].vcn, 40u);
  EXPECT_EQ(runs[2].lcn, 116u);
  EXPECT_EQ(runs[2].length, 8u);
  EXPECT_EQ(RunClusters(runs), 48u) << "the clusters of the attribute keep their numbers";

  // A sound list is left as it is, holes and backward jumps included.
  std::vector<NtfsRun> sound = {MakeRun(0, 500, 4), MakeRun(4, 0, 4, true), MakeRun(8, 50, 10), MakeRun(18, 520, 2)};
  const std::vector<NtfsRun> copy = sound;
  EXPECT_FALSE(DropRepeatedClusters(&sound));
  ASSERT_EQ(sound.size(), copy.size());
  for (size_t i = 0; i < sound.size(); ++i) {
    EXPECT_EQ(sound[i].lcn, copy[i].lcn);
    EXPECT_EQ(sound[i].length, copy[i].length);
  }

  // A run inside an earlier one, and one that spans two earlier ones.
  std::vector<NtfsRun> nested = {MakeRun(0, 10, 10), MakeRun(10, 30, 10), MakeRun(20, 12, 2), MakeRun(22, 5, 40)};
  EXPECT_TRUE(DropRepeatedClusters(&nested));
  uint64_t real = 0;
  for (const NtfsRun& r : nested) real += r.sparse ? 0 : r.length;
  EXPECT_EQ(real, 10u + 10u + 20u) << "clusters 5-9, 20-29 and 40-44 are new, the rest named before";
}

// --- what the copy of a stream may write -----------------------------------------

namespace {

NtfsGeometry Volume128MiB() {
  NtfsGeometry g;
  g.sectorsPerCluster = 8;
  g.clusterBytes = 4096;
  g.totalClusters = 32768;
  g.totalSectors = g.totalClusters * 8;
  return g;
}

NtfsDataStream Stream(std::vector<NtfsRun> runs, uint64_t size, uint16_t flags = 0) {
  NtfsDataStream s;
  s.runs = std::move(runs);
  s.realSize = s.initializedSize = size;
  s.flags = flags;
  return s;
}

}  // namespace

TEST(CopyPlan, ASoundFileIsWrittenWhole) {
  const NtfsCopyPlan p = PlanNtfsCopy(Stream({MakeRun(0, 100, 10)}, 40000), Volume128MiB());
  EXPECT_EQ(p.bytes, 40000u);
  EXPECT_FALSE(p.damaged);
  // Holes in a sparse file cost the volume nothing: it may be larger.
  const NtfsCopyPlan sparse =
      PlanNtfsCopy(Stream({MakeRun(0, 100, 1), MakeRun(1, 0, 1u << 20, true), MakeRun(1 + (1u << 20), 101, 1)},
                          (2ull + (1u << 20)) * 4096, 0x8000),
                   Volume128MiB());
  EXPECT_EQ(sparse.bytes, (2ull + (1u << 20)) * 4096);
  EXPECT_FALSE(sparse.damaged);
}

TEST(CopyPlan, ARecordThatClaimsMoreThanTheVolumeHoldsStopsAtWhatItHolds) {
  const NtfsGeometry g = Volume128MiB();
  // 8 GiB in a run of 2^40 clusters: the part of the run on the volume.
  NtfsCopyPlan p = PlanNtfsCopy(Stream({MakeRun(0, 30000, 1ull << 40)}, 8ull << 30), g);
  EXPECT_TRUE(p.damaged);
  EXPECT_EQ(p.bytes, (32768u - 30000u) * 4096ull);
  // A hole in a file that is neither sparse nor compressed: up to the hole.
  p = PlanNtfsCopy(Stream({MakeRun(0, 100, 10), MakeRun(10, 0, 1ull << 30, true)}, (10 + (1ull << 30)) * 4096), g);
  EXPECT_TRUE(p.damaged);
  EXPECT_EQ(p.bytes, 40960u);
  // A run past the volume's end: nothing of it.
  p = PlanNtfsCopy(Stream({MakeRun(0, 40000, 10)}, 40000), g);
  EXPECT_TRUE(p.damaged);
  EXPECT_EQ(p.bytes, 0u);
  // A size far past what the runs map: what they map.
  p = PlanNtfsCopy(Stream({MakeRun(0, 100, 10)}, 8ull << 30), g);
  EXPECT_TRUE(p.damaged);
  EXPECT_EQ(p.bytes, 40960u);
  // The same clusters named 90 times: no more than the volume's clusters.
  std::vector<NtfsRun> repeated;
  for (uint64_t i = 0; i < 90; ++i) repeated.push_back(MakeRun(i * 400, 100, 400));
  p = PlanNtfsCopy(Stream(repeated, 90ull * 400 * 4096), g);
  EXPECT_TRUE(p.damaged);
  EXPECT_LE(p.bytes, 32768ull * 4096);
  // A sparse file may not be longer than 2^32 clusters.
  p = PlanNtfsCopy(Stream({MakeRun(0, 100, 1), MakeRun(1, 0, 1ull << 40, true)}, (1ull << 40) * 4096, 0x8000), g);
  EXPECT_TRUE(p.damaged);
  EXPECT_EQ(p.bytes, (1ull << 32) * 4096);
}
