// Process-wide flags of the wizard pages (the engine's own state is in
// engine/state.h). All of them are written and read on the user-interface
// thread only.
#pragma once

#include <cstdint>

// 1 while the road is the recycle-bin scan (set by the main window's
// recycle-bin button, cleared by the other mode buttons). The destination
// page, the result-tree fill and the nothing-found page read it.
extern uint32_t gRecycleBinMode;

// Set by the nothing-found page's deep-scan button together with the drive
// index (drive letter - 'C') of the volume that was scanned; the deep-scan
// location page starts a deep scan of that drive at once and clears it.
extern uint32_t gDeepScanRequest;
extern uint8_t gDeepScanDrive;
