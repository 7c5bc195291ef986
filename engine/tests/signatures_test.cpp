// The signature tables: the files the build puts beside the program, and the
// reader's handling of tables that are short, foreign or odd.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "signatures/signature_table.h"
#include "testsupport.h"

namespace {

std::vector<uint8_t> Table(const std::vector<SignatureRecord>& records, bool endMark = true) {
  std::vector<uint8_t> out(32, 0);
  std::memcpy(out.data(), "BRNK", 4);
  for (const SignatureRecord& r : records) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&r);
    out.insert(out.end(), p, p + sizeof r);
  }
  if (endMark) {
    SignatureRecord end = {};
    end.slotCount = kSignatureEndMark;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&end);
    out.insert(out.end(), p, p + sizeof end);
  }
  return out;
}

SignatureRecord Record(const char* name, uint8_t count, std::vector<std::vector<uint8_t>> slots) {
  SignatureRecord r = {};
  std::memcpy(r.name, name, std::min<size_t>(std::strlen(name), 7));
  r.slotCount = count;
  for (size_t i = 0; i < slots.size() && i < 5; ++i) {
    r.slots[i].length = static_cast<uint8_t>(slots[i].size());
    std::memcpy(r.slots[i].pattern, slots[i].data(), slots[i].size());
  }
  return r;
}

std::vector<uint8_t> Sector(std::vector<uint8_t> start) {
  start.resize(512, 0x11);
  return start;
}

}  // namespace

TEST(ShippedTables, BothLoadAndEveryRowIsWellFormed) {
  for (const char* file : {kDeletedTypeTableName, kSignatureScanTableName}) {
    SignatureTable t;
    ASSERT_EQ(t.Load(SignatureTablePath(file)), SignatureTableStatus::kOk) << file;
    ASSERT_GT(t.size(), 10u) << file;
    for (size_t i = 0; i < t.size(); ++i) {
      const SignatureRecord& r = t.record(i);
      EXPECT_GE(r.slotCount, 1) << file << " " << t.TypeName(i);
      EXPECT_LE(r.slotCount, 5);
      EXPECT_GE(r.slots[0].length, 1) << "a first slot of length 0 would match every sector";
      for (int s = 0; s < r.slotCount; ++s) EXPECT_GE(r.slots[s].length, 1);
      for (int s = r.slotCount; s < 5; ++s) EXPECT_EQ(r.slots[s].length, 0);
      EXPECT_EQ(t.FindType(t.TypeName(i)), static_cast<int>(i)) << "one row per type";
    }
  }
}

TEST(ShippedTables, TheDeletedFileTableKnowsTheFilterExtensions) {
  SignatureTable t;
  ASSERT_EQ(t.Load(SignatureTablePath(kDeletedTypeTableName)), SignatureTableStatus::kOk);
  // Every extension of the file-type filter whose format begins with a fixed
  // signature (raw camera files, ram playlists and the zr* formats do not).
  for (const char* ext : {"jpeg", "jpg", "bmp", "gif", "png", "dib", "jpe", "ico", "cur", "tiff", "tif", "psd",
                          "pdd", "pcx", "ac3", "mp3", "midi", "ape", "wav", "rmvb", "rm", "avi", "mpeg", "mpg",
                          "wma", "mov", "asf", "mpe", "swf", "flv", "vob", "ifo", "wm", "mp4", "m4p", "m4b", "m4v",
                          "wmp", "doc", "xls", "ppt", "vsd", "dot", "xlw", "docx", "xlsx", "pptx", "pdf", "uof",
                          "html", "htm", "htx", "asp", "stm", "shtml", "mht"})
    EXPECT_GE(t.FindType(ext), 0) << ext;
  EXPECT_GE(t.FindType("JPG"), 0) << "case is ignored";
  EXPECT_LT(t.FindType("txt"), 0);
}

