// The signature (deep) scan: reads a whole physical disk or a volume without
// a file system from its first sector to its end, tests the start of every
// sector against the signature table "ZEPRS.DAT", refines some hits by the
// file's inner structure, and appends a FoundFileRecord per hit to
// gFoundFiles (records/records.h). Where a hit's own structure tells where it
// ends, its last sector is that end rather than the sector before the next
// hit. A hit whose structure tells nothing ends at the next hit, at the size
// limit the table gives its type, or at the end of the source, whichever
// comes first. A header that begins inside a hit whose end finder is still
// walking the file there (a JPEG's thumbnail, a zip's members, the pictures
// of a package or a compound file) is part of that hit, not a new one,
// unless the walk later breaks before it or ends without an end to give.
//
// The scan runs on the deep-scan page's worker; it sends (never posts) to the
// window in gDeepScanWindow:
//   WM_RAWSCAN_PROGRESS  wParam = the source's sector count, lParam = the
//                        sector position of the block just read; once per
//                        block, not when the count is unknown. Both are in
//                        units of 2^gDeepScanProgressShift sectors, which is
//                        0 up to 2^32 sectors (2 TiB) and just enough more
//                        beyond for the count to fit 32 bits
//   WM_RAWSCAN_FOUND     wParam = the number of hits so far, lParam = the
//                        newest hit's name (valid only while the message is
//                        handled); at most every 50 ms, and for the last hit
//                        once the scan ends
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "signatures/signature_table.h"
#include "source_report.h"

// The window that receives the scan's messages (the deep-scan page's); set by
// the page before it starts the worker. nullptr: nothing is sent.
extern HWND gDeepScanWindow;
// 1 after an "mpg" hit was recorded, 0 after a hit of any other type: a run
// of MPEG hits with nothing between them is one file.
extern uint32_t gLastHitWasMpeg;
// Set by the scan before its first progress message (see above).
extern std::atomic<uint32_t> gDeepScanProgressShift;
// Hits recorded so far by the running (or last) scan; 0 at its start.
extern std::atomic<uint32_t> gDeepScanHitCount;

constexpr uint32_t kDeepScanBlockSectors = 8192;   // one 4 MB read per block

// Results of RawSignatureScan.
constexpr int kDeepScanDone = 0;           // hits in gFoundFiles (also after a stop)
constexpr int kDeepScanNothing = -1;       // the source was read: no hit
constexpr int kDeepScanNoTable = -2;       // "ZEPRS.DAT" cannot be opened
constexpr int kDeepScanBadTable = -3;      // its size cannot be read, or its magic is wrong
constexpr int kDeepScanCannotOpen = -4;    // the disk or volume cannot be opened
constexpr int kDeepScanCannotRead = -5;    // it opened, but not one block of it could be read
constexpr int kDeepScanNoMemory = -6;      // no room for the block buffer: nothing was looked at

// Scans the disk or volume named by the sector target (disk/raw.h), from its
// first sector to its last, whatever its size. Empties gFoundFiles and polls
// gDeepScanAbort once per block (the one who starts the scan clears it
// before, and the scan never does, so a stop raised meanwhile holds): a stop keeps the hits so far, the last one 2048 sectors
// long (or to its own end, when that is known and shorter).
// report (may be null) names the source and, for kDeepScanCannotOpen and
// kDeepScanCannotRead, the system's reason.
int RawSignatureScan(uint32_t target, SourceReport* report = nullptr);
// The same from firstSector on (the tests look past 2 TiB without reading
// the 2 TiB before it).
int RawSignatureScanFrom(uint32_t target, uint64_t firstSector, SourceReport* report = nullptr);

// Sector count of the disk or volume named by the target, 0 when it cannot be
// told. A volume: the device's own size, else its boot sector's total; a
// disk: the device's size (the length query, else the size of what is
// behind the handle), on Windows 9x its identify data or a read probe.
uint64_t GetTargetSectorCount64(uint32_t target);
// The same, at most 0xFFFFFFFF.
uint32_t GetTargetSectorCount(uint32_t target);
// Sector count of physical disk n on the NT family, 0 when unknown.
uint64_t GetPhysicalDiskSectorCount(int disk);

// --- the pieces of the scan, for the tests ---------------------------------

// The table indexed by a sector's first byte: the candidates of each byte in
// file order (record, then slot), so the first that matches is the match the
// table's own order gives.
class SignatureDispatch {
 public:
  explicit SignatureDispatch(const SignatureTable& table);
  // The matching record and slot of a sector; false when none matches.
  bool Match(const uint8_t* sector, size_t size, size_t* record, int* slot) const;

 private:
  struct Candidate {
    uint16_t record;
    uint8_t slot;
    uint8_t length;
    uint8_t pattern[7];
  };
  std::vector<Candidate> candidates_;
  uint32_t first_[257] = {};   // candidates of byte b: [first_[b], first_[b + 1])
};

// 1 "doc", 2 "xls", 3 "ppt"; 0 not a compound file or none of the three; -1
// the directory sector cannot be read. sector: where the header is; the
// directory sector is read from the source, or taken from block when it lies
// inside (block holds blockSectors sectors from blockStart).
int RefineOleType(uint64_t sector, const uint8_t* header, uint32_t target, HANDLE handle, const uint8_t* block,
                  uint64_t blockStart, uint32_t blockSectors, uint64_t sourceSectors);
// 0 "zip", 1 "docx", 2 "xlsx", 3 "pptx", -1 not a local file header. data
// holds available bytes from the header on; fewer than 102,400 make it read
// 200 sectors from the source instead (fewer at the source's end).
int RefineZipType(uint64_t sector, const uint8_t* data, size_t available, uint32_t target, HANDLE handle,
                  uint64_t sourceSectors);
// "BM" and both reserved words 0; the size field is given back.
bool IsBitmapHeader(const uint8_t* sector, uint32_t* size);
// First place where pattern occurs in buffer, or nullptr.
const uint8_t* FindBytePattern(const void* pattern, size_t length, const uint8_t* buffer, size_t bufferLength);
