// FAT directory entries: what an entry says and the one place where the name
// of an entry (long name or short name) is built.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "bytes.h"

constexpr size_t kDirEntrySize = 32;
constexpr uint8_t kAttrLongName = 0x0F;
constexpr uint8_t kAttrVolumeLabel = 0x08;
constexpr uint8_t kAttrDirectory = 0x10;
constexpr uint8_t kEntryDeleted = 0xE5;
// A long name holds at most 255 characters: 20 entries of 13.
constexpr size_t kMaxLongNameEntries = 20;
// A name from disk never takes more than this many bytes of a path.
constexpr size_t kMaxNameBytes = 255;

inline uint8_t EntryAttr(const uint8_t* e) { return e[11]; }
inline bool IsEndOfDirectory(const uint8_t* e) { return e[0] == 0; }
inline bool IsDeletedEntry(const uint8_t* e) { return e[0] == kEntryDeleted; }
inline bool IsDirectoryEntry(const uint8_t* e) { return (e[11] & kAttrDirectory) != 0; }
inline uint32_t EntrySize(const uint8_t* e) { return ReadLe32(e + 28); }
inline uint16_t EntryHighWord(const uint8_t* e) { return ReadLe16(e + 20); }
inline uint16_t EntryLowWord(const uint8_t* e) { return ReadLe16(e + 26); }
// First cluster as the entry states it; FAT12/16 have no high word.
inline uint32_t EntryCluster(const uint8_t* e, bool fat32) {
  return (fat32 ? static_cast<uint32_t>(EntryHighWord(e)) << 16 : 0) | EntryLowWord(e);
}

// Long-name entries and volume labels: neither files nor folders.
bool IsLabelOrLongName(const uint8_t* e);
// The "." and ".." entries of a folder, by their 8 name bytes.
bool IsDotEntry(const uint8_t* e);
bool IsDotDotEntry(const uint8_t* e);

// NAME.EXT in the OEM code page (NAME alone when the extension is blank),
// lower-cased where the entry's case flags say so. For a deleted entry the
// lost first character becomes '_', and so does the second when it is below
// '+' or above 'z'.
std::string BuildShortFileName(const uint8_t* entry, bool deleted);

// The long name of the entry at index in a directory buffer, from the
// long-name entries just before it (at most 20, all with the same checksum,
// which for a live entry must be the checksum of its short name). Cut at the
// first 0 or 0xFFFF. false when there is none. *cut (may be null) tells
// whether the run reaches back to the start of the buffer without its end
// mark: its first entries may lie in a cluster that is not there.
bool AssembleLongName(const uint8_t* dir, size_t index, std::wstring* name, bool* cut = nullptr);

// The name an entry gets in a path: its long name converted with the OEM code
// page, else its short name; path separators and control characters become
// '_', a name of dots only is not kept as such, and the name is cut to
// kMaxNameBytes (its extension kept). A long name that may be cut (see
// AssembleLongName) and has lost its extension gets the short name's.
std::string EntryName(const uint8_t* dir, size_t index, bool deleted);

// Whether a block of directory slots (a cluster, or several) reads as the
// entries of a folder: every slot a well-formed long-name or short entry (a
// name of legal bytes, no reserved attribute bits, a first cluster of the
// volume (up to maxCluster), a folder of size 0, a real date and time) up to
// an end slot, after which every slot is empty; the first slot is not empty,
// and at least one short entry is there. *ended (may be null) tells whether
// the block holds the end slot. File data, empty clusters and random bytes
// fail it.
bool ParsesAsDirectoryEntries(const uint8_t* block, size_t bytes, uint32_t maxCluster, bool fat32, bool* ended);

// The cluster that would follow the data of the last entry of a block of
// directory slots: its first cluster plus the clusters its size takes (a
// folder: one). A folder written in one go is extended with the cluster that
// comes next on the disk after what was last written for it. 0 when the last
// entry names no cluster.
uint32_t ClusterAfterLastEntry(const uint8_t* block, size_t bytes, uint32_t clusterBytes, bool fat32);

// The extension (text after the last '.') of a name; "" when none.
std::string NameExtension(const std::string& name);

// Standard FAT date and time into SYSTEMTIME; a zero date or time leaves its fields 0.
void ConvertFatDateTime(uint16_t date, uint16_t time, SYSTEMTIME* out);
