// Result records of the unformat scans and the signature scan. The layouts are
// a format shared by the engine and the pages: packed, little-endian, fields
// in this order with no gaps, sizes exactly as the static_asserts below say.
// They live only in this process's memory: a sector field that a disk past
// 2 TiB would overflow is 64 bits wide.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#pragma pack(push, 1)
// One file rebuilt by the FAT16 or FAT32 unformat scan.
struct UnformatFatRecord {
  uint32_t reserved;           // always 0
  char path[512];              // folder path and name joined with '\', NUL-terminated
  uint64_t startSector;        // volume sector of the file's first cluster (any position on any disk)
  uint32_t size;               // bytes, from the directory entry
  uint8_t selected;            // 1 when created
  SYSTEMTIME created;          // creation date and time of the entry
  SYSTEMTIME modified;         // last write date and time
  SYSTEMTIME accessed;         // last access date; time of day 0
  uint8_t driveIndex;          // the scanned volume
  uint32_t sectorsPerCluster;  // of the scanned volume
};

// One file rebuilt by the NTFS unformat scan.
struct UnformatNtfsRecord {
  uint32_t reserved;           // always 0
  uint8_t driveIndex;
  uint8_t selected;            // 0 when created
  uint64_t recordSector;       // volume sector of the file's 1 KB MFT record
  char path[513];              // folder chain and name, NUL-terminated; at most 260 bytes filled
  SYSTEMTIME created;          // $STANDARD_INFORMATION times, local
  SYSTEMTIME modified;
  SYSTEMTIME accessed;
  uint32_t sizeHigh;           // size of the unnamed $DATA: high half first
  uint32_t sizeLow;            // the pages use this word alone
  uint8_t sectorsPerCluster;   // as a boot sector writes it: 1..128, 0xF8..0xF4 for 256..4096
};

// One hit of the signature scan.
struct FoundFileRecord {
  char name[260];              // "jpg\00000001.jpg": a folder per type, a numbered file in it; NUL-padded
  uint64_t firstSector;        // where the signature was found, from the start of the source
  uint64_t lastSector;         // last sector of the hit
  uint16_t source;             // low 16 bits of the scan's sector target: disk number, volume index
  uint32_t selected;           // 1 when created
};
#pragma pack(pop)

// The records live only in this process's vectors, so the start sector is
// held in 64 bits; the fields keep their order.
static_assert(sizeof(UnformatFatRecord) == 582, "UnformatFatRecord is 582 bytes");
static_assert(offsetof(UnformatFatRecord, path) == 4, "layout");
static_assert(offsetof(UnformatFatRecord, startSector) == 516, "layout");
static_assert(offsetof(UnformatFatRecord, size) == 524, "layout");
static_assert(offsetof(UnformatFatRecord, selected) == 528, "layout");
static_assert(offsetof(UnformatFatRecord, created) == 529, "layout");
static_assert(offsetof(UnformatFatRecord, modified) == 545, "layout");
static_assert(offsetof(UnformatFatRecord, accessed) == 561, "layout");
static_assert(offsetof(UnformatFatRecord, driveIndex) == 577, "layout");
static_assert(offsetof(UnformatFatRecord, sectorsPerCluster) == 578, "layout");

static_assert(sizeof(UnformatNtfsRecord) == 584, "UnformatNtfsRecord is 584 bytes");
static_assert(offsetof(UnformatNtfsRecord, driveIndex) == 4, "layout");
static_assert(offsetof(UnformatNtfsRecord, selected) == 5, "layout");
static_assert(offsetof(UnformatNtfsRecord, recordSector) == 6, "layout");
static_assert(offsetof(UnformatNtfsRecord, path) == 14, "layout");
static_assert(offsetof(UnformatNtfsRecord, created) == 527, "layout");
static_assert(offsetof(UnformatNtfsRecord, modified) == 543, "layout");
static_assert(offsetof(UnformatNtfsRecord, accessed) == 559, "layout");
static_assert(offsetof(UnformatNtfsRecord, sizeHigh) == 575, "layout");
static_assert(offsetof(UnformatNtfsRecord, sizeLow) == 579, "layout");
static_assert(offsetof(UnformatNtfsRecord, sectorsPerCluster) == 583, "layout");

static_assert(sizeof(FoundFileRecord) == 282, "FoundFileRecord is 282 bytes");
static_assert(offsetof(FoundFileRecord, firstSector) == 260, "layout");
static_assert(offsetof(FoundFileRecord, lastSector) == 268, "layout");
static_assert(offsetof(FoundFileRecord, source) == 276, "layout");
static_assert(offsetof(FoundFileRecord, selected) == 278, "layout");

// The result vectors. Each is emptied by the worker that starts a scan,
// before the scan runs, and read only after the scan has ended.
extern std::vector<UnformatFatRecord> gUnformatFat16Files;
extern std::vector<UnformatFatRecord> gUnformatFat32Files;
extern std::vector<UnformatNtfsRecord> gUnformatNtfsFiles;
extern std::vector<FoundFileRecord> gFoundFiles;

inline uint64_t UnformatNtfsSize(const UnformatNtfsRecord& r) {
  return static_cast<uint64_t>(r.sizeHigh) << 32 | r.sizeLow;
}
inline void SetUnformatNtfsSize(UnformatNtfsRecord* r, uint64_t size) {
  r->sizeHigh = static_cast<uint32_t>(size >> 32);
  r->sizeLow = static_cast<uint32_t>(size);
}

// --- hits of the signature scan ---------------------------------------------

// "type\nnnnnnnnn.type": the hit's folder and numbered file name (the counter
// as eight zero-padded digits), NUL-padded to the whole field. The type is
// cut so that the name always fits.
void MakeFoundFileName(const char* type, uint32_t counter, char out[260]);

// Appends a hit in scan order. The hit before it now ends at the sector before
// the new one; the new hit ends at its own first sector until the next hit or
// the end of the scan closes it. A hit that is not past the previous one is
// refused (false): the vector stays in ascending order, one hit per sector.
bool AppendFoundFile(const FoundFileRecord& hit);

// The normal end of a signature scan: every hit ends where the next begins,
// and the last one at endPosition - 1, but never past the source's last
// sector when its size is known (sourceSectors != 0). A single hit is kept
// and closed like any other.
void CloseFoundFilesAtEnd(uint64_t endPosition, uint64_t sourceSectors);

// A stopped signature scan: the last hit ends 2048 sectors after its first,
// likewise never past the source's last sector.
void CloseFoundFilesOnStop(uint64_t sourceSectors);

// (lastSector - firstSector + 1) x 512; 0 for a hit that ends before it starts.
uint64_t FoundFileBytes(const FoundFileRecord& hit);
