// Which texts a link label may hand to the shell. A label's address can come
// from a file beside the program (the tips of "item.ini") that anyone can
// edit; given to ShellExecute, a plain path or another scheme would start a
// program. Only web pages and mail addresses are opened.
#pragma once

namespace controls {

// True for "http://", "https://" (with a host after the slashes) and
// "mailto:" (with an address after the colon), the scheme in any case, with
// no control character, space or double quote anywhere in the text.
bool IsOpenableLink(const char* url);

}  // namespace controls
