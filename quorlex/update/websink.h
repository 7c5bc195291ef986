// Downloads of the updater: what the transport receives goes into a file
// through a sink that can hash it and honours the update's stop event and
// progress.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstdint>
#include <string>

#include "hashing.h"

namespace tarn {

// Where a download reports how far it is: a fraction 0..1 of the current
// step, mapped into the run's overall fraction (base + span * fraction).
class UpdateProgress {
 public:
  UpdateProgress();
  ~UpdateProgress();
  UpdateProgress(const UpdateProgress&) = delete;
  UpdateProgress& operator=(const UpdateProgress&) = delete;

  void SetStep(double base, double span);
  void SetStepFraction(double fraction);
  double Overall() const;

 private:
  mutable CRITICAL_SECTION lock_;
  double base_ = 0;
  double span_ = 0;
  double overall_ = 0;
};

}  // namespace tarn

struct ITarnWebFile {
  virtual HRESULT STDMETHODCALLTYPE Open() = 0;                                  // 0
  virtual HRESULT STDMETHODCALLTYPE Seek(uint64_t position) = 0;                 // 1
  virtual HRESULT STDMETHODCALLTYPE Write(const void* data, size_t size) = 0;    // 2
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;                                 // 3
  // E_FAIL when the stop event is set; a fraction below 0 (total unknown)
  // only tests the stop event.
  virtual HRESULT STDMETHODCALLTYPE Progress(double fraction) = 0;               // 4
};

class CTarnWebFile : public ITarnWebFile {
 public:
  // progress and stop may be null. A download larger than maxBytes fails
  // (0: no limit).
  CTarnWebFile(const std::wstring& path, tarn::UpdateProgress* progress, HANDLE stop,
               uint64_t maxBytes = 0);
  virtual ~CTarnWebFile();

  HRESULT STDMETHODCALLTYPE Open() override;
  HRESULT STDMETHODCALLTYPE Seek(uint64_t position) override;
  HRESULT STDMETHODCALLTYPE Write(const void* data, size_t size) override;
  HRESULT STDMETHODCALLTYPE Close() override;
  HRESULT STDMETHODCALLTYPE Progress(double fraction) override;

  void SetHashing(bool on) { hashing_ = on; }
  // Lowercase hex MD5 of everything written since Open (hashing on).
  std::string Md5Hex();
  uint64_t BytesWritten() const { return written_; }
  const std::wstring& Path() const { return path_; }

 private:
  bool Stopped() const;

  std::wstring path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool hashing_ = false;
  tarn::Md5Context md5_;
  tarn::UpdateProgress* progress_;
  HANDLE stop_;
  uint64_t maxBytes_;
  uint64_t written_ = 0;
};

namespace tarn {

// A transfer that moves fewer than kLowSpeedBytes bytes per second for
// kLowSpeedSeconds ends with a time-out: a stalled or trickling server cannot
// hold the update (and the program that waits for it) for long. No real
// update comes slower than this.
constexpr long kLowSpeedBytes = 1024;
constexpr long kLowSpeedSeconds = 15;

// The whole transfer of a file expected to be about `bytes` long ends after
// this many seconds: time to connect, and the bytes at kOverallBytesPerSecond.
// Never more than kMaxTransferSeconds, whatever an index claims.
constexpr long kTransferBaseSeconds = 60;
constexpr uint64_t kOverallBytesPerSecond = 4096;
constexpr long kMaxTransferSeconds = 2 * 60 * 60;
long TransferTimeLimit(uint64_t bytes);
// Once the server announces the length of its answer, the limit is the one
// for those bytes when that is shorter: an index that claims a huge file
// does not buy a small one hours. 0 (no limit) stays 0.
long AnnouncedTimeLimit(long limitSeconds, uint64_t announcedBytes);

// The sink could not be opened (a folder or the file could not be made).
constexpr int kSinkOpenFailed = 82;

// HTTPS GET of url into the sink, from a server whose certificate Windows
// trusts for the url's host (tlscheck.h); the sink is opened only once the
// server has passed. 0, a libcurl code (a plain-HTTP url gives
// CURLE_UNSUPPORTED_PROTOCOL, a refused certificate
// CURLE_PEER_FAILED_VERIFICATION, the sink refusing data or the stop event
// CURLE_WRITE_ERROR / CURLE_ABORTED_BY_CALLBACK, a stall or the time limit
// CURLE_OPERATION_TIMEDOUT), the HTTP status when it is not 200, 2 without a
// transfer handle, or kSinkOpenFailed. timeLimitSeconds 0: no overall limit.
int HttpDownloadToSink(const char* url, ITarnWebFile* sink, long timeLimitSeconds);

}  // namespace tarn
