// Raw sector access: every read and write of the engine goes through here.
// Whole physical disks and logical volumes, in 512-byte sectors, on the NT
// family (device names through CreateFileA) and on Windows 9x (the vwin32
// device for volumes, a disk driver for physical disks).
//
// Results are integer codes: 0 success; -1 cannot open / transfer failed;
// -2 cannot seek or read (volume writes: cannot lock); -4 a sector target that
// names both a disk and a volume. A read succeeds only when every byte asked
// for arrived. Sector numbers are unsigned 64-bit.
//
// Volume handles are either valid or nullptr: INVALID_HANDLE_VALUE never
// leaves this layer.
#pragma once

#include <windows.h>

#include <cstdint>

// The system's error code of the last open, seek or transfer of this layer
// that failed on the calling thread (a read or write that moved fewer bytes
// than asked gives ERROR_HANDLE_EOF); 0 when none failed since the last
// ClearDeviceError. The roads use it to say why a source could not be read.
DWORD LastDeviceError();
void ClearDeviceError();

enum PlatformKind { kPlatformOther = 0, kPlatformWin9x = 1, kPlatformNt = 2 };
int GetPlatformKind();

// A sector target names a physical disk (byte 0) or a volume (byte 1, drive
// index); the byte that is not used holds 255.
constexpr uint32_t kTargetUnused = 255;
constexpr uint32_t MakeDiskTarget(uint32_t disk) { return (kTargetUnused << 8) | (disk & 0xFF); }
constexpr uint32_t MakeVolumeTarget(uint32_t driveIndex) { return ((driveIndex & 0xFF) << 8) | kTargetUnused; }
constexpr uint32_t TargetDisk(uint32_t target) { return target & 0xFF; }
constexpr uint32_t TargetVolume(uint32_t target) { return (target >> 8) & 0xFF; }

// "\\.\PHYSICALDRIVEn" for n = 0..9 (longer numbers are refused: "").
void MakeDiskPath(int disk, char out[32]);
// "\\.\X:" for drive index i (X = 'C' + i).
void MakeVolumePath(int driveIndex, char out[8]);

// --- physical disks ---------------------------------------------------------
int OpenDiskHandle(const char* path);             // into gDiskHandle; 0 or -1
void CloseDiskHandle();                           // closes gDiskHandle if open
HANDLE OpenSectorTarget(uint32_t target);         // volume handle, or gDiskHandle for a disk; nullptr on failure
int ReadDiskSectors(const char* path, uint64_t sector, uint32_t count, void* buffer);
int WriteDiskSectors(const char* path, uint64_t sector, uint32_t count, const void* buffer);
int ReadOpenDisk(const char* path, uint64_t sector, uint32_t count, void* buffer);
int WriteOpenDisk(const char* path, uint64_t sector, uint32_t count, const void* buffer);
int ReadTargetSectors(uint32_t target, uint64_t sector, uint32_t count, void* buffer, HANDLE volumeHandle);
int WriteTargetSectors(uint32_t target, uint64_t sector, uint32_t count, const void* buffer,
                       HANDLE volumeHandle);
// Size of a disk or volume in sectors: the length IOCTL, else the size of the
// file behind the handle (disk images answer only that); 0 when unknown.
uint64_t GetDeviceSectorCount(HANDLE handle);

// --- logical volumes ------------------------------------------------------
HANDLE OpenVolume(int driveIndex);                // nullptr on failure
void CloseVolume(HANDLE handle);
int ReadVolumeSectors(int driveIndex, uint64_t sector, uint32_t count, void* buffer, HANDLE handle);
int WriteVolumeSectors(int driveIndex, uint64_t sector, uint32_t count, const void* buffer, HANDLE handle);
bool LockVolume9x(int dosDrive, HANDLE handle);
bool UnlockVolume9x(int dosDrive, HANDLE handle);
int ReadVolumeSectorsByIndex(int driveIndex, uint64_t sector, uint32_t count, void* buffer);
// Keeps one volume open for the process: the handle of the drive named by the
// first character of driveText (opened on a change of letter, the previous one
// closed). nullptr when it cannot be opened; a failure is not cached.
HANDLE GetCachedVolumeHandle(const char* driveText, int* outIndex);
void ResetCachedVolumeHandle();

// --- Windows 9x disk driver ("\\.\BRNWHD.VXD") -----------------------------
HANDLE OpenDiskDriver();                          // into gDiskHandle; nullptr on failure
int DriverGetGeometry(uint32_t biosDrive, uint32_t* highestHead, uint32_t* sectorsPerTrack);
int DriverTransfer(uint32_t direction, uint32_t biosDrive, uint32_t head, uint32_t cylinder,
                   uint32_t sectorInTrack, uint32_t count, void* data, uint32_t* status);
int DriverReadSectors(const char* path, uint64_t sector, uint32_t count, void* buffer);
int DriverWriteSectors(const char* path, uint64_t sector, uint32_t count, const void* buffer);

struct Chs {
  uint32_t cylinder, head, sector;
};
Chs LbaToChs(uint64_t lba, uint32_t heads, uint32_t sectorsPerTrack);
