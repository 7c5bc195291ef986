// The result-tree model and its filters, the size texts and the destination
// checks, without a window: the tree a fill builds from records, the marks
// that the walks set and read back into `selected`, the name, date, kind and
// size filters on the examples of the pages, and the ten checks of a
// destination in their order.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "destination_checks.h"
#include "filetype_filter.h"
#include "recovery_totals.h"
#include "resource.h"
#include "result_match.h"
#include "result_tree.h"
#include "state.h"

namespace {

DeletedFileRecord Record(const char* path, uint64_t size = 100, uint8_t drive = 1) {
  DeletedFileRecord r = {};
  std::strncpy(r.path, path, sizeof r.path - 1);
  r.size = static_cast<uint32_t>(size);
  r.sizeHigh = static_cast<uint32_t>(size >> 32);
  r.driveIndex = drive;
  SYSTEMTIME t = {2024, 7, 1, 1, 12, 0, 0, 0};
  r.created = r.modified = r.accessed = t;
  return r;
}

void SetRecords(const std::vector<DeletedFileRecord>& records) {
  ClearDeletedFiles();
  for (const auto& r : records) AppendDeletedFile(r);
}

// A sink that makes fake rows (numbers) and remembers what it was told.
struct FakeRows : ResultFillSink {
  struct Row {
    std::string name;
    HTREEITEM parent;
    int32_t record;
    HTREEITEM after;
  };
  std::vector<Row> rows;   // row n is item n + 1
  int done = 0, empty = 0, results = 0, oom = 0;

  void Insert(ResultTreeNode* node, ResultTreeNode* parent, ResultTreeNode* previous, int32_t record) override {
    rows.push_back({node->name.GetString(), ParentRow(parent), record, RowBefore(previous)});
    node->treeItem = Item(rows.size() - 1);
  }
  void OutOfMemory() override { ++oom; }
  void FillDone() override { ++done; }
  void NothingListed() override { ++empty; }
  void ResultsListed() override { ++results; }

  static HTREEITEM Item(size_t n) { return reinterpret_cast<HTREEITEM>(static_cast<uintptr_t>(n + 1) * 16); }
  const Row& RowOf(HTREEITEM item) const { return rows[reinterpret_cast<uintptr_t>(item) / 16 - 1]; }
};

// Check marks of the fake rows.
struct FakeChecks {
  std::map<HTREEITEM, int> marks;
  int Check(HTREEITEM i) { return marks.count(i) ? marks[i] : 1; }
  void SetCheck(HTREEITEM i, int v) { marks[i] = v; }
};

// Names of a level in list order.
std::vector<std::string> Names(const ResultTreeNode* level) {
  std::vector<std::string> out;
  for (const ResultTreeNode* n = level ? level->firstChild : nullptr; n; n = n->nextSibling)
    out.push_back(n->name.GetString());
  return out;
}

const ResultTreeNode* Child(const ResultTreeNode* level, const char* name) {
  for (const ResultTreeNode* n = level->firstChild; n; n = n->nextSibling)
    if (n->name == name) return n;
  return nullptr;
}

struct Fill {
  FakeRows rows;
  ResultFillJob job;
  explicit Fill(CResultTree* tree, bool recycle = false, bool vista = true) {
    job.sink = &rows;
    job.tree = tree;
    job.recycleBin = recycle;
    job.vistaOrLater = vista;
    job.hintDelayMs = 0;
  }
  int Run(const CFileTypeFilter* conditions = nullptr) {
    job.conditions = conditions;
    return RunResultFill(job);
  }
};

class ResultTree : public ::testing::Test {
 protected:
  void TearDown() override { ClearDeletedFiles(); }
  // A page's two trees: the full list and the filtered one.
  CResultTree fullTree;
  CResultTree filteredTree;
};

}  // namespace

TEST_F(ResultTree, FoldersMergeCaseInsensitivelyAndComeBeforeFilesOnEveryLevel) {
  SetRecords({Record("\\A\\b.txt"), Record("\\a\\c.txt"), Record("\\A\\B.TXT"), Record("\\zz.txt"),
              Record("\\M\\x.bin"), Record("\\A\\Sub\\d.txt")});
  Fill f(&fullTree);
  f.Run();
  EXPECT_EQ(Names(fullTree.Root()), (std::vector<std::string>{"A", "M", "zz.txt"}));
  const ResultTreeNode* a = Child(fullTree.Root(), "A");
  ASSERT_NE(a, nullptr);
  // Equal file names are never merged; the later one goes after.
  EXPECT_EQ(Names(a), (std::vector<std::string>{"Sub", "b.txt", "B.TXT", "c.txt"}));
  EXPECT_EQ(f.job.listedFileCount, 6u);
  EXPECT_EQ(f.rows.done, 1);
  EXPECT_EQ(f.rows.results, 1);
  EXPECT_EQ(f.rows.empty, 0);
}

TEST_F(ResultTree, EveryNewRowIsReportedWithItsParentAndTheRowBeforeIt) {
  SetRecords({Record("\\A\\c.txt"), Record("\\A\\a.txt"), Record("\\B\\x.txt"), Record("\\A\\b.txt")});
  Fill f(&fullTree);
  f.Run();
  // A, c.txt, a.txt, B, x.txt, b.txt: six rows, folders once.
  ASSERT_EQ(f.rows.rows.size(), 6u);
  EXPECT_EQ(f.rows.rows[0].name, "A");
  EXPECT_EQ(f.rows.rows[0].parent, TVI_ROOT);
  EXPECT_EQ(f.rows.rows[0].after, TVI_FIRST);
  EXPECT_EQ(f.rows.rows[0].record, -1);
  HTREEITEM rowA = FakeRows::Item(0);
  EXPECT_EQ(f.rows.rows[1].parent, rowA);
  EXPECT_EQ(f.rows.rows[1].record, 0);
  // a.txt lands before c.txt: first on its level.
  EXPECT_EQ(f.rows.rows[2].after, TVI_FIRST);
  // B after A.
  EXPECT_EQ(f.rows.rows[3].after, rowA);
  // b.txt between a.txt and c.txt: after a.txt.
  EXPECT_EQ(f.rows.rows[5].name, "b.txt");
  EXPECT_EQ(f.rows.rows[5].after, FakeRows::Item(2));
  EXPECT_EQ(f.rows.rows[5].record, 3);
}

