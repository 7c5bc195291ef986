// Entry point of the deleted-file scan: recognises the file system of the
// target's volume from its boot sector and hands over to the FAT or NTFS scan.
#pragma once

#include <windows.h>

#include <cstdint>

#include "source_report.h"

// What the scan page hands its worker.
struct DeletedScanRequest {
  HWND window;          // receives WM_DELSCAN_PROGRESS / WM_DELSCAN_DONE
  char target[512];     // "X:\", "X:\folder\sub" or a recycle-bin folder; upper-case drive letter
  int recycleBin;       // non-zero: no WM_DELSCAN_DONE (the recycle-bin worker sends one at the end)
};

// 0 when a scan ran (the target folder may turn out not to be there: nothing
// is found); -1 when the target is empty or names no drive, the volume
// cannot be opened or read, or its file system is not one the scan reads.
// report (may be null) says which of these it was, with the system's reason
// (source_report.h). Always ends with gDelScanDone = 1 and, outside
// recycle-bin mode, WM_DELSCAN_DONE sent to the window.
int RunDeletedFileScan(const DeletedScanRequest& request, SourceReport* report = nullptr);

// CreateThread-style wrapper; the argument is a DeletedScanRequest* that must
// outlive the thread.
DWORD WINAPI DeletedFileScanThreadProc(LPVOID request);

// What the boot sector of a volume says about whether the deleted-file scan
// can read it: kScanned when it can (a FAT or NTFS volume whose geometry
// reads), else kUnsupported with the reason. driveIndex goes into the report.
SourceReport JudgeBootSector(const uint8_t boot[512], int driveIndex);
