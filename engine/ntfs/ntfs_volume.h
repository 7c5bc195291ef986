// An NTFS volume as the engine reads it: geometry from the boot sector, the
// MFT's own data runs, records by number, and the bytes of a file's unnamed
// data stream. Every read goes through the raw sector layer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "ntfs/ntfs_record.h"
#include "ntfs/ntfs_runs.h"

struct NtfsGeometry {
  uint32_t sectorsPerCluster = 0;
  uint32_t clusterBytes = 0;
  uint64_t totalSectors = 0;
  uint64_t totalClusters = 0;
  uint64_t mftCluster = 0;
  uint64_t mftStartSector = 0;
};

// The boot sector's sectors-per-cluster byte: 1 to 128 as they are; larger
// clusters as a negative power of two (0xF4: 2^12 sectors, 2 MB). 0 for a
// byte that names no cluster of 512 bytes to 2 MB, which is all Windows makes.
uint32_t DecodeClusterSectors(uint8_t code);
// Its inverse for a power of two of 1 to 4096 sectors; 0 for anything else.
uint8_t EncodeClusterSectors(uint32_t sectors);

// "NTFS" at 3, 512-byte sectors, a power-of-two cluster of at most 2 MB and
// 1 KB file records; anything else is refused.
bool ReadNtfsGeometry(const uint8_t boot[512], NtfsGeometry* out);
// The volume can be no larger than the device behind it, whatever its boot
// sector says (deviceSectors 0: unknown).
void ClampToDevice(NtfsGeometry* geometry, uint64_t deviceSectors);

class NtfsVolume {
 public:
  // The handle stays the caller's.
  NtfsVolume(HANDLE handle, int driveIndex, const NtfsGeometry& geometry);

  const NtfsGeometry& geometry() const { return geometry_; }
  HANDLE handle() const { return handle_; }
  int driveIndex() const { return driveIndex_; }

  // true only when every sector arrived.
  bool ReadSectors(uint64_t sector, uint32_t count, void* buffer) const;
  // The 1 KB record at a volume sector, checked and with its update
  // sequence applied.
  bool ReadRecordAt(uint64_t sector, uint8_t record[kMftRecordBytes]) const;

  // Reads $MFT's record and the runs of its data (through its attribute list
  // when it has one). Needed before RecordSector / ReadRecord.
  bool LoadMft();
  // For a volume whose boot sector no longer names its MFT (a volume formatted
  // again): records are found through these runs instead, as if loaded.
  void UseMftRuns(const std::vector<NtfsRun>& runs);
  bool mftLoaded() const { return mftLoaded_; }
  const std::vector<NtfsRun>& mftRuns() const { return mftRuns_; }
  uint64_t mftRecordCount() const { return mftRecordCount_; }
  // Where record n of the MFT lies; false past the MFT or in a hole.
  bool RecordSector(uint64_t record, uint64_t* sector) const;
  bool ReadRecord(uint64_t record, uint8_t out[kMftRecordBytes]) const;
  // The record whose first half lies at a volume sector (where the scans
  // say a file's record is). With clusters smaller than a record its second
  // half may lie in another run of the MFT: the MFT's runs (loaded here when
  // the boot sector names them) tell where. A sector they do not map is read
  // as the record of the two sectors from there.
  bool ReadRecordFromSector(uint64_t sector, uint8_t out[kMftRecordBytes]);

 private:
  HANDLE handle_;
  int driveIndex_;
  NtfsGeometry geometry_;
  bool mftLoaded_ = false;
  bool mftLoadTried_ = false;
  std::vector<NtfsRun> mftRuns_;
  uint64_t mftRecordCount_ = 0;
};

// The unnamed $DATA stream of a file, with its extents gathered from every
// record that holds one.
struct NtfsDataStream {
  bool resident = false;
  std::vector<uint8_t> residentValue;
  std::vector<NtfsRun> runs;       // in cluster order, holes as sparse runs
  uint64_t realSize = 0;
  uint64_t initializedSize = 0;
  uint16_t flags = 0;              // of the first extent: compressed, encrypted, sparse
  uint16_t compressionUnit = 0;    // log2 of the clusters per compression unit
  bool complete = true;            // false when an extent or part of a run list was unreadable
};

// From a prepared base record. Extents kept in other records are found
// through the record's attribute list; the MFT is loaded on first need.
// False when the record has no unnamed data stream.
bool LocateUnnamedData(NtfsVolume* volume, const uint8_t* record, NtfsDataStream* out);

// The size of a prepared base record's unnamed data stream: from its first
// extent when the record holds it, else through its attribute list (which
// costs the stream's location). False when it has none.
bool UnnamedDataSize(NtfsVolume* volume, const uint8_t* record, uint64_t* size);

// The name a record is listed under (ChooseFileName), looked for also in the
// records its attribute list names when the record holds none itself. Such a
// record is read into scratch; out then points into scratch.
bool FindRecordName(NtfsVolume* volume, const uint8_t* record, uint8_t scratch[kMftRecordBytes], NtfsFileName* out);

// Reads a stream's bytes. Holes, bytes past the initialized size and bytes
// past the runs read as zeros; so does a cluster that cannot be read, and the
// read then reports false (the rest is still filled). Compressed streams are
// expanded unit by unit.
class NtfsDataReader {
 public:
  NtfsDataReader(const NtfsVolume& volume, const NtfsDataStream& stream);
  // offset must be a multiple of 512.
  bool Read(uint64_t offset, size_t count, uint8_t* out);

 private:
  bool ReadPlain(uint64_t offset, size_t count, uint64_t limit, uint8_t* out);
  bool ReadRunPiece(const NtfsRun& run, uint64_t byteInRun, size_t count, uint8_t* out);
  bool ReadCompressed(uint64_t offset, size_t count, uint8_t* out);
  bool LoadUnit(uint64_t unit);

  const NtfsVolume& volume_;
  const NtfsDataStream& stream_;
  size_t cursor_ = 0;                // run index where the last read ended
  std::vector<uint8_t> scratch_;
  // The compression unit expanded last.
  uint64_t unitIndex_ = UINT64_MAX;
  bool unitOk_ = false;
  std::vector<uint8_t> unit_, packed_;
};
