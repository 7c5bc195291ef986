#include "pushinfo.h"

#include <tinyxml.h>

#include <objbase.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "hashing.h"
#include "http.h"
#include "machineid.h"
#include "modinfo.h"
#include "params.h"
#include "regstore.h"
#include "servers.h"
#include "svclog.h"
#include "textconv.h"
#include "vezavu.h"

namespace tarn {

const char kPushSalt[] = "PalindrelMoskoWarpLedgerqafTiyuRmB";

namespace {

const char kPushUrls[] =
    "http://push.quillon.com/qdistribution/check;http://push2.quillon.com/qdistribution/check";

// The answer is three levels deep; anything much deeper is not an answer and
// would only spend the parser's stack.
const int kMaxXmlDepth = 32;
// Nor is an answer of several megabytes.
const size_t kMaxAnswerBytes = 4u << 20;

// Element nesting of an XML text, counted without parsing it: "<name" opens,
// "</" closes, "/>" closes the tag it ends; quoted attribute values, comments,
// CDATA and processing instructions are skipped.
int XmlDepth(const std::string& xml) {
  int depth = 0, deepest = 0;
  size_t i = 0, n = xml.size();
  while (i < n) {
    if (xml[i] != '<') {
      ++i;
      continue;
    }
    if (xml.compare(i, 4, "<!--") == 0) {
      size_t end = xml.find("-->", i + 4);
      i = end == std::string::npos ? n : end + 3;
    } else if (xml.compare(i, 9, "<![CDATA[") == 0) {
      size_t end = xml.find("]]>", i + 9);
      i = end == std::string::npos ? n : end + 3;
    } else if (i + 1 < n && (xml[i + 1] == '?' || xml[i + 1] == '!')) {
      size_t end = xml.find('>', i + 2);
      i = end == std::string::npos ? n : end + 1;
    } else if (i + 1 < n && xml[i + 1] == '/') {
      --depth;
      size_t end = xml.find('>', i + 2);
      i = end == std::string::npos ? n : end + 1;
    } else {
      ++depth;
      if (depth > deepest) deepest = depth;
      // To the end of the tag, past quoted values.
      char quote = 0;
      size_t j = i + 1;
      for (; j < n; ++j) {
        char c = xml[j];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          if (xml[j - 1] == '/') --depth;
          break;
        }
      }
      i = j + 1;
    }
  }
  return deepest;
}

std::wstring JsonText(const VeZavu::Handle& h) {
  if (h.Kind() == VeZavu::kString) return h.ToText() ? h.ToText() : L"";
  if (h.Kind() == VeZavu::kLong) return FormatW(L"%d", h.ToInt());
  return std::wstring();
}

// Splits a lost list into its non-empty entries.
std::vector<std::wstring> LostEntries(const std::wstring& list) {
  std::vector<std::wstring> out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(L',', start);
    if (comma == std::wstring::npos) comma = list.size();
    if (comma > start) out.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}

}  // namespace

std::string PushEndpointText() { return ServerAddress(kServerPush, kPushUrls); }

int PushContentValue(int productId) {
  switch (productId) {
    case 10001: case 10002: return 1024;
    case 11002: return 8192;
    case 12001: case 12005: return 16384;
    default: return 0;
  }
}

bool ParsePushAnswer(const std::string& xml, PushAnswer* out) {
  *out = PushAnswer();
  if (xml.empty() || xml.size() > kMaxAnswerBytes || XmlDepth(xml) > kMaxXmlDepth) return false;
  TiXmlDocument doc;
  doc.Parse(xml.c_str(), nullptr, TIXML_ENCODING_UTF8);
  if (doc.Error()) return false;
  const TiXmlElement* root = doc.RootElement();
  if (!root || root->ValueStr() != "InfoResult") return false;

  for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
    if (e->ValueStr() == "InfoError") {
      e->QueryIntAttribute("code", &out->error);
    } else if (e->ValueStr() == "InfoSet") {
      out->hasSet = true;
      out->hasTotal = e->QueryIntAttribute("total", &out->total) == TIXML_SUCCESS;
      out->hasSecurity = e->QueryIntAttribute("security", &out->security) == TIXML_SUCCESS;
      out->hasInterval = e->QueryIntAttribute("interval", &out->interval) == TIXML_SUCCESS;
      if (const char* rdp = e->Attribute("rdp")) {
        out->hasRdp = true;
        out->rdp = rdp;
      }
      for (const TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
        if (c->ValueStr() == "DelayInfo") {
          if (const char* id = c->Attribute("id")) out->delayIds.push_back(Utf8ToWide(id));
        } else if (c->ValueStr() == "Info") {
          const char* text = c->GetText();
          PushMessage m;
          m.json = Utf8ToWide(text ? text : "");
          VeZavu::Document json;
          if (m.json.empty() || !json.Parse(m.json)) {
            LogLine("push message %u is not JSON", (unsigned)out->messages.size());
            continue;
          }
          m.id = JsonText(json.Find(L"info_id"));
          m.priority = json.Find(L"priority").ToInt();
          m.feed = JsonText(json.Find(L"feed"));
          out->messages.push_back(m);
        }
      }
    }
  }
  return true;
}

