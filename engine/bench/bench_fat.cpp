// Times the deleted-file scan and the copy-out of everything it finds, the
// way the pages run them (workers sending their progress to a window that
// this thread serves).
//   bench_fat TARGET DESTINATION [--no-window]     e.g. bench_fat X:\ R:\out
// --no-window runs the workers without a page to report to, which shows
// what the progress messages cost.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "copyout/tally.h"
#include "deleted/delscan.h"
#include "deleted/recover.h"
#include "messages.h"
#include "state.h"
#include "winsupport.h"

using testsupport::Now;
using testsupport::RunPumping;

namespace {

uint64_t gProgress = 0;

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_DELSCAN_PROGRESS) ++gProgress;
  if (m >= WM_USER) return 0;
  return DefWindowProcA(h, m, w, l);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_fat TARGET DESTINATION\n");
    return 2;
  }
  HWND window = testsupport::MessageWindow("BenchFat", Proc);
  if (argc > 3 && std::strcmp(argv[3], "--no-window") == 0) window = nullptr;

  DeletedScanRequest scan = {};
  scan.window = window;
  std::snprintf(scan.target, sizeof scan.target, "%s", argv[1]);
  const double t0 = Now();
  RunPumping([&] { RunDeletedFileScan(scan); });
  const double t1 = Now();
  size_t found = DeletedFileCount();
  uint64_t bytes = 0;
  {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    for (DeletedFileRecord& r : gDeletedFiles) {
      r.selected = 1;
      bytes += RecordSize(r);
    }
  }
  RecoverRequest copy = {};
  copy.window = window;
  std::snprintf(copy.destination, sizeof copy.destination, "%s", argv[2]);
  RunPumping([&] { RecoverDeletedFilesThreadProc(&copy); });
  const double t2 = Now();
  std::printf("records %zu bytes %llu failed %u progress-messages %llu\n", found,
              static_cast<unsigned long long>(bytes), gRecoverFailedFiles.load(),
              static_cast<unsigned long long>(gProgress));
  std::printf("scan %.3f s copy %.3f s total %.3f s\n", t1 - t0, t2 - t1, t2 - t0);
  char tally[200];
  FormatCopyOutTally(LastCopyOutTally(), tally, sizeof tally);
  std::printf("%s%s\n", tally, LastCopyOutTally().AddsUp() ? "" : "  (DO NOT ADD UP)");
  return 0;
}
