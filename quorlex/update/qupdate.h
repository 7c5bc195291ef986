// The update object handed out by the library's export.
#pragma once

#include "tarnapi.h"

class CQUpdate : public ITarnUpdate {
 public:
  CQUpdate() = default;
  virtual ~CQUpdate() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CheckVersion(unsigned version) override;
  HRESULT STDMETHODCALLTYPE SetProductId(int productId) override;
  HRESULT STDMETHODCALLTYPE RunUpdate(ITarnUpdateCallback* callback) override;
  HRESULT STDMETHODCALLTYPE StartReupdate(const wchar_t* cmd, int length) override;

  int ProductId() const { return productId_; }
  int ReupdateFlag() const { return reupdate_; }

 private:
  LONG refs_ = 1;
  int productId_ = 0;
  int reupdate_ = 0;
};
