// The partition page under Wine, on whole-disk images partitioned by sfdisk
// (file systems by mkfs.fat and mkntfs), through the page's own buttons, its
// message boxes and the common open and save dialogs:
//   disk 1: part-classic    disk 3: part-one-ntfs    disk 5: part-modern
// No disk 0, 2 or 4: the rows are not the disk numbers. Disk 1 answers the
// SMART identify with a model name (a stand-in device: Wine has none); the
// others have no identity, as USB disks.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "disk/device.h"
#include "disk/identity.h"
#include "disk/raw.h"
#include "page_test_support.h"
#include "partition_test_support.h"
#include "partition/partition_backup.h"
#include "partition/partition_search.h"
#include "partition/partition_table.h"
#include "partition_fixture.h"
#include "partition_page.h"
#include "resource.h"
#include "test_page_host.h"
#include "testsupport.h"

using namespace pagetest;
using partfix::ReadSectors;

pagetest::TestPageHost theApp;   // the pages find the main window through it

namespace {

const char kDisk1Model[] = "WDC WD5000AAKX-00ERMA0";
const uint64_t kCylinder = 255 * 63;

// SMART identify for disk 1 only.
BOOL WINAPI IdentityIoctl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD got,
                          LPOVERLAPPED overlapped) {
  if (code == kDfpGetVersion) {
    SmartVersion v = {};
    v.capabilities = 1;
    std::memcpy(out, &v, std::min<DWORD>(outSize, sizeof v));
    *got = sizeof v;
    return TRUE;
  }
  if (code == kDfpReceiveDriveData) {
    const SmartCommand* command = static_cast<const SmartCommand*>(in);
    if (inSize < kSmartCommandBytes || command->driveNumber != 1 || outSize < kSmartOutputBytes) return FALSE;
    std::memset(out, 0, outSize);
    uint8_t* identify = static_cast<uint8_t*>(out) + sizeof(SmartStatus);
    std::string text = kDisk1Model;
    text.resize(40, ' ');
    for (int i = 0; i < 20; ++i) {   // model: words 27-46, the characters of each word swapped
      identify[2 * (27 + i)] = static_cast<uint8_t>(text[2 * i + 1]);
      identify[2 * (27 + i) + 1] = static_cast<uint8_t>(text[2 * i]);
    }
    *got = kSmartOutputBytes;
    return TRUE;
  }
  return DeviceIoControl(h, code, in, inSize, out, outSize, got, overlapped);
}

class PartitionPage : public ::testing::Test {
 protected:
  void SetUp() override {
    fw::InitCommonControlsOnce();
    gDeviceCalls.deviceIoControl = IdentityIoctl;
    dir_ = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(page_.Create(IDD_PARTITION, nullptr));
    page_.CenterWindow();
    page_.ShowWindow(SW_SHOW);
    Pump(100);
  }
  void TearDown() override {
    if (page_.m_hWnd) page_.DestroyWindow();
    Pump(20);
    ResetDeviceCalls();
    partfix::RemoveKeptRestoreCopies();
  }

  // A click on one of the page's buttons; returns when the handler has
  // (the boxes it runs are answered by a BoxScript).
  void Click(int id) {
    page_.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(page_.m_hWnd, id)));
  }
  // Runs a click with the boxes it is expected to show; true when they came
  // as the script says.
  bool Operate(int id, std::vector<BoxStep> steps) {
    BoxScript script(std::move(steps));
    Click(id);
    PumpUntil([&] { return !page_.IsRebuilding() && script.Done(); }, 60000);
    Pump(200);   // anything more the page shows
    script.Stop();
    seen_ = script.Seen();
    messages_ = script.Messages();
    return script.AsScripted() && std::all_of(seen_.begin(), seen_.end(), [](const BoxSeen& s) { return s.expected; });
  }
  void Select(int disk) { ASSERT_TRUE(page_.SelectDisk(disk)) << "disk " << disk; }
  std::string Describe() const {
    std::string out;
    for (const BoxSeen& s : seen_)
      out += std::string(s.kind == BoxStep::kFile ? "[file] " : "[message] ") + testsupport::AnsiToUtf8(s.text) +
             (s.expected ? "" : "  (not expected)") + "\n";
    return out;
  }

  CRPartitionDlg page_;
  std::string dir_;
  std::vector<BoxSeen> seen_;
  std::vector<std::string> messages_;
};

