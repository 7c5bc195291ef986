#include "tarn3th.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "cmdline.h"
#include "modinfo.h"
#include "textconv.h"

namespace tarn {

std::wstring ActionText(const wchar_t* action, const wchar_t* params) {
  return FormatW(L"actionname=%ls&%ls", action, params);
}

std::wstring NodeReportText(int node, int snode, const wchar_t* extrap1, const wchar_t* extrap2) {
  std::wstring text = FormatW(L"node=%d&snode=%d", node, snode);
  if (extrap1) text += FormatW(L"&extrap1=%ls", extrap1);
  if (extrap2) text += FormatW(L"&extrap2=%ls", extrap2);
  return text;
}

void ParseInitParams(const wchar_t* commandLine, int* cid, int* sv) {
  *cid = *sv = 0;
  CCommandLine cmd;
  cmd.Parse(commandLine);
  if (!cmd.Has(L"tarninit")) return;
  std::wstring v = cmd.GetInitOption();
  size_t amp = v.find(L'&');
  if (v.empty() || amp == std::wstring::npos || amp == 0) return;
  *cid = StrToIntW(v.substr(0, amp).c_str());
  *sv = StrToIntW(v.c_str() + amp + 1);
}

}  // namespace tarn

CTarn3th::CTarn3th() = default;
CTarn3th::~CTarn3th() = default;  // the queue's destructor joins its thread

HRESULT STDMETHODCALLTYPE CTarn3th::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITarnImpl3th)) {
    *out = static_cast<ITarnImpl3th*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CTarn3th::AddRef() { return (ULONG)InterlockedIncrement(&refs_); }

ULONG STDMETHODCALLTYPE CTarn3th::Release() {
  LONG n = InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return (ULONG)n;
}

HRESULT STDMETHODCALLTYPE CTarn3th::CheckVersion(unsigned version) {
  return version <= 10 ? S_OK : E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CTarn3th::Init(int productId, const wchar_t* pageAddress) {
  productId_ = productId;
  if (pageAddress) pageAddress_ = pageAddress;
  tarn::SetProductId(productId);
  tarn::SetSubVersion(tarn::ReadSubVersion());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTarn3th::Reserved5() { return S_OK; }
HRESULT STDMETHODCALLTYPE CTarn3th::Reserved6() { return S_OK; }
HRESULT STDMETHODCALLTYPE CTarn3th::Reserved7() { return S_OK; }
HRESULT STDMETHODCALLTYPE CTarn3th::Reserved8() { return S_OK; }
HRESULT STDMETHODCALLTYPE CTarn3th::Reserved9() { return S_OK; }
HRESULT STDMETHODCALLTYPE CTarn3th::Reserved10() { return S_OK; }
HRESULT STDMETHODCALLTYPE CTarn3th::Reserved14() { return S_OK; }
HRESULT STDMETHODCALLTYPE CTarn3th::Reserved15() { return S_OK; }

HRESULT STDMETHODCALLTYPE CTarn3th::ReportAction(const wchar_t* action, const wchar_t* params) {
  if (!action || !params) return E_INVALIDARG;
  queue_.AddAction(tarn::ActionText(action, params));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTarn3th::ReportNode(int node, int snode, const wchar_t* extrap1,
                                               const wchar_t* extrap2) {
  queue_.AddNode(tarn::NodeReportText(node, snode, extrap1, extrap2));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTarn3th::OpenUrl(const wchar_t* url) {
  if (url && *url) ShellExecuteW(nullptr, L"open", url, nullptr, nullptr, SW_SHOW);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTarn3th::GetInitParams(int* cid, int* sv) {
  if (!cid || !sv) return E_INVALIDARG;
  int c = 0, s = 0;
  tarn::ParseInitParams(GetCommandLineW(), &c, &s);
  *cid = c;
  *sv = s;
  return S_OK;
}
