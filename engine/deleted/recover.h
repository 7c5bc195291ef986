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
// until gRecoverAbort is raised. The page hears of the files with
// WM_DELSCAN_PROGRESS (a RecoverProgressBlock; wParam the number of files
// taken on so far): at most one message per progress-gate interval, and one
// for the last file at the end. Every file taken on counts in
// gRecoverTakenFiles and is whole, damaged (gRecoverDamagedFiles) or failed
// (gRecoverFailedFiles); one the stop came before is none of these. Those
// counters only grow here: the caller resets them first
// (ResetCopyOutCounters), as the page does. A file whose volume cannot be
// opened, or whose volume's boot sector cannot be read or names no file
// system the copy-out reads, is failed. Returns the result of the last file
// copied (0, kCopyDamaged, -1 source not read whole or stopped within the
// file, -2 output failed), -1 when nothing ran.
int RecoverSelectedFiles(HWND window, const char* destination);

