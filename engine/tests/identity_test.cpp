// Disk identity through the SMART control codes, against a stand-in device
// that answers canned IDENTIFY blocks (Wine has no such driver), and the
// drive-to-disk search by marker on a whole-disk image seen both as a volume
// and as a physical disk.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "disk/device.h"
#include "disk/identity.h"
#include "disk/raw.h"
#include "state.h"
#include "testsupport.h"

namespace {

HANDLE const kSmart = reinterpret_cast<HANDLE>(0x7001);
HANDLE const kVolume = reinterpret_cast<HANDLE>(0x7002);

struct StandIn {
  int platform = kPlatformNt;
  uint8_t deviceMap = 0x0F;
  uint32_t capabilities = 7;
  bool versionFails = false, identifyFails = false;
  std::vector<std::string> opened;
  int askedDrive = -1, driveHead = -1, command = -1, inSize = -1, outSize = -1;
  int closes = 0;
  uint8_t identify[4][512] = {};
} gDev;

void PutText(uint8_t* identify, int firstWord, const std::string& text, int words) {
  std::string t = text;
  t.resize(2 * words, ' ');
  for (int i = 0; i < words; ++i) {
    identify[2 * (firstWord + i)] = static_cast<uint8_t>(t[2 * i + 1]);
    identify[2 * (firstWord + i) + 1] = static_cast<uint8_t>(t[2 * i]);
  }
}

void MakeIdentify(uint8_t* identify, const std::string& model, const std::string& firmware,
                  const std::string& serial, uint32_t lba48, uint32_t lba28) {
  std::memset(identify, 0, 512);
  PutText(identify, 10, serial, 10);
  PutText(identify, 23, firmware, 4);
  PutText(identify, 27, model, 20);
  std::memcpy(identify + 120, &lba28, 4);
  std::memcpy(identify + 200, &lba48, 4);
}

int Platform() { return gDev.platform; }

HANDLE WINAPI FakeCreateFile(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  gDev.opened.push_back(name);
  if (std::strncmp(name, "\\\\.\\PhysicalDrive", 17) == 0 || std::strcmp(name, "\\\\.\\Smartvsd") == 0)
    return kSmart;
  if (std::strcmp(name, "\\\\.\\x:") == 0) return kVolume;
  return INVALID_HANDLE_VALUE;
}

BOOL WINAPI FakeClose(HANDLE) {
  ++gDev.closes;
  return TRUE;
}

BOOL WINAPI FakeIoctl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD got,
                      LPOVERLAPPED) {
  if (h == kVolume && code == IOCTL_STORAGE_GET_DEVICE_NUMBER && outSize == sizeof(STORAGE_DEVICE_NUMBER)) {
    auto* n = static_cast<STORAGE_DEVICE_NUMBER*>(out);
    n->DeviceType = FILE_DEVICE_DISK;
    n->DeviceNumber = 3;
    n->PartitionNumber = 1;
    *got = sizeof *n;
    return TRUE;
  }
  if (h != kSmart) return FALSE;
  if (code == kDfpGetVersion) {
    if (gDev.versionFails || outSize < sizeof(SmartVersion)) return FALSE;
    SmartVersion v = {};
    v.version = 1;
    v.ideDeviceMap = gDev.deviceMap;
    v.capabilities = gDev.capabilities;
    std::memcpy(out, &v, sizeof v);
    *got = sizeof v;
    return TRUE;
  }
  if (code == kDfpReceiveDriveData) {
    const auto* cmd = static_cast<const SmartCommand*>(in);
    gDev.inSize = static_cast<int>(inSize);
    gDev.outSize = static_cast<int>(outSize);
    gDev.askedDrive = cmd->driveNumber;
    gDev.driveHead = cmd->registers.driveHead;
    gDev.command = cmd->registers.command;
    if (gDev.identifyFails || cmd->driveNumber > 3 || outSize < kSmartOutputBytes) return FALSE;
    std::memset(out, 0, outSize);
    std::memcpy(static_cast<uint8_t*>(out) + sizeof(SmartStatus), gDev.identify[cmd->driveNumber], 512);
    *got = kSmartOutputBytes;
    return TRUE;
  }
  return FALSE;
}

class Identity : public ::testing::Test {
 protected:
  void SetUp() override {
    gDev = StandIn();
    MakeIdentify(gDev.identify[0], "ST3500418AS", "CC38", "5VM1ABCD", 976773168, 268435455);
    MakeIdentify(gDev.identify[1], "WDC WD5000AAKX-00ERMA0", "15.01H15", "WD-WCC2EXXXX123", 976773168, 268435455);
    MakeIdentify(gDev.identify[2], "Hitachi HDS721010CLA332", "JP4OA3EA", "JP2940HZ1AAAAC", 1953525168, 268435455);
    MakeIdentify(gDev.identify[3], "OLD DISK", "1.0", "OLD123", 0, 2000000);
    gDeviceCalls.platformKind = Platform;
    gDeviceCalls.createFile = FakeCreateFile;
    gDeviceCalls.deviceIoControl = FakeIoctl;
    gDeviceCalls.closeHandle = FakeClose;
  }
  void TearDown() override { ResetDeviceCalls(); }
};

}  // namespace

TEST_F(Identity, EachDiskAnswersWithItsOwnIdentity) {
  for (int disk = 0; disk < 4; ++disk) {
    gDev.opened.clear();
    ASSERT_NE(GetDiskIdentifyText(disk), nullptr) << disk << ": " << gDiskIdentifyError;
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\PhysicalDrive%d", disk);
    ASSERT_EQ(gDev.opened.size(), 1u);
    EXPECT_EQ(gDev.opened[0], name);
    EXPECT_EQ(gDev.askedDrive, disk) << "the disk's own drive number";
    EXPECT_EQ(gDev.driveHead, disk & 1 ? 0xB0 : 0xA0);
    EXPECT_EQ(gDev.command, 0xEC);
    EXPECT_EQ(gDev.inSize, 32);
    EXPECT_EQ(gDev.outSize, 528);
  }
  EXPECT_EQ(gDev.closes, 4);
}

