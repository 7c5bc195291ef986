// Reading JSON text: every kind of value, escapes, number limits, the error
// codes and where they are reported, and hostile text.
#include <windows.h>

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "vezavu.h"
#include "vezavu_values.h"

using namespace VeZavu;

namespace {

// Parses `text` as the value of member "v" of an object, so that the error
// code of the inner value is what the document reports.
Error MemberError(const std::wstring& member) {
  Document d;
  EXPECT_FALSE(d.Parse(L"{\"v\":" + member + L"}")) << "accepted: " << std::string(member.begin(), member.end());
  return d.GetError();
}

std::wstring Nested(int depth, const wchar_t* open, const wchar_t* close, const wchar_t* core) {
  std::wstring s;
  for (int i = 0; i < depth; ++i) s += open;
  s += core;
  for (int i = 0; i < depth; ++i) s += close;
  return s;
}

}  // namespace

TEST(Reader, EveryKindOfValue) {
  Document d;
  ASSERT_TRUE(d.Parse(L" {\t\"n\" : null,\r\n\"t\":true,\"f\":false,\"i\":-5,\"s\":\"x y\","
                      L"\"a\":[1,[2],{}],\"o\":{\"k\":[]}}\n"));
  EXPECT_EQ(d.Kind(), kObject);
  EXPECT_EQ(d.Size(), 7);
  EXPECT_EQ(d.Find(L"n").Kind(), kNull);
  EXPECT_TRUE(d.Find(L"n").IsNull());
  EXPECT_EQ(d.Find(L"t").Kind(), kBool);
  EXPECT_TRUE(d.Find(L"t").ToBool());
  EXPECT_EQ(d.Find(L"f").Kind(), kBool);
  EXPECT_FALSE(d.Find(L"f").ToBool());
  EXPECT_EQ(d.Find(L"i").ToInt(), -5);
  EXPECT_STREQ(d.Find(L"s").ToText(), L"x y");
  Handle a = d.Find(L"a");
  ASSERT_EQ(a.Kind(), kArray);
  ASSERT_EQ(a.Size(), 3);
  EXPECT_EQ(a.At(0).ToInt(), 1);
  EXPECT_EQ(a.At(1).Kind(), kArray);
  EXPECT_EQ(a.At(1).At(0).ToInt(), 2);
  EXPECT_EQ(a.At(2).Kind(), kObject);
  EXPECT_EQ(d.Find(L"o").Find(L"k").Kind(), kArray);
  EXPECT_EQ(d.Find(L"o").Find(L"k").Size(), 0);
  EXPECT_EQ(d.GetError().code, kErrNone);
  EXPECT_EQ(d.GetError().line, -1);
}

TEST(Reader, TopLevelKindsAndWhatIsNotTried) {
  Document d;
  ASSERT_TRUE(d.Parse(L"42"));
  EXPECT_EQ(d.ToInt(), 42);
  ASSERT_TRUE(d.Parse(L"-12"));
  EXPECT_EQ(d.ToInt(), -12);
  ASSERT_TRUE(d.Parse(L"  true"));
  EXPECT_TRUE(d.ToBool());
  ASSERT_TRUE(d.Parse(L"\"top\""));
  EXPECT_STREQ(d.ToText(), L"top");
  ASSERT_TRUE(d.Parse(L"[]"));
  EXPECT_EQ(d.Kind(), kArray);
  // The root value ends the reading: what follows it is not looked at.
  ASSERT_TRUE(d.Parse(L"12.5"));
  EXPECT_EQ(d.ToInt(), 12);
  ASSERT_TRUE(d.Parse(L"{} trailing"));
  EXPECT_EQ(d.Kind(), kObject);
  // null is not a document.
  EXPECT_FALSE(d.Parse(L"null"));
  EXPECT_EQ(d.Kind(), kNone);
  // A failed parse leaves no root behind from an earlier one.
  ASSERT_TRUE(d.Parse(L"{\"a\":1}"));
  EXPECT_FALSE(d.Parse(L"x"));
  EXPECT_TRUE(d.IsEmpty());
  EXPECT_FALSE(d.Parse(static_cast<const wchar_t*>(nullptr)));
}

