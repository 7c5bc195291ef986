// Copy-out of one deleted FAT file. Deletion frees the file's cluster chain,
// so its data is read back from its first cluster on: after that cluster, the
// clusters that follow it and are still free in the FAT, in order. A cluster
// that a live file holds cannot be this file's, so an allocated one is passed
// over; a file written in two fragments around a file that was deleted before
// it comes back whole. A file still in use inside a deleted folder owns its
// chain: when the chain is intact it is read along the chain.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

class FatVolume;
class OutputFile;
struct FatGeometry;

// What the copy of one deleted file gives (besides the file):
//   0                 copied whole;
//   kCopyDamaged      written, but known damaged: the scan saw its data
//                     taken (scanSawDamage), its first cluster is allocated
//                     to another file now, or its size is more than the
//                     volume can hold from there (the copy stops at the end
//                     of the volume);
//   kCopyNotStarted   gRecoverAbort was up before the file began: nothing is
//                     created (copyout/output.h);
//   -1                the source could not be read completely (the output
//                     keeps the bytes that were read, and only those), or the
//                     stop came within the file (the output is removed: a
//                     file cut short must not pass for the file), or the
//                     record names no cluster of the volume;
//   -2                the output cannot be created or written (the
//                     destination is full): the incomplete output is removed.
class DeletedFatCopier {
 public:
  explicit DeletedFatCopier(FatVolume& volume) : volume_(volume) {}

  int Copy(const char* destination, uint64_t firstDataSector, const char* path, uint64_t size,
           bool scanSawDamage = false);

  // Copy in two halves, for a copy-out that creates its files in order on
  // one thread and fills them on another. Start reads nothing from the
  // source: 0 when *out was created, else Copy's result (nothing created).
  // Finish fills *out from this volume and keeps it or removes it as Copy
  // does; the stop already up as it begins gives kCopyNotStarted (and the
  // file goes).
  // Start's checks alone (nothing is created): 0, kCopyNotStarted or -1.
  static int Check(const FatGeometry& geometry, uint64_t firstDataSector, uint64_t size);
  static int Start(const char* destination, const FatGeometry& geometry, uint64_t firstDataSector, const char* path,
                   uint64_t size, OutputFile* out);
  int Finish(OutputFile* out, uint64_t firstDataSector, uint64_t size, bool scanSawDamage);

 private:
  // Writes size bytes from the clusters next() gives, in order (0: none
  // left) to out; *ranOut when they end before size. 0, -1 source short,
  // -2 destination, -3 stopped.
  template <typename Next>
  int WriteClusters(Next next, uint64_t size, HANDLE out, bool* ranOut);

  FatVolume& volume_;
  std::vector<uint8_t> buffer_;   // one large buffer for every file of a run
};

// The clusters a deleted file is read from, in order: its first cluster, then
// each following cluster that is free in the FAT (one whose entry cannot be
// read counts as free: reading it in place is all that is left).
class DeletedClusterWalk {
 public:
  DeletedClusterWalk(FatVolume& volume, uint32_t first) : volume_(volume), first_(first) {}
  // The next cluster; 0 once the volume has no more.
  uint32_t Next();

 private:
  FatVolume& volume_;
  uint32_t first_;
  uint32_t last_ = 0;   // 0 before the first
};

// The same for a volume given by its handle: the geometry comes from its boot
// sector (sectorsPerCluster must agree with it). The two differ only in their
// names.
int CopyOutFat16File(const char* destination, int driveIndex, HANDLE volume, uint64_t firstDataSector,
                     uint32_t sectorsPerCluster, const char* path, uint32_t size);
int CopyOutFat32File(const char* destination, int driveIndex, HANDLE volume, uint64_t firstDataSector,
                     uint32_t sectorsPerCluster, const char* path, uint32_t size);

// Writes size bytes read as consecutive sectors from sector on to an open
// output file (the files of a formatted volume, whose FAT is gone). 0; -1 the
// source could not be read completely (out keeps the bytes that were read) or
// the copy was stopped (gRecoverAbort); -2 the destination is full.
int WriteContiguousSectors(int driveIndex, HANDLE volume, uint64_t sector, uint32_t sectorsPerCluster, uint32_t size,
                           HANDLE out);
