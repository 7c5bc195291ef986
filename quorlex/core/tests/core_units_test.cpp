// The service library's local pieces: digests and encodings cross-checked
// against Python (zlib, hashlib, base64) on random inputs, the command-line
// map, request parameters, the registry store, the log and the machine
// identity in their real stores.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>

#include "bedfile.h"
#include "cmdline.h"
#include "hashing.h"
#include "http.h"
#include "infoc.h"
#include "machineid.h"
#include "modinfo.h"
#include "params.h"
#include "plainfile.h"
#include "regstore.h"
#include "svclog.h"
#include "tarn3th.h"
#include "testsupport.h"
#include "textconv.h"

using namespace tarn;

namespace {

std::wstring W(const std::string& s) { return AnsiToWide(s); }

// "name=value;name=value" -> pairs (the vectors' flat form).
std::vector<std::pair<std::string, std::string>> FlatPairs(const std::string& flat) {
  std::vector<std::pair<std::string, std::string>> out;
  if (flat.empty()) return out;
  size_t start = 0;
  for (;;) {
    size_t semi = flat.find(';', start);
    std::string item = flat.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
    size_t eq = item.find('=');
    out.emplace_back(item.substr(0, eq), item.substr(eq + 1));
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  return out;
}

}  // namespace

// ---- digests and encodings ---------------------------------------------------

TEST(Hashing, PublishedValues) {
  EXPECT_EQ("352441C2", CrcText("abc"));
  EXPECT_EQ("00000000", CrcText(""));
  EXPECT_EQ(0u, Crc32(nullptr, 5));
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Hex("", 0));
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Hex(std::string("abc")));
  EXPECT_EQ("YQ==", Base64Encode(std::string("a")));
  EXPECT_EQ("YWI=", Base64Encode(std::string("ab")));
  EXPECT_EQ("", Base64Encode(std::string()));
}

TEST(Hashing, MatchesPythonOnRandomInputs) {
  auto vectors = bed::ReadVectors();
  ASSERT_FALSE(vectors.empty()) << "no vectors from the test bed";
  std::mt19937 rng(12345);
  int checked = 0;
  for (const auto& v : vectors) {
    if (v[0] != "hash") continue;
    ASSERT_EQ(5u, v.size());
    std::string data = bed::FromHex(v[1]);
    SCOPED_TRACE("input of " + std::to_string(data.size()) + " bytes");
    EXPECT_EQ(v[2], CrcText(data));
    EXPECT_EQ(v[3], Md5Hex(data));
    EXPECT_EQ(v[4], Base64Encode(data));
    EXPECT_EQ(4 * ((data.size() + 2) / 3), Base64Encode(data).size());

    // Streamed in random slices, as the updater hashes downloads.
    Md5Context ctx;
    Md5Init(&ctx);
    size_t at = 0;
    while (at < data.size()) {
      size_t n = std::min<size_t>(data.size() - at, rng() % 150);
      Md5Update(&ctx, data.data() + at, n);
      at += n;
    }
    unsigned char digest[16];
    Md5Final(&ctx, digest);
    EXPECT_EQ(v[3], HexText(digest, 16));
    EXPECT_EQ(0u, ctx.state[0] | ctx.state[1] | ctx.state[2] | ctx.state[3]) << "context wiped";
    ++checked;
  }
  EXPECT_GE(checked, 70);
}

TEST(Signing, KeyedAndOrderedListsMatchPython) {
  int checked = 0;
  for (const auto& v : bed::ReadVectors()) {
    if (v[0] != "params") continue;
    ASSERT_EQ(5u, v.size());
    auto pairs = FlatPairs(bed::FromHex(v[1]));
    std::string salt = bed::FromHex(v[2]);
    TarnParams keyed(TarnParams::Keyed), ordered(TarnParams::Ordered);
    for (const auto& p : pairs) {
      keyed.SetString(p.first, p.second);
      ordered.SetString(p.first, p.second);
    }
    EXPECT_EQ(bed::FromHex(v[3]), SignParams(keyed, salt.c_str())) << bed::FromHex(v[1]);
    EXPECT_EQ(bed::FromHex(v[4]), SignParams(ordered, salt.c_str())) << bed::FromHex(v[1]);
    ++checked;
  }
  EXPECT_EQ(40, checked);
}

TEST(Signing, EmptyListSignsTheSaltAlone) {
  TarnParams empty(TarnParams::Ordered);
  const char salt[] = "PalindrelMoskoWarpLedgerqafTiyuRmB";
  EXPECT_EQ("&c=" + CrcText(std::string("&c=") + salt), SignParams(empty, salt));
}

// ---- request parameters --------------------------------------------------------

