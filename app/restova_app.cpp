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
#include "wizard_page.h"

CRestovaApp::CRestovaApp() {}

CRestovaApp::~CRestovaApp() {}

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

void CRestovaApp::ShowMainWindow() {
  if (!m_pMainWnd || !m_pMainWnd->m_hWnd) return;
  // Back where the road's last page stood.
  if (!m_pMainWnd->IsWindowVisible()) PlacePage(m_pMainWnd);
  m_pMainWnd->ShowWindow(SW_SHOW);
}

bool CRestovaApp::CanOpenDeepScan() const {
  CRestovaDlg* main = dynamic_cast<CRestovaDlg*>(m_pMainWnd);
  return main && main->CanShowPage(kPageDeepRecovery);
}

bool CRestovaApp::OpenDeepScan() {
  CRestovaDlg* main = dynamic_cast<CRestovaDlg*>(m_pMainWnd);
  return main && main->ShowDeepScanPage() != 0;
}

void CRestovaApp::DestroyPage(int slot) {
  if (slot < 0 || slot >= kPageSlotCount || !m_pages[slot]) return;
  CDialog* page = m_pages[slot];
  m_pages[slot] = nullptr;   // emptied first: destroying windows may ask for the slot
  if (page->m_hWnd) page->DestroyWindow();
  delete page;
}

void CRestovaApp::HoldPage(int slot, CDialog* page) {
  if (slot < 0 || slot >= kPageSlotCount) return;
  DestroyPage(slot);
  m_pages[slot] = page;
}

void CRestovaApp::DestroyPagesAndResults() {
  // The pages join their workers while their windows go, so the results are
  // emptied only after every page.
  for (int slot = 0; slot < kPageSlotCount; ++slot) DestroyPage(slot);
  ClearDeletedFiles();
  ClearUnformatResults();
  gFoundFiles.clear();
  gFoundFiles.shrink_to_fit();
}
