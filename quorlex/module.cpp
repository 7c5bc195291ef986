// quorlex.dll: the entry point and the single export.
#include <windows.h>

#include <new>

#include "modinfo.h"
#include "qupdate.h"
#include "replace.h"
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

namespace {

LONG gRecovered = 0;

// An update cut short (a crash, a power cut) is finished or undone the first
// time a host asks for an object: not in DllMain, which runs under the
// loader's lock.
void RecoverOnce() {
  if (InterlockedExchange(&gRecovered, 1) != 0) return;
  std::wstring folder = tarn::ModuleFolder();
  if (!folder.empty()) tarn::RecoverInterruptedUpdate(folder);
}

}  // namespace

extern "C" HRESULT STDMETHODCALLTYPE Tarn3thGetClassObject(REFIID riid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  RecoverOnce();
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
