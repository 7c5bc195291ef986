// Putting one downloaded file in place of a file of the program's folder, and
// the journal that lets the next start finish or undo a run cut short.
//
// A replacement never overwrites the old file: the new bytes go into a copy
// beside the target (flushed), the old file is renamed aside, the copy is
// renamed into its place, each rename written through. Until the run commits,
// the old file can be renamed back; a run that commits deletes the old files.
//
// The journal, "update\journal.dat", is UTF-8 lines each ending with '\n',
// written and flushed before the step it announces:
//   R<TAB>created (0/1)<TAB>attributes (hex)<TAB>suffix<TAB>target
//   C
// target is relative to the program's folder; the copy is target + "." +
// suffix + ".new", the old file target + "." + suffix + ".old". "C" says every
// file is in place. A torn last line announced nothing that had begun.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarn {

extern const wchar_t kJournalFileName[];  // update\journal.dat

// A copy's bytes on the disk before it is renamed into place (the file, never
// what a link at its name points to).
bool FlushFile(const std::wstring& path);

class ReplaceJournal {
 public:
  explicit ReplaceJournal(const std::wstring& root);  // root ends with '\'
  ~ReplaceJournal();
  ReplaceJournal(const ReplaceJournal&) = delete;
  ReplaceJournal& operator=(const ReplaceJournal&) = delete;

  // Creates the journal afresh (a journal already there is recovered first by
  // the caller). false when it cannot be written: nothing may be replaced.
  bool Begin();
  // Announces one replacement; false when it could not be flushed.
  bool Planned(const std::wstring& target, bool created, DWORD attributes,
               const std::wstring& suffix);
  bool Commit();
  // Closes and deletes the journal (after the run was finished or undone).
  void Remove();
  void Close();

 private:
  bool Append(const std::string& line);
  std::wstring root_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

// What putting one file in place changed, so that a run that fails later can
// put the old file back.
struct Replacement {
  std::wstring target;
  DWORD attributes = 0;  // the old file's
  bool created = false;  // there was no old file
  std::wstring aside;    // the old file itself, renamed aside
  std::wstring staged;   // the new file, waiting for the next start of Windows
};

// Puts newCopy in place of target (both absolute): 0 replaced, 1 replacement
// scheduled for the next start of Windows, else a negative HRESULT. A folder
// or a link at the target is refused, never removed. The target is never
// left missing: an old file renamed aside is renamed back when the new one
// cannot take its place. journal (may be null) hears of the replacement
// before anything is done.
int ReplaceTargetFile(const std::wstring& newCopy, const std::wstring& target);
int ReplaceTargetFileUndoable(const std::wstring& newCopy, const std::wstring& target,
                              Replacement* undo, ReplaceJournal* journal = nullptr);
// The old file back at the target (a scheduled replacement is called off);
// false when it could not be put back (what was kept aside then stays).
bool UndoReplacement(const Replacement& r);
// Drops the old file: at once, or at the next start of Windows when it is in use.
void FinishReplacement(const Replacement& r);

// Finishes (committed) or undoes (not committed) the run a journal below root
// describes, then deletes the journal; an undone run's pending-copy file goes
// too. 0 no journal, 1 repaired, -1 something could not be put back or the
// journal is held open by a run under way in another process (nothing is
// touched then; the journal stays for the next start).
int RecoverInterruptedUpdate(const std::wstring& root);

}  // namespace tarn
