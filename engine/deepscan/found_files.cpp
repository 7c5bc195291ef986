#include "deepscan/found_files.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "copyout/output.h"
#include "copyout/tally.h"
#include "deepscan/file_end.h"
#include "disk/block_read.h"
#include "disk/raw.h"
#include "progress/progress_gate.h"
#include "records/records.h"
#include "state.h"

HWND gRawProgressWindow = nullptr;
std::atomic<uint32_t> gRawRecoverFailedFiles{0};
std::atomic<uint32_t> gRawRecoverDamagedFiles{0};

namespace {

constexpr uint32_t kCopyChunkSectors = 2048;   // 1 MB per read
// A type with more hits than this to copy gets them in folders of this many,
// named by the first and last file in each: a folder of tens of thousands of
// files is slow to open in Explorer, and under Wine every new file costs a
// search through the folder it goes into.
constexpr size_t kFilesPerFolder = 500;

// The extension of a hit's name: what follows its last '.'.
std::string TypeOfName(const char* name, size_t size) {
  std::string n(name, strnlen(name, size));
  size_t dot = n.find_last_of('.');
  size_t slash = n.find_last_of('\\');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  return n.substr(dot + 1);
}

bool CopyRecord(size_t index, FoundFileRecord* out) {
  if (index >= gFoundFiles.size()) return false;
  *out = gFoundFiles[index];
  out->name[sizeof out->name - 1] = 0;
  return out->lastSector >= out->firstSector;
}

// The disk or volume the hits come from, kept open while consecutive hits
// share it.
class HitSource {
 public:
  ~HitSource() { Close(); }
  HANDLE Open(uint32_t target) {
    if (handle_ && target == target_) return handle_;
    Close();
    handle_ = OpenSectorTarget(target);
    target_ = target;
    return handle_;
  }
  void Close() {
    if (!handle_) return;
    if (TargetVolume(target_) != kTargetUnused)
      CloseVolume(handle_);
    else
      CloseDiskHandle();
    handle_ = nullptr;
  }
  uint32_t target() const { return target_; }
  HANDLE handle() const { return handle_; }

