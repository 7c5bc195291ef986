#include "copyout/output.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "state.h"

namespace {

constexpr int kMaxNumberedName = 999;

bool IsLead(uint8_t b) { return IsDBCSLeadByteEx(CP_ACP, b) != 0; }
bool IsTrail(uint8_t b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// Offsets at which the characters of an 8-bit text begin.
std::vector<size_t> CharStarts(const std::string& s) {
  std::vector<size_t> out;
  for (size_t i = 0; i < s.size(); ++i) {
    out.push_back(i);
    if (IsLead(static_cast<uint8_t>(s[i])) && i + 1 < s.size()) ++i;
  }
  return out;
}

// The longest beginning of s, cut between characters, of at most max bytes.
std::string CutToBytes(const std::string& s, size_t max) {
  if (s.size() <= max) return s;
  std::vector<size_t> starts = CharStarts(s);
  size_t end = 0;
  for (size_t k = 0; k < starts.size(); ++k) {
    size_t next = k + 1 < starts.size() ? starts[k + 1] : s.size();
    if (next > max) break;
    end = next;
  }
  return s.substr(0, end);
}

// Splits at '\' and '/' between characters (a second byte may be '\').
std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < path.size(); ++i) {
    uint8_t b = static_cast<uint8_t>(path[i]);
    if (IsLead(b) && i + 1 < path.size()) {
      parts.back() += path[i];
      parts.back() += path[++i];
      continue;
    }
    if (b == '\\' || b == '/') {
      parts.emplace_back();
      continue;
    }
    parts.back() += path[i];
  }
  std::vector<std::string> out;
  for (std::string& p : parts)
    if (!p.empty()) out.push_back(std::move(p));
  return out;
}

bool IsReservedDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* n : kNames)
    if (base == n) return true;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '0' &&
      base[3] <= '9')
    return true;
  return false;
}

