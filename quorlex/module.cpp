// quorlex.dll: the entry point and the single export.
#include <windows.h>

#include <new>

#include "qupdate.h"
#include "svclog.h"
#include "tarn3th.h"
#include "tarnapi.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    tarn::LogSetUp();
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded by FreeLibrary: our threads are gone. At process exit they were
    // killed wherever they stood, perhaps holding the log's lock: leave it.
    tarn::LogShutDown();
  }
  return TRUE;
}

extern "C" HRESULT STDMETHODCALLTYPE Tarn3thGetClassObject(REFIID riid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(riid, IID_ITarnUpdate)) {
    CQUpdate* update = new (std::nothrow) CQUpdate();
    if (!update) return E_OUTOFMEMORY;
    *out = static_cast<ITarnUpdate*>(update);
    return S_OK;
  }
  if (IsEqualIID(riid, IID_ITarnImpl3th)) {
    CTarn3th* service = new (std::nothrow) CTarn3th();
    if (!service) return E_OUTOFMEMORY;
    *out = static_cast<ITarnImpl3th*>(service);
    return S_OK;
  }
  return E_NOINTERFACE;
}
