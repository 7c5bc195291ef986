// The Windows 9x roads of the raw layer cannot run under Wine; they are tested
// against a stand-in for the vwin32 device and the disk driver that serves an
// in-memory volume and disk.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "disk/device.h"
#include "disk/raw.h"
#include "state.h"

namespace {

HANDLE const kVwin32 = reinterpret_cast<HANDLE>(0x9001);
HANDLE const kDriver = reinterpret_cast<HANDLE>(0x9002);

struct StandIn {
  std::vector<uint8_t> volume = std::vector<uint8_t>(256 * 512);
  std::vector<uint8_t> disk = std::vector<uint8_t>(64 * 1024 * 512 / 16);
  uint32_t highestHead = 15, sectorsPerTrack = 17;   // odd geometry, so CHS mistakes show
  bool lockFails = false, geometryFails = false, driverPresent = true;
  int locks = 0, unlocks = 0, opens = 0, closes = 0;
  uint32_t lastDosDrive = 0;
  std::vector<std::string> opened;
} gDev;

int Win9x() { return kPlatformWin9x; }

HANDLE WINAPI FakeCreateFile(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  gDev.opened.push_back(name);
  if (std::strcmp(name, "\\\\.\\vwin32") == 0) return ++gDev.opens, kVwin32;
  if (std::strcmp(name, "\\\\.\\BRNWHD.VXD") == 0 && gDev.driverPresent) return ++gDev.opens, kDriver;
  return INVALID_HANDLE_VALUE;
}

BOOL WINAPI FakeClose(HANDLE h) {
  ++gDev.closes;
  return h == kVwin32 || h == kDriver;
}

BOOL WINAPI FakeIoctl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD got,
                      LPOVERLAPPED) {
  if (h == kVwin32) {
    if (inSize != sizeof(Win9xRegisters) || outSize != sizeof(Win9xRegisters)) return FALSE;
    auto* regs = static_cast<Win9xRegisters*>(out);
    std::memcpy(regs, in, sizeof *regs);
    *got = sizeof *regs;
    if (code == kVwin32DiocDosIoctl) {
      if (regs->eax != 0x440D) return FALSE;
      if (regs->ecx == 0x084A) {
        ++gDev.locks;
        if (gDev.lockFails) regs->flags |= 1;
      } else if (regs->ecx == 0x086A) {
        ++gDev.unlocks;
      }
      return TRUE;
    }
    if (code == kVwin32DiocDosDriveInfo) {
      auto* packet = static_cast<Win9xDiskIoPacket*>(Win9xAddress::Resolve(regs->ebx));
      if (!packet || regs->eax != 0x7305 || regs->ecx != 0xFFFFFFFF) return FALSE;
      gDev.lastDosDrive = regs->edx;
      auto* data = static_cast<uint8_t*>(Win9xAddress::Resolve(packet->buffer));
      size_t off = static_cast<size_t>(packet->firstSector) * 512, n = packet->count * 512u;
      if (!data || off + n > gDev.volume.size()) {
        regs->flags |= 1;
        regs->eax = 0x0B;
        return TRUE;
      }
      if (regs->esi == 1)
        std::memcpy(&gDev.volume[off], data, n);
      else
        std::memcpy(data, &gDev.volume[off], n);
      return TRUE;
    }
    return FALSE;
  }
  if (h == kDriver) {
    int32_t* status = static_cast<int32_t*>(out);
    if (outSize != 4) return FALSE;
    *got = 4;
    if (code == kDriverGetGeometry) {
      auto* g = static_cast<DriverGeometryBlock*>(in);
      if (gDev.geometryFails || g->biosDrive < 0x80) {
        *status = 0;
        return TRUE;
      }
      g->highestHead = gDev.highestHead;
      g->sectorsPerTrack = gDev.sectorsPerTrack;
      *status = 1;
      return TRUE;
    }
    if (code == kDriverTransfer) {
      auto* hd = static_cast<DriverTransferHeader*>(in);
      if (inSize != sizeof *hd + hd->count * 512u || hd->biosDrive != 0x81) return FALSE;
      uint32_t heads = gDev.geometryFails ? 255 : gDev.highestHead + 1;
      uint32_t spt = gDev.geometryFails ? 63 : gDev.sectorsPerTrack;
      uint64_t lba = (static_cast<uint64_t>(hd->cylinder) * heads + hd->head) * spt + hd->sector - 1;
      size_t off = static_cast<size_t>(lba) * 512, n = hd->count * 512u;
      auto* data = static_cast<uint8_t*>(Win9xAddress::Resolve(hd->data));
      if (data != reinterpret_cast<uint8_t*>(hd + 1) || off + n > gDev.disk.size()) {
        *status = -1;
        return TRUE;
      }
      if (hd->direction == 1)
        std::memcpy(data, &gDev.disk[off], n);
      else
        std::memcpy(&gDev.disk[off], data, n);
      *status = 1;
      return TRUE;
    }
  }
  return FALSE;
}

class Raw9x : public ::testing::Test {
 protected:
  void SetUp() override {
    gDev = StandIn();
    for (size_t i = 0; i < gDev.volume.size(); ++i) gDev.volume[i] = static_cast<uint8_t>(i / 512 + i);
    for (size_t i = 0; i < gDev.disk.size(); ++i) gDev.disk[i] = static_cast<uint8_t>(i / 512 * 3 + i);
    gDeviceCalls = {Win9x, FakeCreateFile, FakeIoctl, FakeClose};
  }
  void TearDown() override {
    CloseDiskHandle();
    ResetDeviceCalls();
  }
};

}  // namespace

