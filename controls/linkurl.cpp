#include "linkurl.h"

#include <cstring>

namespace controls {

namespace {

// The text starts with `prefix` (ASCII, compared without regard to case).
bool StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix) {
    char c = *text;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != *prefix) return false;
  }
  return true;
}

}  // namespace

bool IsOpenableLink(const char* url) {
  if (!url) return false;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(url); *p; ++p)
    if (*p <= ' ' || *p == '"' || *p == 0x7F) return false;
  static const char* const kSchemes[] = {"http://", "https://", "mailto:"};
  for (const char* scheme : kSchemes) {
    if (!StartsWithNoCase(url, scheme)) continue;
    const char* rest = url + std::strlen(scheme);
    // Something to open: a host, or an address.
    return *rest && *rest != '/';
  }
  return false;
}

}  // namespace controls