TEST(ShippedTables, TheScanTableNamesTheRefinedTypesAndTellsFormatsApart) {
  SignatureTable t;
  ASSERT_EQ(t.Load(SignatureTablePath(kSignatureScanTableName)), SignatureTableStatus::kOk);
  for (const char* type : {"jpg", "mpg", "doc", "bmp", "zip"}) EXPECT_GE(t.FindType(type), 0) << type;
  struct {
    std::vector<uint8_t> start;
    const char* type;
  } cases[] = {
      {{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F'}, "jpg"},
      {{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, "png"},
      {{'G', 'I', 'F', '8', '9', 'a'}, "gif"},
      {{'%', 'P', 'D', 'F', '-', '1'}, "pdf"},
      {{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}, "doc"},
      {{'P', 'K', 3, 4, 20, 0}, "zip"},
      {{0, 0, 1, 0xBA, 0x44}, "mpg"},
      {{'B', 'M', 0x36, 0, 0, 0}, "bmp"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> s = Sector(c.start);
    size_t record = 0;
    int slot = -1;
    ASSERT_TRUE(t.MatchSector(s.data(), s.size(), &record, &slot)) << c.type;
    EXPECT_EQ(t.TypeName(record), c.type);
    EXPECT_EQ(slot, 0);
  }
  std::vector<uint8_t> zeros(512, 0), text = Sector({'H', 'e', 'l', 'l', 'o'});
  EXPECT_FALSE(t.MatchSector(zeros.data(), zeros.size(), nullptr, nullptr)) << "an empty sector is no file";
  EXPECT_FALSE(t.MatchSector(text.data(), text.size(), nullptr, nullptr));
}

TEST(SignatureReader, RejectsShortAndForeignFiles) {
  SignatureTable t;
  std::vector<uint8_t> good = Table({Record("jpg", 1, {{0xFF, 0xD8}})});
  EXPECT_EQ(t.LoadFromBytes(good.data(), 31), SignatureTableStatus::kDamaged) << "shorter than the header";
  std::vector<uint8_t> foreign = good;
  foreign[0] = 'X';
  EXPECT_EQ(t.LoadFromBytes(foreign.data(), foreign.size()), SignatureTableStatus::kDamaged);
  EXPECT_EQ(t.size(), 0u) << "no record of a rejected table is used";
  std::vector<uint8_t> longSlot = Table({Record("bad", 1, {{1}})});
  longSlot[32 + 8] = 8;
  EXPECT_EQ(t.LoadFromBytes(longSlot.data(), longSlot.size()), SignatureTableStatus::kDamaged);
  EXPECT_EQ(t.Load(testsupport::ScratchDir("sig") + "absent.dat"), SignatureTableStatus::kMissing);
  EXPECT_EQ(t.LoadFromBytes(good.data(), good.size()), SignatureTableStatus::kOk);
  EXPECT_EQ(t.size(), 1u);
}

TEST(SignatureReader, TheEndMarkEndsTheTableAndNamesOfSevenHaveNoNul) {
  SignatureTable t;
  std::vector<uint8_t> onlyEnd = Table({});
  ASSERT_EQ(t.LoadFromBytes(onlyEnd.data(), onlyEnd.size()), SignatureTableStatus::kOk);
  std::vector<uint8_t> s = Sector({0xFF, 0xD8, 0xFF});
  EXPECT_FALSE(t.MatchSector(s.data(), s.size(), nullptr, nullptr));

  std::vector<uint8_t> bytes = Table({Record("seventy", 1, {{0xFF, 0xD8}}), Record("after", 1, {{0x00}})});
  // A record after the end mark is never read.
  std::vector<uint8_t> tail = Table({Record("ghost", 1, {{0x11}})});
  bytes.insert(bytes.end(), tail.begin() + 32, tail.end());
  ASSERT_EQ(t.LoadFromBytes(bytes.data(), bytes.size()), SignatureTableStatus::kOk);
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t.TypeName(0), "seventy");
  EXPECT_EQ(t.FindType("SEVENTY"), 0);
  EXPECT_LT(t.FindType("ghost"), 0);

  // Without an end mark the whole records are used; a partial one is not.
  std::vector<uint8_t> open = Table({Record("one", 1, {{1}}), Record("two", 1, {{2}})}, false);
  open.resize(open.size() - 10);
  ASSERT_EQ(t.LoadFromBytes(open.data(), open.size()), SignatureTableStatus::kOk);
  EXPECT_EQ(t.size(), 1u);
}

TEST(SignatureReader, SlotsAreTriedInOrderAsManyAsTheCountSays) {
  SignatureTable t;
  std::vector<uint8_t> bytes = Table({
      Record("none", 0, {{0xAA}}),                          // a count of 0 tries nothing
      Record("two", 2, {{0xAA, 0xBB}, {0xAA}, {0xCC}}),     // the third slot is not tried
      Record("many", 9, {{1}, {2}, {3}, {4}, {0xCC}}),      // more than five tries all five
      Record("empty", 1, {{}}),                             // length 0 matches every sector
  });
  ASSERT_EQ(t.LoadFromBytes(bytes.data(), bytes.size()), SignatureTableStatus::kOk);
  size_t record;
  int slot;
  std::vector<uint8_t> s = Sector({0xAA, 0x00});
  ASSERT_TRUE(t.MatchSector(s.data(), s.size(), &record, &slot));
  EXPECT_EQ(t.TypeName(record), "two");
  EXPECT_EQ(slot, 1);
  s = Sector({0xCC});
  ASSERT_TRUE(t.MatchSector(s.data(), s.size(), &record, &slot));
  EXPECT_EQ(t.TypeName(record), "many");
  EXPECT_EQ(slot, 4);
  s = Sector({0x77});
  ASSERT_TRUE(t.MatchSector(s.data(), s.size(), &record, &slot));
  EXPECT_EQ(t.TypeName(record), "empty");
  EXPECT_EQ(t.MatchRecord(1, s.data(), 1), -1) << "a pattern longer than the data does not match";
}

TEST(SignatureReader, ASizeLimitRidesInTheFifthSlotThatIsNeverTried) {
  auto withCap = [](SignatureRecord r, uint32_t kib) {
    SignatureSlot& fifth = r.slots[4];
    fifth.length = 0;
    std::memcpy(fifth.pattern, "MX", 2);
    for (int k = 0; k < 4; ++k) fifth.pattern[2 + k] = static_cast<uint8_t>(kib >> (8 * k));
    return r;
  };
  SignatureRecord full = Record("five", 5, {{1}, {2}, {3}, {4}, {5}});
  SignatureRecord marked = withCap(Record("four", 4, {{1}, {2}, {3}, {4}}), 3);
  SignatureRecord counted = withCap(Record("over", 5, {{6}, {7}}), 3);   // the count tries the fifth slot
  SignatureRecord plain = Record("none", 1, {{9}});
  std::vector<uint8_t> bytes = Table({withCap(Record("jpg", 1, {{0xFF, 0xD8}}), 128 * 1024), marked, full, counted,
                                      plain, withCap(Record("big", 1, {{8}}), 0xFFFFFFFFu)});
  SignatureTable t;
  ASSERT_EQ(t.LoadFromBytes(bytes.data(), bytes.size()), SignatureTableStatus::kOk);
  EXPECT_EQ(t.SizeCap(0), 128ull << 20);
  EXPECT_EQ(t.SizeCap(1), 3u * 1024);
  EXPECT_EQ(t.SizeCap(2), 0u) << "a fifth pattern is no limit";
  EXPECT_EQ(t.SizeCap(3), 0u) << "nor a slot the count says to try";
  EXPECT_EQ(t.SizeCap(4), 0u);
  EXPECT_EQ(t.SizeCap(5), 0xFFFFFFFFull * 1024) << "32 bits of KiB: 4 TiB";
  // The limit changes nothing in matching: its slot is never tried.
  std::vector<uint8_t> one = Table({marked});
  ASSERT_EQ(t.LoadFromBytes(one.data(), one.size()), SignatureTableStatus::kOk);
  std::vector<uint8_t> s = Sector({0x42});
  EXPECT_FALSE(t.MatchSector(s.data(), s.size(), nullptr, nullptr));
  s = Sector({4});
  EXPECT_TRUE(t.MatchSector(s.data(), s.size(), nullptr, nullptr));

  // The shipped scan table gives a limit for every type; the deleted-file
  // table has no use for one.
  SignatureTable scan, deleted;
  ASSERT_EQ(scan.Load(SignatureTablePath(kSignatureScanTableName)), SignatureTableStatus::kOk);
  ASSERT_EQ(deleted.Load(SignatureTablePath(kDeletedTypeTableName)), SignatureTableStatus::kOk);
  for (size_t i = 0; i < scan.size(); ++i) EXPECT_GE(scan.SizeCap(i), 1u << 20) << scan.TypeName(i);
  for (size_t i = 0; i < deleted.size(); ++i) EXPECT_EQ(deleted.SizeCap(i), 0u) << deleted.TypeName(i);
  EXPECT_EQ(scan.SizeCap(static_cast<size_t>(scan.FindType("jpg"))), 128ull << 20);
}
