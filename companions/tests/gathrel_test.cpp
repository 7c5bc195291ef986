// gathrel.exe beside quorlex.dll: one setup event reaches the test bed's
// statistics server before the program ends.
#include <windows.h>

#include <gtest/gtest.h>

#include "bedfile.h"
#include "updbed.h"

namespace {

const char kActionPath[] = "/pagetracer2/tessel/__utm.gif";

class Gathrel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bed::Has("QX_HTTP")) << "run through ctest (testbed.py)";
    std::wstring bin = updbed::ProgramFolder();
    folder_ = updbed::Scratch("gathrel");
    bed::SetServer(folder_ + L"quorlex.dll", L"StatAction", bed::HttpBase() + kActionPath);
    ASSERT_TRUE(updbed::CopyInto(bin + L"gathrel.exe", folder_ + L"gathrel.exe"));
    ASSERT_TRUE(updbed::CopyInto(bin + L"quorlex.dll", folder_ + L"quorlex.dll"));
    bare_ = updbed::Scratch("gathrel-alone");
    ASSERT_TRUE(updbed::CopyInto(bin + L"gathrel.exe", bare_ + L"gathrel.exe"));
  }

  // Runs gathrel and returns the action records it sent.
  std::vector<bed::Request> Run(const std::wstring& folder, const std::wstring& options) {
    bed::Mark();
    HANDLE p = updbed::Start(folder + L"gathrel.exe", L"\"" + folder + L"gathrel.exe\"" + options);
    EXPECT_NE(nullptr, p);
    EXPECT_TRUE(updbed::WaitEnded(p, 120));
    DWORD code = 1;
    GetExitCodeProcess(p, &code);
    EXPECT_EQ(0u, code);
    CloseHandle(p);
    return bed::RequestsTo(kActionPath);
  }

  static std::string Part(const bed::Request& r, const char* key) {
    auto it = r.decoded.find(key);
    return it == r.decoded.end() ? "<none>" : it->second;
  }

  std::wstring folder_, bare_;
};

}  // namespace

TEST_F(Gathrel, ReportsTheRefindSetupForItsProduct) {
  std::vector<bed::Request> sent = Run(folder_, L" -setup:3 -cid:90009");
  ASSERT_EQ(1u, sent.size());
  EXPECT_EQ("actionname=tessel_refindasetup&setup=3", Part(sent[0], "sec3"));
  EXPECT_EQ(0u, Part(sent[0], "sec1").find("versiontype=90009&"));
}

TEST_F(Gathrel, SetupAloneCountsOneUnderProductZero) {
  std::vector<bed::Request> sent = Run(folder_, L" -setup");
  ASSERT_EQ(1u, sent.size());
  EXPECT_EQ("actionname=tessel_net_acce_setup&setup=1", Part(sent[0], "sec3"));
  EXPECT_EQ(0u, Part(sent[0], "sec1").find("versiontype=0&"));
}

TEST_F(Gathrel, EmptyProductIdCountsOne) {
  std::vector<bed::Request> sent = Run(folder_, L" -SETUP:7 /cid");
  ASSERT_EQ(1u, sent.size());
  EXPECT_EQ("actionname=tessel_net_acce_setup&setup=7", Part(sent[0], "sec3"));
  EXPECT_EQ(0u, Part(sent[0], "sec1").find("versiontype=1&"));
}

TEST_F(Gathrel, NothingWithoutTheSetupOptionOrTheLibrary) {
  EXPECT_TRUE(Run(folder_, L" -cid:90009").empty());
  EXPECT_TRUE(Run(bare_, L" -setup:3 -cid:90009").empty());
}
