// Reading back the first bytes of a deleted file without copying it out, and
// giving recycle-bin entries back the names they had before deletion.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

// Reads the first byteCount bytes of record `index` of gDeletedFiles into
// buffer (never more than byteCount; a shorter file leaves zeros after its
// end). The file system is the one the volume's boot sector names.
// NTFS: 0; FAT: byteCount; -1 when the record, its volume or its data
// cannot be read, or the record is a folder.
int ReadRecordContent(uint32_t index, void* buffer, uint32_t byteCount);

// Reads record `index`'s content from its start, as far as its size and
// maxBytes allow, into out. A part that cannot be read ends it: out keeps
// what was read before. The count of bytes in out, or -1 (out empty) when
// the record, its volume or its data cannot be read at all.
int ReadRecordContentUpTo(uint32_t index, uint32_t maxBytes, std::vector<uint8_t>* out);

// What a resolution over many records obeys and tells: `stop` is polled and
// ends it early (the names resolved so far are kept); progress(done, total)
// is called every few hundred records.
struct BinNameProgress {
  const std::atomic<bool>* stop = nullptr;
  std::function<void(uint32_t done, uint32_t total)> progress;
};

// Gives the items of every recycle bin the scan found back their former
// names, in time linear in the records (the partners and index files are
// indexed once by drive, folder and name).
// Vista and later: an item "$R<rest>" (a file, or a folder whose records lie
// below it) directly in its folder takes the path its partner "$I<rest>" of
// the same folder and drive stored, below that folder, when the stored name
// has the item's extension. On FAT a deleted 8.3 entry has lost its first
// byte: "?R??????.ext" beside "?I??????.ext" is matched the same way.
// Windows 95 to XP: every item ("D<letter><n>.ext" directly in the scanned
// bin folder, or in a user's "S-1-..." folder in it) whose folder holds an
// index file the scan found (content/info2.h) is given the path that index
// file names, below that folder; an item that is a folder gives its path to
// every record below it. A record whose former path is not known for sure
// keeps its name. The index files themselves ("$I...", a matched "?I...",
// INFO2) are marked (IsRecycleIndexRecord). Returns 0, or 1 when stopped.
int ResolveRecycleBinNames(const BinNameProgress* control = nullptr);

// Whether the last ResolveRecycleBinNames took record `index` for an index
// file of a bin (never a file of the user's: not listed, not copied).
bool IsRecycleIndexRecord(uint32_t index);

// The longest former path a recycle-bin entry may give, in bytes.
constexpr size_t kFormerPathBytes = 260;

// A former path read from a recycle bin (text of `length` UTF-16 units,
// without its end) made into the 8-bit text of the OEM code page, at most
// kFormerPathBytes - 1 bytes and outSize - 1: only a whole path on a drive
// ("X:\..."), none of whose folders is empty or climbs out (".", "..", a
// name of dots and spaces), and with no control character, '/' or ':' past
// the drive. false for any other.
bool FormerPathText(const wchar_t* text, size_t length, char* out, size_t outSize);

// Gives the "$R" record `index` the path its "$I" partner (the record of the
// same folder and drive named "$I" + the same rest) stored, below the
// record's own folder. 0, or -1 when the record is not a "$R" file or its
// partner is missing, unreadable or holds an unusable path; the record then
// keeps its name.
int ResolveRecycleBinName(uint32_t index);

// The content read last (kept so that a partner read twice is read once).
struct RecycleInfoCache {
  bool valid;
  uint32_t index;
  uint8_t data[1024];
};
extern RecycleInfoCache gRecycleInfoCache;
