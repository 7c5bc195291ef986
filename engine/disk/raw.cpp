#include "disk/raw.h"

#include <winioctl.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "disk/device.h"
#include "state.h"

// --- platform calls --------------------------------------------------------

int RealPlatformKind() {
  OSVERSIONINFOA vi = {};
  vi.dwOSVersionInfoSize = sizeof vi;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&vi)) return kPlatformOther;
#pragma GCC diagnostic pop
  if (vi.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return kPlatformWin9x;
  if (vi.dwPlatformId == VER_PLATFORM_WIN32_NT) return kPlatformNt;
  return kPlatformOther;
}

DeviceCalls gDeviceCalls = {RealPlatformKind, CreateFileA, DeviceIoControl, CloseHandle};

void ResetDeviceCalls() { gDeviceCalls = {RealPlatformKind, CreateFileA, DeviceIoControl, CloseHandle}; }

int GetPlatformKind() { return gDeviceCalls.platformKind(); }

#ifdef _WIN64
namespace {
std::mutex gAddressLock;
std::vector<void*> gAddressSlots;   // token = slot index + 1
}  // namespace

Win9xAddress::Win9xAddress(void* p) {
  std::lock_guard<std::mutex> lock(gAddressLock);
  for (size_t i = 0; i < gAddressSlots.size(); ++i) {
    if (!gAddressSlots[i]) {
      gAddressSlots[i] = p;
      value_ = static_cast<uint32_t>(i + 1);
      return;
    }
  }
  gAddressSlots.push_back(p);
  value_ = static_cast<uint32_t>(gAddressSlots.size());
}

Win9xAddress::~Win9xAddress() {
  std::lock_guard<std::mutex> lock(gAddressLock);
  gAddressSlots[value_ - 1] = nullptr;
}

void* Win9xAddress::Resolve(uint32_t value) {
  std::lock_guard<std::mutex> lock(gAddressLock);
  if (value == 0 || value > gAddressSlots.size()) return nullptr;
  return gAddressSlots[value - 1];
}
#else
Win9xAddress::Win9xAddress(void* p) : value_(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p))) {}
Win9xAddress::~Win9xAddress() = default;
void* Win9xAddress::Resolve(uint32_t value) { return reinterpret_cast<void*>(static_cast<uintptr_t>(value)); }
#endif

namespace {

thread_local DWORD gLastDeviceError = 0;

// Keeps the reason of a failure; a failure the system gave no code for
// still counts as one. Reaching a thread_local may go through TlsGetValue,
// which clears the thread's last error: callers that ask GetLastError after
// a failed call of this layer must still find its code there.
void NoteDeviceError(DWORD error) {
  gLastDeviceError = error ? error : ERROR_GEN_FAILURE;
  SetLastError(error);
}

HANDLE OpenDevice(const char* name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  HANDLE h = gDeviceCalls.createFile(name, access, share, nullptr, disposition, flags, nullptr);
  if (IsValidHandle(h)) return h;
  NoteDeviceError(GetLastError());
  return nullptr;
}

void CloseDevice(HANDLE h) {
  if (IsValidHandle(h)) gDeviceCalls.closeHandle(h);
}

bool SeekTo(HANDLE h, uint64_t sector) {
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(sector * kSectorSize);
  if (sector > (static_cast<uint64_t>(INT64_MAX) / kSectorSize)) {
    NoteDeviceError(ERROR_NEGATIVE_SEEK);
    return false;
  }
  if (SetFilePointerEx(h, pos, nullptr, FILE_BEGIN)) return true;
  NoteDeviceError(GetLastError());
  return false;
}

// Reads or writes count sectors at sector; true only when every byte moved.
bool ReadAt(HANDLE h, uint64_t sector, uint32_t count, void* buffer) {
  if (!SeekTo(h, sector)) return false;
  uint64_t want = static_cast<uint64_t>(count) * kSectorSize;
  if (want > 0xFFFFFFFFull) {
    NoteDeviceError(ERROR_INVALID_PARAMETER);
    return false;
  }
  DWORD got = 0;
  if (!ReadFile(h, buffer, static_cast<DWORD>(want), &got, nullptr)) {
    NoteDeviceError(GetLastError());
    return false;
  }
  if (got == want) return true;
  NoteDeviceError(ERROR_HANDLE_EOF);
  return false;
}

bool WriteAt(HANDLE h, uint64_t sector, uint32_t count, const void* buffer) {
  if (!SeekTo(h, sector)) return false;
  uint64_t want = static_cast<uint64_t>(count) * kSectorSize;
  if (want > 0xFFFFFFFFull) {
    NoteDeviceError(ERROR_INVALID_PARAMETER);
    return false;
  }
  DWORD done = 0;
  if (!WriteFile(h, buffer, static_cast<DWORD>(want), &done, nullptr)) {
    NoteDeviceError(GetLastError());
    return false;
  }
  if (done == want) return true;
  NoteDeviceError(ERROR_HANDLE_EOF);
  return false;
}

uint32_t BiosDriveOfPath(const char* path) {
  size_t n = std::strlen(path);
  return n ? static_cast<uint32_t>(static_cast<unsigned char>(path[n - 1])) + 0x50 : 0;
}

std::mutex gVolumeCacheLock;
char gCachedLetter = static_cast<char>(255);
HANDLE gCachedVolume = nullptr;

}  // namespace

