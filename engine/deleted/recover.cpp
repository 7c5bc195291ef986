#include "deleted/recover.h"

#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "copyout/fat_copy.h"
#include "copyout/ntfs_copy.h"
#include "copyout/output.h"
#include "copyout/tally.h"
#include "deleted/ntfs_scan.h"
#include "disk/raw.h"
#include "fat/fat_volume.h"
#include "messages.h"
#include "progress/progress_gate.h"
#include "state.h"
#include "volume/boot.h"
#include "volume/sector_zero.h"


namespace {

// What the copy-out knows of the volume the current records come from.
struct SourceVolume {
  int driveIndex = -1;
  HANDLE handle = nullptr;
  BootKind kind = BootKind::Unknown;
  FatGeometry fat;
  std::unique_ptr<FatVolume> fatVolume;      // the FAT cached for every file of the volume
  std::unique_ptr<DeletedFatCopier> fatCopier;
  uint32_t ntfsSectorsPerCluster = 0;

  // false when the volume cannot be opened; kind stays Unknown when its boot
  // sector cannot be read or describes nothing this copy-out reads.
  bool Open(int index) {
    Close();
    driveIndex = index;
    kind = BootKind::Unknown;
    SectorZero zero;
    handle = OpenVolumeSectorZero(index, &zero);
    if (!handle) return false;
    if (!zero.read()) return true;
    const uint8_t* boot = zero.bytes;
    kind = zero.boot;
    if ((kind == BootKind::Fat16 || kind == BootKind::Fat32) && !ParseFatBootSector(boot, &fat))
      kind = BootKind::Unknown;
    if (kind == BootKind::Fat16 || kind == BootKind::Fat32) {
      fatVolume = std::make_unique<FatVolume>(handle, index, fat);
      fatCopier = std::make_unique<DeletedFatCopier>(*fatVolume);
    }
    if (kind == BootKind::Ntfs) {
      // Values above 0x80 give the cluster size as a negative power of two.
      uint8_t v = boot[13];
      ntfsSectorsPerCluster = v <= 0x80 ? v : (256 - v <= 20 ? 1u << (256 - v) : 0);
      if (ntfsSectorsPerCluster == 0) kind = BootKind::Unknown;
    }
    return true;
  }
  void Close() {
    fatCopier.reset();
    fatVolume.reset();
    CloseVolume(handle);
    handle = nullptr;
    kind = BootKind::Unknown;
  }
};

// The progress texts: where the file was on the scanned volume, and where it goes.
void FillProgress(RecoverProgressBlock* block, const DeletedFileRecord& r, const char* destination) {
  std::memset(block, 0, sizeof *block);
  std::string source(gScanTarget, strnlen(gScanTarget, sizeof gScanTarget));
  if (source.empty()) source = "C:";
  source[0] = static_cast<char>('C' + r.driveIndex);
  while (source.size() > 2 && source.back() == '\\') source.pop_back();
  std::string dest = destination;
  while (dest.size() > 2 && dest.back() == '\\') dest.pop_back();
  std::snprintf(block->source, sizeof block->source, "%s%s", source.c_str(), r.path);
  std::snprintf(block->destination, sizeof block->destination, "%s%s", dest.c_str(), r.path);
}

// The page hears of a file at most every gate interval (a message per file
// costs more under Wine than copying a small file), and always of the last
// one. wParam carries the number of files announced so far in this run.
class ProgressSender {
 public:
  ProgressSender(HWND window, const char* destination) : window_(window), destination_(destination) {}
  void Announce(const DeletedFileRecord& r) {
    ++announced_;
    if (!window_) return;
    last_ = r;
    pending_ = true;
    if (gate_.Due()) Send();
  }
  void Finish() {
    if (pending_) Send();
  }

 private:
  void Send() {
    RecoverProgressBlock block;
    FillProgress(&block, last_, destination_);
    pending_ = false;
    SendMessageA(window_, WM_DELSCAN_PROGRESS, announced_, reinterpret_cast<LPARAM>(&block));
  }

  HWND window_;
  const char* destination_;
  ProgressGate gate_;
  DeletedFileRecord last_;
  bool pending_ = false;
  uint32_t announced_ = 0;
};

// What the files of a run came to. Every ticked file is whole, damaged,
// failed or not started (the stop came before it); the first three add up to
// the files taken on, which the pages read in gRecoverTakenFiles. Every
// thread of a run counts here.
class Outcome {
 public:
  void Count(size_t index, int rc) {
    if (rc == kCopyNotStarted) {
      ++notStarted_;
      return;
    }
    ++taken_;
    ++gRecoverTakenFiles;
    if (rc == kCopyDamaged) {
      ++damaged_;
      ++gRecoverDamagedFiles;
    } else if (rc != 0) {
      ++failed_;
      ++gRecoverFailedFiles;
    } else {
      ++whole_;
    }
    std::lock_guard<std::mutex> lock(lock_);
    if (!any_ || index >= lastIndex_) {
      any_ = true;
      lastIndex_ = index;
      lastResult_ = rc;
    }
  }
  void NotStarted(uint32_t n) { notStarted_ += n; }
  // The result of the last file in the list that was copied; -1 for none.
  int LastResult() {
    std::lock_guard<std::mutex> lock(lock_);
    return any_ ? lastResult_ : -1;
  }
  uint32_t taken() const { return taken_.load(); }
  uint32_t whole() const { return whole_.load(); }
  uint32_t damaged() const { return damaged_.load(); }
  uint32_t failed() const { return failed_.load(); }
  uint32_t notStarted() const { return notStarted_.load(); }

