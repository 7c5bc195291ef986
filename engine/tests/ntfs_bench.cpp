// Times the NTFS deleted-file scan of one drive (scripts/bench-ntfs.sh runs
// it under Wine):  ntfs_bench X:\ [runs [destination]]
// Prints "files N", "best_ms T" (the fastest of the runs) and "peak_kb M"
// (the process's peak working set). With a destination, every file found is
// then copied out there once: "copy_ms T", "failed N", "damaged N".
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "copyout/tally.h"
#include "deleted/delscan.h"
#include "deleted/recover.h"
#include "state.h"
#include "winsupport.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ntfs_bench X:\\ [runs [destination]]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  DeletedScanRequest req = {};
  std::strncpy(req.target, argv[1], sizeof req.target - 1);
  req.recycleBin = 1;   // no window, no end message
  double best = 1e30;
  size_t files = 0;
  for (int i = 0; i < runs; ++i) {
    ClearDeletedFiles();
    const double a = testsupport::Now();
    if (RunDeletedFileScan(req) != 0) {
      std::fprintf(stderr, "scan failed\n");
      return 1;
    }
    const double ms = 1000.0 * (testsupport::Now() - a);
    if (ms < best) best = ms;
    files = DeletedFileCount();
  }
  if (argc > 3) {
    for (DeletedFileRecord& r : gDeletedFiles) r.selected = 1;
    const double a = testsupport::Now();
    RecoverSelectedFiles(nullptr, argv[3]);
    std::printf("copy_ms %.1f\nfailed %u\ndamaged %u\n", 1000.0 * (testsupport::Now() - a),
                gRecoverFailedFiles.load(), gRecoverDamagedFiles.load());
    char tally[200];
    FormatCopyOutTally(LastCopyOutTally(), tally, sizeof tally);
    std::printf("tally %s%s\n", tally, LastCopyOutTally().AddsUp() ? "" : "  (DO NOT ADD UP)");
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("files %zu\nbest_ms %.1f\npeak_kb %zu\n", files, best,
              static_cast<size_t>(memory.PeakWorkingSetSize / 1024));
  return 0;
}
