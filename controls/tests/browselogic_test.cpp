#include <gtest/gtest.h>

#include "browselogic.h"
#include "maskregion.h"
#include "testsupport.h"

using namespace controls;

// The class layer compiles its users with code-page-936 literals.
static std::string Utf8ToAnsi(const std::string& s) { return s; }

TEST(Wheel, FullTurnsScrollOnceEachAndSmallTurnsAccumulate) {
  int acc = 0;
  EXPECT_EQ(TakeWheelLines(&acc, 360), 3);
  EXPECT_EQ(acc, 0);
  EXPECT_EQ(TakeWheelLines(&acc, 40), 0);
  EXPECT_EQ(TakeWheelLines(&acc, 40), 0);
  EXPECT_EQ(TakeWheelLines(&acc, 40), 1);
  EXPECT_EQ(acc, 0);
  EXPECT_EQ(TakeWheelLines(&acc, -250), -2);
  EXPECT_EQ(acc, -10);
  EXPECT_EQ(TakeWheelLines(&acc, 130), 1);
  EXPECT_EQ(acc, 0);
}

TEST(PathLeadsTo, ComponentBoundariesAndCase) {
  EXPECT_TRUE(PathLeadsTo("C:\\", "c:\\windows"));
  EXPECT_TRUE(PathLeadsTo("C:\\Windows", "c:\\windows\\system32"));
  EXPECT_TRUE(PathLeadsTo("C:\\Windows\\", "C:\\WINDOWS"));
  EXPECT_FALSE(PathLeadsTo("C:\\Win", "C:\\Windows"));
  EXPECT_FALSE(PathLeadsTo("D:\\", "C:\\Windows"));
  EXPECT_FALSE(PathLeadsTo("", "C:\\"));
  // 0x95 0x5C is one character whose trail byte looks like a backslash.
  std::string a = Utf8ToAnsi("C:\\照片\\表");
  EXPECT_TRUE(PathLeadsTo(Utf8ToAnsi("C:\\照片"), a));
  EXPECT_FALSE(PathLeadsTo("C:\\\x95", "C:\\\x95\x5C"));
}

TEST(BrowseRowText, NamesKeepEveryCharacterWithRoomAfterTheLast) {
  EXPECT_EQ(BrowseRowText(" (C:)"), "(C:) ");   // a drive without a volume label
  EXPECT_EQ(BrowseRowText("Local Disk (Z:)"), "Local Disk (Z:) ");
  EXPECT_EQ(BrowseRowText("  Program Files (x86)  "), "Program Files (x86) ");
  EXPECT_EQ(BrowseRowText("\xce\xd2\xb5\xc4\xb5\xe7\xc4\xd4"), "\xce\xd2\xb5\xc4\xb5\xe7\xc4\xd4 ");
  EXPECT_EQ(BrowseRowText("   "), "");
  EXPECT_EQ(BrowseRowText(""), "");
}

TEST(MaskRuns, NonWhitePixelsMakeRuns) {
  const uint32_t W = 0xFFFFFF, B = 0x000000, G = 0xFF808080;  // alpha bits ignored
  uint32_t px[] = {
      W, B, B, W, W,  //
      B, B, B, B, B,  //
      W, W, W, W, G,  //
      0xFFFFFFFF, W, W, W, W,
  };
  auto runs = MaskRuns(px, 5, 4, 5);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].left, 1);
  EXPECT_EQ(runs[0].right, 3);
  EXPECT_EQ(runs[0].y, 0);
  EXPECT_EQ(runs[1].left, 0);
  EXPECT_EQ(runs[1].right, 5);  // reaches the right edge: includes the last pixel
  EXPECT_EQ(runs[2].left, 4);
  EXPECT_EQ(runs[2].right, 5);
  EXPECT_EQ(runs[2].y, 2);
  EXPECT_TRUE(MaskRuns(nullptr, 5, 4, 5).empty());
  EXPECT_TRUE(MaskRuns(px, 5, 4, 3).empty());
}