TEST_F(ResultTree, ATwoByteCharacterEndingInABackslashByteStaysOneName) {
  // 誠 is 0xD5 0x5C in code page 936: its second byte is a backslash.
  std::string name = "\\x\xD5\x5C.txt";
  SetRecords({Record(name.c_str())});
  Fill f(&fullTree);
  f.Run();
  ASSERT_EQ(f.rows.rows.size(), 1u);
  EXPECT_EQ(f.rows.rows[0].name, "x\xD5\x5C.txt");
  EXPECT_EQ(f.rows.rows[0].record, 0);
}

TEST_F(ResultTree, DoubledAndLeadingBackslashesMakeNoEmptyFolders) {
  SetRecords({Record("\\\\A\\\\b.txt")});
  Fill f(&fullTree);
  f.Run();
  EXPECT_EQ(Names(fullTree.Root()), (std::vector<std::string>{"A"}));
  EXPECT_EQ(Names(Child(fullTree.Root(), "A")), (std::vector<std::string>{"b.txt"}));
}

TEST_F(ResultTree, AScanWithNoRecordsSendsTheEmptyMessage) {
  SetRecords({});
  Fill f(&fullTree);
  f.Run();
  EXPECT_TRUE(f.rows.rows.empty());
  EXPECT_EQ(f.rows.done, 1);
  EXPECT_EQ(f.rows.empty, 1);
  EXPECT_EQ(f.rows.results, 0);
}

TEST_F(ResultTree, TheRecycleBinsIndexFilesAreNeverListedOnAnySystem) {
  for (bool vista : {true, false}) {
    SetRecords({Record("\\S-1-5\\$RAB12CD.jpg"), Record("\\S-1-5\\$IAB12CD.jpg"), Record("\\INFO2"),
                Record("\\_NFO2"), Record("\\notes.txt")});
    fullTree.Clear();
    Fill f(&fullTree, true, vista);
    f.Run();
    EXPECT_EQ(Names(Child(fullTree.Root(), "S-1-5")), std::vector<std::string>{"$RAB12CD.jpg"}) << vista;
    EXPECT_EQ(Names(fullTree.Root()), (std::vector<std::string>{"S-1-5", "notes.txt"})) << vista;
    EXPECT_EQ(f.job.listedFileCount, 2u) << vista;
  }
  // A scan that is no bin's lists such names as any others.
  fullTree.Clear();
  Fill plain(&fullTree, false, true);
  plain.Run();
  EXPECT_EQ(plain.job.listedFileCount, 5u);
}

TEST_F(ResultTree, ALeavingPageStopsTheFillAndGetsNoHint) {
  SetRecords({Record("\\a.txt"), Record("\\b.txt")});
  Fill f(&fullTree);
  f.job.abort = true;
  f.Run();
  EXPECT_TRUE(f.rows.rows.empty());
  EXPECT_EQ(f.rows.done, 1);
  EXPECT_EQ(f.rows.results + f.rows.empty, 0);
}

