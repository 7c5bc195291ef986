#include "qupdate.h"

#include <cwchar>
#include <memory>
#include <new>
#include <vector>

#include "cmdline.h"
#include "handover.h"
#include "modinfo.h"
#include "svclog.h"
#include "updworker.h"

namespace tarn {

std::wstring ReupdateCommandLine(const std::wstring& wendupPath, const std::wstring& cmd,
                                 DWORD processId) {
  CCommandLine line;
  std::wstring escaped = EscapeCommandValue(cmd);
  if (!escaped.empty()) line.Set(L"cmd", escaped.c_str());
  wchar_t pid[16];
  swprintf(pid, 16, L"%lu", (unsigned long)processId);
  line.Set(L"pid", pid);
  return L"\"" + wendupPath + L"\"" + line.Build();
}

}  // namespace tarn

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

std::wstring CQUpdate::Root() const { return root_.empty() ? tarn::ModuleFolder() : root_; }

HRESULT STDMETHODCALLTYPE CQUpdate::RunUpdate(ITarnUpdateCallback* callback) {
  std::unique_ptr<tarn::UpdateContext> ctx(new (std::nothrow) tarn::UpdateContext(
      Root(), tarn::UpdateChannelName(productId_), true));
  int result = (int)E_OUTOFMEMORY;
  HANDLE thread = nullptr;
  if (ctx && Root().empty()) {
    // Without the whole name of its own folder the update has no place to go.
    result = (int)HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME);
  } else if (ctx && ctx->StopEvent())
    thread = CreateThread(nullptr, 0, &tarn::UpdateWorkerThread, ctx.get(), 0, nullptr);
  if (thread) {
    while (WaitForSingleObject(thread, 100) == WAIT_TIMEOUT) {
      if (!callback) continue;
      std::wstring status = ctx->Status();
      int percent = (int)(ctx->Progress().Overall() * 100.0);
      if (callback->OnProgress(status.c_str(), (int)status.size(), percent) == 0) {
        ctx->RequestStop();
        WaitForSingleObject(thread, INFINITE);
        break;
      }
    }
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    result = (int)code;
    CloseHandle(thread);
  } else if (ctx && result == (int)E_OUTOFMEMORY) {
    result = (int)HRESULT_FROM_WIN32(GetLastError());
  }
  if (result == tarn::kUpdateReupdate) reupdate_ = 1;
  tarn::LogLine("update ended with 0x%08X", (unsigned)result);
  if (callback) callback->OnFinish(result);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CQUpdate::StartReupdate(const wchar_t* cmd, int length) {
  if (cmd && (length < 0 || (size_t)length != wcslen(cmd))) return E_INVALIDARG;
  if (!reupdate_) return S_OK;

  std::wstring root = Root();
  std::wstring host = tarn::ModulePath(nullptr);
  if (root.empty() || host.empty()) return E_FAIL;
  tarn::PendingWriteRun(root + tarn::kPendingFileName, host);

  std::wstring wendup = root + L"wendup.exe";
  std::wstring line = tarn::ReupdateCommandLine(wendup, cmd ? cmd : L"", GetCurrentProcessId());
  std::vector<wchar_t> writable(line.begin(), line.end());
  writable.push_back(L'\0');
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (CreateProcessW(wendup.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     root.c_str(), &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  } else {
    tarn::LogLine("cannot start the completion program: %lu", GetLastError());
  }
  return S_OK;
}
