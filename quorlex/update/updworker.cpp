#include "updworker.h"

#include <algorithm>
#include <cwchar>

#include "handover.h"
#include "plainfile.h"
#include "replace.h"
#include "safepath.h"
#include "servers.h"
#include "svclog.h"
#include "textconv.h"
#include "unpack.h"

namespace tarn {

namespace {

const char kUpdateServer[] = "https://up.quillon.com";
const char kUpdatePath[] = "/tessel/2011/qvalue/";
const int kAttempts = 3;
const int kCertificateRefused = 60;  // CURLE_PEER_FAILED_VERIFICATION
// An index that cannot be used as it stands (too deep, refused entries).
const int kIndexRejected = ERROR_INVALID_DATA;
// An index level is a few kilobytes; its transfer gets the time of this much.
const uint64_t kIndexExpectedBytes = 1u << 20;

int WithErrorBit(int code) { return code | kUpdateErrorBit; }

// A piece of an address from the index: UTF-8, with everything but
// printable ASCII (and '%', '#', '?') percent-encoded.
std::string UrlPiece(const std::wstring& text) {
  std::string utf8 = WideToUtf8(text), out;
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : utf8) {
    if (c <= 0x20 || c >= 0x7F || c == '%' || c == '#' || c == '?' || c == '"') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += (char)c;
    }
  }
  return out;
}

