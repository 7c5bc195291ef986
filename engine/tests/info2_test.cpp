// The bins of Windows 95 to XP: their index files (INFO2) read from bytes a
// disk may have made up, the items' names, and the names the scanned items of
// emptied NTFS and FAT32 bins get back.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "content/info2.h"
#include "content/record_content.h"
#include "ntfs_fixture.h"
#include "state.h"
#include "testsupport.h"

using testsupport::Utf8ToAnsi;

namespace {

struct Item {
  uint32_t number;
  uint32_t drive;
  uint32_t size;
  std::wstring path;          // UTF-16 part ("" leaves it empty)
  std::string ansi;           // ANSI part, as stored
};

std::vector<uint8_t> Info2(const std::vector<Item>& items, uint32_t entryBytes = 800) {
  std::vector<uint8_t> data(20, 0);
  data[0] = 5;
  std::memcpy(&data[12], &entryBytes, 4);
  for (const Item& it : items) {
    std::vector<uint8_t> e(entryBytes, 0);
    std::memcpy(e.data(), it.ansi.data(), std::min<size_t>(it.ansi.size(), 260));
    std::memcpy(&e[260], &it.number, 4);
    std::memcpy(&e[264], &it.drive, 4);
    std::memcpy(&e[276], &it.size, 4);
    for (size_t i = 0; entryBytes >= 800 && i < it.path.size() && i < 260; ++i) {
      e[280 + 2 * i] = static_cast<uint8_t>(it.path[i]);
      e[281 + 2 * i] = static_cast<uint8_t>(it.path[i] >> 8);
    }
    data.insert(data.end(), e.begin(), e.end());
  }
  return data;
}

Item Wide(uint32_t number, const std::wstring& path, uint32_t size = 4096) {
  const uint32_t drive = path.empty() ? 2 : static_cast<uint32_t>((path[0] | 0x20) - L'a');
  return {number, drive, size, path, std::string()};
}

BinItemName Name(const char* text) {
  BinItemName n;
  EXPECT_TRUE(ParseBinItemName(text, &n)) << text;
  return n;
}

// The answer of the one-item walk, which the folder's indexed lookup must give too.
std::string Former(const std::vector<Item>& items, const char* name, uint64_t size = 1000) {
  const std::vector<uint8_t> bytes = Info2(items);
  std::string former, looked;
  const bool found = FormerPathOfBinItem(ParseInfo2(bytes.data(), bytes.size()), Name(name), size, &former);
  const Info2Lookup lookup(ParseInfo2(bytes.data(), bytes.size()));
  EXPECT_EQ(lookup.FormerPath(Name(name), size, &looked), found) << name;
  if (!found) return "-";
  EXPECT_EQ(looked, former) << name;
  return former;
}

}  // namespace

TEST(Info2, EntriesOfBothSizesAreRead) {
  // Windows 2000 and XP: the UTF-16 path decides.
  std::vector<uint8_t> xp = Info2({Wide(1, L"C:\\Docs\\a.jpg", 8192), Wide(7, L"D:\\b.txt", 512)});
  std::vector<Info2Entry> e = ParseInfo2(xp.data(), xp.size());
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].number, 1u);
  EXPECT_EQ(e[0].drive, 2u);
  EXPECT_EQ(e[0].size, 8192u);
  EXPECT_EQ(e[0].path, L"C:\\Docs\\a.jpg");
  EXPECT_EQ(e[1].path, L"D:\\b.txt");

  // Windows 98 and Me: the ANSI path only. An item taken out of the bin has
  // its first byte cleared; its drive number gives the letter back, unless
  // that number names no drive.
  const std::string cat = Utf8ToAnsi("C:\\相片\\猫.jpg");
  std::string cleared = cat;
  cleared[0] = 0;
  std::vector<uint8_t> me = Info2({{0, 2, 4096, L"", cat}, {1, 3, 4096, L"", cleared}, {2, 99, 4096, L"", cleared}},
                                  280);
  e = ParseInfo2(me.data(), me.size());
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].path, L"C:\\相片\\猫.jpg");
  EXPECT_EQ(e[1].path, L"D:\\相片\\猫.jpg");
  EXPECT_TRUE(e[2].path.empty());

  // An 800-byte entry without its UTF-16 path falls back on the ANSI one.
  std::vector<uint8_t> half = Info2({{3, 2, 4096, L"", "C:\\x.doc"}});
  e = ParseInfo2(half.data(), half.size());
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].path, L"C:\\x.doc");
}

