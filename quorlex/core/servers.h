// Where the library's servers are. The product's own addresses are built in;
// only an administrator can name others, as string values under
// HKLM\Software\Quillon\Tarn\Servers (the tests, which run as one, point the
// library at their loopback servers this way). Nothing a standard user
// controls - the environment, HKCU, a virtualised view of HKLM - moves them:
// the same program may run elevated and install what the update server sends.
#pragma once

#include <string>

namespace tarn {

extern const wchar_t kServersKey[];  // Software\Quillon\Tarn\Servers (under HKLM)

// Value names under kServersKey.
extern const wchar_t kServerUpdate[];      // the update server (scheme://host[:port])
extern const wchar_t kServerStatAction[];  // the statistics action endpoint list
extern const wchar_t kServerStatNode[];    // the statistics node endpoint list
extern const wchar_t kServerPush[];        // the message servers list

// The administrator's value of that name when there is a non-empty one and
// the process does not see a virtualised registry; builtIn otherwise.
std::string ServerAddress(const wchar_t* name, const char* builtIn);

}  // namespace tarn
