// The push-message client against the test bed's message server: signed
// requests decoded and checked by Python, XML answers made with Python's
// ElementTree and json, and what the client keeps in the registry.
#include <windows.h>
#include <shlwapi.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "bedfile.h"
#include "factory.h"
#include "machineid.h"
#include "pushinfo.h"
#include "regstore.h"
#include "textconv.h"

using namespace tarn;

namespace {

const int kProduct = 12005;  // content value 16384
const char kCheckPath[] = "/qdistribution/check";

struct Received {
  int e = 0, count = 0;
  std::wstring id, feed, json;
  int priority = 0;
};
std::vector<Received> gReceived;

int STDMETHODCALLTYPE Collect(int e, int count, const TarnPushMessage* m, ITarnPushInfo* client) {
  Received r;
  r.e = e;
  r.count = count;
  r.id = m->id;
  r.priority = m->priority;
  r.feed = m->feed;
  r.json = m->json;
  gReceived.push_back(r);
  EXPECT_NE(nullptr, client);
  return 0;
}

std::string Url(const std::string& answer) { return bed::HttpBase() + "/push/" + answer + kCheckPath; }

class Push : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bed::Has("QX_HTTP")) << "run through ctest (testbed.py)";
    SHDeleteKeyW(HKEY_CURRENT_USER, StoreKeyPath(ProductSubKey(kProduct).c_str()).c_str());
    gReceived.clear();
  }
  // A client whose message servers are a dead primary and the named answer.
  ITarnPushInfo* Client(const std::string& answer) {
    std::string urls = bed::DeadBase() + kCheckPath + ";" + Url(answer);
    bed::SetServer(bed::ThisProgram(), L"Push", urls);
    void* out = nullptr;
    EXPECT_EQ(S_OK, CreateInnerObject(IID_ITarnPushInfo, &out));
    ITarnPushInfo* client = static_cast<ITarnPushInfo*>(out);
    client->Init(kProduct, 3);
    return client;
  }
  std::wstring Stored(ITarnPushInfo* client, const wchar_t* name) {
    wchar_t* text = nullptr;
    if (client->GetStoredText(name, &text) != S_OK) return L"<none>";
    std::wstring out = text;
    CoTaskMemFree(text);
    return out;
  }
  int Number(ITarnPushInfo* client, const wchar_t* name) {
    int v = -12345;
    client->GetStoredNumber(name, &v);
    return v;
  }
  // The signed text of the last request to the message server.
  std::string LastSigned(bool* signatureOk) {
    std::vector<bed::Request> got = bed::RequestsTo("/push/");
    if (got.empty()) return "<none>";
    *signatureOk = got.back().decoded["sigok"] == "1";
    return got.back().decoded["push"];
  }
};

}  // namespace

TEST_F(Push, FactoryMakesTheClient) {
  void* out = nullptr;
  ASSERT_EQ(S_OK, CreateInnerObject(IID_ITarnPushInfo, &out));
  ITarnPushInfo* client = static_cast<ITarnPushInfo*>(out);
  EXPECT_EQ(S_OK, client->CheckVersion(7));
  EXPECT_EQ(E_NOINTERFACE, client->CheckVersion(8));
  EXPECT_EQ(S_OK, client->Nop());
  void* again = nullptr;
  EXPECT_EQ(S_OK, client->QueryInterface(IID_IUnknown, &again));
  EXPECT_EQ(out, again);
  EXPECT_EQ(1u, client->Release());
  EXPECT_EQ(0u, client->Release());
}

TEST_F(Push, FetchSendsTheSignedListAndHandsOutTheMessages) {
  ITarnPushInfo* client = Client("msgs");
  bed::Mark();
  EXPECT_EQ(E_INVALIDARG, client->Fetch(7, nullptr));
  EXPECT_TRUE(bed::RequestsTo("/push/").empty()) << "nothing sent without a callback";

  ASSERT_EQ(S_OK, client->Fetch(7, &Collect));
  bool sigOk = false;
  std::string sent = LastSigned(&sigOk);
  EXPECT_TRUE(sigOk) << sent;
  std::string id = GetMachineIdA();
  std::string head = "v=9&t=" + WideToAnsi(InstalledProductVersion()) +
                     "&ct=16384&sv=0&dv=0&appname=184549379&e=-1&p=&g=" + id +
                     "&pp=0&n=0&ln=&it=7&i=0&c=";
  EXPECT_EQ(head, sent.substr(0, head.size()));
  EXPECT_EQ(head.size() + 8, sent.size());

  // The message that is not JSON is left out; e is the server's error code.
  ASSERT_EQ(2u, gReceived.size());
  EXPECT_EQ(7, gReceived[0].e);
  EXPECT_EQ(2, gReceived[0].count);
  EXPECT_EQ(L"m-100", gReceived[0].id);
  EXPECT_EQ(3, gReceived[0].priority);
  EXPECT_EQ(L"订阅 <one> & \"two\"", gReceived[0].feed);
  EXPECT_EQ(L"101", gReceived[1].id);
  EXPECT_EQ(1, gReceived[1].priority);

  EXPECT_EQ(5, Number(client, L"total"));
  EXPECT_EQ(2, Number(client, L"security"));
  EXPECT_EQ(60, Number(client, L"pushinfocycle")) << "3600 seconds are stored as minutes";
  EXPECT_EQ(L"rdp-7", Stored(client, L"rdp"));
  EXPECT_EQ(L"d-41|0|1", Stored(client, L"lostid"));

  // The next request carries what was kept; an answer without messages
  // empties the lost list.
  client->Release();
  client = Client("empty");
  gReceived.clear();
  ASSERT_EQ(S_OK, client->Fetch(0, &Collect));
  sent = LastSigned(&sigOk);
  EXPECT_NE(std::string::npos, sent.find("&pp=rdp-7&n=1&ln=d-41|0|1&it=0&")) << sent;
  EXPECT_TRUE(gReceived.empty());
  EXPECT_EQ(L"", Stored(client, L"lostid"));
  EXPECT_EQ(2, Number(client, L"pushinfocycle"));
  client->Release();
}