std::wstring MergeLostList(const std::wstring& list, const std::wstring& id, int count,
                           bool firstTime) {
  std::vector<std::wstring> kept;
  bool found = false;
  for (const std::wstring& entry : LostEntries(list)) {
    size_t bar = entry.find(L'|');
    std::wstring entryId = entry.substr(0, bar);
    if (entryId != id) {
      kept.push_back(entry);
      continue;
    }
    found = true;
    size_t bar2 = bar == std::wstring::npos ? std::wstring::npos : entry.find(L'|', bar + 1);
    int tries = bar2 == std::wstring::npos ? 1 : _wtoi(entry.c_str() + bar2 + 1);
    if (tries <= 3) kept.push_back(FormatW(L"%ls|%d|%d", id.c_str(), count, tries + 1));
  }
  if (!found && firstTime) kept.push_back(FormatW(L"%ls|%d|1", id.c_str(), count));
  std::wstring out;
  for (const std::wstring& e : kept) {
    if (!out.empty()) out += L',';
    out += e;
  }
  return out;
}

size_t LostListCount(const std::wstring& list) { return LostEntries(list).size(); }

}  // namespace tarn

namespace {

wchar_t* CoTaskCopy(const std::wstring& text) {
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  wchar_t* out = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
  if (out) memcpy(out, text.c_str(), bytes);
  return out;
}

}  // namespace

CTarnPushInfo::CTarnPushInfo() : urls_(tarn::PushEndpointText()) {}
CTarnPushInfo::~CTarnPushInfo() = default;

