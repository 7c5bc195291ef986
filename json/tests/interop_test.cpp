// Texts written by Python's json module (fixture json-texts): every one the
// library accepts reads into the same tree whatever Python's layout, writes
// back stably, and is saved to files that readback.py hands to Python again.
// Texts the library refuses fail with the code cases.tsv names.
#include <windows.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testsupport.h"
#include "vezavu.h"

using namespace VeZavu;
using namespace testsupport;

namespace {

struct Case {
  std::string name, flavour, expect, python;
  std::vector<unsigned> pages;
};

std::vector<Case> ReadCases() {
  std::vector<Case> cases;
  std::string text;
  if (!ReadWholeFile(FixtureDir("json-texts") + "cases.tsv", &text)) {
    ADD_FAILURE() << "no cases.tsv in the json-texts fixture";
    return cases;
  }
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '\t')) f.push_back(field);
    if (f.size() < 5) continue;
    Case c{f[0], f[1], f[2], f[4], {}};
    std::istringstream pages(f[3]);
    std::string page;
    while (std::getline(pages, page, ',')) c.pages.push_back(static_cast<unsigned>(std::stoul(page)));
    cases.push_back(c);
  }
  return cases;
}

std::wstring Wide(const std::string& s) { return FromCodePage(s, CP_UTF8); }

}  // namespace

TEST(Interop, PythonTextsReadWriteAndSave) {
  std::vector<Case> cases = ReadCases();
  ASSERT_GT(cases.size(), 50u);
  const std::string saved = ScratchDir("saved");
  std::map<std::string, std::wstring> compactOf;
  int accepted = 0, refused = 0, files = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + "." + c.flavour);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(FixtureDir("json-texts") + c.name + "." + c.flavour + ".json", &bytes));
    std::wstring text = FromCodePage(bytes, CP_UTF8);
    ASSERT_EQ(text.empty(), bytes.empty());
    Document d;
    bool ok = d.Parse(text);
    if (c.expect != "ok") {
      EXPECT_FALSE(ok);
      EXPECT_EQ(d.GetError().code, std::stoi(c.expect));
      EXPECT_GE(d.GetError().line, 1);
      EXPECT_GE(d.GetError().column, 1);
      ++refused;
      continue;
    }
    ASSERT_TRUE(ok) << "error " << d.GetError().code << " at " << d.GetError().line << ":" << d.GetError().column;
    ++accepted;
    std::wstring compact = d.Write();
    ASSERT_FALSE(compact.empty());
    // Python's layouts differ; the tree read from them does not.
    auto seen = compactOf.emplace(c.name, compact);
    EXPECT_TRUE(seen.first->second == compact) << "flavour reads differently from an earlier one";
    Document again;
    ASSERT_TRUE(again.Parse(compact));
    EXPECT_TRUE(again.Write() == compact);
    Document pretty;
    ASSERT_TRUE(pretty.Parse(d.Write(true, 2)));
    EXPECT_TRUE(pretty.Write() == compact);

    for (unsigned cp : c.pages) {
      for (int layout = 0; layout < 2; ++layout) {
        bool isPretty = layout == 1;
        std::string file = saved + c.name + "." + c.flavour + "." + std::to_string(cp) +
                           (isPretty ? ".pretty.json" : ".compact.json");
        ASSERT_TRUE(d.Save(Wide(file).c_str(), cp, isPretty, 2)) << file;
        std::string written;
        ASSERT_TRUE(ReadWholeFile(file, &written));
        EXPECT_TRUE(written == d.WriteNarrow(cp, isPretty, 2));
        ++files;
      }
    }
  }
  EXPECT_GT(accepted, 40);
  EXPECT_GT(refused, 15);
  printf("accepted %d, refused %d, saved %d files for Python to read back\n", accepted, refused, files);
}

TEST(Save, MakesMissingFoldersAndReplacesTheFile) {
  const std::string dir = ScratchDir("save");
  std::wstring path = Wide(dir) + L"one\\two/three\\doc.json";
  Document d;
  ASSERT_TRUE(d.Parse(L"{\"k\":[1,2],\"t\":\"\x4e2d\"}"));
  ASSERT_TRUE(d.Save(path.c_str(), CP_UTF8, false));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(dir + "one\\two\\three\\doc.json", &bytes));
  EXPECT_EQ(bytes, "{\"k\":[1,2],\"t\":\"\xe4\xb8\xad\"}");
  // Created anew: a shorter text leaves nothing of the longer one behind.
  ASSERT_TRUE(d.Parse(L"[1]"));
  ASSERT_TRUE(d.Save(path.c_str(), CP_UTF8, true, 4));
  ASSERT_TRUE(ReadWholeFile(dir + "one\\two\\three\\doc.json", &bytes));
  EXPECT_EQ(bytes, "[1]");
  ASSERT_TRUE(d.Parse(L"[1,2]"));
  ASSERT_TRUE(d.Save(path.c_str(), CP_UTF8, true, 1));
  ASSERT_TRUE(ReadWholeFile(dir + "one\\two\\three\\doc.json", &bytes));
  EXPECT_EQ(bytes, "[\r\n 1, \r\n 2\r\n]");
}

