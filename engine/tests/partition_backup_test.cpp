// Partition-information backup and restore on whole-disk images partitioned
// by sfdisk:
//   disks 1, 2: part-classic   disks 4, 5: part-modern   disk 3: part-one-ntfs
// Disk identity comes from a stand-in of the SMART control codes, which Wine
// lacks; every other device call goes to Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "disk/device.h"
#include "disk/identity.h"
#include "disk/raw.h"
#include "partition/partition_backup.h"
#include "partition/partition_table.h"
#include "partition_fixture.h"
#include "testsupport.h"

using partfix::ReadSectors;

namespace {

// --- disk identity stand-in ---------------------------------------------
std::string gModel;   // empty: the disk has no identity (as under Wine)

BOOL WINAPI IdentityIoctl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD got,
                          LPOVERLAPPED overlapped) {
  if (code == kDfpGetVersion || code == kDfpReceiveDriveData) {
    if (gModel.empty()) return FALSE;
    if (code == kDfpGetVersion) {
      SmartVersion v = {};
      v.capabilities = 7;
      std::memcpy(out, &v, std::min<DWORD>(outSize, sizeof v));
    } else {
      std::memset(out, 0, outSize);
      uint8_t* identify = static_cast<uint8_t*>(out) + sizeof(SmartStatus);
      std::string text = gModel;
      text.resize(40, ' ');
      for (int i = 0; i < 20; ++i) {   // model: words 27-46, characters swapped in each word
        identify[2 * (27 + i)] = static_cast<uint8_t>(text[2 * i + 1]);
        identify[2 * (27 + i) + 1] = static_cast<uint8_t>(text[2 * i]);
      }
    }
    *got = outSize;
    return TRUE;
  }
  return DeviceIoControl(h, code, in, inSize, out, outSize, got, overlapped);
}

class Backup : public ::testing::Test {
 protected:
  void SetUp() override {
    gModel.clear();
    gDeviceCalls.deviceIoControl = IdentityIoctl;
    dir_ = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    ResetDeviceCalls();
    partfix::RemoveKeptRestoreCopies();
  }
  std::string dir_;
};

struct Prompts {
  std::vector<int> asked;
  bool answer = true;
};
bool Record(void* context, int message) {
  Prompts* p = static_cast<Prompts*>(context);
  p->asked.push_back(message);
  return p->answer;
}

struct Record64 {
  BackupRecordHeader header;
  std::vector<uint8_t> data;
};

// Splits a backup file; fails the test when it is not one.
std::vector<Record64> Records(const std::string& file, BackupFileHeader* header) {
  std::string bytes;
  EXPECT_TRUE(testsupport::ReadWholeFile(file, &bytes));
  std::vector<Record64> out;
  if (bytes.size() < sizeof *header) return out;
  std::memcpy(header, bytes.data(), sizeof *header);
  size_t at = sizeof *header;
  while (at + sizeof(BackupRecordHeader) <= bytes.size()) {
    Record64 r;
    std::memcpy(&r.header, bytes.data() + at, sizeof r.header);
    at += sizeof r.header;
    size_t n = static_cast<size_t>(r.header.count) * 512;
    if (at + n > bytes.size()) break;
    r.data.assign(bytes.begin() + at, bytes.begin() + at + n);
    at += n;
    out.push_back(r);
  }
  EXPECT_EQ(at, bytes.size());
  return out;
}

