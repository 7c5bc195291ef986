// Output files of every copy-out: created below the destination folder the
// user chose, and never anywhere else.
#pragma once

#include <windows.h>

#include <cstdint>

// Creates destination + relativePath (folders as needed, a numbered name when
// the file exists). Returns the open handle, or nullptr with *error set:
// -2 destination full, -3 a name too long, -1 any other failure.
HANDLE CreateOutputFile(const char* relativePath, const char* destination, int* error);

// Writes bytes recovered from the source and advances gRecoveredSectors
// (bytes / 512, at least 1). 0, -2 when the destination is full, -1 otherwise.
int WriteRecoveredBytes(HANDLE out, const void* data, uint32_t bytes);
