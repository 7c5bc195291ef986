// What becomes of the hits of the signature scan: their bytes for a picture
// preview, and the copy-out of the ticked ones into the destination folder.
// Both read a hit's sectors from the disk or volume its record names
// (FoundFileRecord::source) and cut the bytes where the file's own structure
// says it ends (deepscan/file_end.h), so a JPEG, PNG, GIF, BMP, ZIP, docx,
// xlsx, pptx, doc, xls, ppt, AVI, WAV, PDF, MPEG, MP3, MP4, MKV or FLV comes
// out as long as it was.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "messages.h"

// The window of the raw copy-out's progress page: each file written is
// reported to it with WM_RECOVER_FILE (sent; lParam a RecoverProgressBlock
// {name of the hit, e.g. "jpg\00000001.jpg"; path written}). Set by the
// destination page before it starts the worker; nullptr: nothing is sent.
extern HWND gRawProgressWindow;
// Files of the last copy-out that were not written whole (unreadable
// sectors, a full or refused destination); the report can say so.
extern std::atomic<uint32_t> gRawRecoverFailedFiles;
// Files of the last copy-out written as far as they were whole and known
// damaged: their structure broke (another file's bytes followed a piece) or
// ended before the structure said it would.
extern std::atomic<uint32_t> gRawRecoverDamagedFiles;

// Previews are read only for these and at most this many bytes.
constexpr uint32_t kPreviewMaxBytes = 10 * 1024 * 1024;

// The bytes of hit `index` of gFoundFiles for a preview: the number of bytes
// (*buffer a new allocation; FreeFoundFileData frees it), -1 when the source
// cannot be opened, memory is short or the read fails, -2 when the hit is not
// a picture (bmp, jpg, gif, dib, pnp, tif, png, emf) or there is no such hit.
// At most 10 MB from the hit's first sector; less when the picture ends
// sooner.
int ReadFoundFileData(size_t index, uint8_t** buffer);
void FreeFoundFileData(uint8_t* buffer);

// Creates the output file of a hit below the destination folder: itemName
// (the record's name, "type\number.type") with its folders, numbered
// name_001.ext ... when the name is taken. Never outside the destination.
// nullptr with *error: -2 disk full or name invalid, -3 the destination is
// too long, -1 anything else.
HANDLE CreateRawOutputFile(const char* destination, const char* itemName, int* error,
                           std::string* createdPath = nullptr);

// Results of one hit's copy-out.
constexpr int kRawCopyDone = 0;
constexpr int kRawCopyPartial = -1;    // written, but some sectors could not be read (zeros in their place)
constexpr int kRawCopyOutputFailed = -2;   // the destination refused the file (a cut copy is removed)
constexpr int kRawCopyRefused = -3;    // no such hit, its source cannot be opened, or the
                                       // destination lies on the scanned volume
constexpr int kRawCopyStopped = -4;    // gScanAbort was raised: the partial file is removed
constexpr int kRawCopyDestinationFull = -5;   // the destination is full: the cut copy is removed
constexpr int kRawCopyDamaged = 1;     // written as far as the file was whole; known damaged

// Copies hit `index` of gFoundFiles to destination (a folder "X:\..."). When
// report is given it receives the hit's name and the path written, as soon
// as the file is created. The sectors written are added to gRecoveredSectors.
int CopyOutFoundFile(size_t index, const char* destination, RecoverProgressBlock* report = nullptr);

// The writer of the raw copy-out worker: every ticked hit (selected != 0) of
// gFoundFiles, in order, each reported with WM_RECOVER_FILE to
// gRawProgressWindow when its file is created. A type of more than 500
// ticked hits has them in folders of 500 below its own ("jpg\00000001-
// 00000500\00000001.jpg"). Ends early when gScanAbort is raised, or when the
// destination is full; the one who starts it clears gScanAbort before it
// starts, so that a stop asked for meanwhile is not lost. Returns the number
// of files written whole; gRawRecoverDamagedFiles and gRawRecoverFailedFiles
// count the others.
int CopyOutFoundFiles(const char* destination);
