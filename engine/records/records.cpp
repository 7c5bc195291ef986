#include "records/records.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

std::vector<UnformatFatRecord> gUnformatFat16Files;
std::vector<UnformatFatRecord> gUnformatFat32Files;
std::vector<UnformatNtfsRecord> gUnformatNtfsFiles;
std::vector<FoundFileRecord> gFoundFiles;

namespace {

constexpr uint32_t kStopLength = 2048;

// The last sector a hit may end at: end - 1 clamped to the source, and never
// before the hit's own first sector.
uint64_t ClampLast(uint64_t wanted, uint64_t sourceSectors, uint64_t firstSector) {
  if (sourceSectors != 0) wanted = std::min(wanted, sourceSectors - 1);
  return std::max(wanted, firstSector);
}

}  // namespace

void MakeFoundFileName(const char* type, uint32_t counter, char out[260]) {
  std::memset(out, 0, 260);
  // type + '\' + 8 digits + '.' + type + NUL must fit in 260 bytes.
  char shortType[120];
  std::snprintf(shortType, sizeof shortType, "%s", type ? type : "");
  std::snprintf(out, 260, "%s\\%08u.%s", shortType, counter, shortType);
}

bool AppendFoundFile(const FoundFileRecord& hit) {
  FoundFileRecord r = hit;
  if (!gFoundFiles.empty()) {
    FoundFileRecord& previous = gFoundFiles.back();
    if (r.firstSector <= previous.firstSector) return false;
    previous.lastSector = r.firstSector - 1;
  }
  r.lastSector = r.firstSector;
  gFoundFiles.push_back(r);
  return true;
}

void CloseFoundFilesAtEnd(uint64_t endPosition, uint64_t sourceSectors) {
  for (size_t i = 0; i + 1 < gFoundFiles.size(); ++i) gFoundFiles[i].lastSector = gFoundFiles[i + 1].firstSector - 1;
  if (gFoundFiles.empty()) return;
  FoundFileRecord& last = gFoundFiles.back();
  last.lastSector = ClampLast(endPosition ? endPosition - 1 : 0, sourceSectors, last.firstSector);
}

void CloseFoundFilesOnStop(uint64_t sourceSectors) {
  if (gFoundFiles.empty()) return;
  FoundFileRecord& last = gFoundFiles.back();
  last.lastSector = ClampLast(last.firstSector + kStopLength, sourceSectors, last.firstSector);
}

uint64_t FoundFileBytes(const FoundFileRecord& hit) {
  if (hit.lastSector < hit.firstSector) return 0;
  return (hit.lastSector - hit.firstSector + 1) * 512;
}
