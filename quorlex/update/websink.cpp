// curl brings winsock2.h, which must come before windows.h.
#include <curl/curl.h>

#include "websink.h"

#include "http.h"
#include "safepath.h"
#include "tlscheck.h"

namespace tarn {

UpdateProgress::UpdateProgress() { InitializeCriticalSection(&lock_); }
UpdateProgress::~UpdateProgress() { DeleteCriticalSection(&lock_); }

void UpdateProgress::SetStep(double base, double span) {
  EnterCriticalSection(&lock_);
  base_ = base;
  span_ = span;
  overall_ = base;
  LeaveCriticalSection(&lock_);
}

void UpdateProgress::SetStepFraction(double fraction) {
  if (fraction < 0) fraction = 0;
  if (fraction > 1) fraction = 1;
  EnterCriticalSection(&lock_);
  overall_ = base_ + span_ * fraction;
  LeaveCriticalSection(&lock_);
}

double UpdateProgress::Overall() const {
  EnterCriticalSection(&lock_);
  double v = overall_;
  LeaveCriticalSection(&lock_);
  return v;
}

}  // namespace tarn

CTarnWebFile::CTarnWebFile(const std::wstring& path, tarn::UpdateProgress* progress, HANDLE stop,
                           uint64_t maxBytes)
    : path_(path), progress_(progress), stop_(stop), maxBytes_(maxBytes) {
  tarn::Md5Init(&md5_);
}

CTarnWebFile::~CTarnWebFile() { Close(); }

bool CTarnWebFile::Stopped() const {
  return stop_ && WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0;
}

HRESULT STDMETHODCALLTYPE CTarnWebFile::Open() {
  Close();
  if (!tarn::CreateFoldersOf(path_)) return E_FAIL;
  file_ = CreateFileW(path_.c_str(), GENERIC_ALL, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
  tarn::Md5Init(&md5_);
  written_ = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTarnWebFile::Seek(uint64_t position) {
  if (file_ == INVALID_HANDLE_VALUE) return E_FAIL;
  LARGE_INTEGER to;
  to.QuadPart = (LONGLONG)position;
  return SetFilePointerEx(file_, to, nullptr, FILE_BEGIN) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

HRESULT STDMETHODCALLTYPE CTarnWebFile::Write(const void* data, size_t size) {
  if (file_ == INVALID_HANDLE_VALUE || Stopped()) return E_FAIL;
  if (maxBytes_ && (size > maxBytes_ || written_ > maxBytes_ - size)) return E_FAIL;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  size_t left = size;
  while (left > 0) {
    DWORD chunk = left > 0x10000000 ? 0x10000000 : (DWORD)left;
    DWORD done = 0;
    if (!WriteFile(file_, p, chunk, &done, nullptr) || done != chunk)
      return HRESULT_FROM_WIN32(GetLastError());
    p += chunk;
    left -= chunk;
  }
  if (hashing_) tarn::Md5Update(&md5_, data, size);
  written_ += size;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTarnWebFile::Close() {
  if (file_ == INVALID_HANDLE_VALUE) return S_OK;
  SetEndOfFile(file_);
  CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTarnWebFile::Progress(double fraction) {
  if (Stopped()) return E_FAIL;
  if (fraction >= 0 && progress_) progress_->SetStepFraction(fraction);
  return S_OK;
}

std::string CTarnWebFile::Md5Hex() {
  unsigned char digest[16];
  tarn::Md5Context copy = md5_;
  tarn::Md5Final(&copy, digest);
  return tarn::HexText(digest, sizeof digest);
}

namespace tarn {

long TransferTimeLimit(uint64_t bytes) {
  uint64_t seconds = (uint64_t)kTransferBaseSeconds + bytes / kOverallBytesPerSecond;
  return seconds > (uint64_t)kMaxTransferSeconds ? kMaxTransferSeconds : (long)seconds;
}

long AnnouncedTimeLimit(long limitSeconds, uint64_t announcedBytes) {
  if (limitSeconds <= 0 || announcedBytes == 0) return limitSeconds;
  long announced = TransferTimeLimit(announcedBytes);
  return announced < limitSeconds ? announced : limitSeconds;
}

namespace {

// One transfer into a sink. The sink (and the file behind it) is opened by
// the first byte of a 200 answer: a server refused before its answer, or an
// error page, leaves nothing behind.
struct Transfer {
  CURL* curl = nullptr;
  ITarnWebFile* sink = nullptr;
  bool opened = false;
  bool openFailed = false;
  bool discard = false;
  long limitSeconds = 0;  // 0: none
  DWORD startTick = 0;
  bool timedOut = false;
};

bool OpenSink(Transfer* t) {
  if (t->opened) return true;
  if (FAILED(t->sink->Open())) {
    t->openFailed = true;
    return false;
  }
  t->opened = true;
  return true;
}

size_t WriteToSink(char* data, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  size_t bytes = size * count;
  if (!t->opened && !t->discard) {
    long status = 0;
    curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &status);
    t->discard = status != 200;
  }
  if (t->discard) return bytes;
  if (!OpenSink(t)) return 0;
  return SUCCEEDED(t->sink->Write(data, bytes)) ? bytes : 0;
}

int ProgressToSink(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  Transfer* t = static_cast<Transfer*>(user);
  ITarnWebFile* sink = t->sink;
  if (total > 0) t->limitSeconds = AnnouncedTimeLimit(t->limitSeconds, (uint64_t)total);
  if (t->limitSeconds > 0 && (GetTickCount() - t->startTick) / 1000 >= (DWORD)t->limitSeconds) {
    t->timedOut = true;
    return 1;
  }
  double fraction = (double)total > 0.000001 ? (double)now / (double)total : -1.0;
  return SUCCEEDED(sink->Progress(fraction)) ? 0 : 1;
}

}  // namespace

int HttpDownloadToSink(const char* url, ITarnWebFile* sink, long timeLimitSeconds) {
  if (!url || !sink) return CURLE_BAD_FUNCTION_ARGUMENT;
  CurlGlobalInitOnce();
  CURL* curl = curl_easy_init();
  if (!curl) return kHttpNoHandle;

  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Content-Type: application/octet-stream");
  headers = curl_slist_append(headers, "User-Agent: Mozilla/4.0");
  headers = curl_slist_append(headers, "Accept: */*");

  Transfer transfer;
  transfer.curl = curl;
  transfer.sink = sink;
  transfer.limitSeconds = timeLimitSeconds;
  transfer.startTick = GetTickCount();
  TlsGuard tls;
  CURLcode rc = curl_easy_setopt(curl, CURLOPT_URL, url);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kHttpTimeoutSeconds);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeLimitSeconds);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytes);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteToSink);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &ProgressToSink);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);

  int result = rc;
  if (result == 0) result = RequireVerifiedHttps(curl, &tls);
  if (result == 0) result = ApplyProxy(curl);
  if (result == 0) result = curl_easy_perform(curl);
  if (tls.refusal != 0) {
    result = CURLE_PEER_FAILED_VERIFICATION;
  } else if (transfer.timedOut) {
    result = CURLE_OPERATION_TIMEDOUT;
  } else if (transfer.openFailed) {
    result = kSinkOpenFailed;
  } else if (result == 0) {
    long status = 0;
    CURLcode info = curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    result = info != CURLE_OK ? (int)info : (status == 200 ? 0 : (int)status);
    // An empty answer is an empty file.
    if (result == 0 && !OpenSink(&transfer)) result = kSinkOpenFailed;
  }
  if (transfer.opened) sink->Close();
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return result;
}

}  // namespace tarn
