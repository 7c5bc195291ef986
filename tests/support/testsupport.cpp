#include "testsupport.h"

#include <windows.h>
#include <bcrypt.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include <gtest/gtest.h>

namespace {

// A case that hangs would hold its whole program until ctest's timeout (up to
// fifteen minutes) and say nothing of where it stood. The watchdog names the
// case and ends the program once a single case has run for
// SALVORA_CASE_SECONDS (300 unless set; 0 turns it off).
class CaseWatchdog : public ::testing::EmptyTestEventListener {
 public:
  CaseWatchdog() {
    const char* limit = std::getenv("SALVORA_CASE_SECONDS");
    limitMs_ = (limit ? static_cast<DWORD>(std::strtoul(limit, nullptr, 10)) : 300u) * 1000u;
    if (limitMs_) CloseHandle(CreateThread(nullptr, 0, Watch, this, 0, nullptr));
  }
  void OnTestStart(const ::testing::TestInfo& info) override {
    std::lock_guard<std::mutex> lock(nameLock_);
    name_ = std::string(info.test_suite_name()) + "." + info.name();
    started_ = GetTickCount();
    running_ = true;
  }
  void OnTestEnd(const ::testing::TestInfo&) override { running_ = false; }

 private:
  static DWORD WINAPI Watch(LPVOID param) {
    auto* self = static_cast<CaseWatchdog*>(param);
    for (;;) {
      Sleep(1000);
      if (!self->running_ || static_cast<DWORD>(GetTickCount() - self->started_) < self->limitMs_) continue;
      std::lock_guard<std::mutex> lock(self->nameLock_);
      std::fprintf(stderr, "\nwatchdog: %s has run for %lu s without ending; the program is stopped\n",
                   self->name_.c_str(), static_cast<unsigned long>(self->limitMs_ / 1000));
      std::fflush(stderr);
      std::fflush(stdout);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  }

  DWORD limitMs_ = 0;
  std::mutex nameLock_;
  std::string name_;
  std::atomic<DWORD> started_{0};
  std::atomic<bool> running_{false};
};

// Every copy-out the program's engine runs, in this process or in a program
// it starts, adds its tally to the file SALVORA_TALLY_LOG names: whole,
// damaged, failed and not started must add up to the ticked files. Checked
// once all cases have run, for every road's tests at once.
class CopyOutTallyCheck : public ::testing::Environment {
 public:
  void SetUp() override {
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%ssalvora-tally-%lu.log", dir, static_cast<unsigned long>(GetCurrentProcessId()));
    path_ = path;
    DeleteFileA(path_.c_str());
    SetEnvironmentVariableA("SALVORA_TALLY_LOG", path_.c_str());
  }
  void TearDown() override {
    std::ifstream in(path_);
    std::string line;
    int runs = 0;
    while (std::getline(in, line)) {
      ++runs;
      if (line.compare(0, 2, "ok") != 0) ADD_FAILURE() << "a copy-out's counts do not add up: " << line;
    }
    in.close();
    if (runs) std::printf("copy-out tallies checked: %d run(s)\n", runs);
    DeleteFileA(path_.c_str());
  }

 private:
  std::string path_;
};

const bool gCaseWatchdog = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new CaseWatchdog);
  ::testing::AddGlobalTestEnvironment(new CopyOutTallyCheck);
  return true;
}();

}  // namespace

namespace testsupport {

std::string EnvText(const char* name) {
  char buf[1024];
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return std::string();
  return std::string(buf, n);
}

static std::string WithSlash(std::string p) {
  if (!p.empty() && p.back() != '\\') p += '\\';
  return p;
}

std::string FixtureDir(const std::string& name) {
  std::string root = EnvText("SALVORA_FIXTURES");
  EXPECT_FALSE(root.empty()) << "SALVORA_FIXTURES is not set: run the test through ctest";
  return WithSlash(WithSlash(root) + name);
}

std::string FixtureImage(const std::string& name) { return FixtureDir(name) + "image.img"; }

std::string MappedImage(char letter) {
  char var[32];
  snprintf(var, sizeof var, "SALVORA_IMAGE_%c", letter);
  std::string p = EnvText(var);
  EXPECT_FALSE(p.empty()) << var << " is not set: map the image in the test's CMake entry";
  return p;
}

std::string MappedDisk(int number) {
  char var[32];
  snprintf(var, sizeof var, "SALVORA_DISK_%d", number);
  std::string p = EnvText(var);
  EXPECT_FALSE(p.empty()) << var << " is not set: map the disk in the test's CMake entry";
  return p;
}

static void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string n = fd.cFileName;
      if (n == "." || n == "..") continue;
      std::string full = dir + n;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A link: removed itself where it can be, never what it points to.
        RemoveDirectoryA(full.c_str()) || DeleteFileA(full.c_str());
      } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full + "\\");
        RemoveDirectoryA(full.c_str());
      } else {
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
}

