// The deleted-file scan's entry: file system from the boot sector, the end
// message, and the recycle-bin mode that stays silent.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "deleted/delscan.h"
#include "messages.h"
#include "source_report.h"
#include "state.h"
#include "volume/boot.h"
#include "winsupport.h"

namespace {

std::vector<UINT> gReceived;

LRESULT CALLBACK RecordProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m >= WM_USER) gReceived.push_back(m);
  return DefWindowProcA(h, m, w, l);
}

// Runs the scan on a worker, as the page does, pumping messages meanwhile.
int Scan(const char* target, int recycle = 0, SourceReport* report = nullptr) {
  static HWND window = testsupport::MessageWindow("DelScanReceiver", RecordProc);
  gReceived.clear();
  DeletedScanRequest req = {};
  req.window = window;
  std::strncpy(req.target, target, sizeof req.target - 1);
  req.recycleBin = recycle;
  int result = 0;
  testsupport::RunPumping([&] { result = RunDeletedFileScan(req, report); });
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

TEST(DeletedScanEntry, ASourceThatCannotBeReadIsNeverNothingFound) {
  struct Case {
    const char* target;
    SourceState state;
    Unsupported reason;
    uint32_t value;
  } cases[] = {
      {"Q:\\", SourceState::kCannotOpen, Unsupported::kNone, 0},            // no such drive
      {"U:\\", SourceState::kCannotRead, Unsupported::kNone, 0},            // opens, reads nothing
      {"I:\\", SourceState::kUnsupported, Unsupported::kUnknownFileSystem, 0},
      {"K:\\", SourceState::kUnsupported, Unsupported::kOtherRecordSize, 4096},   // NTFS, 4 KB records
      {"S:\\", SourceState::kUnsupported, Unsupported::kOtherSectorSize, 4096},   // FAT, 4 KB sectors
      {"H:\\", SourceState::kScanned, Unsupported::kNone, 0},
      {"G:\\No such folder", SourceState::kScanned, Unsupported::kNone, 0},  // scanned: nothing there
  };
  for (const Case& c : cases) {
    SourceReport report;
    report.state = SourceState::kCannotOpen;
    const int rc = Scan(c.target, 0, &report);
    EXPECT_EQ(rc, c.state == SourceState::kScanned ? 0 : -1) << c.target;
    EXPECT_EQ(report.state, c.state) << c.target;
    EXPECT_EQ(report.reason, c.reason) << c.target;
    EXPECT_EQ(report.value, c.value) << c.target;
    EXPECT_EQ(report.driveIndex, c.target[0] - 'C') << c.target;
    // Why it could not be read is kept for the page to say.
    if (report.state == SourceState::kCannotOpen || report.state == SourceState::kCannotRead) {
      EXPECT_NE(report.error, 0u) << c.target;
    }
    if (report.state == SourceState::kCannotRead) {
      EXPECT_EQ(report.error, static_cast<uint32_t>(ERROR_HANDLE_EOF));
    }
    ASSERT_FALSE(gReceived.empty());
    EXPECT_EQ(gReceived.back(), static_cast<UINT>(WM_DELSCAN_DONE)) << c.target;
  }
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
