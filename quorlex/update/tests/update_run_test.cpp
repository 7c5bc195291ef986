// The update against the test bed's update server: trees made by updtree.py
// with Python's zlib and hashlib (index texts in UTF-8, UTF-16 and code page
// 936, files named by their MD5), served over loopback HTTPS with a
// certificate of the bed's test CA, which the test trusts.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "bedfile.h"
#include "handover.h"
#include "modinfo.h"
#include "qupdate.h"
#include "regstore.h"
#include "unpack.h"
#include "updbed.h"
#include "updworker.h"
#include "websink.h"

using updbed::W;

namespace {

const wchar_t kChannel[] = L"tarn_datarepair2";

class Bed : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bed::Has("QX_HTTPS") && bed::Has("QX_UPDATE_TREE")) << "run through ctest (testbed.py)";
    updbed::TrustTestCa();
  }
};

// Runs the worker for a scenario in a fresh program folder.
class Worker : public Bed {
 protected:
  int Run(const std::string& scenario, bool seed = true) {
    if (root_.empty()) root_ = updbed::Scratch("run-" + scenario) + L"prog\\";
    CreateDirectoryW(root_.c_str(), nullptr);
    if (seed) updbed::SeedLocal(scenario, root_);
    updbed::UseScenario(scenario);
    bed::Mark();
    tarn::UpdateContext ctx(root_, kChannel, true);
    int rc = tarn::RunUpdateWorker(&ctx);
    files_ = ctx.Files();
    refused_ = ctx.Refused();
    return rc;
  }
  void CheckExpect(const std::vector<updbed::Expect>& expect, const std::string& kind) {
    for (const updbed::Expect& e : updbed::ExpectOf(expect, kind)) {
      EXPECT_EQ(updbed::U(e.value), updbed::Md5(root_ + e.path)) << kind << " " << updbed::U(e.path);
    }
  }
  void CheckAbsent(const std::vector<updbed::Expect>& expect) {
    for (const updbed::Expect& e : updbed::ExpectOf(expect, "absent"))
      EXPECT_FALSE(updbed::Exists(root_ + e.path)) << updbed::U(e.path);
  }
  void CheckNotRequested(const std::vector<updbed::Expect>& expect) {
    for (const updbed::Expect& e : updbed::ExpectOf(expect, "noreq"))
      EXPECT_EQ(0u, updbed::CountRequests(updbed::U(e.path))) << updbed::U(e.path);
  }
  std::wstring root_;
  std::vector<tarn::UpdateFileEntry> files_;
  int refused_ = 0;
};

struct RecordingCallback : ITarnUpdateCallback {
  std::vector<int> percents;
  std::vector<std::wstring> texts;
  int finished = 0x7FFFFFFF;
  int finishCalls = 0;
  std::wstring stopAt;  // returns 0 once this text is seen
  int TARN_THISCALL OnProgress(const wchar_t* text, int length, int percent) override {
    std::wstring t(text, (size_t)length);
    texts.push_back(t);
    percents.push_back(percent);
    return (!stopAt.empty() && t == stopAt) ? 0 : 1;
  }
  int TARN_THISCALL OnFinish(int code) override {
    finished = code;
    ++finishCalls;
    return 1;
  }
};

}  // namespace

