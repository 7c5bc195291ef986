// Stand-in until the NTFS scan lands.
#include "ntfs/ntfs_scan.h"

int NtfsDeletedScan(int, const char*, const uint8_t*, HWND) { return -1; }
