// Files the library keeps under the common application data folder and in
// its own folder are reached only along plain folders: a junction or
// symbolic link below the trusted base could send a write anywhere, and
// appending to a file with a second (hard) link writes into another file.
#pragma once

#include <windows.h>

#include <string>

namespace tarn {

// Whether no existing component of path below base (base itself is trusted)
// is a reparse point, and an existing file at path has exactly one link.
// Components that do not exist yet are fine. path must lie below base.
bool IsPlainPathBelow(const std::wstring& base, const std::wstring& path);

// Opens (creating when missing) path for appending, positioned at its end,
// only when IsPlainPathBelow holds before and, on the opened handle, after:
// INVALID_HANDLE_VALUE otherwise.
HANDLE OpenPlainForAppend(const std::wstring& base, const std::wstring& path);

}  // namespace tarn
