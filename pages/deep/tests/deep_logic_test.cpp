// The deep-scan road's logic without a window: the rows the location page
// offers for a machine given as a table, the scan target, finding a volume's
// disk by reading, the result page's folders, sizes, ticks and preview
// requests, and the hit test of the resizable result page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "deep_results.h"
#include "deep_targets.h"
#include "testsupport.h"
#include "wizard_page.h"   // ResizeHitTest

namespace {

// Texts are code page 936 here, as in the program (the test is built with it).
std::string Text(const CString& s) { return s.GetString(); }

// ---- a machine as a table ------------------------------------------------------------

struct FakeDrive {
  UINT type;
  int disk;
  const char* label;
};

class TableProbe : public DeepDeviceProbe {
 public:
  std::map<char, FakeDrive> drives;
  std::set<int> readableDisks;
  std::map<int, std::string> identities;
  std::map<int, uint64_t> sizes;
  std::vector<int> disksRead;

  uint32_t LogicalDrives() override {
    uint32_t mask = 0;
    for (auto& d : drives) mask |= 1u << (d.first - 'A');
    return mask;
  }
  UINT DriveType(char letter) override { return drives.at(letter).type; }
  CString VolumeLabel(char letter) override { return CString(drives.at(letter).label); }
  int DiskOfDrive(char letter) override { return drives.at(letter).disk; }
  bool DiskReadable(int disk) override {
    disksRead.push_back(disk);
    return readableDisks.count(disk) != 0;
  }
  CString DiskIdentity(int disk) override {
    auto f = identities.find(disk);
    return f == identities.end() ? CString() : CString(f->second);
  }
  uint64_t DiskSectors(int disk) override {
    auto f = sizes.find(disk);
    return f == sizes.end() ? 0 : f->second;
  }
};

TEST(DeepTargets, TheTreeGivesEveryVolumeAndEachReadableDiskOnce) {
  TableProbe m;
  m.drives = {{'A', {DRIVE_REMOVABLE, 5, ""}},      // A: and B: are never listed
              {'C', {DRIVE_FIXED, 0, "系统"}},
              {'D', {DRIVE_FIXED, 0, ""}},          // a second volume of disk 0
              {'E', {DRIVE_CDROM, 3, "光盘"}},
              {'F', {DRIVE_REMOVABLE, 1, "相机"}},
              {'G', {DRIVE_REMOTE, 4, "网络"}},
              {'H', {DRIVE_FIXED, 2, "数据"}},      // its disk cannot be read
              {'I', {DRIVE_FIXED, -1, ""}},         // its disk cannot be told
              {'J', {DRIVE_FIXED, 6, ""}}};
  m.readableDisks = {0, 1, 6, 5};
  DeepTreeModel t = BuildDeepTree(m);

  ASSERT_EQ(t.volumes.size(), 6u);
  EXPECT_EQ(Text(t.volumes[0].text), "系统 (C:)");
  EXPECT_EQ(Text(t.volumes[1].text), "本地硬盘 (D:)");
  EXPECT_EQ(Text(t.volumes[2].text), "相机 (F:)");
  EXPECT_EQ(Text(t.volumes[3].text), "数据 (H:)");
  EXPECT_EQ(t.volumes[0].data, MakeDeepItemData(kDeepVolume, 0));
  EXPECT_EQ(t.volumes[2].data, MakeDeepItemData(kDeepVolume, 'F' - 'C'));
  EXPECT_EQ(t.volumes[2].image, kImageRemovableVolume);

  // Disk 0 once for C: and D:, the removable disk, disk 6; not the unreadable disk 2.
  ASSERT_EQ(t.disks.size(), 3u);
  EXPECT_EQ(Text(t.disks[0].text), "物理硬盘1");
  EXPECT_EQ(t.disks[0].data, MakeDeepItemData(kDeepDisk, 0));
  EXPECT_EQ(Text(t.disks[1].text), "移动存储设备1");
  EXPECT_EQ(t.disks[1].data, MakeDeepItemData(kDeepRemovable, 1));
  EXPECT_EQ(Text(t.disks[2].text), "物理硬盘2");
  EXPECT_EQ(t.disks[2].data, MakeDeepItemData(kDeepDisk, 6));
  EXPECT_EQ(std::count(m.disksRead.begin(), m.disksRead.end(), 0), 1) << "a disk is probed once";
}

TEST(DeepTargets, TheRemovableListHoldsReadableRemovableDevicesOnly) {
  TableProbe m;
  m.drives = {{'C', {DRIVE_FIXED, 0, ""}},
              {'E', {DRIVE_CDROM, 1, ""}},          // a CD-ROM even on a removable disk
              {'F', {DRIVE_REMOVABLE, 1, ""}},
              {'G', {DRIVE_REMOVABLE, 1, ""}},      // a second volume of the same stick
              {'K', {DRIVE_REMOVABLE, 3, ""}},      // cannot be read
              {'M', {DRIVE_REMOVABLE, 4, ""}}};
  m.readableDisks = {0, 1, 4};
  std::vector<DeepRow> rows = BuildRemovableList(m);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Text(rows[0].text), "F盘 ( 移动存储设备1 )");
  EXPECT_EQ(rows[0].data, MakeDeepItemData(kDeepRemovable, 1));
  EXPECT_EQ(Text(rows[1].text), "M盘 ( 移动存储设备2 )");
  EXPECT_EQ(rows[1].data, MakeDeepItemData(kDeepRemovable, 4));

