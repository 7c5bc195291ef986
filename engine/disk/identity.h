// What a physical disk is (its IDE identity text and sector count) and on
// which physical disk a drive letter lies. Each has an NT road and a Windows
// 9x road; every device call goes through gDeviceCalls.
#pragma once

#include <windows.h>

#include <cstdint>

// The joined identity pieces of the NT road (model 4 characters, firmware 4,
// serial 20) and the text of the last failure.
extern char gDiskIdentityPieces[1024];
extern char gDiskIdentifyError[256];

// The identity text of disk n in gDiskIdentifyText (and its sector count in
// gDiskSectorCount), or nullptr with gDiskIdentifyError set.
const char* GetDiskIdentifyText(int disk);
// 1 or 0. Only disk n is asked, under its own drive number.
int IdentifyDiskNt(int disk);
int IdentifyDisk9x(int disk);

// Disk number of the drive letter through the storage device-number query, or
// -1.
int GetDiskNumberOfDrive(char letter);
// Disk number of the drive letter found by writing the volume marker into the
// volume's sector 1 and looking for it on each disk (disks 0 to 9), or -1.
// Only volumes that start at a disk's first sector or in its first partition
// are found. The volume is locked while the marker is on it where the
// platform allows, and its sector 1 is put back on every road.
int FindDiskNumberByMarker(char letter);

// --- the parts of an IDENTIFY block (512 bytes, ATA words little-endian) ---
constexpr size_t kIdentifyBytes = 512;
// Characters of a text field (first word, word count): each word holds its two
// characters swapped.
void IdentifyText(const uint8_t* identify, int firstWord, int words, char* out);
// The 40-character model name, cut after the first space of its first run of
// three spaces.
void IdentifyModelText(const uint8_t* identify, char out[41]);
// Model 4 characters, firmware 4 and serial 20, each cut at a NUL.
void IdentifyPiecesText(const uint8_t* identify, char out[29]);
// The low 32 bits of the 48-bit sector count (words 100-101), or of the
// 28-bit count (words 60-61) on a disk that has no 48-bit count.
uint32_t IdentifySectorCount(const uint8_t* identify);

// The marker: these 20 characters at the start of an otherwise zero sector.
constexpr char kVolumeMarker[] = "Morvanti(2001-07-15)";

// The SMART control codes and their blocks.
constexpr DWORD kDfpGetVersion = 0x00074080;
constexpr DWORD kDfpReceiveDriveData = 0x0007C088;

#pragma pack(push, 1)
struct SmartVersion {            // DFP_GET_VERSION output
  uint8_t version, revision, reserved, ideDeviceMap;
  uint32_t capabilities;         // bit 0: IDE identify
  uint32_t reservedWords[4];
};
struct SmartRegisters {
  uint8_t features, sectorCount, sectorNumber, cylinderLow, cylinderHigh, driveHead, command, reserved;
};
struct SmartCommand {            // DFP_RECEIVE_DRIVE_DATA input (32 bytes are sent)
  uint32_t bufferSize;
  SmartRegisters registers;
  uint8_t driveNumber;
  uint8_t reserved[3];
  uint32_t reservedWords[4];
  uint8_t buffer[1];
};
struct SmartStatus {             // header of the output, then the 512 bytes
  uint32_t bufferSize;
  uint8_t driverError, ideError, reserved[2];
  uint32_t reservedWords[2];
};
#pragma pack(pop)
static_assert(sizeof(SmartVersion) == 24, "DFP_GET_VERSION output is 24 bytes");
static_assert(sizeof(SmartCommand) == 33, "command block is 32 bytes and one buffer byte");
static_assert(sizeof(SmartStatus) == 16, "status header is 16 bytes");
constexpr DWORD kSmartCommandBytes = sizeof(SmartCommand) - 1;
constexpr DWORD kSmartOutputBytes = sizeof(SmartStatus) + kIdentifyBytes;
