#include "http.h"

// curl brings winsock2.h, which must come before windows.h.
#include <curl/curl.h>

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwctype>

#include "modinfo.h"
#include "params.h"
#include "regstore.h"
#include "svclog.h"
#include "textconv.h"

namespace tarn {

namespace {

// What a request keeps of its answer: nothing when the caller wants none
// (statistics), else the first kMaxKeptAnswerBytes; the rest is read and
// dropped, so that no answer, however long, grows the host's memory.
struct Answer {
  bool keep = false;  // statistics want no answer at all
  std::string text;
};

size_t WriteChunk(char* data, size_t size, size_t count, void* user) {
  Answer* answer = static_cast<Answer*>(user);
  size_t bytes = size * count;
  if (answer->keep && answer->text.size() < kMaxKeptAnswerBytes)
    answer->text.append(data, std::min(bytes, kMaxKeptAnswerBytes - answer->text.size()));
  return bytes;
}

// One request: POST when body is non-null, else GET.
int Perform(const std::string& url, const void* body, size_t bodyLength, std::string* response) {
  CurlGlobalInitOnce();
  CURL* curl = curl_easy_init();
  if (!curl) return kHttpNoHandle;

  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, body ? "Content-Type: application/x-www-form-urlencoded"
                                            : "Content-Type: application/octet-stream");
  headers = curl_slist_append(headers, "User-Agent: Mozilla/4.0");
  headers = curl_slist_append(headers, "Accept: */*");

  Answer answer;
  answer.keep = response != nullptr;
  CURLcode rc = curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  if (rc == CURLE_OK) {
    if (body) {
      rc = curl_easy_setopt(curl, CURLOPT_POST, 1L);
      if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body);
      if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, (long)bodyLength);
    } else {
      rc = curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }
  }
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_TIMEOUT, kHttpTimeoutSeconds);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kHttpTimeoutSeconds);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteChunk);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);

  int result = rc;
  if (rc == CURLE_OK) result = ApplyProxy(curl);
  if (result == 0) result = curl_easy_perform(curl);
  if (result == 0) {
    long status = 0;
    CURLcode info = curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (info != CURLE_OK || status == 200) {
      if (!answer.text.empty() && response) *response = answer.text;
      result = info;
    } else {
      result = (int)status;
    }
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return result;
}

}  // namespace

void CurlGlobalInitOnce() {
  // A function-local static is initialised by exactly one thread while the
  // others wait.
  static const bool done = [] { return curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK; }();
  (void)done;
}

UrlList SplitUrlList(const char* text) {
  UrlList urls;
  if (!text) return urls;
  std::string all = text;
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(';', start);
    if (end == std::string::npos) end = all.size();
    if (end > start) urls.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return urls;
}

int HttpFormPost(const char* url, const void* data, size_t length, std::string* response) {
  static const char kEmpty[] = "";
  return Perform(url ? url : "", data ? data : kEmpty, data ? length : 0, response);
}

int HttpGet(const char* url, const char* query, std::string* response) {
  std::string full = url ? url : "";
  if (query) full = FormatA("%s?%s", full.c_str(), query);
  return Perform(full, nullptr, 0, response);
}

int HttpSendToList(const UrlList& urls, const std::string& text, int mode, std::string* response) {
  int result = kHttpEmptyList;
  for (const std::string& url : urls) {
    LogLine("%s", text.c_str());
    result = mode == 1 ? HttpFormPost(url.c_str(), text.data(), text.size(), response)
                       : HttpGet(url.c_str(), text.c_str(), response);
    if (result == 0) break;
  }
  return result;
}

int HttpSendParamsToList(const TarnParams& params, const UrlList& urls, int mode,
                         std::string* response) {
  return HttpSendToList(urls, params.Serialize(), mode, response);
}

// ---- proxy -----------------------------------------------------------------

