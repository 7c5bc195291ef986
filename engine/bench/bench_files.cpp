// What one output file costs, apart from the copy-out around it: times N
// files of B bytes created, written and closed in a folder, in a few ways,
// against an empty loop of the same bookkeeping. Run it under Wine with
// WINEDEBUG=+server to count the server requests of each way.
//   bench_files FOLDER [files [bytes [threads]]]      e.g. bench_files R:\t 2000 40000 4
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "winsupport.h"

namespace {

std::vector<char> gData;

std::string Name(const std::string& folder, const char* way, int i) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "\\%s\\File %05d.bin", way, i);
  return folder + buf;
}

// One file: created, written, its times set (or not), its size read back
// (or not), closed.
bool OneFile(const std::string& path, DWORD flags, bool write, bool times, bool size = false) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  bool ok = !write || (WriteFile(h, gData.data(), static_cast<DWORD>(gData.size()), &done, nullptr) &&
                       done == gData.size());
  if (times) {
    FILETIME t = {0x12345678, 0x01D00000};
    ok = SetFileTime(h, &t, &t, &t) && ok;
  }
  if (size) {
    LARGE_INTEGER now;
    ok = GetFileSizeEx(h, &now) && now.QuadPart == static_cast<LONGLONG>(gData.size()) && ok;
  }
  return CloseHandle(h) && ok;
}

int Floor(const std::string& folder, int files, int threads, int folders) {
  if (files < 1 || threads < 1 || folders < 1) return 2;
  for (int d = 0; d < folders; ++d) {
    char name[32];
    std::snprintf(name, sizeof name, "\\dir%04d", d);
    CreateDirectoryA((folder + name).c_str(), nullptr);
  }
  std::atomic<int> next{0}, failed{0};
  auto run = [&] {
    for (int i; (i = next++) < files;) {
      char name[48];
      std::snprintf(name, sizeof name, "\\dir%04d\\file%06d.bin", i % folders, i);
      if (!OneFile(folder + name, 0, true, true, true)) ++failed;
    }
  };
  const double t0 = testsupport::Now();
  std::vector<std::thread> pool;
  for (int k = 0; k < threads; ++k) pool.emplace_back(run);
  for (std::thread& t : pool) t.join();
  std::printf("floor_ms %.1f\nthreads %d\nfailed %d\n", 1000.0 * (testsupport::Now() - t0), threads, failed.load());
  return failed.load() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_files FOLDER [files [bytes [threads]]]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int files = argc > 2 ? std::atoi(argv[2]) : 2000;
  const int bytes = argc > 3 ? std::atoi(argv[3]) : 40000;
  const int threads = argc > 4 ? std::atoi(argv[4]) : 4;
  gData.assign(static_cast<size_t>(bytes > 0 ? bytes : 0), 'x');
  CreateDirectoryA(folder.c_str(), nullptr);
  if (argc > 5) return Floor(folder, files, threads, std::atoi(argv[5]));

  struct Way {
    const char* name;
    DWORD flags;
    bool write, times;
    int threads;
  };
  const Way ways[] = {
      {"empty", 0, false, false, 0},
      {"create", 0, false, false, 1},
      {"create-exact", FILE_FLAG_POSIX_SEMANTICS, false, false, 1},
      {"write", 0, true, false, 1},
      {"write-exact", FILE_FLAG_POSIX_SEMANTICS, true, false, 1},
      {"write-times", FILE_FLAG_POSIX_SEMANTICS, true, true, 1},
      {"write-exact-mt", FILE_FLAG_POSIX_SEMANTICS, true, false, threads},
  };
  for (const Way& w : ways) {
    CreateDirectoryA((folder + "\\" + w.name).c_str(), nullptr);
    std::atomic<int> next{0}, failed{0};
    std::atomic<size_t> sink{0};
    auto run = [&] {
      for (int i; (i = next++) < files;) {
        std::string path = Name(folder, w.name, i);
        if (w.threads == 0)
          sink += path.size();
        else if (!OneFile(path, w.flags, w.write, w.times))
          ++failed;
      }
    };
    const double t0 = testsupport::Now();
    if (w.threads <= 1) {
      run();
    } else {
      std::vector<std::thread> pool;
      for (int k = 0; k < w.threads; ++k) pool.emplace_back(run);
      for (std::thread& t : pool) t.join();
    }
    const double us = 1e6 * (testsupport::Now() - t0) / (files ? files : 1);
    std::printf("%-16s %8.1f us/file  threads %d  failed %d\n", w.name, us, w.threads, failed.load());
  }
  return 0;
}