TEST(Info2, AHostileHeaderOrACutFileGivesNoMoreThanItHolds) {
  std::vector<uint8_t> good = Info2({Wide(1, L"C:\\a.jpg"), Wide(2, L"C:\\b.jpg")});
  EXPECT_TRUE(ParseInfo2(nullptr, 100).empty());
  EXPECT_TRUE(ParseInfo2(good.data(), 19).empty());
  EXPECT_TRUE(ParseInfo2(good.data(), 20).empty());
  EXPECT_EQ(ParseInfo2(good.data(), 20 + 799).size(), 0u);
  EXPECT_EQ(ParseInfo2(good.data(), 20 + 800 + 799).size(), 1u);
  EXPECT_EQ(ParseInfo2(good.data(), good.size()).size(), 2u);
  // Entry sizes that are neither kind: nothing at all, not a guess.
  for (uint32_t size : {0u, 1u, 20u, 279u, 281u, 520u, 799u, 801u, 1600u, 0x80000000u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> bad = good;
    std::memcpy(&bad[12], &size, 4);
    EXPECT_TRUE(ParseInfo2(bad.data(), bad.size()).empty()) << size;
  }
  // A UTF-16 path with no end is read to its field's end and no further.
  Item endless = Wide(3, std::wstring(300, L'x'));
  std::vector<uint8_t> run = Info2({endless});
  std::vector<Info2Entry> e = ParseInfo2(run.data(), run.size());
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].path.size(), 260u);
}

TEST(Info2, BinItemNames) {
  BinItemName n;
  ASSERT_TRUE(ParseBinItemName("Dc1.jpg", &n));
  EXPECT_EQ(n.letter, 'C');
  EXPECT_EQ(n.number, 1u);
  EXPECT_EQ(n.extension, "jpg");
  ASSERT_TRUE(ParseBinItemName("DD123456789", &n));
  EXPECT_EQ(n.letter, 'D');
  EXPECT_EQ(n.number, 123456789u);
  EXPECT_EQ(n.extension, "");
  ASSERT_TRUE(ParseBinItemName("_E7.TXT", &n));   // a deleted short name
  EXPECT_EQ(n.letter, 'E');
  EXPECT_EQ(n.extension, "TXT");
  for (const char* bad : {"", "D", "Dc", "Dc.jpg", "D1.jpg", "Dcx.jpg", "Dc1.", "Dc1x", "Dc1 .jpg", "Dc-1.jpg",
                          "Dc1234567890.jpg", "$RAB12CD.jpg", "xc1.jpg", "D\xe9" "1.jpg", "INFO2"})
    EXPECT_FALSE(ParseBinItemName(bad, &n)) << bad;
  EXPECT_FALSE(ParseBinItemName(nullptr, &n));

  for (const char* yes : {"INFO2", "info2", "_NFO2", "INFO", "_nfo"}) EXPECT_TRUE(IsInfo2Name(yes)) << yes;
  for (const char* no : {"INFO3", "INFO2.txt", "XNFO2", "INF", "", "Dc1.jpg"}) EXPECT_FALSE(IsInfo2Name(no)) << no;
}