TEST_F(Worker, ReplacesChangedFilesAcrossLevelsAndEncodings) {
  std::vector<updbed::Expect> expect = updbed::ReadExpect("basic");
  ASSERT_FALSE(expect.empty());
  EXPECT_EQ(1, Run("basic"));
  CheckExpect(expect, "new");
  CheckExpect(expect, "same");
  CheckNotRequested(expect);
  EXPECT_FALSE(updbed::Exists(root_ + tarn::kPendingFileName)) << "nothing was in use";
  // Levels visited depth first, sub-level 2 (absent) skipped, files of a
  // level in section order; every entry replaced.
  std::vector<std::wstring> order;
  for (const auto& f : files_) {
    order.push_back(f.localPath);
    EXPECT_EQ(tarn::kEntryReplaced, f.state) << updbed::U(f.localPath);
  }
  EXPECT_EQ((std::vector<std::wstring>{L"readme.txt", L"bin\\tool.dll", L"data\\big.bin",
                                       L"文档\\说明.txt"}),
            order);
  // Neither the downloaded copies nor the packed ones stay: only the index
  // texts, and no journal.
  for (const std::wstring& f : updbed::ListFiles(root_ + L"update"))
    EXPECT_TRUE(f.find(L"index") != std::wstring::npos && f.compare(f.size() - 4, 4, L".txt") == 0)
        << updbed::U(f);

  // A second run finds everything up to date: only the top index is fetched
  // again (the sub-level texts on disk match their MD5).
  EXPECT_EQ(0, Run("basic", false));
  std::vector<bed::Request> requests = bed::ReadRequests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_NE(std::string::npos, requests[0].path.find("/indextarn_datarepair2.dat"));
  EXPECT_EQ("application/octet-stream", requests[0].Header("content-type"));
  EXPECT_EQ("Mozilla/4.0", requests[0].Header("user-agent"));
}

TEST_F(Worker, CorruptFileIsTriedThreeTimesThenFails) {
  std::vector<updbed::Expect> expect = updbed::ReadExpect("corrupt");
  EXPECT_EQ((int)(0x80000000u | 89), Run("corrupt"));
  CheckAbsent(expect);
  for (const updbed::Expect& e : updbed::ExpectOf(expect, "count"))
    EXPECT_EQ((size_t)_wtoi(e.value.c_str()), updbed::CountRequests(updbed::U(e.path)));
  EXPECT_EQ(tarn::kEntryDownloadFailed, files_[0].state);
  EXPECT_TRUE(updbed::ListFiles(root_ + L"update").size() == 1u) << "only the index text stays";
}

TEST_F(Worker, MissingFileFailsWithTheHttpStatus) {
  std::vector<updbed::Expect> expect = updbed::ReadExpect("missing");
  EXPECT_EQ((int)(0x80000000u | 404), Run("missing"));
  CheckAbsent(expect);
  for (const updbed::Expect& e : updbed::ExpectOf(expect, "count"))
    EXPECT_EQ(3u, updbed::CountRequests(updbed::U(e.path)));
}

TEST_F(Worker, MissingIndexFailsTheRun) {
  EXPECT_EQ((int)(0x80000000u | 404), Run("no-such-scenario"));
  EXPECT_TRUE(files_.empty());
}

TEST_F(Worker, HostileNamesChangeNothingOutsideTheProgramFolder) {
  std::wstring base = updbed::Scratch("run-hostile");
  root_ = base + L"prog\\";
  ASSERT_TRUE(updbed::WriteBytes(base + L"outside.txt", "outside"));
  std::vector<std::wstring> before = updbed::ListFiles(base);
  std::vector<updbed::Expect> expect = updbed::ReadExpect("hostile");
  // Refused entries fail the run before anything is downloaded or replaced.
  EXPECT_EQ((int)(0x80000000u | ERROR_INVALID_DATA), Run("hostile"));
  EXPECT_EQ(13 + 3 + 1, refused_) << "names, climbing levels, the level count";
  CheckAbsent(expect);
  CheckExpect(expect, "same");
  CheckNotRequested(expect);
  EXPECT_EQ(0u, updbed::CountRequests("evil"));
  ASSERT_EQ(1u, files_.size());
  // Outside the program's folder nothing came or went.
  std::vector<std::wstring> after;
  for (const std::wstring& f : updbed::ListFiles(base))
    if (f.compare(0, 5, L"prog\\") != 0) after.push_back(f);
  std::vector<std::wstring> outsideBefore;
  for (const std::wstring& f : before)
    if (f.compare(0, 5, L"prog\\") != 0) outsideBefore.push_back(f);
  EXPECT_EQ(outsideBefore, after);
  for (const wchar_t* f : {L"C:\\outside\\escape3.txt", L"C:\\escape4.txt", L"C:\\rooted\\escape4.txt"})
    EXPECT_FALSE(updbed::Exists(f)) << updbed::U(f);
}

