// The deep-scan road end to end in the real salvora.exe, driven as a user
// drives it: "-fixraw" opens the tree of volumes and disks, Q: (a volume
// whose pictures, documents, archives and sounds ImageMagick, Ghostscript,
// ffmpeg, libgsf and zipfile made were written at known sectors, with no
// file system over them) is chosen, the signature scan runs to its end, the
// result page groups the hits by type, everything is ticked, the copy-out
// goes into a folder on W:, and the report counts. Every carved file whose
// end the format tells is compared by sha256 with the file the tool made.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "deep_targets.h"
#include "program_driver.h"
#include "program_rows.h"
#include "resource.h"
#include "testsupport.h"

using namespace programtest;

namespace {

TEST(DeepProgram, TheCarvedFilesOfAVolumeComeBackWholeThroughEveryPage) {
  const std::string scratch = testsupport::EnvText("SALVORA_SCRATCH_WIN") + "\\";
  const std::string out = testsupport::ScratchDir("out\\deep");
  ListedDrives drives({{'Q', scratch + "qroot"}, {'W', scratch + "out"}});
  for (char letter : std::string("QW")) ASSERT_TRUE(ListedDrives::Listed(letter)) << letter;
  const std::vector<testsupport::HitRow> truth = testsupport::ReadHitTable("deepscan-volume");
  ASSERT_FALSE(truth.empty());
  const std::string imageBefore = testsupport::Sha256OfFile(testsupport::MappedImage('Q'));

  Program p;
  ASSERT_TRUE(p.Start(" -fixraw"));

  // The location page: Q: under "my computer" in the tree.
  HWND location = p.WaitFor({IDC_DL_TREE, IDC_DL_NEXT, IDC_DL_REDETECT});
  ASSERT_NE(location, nullptr) << "-fixraw opened no location page";
  HWND tree = GetDlgItem(location, IDC_DL_TREE);
  const LPARAM q = MakeDeepItemData(kDeepVolume, 'Q' - 'C');
  HTREEITEM volume = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    for (const auto& r : p.TreeRows(tree))
      if (r.second.param == q) volume = r.first;
    return volume != nullptr;
  }, 20000)) << "Q: is not in the tree";
  EXPECT_NE(p.TreeItem(tree, volume).text.find("Q:"), std::string::npos) << p.TreeItem(tree, volume).text;
  TreeView_SelectItem(tree, volume);
  Click(location, IDC_DL_NEXT);

  // The scan runs to its end; the result page builds its tree of types.
  HWND result = p.WaitFor({IDC_DR_CHECK_ALL, IDC_DR_PREVIEW, IDC_DR_TREE}, 180000);
  if (!result) testsupport::SaveScreenshot(testsupport::ArtifactPath("deep_program_failure.bmp"));
  ASSERT_NE(result, nullptr) << "no result page";
  HWND hits = TreeOfList(result, IDC_DR_TREE);
  ASSERT_NE(hits, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(result) && TreeView_GetCount(hits) > 0; }, 120000))
      << "the tree is still being built";
  EXPECT_FALSE(IsWindowVisible(location));

  // One top-level row per type, each type of the fixture among them.
  std::set<std::string> types;
  for (HTREEITEM top = TreeView_GetRoot(hits); top; top = TreeView_GetNextSibling(hits, top))
    types.insert(RowText(p, hits, top));
  for (const testsupport::HitRow& h : truth) EXPECT_EQ(types.count(h.type), 1u) << h.type << " (" << h.source << ")";
  const std::string title = ControlText(result, IDC_PAGE_TITLE);
  const size_t rows = TreeView_GetCount(hits) - types.size();
  EXPECT_NE(title.find(std::to_string(rows)), std::string::npos) << title;

  Click(result, IDC_DR_CHECK_ALL);
  Shoot(result, "deep_program_result.bmp");
  Click(result, IDC_DR_NEXT);

  // The destination: never the scanned volume; we take a folder on W:.
  HWND destination = p.WaitFor({IDC_DEST_BROWSE, IDC_DEST_NEXT, IDC_DEST_EDIT});
  ASSERT_NE(destination, nullptr) << "no destination page";
  const std::string proposed = ControlText(destination, IDC_DEST_EDIT);
  EXPECT_TRUE(proposed.empty() || toupper(proposed[0]) != 'Q') << proposed;
  SetDlgItemTextA(destination, IDC_DEST_EDIT, "W:\\deep");
  Click(destination, IDC_DEST_NEXT);

  // The copy-out ends in the report.
  HWND report = p.WaitFor({IDC_REP_FINISH, IDC_REP_RECOVERED, IDC_REP_FOLDER}, 180000);
  ASSERT_NE(report, nullptr) << "no report";
  ASSERT_TRUE(WaitUntil([&] { return !ControlText(report, IDC_REP_RECOVERED).empty(); }, 20000));
  EXPECT_EQ(ControlText(report, IDC_REP_FOLDER), "W:\\deep");
  EXPECT_EQ(ControlText(report, IDC_REP_FOUND), std::to_string(rows));
  EXPECT_EQ(ControlText(report, IDC_REP_CHOSEN), std::to_string(rows));
  EXPECT_EQ(ControlText(report, IDC_REP_RECOVERED), std::to_string(rows));
  Shoot(report, "deep_program_report.bmp");

  // One file per hit; byte for byte the tool's file wherever the scan knows
  // where the file ends.
  const std::vector<std::string> files = FilesBelow(out);
  EXPECT_EQ(files.size(), rows);
  std::map<std::string, std::string> bySha;   // sha256 -> the copy that has it
  for (const std::string& f : files) bySha[testsupport::Sha256OfFile(out + f)] = f;
  for (const testsupport::HitRow& h : truth) {
    if (!h.refined) continue;
    EXPECT_EQ(bySha.count(h.sha256), 1u) << h.source << " (" << h.type << ") did not come back whole";
  }

  // Finish: the main window again, and the program ends normally.
  Click(report, IDC_REP_FINISH);
  HWND main = p.WaitFor({IDC_MODE_DELETED, IDC_MODE_RECYCLE});
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(p.Close(main), 1u);
  EXPECT_EQ(testsupport::Sha256OfFile(testsupport::MappedImage('Q')), imageBefore);
}

}  // namespace
