// The statistics sender: turns one action or node text into a wire record and
// sends it with an HTTP GET to the action or node endpoint.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

#include "http.h"

// {947119A4-5535-4B5A-8A1E-EA243E004C44}
static const IID IID_ITarnInfoc = {
    0x947119A4, 0x5535, 0x4B5A, {0x8A, 0x1E, 0xEA, 0x24, 0x3E, 0x00, 0x4C, 0x44}};

struct ITarnInfoc : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Init(int productId, int subVersion) = 0;            // 3
  virtual HRESULT STDMETHODCALLTYPE Nop() = 0;                                          // 4
  virtual HRESULT STDMETHODCALLTYPE CheckVersion(unsigned version) = 0;                 // 5
  virtual HRESULT STDMETHODCALLTYPE SendAction(const wchar_t* text, int mode, int* result) = 0;  // 6
  virtual HRESULT STDMETHODCALLTYPE SendNode(const wchar_t* text, int* result) = 0;    // 7
};

namespace tarn {

// Endpoint addresses ("url1;url2" lists): built in, or an administrator's
// (servers.h).
std::string ActionEndpointText();
std::string NodeEndpointText();

// The pieces of an action record, for inspection: section 1 and 2 texts.
std::string ActionSection1(int productId, int subVersion);
std::string ActionRecord(int productId, int subVersion, const std::string& machineId,
                         const std::wstring& action);
std::string NodeText(const std::wstring& node, DWORD tick);

}  // namespace tarn

class CTarnInfocImpl : public ITarnInfoc {
 public:
  CTarnInfocImpl();
  virtual ~CTarnInfocImpl();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Init(int productId, int subVersion) override;
  HRESULT STDMETHODCALLTYPE Nop() override;
  HRESULT STDMETHODCALLTYPE CheckVersion(unsigned version) override;
  HRESULT STDMETHODCALLTYPE SendAction(const wchar_t* text, int mode, int* result) override;
  HRESULT STDMETHODCALLTYPE SendNode(const wchar_t* text, int* result) override;

 private:
  LONG refs_ = 1;
  int productId_ = 0;
  int subVersion_ = 0;
  // Senders may be shared by the report threads of several service objects.
  CRITICAL_SECTION lock_;
  std::string machineId_;
  tarn::UrlList actionUrls_;
  tarn::UrlList nodeUrls_;
};
