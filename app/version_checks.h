// Small checks that pages of several roads use: the program's own version
// text, a destination path typed by the user, and the Windows generation.
#pragma once
#include "framework.h"

// The product version of the program file as "a.b.c.d"; 1 on success, else 0
// with out left empty (no path, no version resource).
int GetOwnVersionString(CString& out);
// The same for any file (the program's own is the one above).
int GetFileVersionString(const char* path, CString& out);

// 1 when path may be used as a destination: no backslash followed by a blank,
// no two backslashes in a row, none of / : * ? < > | from the third character
// on. Two-byte characters are whole characters: their second byte is never
// taken for a backslash or a bar.
int IsValidPathName(const char* path);

// 1 on Windows Vista or later (major version 6 and up), else 0.
int IsVistaOrLater();
