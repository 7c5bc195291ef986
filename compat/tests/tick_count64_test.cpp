// The 64-bit tick count a program gets on Windows XP: the 32-bit count widened
// by its wraps, never going backwards; where the system has its own, that one.
#include <gtest/gtest.h>

#include "tick_count64.h"

namespace {

TEST(TickCount64, ReadingsWithinOneRoundKeepTheirRound) {
  ULONGLONG last = 0x300000000ull + 10;   // third wrap, tick 10
  EXPECT_EQ(compat::WidenTickCount(10, &last), 0x300000000ull + 10);
  EXPECT_EQ(compat::WidenTickCount(0xFFFFFFF0u, &last), 0x3FFFFFFF0ull);
  EXPECT_EQ(last, 0x3FFFFFFF0ull);
}

TEST(TickCount64, AReadingBelowTheLastIsTheNextRound) {
  ULONGLONG last = 0xFFFFFFF0u;
  EXPECT_EQ(compat::WidenTickCount(5, &last), 0x100000005ull);
  EXPECT_EQ(compat::WidenTickCount(5, &last), 0x100000005ull) << "the same reading again is no wrap";
  EXPECT_EQ(compat::WidenTickCount(0xFFFFFFFFu, &last), 0x1FFFFFFFFull);
  EXPECT_EQ(compat::WidenTickCount(0, &last), 0x200000000ull);
}

TEST(TickCount64, NeverBackwardsEvenAfterAMissedRound) {
  // More than 49.7 days without a reading: whole rounds are lost, but the
  // count still goes forward, which is all a timeout needs.
  ULONGLONG last = 1000;
  const ULONGLONG next = compat::WidenTickCount(2000, &last);   // really one round later
  EXPECT_EQ(next, 2000u);
  EXPECT_GE(compat::WidenTickCount(1500, &last), next);
}

TEST(TickCount64, WhereTheSystemHasItsOwnItIsThatOne) {
  typedef ULONGLONG(WINAPI * Fn)();
  auto system = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
  ASSERT_NE(system, nullptr) << "the test bed's Windows has GetTickCount64";
  const ULONGLONG before = system();
  const ULONGLONG ours = compat::TickCount64();
  EXPECT_GE(ours, before);
  EXPECT_LE(ours, system());
}

}  // namespace