 private:
  uint32_t target_ = 0;
  HANDLE handle_ = nullptr;
};

// Reads count sectors; a failed read is retried sector by sector, and the
// sectors that still fail are zeros. false when any sector failed.
bool ReadSectorsOrZeros(uint32_t target, HANDLE handle, uint64_t sector, uint32_t count, uint8_t* out) {
  auto read = [&](uint64_t at, uint32_t n, uint8_t* into) {
    return ReadTargetSectors(target, at, n, into, handle) == 0;
  };
  return ReadBlockOrPieces(read, sector, count, 1, out) == 0;
}

bool DestinationOnSource(const char* destination, uint32_t target) {
  uint32_t volume = TargetVolume(target);
  if (volume == kTargetUnused || !destination || !destination[0]) return false;
  char letter = static_cast<char>(destination[0] & 0xDF);
  return letter == static_cast<char>('C' + volume);
}

// outputName: the path below the destination, the record's name when empty.
int CopyWithSource(HitSource& source, size_t index, const char* destination, RecoverProgressBlock* report,
                   HWND notify, uint8_t* chunk, const std::string& outputName = std::string(),
                   WPARAM filesSoFar = 0) {
  FoundFileRecord r;
  if (!destination || !CopyRecord(index, &r)) return kRawCopyRefused;
  uint32_t target = static_cast<uint32_t>(r.source);
  // Writing to the scanned volume would overwrite what is being saved.
  if (DestinationOnSource(destination, target)) return kRawCopyRefused;
  HANDLE in = source.Open(target);
  if (!in) return kRawCopyRefused;

  int error = 0;
  std::string written;
  HANDLE out = CreateRawOutputFile(destination, outputName.empty() ? r.name : outputName.c_str(), &error, &written);
  if (!out) return error == -2 ? kRawCopyDestinationFull : kRawCopyOutputFailed;
  RecoverProgressBlock own;
  if (!report) report = &own;
  std::memset(report, 0, sizeof *report);
  std::strncpy(report->source, r.name, sizeof report->source - 1);
  std::strncpy(report->destination, written.c_str(), sizeof report->destination - 1);
  if (notify) SendMessageA(notify, WM_RECOVER_FILE, filesSoFar, reinterpret_cast<LPARAM>(report));

  FileEndFinder finder(FileEndKindOfType(TypeOfName(r.name, sizeof r.name).c_str()));
  const uint64_t sectors = r.lastSector - r.firstSector + 1;
  uint64_t done = 0, bytesWritten = 0;
  int rc = kRawCopyDone;
  while (done < sectors) {
    if (ScanAbortRequested()) {
      rc = kRawCopyStopped;
      break;
    }
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kCopyChunkSectors, sectors - done));
    if (!ReadSectorsOrZeros(target, in, r.firstSector + done, n, chunk)) {
      rc = kRawCopyPartial;
      finder.Break();
    }
    size_t bytes = static_cast<size_t>(n) * kSectorSize;
    finder.Feed(chunk, bytes);
    // Once the file's end is known, nothing after it is written.
    if (finder.done() && finder.length() > 0 && finder.length() < bytesWritten + bytes)
      bytes = static_cast<size_t>(finder.length() > bytesWritten ? finder.length() - bytesWritten : 0);
    int w = bytes > 0 ? WriteRecoveredBytes(out, chunk, static_cast<uint32_t>(bytes)) : 0;
    if (w != 0) {
      rc = w == -2 ? kRawCopyDestinationFull : kRawCopyOutputFailed;
      break;
    }
    bytesWritten += bytes;
    done += n;
    if (finder.done() && finder.length() > 0 && bytesWritten >= finder.length()) break;
  }
  // The hit's last sector may be where its stream ended on a boundary.
  if (done == sectors) finder.Finish();
  // A length known only at the end (a PDF's last "%%EOF") cuts what was written.
  if ((rc == kRawCopyDone || rc == kRawCopyPartial) && finder.length() > 0 && finder.length() < bytesWritten) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(finder.length());
    if (!SetFilePointerEx(out, at, nullptr, FILE_BEGIN) || !SetEndOfFile(out)) rc = kRawCopyOutputFailed;
  }
  CloseHandle(out);
  // A copy the stop or the destination cut short does not stay under the
  // file's name, looking whole.
  if (rc == kRawCopyStopped || (rc != kRawCopyDone && rc != kRawCopyPartial && done < sectors))
    DeleteFileA(written.c_str());
  // What was written is all of the file that was whole, and no more; it is
  // not the whole file.
  if (rc == kRawCopyDone && (finder.cut() || (finder.ranOut() && finder.length() == 0))) rc = kRawCopyDamaged;
  return rc;
}

uint8_t* AllocateChunk() {
  return static_cast<uint8_t*>(VirtualAlloc(nullptr, static_cast<size_t>(kCopyChunkSectors) * kSectorSize,
                                            MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

}  // namespace

int ReadFoundFileData(size_t index, uint8_t** buffer) {
  if (buffer) *buffer = nullptr;
  FoundFileRecord r;
  if (!buffer || !CopyRecord(index, &r)) return -2;
  std::string type = TypeOfName(r.name, sizeof r.name);
  if (type.size() < 3) return -2;
  std::string three = type.substr(0, 3);
  static const char* const kPictures[] = {"bmp", "jpg", "gif", "dib", "pnp", "tif", "png", "emf"};
  bool picture = false;
  for (const char* p : kPictures) picture |= three == p;
  if (!picture) return -2;

  uint32_t target = static_cast<uint32_t>(r.source);
  HitSource source;
  HANDLE in = source.Open(target);
  if (!in) return -1;
  uint64_t size = std::min<uint64_t>(FoundFileBytes(r), kPreviewMaxBytes);
  uint8_t* data = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size), 1));
  if (!data) return -1;
  if (ReadTargetSectors(target, r.firstSector, static_cast<uint32_t>(size / kSectorSize), data, in) != 0) {
    std::free(data);
    return -1;
  }
  FileEndFinder finder(FileEndKindOfType(type.c_str()));
  finder.Feed(data, static_cast<size_t>(size));
  if (finder.length() > 0 && finder.length() < size) size = finder.length();
  *buffer = data;
  return static_cast<int>(size);
}

void FreeFoundFileData(uint8_t* buffer) { std::free(buffer); }

HANDLE CreateRawOutputFile(const char* destination, const char* itemName, int* error, std::string* createdPath) {
  return CreateOutputFile(itemName, destination, error, createdPath);
}

int CopyOutFoundFile(size_t index, const char* destination, RecoverProgressBlock* report) {
  uint8_t* chunk = AllocateChunk();
  if (!chunk) return kRawCopyRefused;
  HitSource source;
  int rc = CopyWithSource(source, index, destination, report, nullptr, chunk);
  VirtualFree(chunk, 0, MEM_RELEASE);
  return rc;
}