TEST(Params, KeyedListWritesInBucketOrder) {
  TarnParams keyed(TarnParams::Keyed), ordered(TarnParams::Ordered);
  for (TarnParams* p : {&keyed, &ordered}) {
    p->SetInt("tid1", 1);
    p->SetInt("tid2", 2);
  }
  EXPECT_EQ("tid1=1&tid2=2", ordered.Serialize());
  EXPECT_EQ("tid1=1&tid2=2", keyed.Serialize());  // buckets 6 and 7
  keyed.SetString("tunnel", "x");                  // bucket 7, in front of tid2
  EXPECT_EQ("tid1=1&tunnel=x&tid2=2", keyed.Serialize());
  keyed.SetInt("tid1", -5);  // replaced in place
  EXPECT_EQ("tid1=-5&tunnel=x&tid2=2", keyed.Serialize());
  EXPECT_EQ(-5, keyed.GetInt("tid1"));
  EXPECT_EQ(0, keyed.GetInt("missing"));
  EXPECT_EQ("", keyed.GetString("missing"));

  ordered.SetInt("tid1", 3);  // an ordered list keeps both
  EXPECT_EQ("tid1=1&tid2=2&tid1=3", ordered.Serialize());
  EXPECT_EQ(1, ordered.GetInt("tid1"));
  ordered.Clear();
  EXPECT_EQ("", ordered.Serialize());
}

TEST(Params, LargeKeyedListKeepsEveryEntry) {
  TarnParams keyed(TarnParams::Keyed);
  for (int i = 0; i < 500; ++i) keyed.SetInt("k" + std::to_string(i), i);
  EXPECT_EQ(500u, keyed.Count());
  for (int i = 0; i < 500; ++i) EXPECT_EQ(i, keyed.GetInt("k" + std::to_string(i)));
  EXPECT_EQ(500u, bed::SplitPairs(keyed.Serialize()).size());
}

TEST(Params, VersionTexts) {
  EXPECT_EQ(0x07DB000300160001ull, ParseVersionText(L"2011.3.22.1"));
  EXPECT_EQ(0x0001000200000000ull, ParseVersionText(L"1.2"));
  EXPECT_EQ(0ull, ParseVersionText(L""));
  EXPECT_EQ(L"7.1", ProductVersionText((7u << 16) | 1));
}

// ---- command-line map -----------------------------------------------------------

TEST(CommandLine, QuotedProgramPathAndInitOption) {
  CCommandLine cmd;
  ASSERT_TRUE(cmd.Parse(L"\"C:\\Program Files\\my-app\\salvora.exe\" -tarninit:\"5&7\""));
  EXPECT_EQ(1u, cmd.Count());
  EXPECT_EQ(L"5&7", cmd.GetInitOption());
}

TEST(CommandLine, EdgeCases) {
  {
    CCommandLine cmd;  // a space ends even a quoted value; the stray quote opens a skip
    cmd.Parse(L"-a:\"x y\" -b -c\" -d");
    EXPECT_EQ(L"x", cmd.Get(L"a"));
    EXPECT_FALSE(cmd.Has(L"b"));
    EXPECT_FALSE(cmd.Has(L"c"));
    EXPECT_TRUE(cmd.Has(L"d"));
  }
  {
    CCommandLine cmd;  // the character after an opening quote is always value
    cmd.Parse(L"-a:\"\" -b");
    EXPECT_EQ(L"\"", cmd.Get(L"a"));
    EXPECT_TRUE(cmd.Has(L"b"));
    EXPECT_EQ(L"", cmd.Get(L"b"));
  }
  {
    CCommandLine cmd;
    cmd.Parse(L"-A:1 -a:2");
    EXPECT_EQ(1u, cmd.Count());
    EXPECT_EQ(L"2", cmd.Get(L"A"));
  }
  {
    CCommandLine cmd;
    cmd.Parse(L"abc-def C:/dir");
    EXPECT_TRUE(cmd.Has(L"def"));
    EXPECT_TRUE(cmd.Has(L"dir"));
  }
  {
    CCommandLine cmd;
    cmd.Parse(L"-x");
    EXPECT_TRUE(cmd.Has(L"x"));
    CCommandLine lone;
    lone.Parse(L"-");
    EXPECT_EQ(0u, lone.Count());
  }
  {
    CCommandLine cmd;
    cmd.Parse(L"- x");
    EXPECT_TRUE(cmd.Has(L" x"));
  }
  {
    CCommandLine cmd;
    cmd.Parse(L"-n:");
    EXPECT_TRUE(cmd.Has(L"n"));
    EXPECT_EQ(L"", cmd.Get(L"n"));
  }
  {
    CCommandLine cmd;  // later Parse calls add to the map
    cmd.Parse(L"-a:1");
    cmd.Parse(L"-b:2");
    EXPECT_EQ(2u, cmd.Count());
    EXPECT_FALSE(cmd.Parse(nullptr));
    EXPECT_EQ(L"-b:2", cmd.Text());
  }
}

