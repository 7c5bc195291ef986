#include "copyout/recover.h"

#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "copyout/output.h"
#include "disk/raw.h"
#include "fat/fat_copy.h"
#include "fat/fat_volume.h"
#include "messages.h"
#include "ntfs/ntfs_copy.h"
#include "ntfs/ntfs_scan.h"
#include "progress/progress_gate.h"
#include "state.h"
#include "volume/boot.h"

std::atomic<uint32_t> gRecoverFailedFiles{0};

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
    handle = OpenVolume(index);
    if (!handle) return false;
    uint8_t boot[512];
    if (ReadVolumeSectors(index, 0, 1, boot, handle) != 0) return true;
    kind = ClassifyBootSector(boot);
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

int CopyOne(SourceVolume& v, const DeletedFileRecord& r, size_t index, const char* destination) {
  char path[sizeof r.path];
  std::memcpy(path, r.path, sizeof path);
  path[sizeof path - 1] = 0;
  switch (v.kind) {
    case BootKind::Ntfs: {
      // The record must still hold the file the scan saw.
      const NtfsScannedIdentity scanned = ScannedNtfsIdentity(index);
      return CopyOutNtfsFile(destination, v.driveIndex, v.handle, r.location, v.ntfsSectorsPerCluster, path,
                             &scanned);
    }
    case BootKind::Fat16:
    case BootKind::Fat32:
      return v.fatCopier->Copy(destination, r.location, path, RecordSize(r), r.damaged != 0);
    case BootKind::Unknown:
      break;
  }
  // A volume whose boot sector cannot be read, or that carries no file system
  // this copy-out reads: the file is not recovered, and the report says so.
  return gRecoverAbort.load() != 0 ? kCopyNotStarted : -1;
}

// What the files of a run came to. Every file taken on is whole, damaged or
// failed: the three add up to gFileCounter's growth in this run; one the stop
// came before is none of these. Both threads of a run count here.
class Outcome {
 public:
  void Count(size_t index, int rc) {
    if (rc == kCopyNotStarted) return;
    ++gFileCounter;
    if (rc == kCopyDamaged)
      ++gRecoverDamagedFiles;
    else if (rc != 0)
      ++gRecoverFailedFiles;
    std::lock_guard<std::mutex> lock(lock_);
    if (!any_ || index >= lastIndex_) {
      any_ = true;
      lastIndex_ = index;
      lastResult_ = rc;
    }
  }
  // The result of the last file in the list that was copied; -1 for none.
  int LastResult() {
    std::lock_guard<std::mutex> lock(lock_);
    return any_ ? lastResult_ : -1;
  }

 private:
  std::mutex lock_;
  bool any_ = false;
  size_t lastIndex_ = 0;
  int lastResult_ = -1;
};

// The deleted FAT files are created in list order on the copy-out's thread,
// so that numbered names come out as they would one file after the other,
// and filled meanwhile on a thread of this writer's. Under Wine every file
// costs several round trips to the server (create, hand over the file,
// close); the two threads' trips overlap. The writer reads the source
// through volume handles of its own: a handle's position is not shared.
class FatFileWriter {
 public:
  struct Job {
    size_t index;
    int driveIndex;
    OutputFile out;
    uint64_t location;
    uint64_t size;
    bool damaged;
  };

  explicit FatFileWriter(Outcome* outcome) : outcome_(outcome) {}
  ~FatFileWriter() { Drain(); }

  // Hands a created file over; waits while many are waiting already.
  void Push(Job job) {
    std::unique_lock<std::mutex> lock(lock_);
    if (threads_.empty())
      for (int k = 0; k < kThreads; ++k) threads_.emplace_back([this] { Run(); });
    room_.wait(lock, [this] { return jobs_.size() < kMaxWaiting; });
    jobs_.push_back(std::move(job));
    work_.notify_one();
  }

  // Waits until every file handed over is done; the threads end.
  void Drain() {
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (threads_.empty()) return;
      closing_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    closing_ = false;
  }

 private:
  static constexpr size_t kMaxWaiting = 32;
  // The creating thread is the slower half: more writers do not help (one
  // filled the 1 GiB benchmark's files fastest under Wine).
  static constexpr int kThreads = 1;

  void Run() {
    SourceVolume source;
    bool opened = false;
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> lock(lock_);
        work_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
        if (jobs_.empty()) break;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      room_.notify_one();
      if (job.driveIndex != source.driveIndex) opened = source.Open(job.driveIndex);
      int rc = -1;
      if (opened && source.fatCopier)
        rc = source.fatCopier->Finish(&job.out, job.location, job.size, job.damaged);
      else
        job.out.Discard();
      outcome_->Count(job.index, rc);
    }
    source.Close();
  }

  Outcome* outcome_;
  std::mutex lock_;
  std::condition_variable work_, room_;
  std::deque<Job> jobs_;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace

int RecoverSelectedFiles(HWND window, const char* destination) {
  // The stop flag is the page's: it lowers it before the worker starts, and a
  // Stop pressed before this line must still stop the run.
  gRecoveredSectors = 0;
  gRecoverFailedFiles = 0;
  gRecoverDamagedFiles = 0;
  size_t count;
  {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    count = gDeletedFiles.size();
  }
  if (count == 0 || !destination) return -1;
  ForgetOutputNames();
  // Writing to the scanned volume would overwrite the very data being saved.
  char destDrive = static_cast<char>(destination[0] & 0xDF);
  SourceVolume volume;
  bool opened = false;
  Outcome outcome;
  ProgressSender progress(window, destination);
  {
    FatFileWriter writer(&outcome);
    for (size_t i = 0; i < count && gRecoverAbort.load() == 0; ++i) {
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
      } else if (!opened) {
        // Its volume cannot be opened: a failure, never a silent skip.
        outcome.Count(i, -1);
      } else if (volume.fatCopier) {
        char path[sizeof r.path];
        std::memcpy(path, r.path, sizeof path);
        path[sizeof path - 1] = 0;
        FatFileWriter::Job job{i, r.driveIndex, OutputFile(), r.location, RecordSize(r), r.damaged != 0};
        const int started = DeletedFatCopier::Start(destination, volume.fat, r.location, path, job.size, &job.out);
        if (started != 0)
          outcome.Count(i, started);
        else
          writer.Push(std::move(job));
      } else {
        // The stop may have come between the announcement and the copy:
        // then nothing was written, and the file is neither recovered nor
        // failed.
        outcome.Count(i, CopyOne(volume, r, i, destination));
      }
    }
    writer.Drain();
  }
  progress.Finish();
  volume.Close();
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
