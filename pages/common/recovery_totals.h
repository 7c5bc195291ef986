// Sizes and texts that the result, destination, progress and report pages of
// every road share: a selection's size in sectors (64-bit: files of 4 GiB and
// more count whole), the size shown as "1.50 KB", the free-space test, and the
// texts of a result row.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "fw_string.h"
#include "state.h"

// A file's size in 512-byte sectors, rounded up.
inline uint64_t SectorsOfSize(uint64_t size) { return (size >> 9) + ((size & 511) ? 1 : 0); }

// Adds one ticked file to a running total; a total of 0 becomes 1, so that a
// selection of empty files still counts as something to write.
inline void AddSelectedSize(uint64_t* total, uint64_t size) {
  *total += SectorsOfSize(size);
  if (*total == 0) *total = 1;
}

// The ticked records of gDeletedFiles (selected != 0), in sectors; and how
// many there are.
uint64_t SelectedDeletedSectors(uint32_t* files = nullptr);

// The size of t sectors as a number and its unit: below 2 sectors in bytes
// ("Byte"), then "KB" below 2048 sectors, "MB" below 2,097,152, else "GB";
// above bytes with two decimals of the unit ("1.50 KB": 3 sectors).
void SizeText(uint64_t sectors, CString* number, CString* unit);

// The drive has room for the selection: totalSectors < free bytes / 512.
inline bool HasRoomFor(uint64_t totalSectors, uint64_t freeBytes) { return totalSectors < freeBytes / 512; }

// Free bytes available to the caller on drive `letter`; false when unknown.
bool DriveFreeBytes(char letter, uint64_t* freeBytes);

// Texts of a result row: a size under 1 KB in bytes ("512 Byte"), above in
// whole KB ("%llu KB", the 64-bit size / 1024); the record's size so, marked
// as overwritten for a record the scan knows damaged; a time
// "2024-07-01 12:00:00", and a date alone "2024-07-01" (what FAT keeps of the
// last access).
CString FileSizeText(uint64_t size);
CString RecordSizeText(const DeletedFileRecord& record);
CString RecordTimeText(const SYSTEMTIME& time);
CString RecordDateText(const SYSTEMTIME& time);
// The same texts appended to a row being built (the size one for a record
// not marked damaged).
void AppendFileSizeText(uint64_t size, std::string* out);
void AppendRecordSizeText(const DeletedFileRecord& record, std::string* out);
void AppendRecordTimeText(const SYSTEMTIME& time, std::string* out);
void AppendRecordDateText(const SYSTEMTIME& time, std::string* out);

// A 64-bit amount scaled down for a progress bar that counts in int.
void ScaleForBar(uint64_t total, uint64_t done, int* barTotal, int* barDone);
