// What the NTFS fixtures say about themselves: files.tsv (the maker's ground
// truth) and fls.body (sleuthkit's answer), and a scan run as the page runs it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "state.h"

namespace ntfstest {

struct FixtureFile {
  std::string path;     // UTF-8, '/'-separated
  uint64_t size = 0;
  std::string sha256;   // "" when not checked
  bool deleted = false;
  int64_t record = -1;
  std::vector<std::string> tags;
  bool Has(const std::string& tag) const;
  std::string Tag(const std::string& prefix) const;   // the rest of "prefix=..." or ""
};
std::vector<FixtureFile> ReadFixtureFiles(const std::string& fixture);

// One deleted regular file of `fls -r -d -p -m /`: its $DATA line.
struct OracleFile {
  std::string path;     // UTF-8 from the root, '/'-separated, without "(deleted)"
  uint64_t record = 0;
  uint64_t size = 0;
  int64_t atime = 0, mtime = 0, crtime = 0;
};
std::vector<OracleFile> ReadOracle(const std::string& fixture);

// A name as the scan makes it safe: separators and ':' become '_', and a name
// of dots and spaces has its dots replaced.
std::string SafeName(const std::string& utf8Name);
// "/a/b" -> "\a\b" with each component made safe (UTF-8 in, UTF-8 out).
std::string SafePath(const std::string& utf8Path);

// Runs the deleted-file scan as the page does (worker thread, messages
// pumped); returns its result. The progress texts it sent are kept.
int RunScan(const char* target);
extern std::vector<std::string> gProgressTexts;

// Unix seconds of a local SYSTEMTIME.
int64_t UnixSeconds(const SYSTEMTIME& local);

// The record of gDeletedFiles with this path (8-bit), or nullptr.
const DeletedFileRecord* FindRecord(const std::string& ansiPath);

}  // namespace ntfstest