DWORD LastDeviceError() {
  const DWORD kept = GetLastError();
  const DWORD error = gLastDeviceError;
  SetLastError(kept);
  return error;
}

void ClearDeviceError() {
  const DWORD kept = GetLastError();
  gLastDeviceError = 0;
  SetLastError(kept);
}

void MakeDiskPath(int disk, char out[32]) {
  if (disk < 0 || disk > 9) {
    out[0] = 0;
    return;
  }
  std::snprintf(out, 32, "\\\\.\\PHYSICALDRIVE%d", disk);
}

void MakeVolumePath(int driveIndex, char out[8]) {
  std::snprintf(out, 8, "\\\\.\\%c:", 'C' + driveIndex);
}

// --- physical disks -------------------------------------------------------

int OpenDiskHandle(const char* path) {
  switch (GetPlatformKind()) {
    case kPlatformNt: {
      HANDLE h = OpenDevice(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            OPEN_EXISTING, 0);
      if (!h) return -1;
      CloseDiskHandle();
      gDiskHandle = h;
      return 0;
    }
    case kPlatformWin9x:
      return OpenDiskDriver() ? 0 : -1;
    default:
      return -1;
  }
}

void CloseDiskHandle() {
  CloseDevice(gDiskHandle);
  gDiskHandle = INVALID_HANDLE_VALUE;
}

