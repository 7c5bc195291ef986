// The unformat result page's model without a window: the tree built from the
// three result vectors, the row texts, the check walks and their collection
// into the records' selected bytes, and the volume list of the location page.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "records/records.h"
#include "unformat_location_page.h"
#include "unformat_results.h"

namespace {

SYSTEMTIME Time(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0) {
  SYSTEMTIME t = {};
  t.wYear = y;
  t.wMonth = mo;
  t.wDay = d;
  t.wHour = h;
  t.wMinute = mi;
  t.wSecond = s;
  return t;
}

UnformatFatRecord Fat(const char* path, uint32_t size = 100) {
  UnformatFatRecord r = {};
  std::strncpy(r.path, path, sizeof r.path - 1);
  r.size = size;
  r.selected = 1;   // as the FAT scan makes them
  r.created = Time(2024, 3, 4, 10, 20, 30);
  r.modified = Time(2024, 3, 5, 7, 8, 10);
  r.accessed = Time(2024, 3, 6);
  r.sectorsPerCluster = 8;
  return r;
}

UnformatNtfsRecord Ntfs(const char* path, uint64_t size) {
  UnformatNtfsRecord r = {};
  std::strncpy(r.path, path, sizeof r.path - 1);
  SetUnformatNtfsSize(&r, size);
  r.created = r.modified = r.accessed = Time(2021, 1, 2, 3, 4, 5);
  r.sectorsPerCluster = 8;
  return r;
}

struct Vectors {
  Vectors() { Clear(); }
  ~Vectors() { Clear(); }
  static void Clear() {
    gUnformatFat16Files.clear();
    gUnformatFat32Files.clear();
    gUnformatNtfsFiles.clear();
  }
};

// The check marks of fake rows, by item.
struct FakeChecks {
  std::map<HTREEITEM, int> marks;
  int Check(HTREEITEM i) { return marks.count(i) ? marks[i] : 1; }
  void SetCheck(HTREEITEM i, int s) { marks[i] = s; }
};

// Gives every node a fake row, as the page does.
void MakeRows(CResultTree& tree) {
  for (size_t i = 0; i < tree.NodeCount(); ++i) tree.Node(i)->treeItem = reinterpret_cast<HTREEITEM>(i + 100);
}

std::vector<std::string> Children(const ResultTreeNode* node) {
  std::vector<std::string> names;
  for (const ResultTreeNode* c = node->firstChild; c; c = c->nextSibling) names.push_back(c->name.str());
  return names;
}

const ResultTreeNode* ChildNamed(const ResultTreeNode* node, const char* name) {
  for (const ResultTreeNode* c = node->firstChild; c; c = c->nextSibling)
    if (c->name == name) return c;
  return nullptr;
}

}  // namespace

TEST(UnformatTree, FoldersAreSharedRowsKeepTheScanOrderAndEveryRecordIsListed) {
  Vectors v;
  gUnformatFat16Files = {Fat("DIR1\\b.txt"), Fat("DIR0\\Sub\\x.bin"), Fat("dir1\\A.txt"),
                         Fat("DIR1\\B.TXT"),   // same path as the first, other case: a row of its own
                         Fat(""),              // no name: passed over
                         Fat("DIR0\\Sub\\"),   // no file name: passed over
                         Fat("DIR0\\\\Sub\\y.bin")};   // an empty component is passed over
  CResultTree tree;
  BuildUnformatTree(&tree);
  EXPECT_EQ(Children(tree.Root()), (std::vector<std::string>{"DIR1", "DIR0"}));
  const ResultTreeNode* dir1 = ChildNamed(tree.Root(), "DIR1");
  ASSERT_NE(dir1, nullptr);
  EXPECT_EQ(Children(dir1), (std::vector<std::string>{"b.txt", "A.txt", "B.TXT"}));
  EXPECT_EQ(ChildNamed(dir1, "b.txt")->recordIndex, 0);
  EXPECT_EQ(ChildNamed(dir1, "B.TXT")->recordIndex, 3);
  EXPECT_EQ(ChildNamed(dir1, "A.txt")->recordIndex, 2);
  EXPECT_EQ(UnformatVectorOf(*ChildNamed(dir1, "A.txt")), UnformatVector::kFat16);
  const ResultTreeNode* sub = ChildNamed(ChildNamed(tree.Root(), "DIR0"), "Sub");
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(Children(sub), (std::vector<std::string>{"x.bin", "y.bin"}));
  EXPECT_EQ(tree.FileCount(), 5u);
  // Parents come before their children in the order the rows are made.
  for (size_t i = 0; i < tree.NodeCount(); ++i) {
    const ResultTreeNode* n = tree.Node(i);
    if (n->parent == tree.Root()) continue;
    bool before = false;
    for (size_t j = 0; j < i; ++j) before = before || tree.Node(j) == n->parent;
    EXPECT_TRUE(before) << n->name.str();
  }
}

