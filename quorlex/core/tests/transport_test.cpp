// The HTTP transport and the statistics sender against the test bed: a
// loopback HTTP server that records the raw requests, tinyproxy requiring
// Basic authentication, and dante as a SOCKS5 proxy.
#include <curl/curl.h>
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "bedfile.h"
#include "factory.h"
#include "hashing.h"
#include "http.h"
#include "infoc.h"
#include "machineid.h"
#include "modinfo.h"
#include "pushinfo.h"
#include "regstore.h"
#include "servers.h"
#include "testsupport.h"
#include "textconv.h"

using namespace tarn;

namespace {

std::map<std::string, std::string> Fields(const std::string& text) {
  std::map<std::string, std::string> out;
  for (const auto& p : bed::SplitPairs(text)) out[p.first] = p.second;
  return out;
}

ITarnInfoc* NewSender() {
  void* object = nullptr;
  EXPECT_EQ(S_OK, CreateInnerObject(IID_ITarnInfoc, &object));
  return static_cast<ITarnInfoc*>(object);
}

void SetEndpoints(const std::string& action, const std::string& node) {
  bed::SetServer(bed::ThisProgram(), L"StatAction", action);
  bed::SetServer(bed::ThisProgram(), L"StatNode", node);
}

}  // namespace

class Transport : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bed::Has("QX_HTTP")) << "run through ctest (testbed.py)";
    SetProductId(91000);  // no proxy settings under this id
    SHDeleteKeyW(HKEY_CURRENT_USER, StoreKeyPath(L"91000").c_str());
    bed::Mark();
  }
};

TEST_F(Transport, GetSendsTheFixedHeadersAndReturnsTheBody) {
  std::string response;
  ASSERT_EQ(0, HttpGet((bed::HttpBase() + "/ok/get").c_str(), "a=1&b=+/=", &response));
  auto got = bed::RequestsTo("/ok/get");
  ASSERT_EQ(1u, got.size());
  const bed::Request& r = got[0];
  EXPECT_EQ("ok " + std::to_string(r.seq), response);
  EXPECT_EQ("GET", r.method);
  EXPECT_EQ("/ok/get?a=1&b=+/=", r.target) << "nothing escaped";
  EXPECT_EQ("application/octet-stream", r.Header("content-type"));
  EXPECT_EQ("Mozilla/4.0", r.Header("user-agent"));
  EXPECT_EQ("*/*", r.Header("accept"));
  EXPECT_EQ("", r.Header("via"));

  ASSERT_EQ(0, HttpGet((bed::HttpBase() + "/ok/plain").c_str(), nullptr, &response));
  EXPECT_EQ("/ok/plain", bed::RequestsTo("/ok/plain").at(0).target);
}

TEST_F(Transport, FormPostSendsItsBody) {
  std::string response;
  const char body[] = "x=1&y=2&z=+/";
  ASSERT_EQ(0, HttpFormPost((bed::HttpBase() + "/ok/post").c_str(), body, sizeof body - 1, &response));
  auto got = bed::RequestsTo("/ok/post");
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ("POST", got[0].method);
  EXPECT_EQ(body, got[0].body);
  EXPECT_EQ("application/x-www-form-urlencoded", got[0].Header("content-type"));
  EXPECT_EQ("ok " + std::to_string(got[0].seq), response);
}

TEST_F(Transport, NotFoundGivesTheStatusAndNoText) {
  std::string response = "untouched";
  EXPECT_EQ(404, HttpGet((bed::HttpBase() + "/missing/page").c_str(), "q=1", &response));
  EXPECT_EQ("untouched", response) << "the 404 page's body is not handed out";
  EXPECT_EQ(1u, bed::RequestsTo("/missing/page").size());
}

TEST_F(Transport, OfAHugeAnswerOnlyTheHeadIsKept) {
  std::string response;
  EXPECT_EQ(0, HttpGet((bed::HttpBase() + "/huge/answer").c_str(), nullptr, &response));
  EXPECT_EQ(kMaxKeptAnswerBytes, response.size());
  EXPECT_EQ(std::string(kMaxKeptAnswerBytes, 'h'), response);
}