  m.drives = {{'C', {DRIVE_FIXED, 0, ""}}};
  EXPECT_TRUE(BuildRemovableList(m).empty());
}

TEST(DeepTargets, TheDiskListTriesTenDisksAndShowsSizesInSixtyFourBits) {
  TableProbe m;
  m.readableDisks = {0, 2, 9, 10};
  m.identities = {{0, "ST3500418AS"}};
  m.sizes = {{0, 976773168ull}, {2, 81920}, {9, 1ull << 34}};
  std::vector<DeepRow> rows = BuildDiskList(m);
  EXPECT_EQ(m.disksRead, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Text(rows[0].text), "磁盘0  ST3500418AS  465 GB");
  EXPECT_EQ(Text(rows[1].text), "磁盘2  USB存储设备  40 MB");
  EXPECT_EQ(Text(rows[2].text), "磁盘9  USB存储设备  8192 GB");   // 8 TiB: beyond 32 bits of bytes and of GB * 2^30
  EXPECT_EQ(rows[2].data, MakeDeepItemData(kDeepDisk, 9));
  EXPECT_EQ(rows[0].image, 0);
  EXPECT_EQ(rows[1].image, 1);
}

TEST(DeepTargets, TheScanTargetNamesExactlyOneDiskOrVolume) {
  EXPECT_EQ(DeepScanTargetText(2, 0xFF), "Disk2\\");
  EXPECT_EQ(DeepScanTargetText(0, 0xFF), "Disk0\\");
  EXPECT_EQ(DeepScanTargetText(0xFF, 1), "D:\\");
  EXPECT_EQ(DeepScanTargetText(0xFF, 'Z' - 'C'), "Z:\\");
  EXPECT_EQ(DeepScanTargetText(0xFF, 0xFF), "");
  EXPECT_EQ(DeepScanTargetText(2, 1), "");
  EXPECT_EQ(DeepScanTargetText(10, 0xFF), "") << "only disks 0 to 9 have a device name";
  EXPECT_EQ(DeepScanTargetText(0xFF, 24), "");
  EXPECT_EQ(DeepScanTargetWord(2, 0xFF), 0xFF02u);
  EXPECT_EQ(DeepScanTargetWord(0xFF, 1), 0x01FFu);
}

// ---- a volume's disk by reading ---------------------------------------------------------

