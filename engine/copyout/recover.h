// The copy-out of the deleted files ticked on the result page: each selected
// DeletedFileRecord is read back from its volume (the way its file system
// needs, decided from the volume's boot sector) and written below the
// destination folder, recreating the record's folder path.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

// What the destination page hands the copy-out worker. It must stay valid
// until WM_RECOVER_DONE arrives.
struct RecoverRequest {
  HWND window;             // the progress page: WM_DELSCAN_PROGRESS per file, WM_RECOVER_DONE at the end
  char destination[512];   // "X:\folder" chosen by the user, on another drive than the scanned one
};

// Runs RecoverSelectedFiles, then sends WM_RECOVER_DONE (wParam 0, lParam 0)
// to the window, in every case. Start it with CreateThread.
DWORD WINAPI RecoverDeletedFilesThreadProc(LPVOID request);

// Copies every selected record of gDeletedFiles, in order, until the end or
// until gRecoverAbort is raised; sends a RecoverProgressBlock with
// WM_DELSCAN_PROGRESS before each file. Only files that were taken on count
// in gFileCounter: one announced as the stop came is neither copied nor
// counted. Returns the result of the last file copied (0, kCopyDamaged
// written but known damaged, -1 source not read whole, -2 output failed), -1
// when nothing ran. Damaged files count in gRecoverDamagedFiles, not in
// gRecoverFailedFiles.
// A volume that cannot be opened ends the run.
int RecoverSelectedFiles(HWND window, const char* destination);

// Files of the last run that were not copied whole (read failures, partial
// copies, a full destination, records refused): the report can say so.
extern std::atomic<uint32_t> gRecoverFailedFiles;
