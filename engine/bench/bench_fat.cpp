// Times the deleted-file scan and the copy-out of everything it finds, the
// way the pages run them (workers sending their progress to a window that
// this thread serves).
//   bench_fat TARGET DESTINATION [--no-window]     e.g. bench_fat X:\ R:\out
// --no-window runs the workers without a page to report to, which shows
// what the progress messages cost.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "copyout/recover.h"
#include "messages.h"
#include "state.h"
#include "volume/delscan.h"

namespace {

uint64_t gProgress = 0;

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_DELSCAN_PROGRESS) ++gProgress;
  if (m >= WM_USER) return 0;
  return DefWindowProcA(h, m, w, l);
}

template <class F>
void RunServing(F fn) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    fn();
    done = true;
  });
  MSG msg;
  while (!done) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT) == WAIT_OBJECT_0)
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  worker.join();
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_fat TARGET DESTINATION\n");
    return 2;
  }
  WNDCLASSA wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "BenchFat";
  RegisterClassA(&wc);
  HWND window = CreateWindowA("BenchFat", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  if (argc > 3 && std::strcmp(argv[3], "--no-window") == 0) window = nullptr;

  DeletedScanRequest scan = {};
  scan.window = window;
  std::snprintf(scan.target, sizeof scan.target, "%s", argv[1]);
  LARGE_INTEGER t0, t1, t2;
  QueryPerformanceCounter(&t0);
  RunServing([&] { RunDeletedFileScan(scan); });
  QueryPerformanceCounter(&t1);
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
  RunServing([&] { RecoverDeletedFilesThreadProc(&copy); });
  QueryPerformanceCounter(&t2);
  std::printf("records %zu bytes %llu failed %u progress-messages %llu\n", found,
              static_cast<unsigned long long>(bytes), gRecoverFailedFiles.load(),
              static_cast<unsigned long long>(gProgress));
  std::printf("scan %.3f s copy %.3f s total %.3f s\n", Seconds(t0, t1), Seconds(t1, t2), Seconds(t0, t2));
  return 0;
}
