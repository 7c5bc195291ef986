// The updater's pieces that need no server: index documents and what a level
// says, which files need an update, names from the index, the pending-copy
// file and the restart command line, unpacking, and putting a file in place.
#include <windows.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <random>

#include "bkini.h"
#include "cmdline.h"
#include "handover.h"
#include "qupdate.h"
#include "safepath.h"
#include "unpack.h"
#include "updbed.h"
#include "updindex.h"
#include "updworker.h"

using updbed::W;

namespace {

std::string Utf8Bom(const std::string& s) { return "\xEF\xBB\xBF" + s; }

std::string Utf16Bom(const std::wstring& s) {
  std::string out = "\xFF\xFE";
  for (wchar_t c : s) {
    out += (char)(c & 0xFF);
    out += (char)(c >> 8);
  }
  return out;
}

std::vector<std::wstring> SectionNames(const BKIni::Document& doc) {
  std::vector<std::wstring> names;
  for (const auto& s : doc.Sections()) names.push_back(s.first);
  return names;
}

std::wstring Value(BKIni::Document& doc, const wchar_t* section, const wchar_t* key) {
  return doc.KeyValue(doc.FindSection(section), key);
}

void Parse(BKIni::Document* doc, const std::string& bytes) {
  ASSERT_EQ(S_OK, doc->Parse(bytes.data(), bytes.size()));
}

std::string Zlib(const std::string& data) {
  uLongf size = compressBound((uLong)data.size());
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
           (uLong)data.size());
  out.resize(size);
  return out;
}

uint32_t Crc(const std::string& data) {
  return (uint32_t)crc32(0, reinterpret_cast<const Bytef*>(data.data()), (uInt)data.size());
}

}  // namespace

// ---- the document --------------------------------------------------------

TEST(IndexDocument, EncodingsByTheirMarks) {
  BKIni::Document utf16(L"");
  Parse(&utf16, Utf16Bom(L"[文件]\r\nFN=说明.txt\r\n"));
  EXPECT_EQ(L"说明.txt", Value(utf16, L"文件", L"FN"));

  BKIni::Document utf8(L"");
  Parse(&utf8, Utf8Bom(u8"[文件]\nFN=说明.txt\n"));
  EXPECT_EQ(L"说明.txt", Value(utf8, L"文件", L"FN"));

  // Without a mark: the thread's ANSI code page (936 on the test bed).
  BKIni::Document ansi(L"");
  Parse(&ansi, "[\xCE\xC4\xBC\xFE]\nFN=\xCB\xB5\xC3\xF7.txt\n");
  EXPECT_EQ(L"说明.txt", Value(ansi, L"文件", L"FN"));

  // UTF-16 without its mark reads as ANSI and stops at the first zero byte.
  BKIni::Document bare(L"");
  std::string text = Utf16Bom(L"[info]\r\nc=1\r\n").substr(2);
  Parse(&bare, text);
  EXPECT_TRUE(bare.Sections().empty());
}

TEST(IndexDocument, GrammarOfHeadersAndKeys) {
  BKIni::Document doc(L"ctx");
  Parse(&doc,
        "orphan=1\n"
        "[]\nlost1=1\n"
        "[open\nlost2=1\n"
        "  [ info ] x\n"
        "a = b = c\n"
        "x=\n"
        "=5\n"
        "novalue\n"
        "; c=3\n"
        "# c=3\n"
        "   spaced   =   value with  spaces   \n"
        "[F1]\nk=1\nk=2\n"
        "[f1]\nj=3\n"
        "[F1]\nm=4\r\n");
  EXPECT_EQ(L"ctx", doc.Context());
  EXPECT_EQ((std::vector<std::wstring>{L"F1", L"info"}), SectionNames(doc));
  BKIni::SectionHandle info = doc.FindSection(L"INFO");
  ASSERT_FALSE(info.IsNull());
  EXPECT_EQ(L"b = c", doc.KeyValue(info, L"a"));
  EXPECT_TRUE(doc.HasKey(info, L"x"));
  EXPECT_EQ(L"", doc.KeyValue(info, L"x"));
  EXPECT_FALSE(doc.HasKey(info, L"c"));
  EXPECT_EQ(L"3", doc.KeyValue(info, L"# c"));
  EXPECT_EQ(L"value with  spaces", doc.KeyValue(info, L"spaced"));
  EXPECT_EQ(4u, info.section->keys.size()) << "a, x, '# c' and spaced; nothing from dropped lines";
  EXPECT_FALSE(doc.HasKey(info, L"orphan"));
  EXPECT_FALSE(doc.HasKey(info, L"lost1"));
  EXPECT_FALSE(doc.HasKey(info, L"lost2"));

  BKIni::SectionHandle f1 = doc.FindSection(L"f1");
  EXPECT_EQ(L"F1", *f1.name) << "the first spelling stays";
  EXPECT_EQ(L"2", doc.KeyValue(f1, L"K"));
  EXPECT_EQ(L"3", doc.KeyValue(f1, L"j"));
  EXPECT_EQ(L"4", doc.KeyValue(f1, L"m"));
}

