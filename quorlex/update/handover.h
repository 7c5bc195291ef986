// What the update leaves to the completion program (wendup.exe) and how the
// two talk: the pending-copy file "update\tarnur.dat" and the escape of the
// restart command line.
//
// The pending-copy file is a profile (INI) file of UTF-16 text:
//   [file0] DES=<target>  FROM=<downloaded copy>   (then file1, file2, ...)
//   [RUN]   PATH=<full path of the program to restart>
// DES and FROM are relative to the program's folder; the first missing
// section ends the list.
#pragma once

#include <string>
#include <vector>

namespace tarn {

// Relative to the program's folder.
extern const wchar_t kPendingFileName[];  // update\tarnur.dat

// The value the profile functions give for a missing key.
extern const wchar_t kPendingMissing[];  // NULL

// Deletes an old file and creates an empty one that begins with the UTF-16
// byte-order mark, so that the profile functions keep writing UTF-16 and wide
// names survive. Creates the missing folder.
bool PendingStartFresh(const std::wstring& file);
// Section "file<n>": DES and FROM. The file is started afresh when missing.
bool PendingWriteCopy(const std::wstring& file, int n, const std::wstring& des,
                      const std::wstring& from);
// Section "RUN", key "PATH". The file is started afresh when missing.
bool PendingWriteRun(const std::wstring& file, const std::wstring& program);

struct PendingCopy {
  std::wstring des;
  std::wstring from;
};
// file0, file1, ... up to the first section whose DES or FROM is missing
// (reads "NULL", case-insensitively). At most kPendingMaxCopies entries.
std::vector<PendingCopy> PendingReadCopies(const std::wstring& file);
// "PATH" of "RUN", or "" when it reads "NULL".
std::wstring PendingReadRun(const std::wstring& file);

constexpr int kPendingMaxCopies = 100000;

// The restart command line travels as one option value of the completion
// program's command line, where a space or a quote would end it. The escape
// writes '%', every character up to ' ' and '"' as '%' and four hex digits
// of the UTF-16 unit; everything else stays as it is. Unescaping gives back
// exactly the original text.
std::wstring EscapeCommandValue(const std::wstring& text);
std::wstring UnescapeCommandValue(const std::wstring& text);

}  // namespace tarn
