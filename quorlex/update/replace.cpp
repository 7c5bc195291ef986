#include "replace.h"

#include <objbase.h>

#include <cstdio>
#include <cwchar>

#include "handover.h"
#include "safepath.h"
#include "svclog.h"
#include "textconv.h"

namespace tarn {

const wchar_t kJournalFileName[] = L"update\\journal.dat";

namespace {

// A journal longer than this was not written by this program.
const DWORD kMaxJournalBytes = 64u << 20;
const DWORD kMoveSafely = MOVEFILE_WRITE_THROUGH;

std::wstring GuidText() {
  GUID guid;
  wchar_t text[64] = {};
  if (FAILED(CoCreateGuid(&guid)) || !StringFromGUID2(guid, text, 64)) {
    // No GUID: a name from the clock and the process is unique enough here.
    swprintf(text, 64, L"{%08lX-%08lX}", GetTickCount(), GetCurrentProcessId());
  }
  return text;
}

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool FileExists(const std::wstring& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolderOrLink(DWORD a) {
  return a != INVALID_FILE_ATTRIBUTES &&
         (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0;
}

std::wstring NewName(const std::wstring& target, const std::wstring& suffix) {
  return target + L"." + suffix + L".new";
}
std::wstring OldName(const std::wstring& target, const std::wstring& suffix) {
  return target + L"." + suffix + L".old";
}

struct JournalRecord {
  bool created = false;
  DWORD attributes = 0;
  std::wstring suffix;
  std::wstring target;  // relative
};

// The complete lines of a journal; *committed when "C" is among them.
bool ReadJournal(const std::wstring& path, std::vector<JournalRecord>* records, bool* committed) {
  *committed = false;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size = {};
  std::string text;
  bool ok = GetFileSizeEx(h, &size) && size.QuadPart <= kMaxJournalBytes;
  if (ok) {
    text.resize((size_t)size.QuadPart);
    DWORD got = 0;
    ok = text.empty() || (ReadFile(h, &text[0], (DWORD)text.size(), &got, nullptr) &&
                          got == text.size());
  }
  CloseHandle(h);
  if (!ok) return false;
  size_t at = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = text.substr(at, end - at);
    if (line == "C") {
      *committed = true;
      continue;
    }
    if (line.size() < 2 || line[0] != 'R' || line[1] != '\t') continue;
    std::vector<std::string> fields;
    size_t from = 2;
    for (size_t tab; (tab = line.find('\t', from)) != std::string::npos && fields.size() < 3;
         from = tab + 1)
      fields.push_back(line.substr(from, tab - from));
    if (fields.size() != 3) continue;
    JournalRecord r;
    r.created = fields[0] == "1";
    r.attributes = (DWORD)strtoul(fields[1].c_str(), nullptr, 16);
    r.suffix = Utf8ToWide(fields[2]);
    r.target = Utf8ToWide(line.substr(from));
    records->push_back(r);
  }
  return true;
}

}  // namespace

bool FlushFile(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = FlushFileBuffers(h) != FALSE;
  CloseHandle(h);
  return ok;
}

ReplaceJournal::ReplaceJournal(const std::wstring& root) : root_(root) {}

ReplaceJournal::~ReplaceJournal() { Close(); }

bool ReplaceJournal::Begin() {
  Close();
  std::wstring path = root_ + kJournalFileName;
  if (!CreateFoldersOf(path)) return false;
  // A link at the journal's name is replaced, never written through.
  file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OPEN_REPARSE_POINT,
                      nullptr);
  return file_ != INVALID_HANDLE_VALUE;
}

bool ReplaceJournal::Append(const std::string& line) {
  if (file_ == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  return WriteFile(file_, line.data(), (DWORD)line.size(), &done, nullptr) &&
         done == line.size() && FlushFileBuffers(file_);
}

bool ReplaceJournal::Planned(const std::wstring& target, bool created, DWORD attributes,
                             const std::wstring& suffix) {
  // Only names below the program's folder are recorded, relative to it.
  if (target.size() <= root_.size() || _wcsnicmp(target.c_str(), root_.c_str(), root_.size()) != 0)
    return false;
  std::wstring relative = target.substr(root_.size());
  if (JoinBelow(root_, relative).empty()) return false;
  char head[64];
  snprintf(head, sizeof head, "R\t%d\t%lx\t", created ? 1 : 0, (unsigned long)attributes);
  return Append(head + WideToUtf8(suffix) + "\t" + WideToUtf8(relative) + "\n");
}

bool ReplaceJournal::Commit() { return Append("C\n"); }

void ReplaceJournal::Close() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
}

void ReplaceJournal::Remove() {
  Close();
  DeleteFileW((root_ + kJournalFileName).c_str());
}

int ReplaceTargetFile(const std::wstring& newCopy, const std::wstring& target) {
  Replacement r;
  int rc = ReplaceTargetFileUndoable(newCopy, target, &r);
  if (rc == 0 || rc == 1) FinishReplacement(r);
  return rc;
}

int ReplaceTargetFileUndoable(const std::wstring& newCopy, const std::wstring& target,
                              Replacement* undo, ReplaceJournal* journal) {
  *undo = Replacement();
  undo->target = target;
  if (newCopy.empty() || target.empty()) return E_FAIL;
  if (!FileExists(newCopy)) return (int)0x80070002;
  if (!CreateFoldersOf(target)) return (int)HRESULT_FROM_WIN32(GetLastError());
  DWORD old = Attributes(target);
  if (IsFolderOrLink(old)) return (int)HRESULT_FROM_WIN32(ERROR_DIRECTORY);
  undo->created = old == INVALID_FILE_ATTRIBUTES;
  undo->attributes = undo->created ? 0 : old;

  std::wstring suffix = GuidText();
  std::wstring fresh = NewName(target, suffix), aside = OldName(target, suffix);
  if (journal && !journal->Planned(target, undo->created, undo->attributes, suffix))
    return (int)HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  if (!CopyFileW(newCopy.c_str(), fresh.c_str(), TRUE) || !FlushFile(fresh)) {
    DWORD err = GetLastError();
    DeleteFileW(fresh.c_str());
    return err ? (int)HRESULT_FROM_WIN32(err) : E_FAIL;
  }
  SetFileAttributesW(fresh.c_str(), FILE_ATTRIBUTE_NORMAL);

  if (!undo->created) {
    // A running program can be renamed, not written: the old file goes
    // aside whole, and stays until the run commits.
    if (!MoveFileExW(target.c_str(), aside.c_str(), kMoveSafely)) {
      DWORD err = GetLastError();
      // Not even renamable: the copy takes its place at the next start.
      if (MoveFileExW(fresh.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
        undo->staged = fresh;
        return 1;
      }
      err = GetLastError() ? GetLastError() : err;
      DeleteFileW(fresh.c_str());
      return err ? (int)HRESULT_FROM_WIN32(err) : E_FAIL;
    }
    SetFileAttributesW(aside.c_str(), FILE_ATTRIBUTE_HIDDEN);
    undo->aside = aside;
  }
  if (MoveFileExW(fresh.c_str(), target.c_str(), kMoveSafely)) return 0;
  DWORD err = GetLastError();
  // The program must not lose the file: the old one goes back.
  if (!undo->aside.empty() && !UndoReplacement(*undo))
    LogLineW(L"cannot restore %ls from %ls", target.c_str(), aside.c_str());
  DeleteFileW(fresh.c_str());
  return err ? (int)HRESULT_FROM_WIN32(err) : E_FAIL;
}

bool UndoReplacement(const Replacement& r) {
  if (!r.staged.empty()) {
    // Without its source the rename at the next start does nothing.
    return DeleteFileW(r.staged.c_str()) || !FileExists(r.staged);
  }
  if (r.created) return DeleteFileW(r.target.c_str()) || !FileExists(r.target);
  if (r.aside.empty()) return true;
  if (!MoveFileExW(r.aside.c_str(), r.target.c_str(), MOVEFILE_REPLACE_EXISTING | kMoveSafely))
    return false;  // what was kept aside stays, for whoever repairs it
  SetFileAttributesW(r.target.c_str(), r.attributes);
  return true;
}

void FinishReplacement(const Replacement& r) {
  if (!r.aside.empty() && !DeleteFileW(r.aside.c_str()) && FileExists(r.aside))
    MoveFileExW(r.aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

int RecoverInterruptedUpdate(const std::wstring& root) {
  std::wstring path = root + kJournalFileName;
  DWORD a = Attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) return 0;
  std::vector<JournalRecord> records;
  bool committed = false;
  if (IsFolderOrLink(a) || !ReadJournal(path, &records, &committed)) {
    LogLine("the update journal cannot be read");
    return -1;
  }
  bool ok = true;
  for (size_t i = records.size(); i-- > 0;) {
    const JournalRecord& j = records[i];
    std::wstring target = JoinBelow(root, j.target);
    if (target.empty() || !IsSafeComponent(j.suffix)) continue;  // never written by us
    Replacement r;
    r.target = target;
    r.created = j.created;
    r.attributes = j.attributes;
    std::wstring fresh = NewName(target, j.suffix), aside = OldName(target, j.suffix);
    if (FileExists(aside)) r.aside = aside;
    if (committed) {
      FinishReplacement(r);
      continue;
    }
    // A copy not yet renamed into place (or waiting for the next start of
    // Windows) is called off; then the old file comes back.
    if (FileExists(fresh) && !DeleteFileW(fresh.c_str())) ok = false;
    if (!r.aside.empty()) {
      if (!UndoReplacement(r)) ok = false;
    } else if (r.created && FileExists(target)) {
      if (!DeleteFileW(target.c_str())) ok = false;
    }
  }
  if (!committed) DeleteFileW((root + kPendingFileName).c_str());
  if (!ok) {
    LogLine("an interrupted update could not be undone entirely");
    return -1;
  }
  DeleteFileW(path.c_str());
  LogLine("an interrupted update was %s", committed ? "finished" : "undone");
  return 1;
}

}  // namespace tarn