TEST(UnformatTree, TwoByteCharactersWhoseSecondByteIsABackslashStayWhole) {
  Vectors v;
  // 誠 is D5 5C in code page 936: its second byte is '\'.
  const std::string name = "\xD5\x5C\xB1\xED.txt";
  gUnformatFat32Files = {Fat(("DIR0\\" + name).c_str()), Fat("\xD5\x5C\\a.txt")};
  CResultTree tree;
  BuildUnformatTree(&tree);
  const ResultTreeNode* dir0 = ChildNamed(tree.Root(), "DIR0");
  ASSERT_NE(dir0, nullptr);
  EXPECT_EQ(Children(dir0), (std::vector<std::string>{name}));
  const ResultTreeNode* folder = ChildNamed(tree.Root(), "\xD5\x5C");
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(Children(folder), (std::vector<std::string>{"a.txt"}));
}

TEST(UnformatTree, RecordsComeFromAllThreeVectorsInTheirOrderAndKeepTheirVector) {
  Vectors v;
  gUnformatFat16Files = {Fat("C16\\one.txt")};
  gUnformatNtfsFiles = {Ntfs("CNT\\one.txt", 10)};
  gUnformatFat32Files = {Fat("C32\\one.txt")};
  CResultTree tree;
  BuildUnformatTree(&tree);
  EXPECT_EQ(Children(tree.Root()), (std::vector<std::string>{"C32", "CNT", "C16"}));
  EXPECT_EQ(UnformatVectorOf(*ChildNamed(tree.Root(), "C32")->firstChild), UnformatVector::kFat32);
  EXPECT_EQ(UnformatVectorOf(*ChildNamed(tree.Root(), "CNT")->firstChild), UnformatVector::kNtfs);
  EXPECT_EQ(UnformatVectorOf(*ChildNamed(tree.Root(), "C16")->firstChild), UnformatVector::kFat16);
  // A file and a folder of one name are two rows: neither hides the other.
  gUnformatFat16Files = {Fat("X\\f"), Fat("X\\f\\g.txt"), Fat("X\\F")};
  gUnformatNtfsFiles.clear();
  gUnformatFat32Files.clear();
  CResultTree second;
  BuildUnformatTree(&second);
  EXPECT_EQ(second.FileCount(), 3u);
  const ResultTreeNode* x = ChildNamed(second.Root(), "X");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(Children(x), (std::vector<std::string>{"f", "f", "F"}));
  EXPECT_TRUE(x->firstChild->IsFile());
  EXPECT_FALSE(x->firstChild->nextSibling->IsFile());
  EXPECT_EQ(Children(x->firstChild->nextSibling), std::vector<std::string>{"g.txt"});
}

TEST(UnformatTree, BuildingStopsWhenAsked) {
  Vectors v;
  for (int i = 0; i < 50; ++i) gUnformatFat16Files.push_back(Fat(("D\\f" + std::to_string(i)).c_str()));
  CResultTree tree;
  volatile bool stop = true;
  BuildUnformatTree(&tree, &stop);
  EXPECT_EQ(tree.NodeCount(), 0u);
}