HANDLE OpenSectorTarget(uint32_t target) {
  uint32_t disk = TargetDisk(target), volume = TargetVolume(target);
  if (disk != kTargetUnused && volume != kTargetUnused) {
    NoteDeviceError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (volume != kTargetUnused) return OpenVolume(static_cast<int>(volume));
  char path[32];
  MakeDiskPath(static_cast<int>(disk), path);
  if (!path[0]) {
    NoteDeviceError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  if (OpenDiskHandle(path) != 0) return nullptr;
  return gDiskHandle;
}

int ReadDiskSectors(const char* path, uint64_t sector, uint32_t count, void* buffer) {
  switch (GetPlatformKind()) {
    case kPlatformNt: {
      HANDLE h = OpenDevice(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
      if (!h) return -1;
      int rc = ReadAt(h, sector, count, buffer) ? 0 : -2;
      CloseDevice(h);
      return rc;
    }
    case kPlatformWin9x: {
      if (!OpenDiskDriver()) return -1;
      if (DriverReadSectors(path, sector, count, buffer) == 0) return 0;
      CloseDiskHandle();
      return -1;
    }
    default:
      return -1;
  }
}

int WriteDiskSectors(const char* path, uint64_t sector, uint32_t count, const void* buffer) {
  switch (GetPlatformKind()) {
    case kPlatformNt: {
      HANDLE h = OpenDevice(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
      if (!h) return -1;
      int rc = WriteAt(h, sector, count, buffer) ? 0 : -1;
      CloseDevice(h);
      return rc;
    }
    case kPlatformWin9x:
      return DriverWriteSectors(path, sector, count, buffer);
    default:
      return -1;
  }
}

int ReadOpenDisk(const char* path, uint64_t sector, uint32_t count, void* buffer) {
  switch (GetPlatformKind()) {
    case kPlatformNt:
      if (!IsValidHandle(gDiskHandle)) return -1;
      return ReadAt(gDiskHandle, sector, count, buffer) ? 0 : -1;
    case kPlatformWin9x:
      return DriverReadSectors(path, sector, count, buffer);
    default:
      return -1;
  }
}

int WriteOpenDisk(const char* path, uint64_t sector, uint32_t count, const void* buffer) {
  switch (GetPlatformKind()) {
    case kPlatformNt:
      if (!IsValidHandle(gDiskHandle)) return -1;
      return WriteAt(gDiskHandle, sector, count, buffer) ? 0 : -1;
    case kPlatformWin9x:
      return DriverWriteSectors(path, sector, count, buffer);
    default:
      return -1;
  }
}

int ReadTargetSectors(uint32_t target, uint64_t sector, uint32_t count, void* buffer, HANDLE volumeHandle) {
  uint32_t disk = TargetDisk(target), volume = TargetVolume(target);
  if (disk != kTargetUnused && volume != kTargetUnused) return -4;
  if (volume != kTargetUnused)
    return ReadVolumeSectors(static_cast<int>(volume), sector, count, buffer, volumeHandle);
  char path[32];
  MakeDiskPath(static_cast<int>(disk), path);
  if (!path[0]) return -1;
  return ReadOpenDisk(path, sector, count, buffer);
}

int WriteTargetSectors(uint32_t target, uint64_t sector, uint32_t count, const void* buffer,
                       HANDLE volumeHandle) {
  uint32_t disk = TargetDisk(target), volume = TargetVolume(target);
  if (disk != kTargetUnused && volume != kTargetUnused) return -4;
  if (volume != kTargetUnused)
    return WriteVolumeSectors(static_cast<int>(volume), sector, count, buffer, volumeHandle);
  char path[32];
  MakeDiskPath(static_cast<int>(disk), path);
  if (!path[0]) return -1;
  return WriteOpenDisk(path, sector, count, buffer);
}

uint64_t GetDeviceSectorCount(HANDLE handle) {
  if (!IsValidHandle(handle)) return 0;
  GET_LENGTH_INFORMATION len = {};
  DWORD got = 0;
  if (gDeviceCalls.deviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &len, sizeof len, &got,
                                   nullptr) &&
      len.Length.QuadPart > 0)
    return static_cast<uint64_t>(len.Length.QuadPart) / kSectorSize;
  // Disk images (and some drivers) answer only the file size.
  LARGE_INTEGER size;
  if (GetFileSizeEx(handle, &size) && size.QuadPart > 0) return static_cast<uint64_t>(size.QuadPart) / kSectorSize;
  return 0;
}

// --- logical volumes ----------------------------------------------------

// The family is taken from the version, not from whether "\\.\PHYSICALDRIVE0"
// happens to open: a machine without disk 0 (or a user without the right to
// open it) is still NT.
HANDLE OpenVolume(int driveIndex) {
  switch (GetPlatformKind()) {
    case kPlatformNt: {
      if (driveIndex < 0 || driveIndex > 23) {
        NoteDeviceError(ERROR_INVALID_DRIVE);
        return nullptr;
      }
      char name[8];
      MakeVolumePath(driveIndex, name);
      return OpenDevice(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                        0);
    }
    case kPlatformWin9x:
      return OpenDevice("\\\\.\\vwin32", 0, 0, 0, FILE_FLAG_DELETE_ON_CLOSE);
    default:
      return nullptr;
  }
}

void CloseVolume(HANDLE handle) { CloseDevice(handle); }

namespace {

// One Int 21h 7305h transfer through vwin32; 0 or -1.
int Vwin32Transfer(HANDLE vwin32, int driveIndex, uint64_t sector, uint32_t count, void* buffer, bool write,
                   bool checkEax) {
  if (!IsValidHandle(vwin32) || sector > 0xFFFFFFFFull || count > 0xFFFF) return -1;
  Win9xAddress data(buffer);
  Win9xDiskIoPacket packet = {static_cast<uint32_t>(sector), static_cast<uint16_t>(count), data.value()};
  Win9xAddress packetAddress(&packet);
  Win9xRegisters regs = {};
  regs.ebx = packetAddress.value();
  regs.edx = static_cast<uint32_t>(driveIndex + 3);
  regs.ecx = 0xFFFFFFFF;
  regs.eax = 0x7305;
  regs.esi = write ? 1 : 0;
  DWORD got = 0;
  if (!gDeviceCalls.deviceIoControl(vwin32, kVwin32DiocDosDriveInfo, &regs, sizeof regs, &regs, sizeof regs, &got,
                                    nullptr))
    return -1;
  if (checkEax && (regs.eax != 0x7305 || (regs.flags & 1))) return -1;
  return 0;
}

bool Vwin32Lock(int dosDrive, HANDLE handle, bool lock) {
  if (!IsValidHandle(handle)) return false;
  Win9xRegisters regs = {};
  regs.eax = 0x440D;
  if (lock) {
    regs.ecx = 0x084A;
    regs.ebx = static_cast<uint32_t>(dosDrive) | 0x100;
    regs.edx = 0;
  } else {
    regs.ecx = 0x086A;
    regs.ebx = static_cast<uint32_t>(dosDrive);
  }
  DWORD got = 0;
  if (!gDeviceCalls.deviceIoControl(handle, kVwin32DiocDosIoctl, &regs, sizeof regs, &regs, sizeof regs, &got,
                                    nullptr))
    return false;
  return (regs.flags & 1) == 0;
}

}  // namespace

bool LockVolume9x(int dosDrive, HANDLE handle) { return Vwin32Lock(dosDrive, handle, true); }
bool UnlockVolume9x(int dosDrive, HANDLE handle) { return Vwin32Lock(dosDrive, handle, false); }

int ReadVolumeSectors(int driveIndex, uint64_t sector, uint32_t count, void* buffer, HANDLE handle) {
  switch (GetPlatformKind()) {
    case kPlatformWin9x:
      return Vwin32Transfer(handle, driveIndex, sector, count, buffer, false, true);
    case kPlatformNt:
      if (!IsValidHandle(handle)) return -1;
      return ReadAt(handle, sector, count, buffer) ? 0 : -2;
    default:
      return -1;
  }
}

int WriteVolumeSectors(int driveIndex, uint64_t sector, uint32_t count, const void* buffer, HANDLE handle) {
  switch (GetPlatformKind()) {
    case kPlatformWin9x: {
      int dosDrive = driveIndex + 3;
      if (!LockVolume9x(dosDrive, handle)) return -2;
      int rc = Vwin32Transfer(handle, driveIndex, sector, count, const_cast<void*>(buffer), true, true);
      UnlockVolume9x(dosDrive, handle);
      return rc;
    }
    case kPlatformNt:
      if (!IsValidHandle(handle)) return -1;
      return WriteAt(handle, sector, count, buffer) ? 0 : -2;
    default:
      return -1;
  }
}

int ReadVolumeSectorsByIndex(int driveIndex, uint64_t sector, uint32_t count, void* buffer) {
  switch (GetPlatformKind()) {
    case kPlatformNt: {
      if (driveIndex < 0 || driveIndex > 23) {
        NoteDeviceError(ERROR_INVALID_DRIVE);
        return -1;
      }
      char name[8];
      MakeVolumePath(driveIndex, name);
      HANDLE h = OpenDevice(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            OPEN_EXISTING, 0);
      if (!h) return -1;
      int rc = ReadAt(h, sector, count, buffer) ? 0 : -2;
      CloseDevice(h);
      return rc;
    }
    case kPlatformWin9x: {
      HANDLE h = OpenDevice("\\\\.\\vwin32", 0, 0, 0, FILE_FLAG_DELETE_ON_CLOSE);
      if (!h) return -1;
      int rc = Vwin32Transfer(h, driveIndex, sector, count, buffer, false, false);
      CloseDevice(h);
      return rc;
    }
    default:
      return -1;
  }
}

HANDLE GetCachedVolumeHandle(const char* driveText, int* outIndex) {
  char letter = driveText && driveText[0] ? static_cast<char>(std::tolower(static_cast<unsigned char>(driveText[0])))
                                          : 0;
  if (outIndex) *outIndex = letter - 'c';
  std::lock_guard<std::mutex> lock(gVolumeCacheLock);
  if (letter == gCachedLetter && gCachedVolume) return gCachedVolume;
  HANDLE h = letter >= 'c' && letter <= 'z' ? OpenVolume(letter - 'c') : nullptr;
  if (!h) return nullptr;
  CloseDevice(gCachedVolume);
  gCachedLetter = letter;
  gCachedVolume = h;
  return h;
}

void ResetCachedVolumeHandle() {
  std::lock_guard<std::mutex> lock(gVolumeCacheLock);
  CloseDevice(gCachedVolume);
  gCachedVolume = nullptr;
  gCachedLetter = static_cast<char>(255);
}

// --- Windows 9x disk driver ---------------------------------------------

HANDLE OpenDiskDriver() {
  static const char kDriver[] = "\\\\.\\BRNWHD.VXD";
  const DWORD flags = FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OVERLAPPED;
  HANDLE h = OpenDevice(kDriver, 0, 0, 0, flags);
  if (!h) {
    // The driver may lie beside the program rather than in the system folder.
    char previous[MAX_PATH], module[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof previous, previous);
    DWORD m = GetModuleFileNameA(nullptr, module, sizeof module);
    if (n && n < sizeof previous && m && m < sizeof module) {
      char* slash = std::strrchr(module, '\\');
      if (slash) *slash = 0;
      if (SetCurrentDirectoryA(module)) {
        h = OpenDevice(kDriver, 0, 0, 0, flags);
        SetCurrentDirectoryA(previous);
      }
    }
  }
  if (!h) return nullptr;
  CloseDiskHandle();
  gDiskHandle = h;
  return h;
}

int DriverGetGeometry(uint32_t biosDrive, uint32_t* highestHead, uint32_t* sectorsPerTrack) {
  if (!IsValidHandle(gDiskHandle)) return -1;
  DriverGeometryBlock block = {biosDrive, 0, 0, 0};
  int32_t status = 0;
  DWORD got = 0;
  if (!gDeviceCalls.deviceIoControl(gDiskHandle, kDriverGetGeometry, &block, sizeof block, &status, sizeof status,
                                    &got, nullptr) ||
      status <= 0)
    return -1;
  if (highestHead) *highestHead = block.highestHead;
  if (sectorsPerTrack) *sectorsPerTrack = block.sectorsPerTrack;
  return 0;
}

int DriverTransfer(uint32_t direction, uint32_t biosDrive, uint32_t head, uint32_t cylinder, uint32_t sectorInTrack,
                   uint32_t count, void* data, uint32_t* status) {
  if (!IsValidHandle(gDiskHandle) || biosDrive < 128 || count == 0 || count > 0x10000) return -1;
  std::vector<uint8_t> block(sizeof(DriverTransferHeader) + static_cast<size_t>(count) * kSectorSize);
  uint8_t* payload = block.data() + sizeof(DriverTransferHeader);
  Win9xAddress payloadAddress(payload);
  DriverTransferHeader header = {direction, biosDrive, head, cylinder, sectorInTrack, count, payloadAddress.value()};
  std::memcpy(block.data(), &header, sizeof header);
  if (direction == 0) std::memcpy(payload, data, static_cast<size_t>(count) * kSectorSize);
  int32_t result = 0;
  DWORD got = 0;
  // The whole block goes in: header and data.
  BOOL ok = gDeviceCalls.deviceIoControl(gDiskHandle, kDriverTransfer, block.data(),
                                         static_cast<DWORD>(block.size()), &result, sizeof result, &got, nullptr);
  if (status) *status = static_cast<uint32_t>(result);
  if (!ok || result <= 0) return -1;
  if (direction == 1) std::memcpy(data, payload, static_cast<size_t>(count) * kSectorSize);
  return 0;
}

Chs LbaToChs(uint64_t lba, uint32_t heads, uint32_t sectorsPerTrack) {
  if (heads == 0 || sectorsPerTrack == 0) {
    heads = 255;
    sectorsPerTrack = 63;
  }
  uint64_t perCylinder = static_cast<uint64_t>(heads) * sectorsPerTrack;
  Chs chs;
  chs.cylinder = static_cast<uint32_t>(lba / perCylinder);
  chs.head = static_cast<uint32_t>((lba % perCylinder) / sectorsPerTrack);
  chs.sector = static_cast<uint32_t>(lba % sectorsPerTrack) + 1;
  return chs;
}

namespace {
int DriverMove(const char* path, uint64_t sector, uint32_t count, void* buffer, uint32_t direction) {
  uint32_t bios = BiosDriveOfPath(path);
  uint32_t highestHead = 0, spt = 0, heads = 255;
  if (DriverGetGeometry(bios, &highestHead, &spt) == 0 && spt != 0) {
    heads = highestHead + 1;
  } else {
    spt = 63;
  }
  Chs chs = LbaToChs(sector, heads, spt);
  uint32_t status = 0;
  return DriverTransfer(direction, bios, chs.head, chs.cylinder, chs.sector, count, buffer, &status);
}
}  // namespace

int DriverReadSectors(const char* path, uint64_t sector, uint32_t count, void* buffer) {
  if (!IsValidHandle(gDiskHandle)) return -1;
  return DriverMove(path, sector, count, buffer, 1);
}

int DriverWriteSectors(const char* path, uint64_t sector, uint32_t count, const void* buffer) {
  if (!OpenDiskDriver()) return -1;
  int rc = DriverMove(path, sector, count, const_cast<void*>(buffer), 0);
  CloseDiskHandle();
  return rc;
}
