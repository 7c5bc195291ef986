// Data runs of a non-resident attribute (the standard NTFS mapping-pairs
// encoding): each run is a header byte whose low nibble sizes the length field
// and whose high nibble sizes the offset field, then the two little-endian
// fields; a header byte of 0 ends the list. Offsets are signed and relative to
// the previous run's start. A run without an offset field is sparse: it reads
// as zeros and never as the clusters of the run before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct NtfsRun {
  uint64_t vcn = 0;       // first cluster of the run within the attribute
  uint64_t lcn = 0;       // first cluster on the volume (0 for a sparse run)
  uint64_t length = 0;    // clusters
  bool sparse = false;
};

// Appends the runs of one mapping-pairs array, numbering clusters from
// startVcn. Stops at the end marker (true) or at the first run that is not
// well-formed (false): a field past the buffer, a field wider than 8 bytes, a
// zero length, a run before cluster 0, or one that overflows. The runs decoded
// before a bad one are kept.
bool DecodeRunList(const uint8_t* runList, size_t size, uint64_t startVcn, std::vector<NtfsRun>* runs);

// Total clusters the runs cover (sparse ones included).
uint64_t RunClusters(const std::vector<NtfsRun>& runs);

// Makes holes of the parts of runs whose clusters an earlier run (in cluster
// order of the attribute) already names, so that a run list naming the same
// clusters twice is read once: the MFT's records, above all, must not be
// listed twice. True when something was dropped.
bool DropRepeatedClusters(std::vector<NtfsRun>* runs);
