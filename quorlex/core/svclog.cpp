#include "svclog.h"

#include <shlwapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "modinfo.h"
#include "plainfile.h"
#include "textconv.h"

namespace tarn {

namespace {

int gSwitch = 0;
std::string gPath = ".\\unknown_module.log";
std::wstring gFolder;  // the module's folder: the log lives below it
char* gBuffer = nullptr;

__QCriticalSesion& Lock() {
  static __QCriticalSesion lock;
  return lock;
}

void RollOver(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return;
  if (data.nFileSizeHigh == 0 && data.nFileSizeLow <= kLogRollSize) return;
  std::string old = path + "0";
  SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(old.c_str());
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  MoveFileA(path.c_str(), old.c_str());
}

// Appends one finished line (CR LF included) with its time stamp. Binary
// mode: a text-mode stream would turn the CR LF into CR CR LF.
// The log is appended to only along plain folders of the module's folder
// and while it has one link (plainfile.h).
void AppendLine(const char* text, size_t length) {
  if (gFolder.empty()) return;
  HANDLE f = OpenPlainForAppend(gFolder, AnsiToWide(gPath));
  if (f == INVALID_HANDLE_VALUE) return;
  SYSTEMTIME t;
  GetLocalTime(&t);
  char stamp[32];
  int n = snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d ", t.wYear, t.wMonth, t.wDay,
                   t.wHour, t.wMinute, t.wSecond);
  DWORD done = 0;
  if (n > 0) WriteFile(f, stamp, (DWORD)n, &done, nullptr);
  WriteFile(f, text, (DWORD)length, &done, nullptr);
  CloseHandle(f);
}

bool EnsureBuffer() {
  if (!gBuffer) gBuffer = static_cast<char*>(malloc(kLogBufferSize));
  return gBuffer != nullptr;
}

}  // namespace

void LogSetUpForPath(const char* modulePath) {
  QCriticalSectionGuard guard(Lock());
  gSwitch = 0;
  gFolder.clear();
  if (!modulePath || !*modulePath) {
    gPath = ".\\unknown_module.log";
  } else {
    std::string path = modulePath;
    char base[MAX_PATH] = {};
    lstrcpynA(base, PathFindFileNameA(path.c_str()), MAX_PATH);
    PathRemoveExtensionA(base);
    for (char& c : path)
      if (c == '/') c = '\\';
    size_t slash = path.rfind('\\');
    if (slash != std::string::npos) {
      std::string folder = path.substr(0, slash + 1);
      gSwitch = (int)GetPrivateProfileIntA("tarn", "log", 0, (folder + "data\\tarnver.dat").c_str());
      gPath = folder + "log\\" + base + ".log";
      gFolder = AnsiToWide(folder);
      CreateDirectoryA((folder + "log").c_str(), nullptr);
    } else {
      gPath = path + ".log";
    }
  }
  // The roll-over renames and deletes: only along plain folders.
  if (!gFolder.empty() && IsPlainPathBelow(gFolder, AnsiToWide(gPath)) &&
      IsPlainPathBelow(gFolder, AnsiToWide(gPath + "0")))
    RollOver(gPath);
}

void LogSetUp() {
  // The wide name, whole; one that does not survive the code page would
  // name another folder's switch and log: the log stays off.
  std::wstring path = ModulePath(ModuleHandle());
  std::string ansi = WideToAnsi(path);
  LogSetUpForPath(!path.empty() && AnsiToWide(ansi) == path ? ansi.c_str() : nullptr);
}

void LogShutDown() {
  QCriticalSectionGuard guard(Lock());
  free(gBuffer);
  gBuffer = nullptr;
}

bool LogEnabled() { return gSwitch != 0; }

std::string LogPath() {
  QCriticalSectionGuard guard(Lock());
  return gPath;
}

int LogLine(const char* format, ...) {
  if (!gSwitch || !format) return 0;
  QCriticalSectionGuard guard(Lock());
  if (!EnsureBuffer()) return 0;
  const int room = kLogBufferSize - 3;  // CR LF and the terminator always fit
  va_list args;
  va_start(args, format);
  int n = vsnprintf(gBuffer, room + 1, format, args);
  va_end(args);
  if (n < 0) n = 0;
  if (n > room) n = room;  // cut: report what was kept, not a failure
  gBuffer[n] = '\r';
  gBuffer[n + 1] = '\n';
  gBuffer[n + 2] = '\0';
  AppendLine(gBuffer, (size_t)n + 2);
  return n;
}

int LogLineW(const wchar_t* format, ...) {
  if (!gSwitch || !format) return 0;
  QCriticalSectionGuard guard(Lock());
  if (!EnsureBuffer()) return 0;
  wchar_t* wide = reinterpret_cast<wchar_t*>(gBuffer);
  const int room = kLogBufferSize / (int)sizeof(wchar_t) - 3;
  va_list args;
  va_start(args, format);
  int n = vswprintf(wide, room + 1, format, args);
  va_end(args);
  if (n < 0) {
    // The wide formatter reports a cut as a failure; keep what it wrote.
    wide[room] = L'\0';
    n = (int)wcslen(wide);
  }
  if (n > room) n = room;
  wide[n] = L'\r';
  wide[n + 1] = L'\n';
  wide[n + 2] = L'\0';
  int bytes = WideCharToMultiByte(CP_ACP, 0, wide, n + 2, nullptr, 0, nullptr, nullptr);
  if (bytes > 0) {
    std::string text((size_t)bytes, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, n + 2, &text[0], bytes, nullptr, nullptr);
    AppendLine(text.data(), text.size());
  }
  return n;
}

}  // namespace tarn