std::vector<int> ListedDisks(CRPartitionDlg& page) {
  std::vector<int> disks;
  for (int row = 0; row < page.DiskList().GetItemCount(); ++row)
    disks.push_back(static_cast<int>(page.DiskList().GetItemData(row)));
  return disks;
}

TEST_F(PartitionPage, ListsEveryReadableDiskUnderItsOwnNumber) {
  CListCtrl& list = page_.DiskList();
  ASSERT_EQ(ListedDisks(page_), (std::vector<int>{1, 3, 5})) << "disks 0, 2 and 4 cannot be read";
  EXPECT_STREQ(list.GetItemText(0, 0).GetString(), "磁盘1");
  EXPECT_STREQ(list.GetItemText(1, 0).GetString(), "磁盘3");
  EXPECT_STREQ(list.GetItemText(2, 0).GetString(), "磁盘5");
  EXPECT_STREQ(list.GetItemText(0, 1).GetString(), (kDisk1Model + std::string(" ")).c_str()) << "the model name up to its run of spaces";
  EXPECT_STREQ(list.GetItemText(1, 1).GetString(), "USB存储设备") << "a disk without identity";
  EXPECT_STREQ(list.GetItemText(2, 1).GetString(), "USB存储设备");
  EXPECT_EQ(page_.SelectedDisk(), -1) << "nothing is chosen for the user";

  // The second row is disk 3, not disk 1.
  list.SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  EXPECT_EQ(page_.SelectedDisk(), 3);
  Select(1);
  EXPECT_EQ(page_.SelectedDisk(), 1);
  Pump(300);
  testsupport::SaveScreenshot(testsupport::ArtifactPath("partition_page.bmp"), page_.m_hWnd);

  // The mouse over an operation: its hover look.
  CRect tile;
  ::GetWindowRect(::GetDlgItem(page_.m_hWnd, IDC_PART_RESTORE), &tile);
  SetCursorPos(tile.left + 150, tile.top + 20);
  ::SendMessageA(::GetDlgItem(page_.m_hWnd, IDC_PART_RESTORE), WM_MOUSEMOVE, 0, MAKELPARAM(150, 20));
  Pump(200);
  testsupport::SaveScreenshot(testsupport::ArtifactPath("partition_page_hover.bmp"), page_.m_hWnd);
  SetCursorPos(0, 0);
}

TEST_F(PartitionPage, WithoutADiskEachOperationOnlyAsksForOne) {
  const std::vector<uint8_t> before = ReadSectors(1, 0, 1);
  EXPECT_TRUE(Operate(IDC_PART_BACKUP, {Message(IDS_SELECT_DISK)})) << Describe();
  EXPECT_TRUE(Operate(IDC_PART_RESTORE, {Message(IDS_SELECT_DISK_TO_OPERATE)})) << Describe();
  EXPECT_TRUE(Operate(IDC_PART_REBUILD, {Message(IDS_SELECT_DISK_TO_OPERATE)})) << Describe();
  EXPECT_FALSE(page_.IsRebuilding());
  EXPECT_EQ(ReadSectors(1, 0, 1), before);
}

