// The update worker: fetches the index of the product's channel, downloads
// every file whose local copy does not match, checks each by MD5 and puts the
// new files in place, leaving files marked in use to the completion program
// through the pending-copy file.
//
// Every path is absolute below the program's folder (`root`); the process's
// current directory is neither used nor changed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "replace.h"
#include "updindex.h"
#include "websink.h"

namespace tarn {

// Exit codes besides 0 (nothing to update), 1 (done or stopped) and negative
// errors (a failed code with its top bit set).
constexpr int kUpdateReupdate = 0x20010001;  // some files are left to the completion program
constexpr int kUpdateStopped = 0x20010002;   // internal: the stop event ended a step
constexpr int kUpdateErrorBit = (int)0x80000000;
constexpr int kUpdateCut = 0x20010003;       // tests: the run was cut short on purpose

// Per run, whatever the index says: the index texts of all levels together,
// and the unpacked downloads together (the sum of the sizes the index
// declares, each with a margin, never more than the ceiling).
constexpr uint64_t kMaxRunIndexBytes = 16ull << 20;
constexpr uint64_t kMaxRunDownloadBytes = 512ull << 20;
// The most one entry may unpack to: its declared size and a margin, or
// kMaxFileBytes when it declares none.
uint64_t EntryByteCap(const UpdateFileEntry& entry);
// What the downloads of these entries may unpack to in all.
uint64_t RunDownloadCap(const std::vector<UpdateFileEntry>& files);

// The update service, over HTTPS: built in, or an administrator's (servers.h).
std::string UpdateServerText();
// server + "/tessel/2011/qvalue/" + channel + "/".
std::string UpdateBaseUrl(const std::wstring& channel);
// "tarn_datarepair2" for the product 90009, else "".
std::wstring UpdateChannelName(int productId);

class UpdateContext {
 public:
  // root: the program's folder, ending with '\'.
  UpdateContext(const std::wstring& root, const std::wstring& channel, bool allowDeferral);
  ~UpdateContext();
  UpdateContext(const UpdateContext&) = delete;
  UpdateContext& operator=(const UpdateContext&) = delete;

  const std::wstring& Root() const { return root_; }
  const std::wstring& Channel() const { return channel_; }
  const std::string& BaseUrl() const { return baseUrl_; }
  void SetBaseUrl(const std::string& url) { baseUrl_ = url; }
  bool AllowDeferral() const { return allowDeferral_; }

  HANDLE StopEvent() const { return stop_; }
  void RequestStop() { SetEvent(stop_); }
  bool StopRequested() const { return WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0; }

  UpdateProgress& Progress() { return progress_; }
  void SetStatus(const std::wstring& text);
  std::wstring Status() const;

  std::vector<UpdateFileEntry>& Files() { return files_; }
  // Entries and levels of the index that were refused (unsafe names, too
  // many sub-levels): a run that refused anything installs nothing.
  int Refused() const { return refused_; }
  int* RefusedCounter() { return &refused_; }
  // How many pending copies the last put-in-place step wrote.
  int PendingCount() const { return pending_; }
  void SetPendingCount(int n) { pending_ = n; }
  // For tests of the journal: the put-in-place step ends after n
  // replacements as a killed process would, undoing nothing (-1: never).
  // Bytes of index text still allowed in this run.
  uint64_t& IndexBytesLeft() { return indexLeft_; }
  int CutAfter() const { return cutAfter_; }
  void SetCutAfter(int n) { cutAfter_ = n; }

 private:
  std::wstring root_;
  std::wstring channel_;
  std::string baseUrl_;
  bool allowDeferral_;
  HANDLE stop_;
  UpdateProgress progress_;
  mutable CRITICAL_SECTION lock_;
  std::wstring status_;
  std::vector<UpdateFileEntry> files_;
  int pending_ = 0;
  int refused_ = 0;
  int cutAfter_ = -1;
  uint64_t indexLeft_ = kMaxRunIndexBytes;
};

// The whole run: the worker's exit code.
int RunUpdateWorker(UpdateContext* ctx);
// Thread entry for CreateThread; the parameter is the context.
DWORD WINAPI UpdateWorkerThread(void* context);

// The steps, for tests. Each returns 0 or the code its step ends with.
int FetchIndex(UpdateContext* ctx);
int DownloadFiles(UpdateContext* ctx);
int PutFilesInPlace(UpdateContext* ctx);

// Download url into compressed (absolute), unpack it into out and, when
// expectedMd5 is not empty, check it; up to 3 attempts. A copy at out whose
// MD5 already matches is kept. 0, a transfer code, or kUnpackFailed. The
// compressed file is deleted afterwards. expectedPacked (0: unknown) sets
// each attempt's time limit.
int CheckedDownload(UpdateContext* ctx, const std::string& url, const std::wstring& compressed,
                    const std::wstring& out, const std::wstring& expectedMd5, uint64_t maxBytes,
                    uint64_t expectedPacked);

}  // namespace tarn
