#include "updbed.h"

#include <wincrypt.h>
#include <tlhelp32.h>
#include <psapi.h>

#include <algorithm>
#include <cwchar>
#include <sstream>

#include "bedfile.h"
#include "hashing.h"
#include "testsupport.h"

namespace updbed {

namespace {

std::wstring Convert(UINT cp, const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(cp, 0, s.data(), (int)s.size(), nullptr, 0);
  std::wstring w((size_t)n, L'\0');
  MultiByteToWideChar(cp, 0, s.data(), (int)s.size(), &w[0], n);
  return w;
}

void MakeFolders(const std::wstring& file) {
  size_t slash = file.rfind(L'\\');
  if (slash == std::wstring::npos || slash < 3) return;
  std::wstring folder = file.substr(0, slash);
  if (IsFolder(folder)) return;
  MakeFolders(folder);
  CreateDirectoryW(folder.c_str(), nullptr);
}

void ListInto(const std::wstring& base, const std::wstring& rel, std::vector<std::wstring>* out) {
  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileW((base + rel + L"*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = d.cFileName;
    if (name == L"." || name == L"..") continue;
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListInto(base, rel + name + L"\\", out);
    else
      out->push_back(rel + name);
  } while (FindNextFileW(h, &d));
  FindClose(h);
}

const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kRenames[] = L"PendingFileRenameOperations";

std::vector<std::wstring> ReadRenameList() {
  std::vector<std::wstring> items;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return items;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, kRenames, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size) {
    std::wstring data(size / sizeof(wchar_t) + 2, L'\0');
    RegQueryValueExW(key, kRenames, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    data.resize(size / sizeof(wchar_t));
    // Pairs of NUL-terminated strings; an empty target is a deletion, so the
    // list cannot be split at empty strings alone.
    size_t pos = 0;
    while (pos < data.size()) {
      size_t end = data.find(L'\0', pos);
      if (end == std::wstring::npos) end = data.size();
      items.push_back(data.substr(pos, end - pos));
      pos = end + 1;
    }
  }
  RegCloseKey(key);
  // Drop the list's final terminator(s) beyond the last pair.
  while (items.size() % 2 == 1 || (items.size() >= 2 && items[items.size() - 2].empty()))
    items.pop_back();
  return items;
}

std::wstring Plain(std::wstring nt) {
  if (!nt.empty() && nt[0] == L'!') nt.erase(0, 1);
  if (nt.compare(0, 4, L"\\??\\") == 0) nt.erase(0, 4);
  return nt;
}

bool Below(const std::wstring& path, const std::wstring& folder) {
  return path.size() > folder.size() && _wcsnicmp(path.c_str(), folder.c_str(), folder.size()) == 0;
}

}  // namespace

std::wstring W(const std::string& utf8) { return Convert(CP_UTF8, utf8); }
std::wstring FromAnsi(const std::string& ansi) { return Convert(CP_ACP, ansi); }

std::string U(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
  std::string s((size_t)n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
  return s;
}

std::wstring Scratch(const std::string& sub) { return FromAnsi(testsupport::ScratchDir(sub)); }

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadBytes(const std::wstring& path, std::string* out) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  out->clear();
  char buf[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(h, buf, sizeof buf, &got, nullptr) != FALSE) && got) out->append(buf, got);
  CloseHandle(h);
  return ok;
}

bool WriteBytes(const std::wstring& path, const std::string& data) {
  MakeFolders(path);
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  BOOL ok = data.empty() || WriteFile(h, data.data(), (DWORD)data.size(), &done, nullptr);
  CloseHandle(h);
  return ok && done == data.size();
}

std::string Md5(const std::wstring& path) {
  std::string data;
  if (!ReadBytes(path, &data)) return std::string();
  return tarn::Md5Hex(data);
}

bool CopyInto(const std::wstring& src, const std::wstring& dst) {
  MakeFolders(dst);
  return CopyFileW(src.c_str(), dst.c_str(), FALSE) != FALSE;
}

std::vector<std::wstring> ListFiles(const std::wstring& folder) {
  std::vector<std::wstring> out;
  std::wstring base = folder;
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  ListInto(base, L"", &out);
  std::sort(out.begin(), out.end());
  return out;
}

std::wstring ProgramFolder() { return FromAnsi(bed::ProgramFolder()); }

std::wstring TreeFolder() { return FromAnsi(bed::Env("QX_UPDATE_TREE")) + L"\\"; }

std::vector<Expect> ReadExpect(const std::string& scenario) {
  std::vector<Expect> out;
  std::string text;
  if (!ReadBytes(TreeFolder() + L"expect\\" + W(scenario) + L".tsv", &text)) return out;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    Expect e;
    size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1);
    e.kind = line.substr(0, t1);
    e.path = W(line.substr(t1 + 1, t2 - t1 - 1));
    e.value = t2 == std::string::npos ? std::wstring() : W(line.substr(t2 + 1));
    out.push_back(e);
  }
  return out;
}

std::vector<Expect> ExpectOf(const std::vector<Expect>& all, const std::string& kind) {
  std::vector<Expect> out;
  for (const Expect& e : all)
    if (e.kind == kind) out.push_back(e);
  return out;
}

