#include "copyout/tally.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

std::mutex gTallyLock;
CopyOutTally gLastTally;
uint32_t gTallyRuns = 0;
std::atomic<CopyOutTallyWatcher> gWatcher{nullptr};

}  // namespace

void ReportCopyOutTally(const char* road, const CopyOutTally& tally) {
  {
    std::lock_guard<std::mutex> lock(gTallyLock);
    gLastTally = tally;
    ++gTallyRuns;
  }
  if (CopyOutTallyWatcher w = gWatcher.load()) w(road ? road : "", tally);
}

CopyOutTally LastCopyOutTally() {
  std::lock_guard<std::mutex> lock(gTallyLock);
  return gLastTally;
}

uint32_t CopyOutTallyRuns() {
  std::lock_guard<std::mutex> lock(gTallyLock);
  return gTallyRuns;
}

void FormatCopyOutTally(const CopyOutTally& t, char* out, unsigned size) {
  if (!out || size == 0) return;
  std::snprintf(out, size, "ticked %u whole %u damaged %u failed %u not-started %u", t.ticked, t.whole, t.damaged,
                t.failed, t.notStarted);
}

void SetCopyOutTallyWatcher(CopyOutTallyWatcher watcher) { gWatcher = watcher; }
