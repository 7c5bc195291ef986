// Output files of the copy-out: created below the destination folder the user
// chose, and never anywhere else. The relative path comes from a disk and is
// untrusted: every folder name and the file name are made safe one by one
// (no separators, drive prefixes, "." or "..", reserved device names, trailing
// dots or spaces, invalid characters), and the whole path is kept short enough
// for the 8-bit file functions, dropping the deepest folders first. A folder
// already there that is a link or junction is never written through.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Longest path handed to CreateFileA (MAX_PATH less its NUL and room for a
// "_NNN" number), and to CreateDirectoryA (which wants room for an 8.3 name).
constexpr size_t kMaxOutputFilePath = MAX_PATH - 1 - 4;
constexpr size_t kMaxOutputFolderPath = MAX_PATH - 13;

// Returned by the copy of one file when the stop flag (gRecoverAbort) was
// already up as the file began: nothing was created, and the file must count
// neither as recovered nor as failed.
constexpr int kCopyNotStarted = 1;

// Returned by the copy of one file that was written, but whose data the file
// system itself shows to be partly gone (clusters in use again, a size the
// volume cannot hold). The user asked for it, so it is kept, but it counts in
// gRecoverDamagedFiles, not as recovered whole.
constexpr int kCopyDamaged = 2;

// Creates destination + relativePath: the folders as needed, and a numbered
// name (name_001.ext .. name_999.ext) when the name is taken. Returns the open
// handle, or nullptr with *error set: -2 destination full, -3 the destination
// itself is too long, -1 any other failure (also when all 999 numbers are
// taken). createdPath, when given, receives the path of the file.
// The next free number of each name in each folder is remembered, so that
// thousands of files of one name do not try every taken number again; once
// the numbers of a name are used up, the next file of that name fails at once.
HANDLE CreateOutputFile(const char* relativePath, const char* destination, int* error,
                        std::string* createdPath = nullptr);

// CreateOutputFile in two steps, for a copy-out that makes its folders on
// one thread and its files on others. PlaceOutputFile checks the
// destination, makes the folders of relativePath (trust: folders made for
// earlier files are taken as still there) and chooses the name; false with
// *error set as CreateOutputFile says. CreatePlacedFile then creates the
// file, numbered when taken; when trust let a vanished folder pass, it
// returns nullptr with *folderGone set, and CreateOutputFile (which makes the
// folders again) is the way on. Files of one key must be created one after
// the other, in the order they are to be numbered.
struct OutputPlace {
  std::string prefix;   // the destination, ending in '\'
  std::string folder;   // the file's folder below it, ending in '\'
  std::string name;     // the file's name before any number
  std::string key;      // folder and name as the file system compares them
};
bool PlaceOutputFile(const char* relativePath, const char* destination, bool trust, int* error,
                     OutputPlace* place);
HANDLE CreatePlacedFile(const OutputPlace& place, bool trust, int* error, std::string* createdPath,
                        bool* folderGone);

// Whether an output file holds exactly size bytes: a copy counted whole must.
bool OutputHasSize(HANDLE out, uint64_t size);

// Forgets the folders made and the numbers used so far (a copy-out calls it
// as it starts: the user may have emptied the destination since the last).
void ForgetOutputNames();

// An output file being written. It is closed when it goes, and removed
// unless Keep() was called first: a copy cut short by the stop or by a full
// destination never leaves a file under the real name.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Moved, the file goes with its owner (a copy-out may create a file on one
  // thread and fill it on another).
  OutputFile(OutputFile&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
    other.handle_ = nullptr;
    other.path_.clear();
  }
  OutputFile& operator=(OutputFile&& other) noexcept {
    if (this != &other) {
      Discard();
      handle_ = other.handle_;
      path_ = std::move(other.path_);
      other.handle_ = nullptr;
      other.path_.clear();
    }
    return *this;
  }
  ~OutputFile() { Discard(); }

  // CreateOutputFile; false with *error set as it says.
  bool Create(const char* relativePath, const char* destination, int* error);
  // Takes over a file created by CreateOutputFile or CreatePlacedFile.
  void Adopt(HANDLE handle, std::string path) {
    Discard();
    handle_ = handle;
    path_ = std::move(path);
  }
  HANDLE handle() const { return handle_; }
  const std::string& path() const { return path_; }
  // Closes the file, which stays.
  void Keep();
  // Closes the file and removes it.
  void Discard();

 private:
  HANDLE handle_ = nullptr;
  std::string path_;
};

// Writes bytes recovered from the source and advances gRecoveredSectors
// (bytes / 512, at least 1). 0; -2 when the destination is full or took fewer
// bytes than given; -1 any other failure.
int WriteRecoveredBytes(HANDLE out, const void* data, uint32_t bytes);

// In place: control characters, ':' other than the drive colon at index 1, and
// * ? < > | " become '_', and so does the lead byte of a two-byte character
// without a valid second byte. Separators are kept. 1 when something changed.
int SanitizeFileName(char* text);

// One folder or file name made safe to create below the destination (see
// above); never empty. Exposed for the tests.
std::string SafePathComponent(const std::string& name);