TEST_F(Transport, DeadPrimaryFallsBackToTheRelay) {
  std::string response;
  UrlList urls = SplitUrlList((bed::DeadBase() + "/ok/relay;" + bed::HttpBase() + "/ok/relay").c_str());
  ASSERT_EQ(2u, urls.size());
  EXPECT_EQ(0, HttpSendToList(urls, "n=1", 0, &response));
  auto got = bed::RequestsTo("/ok/relay");
  ASSERT_EQ(1u, got.size());
  EXPECT_EQ("/ok/relay?n=1", got[0].target);
  EXPECT_EQ("ok " + std::to_string(got[0].seq), response);

  // A good primary ends the list: the relay sees nothing.
  urls = SplitUrlList((bed::HttpBase() + "/ok/first;" + bed::HttpBase() + "/ok/second").c_str());
  EXPECT_EQ(0, HttpSendToList(urls, "n=2", 1, &response));
  EXPECT_EQ(1u, bed::RequestsTo("/ok/first").size());
  EXPECT_EQ("n=2", bed::RequestsTo("/ok/first").at(0).body);
  EXPECT_EQ(0u, bed::RequestsTo("/ok/second").size());

  urls = SplitUrlList((bed::DeadBase() + "/a;" + bed::DeadBase() + "/b").c_str());
  EXPECT_EQ(CURLE_COULDNT_CONNECT, HttpSendToList(urls, "n=3", 0, &response));
}

TEST_F(Transport, ATimeoutEndsTheRequest) {
  // The server takes the request and never answers: the 15-second limit ends it.
  std::string response = "untouched";
  EXPECT_EQ(CURLE_OPERATION_TIMEDOUT, HttpGet((bed::HttpBase() + "/hang/one").c_str(), "t=1", &response));
  EXPECT_EQ("untouched", response);
  EXPECT_EQ(1u, bed::RequestsTo("/hang/one").size());
}

// ---- statistics sender -------------------------------------------------------------------

class Sender : public Transport {
 protected:
  void SetUp() override {
    Transport::SetUp();
    SetEndpoints(bed::HttpBase() + "/pagetracer2/tessel/__utm.gif", bed::HttpBase() + "/__infoc.gif");
    SHDeleteKeyW(HKEY_CURRENT_USER, StoreKeyPath(L"91005").c_str());
  }
  void TearDown() override { SHDeleteKeyW(HKEY_CURRENT_USER, StoreKeyPath(L"91005").c_str()); }
};

TEST_F(Sender, ActionRecordDecodesFieldByField) {
  ASSERT_TRUE(StoreWriteString(L"91005", L"tunnel", false, L"3_7"));
  ASSERT_TRUE(StoreWriteString(L"91005", L"tunnel2", false, L"11__4"));
  ITarnInfoc* sender = NewSender();
  ASSERT_NE(nullptr, sender);
  EXPECT_EQ(S_OK, sender->Init(91005, 2));
  EXPECT_EQ(91005, ProductId()) << "Init sets the process-wide values";
  EXPECT_EQ(2, SubVersion());

  // 数据 in the text: it travels in the ANSI code page.
  const wchar_t text[] = L"actionname=t&q=?\?\?>>>&n=\u6570\u636e";
  int result = -1;
  EXPECT_EQ(S_OK, sender->SendAction(text, 0, &result));
  EXPECT_EQ(0, result);

  auto got = bed::RequestsTo("/pagetracer2/tessel/__utm.gif");
  ASSERT_EQ(1u, got.size());
  const bed::Request& r = got[0];
  EXPECT_EQ("GET", r.method);
  EXPECT_EQ(0u, r.query.find("01___"));
  ASSERT_TRUE(r.Has("sec1") && r.Has("sec2") && r.Has("sec3")) << "three strict Base64 parts";
  EXPECT_EQ("versiontype=91005&tryno=2&tid1=3&tunnel=3_7&tid2=7&type=5&tod1=11&tod2=4",
            r.decoded.at("sec1"));
  EXPECT_EQ("uuidex=" + GetMachineIdA(), r.decoded.at("sec2"));
  EXPECT_EQ(32u + 7, r.decoded.at("sec2").size());
  EXPECT_EQ(WideToAnsi(text), r.decoded.at("sec3"));
  EXPECT_EQ(std::string("actionname=t&q=?\?\?>>>&n=\xca\xfd\xbe\xdd"), r.decoded.at("sec3"));
  // '+', '/' and '=' of the record travel as they are.
  std::string third = r.query.substr(r.query.rfind("___") + 3);
  EXPECT_NE(std::string::npos, third.find('+'));
  EXPECT_NE(std::string::npos, third.find('/'));
  EXPECT_NE(std::string::npos, third.find('='));
  EXPECT_EQ(std::string::npos, r.query.find('%'));
  sender->Release();
}