TEST(IndexDocument, HandlesAndLookups) {
  BKIni::Document doc(L"");
  EXPECT_FALSE(doc.HasSection(L"s"));
  EXPECT_TRUE(doc.GetSection(L"").IsNull());
  BKIni::SectionHandle s = doc.GetSection(L"s");
  ASSERT_FALSE(s.IsNull());
  EXPECT_TRUE(doc.HasSection(L"S"));
  EXPECT_TRUE(doc.GetKey(BKIni::SectionHandle(), L"k").IsNull());
  EXPECT_TRUE(doc.GetKey(s, L"").IsNull());
  EXPECT_FALSE(doc.HasKey(s, L"k"));
  BKIni::KeyHandle k = doc.GetKey(s, L"k");
  EXPECT_TRUE(doc.HasKey(s, L"K"));
  EXPECT_EQ(L"", k.Value());
  doc.SetKey(s, L"K", L"v");
  EXPECT_EQ(L"v", k.Value());
  EXPECT_EQ(L"", BKIni::KeyHandle().Value());

  // Loading: a missing file leaves the document empty.
  BKIni::Document missing(L"", L"Z:\\no\\such\\index.txt");
  EXPECT_TRUE(missing.Sections().empty());
  EXPECT_EQ(E_POINTER, missing.Load(nullptr));
}

// ---- what a level says -----------------------------------------------------

TEST(IndexLevel, SubLevelsAndTheirGaps) {
  BKIni::Document doc(L"");
  Parse(&doc, "[info]\nc=3\np0=a/\nm0=0123456789abcdef0123456789ABCDEF\np2=c/\nm2=x\np1=\n");
  EXPECT_EQ(3u, tarn::ReadSubLevelCount(doc));
  std::wstring p, m;
  EXPECT_TRUE(tarn::ReadSubLevelPath(doc, 0, &p));
  EXPECT_EQ(L"a/", p);
  EXPECT_TRUE(tarn::ReadSubLevelMd5(doc, 0, &m));
  EXPECT_FALSE(tarn::ReadSubLevelPath(doc, 1, &p)) << "empty counts as absent";
  EXPECT_FALSE(tarn::ReadSubLevelMd5(doc, 1, &m));
  EXPECT_TRUE(tarn::ReadSubLevelPath(doc, 2, &p));

  BKIni::Document words(L"");
  Parse(&words, "[info]\nc=abc\n");
  EXPECT_EQ(0u, tarn::ReadSubLevelCount(words));
  BKIni::Document none(L"");
  Parse(&none, "[x]\nc=4\n");
  EXPECT_EQ(0u, tarn::ReadSubLevelCount(none));
  EXPECT_FALSE(tarn::ReadSubLevelPath(none, 0, &p));
}

TEST(IndexLevel, LocalFolderForms) {
  std::wstring f;
  EXPECT_TRUE(tarn::ResolveLocalFolder(L"%P%", &f));
  EXPECT_EQ(L"", f);
  EXPECT_TRUE(tarn::ResolveLocalFolder(L"%P%bin%", &f));
  EXPECT_EQ(L"bin", f);
  EXPECT_FALSE(tarn::ResolveLocalFolder(L"%S%x%", &f));
  EXPECT_FALSE(tarn::ResolveLocalFolder(L"%", &f));
  EXPECT_TRUE(tarn::ResolveLocalFolder(L"sub", &f));
  EXPECT_EQ(L"sub", f);

  BKIni::Document doc(L"lv/");
  Parse(&doc,
        "[b]\nFN=b.txt\nLP=sub\nSFN=0123456789abcdef0123456789abcdef\nRP=r/\nC=12\nCV=0\nUR=1\n"
        "FS=-1\nVer=1.2.3.4\n"
        "[a]\nFN=a.txt\nLP=%P%bin%\n"
        "[s]\nFN=s.txt\nLP=%S%x%\n");
  bool keep = false;
  tarn::UpdateFileEntry b = tarn::MakeFileEntry(doc, doc.FindSection(L"b"), &keep);
  EXPECT_TRUE(keep);
  EXPECT_EQ(L"sub\\b.txt", b.localPath);
  EXPECT_EQ(L"lv/r/", b.remoteFolder);
  EXPECT_EQ(L"lv/", b.levelPath);
  EXPECT_EQ(12u, b.crc);
  EXPECT_EQ(0u, b.compareMode);
  EXPECT_EQ(1u, b.inUse);
  EXPECT_EQ(0xFFFFFFFFu, b.fileSize) << "wcstoul takes a sign";
  EXPECT_EQ(L"1.2.3.4", b.version);
  tarn::UpdateFileEntry a = tarn::MakeFileEntry(doc, doc.FindSection(L"a"), &keep);
  EXPECT_EQ(L"bin\\a.txt", a.localPath);
  EXPECT_EQ(3u, a.compareMode) << "CRC only without CV";
  EXPECT_EQ(L"lv/", a.remoteFolder);
  tarn::MakeFileEntry(doc, doc.FindSection(L"s"), &keep);
  EXPECT_FALSE(keep);
}

