// quorlex.dll as its hosts use it: loaded from a folder of its own (with its
// tarnver.dat and log switch), objects through the one export, statistics
// events queued and delivered to the test bed's loopback server.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>

#include "bedfile.h"
#include "machineid.h"
#include "tarnapi.h"
#include "testsupport.h"

namespace {

const char kActionPath[] = "/pagetracer2/tessel/__utm.gif";
const char kNodePath[] = "/__infoc.gif";

std::string gDllDir;
HMODULE gModule = nullptr;
Tarn3thGetClassObjectFn gGet = nullptr;

// Puts a copy of the library in its own folder with its two ini files.
std::string StageLibrary(const std::string& sub, const char* subversion) {
  std::string dir = testsupport::ScratchDir(sub);
  EXPECT_TRUE(bed::CopyInto(bed::ProgramFolder() + "quorlex.dll", dir + "quorlex.dll"));
  WritePrivateProfileStringA("tarn", "subversion", subversion, (dir + "tarnver.dat").c_str());
  CreateDirectoryA((dir + "data").c_str(), nullptr);
  WritePrivateProfileStringA("tarn", "log", "1", (dir + "data\\tarnver.dat").c_str());
  return dir;
}

class LibraryEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!bed::Has("QX_HTTP")) return;
    // The senders are made once per process: a dead primary with a live relay
    // for actions, the live server for nodes.
    std::string action = bed::DeadBase() + kActionPath + ";" + bed::HttpBase() + kActionPath;
    std::string child = bed::Env("QX_CHILD_DIR");
    gDllDir = child.empty() ? StageLibrary("dll", "3") : child;
    // A child uses its parent's servers (and must not remove them at its end).
    if (child.empty()) {
      bed::SetServer(gDllDir + "quorlex.dll", L"StatAction", action);
      bed::SetServer(gDllDir + "quorlex.dll", L"StatNode", bed::HttpBase() + kNodePath);
    }
    gModule = LoadLibraryA((gDllDir + "quorlex.dll").c_str());
    if (gModule)
      gGet = reinterpret_cast<Tarn3thGetClassObjectFn>(GetProcAddress(gModule, "Tarn3thGetClassObject"));
  }
};
::testing::Environment* const gEnv = ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);

ITarnImpl3th* NewService() {
  void* out = nullptr;
  EXPECT_EQ(S_OK, gGet(IID_ITarnImpl3th, &out));
  return static_cast<ITarnImpl3th*>(out);
}

std::set<DWORD> ThreadsOfThisProcess() {
  std::set<DWORD> ids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 te = {sizeof te};
  if (Thread32First(snap, &te)) {
    do {
      if (te.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(te.th32ThreadID);
    } while (Thread32Next(snap, &te));
  }
  CloseHandle(snap);
  return ids;
}

std::string Sec(const bed::Request& r, const char* key) {
  auto it = r.decoded.find(key);
  return it == r.decoded.end() ? "<none>" : it->second;
}

size_t CountLines(const std::string& file) {
  std::string text;
  testsupport::ReadWholeFile(file, &text);
  return (size_t)std::count(text.begin(), text.end(), '\n');
}

}  // namespace

class Library : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bed::Has("QX_HTTP")) << "run through ctest (testbed.py)";
    ASSERT_NE(nullptr, gModule);
    ASSERT_NE(nullptr, gGet);
  }
};

TEST_F(Library, ExportsTheOneNameOnly) {
  auto base = reinterpret_cast<const BYTE*>(gModule);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(0u, dir.VirtualAddress);
  auto exp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  ASSERT_EQ(1u, exp->NumberOfNames);
  EXPECT_EQ(1u, exp->NumberOfFunctions);
  auto names = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
  EXPECT_STREQ("Tarn3thGetClassObject", reinterpret_cast<const char*>(base + names[0]));
}

TEST_F(Library, ExportHandsOutTheTwoObjects) {
  EXPECT_EQ(E_INVALIDARG, gGet(IID_ITarnImpl3th, nullptr));
  void* out = &out;
  EXPECT_EQ(E_NOINTERFACE, gGet(IID_IUnknown, &out));
  EXPECT_EQ(nullptr, out);

  ASSERT_EQ(S_OK, gGet(IID_ITarnUpdate, &out));
  ITarnUpdate* update = static_cast<ITarnUpdate*>(out);
  ASSERT_NE(nullptr, update);
  EXPECT_EQ(S_OK, update->CheckVersion(1));
  EXPECT_EQ(E_NOINTERFACE, update->CheckVersion(2));
  EXPECT_EQ(S_OK, update->SetProductId(90009));
  EXPECT_EQ(E_INVALIDARG, update->StartReupdate(L"ab", 3));
  EXPECT_EQ(S_OK, update->StartReupdate(nullptr, 0)) << "nothing pending: does nothing";
  void* again = nullptr;
  EXPECT_EQ(S_OK, update->QueryInterface(IID_ITarnUpdate, &again));
  EXPECT_EQ(out, again);
  EXPECT_EQ(E_NOINTERFACE, update->QueryInterface(IID_ITarnImpl3th, &again));
  EXPECT_EQ(nullptr, again);
  EXPECT_EQ(1u, update->Release());
  EXPECT_EQ(0u, update->Release());

  ITarnImpl3th* service = NewService();
  ASSERT_NE(nullptr, service);
  EXPECT_EQ(2u, service->AddRef());
  EXPECT_EQ(1u, service->Release());
  EXPECT_EQ(0u, service->Release());
}

