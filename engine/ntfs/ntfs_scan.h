// Deleted-file scan of NTFS volumes.
#pragma once

#include <windows.h>

#include <cstdint>

// 0 or -1. Record every deleted file below target into gDeletedFiles; progress
// texts go to window.
int NtfsDeletedScan(int driveIndex, const char* target, const uint8_t* bootSector, HWND window);
