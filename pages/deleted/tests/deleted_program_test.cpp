// The deleted-file road end to end in the real salvora.exe, driven as a user
// drives it: "-fixdel" opens the location page, X: (an mkfs.fat volume whose
// files mtools deleted) or N: (an mkntfs volume whose files libntfs-3g
// deleted) is chosen in the folder tree, the scan runs, every
// file is ticked, the destination is a folder on R:, the copy-out runs, and
// the report counts. Every recovered file is compared with the fixture's
// ground truth by sha256. The pages are saved as screenshots on the way.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

#include "program_driver.h"
#include "resource.h"
#include "testsupport.h"

using namespace programtest;
using testsupport::ArtifactPath;
using testsupport::SaveScreenshot;

namespace {

// Where the scan puts each deleted file (ANSI, '\\') and its sha256.
struct Expected {
  std::string path;
  std::string sha;
};

std::vector<Expected> ScanList(const std::string& fixture) {
  std::vector<Expected> out;
  for (const testsupport::ScanRow& r : testsupport::ReadScanTable(fixture))
    out.push_back({testsupport::Below("", r.path), r.sha256});
  return out;
}

// The file the copy-out made for a path, or one of its numbered twins when
// the scan found the name twice.
bool AnyCopyMatches(const std::string& path, const std::string& sha) {
  for (const std::string& p : testsupport::OutputsFor(path))
    if (testsupport::Sha256OfFile(p) == sha) return true;
  return false;
}

// files.tsv of the NTFS fixtures: every deleted file with its sha256; names
// that try to leave the folder are counted but not compared (the copy-out
// renames them).
std::vector<Expected> NtfsDeletedList(const std::string& fixture, size_t* deletedCount) {
  std::vector<Expected> out;
  *deletedCount = 0;
  std::vector<std::vector<std::string>> rows;
  testsupport::ReadTable(testsupport::FixtureDir(fixture) + "files.tsv", '\t', &rows);
  for (const std::vector<std::string>& f : rows) {
    if (f.size() < 4 || f[3] != "1") continue;
    ++*deletedCount;
    if (f.size() > 5 && f[5].find("unsafe") != std::string::npos) continue;
    out.push_back({testsupport::Below("", f[0]), f[2]});
  }
  return out;
}

// The road from "-fixdel" to the report for one mapped drive; `found` files
// are expected in the result list and all of them are ticked and copied to
// `folder` (on R:). The files of `expected` must come back byte for byte.
void DriveTheRoad(char letter, size_t found, const std::vector<Expected>& expected, const std::string& folder,
                  const std::string& shots) {
  const std::string scratch = testsupport::EnvText("SALVORA_SCRATCH_WIN") + "\\";
  testsupport::ScratchDir("out");   // R: starts empty
  // The mapped folders as drives the shell lists (the raw volumes stay as mapped).
  ListedDrives drives({{letter, scratch + static_cast<char>(tolower(letter)) + "root"}, {'R', scratch + "out"}});
  Program p;
  ASSERT_TRUE(p.Start(" -fixdel"));
  const std::string driveText = std::string(1, letter) + ":";

  // The location page: the drive chosen in the folder tree.
  HWND location = p.WaitFor(IDC_LOC_BROWSE_TREE);
  ASSERT_NE(location, nullptr);
  HWND tree = GetDlgItem(location, IDC_LOC_BROWSE_TREE);
  ASSERT_TRUE(ChooseDriveInTree(p, tree, letter)) << driveText << " is not in the tree";
  Click(location, IDC_LOC_NEXT);

  // The scan runs; the result page opens when it has ended and fills its list.
  HWND result = p.WaitFor(IDC_RES_LIST_FULL, 120000, true);
  if (!result) SaveScreenshot(ArtifactPath(shots + "_failure.bmp"));
  ASSERT_NE(result, nullptr) << "no result page";
  const std::string count = std::to_string(found);
  // Filled: the busy box has gone and the title counts the files.
  EXPECT_TRUE(WaitUntil([&] {
    return IsWindowEnabled(result) && ControlText(result, IDC_PAGE_TITLE).find(count) != std::string::npos;
  }, 120000)) << ControlText(result, IDC_PAGE_TITLE);

  // Everything ticked, the tree open.
  Click(result, IDC_RES_CHECK_ALL);
  Click(result, IDC_RES_EXPAND);
  Sleep(300);
  EXPECT_TRUE(Shoot(result, shots + "_result.bmp"));
  Click(result, IDC_RES_NEXT);

  // The destination page proposes another drive than the scanned one; we take a folder on R:.
  HWND destination = p.WaitFor(IDC_DEST_BROWSE);
  ASSERT_NE(destination, nullptr) << "no destination page";
  const std::string proposed = ControlText(destination, IDC_DEST_EDIT);
  EXPECT_FALSE(proposed.empty());
  EXPECT_NE(toupper(proposed[0]), letter) << proposed;
  EXPECT_EQ(ControlText(destination, IDC_DEST_FILE_COUNT), count);
  SetDlgItemTextA(destination, IDC_DEST_EDIT, folder.c_str());
  EXPECT_TRUE(Shoot(destination, shots + "_destination.bmp"));
  Click(destination, IDC_DEST_NEXT);

  // The copy-out ends in the report.
  HWND report = p.WaitFor(IDC_REP_FINISH, 120000);
  ASSERT_NE(report, nullptr) << "no report";
  EXPECT_EQ(ControlText(report, IDC_REP_FOLDER), folder);
  EXPECT_EQ(ControlText(report, IDC_REP_FOUND), count);
  EXPECT_EQ(ControlText(report, IDC_REP_CHOSEN), count);
  EXPECT_EQ(ControlText(report, IDC_REP_RECOVERED), count);
  EXPECT_EQ(ControlText(report, IDC_REP_BIG_COUNT), count);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(report, IDC_REP_PARTIAL)));
  EXPECT_TRUE(Shoot(report, shots + "_report.bmp"));

  // Every file came back byte for byte, and nothing landed beside the folder.
  for (const Expected& e : expected) EXPECT_TRUE(AnyCopyMatches(folder + e.path, e.sha)) << e.path;
  const std::string inside = folder.substr(3) + "\\";   // below R:\ as FilesBelow names it
  for (const std::string& f : FilesBelow("R:\\")) EXPECT_EQ(f.rfind(inside, 0), 0u) << f;

  // Finish: the main window again, and the program closes normally.
  Click(report, IDC_REP_FINISH);
  HWND main = p.WaitFor(IDC_MODE_DELETED);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(p.Close(main), 1u);
}

}  // namespace

TEST(Road, TheDeletedFilesOfAFat32DriveComeBackWholeThroughEveryPage) {
  const std::vector<Expected> expected = ScanList("fat32-deleted");
  ASSERT_FALSE(expected.empty());
  DriveTheRoad('X', expected.size(), expected, "R:\\road", "road");
}

TEST(Road, TheDeletedFilesOfAnNtfsDriveComeBackWholeThroughEveryPage) {
  size_t deleted = 0;
  const std::vector<Expected> expected = NtfsDeletedList("ntfs-deleted", &deleted);
  ASSERT_FALSE(expected.empty());
  DriveTheRoad('N', deleted, expected, "R:\\ntfsroad", "road_ntfs");
}