bool IsDirectory(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// A folder below the destination that files may go into: a real folder, not
// a link or junction (a reparse point) that would send them elsewhere, for
// instance one a hostile disk's names lead into. XP already reports the flag.
bool IsPlainDirectory(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string FullPath(const std::string& path) {
  char buf[MAX_PATH * 2];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  if (n == 0 || n >= sizeof buf) return std::string();
  return std::string(buf, n);
}

// name_NNN.ext; a name that already ends in _NNN before its extension has
// those digits replaced.
std::string NumberedName(const std::string& name, int n) {
  size_t dot = name.find_last_of('.');
  std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  if (stem.size() >= 4 && stem[stem.size() - 4] == '_' && isdigit(static_cast<uint8_t>(stem[stem.size() - 3])) &&
      isdigit(static_cast<uint8_t>(stem[stem.size() - 2])) && isdigit(static_cast<uint8_t>(stem[stem.size() - 1]))) {
    std::vector<size_t> starts = CharStarts(stem);
    bool underscoreStartsAChar = false;
    for (size_t s : starts) underscoreStartsAChar |= s == stem.size() - 4;
    if (underscoreStartsAChar) stem.resize(stem.size() - 4);
  }
  char number[8];
  std::snprintf(number, sizeof number, "_%03d", n);
  return stem + number + ext;
}

// Shortens a name to max bytes, keeping a short extension.
std::string ShortenName(const std::string& name, size_t max) {
  if (name.size() <= max) return name;
  size_t dot = name.find_last_of('.');
  std::string ext = dot != std::string::npos && name.size() - dot <= 16 ? name.substr(dot) : std::string();
  if (ext.size() + 1 > max) ext.clear();
  std::string stem = CutToBytes(name.substr(0, name.size() - ext.size()), max - ext.size());
  if (stem.empty()) stem = "_";
  return stem + ext;
}

// Folders already made (or found) for earlier files of this process, so that a
// copy-out of thousands of files does not ask for each folder every time.
std::mutex gKnownFoldersLock;
std::unordered_set<std::string> gKnownFolders;
constexpr size_t kMaxKnownFolders = 4096;

bool IsKnownFolder(const std::string& path) {
  std::lock_guard<std::mutex> lock(gKnownFoldersLock);
  return gKnownFolders.count(path) != 0;
}

void RememberFolder(const std::string& path) {
  std::lock_guard<std::mutex> lock(gKnownFoldersLock);
  if (gKnownFolders.size() >= kMaxKnownFolders) gKnownFolders.clear();
  gKnownFolders.insert(path);
}

void ForgetFolders() {
  std::lock_guard<std::mutex> lock(gKnownFoldersLock);
  gKnownFolders.clear();
}

// The next number to try for a name in a folder ("folder\NAME", the name's
// letters folded to one case as the file system folds them); 0: the plain
// name. kMaxNumberedName + 1: all are taken.
std::mutex gNextNumberLock;
std::unordered_map<std::string, int> gNextNumber;
constexpr size_t kMaxRememberedNames = 1 << 16;

std::string NameKey(const std::string& folder, const std::string& name) {
  std::string key = folder + name;
  for (size_t i : CharStarts(key)) {
    char& c = key[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return key;
}

int NextNumber(const std::string& key) {
  std::lock_guard<std::mutex> lock(gNextNumberLock);
  auto it = gNextNumber.find(key);
  return it == gNextNumber.end() ? 0 : it->second;
}

void RememberNextNumber(const std::string& key, int n) {
  std::lock_guard<std::mutex> lock(gNextNumberLock);
  if (gNextNumber.size() >= kMaxRememberedNames && !gNextNumber.count(key)) gNextNumber.clear();
  gNextNumber[key] = n;
}

int ErrorOfCreate(DWORD e) {
  if (e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL) return -2;
  if (e == ERROR_FILENAME_EXCED_RANGE) return -3;
  return -1;
}

}  // namespace

int SanitizeFileName(char* text) {
  if (!text) return 0;
  int changed = 0;
  size_t n = std::strlen(text);
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = static_cast<uint8_t>(text[i]);
    if (IsLead(b)) {
      if (i + 1 < n && IsTrail(static_cast<uint8_t>(text[i + 1]))) {
        ++i;
        continue;
      }
      text[i] = '_';
      changed = 1;
      continue;
    }
    if (b < 32 || b == 0x7F || (b == ':' && i != 1) || std::strchr("*?<>|\"", b)) {
      text[i] = '_';
      changed = 1;
    }
  }
  return changed;
}

std::string SafePathComponent(const std::string& name) {
  std::string s;
  for (size_t i = 0; i < name.size(); ++i) {
    uint8_t b = static_cast<uint8_t>(name[i]);
    if (IsLead(b)) {
      if (i + 1 < name.size() && IsTrail(static_cast<uint8_t>(name[i + 1]))) {
        s += name[i];
        s += name[++i];
      } else {
        s += '_';
      }
      continue;
    }
    if (b < 32 || b == 0x7F || std::strchr(":*?<>|\"/\\", b))
      s += '_';
    else
      s += name[i];
  }
  // Windows drops trailing dots and spaces, which would make ".." of "..  ".
  while (!s.empty() && (s.back() == '.' || s.back() == ' ')) s.pop_back();
  if (s.empty()) return "_";
  if (IsReservedDeviceName(s)) s = "_" + s;
  return ShortenName(s, 255);
}

bool PlaceOutputFile(const char* relativePath, const char* destination, bool trust, int* error,
                     OutputPlace* place) {
  int dummy;
  if (!error) error = &dummy;
  *error = -1;
  if (!relativePath || !destination || !place) return false;

  // The destination: the user's folder, "X:\..." only.
  std::string dest(destination);
  dest = dest.substr(0, 511);
  SanitizeFileName(&dest[0]);
  if (dest.size() == 2) dest += '\\';
  uint8_t letter = static_cast<uint8_t>(dest.empty() ? 0 : dest[0]) & 0xDF;
  if (dest.size() < 3 || letter < 'A' || letter > 'Z' || dest[1] != ':' || dest[2] != '\\') return false;
  if (dest.size() > kMaxOutputFolderPath) {
    *error = -3;
    return false;
  }
  std::string root = FullPath(dest);
  if (root.size() < 3) return false;
  while (root.size() > 3 && root.back() == '\\') root.pop_back();
  if (root.size() > kMaxOutputFolderPath) {
    *error = -3;
    return false;
  }
  std::string prefix = root.back() == '\\' ? root : root + "\\";

  std::vector<std::string> parts = SplitPath(relativePath);
  for (std::string& p : parts) p = SafePathComponent(p);
  std::string name = parts.empty() ? std::string("_") : parts.back();
  if (!parts.empty()) parts.pop_back();

  // Keep within the path limits: the deepest folders go first, then the name shrinks.
  auto folderPath = [&](size_t count) {
    std::string p = prefix;
    for (size_t i = 0; i < count; ++i) p += parts[i] + "\\";
    return p;
  };
  while (!parts.empty()) {
    std::string p = folderPath(parts.size());
    if (p.size() - 1 <= kMaxOutputFolderPath && p.size() + name.size() <= kMaxOutputFilePath) break;
    parts.pop_back();
  }

  if (!(trust && IsKnownFolder(root))) {
    // The destination's own folders may not exist yet.
    for (size_t i : CharStarts(prefix))
      if (i > 2 && prefix[i] == '\\') CreateDirectoryA(prefix.substr(0, i).c_str(), nullptr);
    if (!IsDirectory(root)) return false;
    RememberFolder(root);
  }

  // Create the folders; a name held by a file, or by a link, gets a
  // numbered folder instead. A folder found, not made, is looked at once.
  std::string cur = prefix;
  for (const std::string& folder : parts) {
    bool made = false;
    for (int n = 0; n <= kMaxNumberedName && !made; ++n) {
      std::string candidate = n == 0 ? folder : NumberedName(folder, n);
      std::string path = cur + candidate;
      if (path.size() > kMaxOutputFolderPath) break;
      if ((trust && IsKnownFolder(path)) || CreateDirectoryA(path.c_str(), nullptr) || IsPlainDirectory(path)) {
        RememberFolder(path);
        cur = path + "\\";
        made = true;
      } else if (GetLastError() == ERROR_DISK_FULL) {
        *error = -2;
        return false;
      }
    }
    if (!made) break;   // the file goes into the deepest folder that could be made
  }
  if (cur.size() + 5 > kMaxOutputFilePath) {
    *error = -3;
    return false;
  }
  place->prefix = prefix;
  place->folder = cur;
  place->name = ShortenName(name, kMaxOutputFilePath - cur.size());
  place->key = NameKey(cur, place->name);
  *error = 0;
  return true;
}

HANDLE CreatePlacedFile(const OutputPlace& place, bool trust, int* error, std::string* createdPath,
                        bool* folderGone) {
  int dummy;
  if (!error) error = &dummy;
  *error = -1;
  if (folderGone) *folderGone = false;
  // Numbers already taken by earlier files of this name are not tried again.
  for (int n = trust ? NextNumber(place.key) : 0; n <= kMaxNumberedName; ++n) {
    std::string path = place.folder + (n == 0 ? place.name : NumberedName(place.name, n));
    std::string full = FullPath(path);
    // Never anywhere but below the destination.
    if (full.size() <= place.prefix.size() || full.compare(0, place.prefix.size(), place.prefix) != 0) return nullptr;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE && h != nullptr) {
      RememberNextNumber(place.key, n + 1);
      if (createdPath) *createdPath = path;
      *error = 0;
      return h;
    }
    DWORD e = GetLastError();
    if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS || e == ERROR_ACCESS_DENIED) continue;
    if (e == ERROR_PATH_NOT_FOUND && trust) {
      if (folderGone) *folderGone = true;
      return nullptr;
    }
    *error = ErrorOfCreate(e);
    return nullptr;
  }
  // Every number of this name is taken: the file fails now, and so will
  // the next one of the same name, without trying them all again.
  RememberNextNumber(place.key, kMaxNumberedName + 1);
  return nullptr;
}

