// wendup.exe started as the update object starts it, in a folder of its own
// with a pending-copy file written here by hand (UTF-16 with its mark).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "handover.h"
#include "updbed.h"

using updbed::U;

namespace {

// wendup learns the waited program from the running process: give it time to
// open the process before the test ends it.
const int kSettle = 3;

class Wendup : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = updbed::Scratch(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::wstring bin = updbed::ProgramFolder();
    ASSERT_TRUE(updbed::CopyInto(bin + L"wendup.exe", folder_ + L"wendup.exe"));
    ASSERT_TRUE(updbed::CopyInto(bin + L"updhost.exe", folder_ + L"updhost.exe"));
    for (const wchar_t* f : {L"t1.txt", L"sub\\t2.txt"}) ASSERT_TRUE(updbed::WriteBytes(folder_ + f, "old"));
    for (int i = 1; i <= 5; ++i) {
      char text[16];
      snprintf(text, sizeof text, "new %d", i);
      ASSERT_TRUE(updbed::WriteBytes(folder_ + L"update\\n" + std::to_wstring(i) + L".txt", text));
    }
  }
  void TearDown() override {
    for (const wchar_t* exe : {L"updhost.exe", L"wendup.exe", L"hastlet.exe"})
      for (DWORD pid : updbed::ProcessesOf(folder_ + exe))
        updbed::EndProcess(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (sleeper_) updbed::EndProcess(sleeper_);
    updbed::ForgetRebootRenames(folder_);
  }

  // file0 and file1 are ordinary, file2 climbs out of the folder, file3 goes
  // into folders that do not exist yet, file4 is missing, so file5 is never
  // read.
  void WritePendingFile(const wchar_t* run) {
    std::wstring text =
        L"[file0]\r\nDES=t1.txt\r\nFROM=update\\n1.txt\r\n"
        L"[file1]\r\nDES=sub\\t2.txt\r\nFROM=update\\n2.txt\r\n"
        L"[file2]\r\nDES=..\\outside.txt\r\nFROM=update\\n3.txt\r\n"
        L"[file3]\r\nDES=fresh\\deep\\t5.txt\r\nFROM=update\\n5.txt\r\n"
        L"[file5]\r\nDES=t4.txt\r\nFROM=update\\n4.txt\r\n";
    WriteRecord(text, run);
  }
  void WriteRecord(std::wstring text, const wchar_t* run) {
    if (run) text += std::wstring(L"[RUN]\r\nPATH=") + run + L"\r\n";
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    ASSERT_TRUE(updbed::WriteBytes(folder_ + tarn::kPendingFileName, bytes));
  }

  // Runs wendup with these options and waits for it; it reports how many
  // copies it could not make (the refused climbing one, by default).
  void RunWendup(const std::wstring& options, DWORD failed = 1) {
    HANDLE p = updbed::Start(folder_ + L"wendup.exe", L"\"" + folder_ + L"wendup.exe\"" + options);
    ASSERT_NE(nullptr, p);
    ASSERT_TRUE(updbed::WaitEnded(p, 60));
    DWORD code = 1;
    GetExitCodeProcess(p, &code);
    EXPECT_EQ(failed, code);
    CloseHandle(p);
  }

  std::string Content(const std::wstring& name) {
    std::string s;
    return updbed::ReadBytes(folder_ + name, &s) ? s : "<missing>";
  }

  void CheckCopied() {
    EXPECT_EQ("new 1", Content(L"t1.txt"));
    EXPECT_EQ("new 2", Content(L"sub\\t2.txt"));
    EXPECT_EQ("new 5", Content(L"fresh\\deep\\t5.txt")) << "its folders are made";
    EXPECT_FALSE(updbed::Exists(folder_ + L"t4.txt")) << "the list ends at the first gap";
    EXPECT_FALSE(updbed::Exists(folder_ + L"..\\outside.txt")) << "names stay inside the folder";
    // Only what was not done stays recorded.
    std::vector<tarn::PendingCopy> kept = tarn::PendingReadCopies(folder_ + tarn::kPendingFileName);
    ASSERT_EQ(1u, kept.size());
    EXPECT_EQ(L"..\\outside.txt", kept[0].des);
  }

  std::string Restarted(bool wait) {
    if (wait) updbed::WaitForFile(folder_ + L"restarted.txt", 30);
    return Content(L"restarted.txt");
  }

  HANDLE StartSleeper() {
    sleeper_ = updbed::Start(folder_ + L"updhost.exe", L"\"" + folder_ + L"updhost.exe\" --sleep");
    return sleeper_;
  }

  std::wstring folder_;
  HANDLE sleeper_ = nullptr;
};

}  // namespace