TEST(UnformatRows, SizesFollowTheVectorAndTimesArePadded) {
  Vectors v;
  gUnformatFat16Files = {Fat("a\\f16", 1536)};
  gUnformatFat32Files = {Fat("a\\f32", 1536)};
  gUnformatNtfsFiles = {Ntfs("a\\big", 5ull << 30), Ntfs("a\\small", 1023)};
  EXPECT_EQ(UnformatRowTextsOf(UnformatVector::kFat16, 0).size, "1536 Byte");
  EXPECT_EQ(UnformatRowTextsOf(UnformatVector::kFat32, 0).size, "1 KB");
  EXPECT_EQ(UnformatRowTextsOf(UnformatVector::kNtfs, 0).size, "5242880 KB");   // from the 64-bit size
  EXPECT_EQ(UnformatRowTextsOf(UnformatVector::kNtfs, 1).size, "1023 Byte");   // never "0 KB"
  const UnformatRowTexts t = UnformatRowTextsOf(UnformatVector::kFat32, 0);
  EXPECT_EQ(t.created, "2024-03-04 10:20:30");
  EXPECT_EQ(t.modified, "2024-03-05 07:08:10");
  EXPECT_EQ(t.accessed, "2024-03-06");   // FAT keeps the day alone
  // An index outside its vector gives no texts (and no selected byte).
  EXPECT_TRUE(UnformatRowTextsOf(UnformatVector::kFat16, 5).size.IsEmpty());
  EXPECT_EQ(UnformatSelectedByte(UnformatVector::kNtfs, 2), nullptr);
  EXPECT_EQ(UnformatSelectedByte(UnformatVector::kNtfs, -1), nullptr);
}

TEST(UnformatChecks, InvertOfAFreshTreeChecksEverythingAndTwiceRestoresIt) {
  Vectors v;
  gUnformatFat16Files = {Fat("D\\a"), Fat("D\\E\\b"), Fat("c")};
  CResultTree tree;
  BuildUnformatTree(&tree);
  MakeRows(tree);
  FakeChecks checks;
  tree.InvertChecks(checks);
  for (size_t i = 0; i < tree.NodeCount(); ++i) EXPECT_EQ(checks.Check(tree.Node(i)->treeItem), 3);
  // A partly ticked folder stays partly ticked; the rest swap.
  checks.SetCheck(tree.Node(0)->treeItem, 2);
  checks.SetCheck(tree.Node(1)->treeItem, 1);
  const std::map<HTREEITEM, int> before = checks.marks;
  tree.InvertChecks(checks);
  EXPECT_EQ(checks.Check(tree.Node(0)->treeItem), 2);
  EXPECT_EQ(checks.Check(tree.Node(1)->treeItem), 3);
  tree.InvertChecks(checks);
  EXPECT_EQ(checks.marks, before);
  tree.CheckAll(checks);
  for (size_t i = 0; i < tree.NodeCount(); ++i) EXPECT_EQ(checks.Check(tree.Node(i)->treeItem), 3);
}

