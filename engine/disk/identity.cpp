#include "disk/identity.h"

#include <winioctl.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "bytes.h"
#include "disk/device.h"
#include "disk/raw.h"
#include "state.h"

char gDiskIdentityPieces[1024];
char gDiskIdentifyError[256];

namespace {

void SetError(const char* text) { std::snprintf(gDiskIdentifyError, sizeof gDiskIdentifyError, "%s", text); }

HANDLE OpenDevice(const char* name, DWORD access, DWORD share, DWORD disposition) {
  HANDLE h = gDeviceCalls.createFile(name, access, share, nullptr, disposition, 0, nullptr);
  return IsValidHandle(h) ? h : nullptr;
}

bool Control(HANDLE h, DWORD code, void* in, DWORD inBytes, void* out, DWORD outBytes) {
  DWORD got = 0;
  return gDeviceCalls.deviceIoControl(h, code, in, inBytes, out, outBytes, &got, nullptr) != 0;
}

// Bits 4 to 7 of the device map mark the ATAPI devices, one per drive number.
bool IsAtapi(const SmartVersion& v, int drive) { return ((v.ideDeviceMap >> drive) & 0x10) != 0; }

// Sends IDENTIFY DEVICE for one drive number; the 512 bytes go to identify.
bool SendIdentify(HANDLE h, int drive, uint8_t identify[kIdentifyBytes]) {
  SmartCommand in = {};
  in.bufferSize = kIdentifyBytes;
  in.registers.sectorCount = 1;
  in.registers.sectorNumber = 1;
  in.registers.driveHead = (drive & 1) ? 0xB0 : 0xA0;
  in.registers.command = 0xEC;
  in.driveNumber = static_cast<uint8_t>(drive);
  uint8_t out[kSmartOutputBytes] = {};
  if (!Control(h, kDfpReceiveDriveData, &in, kSmartCommandBytes, out, sizeof out)) return false;
  std::memcpy(identify, out + sizeof(SmartStatus), kIdentifyBytes);
  return true;
}

// The version query and its checks, shared by both roads. Sets the error text.
bool QueryIdentifySupport(HANDLE h, int drive, bool reportVersionFailure) {
  SmartVersion version = {};
  if (!Control(h, kDfpGetVersion, nullptr, 0, &version, sizeof version)) {
    if (reportVersionFailure) SetError("DeviceIoControl failed:DFP_GET_VERSION");
    return false;
  }
  if ((version.capabilities & 1) == 0) {
    SetError("Error: IDE identify command not supported.");
    return false;
  }
  if (IsAtapi(version, drive)) {
    SetError("Error: ATAPI device has no IDE identity.");
    return false;
  }
  return true;
}

}  // namespace

void IdentifyText(const uint8_t* identify, int firstWord, int words, char* out) {
  for (int i = 0; i < words; ++i) {
    const uint8_t* w = identify + 2 * (firstWord + i);
    out[2 * i] = static_cast<char>(w[1]);
    out[2 * i + 1] = static_cast<char>(w[0]);
  }
  out[2 * words] = 0;
}

void IdentifyModelText(const uint8_t* identify, char out[41]) {
  IdentifyText(identify, 27, 20, out);
  const char* run = std::strstr(out, "   ");
  if (run) out[run - out + 1] = 0;
}

void IdentifyPiecesText(const uint8_t* identify, char out[29]) {
  char model[41], firmware[9], serial[21];
  IdentifyText(identify, 27, 20, model);
  IdentifyText(identify, 23, 4, firmware);
  IdentifyText(identify, 10, 10, serial);
  std::snprintf(out, 29, "%.4s%.4s%.20s", model, firmware, serial);
}

uint32_t IdentifySectorCount(const uint8_t* identify) {
  uint32_t count = ReadLe32(identify + 200);   // words 100-101
  if (count == 0) count = ReadLe32(identify + 120);   // words 60-61
  return count;
}

namespace {

// The first four disks are the ones the drivers answer for.
bool DiskInRange(int disk) {
  if (disk >= 0 && disk < 4) return true;
  SetError("Error: disk number out of range.");
  return false;
}

// Asks the opened device for the disk's identify block, then closes it.
bool ReadIdentify(HANDLE h, int disk, uint8_t* identify) {
  bool ok = false;
  if (QueryIdentifySupport(h, disk, true)) {
    ok = SendIdentify(h, disk, identify);
    if (!ok) SetError("DeviceIoControl failed:DFP_RECEIVE_DRIVE_DATA");
  }
  gDeviceCalls.closeHandle(h);
  return ok;
}

}  // namespace

