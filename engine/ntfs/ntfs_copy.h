// Copy-out of one deleted NTFS file from its MFT record.
#pragma once

#include <windows.h>

#include <cstdint>

// 0, -1 (record unreadable or unparsable, or a folder), -2 (output cannot be
// created or the destination is full).
int CopyOutNtfsFile(const char* destination, int driveIndex, HANDLE volume, uint32_t mftRecordSector,
                    uint32_t sectorsPerCluster, const char* path);
