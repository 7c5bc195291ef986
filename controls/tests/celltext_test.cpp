// Column texts of a tree-list row and the "..." shortening of cell texts,
// with Chinese (code page 936) texts as the pages show them.
#include <gtest/gtest.h>

#include <string>

#include "celltext.h"
#include "testsupport.h"

using namespace controls;
// The class layer compiles its users with code-page-936 literals.
std::string Utf8ToAnsi(const std::string& s) { return s; }

namespace {
std::string Row(std::initializer_list<const char*> cols) {
  std::string r;
  bool first = true;
  for (const char* c : cols) {
    if (!first) r.push_back('\0');
    r += c;
    first = false;
  }
  return r;
}

// Every byte 7 pixels, as a fixed-pitch font would measure.
int FixedWidth(const char*, int len) { return len * 7; }

// A double-byte character as wide as two single ones, but a lone lead byte
// (half a character) measured as a full glyph: a split would not be visible
// in the widths, only in the bytes.
bool EndsInsideDoubleByte(const std::string& s) {
  std::vector<size_t> ends = Cp936CharEnds(s);
  return !ends.empty() && ends.back() != s.size();
}
}  // namespace

TEST(ColumnText, ReadsColumnsAndMissingOnesAreEmpty) {
  std::string r = Row({"a.txt", "12 KB", "", "2024-1-2 3:4:5"});
  EXPECT_EQ(ColumnText(r, 0), "a.txt");
  EXPECT_EQ(ColumnText(r, 1), "12 KB");
  EXPECT_EQ(ColumnText(r, 2), "");
  EXPECT_EQ(ColumnText(r, 3), "2024-1-2 3:4:5");
  EXPECT_EQ(ColumnText(r, 4), "");
  EXPECT_EQ(ColumnText(r, -1), "");
  EXPECT_EQ(ColumnText("", 0), "");
}

TEST(ColumnText, SettingColumnThreeOfSingleColumnRowLeavesOneAndTwoEmpty) {
  std::string r = "name";
  SetColumnText(&r, 3, "x");
  EXPECT_EQ(r, Row({"name", "", "", "x"}));
  EXPECT_EQ(ColumnText(r, 1), "");
  EXPECT_EQ(ColumnText(r, 2), "");
}

TEST(ColumnText, ReplacesFirstMiddleAndLastColumns) {
  std::string r = Row({"a", "b", "c"});
  SetColumnText(&r, 1, "longer middle");
  EXPECT_EQ(r, Row({"a", "longer middle", "c"}));
  SetColumnText(&r, 2, "");
  EXPECT_EQ(r, Row({"a", "longer middle", ""}));
  SetColumnText(&r, 0, Utf8ToAnsi("照片.jpg"));
  EXPECT_EQ(ColumnText(r, 0), Utf8ToAnsi("照片.jpg"));
  EXPECT_EQ(ColumnText(r, 1), "longer middle");
}

TEST(ColumnText, SeparatorInsideTextCannotShiftLaterColumns) {
  std::string r = Row({"a", "b", "c"});
  SetColumnText(&r, 1, std::string("x\0y", 3));
  EXPECT_EQ(r, Row({"a", "x", "c"}));
  std::string tabbed = "a\tb";
  SetColumnText(&tabbed, 2, "c\td", '\t');
  EXPECT_EQ(tabbed, "a\tb\tc");
}

TEST(ColumnText, ChineseColumns) {
  // Trail bytes of code page 936 are never 0, so NUL separates safely.
  std::string r = Row({Utf8ToAnsi("数据").c_str(), "1 KB"});
  EXPECT_EQ(ColumnText(r, 0), Utf8ToAnsi("数据"));
  EXPECT_EQ(ColumnText(r, 1), "1 KB");
}

TEST(Cp936, CharacterEnds) {
  std::string s = Utf8ToAnsi("a照b");
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(Cp936CharEnds(s), (std::vector<size_t>{1, 3, 4}));
  // A lone lead byte at the end is one (broken) character, not a read past it.
  EXPECT_EQ(Cp936CharEnds(std::string("a\xD5", 2)), (std::vector<size_t>{1, 2}));
}

TEST(FitWithEllipsis, TextThatFitsIsLeftAlone) {
  EXPECT_EQ(FitWithEllipsis("abc", 21, FixedWidth), "abc");
  EXPECT_EQ(FitWithEllipsis("", 0, FixedWidth), "");
}

TEST(FitWithEllipsis, ShortensLatinText) {
  std::string out = FitWithEllipsis("abcdefghij", 7 * 7, FixedWidth);
  EXPECT_EQ(out, "abcd...");
  EXPECT_EQ(FitWithEllipsis("abcdefghij", 2 * 7, FixedWidth), "...");  // not even dots fit
}

TEST(FitWithEllipsis, NeverSplitsChineseCharacter) {
  std::string name = Utf8ToAnsi("我的照片备份文件夹里的所有图片.jpg");
  for (int limit = 0; limit <= static_cast<int>(name.size()) * 7 + 7; ++limit) {
    std::string out = FitWithEllipsis(name, limit, FixedWidth);
    if (out == name) continue;
    ASSERT_GE(out.size(), 3u);
    ASSERT_EQ(out.substr(out.size() - 3), "...");
    std::string kept = out.substr(0, out.size() - 3);
    EXPECT_FALSE(EndsInsideDoubleByte(kept)) << "limit " << limit;
    EXPECT_EQ(name.compare(0, kept.size(), kept), 0);
    if (!kept.empty()) {
      EXPECT_LE(FixedWidth(out.data(), static_cast<int>(out.size())), limit);
    }
  }
  // Odd limits: a whole character is dropped rather than half of one kept.
  std::string five = FitWithEllipsis(Utf8ToAnsi("数据恢复"), 7 * 6, FixedWidth);
  EXPECT_EQ(five, Utf8ToAnsi("数") + "...");
}

TEST(FitWithEllipsis, MixedTextKeepsLongestWholePrefix) {
  std::string s = Utf8ToAnsi("ab数据cd");
  // 2 + 2 + 2 bytes of "ab数" = 4 bytes + "..." = 7 bytes
  EXPECT_EQ(FitWithEllipsis(s, 7 * 7, FixedWidth), Utf8ToAnsi("ab数") + "...");
  EXPECT_EQ(FitWithEllipsis(s, 6 * 7, FixedWidth), "ab...");
}