int IdentifyDiskNt(int disk) {
  if (!DiskInRange(disk)) return 0;
  char name[32];
  std::snprintf(name, sizeof name, "\\\\.\\PhysicalDrive%d", disk);
  HANDLE h = OpenDevice(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (!h) {
    SetError("Error: cannot open the disk.");
    return 0;
  }
  uint8_t identify[kIdentifyBytes];
  if (!ReadIdentify(h, disk, identify)) return 0;
  char model[41];
  IdentifyModelText(identify, model);
  std::snprintf(gDiskIdentifyText, sizeof gDiskIdentifyText, "%s", model);
  gDiskSectorCount = IdentifySectorCount(identify);
  IdentifyPiecesText(identify, gDiskIdentityPieces);
  return 1;
}

int IdentifyDisk9x(int disk) {
  if (!DiskInRange(disk)) return 0;
  HANDLE h = OpenDevice("\\\\.\\Smartvsd", 0, 0, CREATE_NEW);
  if (!h) {
    SetError("open smartvsd.vxd failed");
    return 0;
  }
  uint8_t identify[kIdentifyBytes];
  if (!ReadIdentify(h, disk, identify)) return 0;
  gDiskSectorCount = IdentifySectorCount(identify);
  IdentifyPiecesText(identify, gDiskIdentifyText);
  return 1;
}

const char* GetDiskIdentifyText(int disk) {
  std::memset(gDiskIdentifyText, 0, sizeof gDiskIdentifyText);
  std::memset(gDiskIdentityPieces, 0, sizeof gDiskIdentityPieces);
  gDiskIdentifyError[0] = 0;
  switch (GetPlatformKind()) {
    case kPlatformWin9x:
      return IdentifyDisk9x(disk) ? gDiskIdentifyText : nullptr;
    case kPlatformNt:
      return IdentifyDiskNt(disk) ? gDiskIdentifyText : nullptr;
    case kPlatformOther:
      SetError("Win32s is not supported by this programm.");
      return nullptr;
    default:
      SetError("UnKnow Platform Info.");
      return nullptr;
  }
}

int GetDiskNumberOfDrive(char letter) {
  char name[] = "\\\\.\\c:";
  name[4] = letter;
  HANDLE h = OpenDevice(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (!h) return -1;
  STORAGE_DEVICE_NUMBER number = {};
  static_assert(sizeof number == 12, "device number is 12 bytes");
  const bool ok = Control(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number);
  gDeviceCalls.closeHandle(h);
  return ok ? static_cast<int>(number.DeviceNumber) : -1;
}

namespace {

// Keeps other writers off the volume while its sector 1 holds the marker.
bool LockVolumeForMarker(HANDLE volume, int driveIndex) {
  if (GetPlatformKind() == kPlatformNt) return Control(volume, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0);
  // On Windows 9x every raw write takes the volume lock itself.
  (void)driveIndex;
  return false;
}

void UnlockVolumeForMarker(HANDLE volume) { Control(volume, FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0); }

// Whether disk n holds the marker where the volume (whose first sector is
// `first`) would lie on it.
bool DiskHoldsMarker(int disk, const uint8_t* first, const uint8_t* marker) {
  char path[32];
  MakeDiskPath(disk, path);
  if (!path[0] || OpenDiskHandle(path) != 0) return false;
  uint8_t sector0[kSectorSize], probe[kSectorSize];
  if (ReadOpenDisk(path, 0, 1, sector0) != 0) return false;
  uint64_t markerSector = 1;
  if (std::memcmp(sector0, first, kSectorSize) != 0) {
    // The first partition of the disk: it must begin with the volume's own
    // first sector, so a stale marker elsewhere is never taken for ours.
    const uint64_t start = ReadLe32(sector0 + 0x1C6);
    if (start == 0 || ReadOpenDisk(path, start, 1, probe) != 0 || std::memcmp(probe, first, kSectorSize) != 0)
      return false;
    markerSector = start + 1;
  }
  return ReadOpenDisk(path, markerSector, 1, probe) == 0 && std::memcmp(probe, marker, kSectorSize) == 0;
}

}  // namespace

int FindDiskNumberByMarker(char letter) {
  const int driveIndex = std::toupper(static_cast<unsigned char>(letter)) - 'C';
  if (driveIndex < 0 || driveIndex > 23) return -1;
  HANDLE volume = OpenVolume(driveIndex);
  if (!volume) return -1;
  const bool locked = LockVolumeForMarker(volume, driveIndex);
  uint8_t first[kSectorSize], saved[kSectorSize], marker[kSectorSize] = {};
  std::memcpy(marker, kVolumeMarker, sizeof kVolumeMarker - 1);
  int result = -1;
  if (ReadVolumeSectors(driveIndex, 0, 1, first, volume) == 0 &&
      ReadVolumeSectors(driveIndex, 1, 1, saved, volume) == 0) {
    // From here on sector 1 may hold the marker (a failed write may have
    // written part of it): it is put back whatever happens.
    if (WriteVolumeSectors(driveIndex, 1, 1, marker, volume) == 0) {
      // Disk numbers may have gaps, and a disk without a medium cannot be
      // read: neither ends the search.
      for (int disk = 0; disk <= 9 && result < 0; ++disk)
        if (DiskHoldsMarker(disk, first, marker)) result = disk;
      CloseDiskHandle();
    }
    bool restored = false;
    for (int attempt = 0; attempt < 3 && !restored; ++attempt)
      restored = WriteVolumeSectors(driveIndex, 1, 1, saved, volume) == 0;
  }
  if (locked) UnlockVolumeForMarker(volume);
  CloseVolume(volume);
  return result;
}