TEST_F(Worker, AFolderInTheWayOfAFileRefusesTheRunAndNothingIsDeleted) {
  // After the folder entry: a refused name, a missing sub-level, a missing
  // file, nothing else wrong; and an entry naming the updater's own folder.
  struct Case { const char* scenario; int code; } cases[] = {
      {"inway-refused", (int)(0x80000000u | ERROR_INVALID_DATA)},
      {"inway-nolevel", (int)(0x80000000u | 404)},
      {"inway-nofile", (int)(0x80000000u | ERROR_INVALID_DATA)},
      {"inway-good", (int)(0x80000000u | ERROR_INVALID_DATA)},
      {"inway-updfolder", (int)(0x80000000u | ERROR_INVALID_DATA)},
  };
  for (const Case& c : cases) {
    root_ = updbed::Scratch(std::string("run-") + c.scenario) + L"prog\\";
    CreateDirectoryW(root_.c_str(), nullptr);
    updbed::SeedLocal(c.scenario, root_);
    std::map<std::wstring, std::string> before;
    for (const std::wstring& f : updbed::ListFiles(root_)) before[f] = updbed::Md5(root_ + f);
    ASSERT_EQ(4u, before.size());
    EXPECT_EQ(c.code, Run(c.scenario, false)) << c.scenario;
    std::map<std::wstring, std::string> after;
    for (const std::wstring& f : updbed::ListFiles(root_))
      if (f.compare(0, 7, L"update\\") != 0) after[f] = updbed::Md5(root_ + f);
    EXPECT_EQ(before, after) << c.scenario << ": the install is byte-identical";
    CheckNotRequested(updbed::ReadExpect(c.scenario));
  }
}

namespace {

uint64_t BytesBelow(const std::wstring& folder) {
  uint64_t sum = 0;
  for (const std::wstring& f : updbed::ListFiles(folder)) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (GetFileAttributesExW((folder + f).c_str(), GetFileExInfoStandard, &d))
      sum += (uint64_t)d.nFileSizeHigh << 32 | d.nFileSizeLow;
  }
  return sum;
}

}  // namespace

TEST_F(Worker, PerRunCapsOnIndexTextAndDownloads) {
  // Index texts: the run stops once the levels together pass the cap.
  // The level that crosses the cap does not unpack past what is left.
  EXPECT_EQ((int)(0x80000000u | 89), Run("bigindex"));
  EXPECT_LE(BytesBelow(root_ + L"update\\"), tarn::kMaxRunIndexBytes);
  EXPECT_LT(updbed::CountRequests("/index.dat"), 16u);

  // A file that declares 1000 bytes may not unpack to 4 MiB; nothing of it
  // (nor of the file downloaded before it) stays.
  root_.clear();
  EXPECT_EQ((int)(0x80000000u | 89), Run("bomb"));
  CheckAbsent(updbed::ReadExpect("bomb"));
  for (const std::wstring& f : updbed::ListFiles(root_ + L"update\\"))
    EXPECT_NE(std::wstring::npos, f.find(L"index")) << updbed::U(f);

  tarn::UpdateFileEntry e;
  EXPECT_EQ(tarn::kMaxFileBytes, tarn::EntryByteCap(e)) << "no size declared";
  e.fileSize = 6400;
  EXPECT_EQ(6400u + 100 + 4096, tarn::EntryByteCap(e));
  std::vector<tarn::UpdateFileEntry> many(3, e);
  EXPECT_EQ(3 * tarn::EntryByteCap(e), tarn::RunDownloadCap(many));
  many.push_back(tarn::UpdateFileEntry());
  EXPECT_EQ(tarn::kMaxRunDownloadBytes, tarn::RunDownloadCap(many)) << "the hard ceiling";
}

