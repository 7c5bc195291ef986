// The filters of the deleted-file result page: a name pattern with '*' and
// '?', a date range on one of a record's three times, file kinds by
// extension, and a size range. The page's conditions live in its
// CFileTypeFilter; the filtered fill asks RecordPassesFilters for each record.
//
// Names and patterns are compared character by character in code page 936
// (a two-byte character is one character, so '?' stands for a whole Chinese
// character and a second byte is never taken for '*', '?', '.' or '\'); ASCII
// letters compare without regard to case.
#pragma once

#include <windows.h>

#include <cstdint>

#include "state.h"

class CFileTypeFilter;

// True when any component of the path (split at backslashes, a leading one
// skipped, the file name included) matches the pattern; an empty pattern
// matches everything. So a pattern can select whole folders.
bool MatchPathPattern(const char* path, const char* pattern);

// One name against one pattern (blanks round the pattern are ignored; an
// empty pattern and "*.*" match everything). A pattern with a '.' after its
// first character and not at its end must first pass the extension test.
bool MatchNamePattern(const char* name, const char* pattern);

// True when the pattern ('?' any one character, '*' any run) can be laid on
// the text from some start position; an empty text never matches.
bool MatchWildcard(const char* text, const char* pattern);

// Calendar key of a date: year * 400 + month * 31 + day.
inline uint32_t DateKey(const SYSTEMTIME& t) { return t.wYear * 400u + t.wMonth * 31u + t.wDay; }

// The record's time chosen by the conditions' date mode (1 created, 2
// modified, 3 accessed) lies between the bounds' local calendar days (both
// inclusive, hours ignored); mode 0 or an unknown mode passes.
bool MatchDateRange(const CFileTypeFilter& conditions, const DeletedFileRecord& record);

// True when no kind table is enabled, or the path ends with an extension of
// an enabled table (case-insensitive).
bool MatchFileCategory(const CFileTypeFilter& conditions, const char* path);

// True when the size condition is off, or the record's 64-bit size lies in
// [from, to] (both inclusive). Files of 4 GiB and more pass only an open
// upper bound (0xFFFFFFFF).
bool MatchSizeRange(const CFileTypeFilter& conditions, const DeletedFileRecord& record);

// The four tests in the filtered fill's order: pattern, date, kind, size.
// Null conditions pass everything.
bool RecordPassesFilters(const CFileTypeFilter* conditions, const DeletedFileRecord& record);

// The result page's three filter combos and its pattern made into conditions
// (selection 0 of a combo is "no condition"):
//   date  1 today, 2 within a week (today and the six days before), 3 this
//         month, 4 this year; by the last-modified time, up to today 23:59:59
//   kind  1 documents (office, ZRT office), 2 pictures, 3 media (audio,
//         video), 4 web pages
//   size  1 0-100 KB, 2 100 KB-1 MB, 3 1-16 MB, 4 over 16 MB (bounds in bytes,
//         inclusive)
// `today` is the local date the bounds count from. Returns true when any
// condition was set: every non-zero choice filters, not only a kind or a name.
struct ResultFilterChoice {
  int date = 0;
  int kind = 0;
  int size = 0;
  const char* pattern = "";
};
bool SetFilterConditions(const ResultFilterChoice& choice, const SYSTEMTIME& today, CFileTypeFilter* conditions);
