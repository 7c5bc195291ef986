#include "factory.h"

#include <new>

#include "infoc.h"
#include "pushinfo.h"

namespace tarn {

HRESULT CreateInnerObject(REFIID riid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(riid, IID_ITarnInfoc)) {
    CTarnInfocImpl* object = new (std::nothrow) CTarnInfocImpl();
    if (!object) return E_OUTOFMEMORY;
    *out = static_cast<ITarnInfoc*>(object);
    return S_OK;
  }
  if (IsEqualIID(riid, IID_ITarnPushInfo)) {
    CTarnPushInfo* object = new (std::nothrow) CTarnPushInfo();
    if (!object) return E_OUTOFMEMORY;
    *out = static_cast<ITarnPushInfo*>(object);
    return S_OK;
  }
  return E_NOINTERFACE;
}

}  // namespace tarn
