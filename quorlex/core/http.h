// Synchronous HTTP over libcurl's easy interface: a form POST, a GET with a
// query, sending to a list of alternative addresses, and the proxy set-up
// every request gets from the registry.
//
// Result codes: 0 success; 2 no curl handle; a libcurl error code when an
// option or the transfer fails; otherwise the HTTP status when it is not 200;
// 89 for an empty address list.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

typedef void CURL;

namespace tarn {

class TarnParams;

constexpr int kHttpNoHandle = 2;
constexpr int kHttpEmptyList = 89;
constexpr long kHttpTimeoutSeconds = 15;
// The most of an answer a request keeps (the rest is read and dropped):
// statistics and push answers are a few hundred bytes.
constexpr size_t kMaxKeptAnswerBytes = 64u << 10;

// Primary first, then relays.
typedef std::vector<std::string> UrlList;
// Splits "url1;url2" at ';', dropping empty parts.
UrlList SplitUrlList(const char* text);

// Runs curl_global_init once for the process, whichever thread asks first
// (it is not safe to run from two threads at once). Every request calls it.
void CurlGlobalInitOnce();

int HttpFormPost(const char* url, const void* data, size_t length, std::string* response);
int HttpGet(const char* url, const char* query, std::string* response);
// mode 0: GET with text as the query; 1: form POST with text as the body.
// Tries each address once, in order, until one gives 0; returns the result of
// the last one tried.
int HttpSendToList(const UrlList& urls, const std::string& text, int mode, std::string* response);
int HttpSendParamsToList(const TarnParams& params, const UrlList& urls, int mode,
                         std::string* response);

// Proxy settings under HKCU\Software\Quillon\Tarn\<product id>.
enum ProxyMode { kProxyNone = 0, kProxySystem = 1, kProxyHttp = 2, kProxySocks5 = 3, kProxyDefault = 4 };
struct ProxySettings {
  int mode = kProxyNone;  // after resolving the system settings: 0, 2, 3 or 4
  std::wstring host;
  long port = 80;
  bool authorize = false;
  std::wstring user;
  std::wstring password;
};

// The proxy a request of the current product uses (registry read afresh).
ProxySettings ReadProxySettings();
// The system text ("ProxyServer") as mode 1 reads it: "socks=" gives SOCKS5,
// "http=" or a bare "host[:port]" gives HTTP. false when text is empty.
bool ParseSystemProxy(const std::wstring& text, ProxySettings* out);
// Applies ReadProxySettings() to a handle; 0 or the first failing option's code.
// The proxy variables of the environment are never used.
int ApplyProxy(CURL* handle);

}  // namespace tarn