TEST(IndexLevel, FileSectionsInNameOrder) {
  std::wstring root = updbed::Scratch("order");
  std::string sfn = "0123456789abcdef0123456789abcdef";
  BKIni::Document doc(L"");
  Parse(&doc, "[b]\nFN=b\nSFN=" + sfn + "\n[A]\nFN=a\nSFN=" + sfn + "\n[_x]\nFN=x\nSFN=" + sfn +
                  "\n[COMMENT]\nFN=c\nSFN=" + sfn + "\n[Comment]\nFN=cc\nSFN=" + sfn +
                  "\n[info]\nFN=i\nSFN=" + sfn + "\n");
  std::vector<tarn::UpdateFileEntry> files;
  tarn::ReadFileEntries(doc, root, &files);
  std::vector<std::wstring> names;
  for (const auto& e : files) names.push_back(e.fileName);
  // [COMMENT] and [Comment] head one section, spelled as first seen: skipped.
  // At a list level "info" is a file section like any other.
  EXPECT_EQ((std::vector<std::wstring>{L"x", L"a", L"b", L"i"}), names);
}

TEST(IndexLevel, CommentSectionIsSkippedOnlyWhenSpelledSo) {
  std::wstring root = updbed::Scratch("comment");
  std::string sfn = "0123456789abcdef0123456789abcdef";
  BKIni::Document doc(L"");
  Parse(&doc, "[Comment]\nFN=cc\nSFN=" + sfn + "\n");
  std::vector<tarn::UpdateFileEntry> files;
  tarn::ReadFileEntries(doc, root, &files);
  ASSERT_EQ(1u, files.size());
  EXPECT_EQ(L"cc", files[0].fileName);
}

// ---- names from the network ------------------------------------------------

TEST(IndexNames, OnlyPlainRelativeNames) {
  for (const wchar_t* ok : {L"a.txt", L"bin\\a.dll", L"bin/a.dll", L"文档\\说明.txt", L"a..b",
                            L".hidden", L"console\\x", L"com10"})
    EXPECT_TRUE(tarn::IsSafeRelativeFile(ok)) << updbed::U(ok);
  for (const wchar_t* bad :
       {L"", L"..", L"..\\a", L"a\\..\\b", L"a/../b", L".", L"a\\.\\b", L"\\a", L"/a", L"\\\\s\\x",
        L"C:\\a", L"C:a", L"a:b", L"a\\\\b", L"a\\", L"nul", L"CON.txt", L"com1", L"LPT9.log",
        L"a.", L"a ", L"a?b", L"a*b", L"a\"b", L"a<b", L"a|b", L"a\tb"})
    EXPECT_FALSE(tarn::IsSafeRelativeFile(bad)) << updbed::U(bad);
  EXPECT_TRUE(tarn::IsSafeRelativeFolder(L""));
  EXPECT_TRUE(tarn::IsSafeRelativeFolder(L"a/b/"));
  EXPECT_FALSE(tarn::IsSafeRelativeFolder(L"../"));
  EXPECT_FALSE(tarn::IsSafeRelativeFolder(L"a//"));
  EXPECT_TRUE(tarn::IsMd5Text(L"0123456789abcdefABCDEF0123456789"));
  EXPECT_FALSE(tarn::IsMd5Text(L"0123456789abcdefABCDEF012345678"));
  EXPECT_FALSE(tarn::IsMd5Text(L"../../0123456789abcdefABCDEF0123"));

  std::wstring root = L"Z:\\prog\\";
  EXPECT_EQ(L"Z:\\prog\\a\\b.txt", tarn::JoinBelow(root, L"a/b.txt"));
  EXPECT_EQ(L"", tarn::JoinBelow(root, L"..\\b.txt"));
  EXPECT_FALSE(tarn::IsBelowFolder(root, L"Z:\\prog"));
  EXPECT_FALSE(tarn::IsBelowFolder(root, L"Z:\\program\\x"));
  EXPECT_TRUE(tarn::IsBelowFolder(root, L"z:\\PROG\\x"));
}