// Hosts call by slot number: check the numbers the hosts rely on through the
// raw table, not through this library's own header.
TEST_F(Library, SlotNumbersOfBothInterfaces) {
  typedef HRESULT(STDMETHODCALLTYPE * Version)(void*, unsigned);
  typedef HRESULT(STDMETHODCALLTYPE * TwoText)(void*, const wchar_t*, const wchar_t*);
  typedef HRESULT(STDMETHODCALLTYPE * OneText)(void*, const wchar_t*);
  typedef HRESULT(STDMETHODCALLTYPE * TwoInts)(void*, int*, int*);
  typedef HRESULT(STDMETHODCALLTYPE * TextLength)(void*, const wchar_t*, int);
  typedef HRESULT(STDMETHODCALLTYPE * NoArgs)(void*);
  typedef ULONG(STDMETHODCALLTYPE * Count)(void*);

  void* service = nullptr;
  ASSERT_EQ(S_OK, gGet(IID_ITarnImpl3th, &service));
  void** slots = *static_cast<void***>(service);
  EXPECT_EQ(S_OK, reinterpret_cast<Version>(slots[3])(service, 10));
  EXPECT_EQ(E_NOINTERFACE, reinterpret_cast<Version>(slots[3])(service, 11));
  EXPECT_EQ(S_OK, reinterpret_cast<NoArgs>(slots[6])(service));  // the setup reporter calls it
  EXPECT_EQ(E_INVALIDARG, reinterpret_cast<TwoText>(slots[11])(service, nullptr, L"a=1"));
  EXPECT_EQ(S_OK, reinterpret_cast<OneText>(slots[13])(service, L""));
  EXPECT_EQ(E_INVALIDARG, reinterpret_cast<TwoInts>(slots[16])(service, nullptr, nullptr));
  EXPECT_EQ(2u, reinterpret_cast<Count>(slots[1])(service));
  EXPECT_EQ(1u, reinterpret_cast<Count>(slots[2])(service));
  EXPECT_EQ(0u, reinterpret_cast<Count>(slots[2])(service));

  void* update = nullptr;
  ASSERT_EQ(S_OK, gGet(IID_ITarnUpdate, &update));
  slots = *static_cast<void***>(update);
  EXPECT_EQ(S_OK, reinterpret_cast<Version>(slots[3])(update, 1));
  EXPECT_EQ(E_NOINTERFACE, reinterpret_cast<Version>(slots[3])(update, 2));
  EXPECT_EQ(E_INVALIDARG, reinterpret_cast<TextLength>(slots[6])(update, L"ab", 3));
  EXPECT_EQ(0u, reinterpret_cast<Count>(slots[2])(update));
}

