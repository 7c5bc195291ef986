// The recycle-bin road end to end in the real salvora.exe, driven as a user
// drives it: the main window's recycle-bin button scans the recycle folders
// of every drive, among them N: (NTFS, made by mkntfs and libntfs-3g) and F:
// (FAT32, mkfs.fat and mtools), whose emptied bins held "$R" data files and
// the "$I" information files naming them. The result page shows the names
// the files had before they were deleted, everything is ticked, the copy-out
// goes into a folder on R:, and every file comes back byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "program_driver.h"
#include "program_rows.h"
#include "resource.h"
#include "testsupport.h"

using namespace programtest;

namespace {

// What tests/fixtures/recipes/ntfs.py put into the bins: each data file and
// the name its information file gives it (its own name when there is no
// sound partner: none at all, a path that climbs out of its folder, or a
// partner on another drive).
struct BinFile {
  const char* fixture;
  const char* dataFile;   // as the manifest names it, below the bin's user folder
  const char* shownAs;    // code page 936
};
const BinFile kBinFiles[] = {
    {"ntfs-recycle", "$RAB12CD.jpg", "海边.jpg"},
    {"ntfs-recycle", "$R5TQ9XZ.docx", "Report 2024.docx"},
    {"ntfs-recycle", "$RCROSS1.docx", "cross.docx"},
    {"ntfs-recycle", "$RNOPART.txt", "$RNOPART.txt"},
    {"ntfs-recycle", "$REVIL01.txt", "$REVIL01.txt"},
    {"fat-recycle", "$RFATPIC.jpeg", "猫.jpeg"},
    {"fat-recycle", "$RCROSS1.docx", "$RCROSS1.docx"},
};

// The sha256 the manifest gives a data file of a bin.
std::string ShaOf(const char* fixture, const std::string& dataFile) {
  for (const testsupport::ManifestEntry& m : testsupport::ReadManifest(fixture))
    if (m.path.size() > dataFile.size() && m.path.compare(m.path.size() - dataFile.size(), dataFile.size(), dataFile) == 0 &&
        m.path[m.path.size() - dataFile.size() - 1] == '/')
      return m.sha256;
  return std::string();
}

TEST(RecycleProgram, TheEmptiedBinsShowTheirFilesUnderTheirOldNamesAndGiveThemBackWhole) {
  const std::string scratch = testsupport::EnvText("SALVORA_SCRATCH_WIN") + "\\";
  const std::string out = testsupport::ScratchDir("out\\bin");
  ListedDrives drives({{'N', scratch + "nroot"}, {'F', scratch + "froot"}, {'R', scratch + "out"}});
  for (char letter : std::string("NFR")) ASSERT_TRUE(ListedDrives::Listed(letter)) << letter;
  const std::string ntfsBefore = testsupport::Sha256OfFile(testsupport::MappedImage('N'));
  const std::string fatBefore = testsupport::Sha256OfFile(testsupport::MappedImage('F'));

  Program p;
  ASSERT_TRUE(p.Start());
  HWND main = p.WaitFor({IDC_MODE_DELETED, IDC_MODE_RECYCLE});
  ASSERT_NE(main, nullptr);
  Click(main, IDC_MODE_RECYCLE);

  // The scan of every bin ends on the result page.
  HWND result = WaitForFilledResultPage(p, "recycle_program_failure.bmp");
  ASSERT_NE(result, nullptr) << "no result page, or its list never filled";
  EXPECT_TRUE(WaitVisible(main, false));
  Click(result, IDC_RES_EXPAND);

  // The files under the names they had; no information file, no "$R" name
  // that its partner could give back.
  HWND tree = TreeOfList(result, IDC_RES_LIST_FULL);
  ASSERT_NE(tree, nullptr);
  std::multiset<std::string> shown;
  for (const std::string& name : RowTexts(p, tree)) shown.insert(name);
  for (const BinFile& b : kBinFiles) EXPECT_GE(shown.count(b.shownAs), 1u) << b.shownAs << " is not shown";
  EXPECT_EQ(shown.count("$RCROSS1.docx"), 1u) << "the NTFS one has its name back";
  for (const char* gone : {"$RAB12CD.jpg", "$R5TQ9XZ.docx", "$RFATPIC.jpeg"}) EXPECT_EQ(shown.count(gone), 0u) << gone;
  for (const std::string& s : shown) EXPECT_NE(s.rfind("$I", 0), 0u) << s;
  const std::string title = ControlText(result, IDC_PAGE_TITLE);
  EXPECT_NE(title.find(std::to_string(std::size(kBinFiles))), std::string::npos) << title;
  Shoot(result, "recycle_program_result.bmp");

  Click(result, IDC_RES_CHECK_ALL);
  Click(result, IDC_RES_NEXT);

  // The destination page proposes no drive that holds a found file; we
  // take a folder on R:.
  HWND destination = p.WaitFor({IDC_DEST_BROWSE, IDC_DEST_NEXT, IDC_DEST_EDIT});
  ASSERT_NE(destination, nullptr) << "no destination page";
  const std::string proposed = ControlText(destination, IDC_DEST_EDIT);
  EXPECT_TRUE(proposed.empty() || (toupper(proposed[0]) != 'N' && toupper(proposed[0]) != 'F')) << proposed;
  EXPECT_EQ(ControlText(destination, IDC_DEST_FILE_COUNT), std::to_string(std::size(kBinFiles)));
  SetDlgItemTextA(destination, IDC_DEST_EDIT, "R:\\bin");
  Click(destination, IDC_DEST_NEXT);

  HWND report = p.WaitFor({IDC_REP_FINISH, IDC_REP_RECOVERED, IDC_REP_FOLDER}, 180000);
  ASSERT_NE(report, nullptr) << "no report";
  ASSERT_TRUE(WaitUntil([&] { return !ControlText(report, IDC_REP_RECOVERED).empty(); }, 20000));
  EXPECT_EQ(ControlText(report, IDC_REP_FOLDER), "R:\\bin");
  EXPECT_EQ(ControlText(report, IDC_REP_RECOVERED), std::to_string(std::size(kBinFiles)));
  Shoot(report, "recycle_program_report.bmp");

  // Each file under its shown name, with the bytes of its "$R" data file.
  std::multimap<std::string, std::string> copies;   // file name -> path below the folder
  const std::vector<std::string> files = FilesBelow(out);
  for (const std::string& f : files) copies.emplace(BaseName(f), f);
  EXPECT_EQ(files.size(), std::size(kBinFiles));
  for (const BinFile& b : kBinFiles) {
    const std::string sha = ShaOf(b.fixture, b.dataFile);
    ASSERT_FALSE(sha.empty()) << b.dataFile;
    bool whole = false;
    auto range = copies.equal_range(b.shownAs);
    for (auto it = range.first; it != range.second; ++it) whole = whole || testsupport::Sha256OfFile(out + it->second) == sha;
    EXPECT_TRUE(whole) << b.shownAs << " (" << b.fixture << ": " << b.dataFile << ")";
  }
  // The information file that named a path outside its folder wrote nowhere.
  EXPECT_EQ(copies.count("evil.txt"), 0u);
  EXPECT_EQ(FilesBelow(scratch + "out\\").size(), files.size()) << "nothing beside the chosen folder";

  Click(report, IDC_REP_FINISH);
  ASSERT_TRUE(WaitVisible(main, true));
  EXPECT_EQ(p.Close(main), 1u);
  EXPECT_EQ(testsupport::Sha256OfFile(testsupport::MappedImage('N')), ntfsBefore);
  EXPECT_EQ(testsupport::Sha256OfFile(testsupport::MappedImage('F')), fatBefore);
}

}  // namespace
