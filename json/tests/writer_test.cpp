// Writing values: compact and pretty layouts, string escapes, round trips,
// code page output, and the nesting cap on the writing side.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "vezavu.h"

using namespace VeZavu;

namespace {

std::wstring Rewrite(const std::wstring& text, bool pretty = false, int step = 4) {
  Document d;
  EXPECT_TRUE(d.Parse(text)) << "code " << d.GetError().code;
  return d.Write(pretty, step);
}

std::wstring Quoted(const std::wstring& s) {
  Document d;
  d[0] = s;
  std::wstring t = d.Write();  // ["..."]
  return t.substr(1, t.size() - 2);
}

}  // namespace

TEST(Writer, CompactTextOfEveryKind) {
  const std::wstring text = L"{\"a\":[1,-2,true,false,null,\"s\",{},[]],\"b\":{\"c\":-2147483648}}";
  EXPECT_EQ(Rewrite(text), text);
  EXPECT_EQ(Rewrite(L" [ 1 , \"x\" ]\r\n"), L"[1,\"x\"]");
  EXPECT_EQ(Rewrite(L"2147483647"), L"2147483647");
  EXPECT_EQ(Rewrite(L"-0"), L"0");
  EXPECT_EQ(Rewrite(L"true"), L"true");
}

TEST(Writer, MembersInKeyOrder) {
  EXPECT_EQ(Rewrite(L"{\"b\":1,\"a\":2}"), L"{\"a\":2,\"b\":1}");
  // Ordinal order of UTF-16 units: upper case before lower case, and a
  // surrogate pair (D800-DFFF) before the private-use area (E000-).
  EXPECT_EQ(Rewrite(L"{\"a\":1,\"B\":2,\"\xE000\":3,\"\xD83D\xDE00\":4,\"\":5}"),
            L"{\"\":5,\"B\":2,\"a\":1,\"\xD83D\xDE00\":4,\"\xE000\":3}");
}

TEST(Writer, StringEscapes) {
  EXPECT_EQ(Quoted(L"a/b"), L"\"a\\/b\"");
  EXPECT_EQ(Quoted(L"\"\\\b\f\n\r\t"), L"\"\\\"\\\\\\b\\f\\n\\r\\t\"");
  EXPECT_EQ(Quoted(L"\x0001\x001f\x007f\x0080\x00e9\x00ff"), L"\"\\u0001\\u001f\\u007f\\u0080\\u00e9\\u00ff\"");
  EXPECT_EQ(Quoted(L"\x4e2d\x0100 ~"), L"\"\x4e2d\x0100 ~\"");
  EXPECT_EQ(Quoted(L"\xD83D\xDE00"), L"\"\xD83D\xDE00\"");
  // Keys go through the same writer.
  EXPECT_EQ(Rewrite(L"{\"k/\\u00e9\":1}"), L"{\"k\\/\\u00e9\":1}");
}

TEST(Writer, PrettyLayout) {
  EXPECT_EQ(Rewrite(L"{\"b\":[1,2],\"a\":{\"x\":[]},\"c\":[3],\"d\":[[1]]}", true, 2),
            L"{\r\n"
            L"  \"a\" : {\r\n"
            L"    \"x\" : []\r\n"
            L"  },\r\n"
            L"  \"b\" : [\r\n"
            L"    1, \r\n"
            L"    2\r\n"
            L"  ],\r\n"
            L"  \"c\" : [3],\r\n"
            L"  \"d\" : [\r\n"
            L"    [1]\r\n"
            L"  ]\r\n"
            L"}");
  EXPECT_EQ(Rewrite(L"[{\"a\":1},{}]", true, 2),
            L"[\r\n"
            L"  {\r\n"
            L"    \"a\" : 1\r\n"
            L"  }, \r\n"
            L"  {\r\n"
            L"  }\r\n"
            L"]");
  EXPECT_EQ(Rewrite(L"{}", true), L"{\r\n}");
  EXPECT_EQ(Rewrite(L"[]", true), L"[]");
  EXPECT_EQ(Rewrite(L"[\"x\"]", true), L"[\"x\"]");
  EXPECT_EQ(Rewrite(L"[1,2]", true, 0), L"[\r\n1, \r\n2\r\n]");
  // A negative step counts as none.
  EXPECT_EQ(Rewrite(L"[1,2]", true, -3), L"[\r\n1, \r\n2\r\n]");
}

