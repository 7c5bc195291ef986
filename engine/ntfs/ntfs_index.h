// Folder lookups through the $I30 index of an NTFS folder (its index root and
// every buffer of its index allocation).
#pragma once

#include <cstddef>
#include <cstdint>

class NtfsVolume;

// The record of the live folder named `name` (UTF-16, compared without regard
// to case) inside the folder record `folder`; -1 when there is none. Entries
// are checked against the record they name (in use, a folder, the same
// sequence number), so a stale entry left in an index buffer never matches.
int64_t FindSubfolder(NtfsVolume& volume, uint64_t folder, const wchar_t* name, size_t length);

// The folder a scan target names: 5 (the root) for "X:\", else the target's
// components looked up one by one from the root. -1 when one is missing or a
// read fails. The MFT must be loaded.
int64_t FindNtfsTargetRecord(NtfsVolume& volume, const char* target);
