// Reading back the first bytes of a deleted file without copying it out, and
// giving recycle-bin entries back the names they had before deletion.
#pragma once

#include <cstdint>

// Reads the first byteCount bytes of record `index` of gDeletedFiles into
// buffer (never more than byteCount; a shorter file leaves zeros after its
// end). The file system is the one the volume's boot sector names.
// NTFS: 0; FAT: byteCount; -1 when the record, its volume or its data
// cannot be read, or the record is a folder.
int ReadRecordContent(uint32_t index, void* buffer, uint32_t byteCount);

// For every record whose file name begins with "$R", ResolveRecycleBinName.
// Returns 0.
int ResolveRecycleBinNames();

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
