// Times the unformat scan and the copy-out of everything it finds, the way
// the pages run them (workers sending their messages to a window that this
// thread serves).
//   bench_unformat KIND DRIVE [DESTINATION]     e.g. bench_unformat 1 X R:\out
// KIND: 0 NTFS, 1 FAT32, 2 FAT16, 3 detect. Without a destination only the
// scan runs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "copyout/tally.h"
#include "messages.h"
#include "records/records.h"
#include "state.h"
#include "unformat/unformat.h"
#include "unformat/unformat_copy.h"
#include "winsupport.h"

using testsupport::Now;
using testsupport::RunPumping;

namespace {

uint64_t gPaths = 0, gProgress = 0, gFiles = 0;

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_UNFORMAT_PATH) ++gPaths;
  if (m == WM_UNFORMAT_PROGRESS) ++gProgress;
  if (m == WM_RECOVER_FILE) ++gFiles;
  if (m >= WM_USER) return 0;
  return DefWindowProcA(h, m, w, l);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_unformat KIND DRIVE [DESTINATION]\n");
    return 2;
  }
  HWND window = testsupport::MessageWindow("BenchUnformat", Proc);
  const int kind = std::atoi(argv[1]);
  const int drive = (argv[2][0] & 0xDF) - 'C';

  const double t0 = Now();
  int rc = 0;
  RunPumping([&] { rc = RunUnformatScan(kind, drive, window); });
  const double t1 = Now();
  const size_t found = gUnformatFat16Files.size() + gUnformatFat32Files.size() + gUnformatNtfsFiles.size();
  uint64_t bytes = 0;
  for (auto& r : gUnformatFat16Files) r.selected = 1, bytes += r.size;
  for (auto& r : gUnformatFat32Files) r.selected = 1, bytes += r.size;
  for (auto& r : gUnformatNtfsFiles) r.selected = 1, bytes += UnformatNtfsSize(r);
  int failed = 0;
  if (argc > 3) {
    gUnformatProgressWindow = window;
    RunPumping([&] { failed = RecoverUnformatFiles(argv[3]); });
  }
  const double t2 = Now();
  std::printf("result %d records %zu bytes %llu paths %llu progress %llu\n", rc, found,
              static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(gPaths),
              static_cast<unsigned long long>(gProgress));
  std::printf("copied %llu failed %d\n", static_cast<unsigned long long>(gFiles), failed);
  std::printf("scan %.3f s copy %.3f s\n", t1 - t0, t2 - t1);
  if (argc > 3) {
    char tally[200];
    FormatCopyOutTally(LastCopyOutTally(), tally, sizeof tally);
    std::printf("%s%s\n", tally, LastCopyOutTally().AddsUp() ? "" : "  (DO NOT ADD UP)");
  }
  return 0;
}
