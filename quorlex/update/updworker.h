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

#include "updindex.h"
#include "websink.h"

namespace tarn {

// Exit codes besides 0 (nothing to update), 1 (done or stopped) and negative
// errors (a failed code with its top bit set).
constexpr int kUpdateReupdate = 0x20010001;  // some files are left to the completion program
constexpr int kUpdateStopped = 0x20010002;   // internal: the stop event ended a step
constexpr int kUpdateErrorBit = (int)0x80000000;

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

// What putting one file in place changed, so that a run that fails later can
// put the old file back. The old file stays aside until the run ends.
struct Replacement {
  std::wstring target;
  DWORD attributes = 0;  // the old file's
  bool created = false;  // there was no old file
  std::wstring backup;   // a copy of the old file
  std::wstring aside;    // the old file itself, moved aside because it was in use
  std::wstring staged;   // the new file, waiting for the next start of Windows
};

// Puts newCopy in place of target (both absolute): 0 replaced, 1 replacement
// scheduled for the next start of Windows, else a negative HRESULT. The
// target is never left missing: an old file moved aside is moved back when
// the new one cannot take its place.
int ReplaceTargetFile(const std::wstring& newCopy, const std::wstring& target);
// The same, keeping the old file until FinishReplacement (the run went
// through) or UndoReplacement (it did not).
int ReplaceTargetFileUndoable(const std::wstring& newCopy, const std::wstring& target,
                              Replacement* undo);
// The old file back at the target (a scheduled replacement is called off);
// false when it could not be put back (its copy is then kept).
bool UndoReplacement(const Replacement& r);
// Drops what was kept aside: the copy at once, an old file that was in use
// at the next start of Windows.
void FinishReplacement(const Replacement& r);

}  // namespace tarn
