// Reads the blocks of a disk or volume ahead of the signature scan, on a few
// threads of their own, each with its own read-only handle, and marks in
// each block the sectors that begin like a file: the scan then finds each
// block already in memory, in order, and looks only at what was marked.
// Reading from the system's cache is copying memory, which one thread does at
// about half the speed that three do; from a disk, the next blocks are on
// their way while the scan looks at this one.
//
// Only on the NT family and for a source of known size; anywhere else (and
// when no second handle can be opened) Start fails and the scan reads each
// block itself. Reads are of whole blocks at their place (no file pointer is
// shared); a block that cannot be read whole is handed over as failed, and
// the scan reads it again itself, piece by piece.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

class BlockReader {
 public:
  // Looks at a block on the thread that read it, while its bytes are still
  // in that processor's cache: the sectors the scan must look at go into
  // marks (indexes within the block, ascending).
  using Examine = void (*)(const void* context, const uint8_t* block, uint32_t sectors, std::vector<uint32_t>* marks);

  BlockReader() = default;
  ~BlockReader() { Stop(); }
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // Blocks of blockSectors sectors from sector `from` up to `end` (the last
  // one shorter) of the disk or volume named by the sector target. false:
  // nothing was started.
  // examine (with context) runs on each block read whole.
  bool Start(uint32_t target, uint64_t from, uint64_t end, uint32_t blockSectors, Examine examine = nullptr,
             const void* context = nullptr);
  // The block at position (the next one in order, from `from` on): its
  // bytes, valid until the next call or Stop; nullptr when it could not be
  // read whole. marks: what examine found in it.
  const uint8_t* Take(uint64_t position, const std::vector<uint32_t>** marks = nullptr);
  // Ends the reading threads and closes their handles.
  void Stop();

 private:
  // The threads hand blocks over through these words; a thread that has to
  // wait spins a moment, then sleeps on an event that the other side sets
  // only when someone sleeps (under Wine every event call is a round trip
  // through its server, and a short sleep is a millisecond or more).
  struct Slot {
    std::atomic<uint64_t> done{UINT64_MAX};   // (block index << 1) | read whole, once read
    uint8_t* buffer = nullptr;
    std::vector<uint32_t> marks;
    HANDLE read = nullptr;                    // set when its block is read, if the scan sleeps on it
    HANDLE freed = nullptr;                   // set when the scan is done with it, if a thread sleeps on it
    std::atomic<uint32_t> scanSleeps{0};
    std::atomic<uint32_t> readerSleeps{0};
  };
  void Read(HANDLE handle);
  // Waits until ready() or stopping_: spins a little, then sleeps on wake
  // (counting itself in sleepers while it does).
  template <typename Ready>
  bool WaitFor(Ready ready, HANDLE wake, std::atomic<uint32_t>& sleepers);
  void Wake(HANDLE wake, std::atomic<uint32_t>& sleepers);

  uint64_t from_ = 0, end_ = 0, blocks_ = 0;
  uint32_t blockSectors_ = 0;
  Examine examine_ = nullptr;
  const void* context_ = nullptr;
  std::unique_ptr<Slot[]> slots_;
  size_t slotCount_ = 0;
  std::vector<HANDLE> handles_;
  std::vector<std::thread> threads_;
  std::atomic<uint64_t> nextToRead_{0};   // the next block a thread takes on
  std::atomic<uint64_t> taken_{0};        // blocks before this one are done with
  std::atomic<bool> stopping_{false};
};