TEST_F(Backup, SavesSectorZeroBootRecordsAndPartitionStarts) {
  const std::string file = dir_ + "classic.vxb";
  ASSERT_EQ(BackupPartitionInfo(1, file.c_str()), kBackupDone);
  BackupFileHeader h;
  std::vector<Record64> records = Records(file, &h);
  EXPECT_EQ(std::string(h.magic, 32), kBackupMagic);
  EXPECT_EQ(h.magicEnd, 0x1A);
  EXPECT_EQ(h.format, 128u);
  EXPECT_EQ(h.zero2, 0u);
  EXPECT_EQ(h.headerBytes, 112u);
  EXPECT_EQ(std::string(h.identify, 47), std::string(47, 'A')) << "a disk without identity";

  // Sector 0, the partitions in table order, each extended boot record
  // before the logical drive it names.
  struct Want {
    uint32_t lba, count;
  };
  const std::vector<Want> want = {{0, 1},      {63, 1},     {32130, 16},  {80325, 1},
                                  {80388, 3},  {160712, 1}, {160713, 16}, {192780, 1}};
  ASSERT_EQ(records.size(), want.size());
  uint64_t length = 112;
  for (size_t i = 0; i < want.size(); ++i) {
    const BackupRecordHeader& r = records[i].header;
    EXPECT_EQ(std::string(r.tag, 6), "VexSEC");
    EXPECT_EQ(r.lba, want[i].lba) << i;
    EXPECT_EQ(r.count, want[i].count) << i;
    EXPECT_EQ(std::string(r.fill, 38), std::string(38, 'A'));
    EXPECT_EQ(records[i].data, partfix::FixtureSectors("part-classic", want[i].lba, want[i].count)) << i;
    length += 64 + 512ull * want[i].count;
  }
  EXPECT_EQ(h.fileBytes, length);
  // CHS fields: sector 0 is 0/0/1; a partition's are its entry's bytes.
  EXPECT_EQ((std::vector<uint32_t>{records[0].header.cylinder, records[0].header.head, records[0].header.sector}),
            (std::vector<uint32_t>{0, 0, 1}));
  EXPECT_EQ((std::vector<uint32_t>{records[1].header.cylinder, records[1].header.head, records[1].header.sector}),
            (std::vector<uint32_t>{0, 1, 1}));
}

TEST_F(Backup, OneNtfsPartitionFileLength) {
  const std::string file = dir_ + "sub\\folders\\made\\one.VXB";
  ASSERT_EQ(BackupPartitionInfo(3, file.c_str()), kBackupDone);
  std::string bytes;
  ASSERT_TRUE(testsupport::ReadWholeFile(file, &bytes));
  EXPECT_EQ(bytes.size(), 112u + (64 + 512) + (64 + 8192));
  uint32_t field;
  std::memcpy(&field, bytes.data() + 60, 4);
  EXPECT_EQ(field, bytes.size());
}