namespace {

// The path below the destination of each ticked hit: empty for the record's
// own name, else the name in its type's folder of kFilesPerFolder files.
std::vector<std::string> OutputNames() {
  std::vector<std::string> names(gFoundFiles.size());
  // The ticked hits of each type, in order.
  std::vector<std::pair<std::string, std::vector<size_t>>> types;
  for (size_t i = 0; i < gFoundFiles.size(); ++i) {
    if (!gFoundFiles[i].selected) continue;
    std::string name(gFoundFiles[i].name, strnlen(gFoundFiles[i].name, sizeof gFoundFiles[i].name));
    std::string type = name.substr(0, name.find('\\'));
    auto it = std::find_if(types.begin(), types.end(), [&](const auto& t) { return t.first == type; });
    if (it == types.end()) it = types.insert(types.end(), {type, {}});
    it->second.push_back(i);
  }
  auto stem = [](size_t i) {
    std::string n(gFoundFiles[i].name, strnlen(gFoundFiles[i].name, sizeof gFoundFiles[i].name));
    size_t slash = n.find('\\');
    std::string file = slash == std::string::npos ? n : n.substr(slash + 1);
    return file.substr(0, file.rfind('.'));
  };
  for (const auto& t : types) {
    if (t.second.size() <= kFilesPerFolder) continue;
    for (size_t k = 0; k < t.second.size(); k += kFilesPerFolder) {
      size_t end = std::min(k + kFilesPerFolder, t.second.size()) - 1;
      std::string folder = t.first + "\\" + stem(t.second[k]) + "-" + stem(t.second[end]) + "\\";
      for (size_t j = k; j <= end; ++j) {
        size_t i = t.second[j];
        std::string n(gFoundFiles[i].name, strnlen(gFoundFiles[i].name, sizeof gFoundFiles[i].name));
        size_t slash = n.find('\\');
        names[i] = folder + (slash == std::string::npos ? n : n.substr(slash + 1));
      }
    }
  }
  return names;
}

}  // namespace

int CopyOutFoundFiles(const char* destination) {
  gRawRecoverFailedFiles = 0;
  gRawRecoverDamagedFiles = 0;
  uint8_t* chunk = AllocateChunk();
  if (!chunk) return 0;
  HitSource source;
  int whole = 0;
  const std::vector<std::string> names = OutputNames();
  // The page hears of a file at most every gate interval, with the number of
  // files taken on so far, and of the last one at the end.
  ProgressGate gate;
  RecoverProgressBlock report;
  bool held = false;
  WPARAM taken = 0;
  CopyOutTally tally;
  for (const FoundFileRecord& r : gFoundFiles) tally.ticked += r.selected ? 1 : 0;
  size_t i = 0;
  for (; i < gFoundFiles.size() && !ScanAbortRequested(); ++i) {
    if (!gFoundFiles[i].selected) continue;
    ++taken;
    std::memset(&report, 0, sizeof report);
    HWND notify = gRawProgressWindow && gate.Due() ? gRawProgressWindow : nullptr;
    int rc = CopyWithSource(source, i, destination, &report, notify, chunk, names[i], taken);
    held = !notify && report.destination[0] != 0;
    if (rc == kRawCopyDone) {
      ++whole;
      continue;
    }
    if (rc == kRawCopyDamaged) {
      ++gRawRecoverDamagedFiles;
      continue;
    }
    // A file the stop cut short is removed: it is not recovered.
    ++gRawRecoverFailedFiles;
    if (rc == kRawCopyStopped || rc == kRawCopyDestinationFull) {
      ++i;
      break;   // a full destination takes no more files
    }
  }
  for (; i < gFoundFiles.size(); ++i) tally.notStarted += gFoundFiles[i].selected ? 1 : 0;
  tally.whole = static_cast<uint32_t>(whole);
  tally.damaged = gRawRecoverDamagedFiles.load();
  tally.failed = gRawRecoverFailedFiles.load();
  tally.copied = static_cast<uint32_t>(taken);
  ReportCopyOutTally("deep", tally);
  if (held && gRawProgressWindow)
    SendMessageA(gRawProgressWindow, WM_RECOVER_FILE, taken, reinterpret_cast<LPARAM>(&report));
  VirtualFree(chunk, 0, MEM_RELEASE);
  return whole;
}