TEST_F(ResultTree, CheckAllInvertAndCollectWriteTheSelectedField) {
  SetRecords({Record("\\A\\1.txt"), Record("\\A\\2.txt"), Record("\\B\\3.txt"), Record("\\4.txt")});
  Fill f(&fullTree);
  f.Run();
  FakeChecks checks;
  uint32_t count = 99;
  count = CollectCheckedRecords(fullTree, checks);
  EXPECT_EQ(count, 0u);

  fullTree.CheckAll(checks);
  count = CollectCheckedRecords(fullTree, checks);
  EXPECT_EQ(count, 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(gDeletedFiles[i].selected, 1) << i;

  // One folder's file unticked, another left partly: invert twice restores every mark.
  const ResultTreeNode* b = Child(fullTree.Root(), "B");
  checks.SetCheck(b->firstChild->treeItem, 1);
  checks.SetCheck(b->treeItem, 2);
  auto before = checks.marks;
  fullTree.InvertChecks(checks);
  EXPECT_EQ(checks.Check(b->treeItem), 2);
  EXPECT_EQ(checks.Check(b->firstChild->treeItem), 3);
  fullTree.InvertChecks(checks);
  EXPECT_EQ(checks.marks, before);

  count = CollectCheckedRecords(fullTree, checks);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(gDeletedFiles[2].selected, 0);
  // A mark other than 1 and 3 leaves the record as it was.
  checks.SetCheck(b->firstChild->treeItem, 4);
  gDeletedFiles[2].selected = 1;
  count = CollectCheckedRecords(fullTree, checks);
  EXPECT_EQ(gDeletedFiles[2].selected, 1);
}

TEST_F(ResultTree, AnEmptyTreeChecksAndCollectsNothing) {
  FakeChecks checks;
  uint32_t count = 5;
  fullTree.CheckAll(checks);
  fullTree.InvertChecks(checks);
  count = CollectCheckedRecords(fullTree, checks);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(checks.marks.empty());
}

TEST_F(ResultTree, AFolderWithManyThousandFilesStaysSorted) {
  std::vector<DeletedFileRecord> records;
  for (int i = 20000; i > 0; --i) {
    char path[64];
    std::snprintf(path, sizeof path, "\\Big\\f%05d.dat", (i * 7919) % 20000);
    records.push_back(Record(path));
  }
  SetRecords(records);
  Fill f(&fullTree);
  f.Run();
  auto names = Names(Child(fullTree.Root(), "Big"));
  ASSERT_EQ(names.size(), 20000u);
  for (size_t i = 1; i < names.size(); ++i) ASSERT_LE(names[i - 1], names[i]);
}

// ---- name patterns -------------------------------------------------------------

TEST(NamePattern, TheExamplesOfTheResultPage) {
  EXPECT_TRUE(MatchNamePattern("A.JPG", "*.jp?"));
  EXPECT_FALSE(MatchNamePattern("A.JP", "*.jp?"));   // extension passes, whole name does not
  EXPECT_TRUE(MatchNamePattern("ABCDEF", "a?c"));
  EXPECT_FALSE(MatchNamePattern("ABC.TXTX", "a?c.txt"));
  EXPECT_TRUE(MatchNamePattern("X.TX", "x.tx?"));
  EXPECT_TRUE(MatchNamePattern("anything.bin", "*.*"));
  EXPECT_TRUE(MatchNamePattern("anything.bin", "   "));
  EXPECT_TRUE(MatchNamePattern("anything.bin", "*"));
  EXPECT_TRUE(MatchNamePattern("MyDocs.txt", "doc"));
  EXPECT_FALSE(MatchNamePattern("notes.txt", "doc"));
  EXPECT_TRUE(MatchNamePattern("report.docx", "*.doc*"));
  EXPECT_TRUE(MatchNamePattern("report.doc", "rep*.doc"));
  EXPECT_FALSE(MatchNamePattern("report.xls", "rep*.doc"));
  EXPECT_TRUE(MatchNamePattern("photo.jpeg", "*.*pe*"));
  EXPECT_FALSE(MatchNamePattern("noextension", "*.txt"));
}

TEST(NamePattern, AQuestionMarkStandsForAWholeChineseCharacter) {
  // 文档.doc: two two-byte characters.
  EXPECT_TRUE(MatchNamePattern("\xCE\xC4\xB5\xB5.doc", "\xCE\xC4?.doc"));
  EXPECT_FALSE(MatchNamePattern("\xCE\xC4\xB5\xB5.doc", "\xCE\xC4??.doc"));
  // A letter-valued second byte is not upper-cased into another character.
  EXPECT_FALSE(MatchNamePattern("\x81\x61.txt", "\x81\x41.txt"));
}

TEST(NamePattern, APathMatchesWhenAnyFolderOrTheFileMatches) {
  EXPECT_TRUE(MatchPathPattern("\\Docs\\a.txt", "doc"));
  EXPECT_TRUE(MatchPathPattern("\\x\\mydoc.txt", "doc"));
  EXPECT_FALSE(MatchPathPattern("\\Photos\\a.jpg", "doc"));
  EXPECT_TRUE(MatchPathPattern("\\Photos\\a.jpg", ""));
  EXPECT_TRUE(MatchPathPattern("\\Photos\\2024\\a.jpg", "*.jpg"));
}

TEST(NamePattern, WildcardFindsThePatternAnywhereButNotInNothing) {
  EXPECT_TRUE(MatchWildcard("ABCDEF", "C?E"));
  EXPECT_TRUE(MatchWildcard("ABCDEF", "B*E"));
  EXPECT_FALSE(MatchWildcard("ABCDEF", "EFG"));
  EXPECT_FALSE(MatchWildcard("", "A"));
}

namespace {

// The match as it was first written, by recursion on each '*': the meaning
// the faster match must keep, case for case.
bool RecursiveWildcard(const std::string& t, size_t from, const std::string& p, size_t pfrom) {
  if (from >= t.size()) return false;
  for (size_t start = from; start < t.size(); ++start) {
    size_t i = pfrom, j = start;
    for (;;) {
      if (i == p.size()) return true;
      if (p[i] == '*') {
        if (i + 1 == p.size()) return true;
        if (RecursiveWildcard(t, j, p, i + 1)) return true;
        break;
      }
      if (j == t.size()) return false;
      if (p[i] != '?' && p[i] != t[j]) break;
      ++i;
      ++j;
    }
  }
  return false;
}

}  // namespace

TEST(NamePattern, WildcardKeepsItsMeaningWithoutTakingTimeExponentialInTheStars) {
  // Every text of up to 5 and pattern of up to 5 characters over A, B, '?' and
  // '*': the same answer as the recursive match.
  const char kText[] = "AB", kPattern[] = "AB?*";
  auto all = [](const char* alphabet, size_t maxLength) {
    std::vector<std::string> out{""};
    for (size_t k = 0; k < out.size(); ++k)
      if (out[k].size() < maxLength)
        for (const char* c = alphabet; *c; ++c) out.push_back(out[k] + *c);
    return out;
  };
  int cases = 0;
  for (const std::string& t : all(kText, 5))
    for (const std::string& p : all(kPattern, 5)) {
      ASSERT_EQ(MatchWildcard(t.c_str(), p.c_str()), RecursiveWildcard(t, 0, p, 0)) << t << " / " << p;
      ++cases;
    }
  EXPECT_GT(cases, 30000);
  // A '*' inside the pattern leaves at least one character after it.
  EXPECT_FALSE(MatchWildcard("A", "A**"));
  EXPECT_TRUE(MatchWildcard("AB", "A**"));
  // Names the recursion took seconds to minutes over (a modal box without a
  // way out): answered at once now.
  const std::string longName(250, 'A');
  EXPECT_FALSE(MatchWildcard(longName.c_str(), "*A*A*A*A*A*A*A*A*B"));
  EXPECT_TRUE(MatchWildcard((longName + "B").c_str(), "*A*A*A*A*A*A*A*A*B"));
  EXPECT_FALSE(MatchNamePattern((longName + ".TXT").c_str(), "a*a*a*a*a*a*b*.txt"));
  EXPECT_TRUE(MatchPathPattern(("\\" + longName + "\\x.txt").c_str(), "*a*a*a*a*a*a*"));
}

// ---- sizes ----------------------------------------------------------------------

TEST(RecoveryTotals, SectorsOfASelectionAreRoundedUpAndNeverZero) {
  uint64_t t = 0;
  for (uint64_t s : {100u, 512u, 513u}) AddSelectedSize(&t, s);
  EXPECT_EQ(t, 4u);   // 1 + 1 + 2
  t = 0;
  AddSelectedSize(&t, 0);
  AddSelectedSize(&t, 0);
  EXPECT_EQ(t, 1u);
  t = 0;
  AddSelectedSize(&t, 5ull << 30);   // a 5 GiB file counts whole
  EXPECT_EQ(t, (5ull << 30) / 512);
}

TEST(RecoveryTotals, SelectedDeletedSectorsReadsTheSixtyFourBitSizes) {
  std::vector<DeletedFileRecord> rs = {Record("\\a", 3ull << 30), Record("\\b", 5ull << 30), Record("\\c", 513)};
  rs[1].selected = rs[2].selected = 1;
  SetRecords(rs);
  uint32_t files = 0;
  EXPECT_EQ(SelectedDeletedSectors(&files), (5ull << 30) / 512 + 2);
  EXPECT_EQ(files, 2u);
  ClearDeletedFiles();
}

TEST(RecoveryTotals, SizeTextShowsTwoDecimalsOfItsUnit) {
  CString n, u;
  SizeText(1, &n, &u);
  EXPECT_STREQ(n, "512");
  EXPECT_STREQ(u, "Byte");
  SizeText(3, &n, &u);   // 1536 bytes
  EXPECT_STREQ(n, "1.50");
  EXPECT_STREQ(u, "KB");
  SizeText(2, &n, &u);
  EXPECT_STREQ(n, "1.00");
  SizeText(2047, &n, &u);   // 1023.5 KB
  EXPECT_STREQ(n, "1023.50");
  SizeText(2048 + 1024 + 205, &n, &u);   // 1.6 MB and a little
  EXPECT_STREQ(n, "1.60");
  EXPECT_STREQ(u, "MB");
  SizeText(5ull << 21, &n, &u);   // 5 GiB
  EXPECT_STREQ(n, "5.00");
  EXPECT_STREQ(u, "GB");
  SizeText((3ull << 31) + (1ull << 20), &n, &u);   // 3 TiB and half a GiB, beyond 32 bits of bytes
  EXPECT_STREQ(n, "3072.50");
}

TEST(RecoveryTotals, RowTextsOfAResultRow) {
  // Under 1 KB in bytes (never "0 KB"), from 1 KB in whole KB.
  DeletedFileRecord r = Record("\\a", 1023);
  EXPECT_STREQ(RecordSizeText(r), "1023 Byte");
  r = Record("\\a", 0);
  EXPECT_STREQ(RecordSizeText(r), "0 Byte");
  r = Record("\\a", 1024);
  EXPECT_STREQ(RecordSizeText(r), "1 KB");
  r = Record("\\a", (3ull << 30) + 4096);   // 3 GiB: from the 64-bit size
  EXPECT_STREQ(RecordSizeText(r), "3145732 KB");
  SYSTEMTIME t = {2021, 5, 4, 6, 7, 8, 10, 0};
  EXPECT_STREQ(RecordTimeText(t), "2021-05-06 07:08:10");
  EXPECT_STREQ(RecordDateText(t), "2021-05-06");
  SYSTEMTIME noon = {2025, 3, 6, 15, 12, 0, 0, 0};
  EXPECT_STREQ(RecordTimeText(noon), "2025-03-15 12:00:00");
}

TEST(RecoveryTotals, RoomForASelectionIsStrictAndSixtyFourBit) {
  EXPECT_FALSE(HasRoomFor(4, 1024));   // 2 KB wanted, 1 KB free
  EXPECT_FALSE(HasRoomFor(2, 1024));
  EXPECT_TRUE(HasRoomFor(1, 1024));
  // A destination of 3 TiB free takes a selection of 2.5 TiB.
  EXPECT_TRUE(HasRoomFor((5ull << 40) / 2 / 512, 3ull << 40));
  EXPECT_FALSE(HasRoomFor((7ull << 40) / 2 / 512, 3ull << 40));
  int bt = 0, bd = 0;
  ScaleForBar(5ull << 32, 5ull << 31, &bt, &bd);
  EXPECT_GT(bt, 0);
  EXPECT_EQ(bd * 2, bt);
}

// ---- destination checks ----------------------------------------------------------

namespace {

struct Drive {
  UINT type;
  uint64_t free;
  int disk;
};

struct TableFacts : DriveFacts {
  std::map<char, Drive> drives;
  std::string DriveRoots() override {
    std::string s;
    for (auto& d : drives) s += std::string(1, d.first) + ":\\" + '\0';
    return s;
  }
  UINT DriveType(char l) override { return drives.count(l) ? drives[l].type : DRIVE_NO_ROOT_DIR; }
  bool DriveExists(char l) override { return drives.count(l) != 0; }
  bool FreeBytes(char l, uint64_t* b) override {
    if (!drives.count(l)) return false;
    *b = drives[l].free;
    return true;
  }
  int DiskNumber(char l) override { return drives.count(l) ? drives[l].disk : -1; }
};

TableFacts Machine() {
  TableFacts f;
  f.drives['A'] = {DRIVE_REMOVABLE, 1 << 20, -1};
  f.drives['C'] = {DRIVE_FIXED, 10ull << 30, 0};
  f.drives['D'] = {DRIVE_FIXED, 40ull << 30, 0};
  f.drives['E'] = {DRIVE_CDROM, 0, -1};
  f.drives['F'] = {DRIVE_FIXED, 40ull << 30, 1};
  f.drives['G'] = {DRIVE_REMOTE, 900ull << 30, -1};
  f.drives['H'] = {DRIVE_REMOVABLE, 1024, 2};
  f.drives['T'] = {DRIVE_FIXED, 3ull << 40, 3};   // 3 TiB free: beyond 32 bits of sectors
  return f;
}

}  // namespace

TEST(DestinationChecks, TheTenChecksInTheirOrder) {
  TableFacts m = Machine();
  DestinationRules rules;
  rules.scanTarget = "D:\\Photos\\";
  rules.totalSectors = 4;
  std::string long259 = "C:\\" + std::string(256, 'a');
  std::string long260 = long259 + "b";
  EXPECT_EQ(CheckDestination(long259.c_str(), rules, m), 0u);
  EXPECT_EQ(CheckDestination(long260.c_str(), rules, m), static_cast<UINT>(IDS_DEST_TOO_LONG));   // 1
  EXPECT_EQ(CheckDestination("", rules, m), static_cast<UINT>(IDS_DEST_EMPTY));                  // 2
  EXPECT_EQ(CheckDestination("C:", rules, m), static_cast<UINT>(IDS_DEST_WRONG));                // 3
  EXPECT_EQ(CheckDestination("Cx\\a", rules, m), static_cast<UINT>(IDS_DEST_WRONG));
  EXPECT_EQ(CheckDestination("C:\\a\\\\b", rules, m), static_cast<UINT>(IDS_DEST_BAD_CHARS));    // 4
  EXPECT_EQ(CheckDestination("C:\\a\\ b", rules, m), static_cast<UINT>(IDS_DEST_BAD_CHARS));
  EXPECT_EQ(CheckDestination("C:\\a:b", rules, m), static_cast<UINT>(IDS_DEST_BAD_CHARS));
  EXPECT_EQ(CheckDestination("d:\\out", rules, m), static_cast<UINT>(IDS_DEST_ON_SCANNED));      // 6
  EXPECT_EQ(CheckDestination("E:\\out", rules, m), static_cast<UINT>(IDS_DEST_WRONG));           // 8
  EXPECT_EQ(CheckDestination("Q:\\out", rules, m), static_cast<UINT>(IDS_DEST_WRONG));           // 9
  EXPECT_EQ(CheckDestination("H:\\out", rules, m), static_cast<UINT>(IDS_DEST_NO_SPACE));        // 10: 1 KB free
  EXPECT_EQ(CheckDestination("F:\\out", rules, m), 0u);
  // The same disk as the scanned volume is fine for a volume scan: only the volume counts.
  EXPECT_EQ(CheckDestination("C:\\out", rules, m), 0u);
}

TEST(DestinationChecks, AFolderTheCopyOutWouldChangeIsRefused) {
  TableFacts m = Machine();
  DestinationRules rules;
  rules.scanTarget = "D:\\";
  rules.totalSectors = 4;
  // The copy-out would have written to F:\out_a, F:\out, F:\b ... while the
  // report named the folder typed.
  for (const char* changed : {"F:\\out\"a", "F:\\out\ta", "F:\\out.", "F:\\out\\.\\a", "F:\\out\\..\\b",
                              "F:\\out\\a.\\b"})
    EXPECT_EQ(CheckDestination(changed, rules, m), static_cast<UINT>(IDS_DEST_BAD_CHARS)) << changed;
  for (const char* kept : {"F:\\out", "F:\\out\\", "f:\\Out\\sub", "F:\\", "F:\\my files\\a.b",
                           "F:\\\xC5\xC4\xCB\xF9"})
    EXPECT_EQ(CheckDestination(kept, rules, m), 0u) << kept;
}

TEST(DestinationChecks, TheRecycleBinRoadRefusesEveryDriveHoldingScannedFiles) {
  TableFacts m = Machine();
  DestinationRules rules;
  rules.recycleBin = true;
  rules.scanTarget = "F:\\$Recycle.Bin";
  rules.totalSectors = 4;
  rules.drivesWithRecords = 1u << ('C' - 'A') | 1u << ('F' - 'A');
  EXPECT_EQ(CheckDestination("C:\\out", rules, m), static_cast<UINT>(IDS_NEED_USB_RECYCLE));   // 5
  EXPECT_EQ(CheckDestination("F:\\out", rules, m), static_cast<UINT>(IDS_NEED_USB_RECYCLE));
  EXPECT_EQ(CheckDestination("D:\\out", rules, m), 0u);
  // The first drive that passes is proposed: D (C holds records, A is never proposed).
  EXPECT_EQ(FindDefaultDestination(rules, m), 'D');
  // No drive left: nothing proposed.
  rules.drivesWithRecords = ~0u;
  EXPECT_EQ(FindDefaultDestination(rules, m), 0);
}

TEST(DestinationChecks, AWholeDiskScanRefusesItsDiskAndDrivesOfUnknownDisk) {
  TableFacts m = Machine();
  m.drives['K'] = {DRIVE_FIXED, 50ull << 30, -1};
  DestinationRules rules;
  rules.road = RecoveryRoad::kDeep;
  rules.scanTarget = "Disk0\\";
  rules.totalSectors = 100;
  EXPECT_EQ(CheckDestination("C:\\out", rules, m), static_cast<UINT>(IDS_DEST_ON_SCANNED));   // 7
  EXPECT_EQ(CheckDestination("D:\\out", rules, m), static_cast<UINT>(IDS_DEST_ON_SCANNED));
  EXPECT_EQ(CheckDestination("K:\\out", rules, m), static_cast<UINT>(IDS_DEST_ON_SCANNED));
  EXPECT_EQ(CheckDestination("F:\\out", rules, m), 0u);
  // Most free space among the drives on other disks: T (3 TiB), not C, D or K.
  EXPECT_EQ(FindDefaultDestination(rules, m), 'T');
}

TEST(DestinationChecks, TheProposalTakesTheMostFreeSpaceAndTheEarlierDriveOnATie) {
  TableFacts m = Machine();
  m.drives.erase('T');
  DestinationRules rules;
  rules.scanTarget = "C:\\";
  rules.totalSectors = 10;
  EXPECT_EQ(FindDefaultDestination(rules, m), 'D');   // D and F both 40 GiB: D comes first
  rules.scanTarget = "D:\\";
  EXPECT_EQ(FindDefaultDestination(rules, m), 'F');
  rules.totalSectors = 200ull << 21;   // 200 GiB: no drive has room
  EXPECT_EQ(FindDefaultDestination(rules, m), 0);
}

TEST(DestinationChecks, BrowsingAddsTheFolderAndTheScannedPathAndMakesItSafe) {
  EXPECT_STREQ(BrowsedDestination("E:\\", RecoveryRoad::kDeleted, "D:\\"), "E:\\ZUL");
  EXPECT_STREQ(BrowsedDestination("E:\\Saved", RecoveryRoad::kDeleted, "D:\\Photos\\2010\\"),
               "E:\\Saved\\ZUL\\Photos\\2010");
  EXPECT_STREQ(BrowsedDestination("E:\\a|b", RecoveryRoad::kUnformat, "D:\\Photos"), "E:\\a|b\\ZUL");
  EXPECT_STREQ(BrowsedDestination("E:\\a|b\"c", RecoveryRoad::kDeleted, "D:\\"), "E:\\a_b_c\\ZUL");
  std::string deep = "E:\\" + std::string(250, 'x');
  EXPECT_STREQ(BrowsedDestination(deep.c_str(), RecoveryRoad::kDeleted, "D:\\Photos"), "E:\\xxx");
  // A two-byte character keeps its second byte, even one that looks like '|' or '\'.
  EXPECT_STREQ(BrowsedDestination("E:\\\xD5\x7C", RecoveryRoad::kDeleted, "D:\\"), "E:\\\xD5\x7C\\ZUL");
}

// ---- the page's filters ----------------------------------------------------------

namespace {

SYSTEMTIME Day(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
  SYSTEMTIME t = {};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(m);
  t.wDay = static_cast<WORD>(d);
  t.wHour = static_cast<WORD>(h);
  t.wMinute = static_cast<WORD>(mi);
  t.wSecond = static_cast<WORD>(s);
  return t;
}

DeletedFileRecord Modified(const char* path, SYSTEMTIME t, uint64_t size = 100) {
  DeletedFileRecord r = Record(path, size);
  r.modified = t;
  return r;
}

}  // namespace

TEST(ResultFilters, EveryNonZeroChoiceFilters) {
  CFileTypeFilter c;
  SYSTEMTIME today = Day(2024, 7, 10);
  EXPECT_FALSE(SetFilterConditions({}, today, &c));
  ResultFilterChoice dateOnly;
  dateOnly.date = 1;
  EXPECT_TRUE(SetFilterConditions(dateOnly, today, &c));
  EXPECT_EQ(c.GetDateMode(), CFileTypeFilter::kDateModified);
  ResultFilterChoice sizeOnly;
  sizeOnly.size = 2;
  EXPECT_TRUE(SetFilterConditions(sizeOnly, today, &c));
  EXPECT_EQ(c.m_sizeEnabled, 1u);
  EXPECT_EQ(c.GetDateMode(), CFileTypeFilter::kDateNone);
  ResultFilterChoice kindOnly;
  kindOnly.kind = 3;
  EXPECT_TRUE(SetFilterConditions(kindOnly, today, &c));
  EXPECT_TRUE(c.GetEnabled(CFileTypeFilter::kAudio) && c.GetEnabled(CFileTypeFilter::kVideo));
  EXPECT_FALSE(c.GetEnabled(CFileTypeFilter::kPictures));
  EXPECT_EQ(c.m_sizeEnabled, 0u);
  ResultFilterChoice nameOnly;
  nameOnly.pattern = "doc";
  EXPECT_TRUE(SetFilterConditions(nameOnly, today, &c));
}

TEST(ResultFilters, TodayCountsWholeLocalDays) {
  CFileTypeFilter c;
  ResultFilterChoice choice;
  choice.date = 1;
  SetFilterConditions(choice, Day(2024, 7, 10, 15, 30), &c);
  EXPECT_FALSE(MatchDateRange(c, Modified("\\a", Day(2024, 7, 9, 23, 59, 59))));
  EXPECT_TRUE(MatchDateRange(c, Modified("\\a", Day(2024, 7, 10, 0, 0, 0))));
  EXPECT_TRUE(MatchDateRange(c, Modified("\\a", Day(2024, 7, 10, 23, 59, 59))));
  EXPECT_FALSE(MatchDateRange(c, Modified("\\a", Day(2024, 7, 11))));
  // The mode decides which of the three times counts.
  DeletedFileRecord r = Modified("\\a", Day(2020, 1, 1));
  r.created = Day(2024, 7, 10);
  EXPECT_FALSE(MatchDateRange(c, r));
  c.SetDateMode(CFileTypeFilter::kDateCreated);
  EXPECT_TRUE(MatchDateRange(c, r));
  c.SetDateMode(9);   // unknown: passes
  EXPECT_TRUE(MatchDateRange(c, Modified("\\a", Day(1999, 1, 1))));
}

TEST(ResultFilters, AWeekMonthAndYearReachBackByTheCalendar) {
  CFileTypeFilter c;
  ResultFilterChoice week;
  week.date = 2;
  // 3 March of a leap year: the week starts on 26 February.
  SetFilterConditions(week, Day(2024, 3, 3), &c);
  EXPECT_TRUE(MatchDateRange(c, Modified("\\a", Day(2024, 2, 26))));
  EXPECT_FALSE(MatchDateRange(c, Modified("\\a", Day(2024, 2, 25, 23, 59))));
  // 2 January: back into December of the year before.
  SetFilterConditions(week, Day(2025, 1, 2), &c);
  EXPECT_TRUE(MatchDateRange(c, Modified("\\a", Day(2024, 12, 27))));
  EXPECT_FALSE(MatchDateRange(c, Modified("\\a", Day(2024, 12, 26))));
  // 10 July: 4 July is in, 3 July is out (within the month).
  SetFilterConditions(week, Day(2024, 7, 10), &c);
  EXPECT_TRUE(MatchDateRange(c, Modified("\\a", Day(2024, 7, 4))));
  EXPECT_FALSE(MatchDateRange(c, Modified("\\a", Day(2024, 7, 3))));
  ResultFilterChoice month;
  month.date = 3;
  SetFilterConditions(month, Day(2024, 7, 10), &c);
  EXPECT_TRUE(MatchDateRange(c, Modified("\\a", Day(2024, 7, 1))));
  EXPECT_FALSE(MatchDateRange(c, Modified("\\a", Day(2024, 6, 30))));
  ResultFilterChoice year;
  year.date = 4;
  SetFilterConditions(year, Day(2024, 7, 10), &c);
  EXPECT_TRUE(MatchDateRange(c, Modified("\\a", Day(2024, 1, 1))));
  EXPECT_FALSE(MatchDateRange(c, Modified("\\a", Day(2023, 12, 31))));
}

TEST(ResultFilters, SizeClassesAreInclusiveAndSixtyFourBit) {
  CFileTypeFilter c;
  auto inClass = [&](int cls, uint64_t size) {
    ResultFilterChoice ch;
    ch.size = cls;
    SetFilterConditions(ch, Day(2024, 7, 10), &c);
    return MatchSizeRange(c, Record("\\a", size));
  };
  EXPECT_TRUE(inClass(1, 0));
  EXPECT_TRUE(inClass(1, 102400));
  EXPECT_TRUE(inClass(2, 102400));   // exactly 100 KB: in two classes
  EXPECT_FALSE(inClass(2, 102399));
  EXPECT_TRUE(inClass(3, 16777216));
  EXPECT_TRUE(inClass(4, 16777216));
  EXPECT_FALSE(inClass(1, 5ull << 30));   // 5 GiB: not small
  EXPECT_TRUE(inClass(4, 5ull << 30));    // but over 16 MB
  EXPECT_FALSE(inClass(3, (4ull << 30) + 10));
}

TEST(ResultFilters, KindsCompareTheEndOfThePathWithoutCase) {
  CFileTypeFilter c;
  ResultFilterChoice ch;
  ch.kind = 2;   // pictures
  SetFilterConditions(ch, Day(2024, 7, 10), &c);
  EXPECT_TRUE(MatchFileCategory(c, "\\Photos\\A.JPG"));
  EXPECT_TRUE(MatchFileCategory(c, "\\Photos\\scan.tiff"));
  EXPECT_FALSE(MatchFileCategory(c, "\\Docs\\a.doc"));
  EXPECT_FALSE(MatchFileCategory(c, "jpg"));   // shorter than ".jpg"
  ch.kind = 1;   // documents: office and ZRT office
  SetFilterConditions(ch, Day(2024, 7, 10), &c);
  EXPECT_TRUE(MatchFileCategory(c, "\\a.DOCX"));
  EXPECT_TRUE(MatchFileCategory(c, "\\a.uof"));
  EXPECT_FALSE(MatchFileCategory(c, "\\a.jpg"));
  ch.kind = 0;
  SetFilterConditions(ch, Day(2024, 7, 10), &c);
  EXPECT_TRUE(MatchFileCategory(c, "\\a.anything"));
}

TEST_F(ResultTree, TheFilteredFillListsWhatPassesAndUnselectsTheRest) {
  std::vector<DeletedFileRecord> rs = {Record("\\Docs\\a.doc", 2000), Record("\\Docs\\b.jpg", 2000),
                                       Record("\\Pics\\c.jpg", 500000), Record("\\Pics\\d.jpg", 2000)};
  for (auto& r : rs) r.selected = 1;
  SetRecords(rs);
  Fill full(&fullTree);
  full.Run();
  ASSERT_EQ(full.job.listedFileCount, 4u);

  CFileTypeFilter c;
  ResultFilterChoice ch;
  ch.kind = 2;
  ch.size = 1;
  ASSERT_TRUE(SetFilterConditions(ch, Day(2024, 7, 10), &c));
  Fill filtered(&filteredTree);
  filtered.job.filtered = true;
  filtered.job.listedFileCount = 4;
  filtered.Run(&c);
  EXPECT_EQ(filtered.job.listedFileCount, 4u);   // the filtered fill leaves the count alone
  EXPECT_EQ(filtered.rows.done, 1);
  EXPECT_EQ(filtered.rows.results + filtered.rows.empty, 0);
  EXPECT_EQ(Names(filteredTree.Root()), (std::vector<std::string>{"Docs", "Pics"}));
  EXPECT_EQ(Names(Child(filteredTree.Root(), "Pics")), (std::vector<std::string>{"d.jpg"}));
  EXPECT_EQ(gDeletedFiles[0].selected, 0);
  EXPECT_EQ(gDeletedFiles[1].selected, 1);
  EXPECT_EQ(gDeletedFiles[2].selected, 0);
  EXPECT_EQ(gDeletedFiles[3].selected, 1);
  // The full tree is still there for the show-all button.
  EXPECT_EQ(fullTree.FileCount(), 4u);
  EXPECT_EQ(Names(fullTree.Root()), (std::vector<std::string>{"Docs", "Pics"}));
}

TEST_F(ResultTree, AFolderRowWithoutFilesIsNeverTakenForARecord) {
  // A folder node that is a leaf (record index -1) ticked: nothing is indexed at -1.
  SetRecords({Record("\\a.txt")});
  bool isNew = false;
  ResultTreeNode* node = nullptr;
  ResultTreeNode* previous = nullptr;
  ASSERT_TRUE(fullTree.AddComponent(fullTree.Root(), "Empty", 5, -1, &node, &isNew, &previous));
  ASSERT_TRUE(isNew);
  node->treeItem = FakeRows::Item(100);
  FakeChecks checks;
  checks.SetCheck(FakeRows::Item(100), 3);
  uint32_t count = 9;
  count = CollectCheckedRecords(fullTree, checks);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(gDeletedFiles[0].selected, 0);
}

// ---- a million records ----------------------------------------------------------

namespace {

// Rows numbered in the order they were made; their marks in a vector.
struct CountingRows : ResultFillSink {
  std::vector<int32_t> records;   // row n's record (-1: a folder)
  std::vector<uint8_t> marks;
  int done = 0, empty = 0, results = 0;
  uint32_t reports = 0, lastDone = 0;
  bool reportsInOrder = true;
  std::atomic<bool>* stopAfter = nullptr;   // raised once this many rows exist
  size_t stopRows = 0;

  void Insert(ResultTreeNode* node, ResultTreeNode*, ResultTreeNode*, int32_t record) override {
    records.push_back(record);
    marks.push_back(1);
    node->treeItem = reinterpret_cast<HTREEITEM>(static_cast<uintptr_t>(records.size()));
    if (stopAfter && records.size() == stopRows) *stopAfter = true;
  }
  void OutOfMemory() override {}
  void FillDone() override { ++done; }
  void NothingListed() override { ++empty; }
  void ResultsListed() override { ++results; }
  void RowsListed(uint32_t, uint32_t recordsDone, uint32_t) override {
    reportsInOrder = reportsInOrder && recordsDone >= lastDone;
    lastDone = recordsDone;
    ++reports;
  }
  int Check(HTREEITEM i) { return marks[reinterpret_cast<uintptr_t>(i) - 1]; }
  void SetCheck(HTREEITEM i, int v) { marks[reinterpret_cast<uintptr_t>(i) - 1] = static_cast<uint8_t>(v); }
};

// Every level: folders first, then files, each group in ascending order.
bool EveryLevelInOrder(const ResultTreeNode* root, size_t* files) {
  bool ok = true;
  *files = 0;
  ForEachResultNode(const_cast<ResultTreeNode*>(root), [&](ResultTreeNode* n) {
    if (n->recordIndex >= 0) ++*files;
    const ResultTreeNode* next = n->nextSibling;
    if (!next) return;
    const bool nFolder = n->recordIndex < 0, nextFolder = next->recordIndex < 0;
    if (!nFolder && nextFolder) ok = false;
    if (nFolder == nextFolder && fw::GbkCompareNoCase(n->name.GetString(), n->name.GetLength(),
                                                      next->name.GetString(), next->name.GetLength()) > 0)
      ok = false;
  });
  return ok;
}

}  // namespace

TEST_F(ResultTree, AMillionRecordsFillInOrderAndAreFilteredTickedAndStopped) {
  const char* kinds[] = {".jpg", ".doc", ".txt", ".mp3"};
  ClearDeletedFiles();
  uint32_t pictureCount = 0;
  for (uint32_t i = 0; i < 1000000; ++i) {
    char path[64];
    const uint32_t folder = i * 7919u % 1000, file = (i / 1000 * 104729u + i) % 1000;
    std::snprintf(path, sizeof path, "\\Folder %03u\\file %04u%s", folder, file, kinds[(folder + file) % 4]);
    if ((folder + file) % 4 == 0) ++pictureCount;
    AppendDeletedFile(Record(path, 1000 + i % 5000));
  }
  ASSERT_EQ(DeletedFileCount(), 1000000u);

  CountingRows rows;
  ResultFillJob job;
  job.sink = &rows;
  job.tree = &fullTree;
  job.hintDelayMs = 0;
  RunResultFill(job);
  EXPECT_EQ(job.listedFileCount, 1000000u);
  EXPECT_EQ(rows.records.size(), 1001000u);   // every file and its folder once
  EXPECT_EQ(rows.done, 1);
  EXPECT_EQ(rows.results, 1);
  EXPECT_FALSE(job.stopped);
  EXPECT_TRUE(rows.reportsInOrder);
  EXPECT_GE(rows.reports, 200u);   // the busy box is told as the fill goes
  size_t files = 0;
  EXPECT_TRUE(EveryLevelInOrder(fullTree.Root(), &files));
  EXPECT_EQ(files, 1000000u);
  EXPECT_EQ(Names(fullTree.Root()).size(), 1000u);

  uint32_t count = 0;
  fullTree.CheckAll(rows);
  count = CollectCheckedRecords(fullTree, rows);
  EXPECT_EQ(count, 1000000u);
  fullTree.InvertChecks(rows);
  count = CollectCheckedRecords(fullTree, rows);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(SelectedDeletedSectors(), 0u);

  // The pictures only (about a quarter), the rest left unselected.
  fullTree.CheckAll(rows);
  count = CollectCheckedRecords(fullTree, rows);
  CFileTypeFilter pictures;
  ResultFilterChoice choice;
  choice.kind = 2;
  ASSERT_TRUE(SetFilterConditions(choice, Day(2024, 7, 10), &pictures));
  CountingRows filteredRows;
  ResultFillJob filtered;
  filtered.sink = &filteredRows;
  filtered.tree = &filteredTree;
  filtered.filtered = true;
  filtered.conditions = &pictures;
  RunResultFill(filtered);
  EXPECT_GT(pictureCount, 200000u);
  EXPECT_EQ(filtered.filteredFileCount, pictureCount);
  EXPECT_TRUE(EveryLevelInOrder(filteredTree.Root(), &files));
  EXPECT_EQ(files, pictureCount);
  size_t selected = 0;
  for (const DeletedFileRecord& r : gDeletedFiles) {
    const bool jpg = std::strstr(r.path, ".jpg") != nullptr;
    if (r.selected) ++selected;
    if (!jpg) {
      ASSERT_EQ(r.selected, 0) << r.path;
    }
  }
  EXPECT_EQ(selected, pictureCount);

  // A stop keeps the rows made before it and is no "nothing found".
  fullTree.Clear();
  CountingRows stoppedRows;
  ResultFillJob stopped;
  stopped.tree = &fullTree;
  stoppedRows.stopAfter = &stopped.stop;
  stoppedRows.stopRows = 5000;
  stopped.sink = &stoppedRows;
  stopped.hintDelayMs = 0;
  RunResultFill(stopped);
  EXPECT_TRUE(stopped.stopped);
  EXPECT_EQ(stoppedRows.records.size(), 5000u);
  size_t folderRows = 0;
  for (int32_t record : stoppedRows.records) folderRows += record < 0 ? 1 : 0;
  EXPECT_EQ(stopped.listedFileCount + folderRows, 5000u);
  EXPECT_GT(stopped.listedFileCount, 0u);
  EXPECT_EQ(stoppedRows.done, 1);
  EXPECT_EQ(stoppedRows.empty + stoppedRows.results, 0);
  EXPECT_TRUE(EveryLevelInOrder(fullTree.Root(), &files));
  EXPECT_EQ(files, stopped.listedFileCount);
}