HANDLE CreateOutputFile(const char* relativePath, const char* destination, int* error, std::string* createdPath) {
  int dummy;
  if (!error) error = &dummy;
  // The first attempt trusts the folders made for earlier files; when the file
  // then finds its folder gone, the second makes them again.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const bool trust = attempt == 0;
    OutputPlace place;
    if (!PlaceOutputFile(relativePath, destination, trust, error, &place)) return nullptr;
    bool folderGone = false;
    HANDLE h = CreatePlacedFile(place, trust, error, createdPath, &folderGone);
    if (h || !folderGone) return h;
    // A folder made for an earlier file is gone: make them again.
    ForgetOutputNames();
  }
  *error = -1;
  return nullptr;
}

bool OutputHasSize(HANDLE out, uint64_t size) {
  LARGE_INTEGER now;
  return GetFileSizeEx(out, &now) && static_cast<uint64_t>(now.QuadPart) == size;
}

void ForgetOutputNames() {
  ForgetFolders();
  std::lock_guard<std::mutex> lock(gNextNumberLock);
  gNextNumber.clear();
}

bool OutputFile::Create(const char* relativePath, const char* destination, int* error) {
  Discard();
  handle_ = CreateOutputFile(relativePath, destination, error, &path_);
  if (!handle_) path_.clear();
  return handle_ != nullptr;
}

void OutputFile::Keep() {
  if (handle_) CloseHandle(handle_);
  handle_ = nullptr;
  path_.clear();
}

void OutputFile::Discard() {
  if (!handle_) return;
  CloseHandle(handle_);
  handle_ = nullptr;
  DeleteFileA(path_.c_str());
  path_.clear();
}

int WriteRecoveredBytes(HANDLE out, const void* data, uint32_t bytes) {
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return -1;
  DWORD done = 0;
  BOOL ok = WriteFile(out, data, bytes, &done, nullptr);
  if (done > 0) gRecoveredSectors += done >= 512 ? done / 512 : 1;
  if (ok && done == bytes) return 0;
  DWORD e = ok ? ERROR_DISK_FULL : GetLastError();
  return e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL ? -2 : -1;
}