 private:
  std::mutex lock_;
  std::atomic<uint32_t> taken_{0}, whole_{0}, damaged_{0}, failed_{0}, notStarted_{0};
  bool any_ = false;
  size_t lastIndex_ = 0;
  int lastResult_ = -1;
};

// One file whose source was checked and whose folder was made on the
// copy-out's thread, for a writer to create, fill and close.
struct CopyJob {
  size_t index = 0;
  int driveIndex = -1;
  std::string relativePath;   // for making the folders again if they went
  OutputPlace place;
  bool fat = false;
  uint64_t location = 0;      // FAT: the first data sector
  uint64_t size = 0;
  bool damaged = false;
  std::unique_ptr<NtfsPreparedCopy> ntfs;
};

// The files are created, filled and closed on several threads at once:
// under Wine each file costs round trips to the server and, for a name not
// yet there, a look through its folder; the threads' trips and looks
// overlap. Files of one name in one folder always go to the same thread, in
// list order, so that they are numbered as they would be one after the
// other. Each thread reads the source through volume handles of its own: a
// handle's position is not shared.
class CopyWriters {
 public:
  CopyWriters(Outcome* outcome, const char* destination) : outcome_(outcome), destination_(destination) {}
  ~CopyWriters() { Drain(); }

  // Hands a file over; waits while its thread has many waiting already.
  void Push(CopyJob job) {
    if (lanes_.empty())
      for (int k = 0; k < kThreads; ++k) {
        lanes_.emplace_back(new Lane);
        Lane* lane = lanes_.back().get();
        lane->thread = std::thread([this, lane] { Run(lane); });
      }
    Lane& lane = *lanes_[std::hash<std::string>()(job.place.key) % lanes_.size()];
    std::unique_lock<std::mutex> lock(lane.lock);
    if (lane.jobs.size() >= kMaxWaiting) {
      lane.producerWaits = true;
      lane.room.wait(lock, [&] { return lane.jobs.size() < kMaxWaiting; });
      lane.producerWaits = false;
    }
    lane.jobs.push_back(std::move(job));
    lane.work.notify_one();
  }

  // Waits until every file handed over is done; the threads end.
  void Drain() {
    for (auto& lane : lanes_) {
      std::lock_guard<std::mutex> lock(lane->lock);
      lane->closing = true;
      lane->work.notify_all();
    }
    for (auto& lane : lanes_) lane->thread.join();
    lanes_.clear();
  }

 private:
  static constexpr size_t kMaxWaiting = 32;
  static constexpr int kThreads = 4;

  struct Lane {
    std::mutex lock;
    std::condition_variable work, room;
    std::deque<CopyJob> jobs;
    bool closing = false;
    bool producerWaits = false;
    std::thread thread;
  };

  int CopyOne(SourceVolume& source, std::unique_ptr<NtfsVolume>& ntfs, CopyJob& job) {
    if (gRecoverAbort.load() != 0) return kCopyNotStarted;
    OutputFile out;
    int error = 0;
    bool folderGone = false;
    std::string created;
    HANDLE h = CreatePlacedFile(job.place, true, &error, &created, &folderGone);
    if (h)
      out.Adopt(h, created);
    else if (!folderGone || !out.Create(job.relativePath.c_str(), destination_, &error))
      return -2;
    if (job.fat) {
      if (!source.fatCopier) return -1;   // the OutputFile goes, and its file with it
      return source.fatCopier->Finish(&out, job.location, job.size, job.damaged);
    }
    const NtfsGeometry& g = job.ntfs->geometry;
    if (!ntfs || ntfs->driveIndex() != job.driveIndex || ntfs->handle() != source.handle ||
        ntfs->geometry().sectorsPerCluster != g.sectorsPerCluster || ntfs->geometry().totalSectors != g.totalSectors)
      ntfs.reset(new NtfsVolume(source.handle, job.driveIndex, g));
    return WritePreparedNtfsCopy(*ntfs, *job.ntfs, &out);
  }