TEST(CommandLine, TrailingQuoteStopsAtTheEnd) {
  // A value opened by a quote as the very last character: the scan must not
  // step over the terminator. The guard characters after it must stay unread.
  std::wstring buffer = L"-a:\"";
  buffer.push_back(L'\0');
  buffer += L" -evil:1";
  buffer.push_back(L'\0');
  CCommandLine cmd;
  ASSERT_TRUE(cmd.Parse(buffer.c_str()));
  EXPECT_TRUE(cmd.Has(L"a"));
  EXPECT_EQ(L"", cmd.Get(L"a"));
  EXPECT_FALSE(cmd.Has(L"evil"));
  EXPECT_EQ(1u, cmd.Count());
}

TEST(CommandLine, BuildFollowsBucketOrder) {
  CCommandLine cmd;
  cmd.Set(L"cmd", L"abc");
  cmd.Set(L"pid", nullptr);
  // Both names fall in one bucket: the one set last comes first.
  EXPECT_EQ(L" -pid -cmd:abc", cmd.Build());
  CCommandLine round;
  round.Parse(cmd.Build().c_str());
  EXPECT_EQ(L"abc", round.Get(L"CMD"));
  EXPECT_TRUE(round.Has(L"pid"));
}

TEST(CommandLine, BuildMatchesPythonModel) {
  int checked = 0;
  for (const auto& v : bed::ReadVectors()) {
    if (v[0] != "cmdmap") continue;
    CCommandLine cmd;
    for (const auto& p : FlatPairs(bed::FromHex(v[1])))
      cmd.Set(W(p.first).c_str(), p.second.empty() ? nullptr : W(p.second).c_str());
    EXPECT_EQ(W(bed::FromHex(v[2])), cmd.Build()) << bed::FromHex(v[1]);
    ++checked;
  }
  EXPECT_EQ(40, checked);
}

TEST(CommandLine, InitParams) {
  struct Case {
    const wchar_t* line;
    int cid, sv;
  } cases[] = {
      {L"prog.exe -tarninit:90009&3", 90009, 3}, {L"prog.exe -tarninit:&3", 0, 0},
      {L"prog.exe -tarninit:12&", 12, 0},        {L"prog.exe -tarninit:abc&def", 0, 0},
      {L"prog.exe", 0, 0},                       {L"prog.exe -tarninit", 0, 0},
      {L"prog.exe /TARNINIT:\"7&8\"", 7, 8},
  };
  for (const Case& c : cases) {
    int cid = -1, sv = -1;
    ParseInitParams(c.line, &cid, &sv);
    EXPECT_EQ(c.cid, cid) << WideToAnsi(c.line);
    EXPECT_EQ(c.sv, sv) << WideToAnsi(c.line);
  }
}

// ---- texts of the service object and the sender -----------------------------------

TEST(ReportTexts, ActionAndNodeTexts) {
  EXPECT_EQ(L"actionname=go&a=1", ActionText(L"go", L"a=1"));
  EXPECT_EQ(L"node=151002&snode=102", NodeReportText(151002, 102, nullptr, nullptr));
  EXPECT_EQ(L"node=1&snode=2&extrap2=x", NodeReportText(1, 2, nullptr, L"x"));
  EXPECT_EQ(L"node=1&snode=2&extrap1=p&extrap2=q", NodeReportText(1, 2, L"p", L"q"));
  std::string node = NodeText(L"node=1&snode=2", 0xFFFFFFFFu);
  EXPECT_EQ("type=40&account=&node=1&snode=2&random=-1", node);
}

class SenderSections : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProductId(kProduct);
    SHDeleteKeyW(HKEY_CURRENT_USER, StoreKeyPath(L"90901").c_str());
  }
  void TearDown() override { SHDeleteKeyW(HKEY_CURRENT_USER, StoreKeyPath(L"90901").c_str()); }
  static constexpr int kProduct = 90901;
};

TEST_F(SenderSections, WithoutTunnelValues) {
  EXPECT_EQ("versiontype=90009&tryno=0&tid1=0&tunnel=&tid2=0&type=5&tod1=0&tod2=0",
            ActionSection1(90009, 0));
  EXPECT_EQ("versiontype=12001&tryno=4&tid1=0&tunnel=&tid2=0&type=8&tod1=0&tod2=0",
            ActionSection1(12001, 4));
}

