// The interfaces that quorlex.dll hands to its hosts (salvora, gathrel) and the
// one its update caller implements. Hosts include this header only; it pulls
// in nothing of the library itself.
//
// Binary contract, identical on i686 and x86_64:
// - ITarnImpl3th and ITarnUpdate are COM-style: IUnknown's three slots first,
//   every slot __stdcall (STDMETHODCALLTYPE), HRESULT results.
// - ITarnUpdateCallback is a plain two-slot interface without reference
//   counting whose slots use the compiler's member-function convention
//   (__thiscall on i686; x86_64 has a single convention).
// - The export is Tarn3thGetClassObject, __stdcall, exported undecorated.
#pragma once

#include <windows.h>
#include <unknwn.h>

#if defined(__i386__)
#define TARN_THISCALL __attribute__((thiscall))
#else
#define TARN_THISCALL
#endif

// {242D4F64-FFB8-48F0-AB71-91FB40B1063E}
static const IID IID_ITarnImpl3th = {
    0x242D4F64, 0xFFB8, 0x48F0, {0xAB, 0x71, 0x91, 0xFB, 0x40, 0xB1, 0x06, 0x3E}};
// {981C3F3B-7944-4B51-A8FA-F6587CE01137}
static const IID IID_ITarnUpdate = {
    0x981C3F3B, 0x7944, 0x4B51, {0xA8, 0xFA, 0xF6, 0x58, 0x7C, 0xE0, 0x11, 0x37}};

// The main service object: statistics, web pages, the host's start parameters.
// Slots 5-10 and 14-15 are kept so the later slots keep their numbers; they
// take no arguments and return S_OK.
struct ITarnImpl3th : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CheckVersion(unsigned version) = 0;                        // 3
  virtual HRESULT STDMETHODCALLTYPE Init(int productId, const wchar_t* pageAddress) = 0;      // 4
  virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;
  virtual HRESULT STDMETHODCALLTYPE ReportAction(const wchar_t* action,
                                                 const wchar_t* params) = 0;                  // 11
  virtual HRESULT STDMETHODCALLTYPE ReportNode(int node, int snode, const wchar_t* extrap1,
                                               const wchar_t* extrap2) = 0;                   // 12
  virtual HRESULT STDMETHODCALLTYPE OpenUrl(const wchar_t* url) = 0;                          // 13
  virtual HRESULT STDMETHODCALLTYPE Reserved14() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved15() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetInitParams(int* cid, int* sv) = 0;                     // 16
};

// Progress receiver of an update; implemented by the host.
struct ITarnUpdateCallback {
  // A return of 0 asks the update to stop.
  virtual int TARN_THISCALL OnProgress(const wchar_t* text, int length, int percent) = 0;
  virtual int TARN_THISCALL OnFinish(int code) = 0;
};

// Result codes an update hands to OnFinish besides 0, 1 and negative errors.
enum : int { TARN_UPDATE_REUPDATE = 0x20010001 };

// The update object.
struct ITarnUpdate : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CheckVersion(unsigned version) = 0;            // 3
  virtual HRESULT STDMETHODCALLTYPE SetProductId(int productId) = 0;               // 4
  virtual HRESULT STDMETHODCALLTYPE RunUpdate(ITarnUpdateCallback* callback) = 0;  // 5
  virtual HRESULT STDMETHODCALLTYPE StartReupdate(const wchar_t* cmd, int length) = 0;  // 6
};

typedef HRESULT(STDMETHODCALLTYPE* Tarn3thGetClassObjectFn)(REFIID riid, void** out);
