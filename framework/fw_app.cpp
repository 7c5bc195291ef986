#include <winsock2.h>   // before windows.h, which fw_app.h brings

#include "fw_app.h"

#include <cstdlib>

#include "fw_wnd.h"

namespace {
CWinApp* g_app = nullptr;
HINSTANCE g_resourceHandle = nullptr;
volatile LONG g_waitCursors = 0;
}  // namespace

CWinApp::CWinApp(const char* appName) {
  g_app = this;
  m_hInstance = GetModuleHandleA(nullptr);
  if (appName) {
    SetAppName(appName);
  } else {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* name = path;
    for (char* p = path; *p; ++p)
      if (*p == '\\' || *p == '/') name = p + 1;
    if (char* dot = strrchr(name, '.')) *dot = '\0';
    SetAppName(name);
  }
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

void CWinApp::SetAppName(const char* name) {
  m_appName = name ? name : "";
  m_pszAppName = m_appName.GetString();
}

int CWinApp::Run() {
  while (fw::PumpMessage()) {
  }
  return ExitInstance();
}

CWinApp* AfxGetApp() { return g_app; }
CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }
HINSTANCE AfxGetInstanceHandle() { return g_app && g_app->m_hInstance ? g_app->m_hInstance : GetModuleHandleA(nullptr); }
HINSTANCE AfxGetResourceHandle() { return g_resourceHandle ? g_resourceHandle : AfxGetInstanceHandle(); }
const char* AfxGetAppName() { return g_app ? g_app->m_pszAppName : ""; }

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int cmdShow) {
  CWinApp* app = AfxGetApp();
  if (!app) return -1;
  app->m_hInstance = instance;
  app->m_lpCmdLine = cmdLine;
  app->m_nCmdShow = cmdShow;
  fw::InitCommonControlsOnce();
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}

int AfxMessageBox(const char* text, UINT type) {
  return ::MessageBoxA(::GetActiveWindow(), text, AfxGetAppName(), type);
}

int AfxMessageBox(UINT stringId, UINT type) {
  CString text;
  text.LoadString(stringId);
  return AfxMessageBox(text.GetString(), type);
}

void AfxEnableControlContainer() {}

BOOL AfxSocketInit() {
  static const bool started = [] {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    atexit([] { WSACleanup(); });
    return true;
  }();
  return started ? TRUE : FALSE;
}

CWaitCursor::CWaitCursor() {
  InterlockedIncrement(&g_waitCursors);
  previous_ = SetCursor(LoadCursor(nullptr, IDC_WAIT));
}

CWaitCursor::~CWaitCursor() {
  InterlockedDecrement(&g_waitCursors);
  SetCursor(previous_ ? previous_ : LoadCursor(nullptr, IDC_ARROW));
}

void CWaitCursor::Restore() { SetCursor(LoadCursor(nullptr, IDC_WAIT)); }

namespace fw {
bool WaitCursorShown() { return g_waitCursors > 0; }
}  // namespace fw