TEST_F(Library, ServiceObjectOperations) {
  ITarnImpl3th* service = NewService();
  ASSERT_NE(nullptr, service);
  EXPECT_EQ(S_OK, service->CheckVersion(10));
  EXPECT_EQ(E_NOINTERFACE, service->CheckVersion(11));
  void* out = nullptr;
  EXPECT_EQ(S_OK, service->QueryInterface(IID_IUnknown, &out));
  EXPECT_EQ(static_cast<IUnknown*>(service), out);
  service->Release();
  EXPECT_EQ(E_NOINTERFACE, service->QueryInterface(IID_ITarnUpdate, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_INVALIDARG, service->QueryInterface(IID_IUnknown, nullptr));

  EXPECT_EQ(S_OK, service->Init(91100, L"http://pages.example/"));
  for (HRESULT hr : {service->Reserved5(), service->Reserved6(), service->Reserved7(),
                     service->Reserved8(), service->Reserved9(), service->Reserved10(),
                     service->Reserved14(), service->Reserved15()})
    EXPECT_EQ(S_OK, hr);
  EXPECT_EQ(S_OK, service->OpenUrl(L""));
  EXPECT_EQ(S_OK, service->OpenUrl(nullptr));
  EXPECT_EQ(E_INVALIDARG, service->ReportAction(nullptr, L"a=1"));
  EXPECT_EQ(E_INVALIDARG, service->ReportAction(L"x", nullptr));

  int cid = -1, sv = -1;
  EXPECT_EQ(E_INVALIDARG, service->GetInitParams(nullptr, &sv));
  EXPECT_EQ(-1, sv);
  EXPECT_EQ(S_OK, service->GetInitParams(&cid, &sv));
  EXPECT_EQ(0, cid) << "this program has no tarninit option";
  EXPECT_EQ(0, sv);
  EXPECT_EQ(0u, service->Release());
  EXPECT_EQ(0u, bed::RequestsTo(kActionPath).size()) << "nothing was queued";
}

TEST_F(Library, QueuedEventsArriveOnceInOrderThroughTheRelay) {
  std::string log = gDllDir + "log\\quorlex.log";
  size_t logLinesBefore = CountLines(log);
  size_t actionsBefore = bed::RequestsTo(kActionPath).size();
  size_t nodesBefore = bed::RequestsTo(kNodePath).size();

  ITarnImpl3th* service = NewService();
  ASSERT_NE(nullptr, service);
  ASSERT_EQ(S_OK, service->Init(91100, L""));
  EXPECT_EQ(S_OK, service->ReportAction(L"order_one", L"n=1"));
  EXPECT_EQ(S_OK, service->ReportAction(L"order_two", L"n=2"));
  EXPECT_EQ(S_OK, service->ReportAction(L"order_three", L"n=3"));
  EXPECT_EQ(S_OK, service->ReportNode(151002, 102, nullptr, nullptr));
  EXPECT_EQ(S_OK, service->ReportNode(1, 2, nullptr, L"x"));
  // The last release waits for the report thread, which sends what is queued.
  EXPECT_EQ(0u, service->Release());

  auto actions = bed::RequestsTo(kActionPath);
  auto nodes = bed::RequestsTo(kNodePath);
  ASSERT_EQ(actionsBefore + 3, actions.size());
  ASSERT_EQ(nodesBefore + 2, nodes.size());
  actions.erase(actions.begin(), actions.begin() + actionsBefore);
  nodes.erase(nodes.begin(), nodes.begin() + nodesBefore);
  const char* texts[] = {"actionname=order_one&n=1", "actionname=order_two&n=2",
                         "actionname=order_three&n=3"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(texts[i], Sec(actions[i], "sec3"));
    EXPECT_EQ("versiontype=91100&tryno=3&tid1=0&tunnel=&tid2=0&type=5&tod1=0&tod2=0",
              Sec(actions[i], "sec1"))
        << "sub-version from the tarnver.dat beside the library";
    EXPECT_EQ("uuidex=" + tarn::GetMachineIdA(), Sec(actions[i], "sec2"));
    EXPECT_EQ(200, actions[i].status);
  }
  EXPECT_LT(actions[0].seq, actions[1].seq);
  EXPECT_LT(actions[1].seq, actions[2].seq);
  EXPECT_LT(actions[2].seq, nodes[0].seq) << "actions before nodes";
  EXPECT_LT(nodes[0].seq, nodes[1].seq);
  EXPECT_EQ(0u, Sec(nodes[0], "node").find("type=40&account=&node=151002&snode=102&random="));
  EXPECT_EQ(0u, Sec(nodes[1], "node").find("type=40&account=&node=1&snode=2&extrap2=x&random="));

  // Each address tried writes the request text to the log: two per action
  // (dead primary, relay), one per node.
  EXPECT_EQ(logLinesBefore + 3 * 2 + 2, CountLines(log));
  std::string text;
  ASSERT_TRUE(testsupport::ReadWholeFile(log, &text));
  EXPECT_NE(std::string::npos, text.find(actions[2].query + "\r\n"));
  EXPECT_EQ(std::string::npos, text.find("\r\r"));
}

TEST_F(Library, AFailedSendIsNeitherRetriedNorBlocking) {
  size_t before = bed::RequestsTo(kActionPath).size();
  ITarnImpl3th* service = NewService();
  ASSERT_NE(nullptr, service);
  service->Init(91100, L"");
  service->ReportAction(L"fail_one", L"k=1");
  service->ReportAction(L"fail_two", L"fail=404");
  service->ReportAction(L"fail_three", L"k=3");
  // Give the thread a later wake-up too: the failed text must not come again.
  auto got = bed::WaitForRequests(kActionPath, before + 3);
  service->ReportAction(L"fail_four", L"k=4");
  EXPECT_EQ(0u, service->Release());

  got = bed::RequestsTo(kActionPath);
  ASSERT_EQ(before + 4, got.size());
  got.erase(got.begin(), got.begin() + before);
  EXPECT_EQ("actionname=fail_one&k=1", Sec(got[0], "sec3"));
  EXPECT_EQ("actionname=fail_two&fail=404", Sec(got[1], "sec3"));
  EXPECT_EQ(404, got[1].status);
  EXPECT_EQ("actionname=fail_three&k=3", Sec(got[2], "sec3"));
  EXPECT_EQ("actionname=fail_four&k=4", Sec(got[3], "sec3"));
}

TEST_F(Library, ReleaseWithNothingPendingAndTwoObjects) {
  ITarnImpl3th* a = NewService();
  ITarnImpl3th* b = NewService();
  ASSERT_TRUE(a && b);
  EXPECT_EQ(0u, a->Release());  // returns once the thread has seen the quit event
  size_t before = bed::RequestsTo(kActionPath).size();
  b->Init(91100, L"");
  b->ReportAction(L"second_object", L"k=1");
  EXPECT_EQ(0u, b->Release());
  ASSERT_EQ(before + 1, bed::RequestsTo(kActionPath).size());
  EXPECT_EQ("actionname=second_object&k=1", Sec(bed::RequestsTo(kActionPath).back(), "sec3"));
}

TEST_F(Library, ReleaseJoinsTheReportThreadSoTheLibraryCanBeUnloaded) {
  // A second copy, loaded and unloaded here. Warm it up once so that threads
  // the platform keeps for sockets exist before the snapshot.
  std::string dir = StageLibrary("dll-unload", "0");
  bed::SetServer(dir + "quorlex.dll", L"StatAction", bed::HttpBase() + kActionPath);
  HMODULE second = LoadLibraryA((dir + "quorlex.dll").c_str());
  ASSERT_NE(nullptr, second);
  ASSERT_NE(gModule, second);
  auto get = reinterpret_cast<Tarn3thGetClassObjectFn>(GetProcAddress(second, "Tarn3thGetClassObject"));
  ASSERT_NE(nullptr, get);
  size_t before = bed::RequestsTo(kActionPath).size();
  for (int round = 0; round < 2; ++round) {
    std::set<DWORD> threads = ThreadsOfThisProcess();
    void* out = nullptr;
    ASSERT_EQ(S_OK, get(IID_ITarnImpl3th, &out));
    ITarnImpl3th* service = static_cast<ITarnImpl3th*>(out);
    service->Init(91100, L"");
    service->ReportAction(L"unload", (L"round=" + std::to_wstring(round)).c_str());
    EXPECT_EQ(0u, service->Release());
    if (round == 1) {
      EXPECT_EQ(threads, ThreadsOfThisProcess()) << "no thread of the object is left";
    }
  }
  EXPECT_EQ(before + 2, bed::RequestsTo(kActionPath).size());
  ASSERT_TRUE(FreeLibrary(second));
  HMODULE still = nullptr;
  EXPECT_FALSE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                  (dir + "quorlex.dll").c_str(), &still));
  Sleep(200);  // a thread left running in the unloaded code would fault now
}

