// Deleted-file scans of FAT12/16 and FAT32 volumes.
#pragma once

#include <cstdint>

// 0 or -1. Record every deleted file below target into gDeletedFiles.
int Fat16DeletedScan(int driveIndex, const char* target, const uint8_t* bootSector);
int Fat32DeletedScan(int driveIndex, const char* target, const uint8_t* bootSector);