TEST(IndexNames, UnsafeEntriesAreNotListedAndTouchNothing) {
  std::wstring base = updbed::Scratch("unsafe");
  std::wstring root = base + L"prog\\";
  ASSERT_TRUE(updbed::WriteBytes(root + L"victim\\precious.txt", "keep"));
  std::string sfn = "0123456789abcdef0123456789abcdef";
  BKIni::Document doc(L"");
  Parse(&doc,
        "[t1]\nFN=..\\out.txt\nSFN=" + sfn + "\n"
        "[t2]\nLP=victim\nSFN=" + sfn + "\n"          // no FN: names the folder
        "[t3]\nFN=x.txt\nLP=C:\\w\nSFN=" + sfn + "\n"
        "[t4]\nFN=x.txt\nSFN=../x\n"
        "[t5]\nFN=x.txt\nLP=%P%..%\nSFN=" + sfn + "\n"
        "[t6]\nFN=f:s\nSFN=" + sfn + "\n");
  std::vector<tarn::UpdateFileEntry> files;
  tarn::ReadFileEntries(doc, root, &files);
  EXPECT_TRUE(files.empty());
  EXPECT_EQ("keep", [&] {
    std::string s;
    updbed::ReadBytes(root + L"victim\\precious.txt", &s);
    return s;
  }());
  // A level path from a parent level is checked the same way.
  BKIni::Document climbing(L"../");
  Parse(&climbing, "[f]\nFN=a.txt\nSFN=" + sfn + "\n");
  tarn::ReadFileEntries(climbing, root, &files);
  EXPECT_TRUE(files.empty());
}

// ---- which local files need an update --------------------------------------

class NeedsUpdate : public ::testing::Test {
 protected:
  void SetUp() override { root_ = updbed::Scratch("needs"); }
  tarn::UpdateFileEntry Entry(const std::wstring& path, uint32_t crc, uint32_t mode,
                              const std::wstring& version = L"") {
    tarn::UpdateFileEntry e;
    e.fileName = path;
    e.localPath = path;
    e.serverFileName = L"0123456789abcdef0123456789abcdef";
    e.crc = crc;
    e.compareMode = mode;
    e.version = version;
    return e;
  }
  std::wstring root_;
};

