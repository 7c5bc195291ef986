// The unformat road end to end in the real salvora.exe, driven as a user
// drives it: "-fixfmt" opens the volume list, a volume that mkfs.fat or
// mkntfs formatted again over its files is chosen (the file system left to
// detection), the scan runs, the result page lists the old tree, everything
// is ticked, the copy-out goes into a folder on R:, and the report counts.
// Every file whose data survived is compared by sha256 with the file the
// tools wrote before the format; the scanned image stays as it was.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "program_driver.h"
#include "program_rows.h"
#include "resource.h"
#include "testsupport.h"

using namespace programtest;

namespace {

// unformat.tsv: each file the scan should rebuild, as the scan names it.
struct Expected {
  std::string path;   // code page 936, '\'-separated, below the volume
  std::string sha;    // "" when its data did not survive the format
};

std::vector<Expected> ReadExpected(const std::string& fixture) {
  std::vector<Expected> out;
  for (const testsupport::ScanRow& r : testsupport::ReadScanTable(fixture, "unformat.tsv"))
    out.push_back({testsupport::Utf8ToAnsi(r.path), r.sha256});
  return out;
}

struct Case {
  char letter;
  const char* fixture;
  const char* folder;   // below R:
};

class UnformatProgram : public ::testing::TestWithParam<Case> {};

TEST_P(UnformatProgram, TheFilesOfAFormattedVolumeComeBackWholeThroughEveryPage) {
  const Case c = GetParam();
  const std::string scratch = testsupport::EnvText("SALVORA_SCRATCH_WIN") + "\\";
  const std::string out = testsupport::ScratchDir(std::string("out\\") + c.folder);
  const std::string root = std::string(1, c.letter) + "root";
  ListedDrives drives({{c.letter, scratch + root}, {'R', scratch + "out"}});
  for (char letter : {c.letter, 'R'}) ASSERT_TRUE(ListedDrives::Listed(letter)) << letter;
  const std::string imageBefore = testsupport::Sha256OfFile(testsupport::MappedImage(c.letter));
  const std::vector<Expected> expected = ReadExpected(c.fixture);
  ASSERT_FALSE(expected.empty());

  Program p;
  ASSERT_TRUE(p.Start(" -fixfmt"));

  // The volume list: the mapped volume chosen, the file system detected.
  HWND location = p.WaitFor({IDC_UFLOC_VOLUMES, IDC_UFLOC_FS, IDC_UFLOC_NEXT});
  ASSERT_NE(location, nullptr) << "-fixfmt opened no volume list";
  HWND volumes = GetDlgItem(location, IDC_UFLOC_VOLUMES);
  int row = -1;
  const int rows = static_cast<int>(SendMessageA(volumes, LB_GETCOUNT, 0, 0));
  // The rows end in " (Y:)"; read as UTF-16, which every process reads alike.
  const std::wstring tail = std::wstring(L" (") + static_cast<wchar_t>(c.letter) + L":)";
  std::string listing;
  for (int i = 0; i < rows; ++i) {
    wchar_t text[256] = L"";
    if (SendMessageW(volumes, LB_GETTEXTLEN, i, 0) < 255) SendMessageW(volumes, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    const std::wstring t = text;
    listing += std::string(t.begin(), t.end()) + "|";
    if (t.size() >= tail.size() && t.compare(t.size() - tail.size(), tail.size(), tail) == 0) row = i;
  }
  ASSERT_GE(row, 0) << c.letter << ": is not listed: " << listing;
  SendMessageA(volumes, LB_SETCURSEL, row, 0);
  HWND fs = GetDlgItem(location, IDC_UFLOC_FS);
  EXPECT_EQ(SendMessageA(fs, CB_GETITEMDATA, SendMessageA(fs, CB_GETCURSEL, 0, 0), 0), 3) << "detection by default";
  Click(location, IDC_UFLOC_NEXT);

  // The scan runs to its end; the result page fills its tree.
  HWND result = p.WaitFor({IDC_UFRES_CHECK_ALL, IDC_UFRES_INVERT, IDC_UFRES_TREE}, 180000);
  if (!result) testsupport::SaveScreenshot(testsupport::ArtifactPath(std::string("unformat_program_") + c.folder + ".bmp"));
  ASSERT_NE(result, nullptr) << "no result page";
  ASSERT_TRUE(WaitUntil([&] {
    return IsWindowEnabled(result) && ControlText(result, IDC_UFRES_HEADING).find(std::to_string(expected.size())) !=
                                          std::string::npos;
  }, 120000)) << ControlText(result, IDC_UFRES_HEADING) << " (" << expected.size() << " expected)";
  EXPECT_FALSE(IsWindowVisible(location));

  // Every old file is listed under its own name.
  HWND tree = TreeOfList(result, IDC_UFRES_TREE);
  ASSERT_NE(tree, nullptr);
  std::map<std::string, int> listed;
  for (const std::string& name : RowTexts(p, tree)) ++listed[name];
  for (const Expected& e : expected) EXPECT_GT(listed[BaseName(e.path)], 0) << e.path;

  Click(result, IDC_UFRES_CHECK_ALL);
  Click(result, IDC_UFRES_EXPAND);
  Shoot(result, std::string("unformat_program_result_") + c.folder + ".bmp");
  Click(result, IDC_UFRES_NEXT);

  // The destination: never the scanned volume; we take a folder on R:.
  HWND destination = p.WaitFor({IDC_DEST_BROWSE, IDC_DEST_NEXT, IDC_DEST_EDIT});
  ASSERT_NE(destination, nullptr) << "no destination page";
  const std::string proposed = ControlText(destination, IDC_DEST_EDIT);
  EXPECT_TRUE(proposed.empty() || toupper(proposed[0]) != c.letter) << proposed;
  EXPECT_EQ(ControlText(destination, IDC_DEST_FILE_COUNT), std::to_string(expected.size()));
  const std::string target = std::string("R:\\") + c.folder;
  SetDlgItemTextA(destination, IDC_DEST_EDIT, target.c_str());
  Click(destination, IDC_DEST_NEXT);

  // The copy-out ends in the report.
  HWND report = p.WaitFor({IDC_REP_FINISH, IDC_REP_RECOVERED, IDC_REP_FOLDER}, 180000);
  ASSERT_NE(report, nullptr) << "no report";
  ASSERT_TRUE(WaitUntil([&] { return !ControlText(report, IDC_REP_RECOVERED).empty(); }, 20000));
  EXPECT_EQ(ControlText(report, IDC_REP_FOLDER).substr(0, 2), "R:");
  EXPECT_EQ(ControlText(report, IDC_REP_RECOVERED), std::to_string(expected.size()));
  Shoot(report, std::string("unformat_program_report_") + c.folder + ".bmp");

  // Byte for byte what the tools wrote before the format: the hash the scan
  // fixture names for a path is that of the manifest's file of that name.
  std::map<std::string, std::string> before;   // file name -> sha256 before the format
  for (const testsupport::ManifestEntry& m : testsupport::ReadManifest(c.fixture))
    before[BaseName(testsupport::Utf8ToAnsi(m.path.substr(m.path.rfind('/') + 1)))] = m.sha256;
  int compared = 0;
  for (const Expected& e : expected) {
    const std::string copy = out + e.path;
    EXPECT_NE(GetFileAttributesA(copy.c_str()), INVALID_FILE_ATTRIBUTES) << e.path;
    if (e.sha.empty()) continue;
    EXPECT_EQ(before[BaseName(e.path)], e.sha) << e.path;
    EXPECT_EQ(testsupport::Sha256OfFile(copy), e.sha) << e.path;
    ++compared;
  }
  EXPECT_GT(compared, 5);
  EXPECT_EQ(FilesBelow(out).size(), expected.size()) << "nothing more than the listed files";

  // Finish: the main window again, and the program ends normally.
  Click(report, IDC_REP_FINISH);
  HWND main = p.WaitFor({IDC_MODE_DELETED, IDC_MODE_RECYCLE});
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(p.Close(main), 1u);
  EXPECT_EQ(testsupport::Sha256OfFile(testsupport::MappedImage(c.letter)), imageBefore)
      << "nothing is written to the scanned volume";
}

INSTANTIATE_TEST_SUITE_P(Volumes, UnformatProgram,
                         ::testing::Values(Case{'Y', "fat32-unformat", "fat32"}, Case{'W', "ntfs-unformat", "ntfs"}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.folder); });

}  // namespace