// ---- the host's start parameters, read from a child's own command line ----------

TEST(Child, InitParams) {
  std::string out = bed::Env("QX_CHILD_OUT");
  if (out.empty()) GTEST_SKIP() << "runs as a child of InitParams.FromTheCommandLine";
  ASSERT_NE(nullptr, gGet);
  ITarnImpl3th* service = NewService();
  int cid = -1, sv = -1;
  ASSERT_EQ(S_OK, service->GetInitParams(&cid, &sv));
  service->Release();
  char text[64];
  snprintf(text, sizeof text, "%d %d", cid, sv);
  ASSERT_TRUE(testsupport::WriteWholeFile(out, text));
}

TEST_F(Library, InitParamsFromTheCommandLine) {
  struct Case {
    const char* option;
    const char* expect;
  } cases[] = {{"-tarninit:90009&3", "90009 3"}, {"-tarninit:&3", "0 0"},
               {"-tarninit:12&", "12 0"},        {"-tarninit:abc&def", "0 0"},
               {"/TarnInit:\"5&7\"", "5 7"},     {"-other:1", "0 0"}};
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string outFile = testsupport::ScratchDir("child") + "out.txt";
  SetEnvironmentVariableA("QX_CHILD_OUT", outFile.c_str());
  SetEnvironmentVariableA("QX_CHILD_DIR", gDllDir.c_str());
  for (const Case& c : cases) {
    DeleteFileA(outFile.c_str());
    std::string line = std::string("\"") + self + "\" --gtest_filter=Child.InitParams " + c.option;
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(0u, code) << c.option;
    std::string got;
    EXPECT_TRUE(testsupport::ReadWholeFile(outFile, &got)) << c.option;
    EXPECT_EQ(c.expect, got) << c.option;
  }
  SetEnvironmentVariableA("QX_CHILD_OUT", nullptr);
  SetEnvironmentVariableA("QX_CHILD_DIR", nullptr);
}