bool ParseSystemProxy(const std::wstring& text, ProxySettings* out) {
  if (text.empty()) return false;
  std::wstring lower = text;
  for (wchar_t& c : lower) c = (wchar_t)towlower(c);

  // The system text may list one proxy per protocol ("http=a:1;https=b:2"):
  // the chosen entry runs to the next ';', not to the end of the text.
  auto entry = [&lower](size_t at) {
    size_t end = lower.find(L';', at);
    return lower.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
  };
  std::wstring server;
  size_t at;
  if ((at = lower.find(L"socks=")) != std::wstring::npos) {
    out->mode = kProxySocks5;
    server = entry(at + 6);
  } else {
    out->mode = kProxyHttp;
    at = lower.find(L"http=");
    server = at != std::wstring::npos ? entry(at + 5) : lower;
  }
  size_t colon = server.find(L':');
  long port = 0;
  if (colon != std::wstring::npos) {
    port = StrToIntW(server.c_str() + colon + 1);
    server.resize(colon);
  }
  out->host = server;
  out->port = port == 0 ? 80 : port;
  return true;
}

ProxySettings ReadProxySettings() {
  ProxySettings s;
  QRegKey key;
  std::wstring path = StoreKeyPath(ProductSubKey(ProductId()).c_str());
  if (key.Open(HKEY_CURRENT_USER, path.c_str(), KEY_READ) != ERROR_SUCCESS) return s;

  DWORD mode = 0;
  if (key.QueryDword(L"Proxy Mode", &mode) != ERROR_SUCCESS) return s;
  if (mode == kProxySystem) {
    QRegKey inet;
    DWORD enable = 0;
    std::wstring server;
    if (inet.Open(HKEY_CURRENT_USER,
                  L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                  KEY_READ) != ERROR_SUCCESS ||
        inet.QueryDword(L"ProxyEnable", &enable) != ERROR_SUCCESS || !enable ||
        inet.QueryString(L"ProxyServer", &server, MAX_PATH) != ERROR_SUCCESS ||
        !ParseSystemProxy(server, &s)) {
      return ProxySettings();
    }
  } else if (mode == kProxyHttp || mode == kProxySocks5 || mode == kProxyDefault) {
    DWORD port = 0;
    s.mode = (int)mode;
    s.port = key.QueryDword(L"Proxy Port", &port) == ERROR_SUCCESS ? (long)port : 80;
    if (key.QueryString(L"Proxy Host", &s.host, MAX_PATH) != ERROR_SUCCESS) s.host.clear();
  } else {
    return s;
  }
  if (s.host.empty()) return ProxySettings();

  DWORD auth = 0;
  if (key.QueryDword(L"Proxy Authorization", &auth) == ERROR_SUCCESS && auth) {
    s.authorize = true;
    if (key.QueryString(L"Proxy User", &s.user, MAX_PATH) != ERROR_SUCCESS) s.user.clear();
    if (key.QueryString(L"Proxy Password", &s.password, MAX_PATH) != ERROR_SUCCESS)
      s.password.clear();
  }
  return s;
}

int ApplyProxy(CURL* curl) {
  if (!curl) return 0;
  ProxySettings s = ReadProxySettings();
  // No proxy means none: libcurl would otherwise take one from the
  // environment (http_proxy, https_proxy, ALL_PROXY), which anyone who starts
  // the program can set.
  if (s.mode == kProxyNone || s.host.empty()) return curl_easy_setopt(curl, CURLOPT_PROXY, "");
  CURLcode rc = CURLE_OK;
  if (s.mode == kProxyHttp)
    rc = curl_easy_setopt(curl, CURLOPT_PROXYTYPE, (long)CURLPROXY_HTTP);
  else if (s.mode == kProxySocks5)
    rc = curl_easy_setopt(curl, CURLOPT_PROXYTYPE, (long)CURLPROXY_SOCKS5);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_NOPROXY, "");  // nor no_proxy
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_PROXYPORT, s.port);
  std::string host = WideToAnsi(s.host);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_PROXY, host.c_str());
  if (rc == CURLE_OK && s.authorize) {
    std::string userpwd = FormatA("%s:%s", WideToAnsi(s.user).c_str(), WideToAnsi(s.password).c_str());
    rc = curl_easy_setopt(curl, CURLOPT_PROXYAUTH, (long)CURLAUTH_BASIC);
    if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_PROXYUSERPWD, userpwd.c_str());
  }
  return rc;
}

}  // namespace tarn
