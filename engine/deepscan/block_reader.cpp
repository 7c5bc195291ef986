#include "deepscan/block_reader.h"

#include <algorithm>

#include "disk/device.h"
#include "disk/raw.h"
#include "state.h"

namespace {

// Three or four threads copy from the cache about as fast as memory allows,
// and look for the sectors that begin like a file as they go; one more block
// than threads lets the scan take one while they fill the others.
constexpr unsigned kMaxReaders = 4;

unsigned ProcessorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
}

}  // namespace

template <typename Ready>
bool BlockReader::WaitFor(Ready ready, HANDLE wake, std::atomic<uint32_t>& sleepers) {
  for (unsigned round = 0;; ++round) {
    if (ready()) return true;
    if (stopping_.load(std::memory_order_acquire)) return false;
    // A block is copied in a fraction of a millisecond: spin a moment first.
    if (round < 2000) {
      YieldProcessor();
      continue;
    }
    sleepers.fetch_add(1);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    // Looked at again once counted: a hand-over in between sets the event
    // (and a missed one costs no more than the timeout).
    if (!ready() && !stopping_.load(std::memory_order_acquire)) WaitForSingleObject(wake, 50);
    sleepers.fetch_sub(1);
  }
}

void BlockReader::Wake(HANDLE wake, std::atomic<uint32_t>& sleepers) {
  // The hand-over just stored comes before the look at the sleepers.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (sleepers.load() > 0) SetEvent(wake);
}

bool BlockReader::Start(uint32_t target, uint64_t from, uint64_t end, uint32_t blockSectors, Examine examine,
                        const void* context) {
  Stop();
  if (GetPlatformKind() != kPlatformNt || end <= from || blockSectors == 0) return false;
  char path[32] = {};
  uint32_t disk = TargetDisk(target), volume = TargetVolume(target);
  if (disk != kTargetUnused && volume != kTargetUnused) return false;
  if (volume != kTargetUnused) {
    if (volume > 23) return false;
    char name[8];
    MakeVolumePath(static_cast<int>(volume), name);
    std::copy(name, name + sizeof name, path);
  } else {
    MakeDiskPath(static_cast<int>(disk), path);
  }
  if (!path[0]) return false;

  const unsigned processors = ProcessorCount();
  const unsigned readers = processors > 1 ? std::min(kMaxReaders, processors - 1) : 1;
  for (unsigned i = 0; i < readers; ++i) {
    // Read only: the scan never writes to the disk it reads.
    HANDLE h = gDeviceCalls.createFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       0, nullptr);
    if (!IsValidHandle(h)) break;
    handles_.push_back(h);
  }
  if (handles_.empty()) return false;
  from_ = from;
  end_ = end;
  examine_ = examine;
  context_ = context;
  blockSectors_ = blockSectors;
  blocks_ = (end - from + blockSectors - 1) / blockSectors;
  slotCount_ = handles_.size() + 1;
  slots_.reset(new Slot[slotCount_]);
  const size_t bytes = static_cast<size_t>(blockSectors) * kSectorSize;
  for (size_t i = 0; i < slotCount_; ++i) {
    slots_[i].buffer = static_cast<uint8_t*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    slots_[i].read = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    slots_[i].freed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!slots_[i].buffer || !slots_[i].read || !slots_[i].freed) {
      Stop();
      return false;
    }
  }
  nextToRead_ = 0;
  taken_ = 0;
  stopping_ = false;
  for (HANDLE h : handles_) threads_.emplace_back([this, h] { Read(h); });
  return true;
}

void BlockReader::Read(HANDLE handle) {
  for (;;) {
    const uint64_t index = nextToRead_.fetch_add(1);
    if (index >= blocks_) return;
    // A block's slot is free once the scan is done with the block that held
    // it before.
    Slot& slot = slots_[index % slotCount_];
    if (!WaitFor([&] { return index < taken_.load(std::memory_order_acquire) + slotCount_; }, slot.freed,
                 slot.readerSleeps))
      return;
    const uint64_t first = from_ + index * blockSectors_;
    const uint64_t count = std::min<uint64_t>(blockSectors_, end_ - first);
    const uint64_t offset = first * kSectorSize;
    const DWORD want = static_cast<DWORD>(count * kSectorSize);
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const bool good = ReadFile(handle, slot.buffer, want, &got, &at) && got == want;
    slot.marks.clear();
    if (good && examine_) examine_(context_, slot.buffer, static_cast<uint32_t>(count), &slot.marks);
    slot.done.store(index << 1 | (good ? 1 : 0), std::memory_order_release);
    Wake(slot.read, slot.scanSleeps);
  }
}

const uint8_t* BlockReader::Take(uint64_t position, const std::vector<uint32_t>** marks) {
  if (threads_.empty() || position < from_ || (position - from_) % blockSectors_ != 0) return nullptr;
  const uint64_t index = (position - from_) / blockSectors_;
  if (index >= blocks_) return nullptr;
  // The blocks before this one are done with: their slots take the next.
  const uint64_t before = taken_.load(std::memory_order_relaxed);
  if (index > before) {
    taken_.store(index, std::memory_order_release);
    // The slots of the blocks done with take the next ones.
    for (uint64_t b = before; b < index && b < before + slotCount_; ++b) {
      Slot& freed = slots_[b % slotCount_];
      Wake(freed.freed, freed.readerSleeps);
    }
  }
  Slot& slot = slots_[index % slotCount_];
  uint64_t done = 0;
  if (!WaitFor(
          [&] {
            done = slot.done.load(std::memory_order_acquire);
            return done != UINT64_MAX && (done >> 1) == index;
          },
          slot.read, slot.scanSleeps))
    return nullptr;
  if (!(done & 1)) return nullptr;
  if (marks) *marks = examine_ ? &slot.marks : nullptr;
  return slot.buffer;
}

void BlockReader::Stop() {
  stopping_ = true;
  for (size_t i = 0; i < slotCount_; ++i)
    if (slots_[i].freed) SetEvent(slots_[i].freed);
  for (std::thread& t : threads_) t.join();
  threads_.clear();
  for (HANDLE h : handles_) gDeviceCalls.closeHandle(h);
  handles_.clear();
  for (size_t i = 0; i < slotCount_; ++i) {
    if (slots_[i].buffer) VirtualFree(slots_[i].buffer, 0, MEM_RELEASE);
    if (slots_[i].read) CloseHandle(slots_[i].read);
    if (slots_[i].freed) CloseHandle(slots_[i].freed);
  }
  slots_.reset();
  slotCount_ = 0;
  stopping_ = false;
}