TEST_F(SenderSections, TunnelValuesSplitAtTheFirstRunOfUnderscores) {
  struct Case {
    const wchar_t* tunnel;
    const char* tid1;
    const char* tid2;
  } cases[] = {{L"3_7", "3", "7"}, {L"3___7", "3", "7"}, {L"12", "12", "0"},
               {L"_7", "0", "0"},  {L"5_", "5", "0"},    {L"x_2", "0", "2"}};
  for (const Case& c : cases) {
    ASSERT_TRUE(StoreWriteString(L"90901", L"tunnel", false, c.tunnel));
    ASSERT_TRUE(StoreWriteString(L"90901", L"tunnel2", false, L"8_9"));
    std::string s1 = ActionSection1(90009, 0);
    std::map<std::string, std::string> fields;
    for (const auto& p : bed::SplitPairs(s1)) fields[p.first] = p.second;
    EXPECT_EQ(c.tid1, fields["tid1"]) << WideToAnsi(c.tunnel);
    EXPECT_EQ(c.tid2, fields["tid2"]) << WideToAnsi(c.tunnel);
    EXPECT_EQ(WideToUtf8(c.tunnel), fields["tunnel"]);
    EXPECT_EQ("8", fields["tod1"]);
    EXPECT_EQ("9", fields["tod2"]);
  }
}

// ---- registry store ------------------------------------------------------------------

TEST(RegistryStore, HashedNamesAndTypes) {
  const wchar_t sub[] = L"unit-store";
  SHDeleteKeyW(HKEY_CURRENT_USER, StoreKeyPath(sub).c_str());

  ASSERT_TRUE(StoreWriteString(sub, L"successid", true, L"m-17"));
  std::wstring hashed = HashedValueName(L"successid");
  ASSERT_EQ(8u, hashed.size());
  for (wchar_t c : hashed) EXPECT_TRUE(iswdigit(c) || (c >= L'A' && c <= L'F'));
  EXPECT_EQ(AnsiToWide(CrcText("successid")), hashed);

  QRegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, L"Software\\Quillon\\Tarn\\unit-store", KEY_READ));
  std::wstring raw;
  EXPECT_EQ(ERROR_SUCCESS, key.QueryString(hashed.c_str(), &raw));
  EXPECT_EQ(L"m-17", raw);
  EXPECT_NE(ERROR_SUCCESS, key.QueryString(L"successid", &raw)) << "stored under the plain name";

  std::wstring back;
  EXPECT_TRUE(StoreReadString(sub, L"successid", true, &back));
  EXPECT_EQ(L"m-17", back);

  // A DWORD read of a string value fails; of a DWORD value succeeds.
  DWORD n = 0;
  EXPECT_EQ(ERROR_INVALID_DATA, StoreReadDword(sub, L"successid", &n));
  ASSERT_TRUE(StoreWriteDword(sub, L"total", true, 42));
  EXPECT_EQ(ERROR_SUCCESS, StoreReadDword(sub, L"total", &n));
  EXPECT_EQ(42u, n);
  EXPECT_NE(ERROR_SUCCESS, StoreReadDword(sub, L"absent", &n));
  EXPECT_FALSE(StoreWriteString(sub, nullptr, false, L"x"));
  EXPECT_FALSE(StoreReadString(nullptr, L"x", false, &back));
  SHDeleteKeyW(HKEY_CURRENT_USER, StoreKeyPath(sub).c_str());
}

TEST(RegistryStore, InstalledProductVersion) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Quillon\\Antivirus", 0,
                                           nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegDeleteValueW(key, L"ProductID");
  EXPECT_EQ(L"", InstalledProductVersion());  // missing: asked again next time
  std::wstring text = std::to_wstring((7 << 16) | 1);
  RegSetValueExW(key, L"ProductID", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 (DWORD)((text.size() + 1) * 2));
  EXPECT_EQ(L"7.1", InstalledProductVersion());
  RegDeleteValueW(key, L"ProductID");
  EXPECT_EQ(L"7.1", InstalledProductVersion()) << "read once per process";
  RegCloseKey(key);
}

// ---- proxy settings ---------------------------------------------------------------------

TEST(Proxy, SystemProxyTexts) {
  ProxySettings s;
  ASSERT_TRUE(ParseSystemProxy(L"http=proxy:8080;https=proxy:8443", &s));
  EXPECT_EQ(kProxyHttp, s.mode);
  EXPECT_EQ(L"proxy", s.host);
  EXPECT_EQ(8080, s.port);

  ASSERT_TRUE(ParseSystemProxy(L"socks=s:1080", &s));
  EXPECT_EQ(kProxySocks5, s.mode);
  EXPECT_EQ(L"s", s.host);
  EXPECT_EQ(1080, s.port);

  ASSERT_TRUE(ParseSystemProxy(L"myproxy", &s));
  EXPECT_EQ(kProxyHttp, s.mode);
  EXPECT_EQ(L"myproxy", s.host);
  EXPECT_EQ(80, s.port);

  // The http entry ends at the next ';' even when it has no port.
  ASSERT_TRUE(ParseSystemProxy(L"HTTP=Proxy;https=other:8443", &s));
  EXPECT_EQ(L"proxy", s.host);
  EXPECT_EQ(80, s.port);
  ASSERT_TRUE(ParseSystemProxy(L"ftp=f:21;socks=sock;http=h:1", &s));
  EXPECT_EQ(kProxySocks5, s.mode);
  EXPECT_EQ(L"sock", s.host);
  EXPECT_EQ(80, s.port);
  EXPECT_FALSE(ParseSystemProxy(L"", &s));
}

