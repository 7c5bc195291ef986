// CString and CStringW: code page 936 text (this file's narrow literals are
// compiled to GBK), embedded NULs, formatting and the string table.
#include <gtest/gtest.h>

#include "fw_app.h"
#include "fw_string.h"
#include "fwtest_ids.h"
#include "testsupport.h"

using testsupport::AnsiToUtf8;

namespace {

// GBK characters whose second byte is an ASCII character: 誠 = D5 5C ('\'),
// 乤 = 81 61 ('a'), 丄 = 81 41 ('A'), 亅 = 81 7C ('|').
TEST(CStringGbk, LiteralsAreCodePage936) {
  CString s("数据恢复");
  ASSERT_EQ(s.GetLength(), 8);
  EXPECT_EQ(static_cast<unsigned char>(s[0]), 0xCA);
  EXPECT_EQ(static_cast<unsigned char>(s[1]), 0xFD);
  EXPECT_EQ(AnsiToUtf8(s.GetString()), u8"数据恢复");
}

TEST(CStringGbk, FindNeverMatchesATrailByte) {
  CString path("C:\\誠\\a.txt");   // C : \ D5 5C \ a . t x t
  ASSERT_EQ(path.GetLength(), 11);
  EXPECT_EQ(path.Find('\\'), 2);
  EXPECT_EQ(path.Find('\\', 3), 5);    // not the 5C inside 誠 at 4
  EXPECT_EQ(path.Find('\\', 4), 5);    // a start inside a character is fine
  EXPECT_EQ(path.ReverseFind('\\'), 5);
  EXPECT_EQ(CString("誠").ReverseFind('\\'), -1);
  EXPECT_EQ(CString("亅").FindOneOf("|"), -1);
  EXPECT_EQ(CString("亅|").FindOneOf("|"), 2);
  EXPECT_EQ(path.Find("\\a"), 5);
}

TEST(CStringGbk, ReplaceAndRemoveKeepCharactersWhole) {
  CString s("誠\\誠");
  EXPECT_EQ(s.Replace('\\', '/'), 1);
  EXPECT_EQ(AnsiToUtf8(s.GetString()), u8"誠/誠");
  CString t("亅|亅");
  EXPECT_EQ(t.Remove('|'), 1);
  EXPECT_EQ(AnsiToUtf8(t.GetString()), u8"亅亅");
  CString u("誠\\x\\");
  EXPECT_EQ(u.Replace("\\", "::"), 2);
  EXPECT_EQ(AnsiToUtf8(u.GetString()), u8"誠::x::");
}

TEST(CStringGbk, CaseChangesOnlyAsciiLetters) {
  CString up("乤b");
  up.MakeUpper();
  EXPECT_EQ(AnsiToUtf8(up.GetString()), u8"乤B");
  CString low("丄X");
  low.MakeLower();
  EXPECT_EQ(AnsiToUtf8(low.GetString()), u8"丄x");
  EXPECT_EQ(CString("ABC丄.TXT").CompareNoCase("abc丄.txt"), 0);
  EXPECT_NE(CString("乤").CompareNoCase("乤A"), 0);
  // 乤 (81 61) and a hypothetical 81 41 must not compare equal by folding.
  EXPECT_NE(CString("乤").CompareNoCase("丄"), 0);
}

TEST(CStringGbk, PrefixLengthDoesNotSplitACharacter) {
  CString s("ab数据");   // a b CA FD BE DD
  EXPECT_EQ(fw::GbkPrefixLength(s, s.GetLength(), 3), 2);
  EXPECT_EQ(fw::GbkPrefixLength(s, s.GetLength(), 4), 4);
  EXPECT_EQ(fw::GbkPrefixLength(s, s.GetLength(), 5), 4);
  EXPECT_EQ(fw::GbkPrefixLength(s, s.GetLength(), 100), 6);
  // A lone lead byte at the end counts as one byte.
  const char lone[] = {'x', '\xCA'};
  EXPECT_EQ(fw::GbkPrefixLength(lone, 2, 2), 2);
}

TEST(CStringGbk, TrimRightKeepsATrailByteThatLooksLikeTheCharacter) {
  CString s("誠\\");
  s.TrimRight('\\');
  EXPECT_EQ(AnsiToUtf8(s.GetString()), u8"誠");
  s.TrimRight('\\');
  EXPECT_EQ(AnsiToUtf8(s.GetString()), u8"誠");   // the 5C of 誠 stays
  CString blanks("  数据 \t\r\n");
  blanks.Trim();
  EXPECT_EQ(AnsiToUtf8(blanks.GetString()), u8"数据");
}

TEST(CStringNul, EmbeddedNulsAreKept) {
  const char filter[] = "VXB(*.VXB)\0*.VXB\0All(*.*)\0*.*\0";
  CString s(filter, sizeof filter - 1);
  EXPECT_EQ(s.GetLength(), static_cast<int>(sizeof filter - 1));
  EXPECT_EQ(s.Find("*.*"), 21);    // inside "All(*.*)"
  EXPECT_EQ(s.Find("*.*", 22), 26);
  CString t = s + CString("x");
  EXPECT_EQ(t.GetLength(), s.GetLength() + 1);
  EXPECT_EQ(t[t.GetLength() - 1], 'x');
  EXPECT_FALSE(s == CString("VXB(*.VXB)"));
  EXPECT_EQ(strcmp(s.GetString(), "VXB(*.VXB)"), 0);   // C view ends at the first NUL
  CString m = s.Mid(11, 5);
  EXPECT_EQ(m, CString("*.VXB"));
}

TEST(CStringBuffer, GetBufferAndReleaseBuffer) {
  CString s;
  char* p = s.GetBuffer(MAX_PATH);
  strcpy(p, "C:\\ZUL");
  s.ReleaseBuffer();
  EXPECT_EQ(s, "C:\\ZUL");
  EXPECT_EQ(s.GetLength(), 6);
  p = s.GetBuffer(2);
  s.ReleaseBuffer(2);
  EXPECT_EQ(s, "C:");
}

TEST(CStringFormat, NarrowFormats) {
  CString s;
  s.Format("%u KB", 4294967295u);
  EXPECT_EQ(s, "4294967295 KB");
  s.Format("%d-%d-%d %d:%d:%d", 2024, 1, 9, 5, 7, 0);
  EXPECT_EQ(s, "2024-1-9 5:7:0");
  s.Format("%s (%c:)", "本地硬盘", 'D');
  EXPECT_EQ(AnsiToUtf8(s.GetString()), u8"本地硬盘 (D:)");
  std::string big(2000, 'x');
  s.Format("[%s]", big.c_str());
  EXPECT_EQ(s.GetLength(), 2002);
  s.AppendFormat("%02d", 7);
  EXPECT_EQ(s.Right(3), "]07");
  s.Format("%llu", 5ull * 1024 * 1024 * 1024);
  EXPECT_EQ(s, "5368709120");
}

TEST(CStringFormat, WideFormatsUseWindowsConventions) {
  CStringW w;
  w.Format(L"launch=%d&version=%s", 1, L"1.0.3.7");
  EXPECT_EQ(w, L"launch=1&version=1.0.3.7");
  w.Format(L"%ls|%S", L"wide", "narrow");
  EXPECT_EQ(w, L"wide|narrow");
}

TEST(CStringConvert, NarrowAndWideRoundTrip) {
  CStringW w(CString("恢复报告"));
  EXPECT_EQ(w.GetLength(), 4);
  EXPECT_EQ(w, L"\u6062\u590D\u62A5\u544A");
  CString back(w);
  EXPECT_EQ(AnsiToUtf8(back.GetString()), u8"恢复报告");
}

TEST(CStringResources, LoadStringGivesCodePage936Text) {
  CString s;
  ASSERT_TRUE(s.LoadString(IDS_FW_CHINESE));
  EXPECT_EQ(AnsiToUtf8(s.GetString()), u8"正在扫描文件，请稍候……");
  EXPECT_EQ(s, CString("正在扫描文件，请稍候……"));

  CString filter;
  ASSERT_TRUE(filter.LoadString(IDS_FW_WITH_NUL));
  EXPECT_EQ(filter.GetLength(), 21);   // "VXB文件(*.VXB)" 14 + NUL + "*.VXB" + NUL
  EXPECT_EQ(filter.Find("*.VXB", 14), 15);

  CString missing("old");
  EXPECT_FALSE(missing.LoadString(12345));
  EXPECT_TRUE(missing.IsEmpty());

  CStringW wide;
  ASSERT_TRUE(wide.LoadString(IDS_FW_ASCII));
  EXPECT_EQ(wide, L"Readme.txt");
}

TEST(CStringPieces, LeftRightMidClamp) {
  CString s("abcdef");
  EXPECT_EQ(s.Left(2), "ab");
  EXPECT_EQ(s.Left(99), "abcdef");
  EXPECT_EQ(s.Right(2), "ef");
  EXPECT_EQ(s.Mid(4), "ef");
  EXPECT_EQ(s.Mid(10), "");
  EXPECT_EQ(s.Mid(-3, 2), "ab");
  s.Insert(0, "X:");
  s.Delete(2, 3);
  EXPECT_EQ(s, "X:def");
}

}  // namespace
