// The Windows 9x roads of the signature scan, against a stand-in for the disk
// driver and the vwin32 device that serves the bytes of a fixture image: the
// size of a disk found by read probes (exact, not a multiple of the step),
// a volume's size from its boot sector, and a volume whose size cannot be
// told read until reading fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "deepscan/deepscan.h"
#include "deepscan_test_util.h"
#include "disk/device.h"
#include "disk/raw.h"

namespace {

HANDLE const kVwin32 = reinterpret_cast<HANDLE>(0x9101);
HANDLE const kDriver = reinterpret_cast<HANDLE>(0x9102);

struct Device {
  std::string bytes;      // the disk, and the volume
  uint64_t sectors = 0;   // its size: zeros past the bytes
  int reads = 0;
} gDevice;

int Win9x() { return kPlatformWin9x; }

HANDLE WINAPI StandInCreateFile(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  if (std::strcmp(name, "\\\\.\\vwin32") == 0) return kVwin32;
  if (std::strcmp(name, "\\\\.\\BRNWHD.VXD") == 0) return kDriver;
  return INVALID_HANDLE_VALUE;   // no SMART driver: no identify data
}

BOOL WINAPI StandInClose(HANDLE h) { return h == kVwin32 || h == kDriver; }

bool Serve(uint64_t sector, uint32_t count, void* data) {
  ++gDevice.reads;
  if (sector + count > gDevice.sectors) return false;
  uint64_t off = sector * 512, n = count * 512ull;
  std::memset(data, 0, static_cast<size_t>(n));
  if (off < gDevice.bytes.size())
    std::memcpy(data, gDevice.bytes.data() + off, static_cast<size_t>(std::min<uint64_t>(n, gDevice.bytes.size() - off)));
  return true;
}

BOOL WINAPI StandInIoctl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD got,
                         LPOVERLAPPED) {
  if (h == kVwin32 && code == kVwin32DiocDosDriveInfo && inSize == sizeof(Win9xRegisters)) {
    auto* regs = static_cast<Win9xRegisters*>(out);
    std::memcpy(regs, in, sizeof *regs);
    *got = sizeof *regs;
    auto* packet = static_cast<Win9xDiskIoPacket*>(Win9xAddress::Resolve(regs->ebx));
    if (!packet || !Serve(packet->firstSector, packet->count, Win9xAddress::Resolve(packet->buffer))) {
      regs->flags |= 1;
      regs->eax = 0x0B;
    }
    return TRUE;
  }
  if (h == kDriver && outSize == 4) {
    int32_t* status = static_cast<int32_t*>(out);
    *got = 4;
    if (code == kDriverGetGeometry) {
      auto* g = static_cast<DriverGeometryBlock*>(in);
      g->highestHead = 15;
      g->sectorsPerTrack = 63;
      *status = 1;
      return TRUE;
    }
    if (code == kDriverTransfer) {
      auto* hd = static_cast<DriverTransferHeader*>(in);
      uint64_t lba = (static_cast<uint64_t>(hd->cylinder) * 16 + hd->head) * 63 + hd->sector - 1;
      *status = Serve(lba, hd->count, Win9xAddress::Resolve(hd->data)) ? 1 : -1;
      return TRUE;
    }
  }
  return FALSE;
}

class DeepScan9x : public ::testing::Test {
 protected:
  void SetUp() override {
    gDevice = Device();
    gDevice.bytes = deeptest::ImageBytes(testsupport::FixtureImage("deepscan-single"), 0, 4096 * 512);
    ASSERT_EQ(gDevice.bytes.size(), 4096u * 512);
    gDevice.sectors = 4096;
    gDeviceCalls = {Win9x, StandInCreateFile, StandInIoctl, StandInClose};
  }
  void TearDown() override {
    CloseDiskHandle();
    ResetDeviceCalls();
  }
};

}  // namespace

TEST_F(DeepScan9x, ADisksSizeIsProbedExactly) {
  EXPECT_EQ(GetTargetSectorCount(MakeDiskTarget(1)), 4096u);
  gDevice.sectors = 25000;
  EXPECT_EQ(GetTargetSectorCount(MakeDiskTarget(1)), 25000u) << "between two steps of 19,531";
  gDevice.reads = 0;
  gDevice.sectors = 2000000;
  EXPECT_EQ(GetTargetSectorCount(MakeDiskTarget(1)), 2000000u);
  EXPECT_LT(gDevice.reads, 40) << "coarse steps, then halving";
  gDevice.sectors = 0;
  EXPECT_EQ(GetTargetSectorCount(MakeDiskTarget(1)), 0u);
}

TEST_F(DeepScan9x, TheScanReadsADiskThroughTheDriver) {
  std::vector<deeptest::Hit> truth = deeptest::ReadHits("deepscan-single");
  ASSERT_EQ(truth.size(), 1u);
  ASSERT_EQ(RawSignatureScan(MakeDiskTarget(1)), kDeepScanDone);
  ASSERT_EQ(gFoundFiles.size(), 1u);
  EXPECT_EQ(gFoundFiles[0].firstSector, truth[0].first);
  EXPECT_EQ(gFoundFiles[0].lastSector, truth[0].first + truth[0].Sectors() - 1);
}

TEST_F(DeepScan9x, AVolumesSizeComesFromItsBootSectorOrFromWhereReadingEnds) {
  std::vector<deeptest::Hit> truth = deeptest::ReadHits("deepscan-single");
  // A small FAT16 boot sector: its total in the 16-bit field.
  std::string boot(512, '\0');
  std::memcpy(&boot[0x36], "FAT16   ", 8);
  boot[0x13] = static_cast<char>(3000 & 0xFF);
  boot[0x14] = static_cast<char>(3000 >> 8);
  gDevice.bytes.replace(0, 512, boot);
  EXPECT_EQ(GetTargetSectorCount(MakeVolumeTarget(3)), 3000u);
  ASSERT_EQ(RawSignatureScan(MakeVolumeTarget(3)), kDeepScanDone);
  ASSERT_EQ(gFoundFiles.size(), 1u);
  EXPECT_EQ(gFoundFiles[0].firstSector, truth[0].first);

  // No file system: the size is unknown, and the scan reads on until the
  // device answers no more.
  gDevice.bytes.replace(0, 512, std::string(512, '\0'));
  EXPECT_EQ(GetTargetSectorCount(MakeVolumeTarget(3)), 0u);
  ASSERT_EQ(RawSignatureScan(MakeVolumeTarget(3)), kDeepScanDone);
  ASSERT_EQ(gFoundFiles.size(), 1u);
  EXPECT_EQ(gFoundFiles[0].lastSector, truth[0].first + truth[0].Sectors() - 1);
}