TEST(Proxy, RegistrySettingsOfTheProduct) {
  SetProductId(90902);
  const wchar_t sub[] = L"90902";
  SHDeleteKeyW(HKEY_CURRENT_USER, StoreKeyPath(sub).c_str());
  EXPECT_EQ(kProxyNone, ReadProxySettings().mode) << "no key";

  QRegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, StoreKeyPath(sub).c_str(), KEY_ALL_ACCESS));
  key.SetDword(L"Proxy Mode", 3);
  EXPECT_EQ(kProxyNone, ReadProxySettings().mode) << "no host";
  key.SetString(L"Proxy Host", L"Relay.Example");
  ProxySettings s = ReadProxySettings();
  EXPECT_EQ(kProxySocks5, s.mode);
  EXPECT_EQ(L"Relay.Example", s.host);
  EXPECT_EQ(80, s.port) << "default port";
  EXPECT_FALSE(s.authorize);
  key.SetDword(L"Proxy Port", 3128);
  key.SetDword(L"Proxy Authorization", 1);
  key.SetString(L"Proxy User", L"u");
  s = ReadProxySettings();
  EXPECT_EQ(3128, s.port);
  EXPECT_TRUE(s.authorize);
  EXPECT_EQ(L"u", s.user);
  EXPECT_EQ(L"", s.password);
  key.SetDword(L"Proxy Mode", 5);
  EXPECT_EQ(kProxyNone, ReadProxySettings().mode) << "mode 5 is no proxy";
  key.SetDword(L"Proxy Mode", 4);
  EXPECT_EQ(kProxyDefault, ReadProxySettings().mode);
  key.Close();
  SHDeleteKeyW(HKEY_CURRENT_USER, StoreKeyPath(sub).c_str());
}

TEST(Proxy, UrlLists) {
  EXPECT_EQ(2u, SplitUrlList("http://a/;http://b/;").size());
  EXPECT_EQ(2u, SplitUrlList(";;http://a/;;http://b/").size());
  EXPECT_EQ(0u, SplitUrlList("").size());
  EXPECT_EQ(0u, SplitUrlList(nullptr).size());
  UrlList l = SplitUrlList("http://p/x;http://r/y");
  ASSERT_EQ(2u, l.size());
  EXPECT_EQ("http://p/x", l[0]);
  EXPECT_EQ("http://r/y", l[1]);
  EXPECT_EQ(kHttpEmptyList, HttpSendToList(UrlList(), "a=1", 0, nullptr));
}

// ---- service log -------------------------------------------------------------------------

class ServiceLog : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::ScratchDir("log");
    module_ = dir_ + "quorlex.dll";
  }
  void TearDown() override { LogSetUpForPath(nullptr); }
  void SwitchOn(bool on) {
    CreateDirectoryA((dir_ + "data").c_str(), nullptr);
    WritePrivateProfileStringA("tarn", "log", on ? "1" : "0", (dir_ + "data\\tarnver.dat").c_str());
  }
  std::string LogFile() { return dir_ + "log\\quorlex.log"; }
  std::string dir_, module_;
};

TEST_F(ServiceLog, OffWithoutSwitch) {
  LogSetUpForPath(module_.c_str());
  EXPECT_FALSE(LogEnabled());
  EXPECT_EQ(0, LogLine("nothing %d", 1));
  EXPECT_TRUE(PathIsDirectoryA((dir_ + "log").c_str())) << "the log folder is still made";
  EXPECT_FALSE(PathFileExistsA(LogFile().c_str()));
  SwitchOn(false);
  LogSetUpForPath(module_.c_str());
  EXPECT_EQ(0, LogLineW(L"nothing"));
  EXPECT_FALSE(PathFileExistsA(LogFile().c_str()));
}

TEST_F(ServiceLog, LinesCarryStampsAndOneCrLf) {
  SwitchOn(true);
  LogSetUpForPath(module_.c_str());
  ASSERT_TRUE(LogEnabled());
  EXPECT_EQ(LogFile(), LogPath());
  EXPECT_EQ(9, LogLine("first %s", "one"));
  EXPECT_EQ(10, LogLineW(L"second %ls", L"two"));
  EXPECT_EQ(0, LogLine(nullptr));
  std::string text;
  ASSERT_TRUE(testsupport::ReadWholeFile(LogFile(), &text));
  ASSERT_EQ(2 * (20 + 2) + 9 + 10, (int)text.size()) << text;
  EXPECT_EQ(std::string::npos, text.find("\r\r")) << "binary appends: no doubled CR";
  size_t second = text.find("\r\n") + 2;
  for (size_t at : {(size_t)0, second}) {
    std::string stamp = text.substr(at, 20);
    // "YYYY-MM-DD hh:mm:ss "
    EXPECT_EQ('-', stamp[4]);
    EXPECT_EQ('-', stamp[7]);
    EXPECT_EQ(' ', stamp[10]);
    EXPECT_EQ(':', stamp[13]);
    EXPECT_EQ(':', stamp[16]);
    EXPECT_EQ(' ', stamp[19]);
  }
  EXPECT_EQ("first one\r\n", text.substr(20, 11));
  EXPECT_EQ("second two\r\n", text.substr(second + 20));
}

