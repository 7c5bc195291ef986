// quorlex.dll in a host program's folder, as the program uses it: a file the
// host holds open is left pending, the host hands over to wendup.exe, and
// wendup replaces the file once the host has ended and restarts the host
// only when it was given a command line. One pending file goes into a folder
// that did not exist before the update.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>

#include "bedfile.h"
#include "handover.h"
#include "replace.h"
#include "tarnapi.h"
#include "updbed.h"
#include "updworker.h"

using updbed::U;
using updbed::W;

namespace {

class Handover : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bed::Has("QX_HTTPS") && bed::Has("QX_UPDATE_TREE")) << "run through ctest (testbed.py)";
  }
  void TearDown() override {
    for (const wchar_t* exe : {L"updhost.exe", L"wendup.exe"})
      for (DWORD pid : updbed::ProcessesOf(folder_ + exe))
        updbed::EndProcess(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (host_) updbed::EndProcess(host_);
  }

  // The host's folder: the library, the completion program, the host and the
  // files of the "inuse" tree.
  void Stage(const std::string& name, const wchar_t* cmd) {
    folder_ = updbed::Scratch(name);
    std::wstring bin = updbed::ProgramFolder();
    for (const wchar_t* f : {L"quorlex.dll", L"wendup.exe", L"updhost.exe"})
      ASSERT_TRUE(updbed::CopyInto(bin + f, folder_ + f)) << U(f);
    updbed::SeedLocal("inuse", folder_);
    std::wstring ini = folder_ + L"host.ini";
    ASSERT_TRUE(updbed::WriteBytes(ini, "\xFF\xFE"));  // UTF-16, so the command survives
    WritePrivateProfileStringW(L"host", L"hold", L"app.dat", ini.c_str());
    if (cmd) WritePrivateProfileStringW(L"host", L"cmd", cmd, ini.c_str());
    expect_ = updbed::ReadExpect("inuse");
    updbed::UseScenario("inuse", folder_ + L"quorlex.dll");
  }

  std::string Result() {
    std::string text;
    updbed::ReadBytes(folder_ + L"host-result.txt", &text);
    return text;
  }

  // Runs the host up to its hand-over; returns wendup's process.
  HANDLE RunHostUntilHandover() {
    host_ = updbed::Start(folder_ + L"updhost.exe", L"\"" + folder_ + L"updhost.exe\" --host-run");
    EXPECT_NE(nullptr, host_);
    EXPECT_TRUE(updbed::WaitForFile(folder_ + L"host-result.txt", 120));
    std::vector<DWORD> wendup = updbed::ProcessesOf(folder_ + L"wendup.exe");
    EXPECT_EQ(1u, wendup.size());
    return wendup.empty() ? nullptr : OpenProcess(SYNCHRONIZE, FALSE, wendup[0]);
  }

  void CheckPendingFile() {
    std::wstring file = folder_ + tarn::kPendingFileName;
    std::vector<tarn::PendingCopy> copies = tarn::PendingReadCopies(file);
    std::vector<updbed::Expect> pending = updbed::ExpectOf(expect_, "pending");
    ASSERT_EQ(pending.size(), copies.size());
    for (size_t i = 0; i < copies.size(); ++i) {
      EXPECT_EQ(pending[i].path, copies[i].des);
      EXPECT_EQ(pending[i].value, copies[i].from);
    }
    EXPECT_EQ(0, _wcsicmp((folder_ + L"updhost.exe").c_str(), tarn::PendingReadRun(file).c_str()))
        << U(tarn::PendingReadRun(file));
  }

  void CheckFiles(const std::string& kind) {
    for (const updbed::Expect& e : updbed::ExpectOf(expect_, kind))
      EXPECT_EQ(U(e.value), updbed::Md5(folder_ + e.path)) << kind << " " << U(e.path);
  }

  std::wstring folder_;
  HANDLE host_ = nullptr;
  std::vector<updbed::Expect> expect_;
};

}  // namespace

