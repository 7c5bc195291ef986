// The recycle bins of Windows 95 to XP: every item in a bin folder
// ("RECYCLED" on FAT, "RECYCLER\<user's SID>" on NTFS) is renamed
// "D" + the letter of its former drive + a number + its extension, and one
// index file ("INFO2", "INFO" on the oldest systems) beside them holds, per
// item, that number and the item's former full path.
//
// Index file: a 20-byte header whose u32 at 12 is the size of one entry,
// then the entries. An entry: the path in the writer's ANSI code page
// (260 bytes), u32 number, u32 drive number (0 = A), FILETIME of the
// deletion, u32 size; entries of 800 bytes go on with the path in UTF-16
// (520 bytes), entries of 280 bytes end there. An item the user took out of
// the bin (restored, or deleted from it) keeps its entry with the first byte
// of the ANSI path cleared.
//
// All of it is read from a disk: every size, count, number and path is
// checked, and nothing here trusts one field because another looked right.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

constexpr uint32_t kInfo2HeaderBytes = 20;
constexpr uint32_t kInfo2AnsiEntryBytes = 280;
constexpr uint32_t kInfo2WideEntryBytes = 800;
// An index file is read this far at most (more than 1300 entries of 800
// bytes); what lies beyond is not looked at.
constexpr uint32_t kInfo2MaxBytes = 1u << 20;

struct Info2Entry {
  uint32_t number = 0;
  uint32_t drive = 0;
  uint32_t size = 0;      // the item's size on disk, as the index states it
  std::wstring path;      // as stored (not yet checked); empty when there is none
};

// The entries of an index file's first `size` bytes: none when the header is
// cut short or names an entry size other than 280 or 800; an entry cut short
// by the end of the bytes is left out. A cleared first byte of an ANSI path
// ("\0:\...") is taken for the letter of the entry's drive number.
std::vector<Info2Entry> ParseInfo2(const uint8_t* data, size_t size);

// A bin item's name: "D" (or "_", the first letter of a deleted short name),
// a drive letter, the decimal number (at most 9 digits), then nothing or "."
// and the extension. false for any other name.
struct BinItemName {
  char letter = 0;        // upper case
  uint32_t number = 0;
  std::string extension;  // without the dot; empty when there is none
};
bool ParseBinItemName(const char* name, BinItemName* out);

// Whether a record's 8-bit file or folder name (code page 936) is that of an
// index file ("INFO2" or "INFO", either way deleted).
bool IsInfo2Name(const char* name);

// The former full path of a bin item ("X:\..." in the OEM code page, checked
// as every recycle-bin path is: see FormerPathText) among the entries of the
// index files of its folder. An entry names the item when its number and
// drive are the item's, its path is sound, begins with that drive's letter
// and ends in a name of the item's extension. When several entries name it
// with different paths (index files of bins emptied before, whose numbers
// began again), only those that state a size from the item's (fileSize) up
// to 64 KB more are kept; pass UINT64_MAX for an item that is a folder. Still
// more than one path, or none: false.
bool FormerPathOfBinItem(const std::vector<Info2Entry>& entries, const BinItemName& item, uint64_t fileSize,
                         std::string* former);

// The same answers for many items of one folder: the entries are indexed
// once by number and drive, so that a bin of many items whose index files
// all number from 1 again is read in time linear in items and entries.
class Info2Lookup {
 public:
  explicit Info2Lookup(std::vector<Info2Entry> entries);
  bool FormerPath(const BinItemName& item, uint64_t fileSize, std::string* former) const;

 private:
  std::vector<Info2Entry> entries_;
  std::unordered_map<uint64_t, std::vector<uint32_t>> byNumber_;   // (drive << 32 | number) -> entries
};
