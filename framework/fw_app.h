// The application object and process-wide helpers.
//
// A program declares exactly one global object of a class derived from
// CWinApp; its constructor makes it the current application object
// (AfxGetApp). The program's WinMain only calls AfxWinMain, which runs
//   InitInstance()  -> TRUE: Run() (message loop until WM_QUIT), then ExitInstance()
//                   -> FALSE: ExitInstance() at once
// and returns ExitInstance()'s value as the process exit code. A dialog
// program runs its main dialog modally inside InitInstance and returns FALSE.
#pragma once
#include <windows.h>

#include "fw_string.h"

class CWnd;

class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance() { return TRUE; }
  virtual int ExitInstance() { return 0; }
  virtual int Run();

  // Caption of message boxes that name none (default: the program file's name).
  void SetAppName(const char* name);

  HINSTANCE m_hInstance = nullptr;
  const char* m_pszAppName = "";
  CWnd* m_pMainWnd = nullptr;
  LPSTR m_lpCmdLine = nullptr;
  int m_nCmdShow = SW_SHOWNORMAL;

 private:
  CString m_appName;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
// Module whose resources (dialogs, strings, bitmaps) the framework loads;
// the program's own module unless set.
HINSTANCE AfxGetResourceHandle();
const char* AfxGetAppName();

int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int cmdShow);

// Message box with the application's name as caption, owned by the active window.
int AfxMessageBox(const char* text, UINT type = MB_OK);
int AfxMessageBox(UINT stringId, UINT type = MB_OK);

// Dialog templates of this program hold no ActiveX controls: there is nothing
// to enable. Kept so that start-up reads as the steps it has.
void AfxEnableControlContainer();

// Winsock 2.2 for the process; cleaned up at exit. FALSE when it cannot start.
BOOL AfxSocketInit();

// Shows the hourglass for its lifetime; windows with an object keep showing it
// while any CWaitCursor lives on their thread's process.
class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
  void Restore();   // puts the hourglass back after a message box

 private:
  HCURSOR previous_;
};

namespace fw {
bool WaitCursorShown();
}  // namespace fw
