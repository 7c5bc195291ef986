// The program's statistics events through its client of quorlex.dll, which
// lies beside the test program as it lies beside salvora.exe.
#include <windows.h>

#include <gtest/gtest.h>

#include "bedfile.h"
#include "statistics.h"
#include "tarnclient.h"
#include "testsupport.h"

namespace {

const char kActionPath[] = "/pagetracer2/tessel/__utm.gif";
const char kNodePath[] = "/__infoc.gif";

std::string Sec(const bed::Request& r, const char* key) {
  auto it = r.decoded.find(key);
  return it == r.decoded.end() ? "<none>" : it->second;
}

}  // namespace

TEST(EventTexts, LaunchAndOperation) {
  EXPECT_EQ(L"launch=1&launchfrom=1&cidfrom=0&svfrom=0&version=2.0.1.5",
            LaunchEventText(1, 0, 0, "2.0.1.5"));
  EXPECT_EQ(L"launch=1&launchfrom=0&cidfrom=90009&svfrom=3&version=",
            LaunchEventText(0, 90009, 3, nullptr));

  StatisticsRecord r;
  EXPECT_EQ(L"dlgresult=0&recovercount=0&userpermit=-1&paydlg=0&fixtype=-1&scancount=0&from=0"
            L"&filtertype=0&btnrecover=0&fixtype2=0&version=1.0.0.1",
            OperationEventText(r, "1.0.0.1"));
  r.dlgresult = 1;
  r.recovercount = 12;
  r.fixtype = 2;  // never sent: the text always carries -1
  r.scancount = 40;
  r.from = 1;
  r.fixtype2 = 6;
  r.filtertype = -1;
  r.btnrecover = 1;
  EXPECT_EQ(L"dlgresult=1&recovercount=12&userpermit=-1&paydlg=0&fixtype=-1&scancount=40&from=1"
            L"&filtertype=-1&btnrecover=1&fixtype2=6&version=",
            OperationEventText(r, ""));
}

TEST(Events, DeliveredThroughTheLibrary) {
  ASSERT_TRUE(bed::Has("QX_HTTP")) << "run through ctest (testbed.py)";
  bed::SetServer(bed::ProgramFolder() + "quorlex.dll", L"StatAction", bed::HttpBase() + kActionPath);
  bed::SetServer(bed::ProgramFolder() + "quorlex.dll", L"StatNode", bed::HttpBase() + kNodePath);

  CTarnClient& client = GetServiceModuleClient();
  ASSERT_TRUE(client.IsLoaded()) << "quorlex.dll beside the program";
  ASSERT_NE(nullptr, client.service);
  ASSERT_NE(nullptr, client.updater);
  EXPECT_EQ(-1, client.state1);
  int cid = 0, sv = 0;
  client.GetInitParams(&cid, &sv);
  EXPECT_EQ(0, cid);
  EXPECT_EQ(0, sv);
  EXPECT_EQ(1, client.OpenUrl(L""));

  ReportLaunch(1, "2.0.1.5");

  // A road left before its report page: reported once, on the first re-show.
  StatisticsRecord left;
  left.pending = 1;
  left.fixtype2 = 4;
  left.scancount = -1;
  EXPECT_TRUE(ReportPendingOperation(left, "2.0.1.5"));
  EXPECT_EQ(0, left.pending);
  EXPECT_FALSE(ReportPendingOperation(left, "2.0.1.5"));

  // Report pages: the event, and the node only when files were recovered.
  StatisticsRecord none;
  none.pending = 1;
  ReportRoadFinished(none, "2.0.1.5");
  EXPECT_EQ(1, none.dlgresult);
  EXPECT_FALSE(ReportPendingOperation(none, "2.0.1.5")) << "reported by the report page";
  StatisticsRecord some;
  some.recovercount = 3;
  some.fixtype2 = 1;
  ReportRoadFinished(some, "2.0.1.5");

  // Release joins the library's report thread: everything has been sent.
  client.Release();
  EXPECT_FALSE(client.IsLoaded());

  auto actions = bed::RequestsTo(kActionPath);
  ASSERT_EQ(4u, actions.size());
  EXPECT_EQ("actionname=tessel_refindalaunch&launch=1&launchfrom=1&cidfrom=0&svfrom=0&version=2.0.1.5",
            Sec(actions[0], "sec3"));
  EXPECT_EQ("actionname=tessel_refindaropera&dlgresult=0&recovercount=0&userpermit=-1&paydlg=0"
            "&fixtype=-1&scancount=-1&from=0&filtertype=0&btnrecover=0&fixtype2=4&version=2.0.1.5",
            Sec(actions[1], "sec3"));
  EXPECT_EQ("actionname=tessel_refindaropera&dlgresult=1&recovercount=0&userpermit=-1&paydlg=0"
            "&fixtype=-1&scancount=0&from=0&filtertype=0&btnrecover=0&fixtype2=0&version=2.0.1.5",
            Sec(actions[2], "sec3"));
  EXPECT_EQ("actionname=tessel_refindaropera&dlgresult=1&recovercount=3&userpermit=-1&paydlg=0"
            "&fixtype=-1&scancount=0&from=0&filtertype=0&btnrecover=0&fixtype2=1&version=2.0.1.5",
            Sec(actions[3], "sec3"));
  for (const auto& a : actions)
    EXPECT_EQ(0u, Sec(a, "sec1").find("versiontype=90009&tryno=0&")) << Sec(a, "sec1");

  auto nodes = bed::RequestsTo(kNodePath);
  ASSERT_EQ(1u, nodes.size()) << "one node: only the road with recovered files";
  EXPECT_EQ(0u, Sec(nodes[0], "node").find("type=40&account=&node=151002&snode=102&random="));
  EXPECT_GT(nodes[0].seq, actions[3].seq);
}

