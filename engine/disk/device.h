// The platform calls the raw layer makes, replaceable by tests: the Windows 9x
// devices (vwin32, the disk driver, the SMART VxD) cannot exist under Wine, so
// their roads are tested against a stand-in device.
#pragma once

#include <windows.h>

#include <cstdint>

struct DeviceCalls {
  int (*platformKind)();
  HANDLE(WINAPI* createFile)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
  BOOL(WINAPI* deviceIoControl)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* closeHandle)(HANDLE);
};
extern DeviceCalls gDeviceCalls;
void ResetDeviceCalls();
int RealPlatformKind();

inline bool IsValidHandle(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

// vwin32 control codes.
constexpr DWORD kVwin32DiocDosIoctl = 1;       // Int 21h 440Dh (lock / unlock)
constexpr DWORD kVwin32DiocDosDriveInfo = 6;   // Int 21h 7305h (absolute disk read / write)
// Disk driver control codes.
constexpr DWORD kDriverGetGeometry = 3;
constexpr DWORD kDriverTransfer = 4;

#pragma pack(push, 1)
struct Win9xDiskIoPacket {   // Int 21h 7305h transfer packet
  uint32_t firstSector;
  uint16_t count;
  uint32_t buffer;           // 32-bit address (see Win9xAddress)
};
struct Win9xRegisters {      // register block passed to vwin32
  uint32_t ebx, edx, ecx, eax, edi, esi, flags;
};
struct DriverTransferHeader {  // followed by count x 512 data bytes
  uint32_t direction;          // 1 read, 0 write
  uint32_t biosDrive;          // 0x80 + disk number
  uint32_t head, cylinder, sector, count;
  uint32_t data;               // 32-bit address of the data that follows
};
struct DriverGeometryBlock {
  uint32_t biosDrive, unused, highestHead, sectorsPerTrack;
};
#pragma pack(pop)
static_assert(sizeof(Win9xDiskIoPacket) == 10, "7305h packet is 10 bytes");
static_assert(sizeof(Win9xRegisters) == 28, "register block is seven u32");
static_assert(sizeof(DriverTransferHeader) == 28, "driver block header is seven u32");
static_assert(sizeof(DriverGeometryBlock) == 16, "geometry block is four u32");

// The 9x blocks carry 32-bit addresses. On the 32-bit product that is the
// pointer itself; the 64-bit build (which only ever meets the stand-in)
// registers the pointer and hands out a small token instead, so a pointer is
// never cut to 32 bits.
class Win9xAddress {
 public:
  explicit Win9xAddress(void* p);
  ~Win9xAddress();
  Win9xAddress(const Win9xAddress&) = delete;
  Win9xAddress& operator=(const Win9xAddress&) = delete;
  uint32_t value() const { return value_; }
  static void* Resolve(uint32_t value);   // for the stand-in device

 private:
  uint32_t value_;
};