TEST_F(Bed, TimeLimitsFollowTheAnnouncedLengthAndAreCapped) {
  EXPECT_EQ(tarn::kMaxTransferSeconds, tarn::TransferTimeLimit(1ull << 30));
  EXPECT_EQ(tarn::kMaxTransferSeconds, tarn::TransferTimeLimit(~0ull));
  // 200 KiB announced by a server for a file an index claimed as 1 GiB.
  long claimed = tarn::TransferTimeLimit(1ull << 30);
  EXPECT_EQ(60 + 50, tarn::AnnouncedTimeLimit(claimed, 200u << 10));
  EXPECT_EQ(100, tarn::AnnouncedTimeLimit(100, 1ull << 30)) << "never longer";
  EXPECT_EQ(0, tarn::AnnouncedTimeLimit(0, 1000)) << "no limit stays none";
  EXPECT_EQ(claimed, tarn::AnnouncedTimeLimit(claimed, 0)) << "no length announced";
}

TEST_F(Worker, ALinkInPlaceOfTheUpdateFolderIsNotWrittenThrough) {
  root_ = updbed::Scratch("run-updlink") + L"prog\\";
  CreateDirectoryW(root_.c_str(), nullptr);
  std::wstring elsewhere = updbed::Scratch("run-updlink-elsewhere");
  ASSERT_TRUE(bed::MakeFolderLink(root_ + L"update", elsewhere));
  EXPECT_EQ((int)(0x80000000u | tarn::kSinkOpenFailed), Run("basic"));
  EXPECT_TRUE(updbed::ListFiles(elsewhere).empty());
  EXPECT_TRUE(bed::RemoveFolderLink(root_ + L"update"));
}

TEST_F(Worker, IndexNestedTooDeepIsRefused) {
  std::vector<updbed::Expect> expect = updbed::ReadExpect("deep");
  int rc = Run("deep");
  EXPECT_LT(rc, 0);
  EXPECT_EQ((int)(0x80000000u | ERROR_INVALID_DATA), rc);
  CheckAbsent(expect);
  EXPECT_LE(updbed::CountRequests("/index"), (size_t)tarn::kMaxIndexDepth + 1);
}

TEST_F(Worker, FilesInUseAreLeftToTheCompletionProgram) {
  std::vector<updbed::Expect> expect = updbed::ReadExpect("inuse");
  EXPECT_EQ(tarn::kUpdateReupdate, Run("inuse"));
  CheckExpect(expect, "old");
  EXPECT_EQ(updbed::U(updbed::ExpectValue(expect, "new", L"plain.txt")), updbed::Md5(root_ + L"plain.txt"));
  EXPECT_TRUE(updbed::IsFolder(root_ + L"新夹\\深")) << "made for the completion program";

  std::wstring file = root_ + tarn::kPendingFileName;
  std::string bytes;
  ASSERT_TRUE(updbed::ReadBytes(file, &bytes));
  EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
  std::vector<tarn::PendingCopy> copies = tarn::PendingReadCopies(file);
  std::vector<updbed::Expect> pending = updbed::ExpectOf(expect, "pending");
  ASSERT_EQ(pending.size(), copies.size());
  for (size_t i = 0; i < copies.size(); ++i) {
    EXPECT_EQ(pending[i].path, copies[i].des);
    EXPECT_EQ(pending[i].value, copies[i].from);
    // The copies wait, checked, in the update folder.
    EXPECT_EQ(updbed::U(updbed::ExpectValue(expect, "new", copies[i].des)),
              updbed::Md5(root_ + copies[i].from));
  }
  EXPECT_EQ(L"", tarn::PendingReadRun(file));

  // A stale list of an unfinished run is not carried into the next one.
  ASSERT_TRUE(tarn::PendingWriteCopy(file, 7, L"stale.txt", L"update\\stale.txt"));
  EXPECT_EQ(tarn::kUpdateReupdate, Run("inuse", false));
  EXPECT_EQ(3u, tarn::PendingReadCopies(file).size());
  std::string text;
  updbed::ReadBytes(file, &text);
  EXPECT_EQ(std::string::npos, text.find("s\0t\0a\0l\0e", 0, 9));
}