TEST(UnformatChecks, OnlyTickedFileRowsSelectTheirRecords) {
  Vectors v;
  // The FAT scan makes its records selected: only a ticked row selects one.
  // A second record of one path has a row of its own and goes with its tick.
  gUnformatFat32Files = {Fat("D\\a"), Fat("D\\b"), Fat("D\\a"), Fat("D\\c")};
  gUnformatNtfsFiles = {Ntfs("N\\x", 5)};
  gUnformatNtfsFiles[0].selected = 1;
  CResultTree tree;
  BuildUnformatTree(&tree);
  MakeRows(tree);
  FakeChecks checks;
  // D (folder) ticked, both a ticked, b unticked, c partly (cannot be: counts as not ticked), N\x unticked.
  for (size_t i = 0; i < tree.NodeCount(); ++i) {
    const ResultTreeNode* n = tree.Node(i);
    if (n->name == "D" || n->name == "a") checks.SetCheck(n->treeItem, 3);
    if (n->name == "c") checks.SetCheck(n->treeItem, 2);
  }
  EXPECT_EQ(CollectUnformatChecks(tree, checks), 2u);
  EXPECT_EQ(gUnformatFat32Files[0].selected, 1);
  EXPECT_EQ(gUnformatFat32Files[1].selected, 0);
  EXPECT_EQ(gUnformatFat32Files[2].selected, 1);   // the second record of D\a
  EXPECT_EQ(gUnformatFat32Files[3].selected, 0);
  EXPECT_EQ(gUnformatNtfsFiles[0].selected, 0);
  // 100 bytes is one sector each; a 5-byte NTFS file would be one more.
  EXPECT_EQ(SelectedUnformatSectors(), 2u);
  // Untick the second one: only its record goes.
  for (size_t i = 0; i < tree.NodeCount(); ++i)
    if (tree.Node(i)->IsFile() && tree.Node(i)->recordIndex == 2) checks.SetCheck(tree.Node(i)->treeItem, 1);
  EXPECT_EQ(CollectUnformatChecks(tree, checks), 1u);
  EXPECT_EQ(gUnformatFat32Files[2].selected, 0);
  EXPECT_EQ(SelectedUnformatSectors(), 1u);
  // A row whose record has gone (the vector shrank) selects nothing.
  gUnformatFat32Files.resize(1);
  for (size_t i = 0; i < tree.NodeCount(); ++i) checks.SetCheck(tree.Node(i)->treeItem, 3);
  EXPECT_EQ(CollectUnformatChecks(tree, checks), 2u);   // D\a and N\x
  EXPECT_EQ(SelectedUnformatSectors(), 2u);
  // Sizes count whole, beyond 4 GiB too; empty files still count a sector in all.
  SetUnformatNtfsSize(&gUnformatNtfsFiles[0], (5ull << 30) + 1);
  EXPECT_EQ(SelectedUnformatSectors(), 1u + (5ull << 21) + 1);
  gUnformatFat32Files[0].size = 0;
  SetUnformatNtfsSize(&gUnformatNtfsFiles[0], 0);
  EXPECT_EQ(SelectedUnformatSectors(), 1u);
}

TEST(UnformatLocation, ListsEveryVolumeFromCOnButCdRomDrives) {
  // A: B: C: D: E: (CD-ROM) F: (removable) Z:
  const DWORD drives = 0x1F | (1u << 5) | (1u << 25);
  auto type = [](const char* root) -> UINT {
    switch (root[0]) {
      case 'E': return DRIVE_CDROM;
      case 'F': return DRIVE_REMOVABLE;
      default: return DRIVE_FIXED;
    }
  };
  auto label = [](const char* root) -> std::string { return root[0] == 'C' ? "System" : ""; };
  const std::vector<UnformatVolumeRow> rows = ListUnformatVolumes(drives, type, label, "LocalDisk");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].text, "System (C:)");
  EXPECT_EQ(rows[0].driveIndex, 0);
  EXPECT_EQ(rows[1].text, "LocalDisk (D:)");
  EXPECT_EQ(rows[1].driveIndex, 1);
  EXPECT_EQ(rows[2].text, "LocalDisk (F:)");
  EXPECT_TRUE(rows[2].removable);
  EXPECT_EQ(rows[3].text, "LocalDisk (Z:)");
  EXPECT_EQ(rows[3].driveIndex, 'Z' - 'C');
  EXPECT_TRUE(ListUnformatVolumes(0x3, type, label, "x").empty());
  // The choices of the file-system combo and their kinds.
  EXPECT_STREQ(kUnformatFsChoices[0].text, "FAT16");
  EXPECT_EQ(kUnformatFsChoices[0].kind, 2);
  EXPECT_EQ(kUnformatFsChoices[1].kind, 1);
  EXPECT_EQ(kUnformatFsChoices[2].kind, 0);
  EXPECT_EQ(kUnformatFsChoices[kUnformatFsDefaultRow].kind, 3);
}
