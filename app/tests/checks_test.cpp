// The version text from the version resource, the destination path check and
// the Windows generation test.
#include <gtest/gtest.h>

#include "resource.h"
#include "testsupport.h"
#include "version.h"
#include "version_checks.h"

namespace {

TEST(VersionText, ComesFromTheProgramsVersionResource) {
  CString text("stale");
  ASSERT_EQ(GetOwnVersionString(text), 1);   // this test links the program's resources
  EXPECT_EQ(text, SALVORA_VERSION_TEXT);
  EXPECT_EQ(text, "1.2.0.17");
}

TEST(VersionText, AFileWithoutVersionResourceGivesZeroAndEmptyText) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dll(path);
  dll = dll.substr(0, dll.rfind('\\') + 1) + "pictaran.dll";   // built without a version resource
  CString text("stale");
  EXPECT_EQ(GetFileVersionString(dll.c_str(), text), 0);
  EXPECT_TRUE(text.IsEmpty());
  EXPECT_EQ(GetFileVersionString("Z:\\no\\such\\file.exe", text), 0);
  EXPECT_EQ(GetFileVersionString(nullptr, text), 0);
}

TEST(DestinationPath, TheRulesOfTheCheck) {
  EXPECT_EQ(IsValidPathName("D:\\Photos\\2010"), 1);
  EXPECT_EQ(IsValidPathName("D:\\ZUL"), 1);
  EXPECT_EQ(IsValidPathName("D:\\"), 1);
  EXPECT_EQ(IsValidPathName("D:\\ Photos"), 0);      // backslash and a blank
  EXPECT_EQ(IsValidPathName("D:\\Photos\\\\2010"), 0);   // two backslashes
  EXPECT_EQ(IsValidPathName("D:\\a:b"), 0);           // a colon after the drive
  for (const char* bad : {"D:\\a/b", "D:\\a*", "D:\\a?", "D:\\<a", "D:\\a>", "D:\\a|b"})
    EXPECT_EQ(IsValidPathName(bad), 0) << bad;
  EXPECT_EQ(IsValidPathName("D:"), 1);                // the drive colon is the second character
  EXPECT_EQ(IsValidPathName(nullptr), 0);
}

TEST(DestinationPath, TwoByteCharactersAreWholeCharacters) {
  // 誠 is D5 5C and 亅 is 81 7C in code page 936: their second bytes are a
  // backslash and a bar, but they are letters of a folder name.
  EXPECT_EQ(IsValidPathName("D:\\誠 文件"), 1);
  EXPECT_EQ(IsValidPathName("D:\\誠\\照片"), 1);
  EXPECT_EQ(IsValidPathName("D:\\亅恢复"), 1);
  EXPECT_EQ(IsValidPathName("D:\\恢复\\ 照片"), 0);   // a real backslash and a blank still fail
  EXPECT_EQ(IsValidPathName("D:\\恢复|照片"), 0);
}

TEST(WindowsGeneration, ThePrefixIsVistaOrLater) {
  OSVERSIONINFOA info = {sizeof info};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ASSERT_TRUE(GetVersionExA(&info));
#pragma GCC diagnostic pop
  EXPECT_EQ(IsVistaOrLater(), info.dwMajorVersion >= 6 ? 1 : 0);
  EXPECT_EQ(IsVistaOrLater(), 1);   // the test bed's Wine reports Windows 7 or later
}

}  // namespace