TEST_F(Handover, FileInUseIsReplacedAfterTheHostEndsAndTheHostRestarts) {
  // Every character the old escape lost: '-', '/', '\', ':', and what it
  // used as escapes ('$', '&'), plus quotes, '%' and wide text.
  const wchar_t* cmd = L"-fixdel /x:C:\\a b\\c -y \"q\" 50% $d&e 数据";
  Stage("with-cmd", cmd);
  HANDLE wendup = RunHostUntilHandover();
  ASSERT_NE(nullptr, wendup);
  std::string result = Result();
  EXPECT_NE(std::string::npos, result.find("code=0x20010001")) << result;
  EXPECT_NE(std::string::npos, result.find("held=1")) << result;
  EXPECT_NE(std::string::npos, result.find("reupdate=0x00000000")) << result;
  CheckPendingFile();
  // While the host runs: the held file cannot even be opened, the other
  // pending one is untouched, the free one is new.
  EXPECT_EQ("", updbed::Md5(folder_ + L"app.dat")) << "held without sharing";
  for (const updbed::Expect& e : updbed::ExpectOf(expect_, "old"))
    if (e.path != L"app.dat") {
      EXPECT_EQ(U(e.value), updbed::Md5(folder_ + e.path)) << U(e.path);
    }
  EXPECT_EQ(U(updbed::ExpectValue(expect_, "new", L"plain.txt")), updbed::Md5(folder_ + L"plain.txt"));
  EXPECT_FALSE(updbed::WaitEnded(wendup, 1)) << "wendup waits for the host";

  updbed::EndProcess(host_);
  host_ = nullptr;
  ASSERT_TRUE(updbed::WaitEnded(wendup, 60));
  CloseHandle(wendup);
  CheckFiles("new");
  EXPECT_FALSE(updbed::Exists(folder_ + tarn::kPendingFileName));
  ASSERT_TRUE(updbed::WaitForFile(folder_ + L"restarted.txt", 30));
  std::string restarted;
  updbed::ReadBytes(folder_ + L"restarted.txt", &restarted);
  EXPECT_EQ(U(cmd), restarted) << "the command line comes back exactly";
}

TEST_F(Handover, WithoutACommandLineNothingIsRestarted) {
  Stage("no-cmd", nullptr);
  HANDLE wendup = RunHostUntilHandover();
  ASSERT_NE(nullptr, wendup);
  EXPECT_NE(std::string::npos, Result().find("code=0x20010001")) << Result();
  CheckPendingFile();
  updbed::EndProcess(host_);
  host_ = nullptr;
  ASSERT_TRUE(updbed::WaitEnded(wendup, 60));
  CloseHandle(wendup);
  CheckFiles("new");
  EXPECT_FALSE(updbed::Exists(folder_ + tarn::kPendingFileName));
  // A restarted host would be running now, or would have written its file.
  EXPECT_TRUE(updbed::ProcessesOf(folder_ + L"updhost.exe").empty());
  EXPECT_FALSE(updbed::Exists(folder_ + L"restarted.txt"));
}

// A run cut short after three of five replacements (as a killed host leaves
// it: three new files, two old, the journal on disk) is undone by the next
// start of wendup.exe, and by the next start of the library.
TEST_F(Handover, ARunCutShortIsUndoneByTheNextStart) {
  std::vector<updbed::Expect> five = updbed::ReadExpect("five");
  for (int viaLibrary = 0; viaLibrary < 2; ++viaLibrary) {
    folder_ = updbed::Scratch(viaLibrary ? "cut-library" : "cut-wendup");
    std::wstring bin = updbed::ProgramFolder();
    for (const wchar_t* f : {L"quorlex.dll", L"wendup.exe"})
      ASSERT_TRUE(updbed::CopyInto(bin + f, folder_ + f)) << U(f);
    updbed::SeedLocal("five", folder_);
    updbed::UseScenario("five");
    {
      tarn::UpdateContext ctx(folder_, L"tarn_datarepair2", true);
      ctx.SetCutAfter(3);
      ASSERT_EQ(tarn::kUpdateCut, tarn::RunUpdateWorker(&ctx));
    }
    ASSERT_TRUE(updbed::Exists(folder_ + tarn::kJournalFileName));
    EXPECT_EQ(U(updbed::ExpectValue(five, "new", L"f1.bin")), updbed::Md5(folder_ + L"f1.bin"));
    if (viaLibrary) {
      HMODULE library = LoadLibraryW((folder_ + L"quorlex.dll").c_str());
      ASSERT_NE(nullptr, library);
      auto get = reinterpret_cast<Tarn3thGetClassObjectFn>(
          GetProcAddress(library, "Tarn3thGetClassObject"));
      void* object = nullptr;
      ASSERT_EQ(S_OK, get(IID_ITarnUpdate, &object));
      static_cast<ITarnUpdate*>(object)->Release();
      FreeLibrary(library);
    } else {
      HANDLE wendup = updbed::Start(folder_ + L"wendup.exe", L"\"" + folder_ + L"wendup.exe\"");
      ASSERT_NE(nullptr, wendup);
      EXPECT_TRUE(updbed::WaitEnded(wendup, 60));
      DWORD code = 1;
      GetExitCodeProcess(wendup, &code);
      CloseHandle(wendup);
      EXPECT_EQ(0u, code);
    }
    for (const updbed::Expect& e : updbed::ExpectOf(five, "old"))
      EXPECT_EQ(U(e.value), updbed::Md5(folder_ + e.path)) << viaLibrary << " " << U(e.path);
    EXPECT_FALSE(updbed::Exists(folder_ + tarn::kJournalFileName));
    for (const std::wstring& f : updbed::ListFiles(folder_))
      EXPECT_EQ(std::wstring::npos, f.find(L".{")) << "nothing kept aside stays: " << U(f);
  }
}

