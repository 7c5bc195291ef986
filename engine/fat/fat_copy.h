// Copy-out of one deleted FAT file: its chain is gone, so its data is read
// back as the run of consecutive clusters that starts at firstDataSector.
#pragma once

#include <windows.h>

#include <cstdint>

// 0 copied whole; kCopyNotStarted (copyout/output.h) when gRecoverAbort was
// set before the file began: nothing is created then; -1 the source could
// not be read completely (the output keeps the bytes that were read, and only
// those) or the copy was stopped within the file; -2 the output cannot be
// created or written (the destination is full): the incomplete output is
// removed. The two differ only in their names.
int CopyOutFat16File(const char* destination, int driveIndex, HANDLE volume, uint32_t firstDataSector,
                     uint32_t sectorsPerCluster, const char* path, uint32_t size);
int CopyOutFat32File(const char* destination, int driveIndex, HANDLE volume, uint32_t firstDataSector,
                     uint32_t sectorsPerCluster, const char* path, uint32_t size);

// Writes size bytes read as consecutive sectors from sector on to an open
// output file. 0; -1 the source could not be read completely (out keeps the
// bytes that were read) or the copy was stopped (gRecoverAbort); -2 the
// destination is full.
int WriteContiguousSectors(int driveIndex, HANDLE volume, uint64_t sector, uint32_t sectorsPerCluster, uint32_t size,
                           HANDLE out);
