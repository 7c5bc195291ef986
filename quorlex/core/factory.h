// Creates the library's inner service objects by interface id.
#pragma once

#include <windows.h>

namespace tarn {

// E_INVALIDARG for a null out; E_NOINTERFACE for an id the library does not
// make; E_OUTOFMEMORY (with *out null) when the object cannot be allocated.
HRESULT CreateInnerObject(REFIID riid, void** out);

}  // namespace tarn
