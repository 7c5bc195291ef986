// The machine identity: a 32-digit lowercase MD5 text made once and kept in
// two stores, a registry value under a fixed class key and the ini file
// "<common application data>\Quillon\NOX\hg.dat", each restoring the other.
#pragma once

#include <string>

namespace tarn {

// Where the two stores live (for tests and diagnostics).
extern const wchar_t kIdentityRegKey[];  // under HKEY_CLASSES_ROOT
std::wstring IdentityFilePath();         // "" when it cannot be formed

// Reads name from the stores, writing a value found in only one into both.
// When found in neither: "idex" gets a new id; any other name gets
// defaultText stored, unless it is null. Returns whether a value was found or
// made; *path_ok tells whether the hg.dat path could be formed.
bool ReadIdentityValue(const wchar_t* name, const wchar_t* defaultText, std::wstring* value,
                       bool* pathOk = nullptr);
void StoreIdentityValue(const wchar_t* name, const std::wstring& text);

// Makes a new id from random and machine data and stores it as "idex".
std::wstring MakeMachineId();

// The id; ids listed in section "ulst" of ulstFile (when given) are replaced.
std::wstring GetMachineId(const wchar_t* ulstFile);
// GetMachineId(L"") in the ANSI code page; 32 '0' characters when empty.
std::string GetMachineIdA();

}  // namespace tarn
