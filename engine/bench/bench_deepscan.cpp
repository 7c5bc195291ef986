// Times the signature scan of the disk mapped as a number (argument 1) and
// prints one line: "hits <n> seconds <s>". Run by scripts/bench-deepscan.sh.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "deepscan/deepscan.h"
#include "disk/raw.h"
#include "records/records.h"

int main(int argc, char** argv) {
  int disk = argc > 1 ? std::atoi(argv[1]) : 1;
  LARGE_INTEGER f, t0, t1;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t0);
  int rc = RawSignatureScan(MakeDiskTarget(static_cast<uint32_t>(disk)));
  QueryPerformanceCounter(&t1);
  std::printf("rc %d hits %u seconds %.3f\n", rc, static_cast<unsigned>(gFoundFiles.size()),
              static_cast<double>(t1.QuadPart - t0.QuadPart) / f.QuadPart);
  for (const FoundFileRecord& r : gFoundFiles)
    std::printf("%u\t%u\t%.260s\n", r.firstSector, r.lastSector, r.name);
  return rc == 0 ? 0 : 1;
}
