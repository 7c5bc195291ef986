// The recycle-bin road of Windows before Vista, end to end in the real
// salvora.exe, in a Wine prefix that reports Windows XP. Such a system keeps
// its bins as "RECYCLER\<SID>\" with "Dc<n>" items and an INFO2 file: the
// road scans those folders and no "$Recycle.Bin", shows what it found under
// the names on disk (INFO2 included: the later systems' information files
// are hidden, XP's is not) and gives every file back whole.
// N: NTFS (mkntfs, libntfs-3g), F: FAT32 (mkfs.fat, mtools); both also hold
// an emptied bin of the later kind that must stay unseen.
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

struct BinFile {
  const char* fixture;
  const char* name;   // below the bin's user folder, as shown
};
const BinFile kFound[] = {
    {"ntfs-recycler", "Dc1.jpg"},
    {"ntfs-recycler", "Dc2.docx"},
    {"ntfs-recycler", "INFO2"},
    {"fat-recycler", "Dc3.jpg"},
};

std::string ShaOf(const char* fixture, const std::string& name) {
  for (const testsupport::ManifestEntry& m : testsupport::ReadManifest(fixture))
    if (m.path.size() > name.size() && m.path.compare(m.path.size() - name.size() - 1, std::string::npos, "/" + name) == 0)
      return m.sha256;
  return std::string();
}

TEST(RecycleProgramXp, TheBinsOfRecyclerFoldersAreFoundAndComeBackWhole) {
  OSVERSIONINFOA version = {sizeof version};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ASSERT_TRUE(GetVersionExA(&version));
#pragma GCC diagnostic pop
  ASSERT_EQ(version.dwMajorVersion, 5u) << "the prefix does not report Windows XP";

  const std::string scratch = testsupport::EnvText("SALVORA_SCRATCH_WIN") + "\\";
  const std::string out = testsupport::ScratchDir("out\\bin");
  ListedDrives drives({{'N', scratch + "nroot"}, {'F', scratch + "froot"}, {'R', scratch + "out"}});
  for (char letter : std::string("NFR")) ASSERT_TRUE(ListedDrives::Listed(letter)) << letter;

  Program p;
  ASSERT_TRUE(p.Start());
  HWND main = p.WaitFor({IDC_MODE_DELETED, IDC_MODE_RECYCLE});
  ASSERT_NE(main, nullptr) << "the program did not start";
  Click(main, IDC_MODE_RECYCLE);

  HWND result = p.WaitFor({IDC_RES_LIST_FULL, IDC_RES_FILTER, IDC_RES_CHECK_ALL}, 180000);
  if (!result) testsupport::SaveScreenshot(testsupport::ArtifactPath("recycle_xp_failure.bmp"));
  ASSERT_NE(result, nullptr) << "no result page";
  ASSERT_TRUE(WaitUntil([&] {
    return IsWindowEnabled(result) && ControlText(result, IDC_PAGE_TITLE).find("共找到") != std::string::npos;
  }, 120000)) << ControlText(result, IDC_PAGE_TITLE);
  Click(result, IDC_RES_EXPAND);

  HWND tree = TreeOfList(result, IDC_RES_LIST_FULL);
  ASSERT_NE(tree, nullptr);
  std::multiset<std::string> shown;
  for (const std::string& name : RowTexts(p, tree)) shown.insert(name);
  for (const BinFile& b : kFound) EXPECT_EQ(shown.count(b.name), 1u) << b.name;
  EXPECT_EQ(shown.count("S-1-5-21-1000-2000-3000-1003"), 1u) << "the user folder, one for both bins";
  for (const std::string& s : shown) EXPECT_EQ(s.find("LATER"), std::string::npos) << s << ": a later system's bin";
  const std::string title = ControlText(result, IDC_PAGE_TITLE);
  EXPECT_NE(title.find(std::to_string(std::size(kFound))), std::string::npos) << title;
  Shoot(result, "recycle_xp_result.bmp");

  Click(result, IDC_RES_CHECK_ALL);
  Click(result, IDC_RES_NEXT);
  HWND destination = p.WaitFor({IDC_DEST_BROWSE, IDC_DEST_NEXT, IDC_DEST_EDIT});
  ASSERT_NE(destination, nullptr) << "no destination page";
  SetDlgItemTextA(destination, IDC_DEST_EDIT, "R:\\bin");
  Click(destination, IDC_DEST_NEXT);

  HWND report = p.WaitFor({IDC_REP_FINISH, IDC_REP_RECOVERED, IDC_REP_FOLDER}, 180000);
  ASSERT_NE(report, nullptr) << "no report";
  ASSERT_TRUE(WaitUntil([&] { return !ControlText(report, IDC_REP_RECOVERED).empty(); }, 20000));
  EXPECT_EQ(ControlText(report, IDC_REP_RECOVERED), std::to_string(std::size(kFound)));

  std::map<std::string, std::string> copies;   // file name -> path below the folder
  for (const std::string& f : FilesBelow(out)) copies[BaseName(f)] = f;
  EXPECT_EQ(copies.size(), std::size(kFound));
  for (const BinFile& b : kFound) {
    const std::string sha = ShaOf(b.fixture, b.name);
    ASSERT_FALSE(sha.empty()) << b.name;
    ASSERT_EQ(copies.count(b.name), 1u) << b.name << " was not copied";
    EXPECT_EQ(testsupport::Sha256OfFile(out + copies[b.name]), sha) << b.name;
  }

  Click(report, IDC_REP_FINISH);
  ASSERT_TRUE(WaitVisible(main, true));
  EXPECT_EQ(p.Close(main), 1u);
}

}  // namespace