// ---- trust, all or nothing, the environment ----------------------------------------

TEST_F(Worker, ServersNotTrustedOrNotHttpsAreRefusedAndNothingIsWritten) {
  std::wstring base = updbed::Scratch("untrusted");
  struct Case { std::string server; int code; } cases[] = {
      {bed::HttpsBase("QX_HTTPS_SELFSIGNED"), 60},  // CURLE_PEER_FAILED_VERIFICATION
      {bed::HttpsBase("QX_HTTPS_WRONGHOST"), 60},   // the CA's, but for another name
      {bed::HttpBase(), 1},                         // CURLE_UNSUPPORTED_PROTOCOL
      {bed::HttpsBase("QX_HTTPS_REVOKED"), 60},     // on the CA's revocation list
      {bed::HttpsBase("QX_HTTPS_REVOKED"), 60},     // and still, with the list fetched
      {bed::HttpsBase("QX_HTTPS_OLDTLS"), 35},      // CURLE_SSL_CONNECT_ERROR: TLS 1.1 at most
  };
  int n = 0;
  for (const Case& c : cases) {
    std::wstring root = base + std::to_wstring(++n) + L"\\";
    CreateDirectoryW(root.c_str(), nullptr);
    updbed::SeedLocal("basic", root);
    std::vector<std::wstring> before = updbed::ListFiles(root);
    bed::SetServer(bed::ThisProgram(), L"Update", c.server + "/upd/basic");
    bed::Mark();
    tarn::UpdateContext ctx(root, kChannel, true);
    EXPECT_EQ((int)(0x80000000u | c.code), tarn::RunUpdateWorker(&ctx)) << c.server;
    EXPECT_EQ(before, updbed::ListFiles(root)) << c.server;
    EXPECT_TRUE(bed::ReadRequests().empty()) << "refused before the request: " << c.server;
  }
}