TEST_F(NeedsUpdate, ByCrcAndCompareMode) {
  std::string data = "content of the file";
  ASSERT_TRUE(updbed::WriteBytes(root_ + L"f.txt", data));
  EXPECT_EQ(0, tarn::EntryNeedsUpdate(Entry(L"f.txt", Crc(data), 3), root_));
  EXPECT_EQ(1, tarn::EntryNeedsUpdate(Entry(L"f.txt", Crc(data) + 1, 3), root_));
  EXPECT_EQ(0, tarn::EntryNeedsUpdate(Entry(L"f.txt", Crc(data) + 1, 5), root_)) << "never replaced";
  EXPECT_EQ(1, tarn::EntryNeedsUpdate(Entry(L"missing.txt", 0, 5), root_)) << "missing: listed";
  EXPECT_EQ(1, tarn::EntryNeedsUpdate(Entry(L"no\\such\\path.txt", 0, 3), root_));

  // A file that cannot be opened counts as CRC 0.
  HANDLE held = CreateFileW((root_ + L"f.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_EQ(1, tarn::CompareEntryCrc(Entry(L"f.txt", Crc(data), 3), root_));
  EXPECT_EQ(0, tarn::CompareEntryCrc(Entry(L"f.txt", 0, 3), root_));
  CloseHandle(held);
}

TEST_F(NeedsUpdate, ByVersionResource) {
  // A Windows DLL carries a fixed file version.
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  ASSERT_TRUE(updbed::CopyInto(std::wstring(system) + L"\\kernel32.dll", root_ + L"v.dll"));
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW((root_ + L"v.dll").c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<unsigned char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW((root_ + L"v.dll").c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
  unsigned a = HIWORD(fixed->dwFileVersionMS), b = LOWORD(fixed->dwFileVersionMS);
  unsigned c = HIWORD(fixed->dwFileVersionLS), d = LOWORD(fixed->dwFileVersionLS);
  auto ver = [](unsigned a, unsigned b, unsigned c, unsigned d) {
    wchar_t t[64];
    swprintf(t, 64, L"%u.%u.%u.%u", a, b, c, d);
    return std::wstring(t);
  };
  std::string bytes;
  ASSERT_TRUE(updbed::ReadBytes(root_ + L"v.dll", &bytes));
  uint32_t crc = Crc(bytes);

  EXPECT_EQ(1, tarn::EntryNeedsUpdate(Entry(L"v.dll", crc, 0, ver(a, b, c, d + 1)), root_));
  EXPECT_EQ(1, tarn::EntryNeedsUpdate(Entry(L"v.dll", crc, 0, ver(a + 1, 0, 0, 0)), root_));
  if (d > 0) {
    EXPECT_EQ(0, tarn::EntryNeedsUpdate(Entry(L"v.dll", crc + 1, 0, ver(a, b, c, d - 1)), root_));
  }
  EXPECT_EQ(0, tarn::EntryNeedsUpdate(Entry(L"v.dll", crc + 1, 0, L""), root_))
      << "an absent Ver reads 0.0.0.0: older, not replaced";
  // Equal versions fall to the CRC.
  EXPECT_EQ(0, tarn::EntryNeedsUpdate(Entry(L"v.dll", crc, 0, ver(a, b, c, d)), root_));
  EXPECT_EQ(1, tarn::EntryNeedsUpdate(Entry(L"v.dll", crc + 1, 0, ver(a, b, c, d)), root_));
  // A file without a version resource falls to the CRC.
  ASSERT_TRUE(updbed::WriteBytes(root_ + L"plain.txt", "plain"));
  EXPECT_EQ(0, tarn::EntryNeedsUpdate(Entry(L"plain.txt", Crc("plain"), 0, L"9.9.9.9"), root_));
  EXPECT_EQ(1, tarn::EntryNeedsUpdate(Entry(L"plain.txt", 1, 0, L"0.0.0.0"), root_));
}

TEST_F(NeedsUpdate, WhatStandsInTheWayRefusesTheEntryAndIsKept) {
  ASSERT_TRUE(updbed::WriteBytes(root_ + L"clash\\a\\b.txt", "x"));
  EXPECT_EQ(tarn::kEntryBlocked, tarn::EntryNeedsUpdate(Entry(L"clash", 0, 3), root_));
  EXPECT_TRUE(updbed::Exists(root_ + L"clash\\a\\b.txt"));
  CreateDirectoryW((root_ + L"empty").c_str(), nullptr);
  EXPECT_EQ(tarn::kEntryBlocked, tarn::EntryNeedsUpdate(Entry(L"empty", 0, 3), root_));
  EXPECT_TRUE(updbed::IsFolder(root_ + L"empty"));
  // A file where a folder of the path belongs.
  ASSERT_TRUE(updbed::WriteBytes(root_ + L"plain", "p"));
  EXPECT_EQ(tarn::kEntryBlocked, tarn::EntryNeedsUpdate(Entry(L"plain\\inner.txt", 0, 3), root_));
  // The updater's own folder is never a target.
  EXPECT_EQ(tarn::kEntryBlocked, tarn::EntryNeedsUpdate(Entry(L"update", 0, 3), root_));
  EXPECT_EQ(tarn::kEntryBlocked, tarn::EntryNeedsUpdate(Entry(L"Update\\index.txt", 0, 3), root_));
  EXPECT_EQ(1, tarn::EntryNeedsUpdate(Entry(L"updates\\x.txt", 0, 3), root_));
}

// ---- the pending-copy file and the restart command line --------------------

TEST(Handover, PendingFileIsUtf16AndStartsAfresh) {
  std::wstring root = updbed::Scratch("pending");
  std::wstring file = root + tarn::kPendingFileName;
  ASSERT_TRUE(tarn::PendingWriteCopy(file, 0, L"old.txt", L"update\\old.txt"));
  ASSERT_TRUE(tarn::PendingWriteCopy(file, 1, L"old2.txt", L"update\\old2.txt"));
  ASSERT_TRUE(tarn::PendingStartFresh(file));
  EXPECT_TRUE(tarn::PendingReadCopies(file).empty()) << "stale sections are gone";

  ASSERT_TRUE(tarn::PendingWriteCopy(file, 0, L"库\\数据.dat", L"update\\库\\数据.dat"));
  ASSERT_TRUE(tarn::PendingWriteCopy(file, 1, L"a b.txt", L"update\\a b.txt"));
  ASSERT_TRUE(tarn::PendingWriteRun(file, L"Z:\\程序\\salvora.exe"));
  std::string bytes;
  ASSERT_TRUE(updbed::ReadBytes(file, &bytes));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
  std::wstring text((bytes.size() - 2) / 2, L'\0');
  memcpy(&text[0], bytes.data() + 2, text.size() * 2);
  EXPECT_NE(std::wstring::npos, text.find(L"DES=库\\数据.dat"));

  auto copies = tarn::PendingReadCopies(file);
  ASSERT_EQ(2u, copies.size());
  EXPECT_EQ(L"库\\数据.dat", copies[0].des);
  EXPECT_EQ(L"update\\库\\数据.dat", copies[0].from);
  EXPECT_EQ(L"a b.txt", copies[1].des);
  EXPECT_EQ(L"Z:\\程序\\salvora.exe", tarn::PendingReadRun(file));
}

TEST(Handover, GapEndsTheListAndNullMeansNone) {
  std::wstring root = updbed::Scratch("gap");
  std::wstring file = root + tarn::kPendingFileName;
  ASSERT_TRUE(tarn::PendingWriteCopy(file, 0, L"a", L"update\\a"));
  ASSERT_TRUE(tarn::PendingWriteCopy(file, 2, L"c", L"update\\c"));
  EXPECT_EQ(1u, tarn::PendingReadCopies(file).size());
  EXPECT_EQ(L"", tarn::PendingReadRun(file));
  ASSERT_TRUE(tarn::PendingWriteRun(file, L"null"));
  EXPECT_EQ(L"", tarn::PendingReadRun(file)) << "NULL compares without case";
}

TEST(Handover, EscapedCommandComesBackUnchanged) {
  std::vector<std::wstring> samples = {
      L"", L"-fixdel", L"/x:C:\\a b\\c -y \"q\" 50% $d&e 数据", L"%0020", L"%", L"%%%",
      L"\t\r\n", L"\"", L"a\"b c\" d", L"-a:\"\" -b", L"ends with %"};
  std::mt19937 rng(12345);
  const wchar_t alphabet[] = L" \"%$&-/\\:abcXYZ09\t数\x01";
  for (int i = 0; i < 300; ++i) {
    std::wstring s;
    int n = (int)(rng() % 24);
    for (int k = 0; k < n; ++k) s += alphabet[rng() % (sizeof alphabet / sizeof alphabet[0] - 1)];
    samples.push_back(s);
  }
  for (const std::wstring& cmd : samples) {
    std::wstring escaped = tarn::EscapeCommandValue(cmd);
    EXPECT_EQ(std::wstring::npos, escaped.find_first_of(L" \"\t")) << updbed::U(cmd);
    EXPECT_EQ(cmd, tarn::UnescapeCommandValue(escaped)) << updbed::U(cmd);

    // Through the completion program's command line and its parser.
    std::wstring line = tarn::ReupdateCommandLine(L"Z:\\my-app dir\\wendup.exe", cmd, 4242);
    CCommandLine parsed;
    parsed.Parse(line.c_str());
    EXPECT_EQ(L"4242", parsed.Get(L"pid")) << updbed::U(line);
    EXPECT_EQ(!cmd.empty(), parsed.Has(L"cmd")) << updbed::U(line);
    EXPECT_EQ(cmd, tarn::UnescapeCommandValue(parsed.Get(L"cmd"))) << updbed::U(line);
    EXPECT_EQ(2u - (cmd.empty() ? 1u : 0u), parsed.Count()) << updbed::U(line);
  }
}

// ---- unpacking ---------------------------------------------------------------

TEST(Unpack, StreamsWithinTheCeiling) {
  std::wstring root = updbed::Scratch("unpack");
  std::string data;
  for (int i = 0; i < 200000; ++i) data += (char)(i * 7 % 251);
  std::string packed = Zlib(data);
  ASSERT_TRUE(updbed::WriteBytes(root + L"ok.z", packed));
  std::string md5;
  EXPECT_EQ(0, tarn::UnpackZlibFile(root + L"ok.z", root + L"ok", 1 << 20, &md5));
  EXPECT_EQ(updbed::Md5(root + L"ok"), md5);
  std::string back;
  ASSERT_TRUE(updbed::ReadBytes(root + L"ok", &back));
  EXPECT_TRUE(back == data);

  // Over the ceiling, truncated, or not zlib at all: failed, no output left.
  EXPECT_EQ(tarn::kUnpackFailed, tarn::UnpackZlibFile(root + L"ok.z", root + L"small", 199999));
  EXPECT_FALSE(updbed::Exists(root + L"small"));
  ASSERT_TRUE(updbed::WriteBytes(root + L"cut.z", packed.substr(0, packed.size() - 9)));
  EXPECT_EQ(tarn::kUnpackFailed, tarn::UnpackZlibFile(root + L"cut.z", root + L"cut", 1 << 20));
  EXPECT_FALSE(updbed::Exists(root + L"cut"));
  std::string flipped = packed;
  flipped[flipped.size() / 2] ^= 0x55;
  ASSERT_TRUE(updbed::WriteBytes(root + L"bad.z", flipped));
  EXPECT_EQ(tarn::kUnpackFailed, tarn::UnpackZlibFile(root + L"bad.z", root + L"bad", 1 << 20));
  ASSERT_TRUE(updbed::WriteBytes(root + L"raw.z", data.substr(0, 1000)));
  EXPECT_EQ(tarn::kUnpackFailed, tarn::UnpackZlibFile(root + L"raw.z", root + L"raw", 1 << 20));
  ASSERT_TRUE(updbed::WriteBytes(root + L"empty.z", ""));
  EXPECT_EQ(tarn::kUnpackFailed, tarn::UnpackZlibFile(root + L"empty.z", root + L"e", 1 << 20));
  // A stream that unpacks to far more than it is (a "zip bomb") stops at the ceiling.
  std::string zeros(64 << 20, '\0');
  ASSERT_TRUE(updbed::WriteBytes(root + L"bomb.z", Zlib(zeros)));
  zeros.clear();
  EXPECT_EQ(tarn::kUnpackFailed, tarn::UnpackZlibFile(root + L"bomb.z", root + L"bomb", 1 << 20));
  EXPECT_FALSE(updbed::Exists(root + L"bomb"));
}

// ---- putting a file in place ---------------------------------------------------

class Replace : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = updbed::Scratch("replace");
    ASSERT_TRUE(updbed::WriteBytes(root_ + L"new.bin", "new content"));
  }
  void TearDown() override { updbed::ForgetRebootRenames(root_); }
  std::string Content(const std::wstring& name) {
    std::string s;
    if (!updbed::ReadBytes(root_ + name, &s)) return "<missing>";
    return s;
  }
  std::wstring root_;
};

TEST_F(Replace, FreeOrMissingTargets) {
  EXPECT_EQ(0, tarn::ReplaceTargetFile(root_ + L"new.bin", root_ + L"sub\\dir\\t.bin"));
  EXPECT_EQ("new content", Content(L"sub\\dir\\t.bin"));
  ASSERT_TRUE(updbed::WriteBytes(root_ + L"t2.bin", "old"));
  EXPECT_EQ(0, tarn::ReplaceTargetFile(root_ + L"new.bin", root_ + L"t2.bin"));
  EXPECT_EQ("new content", Content(L"t2.bin"));
  EXPECT_EQ(E_FAIL, tarn::ReplaceTargetFile(L"", root_ + L"t2.bin"));
  EXPECT_EQ((int)0x80070002, tarn::ReplaceTargetFile(root_ + L"none.bin", root_ + L"t2.bin"));
}

TEST_F(Replace, TargetRenamableButNotWritable) {
  // Held the way a running program is: others may rename it, not write it.
  ASSERT_TRUE(updbed::WriteBytes(root_ + L"run.exe", "old program"));
  HANDLE held = CreateFileW((root_ + L"run.exe").c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_EQ(0, tarn::ReplaceTargetFile(root_ + L"new.bin", root_ + L"run.exe"));
  CloseHandle(held);
  EXPECT_EQ("new content", Content(L"run.exe"));
  // The old one was renamed aside and is gone now or at the next start.
  for (const auto& r : updbed::RebootRenames(root_)) {
    EXPECT_EQ(L"", r.second);
    EXPECT_EQ(0, _wcsnicmp(r.first.c_str(), (root_ + L"run.exe.{").c_str(), root_.size() + 9))
        << updbed::U(r.first);
  }
  if (updbed::RebootRenames(root_).empty())
    EXPECT_EQ((std::vector<std::wstring>{L"new.bin", L"run.exe"}), updbed::ListFiles(root_));
}

TEST_F(Replace, AFolderOrLinkAtTheTargetIsRefusedAndKept) {
  ASSERT_TRUE(updbed::WriteBytes(root_ + L"dir\\inner.txt", "mine"));
  EXPECT_LT(tarn::ReplaceTargetFile(root_ + L"new.bin", root_ + L"dir"), 0);
  EXPECT_EQ("mine", Content(L"dir\\inner.txt"));
}

// ---- the journal: a run cut short is undone or finished by the next start ----

class Journal : public Replace {
 protected:
  // Three targets replaced under a journal, the third created.
  void ReplaceThree(tarn::ReplaceJournal* journal, std::vector<tarn::Replacement>* done) {
    for (const wchar_t* f : {L"a.bin", L"sub\\b.bin"}) ASSERT_TRUE(updbed::WriteBytes(root_ + f, "old"));
    ASSERT_TRUE(journal->Begin());
    for (const wchar_t* f : {L"a.bin", L"sub\\b.bin", L"c.bin"}) {
      tarn::Replacement r;
      ASSERT_EQ(0, tarn::ReplaceTargetFileUndoable(root_ + L"new.bin", root_ + f, &r, journal));
      done->push_back(r);
    }
  }
};

TEST_F(Journal, UncommittedRunIsUndoneByTheNextStart) {
  std::vector<tarn::Replacement> done;
  {
    tarn::ReplaceJournal journal(root_);
    ReplaceThree(&journal, &done);
  }  // the process "dies": nothing undone, the journal stays
  {
    // A torn line after a crash announced nothing that had begun.
    std::string torn = "R\t0\t20\t{x}\tnever";
    DWORD n = 0;
    HANDLE h = CreateFileW((root_ + tarn::kJournalFileName).c_str(), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    WriteFile(h, torn.data(), (DWORD)torn.size(), &n, nullptr);
    CloseHandle(h);
  }
  ASSERT_TRUE(updbed::WriteBytes(root_ + tarn::kPendingFileName, "half a list"));
  EXPECT_EQ("new content", Content(L"a.bin"));
  EXPECT_EQ(1, tarn::RecoverInterruptedUpdate(root_));
  EXPECT_EQ("old", Content(L"a.bin"));
  EXPECT_EQ("old", Content(L"sub\\b.bin"));
  EXPECT_FALSE(updbed::Exists(root_ + L"c.bin")) << "created by the run: gone again";
  EXPECT_FALSE(updbed::Exists(root_ + tarn::kPendingFileName)) << "an undone run hands nothing over";
  EXPECT_EQ((std::vector<std::wstring>{L"a.bin", L"new.bin", L"sub\\b.bin"}), updbed::ListFiles(root_));
  EXPECT_EQ(0, tarn::RecoverInterruptedUpdate(root_)) << "nothing left to do";
}

TEST_F(Journal, CommittedRunIsFinishedByTheNextStart) {
  std::vector<tarn::Replacement> done;
  {
    tarn::ReplaceJournal journal(root_);
    ReplaceThree(&journal, &done);
    ASSERT_TRUE(journal.Commit());
  }
  EXPECT_EQ(1, tarn::RecoverInterruptedUpdate(root_));
  for (const wchar_t* f : {L"a.bin", L"sub\\b.bin", L"c.bin"}) EXPECT_EQ("new content", Content(f));
  EXPECT_EQ((std::vector<std::wstring>{L"a.bin", L"c.bin", L"new.bin", L"sub\\b.bin"}),
            updbed::ListFiles(root_))
      << "the old files that were kept aside are gone";
}

TEST_F(Journal, NamesOutsideTheFolderInAJournalAreIgnored) {
  std::wstring outside = updbed::Scratch("journal-outside");
  ASSERT_TRUE(updbed::WriteBytes(outside + L"victim.bin", "victim"));
  ASSERT_TRUE(updbed::WriteBytes(root_ + tarn::kJournalFileName,
                                 "R\t1\t0\t{a}\t..\\journal-outside\\victim.bin\n"
                                 "R\t1\t0\t..\\x\tnew.bin\n"));
  EXPECT_EQ(1, tarn::RecoverInterruptedUpdate(root_));
  EXPECT_EQ("victim", [&] { std::string s; updbed::ReadBytes(outside + L"victim.bin", &s); return s; }());
  EXPECT_EQ("new content", Content(L"new.bin"));
}

TEST_F(Replace, LockedTargetIsReplacedAtTheNextStart) {
  ASSERT_TRUE(updbed::WriteBytes(root_ + L"locked.dll", "old library"));
  HANDLE held = CreateFileW((root_ + L"locked.dll").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_EQ(1, tarn::ReplaceTargetFile(root_ + L"new.bin", root_ + L"locked.dll"));
  CloseHandle(held);
  EXPECT_EQ("old library", Content(L"locked.dll")) << "untouched until the next start";
  auto renames = updbed::RebootRenames(root_);
  ASSERT_EQ(1u, renames.size());
  EXPECT_EQ(0, _wcsicmp((root_ + L"locked.dll").c_str(), renames[0].second.c_str()));
  std::string staged;
  ASSERT_TRUE(updbed::ReadBytes(renames[0].first, &staged));
  EXPECT_EQ("new content", staged);
}

TEST_F(Replace, FailedReplacementIsAFailureAndKeepsTheOldFile) {
  // The new copy cannot be read: the target that was moved aside for the
  // second attempt must come back, and the result must not count as success.
  ASSERT_TRUE(updbed::WriteBytes(root_ + L"keep.dll", "old library"));
  HANDLE held = CreateFileW((root_ + L"new.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  int rc = tarn::ReplaceTargetFile(root_ + L"new.bin", root_ + L"keep.dll");
  CloseHandle(held);
  EXPECT_LT(rc, 0);
  EXPECT_EQ("old library", Content(L"keep.dll"));
  EXPECT_EQ((std::vector<std::wstring>{L"keep.dll", L"new.bin"}), updbed::ListFiles(root_));
  EXPECT_TRUE(updbed::RebootRenames(root_).empty());
}

TEST_F(Journal, ARunUnderWayIsNotUndoneUnderItsFeet) {
  std::vector<tarn::Replacement> done;
  tarn::ReplaceJournal journal(root_);
  ReplaceThree(&journal, &done);
  // Another process starting now finds the journal held: it touches nothing.
  EXPECT_EQ(-1, tarn::RecoverInterruptedUpdate(root_));
  EXPECT_EQ("new content", Content(L"a.bin"));
  EXPECT_EQ("new content", Content(L"c.bin"));
  ASSERT_TRUE(journal.Commit());
  for (const tarn::Replacement& r : done) tarn::FinishReplacement(r);
  journal.Remove();
  EXPECT_EQ(0, tarn::RecoverInterruptedUpdate(root_));
}
