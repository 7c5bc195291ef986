// Copy-out of one deleted NTFS file from its MFT record, and the writer of a
// located data stream that the unformat copy-out shares.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ntfs/ntfs_volume.h"

class OutputFile;

class NtfsAllocation;
class NtfsVolume;
struct NtfsDataStream;
struct NtfsGeometry;
struct NtfsScannedIdentity;

// WriteNtfsStream's result when the stop came while the file was being
// written: what is in the output is a part of the file only.
constexpr int kCopyCancelled = -4;

// Reads the file's record at mftRecordSector (a volume sector) and writes its
// unnamed data stream, resident or not, to destination + path (created
// through CreateOutputFile). Holes of a sparse or compressed file are written
// as zeros.
// Before anything is written, the record must still be the deleted file the
// scan listed: not in use, not a folder, and, when the scan's identity of it
// is given (scanned; see ScannedNtfsIdentity), the same sequence number and
// the same name. A record given to another file since the scan is refused
// (-1, nothing written): its data is that other file's.
// 0 whole; kCopyNotStarted (copyout/output.h) when gRecoverAbort was set
// before the file began (nothing is created); kCopyDamaged when it was
// written but the volume shows part of it gone (see WriteNtfsStream); -1 when
// the record cannot be read or parsed, is a folder, is no longer the scanned
// file, or part of the data could not be read (the file is then written
// whole in length, with zeros where the source failed); -1 also when the
// stop cut it short, and -2 when the output cannot be created or the
// destination is full: in these two cases the partial file is deleted.
// The cluster size is taken from the volume's boot sector; sectorsPerCluster
// is used only when that cannot be read.
int CopyOutNtfsFile(const char* destination, int driveIndex, HANDLE volume, uint64_t mftRecordSector,
                    uint32_t sectorsPerCluster, const char* path, const NtfsScannedIdentity* scanned = nullptr);

// How much of a non-resident stream is worth writing, from its record alone.
// A file that is neither sparse nor compressed has every byte in clusters of
// the volume: a hole in it, a run past the volume's end, or more allocated
// clusters than the volume holds means the record is damaged, and the copy
// stops at the first byte the volume cannot hold. A sparse or compressed
// file may be longer than the volume (its holes take no room), but its
// allocated clusters must lie on it too, and it cannot be longer than 2^32
// clusters. A size larger than the runs map is damage as well; the copy then
// ends where the runs end.
struct NtfsCopyPlan {
  uint64_t bytes = 0;      // bytes to write, from the start of the file
  bool damaged = false;    // the record claims more than the volume holds
};
NtfsCopyPlan PlanNtfsCopy(const NtfsDataStream& stream, const NtfsGeometry& volume);

// A deleted file's copy as its record gives it, read before any output is
// made (so that a record that cannot be read leaves no empty file): its
// stream, how much of it to write, whether the volume gave some of its
// clusters away, and the geometry to read it with. listedSize, when the
// caller sets it, is the size the result list showed: a copy of another
// size is not whole.
constexpr uint64_t kUnknownListedSize = UINT64_MAX;
struct NtfsPreparedCopy {
  NtfsDataStream stream;
  NtfsCopyPlan plan;
  bool taken = false;
  NtfsGeometry geometry;
  uint64_t listedSize = kUnknownListedSize;
};
// CopyOutNtfsFile's checks of the record: 0 with *out filled; -1 or
// kCopyNotStarted as CopyOutNtfsFile says.
int PrepareNtfsCopy(int driveIndex, HANDLE volume, uint64_t mftRecordSector, uint32_t sectorsPerCluster,
                    const NtfsScannedIdentity* scanned, NtfsPreparedCopy* out);
// Writes a prepared copy into out through volume (a handle of the caller's:
// one thread's reads must not move another's position) and keeps or removes
// the file as CopyOutNtfsFile does; its results. A copy whose output does not
// hold exactly the planned bytes, or (with a listed size) whose planned bytes
// are not the listed size, is not counted whole.
int WritePreparedNtfsCopy(const NtfsVolume& volume, const NtfsPreparedCopy& prepared, OutputFile* out);

// Writes a located unnamed data stream (LocateUnnamedData) to an open output
// file: the resident value, or the bytes PlanNtfsCopy allows (holes as
// zeros). When now is given (the volume's present allocation; for a volume
// formatted again, the new file system's), clusters of the file that it marks
// in use belong to another file: the file is still written, but reported
// damaged.
// 0 whole; kCopyDamaged written, but the plan or the allocation shows part of
// it gone; -1 part of the data could not be read (written as zeros);
// kCopyCancelled the stop came (gRecoverAbort); -2 the destination is full.
// The caller deletes the output on -2 and kCopyCancelled.
int WriteNtfsStream(const NtfsVolume& volume, const NtfsDataStream& stream, HANDLE out,
                    NtfsAllocation* now = nullptr);

// WriteNtfsStream with the plan and the allocation check already made.
int WritePlannedStream(const NtfsVolume& volume, const NtfsDataStream& stream, const NtfsCopyPlan& plan, bool taken,
                       HANDLE out);