TEST_F(Worker, FailedReplacementPutsBackEveryFileAlreadyReplaced) {
  root_ = updbed::Scratch("five") + L"prog\\";
  CreateDirectoryW(root_.c_str(), nullptr);
  updbed::SeedLocal("five", root_);
  updbed::UseScenario("five");
  std::vector<updbed::Expect> expect = updbed::ReadExpect("five");
  std::vector<std::wstring> before = updbed::ListFiles(root_);
  tarn::UpdateContext ctx(root_, kChannel, true);
  ASSERT_EQ(0, tarn::FetchIndex(&ctx));
  ASSERT_EQ(5u, ctx.Files().size());
  ASSERT_EQ(0, tarn::DownloadFiles(&ctx));
  // The second target is held as a running program holds its file (renamed
  // aside, not written); the third's new copy cannot be read.
  HANDLE running = CreateFileW((root_ + L"f2.bin").c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE unreadable = CreateFileW((root_ + ctx.Files()[2].downloadedCopy).c_str(), GENERIC_READ, 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, running);
  ASSERT_NE(INVALID_HANDLE_VALUE, unreadable);
  EXPECT_LT(tarn::PutFilesInPlace(&ctx), 0);
  CloseHandle(unreadable);
  CloseHandle(running);
  CheckExpect(expect, "old");
  std::vector<std::wstring> after;
  for (const std::wstring& f : updbed::ListFiles(root_))
    if (f.compare(0, 7, L"update\\") != 0) after.push_back(f);
  EXPECT_EQ(before, after) << "nothing kept aside is left behind";
  EXPECT_EQ(tarn::kEntryDownloaded, ctx.Files()[0].state);
  EXPECT_EQ(tarn::kEntryDownloaded, ctx.Files()[1].state);
  EXPECT_EQ(tarn::kEntryReplaceFailed, ctx.Files()[2].state);
  EXPECT_TRUE(updbed::RebootRenames(root_).empty());
  // The same run again, with nothing in the way, replaces all five.
  EXPECT_EQ(1, Run("five", false));
  CheckExpect(expect, "new");
}

TEST_F(Worker, TheEnvironmentMovesNoServerAndNoProxy) {
  // Variables that once redirected the library, and libcurl's own proxy
  // variables pointing at a dead address.
  SetEnvironmentVariableA("TARN_UPDATE_URL", (bed::HttpsBase() + "/upd/envonly").c_str());
  for (const char* v : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY"})
    SetEnvironmentVariableA(v, ("http://" + bed::Env("QX_DEAD")).c_str());
  bed::SetServer(bed::ThisProgram(), L"Update", "");
  EXPECT_EQ("https://up.quillon.com", tarn::UpdateServerText());
  EXPECT_EQ(1, Run("basic")) << "straight to the administrator's server, no proxy";
  EXPECT_EQ(0u, updbed::CountRequests("/envonly"));
  for (const char* v : {"TARN_UPDATE_URL", "http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY"})
    SetEnvironmentVariableA(v, nullptr);
}

TEST_F(Worker, UpdatesThroughAnAuthenticatingHttpProxy) {
  const int kProduct = 91007;
  std::wstring key = tarn::StoreKeyPath(tarn::ProductSubKey(kProduct).c_str());
  QRegKey settings;
  ASSERT_EQ(ERROR_SUCCESS, settings.Create(HKEY_CURRENT_USER, key.c_str(), KEY_ALL_ACCESS));
  settings.SetDword(L"Proxy Mode", 2);
  settings.SetString(L"Proxy Host", L"127.0.0.1");
  settings.SetDword(L"Proxy Port", (DWORD)atoi(bed::Env("QX_HTTPPROXY").c_str()));
  settings.SetDword(L"Proxy Authorization", 1);
  settings.SetString(L"Proxy User", updbed::W(bed::Env("QX_PROXY_USER")));
  settings.SetString(L"Proxy Password", updbed::W(bed::Env("QX_PROXY_PASS")));
  settings.Close();
  tarn::SetProductId(kProduct);
  int rc = Run("basic");
  tarn::SetProductId(0);
  SHDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
  EXPECT_EQ(1, rc);
  CheckExpect(updbed::ReadExpect("basic"), "new");
  std::string log;
  updbed::ReadBytes(updbed::FromAnsi(bed::Env("QX_HTTPPROXY_LOG")), &log);
  EXPECT_NE(std::string::npos, log.find("CONNECT localhost:" + bed::Env("QX_HTTPS"))) << "tunnelled";
}

// ---- the update object ---------------------------------------------------------

TEST_F(Bed, UpdateObjectStopsWhenTheHostAsks) {
  std::wstring root = updbed::Scratch("object-stop") + L"prog\\";
  CreateDirectoryW(root.c_str(), nullptr);
  updbed::UseScenario("stop");
  bed::Mark();
  CQUpdate update;
  update.SetRoot(root);
  update.SetProductId(90009);
  RecordingCallback cb;
  cb.stopAt = L"b.bin";
  EXPECT_EQ(S_OK, update.RunUpdate(&cb));
  EXPECT_EQ(1, cb.finished) << "a stop ends the run with 1";
  EXPECT_EQ(1, cb.finishCalls);
  EXPECT_EQ(0, update.ReupdateFlag());
  ASSERT_FALSE(cb.percents.empty());
  EXPECT_TRUE(std::is_sorted(cb.percents.begin(), cb.percents.end()));
  EXPECT_GE(cb.percents.front(), 0);
  EXPECT_LE(cb.percents.back(), 90);
  EXPECT_EQ(L"b.bin", cb.texts.back());
  std::vector<updbed::Expect> expect = updbed::ReadExpect("stop");
  for (const updbed::Expect& e : updbed::ExpectOf(expect, "absent"))
    EXPECT_FALSE(updbed::Exists(root + e.path)) << "nothing is put in place after a stop";
  for (const updbed::Expect& e : updbed::ExpectOf(expect, "noreq"))
    EXPECT_EQ(0u, updbed::CountRequests(updbed::U(e.path)));
}

TEST_F(Bed, UpdateObjectReportsTheWorkersResult) {
  std::wstring root = updbed::Scratch("object-run") + L"prog\\";
  CreateDirectoryW(root.c_str(), nullptr);
  updbed::SeedLocal("basic", root);
  updbed::UseScenario("basic");
  CQUpdate update;
  update.SetRoot(root);
  update.SetProductId(90009);
  RecordingCallback cb;
  EXPECT_EQ(S_OK, update.RunUpdate(&cb));
  EXPECT_EQ(1, cb.finished);
  EXPECT_TRUE(std::is_sorted(cb.percents.begin(), cb.percents.end()));
  for (int p : cb.percents) EXPECT_TRUE(p >= 0 && p <= 100) << p;
  // Nothing was left pending, so the hand-over does nothing.
  EXPECT_EQ(S_OK, update.StartReupdate(nullptr, 0));
  EXPECT_EQ(E_INVALIDARG, update.StartReupdate(L"ab", 3));
  EXPECT_FALSE(updbed::Exists(root + tarn::kPendingFileName));
  EXPECT_EQ(S_OK, update.RunUpdate(nullptr)) << "no callback: runs and returns";
}

TEST_F(Bed, ProductsOtherThanOursUseTheEmptyChannel) {
  EXPECT_EQ(L"", tarn::UpdateChannelName(12001));
  EXPECT_EQ(kChannel, tarn::UpdateChannelName(90009));
  updbed::UseScenario("x");
  EXPECT_EQ(updbed::ScenarioUrl("x") + "/tessel/2011/qvalue//", tarn::UpdateBaseUrl(L""));
  EXPECT_EQ(updbed::ScenarioUrl("x") + "/tessel/2011/qvalue/tarn_datarepair2/",
            tarn::UpdateBaseUrl(kChannel));
}

// ---- the download sink -----------------------------------------------------------

namespace {

class Sink : public Bed {
 protected:
  void SetUp() override {
    Bed::SetUp();
    dir_ = updbed::Scratch("sink");
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  void TearDown() override { CloseHandle(stop_); }
  std::wstring dir_;
  HANDLE stop_ = nullptr;
};

DWORD WINAPI SetAfter(void* event) {
  Sleep(500);
  SetEvent(static_cast<HANDLE>(event));
  return 0;
}

// The file the server holds for an entry of the basic tree.
std::wstring ServedFile(std::string* url) {
  std::wstring base = updbed::TreeFolder() + L"server\\basic\\tessel\\2011\\qvalue\\tarn_datarepair2\\data\\";
  std::vector<std::wstring> files = updbed::ListFiles(base);
  std::wstring biggest;
  std::string data, best;
  for (const std::wstring& f : files) {
    updbed::ReadBytes(base + f, &data);
    if (data.size() > best.size()) {
      best = data;
      biggest = f;
    }
  }
  *url = updbed::ScenarioUrl("basic") + "/tessel/2011/qvalue/tarn_datarepair2/data/" + updbed::U(biggest);
  return base + biggest;
}

}  // namespace

TEST_F(Sink, WritesHashesAndReportsProgress) {
  std::string url;
  std::wstring served = ServedFile(&url);
  tarn::UpdateProgress progress;
  progress.SetStep(0.5, 0.25);
  CTarnWebFile sink(dir_ + L"a\\b\\got.bin", &progress, stop_);
  sink.SetHashing(true);
  EXPECT_EQ(0, tarn::HttpDownloadToSink(url.c_str(), &sink, 0));
  EXPECT_EQ(updbed::Md5(served), updbed::Md5(dir_ + L"a\\b\\got.bin"));
  EXPECT_EQ(updbed::Md5(served), sink.Md5Hex());
  EXPECT_DOUBLE_EQ(0.75, progress.Overall());
}

TEST_F(Sink, FailuresOfTheTransfer) {
  CTarnWebFile notFound(dir_ + L"404.bin", nullptr, stop_);
  EXPECT_EQ(404, tarn::HttpDownloadToSink((bed::HttpsBase() + "/missing/x").c_str(), &notFound, 0))
      << "a body does not make a 404 a success";
  EXPECT_FALSE(updbed::Exists(dir_ + L"404.bin")) << "an error page is not written";
  CTarnWebFile dead(dir_ + L"dead.bin", nullptr, stop_);
  EXPECT_EQ(7, tarn::HttpDownloadToSink(("https://" + bed::Env("QX_DEAD") + "/x").c_str(), &dead, 0));

  std::string url;
  ServedFile(&url);
  CTarnWebFile small(dir_ + L"small.bin", nullptr, stop_, 1000);
  EXPECT_EQ(23, tarn::HttpDownloadToSink(url.c_str(), &small, 0)) << "more than the sink takes";

  // A folder in the way of the file: the sink cannot be opened.
  ASSERT_TRUE(updbed::WriteBytes(dir_ + L"plainfile", "x"));
  CTarnWebFile blocked(dir_ + L"plainfile\\x.bin", nullptr, stop_);
  EXPECT_EQ(tarn::kSinkOpenFailed, tarn::HttpDownloadToSink(url.c_str(), &blocked, 0));
}

TEST_F(Sink, StopEventEndsAStalledTransfer) {
  HANDLE setter = CreateThread(nullptr, 0, &SetAfter, stop_, 0, nullptr);
  CTarnWebFile sink(dir_ + L"stopped.bin", nullptr, stop_);
  EXPECT_EQ(42, tarn::HttpDownloadToSink((bed::HttpsBase() + "/hang/stop").c_str(), &sink, 0));
  WaitForSingleObject(setter, INFINITE);
  CloseHandle(setter);
}

namespace {

struct Slow {
  std::string url;
  CTarnWebFile* sink;
  long limit;
  int result = -1;
};

DWORD WINAPI DownloadSlow(void* param) {
  Slow* s = static_cast<Slow*>(param);
  s->result = tarn::HttpDownloadToSink(s->url.c_str(), s->sink, s->limit);
  return 0;
}

}  // namespace

TEST_F(Sink, StalledOrTricklingServersEndTheTransferWithoutAStopRequest) {
  // One server never answers, one sends 64 bytes a second: the low-speed
  // limit ends both (after tarn::kLowSpeedSeconds), side by side.
  CTarnWebFile stalled(dir_ + L"stalled.bin", nullptr, stop_), trickled(dir_ + L"trickle.bin", nullptr, stop_);
  Slow a{bed::HttpsBase() + "/hang/stall", &stalled, 0}, b{bed::HttpsBase() + "/trickle/x", &trickled, 0};
  HANDLE threads[2] = {CreateThread(nullptr, 0, &DownloadSlow, &a, 0, nullptr),
                       CreateThread(nullptr, 0, &DownloadSlow, &b, 0, nullptr)};
  WaitForMultipleObjects(2, threads, TRUE, INFINITE);
  for (HANDLE t : threads) CloseHandle(t);
  EXPECT_EQ(28, a.result);
  EXPECT_EQ(28, b.result);
  // The overall limit ends a transfer that keeps above the low-speed limit.
  CTarnWebFile limited(dir_ + L"limited.bin", nullptr, stop_);
  EXPECT_EQ(28, tarn::HttpDownloadToSink((bed::HttpsBase() + "/trickle/y").c_str(), &limited, 2));
  EXPECT_EQ(60 + 256, tarn::TransferTimeLimit(1u << 20));
}