void SeedLocal(const std::string& scenario, const std::wstring& root) {
  std::wstring from = TreeFolder() + L"local\\" + W(scenario) + L"\\";
  for (const std::wstring& rel : ListFiles(from)) CopyInto(from + rel, root + rel);
}

std::wstring ExpectValue(const std::vector<Expect>& all, const std::string& kind,
                         const std::wstring& path) {
  for (const Expect& e : all)
    if (e.kind == kind && e.path == path) return e.value;
  return std::wstring();
}

std::string ScenarioUrl(const std::string& scenario) { return bed::HttpsBase() + "/upd/" + scenario; }

void UseScenario(const std::string& scenario, const std::wstring& module) {
  TrustTestCa();
  bed::SetServer(module, L"Update", ScenarioUrl(scenario));
}

namespace {

std::string* gTestCa = nullptr;  // DER

HCERTSTORE MachineRoot() {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
}

void DistrustTestCa() {
  HCERTSTORE root = MachineRoot();
  PCCERT_CONTEXT ca = CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(gTestCa->data()), (DWORD)gTestCa->size());
  PCCERT_CONTEXT found = root && ca ? CertFindCertificateInStore(root, X509_ASN_ENCODING, 0,
                                                                 CERT_FIND_EXISTING, ca, nullptr)
                                    : nullptr;
  if (found) CertDeleteCertificateFromStore(found);  // frees found
  if (ca) CertFreeCertificateContext(ca);
  if (root) CertCloseStore(root, 0);
}

}  // namespace

void TrustTestCa() {
  if (gTestCa) return;
  std::string der;
  if (!ReadBytes(FromAnsi(bed::Env("QX_TEST_CA")), &der)) return;
  // No context is kept: Wine writes the store to the registry only when its
  // last reference goes, and a chain built later reads the registry.
  HCERTSTORE root = MachineRoot();
  if (root && CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING,
                                               reinterpret_cast<const BYTE*>(der.data()),
                                               (DWORD)der.size(), CERT_STORE_ADD_REPLACE_EXISTING,
                                               nullptr)) {
    gTestCa = new std::string(der);
    atexit(&DistrustTestCa);
  }
  if (root) CertCloseStore(root, 0);
}

size_t CountRequests(const std::string& part) {
  size_t n = 0;
  for (const bed::Request& r : bed::ReadRequests())
    if (r.path.find(part) != std::string::npos) ++n;
  return n;
}

HANDLE Start(const std::wstring& program, const std::wstring& commandLine) {
  std::wstring line = commandLine;
  line.push_back(L'\0');
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &si, &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

bool WaitEnded(HANDLE process, int seconds) {
  return process && WaitForSingleObject(process, (DWORD)seconds * 1000) == WAIT_OBJECT_0;
}

void EndProcess(HANDLE process) {
  if (!process) return;
  TerminateProcess(process, 0);
  WaitForSingleObject(process, 10000);
  CloseHandle(process);
}

std::vector<DWORD> ProcessesOf(const std::wstring& program) {
  std::vector<DWORD> ids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W pe = {sizeof pe};
  if (Process32FirstW(snap, &pe)) {
    do {
      HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pe.th32ProcessID);
      if (!p) continue;
      wchar_t path[MAX_PATH + 1] = {};
      if (GetModuleFileNameExW(p, nullptr, path, MAX_PATH) && _wcsicmp(path, program.c_str()) == 0) {
        DWORD code = 0;
        if (GetExitCodeProcess(p, &code) && code == STILL_ACTIVE) ids.push_back(pe.th32ProcessID);
      }
      CloseHandle(p);
    } while (Process32NextW(snap, &pe));
  }
  CloseHandle(snap);
  return ids;
}

bool WaitForFile(const std::wstring& path, int seconds) {
  for (int i = 0; i < seconds * 20; ++i) {
    if (Exists(path)) return true;
    Sleep(50);
  }
  return Exists(path);
}

std::vector<std::pair<std::wstring, std::wstring>> RebootRenames(const std::wstring& folder) {
  std::vector<std::pair<std::wstring, std::wstring>> out;
  std::vector<std::wstring> items = ReadRenameList();
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    std::wstring from = Plain(items[i]), to = Plain(items[i + 1]);
    if (Below(from, folder) || Below(to, folder)) out.emplace_back(from, to);
  }
  return out;
}

void ForgetRebootRenames(const std::wstring& folder) {
  std::vector<std::wstring> items = ReadRenameList();
  std::wstring kept;
  size_t pairs = 0;
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    if (Below(Plain(items[i]), folder) || Below(Plain(items[i + 1]), folder)) continue;
    kept += items[i];
    kept += L'\0';
    kept += items[i + 1];
    kept += L'\0';
    ++pairs;
  }
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  if (pairs == 0) {
    RegDeleteValueW(key, kRenames);
  } else {
    kept += L'\0';
    RegSetValueExW(key, kRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                   (DWORD)(kept.size() * sizeof(wchar_t)));
  }
  RegCloseKey(key);
}

}  // namespace updbed
