// The update object handed out by the library's export: the host sets its
// product id, runs the update with its progress callback and, when files were
// left in use, hands the rest over to the completion program (wendup.exe).
#pragma once

#include <string>

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

  // The program's folder the update works in (the module's own folder unless
  // a test sets another), ending with '\'.
  void SetRoot(const std::wstring& root) { root_ = root; }
  std::wstring Root() const;

 private:
  LONG refs_ = 1;
  int productId_ = 0;
  int reupdate_ = 0;
  std::wstring root_;
};

namespace tarn {

// The completion program's command line: its quoted full path, then
// " -name:value" items of "pid" and, when cmd is not empty, "cmd" (escaped so
// that it comes back unchanged).
std::wstring ReupdateCommandLine(const std::wstring& wendupPath, const std::wstring& cmd,
                                 DWORD processId);

}  // namespace tarn
