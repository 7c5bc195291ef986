// Times the signature scan of the disk mapped as a number (argument 1) and,
// with a destination folder (argument 2), the copy-out of every hit into it.
// With "--window" (argument 3) both run on a worker thread and send their
// messages to a window that this thread pumps, as they do to the program's
// pages. Prints "scan <s> copy <s> hits <n> rc <rc> whole <n> damaged <n>
// failed <n> notstarted <n>" (the copy-out's counts of the ticked hits) and
// then one line per hit (first sector, last sector, name). Run by scripts/bench-deepscan.sh.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "deepscan/deepscan.h"
#include "deepscan/found_files.h"
#include "disk/raw.h"
#include "messages.h"
#include "records/records.h"
#include "winsupport.h"

using testsupport::Now;

namespace {

uint32_t gFilesHeard = 0;

// What a page does with the messages: keeps the texts it is sent.
LRESULT CALLBACK PageProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  static std::string shown;
  if (m == WM_RECOVER_FILE && l) {
    const auto* b = reinterpret_cast<const RecoverProgressBlock*>(l);
    shown.assign(b->destination, strnlen(b->destination, sizeof b->destination));
    ++gFilesHeard;
    return 0;
  }
  if (m == WM_RAWSCAN_FOUND && l) {
    shown = reinterpret_cast<const char*>(l);
    return 0;
  }
  if (m >= WM_USER) return 0;
  return DefWindowProcA(h, m, w, l);
}

}  // namespace

int main(int argc, char** argv) {
  int disk = argc > 1 ? std::atoi(argv[1]) : 1;
  const char* destination = argc > 2 ? argv[2] : nullptr;
  const bool window = argc > 3 && std::strcmp(argv[3], "--window") == 0;
  if (window) {
    HWND page = testsupport::MessageWindow("DeepScanBenchPage", PageProc);
    gDeepScanWindow = page;
    gRawProgressWindow = page;
  }
  int rc = 0, whole = 0;
  double t0 = Now(), t1 = 0, copy = 0;
  auto work = [&] {
    rc = RawSignatureScan(MakeDiskTarget(static_cast<uint32_t>(disk)));
    t1 = Now();
    if (rc == 0 && destination) {
      whole = CopyOutFoundFiles(destination);
      copy = Now() - t1;
    }
  };
  if (window)
    testsupport::RunPumping(work);
  else
    work();
  const unsigned damaged = gRawRecoverDamagedFiles.load(), failed = gRawRecoverFailedFiles.load();
  const unsigned ticked = destination ? static_cast<unsigned>(gFoundFiles.size()) : 0;
  const unsigned taken = static_cast<unsigned>(whole) + damaged + failed;
  std::printf("scan %.3f copy %.3f hits %u rc %d whole %d damaged %u failed %u notstarted %u\n", t1 - t0, copy,
              static_cast<unsigned>(gFoundFiles.size()), rc, whole, damaged, failed, ticked > taken ? ticked - taken : 0);
  for (const FoundFileRecord& r : gFoundFiles)
    std::printf("%llu\t%llu\t%.260s\n", static_cast<unsigned long long>(r.firstSector),
                static_cast<unsigned long long>(r.lastSector), r.name);
  return rc == 0 ? 0 : 1;
}