bool FileExists(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

uint64_t FileBytes(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

bool SameMd5(const std::string& hex, const std::wstring& expected) {
  return !hex.empty() && _wcsicmp(AnsiToWide(hex).c_str(), expected.c_str()) == 0;
}

// A stop request turns the failure of the step it interrupted into a stop.
int FailureOrStop(UpdateContext* ctx, int code) {
  return ctx->StopRequested() ? kUpdateStopped : WithErrorBit(code);
}

// One level of the index. address ends where the ".dat" name is appended;
// localFolder is relative to the root and ends with '\'.
int FetchLevel(UpdateContext* ctx, const std::string& address, const std::wstring& levelPath,
               const std::wstring& localFolder, const std::wstring& datName,
               const std::wstring& txtName, const std::wstring& expectedMd5, int depth) {
  std::wstring compressed = JoinBelow(ctx->Root(), localFolder + datName);
  std::wstring text = JoinBelow(ctx->Root(), localFolder + txtName);
  if (compressed.empty() || text.empty()) return WithErrorBit(kIndexRejected);
  uint64_t& left = ctx->IndexBytesLeft();
  if (left == 0) {
    LogLineW(L"index texts beyond the run's limit at %ls", levelPath.c_str());
    return WithErrorBit(kIndexRejected);
  }
  int rc = CheckedDownload(ctx, address + UrlPiece(datName), compressed, text, expectedMd5,
                           std::min<uint64_t>(kMaxIndexBytes, left), kIndexExpectedBytes);
  if (rc != 0) return FailureOrStop(ctx, rc);
  uint64_t size = FileBytes(text);
  left = size >= left ? 0 : left - size;

  BKIni::Document doc(levelPath, text.c_str());
  unsigned count = ReadSubLevelCount(doc);
  if (count == 0) {
    ReadFileEntries(doc, ctx->Root(), &ctx->Files(), ctx->RefusedCounter());
    return 0;
  }
  if (depth >= kMaxIndexDepth) {
    LogLineW(L"index level %ls nests too deep", levelPath.c_str());
    return WithErrorBit(kIndexRejected);
  }
  if (count > kMaxSubLevels) {
    LogLine("index lists %u sub-levels; only %u are read", count, kMaxSubLevels);
    ++*ctx->RefusedCounter();
    count = kMaxSubLevels;
  }
  for (unsigned n = 0; n < count; ++n) {
    std::wstring p, m;
    if (!ReadSubLevelPath(doc, n, &p) || !ReadSubLevelMd5(doc, n, &m)) continue;
    if (!IsSafeRelativeFolder(p) || !IsMd5Text(m)) {
      LogLineW(L"index level %ls%ls rejected", levelPath.c_str(), p.c_str());
      ++*ctx->RefusedCounter();
      continue;
    }
    rc = FetchLevel(ctx, address + UrlPiece(p), levelPath + p, localFolder + BackslashPath(p),
                    L"index.dat", L"index.txt", m, depth + 1);
    if (rc != 0) return rc;
  }
  return 0;
}

}  // namespace

std::string UpdateServerText() { return ServerAddress(kServerUpdate, kUpdateServer); }

std::string UpdateBaseUrl(const std::wstring& channel) {
  return UpdateServerText() + kUpdatePath + UrlPiece(channel) + "/";
}

std::wstring UpdateChannelName(int productId) {
  return productId == 90009 ? L"tarn_datarepair2" : L"";
}

UpdateContext::UpdateContext(const std::wstring& root, const std::wstring& channel,
                             bool allowDeferral)
    : root_(root), channel_(channel), baseUrl_(UpdateBaseUrl(channel)),
      allowDeferral_(allowDeferral) {
  if (!root_.empty() && root_.back() != L'\\') root_ += L'\\';
  stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  InitializeCriticalSection(&lock_);
  progress_.SetStep(0, 0);
}

UpdateContext::~UpdateContext() {
  if (stop_) CloseHandle(stop_);
  DeleteCriticalSection(&lock_);
}

void UpdateContext::SetStatus(const std::wstring& text) {
  EnterCriticalSection(&lock_);
  status_ = text;
  LeaveCriticalSection(&lock_);
}

std::wstring UpdateContext::Status() const {
  EnterCriticalSection(&lock_);
  std::wstring copy = status_;
  LeaveCriticalSection(&lock_);
  return copy;
}

int CheckedDownload(UpdateContext* ctx, const std::string& url, const std::wstring& compressed,
                    const std::wstring& out, const std::wstring& expectedMd5, uint64_t maxBytes,
                    uint64_t expectedPacked) {
  // Downloads go into the updater's own folder only along plain folders: a
  // link there would have them written, and later deleted, elsewhere.
  if (!IsPlainPathBelow(ctx->Root(), compressed) || !IsPlainPathBelow(ctx->Root(), out)) {
    LogLineW(L"a link stands in the update folder: %ls", out.c_str());
    return kSinkOpenFailed;
  }
  if (!expectedMd5.empty() && FileExists(out) && SameMd5(Md5OfFile(out), expectedMd5)) {
    ctx->Progress().SetStepFraction(1.0);
    return 0;
  }
  // A zlib stream is never much larger than what it holds.
  uint64_t maxCompressed = maxBytes + maxBytes / 64 + 4096;
  if (expectedPacked == 0 || expectedPacked > maxCompressed) expectedPacked = maxCompressed;
  long timeLimit = TransferTimeLimit(expectedPacked);
  int result = 0;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    ctx->Progress().SetStepFraction(0);
    int rc;
    {
      // The sink makes its folders once the server has passed its checks.
      CTarnWebFile sink(compressed, &ctx->Progress(), ctx->StopEvent(), maxCompressed);
      rc = HttpDownloadToSink(url.c_str(), &sink, timeLimit);
    }
    if (rc == 0 && !CreateFoldersOf(out)) rc = kSinkOpenFailed;
    if (rc == 0) {
      std::string md5;
      rc = UnpackZlibFile(compressed, out, maxBytes, &md5);
      if (rc == 0 && !expectedMd5.empty() && !SameMd5(md5, expectedMd5)) rc = kUnpackFailed;
    }
    result = rc;
    // A server refused for its certificate is not asked again.
    if (rc == 0 || rc == kCertificateRefused || ctx->StopRequested()) break;
  }
  DeleteFileW(compressed.c_str());
  if (result != 0) DeleteFileW(out.c_str());
  return result;
}

int FetchIndex(UpdateContext* ctx) {
  ctx->Files().clear();
  ctx->Progress().SetStep(0, 0);
  std::wstring dat = L"index" + ctx->Channel() + L".dat";
  std::wstring txt = L"index" + ctx->Channel() + L".txt";
  if (!IsSafeRelativeFile(dat)) return WithErrorBit(kIndexRejected);
  return FetchLevel(ctx, ctx->BaseUrl(), L"", L"update\\", dat, txt, L"", 0);
}