TEST_F(Sender, TypeFollowsTheProduct) {
  ITarnInfoc* sender = NewSender();
  sender->Init(12001, 0);
  ASSERT_EQ(S_OK, sender->SendAction(L"actionname=x&y=1", 0, nullptr));
  sender->Init(90009, 0);
  ASSERT_EQ(S_OK, sender->SendAction(L"actionname=x&y=2", 0, nullptr));
  auto got = bed::RequestsTo("/pagetracer2/tessel/__utm.gif");
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ("8", Fields(got[0].decoded.at("sec1"))["type"]);
  EXPECT_EQ("12001", Fields(got[0].decoded.at("sec1"))["versiontype"]);
  EXPECT_EQ("5", Fields(got[1].decoded.at("sec1"))["type"]);
  EXPECT_EQ("", Fields(got[1].decoded.at("sec1"))["tunnel"]);
  sender->Release();
}

TEST_F(Sender, ModesAndBadArguments) {
  ITarnInfoc* sender = NewSender();
  sender->Init(91005, 0);
  EXPECT_EQ(E_INVALIDARG, sender->SendAction(nullptr, 0, nullptr));
  EXPECT_EQ(E_INVALIDARG, sender->SendAction(L"", 0, nullptr));
  EXPECT_EQ(E_INVALIDARG, sender->SendNode(nullptr, nullptr));
  EXPECT_EQ(0u, bed::RequestsTo("/pagetracer2/").size());

  EXPECT_EQ(S_OK, sender->SendAction(L"actionname=post&m=1", 1, nullptr));
  EXPECT_EQ(S_OK, sender->SendAction(L"actionname=odd&m=7", 7, nullptr));  // counts as 0
  auto got = bed::RequestsTo("/pagetracer2/tessel/__utm.gif");
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ("POST", got[0].method);
  EXPECT_EQ("/pagetracer2/tessel/__utm.gif", got[0].target);
  EXPECT_EQ("actionname=post&m=1", got[0].decoded.at("sec3"));
  EXPECT_EQ("GET", got[1].method);
  EXPECT_EQ("actionname=odd&m=7", got[1].decoded.at("sec3"));

  EXPECT_EQ(S_OK, sender->CheckVersion(1));
  EXPECT_EQ(E_NOINTERFACE, sender->CheckVersion(2));
  EXPECT_EQ(S_OK, sender->Nop());
  void* out = nullptr;
  EXPECT_EQ(S_OK, sender->QueryInterface(IID_IUnknown, &out));
  EXPECT_EQ(static_cast<IUnknown*>(sender), out);
  EXPECT_EQ(1u, sender->Release());
  EXPECT_EQ(E_NOINTERFACE, sender->QueryInterface(IID_IClassFactory, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_INVALIDARG, sender->QueryInterface(IID_IUnknown, nullptr));
  EXPECT_EQ(0u, sender->Release());

  EXPECT_EQ(E_INVALIDARG, CreateInnerObject(IID_ITarnInfoc, nullptr));
  out = &out;
  EXPECT_EQ(E_NOINTERFACE, CreateInnerObject(IID_IUnknown, &out));
  EXPECT_EQ(nullptr, out);
}

TEST_F(Sender, NodeRecordDecodes) {
  ITarnInfoc* sender = NewSender();
  sender->Init(91005, 0);
  int result = -1;
  EXPECT_EQ(S_OK, sender->SendNode(L"node=151002&snode=102", &result));
  EXPECT_EQ(0, result);
  auto got = bed::RequestsTo("/__infoc.gif");
  ASSERT_EQ(1u, got.size());
  ASSERT_TRUE(got[0].Has("node"));
  auto pairs = bed::SplitPairs(got[0].decoded.at("node"));
  ASSERT_EQ(5u, pairs.size()) << got[0].decoded.at("node");
  EXPECT_EQ("type", pairs[0].first);
  EXPECT_EQ("40", pairs[0].second);
  EXPECT_EQ("account", pairs[1].first);
  EXPECT_EQ("", pairs[1].second);
  EXPECT_EQ("node", pairs[2].first);
  EXPECT_EQ("151002", pairs[2].second);
  EXPECT_EQ("snode", pairs[3].first);
  EXPECT_EQ("102", pairs[3].second);
  EXPECT_EQ("random", pairs[4].first);
  char* end = nullptr;
  strtol(pairs[4].second.c_str(), &end, 10);
  EXPECT_TRUE(!pairs[4].second.empty() && *end == '\0') << pairs[4].second;
  sender->Release();
}

TEST_F(Sender, FailuresReportTheCodeAndRelaysAreUsed) {
  // Endpoints are fixed when a sender is made.
  SetEndpoints(bed::HttpBase() + "/missing/__utm.gif", ";");
  ITarnInfoc* failing = NewSender();
  failing->Init(91005, 0);
  int result = -1;
  EXPECT_EQ(E_FAIL, failing->SendAction(L"actionname=a&b=1", 0, &result));
  EXPECT_EQ(404, result);
  EXPECT_EQ(E_FAIL, failing->SendNode(L"node=1&snode=2", &result));
  EXPECT_EQ(89, result) << "no node address";
  failing->Release();

  SetEndpoints(bed::DeadBase() + "/pagetracer2/tessel/__utm.gif;" + bed::HttpBase() +
                   "/pagetracer2/tessel/__utm.gif",
               bed::DeadBase() + "/__infoc.gif;" + bed::HttpBase() + "/__infoc.gif");
  ITarnInfoc* relayed = NewSender();
  relayed->Init(91005, 0);
  EXPECT_EQ(S_OK, relayed->SendAction(L"actionname=relay&b=1", 0, &result));
  EXPECT_EQ(0, result);
  EXPECT_EQ(S_OK, relayed->SendNode(L"node=5&snode=6", &result));
  EXPECT_EQ(1u, bed::RequestsTo("/pagetracer2/tessel/__utm.gif").size());
  EXPECT_EQ(1u, bed::RequestsTo("/__infoc.gif").size());
  relayed->Release();
}

// ---- proxies -----------------------------------------------------------------------------

class Proxies : public Transport {
 protected:
  static constexpr int kProduct = 91001;
  void SetUp() override {
    Transport::SetUp();
    ASSERT_TRUE(bed::Has("QX_HTTPPROXY") && bed::Has("QX_SOCKS")) << "testbed.py --proxies";
    SetProductId(kProduct);
    SHDeleteKeyW(HKEY_CURRENT_USER, Key().c_str());
    ASSERT_EQ(ERROR_SUCCESS, key_.Create(HKEY_CURRENT_USER, Key().c_str(), KEY_ALL_ACCESS));
  }
  void TearDown() override {
    key_.Close();
    SHDeleteKeyW(HKEY_CURRENT_USER, Key().c_str());
  }
  static std::wstring Key() { return StoreKeyPath(ProductSubKey(kProduct).c_str()); }
  void Use(DWORD mode, const char* port, bool auth, const std::string& password) {
    key_.SetDword(L"Proxy Mode", mode);
    key_.SetString(L"Proxy Host", L"127.0.0.1");
    key_.SetDword(L"Proxy Port", (DWORD)atoi(port));
    key_.SetDword(L"Proxy Authorization", auth ? 1 : 0);
    key_.SetString(L"Proxy User", AnsiToWide(bed::Env("QX_PROXY_USER")));
    key_.SetString(L"Proxy Password", AnsiToWide(password));
  }
  std::string Password() { return bed::Env("QX_PROXY_PASS"); }
  // GETs path and returns what the server saw of it (one request expected).
  bed::Request Fetch(const std::string& path, int* rc) {
    std::string response;
    *rc = HttpGet((bed::HttpBase() + path).c_str(), "p=1", &response);
    auto got = bed::RequestsTo(path);
    EXPECT_LE(got.size(), 1u);
    return got.empty() ? bed::Request() : got[0];
  }
  bool SocksLogged() {
    std::string log;
    testsupport::ReadWholeFile(bed::Env("QX_SOCKS_LOG"), &log);
    return log.find("127.0.0.1." + std::to_string(bed::HttpPort())) != std::string::npos;
  }
  QRegKey key_;
};

TEST_F(Proxies, HttpProxyWithBasicAuthentication) {
  Use(2, bed::Env("QX_HTTPPROXY").c_str(), true, Password());
  int rc = -1;
  bed::Request r = Fetch("/ok/proxied", &rc);
  EXPECT_EQ(0, rc);
  EXPECT_NE(std::string::npos, r.Header("via").find("tinyproxy")) << "went through the proxy";
  EXPECT_EQ("/ok/proxied?p=1", r.target);

  // The proxy turns away wrong or missing credentials; the server sees nothing.
  // (tinyproxy answers wrong credentials with 401, missing ones with 407.)
  Use(2, bed::Env("QX_HTTPPROXY").c_str(), true, "wrong");
  EXPECT_EQ(0, Fetch("/ok/badpass", &rc).seq);
  EXPECT_TRUE(rc == 401 || rc == 407) << rc;
  Use(2, bed::Env("QX_HTTPPROXY").c_str(), false, Password());
  EXPECT_EQ(0, Fetch("/ok/noauth", &rc).seq);
  EXPECT_EQ(407, rc);

  // Mode 4: the library's default proxy type, which is HTTP.
  Use(4, bed::Env("QX_HTTPPROXY").c_str(), true, Password());
  r = Fetch("/ok/defaulttype", &rc);
  EXPECT_EQ(0, rc);
  EXPECT_NE(std::string::npos, r.Header("via").find("tinyproxy"));
}

TEST_F(Proxies, Socks5Proxy) {
  EXPECT_FALSE(SocksLogged());
  Use(3, bed::Env("QX_SOCKS").c_str(), false, "");
  int rc = -1;
  bed::Request r = Fetch("/ok/socks", &rc);
  EXPECT_EQ(0, rc);
  EXPECT_EQ("/ok/socks?p=1", r.target);
  EXPECT_EQ("", r.Header("via"));
  bool logged = false;
  for (int i = 0; i < 50 && !(logged = SocksLogged()); ++i) Sleep(100);
  EXPECT_TRUE(logged) << "dante relayed the connection";
}

TEST_F(Proxies, NoProxyModesGoDirect) {
  Use(5, bed::Env("QX_HTTPPROXY").c_str(), true, Password());
  int rc = -1;
  bed::Request r = Fetch("/ok/mode5", &rc);
  EXPECT_EQ(0, rc);
  EXPECT_EQ("", r.Header("via"));

  Use(2, bed::Env("QX_DEAD").substr(bed::Env("QX_DEAD").find(':') + 1).c_str(), false, "");
  Fetch("/ok/deadproxy", &rc);
  EXPECT_NE(0, rc);
  EXPECT_EQ(0u, bed::RequestsTo("/ok/deadproxy").size());
}

TEST_F(Proxies, ProxiesOfTheEnvironmentAreNeverUsed) {
  std::string dead = "http://" + bed::Env("QX_DEAD");
  for (const char* v : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY"}) SetEnvironmentVariableA(v, dead.c_str());
  Use(0, bed::Env("QX_HTTPPROXY").c_str(), false, "");
  int rc = -1;
  bed::Request r = Fetch("/ok/envproxy", &rc);
  EXPECT_EQ(0, rc);
  EXPECT_EQ("/ok/envproxy?p=1", r.target);
  // A configured proxy is used for every host, whatever no_proxy says.
  SetEnvironmentVariableA("NO_PROXY", "*");
  Use(2, bed::Env("QX_HTTPPROXY").c_str(), true, Password());
  r = Fetch("/ok/noproxy", &rc);
  EXPECT_EQ(0, rc);
  EXPECT_NE("", r.Header("via")) << "through tinyproxy";
  for (const char* v : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY"}) SetEnvironmentVariableA(v, nullptr);
}

// Only an administrator's value moves a server: not the variables that once
// did, not a value of the same name under HKCU.
TEST(Servers, OnlyAnAdministratorsValueMovesThem) {
  std::wstring self = bed::ThisProgram();
  bed::SetServer(self, L"StatAction", "");
  bed::SetServer(self, L"StatNode", "");
  bed::SetServer(self, L"Push", "");
  std::string action = ActionEndpointText(), node = NodeEndpointText(), push = PushEndpointText();
  EXPECT_EQ(0u, action.find("http://")) << action;
  for (const char* v : {"TARN_STAT_ACTION_URL", "TARN_STAT_NODE_URL", "TARN_PUSH_URL"})
    SetEnvironmentVariableA(v, "http://127.0.0.1:1/env");
  QRegKey user;
  ASSERT_EQ(ERROR_SUCCESS, user.Create(HKEY_CURRENT_USER, ServersKeyOf(self).c_str(), KEY_ALL_ACCESS));
  user.SetString(L"StatAction", L"http://127.0.0.1:1/user");
  EXPECT_EQ(action, ActionEndpointText());
  EXPECT_EQ(node, NodeEndpointText());
  EXPECT_EQ(push, PushEndpointText());
  bed::SetServer(self, L"StatAction", "http://127.0.0.1:2/admin");
  EXPECT_EQ("http://127.0.0.1:2/admin", ActionEndpointText());
  // Another installation's value is not this one's.
  bed::SetServer(self + L".other", L"StatNode", "http://127.0.0.1:2/other");
  EXPECT_EQ(node, NodeEndpointText());
  user.Close();
  SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Quillon\\Tarn\\Servers");
  for (const char* v : {"TARN_STAT_ACTION_URL", "TARN_STAT_NODE_URL", "TARN_PUSH_URL"})
    SetEnvironmentVariableA(v, nullptr);
}

TEST_F(Proxies, SystemSettingsWithTheModulesCredentials) {
  const wchar_t inet[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  QRegKey sys;
  ASSERT_EQ(ERROR_SUCCESS, sys.Create(HKEY_CURRENT_USER, inet, KEY_ALL_ACCESS));
  DWORD oldEnable = 0;
  std::wstring oldServer;
  bool hadEnable = sys.QueryDword(L"ProxyEnable", &oldEnable) == ERROR_SUCCESS;
  bool hadServer = sys.QueryString(L"ProxyServer", &oldServer) == ERROR_SUCCESS;

  Use(1, "1", true, Password());  // port and host of the module's key are not used
  std::wstring proxy = AnsiToWide(bed::Env("QX_HTTPPROXY"));
  sys.SetDword(L"ProxyEnable", 1);
  sys.SetString(L"ProxyServer", L"ftp=127.0.0.1:1;http=127.0.0.1:" + proxy + L";https=127.0.0.1:1");
  int rc = -1;
  bed::Request r = Fetch("/ok/system", &rc);
  EXPECT_EQ(0, rc);
  EXPECT_NE(std::string::npos, r.Header("via").find("tinyproxy"));

  sys.SetString(L"ProxyServer", L"socks=127.0.0.1:" + AnsiToWide(bed::Env("QX_SOCKS")));
  r = Fetch("/ok/systemsocks", &rc);
  EXPECT_EQ(0, rc);
  EXPECT_EQ("", r.Header("via"));

  sys.SetDword(L"ProxyEnable", 0);
  r = Fetch("/ok/systemoff", &rc);
  EXPECT_EQ(0, rc);
  EXPECT_EQ("", r.Header("via"));

  if (hadEnable) sys.SetDword(L"ProxyEnable", oldEnable); else sys.DeleteValue(L"ProxyEnable");
  if (hadServer) sys.SetString(L"ProxyServer", oldServer); else sys.DeleteValue(L"ProxyServer");
}
