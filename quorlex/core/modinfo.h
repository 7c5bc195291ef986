// The module this code lives in, and the process-wide values that the host's
// Init sets: the product (channel) id and the sub-version.
#pragma once

#include <windows.h>

#include <string>

namespace tarn {

// The DLL (or, in a test, the program) that contains this library.
HMODULE ModuleHandle();
// Its folder with a trailing backslash.
std::wstring ModuleFolder();
// The full wide path of a module (null: the program), never cut at MAX_PATH;
// "" when it cannot be had whole.
std::wstring ModulePath(HMODULE module);
// The folder part of a path, ending with '\' ("" without one).
std::wstring FolderOf(const std::wstring& path);

int ProductId();
void SetProductId(int id);
int SubVersion();
void SetSubVersion(int sv);

// [tarn] subversion of "tarnver.dat" directly beside the module; 0 when the
// file or the key is missing.
int ReadSubVersion();

}  // namespace tarn