std::vector<uint8_t> BootSector(uint8_t seed) {
  std::vector<uint8_t> s(512, 0);
  for (int i = 0; i < 62; ++i) s[i] = static_cast<uint8_t>(seed + i);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

std::vector<uint8_t> Mbr(std::vector<std::pair<uint8_t, uint32_t>> parts) {
  std::vector<uint8_t> s(512, 0);
  for (size_t i = 0; i < parts.size(); ++i) {
    uint8_t* e = &s[0x1BE + 16 * i];
    e[4] = parts[i].first;
    std::memcpy(e + 8, &parts[i].second, 4);
  }
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

TEST(DeepTargets, AVolumeIsFoundOnItsDiskByReadingOnly) {
  const std::vector<uint8_t> vol = BootSector(7);
  std::map<uint64_t, std::vector<uint8_t>> disk;
  std::vector<uint64_t> reads;
  auto reader = [&](uint64_t sector, uint8_t* out) {
    reads.push_back(sector);
    auto f = disk.find(sector);
    if (f == disk.end()) return false;
    std::memcpy(out, f->second.data(), 512);
    return true;
  };
  // A medium without a partition table: the volume is the disk.
  EXPECT_TRUE(DiskHoldsVolume(vol.data(), vol.data(), reader));
  // The third partition.
  std::vector<uint8_t> mbr = Mbr({{0x0C, 63}, {0x00, 1000}, {0x07, 4096}});
  disk[63] = BootSector(9);
  disk[4096] = vol;
  EXPECT_TRUE(DiskHoldsVolume(vol.data(), mbr.data(), reader));
  EXPECT_EQ(std::count(reads.begin(), reads.end(), 1000), 0) << "an empty entry is not read";
  // Not on this disk.
  disk[4096] = BootSector(8);
  EXPECT_FALSE(DiskHoldsVolume(vol.data(), mbr.data(), reader));
  // A volume whose first sector is zeros, or has no end mark, matches nothing,
  // not even a disk whose sectors are zeros too.
  std::vector<uint8_t> zero(512, 0);
  disk[4096] = zero;
  EXPECT_FALSE(DiskHoldsVolume(zero.data(), zero.data(), reader));
  EXPECT_FALSE(DiskHoldsVolume(zero.data(), mbr.data(), reader));
  // A disk whose table sector has no end mark is not walked.
  std::vector<uint8_t> broken = mbr;
  broken[511] = 0;
  disk[4096] = vol;
  EXPECT_FALSE(DiskHoldsVolume(vol.data(), broken.data(), reader));
}

// ---- the result page's logic ---------------------------------------------------------------

FoundFileRecord Hit(const char* name, uint32_t first, uint32_t last) {
  FoundFileRecord r = {};
  std::strncpy(r.name, name, sizeof r.name);
  r.firstSector = first;
  r.lastSector = last;
  r.source = 0xFF02;
  r.selected = 1;
  return r;
}

TEST(DeepResults, HitsAreGroupedByExactTypeInOrderOfFirstAppearance) {
  std::vector<FoundFileRecord> hits = {Hit("jpg\\00000001.jpg", 10, 20), Hit("pdf\\00000001.pdf", 21, 40),
                                       Hit("JPG\\00000001.JPG", 41, 50), Hit("jpg\\00000002.jpg", 51, 60),
                                       Hit("odd", 61, 61)};
  CResultTree m;
  std::vector<const ResultTreeNode*> rows;
  std::vector<bool> newFolder;
  for (size_t i = 0; i < hits.size(); ++i) {
    bool isNew = false;
    rows.push_back(AddFoundFile(m, hits[i], static_cast<int32_t>(i), &isNew));
    newFolder.push_back(isNew);
  }
  std::vector<const ResultTreeNode*> folders;
  for (const ResultTreeNode* f = m.Root()->firstChild; f; f = f->nextSibling) folders.push_back(f);
  ASSERT_EQ(folders.size(), 4u);
  EXPECT_EQ(folders[0]->name.str(), "jpg");
  EXPECT_EQ(folders[1]->name.str(), "pdf");
  EXPECT_EQ(folders[2]->name.str(), "JPG");
  EXPECT_EQ(folders[3]->name.str(), "odd");
  EXPECT_EQ(newFolder, (std::vector<bool>{true, true, true, false, true}));
  ASSERT_EQ(m.FileCount(), 5u);
  EXPECT_EQ(rows[3]->parent, folders[0]);
  EXPECT_EQ(rows[3]->name.str(), "00000002.jpg");
  EXPECT_EQ(rows[3]->recordIndex, 3);
  EXPECT_EQ(rows[1]->nextSibling, nullptr);
  EXPECT_EQ(rows[0]->nextSibling, rows[3]) << "a folder's hits in their order";
  EXPECT_EQ(rows[4]->name.str(), "odd");
  EXPECT_EQ(rows[4]->parent, folders[3]);
  // A name that fills the whole field (no NUL) stays inside it.
  FoundFileRecord full = Hit("", 1, 1);
  std::memset(full.name, 'x', sizeof full.name);
  full.name[3] = '\\';
  CResultTree f;
  bool isNew = false;
  EXPECT_EQ(AddFoundFile(f, full, 0, &isNew)->name.str().size(), sizeof full.name - 4);
}

TEST(DeepResults, SizesAreTheHitsSectorsInKilobytes) {
  EXPECT_EQ(std::string(FoundSizeText(Hit("a\\1.a", 100, 100))), "0 KB");
  EXPECT_EQ(std::string(FoundSizeText(Hit("a\\1.a", 100, 102))), "1 KB");
  EXPECT_EQ(std::string(FoundSizeText(Hit("a\\1.a", 100, 103))), "2 KB");
  EXPECT_EQ(std::string(FoundSizeText(Hit("a\\1.a", 100, 99))), "0 KB");
  EXPECT_EQ(std::string(FoundSizeText(Hit("a\\1.a", 0, 0xFFFFFFFFu))), "2147483648 KB");
}

TEST(DeepResults, NextWritesTheTicksAndCountsTheirSectorsInSixtyFourBits) {
  std::vector<FoundFileRecord> hits = {Hit("a\\1.a", 0, 0xFFFFFFFEu), Hit("a\\2.a", 0, 0xFFFFFFFEu),
                                       Hit("b\\1.b", 5, 9), Hit("b\\2.b", 10, 10)};
  hits[3].selected = 7;
  CResultTree m;
  for (size_t i = 0; i < hits.size(); ++i) {
    bool isNew = false;
    AddFoundFile(m, hits[i], static_cast<int32_t>(i), &isNew);
  }
  const int states[] = {3, 3, 1, 0};
  DeepSelection s = ApplyResultChecks(m, hits, [&](const ResultTreeNode& file) { return states[file.recordIndex]; });
  EXPECT_EQ(s.visited, 3u);
  EXPECT_EQ(s.checked, 2u);
  EXPECT_EQ(s.sectors, 2ull * 0xFFFFFFFFull);
  EXPECT_EQ(hits[0].selected, 1u);
  EXPECT_EQ(hits[2].selected, 0u);
  EXPECT_EQ(hits[3].selected, 7u) << "a row without a box leaves its record as it was";
}

TEST(DeepResults, AFolderShowsWhatItsRowsAgreeOn) {
  EXPECT_EQ(FolderCheckOf({3, 3, 3}, 1), 3);
  EXPECT_EQ(FolderCheckOf({1, 1}, 3), 1);
  EXPECT_EQ(FolderCheckOf({1, 3, 1}, 1), 2);
  EXPECT_EQ(FolderCheckOf({0, 4, 3}, 1), 3) << "rows without a box, or fixed, do not count";
  EXPECT_EQ(FolderCheckOf({}, 1), 1);
}

TEST(DeepResults, OnlyTheLatestSelectionIsReadAndShown) {
  PreviewRequests p;
  EXPECT_EQ(p.Select(-1), PreviewRequests::kNothing) << "a folder reads nothing";
  EXPECT_EQ(p.Select(4), PreviewRequests::kStartRead);
  EXPECT_EQ(p.Select(4), PreviewRequests::kNothing) << "the same hit is not read twice";
  bool show = false;
  EXPECT_EQ(p.Arrived(4, &show), -1);
  EXPECT_TRUE(show);
  EXPECT_EQ(p.Select(4), PreviewRequests::kNothing);
  EXPECT_EQ(p.Select(-1), PreviewRequests::kNothing);
  EXPECT_EQ(p.Wanted(), 4) << "a click on a folder keeps what is shown";

  // The selection moves on while a read runs: the read's data is not shown,
  // and only the last selection is read after it.
  EXPECT_EQ(p.Select(5), PreviewRequests::kStartRead);
  EXPECT_EQ(p.Select(6), PreviewRequests::kWait);
  EXPECT_EQ(p.Select(7), PreviewRequests::kWait);
  EXPECT_EQ(p.Arrived(5, &show), 7);
  EXPECT_FALSE(show);
  EXPECT_EQ(p.Reading(), 7);
  EXPECT_EQ(p.Arrived(7, &show), -1);
  EXPECT_TRUE(show);
  // Back to a hit whose read was overtaken: it is read now.
  EXPECT_EQ(p.Select(5), PreviewRequests::kStartRead);
}

TEST(DeepResults, TheResizablePageSizesAtItsEdgesAndDragsElsewhere) {
  const RECT w = {100, 100, 764, 601};
  EXPECT_EQ(ResizeHitTest(w, {101, 101}, false), HTTOPLEFT);
  EXPECT_EQ(ResizeHitTest(w, {108, 101}, false), HTTOPLEFT);
  EXPECT_EQ(ResizeHitTest(w, {763, 600}, false), HTBOTTOMRIGHT);
  EXPECT_EQ(ResizeHitTest(w, {755, 105}, false), HTTOPRIGHT);
  EXPECT_EQ(ResizeHitTest(w, {101, 595}, false), HTBOTTOMLEFT);
  EXPECT_EQ(ResizeHitTest(w, {101, 300}, false), HTLEFT);
  EXPECT_EQ(ResizeHitTest(w, {762, 300}, false), HTRIGHT);
  EXPECT_EQ(ResizeHitTest(w, {400, 102}, false), HTTOP);
  EXPECT_EQ(ResizeHitTest(w, {400, 599}, false), HTBOTTOM);
  EXPECT_EQ(ResizeHitTest(w, {104, 300}, false), HTCAPTION);
  EXPECT_EQ(ResizeHitTest(w, {101, 101}, true), HTCAPTION);
}

}  // namespace

TEST(DeepScanProgress, TheMessagesWordsBecomeSectorsOnAnyDisk) {
  uint64_t total = 0, read = 0;
  DecodeScanProgress(10000, 8192, 0, &total, &read);
  EXPECT_EQ(total, 10000u);
  EXPECT_EQ(read, 10000u) << "the last block, short, is read";
  DecodeScanProgress(0xFFFFFFFFu, static_cast<LPARAM>(static_cast<int32_t>(0x90000000u)), 0, &total, &read);
  EXPECT_EQ(read, 0x90000000ull + 8192) << "past 2^31 sectors: no sign";
  // 3 TiB: the scan counts in pairs of sectors.
  const uint64_t disk = 6442450944ull;
  DecodeScanProgress(static_cast<WPARAM>(disk >> 1), static_cast<LPARAM>(static_cast<ULONG_PTR>((disk / 2) >> 1)), 1,
                     &total, &read);
  EXPECT_EQ(total, disk);
  EXPECT_EQ(read, disk / 2 + 8192);
}

TEST(DeepPreview, PicturesOfImageMagickGiveTheirOwnShape) {
  struct Case {
    const char* file;
    uint32_t width, height;
  } cases[] = {{"halves.jpg", 200, 100}, {"halves.png", 200, 100}, {"halves.gif", 200, 100},
               {"photo.jpg", 480, 360},  {"truncated.jpg", 480, 360}};
  for (const Case& c : cases) {
    std::string data;
    ASSERT_TRUE(testsupport::ReadWholeFile(testsupport::FixtureDir("pictures") + c.file, &data)) << c.file;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(PictureDimensions(reinterpret_cast<const uint8_t*>(data.data()), data.size(), &w, &h)) << c.file;
    EXPECT_EQ(w, c.width) << c.file;
    EXPECT_EQ(h, c.height) << c.file;
    // Cut short before the size, or only text: no size, and no read past the end.
    EXPECT_FALSE(PictureDimensions(reinterpret_cast<const uint8_t*>(data.data()), 8, &w, &h)) << c.file;
  }
  const char text[] = "This is a text file with a picture's name.";
  uint32_t w = 0, h = 0;
  EXPECT_FALSE(PictureDimensions(reinterpret_cast<const uint8_t*>(text), sizeof text, &w, &h));
  // A JPEG whose segment lengths lead out of the bytes.
  const uint8_t hostile[] = {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xF0, 0x00, 0x00};
  EXPECT_FALSE(PictureDimensions(hostile, sizeof hostile, &w, &h));
}

TEST(DeepPreview, ThePictureKeepsItsShapeInsideThePreview) {
  const RECT area = {10, 20, 190, 155};   // 180 x 135
  // Wider than the area: as wide as it, centred up and down.
  RECT r = FitKeepingShape(area, 200, 100);
  EXPECT_EQ(r.right - r.left, 180);
  EXPECT_EQ(r.bottom - r.top, 90);
  EXPECT_NEAR(r.top - area.top, area.bottom - r.bottom, 1);
  // Taller: as tall as it, centred side to side.
  r = FitKeepingShape(area, 300, 900);
  EXPECT_EQ(r.bottom - r.top, 135);
  EXPECT_EQ(r.right - r.left, 45);
  EXPECT_NEAR(r.left - area.left, area.right - r.right, 1);
  // Smaller: its own size, in the middle.
  r = FitKeepingShape(area, 64, 64);
  EXPECT_EQ(r.right - r.left, 64);
  EXPECT_EQ(r.bottom - r.top, 64);
  // No size known: the whole area.
  r = FitKeepingShape(area, 0, 64);
  EXPECT_TRUE(EqualRect(&r, &area));
}
