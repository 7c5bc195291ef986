// The application object of salvora.exe: prepares COM, sockets and the
// picture library, runs the main window modally, and cleans up the pages and
// the results when it has closed. It is the pages' host (page_host.h).
#pragma once
#include "framework.h"
#include "page_host.h"

class CRestovaApp : public CWinApp, public CPageHost {
 public:
  CRestovaApp();   // becomes the pages' host
  ~CRestovaApp() override;

  BOOL InitInstance() override;
  int ExitInstance() override;   // releases the picture library; returns 1, the exit code

  int BindPictureLibrary();      // pictaran.dll from the program's folder: 1 when started
  void UnbindPictureLibrary();
  // After the main window: every page held here (window, then object), then
  // the deleted-file results.
  void DestroyPagesAndResults();

  // CPageHost
  CWnd* MainWindow() const override { return m_pMainWnd; }
  bool CanOpenDeepScan() const override;
  bool OpenDeepScan() override;
};

inline CRestovaApp* RestovaApp() { return static_cast<CRestovaApp*>(AfxGetApp()); }

// The folder of the program file, ending with '\', in the active code page;
// empty when its name does not survive that code page (module_path.h): the
// 8-bit text would name another folder.
CString GetProgramFolder();