TEST_F(Wendup, WaitsForTheProcessThenCopiesAndStartsNothing) {
  WritePendingFile(nullptr);
  ASSERT_NE(nullptr, StartSleeper());
  std::wstring pid = std::to_wstring(GetProcessId(sleeper_));
  HANDLE w = updbed::Start(folder_ + L"wendup.exe", L"\"" + folder_ + L"wendup.exe\" -pid:" + pid);
  ASSERT_NE(nullptr, w);
  EXPECT_FALSE(updbed::WaitEnded(w, kSettle));
  EXPECT_EQ("old", Content(L"t1.txt")) << "nothing is copied while the process runs";
  updbed::EndProcess(sleeper_);
  sleeper_ = nullptr;
  ASSERT_TRUE(updbed::WaitEnded(w, 60));
  CloseHandle(w);
  CheckCopied();
  EXPECT_EQ("<missing>", Restarted(false));
  EXPECT_TRUE(updbed::ProcessesOf(folder_ + L"updhost.exe").empty());
}

TEST_F(Wendup, RestartsTheWaitedProgramWithTheCommandLine) {
  WritePendingFile(L"Z:\\not\\this.exe");
  ASSERT_NE(nullptr, StartSleeper());
  std::wstring pid = std::to_wstring(GetProcessId(sleeper_));
  std::wstring cmd = L"-scan /d:C:\\x y \"z\" 5% $a&b 数据";
  HANDLE w = updbed::Start(folder_ + L"wendup.exe", L"\"" + folder_ + L"wendup.exe\" -pid:" + pid +
                                                        L" -cmd:" + tarn::EscapeCommandValue(cmd));
  ASSERT_NE(nullptr, w);
  EXPECT_FALSE(updbed::WaitEnded(w, kSettle));
  updbed::EndProcess(sleeper_);
  sleeper_ = nullptr;
  ASSERT_TRUE(updbed::WaitEnded(w, 60));
  CloseHandle(w);
  CheckCopied();
  EXPECT_EQ(U(cmd), Restarted(true)) << "the waited program, not the one the file names";
}

TEST_F(Wendup, WithoutArgumentsCopiesAndStartsNothing) {
  WritePendingFile((folder_ + L"updhost.exe").c_str());
  RunWendup(L"");
  CheckCopied();
  EXPECT_EQ("<missing>", Restarted(false));
}

TEST_F(Wendup, RestartsTheRecordedProgramWithAnEmptyCommandLine) {
  WritePendingFile((folder_ + L"updhost.exe").c_str());
  RunWendup(L" -cmd");
  CheckCopied();
  // An empty command line: Wine hands the child its quoted program name
  // instead; either way no option reaches it.
  std::string line = Restarted(true);
  EXPECT_TRUE(line.empty() || line == "\"" + U(folder_) + "updhost.exe\"") << line;
}

TEST_F(Wendup, FallsBackToItsDefaultProgram) {
  ASSERT_TRUE(updbed::CopyInto(folder_ + L"updhost.exe", folder_ + L"hastlet.exe"));
  WritePendingFile(nullptr);
  RunWendup(L" -cmd:go%0020on");
  CheckCopied();
  EXPECT_EQ("go on", Restarted(true));
}

