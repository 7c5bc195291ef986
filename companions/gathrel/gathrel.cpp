// gathrel.exe: run by a setup program to report one setup event through the
// service library beside it.
//
//   gathrel -setup[:<number>] [-cid[:<product id>]]
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>

#include "cmdline.h"
#include "modinfo.h"
#include "tarnapi.h"

namespace {

// An option's number; an option given without a value counts as 1.
int NumberOption(const CCommandLine& options, const wchar_t* name) {
  std::wstring value = options.Get(name);
  return value.empty() ? 1 : StrToIntW(value.c_str());
}

void Report(HMODULE module, int productId, const wchar_t* event, const wchar_t* params) {
  Tarn3thGetClassObjectFn get =
      reinterpret_cast<Tarn3thGetClassObjectFn>(GetProcAddress(module, "Tarn3thGetClassObject"));
  if (!get) return;
  void* object = nullptr;
  get(IID_ITarnImpl3th, &object);
  ITarnImpl3th* service = static_cast<ITarnImpl3th*>(object);
  if (!service) return;
  service->Init(productId, L"");
  service->ReportAction(event, params);
  service->Reserved6();
  // Releasing the service object delivers what it queued before it returns.
  service->Release();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CCommandLine options;
  options.Parse(GetCommandLineW());
  if (!options.Has(L"setup")) return 0;
  int setup = NumberOption(options, L"setup");
  int productId = options.Has(L"cid") ? NumberOption(options, L"cid") : 0;

  // The whole name of this program's folder, never a cut one: a cut name
  // could lead to another folder's library.
  std::wstring folder = tarn::FolderOf(tarn::ModulePath(nullptr));
  if (folder.empty()) return 0;
  HMODULE module = LoadLibraryW((folder + L"quorlex.dll").c_str());
  if (!module) return 0;

  const wchar_t* event = productId == 90009 && options.Has(L"cid") ? L"tessel_refindasetup"
                                                                  : L"tessel_net_acce_setup";
  wchar_t params[32];
  swprintf(params, 32, L"setup=%d", setup);
  Report(module, productId, event, params);
  FreeLibrary(module);
  return 0;
}
