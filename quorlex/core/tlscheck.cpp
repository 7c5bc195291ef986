// curl brings winsock2.h, which must come before windows.h.
#include <curl/curl.h>

#include "tlscheck.h"

#define SECURITY_WIN32
#include <security.h>
#include <schannel.h>

#include <set>

#include "svclog.h"
#include "textconv.h"

namespace tarn {

namespace {

// Trust bits that say nothing against the certificate: the obsolete nesting
// test, and a revocation status that could not be learned (no list named, or
// its server did not answer). Windows allows those by default; the library
// does too, and says so in its log. A certificate found revoked is refused.
const DWORD kUnknownRevocationBits =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
const DWORD kHarmlessTrustBits = CERT_TRUST_IS_NOT_TIME_NESTED | kUnknownRevocationBits;

// TLS 1.2 where schannel has it: Windows 7 and later (as the kernel reports
// its version, which no compatibility shim changes). XP and Vista keep what
// they have.
bool SystemHasTls12() {
  typedef LONG(WINAPI * RtlGetVersionFn)(OSVERSIONINFOW*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto getVersion =
      ntdll ? reinterpret_cast<RtlGetVersionFn>(GetProcAddress(ntdll, "RtlGetVersion")) : nullptr;
  OSVERSIONINFOW v = {};
  v.dwOSVersionInfoSize = sizeof v;
  if (!getVersion || getVersion(&v) != 0) return false;
  return v.dwMajorVersion > 6 || (v.dwMajorVersion == 6 && v.dwMinorVersion >= 1);
}

long TrustError(DWORD bits) {
  if (bits & CERT_TRUST_IS_NOT_TIME_VALID) return CERT_E_EXPIRED;
  if (bits & CERT_TRUST_IS_REVOKED) return CRYPT_E_REVOKED;
  if (bits & CERT_TRUST_IS_UNTRUSTED_ROOT) return CERT_E_UNTRUSTEDROOT;
  if (bits & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return CERT_E_WRONG_USAGE;
  if (bits & CERT_TRUST_IS_PARTIAL_CHAIN) return CERT_E_CHAINING;
  return TRUST_E_FAIL;
}

std::wstring HostOf(const char* url) {
  std::wstring host;
  CURLU* parts = curl_url();
  char* text = nullptr;
  if (parts && url && curl_url_set(parts, CURLUPART_URL, url, 0) == CURLUE_OK &&
      curl_url_get(parts, CURLUPART_HOST, &text, 0) == CURLUE_OK && text)
    host = Utf8ToWide(text);
  curl_free(text);
  curl_url_cleanup(parts);
  return host;
}

// SHA-1 of the certificate's encoding, as hex.
std::string Thumbprint(PCCERT_CONTEXT cert) {
  BYTE hash[20];
  DWORD size = sizeof hash;
  if (!CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size)) return "";
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (DWORD i = 0; i < size; ++i) {
    out += kHex[hash[i] >> 4];
    out += kHex[hash[i] & 15];
  }
  return out;
}

CRITICAL_SECTION* RevokedLock() {
  static CRITICAL_SECTION* lock = [] {
    static CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    return &cs;
  }();
  return lock;
}

std::set<std::string>& RevokedSet() {
  static std::set<std::string> set;
  return set;
}

bool IsKnownRevoked(const std::string& thumb) {
  if (thumb.empty()) return false;
  EnterCriticalSection(RevokedLock());
  bool known = RevokedSet().count(thumb) != 0;
  LeaveCriticalSection(RevokedLock());
  return known;
}

void RememberRevoked(const std::string& thumb) {
  if (thumb.empty()) return;
  EnterCriticalSection(RevokedLock());
  if (RevokedSet().size() < 1024) RevokedSet().insert(thumb);
  LeaveCriticalSection(RevokedLock());
}

// Runs once the connection (TLS included) stands, before the request.
int CheckBeforeRequest(void* user, char*, char*, int, int) {
  TlsGuard* guard = static_cast<TlsGuard*>(user);
  curl_tlssessioninfo* tls = nullptr;
  char* url = nullptr;
  PCCERT_CONTEXT cert = nullptr;
  long refusal = TRUST_E_NOSIGNATURE;
  if (curl_easy_getinfo(guard->curl, CURLINFO_TLS_SSL_PTR, &tls) == CURLE_OK && tls &&
      tls->backend == CURLSSLBACKEND_SCHANNEL && tls->internals &&
      QueryContextAttributesW(static_cast<CtxtHandle*>(tls->internals),
                              SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) == SEC_E_OK &&
      cert && curl_easy_getinfo(guard->curl, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK) {
    refusal = CheckServerCertificate(cert, HostOf(url));
  }
  if (cert) CertFreeCertificateContext(cert);
  guard->refusal = refusal;
  if (refusal == 0) return CURL_PREREQFUNC_OK;
  LogLine("server certificate refused: 0x%08lX", (unsigned long)refusal);
  return CURL_PREREQFUNC_ABORT;
}

}  // namespace

long CheckServerCertificate(PCCERT_CONTEXT cert, const std::wstring& host) {
  if (!cert || host.empty()) return CERT_E_CN_NO_MATCH;
  // A certificate once found revoked stays refused for the life of the
  // process, whatever a cached or unreachable list says later.
  std::string thumb = Thumbprint(cert);
  if (IsKnownRevoked(thumb)) return CRYPT_E_REVOKED;
  static char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA para = {};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &para,
                               CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT, nullptr, &chain) ||
      !chain)
    return CERT_E_CHAINING;

  long result = 0;
  if (chain->TrustStatus.dwErrorStatus & kUnknownRevocationBits)
    LogLine("server certificate: revocation status unknown (allowed)");
  DWORD bits = chain->TrustStatus.dwErrorStatus & ~kHarmlessTrustBits;
  if (bits) {
    result = TrustError(bits);
  } else {
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
    // A revocation status that could not be learned was allowed above; one
    // found revoked never gets here.
    ssl.fdwChecks = 0x00000080;  // SECURITY_FLAG_IGNORE_REVOCATION
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
      result = TRUST_E_FAIL;
    else
      result = (long)status.dwError;
  }
  CertFreeCertificateChain(chain);
  if (result == CRYPT_E_REVOKED) RememberRevoked(thumb);
  return result;
}

int RequireVerifiedHttps(CURL* curl, TlsGuard* guard) {
  guard->curl = curl;
  guard->refusal = 0;
  CURLcode rc = curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  // A revocation server that cannot be reached (a firewall, no network for
  // it) must not stop updates; a certificate found revoked still does.
  if (rc == CURLE_OK)
    rc = curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, (long)CURLSSLOPT_REVOKE_BEST_EFFORT);
  if (rc == CURLE_OK && SystemHasTls12())
    rc = curl_easy_setopt(curl, CURLOPT_SSLVERSION, (long)CURL_SSLVERSION_TLSv1_2);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &CheckBeforeRequest);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_PREREQDATA, guard);
  return rc;
}

}  // namespace tarn
