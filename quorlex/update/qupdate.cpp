#include "qupdate.h"

#include <cwchar>

HRESULT STDMETHODCALLTYPE CQUpdate::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITarnUpdate)) {
    *out = static_cast<ITarnUpdate*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CQUpdate::AddRef() { return (ULONG)InterlockedIncrement(&refs_); }

ULONG STDMETHODCALLTYPE CQUpdate::Release() {
  LONG n = InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return (ULONG)n;
}

HRESULT STDMETHODCALLTYPE CQUpdate::CheckVersion(unsigned version) {
  return version < 2 ? S_OK : E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CQUpdate::SetProductId(int productId) {
  productId_ = productId;
  return S_OK;
}

// Until the update worker lands: an update that finds nothing to do.
HRESULT STDMETHODCALLTYPE CQUpdate::RunUpdate(ITarnUpdateCallback* callback) {
  if (callback) callback->OnFinish(0);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CQUpdate::StartReupdate(const wchar_t* cmd, int length) {
  if (cmd && (size_t)length != wcslen(cmd)) return E_INVALIDARG;
  if (!reupdate_) return S_OK;
  return S_OK;
}
