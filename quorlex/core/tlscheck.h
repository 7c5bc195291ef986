// Transfers that install code accept nothing but HTTPS from a server whose
// certificate Windows trusts for the address's host name.
//
// schannel checks the certificate itself on Windows; the library checks it
// once more with the system's own chain engine and SSL policy, before the
// request is sent, so that a TLS layer that checks less (Wine's accepts any
// certificate) still refuses a server that is not the one named.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>

typedef void CURL;

namespace tarn {

// What the check found on one transfer (owned by the caller, lives as long as
// the transfer).
struct TlsGuard {
  CURL* curl = nullptr;
  long refusal = 0;  // 0, or the CERT_E_ / trust error of the refused certificate
};

// https only, TLS 1.2 or later where the system has it (Windows 7 on), peer
// and host verification on, revocation checked where its servers answer, and
// the certificate check below before the request. 0 or the first failing
// option's code.
int RequireVerifiedHttps(CURL* curl, TlsGuard* guard);

// 0 when cert (with the intermediates the server sent in its store) chains to
// a trusted root, is valid now and for server authentication, is not revoked
// (a status that cannot be learned is logged and allowed) and names host;
// else a CERT_E_ code (CERT_E_CHAINING for an incomplete chain,
// CRYPT_E_REVOKED for a revoked certificate).
long CheckServerCertificate(PCCERT_CONTEXT cert, const std::wstring& host);

}  // namespace tarn
