// Shared by the FAT scan and copy-out tests: running the engine's workers on
// a thread as the pages do (pumping this thread's messages meanwhile), the
// messages they send, and the expected results the fixture makers wrote.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "deleted/delscan.h"
#include "deleted/recover.h"
#include "messages.h"
#include "state.h"
#include "testsupport.h"
#include "winsupport.h"

namespace fattest {

struct Received {
  UINT message;
  bool sent;             // SendMessage, not PostMessage
  WPARAM wParam;
  std::string text;      // scan progress text
  std::string source;    // copy-out progress block
  std::string destination;
};

inline std::vector<Received>& Messages() {
  static std::vector<Received> m;
  return m;
}
// Called for every progress message (after it is recorded), e.g. to stop.
inline std::function<void(size_t)>& OnProgress() {
  static std::function<void(size_t)> f;
  return f;
}
inline bool& CopyMode() {
  static bool copy = false;
  return copy;
}

inline LRESULT CALLBACK ReceiverProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m >= WM_USER) {
    Received r{m, InSendMessage() != FALSE, w, "", "", ""};
    if (m == WM_DELSCAN_PROGRESS && l) {
      if (CopyMode()) {
        const RecoverProgressBlock* b = reinterpret_cast<const RecoverProgressBlock*>(l);
        r.source.assign(b->source, strnlen(b->source, sizeof b->source));
        r.destination.assign(b->destination, strnlen(b->destination, sizeof b->destination));
      } else {
        r.text = reinterpret_cast<const char*>(l);
      }
    }
    Messages().push_back(r);
    if (m == WM_DELSCAN_PROGRESS && OnProgress()) OnProgress()(Messages().size());
    return 0;
  }
  return DefWindowProcA(h, m, w, l);
}

inline HWND Receiver() {
  static HWND window = testsupport::MessageWindow("FatTestReceiver", ReceiverProc);
  return window;
}

using testsupport::RunPumping;

// A deleted-file scan as the scan page runs it: flags cleared, list emptied.
inline int Scan(const std::string& target) {
  Messages().clear();
  CopyMode() = false;
  gScanAbort = 0;
  gDelScanDone = 0;
  ClearDeletedFiles();
  DeletedScanRequest req = {};
  req.window = Receiver();
  std::snprintf(req.target, sizeof req.target, "%s", target.c_str());
  int result = 0;
  RunPumping([&] { result = RunDeletedFileScan(req); });
  return result;
}

// The copy-out worker as the destination page starts it.
// As the page does: the stop flag is lowered and the counters reset before
// the worker starts.
inline int Recover(const std::string& destination) {
  gRecoverAbort = 0;
  ResetCopyOutCounters();
  Messages().clear();
  CopyMode() = true;
  RecoverRequest req = {};
  req.window = Receiver();
  std::snprintf(req.destination, sizeof req.destination, "%s", destination.c_str());
  DWORD result = 0;
  RunPumping([&] { result = RecoverDeletedFilesThreadProc(&req); });
  CopyMode() = false;
  return static_cast<int>(result);
}

inline void SelectAll(bool on = true) {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  for (DeletedFileRecord& r : gDeletedFiles) r.selected = on ? 1 : 0;
}

inline std::vector<DeletedFileRecord> Records() {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  return gDeletedFiles;
}

// A record's path as UTF-8 with '/' (as the manifests write paths).
inline std::string PathUtf8(const DeletedFileRecord& r) {
  std::string p = testsupport::AnsiToUtf8(std::string(r.path, strnlen(r.path, sizeof r.path)));
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

inline std::string FormatTime(const SYSTEMTIME& t) { return testsupport::FormatSystemTime(t); }

using Expected = testsupport::ScanRow;
using testsupport::ReadScanTable;

inline std::vector<DeletedFileRecord> RecordsAt(const std::vector<DeletedFileRecord>& all,
                                                const std::string& utf8Path) {
  std::vector<DeletedFileRecord> out;
  for (const DeletedFileRecord& r : all)
    if (PathUtf8(r) == utf8Path) out.push_back(r);
  return out;
}

using testsupport::Below;
using testsupport::OutputsFor;

// Every file below a folder (full paths).
inline void ListFiles(const std::string& dir, std::vector<std::string>* out) {
  WIN32_FIND_DATAA fd;
  std::string d = dir;
  if (d.back() != '\\') d += '\\';
  HANDLE h = FindFirstFileA((d + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string n = fd.cFileName;
    if (n == "." || n == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListFiles(d + n, out);
    else
      out->push_back(d + n);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

// Restores the scan options to their defaults when a test ends.
struct DefaultOptions {
  DefaultOptions() { Reset(); }
  ~DefaultOptions() { Reset(); }
  static void Reset() {
    gOptSkipDeletedBeforeFolder = 0;
    gOptSkipTempFolders = 1;
    gOptSkipBadTimes = 1;
    OnProgress() = nullptr;
  }
};

}  // namespace fattest