TEST_F(ServiceLog, LongLinesAreCutAndStillEndTheLine) {
  SwitchOn(true);
  LogSetUpForPath(module_.c_str());
  std::string big(kLogBufferSize * 2, 'x');
  int n = LogLine("%s", big.c_str());
  EXPECT_EQ(kLogBufferSize - 3, n) << "a cut line reports what was kept";
  std::wstring wide(kLogBufferSize, L'y');
  int w = LogLineW(L"%ls", wide.c_str());
  EXPECT_GT(w, 0);
  EXPECT_LE(w, kLogBufferSize / 2 - 3);
  std::string text;
  ASSERT_TRUE(testsupport::ReadWholeFile(LogFile(), &text));
  size_t first = text.find("\r\n");
  ASSERT_NE(std::string::npos, first);
  EXPECT_EQ(20u + n, first);
  EXPECT_EQ(20u + n + 2 + 20 + w + 2, text.size());
  EXPECT_EQ("y\r\n", text.substr(text.size() - 3));
}

TEST_F(ServiceLog, RollsOverPastTheLimitOnce) {
  CreateDirectoryA((dir_ + "log").c_str(), nullptr);
  ASSERT_TRUE(testsupport::WriteWholeFile(LogFile(), std::string(kLogRollSize, 'a')));
  LogSetUpForPath(module_.c_str());
  EXPECT_TRUE(PathFileExistsA(LogFile().c_str())) << "exactly the limit stays";
  EXPECT_FALSE(PathFileExistsA((LogFile() + "0").c_str()));

  ASSERT_TRUE(testsupport::WriteWholeFile(LogFile() + "0", "older generation"));
  SetFileAttributesA((LogFile() + "0").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(testsupport::WriteWholeFile(LogFile(), std::string(kLogRollSize + 1, 'b')));
  LogSetUpForPath(module_.c_str());  // rolls whether the log is on or not
  EXPECT_FALSE(PathFileExistsA(LogFile().c_str()));
  std::string old;
  ASSERT_TRUE(testsupport::ReadWholeFile(LogFile() + "0", &old));
  EXPECT_EQ(std::string(kLogRollSize + 1, 'b'), old);
}

// ---- machine identity ----------------------------------------------------------------------

class MachineIdentity : public ::testing::Test {
 protected:
  void SetUp() override { Wipe(); }
  void TearDown() override { Wipe(); }
  static void Wipe() {
    SHDeleteKeyW(HKEY_CLASSES_ROOT, kIdentityRegKey);
    std::wstring file = IdentityFilePath();
    DeleteFileW(file.c_str());
    RemoveDirectoryW(file.substr(0, file.rfind(L'\\')).c_str());  // NOX
    // A link a failed test left in place of the maker's folder.
    std::wstring nox = file.substr(0, file.rfind(L'\\'));
    std::wstring maker = nox.substr(0, nox.rfind(L'\\'));
    DWORD a = GetFileAttributesW(maker.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT)) bed::RemoveFolderLink(maker);
  }
  static bool RegValue(const wchar_t* name, std::wstring* v) {
    QRegKey key;
    return key.Open(HKEY_CLASSES_ROOT, kIdentityRegKey, KEY_READ) == ERROR_SUCCESS &&
           key.QueryString(name, v) == ERROR_SUCCESS;
  }
  static bool FileValue(const wchar_t* name, std::wstring* v) {
    wchar_t text[300] = {};
    GetPrivateProfileStringW(L"id", name, L"<none>", text, 300, IdentityFilePath().c_str());
    *v = text;
    return *v != L"<none>";
  }
  static bool IsIdText(const std::wstring& id) {
    if (id.size() != 32) return false;
    for (wchar_t c : id)
      if (!iswdigit(c) && !(c >= L'a' && c <= L'f')) return false;
    return true;
  }
};

