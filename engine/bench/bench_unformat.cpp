// Times the unformat scan and the copy-out of everything it finds, the way
// the pages run them (workers sending their messages to a window that this
// thread serves).
//   bench_unformat KIND DRIVE [DESTINATION]     e.g. bench_unformat 1 X R:\out
// KIND: 0 NTFS, 1 FAT32, 2 FAT16, 3 detect. Without a destination only the
// scan runs.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "messages.h"
#include "records/records.h"
#include "state.h"
#include "unformat/unformat.h"
#include "unformat/unformat_copy.h"

namespace {

uint64_t gPaths = 0, gProgress = 0, gFiles = 0;

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_UNFORMAT_PATH) ++gPaths;
  if (m == WM_UNFORMAT_PROGRESS) ++gProgress;
  if (m == WM_RECOVER_FILE) ++gFiles;
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
    std::fprintf(stderr, "usage: bench_unformat KIND DRIVE [DESTINATION]\n");
    return 2;
  }
  WNDCLASSA wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "BenchUnformat";
  RegisterClassA(&wc);
  HWND window = CreateWindowA("BenchUnformat", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  const int kind = std::atoi(argv[1]);
  const int drive = (argv[2][0] & 0xDF) - 'C';

  LARGE_INTEGER t0, t1, t2;
  QueryPerformanceCounter(&t0);
  int rc = 0;
  RunServing([&] { rc = RunUnformatScan(kind, drive, window); });
  QueryPerformanceCounter(&t1);
  const size_t found = gUnformatFat16Files.size() + gUnformatFat32Files.size() + gUnformatNtfsFiles.size();
  uint64_t bytes = 0;
  for (auto& r : gUnformatFat16Files) r.selected = 1, bytes += r.size;
  for (auto& r : gUnformatFat32Files) r.selected = 1, bytes += r.size;
  for (auto& r : gUnformatNtfsFiles) r.selected = 1, bytes += UnformatNtfsSize(r);
  int failed = 0;
  if (argc > 3) {
    gUnformatProgressWindow = window;
    RunServing([&] { failed = RecoverUnformatFiles(argv[3]); });
  }
  QueryPerformanceCounter(&t2);
  std::printf("result %d records %zu bytes %llu paths %llu progress %llu\n", rc, found,
              static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(gPaths),
              static_cast<unsigned long long>(gProgress));
  std::printf("copied %llu failed %d\n", static_cast<unsigned long long>(gFiles), failed);
  std::printf("scan %.3f s copy %.3f s\n", Seconds(t0, t1), Seconds(t1, t2));
  return 0;
}
