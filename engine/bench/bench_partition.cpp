// Times the lost-partition search (and the backup of what it found) on the
// physical disks given, the way the partition page runs them.
//   bench_partition DISK [DISK...]      e.g. bench_partition 1 2
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "partition/partition_backup.h"
#include "partition/partition_search.h"
#include "partition/partition_table.h"
#include "winsupport.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    int disk = std::atoi(argv[i]);
    const double t0 = testsupport::Now();
    int rc = SearchLostPartitions(disk);
    const double ms = 1000.0 * (testsupport::Now() - t0);
    std::printf("disk %d: search %d in %.1f ms\n", disk, rc, ms);
    for (const LostPartitionFinding& f : LostPartitionFindings())
      std::printf("  found: type %02X start %llu count %llu%s%s\n", f.type, static_cast<unsigned long long>(f.start),
                  static_cast<unsigned long long>(f.sectors), f.written ? "" : " (not written)",
                  f.fromBackup ? " (from its backup boot sector)" : "");
    for (unsigned e = 0; e < kPartitionEntries && rc == kSearchWritten; ++e) {
      PartitionEntry p = ReadPartitionEntry(gRebuiltSector0, e);
      if (!IsEmptyEntry(p))
        std::printf("  entry %u: type %02X start %u count %u%s\n", e + 1, p.type, p.startLba, p.sectorCount,
                    p.bootFlag ? " active" : "");
    }
    if (rc == kSearchWritten) DeleteFileA(gPreviousSector0File);
  }
  return 0;
}
