#include "copyout/tally.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace {

std::mutex gTallyLock;
CopyOutTally gLastTally;

// With SALVORA_TALLY_LOG set (the test bed sets it), each run's tally is
// added to that file as a line, marked when it does not add up, so that a
// check outside the program sees every road's runs.
void LogTally(const char* road, const CopyOutTally& tally) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("SALVORA_TALLY_LOG", path, sizeof path);
  if (n == 0 || n >= sizeof path) return;
  char line[200];
  FormatCopyOutTally(tally, line, sizeof line);
  char text[260];
  int len = std::snprintf(text, sizeof text, "%s %s copied %u %s\r\n", tally.AddsUp() ? "ok" : "WRONG", road,
                          tally.copied, line);
  if (len <= 0) return;
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD done = 0;
  WriteFile(h, text, static_cast<DWORD>(std::min<size_t>(static_cast<size_t>(len), sizeof text - 1)), &done, nullptr);
  CloseHandle(h);
}

}  // namespace

void ReportCopyOutTally(const char* road, const CopyOutTally& tally) {
  {
    std::lock_guard<std::mutex> lock(gTallyLock);
    gLastTally = tally;
  }
  LogTally(road ? road : "", tally);
}

CopyOutTally LastCopyOutTally() {
  std::lock_guard<std::mutex> lock(gTallyLock);
  return gLastTally;
}

void FormatCopyOutTally(const CopyOutTally& t, char* out, unsigned size) {
  if (!out || size == 0) return;
  std::snprintf(out, size, "ticked %u whole %u damaged %u failed %u not-started %u", t.ticked, t.whole, t.damaged,
                t.failed, t.notStarted);
}
