// Where the library's servers are. The product's own addresses are built in;
// only an administrator can name others, for one installation of the library:
// string values under HKLM\Software\Quillon\Tarn\Servers\<the full path of
// the library's file, '\' written as '/'>. Nothing a standard user controls -
// the environment, HKCU, a virtualised view of HKLM - moves them: the same
// program may run elevated and install what the update server sends. (The
// tests, which run as administrator, point their own copy of the library at
// their loopback servers this way; other programs on the machine are not
// affected.)
#pragma once

#include <string>

namespace tarn {

extern const wchar_t kServersKey[];  // Software\Quillon\Tarn\Servers (under HKLM)

// Value names under an installation's key.
extern const wchar_t kServerUpdate[];      // the update server (scheme://host[:port])
extern const wchar_t kServerStatAction[];  // the statistics action endpoint list
extern const wchar_t kServerStatNode[];    // the statistics node endpoint list
extern const wchar_t kServerPush[];        // the message servers list

// The key (below HKLM) that names the servers of the library at modulePath.
std::wstring ServersKeyOf(const std::wstring& modulePath);

// The administrator's value of that name for this library when there is a
// non-empty one and the process does not see a virtualised registry; builtIn
// otherwise.
std::string ServerAddress(const wchar_t* name, const char* builtIn);

}  // namespace tarn
