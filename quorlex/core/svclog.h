// The library's diagnostic log: off unless "data\tarnver.dat" beside the
// module says [tarn] log=<non-zero>; lines go to "log\<module>.log" with a
// local time stamp. The previous generation is kept as "<module>.log0".
#pragma once

#include <windows.h>

#include <string>

// A critical section behind a virtual interface, locked through a scope guard.
class __QCriticalSesion {
 public:
  __QCriticalSesion() { InitializeCriticalSection(&cs_); }
  virtual ~__QCriticalSesion() { DeleteCriticalSection(&cs_); }
  void Lock() { EnterCriticalSection(&cs_); }
  void Unlock() { LeaveCriticalSection(&cs_); }

 private:
  __QCriticalSesion(const __QCriticalSesion&) = delete;
  __QCriticalSesion& operator=(const __QCriticalSesion&) = delete;
  CRITICAL_SECTION cs_;
};

class QCriticalSectionGuard {
 public:
  explicit QCriticalSectionGuard(__QCriticalSesion& cs) : cs_(cs) { cs_.Lock(); }
  ~QCriticalSectionGuard() { cs_.Unlock(); }

 private:
  __QCriticalSesion& cs_;
};

namespace tarn {

// Size of the line buffer; a longer line is cut so that CR LF still fits.
constexpr int kLogBufferSize = 51200;
// A log larger than this is rolled over to ".log0" when the module loads.
constexpr DWORD kLogRollSize = 0x3FFFF;

// Set-up for the module that contains this code; runs when the module loads.
void LogSetUp();
// Set-up as if the module's file were modulePath (tests use their own folders).
void LogSetUpForPath(const char* modulePath);
// Frees the line buffer (module unload).
void LogShutDown();

bool LogEnabled();
std::string LogPath();

// printf-style; returns the number of characters formatted (after any cut),
// 0 when the log is off or format is null.
int LogLine(const char* format, ...);
int LogLineW(const wchar_t* format, ...);

}  // namespace tarn