// The host itself killed while it replaces 300 files: the next start of
// wendup.exe leaves the old install, whole, and nothing kept aside.
TEST_F(Handover, AHostKilledMidReplacementIsRepairedByTheNextStart) {
  std::vector<updbed::Expect> many = updbed::ReadExpect("many");
  folder_ = updbed::Scratch("killed");
  std::wstring bin = updbed::ProgramFolder();
  for (const wchar_t* f : {L"quorlex.dll", L"wendup.exe", L"updhost.exe"})
    ASSERT_TRUE(updbed::CopyInto(bin + f, folder_ + f)) << U(f);
  updbed::SeedLocal("many", folder_);
  ASSERT_TRUE(updbed::WriteBytes(folder_ + L"host.ini", "\xFF\xFE"));
  updbed::UseScenario("many", folder_ + L"quorlex.dll");
  host_ = updbed::Start(folder_ + L"updhost.exe", L"\"" + folder_ + L"updhost.exe\" --host-run");
  ASSERT_NE(nullptr, host_);
  // Killed once the journal names about 125 replacements.
  const std::wstring journal = folder_ + tarn::kJournalFileName;
  bool cut = false;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 120000 && WaitForSingleObject(host_, 0) == WAIT_TIMEOUT) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (GetFileAttributesExW(journal.c_str(), GetFileExInfoStandard, &d) && d.nFileSizeLow >= 125 * 56) {
      TerminateProcess(host_, 9);
      cut = true;
      break;
    }
    if (updbed::Exists(folder_ + L"host-result.txt")) break;
  }
  WaitForSingleObject(host_, 30000);
  CloseHandle(host_);
  host_ = nullptr;
  size_t fresh = 0;
  for (const updbed::Expect& e : updbed::ExpectOf(many, "new"))
    if (updbed::Md5(folder_ + e.path) == U(e.value)) ++fresh;
  if (cut) {
    ASSERT_TRUE(updbed::Exists(journal));
    EXPECT_GT(fresh, 0u) << "killed part-way";
    EXPECT_LT(fresh, 300u);
  }
  HANDLE wendup = updbed::Start(folder_ + L"wendup.exe", L"\"" + folder_ + L"wendup.exe\"");
  ASSERT_NE(nullptr, wendup);
  EXPECT_TRUE(updbed::WaitEnded(wendup, 60));
  CloseHandle(wendup);
  const char* kind = cut ? "old" : "new";
  for (const updbed::Expect& e : updbed::ExpectOf(many, kind))
    ASSERT_EQ(U(e.value), updbed::Md5(folder_ + e.path)) << kind << " " << U(e.path);
  EXPECT_FALSE(updbed::Exists(journal));
  for (const std::wstring& f : updbed::ListFiles(folder_))
    EXPECT_EQ(std::wstring::npos, f.find(L".{")) << U(f);
  std::cout << "killed after " << fresh << " of 300 replacements\n";
}
