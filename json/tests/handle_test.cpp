// Handles: conversions, building by index and key, assignment that changes
// kinds in place, resizing, and handles that outlive their document.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vezavu.h"
#include "vezavu_values.h"

using namespace VeZavu;

TEST(Handle, ConversionsOnlyFromTheMatchingKind) {
  Document d;
  ASSERT_TRUE(d.Parse(L"{\"i\":7,\"b\":true,\"s\":\"7\",\"n\":null,\"a\":[1],\"o\":{}}"));
  EXPECT_EQ(d.Find(L"i").ToInt(), 7);
  EXPECT_FALSE(d.Find(L"i").ToBool());
  EXPECT_EQ(d.Find(L"i").ToText(), nullptr);
  EXPECT_TRUE(d.Find(L"b").ToBool());
  EXPECT_EQ(d.Find(L"b").ToInt(), 0);
  EXPECT_EQ(d.Find(L"s").ToInt(), 0);
  EXPECT_STREQ(d.Find(L"s").ToText(), L"7");
  EXPECT_EQ(d.Find(L"a").ToInt(), 0);
  EXPECT_TRUE(d.Find(L"n").IsNull());
  EXPECT_FALSE(d.Find(L"n").IsEmpty());
  EXPECT_FALSE(d.Find(L"o").IsNull());
  Handle none = d.Find(L"missing");
  EXPECT_TRUE(none.IsEmpty());
  EXPECT_TRUE(none.IsNull());
  EXPECT_EQ(none.Kind(), kNone);
  EXPECT_EQ(none.ToInt(), 0);
  EXPECT_FALSE(none.ToBool());
  EXPECT_EQ(none.ToText(), nullptr);
  EXPECT_EQ(none.Size(), 0);
  // Looking did not add anything.
  EXPECT_EQ(d.Size(), 6);
  EXPECT_TRUE(d.Find(L"a").At(1).IsEmpty());
  EXPECT_TRUE(d.Find(L"a").At(-1).IsEmpty());
  EXPECT_EQ(d.Find(L"a").Size(), 1);
  EXPECT_TRUE(d.Find(L"i").Find(L"x").IsEmpty());
}

TEST(Handle, KindFactory) {
  const int kinds[] = {kNull, kObject, kBool, kString, kLong, kArray};
  for (int k : kinds) {
    Value* v = CreateValue(k);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->kind(), k);
    Release(v);
  }
  EXPECT_EQ(CreateValue(0), nullptr);
  EXPECT_EQ(CreateValue(6), nullptr);
  EXPECT_EQ(CreateValue(8), nullptr);
  EXPECT_EQ(CreateValue(-1), nullptr);
}

TEST(Handle, BuildingByIndexAndKey) {
  Document d;
  d[2] = 5;  // a document without root gets an empty array first
  ASSERT_EQ(d.Kind(), kArray);
  ASSERT_EQ(d.Size(), 3);
  EXPECT_EQ(d.At(0).Kind(), kNull);
  EXPECT_EQ(d.At(1).Kind(), kNull);
  EXPECT_EQ(d.At(2).ToInt(), 5);
  EXPECT_TRUE(d[-1].IsEmpty());
  EXPECT_EQ(d.Size(), 3);

  d[1][L"name"] = L"x";  // a null element becomes an object
  d[1][L"list"][1] = true;
  EXPECT_EQ(d.Write(), L"[null,{\"list\":[null,true],\"name\":\"x\"},5]");
  // Indexing a key of an array replaces the array (the root too).
  d[L"k"] = 1;
  EXPECT_EQ(d.Write(), L"{\"k\":1}");
  // A missing key is added as null.
  EXPECT_TRUE(d[L"new"].IsNull());
  EXPECT_EQ(d.Size(), 2);
  EXPECT_EQ(d.Keys(), (std::vector<std::wstring>{L"k", L"new"}));
}

TEST(Handle, AssignmentReplacesTheKindInPlace) {
  Document d;
  ASSERT_TRUE(d.Parse(L"{\"v\":[1,2,3]}"));
  Handle v = d[L"v"];
  v = 9;
  EXPECT_EQ(d.Write(), L"{\"v\":9}");
  v = 10;
  EXPECT_EQ(d.Find(L"v").ToInt(), 10);
  v = L"text";
  EXPECT_STREQ(d.Find(L"v").ToText(), L"text");
  v = std::wstring(L"wide");
  EXPECT_STREQ(v.ToText(), L"wide");
  v = "\xe4\xb8\xad\xe6\x96\x87 ok";  // UTF-8
  EXPECT_EQ(std::wstring(v.ToText()), std::wstring(L"\x4e2d\x6587 ok"));
  v = false;
  EXPECT_EQ(d.Write(), L"{\"v\":false}");
  v = nullptr;
  EXPECT_EQ(d.Write(), L"{\"v\":null}");
  v = 12L;
  EXPECT_EQ(v.ToInt(), 12);
  v = static_cast<const wchar_t*>(nullptr);
  EXPECT_STREQ(v.ToText(), L"");
  // Every copy of a handle sees the slot's current value.
  Handle copy = v;
  copy = true;
  EXPECT_TRUE(v.ToBool());
  Handle again = d[L"v"];
  EXPECT_TRUE(again.ToBool());
}

