#include "infoc.h"

#include <shlwapi.h>

#include <cstdlib>

#include "hashing.h"
#include "machineid.h"
#include "modinfo.h"
#include "params.h"
#include "regstore.h"
#include "servers.h"
#include "textconv.h"

namespace tarn {

namespace {

const char kActionUrl[] = "http://tj.quillon.com:8080/pagetracer2/tessel/__utm.gif";
const char kNodeUrl[] = "http://infoc.quillon.com/__infoc.gif";

// "a_b" (any run of '_' between) -> a, b; both 0 when the first part is empty.
void SplitTunnel(const std::wstring& tunnel, int* first, int* second) {
  *first = *second = 0;
  size_t sep = tunnel.find(L'_');
  std::wstring head = tunnel.substr(0, sep);
  if (head.empty()) return;
  *first = StrToIntW(head.c_str());
  if (sep == std::wstring::npos) return;
  size_t rest = tunnel.find_first_not_of(L'_', sep);
  if (rest != std::wstring::npos) *second = StrToIntW(tunnel.c_str() + rest);
}

}  // namespace

std::string ActionEndpointText() { return ServerAddress(kServerStatAction, kActionUrl); }
std::string NodeEndpointText() { return ServerAddress(kServerStatNode, kNodeUrl); }

std::string ActionSection1(int productId, int subVersion) {
  std::wstring subKey = ProductSubKey(tarn::ProductId());
  std::wstring tunnel, tunnel2;
  if (!StoreReadString(subKey.c_str(), L"tunnel", false, &tunnel)) tunnel.clear();
  if (!StoreReadString(subKey.c_str(), L"tunnel2", false, &tunnel2)) tunnel2.clear();
  int tid1, tid2, tod1, tod2;
  SplitTunnel(tunnel, &tid1, &tid2);
  SplitTunnel(tunnel2, &tod1, &tod2);

  TarnParams params(TarnParams::Keyed);
  params.SetInt("tid1", tid1);
  params.SetInt("tid2", tid2);
  params.SetInt("tod1", tod1);
  params.SetInt("tod2", tod2);
  params.SetString("tunnel", WideToUtf8(tunnel));
  params.SetInt("versiontype", productId);
  params.SetInt("tryno", subVersion);
  params.SetInt("type", productId == 12001 ? 8 : 5);
  return params.Serialize();
}

std::string ActionRecord(int productId, int subVersion, const std::string& machineId,
                         const std::wstring& action) {
  std::string record = "01___" + Base64Encode(ActionSection1(productId, subVersion));
  TarnParams section2(TarnParams::Keyed);
  section2.SetString("uuidex", machineId);
  record += "___" + Base64Encode(section2.Serialize());
  record += "___" + Base64Encode(WideToAnsi(action));
  return record;
}

std::string NodeText(const std::wstring& node, DWORD tick) {
  return FormatA("type=40&account=%s&%s&random=%d", "", WideToUtf8(node).c_str(), (int)tick);
}

}  // namespace tarn

CTarnInfocImpl::CTarnInfocImpl()
    : actionUrls_(tarn::SplitUrlList(tarn::ActionEndpointText().c_str())),
      nodeUrls_(tarn::SplitUrlList(tarn::NodeEndpointText().c_str())) {
  InitializeCriticalSection(&lock_);
}

CTarnInfocImpl::~CTarnInfocImpl() { DeleteCriticalSection(&lock_); }

HRESULT STDMETHODCALLTYPE CTarnInfocImpl::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITarnInfoc)) {
    *out = static_cast<ITarnInfoc*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CTarnInfocImpl::AddRef() { return (ULONG)InterlockedIncrement(&refs_); }

ULONG STDMETHODCALLTYPE CTarnInfocImpl::Release() {
  LONG n = InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return (ULONG)n;
}

HRESULT STDMETHODCALLTYPE CTarnInfocImpl::Init(int productId, int subVersion) {
  productId_ = productId;
  subVersion_ = subVersion;
  tarn::SetProductId(productId);
  tarn::SetSubVersion(subVersion);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTarnInfocImpl::Nop() { return S_OK; }

HRESULT STDMETHODCALLTYPE CTarnInfocImpl::CheckVersion(unsigned version) {
  return version < 2 ? S_OK : E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CTarnInfocImpl::SendAction(const wchar_t* text, int mode, int* result) {
  if (!text || !*text) return E_INVALIDARG;
  std::string machineId = tarn::GetMachineIdA();
  EnterCriticalSection(&lock_);
  machineId_ = machineId;
  LeaveCriticalSection(&lock_);
  std::string record = tarn::ActionRecord(productId_, subVersion_, machineId, text);
  if (mode != 0 && mode != 1) mode = 0;
  int rc = tarn::HttpSendToList(actionUrls_, record, mode, nullptr);
  if (result) *result = rc;
  return rc == 0 ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CTarnInfocImpl::SendNode(const wchar_t* text, int* result) {
  if (!text) return E_INVALIDARG;
  std::string encoded = tarn::Base64Encode(tarn::NodeText(text, GetTickCount()));
  int rc = tarn::HttpSendToList(nodeUrls_, encoded, 0, nullptr);
  if (result) *result = rc;
  return rc == 0 ? S_OK : E_FAIL;
}
