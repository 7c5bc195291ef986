// The main service object handed out by the library's export.
#pragma once

#include <string>

#include "reportqueue.h"
#include "tarnapi.h"

class CTarn3th : public ITarnImpl3th {
 public:
  CTarn3th();
  virtual ~CTarn3th();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CheckVersion(unsigned version) override;
  HRESULT STDMETHODCALLTYPE Init(int productId, const wchar_t* pageAddress) override;
  HRESULT STDMETHODCALLTYPE Reserved5() override;
  HRESULT STDMETHODCALLTYPE Reserved6() override;
  HRESULT STDMETHODCALLTYPE Reserved7() override;
  HRESULT STDMETHODCALLTYPE Reserved8() override;
  HRESULT STDMETHODCALLTYPE Reserved9() override;
  HRESULT STDMETHODCALLTYPE Reserved10() override;
  HRESULT STDMETHODCALLTYPE ReportAction(const wchar_t* action, const wchar_t* params) override;
  HRESULT STDMETHODCALLTYPE ReportNode(int node, int snode, const wchar_t* extrap1,
                                       const wchar_t* extrap2) override;
  HRESULT STDMETHODCALLTYPE OpenUrl(const wchar_t* url) override;
  HRESULT STDMETHODCALLTYPE Reserved14() override;
  HRESULT STDMETHODCALLTYPE Reserved15() override;
  HRESULT STDMETHODCALLTYPE GetInitParams(int* cid, int* sv) override;

  int ProductId() const { return productId_; }
  const std::wstring& PageAddress() const { return pageAddress_; }
  const tarn::ReportQueue& Queue() const { return queue_; }

 private:
  LONG refs_ = 1;
  int productId_ = 0;
  std::wstring pageAddress_;
  tarn::ReportQueue queue_;
};

namespace tarn {

// The texts the service object queues.
std::wstring ActionText(const wchar_t* action, const wchar_t* params);
std::wstring NodeReportText(int node, int snode, const wchar_t* extrap1, const wchar_t* extrap2);
// The host's start parameters from a command line: the option tarninit with
// "cid&sv"; 0, 0 when it is missing or has no '&' after its first character.
void ParseInitParams(const wchar_t* commandLine, int* cid, int* sv);

}  // namespace tarn
