// What the test bed (testbed.py) gives a test: addresses of the loopback
// servers and proxies, the request log of the HTTP server, the vectors file.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace bed {

std::string Env(const char* name);  // "" when unset
bool Has(const char* name);

// "http://127.0.0.1:port" of the HTTP server and of the dead address.
std::string HttpBase();
std::string DeadBase();
int HttpPort();
// "https://localhost:port" of the TLS server named by the variable (QX_HTTPS,
// QX_HTTPS_WRONGHOST, QX_HTTPS_SELFSIGNED).
std::string HttpsBase(const char* variable = "QX_HTTPS");

// The library takes its server addresses only from an administrator's values
// for its installation: HKLM\Software\Quillon\Tarn\Servers\<full path of
// the library's file, '/' for '\'>, names "Update", "StatAction", "StatNode",
// "Push". The tests run as administrator and write them there for their own
// copy of the library (module: the DLL, or the test program that links the
// library); no other program of the prefix is affected. An empty address
// removes the value; every key written is removed when the test program ends.
void SetServer(const std::wstring& module, const wchar_t* name, const std::string& address);
void SetServer(const std::string& module, const wchar_t* name, const std::string& address);
// The running program (for tests that link the library).
std::wstring ThisProgram();

struct Request {
  int seq = 0;
  int status = 0;  // what the server answered (0: it never answered)
  std::string method, target, path, query, body;
  std::map<std::string, std::string> headers;  // lower-case names
  std::map<std::string, std::string> decoded;  // sec1, sec2, sec3 or node
  bool Has(const std::string& key) const { return decoded.count(key) != 0; }
  std::string Header(const std::string& name) const;
};

std::vector<Request> ReadRequests();
// Forgets the requests logged so far: later calls see only newer ones.
void Mark();
// Requests whose path begins with prefix.
std::vector<Request> RequestsTo(const std::string& prefix);
// Polls until at least count requests to prefix are logged (or 60 s pass).
std::vector<Request> WaitForRequests(const std::string& prefix, size_t count);

// name=value pairs of an '&'-joined text, in order.
std::vector<std::pair<std::string, std::string>> SplitPairs(const std::string& text);

std::string FromHex(const std::string& hex);

// Lines of the vectors file, split at tabs.
std::vector<std::vector<std::string>> ReadVectors();

// Copies src to dst (Windows paths), creating dst's folder.
bool CopyInto(const std::string& src, const std::string& dst);
// Folder of the running program, with a trailing backslash.
std::string ProgramFolder();

// Makes link a symbolic link to the folder target (both Windows paths, link
// not existing yet). Wine makes no links of its own; the host's ln makes one,
// which Wine shows as a reparse point. false when it could not be made.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target);
// Removes such a link (not what it points to); true when it is gone.
bool RemoveFolderLink(const std::wstring& link);

}  // namespace bed