TEST_F(Push, AnswersThatAreNotMessagesFail) {
  for (const char* answer : {"deep", "notxml", "nothing-here"}) {
    ITarnPushInfo* client = Client(answer);
    EXPECT_EQ(E_FAIL, client->Fetch(1, &Collect)) << answer;
    client->Release();
  }
  EXPECT_TRUE(gReceived.empty());
  PushAnswer parsed;
  EXPECT_FALSE(ParsePushAnswer("<Other/>", &parsed));
  EXPECT_TRUE(ParsePushAnswer("<InfoResult><InfoError code=\"3\"/></InfoResult>", &parsed));
  EXPECT_EQ(3, parsed.error);
  // A quoted "/>" or ">" inside a tag does not hide nesting from the guard.
  std::string hidden = "<InfoResult>";
  for (int i = 0; i < 200; ++i) hidden += "<a x='/>'>";
  for (int i = 0; i < 200; ++i) hidden += "</a>";
  hidden += "</InfoResult>";
  EXPECT_FALSE(ParsePushAnswer(hidden, &parsed));
}

TEST_F(Push, ReportAndGetText) {
  ITarnPushInfo* client = Client("report");
  bed::Mark();
  EXPECT_EQ(E_INVALIDARG, client->Report(1, L""));
  EXPECT_EQ(E_INVALIDARG, client->Report(1, nullptr));
  ASSERT_EQ(S_OK, client->Report(5, L"m-100"));
  bool sigOk = false;
  std::string sent = LastSigned(&sigOk);
  EXPECT_TRUE(sigOk);
  std::string head = "v=4&appname=3&p=" + GetMachineIdA() + "&pp=0&id=m-100&r=5&c=";
  EXPECT_EQ(head, sent.substr(0, head.size()));

  wchar_t* text = nullptr;
  EXPECT_EQ(E_INVALIDARG, client->GetText(L"", &text));
  EXPECT_EQ(E_INVALIDARG, client->GetText(AnsiToWide(Url("text")).c_str(), nullptr));
  ASSERT_EQ(S_OK, client->GetText(AnsiToWide(bed::DeadBase() + "/x;" + Url("text")).c_str(), &text));
  EXPECT_STREQ(L"推送文本 text", text);
  CoTaskMemFree(text);
  text = nullptr;
  EXPECT_EQ(E_FAIL, client->GetText(AnsiToWide(bed::DeadBase() + "/x").c_str(), &text));
  EXPECT_EQ(nullptr, text);
  client->Release();
}

TEST_F(Push, ShownAndLostMessagesAreKept) {
  ITarnPushInfo* client = Client("msgs");
  EXPECT_EQ(E_INVALIDARG, client->MarkShown(nullptr));
  EXPECT_EQ(S_OK, client->MarkShown(L"s-1"));
  EXPECT_EQ(L"<none>", Stored(client, L"successid")) << "ids beginning with s are not kept";
  EXPECT_EQ(S_OK, client->MarkShown(L"m-5"));
  EXPECT_EQ(S_OK, client->MarkShown(L"m-3"));
  EXPECT_EQ(L"m-5", Stored(client, L"successid")) << "only a higher id replaces it";
  EXPECT_EQ(S_OK, client->MarkShown(L"M-9"));
  EXPECT_EQ(L"M-9", Stored(client, L"successid"));

  EXPECT_EQ(E_INVALIDARG, client->MarkLost(L"", 1, 1));
  EXPECT_EQ(S_OK, client->MarkLost(L"a", 2, 1));
  EXPECT_EQ(S_OK, client->MarkLost(L"b", 1, 1));
  EXPECT_EQ(L"a|2|1,b|1|1", Stored(client, L"lostid"));
  EXPECT_EQ(S_OK, client->MarkLost(L"a", 3, 0));
  EXPECT_EQ(S_OK, client->MarkLost(L"a", 3, 1)) << "an id already listed is not added twice";
  EXPECT_EQ(L"a|3|3,b|1|1", Stored(client, L"lostid"));
  EXPECT_EQ(S_OK, client->MarkLost(L"a", 3, 0));
  EXPECT_EQ(L"a|3|4,b|1|1", Stored(client, L"lostid"));
  EXPECT_EQ(S_OK, client->MarkLost(L"a", 3, 0));
  EXPECT_EQ(L"b|1|1", Stored(client, L"lostid")) << "dropped after the fourth try";
  EXPECT_EQ(S_OK, client->MarkLost(L"c", 1, 0));
  EXPECT_EQ(L"b|1|1", Stored(client, L"lostid")) << "a dropped id does not come back by itself";

  EXPECT_EQ(S_OK, client->SetStoredNumber(L"plainnum", 0, 4));
  EXPECT_EQ(S_OK, client->SetStoredNumber(L"hashednum", 1, 9));
  EXPECT_EQ(9, Number(client, L"hashednum"));
  int v = 0;
  EXPECT_EQ(E_FAIL, client->GetStoredNumber(L"plainnum", &v)) << "stored numbers are read hashed";
  EXPECT_EQ(E_FAIL, client->GetStoredNumber(L"lostid", &v)) << "a string is not a number";
  EXPECT_EQ(E_INVALIDARG, client->GetStoredNumber(nullptr, &v));
  EXPECT_EQ(E_INVALIDARG, client->GetStoredText(L"x", nullptr));
  client->Release();
}