TEST_F(MachineIdentity, MadeOnceAndKeptInBothStores) {
  std::wstring id = GetMachineId(L"");
  ASSERT_TRUE(IsIdText(id)) << WideToAnsi(id);
  std::wstring reg, file;
  ASSERT_TRUE(RegValue(L"idex", &reg));
  ASSERT_TRUE(FileValue(L"idex", &file)) << "hg.dat written although its folder did not exist";
  EXPECT_EQ(id, reg);
  EXPECT_EQ(id, file);
  EXPECT_EQ(id, GetMachineId(L""));
  EXPECT_EQ(WideToAnsi(id), GetMachineIdA());
  EXPECT_NE(id, MakeMachineId()) << "new ids differ";
}

TEST_F(MachineIdentity, EitherStoreRestoresTheOther) {
  std::wstring id = GetMachineId(L"");
  {
    QRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CLASSES_ROOT, kIdentityRegKey, KEY_ALL_ACCESS));
    key.DeleteValue(L"idex");
  }
  EXPECT_EQ(id, GetMachineId(L""));
  std::wstring reg;
  ASSERT_TRUE(RegValue(L"idex", &reg));
  EXPECT_EQ(id, reg) << "written back from hg.dat";

  std::wstring file = IdentityFilePath();
  ASSERT_TRUE(DeleteFileW(file.c_str()));
  RemoveDirectoryW(file.substr(0, file.rfind(L'\\')).c_str());
  EXPECT_EQ(id, GetMachineId(L""));
  std::wstring back;
  ASSERT_TRUE(FileValue(L"idex", &back));
  EXPECT_EQ(id, back) << "written back from the registry";
}

TEST_F(MachineIdentity, RegistryWinsWhenBothDiffer) {
  std::wstring id = GetMachineId(L"");
  WritePrivateProfileStringW(L"id", L"idex", L"0123456789abcdef0123456789abcdef",
                             IdentityFilePath().c_str());
  EXPECT_EQ(id, GetMachineId(L""));
}

TEST_F(MachineIdentity, NegativeIdnoAndBadIdsMakeNewOnes) {
  std::wstring id = GetMachineId(L"");
  StoreIdentityValue(L"idno", L"-1");
  std::wstring fresh = GetMachineId(L"");
  EXPECT_TRUE(IsIdText(fresh));
  EXPECT_NE(id, fresh);
  std::wstring idno;
  ASSERT_TRUE(RegValue(L"idno", &idno));
  EXPECT_EQ(L"0", idno);
  EXPECT_EQ(fresh, GetMachineId(L"")) << "idno 0 keeps the id";

  StoreIdentityValue(L"idex", fresh + L"0");  // 33 characters
  std::wstring replaced = GetMachineId(L"");
  EXPECT_TRUE(IsIdText(replaced));
  EXPECT_NE(fresh, replaced);

  std::string ulst = testsupport::ScratchDir("ulst") + "ulst.ini";
  WritePrivateProfileStringW(L"ulst", replaced.c_str(), L"1", AnsiToWide(ulst).c_str());
  std::wstring banned = GetMachineId(AnsiToWide(ulst).c_str());
  EXPECT_TRUE(IsIdText(banned));
  EXPECT_NE(replaced, banned) << "a listed id is replaced";
  EXPECT_EQ(banned, GetMachineId(AnsiToWide(ulst).c_str()));
}

TEST_F(MachineIdentity, OtherValuesTakeTheDefault) {
  std::wstring v;
  EXPECT_FALSE(ReadIdentityValue(L"idno", nullptr, &v));
  EXPECT_FALSE(RegValue(L"idno", &v)) << "nothing stored without a default";
  bool pathOk = false;
  EXPECT_TRUE(ReadIdentityValue(L"other", L"dflt", &v, &pathOk));
  EXPECT_TRUE(pathOk);
  EXPECT_EQ(L"dflt", v);
  ASSERT_TRUE(FileValue(L"other", &v));
  EXPECT_EQ(L"dflt", v);
}

// ---- files reached only along plain folders ------------------------------------------------

namespace {

std::wstring WideScratch(const char* sub) { return AnsiToWide(testsupport::ScratchDir(sub)); }

}  // namespace