TEST_F(Identity, TextsAreFormattedFromTheIdentifyBlock) {
  ASSERT_NE(GetDiskIdentifyText(1), nullptr);
  EXPECT_STREQ(gDiskIdentifyText, "WDC WD5000AAKX-00ERMA0 ") << "cut after the first of three spaces";
  EXPECT_EQ(gDiskSectorCount, 976773168u);
  EXPECT_STREQ(gDiskIdentityPieces, "WDC 15.0WD-WCC2EXXXX123     ");
  // A model of 40 characters without three spaces in a row is kept whole.
  MakeIdentify(gDev.identify[2], "A 40 CHARACTER MODEL NAME WITH NO GAPS X", "FW", "S", 5, 0);
  ASSERT_NE(GetDiskIdentifyText(2), nullptr);
  EXPECT_EQ(std::string(gDiskIdentifyText), "A 40 CHARACTER MODEL NAME WITH NO GAPS X");
  // A disk without a 48-bit count gives its 28-bit one.
  ASSERT_NE(GetDiskIdentifyText(3), nullptr);
  EXPECT_EQ(gDiskSectorCount, 2000000u);
}

TEST_F(Identity, AtapiDevicesAndFailuresGiveNoIdentity) {
  gDev.deviceMap = 0x0F | (0x10 << 1);   // drive 1 is an ATAPI device
  EXPECT_EQ(GetDiskIdentifyText(1), nullptr);
  EXPECT_NE(GetDiskIdentifyText(2), nullptr) << "capability bits are not device bits";
  EXPECT_NE(GetDiskIdentifyText(0), nullptr);

  EXPECT_EQ(GetDiskIdentifyText(4), nullptr);
  gDev.capabilities = 6;
  EXPECT_EQ(GetDiskIdentifyText(0), nullptr);
  EXPECT_STREQ(gDiskIdentifyError, "Error: IDE identify command not supported.");
  gDev.capabilities = 7;
  gDev.identifyFails = true;
  EXPECT_EQ(GetDiskIdentifyText(0), nullptr);
  EXPECT_STREQ(gDiskIdentifyError, "DeviceIoControl failed:DFP_RECEIVE_DRIVE_DATA");
  gDev.identifyFails = false;
  gDev.versionFails = true;
  EXPECT_EQ(GetDiskIdentifyText(0), nullptr);
  EXPECT_STREQ(gDiskIdentifyError, "DeviceIoControl failed:DFP_GET_VERSION");
  gDev.platform = kPlatformOther;
  EXPECT_EQ(GetDiskIdentifyText(0), nullptr);
  EXPECT_STREQ(gDiskIdentifyError, "Win32s is not supported by this programm.");
}

TEST_F(Identity, Windows9xJoinsThePiecesThroughTheSmartDriver) {
  gDev.platform = kPlatformWin9x;
  ASSERT_NE(GetDiskIdentifyText(0), nullptr) << gDiskIdentifyError;
  EXPECT_EQ(gDev.opened.back(), "\\\\.\\Smartvsd");
  EXPECT_STREQ(gDiskIdentifyText, "ST35CC385VM1ABCD            ");
  EXPECT_EQ(gDiskSectorCount, 976773168u);
  EXPECT_EQ(gDev.askedDrive, 0);
  gDev.opened.clear();
  gDeviceCalls.createFile = [](LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    return INVALID_HANDLE_VALUE;
  };
  EXPECT_EQ(GetDiskIdentifyText(0), nullptr);
  EXPECT_STREQ(gDiskIdentifyError, "open smartvsd.vxd failed");
}

TEST_F(Identity, TheDeviceNumberQueryNamesTheDiskOfADrive) {
  EXPECT_EQ(GetDiskNumberOfDrive('x'), 3);
  EXPECT_EQ(GetDiskNumberOfDrive('q'), -1);
}

// --- the marker search, on images ------------------------------------------

namespace {

std::vector<uint8_t> VolumeSector(char letter, uint64_t sector) {
  std::vector<uint8_t> s(512);
  EXPECT_EQ(ReadVolumeSectorsByIndex(letter - 'C', sector, 1, s.data()), 0);
  return s;
}

}  // namespace

TEST(MarkerSearch, FindsTheDiskThatHoldsTheVolumeAndPutsSectorOneBack) {
  const std::vector<uint8_t> before = VolumeSector('X', 1);
  EXPECT_EQ(FindDiskNumberByMarker('X'), 1);
  EXPECT_EQ(VolumeSector('X', 1), before);
  std::vector<uint8_t> onDisk(512);
  ASSERT_EQ(ReadDiskSectors("\\\\.\\PHYSICALDRIVE1", 1, 1, onDisk.data()), 0);
  EXPECT_EQ(onDisk, before) << "the disk and the volume are one image";
  EXPECT_EQ(FindDiskNumberByMarker('x'), 1);
}

TEST(MarkerSearch, AVolumeOnNoDiskIsNotFoundAndKeepsSectorOne) {
  const std::vector<uint8_t> before = VolumeSector('Y', 1);
  EXPECT_EQ(FindDiskNumberByMarker('Y'), -1);
  EXPECT_EQ(VolumeSector('Y', 1), before);
  EXPECT_EQ(FindDiskNumberByMarker('Q'), -1) << "no such drive";
}