TEST(Reader, NullValueAfterABlank) {
  std::wstring text = L" null";
  Reader r(text.data(), text.size());
  ValueNull v;
  EXPECT_TRUE(v.Parse(r));
  EXPECT_TRUE(r.AtEnd());
  Document d;
  ASSERT_TRUE(d.Parse(L"[ null ,null]"));
  EXPECT_EQ(d.At(0).Kind(), kNull);
  EXPECT_EQ(d.At(1).Kind(), kNull);
}

TEST(Reader, Escapes) {
  Document d;
  ASSERT_TRUE(d.Parse(L"[\"\\\"\\/\\\\\\b\\f\\n\\r\\t\", \"\\u00e9\\u00E9\\u4e2D\", \"\\u0001\\uffff\"]"));
  EXPECT_EQ(std::wstring(d.At(0).ToText()), std::wstring(L"\"/\\\b\f\n\r\t"));
  EXPECT_EQ(std::wstring(d.At(1).ToText()), std::wstring(L"\u00e9\u00e9\u4e2d"));
  EXPECT_EQ(std::wstring(d.At(2).ToText()), std::wstring(L"\x0001\xffff"));
  // Units that need no escape pass through, controls included.
  ASSERT_TRUE(d.Parse(L"\"tab\there\""));
  EXPECT_STREQ(d.ToText(), L"tab\there");
}

TEST(Reader, SurrogatePairs) {
  Document d;
  // As escapes, and as the two raw units of a UTF-16 text.
  ASSERT_TRUE(d.Parse(L"[\"\\ud83d\\ude00\", \"\xD83D\xDE00\", \"\\uD834\\uDD1E!\"]"));
  std::wstring a = d.At(0).ToText(), b = d.At(1).ToText(), c = d.At(2).ToText();
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0], 0xD83D);
  EXPECT_EQ(a[1], 0xDE00);
  EXPECT_EQ(a, b);
  EXPECT_EQ(c, std::wstring(L"\xD834\xDD1E!"));
  // A lone surrogate is kept as the unit it is rather than refused.
  ASSERT_TRUE(d.Parse(L"\"\\ud800x\""));
  EXPECT_EQ(std::wstring(d.ToText()), std::wstring(L"\xD800x"));
}

TEST(Reader, IntegersAtTheLimitsOfLong) {
  Document d;
  ASSERT_TRUE(d.Parse(L"[2147483647, -2147483648, 0, -0, 007, -1]"));
  EXPECT_EQ(d.At(0).ToInt(), INT32_MAX);
  EXPECT_EQ(d.At(1).ToInt(), INT32_MIN);
  EXPECT_EQ(d.At(2).ToInt(), 0);
  EXPECT_EQ(d.At(3).ToInt(), 0);
  EXPECT_EQ(d.At(4).ToInt(), 7);
  EXPECT_EQ(d.At(5).ToInt(), -1);
  ASSERT_TRUE(d.Parse(L"2147483647"));
  EXPECT_EQ(d.ToInt(), INT32_MAX);
  ASSERT_TRUE(d.Parse(L"-2147483648"));
  EXPECT_EQ(d.ToInt(), INT32_MIN);
  // Past the range: refused, never wrapped into another number.
  for (const wchar_t* big : {L"2147483648", L"-2147483649", L"4294967296", L"99999999999999999999999999",
                             L"00000000002147483648"}) {
    Error e = MemberError(big);
    EXPECT_EQ(e.code, kErrOutOfRange) << std::wstring(big).size();
    EXPECT_EQ(e.line, 1);
  }
  // Leading zeros do not count against the range.
  ASSERT_TRUE(d.Parse(L"{\"v\":00000000002147483647}"));
  EXPECT_EQ(d.Find(L"v").ToInt(), INT32_MAX);
}

TEST(Reader, FractionStopsTheIntegerInsideAnObject) {
  Error e = MemberError(L"12.5");
  EXPECT_EQ(e.code, kErrMissingSeparator);
  EXPECT_EQ(e.line, 1);
  EXPECT_EQ(e.column, 8);  // at the '.'
}