std::string ScratchDir(const std::string& sub) {
  std::string root = EnvText("SALVORA_SCRATCH_WIN");
  if (root.empty()) {
    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    root = std::string(tmp) + "salvora-scratch";
  }
  std::string dir = WithSlash(WithSlash(root) + sub);
  CreateDirectoryA(root.c_str(), nullptr);
  RemoveTree(dir);
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

std::string ArtifactPath(const std::string& file) {
  std::string root = EnvText("SALVORA_ARTIFACTS_WIN");
  if (root.empty()) root = ".";
  CreateDirectoryA(root.c_str(), nullptr);
  return WithSlash(root) + file;
}

std::vector<ManifestEntry> ReadManifest(const std::string& fixture) {
  std::vector<ManifestEntry> out;
  std::vector<std::vector<std::string>> rows;
  if (!ReadTable(FixtureDir(fixture) + "manifest.tsv", '\t', &rows)) {
    ADD_FAILURE() << "no manifest for fixture " << fixture;
    return out;
  }
  for (const std::vector<std::string>& f : rows) {
    if (f.size() < 5) continue;
    ManifestEntry e;
    e.path = f[0];
    e.size = strtoull(f[1].c_str(), nullptr, 10);
    e.sha256 = f[2];
    e.deleted = f[3] == "1";
    e.mtime = f[4];
    out.push_back(e);
  }
  return out;
}

std::vector<ScanRow> ReadScanTable(const std::string& fixture, const char* table) {
  std::vector<ScanRow> out;
  std::vector<std::vector<std::string>> rows;
  if (!ReadTable(FixtureDir(fixture) + table, '\t', &rows)) ADD_FAILURE() << "no " << table << " for fixture " << fixture;
  for (const std::vector<std::string>& f : rows) {
    if (f.size() < 5) continue;
    out.push_back({f[0], strtoull(f[1].c_str(), nullptr, 10), f[2], f[3], f[4]});
  }
  return out;
}

std::vector<HitRow> ReadHitTable(const std::string& fixture) {
  std::vector<HitRow> out;
  std::vector<std::vector<std::string>> rows;
  ReadTable(FixtureDir(fixture) + "hits.tsv", '\t', &rows);
  for (std::vector<std::string>& f : rows) {
    if (f.empty() || f[0].empty()) continue;
    f.resize(6);
    HitRow h;
    h.type = f[0];
    h.first = strtoull(f[1].c_str(), nullptr, 10);
    h.size = strtoull(f[2].c_str(), nullptr, 10);
    h.sha256 = f[3];
    h.refined = f[4] == "1";
    h.source = f[5];
    out.push_back(h);
  }
  return out;
}

std::string Below(const std::string& folder, const std::string& utf8Path) {
  std::string p = Utf8ToAnsi(utf8Path);
  for (char& c : p)
    if (c == '/') c = '\\';
  std::string f = folder;
  while (!f.empty() && f.back() == '\\') f.pop_back();
  return f + p;
}

std::vector<std::string> OutputsFor(const std::string& path) {
  std::vector<std::string> out;
  const size_t slash = path.find_last_of('\\');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
  for (int n = 0; n < 10; ++n) {
    std::string p = path;
    if (n) {
      char num[8];
      snprintf(num, sizeof num, "_%03d", n);
      p = path.substr(0, dot) + num + path.substr(dot);
    }
    if (GetFileAttributesA(p.c_str()) != INVALID_FILE_ATTRIBUTES) out.push_back(p);
  }
  return out;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (c == sep) {
      out.push_back(cur);
      cur.clear();
    } else if (c != '\r') {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

bool ReadTable(const std::string& path, char sep, std::vector<std::vector<std::string>>* rows) {
  rows->clear();
  std::string text;
  if (!ReadWholeFile(path, &text)) return false;
  for (const std::string& line : Split(text, '\n'))
    if (!line.empty()) rows->push_back(Split(line, sep));
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream ss;
  ss << f.rdbuf();
  *out = ss.str();
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) return false;
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(f);
}

std::string Sha256Hex(const void* data, size_t size) {
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  unsigned char digest[32];
  std::string hex;
  if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return hex;
  if (BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) == 0) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    size_t left = size;
    bool ok = true;
    while (left > 0 && ok) {
      ULONG chunk = left > (1u << 30) ? (1u << 30) : static_cast<ULONG>(left);
      ok = BCryptHashData(hash, const_cast<unsigned char*>(p), chunk, 0) == 0;
      p += chunk;
      left -= chunk;
    }
    if (ok && BCryptFinishHash(hash, digest, sizeof digest, 0) == 0) {
      static const char* digits = "0123456789abcdef";
      for (unsigned char b : digest) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
      }
    }
    BCryptDestroyHash(hash);
  }
  BCryptCloseAlgorithmProvider(alg, 0);
  return hex;
}

std::string Sha256OfFile(const std::string& path) {
  std::string data;
  if (!ReadWholeFile(path, &data)) return std::string();
  return Sha256Hex(data.data(), data.size());
}

static std::string Convert(const std::string& s, UINT from, UINT to) {
  if (s.empty()) return s;
  int wn = MultiByteToWideChar(from, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(wn), L'\0');
  MultiByteToWideChar(from, 0, s.data(), static_cast<int>(s.size()), &w[0], wn);
  int n = WideCharToMultiByte(to, 0, w.data(), wn, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(to, 0, w.data(), wn, &out[0], n, nullptr, nullptr);
  return out;
}

std::string Utf8ToAnsi(const std::string& utf8) { return Convert(utf8, CP_UTF8, CP_ACP); }
std::string AnsiToUtf8(const std::string& ansi) { return Convert(ansi, CP_ACP, CP_UTF8); }

bool SaveScreenshot(const std::string& path, void* hwnd) {
  RECT r;
  if (hwnd) {
    if (!GetWindowRect(static_cast<HWND>(hwnd), &r)) return false;
  } else {
    r.left = r.top = 0;
    r.right = GetSystemMetrics(SM_CXSCREEN);
    r.bottom = GetSystemMetrics(SM_CYSCREEN);
  }
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (dib) {
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    GdiFlush();
    DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    DWORD image = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + image;
    std::string data(reinterpret_cast<char*>(&fh), sizeof fh);
    data.append(reinterpret_cast<char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
    data.append(static_cast<char*>(bits), image);
    ok = WriteWholeFile(path, data);
    DeleteObject(dib);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace testsupport
