// wendup.exe: finishes an update after the updated program has ended. It
// waits for that process, copies every pending file recorded in
// "update\tarnur.dat" over its target, deletes the record and, only when it
// was given a command line, starts the program again with it.
//
//   wendup [-pid:<process id>] [-cmd:<escaped command line>]
//
// A copy that can neither be made nor left to the next start of Windows
// stays in the record (renumbered from file0, with its RUN section), and the
// exit code is the number of such copies: nothing that failed is forgotten.
// Only a program inside its own folder is started again.
#include <windows.h>
#include <psapi.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "cmdline.h"
#include "handover.h"
#include "modinfo.h"
#include "replace.h"
#include "safepath.h"

namespace {

const int kCopyAttempts = 10;
const DWORD kCopyRetryMs = 200;

// Waits for the process to end; its program is the one to restart ("" when
// its whole name cannot be had).
std::wstring WaitForProcess(DWORD pid) {
  HANDLE process =
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid);
  if (!process) return std::wstring();
  std::vector<wchar_t> path(32768 + 1, L'\0');
  DWORD n = GetModuleFileNameExW(process, nullptr, path.data(), 32768);
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
  if (n == 0 || n >= 32768) return std::wstring();
  return std::wstring(path.data(), n);
}

// Only a program of the install folder is started again: the record and the
// command line name nothing else.
bool IsOwnProgram(const std::wstring& root, const std::wstring& program) {
  if (program.size() <= root.size() || _wcsnicmp(program.c_str(), root.c_str(), root.size()) != 0)
    return false;
  std::wstring rest = program.substr(root.size());
  return !tarn::JoinBelow(root, rest).empty() && rest.size() > 4 &&
         _wcsicmp(rest.c_str() + rest.size() - 4, L".exe") == 0;
}

// Copies from over to, retrying while the target is still held; a target
// that stays locked is replaced at the next start of Windows. false when
// neither happened. A new file's folder is made first.
bool CopyPending(const std::wstring& from, const std::wstring& to) {
  // A missing copy cannot be made good later either: it stays recorded.
  DWORD a = GetFileAttributesW(from.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (!tarn::CreateFoldersOf(to)) return false;
  // The new bytes go whole beside the target first, then take its place by
  // one rename written through: a crash never leaves half a file.
  const std::wstring fresh = to + L".wendup";
  for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
    if (attempt > 0) Sleep(kCopyRetryMs);
    if (!CopyFileW(from.c_str(), fresh.c_str(), FALSE) || !tarn::FlushFile(fresh)) continue;
    if (MoveFileExW(fresh.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      // The copy has done its work: downloads are not kept.
      DeleteFileW(from.c_str());
      return true;
    }
  }
  DeleteFileW(fresh.c_str());
  return MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

// The record keeps exactly what is left to do.
void KeepOnly(const std::wstring& pendingFile, const std::vector<tarn::PendingCopy>& left,
              const std::wstring& run) {
  if (left.empty()) {
    DeleteFileW(pendingFile.c_str());
    return;
  }
  tarn::PendingStartFresh(pendingFile);
  for (size_t i = 0; i < left.size(); ++i)
    tarn::PendingWriteCopy(pendingFile, (int)i, left[i].des, left[i].from);
  if (!run.empty()) tarn::PendingWriteRun(pendingFile, run);
}

void Start(const std::wstring& program, const std::wstring& commandLine,
           const std::wstring& folder) {
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     folder.c_str(), &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CCommandLine options;
  options.Parse(GetCommandLineW());

  std::wstring program;
  if (options.Has(L"pid")) {
    std::wstring value = options.Get(L"pid");
    DWORD pid = value.empty() ? 1 : (DWORD)StrToIntW(value.c_str());
    program = WaitForProcess(pid);
  }

  // Every path below is absolute: the recorded names are relative to this
  // program's folder and must stay inside it. Without the whole name of that
  // folder nothing is touched.
  std::wstring root = tarn::FolderOf(tarn::ModulePath(nullptr));
  if (root.empty()) return -1;
  std::wstring folder = root.substr(0, root.size() - 1);
  // A run of the library cut short is finished or undone first; one that
  // cannot be undone leaves everything to the next start.
  if (tarn::RecoverInterruptedUpdate(root) < 0) return -1;
  std::wstring pendingFile = root + tarn::kPendingFileName;
  std::vector<tarn::PendingCopy> left;
  for (const tarn::PendingCopy& copy : tarn::PendingReadCopies(pendingFile)) {
    std::wstring from = tarn::JoinBelow(root, copy.from);
    std::wstring to = tarn::JoinBelow(root, copy.des);
    if (from.empty() || to.empty() || !CopyPending(from, to)) left.push_back(copy);
  }

  std::wstring recorded = tarn::PendingReadRun(pendingFile);
  if (program.empty()) program = recorded;
  if (program.empty()) program = folder + L"\\hastlet.exe";
  KeepOnly(pendingFile, left, recorded);

  if (options.Has(L"cmd") && IsOwnProgram(root, program))
    Start(program, tarn::UnescapeCommandValue(options.Get(L"cmd")), folder);
  return (int)left.size();
}