TEST(Writer, RoundTripsAreStable) {
  const wchar_t* texts[] = {
      L"{\"a\":[1,[2,[3,{\"b\":null}]]],\"c\":\"\\u00e9\\/\\\\\\\"\\ud83d\\ude00\\u0001\",\"d\":{\"e\":{}}}",
      L"[[],[[]],{},{\"\":\"\"},-2147483648,2147483647,true,false,null]",
      L"\"only a string with \\t tab\"",
  };
  for (const wchar_t* t : texts) {
    std::wstring compact = Rewrite(t);
    ASSERT_FALSE(compact.empty());
    EXPECT_EQ(Rewrite(compact), compact);
    std::wstring pretty = Rewrite(t, true, 3);
    EXPECT_EQ(Rewrite(pretty), compact);
    EXPECT_EQ(Rewrite(pretty, true, 3), pretty);
  }
}

TEST(Writer, NarrowOutput) {
  Document d;
  d[L"t"] = L"\x4e2d\xD83D\xDE00";
  EXPECT_EQ(d.WriteNarrow(65001), "{\"t\":\"\xe4\xb8\xad\xf0\x9f\x98\x80\"}");
  Document g;
  g[L"t"] = L"\x4e2d\x6587";
  EXPECT_EQ(g.WriteNarrow(936), "{\"t\":\"\xd6\xd0\xce\xc4\"}");
  Document empty;
  EXPECT_EQ(empty.WriteNarrow(65001), "");
  EXPECT_EQ(FromCodePage("\xe4\xb8\xad", 65001), L"\x4e2d");
  EXPECT_EQ(ToCodePage(L"\x4e2d", 936), "\xd6\xd0");
}

TEST(Writer, NothingToWriteGivesEmptyText) {
  Document d;
  EXPECT_EQ(d.Write(), L"");
  EXPECT_EQ(Handle().Write(true), L"");
}

TEST(Writer, BuiltTreesDeeperThanTheCapAreNotWritten) {
  Document d;
  Handle h = d;
  for (int i = 1; i < kMaxDepth; ++i) h = h[0];
  h[0] = 1;  // kMaxDepth arrays
  std::wstring text = d.Write();
  ASSERT_EQ(text.size(), 2u * kMaxDepth + 1);
  EXPECT_EQ(Rewrite(text), text);
  h[0][0][0] = 1;  // one level more
  EXPECT_EQ(d.Write(), L"");
  EXPECT_EQ(d.Write(true), L"");
}

TEST(Writer, DestroyingAVeryDeepBuiltTreeIsSafe) {
  {
    Document d;
    Handle h = d;
    for (int i = 0; i < 300000; ++i) h = h[L"a"];
    h = 5;
  }
  Handle keep;
  {
    Document d;
    Handle h = d;
    for (int i = 0; i < 300000; ++i) {
      h = h[0];
      if (i == 1000) keep = h;
    }
  }
  // The part a handle still names outlives the document, the rest is gone.
  EXPECT_EQ(keep.Kind(), kArray);
  EXPECT_EQ(keep.Size(), 1);
}

TEST(Writer, WhatIsWrittenReadsBack) {
  // The reader refuses the escape of unit 0, so a string or key holding one
  // cannot be written: the write fails instead of giving text that does not
  // read back (or a string cut short).
  Document d;
  d[L"k"] = std::wstring(L"a\0b", 3);
  EXPECT_EQ(d.Write(), L"");
  EXPECT_EQ(d.Write(true), L"");
  Document keyed;
  keyed[std::wstring(L"k\0", 2)] = 1;
  EXPECT_EQ(keyed.Write(), L"");
  // Every other unit survives a round trip.
  std::wstring all;
  for (wchar_t c = 1; c < 0x300; ++c) all.push_back(c);
  all += L"\x4e2d\xD83D\xDE00\xFFFF";
  Document out;
  out[0] = all;
  out[1][all] = all;
  const std::wstring text = out.Write();
  ASSERT_FALSE(text.empty());
  Document back;
  ASSERT_TRUE(back.Parse(text)) << back.GetError().code;
  EXPECT_EQ(back.At(0).ToText(), all);
  EXPECT_EQ(back.At(1).Find(all).ToText(), all);
}
