// File-type signature tables: the bytes with which the files of a type begin.
// Two tables of one format lie beside the program: "ZEPFR.DAT" settles the
// first cluster of deleted FAT32 files, "ZEPRS.DAT" drives the signature scan.
//
// Layout: a 32-byte header starting with "BRNK", then 48-byte records
// {char[7] type name, u8 slot count, five 8-byte slots {u8 length 0..7,
// 7 pattern bytes}}; the first record whose slot count is 0xFF ends the table.
//
// A scan-table record of four slots or fewer may carry in its fifth slot,
// which is never tried, the largest size a file of its type plausibly has:
// length 0, then "MX" and the size in KiB (32 bits, little-endian).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr char kDeletedTypeTableName[] = "ZEPFR.DAT";
constexpr char kSignatureScanTableName[] = "ZEPRS.DAT";

constexpr size_t kSignatureHeaderSize = 32;
constexpr size_t kSignatureSlotCount = 5;
constexpr size_t kSignatureMaxPattern = 7;
constexpr uint8_t kSignatureEndMark = 0xFF;
// No table we ship comes anywhere near this; a bigger file is not a table.
constexpr size_t kSignatureMaxFileSize = 1 << 20;
constexpr char kSignatureCapMarker[2] = {'M', 'X'};

#pragma pack(push, 1)
struct SignatureSlot {
  uint8_t length;                           // 0..7; 0 matches every sector
  uint8_t pattern[kSignatureMaxPattern];
};
struct SignatureRecord {
  char name[7];                             // extension given to hits, NUL-terminated when shorter
  uint8_t slotCount;                        // slots tried, in order; 0xFF ends the table
  SignatureSlot slots[kSignatureSlotCount];
};
#pragma pack(pop)
static_assert(sizeof(SignatureSlot) == 8, "slot is 8 bytes");
static_assert(sizeof(SignatureRecord) == 48, "record is 48 bytes");
static_assert(offsetof(SignatureRecord, slotCount) == 7, "layout");
static_assert(offsetof(SignatureRecord, slots) == 8, "layout");

enum class SignatureTableStatus {
  kOk = 0,
  kMissing = -2,   // the file cannot be opened or read
  kDamaged = -3,   // too short, another magic, or a slot longer than 7 bytes
};

class SignatureTable {
 public:
  SignatureTableStatus Load(const std::string& path);
  SignatureTableStatus LoadFromBytes(const uint8_t* data, size_t size);

  size_t size() const { return records_.size(); }
  const SignatureRecord& record(size_t i) const { return records_[i]; }
  // The record's type name: exactly 7 bytes copied and terminated here.
  std::string TypeName(size_t i) const;
  // The largest size in bytes of a file of record i's type, from its fifth
  // slot; 0 when the record names none.
  uint64_t SizeCap(size_t i) const;
  // Index of the record named like the extension (case ignored), or -1.
  int FindType(const std::string& extension) const;

  // The slot of record i (0-based) that matches the start of data, or -1.
  // Slots are tried in order, as many as the slot count says (at most five);
  // a slot longer than the data does not match.
  int MatchRecord(size_t i, const uint8_t* data, size_t size) const;
  // The first record, in file order, with a matching slot. false when none.
  bool MatchSector(const uint8_t* data, size_t size, size_t* recordIndex, int* slot) const;

 private:
  std::vector<SignatureRecord> records_;
};

// Full path of a table file: beside the program, or in the folder set below.
std::string SignatureTablePath(const char* fileName);
// nullptr or "" restores the program's folder. Tests point it elsewhere.
void SetSignatureTableFolder(const char* folder);