TEST(Reader, ErrorCodes) {
  struct Case {
    const wchar_t* member;
    int code;
  } cases[] = {
      {L"\"a\\q\"", kErrBadEscape},      {L"\"\\u12g4\"", kErrBadEscape},
      {L"\"\\u0000\"", kErrBadEscape},   {L"\"abc", kErrEndInString},
      {L"-", kErrBadValue},              {L"-x", kErrBadValue},
      {L"[1,2}", kErrMissingSeparator},  {L"[1 2]", kErrMissingSeparator},
      {L"", kErrBadValue},               {L"tru", kErrBadValue},
      {L"nul", kErrBadValue},            {L"[1,]", kErrBadValue},
      {L"x", kErrBadValue},              {L"{\"a\" 1}", kErrMissingColon},
      {L"{a:1}", kErrMissingQuote},      {L"{\"a\":1,}", kErrMissingQuote},
      {L"{\"a\":1 \"b\":2}", kErrMissingSeparator},
  };
  for (const Case& c : cases) {
    Error e = MemberError(c.member);
    EXPECT_EQ(e.code, c.code) << "member text: " << std::string(c.member, c.member + wcslen(c.member));
    EXPECT_GE(e.line, 1);
    EXPECT_GE(e.column, 1);
  }
  Document d;
  // Code 5 only for a '-' that ends the text.
  EXPECT_FALSE(d.Parse(L"{\"v\":-"));
  EXPECT_EQ(d.GetError().code, kErrDashAtEnd);
  EXPECT_FALSE(d.Parse(L"{\"v\":\"abc\\"));
  EXPECT_EQ(d.GetError().code, kErrEndInString);
  EXPECT_FALSE(d.Parse(L"{\"v\":\"\\u12"));
  EXPECT_EQ(d.GetError().code, kErrEndInString);
  EXPECT_FALSE(d.Parse(L"{\"v\":\"\\u0000\"}"));
  EXPECT_EQ(d.GetError().column, 7);  // at the backslash
  EXPECT_FALSE(d.Parse(L"{\"a\":1"));
  EXPECT_EQ(d.GetError().code, kErrMissingSeparator);
  EXPECT_FALSE(d.Parse(L"{"));
  EXPECT_EQ(d.GetError().code, kErrMissingQuote);
  EXPECT_FALSE(d.Parse(L""));
  EXPECT_EQ(d.GetError().code, kErrMissingBrace);
  EXPECT_FALSE(d.Parse(L" \r\n\t "));
  EXPECT_EQ(d.GetError().code, kErrMissingBrace);
  // The object is tried last, so a broken array document says '{' is missing.
  EXPECT_FALSE(d.Parse(L"[1,2"));
  EXPECT_EQ(d.GetError().code, kErrMissingBrace);
  EXPECT_EQ(d.GetError().line, 1);
  EXPECT_EQ(d.GetError().column, 1);
}

TEST(Reader, ErrorLineAndColumn) {
  Document d;
  EXPECT_FALSE(d.Parse(L"{\n  \"a\" : 1,\n  \"b\" 2\n}"));
  EXPECT_EQ(d.GetError().code, kErrMissingColon);
  EXPECT_EQ(d.GetError().line, 3);
  EXPECT_EQ(d.GetError().column, 7);
  // CR is an ordinary unit: only LF starts a line.
  EXPECT_FALSE(d.Parse(L"{\r\n\"a\" 1}"));
  EXPECT_EQ(d.GetError().line, 2);
  EXPECT_EQ(d.GetError().column, 5);
  EXPECT_FALSE(d.Parse(L"{\"a\":1,\r\"b\" 1}"));
  EXPECT_EQ(d.GetError().line, 1);
  EXPECT_EQ(d.GetError().column, 13);
  // The innermost failure is reported, not the levels that gave up after it.
  EXPECT_FALSE(d.Parse(L"{\"a\":[1,\n{\"b\":\"\\x\"}]}"));
  EXPECT_EQ(d.GetError().code, kErrBadEscape);
  EXPECT_EQ(d.GetError().line, 2);
  EXPECT_EQ(d.GetError().column, 8);
}