uint64_t EntryByteCap(const UpdateFileEntry& e) {
  if (e.fileSize == 0) return kMaxFileBytes;
  return std::min<uint64_t>(kMaxFileBytes, (uint64_t)e.fileSize + e.fileSize / 64 + 4096);
}

uint64_t RunDownloadCap(const std::vector<UpdateFileEntry>& files) {
  uint64_t sum = 0;
  for (const UpdateFileEntry& e : files) {
    sum += EntryByteCap(e);
    if (sum >= kMaxRunDownloadBytes) return kMaxRunDownloadBytes;
  }
  return sum;
}

int DownloadFiles(UpdateContext* ctx) {
  std::vector<UpdateFileEntry>& files = ctx->Files();
  uint64_t left = RunDownloadCap(files);
  const double share = 0.9;
  size_t count = files.size();
  for (size_t i = 0; i < count; ++i) {
    if (ctx->StopRequested()) return kUpdateStopped;
    UpdateFileEntry& e = files[i];
    ctx->Progress().SetStep(share * (double)i / (double)count, share / (double)count);
    ctx->SetStatus(e.localPath);
    LogLineW(L" %-60ls ", e.localPath.c_str());

    std::string url = ctx->BaseUrl() + UrlPiece(e.remoteFolder + e.serverFileName);
    std::wstring folder = L"update\\" + BackslashPath(e.levelPath);
    std::wstring compressed = JoinBelow(ctx->Root(), folder + e.serverFileName);
    std::wstring copy = folder + e.localPath;
    std::wstring out = JoinBelow(ctx->Root(), copy);
    // The index's sizes bound what the file may unpack to and the time its
    // transfer may take; the run as a whole takes no more than its cap.
    uint64_t cap = std::min(EntryByteCap(e), left);
    uint64_t expected = e.serverFileSize;
    if (e.fileSize) expected = std::max<uint64_t>(expected, cap);
    int rc = (compressed.empty() || out.empty()) ? kIndexRejected
             : cap == 0 ? kUnpackFailed
                        : CheckedDownload(ctx, url, compressed, out, e.serverFileName, cap, expected);
    if (rc == 0) {
      uint64_t size = FileBytes(out);
      left = size >= left ? 0 : left - size;
    }
    if (rc != 0) {
      if (!out.empty()) DeleteFileW(out.c_str());
      e.state = kEntryDownloadFailed;
      LogLine("Failed %d", rc);
      return FailureOrStop(ctx, rc);
    }
    e.downloadedCopy = copy;
    e.state = kEntryDownloaded;
    ctx->Progress().SetStepFraction(1.0);
    LogLine("Downloaded");
  }
  return 0;
}