TEST(Info2, AnItemIsNamedOnlyByAnEntryThatIsItsOwn) {
  const std::vector<Item> items = {Wide(1, L"C:\\Docs\\a.jpg"), Wide(2, L"C:\\Docs\\Notes"),
                                   Wide(3, L"C:\\b.JPG"), Wide(4, L"D:\\d.txt")};
  EXPECT_EQ(Former(items, "Dc1.jpg"), "C:\\Docs\\a.jpg");
  EXPECT_EQ(Former(items, "Dc2", UINT64_MAX), "C:\\Docs\\Notes");   // a folder
  EXPECT_EQ(Former(items, "dc3.jpg"), "C:\\b.JPG");                 // extensions compare without case
  EXPECT_EQ(Former(items, "Dd4.txt"), "D:\\d.txt");
  // Another number, another drive, another extension: not this item's.
  EXPECT_EQ(Former(items, "Dc9.jpg"), "-");
  EXPECT_EQ(Former(items, "Dd1.jpg"), "-");
  EXPECT_EQ(Former(items, "Dc1.png"), "-");
  EXPECT_EQ(Former(items, "Dc1"), "-");
  EXPECT_EQ(Former(items, "Dc2.txt"), "-");
  // The drive number and the path's letter must agree; a number past Z
  // names no drive.
  EXPECT_EQ(Former({{5, 2, 4096, L"D:\\e.jpg", ""}}, "Dc5.jpg"), "-");
  EXPECT_EQ(Former({{5, 3, 4096, L"C:\\e.jpg", ""}}, "Dc5.jpg"), "-");
  EXPECT_EQ(Former({{5, 2 + 26, 4096, L"C:\\e.jpg", ""}}, "Dc5.jpg"), "-");
  EXPECT_EQ(Former({{5, 0xFFFFFFFFu, 4096, L"C:\\e.jpg", ""}}, "Dc5.jpg"), "-");
}

TEST(Info2, PathsThatAreNotWholeOrClimbOutAreRefused) {
  const wchar_t* const bad[] = {
      L"C:\\..\\Windows\\x.jpg", L"C:\\a\\..\\..\\x.jpg", L"C:\\a\\.\\x.jpg", L"C:\\a\\ . \\x.jpg",
      L"C:\\a\\\\x.jpg",         L"C:\\a\\x.jpg\\",       L"C:x.jpg",          L"\\\\server\\share\\x.jpg",
      L"C:/a/x.jpg",             L"C:\\a/..\\x.jpg",      L"C:\\a\\b:x.jpg",   L"C:\\a\x01\\x.jpg",
      L"1:\\x.jpg",              L"C:\\",                 L"C:\\..",           L"x.jpg"};
  for (size_t i = 0; i < std::size(bad); ++i) EXPECT_EQ(Former({{1, 2, 4096, bad[i], ""}}, "Dc1.jpg"), "-") << i;
  // Long paths: 259 bytes are kept, 260 are not.
  const std::wstring folder = L"C:\\" + std::wstring(250, L'a') + L"\\";
  EXPECT_NE(Former({Wide(1, folder + L"1.jpg")}, "Dc1.jpg"), "-");
  EXPECT_EQ(Former({Wide(1, folder + L"12.jpg")}, "Dc1.jpg"), "-");
  // The same safety on the ANSI path of a 98 entry.
  const std::vector<uint8_t> me = Info2({{1, 2, 4096, L"", "C:\\..\\x.jpg"}}, 280);
  std::string former;
  EXPECT_FALSE(FormerPathOfBinItem(ParseInfo2(me.data(), me.size()), Name("Dc1.jpg"), 10, &former));
}

TEST(Info2, EntriesOfBinsEmptiedBeforeDoNotMakeANameUp) {
  // Two index files of one folder (the numbers began again after the first
  // bin was emptied) name item 1 twice.
  const std::vector<Item> same = {Wide(1, L"C:\\a.jpg", 8192), Wide(1, L"C:\\a.jpg", 4096)};
  EXPECT_EQ(Former(same, "Dc1.jpg", 5000), "C:\\a.jpg");
  // Different paths: the entry whose size on disk fits the item's decides.
  const std::vector<Item> two = {Wide(1, L"C:\\old.jpg", 65536 * 4), Wide(1, L"C:\\new.jpg", 8192)};
  EXPECT_EQ(Former(two, "Dc1.jpg", 5000), "C:\\new.jpg");
  EXPECT_EQ(Former(two, "Dc1.jpg", 65536 * 4 - 100), "C:\\old.jpg");
  // Both fit, or neither, or the item is a folder: it keeps its bin name.
  const std::vector<Item> both = {Wide(1, L"C:\\old.jpg", 8192), Wide(1, L"C:\\new.jpg", 8192)};
  EXPECT_EQ(Former(both, "Dc1.jpg", 5000), "-");
  EXPECT_EQ(Former(two, "Dc1.jpg", 1u << 30), "-");
  EXPECT_EQ(Former({Wide(1, L"C:\\A"), Wide(1, L"C:\\B")}, "Dc1", UINT64_MAX), "-");
  // A sound entry is not spoiled by an unsound one of the same number.
  EXPECT_EQ(Former({Wide(1, L"C:\\..\\x.jpg"), Wide(1, L"C:\\a.jpg")}, "Dc1.jpg"), "C:\\a.jpg");
}