TEST(Reader, DuplicateKeysKeepTheLastValue) {
  Document d;
  ASSERT_TRUE(d.Parse(L"{\"k\":1,\"j\":[1,2],\"k\":{\"x\":2},\"j\":true}"));
  EXPECT_EQ(d.Size(), 2);
  EXPECT_EQ(d.Find(L"k").Find(L"x").ToInt(), 2);
  EXPECT_TRUE(d.Find(L"j").ToBool());
}

TEST(Reader, TextWithALengthMayHoldNul) {
  std::wstring text(L"{\"a\":\"x\0y\"}", 12);
  Document d;
  ASSERT_TRUE(d.Parse(text));
  std::wstring a(d.Find(L"a").ToText(), 3);
  EXPECT_EQ(a, std::wstring(L"x\0y", 3));
  // Cut short by the length, the same text is incomplete.
  EXPECT_FALSE(d.Parse(text.data(), 8));
  EXPECT_EQ(d.GetError().code, kErrEndInString);
}

TEST(Reader, NestingIsCapped) {
  Document d;
  ASSERT_TRUE(d.Parse(Nested(kMaxDepth, L"[", L"]", L"7")));
  Handle h = d;
  for (int i = 1; i < kMaxDepth; ++i) h = h.At(0);
  EXPECT_EQ(h.At(0).ToInt(), 7);
  ASSERT_TRUE(d.Parse(L"{\"a\":" + Nested(kMaxDepth - 1, L"{\"a\":", L"}", L"1") + L"}"));

  EXPECT_FALSE(d.Parse(L"{\"a\":" + Nested(kMaxDepth, L"{\"a\":", L"}", L"1") + L"}"));
  EXPECT_EQ(d.GetError().code, kErrTooDeep);
  EXPECT_EQ(d.GetError().column, 5 * kMaxDepth + 1);
  EXPECT_FALSE(d.Parse(L"{\"v\":" + Nested(kMaxDepth, L"[", L"]", L"") + L"}"));
  EXPECT_EQ(d.GetError().code, kErrTooDeep);
  // A deep array document fails like any broken array (the object is tried last).
  EXPECT_FALSE(d.Parse(Nested(kMaxDepth + 1, L"[", L"]", L"")));
  EXPECT_EQ(d.GetError().code, kErrMissingBrace);
}

TEST(Reader, HostileNestingNeverExhaustsTheStack) {
  Document d;
  std::wstring deep(1000000, L'[');
  EXPECT_FALSE(d.Parse(deep));
  std::wstring objects;
  for (int i = 0; i < 200000; ++i) objects += L"{\"a\":";
  EXPECT_FALSE(d.Parse(objects));
  EXPECT_EQ(d.GetError().code, kErrTooDeep);
  std::wstring mixed;
  for (int i = 0; i < 200000; ++i) mixed += (i & 1) ? L"{\"\":" : L"[";
  EXPECT_FALSE(d.Parse(L"{\"\":" + mixed));
  EXPECT_EQ(d.GetError().code, kErrTooDeep);
}

namespace {

// Stack painting: a region below the current frame is filled with a pattern,
// the work runs, and the lowest byte it changed tells how deep it went.
const unsigned char kPaint = 0xA5;
const size_t kPainted = 256 * 1024;
uintptr_t gPaintLow;  // lowest address of the painted region

__attribute__((noinline)) void PaintStack() {
  volatile unsigned char area[kPainted];
  for (size_t i = 0; i < kPainted; ++i) area[i] = kPaint;
  gPaintLow = reinterpret_cast<uintptr_t>(area);
}

struct StackRun {
  std::wstring text;
  bool parsed = false;
  std::wstring written;
  size_t used = 0;
};

__attribute__((noinline)) void ParseWriteDestroy(StackRun* run) {
  Document d;
  run->parsed = d.Parse(run->text);
  run->written = d.Write(true, 1);
}

DWORD WINAPI MeasureStack(void* p) {
  StackRun* run = static_cast<StackRun*>(p);
  volatile unsigned char top = 0;
  PaintStack();
  ParseWriteDestroy(run);
  volatile unsigned char* low = reinterpret_cast<volatile unsigned char*>(gPaintLow);
  size_t i = 0;
  while (i < kPainted && low[i] == kPaint) ++i;
  run->used = static_cast<size_t>(reinterpret_cast<uintptr_t>(&top) - (gPaintLow + i));
  return 0;
}

}  // namespace