  void Run(Lane* lane) {
    SourceVolume source;
    std::unique_ptr<NtfsVolume> ntfs;
    bool opened = false;
    for (;;) {
      CopyJob job;
      {
        std::unique_lock<std::mutex> lock(lane->lock);
        lane->work.wait(lock, [&] { return lane->closing || !lane->jobs.empty(); });
        if (lane->jobs.empty()) break;
        job = std::move(lane->jobs.front());
        lane->jobs.pop_front();
        // Under Wine every wake-up is a round trip to the server: the
        // copy-out's thread, held by a full queue, is woken once half of it
        // is done, not for each file.
        if (lane->producerWaits && lane->jobs.size() <= kMaxWaiting / 2) lane->room.notify_one();
      }
      if (job.driveIndex != source.driveIndex) {
        ntfs.reset();
        opened = source.Open(job.driveIndex);
      }
      outcome_->Count(job.index, opened ? CopyOne(source, ntfs, job) : -1);
    }
    ntfs.reset();
    source.Close();
  }

  Outcome* outcome_;
  const char* destination_;
  std::vector<std::unique_ptr<Lane>> lanes_;
};

// Ticked records from index on.
uint32_t TickedFrom(size_t index) {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  uint32_t n = 0;
  for (size_t i = index; i < gDeletedFiles.size(); ++i) n += gDeletedFiles[i].selected ? 1 : 0;
  return n;
}

}  // namespace

int RecoverSelectedFiles(HWND window, const char* destination) {
  // The stop flag and the counters are the page's to reset: it does so before
  // the worker starts, and a Stop pressed before this line must still stop
  // the run.
  size_t count;
  {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    count = gDeletedFiles.size();
  }
  CopyOutTally tally;
  tally.ticked = TickedFrom(0);
  if (count == 0 || !destination) {
    tally.notStarted = tally.ticked;
    ReportCopyOutTally("deleted", tally);
    return -1;
  }
  ForgetOutputNames();
  // Writing to the scanned volume would overwrite the very data being saved.
  char destDrive = static_cast<char>(destination[0] & 0xDF);
  SourceVolume volume;
  bool opened = false;
  Outcome outcome;
  ProgressSender progress(window, destination);
  size_t i = 0;
  {
    CopyWriters writers(&outcome, destination);
    for (; i < count && gRecoverAbort.load() == 0; ++i) {
      DeletedFileRecord r;
      {
        std::lock_guard<std::mutex> lock(gDeletedFilesLock);
        if (i >= gDeletedFiles.size()) break;
        r = gDeletedFiles[i];
      }
      if (!r.selected) continue;
      progress.Announce(r);
      if (r.driveIndex != volume.driveIndex) opened = volume.Open(r.driveIndex);
      if (destDrive == 'C' + r.driveIndex) {
        outcome.Count(i, -2);
        continue;
      }
      if (!opened) {
        // Its volume cannot be opened: a failure, never a silent skip.
        outcome.Count(i, -1);
        continue;
      }
      char path[sizeof r.path];
      std::memcpy(path, r.path, sizeof path);
      path[sizeof path - 1] = 0;
      CopyJob job;
      job.index = i;
      job.driveIndex = r.driveIndex;
      job.size = RecordSize(r);
      int ready = 0;
      if (volume.fatCopier) {
        job.fat = true;
        job.location = r.location;
        job.damaged = r.damaged != 0;
        ready = DeletedFatCopier::Check(volume.fat, r.location, job.size);
      } else if (volume.kind == BootKind::Ntfs) {
        // The record must still hold the file the scan saw.
        const NtfsScannedIdentity scanned = ScannedNtfsIdentity(i);
        job.ntfs.reset(new NtfsPreparedCopy);
        ready = PrepareNtfsCopy(r.driveIndex, volume.handle, r.location, volume.ntfsSectorsPerCluster, &scanned,
                                job.ntfs.get());
        job.ntfs->listedSize = job.size;
      } else {
        // A volume whose boot sector cannot be read, or that carries no file
        // system this copy-out reads: the file is not recovered, and the
        // report says so. The stop may have come between the announcement
        // and here: then the file is neither recovered nor failed.
        ready = gRecoverAbort.load() != 0 ? kCopyNotStarted : -1;
      }
      int error = 0;
      if (ready == 0 && !PlaceOutputFile(path, destination, true, &error, &job.place)) ready = -2;
      if (ready != 0) {
        outcome.Count(i, ready);
        continue;
      }
      job.relativePath = path;
      writers.Push(std::move(job));
    }
    writers.Drain();
  }
  progress.Finish();
  volume.Close();
  outcome.NotStarted(TickedFrom(i));
  tally.whole = outcome.whole();
  tally.damaged = outcome.damaged();
  tally.failed = outcome.failed();
  tally.notStarted = outcome.notStarted();
  tally.copied = outcome.taken();
  ReportCopyOutTally("deleted", tally);
  return outcome.LastResult();
}

DWORD WINAPI RecoverDeletedFilesThreadProc(LPVOID param) {
  const RecoverRequest* request = static_cast<const RecoverRequest*>(param);
  HWND window = request ? request->window : nullptr;
  char destination[512] = {};
  if (request) std::memcpy(destination, request->destination, sizeof destination - 1);
  int result = RecoverSelectedFiles(window, destination);
  if (window) SendMessageA(window, WM_RECOVER_DONE, 0, 0);
  return static_cast<DWORD>(result);
}
