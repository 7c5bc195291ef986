// Copy-out of the files rebuilt by the unformat scan: the ticked records
// (selected != 0) of gUnformatNtfsFiles, gUnformatFat32Files and
// gUnformatFat16Files are read back from the scanned volume and written below
// the destination folder, recreating their folder paths.
//
// FAT files are read as the run of consecutive clusters from their first
// sector (the old FAT that chained them is gone); NTFS files through the data
// runs of their old MFT record, with the cluster size and MFT the scan found.
//
// Each file reports itself to gUnformatProgressWindow with WM_RECOVER_FILE
// (sent; lParam = RecoverProgressBlock {the record's path, the file created})
// once its output exists; the bytes written advance gRecoveredSectors. A
// writer ends early when gRecoverAbort is non-zero.
#pragma once

#include <windows.h>

#include <string>

// The unformat copy-out progress page; the destination page sets it before
// it starts the worker. nullptr: nothing is reported.
extern HWND gUnformatProgressWindow;

// The output file of one rebuilt file: destination + relativePath through
// CreateOutputFile, so it always lies below the destination (folders made as
// needed, names made safe, numbered on a clash). The handle, or nullptr with
// *error: -2 the destination is full or the name invalid, -3 the destination
// folder itself is too long, -1 any other failure.
HANDLE CreateUnformatOutputFile(const char* destination, const char* relativePath, int* error,
                                std::string* createdPath = nullptr);

// The writers, one per result vector. Each returns how many ticked files it
// could not copy: files it could not write, files cut short by the source,
// and files cut short by a full destination or by the stop (those are
// removed, so no shorter file keeps the real name). Files written but known
// damaged (a size the volume cannot hold; on NTFS also clusters the present
// file system has given away) are not among them: they are counted in
// gRecoverDamagedFiles. A destination on the scanned volume is refused for
// every file: writing there would overwrite what is being saved.
int CopyOutUnformatNtfs(const char* destFolder);
int CopyOutUnformatFat32(const char* destFolder);
int CopyOutUnformatFat16(const char* destFolder);

// The whole copy-out as the worker runs it: gRecoverAbort and the copy-out's
// counters are left as the page set them (ResetCopyOutCounters), then the
// writer of every non-empty vector runs, NTFS first, then FAT32, then FAT16;
// gRecoverFailedFiles is set at the end. Returns the number of files not
// copied (as the writers count them).
int RecoverUnformatFiles(const char* destFolder);