// The cap keeps reading, writing and destroying the deepest document well
// inside a small worker stack.
TEST(Reader, DeepestDocumentNeedsLessThan64KOfStack) {
  StackRun run;
  // Objects and arrays in turn: both kinds of frame.
  run.text = Nested(kMaxDepth / 2, L"{\"key\":[", L"]}", L"1");
  HANDLE t = CreateThread(nullptr, 1024 * 1024, MeasureStack, &run, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(WaitForSingleObject(t, 60000), WAIT_OBJECT_0);
  CloseHandle(t);
  EXPECT_TRUE(run.parsed);
  EXPECT_FALSE(run.written.empty());
  EXPECT_GT(run.used, 1024u);
  EXPECT_LT(run.used, 64u * 1024) << "stack bytes used at the nesting cap";
  printf("stack used at depth %d: %u bytes\n", kMaxDepth, static_cast<unsigned>(run.used));
}

namespace {

// Small deterministic generator for the mutation runs.
struct Lcg {
  uint32_t s;
  uint32_t Next() { return s = s * 1664525u + 1013904223u; }
  uint32_t Below(uint32_t n) { return (Next() >> 8) % n; }
};

const wchar_t* kSeeds[] = {
    L"{\"a\":[1,-2,{\"b\":\"c\\n\\u00e9\"}],\"t\":true,\"f\":false,\"n\":null}",
    L"[[[]],{},\"\\ud83d\\ude00\",2147483647,-2147483648,{\"x\":{\"y\":[null]}}]",
    L"{\r\n  \"k\" : \"v\\\\\\/\\\"\",\r\n  \"l\" : [ 1, 2 ]\r\n}",
};

const wchar_t kAlphabet[] = L"{}[]\":,\\-0123456789tfnrue \t\r\nab\x00e9\xD83D\xDE00";

void CheckOutcome(const std::wstring& text) {
  Document d;
  if (d.Parse(text)) {
    // What was accepted writes out as text that reads back the same.
    std::wstring once = d.Write();
    Document again;
    ASSERT_TRUE(again.Parse(once)) << "rewritten text refused";
    EXPECT_EQ(again.Write(), once);
    EXPECT_EQ(d.GetError().code, kErrNone);
  } else {
    const Error& e = d.GetError();
    EXPECT_TRUE(e.code >= 1 && e.code <= 12 && e.code != 2) << e.code;
    EXPECT_GE(e.line, 1);
    EXPECT_GE(e.column, 1);
    EXPECT_TRUE(d.IsEmpty());
  }
}

}  // namespace

TEST(Reader, EveryTruncationFailsCleanly) {
  for (const wchar_t* seed : kSeeds) {
    std::wstring s = seed;
    for (size_t n = 0; n < s.size(); ++n) CheckOutcome(s.substr(0, n));
  }
}

TEST(Reader, MutatedTextNeverCrashes) {
  Lcg rng{2101};
  const size_t alphabet = sizeof kAlphabet / sizeof kAlphabet[0] - 1;
  for (int round = 0; round < 20000; ++round) {
    std::wstring s = kSeeds[rng.Below(3)];
    int edits = 1 + static_cast<int>(rng.Below(4));
    for (int e = 0; e < edits && !s.empty(); ++e) {
      size_t at = rng.Below(static_cast<uint32_t>(s.size()));
      wchar_t c = kAlphabet[rng.Below(static_cast<uint32_t>(alphabet))];
      switch (rng.Below(3)) {
        case 0: s[at] = c; break;
        case 1: s.insert(s.begin() + at, c); break;
        default: s.erase(at, 1 + rng.Below(4)); break;
      }
    }
    CheckOutcome(s);
    if (HasFatalFailure()) return;
  }
}
