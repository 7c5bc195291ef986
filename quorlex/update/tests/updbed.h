// What the updater's and the companion programs' tests share: wide paths,
// the update trees of the test bed (updtree.py), child processes and the
// registry list of renames at the next start of Windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "bedfile.h"

namespace updbed {

std::wstring W(const std::string& utf8);
std::string U(const std::wstring& wide);
std::wstring FromAnsi(const std::string& ansi);

// A fresh, empty folder below the test's scratch folder, ending with '\'.
std::wstring Scratch(const std::string& sub);

bool Exists(const std::wstring& path);
bool IsFolder(const std::wstring& path);
bool ReadBytes(const std::wstring& path, std::string* out);
bool WriteBytes(const std::wstring& path, const std::string& data);  // makes the folders
std::string Md5(const std::wstring& path);  // "" when unreadable
bool CopyInto(const std::wstring& src, const std::wstring& dst);  // makes the folders
// Relative paths of every file below folder (sorted).
std::vector<std::wstring> ListFiles(const std::wstring& folder);

// The folder of the running test program (the build's bin), ending with '\'.
std::wstring ProgramFolder();

// ---- update trees ----
struct Expect {
  std::string kind;
  std::wstring path;
  std::wstring value;
};
std::wstring TreeFolder();  // QX_UPDATE_TREE + '\'
std::vector<Expect> ReadExpect(const std::string& scenario);
std::vector<Expect> ExpectOf(const std::vector<Expect>& all, const std::string& kind);
// The value of the line of that kind and path ("" when there is none).
std::wstring ExpectValue(const std::vector<Expect>& all, const std::string& kind,
                         const std::wstring& path);
// Copies local/<scenario> of the tree into root.
void SeedLocal(const std::string& scenario, const std::wstring& root);
// https://localhost:port/upd/<scenario> of the bed's TLS server.
std::string ScenarioUrl(const std::string& scenario);
// Points the update server of the library at module (bed::SetServer; by
// default this program, which links the library) at it, with the bed's test
// CA trusted.
void UseScenario(const std::string& scenario, const std::wstring& module = bed::ThisProgram());
// The bed's test CA in the machine's Root store until the program ends.
// Wine's schannel accepts any certificate; the library's own check (the
// system's chain engine and SSL policy) reads this store, which Wine keeps in
// the prefix's registry beside the host's /etc/ssl/certs.
void TrustTestCa();
// Requests logged by the server whose path contains part.
size_t CountRequests(const std::string& part);

// ---- processes ----
// Starts program with the command line (as given, the program's own name
// not added); null on failure.
HANDLE Start(const std::wstring& program, const std::wstring& commandLine);
// Waits up to seconds for the process; true when it ended.
bool WaitEnded(HANDLE process, int seconds);
void EndProcess(HANDLE process);  // terminates, waits and closes
// Processes whose program is exactly this path.
std::vector<DWORD> ProcessesOf(const std::wstring& program);
// Polls until the file exists (at most seconds).
bool WaitForFile(const std::wstring& path, int seconds);

// ---- renames at the next start of Windows ----
// The (source, target) pairs of PendingFileRenameOperations that name a path
// below folder; target "" for a deletion.
std::vector<std::pair<std::wstring, std::wstring>> RebootRenames(const std::wstring& folder);
// Removes those pairs again, so that no later start of the test bed's Wine
// prefix performs them.
void ForgetRebootRenames(const std::wstring& folder);

}  // namespace updbed