TEST_F(Raw9x, VolumeReadThroughVwin32) {
  HANDLE h = OpenVolume(2);   // E:
  ASSERT_EQ(h, kVwin32);
  std::vector<uint8_t> buf(3 * 512);
  ASSERT_EQ(ReadVolumeSectors(2, 10, 3, buf.data(), h), 0);
  EXPECT_EQ(gDev.lastDosDrive, 5u) << "E: is DOS drive 5";
  EXPECT_EQ(0, std::memcmp(buf.data(), &gDev.volume[10 * 512], buf.size()));
  EXPECT_EQ(ReadVolumeSectors(2, 255, 2, buf.data(), h), -1) << "device error (carry) is a failure";
  ASSERT_EQ(ReadVolumeSectorsByIndex(0, 1, 1, buf.data()), 0);
  EXPECT_EQ(gDev.lastDosDrive, 3u);
  EXPECT_EQ(0, std::memcmp(buf.data(), &gDev.volume[512], 512));
  EXPECT_EQ(gDev.opens, gDev.closes + 1) << "by-index read closes its own handle";
}

TEST_F(Raw9x, VolumeWriteLocksAndUnlocks) {
  HANDLE h = OpenVolume(0);
  std::vector<uint8_t> buf(512, 0x5A);
  ASSERT_EQ(WriteVolumeSectors(0, 7, 1, buf.data(), h), 0);
  EXPECT_EQ(gDev.volume[7 * 512], 0x5A);
  EXPECT_EQ(gDev.locks, 1);
  EXPECT_EQ(gDev.unlocks, 1);

  gDev.lockFails = true;
  std::vector<uint8_t> other(512, 0x11);
  EXPECT_EQ(WriteVolumeSectors(0, 8, 1, other.data(), h), -2);
  EXPECT_NE(gDev.volume[8 * 512], 0x11) << "nothing written without the lock";
}

TEST_F(Raw9x, DiskThroughTheDriverUsesItsGeometry) {
  std::vector<uint8_t> buf(2 * 512);
  for (uint64_t lba : {0ull, 16ull, 17ull, 300ull, 1000ull}) {
    ASSERT_EQ(ReadDiskSectors("\\\\.\\PHYSICALDRIVE1", lba, 2, buf.data()), 0) << lba;
    EXPECT_EQ(0, std::memcmp(buf.data(), &gDev.disk[lba * 512], buf.size())) << lba;
  }
  std::vector<uint8_t> out(512, 0xC3);
  ASSERT_EQ(WriteDiskSectors("\\\\.\\PHYSICALDRIVE1", 555, 1, out.data()), 0);
  EXPECT_EQ(gDev.disk[555 * 512], 0xC3);
  EXPECT_EQ(gDiskHandle, INVALID_HANDLE_VALUE) << "the write closes the driver it opened";

  gDev.geometryFails = true;   // falls back to 255 x 63
  ASSERT_EQ(ReadDiskSectors("\\\\.\\PHYSICALDRIVE1", 1000, 1, buf.data()), 0);
  EXPECT_EQ(0, std::memcmp(buf.data(), &gDev.disk[1000 * 512], 512));
}

TEST_F(Raw9x, MissingDriverIsAFailure) {
  gDev.driverPresent = false;
  std::vector<uint8_t> buf(512);
  EXPECT_EQ(ReadDiskSectors("\\\\.\\PHYSICALDRIVE1", 0, 1, buf.data()), -1);
  EXPECT_EQ(OpenDiskHandle("\\\\.\\PHYSICALDRIVE1"), -1);
  EXPECT_EQ(gDiskHandle, INVALID_HANDLE_VALUE);
}

TEST(RawPlatform, OtherPlatformsFail) {
  gDeviceCalls.platformKind = [] { return static_cast<int>(kPlatformOther); };
  std::vector<uint8_t> buf(512);
  EXPECT_EQ(ReadVolumeSectors(0, 0, 1, buf.data(), reinterpret_cast<HANDLE>(1)), -1);
  EXPECT_EQ(ReadVolumeSectorsByIndex(0, 0, 1, buf.data()), -1);
  EXPECT_EQ(OpenVolume(0), nullptr);
  EXPECT_EQ(OpenDiskHandle("\\\\.\\PHYSICALDRIVE0"), -1);
  ResetDeviceCalls();
  EXPECT_EQ(GetPlatformKind(), kPlatformNt);
}

TEST(RawChs, StandardConversion) {
  Chs c = LbaToChs(0, 255, 63);
  EXPECT_EQ(c.cylinder, 0u);
  EXPECT_EQ(c.head, 0u);
  EXPECT_EQ(c.sector, 1u);
  c = LbaToChs(16065 + 63 + 5, 255, 63);
  EXPECT_EQ(c.cylinder, 1u);
  EXPECT_EQ(c.head, 1u);
  EXPECT_EQ(c.sector, 6u);
  c = LbaToChs(100, 0, 0);   // unknown geometry: 255 x 63
  EXPECT_EQ(c.head, 1u);
  EXPECT_EQ(c.sector, 38u);
}