TEST(Handle, AssignmentWithoutAValueIsIgnored) {
  Handle empty;
  empty = 5;
  empty = L"x";
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_TRUE(empty[0].IsEmpty());
  EXPECT_TRUE(empty[L"k"].IsEmpty());
  Document d;
  d = 5;  // no root value to assign to
  EXPECT_TRUE(d.IsEmpty());
  ASSERT_TRUE(d.Parse(L"7"));
  d = L"root";
  EXPECT_STREQ(d.ToText(), L"root");
}

TEST(Handle, ResizingArrays) {
  Document d;
  ASSERT_TRUE(d.Parse(L"[1,[2],{\"a\":3},4]"));
  Handle third = d[2];
  Handle inner = d[2][L"a"];
  EXPECT_TRUE(d.Resize(2));
  EXPECT_EQ(d.Write(), L"[1,[2]]");
  // A handle to a removed element no longer names anything...
  EXPECT_TRUE(third.IsEmpty());
  third = 5;
  EXPECT_TRUE(third[0].IsEmpty());
  EXPECT_EQ(d.Write(), L"[1,[2]]");
  // ...but one inside the removed value keeps that value alive.
  EXPECT_EQ(inner.ToInt(), 3);
  EXPECT_TRUE(d.Resize(4));
  EXPECT_EQ(d.Write(), L"[1,[2],null,null]");
  EXPECT_TRUE(d.Resize(0));
  EXPECT_EQ(d.Write(), L"[]");
  EXPECT_FALSE(d.Resize(-1));
  d = nullptr;
  EXPECT_FALSE(d.Resize(3));
}

TEST(Handle, HandlesOutliveTheirDocument) {
  Handle member, element, root;
  {
    Document d;
    ASSERT_TRUE(d.Parse(L"{\"a\":{\"b\":[10,20]}}"));
    member = d[L"a"];
    element = d[L"a"][L"b"][1];
    root = d;
  }
  EXPECT_EQ(member.Find(L"b").At(0).ToInt(), 10);
  EXPECT_EQ(element.ToInt(), 20);
  element = 21;
  EXPECT_EQ(member.Write(), L"{\"b\":[10,21]}");
  // The root itself went with the document.
  EXPECT_TRUE(root.IsEmpty());
}

TEST(Handle, BuildingManyElements) {
  // Appending one element at a time, as a builder does.
  Document d;
  for (int i = 0; i < 200000; ++i) d[i] = i;
  EXPECT_EQ(d.Size(), 200000);
  EXPECT_EQ(d.At(123456).ToInt(), 123456);
  Document o;
  for (int i = 0; i < 20000; ++i) o[L"k" + std::to_wstring(i)] = i;
  EXPECT_EQ(o.Size(), 20000);
  EXPECT_EQ(o.Find(L"k19999").ToInt(), 19999);
}

TEST(Handle, GrowingPastTheCapFailsAndChangesNothing) {
  Document d;
  ASSERT_TRUE(d.Parse(L"{\"a\":[1,2],\"s\":\"x\"}"));
  // A huge index would have allocated gigabytes and ended the process.
  EXPECT_TRUE(d[L"a"][0x7FFFFFFF].IsEmpty());
  EXPECT_TRUE(d[L"a"][kMaxGrowElements].IsEmpty());
  EXPECT_EQ(d.Find(L"a").Size(), 2);
  // Refused before the value is turned into an array.
  EXPECT_TRUE(d[L"s"][kMaxGrowElements].IsEmpty());
  EXPECT_STREQ(d.Find(L"s").ToText(), L"x");
  Handle a = d[L"a"];
  EXPECT_FALSE(a.Resize(kMaxGrowElements + 1));
  EXPECT_FALSE(a.Resize(0x7FFFFFFF));
  EXPECT_EQ(a.Size(), 2);
  // Up to the cap is still allowed; an element below it is reached as before.
  EXPECT_FALSE(a[kMaxGrowElements - 1].IsEmpty());
  EXPECT_EQ(a.Size(), kMaxGrowElements);
  EXPECT_FALSE(a[kMaxGrowElements - 1].IsEmpty());
  EXPECT_TRUE(a.Resize(1));
  EXPECT_EQ(a.At(0).ToInt(), 1);
}
