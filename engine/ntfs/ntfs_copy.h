// Copy-out of one deleted NTFS file from its MFT record.
#pragma once

#include <windows.h>

#include <cstdint>

class NtfsVolume;
struct NtfsDataStream;

// Reads the file's record at mftRecordSector (a volume sector) and writes its
// unnamed data stream, resident or not, of any size, to destination + path
// (created through CreateOutputFile). Holes are written as zeros.
// 0; kCopyNotStarted (copyout/output.h) when gRecoverAbort was set before
// the file began (nothing is created); -1 when the record cannot be read or
// parsed, is a folder, or part of the data could not be read (the file is
// then written whole in length, with zeros where the source failed) or the
// copy was cancelled; -2 when the output cannot be created or the destination
// is full.
// The cluster size is taken from the volume's boot sector; sectorsPerCluster
// is used only when that cannot be read.
int CopyOutNtfsFile(const char* destination, int driveIndex, HANDLE volume, uint32_t mftRecordSector,
                    uint32_t sectorsPerCluster, const char* path);

// Writes a located unnamed data stream (LocateUnnamedData) to an open output
// file: the resident value, or every byte the runs map (holes as zeros).
// 0; -1 part of the data could not be read (written as zeros) or the copy
// was cancelled (gRecoverAbort); -2 the destination is full.
int WriteNtfsStream(const NtfsVolume& volume, const NtfsDataStream& stream, HANDLE out);
