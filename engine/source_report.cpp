#include "source_report.h"

SourceReport VolumeFailure(SourceState state, int driveIndex, uint32_t error) {
  SourceReport r;
  r.state = state;
  r.error = error;
  r.driveIndex = driveIndex;
  return r;
}

SourceReport DiskFailure(SourceState state, int disk, uint32_t error) {
  SourceReport r;
  r.state = state;
  r.error = error;
  r.disk = disk;
  return r;
}
