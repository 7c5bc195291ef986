// The deleted-file scan's entry: file system from the boot sector, the end
// message, and the recycle-bin mode that stays silent.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "messages.h"
#include "state.h"
#include "volume/boot.h"
#include "volume/delscan.h"
#include "winsupport.h"

namespace {

std::vector<UINT> gReceived;

LRESULT CALLBACK RecordProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m >= WM_USER) gReceived.push_back(m);
  return DefWindowProcA(h, m, w, l);
}

// Runs the scan on a worker, as the page does, pumping messages meanwhile.
int Scan(const char* target, int recycle = 0) {
  static HWND window = testsupport::MessageWindow("DelScanReceiver", RecordProc);
  gReceived.clear();
  DeletedScanRequest req = {};
  req.window = window;
  std::strncpy(req.target, target, sizeof req.target - 1);
  req.recycleBin = recycle;
  int result = 0;
  testsupport::RunPumping([&] { result = RunDeletedFileScan(req); });
  return result;
}

}  // namespace

TEST(DeletedScanEntry, RecognisesEachFileSystemFromItsBootSector) {
  struct Case {
    const char* target;
    uint8_t kind;
  } cases[] = {{"E:\\", 2}, {"F:\\", 2}, {"G:\\", 1}, {"H:\\", 0}};   // FAT12, FAT16, FAT32, NTFS
  for (const Case& c : cases) {
    gDelScanDone = 0;
    gDelScanFsKind = 99;
    EXPECT_EQ(Scan(c.target), 0) << c.target;
    EXPECT_EQ(gDelScanFsKind, c.kind) << c.target;
    EXPECT_EQ(gDelScanDriveIndex, c.target[0] - 'C');
    EXPECT_EQ(gDelScanDone.load(), 1u);
    ASSERT_FALSE(gReceived.empty());
    EXPECT_EQ(gReceived.back(), static_cast<UINT>(WM_DELSCAN_DONE));
    EXPECT_STREQ(gScanTarget, c.target);
  }
}

TEST(DeletedScanEntry, UnusableTargetsEndCleanlyWithTheDoneMessage) {
  EXPECT_EQ(Scan(""), -1);
  EXPECT_EQ(gReceived.size(), 1u);

  EXPECT_EQ(Scan("I:\\"), -1) << "garbage boot sector";
  EXPECT_EQ(gReceived.size(), 1u);

  gDelScanFsKind = 0;
  EXPECT_EQ(Scan("Q:\\"), -1) << "drive that does not exist";
  EXPECT_EQ(gDelScanFsKind, 2);
  EXPECT_EQ(gReceived.size(), 1u);

  EXPECT_EQ(Scan("q:\\"), -1) << "lower-case letter names no drive index";
}

TEST(DeletedScanEntry, RecycleBinModeSendsNoDoneMessage) {
  gDelScanDone = 0;
  EXPECT_EQ(Scan("G:\\RECYCLER", 1), 0);
  EXPECT_TRUE(gReceived.empty() || gReceived.back() != static_cast<UINT>(WM_DELSCAN_DONE));
  EXPECT_EQ(gDelScanDone.load(), 1u);
}

TEST(BootSector, SignaturesAreTestedInOrder) {
  uint8_t s[512] = {};
  EXPECT_EQ(ClassifyBootSector(s), BootKind::Unknown);
  std::memcpy(s + 3, "NTFS    ", 8);
  EXPECT_EQ(ClassifyBootSector(s), BootKind::Ntfs);
  std::memcpy(s + 0x52, "FAT32   ", 8);
  EXPECT_EQ(ClassifyBootSector(s), BootKind::Fat32);
  std::memcpy(s + 0x36, "FAT12   ", 8);
  EXPECT_EQ(ClassifyBootSector(s), BootKind::Fat16);
}