TEST_F(PartitionPage, BackupThenRestoreOntoTheDamagedDisk) {
  const std::string file = dir_ + "classic.VXB";
  Select(1);
  ASSERT_TRUE(Operate(IDC_PART_BACKUP, {File(file), Message(IDS_BACKUP_DONE)})) << Describe();
  std::string bytes;
  ASSERT_TRUE(testsupport::ReadWholeFile(file, &bytes));
  ASSERT_GE(bytes.size(), kBackupHeaderBytes);
  BackupFileHeader header;
  std::memcpy(&header, bytes.data(), sizeof header);
  EXPECT_EQ(std::memcmp(header.magic, kBackupMagic, 32), 0);
  EXPECT_EQ(header.fileBytes, bytes.size());
  EXPECT_STREQ(header.identify, (kDisk1Model + std::string(" ")).c_str()) << "the disk's identity goes with its backup";

  // The table and the NTFS partition's boot sector are lost.
  partfix::WipeTableEntries(1);
  partfix::WriteSectors(1, 2 * kCylinder, std::vector<uint8_t>(512, 0));
  ASSERT_FALSE(partfix::DifferingSectors(1, "part-classic").empty());

  // The same disk: no question about its identity.
  ASSERT_TRUE(Operate(IDC_PART_RESTORE, {File(file), Message(IDS_RESTORE_CONFIRM, IDYES), Message(IDS_RESTORE_DONE)}))
      << Describe();
  EXPECT_TRUE(partfix::DifferingSectors(1, "part-classic").empty()) << "every sector is as sfdisk and mkntfs wrote it";
}