int PutFilesInPlace(UpdateContext* ctx) {
  if (ctx->StopRequested()) return kUpdateStopped;
  // A run cut short earlier is finished or undone before anything else.
  if (RecoverInterruptedUpdate(ctx->Root()) < 0) return (int)HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  // A pending-copy file of an earlier, unfinished run must not replay.
  std::wstring pendingFile = ctx->Root() + kPendingFileName;
  DeleteFileW(pendingFile.c_str());
  ctx->SetPendingCount(0);

  // All or nothing, even across a crash: the journal on disk names every
  // replacement before it begins, so the next start can undo them until the
  // last one is in place and the run has committed.
  ReplaceJournal journal(ctx->Root());
  if (!journal.Begin()) {
    LogLine("cannot write the update journal");
    return (int)HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_WRITE_FAULT);
  }
  std::vector<Replacement> done;
  std::vector<UpdateFileEntry*> doneEntries;
  int written = 0;
  int failure = 0;
  for (UpdateFileEntry& e : ctx->Files()) {
    if (ctx->StopRequested()) {
      failure = kUpdateStopped;
      break;
    }
    if (ctx->CutAfter() >= 0 && (int)done.size() >= ctx->CutAfter()) {
      // As if the process had been killed here: the journal stays.
      journal.Close();
      return kUpdateCut;
    }
    LogLineW(L" %-60ls ", e.localPath.c_str());
    std::wstring target = JoinBelow(ctx->Root(), e.localPath);
    std::wstring copy = JoinBelow(ctx->Root(), e.downloadedCopy);
    if (e.inUse == 1 && ctx->AllowDeferral()) {
      // The completion program copies into the target's folder: it must
      // stand before the program that would create it has ended.
      if (target.empty() || !CreateFoldersOf(target) ||
          (written == 0 && !PendingStartFresh(pendingFile)) ||
          !PendingWriteCopy(pendingFile, written, e.localPath, e.downloadedCopy)) {
        failure = (int)HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_WRITE_FAULT);
        LogLine("Cannot record the pending copy");
        break;
      }
      ++written;
      LogLine("Pending");
      continue;
    }
    Replacement r;
    int rc = ReplaceTargetFileUndoable(copy, target, &r, &journal);
    if (rc == 0) {
      e.state = kEntryReplaced;
      LogLine("Replaced");
    } else if (rc == 1) {
      e.state = kEntryReplaceAtReboot;
      LogLine("Replaced at the next start of Windows");
    } else {
      e.state = kEntryReplaceFailed;
      LogLine("Replacement failed 0x%08X", (unsigned)rc);
      failure = rc;
      break;
    }
    done.push_back(r);
    doneEntries.push_back(&e);
  }
  if (failure == 0 && !journal.Commit()) {
    LogLine("cannot commit the update journal");
    failure = (int)HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  }
  if (failure != 0) {
    // Nothing will hand the recorded copies over: leave no half-written list.
    DeleteFileW(pendingFile.c_str());
    bool all = true;
    for (size_t i = done.size(); i-- > 0;) {
      if (UndoReplacement(done[i])) {
        doneEntries[i]->state = kEntryDownloaded;
      } else {
        all = false;
        LogLineW(L"cannot put back %ls", done[i].target.c_str());
      }
    }
    // What could not be put back is left to the next start.
    if (all) journal.Remove(); else journal.Close();
    return failure;
  }
  for (const Replacement& r : done) FinishReplacement(r);
  journal.Remove();
  ctx->SetPendingCount(written);
  return written > 0 ? kUpdateReupdate : 0;
}

namespace {

// The downloaded copies are not kept past the run, except those the
// completion program still has to copy.
void RemoveDownloadedCopies(UpdateContext* ctx, int rc) {
  for (UpdateFileEntry& e : ctx->Files()) {
    if (e.downloadedCopy.empty()) continue;
    if (rc == kUpdateReupdate && e.inUse == 1 && ctx->AllowDeferral()) continue;
    std::wstring copy = JoinBelow(ctx->Root(), e.downloadedCopy);
    if (!copy.empty()) DeleteFileW(copy.c_str());
  }
}

int RunSteps(UpdateContext* ctx) {
  // A run cut short by a crash or a power cut is repaired first.
  if (RecoverInterruptedUpdate(ctx->Root()) < 0) return WithErrorBit(ERROR_WRITE_FAULT);
  int rc = FetchIndex(ctx);
  if (rc == kUpdateStopped) return 1;
  if (rc != 0) return rc;
  if (ctx->Refused() > 0) {
    LogLine("index refused: %d entries or levels", ctx->Refused());
    return WithErrorBit(kIndexRejected);
  }
  if (ctx->Files().empty()) return 0;
  rc = DownloadFiles(ctx);
  if (rc == kUpdateStopped) return 1;
  if (rc != 0) return rc;
  rc = PutFilesInPlace(ctx);
  if (rc == kUpdateStopped) return 1;
  if (rc == kUpdateReupdate || rc == kUpdateCut || rc < 0) return rc;
  return 1;
}

}  // namespace

int RunUpdateWorker(UpdateContext* ctx) {
  int rc = RunSteps(ctx);
  if (rc != kUpdateCut) RemoveDownloadedCopies(ctx, rc);
  return rc;
}

DWORD WINAPI UpdateWorkerThread(void* context) {
  return (DWORD)RunUpdateWorker(static_cast<UpdateContext*>(context));
}

}  // namespace tarn