TEST_F(Wendup, UnknownProcessIsNotWaitedFor) {
  WritePendingFile(nullptr);
  RunWendup(L" -pid:999999");
  CheckCopied();
}

TEST_F(Wendup, TargetLockedThroughEveryAttemptIsReplacedAtTheNextStart) {
  WritePendingFile(nullptr);
  HANDLE held = CreateFileW((folder_ + L"t1.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  RunWendup(L"");
  CloseHandle(held);
  EXPECT_EQ("old", Content(L"t1.txt"));
  EXPECT_EQ("new 2", Content(L"sub\\t2.txt"));
  auto renames = updbed::RebootRenames(folder_);
  ASSERT_EQ(1u, renames.size());
  EXPECT_EQ(0, _wcsicmp((folder_ + L"update\\n1.txt").c_str(), renames[0].first.c_str()))
      << U(renames[0].first);
  EXPECT_EQ(0, _wcsicmp((folder_ + L"t1.txt").c_str(), renames[0].second.c_str()))
      << U(renames[0].second);
}

TEST_F(Wendup, CopiesThatFailStayRecordedAndAreReported) {
  // A file stands where the target's folder would go: no copy, and nothing
  // for the next start of Windows either.
  ASSERT_TRUE(updbed::WriteBytes(folder_ + L"blocker", "a file"));
  WriteRecord(L"[file0]\r\nDES=blocker\\t2.txt\r\nFROM=update\\n2.txt\r\n"
              L"[file1]\r\nDES=t1.txt\r\nFROM=update\\n1.txt\r\n",
              (folder_ + L"updhost.exe").c_str());
  RunWendup(L"", 1);
  EXPECT_EQ("new 1", Content(L"t1.txt"));
  std::wstring record = folder_ + tarn::kPendingFileName;
  std::vector<tarn::PendingCopy> kept = tarn::PendingReadCopies(record);
  ASSERT_EQ(1u, kept.size());
  EXPECT_EQ(L"blocker\\t2.txt", kept[0].des);
  EXPECT_EQ(L"update\\n2.txt", kept[0].from);
  EXPECT_EQ(folder_ + L"updhost.exe", tarn::PendingReadRun(record));
  EXPECT_TRUE(updbed::RebootRenames(folder_).empty());
}

TEST_F(Wendup, StartsNoProgramOutsideItsFolder) {
  // The record names a program of another folder; nothing there is started.
  std::wstring outside = updbed::Scratch("wendup-outside");
  ASSERT_TRUE(updbed::CopyInto(folder_ + L"updhost.exe", outside + L"updhost.exe"));
  WritePendingFile((outside + L"updhost.exe").c_str());
  RunWendup(L" -cmd:go");
  CheckCopied();
  EXPECT_FALSE(updbed::WaitForFile(outside + L"restarted.txt", kSettle));
  EXPECT_TRUE(updbed::ProcessesOf(outside + L"updhost.exe").empty());
  // Nor a file of its own folder that is no program.
  ASSERT_TRUE(updbed::CopyInto(folder_ + L"updhost.exe", folder_ + L"updhost.dat"));
  WriteRecord(L"", (folder_ + L"updhost.dat").c_str());
  RunWendup(L" -cmd:go", 0);
  EXPECT_EQ("<missing>", Restarted(false));
}

TEST_F(Wendup, AMissingCopyStaysRecorded) {
  WriteRecord(L"[file0]\r\nDES=t1.txt\r\nFROM=update\\gone.txt\r\n", nullptr);
  RunWendup(L"", 1);
  EXPECT_EQ("old", Content(L"t1.txt"));
  EXPECT_TRUE(updbed::RebootRenames(folder_).empty()) << "nothing to rename at the next start";
  EXPECT_EQ(1u, tarn::PendingReadCopies(folder_ + tarn::kPendingFileName).size());
}
