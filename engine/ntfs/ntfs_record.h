// MFT records and their attributes, read from byte buffers. Every offset,
// length and count comes from the disk, so each one is checked against the
// buffer before it is used; a damaged structure is a false return, never a
// read outside the buffer.
//
// Shared by the deleted-file scan, the copy-out, the record content reader and
// the unformat scan.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "bytes.h"

constexpr uint32_t kMftRecordBytes = 1024;
constexpr uint32_t kMftRecordSectors = 2;
constexpr uint64_t kNtfsRootRecord = 5;

enum NtfsAttributeType : uint32_t {
  kAttrStandardInformation = 0x10,
  kAttrAttributeList = 0x20,
  kAttrFileName = 0x30,
  kAttrData = 0x80,
  kAttrIndexRoot = 0x90,
  kAttrIndexAllocation = 0xA0,
  kAttrBitmap = 0xB0,
  kAttrEnd = 0xFFFFFFFF,
};

// Record header flags.
constexpr uint16_t kRecordInUse = 0x0001;
constexpr uint16_t kRecordIsFolder = 0x0002;

// File references: record number in the low 48 bits, sequence number above.
inline uint64_t RefRecord(uint64_t ref) { return ref & 0x0000FFFFFFFFFFFFull; }
inline uint16_t RefSequence(uint64_t ref) { return static_cast<uint16_t>(ref >> 48); }

// Applies the update sequence of a multi-sector structure (an MFT record, an
// index buffer) in place: the last two bytes of each 512-byte sector are put
// back from the update-sequence array. The array must describe exactly this
// many sectors (count = sectors + 1) and lie inside the first sector. The
// sequence number is not compared: a torn write still yields what the sectors
// hold.
bool ApplyUpdateSequence(uint8_t* buffer, size_t size);

// A 1 KB buffer that starts with "FILE".
bool HasFileMagic(const uint8_t* record);
inline uint16_t RecordFlags(const uint8_t* record) { return ReadLe16(record + 22); }
inline uint16_t RecordSequence(const uint8_t* record) { return ReadLe16(record + 16); }
uint64_t RecordBaseReference(const uint8_t* record);   // non-zero for extension records

// "FILE" magic and a valid update sequence, applied in place.
bool PrepareFileRecord(uint8_t* record);

struct NtfsAttribute {
  const uint8_t* header = nullptr;   // the attribute inside its record
  uint32_t type = 0;
  uint32_t length = 0;
  bool nonResident = false;
  uint8_t nameLength = 0;            // in UTF-16 characters
  const uint8_t* name = nullptr;     // UTF-16LE, nameLength characters
  uint16_t flags = 0;                // 0x00FF compressed, 0x4000 encrypted, 0x8000 sparse
  uint16_t id = 0;
  // resident
  const uint8_t* value = nullptr;
  uint32_t valueLength = 0;
  // non-resident
  uint64_t lowestVcn = 0;
  uint64_t highestVcn = 0;
  const uint8_t* runList = nullptr;
  size_t runListLength = 0;          // bytes up to the end of the attribute
  uint16_t compressionUnit = 0;
  uint64_t allocatedSize = 0;        // present in the first extent only
  uint64_t realSize = 0;
  uint64_t initializedSize = 0;
};

// Walks the attributes of a prepared record in order. Stops at the end
// marker, and at the first attribute that does not fit the record (then
// malformed() is true): a runaway length, a name or value past the
// attribute, a run list outside it.
class NtfsAttributeWalk {
 public:
  NtfsAttributeWalk(const uint8_t* record, size_t size);
  bool Next(NtfsAttribute* out);
  bool malformed() const { return malformed_; }

 private:
  const uint8_t* record_;
  size_t limit_;
  size_t offset_;
  bool done_ = false;
  bool malformed_ = false;
};

// The first attribute of the given type; unnamedOnly passes over named ones
// (named data streams, for instance).
bool FindAttribute(const uint8_t* record, size_t size, uint32_t type, bool unnamedOnly, NtfsAttribute* out);

struct NtfsFileName {
  uint64_t parentRef = 0;
  uint8_t nameSpace = 0;   // 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
  uint8_t length = 0;      // characters
  const uint8_t* name = nullptr;   // UTF-16LE
  uint32_t fileAttributes = 0;
};
// The value of a $FILE_NAME attribute (or an index key, which has the same
// layout), bounded by its length.
bool ParseFileNameValue(const uint8_t* value, size_t length, NtfsFileName* out);

// The name a record is listed under: its first long name, or its DOS name
// when it has nothing else. False when the record has no readable name.
bool ChooseFileName(const uint8_t* record, size_t size, NtfsFileName* out);

// The creation, modification and access FILETIMEs of the record's leading
// $STANDARD_INFORMATION (which must be its first attribute).
struct NtfsTimes {
  FILETIME created, modified, accessed;
};
bool ReadStandardTimes(const uint8_t* record, size_t size, NtfsTimes* out);

// Converts a name read from disk into an 8-bit path component (code page
// CP_OEMCP), at most outSize - 1 bytes, NUL-terminated. A name can never
// name another folder: separators and ':' become '_', and a name made only
// of dots and spaces (".", "..", ". .") has its dots replaced. False when
// nothing usable remains.
bool NtfsNameToComponent(const uint8_t* utf16le, size_t chars, char* out, size_t outSize);

// What the deleted-file scan saw of the MFT record of a file it listed, so the copy-out
// can tell that the record still holds that file: a record freed by a
// deletion is soon given to a new file on a volume in use, and its data is
// then the new file's. Kept beside gDeletedFiles by record index (the
// record's own layout has no room for it) and forgotten with it.
struct NtfsScannedIdentity {
  bool known = false;
  uint16_t sequence = 0;   // the record's sequence number
  uint32_t nameHash = 0;   // NtfsNameHash of the name it was listed under
};
// A hash of a name as NtfsNameToComponent makes it.
uint32_t NtfsNameHash(const char* component);
