#include "ntfs_fixture.h"

#include <gtest/gtest.h>

#include <cstring>

#include "deleted/delscan.h"
#include "messages.h"
#include "testsupport.h"
#include "winsupport.h"

namespace ntfstest {

std::vector<std::string> gProgressTexts;

namespace {

using testsupport::Split;

std::vector<std::vector<std::string>> Rows(const std::string& file, char sep) {
  std::vector<std::vector<std::string>> rows;
  EXPECT_TRUE(testsupport::ReadTable(file, sep, &rows)) << file;
  return rows;
}

LRESULT CALLBACK ProgressProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  // The text is the sender's: it is copied while the message is handled, and
  // only a sent message guarantees that it is still there.
  if (m == WM_DELSCAN_PROGRESS) {
    EXPECT_TRUE(InSendMessage()) << "progress text posted";
    gProgressTexts.push_back(reinterpret_cast<const char*>(l));
  }
  return DefWindowProcA(h, m, w, l);
}

HWND Receiver() {
  static HWND window = testsupport::MessageWindow("NtfsScanReceiver", ProgressProc);
  return window;
}

}  // namespace

bool FixtureFile::Has(const std::string& tag) const {
  for (const std::string& t : tags)
    if (t == tag) return true;
  return false;
}

std::string FixtureFile::Tag(const std::string& prefix) const {
  for (const std::string& t : tags)
    if (t.compare(0, prefix.size() + 1, prefix + "=") == 0) return t.substr(prefix.size() + 1);
  return std::string();
}

std::vector<FixtureFile> ReadFixtureFiles(const std::string& fixture) {
  std::vector<FixtureFile> out;
  for (const std::vector<std::string>& f : Rows(testsupport::FixtureDir(fixture) + "files.tsv", '\t')) {
    if (f.size() < 6) continue;
    FixtureFile e;
    e.path = f[0];
    e.size = std::stoull(f[1]);
    e.sha256 = f[2];
    e.deleted = f[3] == "1";
    e.record = std::stoll(f[4]);
    if (!f[5].empty()) e.tags = Split(f[5], ',');
    out.push_back(e);
  }
  return out;
}

std::vector<OracleFile> ReadOracle(const std::string& fixture) {
  std::vector<OracleFile> out;
  // md5|name|inode|mode|uid|gid|size|atime|mtime|ctime|crtime; the name may
  // hold '|' only in theory: the fixtures have none.
  for (const std::vector<std::string>& f : Rows(testsupport::FixtureDir(fixture) + "fls.body", '|')) {
    if (f.size() != 11) continue;
    std::string name = f[1];
    const std::string deleted = " (deleted)";
    if (name.size() < deleted.size() || name.compare(name.size() - deleted.size(), deleted.size(), deleted) != 0)
      continue;   // "(deleted-realloc)" names a record in use again
    name.resize(name.size() - deleted.size());
    if (name.find(" ($FILE_NAME)") != std::string::npos) continue;
    if (f[3].find("/d") != std::string::npos) continue;          // folders
    const std::string last = name.substr(name.rfind('/') + 1);
    if (last.find(':') != std::string::npos) continue;           // named streams
    OracleFile o;
    o.path = name;
    o.record = std::stoull(f[2].substr(0, f[2].find('-')));
    o.size = std::stoull(f[6]);
    o.atime = std::stoll(f[7]);
    o.mtime = std::stoll(f[8]);
    o.crtime = std::stoll(f[10]);
    out.push_back(o);
  }
  return out;
}

std::string SafeName(const std::string& name) {
  std::string s = name;
  bool dotsAndSpaces = true;
  for (char& c : s) {
    if (c == '\\' || c == '/' || c == ':' || (static_cast<unsigned char>(c) < 0x20)) c = '_';
    if (c != '.' && c != ' ') dotsAndSpaces = false;
  }
  if (dotsAndSpaces)
    for (char& c : s)
      if (c == '.') c = '_';
  return s;
}

std::string SafePath(const std::string& path) {
  std::string out;
  for (const std::string& part : Split(path, '/'))
    if (!part.empty()) out += "\\" + SafeName(part);
  return out;
}

int RunScan(const char* target) {
  HWND window = Receiver();
  gProgressTexts.clear();
  DeletedScanRequest req = {};
  req.window = window;
  std::strncpy(req.target, target, sizeof req.target - 1);
  int result = 0;
  testsupport::RunPumping([&] { result = RunDeletedFileScan(req); });
  return result;
}

int64_t UnixSeconds(const SYSTEMTIME& local) {
  FILETIME lft, ft;
  if (!SystemTimeToFileTime(&local, &lft) || !LocalFileTimeToFileTime(&lft, &ft)) return -1;
  ULARGE_INTEGER u;
  u.LowPart = ft.dwLowDateTime;
  u.HighPart = ft.dwHighDateTime;
  return static_cast<int64_t>(u.QuadPart / 10000000ull) - 11644473600ll;
}

const DeletedFileRecord* FindRecord(const std::string& ansiPath) {
  for (const DeletedFileRecord& r : gDeletedFiles)
    if (ansiPath == r.path) return &r;
  return nullptr;
}

}  // namespace ntfstest
