#include "tarnclient.h"

#include "module_path.h"

void CTarnClient::LoadIfMissing() {
  if (module) return;
  // By the program's whole wide folder: never a look-alike folder's library.
  module = LoadLibraryBeside(ModuleFolderW(nullptr), L"quorlex.dll");
  if (!module) return;

  Tarn3thGetClassObjectFn get =
      reinterpret_cast<Tarn3thGetClassObjectFn>(GetProcAddress(module, "Tarn3thGetClassObject"));
  if (!get) return;
  void* object = nullptr;
  get(IID_ITarnImpl3th, &object);
  service = static_cast<ITarnImpl3th*>(object);
  if (service) service->Init(kSalvoraProductId, L"");
  object = nullptr;
  get(IID_ITarnUpdate, &object);
  updater = static_cast<ITarnUpdate*>(object);
  if (updater) updater->SetProductId(kSalvoraProductId);
}

int CTarnClient::OpenUrl(const wchar_t* url) {
  if (!module || !service) return 0;
  return service->OpenUrl(url) == S_OK ? 1 : 0;
}

void CTarnClient::ReportAction(const wchar_t* action, const wchar_t* params) {
  if (module && service) service->ReportAction(action, params);
}

void CTarnClient::ReportNode(int node, int snode) {
  if (module && service) service->ReportNode(node, snode, nullptr, nullptr);
}

void CTarnClient::GetInitParams(int* cid, int* sv) {
  if (!module || !service) return;
  if (service->CheckVersion(10) == S_OK) service->GetInitParams(cid, sv);
}

void CTarnClient::Release() {
  // The service object's release joins its report thread, so nothing of the
  // library runs any more when it is unloaded.
  if (service) service->Release();
  service = nullptr;
  updater = nullptr;
  if (module) FreeLibrary(module);
  module = nullptr;
}

CTarnClient& GetServiceModuleClient() {
  static CTarnClient client;
  client.LoadIfMissing();
  return client;
}