// Runs in a copy of this program in a folder without the library.
TEST(ChildMissing, WrappersDoNothingAndTheLoadIsRetried) {
  std::string source = bed::Env("QX_DLL_SOURCE");
  if (source.empty()) GTEST_SKIP() << "runs as a child of Client.WithoutTheLibrary";
  CTarnClient& client = GetServiceModuleClient();
  EXPECT_FALSE(client.IsLoaded());
  EXPECT_EQ(0, client.OpenUrl(L"http://pages.example/"));
  client.ReportAction(L"x", L"y=1");
  client.ReportNode(1, 2);
  int cid = 0, sv = 0;
  client.GetInitParams(&cid, &sv);
  EXPECT_EQ(0, cid);
  EXPECT_EQ(0, sv);
  ReportLaunch(0, "1.0");
  StatisticsRecord r;
  r.pending = 1;
  EXPECT_TRUE(ReportPendingOperation(r, "1.0")) << "the record is kept as if sent";
  EXPECT_FALSE(GetServiceModuleClient().IsLoaded());

  ASSERT_TRUE(bed::CopyInto(source, bed::ProgramFolder() + "quorlex.dll"));
  CTarnClient& again = GetServiceModuleClient();
  EXPECT_EQ(&client, &again);
  EXPECT_TRUE(again.IsLoaded()) << "every use retries the load";
  EXPECT_NE(nullptr, again.service);
  again.Release();
}

TEST(Client, WithoutTheLibrary) {
  std::string dir = testsupport::ScratchDir("nodll");
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string copy = dir + "appservice.exe";
  ASSERT_TRUE(bed::CopyInto(self, copy));
  SetEnvironmentVariableA("QX_DLL_SOURCE", (bed::ProgramFolder() + "quorlex.dll").c_str());
  bed::SetServer(dir + "quorlex.dll", L"StatAction", bed::DeadBase() + kActionPath);
  std::string line = "\"" + copy + "\" --gtest_filter=ChildMissing.*";
  STARTUPINFOA si = {sizeof si};
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi));
  WaitForSingleObject(pi.hProcess, 120000);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  SetEnvironmentVariableA("QX_DLL_SOURCE", nullptr);
  EXPECT_EQ(0u, code);
}
