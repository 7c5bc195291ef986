// What an NTFS volume's own allocation says now: which clusters its $Bitmap
// marks in use, and which MFT records the $BITMAP of $MFT counts as
// allocated. The copy-outs ask it whether a file they bring back still owns
// its clusters, or whether the file system has since given them to another
// file.
#pragma once

#include <cstdint>
#include <vector>

#include "ntfs/ntfs_volume.h"

// Clusters [lcn, lcn + count) that the data of owner (a record's index in
// its result list) lies in.
struct NtfsClusterClaim {
  uint64_t lcn = 0;
  uint64_t count = 0;
  size_t owner = 0;
};

class NtfsAllocation {
 public:
  // The volume as its present boot sector describes it (its MFT is loaded
  // here when it is not yet). Both bitmaps are located once; their bits are
  // read afresh on every question, since a live volume goes on changing.
  explicit NtfsAllocation(NtfsVolume* volume);

  // Whether $Bitmap was found: without it no cluster is known to be in use.
  bool known() const { return clustersKnown_; }

  // Whether any cluster holding a sector of [firstSector, firstSector +
  // sectors) is marked in use. False when the bitmap does not reach them or
  // cannot be read: nothing is claimed that the volume does not say.
  bool SectorsInUse(uint64_t firstSector, uint64_t sectors);

  // For the 1 KB record at a volume sector: 1 when it lies in this volume's
  // MFT and is counted as allocated there, 0 when it lies outside the MFT or
  // its bit is clear, -1 when that cannot be told.
  int RecordAllocatedAt(uint64_t sector);

  // The owners of the claims that any cluster marked in use falls in, each
  // once. The claims are taken in cluster order, so the bitmap is read in
  // one pass however many there are. Empty when the bitmap is not known.
  std::vector<size_t> OwnersOfClustersInUse(std::vector<NtfsClusterClaim> claims);

 private:
  // Reads bit `bit` onwards of a bitmap stream into bits_ (whole bytes);
  // false when the stream cannot be read there.
  bool ReadBits(const NtfsDataStream& stream, uint64_t firstBit, uint64_t count, std::vector<uint8_t>* bytes,
                uint64_t* byteStart);

  NtfsVolume* volume_;
  bool clustersKnown_ = false;
  bool recordsKnown_ = false;
  NtfsDataStream clusters_;   // $Bitmap's data
  NtfsDataStream records_;    // $MFT's $BITMAP
};