TEST(PlainFile, LinksOnTheWayAndSecondLinksAreRefused) {
  std::wstring base = WideScratch("plain");
  std::wstring elsewhere = WideScratch("plain-elsewhere");
  CreateDirectoryW((base + L"real").c_str(), nullptr);
  ASSERT_TRUE(bed::MakeFolderLink(base + L"link", elsewhere));
  EXPECT_TRUE(IsPlainPathBelow(base, base + L"real\\new\\f.txt")) << "missing parts are fine";
  EXPECT_FALSE(IsPlainPathBelow(base, base + L"link\\f.txt"));
  EXPECT_FALSE(IsPlainPathBelow(base, base + L"link"));
  EXPECT_FALSE(IsPlainPathBelow(base, elsewhere + L"f.txt")) << "not below the base";
  EXPECT_EQ(INVALID_HANDLE_VALUE, OpenPlainForAppend(base, base + L"link\\f.txt"));
  EXPECT_FALSE(PathFileExistsW((elsewhere + L"f.txt").c_str()));
  EXPECT_TRUE(bed::RemoveFolderLink(base + L"link"));

  ASSERT_TRUE(testsupport::WriteWholeFile(WideToAnsi(elsewhere + L"victim.txt"), "victim"));
  ASSERT_TRUE(CreateHardLinkW((base + L"real\\two.txt").c_str(), (elsewhere + L"victim.txt").c_str(),
                              nullptr));
  EXPECT_FALSE(IsPlainPathBelow(base, base + L"real\\two.txt"));
  EXPECT_EQ(INVALID_HANDLE_VALUE, OpenPlainForAppend(base, base + L"real\\two.txt"));

  HANDLE h = OpenPlainForAppend(base, base + L"real\\one.txt");
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, "ab", 2, &n, nullptr));
  CloseHandle(h);
  h = OpenPlainForAppend(base, base + L"real\\one.txt");
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_TRUE(WriteFile(h, "cd", 2, &n, nullptr));
  CloseHandle(h);
  std::string text;
  ASSERT_TRUE(testsupport::ReadWholeFile(WideToAnsi(base + L"real\\one.txt"), &text));
  EXPECT_EQ("abcd", text);
}

TEST_F(ServiceLog, NeverAppendsThroughALinkOrToASecondLink) {
  SwitchOn(true);
  std::wstring elsewhere = WideScratch("log-elsewhere");
  ASSERT_TRUE(testsupport::WriteWholeFile(WideToAnsi(elsewhere + L"victim.txt"), "victim"));
  CreateDirectoryA((dir_ + "log").c_str(), nullptr);
  ASSERT_TRUE(CreateHardLinkW(AnsiToWide(LogFile()).c_str(), (elsewhere + L"victim.txt").c_str(),
                              nullptr));
  LogSetUpForPath(module_.c_str());
  EXPECT_GT(LogLine("into the link"), 0);
  std::string text;
  ASSERT_TRUE(testsupport::ReadWholeFile(WideToAnsi(elsewhere + L"victim.txt"), &text));
  EXPECT_EQ("victim", text);
  // The log folder itself a link.
  DeleteFileA(LogFile().c_str());
  RemoveDirectoryA((dir_ + "log").c_str());
  ASSERT_TRUE(bed::MakeFolderLink(AnsiToWide(dir_ + "log"), elsewhere));
  LogSetUpForPath(module_.c_str());
  LogLine("into the folder link");
  EXPECT_FALSE(PathFileExistsW((elsewhere + L"quorlex.log").c_str()));
  EXPECT_TRUE(bed::RemoveFolderLink(AnsiToWide(dir_ + "log")));
}

TEST_F(MachineIdentity, ALinkInPlaceOfTheFolderOrTheFileIsNotUsed) {
  std::wstring file = IdentityFilePath();
  std::wstring nox = file.substr(0, file.rfind(L'\\'));
  std::wstring maker = nox.substr(0, nox.rfind(L'\\'));  // ...\Quillon
  std::wstring elsewhere = WideScratch("identity-elsewhere");
  // A hard link in place of hg.dat: nothing is appended to the linked file.
  CreateDirectoryW(maker.c_str(), nullptr);
  CreateDirectoryW(nox.c_str(), nullptr);
  ASSERT_TRUE(testsupport::WriteWholeFile(WideToAnsi(elsewhere + L"victim.ini"), "[v]\r\nx=1\r\n"));
  ASSERT_TRUE(CreateHardLinkW(file.c_str(), (elsewhere + L"victim.ini").c_str(), nullptr));
  std::wstring id = GetMachineId(L"");
  EXPECT_TRUE(IsIdText(id)) << "the registry store still serves";
  std::string text;
  ASSERT_TRUE(testsupport::ReadWholeFile(WideToAnsi(elsewhere + L"victim.ini"), &text));
  EXPECT_EQ("[v]\r\nx=1\r\n", text);
  DeleteFileW(file.c_str());
  RemoveDirectoryW(nox.c_str());

  // A folder link in place of the maker's folder: hg.dat is not made where it points.
  bool hadMaker = RemoveDirectoryW(maker.c_str()) != FALSE;
  if (!PathFileExistsW(maker.c_str())) {
    ASSERT_TRUE(bed::MakeFolderLink(maker, elsewhere));
    StoreIdentityValue(L"idex", id);
    EXPECT_FALSE(PathFileExistsW((elsewhere + L"NOX\\hg.dat").c_str()));
    std::wstring v;
    EXPECT_FALSE(FileValue(L"idex", &v) && v == id) << "nothing read through the link";
    ASSERT_TRUE(bed::RemoveFolderLink(maker));
    if (hadMaker) CreateDirectoryW(maker.c_str(), nullptr);
  }
  EXPECT_EQ(id, GetMachineId(L""));
}