HRESULT STDMETHODCALLTYPE CTarnPushInfo::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITarnPushInfo)) {
    *out = static_cast<ITarnPushInfo*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CTarnPushInfo::AddRef() { return (ULONG)InterlockedIncrement(&refs_); }

ULONG STDMETHODCALLTYPE CTarnPushInfo::Release() {
  LONG n = InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return (ULONG)n;
}

HRESULT STDMETHODCALLTYPE CTarnPushInfo::Init(int productId, int subVersion) {
  productId_ = productId;
  subVersion_ = subVersion;
  tarn::SetProductId(productId);
  tarn::SetSubVersion(subVersion);
  machineId_ = tarn::GetMachineIdA();
  productText_ = tarn::FormatA("%d", productId);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTarnPushInfo::Nop() { return S_OK; }

HRESULT STDMETHODCALLTYPE CTarnPushInfo::CheckVersion(unsigned version) {
  return version < 8 ? S_OK : E_NOINTERFACE;
}

std::wstring CTarnPushInfo::SubKey() const { return tarn::ProductSubKey(productId_); }

std::string CTarnPushInfo::StoredRdp() const {
  std::wstring rdp;
  if (!tarn::StoreReadString(SubKey().c_str(), L"rdp", true, &rdp) || rdp.empty()) return "0";
  return tarn::WideToUtf8(rdp);
}

bool CTarnPushInfo::Send(const tarn::TarnParams& params, std::string* answer) {
  std::string signedText = tarn::SignParams(params, tarn::kPushSalt);
  std::string query = "c=" + tarn::Base64Encode(signedText);
  answer->clear();
  int rc = tarn::HttpSendToList(tarn::SplitUrlList(urls_.c_str()), query, 0, answer);
  return rc == 0 && !answer->empty();
}

HRESULT STDMETHODCALLTYPE CTarnPushInfo::Fetch(int it, TarnPushCallback callback) {
  if (!callback) return E_INVALIDARG;
  std::wstring subKey = SubKey();
  std::wstring lost;
  if (!tarn::StoreReadString(subKey.c_str(), L"lostid", true, &lost)) lost.clear();

  tarn::TarnParams params(tarn::TarnParams::Ordered);
  params.SetInt("v", 9);
  params.SetString("t", tarn::WideToAnsi(tarn::InstalledProductVersion()));
  params.SetInt("ct", tarn::PushContentValue(productId_));
  params.SetInt("sv", 0);
  params.SetInt("dv", 0);
  params.SetString("appname", tarn::FormatA("%d", subVersion_ | 0x0B000000));
  params.SetInt("e", -1);
  params.SetString("p", "");
  params.SetString("g", machineId_.empty() ? tarn::GetMachineIdA() : machineId_);
  params.SetString("pp", StoredRdp());
  params.SetInt("n", (int)tarn::LostListCount(lost));
  params.SetString("ln", tarn::WideToUtf8(lost));
  params.SetInt("it", it);
  params.SetInt("i", 0);

  std::string answer;
  if (!Send(params, &answer)) return E_FAIL;
  tarn::PushAnswer parsed;
  if (!tarn::ParsePushAnswer(answer, &parsed)) {
    tarn::LogLine("push answer is not readable");
    return E_FAIL;
  }
  if (parsed.hasTotal) tarn::StoreWriteDword(subKey.c_str(), L"total", true, (DWORD)parsed.total);
  if (parsed.hasRdp)
    tarn::StoreWriteString(subKey.c_str(), L"rdp", true, tarn::Utf8ToWide(parsed.rdp));
  if (parsed.hasSecurity)
    tarn::StoreWriteDword(subKey.c_str(), L"security", true, (DWORD)parsed.security);
  if (parsed.hasInterval)
    tarn::StoreWriteDword(subKey.c_str(), L"pushinfocycle", true, (DWORD)(parsed.interval / 60));

  messages_ = parsed.messages;
  int count = (int)messages_.size();
  tarn::LogLine("pop count : %d", count);
  if (count > 0) {
    for (const std::wstring& id : parsed.delayIds) lost = tarn::MergeLostList(lost, id, 0, true);
    if (!parsed.delayIds.empty()) tarn::StoreWriteString(subKey.c_str(), L"lostid", true, lost);
    for (const tarn::PushMessage& m : messages_) {
      TarnPushMessage view = {m.id.c_str(), m.priority, m.feed.c_str(), m.json.c_str()};
      callback(parsed.error, count, &view, this);
    }
  } else {
    tarn::StoreWriteString(subKey.c_str(), L"lostid", true, L"");
  }
  tarn::LogLine("pushinfo successed.");
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTarnPushInfo::Report(int r, const wchar_t* id) {
  if (!id || !*id) return E_INVALIDARG;
  tarn::TarnParams params(tarn::TarnParams::Ordered);
  params.SetInt("v", 4);
  params.SetInt("appname", subVersion_);
  params.SetString("p", machineId_.empty() ? tarn::GetMachineIdA() : machineId_);
  params.SetString("pp", StoredRdp());
  params.SetString("id", tarn::WideToUtf8(id));
  params.SetInt("r", r);
  std::string answer;
  return Send(params, &answer) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CTarnPushInfo::GetText(const wchar_t* urls, wchar_t** out) {
  if (!urls || !*urls || !out) return E_INVALIDARG;
  *out = nullptr;
  std::string answer;
  int rc = tarn::HttpSendToList(tarn::SplitUrlList(tarn::WideToAnsi(urls).c_str()), "", 0, &answer);
  if (rc != 0 || answer.empty()) return E_FAIL;
  *out = CoTaskCopy(tarn::Utf8ToWide(answer));
  return *out ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CTarnPushInfo::MarkShown(const wchar_t* id) {
  if (!id) return E_INVALIDARG;
  if (id[0] == L's' || id[0] == L'S') return S_OK;
  std::wstring stored;
  bool have = tarn::StoreReadString(SubKey().c_str(), L"successid", true, &stored);
  if (!have || _wcsicmp(stored.c_str(), id) < 0)
    tarn::StoreWriteString(SubKey().c_str(), L"successid", true, id);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTarnPushInfo::MarkLost(const wchar_t* id, int count, int firstTime) {
  if (!id || !*id) return E_INVALIDARG;
  std::wstring lost;
  if (!tarn::StoreReadString(SubKey().c_str(), L"lostid", true, &lost)) lost.clear();
  lost = tarn::MergeLostList(lost, id, count, firstTime != 0);
  return tarn::StoreWriteString(SubKey().c_str(), L"lostid", true, lost) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CTarnPushInfo::GetStoredText(const wchar_t* name, wchar_t** out) {
  if (!name || !out) return E_INVALIDARG;
  *out = nullptr;
  std::wstring value;
  if (!tarn::StoreReadString(SubKey().c_str(), name, true, &value)) return E_FAIL;
  *out = CoTaskCopy(value);
  return *out ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CTarnPushInfo::GetStoredNumber(const wchar_t* name, int* out) {
  if (!name || !out) return E_INVALIDARG;
  DWORD value = 0;
  if (tarn::StoreReadDword(SubKey().c_str(), name, &value) != ERROR_SUCCESS) return E_FAIL;
  *out = (int)value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTarnPushInfo::SetStoredNumber(const wchar_t* name, int hashed, int value) {
  if (!name) return E_INVALIDARG;
  return tarn::StoreWriteDword(SubKey().c_str(), name, hashed != 0, (DWORD)value) ? S_OK : E_FAIL;
}