TEST(Save, NothingToWriteLeavesTheFileAlone) {
  const std::string dir = ScratchDir("save-empty");
  std::string file = dir + "keep.json";
  ASSERT_TRUE(WriteWholeFile(file, "{\"old\":1}"));
  Document d;
  EXPECT_FALSE(d.Save(Wide(file).c_str(), CP_UTF8));
  EXPECT_FALSE(d.Parse(L"broken"));
  EXPECT_FALSE(d.Save(Wide(file).c_str(), CP_UTF8));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(file, &bytes));
  EXPECT_EQ(bytes, "{\"old\":1}");
  EXPECT_FALSE(d.Save(nullptr, CP_UTF8));
  EXPECT_FALSE(d.Save(L"", CP_UTF8));
}

TEST(Save, FailsWhereNoFileCanBe) {
  const std::string dir = ScratchDir("save-fail");
  Document d;
  ASSERT_TRUE(d.Parse(L"[1]"));
  // The path names a folder; and a folder on the way is a file.
  CreateDirectoryA((dir + "folder").c_str(), nullptr);
  EXPECT_FALSE(d.Save(Wide(dir + "folder").c_str(), CP_UTF8));
  ASSERT_TRUE(WriteWholeFile(dir + "plain", "x"));
  EXPECT_FALSE(d.Save(Wide(dir + "plain\\doc.json").c_str(), CP_UTF8));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(dir + "plain", &bytes));
  EXPECT_EQ(bytes, "x");
}

TEST(Save, AFailedSaveKeepsTheOldFile) {
  const std::string dir = ScratchDir("save-keep");
  const std::string file = dir + "doc.json";
  ASSERT_TRUE(WriteWholeFile(file, "{\"old\":1}"));
  std::string bytes;
  // A text that cannot be written, and a target that cannot be replaced.
  Document bad;
  bad[L"s"] = std::wstring(L"\0", 1);
  EXPECT_FALSE(bad.Save(Wide(file).c_str(), CP_UTF8));
  ASSERT_TRUE(ReadWholeFile(file, &bytes));
  EXPECT_EQ(bytes, "{\"old\":1}");
  // A good save replaces it whole and leaves nothing beside it.
  Document d;
  ASSERT_TRUE(d.Parse(L"[1,2,3]"));
  ASSERT_TRUE(d.Save(Wide(file).c_str(), CP_UTF8, false));
  ASSERT_TRUE(ReadWholeFile(file, &bytes));
  EXPECT_EQ(bytes, "[1,2,3]");
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((dir + "*").c_str(), &found);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  int files = 0;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      ++files;
      EXPECT_STREQ(found.cFileName, "doc.json");
    }
  } while (FindNextFileA(h, &found));
  FindClose(h);
  EXPECT_EQ(files, 1);
}

// Run by json_save_fulldisk with a destination of 24 KB: the text does not
// fit, and the file it was to replace must survive the failed save.
TEST(FullDisk, AFailedWriteKeepsTheOldFile) {
  const char* dest = getenv("SALVORA_FULL_DEST");
  if (!dest) GTEST_SKIP() << "needs the small destination of json_save_fulldisk";
  const std::string file = std::string(dest) + "settings.json";
  const std::string old(8 * 1024, 'o');
  ASSERT_TRUE(WriteWholeFile(file, "\"" + old + "\""));
  Document d;
  for (int i = 0; i < 4000; ++i) d[i] = L"a text that makes the document larger than the disk";
  EXPECT_FALSE(d.Save(Wide(file).c_str(), CP_UTF8));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(file, &bytes));
  EXPECT_EQ(bytes, "\"" + old + "\"");
  // The partial text went with the failure.
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((std::string(dest) + "*.tmp").c_str(), &found);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  if (h != INVALID_HANDLE_VALUE) FindClose(h);
}
