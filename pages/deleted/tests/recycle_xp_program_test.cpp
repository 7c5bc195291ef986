// The recycle-bin road of Windows before Vista, end to end in the real
// salvora.exe, in a Wine prefix that reports Windows XP. Such a system keeps
// a bin as "RECYCLER\<SID>\" on NTFS and as "RECYCLED\" on FAT, its items
// named "D<letter><n>" and their former paths in an INFO2 file beside them:
// the road scans those folders and no "$Recycle.Bin", shows every item of an
// emptied bin under the path it had before it was deleted, lists no index
// file (INFO2 is the bin's, not the user's) and gives every file back whole.
// N: NTFS (mkntfs, libntfs-3g), F: FAT32 (mkfs.fat, mtools); both also hold
// an emptied bin of the later kind that must stay unseen.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
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
  const char* made;    // the file as the fixture made it
  const char* shown;   // its name on the result page and in the copy
};
const char kBin[] = "/RECYCLER/S-1-5-21-1000-2000-3000-1003/";
const BinFile kFound[] = {
    {"ntfs-recycler", "Dc1.jpg", "海边.jpg"},
    {"ntfs-recycler", "Dc2.docx", "Report.docx"},
    {"ntfs-recycler", "Dc3/trip.jpg", "trip.jpg"},   // in an item that is a folder
    {"fat-recycler", "Dd1.txt", "购物.txt"},          // deleted from the bin before it was emptied
    {"fat-recycler", "Dd2.jpg", "猫.jpg"},
};
// The folders of the former paths, each shown once (NTFS: below the user's
// folder; FAT: below the bin itself).
const char* const kFolders[] = {"S-1-5-21-1000-2000-3000-1003", "Documents and Settings", "Lin", "桌面",
                                "My Documents", "旅行", "Notes", "Photos"};

std::string ShaOf(const BinFile& b) {
  const std::string path = std::string(std::strcmp(b.fixture, "fat-recycler") == 0 ? "/RECYCLED/" : kBin) + b.made;
  for (const testsupport::ManifestEntry& m : testsupport::ReadManifest(b.fixture))
    if (m.path == path) return m.sha256;
  return std::string();
}

TEST(RecycleProgramXp, EmptiedBinsComeBackWholeUnderTheirFormerPaths) {
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

  HWND result = WaitForFilledResultPage(p, "recycle_xp_failure.bmp");
  ASSERT_NE(result, nullptr) << "no result page, or its list never filled";
  Click(result, IDC_RES_EXPAND);

  HWND tree = TreeOfList(result, IDC_RES_LIST_FULL);
  ASSERT_NE(tree, nullptr);
  std::multiset<std::string> shown;
  for (const std::string& name : RowTexts(p, tree)) shown.insert(name);
  for (const BinFile& b : kFound) EXPECT_EQ(shown.count(b.shown), 1u) << b.shown;
  for (const char* folder : kFolders) EXPECT_EQ(shown.count(folder), 1u) << folder;
  for (const std::string& s : shown) {
    const bool binName =
        s.size() > 2 && s[0] == 'D' && (s[1] == 'c' || s[1] == 'd') && std::isdigit(static_cast<unsigned char>(s[2]));
    EXPECT_FALSE(binName) << s << ": an item shown under its name in the bin";
  }
  for (const std::string& s : shown) EXPECT_EQ(s.find("LATER"), std::string::npos) << s << ": a later system's bin";
  for (const std::string& s : shown) EXPECT_EQ(s.find("NFO2"), std::string::npos) << s << ": an index file listed";
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
  // The copy keeps the folders of the former path.
  EXPECT_NE(copies["海边.jpg"].find("Documents and Settings\\Lin\\桌面\\"), std::string::npos) << copies["海边.jpg"];
  EXPECT_NE(copies["猫.jpg"].find("Photos\\"), std::string::npos) << copies["猫.jpg"];
  for (const BinFile& b : kFound) {
    const std::string sha = ShaOf(b);
    ASSERT_FALSE(sha.empty()) << b.made;
    ASSERT_EQ(copies.count(b.shown), 1u) << b.shown << " was not copied";
    EXPECT_EQ(testsupport::Sha256OfFile(out + copies[b.shown]), sha) << b.shown;
  }

  Click(report, IDC_REP_FINISH);
  ASSERT_TRUE(WaitVisible(main, true));
  EXPECT_EQ(p.Close(main), 1u);
}

}  // namespace
