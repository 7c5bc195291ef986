#include "restova_app.h"

#include <objbase.h>

#include "module_path.h"
#include "picture_library.h"
#include "records/records.h"
#include "resource.h"
#include "restova_dlg.h"
#include "state.h"   // the engine's process-wide results
#include "picture.h"
#include "treelist.h"
#include "unformat/unformat.h"

CRestovaApp::CRestovaApp() { SetPageHost(this); }

CRestovaApp::~CRestovaApp() {
  if (PageHost() == this) SetPageHost(nullptr);
}

CString GetProgramFolder() {
  std::string folder = ModuleFolderAnsi(nullptr);
  return CString(folder.c_str(), static_cast<int>(folder.size()));
}

BOOL CRestovaApp::InitInstance() {
  // Listing and measuring drives touches card-reader slots and floppy
  // drives without a medium: the system's "no disk" box would stop the
  // program until someone answers it. The program says itself what it could
  // not read.
  SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // The program runs as administrator: a library it loads by name must not
  // come from whatever folder is current.
  UseSafeLibrarySearch();

  CString title;
  if (title.LoadString(IDS_APP_TITLE)) SetAppName(title);

  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return FALSE;
  if (FAILED(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                  RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr))) {
    CoUninitialize();
    return FALSE;
  }
  BindPictureLibrary();   // without it the program runs; previews stay empty
  AfxEnableControlContainer();
  if (!AfxSocketInit()) return FALSE;

  // Before the first window whose template holds a tree-list.
  RegisterTreeListClass(m_hInstance);
  CRestovaDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  DestroyPagesAndResults();
  return FALSE;   // no message loop of its own: ExitInstance ends the process
}

int CRestovaApp::ExitInstance() {
  UnbindPictureLibrary();
  return 1;
}

int CRestovaApp::BindPictureLibrary() {
  int bound = BindPictureLibraryFrom(ModuleFolderW(nullptr));
  // The picture controls draw through the same two entry points.
  if (bound) SetPictaranEntries(gPictureLibrary.BitmapFromStream, gPictureLibrary.GdiDrewImage);
  return bound;
}

void CRestovaApp::UnbindPictureLibrary() {
  SetPictaranEntries(nullptr, nullptr);
  ::UnbindPictureLibrary();
}

bool CRestovaApp::CanOpenDeepScan() const {
  CRestovaDlg* main = dynamic_cast<CRestovaDlg*>(m_pMainWnd);
  return main && main->CanShowPage(kPageDeepRecovery);
}

bool CRestovaApp::OpenDeepScan() {
  CRestovaDlg* main = dynamic_cast<CRestovaDlg*>(m_pMainWnd);
  return main && main->ShowDeepScanPage() != 0;
}

void CRestovaApp::DestroyPagesAndResults() {
  // The pages join their workers while their windows go, so the results are
  // emptied only after every page.
  DestroyPages();
  ClearDeletedFiles();
  ClearUnformatResults();
  gFoundFiles.clear();
  gFoundFiles.shrink_to_fit();
}
