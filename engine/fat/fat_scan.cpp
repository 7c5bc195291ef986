// Stand-in until the FAT scans land.
#include "fat/fat_scan.h"

int Fat16DeletedScan(int, const char*, const uint8_t*) { return -1; }
int Fat32DeletedScan(int, const char*, const uint8_t*) { return -1; }
