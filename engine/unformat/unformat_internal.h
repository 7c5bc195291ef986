// Helpers shared by the FAT and NTFS unformat scans.
#pragma once

#include <windows.h>

#include <cstdint>

#include "state.h"

namespace unformat {

// Either stop request.
inline bool StopRequested() { return gUnformatAbort.load() == 1 || gScanAbort.load() == 1; }

// WM_UNFORMAT_PATH to gUnformatWindow (sent: the text is the caller's).
void SendPath(const char* text);
// WM_UNFORMAT_PROGRESS to gUnformatWindow, scaled to 32 bits when needed.
void SendProgress(uint64_t total, uint64_t position);

// The number of sectors to scan: the device's size when it is known (the old
// file system may have been larger than the new one says), else the boot
// sector's.
uint64_t ScanExtent(HANDLE volume, uint64_t bootTotal);

}  // namespace unformat