TEST(Info2, ManyIndexFilesNumberingFromOneAgainAreLookedUpByNumber) {
  // 64 bins emptied one after the other: each index file numbers its items
  // from 1, and only the last one's sizes fit the items found.
  std::vector<Item> all;
  for (int copy = 0; copy < 64; ++copy)
    for (uint32_t n = 1; n <= 400; ++n) {
      const bool last = copy == 63;
      all.push_back(Wide(n, L"C:\\bin" + std::to_wstring(copy) + L"\\f" + std::to_wstring(n) + L".jpg",
                         last ? 8192 : 65536 * 8));
    }
  const std::vector<uint8_t> bytes = Info2(all);
  const Info2Lookup lookup(ParseInfo2(bytes.data(), bytes.size()));
  for (uint32_t n = 1; n <= 400; ++n) {
    std::string former;
    const std::string item = "Dc" + std::to_string(n) + ".jpg";
    ASSERT_TRUE(lookup.FormerPath(Name(item.c_str()), 5000, &former)) << n;
    EXPECT_EQ(former, "C:\\bin63\\f" + std::to_string(n) + ".jpg");
  }
  std::string none;
  EXPECT_FALSE(lookup.FormerPath(Name("Dc401.jpg"), 5000, &none));
  EXPECT_FALSE(lookup.FormerPath(Name("Dd1.jpg"), 5000, &none));   // another drive
}

// ---- on the scanned images -------------------------------------------------------------------

namespace {

const std::string kSid = "\\S-1-5-21-1000-2000-3000-1003";
constexpr int kNtfs = 'N' - 'C';
constexpr int kFat = 'F' - 'C';

int IndexOf(const std::string& utf8Path, int drive) {
  const std::string ansi = Utf8ToAnsi(utf8Path);
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  for (size_t i = 0; i < gDeletedFiles.size(); ++i)
    if (ansi == gDeletedFiles[i].path && gDeletedFiles[i].driveIndex == drive) return static_cast<int>(i);
  return -1;
}

DeletedFileRecord RecordAt(int index) {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  return gDeletedFiles[static_cast<size_t>(index)];
}

void AddLike(int model, const std::string& utf8Path, uint32_t size = 0) {
  DeletedFileRecord r = RecordAt(model);
  std::memset(r.path, 0, sizeof r.path);
  const std::string ansi = Utf8ToAnsi(utf8Path);
  std::memcpy(r.path, ansi.data(), ansi.size());
  if (size) r.size = size;
  AppendDeletedFile(r);
}

std::string ShaOf(const std::string& fixture, const std::string& path) {
  for (const testsupport::ManifestEntry& e : testsupport::ReadManifest(fixture))
    if (e.path == path) return e.sha256;
  return std::string();
}

class OldBins : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearDeletedFiles();
    ASSERT_EQ(ntfstest::RunScan("N:\\RECYCLER"), 0);
    ASSERT_EQ(ntfstest::RunScan("N:\\RECYCLED"), 0);   // not there: nothing, and no failure
    ASSERT_EQ(ntfstest::RunScan("F:\\RECYCLER"), 0);
    ASSERT_EQ(DeletedFileCount(), 4u);
    ASSERT_EQ(ntfstest::RunScan("F:\\RECYCLED"), 0);
    ASSERT_EQ(DeletedFileCount(), 7u);
  }
};

}  // namespace