TEST_F(Backup, ExistingFileIsNeverOverwritten) {
  const std::string file = dir_ + "taken.vxb";
  ASSERT_TRUE(testsupport::WriteWholeFile(file, "the user's own file"));
  EXPECT_EQ(BackupPartitionInfo(1, file.c_str()), kBackupCannotStart);
  std::string bytes;
  ASSERT_TRUE(testsupport::ReadWholeFile(file, &bytes));
  EXPECT_EQ(bytes, "the user's own file");
  EXPECT_EQ(BackupPartitionInfo(9, (dir_ + "nodisk.vxb").c_str()), kBackupCannotStart);
  EXPECT_EQ(GetFileAttributesA((dir_ + "nodisk.vxb").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Table entries, boot records and partition boot sectors all zeroed on one
// copy; the backup of the other copy brings back every byte.
void ExpectRestoredOntoWipedCopy(int source, int target, const std::string& fixture, const std::string& file) {
  ASSERT_EQ(BackupPartitionInfo(source, file.c_str()), kBackupDone);
  BackupFileHeader h;
  for (const Record64& r : Records(file, &h))
    partfix::WriteSectors(target, r.header.lba, std::vector<uint8_t>(r.data.size(), 0));
  ASSERT_FALSE(partfix::DifferingSectors(target, fixture).empty());
  Prompts prompts;
  EXPECT_EQ(RestorePartitionInfo(target, file.c_str(), Record, &prompts), kRestoreDone);
  EXPECT_EQ(prompts.asked, std::vector<int>{kRestoreMsgNoDiskIdentity});
  EXPECT_TRUE(partfix::DifferingSectors(target, fixture).empty());
}

TEST_F(Backup, RestoreOntoWipedDiskGivesBackEverySector) {
  ExpectRestoredOntoWipedCopy(1, 2, "part-classic", dir_ + "classic.vxb");
  ExpectRestoredOntoWipedCopy(4, 5, "part-modern", dir_ + "modern.vxb");
}

// A table that names sectors past the disk's end and a chain of boot
// records that links back on itself: the backup ends, saves each record once
// and nothing from past the end.
// Before it writes, a restore saves the sectors it replaces in a backup file
// of their own: restoring that file puts the disk back as it was.
TEST_F(Backup, ARestoreKeepsTheSectorsItReplacesAsAWayBack) {
  const std::string file = dir_ + "modern.vxb";
  ASSERT_EQ(BackupPartitionInfo(5, file.c_str()), kBackupDone);
  BackupFileHeader h;
  const std::vector<Record64> records = Records(file, &h);
  partfix::WipeTableEntries(5);
  partfix::WriteSectors(5, records.back().header.lba, std::vector<uint8_t>(512, 0x5A));
  std::vector<std::vector<uint8_t>> damaged;
  for (const Record64& r : records) damaged.push_back(ReadSectors(5, r.header.lba, r.header.count));

  Prompts yes;
  std::string kept;
  ASSERT_EQ(RestorePartitionInfo(5, file.c_str(), Record, &yes, &kept), kRestoreDone);
  EXPECT_TRUE(partfix::DifferingSectors(5, "part-modern").empty());
  ASSERT_FALSE(kept.empty());
  EXPECT_NE(kept.find("DISK5-BEFORE-RESTORE-"), std::string::npos) << kept;
  // The kept file is a backup of the same sectors, as they were.
  BackupFileHeader keptHeader;
  const std::vector<Record64> before = Records(kept, &keptHeader);
  ASSERT_EQ(before.size(), records.size());
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(before[i].header.lba, records[i].header.lba);
    EXPECT_EQ(before[i].data, damaged[i]) << "record " << i;
  }
  Prompts again;
  EXPECT_EQ(RestorePartitionInfo(5, kept.c_str(), Record, &again), kRestoreDone);
  for (size_t i = 0; i < records.size(); ++i)
    EXPECT_EQ(ReadSectors(5, records[i].header.lba, records[i].header.count), damaged[i]) << "record " << i;
  DeleteFileA(kept.c_str());
  EXPECT_EQ(RestorePartitionInfo(5, file.c_str(), Record, &again), kRestoreDone);
  EXPECT_TRUE(partfix::DifferingSectors(5, "part-modern").empty());
}

TEST_F(Backup, DamagedTableIsWalkedWithinBounds) {
  std::vector<uint8_t> s0 = ReadSectors(4, 0, 1);
  WritePartitionEntry(s0.data(), 3, MakePartitionEntry(false, kPartTypeNtfs, 0xFFFFFF00u, 0x80));
  partfix::WriteSectors(4, 0, s0);
  const uint64_t ebr2 = 157696;
  std::vector<uint8_t> record = ReadSectors(4, ebr2, 1);
  WritePartitionEntry(record.data(), 1, MakePartitionEntry(false, kPartTypeExtended, 0, 1000));   // back to the first
  partfix::WriteSectors(4, ebr2, record);

  const std::string file = dir_ + "damaged.vxb";
  ASSERT_EQ(BackupPartitionInfo(4, file.c_str()), kBackupDone);
  BackupFileHeader h;
  std::vector<std::pair<uint32_t, uint32_t>> got;
  for (const Record64& r : Records(file, &h)) got.push_back({r.header.lba, r.header.count});
  const std::vector<std::pair<uint32_t, uint32_t>> want = {
      {0, 1}, {2048, 16}, {43008, 3}, {124928, 1}, {126976, 1}, {157696, 1}, {159744, 16}};
  EXPECT_EQ(got, want);
}

TEST_F(Backup, NoIdentityRestoresOnlyAfterYes) {
  const std::string file = dir_ + "one.vxb";
  ASSERT_EQ(BackupPartitionInfo(3, file.c_str()), kBackupDone);
  partfix::WipeTableEntries(3);
  const std::vector<uint8_t> wiped = ReadSectors(3, 0, 1);
  Prompts no;
  no.answer = false;
  EXPECT_EQ(RestorePartitionInfo(3, file.c_str(), Record, &no), kRestoreRefused);
  EXPECT_EQ(no.asked, std::vector<int>{kRestoreMsgNoDiskIdentity});
  EXPECT_EQ(RestorePartitionInfo(3, file.c_str(), nullptr, nullptr), kRestoreRefused) << "no callback: No";
  EXPECT_EQ(ReadSectors(3, 0, 1), wiped);
  Prompts yes;
  EXPECT_EQ(RestorePartitionInfo(9, file.c_str(), Record, &yes), kRestoreReadFailed) << "no disk 9";
  EXPECT_EQ(RestorePartitionInfo(3, file.c_str(), Record, &yes), kRestoreDone);
  EXPECT_TRUE(partfix::DifferingSectors(3, "part-one-ntfs").empty());
}

TEST_F(Backup, IdentityIsRecordedAndChecked) {
  // The model name is cut after the first space of its first run of three.
  gModel = "SALVORA TEST DISK 2";
  const std::string file = dir_ + "ident.vxb";
  ASSERT_EQ(BackupPartitionInfo(3, file.c_str()), kBackupDone);
  BackupFileHeader h;
  Records(file, &h);
  EXPECT_EQ(std::string(h.identify, 47), std::string("SALVORA TEST DISK 2 ") + std::string(27, '\0'));

  Prompts same;
  EXPECT_EQ(RestorePartitionInfo(3, file.c_str(), Record, &same), kRestoreDone);
  EXPECT_TRUE(same.asked.empty()) << "the same disk is not asked about";

  // Another disk, a disk whose name is the start of the recorded one, no
  // identity at all.
  for (const char* model : {"OTHER DISK", "SALVORA TEST DISK", ""}) {
    gModel = model;
    partfix::WipeTableEntries(3);
    Prompts other;
    EXPECT_EQ(RestorePartitionInfo(3, file.c_str(), Record, &other), kRestoreRefused) << model;
    EXPECT_EQ(other.asked, std::vector<int>{kRestoreMsgOtherDisk}) << model;
    EXPECT_EQ(partfix::DifferingSectors(3, "part-one-ntfs"), std::vector<uint64_t>{0}) << model;
  }

  char field[47];
  const std::string long60(60, 'M');
  MakeBackupIdentifyField(long60.c_str(), field);
  EXPECT_EQ(std::string(field, 47), std::string(46, 'M') + '\0');
  MakeBackupIdentifyField(nullptr, field);
  EXPECT_EQ(std::string(field, 47), std::string(47, 'A'));
}

// Hostile files: each is refused before anything is written.
TEST_F(Backup, DamagedFilesAreRefusedWithoutWriting) {
  const std::string good = dir_ + "good.vxb";
  ASSERT_EQ(BackupPartitionInfo(1, good.c_str()), kBackupDone);
  std::string bytes;
  ASSERT_TRUE(testsupport::ReadWholeFile(good, &bytes));
  partfix::WipeTableEntries(1);   // so that any write would show
  const std::vector<uint64_t> before = partfix::DifferingSectors(1, "part-classic");
  ASSERT_EQ(before, std::vector<uint64_t>{0});

  auto put32 = [](std::string* s, size_t at, uint32_t v) { std::memcpy(&(*s)[at], &v, 4); };
  auto fixLength = [&](std::string* s) { put32(s, 60, static_cast<uint32_t>(s->size())); };
  const size_t second = 112 + 64 + 512;   // the second record's header
  struct Case {
    const char* name;
    std::string file;
    int message;
  };
  std::vector<Case> cases;
  {
    std::string s = bytes.substr(0, bytes.size() - 700);
    fixLength(&s);
    cases.push_back({"cut inside a record, length field matching", s, kRestoreMsgNotBackupFile});
  }
  {
    std::string s = bytes.substr(0, second + 30);
    fixLength(&s);
    cases.push_back({"cut inside a record header", s, kRestoreMsgNotBackupFile});
  }
  cases.push_back({"cut, length field not matching", bytes.substr(0, bytes.size() - 512), kRestoreMsgNotBackupFile});
  {
    std::string s = bytes;
    put32(&s, second + 18, 0xFFFFFFFFu);
    cases.push_back({"absurd count", s, kRestoreMsgNotBackupFile});
  }
  {
    std::string s = bytes;
    put32(&s, second + 18, 0);
    cases.push_back({"count 0", s, kRestoreMsgNotBackupFile});
  }
  {
    std::string s = bytes;
    put32(&s, second + 18, 2);   // the records no longer tile the file
    cases.push_back({"count not matching the data", s, kRestoreMsgNotBackupFile});
  }
  {
    std::string s = bytes;
    s[bytes.size() - 512 - 64 + 2] = 'X';   // the last record's tag (one sector follows it)
    cases.push_back({"bad tag", s, kRestoreMsgNotBackupFile});
  }
  {
    std::string s = bytes + std::string(10, '\0');
    fixLength(&s);
    cases.push_back({"trailing bytes", s, kRestoreMsgNotBackupFile});
  }
  {
    std::string s = bytes;
    s[5] = 'x';
    cases.push_back({"bad header text", s, kRestoreMsgNotBackupFile});
  }
  {
    std::string s = bytes;
    put32(&s, 112 + 22, 7);
    cases.push_back({"first record not sector 0", s, kRestoreMsgNotBackupFile});
  }
  cases.push_back({"empty", "", kRestoreMsgNotBackupFile});
  cases.push_back({"header only, cut", bytes.substr(0, 100), kRestoreMsgNotBackupFile});
  {
    std::string s = bytes;
    put32(&s, second + 22, 240000);   // the disk has 240,000 sectors
    cases.push_back({"sector past the disk's end", s, kRestoreMsgOtherDisk});
  }
  {
    std::string s = bytes;
    put32(&s, second + 22, 0xFFFFFFFFu);
    cases.push_back({"sector number wrapping around", s, kRestoreMsgOtherDisk});
  }
  int n = 0;
  for (const Case& c : cases) {
    const std::string file = dir_ + "bad" + std::to_string(n++) + ".vxb";
    ASSERT_TRUE(testsupport::WriteWholeFile(file, c.file));
    Prompts prompts;
    EXPECT_EQ(RestorePartitionInfo(1, file.c_str(), Record, &prompts), kRestoreRefused) << c.name;
    if (c.message == kRestoreMsgNotBackupFile)
      EXPECT_EQ(prompts.asked, std::vector<int>{c.message}) << c.name;
    else
      EXPECT_EQ(prompts.asked, (std::vector<int>{kRestoreMsgNoDiskIdentity, c.message})) << c.name;
  }
  Prompts none;
  EXPECT_EQ(RestorePartitionInfo(1, (dir_ + "missing.vxb").c_str(), Record, &none), kRestoreCannotOpen)
      << "a file that cannot be opened is not called invalid";
  EXPECT_TRUE(none.asked.empty());
  EXPECT_EQ(partfix::DifferingSectors(1, "part-classic"), before) << "nothing was written";
}

}  // namespace
