// Output files of the copy-out: folders, numbered names, and names from a
// disk that try to leave the destination.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "copyout/ntfs_copy.h"
#include "copyout/output.h"
#include "state.h"
#include "testsupport.h"

using testsupport::ScratchDir;
using testsupport::Utf8ToAnsi;

namespace {

// Creates and closes; returns the created path ("" on failure).
std::string Create(const std::string& relative, const std::string& dest, int* error = nullptr) {
  int e = 0;
  std::string created;
  HANDLE h = CreateOutputFile(relative.c_str(), dest.c_str(), &e, &created);
  if (error) *error = e;
  if (!h) return std::string();
  EXPECT_EQ(WriteRecoveredBytes(h, "x", 1), 0);
  CloseHandle(h);
  return created;
}

std::string FullPath(const std::string& p) {
  char buf[1024];
  DWORD n = GetFullPathNameA(p.c_str(), sizeof buf, buf, nullptr);
  return std::string(buf, n);
}

bool Exists(const std::string& p) { return GetFileAttributesA(p.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

TEST(OutputFile, FoldersAreCreatedAndTakenNamesGetNumbers) {
  std::string dest = ScratchDir("out-basic") + "new\\ZUL";
  EXPECT_EQ(Create("\\docs\\Report.txt", dest), dest + "\\docs\\Report.txt");
  EXPECT_EQ(Create("\\docs\\Report.txt", dest), dest + "\\docs\\Report_001.txt");
  EXPECT_EQ(Create("\\docs\\Report.txt", dest), dest + "\\docs\\Report_002.txt");
  EXPECT_EQ(Create("\\docs\\Report_001.txt", dest), dest + "\\docs\\Report_003.txt")
      << "a name that already ends in _NNN has its digits replaced";
  EXPECT_EQ(Create("\\README", dest), dest + "\\README");
  EXPECT_EQ(Create("\\README", dest), dest + "\\README_001");
  // A file holding the name a folder needs: the folder gets a number.
  EXPECT_EQ(Create("\\README\\inner.txt", dest), dest + "\\README_002\\inner.txt")
      << "README and README_001 are files";
  // Trailing separators and doubled ones.
  EXPECT_EQ(Create("docs\\\\x.bin", dest + "\\"), dest + "\\docs\\x.bin");
}

TEST(OutputFile, AllNinehundredNinetyNineNumbersTakenEndsTheLoop) {
  std::string dest = ScratchDir("out-full-numbers");
  CloseHandle(CreateFileA((dest + "a.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  for (int n = 1; n <= 999; ++n) {
    char name[32];
    snprintf(name, sizeof name, "a_%03d.txt", n);
    CloseHandle(CreateFileA((dest + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  }
  int error = 0;
  EXPECT_EQ(Create("\\a.txt", dest, &error), "");
  EXPECT_EQ(error, -1);
}

TEST(OutputFile, AThousandFilesOfOneNameTakeEachNumberOnceThenFailAtOnce) {
  std::string dest = ScratchDir("out-same-name");
  EXPECT_EQ(Create("\\tmp\\_AME.TXT", dest), dest + "tmp\\_AME.TXT");
  for (int n = 1; n <= 999; ++n) {
    char name[32];
    snprintf(name, sizeof name, "_AME_%03d.TXT", n);
    ASSERT_EQ(Create("\\tmp\\_AME.TXT", dest), dest + "tmp\\" + name);
  }
  int error = 0;
  EXPECT_EQ(Create("\\tmp\\_AME.TXT", dest, &error), "");
  EXPECT_EQ(error, -1);
  EXPECT_EQ(Create("\\tmp\\_ame.txt", dest, &error), "") << "the file system folds the case: the same name";
  // Another name of the folder, and the same name in another folder, are not affected.
  EXPECT_EQ(Create("\\tmp\\Other.txt", dest), dest + "tmp\\Other.txt");
  EXPECT_EQ(Create("\\tmp2\\_AME.TXT", dest), dest + "tmp2\\_AME.TXT");
}

TEST(OutputFile, NumbersTakenMeanwhileByOthersAreStillPassedOver) {
  std::string dest = ScratchDir("out-meanwhile");
  EXPECT_EQ(Create("\\b.txt", dest), dest + "b.txt");
  CloseHandle(CreateFileA((dest + "b_001.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  EXPECT_EQ(Create("\\b.txt", dest), dest + "b_002.txt");
  // A destination emptied between two copy-outs starts again from the plain name.
  ASSERT_TRUE(DeleteFileA((dest + "b.txt").c_str()));
  ForgetOutputNames();
  EXPECT_EQ(Create("\\b.txt", dest), dest + "b.txt");
}

TEST(OutputFile, AFileNotKeptIsRemoved) {
  std::string dest = ScratchDir("out-kept");
  int error = 0;
  std::string kept, dropped;
  {
    OutputFile out;
    ASSERT_TRUE(out.Create("\\kept.bin", dest.c_str(), &error));
    kept = out.path();
    EXPECT_EQ(WriteRecoveredBytes(out.handle(), "abc", 3), 0);
    out.Keep();
  }
  {
    OutputFile out;
    ASSERT_TRUE(out.Create("\\dropped.bin", dest.c_str(), &error));
    dropped = out.path();
    EXPECT_EQ(WriteRecoveredBytes(out.handle(), "abc", 3), 0);
  }   // gone without Keep: cut short
  EXPECT_TRUE(Exists(kept));
  EXPECT_FALSE(Exists(dropped));
  EXPECT_FALSE(dropped.empty());
}

TEST(OutputFile, NamesFromADiskNeverLeaveTheDestination) {
  std::string outer = ScratchDir("out-escape");
  std::string dest = outer + "dest";
  const std::string attempts[] = {
      "\\..\\..\\evil.txt", "..\\evil.txt", "\\a\\..\\..\\..\\b.txt", "\\C:\\Windows\\evil.txt",
      "\\\\?\\C:\\evil.txt", "\\\\.\\C:", "\\a/../../b.txt", "/../../c.txt", "\\x:y.txt",
      "\\ . \\ .. \\...\\z.txt", "\\..", "\\.", "", "\\dir.\\file. ", "\\sub\\  ",
      Utf8ToAnsi("\\..\\乗务表\\..\\乗.txt"),
  };
  for (const std::string& a : attempts) {
    std::string created = Create(a, dest);
    ASSERT_FALSE(created.empty()) << a;
    std::string full = FullPath(created);
    EXPECT_EQ(full.compare(0, dest.size() + 1, dest + "\\"), 0) << a << " -> " << full;
    EXPECT_TRUE(Exists(full)) << a;
  }
  // Nothing appeared next to the destination.
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((outer + "*").c_str(), &fd);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::vector<std::string> names;
  do names.push_back(fd.cFileName);
  while (FindNextFileA(h, &fd));
  FindClose(h);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "dest"}));
  // A second byte of '\' inside a two-byte character is not a separator.
  EXPECT_TRUE(Exists(dest + "\\_\\" + Utf8ToAnsi("乗务表") + "\\_\\" + Utf8ToAnsi("乗.txt")));
}

TEST(OutputFile, DeviceNamesAreNeverOpened) {
  std::string dest = ScratchDir("out-devices");
  for (const char* n : {"CON", "con.txt", "NUL", "aux.log", "COM1", "lpt9.x", "PRN ", "CONIN$", "Nul .txt"}) {
    std::string created = Create(std::string("\\") + n, dest);
    ASSERT_FALSE(created.empty()) << n;
    std::string name = created.substr(created.find_last_of('\\') + 1);
    EXPECT_EQ(name[0], '_') << n << " -> " << name;
    EXPECT_TRUE(Exists(created)) << n;
  }
  EXPECT_EQ(Create("\\CONFIG.SYS", dest), dest + "CONFIG.SYS") << "only the device names themselves";
  EXPECT_EQ(Create("\\COM10", dest), dest + "COM10");
  EXPECT_EQ(Create("\\dev\\lpt1\\x.txt", dest), dest + "dev\\_lpt1\\x.txt");
}

TEST(OutputFile, OverlongPathsDropTheirDeepestFoldersAndShortenTheName) {
  std::string dest = ScratchDir("out-long");
  std::string rel;
  for (int i = 0; i < 12; ++i) rel += "\\Folder Level " + std::to_string(i) + std::string(20, 'x');
  std::string created = Create(rel + "\\Final Name.jpg", dest);
  ASSERT_FALSE(created.empty());
  EXPECT_LT(created.size(), static_cast<size_t>(MAX_PATH));
  EXPECT_EQ(created.compare(0, dest.size() + 13, dest + "Folder Level "), 0);
  EXPECT_EQ(created.substr(created.size() - 15), "\\Final Name.jpg");

  std::string longName(600, 'n');
  created = Create("\\" + longName + ".jpeg", dest);
  ASSERT_FALSE(created.empty());
  EXPECT_LT(created.size(), static_cast<size_t>(MAX_PATH));
  EXPECT_EQ(created.substr(created.size() - 5), ".jpeg");

  // Two-byte characters are never cut in half.
  std::string chinese;
  for (int i = 0; i < 200; ++i) chinese += Utf8ToAnsi("照");
  created = Create("\\" + chinese + "x", dest);
  ASSERT_FALSE(created.empty());
  std::string name = created.substr(dest.size());
  EXPECT_EQ(name.size() % 2, 0u) << "whole characters only";
  EXPECT_TRUE(Exists(created));
}

namespace {

// Under Wine, the host's path of a Windows path; "" elsewhere.
std::string HostPath(const std::string& p) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  auto toUnix = reinterpret_cast<ToUnix>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name"));
  wchar_t w[MAX_PATH];
  if (!toUnix || !MultiByteToWideChar(CP_ACP, 0, p.c_str(), -1, w, MAX_PATH)) return std::string();
  char* u = toUnix(w);
  std::string out = u ? u : "";
  HeapFree(GetProcessHeap(), 0, u);
  return out;
}

// Starts a host program (Wine runs it, but gives no handle to wait on) and
// waits until done() holds, for a few seconds at most.
bool RunOnHost(std::string command, const std::function<bool()>& done) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  for (int i = 0; i < 500 && !done(); ++i) Sleep(10);
  return done();
}

// A host symbolic link at the Windows path link, pointing to the Windows path
// target: Wine shows it as a folder that is a reparse point, as Windows shows
// a junction. false where it cannot be made.
bool MakeHostLink(const std::string& target, const std::string& link) {
  const std::string from = HostPath(target), to = HostPath(link);
  if (from.empty() || to.empty()) return false;
  return RunOnHost("Z:\\bin\\ln -s \"" + from + "\" \"" + to + "\"", [&] { return Exists(link); });
}

void RemoveHostLink(const std::string& link) {
  const std::string path = HostPath(link);
  if (!path.empty()) RunOnHost("Z:\\bin\\rm -f \"" + path + "\"", [&] { return !Exists(link); });
}

}  // namespace

TEST(OutputFile, AFolderThatIsALinkIsNeverWrittenThrough) {
  std::string outer = ScratchDir("out-link");
  std::string dest = outer + "dest";
  std::string elsewhere = outer + "elsewhere";
  // Links an earlier run could not take away.
  RemoveHostLink(dest + "\\evil");
  RemoveHostLink(dest + "\\real\\inner");
  CreateDirectoryA(dest.c_str(), nullptr);
  CreateDirectoryA(elsewhere.c_str(), nullptr);
  if (!MakeHostLink(elsewhere, dest + "\\evil")) GTEST_SKIP() << "no host links here";
  DWORD a = GetFileAttributesA((dest + "\\evil").c_str());
  ASSERT_NE(a & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << "the link must look like a reparse point";
  ForgetOutputNames();
  // The file is still recovered, in a numbered folder beside the link.
  EXPECT_EQ(Create("\\evil\\planted.dll", dest), dest + "\\evil_001\\planted.dll");
  EXPECT_EQ(Create("\\evil\\sub\\deeper.dll", dest), dest + "\\evil_001\\sub\\deeper.dll");
  EXPECT_FALSE(Exists(elsewhere + "\\planted.dll"));
  EXPECT_FALSE(Exists(elsewhere + "\\sub"));
  // A link deeper down is refused the same way.
  CreateDirectoryA((dest + "\\real").c_str(), nullptr);
  ASSERT_TRUE(MakeHostLink(elsewhere, dest + "\\real\\inner"));
  ForgetOutputNames();
  EXPECT_EQ(Create("\\real\\inner\\x.bin", dest), dest + "\\real\\inner_001\\x.bin");
  EXPECT_FALSE(Exists(elsewhere + "\\x.bin"));
  RemoveHostLink(dest + "\\evil");
  RemoveHostLink(dest + "\\real\\inner");
}

TEST(OutputFile, TheDestinationMustBeADriveFolder) {
  int error = 0;
  EXPECT_EQ(Create("\\a.txt", "relative\\folder", &error), "");
  EXPECT_EQ(Create("\\a.txt", "\\\\server\\share", &error), "");
  EXPECT_EQ(Create("\\a.txt", "", &error), "");
  EXPECT_EQ(error, -1);
  std::string tooLong = ScratchDir("out-dest") + std::string(250, 'd');
  EXPECT_EQ(Create("\\a.txt", tooLong, &error), "");
  EXPECT_EQ(error, -3);
}

TEST(SanitizeFileName, ReplacesWhatNoPathMayHold) {
  char a[] = "C:\\dir:name*?<>|\"end:";
  EXPECT_EQ(SanitizeFileName(a), 1);
  EXPECT_STREQ(a, "C:\\dir_name______end_") << "the last character is examined too";
  char b[] = "D:\\ok\\name.txt";
  EXPECT_EQ(SanitizeFileName(b), 0);
  EXPECT_STREQ(b, "D:\\ok\\name.txt");
  std::string c = "D:\\" + Utf8ToAnsi("乗务表") + "\\x";
  std::string before = c;
  EXPECT_EQ(SanitizeFileName(&c[0]), 0) << "a second byte of '\\' or '|' is part of its character";
  EXPECT_EQ(c, before);
  char d[] = "D:\\a\x01\x1f" "b\xC4";
  EXPECT_EQ(SanitizeFileName(d), 1);
  EXPECT_STREQ(d, "D:\\a__b_") << "control bytes, and a lead byte with nothing after it";
}

TEST(WriteRecoveredBytes, CountsSectorsAndRefusesNoHandle) {
  std::string dest = ScratchDir("out-write");
  int e = 0;
  HANDLE h = CreateOutputFile("\\w.bin", dest.c_str(), &e);
  ASSERT_NE(h, nullptr);
  gRecoveredSectors = 0;
  std::vector<char> data(1300, 'z');
  EXPECT_EQ(WriteRecoveredBytes(h, data.data(), 1300), 0);
  EXPECT_EQ(gRecoveredSectors.load(), 2u);
  EXPECT_EQ(WriteRecoveredBytes(h, data.data(), 100), 0);
  EXPECT_EQ(gRecoveredSectors.load(), 3u) << "a short tail counts as one sector";
  CloseHandle(h);
  EXPECT_EQ(WriteRecoveredBytes(nullptr, data.data(), 1), -1);
  EXPECT_EQ(WriteRecoveredBytes(INVALID_HANDLE_VALUE, data.data(), 1), -1);
}

// A copy counts whole only when it holds exactly what the record gives, and
// what the record gives is the size the list showed.
TEST(PreparedNtfsCopy, ACopyOfAnotherSizeIsNeverWhole) {
  std::string dest = ScratchDir("out-sizes");
  NtfsGeometry g;
  g.sectorsPerCluster = 8;
  g.clusterBytes = 4096;
  g.totalSectors = 1 << 20;
  g.totalClusters = g.totalSectors / 8;
  NtfsVolume volume(nullptr, 0, g);   // a resident value reads nothing from the volume
  NtfsPreparedCopy p;
  p.stream.resident = true;
  p.stream.residentValue = {'a', 'b', 'c'};
  p.plan.bytes = 3;
  p.listedSize = 3;
  int error = 0;
  OutputFile out;
  ASSERT_TRUE(out.Create("\\same.txt", dest.c_str(), &error));
  EXPECT_EQ(WritePreparedNtfsCopy(volume, p, &out), 0);
  p.listedSize = 65536;   // the list showed more than the record now gives
  ASSERT_TRUE(out.Create("\\listed-larger.txt", dest.c_str(), &error));
  EXPECT_EQ(WritePreparedNtfsCopy(volume, p, &out), kCopyDamaged);
  p.listedSize = 5;
  p.plan.bytes = 5;       // the output comes out shorter than planned
  ASSERT_TRUE(out.Create("\\short.txt", dest.c_str(), &error));
  EXPECT_EQ(WritePreparedNtfsCopy(volume, p, &out), -1);
  EXPECT_TRUE(Exists(dest + "short.txt")) << "kept: it may be all there is";
}

