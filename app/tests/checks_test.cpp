// The version text from the version resource, the destination path check and
// the Windows generation test.
#include <gtest/gtest.h>

#include <string>

#include "resource.h"
#include "testsupport.h"
#include "module_path.h"
#include "version_checks.h"

namespace {

std::string BesideThisProgram(const char* file) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path);
  return p.substr(0, p.rfind('\\') + 1) + file;
}

TEST(VersionText, IsTheProductVersionHighWordFirst) {
  // version_probe.dll: file version 1.2.3.4, product version 5.60000.0.65535,
  // and other numbers again in its text block.
  CString text("stale");
  ASSERT_EQ(GetFileVersionString(BesideThisProgram("version_probe.dll").c_str(), text), 1);
  EXPECT_EQ(text, "5.60000.0.65535");
}

TEST(VersionText, OfTheProgramIsReadFromItsOwnFile) {
  // This test carries the program's version resource, so its own file must
  // give the same text as any other reader of that file.
  CString own("stale"), file;
  ASSERT_EQ(GetOwnVersionString(own), 1);
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  ASSERT_EQ(GetFileVersionString(path, file), 1);
  EXPECT_EQ(own, file);
  EXPECT_FALSE(own.IsEmpty());
}

TEST(VersionText, AFileWithoutVersionResourceGivesZeroAndEmptyText) {
  const std::string dll = BesideThisProgram("pictaran.dll");   // built without a version resource
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

TEST(ModulePath, TheProgramFolderIsWholeAndOnlyTextThatSurvivesTheCodePage) {
  // Code page 936 here: Chinese names come back, a best fit does not.
  ASSERT_EQ(936u, GetACP());
  EXPECT_TRUE(SurvivesCodePage(L"C:\\\x6570\x636E\\"));     // 数据
  EXPECT_TRUE(SurvivesCodePage(L""));
  EXPECT_FALSE(SurvivesCodePage(L"C:\\app\x00B2\\"));       // ² best-fits to 2
  EXPECT_FALSE(SurvivesCodePage(L"C:\\\x0100\\"));          // Ā to A
  const std::wstring wide = ModuleFolderW(nullptr);
  ASSERT_FALSE(wide.empty());
  EXPECT_EQ(L'\\', wide.back());
  char narrow[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, narrow, MAX_PATH);
  std::string expected(narrow);
  EXPECT_EQ(expected.substr(0, expected.rfind('\\') + 1), ModuleFolderAnsi(nullptr));
  EXPECT_EQ(nullptr, LoadLibraryBeside(L"", L"pictaran.dll")) << "no folder, no library";
}
