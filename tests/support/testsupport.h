// Helpers for the tests that run under wine64: where the fixtures, scratch
// folders and artifacts are, the ground-truth manifests, hashing, text.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Windows path of a variable that scripts/wine-run exported ("" when unset).
std::string EnvText(const char* name);

// "Z:\...\fixtures\<name>\" with a trailing backslash; fails the test when the
// fixtures are not there.
std::string FixtureDir(const std::string& name);
std::string FixtureImage(const std::string& name);   // FixtureDir + "image.img"

// Windows path of the image that wine-run mapped to drive letter / disk number.
std::string MappedImage(char letter);
std::string MappedDisk(int number);

// A fresh, empty folder below the test's scratch folder (trailing backslash).
std::string ScratchDir(const std::string& sub);
// Where screenshots and other things a human should look at are written.
std::string ArtifactPath(const std::string& file);

struct ManifestEntry {
  std::string path;      // UTF-8, '/'-separated, from the volume's root
  uint64_t size = 0;
  std::string sha256;    // lower-case hex
  bool deleted = false;
  std::string mtime;     // "YYYY-MM-DD hh:mm:ss" or ""
};
std::vector<ManifestEntry> ReadManifest(const std::string& fixture);

// scan.tsv of the FAT fixtures (each deleted file as the scan names it) and
// unformat.tsv of the formatted ones (each file the unformat scan rebuilds)
// share one layout.
struct ScanRow {
  std::string path;   // UTF-8, '/'
  uint64_t size = 0;
  std::string sha256;
  std::string mtime;
  std::string tags;
  bool Has(const char* tag) const { return tags.find(tag) != std::string::npos; }
};
std::vector<ScanRow> ReadScanTable(const std::string& fixture, const char* table = "scan.tsv");

// hits.tsv of the signature-scan fixtures: type, first sector, size, sha256,
// whether the scan knows the file's end (1) or takes a fixed length (0), and
// the file the tool made it from.
struct HitRow {
  std::string type;
  uint64_t first = 0;   // a disk's sectors go past 2^32
  uint64_t size = 0;
  std::string sha256;
  bool refined = false;
  std::string source;
  uint32_t Sectors() const { return static_cast<uint32_t>((size + 511) / 512); }
};
std::vector<HitRow> ReadHitTable(const std::string& fixture);

// A '/'-separated UTF-8 path as an ANSI Windows path below folder.
std::string Below(const std::string& folder, const std::string& utf8Path);
// The copy-out's name for a path and its numbered twins (name_001.ext up to
// name_009.ext, made when a folder holds a name twice) that exist.
std::vector<std::string> OutputsFor(const std::string& path);

bool ReadWholeFile(const std::string& path, std::string* out);
// s cut at every sep (n separators give n + 1 fields); '\r' is dropped.
std::vector<std::string> Split(const std::string& s, char sep);
// A table the fixture makers wrote: one row a line, fields cut at sep, empty
// lines left out. False when the file cannot be read.
bool ReadTable(const std::string& path, char sep, std::vector<std::vector<std::string>>* rows);
bool WriteWholeFile(const std::string& path, const std::string& data);
std::string Sha256Hex(const void* data, size_t size);
std::string Sha256OfFile(const std::string& path);   // "" when unreadable

std::string Utf8ToAnsi(const std::string& utf8);   // to the ANSI code page (936 here)
std::string AnsiToUtf8(const std::string& ansi);

// Saves the screen (or one window's rectangle when hwnd is given) as a BMP.
bool SaveScreenshot(const std::string& path, void* hwnd = nullptr);

}  // namespace testsupport
