// Names that come from the update server (index texts) or from the
// pending-copy file are joined below the program's folder. Only relative
// names made of ordinary components may be joined: nothing can climb out,
// name a drive, a device, an alternate stream or the folder itself.
#pragma once

#include <string>

namespace tarn {

// One component: not empty, not "." or "..", no control character, none of
// < > : " | ? * / \, not ending in '.' or ' ', not a DOS device name (CON,
// NUL, COM1, LPT1, ... with or without an extension).
bool IsSafeComponent(const std::wstring& name);

// A relative file path: components separated by '\' or '/', each safe; no
// leading, trailing or doubled separator; not empty.
bool IsSafeRelativeFile(const std::wstring& path);

// A relative folder path: empty (the folder itself), or safe components with
// an optional trailing separator; no leading or doubled separator.
bool IsSafeRelativeFolder(const std::wstring& path);

// 32 hexadecimal digits (either case).
bool IsMd5Text(const std::wstring& text);

// '/' -> '\'.
std::wstring BackslashPath(std::wstring path);

// root (ending with '\') + relative, or "" when relative is not a safe file
// path or the joined path does not resolve below root.
std::wstring JoinBelow(const std::wstring& root, const std::wstring& relative);

// Whether the full form of path lies strictly below root (case-insensitive).
bool IsBelowFolder(const std::wstring& root, const std::wstring& path);

// Creates every missing folder of a file's absolute path, from the root.
// false when one cannot be made (a file stands in the way).
bool CreateFoldersOf(const std::wstring& filePath);

}  // namespace tarn
