// Times the signature scan of the disk mapped as a number (argument 1) and,
// with a destination folder (argument 2), the copy-out of every hit into it.
// Prints "scan <s> copy <s> hits <n>" and then one line per hit
// (first sector, last sector, name). Run by scripts/bench-deepscan.sh.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "deepscan/deepscan.h"
#include "deepscan/found_files.h"
#include "disk/raw.h"
#include "records/records.h"
#include "winsupport.h"

using testsupport::Now;

int main(int argc, char** argv) {
  int disk = argc > 1 ? std::atoi(argv[1]) : 1;
  double t0 = Now();
  int rc = RawSignatureScan(MakeDiskTarget(static_cast<uint32_t>(disk)));
  double t1 = Now();
  double copy = 0;
  if (rc == 0 && argc > 2) {
    CopyOutFoundFiles(argv[2]);
    copy = Now() - t1;
  }
  std::printf("scan %.3f copy %.3f hits %u rc %d\n", t1 - t0, copy, static_cast<unsigned>(gFoundFiles.size()), rc);
  for (const FoundFileRecord& r : gFoundFiles)
    std::printf("%llu\t%llu\t%.260s\n", static_cast<unsigned long long>(r.firstSector),
                static_cast<unsigned long long>(r.lastSector), r.name);
  return rc == 0 ? 0 : 1;
}