TEST_F(OldBins, EmptiedBinsGiveTheirItemsTheirFormerPaths) {
  // Records that only look like bin items: too deep, in a folder that is no
  // user's, at the top of a bin whose index file lies elsewhere, and one
  // whose index file is no index file (it has a picture's bytes).
  const int pic = IndexOf(kSid + "\\Dc1.jpg", kNtfs);
  const int info = IndexOf(kSid + "\\INFO2", kNtfs);
  const int fatPic = IndexOf("\\Dd2.jpg", kFat);
  ASSERT_GE(pic, 0);
  ASSERT_GE(info, 0);
  ASSERT_GE(fatPic, 0);
  AddLike(pic, kSid + "\\sub\\Dc1.jpg");
  AddLike(pic, "\\Backup\\Dc1.jpg");
  AddLike(info, "\\Backup\\INFO2");
  AddLike(pic, "\\Dc1.jpg");
  AddLike(fatPic, "\\S-1-5-21-9\\Dd2.jpg");
  AddLike(fatPic, "\\S-1-5-21-9\\INFO2");

  EXPECT_EQ(ResolveRecycleBinNames(), 0);
  const std::string lin = kSid + "\\Documents and Settings\\Lin";
  EXPECT_GE(IndexOf(lin + "\\桌面\\海边.jpg", kNtfs), 0);
  EXPECT_GE(IndexOf(lin + "\\My Documents\\Report.docx", kNtfs), 0);
  EXPECT_GE(IndexOf(lin + "\\旅行\\trip.jpg", kNtfs), 0);   // below an item that is a folder
  EXPECT_GE(IndexOf(kSid + "\\INFO2", kNtfs), 0);
  // FAT32: the bin is the scanned folder itself; the item deleted from the
  // bin on its own is named by its entry all the same.
  EXPECT_GE(IndexOf("\\Notes\\购物.txt", kFat), 0);
  EXPECT_GE(IndexOf("\\Photos\\猫.jpg", kFat), 0);
  EXPECT_GE(IndexOf("\\_NFO2", kFat), 0);

  EXPECT_GE(IndexOf(kSid + "\\sub\\Dc1.jpg", kNtfs), 0);
  EXPECT_GE(IndexOf("\\Backup\\Dc1.jpg", kNtfs), 0);
  EXPECT_GE(IndexOf("\\Dc1.jpg", kNtfs), 0);
  EXPECT_GE(IndexOf("\\S-1-5-21-9\\Dd2.jpg", kFat), 0);

  // Run again, nothing changes (the renamed records are no bin items).
  EXPECT_EQ(ResolveRecycleBinNames(), 0);
  EXPECT_GE(IndexOf(lin + "\\桌面\\海边.jpg", kNtfs), 0);
  EXPECT_GE(IndexOf("\\Photos\\猫.jpg", kFat), 0);
}

TEST_F(OldBins, AnIndexFileIsReadAsFarAsItGoesAndNoFurther) {
  const int info = IndexOf("\\_NFO2", kFat);
  ASSERT_GE(info, 0);
  std::vector<uint8_t> bytes(5, 0xAB);
  ASSERT_EQ(ReadRecordContentUpTo(static_cast<uint32_t>(info), kInfo2MaxBytes, &bytes), 1620);
  EXPECT_EQ(testsupport::Sha256Hex(bytes.data(), bytes.size()), ShaOf("fat-recycler", "/RECYCLED/INFO2"));
  EXPECT_EQ(ReadRecordContentUpTo(static_cast<uint32_t>(info), 100, &bytes), 100);
  EXPECT_EQ(bytes.size(), 100u);

  const int pic = IndexOf(kSid + "\\Dc1.jpg", kNtfs);
  ASSERT_GE(pic, 0);
  ASSERT_EQ(ReadRecordContentUpTo(static_cast<uint32_t>(pic), kInfo2MaxBytes, &bytes), 15000);
  EXPECT_EQ(testsupport::Sha256Hex(bytes.data(), bytes.size()),
            ShaOf("ntfs-recycler", "/RECYCLER/S-1-5-21-1000-2000-3000-1003/Dc1.jpg"));

  // A FAT record that claims a megabyte from 100 KB before the volume's end:
  // what lies before the end is kept, the rest is not made up.
  DeletedFileRecord r = RecordAt(info);
  r.location = 40 * 1024 * 2 - 200;
  r.size = 1u << 20;
  const uint32_t edge = static_cast<uint32_t>(AppendDeletedFile(r));
  EXPECT_EQ(ReadRecordContentUpTo(edge, kInfo2MaxBytes, &bytes), 65536);
  EXPECT_EQ(bytes.size(), 65536u);
  EXPECT_EQ(ReadRecordContentUpTo(9999, kInfo2MaxBytes, &bytes), -1);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(ReadRecordContentUpTo(static_cast<uint32_t>(info), kInfo2MaxBytes, nullptr), -1);
}