TEST_F(PartitionPage, ABackupNeverReplacesAFile) {
  const std::string file = dir_ + "taken.VXB";
  ASSERT_TRUE(testsupport::WriteWholeFile(file, "keep me"));
  Select(5);
  // The name is taken: the page says so and asks again; the user gives up.
  EXPECT_TRUE(Operate(IDC_PART_BACKUP, {File(file), Message(IDS_BACKUP_EXISTS), File("", IDCANCEL)})) << Describe();
  std::string bytes;
  ASSERT_TRUE(testsupport::ReadWholeFile(file, &bytes));
  EXPECT_EQ(bytes, "keep me");
  // A new name on the second try.
  const std::string other = dir_ + "modern.VXB";
  EXPECT_TRUE(Operate(IDC_PART_BACKUP, {File(file), Message(IDS_BACKUP_EXISTS), File(other), Message(IDS_BACKUP_DONE)}))
      << Describe();
  EXPECT_NE(GetFileAttributesA(other.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PartitionPage, RestoreAsksBeforeWritingAndRefusesOtherFiles) {
  const std::string file = dir_ + "one-ntfs.VXB";
  Select(3);
  ASSERT_TRUE(Operate(IDC_PART_BACKUP, {File(file), Message(IDS_BACKUP_DONE)})) << Describe();
  partfix::WipeTableEntries(3);
  const std::vector<uint8_t> wiped = ReadSectors(3, 0, 1);

  // No to the warning, then No to the question about a file without a disk
  // identity: nothing is written either time, and nothing more is said.
  EXPECT_TRUE(Operate(IDC_PART_RESTORE, {File(file), Message(IDS_RESTORE_CONFIRM, IDNO)})) << Describe();
  EXPECT_EQ(ReadSectors(3, 0, 1), wiped);
  EXPECT_TRUE(Operate(IDC_PART_RESTORE, {File(file), Message(IDS_RESTORE_CONFIRM, IDYES),
                                         Message(IDS_BACKUP_NO_IDENTITY, IDNO)}))
      << Describe();
  EXPECT_EQ(ReadSectors(3, 0, 1), wiped);

  // A file that is not a backup.
  const std::string junk = dir_ + "junk.VXB";
  ASSERT_TRUE(testsupport::WriteWholeFile(junk, std::string(4096, 'x')));
  EXPECT_TRUE(Operate(IDC_PART_RESTORE, {File(junk), Message(IDS_RESTORE_CONFIRM, IDYES), Message(IDS_BACKUP_INVALID)}))
      << Describe();
  EXPECT_EQ(ReadSectors(3, 0, 1), wiped);

  // Disk 1's backup on disk 5: another disk's.
  const std::string classic = dir_ + "classic.VXB";
  ASSERT_EQ(BackupPartitionInfo(1, classic.c_str()), kBackupDone);
  Select(5);
  EXPECT_TRUE(Operate(IDC_PART_RESTORE, {File(classic), Message(IDS_RESTORE_CONFIRM, IDYES),
                                         Message(IDS_BACKUP_OTHER_DISK)}))
      << Describe();
  EXPECT_TRUE(partfix::DifferingSectors(5, "part-modern").empty());

  // Yes to both: the table is back.
  Select(3);
  EXPECT_TRUE(Operate(IDC_PART_RESTORE, {File(file), Message(IDS_RESTORE_CONFIRM, IDYES),
                                         Message(IDS_BACKUP_NO_IDENTITY, IDYES), Message(IDS_RESTORE_DONE)}))
      << Describe();
  EXPECT_TRUE(partfix::DifferingSectors(3, "part-one-ntfs").empty());
}

TEST_F(PartitionPage, ABackupFileThatCannotBeOpenedIsSaidSo) {
  const std::string file = dir_ + "held.VXB";
  Select(3);
  ASSERT_TRUE(Operate(IDC_PART_BACKUP, {File(file), Message(IDS_BACKUP_DONE)})) << Describe();
  const std::vector<uint8_t> before = ReadSectors(3, 0, 1);
  // Another program holds the file open and shares nothing.
  HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Operate(IDC_PART_RESTORE, {File(file), Message(IDS_RESTORE_CONFIRM, IDYES),
                                         Message(IDS_PART_CANNOT_OPEN_FILE)}))
      << Describe();
  CloseHandle(held);
  ASSERT_FALSE(messages_.empty());
  EXPECT_NE(messages_.back().find(file), std::string::npos) << "the message names the file";
  EXPECT_EQ(ReadSectors(3, 0, 1), before);
}

TEST_F(PartitionPage, RebuildWritesTheLostTableAndOffersTheWayBack) {
  const std::vector<uint8_t> original = ReadSectors(1, 0, 1);
  partfix::WipeTableEntries(1);
  const std::vector<uint8_t> wiped = ReadSectors(1, 0, 1);
  Select(1);

  EXPECT_TRUE(Operate(IDC_PART_REBUILD, {Message(IDS_REBUILD_CONFIRM, IDNO)})) << Describe();
  EXPECT_FALSE(page_.IsRebuilding());
  EXPECT_FALSE(page_.BusyBox().m_hWnd);
  EXPECT_EQ(ReadSectors(1, 0, 1), wiped) << "No writes nothing";

  gPreviousSector0Disk = -1;
  {
    BoxScript script({Message(IDS_REBUILD_CONFIRM, IDYES), Message(IDS_REBUILD_DONE)});
    Click(IDC_PART_REBUILD);
    // The busy box is up and the page disabled until the search's end is
    // handled (it is posted: nothing has been pumped yet).
    EXPECT_TRUE(page_.IsRebuilding());
    ASSERT_TRUE(page_.BusyBox().m_hWnd);
    EXPECT_TRUE(page_.BusyBox().IsWindowVisible());
    EXPECT_FALSE(page_.IsWindowEnabled());
    // The box can stop the search.
    HWND stop = ::GetDlgItem(page_.BusyBox().m_hWnd, IDCANCEL);
    ASSERT_TRUE(stop);
    EXPECT_TRUE(::IsWindowVisible(stop));
    EXPECT_FALSE(page_.BusyBox().StopAsked());
    // Paint only (the search's end stays queued) while the bar moves.
    for (int i = 0; i < 40; ++i) {
      RedrawWindow(page_.m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
      RedrawWindow(page_.BusyBox().m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
      MSG m;
      while (PeekMessageA(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&m);
      Sleep(20);
    }
    testsupport::SaveScreenshot(testsupport::ArtifactPath("partition_rebuilding.bmp"), page_.m_hWnd);

    ASSERT_TRUE(PumpUntil([&] { return !page_.IsRebuilding() && script.Done(); }, 60000));
    Pump(200);
    script.Stop();
    seen_ = script.Seen();
    EXPECT_TRUE(script.AsScripted()) << Describe();
  }
  EXPECT_FALSE(page_.BusyBox().m_hWnd);
  EXPECT_TRUE(page_.IsWindowEnabled());

  // The table sfdisk wrote, under the standard boot program.
  const std::vector<uint8_t> now = ReadSectors(1, 0, 1);
  std::string sfdiskSector0;
  ASSERT_TRUE(testsupport::ReadWholeFile(testsupport::FixtureDir("part-classic") + "sector0.bin", &sfdiskSector0));
  ASSERT_EQ(sfdiskSector0.size(), 512u);
  EXPECT_TRUE(std::equal(now.begin() + 440, now.end(), reinterpret_cast<const uint8_t*>(sfdiskSector0.data()) + 440));
  EXPECT_EQ(std::memcmp(now.data(), kStandardBootProgram, 440), 0);
  EXPECT_EQ(partfix::DifferingSectors(1, "part-classic"), std::vector<uint64_t>{0});

  // The message names the file that keeps the replaced sector ...
  ASSERT_EQ(gPreviousSector0Disk, 1);
  ASSERT_FALSE(seen_.empty());
  const std::string done = seen_.back().text;
  EXPECT_NE(done.find(gPreviousSector0File), std::string::npos) << testsupport::AnsiToUtf8(done);

  // ... and the restore offers it first: OK as it stands puts the wiped
  // sector back.
  ASSERT_TRUE(Operate(IDC_PART_RESTORE, {File(""), Message(IDS_RESTORE_CONFIRM, IDYES), Message(IDS_RESTORE_DONE)}))
      << Describe();
  std::string offered = seen_.front().text;
  std::string name = gPreviousSector0File;
  name = name.substr(name.rfind('\\') + 1);
  EXPECT_NE(offered.find(name), std::string::npos) << offered;
  EXPECT_EQ(ReadSectors(1, 0, 1), wiped);

  DeleteFileA(gPreviousSector0File);
  partfix::WriteSectors(1, 0, original);
}

TEST_F(PartitionPage, RebuildLeavesAWholeTableAlone) {
  Select(5);
  EXPECT_TRUE(Operate(IDC_PART_REBUILD, {Message(IDS_REBUILD_CONFIRM, IDYES), Message(IDS_TABLE_OK)})) << Describe();
  EXPECT_TRUE(partfix::DifferingSectors(5, "part-modern").empty());
}

TEST_F(PartitionPage, APageThatGoesDuringTheRebuildWaitsForIt) {
  const std::vector<uint8_t> original = ReadSectors(1, 0, 1);
  partfix::WipeTableEntries(1);
  Select(1);
  gPreviousSector0Disk = -1;
  {
    BoxScript script({Message(IDS_REBUILD_CONFIRM, IDYES)});
    Click(IDC_PART_REBUILD);
    ASSERT_TRUE(page_.IsRebuilding());
    page_.DestroyWindow();   // the main window closing, say
    EXPECT_FALSE(page_.IsRebuilding()) << "the worker has been waited for";
    EXPECT_FALSE(page_.BusyBox().m_hWnd);
    Pump(300);
    script.Stop();
    seen_ = script.Seen();
    EXPECT_TRUE(script.AsScripted()) << Describe() << "no result message without the page";
  }
  // The search ran to its end: the table is whole again.
  EXPECT_EQ(gPreviousSector0Disk, 1);
  const std::vector<uint8_t> now = ReadSectors(1, 0, 1);
  EXPECT_TRUE(std::equal(now.begin() + 440, now.end(), original.begin() + 440));
  DeleteFileA(gPreviousSector0File);
  partfix::WriteSectors(1, 0, original);
}

TEST_F(PartitionPage, BackAndCloseReturnToTheMainWindow) {
  CWnd main;
  ASSERT_TRUE(main.CreateEx(0, "STATIC", "main", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr));
  theApp.m_pMainWnd = &main;
  Click(IDC_PART_BACK);
  EXPECT_TRUE(main.IsWindowVisible());
  EXPECT_FALSE(page_.IsWindowVisible());
  main.ShowWindow(SW_HIDE);
  page_.ShowWindow(SW_SHOW);
  Click(IDC_CLOSE);
  EXPECT_TRUE(main.IsWindowVisible());
  EXPECT_FALSE(page_.IsWindowVisible());
  theApp.m_pMainWnd = nullptr;
  main.DestroyWindow();
}

std::string Loaded(UINT id) { return BoxScript::String(id); }
bool Has(const CString& text, const std::string& part) { return std::string(text.GetString()).find(part) != std::string::npos; }

TEST(PartitionPageMessages, EachResultHasItsMessage) {
  EXPECT_EQ(CRPartitionDlg::RebuildResultString(kSearchWritten), static_cast<UINT>(IDS_REBUILD_DONE));
  EXPECT_EQ(CRPartitionDlg::RebuildResultString(kSearchTableValid), static_cast<UINT>(IDS_TABLE_OK));
  EXPECT_EQ(CRPartitionDlg::RebuildResultString(kSearchNothingFound), static_cast<UINT>(IDS_NO_PARTITION_FOUND));
  EXPECT_EQ(CRPartitionDlg::RebuildResultString(kSearchStopped), static_cast<UINT>(IDS_PART_SEARCH_STOPPED));
  EXPECT_TRUE(Has(CRPartitionDlg::RebuildResultText(kSearchStopped, nullptr), Loaded(IDS_PART_DISK_UNCHANGED)));
  for (int failure : {kSearchDiskError, kSearchInconsistent, kSearchDiskStopped})
    EXPECT_EQ(CRPartitionDlg::RebuildResultString(failure), static_cast<UINT>(IDS_DISK_IO_ERROR)) << failure;
  EXPECT_EQ(CRPartitionDlg::RebuildResultString(kSearchCannotKeepOld), static_cast<UINT>(IDS_PART_CANNOT_KEEP_OLD));
  EXPECT_EQ(CRPartitionDlg::RebuildResultString(kSearchGptDisk), static_cast<UINT>(IDS_PART_GPT_DISK));
  EXPECT_EQ(CRPartitionDlg::RebuildResultString(kSearchWriteFailed), static_cast<UINT>(IDS_PART_REBUILD_WRITE_FAILED));
  EXPECT_EQ(CRPartitionDlg::RestoreResultString(kRestoreDone, false), static_cast<UINT>(IDS_RESTORE_DONE));
  EXPECT_EQ(CRPartitionDlg::RestoreResultString(kRestoreRefused, true), 0u) << "the restore has said why";
  EXPECT_EQ(CRPartitionDlg::RestoreResultString(kRestoreRefused, false), static_cast<UINT>(IDS_BACKUP_INVALID));
  EXPECT_EQ(CRPartitionDlg::RestoreResultString(kRestoreCannotOpen, false), static_cast<UINT>(IDS_PART_CANNOT_OPEN_FILE))
      << "a file that cannot be opened is not called invalid";
  EXPECT_EQ(CRPartitionDlg::RestoreResultString(kRestoreGptDisk, false), static_cast<UINT>(IDS_PART_GPT_DISK));
  EXPECT_EQ(CRPartitionDlg::RestoreResultString(kRestoreReadFailed, false), static_cast<UINT>(IDS_DISK_IO_ERROR));
  EXPECT_EQ(CRPartitionDlg::RestoreResultString(kRestoreWriteFailed, false), static_cast<UINT>(IDS_PART_RESTORE_UNDONE));
  EXPECT_EQ(CRPartitionDlg::RestoreResultString(kRestoreIncomplete, false),
            static_cast<UINT>(IDS_PART_RESTORE_INCOMPLETE));
  EXPECT_EQ(CRPartitionDlg::RestoreResultString(kRestoreCannotKeepOld, false),
            static_cast<UINT>(IDS_PART_CANNOT_KEEP_OLD));
  EXPECT_EQ(CRPartitionDlg::BackupResultString(kBackupDone), static_cast<UINT>(IDS_BACKUP_DONE));
  EXPECT_EQ(CRPartitionDlg::BackupResultString(kBackupGptDisk), static_cast<UINT>(IDS_PART_GPT_DISK));
  EXPECT_EQ(CRPartitionDlg::BackupResultString(kBackupFailed), static_cast<UINT>(IDS_BACKUP_FAILED));
}

TEST(PartitionPageMessages, TheyTellWhetherTheDiskWasChangedAndWhereTheWayBackIs) {
  const std::string unchanged = Loaded(IDS_PART_DISK_UNCHANGED);
  ASSERT_FALSE(unchanged.empty());
  const char kKept[] = "C:\\TEMP\\DISK1-SECTOR0-20240101-120000.VXB";
  // Every rebuild that wrote nothing says so; one that wrote names the copy.
  for (int nothing : {kSearchDiskError, kSearchTableValid, kSearchInconsistent, kSearchNothingFound,
                      kSearchCannotKeepOld, kSearchGptDisk}) {
    const CString text = CRPartitionDlg::RebuildResultText(nothing, kKept);
    EXPECT_TRUE(Has(text, unchanged)) << nothing;
    EXPECT_FALSE(Has(text, kKept)) << nothing;
  }
  for (int wrote : {kSearchWritten, kSearchWriteFailed}) {
    const CString text = CRPartitionDlg::RebuildResultText(wrote, kKept);
    EXPECT_FALSE(Has(text, unchanged)) << wrote;
    EXPECT_TRUE(Has(text, kKept)) << wrote;
  }
  // A restore that could not undo itself says the disk is partly rewritten
  // and where its sectors as they were are kept.
  const char kBefore[] = "C:\\TEMP\\DISK1-BEFORE-RESTORE-20240101-120000.VXB";
  CString text = CRPartitionDlg::RestoreResultText(kRestoreIncomplete, false, "D:\\a.VXB", kBefore);
  EXPECT_EQ(std::string(text.GetString()).find(Loaded(IDS_PART_RESTORE_INCOMPLETE)), 0u);
  EXPECT_TRUE(Has(text, kBefore));
  EXPECT_FALSE(Has(text, unchanged));
  // A file that cannot be opened is named as such, with its path.
  text = CRPartitionDlg::RestoreResultText(kRestoreCannotOpen, false, "D:\\locked.VXB", "");
  EXPECT_TRUE(Has(text, Loaded(IDS_PART_CANNOT_OPEN_FILE)));
  EXPECT_TRUE(Has(text, "D:\\locked.VXB"));
  EXPECT_FALSE(Has(text, Loaded(IDS_BACKUP_INVALID)));
  EXPECT_TRUE(Has(text, unchanged));
  for (int nothing : {kRestoreReadFailed, kRestoreCannotKeepOld, kRestoreGptDisk})
    EXPECT_TRUE(Has(CRPartitionDlg::RestoreResultText(nothing, false, "D:\\a.VXB", ""), unchanged)) << nothing;
  EXPECT_TRUE(CRPartitionDlg::RestoreResultText(kRestoreRefused, true, "D:\\a.VXB", "").IsEmpty());
}

}  // namespace
