#include "bedfile.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdlib>
#include <sstream>

#include "testsupport.h"

namespace bed {

std::string Env(const char* name) { return testsupport::EnvText(name); }
bool Has(const char* name) { return !Env(name).empty(); }

std::string HttpBase() { return "http://" + Env("QX_HTTP"); }
std::string DeadBase() { return "http://" + Env("QX_DEAD"); }
int HttpPort() {
  std::string hp = Env("QX_HTTP");
  size_t colon = hp.rfind(':');
  return colon == std::string::npos ? 0 : atoi(hp.c_str() + colon + 1);
}

std::string HttpsBase(const char* variable) { return "https://localhost:" + Env(variable); }

namespace {

std::vector<std::wstring>* gServerKeys = nullptr;

void ForgetServers() {
  for (const std::wstring& key : *gServerKeys) SHDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
}

}  // namespace

std::wstring ThisProgram() {
  wchar_t path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, n);
}

void SetServer(const std::wstring& module, const wchar_t* name, const std::string& address) {
  std::wstring key = L"Software\\Quillon\\Tarn\\Servers\\" + module;
  for (size_t i = key.size() - module.size(); i < key.size(); ++i)
    if (key[i] == L'\\') key[i] = L'/';
  if (!gServerKeys) {
    gServerKeys = new std::vector<std::wstring>;
    atexit(&ForgetServers);
  }
  gServerKeys->push_back(key);
  HKEY handle;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &handle, nullptr) != ERROR_SUCCESS)
    return;
  if (address.empty()) {
    RegDeleteValueW(handle, name);
  } else {
    std::wstring wide(address.begin(), address.end());
    RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   (DWORD)((wide.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(handle);
}

void SetServer(const std::string& module, const wchar_t* name, const std::string& address) {
  int n = MultiByteToWideChar(CP_ACP, 0, module.c_str(), (int)module.size(), nullptr, 0);
  std::wstring wide((size_t)n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, module.c_str(), (int)module.size(), &wide[0], n);
  SetServer(wide, name, address);
}

std::string Request::Header(const std::string& name) const {
  auto it = headers.find(name);
  return it == headers.end() ? std::string() : it->second;
}

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += (char)strtol(hex.substr(i, 2).c_str(), nullptr, 16);
  return out;
}

static std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return out;
}

static int gMark = 0;

void Mark() {
  std::vector<Request> all = ReadRequests();
  gMark = all.empty() ? gMark : all.back().seq;
}

std::vector<Request> ReadRequests() {
  std::vector<Request> out;
  std::string text;
  if (!testsupport::ReadWholeFile(Env("QX_LOG"), &text)) return out;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    Request r;
    for (const std::string& field : SplitTabs(line)) {
      size_t eq = field.find('=');
      if (eq == std::string::npos) continue;
      std::string key = field.substr(0, eq), value = FromHex(field.substr(eq + 1));
      if (key == "seq") r.seq = atoi(value.c_str());
      else if (key == "status") r.status = atoi(value.c_str());
      else if (key == "method") r.method = value;
      else if (key == "target") r.target = value;
      else if (key == "body") r.body = value;
      else if (key.compare(0, 2, "h:") == 0) r.headers[key.substr(2)] = value;
      else r.decoded[key] = value;
    }
    size_t q = r.target.find('?');
    r.path = r.target.substr(0, q);
    r.query = q == std::string::npos ? std::string() : r.target.substr(q + 1);
    if (r.seq > gMark) out.push_back(r);
  }
  return out;
}

std::vector<Request> RequestsTo(const std::string& prefix) {
  std::vector<Request> out;
  for (const Request& r : ReadRequests())
    if (r.path.compare(0, prefix.size(), prefix) == 0) out.push_back(r);
  return out;
}

std::vector<Request> WaitForRequests(const std::string& prefix, size_t count) {
  std::vector<Request> got;
  for (int i = 0; i < 600; ++i) {
    got = RequestsTo(prefix);
    if (got.size() >= count) break;
    Sleep(100);
  }
  return got;
}

std::vector<std::pair<std::string, std::string>> SplitPairs(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  if (text.empty()) return out;
  size_t start = 0;
  for (;;) {
    size_t amp = text.find('&', start);
    std::string item = text.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
    size_t eq = item.find('=');
    if (eq == std::string::npos)
      out.emplace_back(item, std::string());
    else
      out.emplace_back(item.substr(0, eq), item.substr(eq + 1));
    if (amp == std::string::npos) break;
    start = amp + 1;
  }
  return out;
}

std::vector<std::vector<std::string>> ReadVectors() {
  std::vector<std::vector<std::string>> out;
  std::string text;
  if (!testsupport::ReadWholeFile(Env("QX_VECTORS"), &text)) return out;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) out.push_back(SplitTabs(line));
  return out;
}

bool CopyInto(const std::string& src, const std::string& dst) {
  std::string folder = dst.substr(0, dst.rfind('\\'));
  CreateDirectoryA(folder.c_str(), nullptr);
  return CopyFileA(src.c_str(), dst.c_str(), FALSE) != 0;
}

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = path;
  return p.substr(0, p.rfind('\\') + 1);
}

namespace {

// Runs a program of the host on the Unix names of the given paths.
bool RunOnUnixNames(const char* program, const char* options, const std::wstring& a,
                    const std::wstring* b) {
  typedef char*(CDECL * UnixNameFn)(LPCWSTR);
  auto unixName = reinterpret_cast<UnixNameFn>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
  if (!unixName) return false;
  char* first = unixName(a.c_str());
  char* second = b ? unixName(b->c_str()) : nullptr;
  bool ok = false;
  if (first && (!b || second)) {
    std::string command = std::string(program) + " " + options + " \"" + first + "\"";
    if (second) command += std::string(" \"") + second + "\"";
    std::string exe = std::string("Z:") + program;
    for (char& c : exe)
      if (c == '/') c = '\\';
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
      // A host program's handle need not signal its end: the callers poll
      // for the effect instead.
      WaitForSingleObject(pi.hProcess, 30000);
      ok = true;
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
  }
  HeapFree(GetProcessHeap(), 0, first);
  HeapFree(GetProcessHeap(), 0, second);
  return ok;
}

}  // namespace

bool MakeFolderLink(const std::wstring& link, const std::wstring& target) {
  if (!RunOnUnixNames("/bin/ln", "-s", target, &link)) return false;
  // Wine may take a moment to see the new entry.
  for (int i = 0; i < 200; ++i) {
    DWORD a = GetFileAttributesW(link.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    Sleep(50);
  }
  return false;
}

bool RemoveFolderLink(const std::wstring& link) {
  RunOnUnixNames("/bin/rm", "-f", link, nullptr);
  for (int i = 0; i < 200; ++i) {
    if (GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    Sleep(50);
  }
  return false;
}

}  // namespace bed
