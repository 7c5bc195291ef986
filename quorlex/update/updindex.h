// What one level of the update index says: a directory of further levels
// ("info": c, p<n>, m<n>) or a list of files (every other section but
// "COMMENT"), and which listed files this machine needs.
//
// Every name in an index comes from the network. An entry is taken only when
// its file name, local folder, level path, remote folder and server file name
// are safe relative names (see safepath.h); local files are looked at only
// below the program's folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bkini.h"

namespace tarn {

// States the update worker gives an entry.
enum UpdateEntryState {
  kEntryNew = 0,
  kEntryDownloaded = 1,
  kEntryDownloadFailed = 2,
  kEntryReplaced = 3,
  kEntryReplaceAtReboot = 4,
  kEntryReplaceFailed = 5,
};

struct UpdateFileEntry {
  std::wstring fileName;        // FN
  std::wstring serverFileName;  // SFN: also the MD5 of the unpacked file
  std::wstring remoteFolder;    // level path + RP ('/'-separated)
  std::wstring localFolder;     // LP after ResolveLocalFolder
  std::wstring localPath;       // local folder + '\' + file name, relative to the program's folder
  std::wstring version;         // Ver
  std::wstring levelPath;       // the document's context text
  std::wstring downloadedCopy;  // filled in by the worker (relative to the program's folder)
  uint32_t crc = 0;             // C
  uint32_t fileSize = 0;        // FS: bounds what the download may unpack to
  uint32_t serverFileSize = 0;  // SFS: sets the time its transfer may take
  uint32_t compareMode = 3;     // CV: 0 version then CRC, 3 CRC, other: never replace an existing file
  int state = kEntryNew;
  uint32_t inUse = 0;           // UR: 1 leaves the file to the completion program
};

// Sub-levels of one level beyond this count are not visited, and levels are
// not followed deeper than kMaxIndexDepth below the top.
constexpr unsigned kMaxSubLevels = 256;
constexpr int kMaxIndexDepth = 8;

// wcstoul, base 10; 0 without digits.
uint32_t IndexNumber(const std::wstring& text);

// "c" of "info" (0 without "info").
unsigned ReadSubLevelCount(const BKIni::Document& doc);
// "p<n>" / "m<n>" of "info"; true when the value is not empty.
bool ReadSubLevelPath(const BKIni::Document& doc, unsigned n, std::wstring* out);
bool ReadSubLevelMd5(const BKIni::Document& doc, unsigned n, std::wstring* out);

// LP: '%P%' -> "", '%P%bin%' -> "bin"; '%X...%' with another second
// character: false (no entry); any other value unchanged.
bool ResolveLocalFolder(const std::wstring& lp, std::wstring* folder);
// folder + '\' (unless it ends with one) + name; the name alone for an empty folder.
std::wstring AppendBackslash(const std::wstring& folder);

// The entry of one file section (before any check of its names).
UpdateFileEntry MakeFileEntry(const BKIni::Document& doc, const BKIni::SectionHandle& section,
                              bool* keep);
// Whether the entry's names may be joined below the program's folder.
bool IsEntrySafe(const UpdateFileEntry& entry);

// Appends the files of a list level that need updating. root is the
// program's folder (ending with '\'); local files are looked up below it.
// Sections refused for their names or for what stands in their way are
// counted in *refused (when given).
void ReadFileEntries(const BKIni::Document& doc, const std::wstring& root,
                     std::vector<UpdateFileEntry>* files, int* refused = nullptr);

// 1 when the file must be downloaded, 0 when not, kEntryBlocked when it
// cannot be put where it belongs without deleting what stands there (a
// folder, a link, a file where a folder is needed) or would land in the
// updater's own folder: the run is then refused. Nothing is ever deleted.
constexpr int kEntryBlocked = -1;
int EntryNeedsUpdate(const UpdateFileEntry& entry, const std::wstring& root);
int CompareEntryVersion(const UpdateFileEntry& entry, const std::wstring& root);
int CompareEntryCrc(const UpdateFileEntry& entry, const std::wstring& root);

}  // namespace tarn
