// curl brings winsock2.h, which must come before windows.h.
#include <curl/curl.h>

#include "tlscheck.h"

#define SECURITY_WIN32
#include <security.h>
#include <schannel.h>

#include "svclog.h"
#include "textconv.h"

namespace tarn {

namespace {

// Trust bits that say nothing against the certificate: the obsolete nesting
// test, and a revocation list that could not be fetched (schannel has made
// its own best-effort revocation check).
const DWORD kHarmlessTrustBits =
    CERT_TRUST_IS_NOT_TIME_NESTED | CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
    CERT_TRUST_IS_OFFLINE_REVOCATION;

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
  static char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA para = {};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &para, 0, nullptr,
                               &chain) || !chain)
    return CERT_E_CHAINING;

  long result = 0;
  DWORD bits = chain->TrustStatus.dwErrorStatus & ~kHarmlessTrustBits;
  if (bits) {
    result = TrustError(bits);
  } else {
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
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
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &CheckBeforeRequest);
  if (rc == CURLE_OK) rc = curl_easy_setopt(curl, CURLOPT_PREREQDATA, guard);
  return rc;
}

}  // namespace tarn
