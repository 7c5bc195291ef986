// Where the program and its libraries find what lies beside them.
//
// The folder comes from the wide module name, whole (never cut at MAX_PATH),
// and every library and data file is opened by its full wide path. An 8-bit
// copy of the folder is given only when it names exactly the same folder:
// the code page's best fit can turn one name into another ('²' into '2' in
// code page 936), and a look-alike folder beside the real one must never be
// read or run from.
#pragma once

#include <windows.h>

#include <string>

// The folder of a module (null: the program), ending with '\'; "" when its
// whole name cannot be had.
std::wstring ModuleFolderW(HMODULE module);
// The same folder in the active code page; "" when the name does not come
// back unchanged from that code page.
std::string ModuleFolderAnsi(HMODULE module);
// Whether text survives the round trip through the active code page.
bool SurvivesCodePage(const std::wstring& text);
// folder + name, loaded by that full path; null when folder is empty.
HMODULE LoadLibraryBeside(const std::wstring& folder, const wchar_t* name);
// System libraries loaded by name come from the system folder only, not
// from the current directory: SetDefaultDllDirectories where the system has
// it, else SetDllDirectoryW(""), both bound at run time so that a system
// without them (Windows XP before SP1) still runs the program.
void UseSafeLibrarySearch();
