#include "fw_dialog.h"

#include <commctrl.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "fw_app.h"

// ---- CDialog -------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, &CDialog::OnOK)
  ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

// The dialog manager's procedure only starts OnInitDialog: every other message
// reaches the object through its subclassed window procedure first, and what
// the map does not handle comes back here through Default() and DefDlgProc.
INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM lp) {
  if (msg != WM_INITDIALOG) return FALSE;
  auto* dlg = dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(hwnd));
  if (!dlg) {   // not subclassed at creation: take it over now
    dlg = reinterpret_cast<CDialog*>(lp);
    if (!dlg || !dlg->SubclassWindow(hwnd)) return TRUE;
  }
  return dlg->OnInitDialog();
}

BOOL CDialog::CreateFromTemplate(HWND parent) {
  fw::InitCommonControlsOnce();
  HINSTANCE res = AfxGetResourceHandle();
  HRSRC found = FindResourceA(res, MAKEINTRESOURCEA(m_nIDTemplate), reinterpret_cast<LPCSTR>(RT_DIALOG));
  if (!found) return FALSE;
  HGLOBAL loaded = LoadResource(res, found);
  auto* tmpl = static_cast<LPCDLGTEMPLATEA>(LockResource(loaded));
  if (!tmpl) return FALSE;
  HWND hwnd;
  {
    fw::CreateHook hook(this, "#32770");
    hwnd = CreateDialogIndirectParamA(res, tmpl, parent, DialogProc, reinterpret_cast<LPARAM>(this));
  }
  return hwnd != nullptr;
}

BOOL CDialog::Create(UINT idTemplate, CWnd* parent) {
  if (m_hWnd) return FALSE;
  m_nIDTemplate = idTemplate;
  m_pParentWnd = parent;
  return CreateFromTemplate(parent ? parent->m_hWnd : nullptr);
}

INT_PTR CDialog::DoModal() {
  if (m_hWnd || m_modalRunning) return -1;

  // Owner: the parent's top-level window; without a parent the window the
  // user is working in, or the main window.
  HWND owner = nullptr;
  if (m_pParentWnd && m_pParentWnd->m_hWnd) {
    owner = m_pParentWnd->m_hWnd;
  } else if (HWND active = ::GetActiveWindow()) {
    owner = active;
  } else if (CWnd* main = AfxGetMainWnd(); main && main != this) {
    owner = main->m_hWnd;
  }
  while (owner && (GetWindowLongPtrA(owner, GWL_STYLE) & WS_CHILD)) owner = ::GetParent(owner);

  m_modalRunning = true;
  m_modalDone = false;
  m_modalResult = -1;
  // The owner takes no input from the moment the box starts (OnInitDialog included).
  const bool disableOwner = owner && ::IsWindowEnabled(owner);
  if (disableOwner) ::EnableWindow(owner, FALSE);
  if (!CreateFromTemplate(owner)) {
    if (disableOwner) ::EnableWindow(owner, TRUE);
    m_modalRunning = false;
    return -1;
  }
  if (!m_modalDone && m_hWnd) {
    ShowWindow(SW_SHOW);
    UpdateWindow();
  }
  while (!m_modalDone && m_hWnd) {
    if (!fw::PumpMessage()) break;   // WM_QUIT: it stays posted for the loops outside
  }
  // Give the owner back its input before this window goes, so that it is the
  // one that becomes active.
  if (disableOwner) ::EnableWindow(owner, TRUE);
  if (m_hWnd) {
    if (owner && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(owner);
    DestroyWindow();
  }
  m_modalRunning = false;
  return m_modalResult;
}

void CDialog::EndDialog(int result) {
  if (m_modalRunning) {
    m_modalResult = result;
    m_modalDone = true;
    if (m_hWnd) PostMessage(WM_NULL);   // wakes the loop if it waits
  } else if (m_hWnd) {
    ::EndDialog(m_hWnd, result);        // a modeless dialog is hidden
  }
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  if (!m_hWnd) return FALSE;
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return dx.m_bFailed ? FALSE : TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
  if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return FALSE;
  if (!m_hWnd || (msg->hwnd != m_hWnd && !::IsChild(m_hWnd, msg->hwnd))) return FALSE;
  return ::IsDialogMessageA(m_hWnd, msg);
}

void CDialog::GotoDlgCtrl(CWnd* control) {
  if (control && control->m_hWnd) SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control->m_hWnd), TRUE);
}

// ---- data exchange -------------------------------------------------------------

HWND CDataExchange::PrepareCtrl(int id) {
  m_hWndLastControl = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
  return m_hWndLastControl;
}

void CDataExchange::Fail() {
  m_bFailed = true;
  if (m_hWndLastControl) {
    ::SetFocus(m_hWndLastControl);
    if (::SendMessageA(m_hWndLastControl, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
      ::SendMessageA(m_hWndLastControl, EM_SETSEL, 0, -1);
  }
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (dx->m_bFailed || control.m_hWnd) return;
  if (!dx->PrepareCtrl(id)) return;
  control.SubclassDlgItem(static_cast<UINT>(id), dx->m_pDlgWnd);
}

namespace {

bool TextOf(HWND h, CString& out) {
  int n = ::GetWindowTextLengthA(h);
  char* buf = out.GetBufferSetLength(n + 1);
  int got = ::GetWindowTextA(h, buf, n + 1);
  out.ReleaseBuffer(got >= 0 && got <= n ? got : 0);
  return true;
}

template <typename T>
void ExchangeNumber(CDataExchange* dx, int id, T& value, bool isSigned) {
  if (dx->m_bFailed) return;
  HWND h = dx->PrepareCtrl(id);
  if (!h) return;
  if (!dx->m_bSaveAndValidate) {
    CString text;
    if (isSigned)
      text.Format("%lld", static_cast<long long>(value));
    else
      text.Format("%llu", static_cast<unsigned long long>(value));
    ::SetWindowTextA(h, text);
    return;
  }
  CString text;
  TextOf(h, text);
  text.Trim();
  const char* s = text.GetString();
  char* end = nullptr;
  errno = 0;
  bool ok = !text.IsEmpty();
  if (isSigned) {
    long long v = strtoll(s, &end, 10);
    ok = ok && errno == 0 && *end == '\0' && static_cast<long long>(static_cast<T>(v)) == v;
    if (ok) value = static_cast<T>(v);
  } else {
    ok = ok && text[0] != '-';
    unsigned long long v = strtoull(s, &end, 10);
    ok = ok && errno == 0 && *end == '\0' && static_cast<unsigned long long>(static_cast<T>(v)) == v;
    if (ok) value = static_cast<T>(v);
  }
  if (!ok) {
    MessageBeep(MB_ICONEXCLAMATION);
    dx->Fail();
  }
}

template <typename T>
void ExchangeCheck(CDataExchange* dx, int id, T& value) {
  if (dx->m_bFailed) return;
  HWND h = dx->PrepareCtrl(id);
  if (!h) return;
  if (dx->m_bSaveAndValidate)
    value = static_cast<T>(::SendMessageA(h, BM_GETCHECK, 0, 0));
  else
    ::SendMessageA(h, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

}  // namespace

void DDX_Text(CDataExchange* dx, int id, CString& value) {
  if (dx->m_bFailed) return;
  HWND h = dx->PrepareCtrl(id);
  if (!h) return;
  if (dx->m_bSaveAndValidate)
    TextOf(h, value);
  else
    ::SetWindowTextA(h, value);
}

void DDX_Text(CDataExchange* dx, int id, int& value) { ExchangeNumber(dx, id, value, true); }
void DDX_Text(CDataExchange* dx, int id, UINT& value) { ExchangeNumber(dx, id, value, false); }
void DDX_Text(CDataExchange* dx, int id, long& value) { ExchangeNumber(dx, id, value, true); }
void DDX_Text(CDataExchange* dx, int id, DWORD& value) { ExchangeNumber(dx, id, value, false); }

void DDX_Check(CDataExchange* dx, int id, int& value) { ExchangeCheck(dx, id, value); }
void DDX_Check(CDataExchange* dx, int id, UINT& value) { ExchangeCheck(dx, id, value); }
void DDX_Check(CDataExchange* dx, int id, DWORD& value) { ExchangeCheck(dx, id, value); }

void DDX_Radio(CDataExchange* dx, int id, int& value) {
  if (dx->m_bFailed) return;
  HWND first = dx->PrepareCtrl(id);
  if (!first) return;
  if (dx->m_bSaveAndValidate) value = -1;
  // The group runs from this button to the next control with WS_GROUP.
  int index = 0;
  for (HWND h = first; h; h = ::GetWindow(h, GW_HWNDNEXT), ++index) {
    if (h != first && (GetWindowLongPtrA(h, GWL_STYLE) & WS_GROUP)) break;
    if (!(::SendMessageA(h, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON)) continue;
    if (dx->m_bSaveAndValidate) {
      if (::SendMessageA(h, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
    } else {
      ::SendMessageA(h, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  }
}

void DDX_CBIndex(CDataExchange* dx, int id, int& value) {
  if (dx->m_bFailed) return;
  HWND h = dx->PrepareCtrl(id);
  if (!h) return;
  if (dx->m_bSaveAndValidate)
    value = static_cast<int>(::SendMessageA(h, CB_GETCURSEL, 0, 0));
  else
    ::SendMessageA(h, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void DDX_DateTimeCtrl(CDataExchange* dx, int id, SYSTEMTIME& value) {
  if (dx->m_bFailed) return;
  HWND h = dx->PrepareCtrl(id);
  if (!h) return;
  if (dx->m_bSaveAndValidate)
    ::SendMessageA(h, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&value));
  else
    ::SendMessageA(h, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&value));
}

void DDX_DateTimeCtrl(CDataExchange* dx, int id, __time64_t& value) {
  if (dx->m_bFailed) return;
  HWND h = dx->PrepareCtrl(id);
  if (!h) return;
  SYSTEMTIME st = {};
  if (dx->m_bSaveAndValidate) {
    if (::SendMessageA(h, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) == GDT_VALID) {
      __time64_t t;
      if (fw::LocalSystemTimeToTime64(st, &t)) value = t;
    }
  } else if (fw::Time64ToLocalSystemTime(value, &st)) {
    ::SendMessageA(h, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
  }
}

void DDV_MaxChars(CDataExchange* dx, const CString& value, int maxChars) {
  if (dx->m_bFailed || !dx->m_hWndLastControl) return;
  if (!dx->m_bSaveAndValidate) {
    ::SendMessageA(dx->m_hWndLastControl, EM_LIMITTEXT, static_cast<WPARAM>(maxChars), 0);
  } else if (value.GetLength() > maxChars) {
    MessageBeep(MB_ICONEXCLAMATION);
    dx->Fail();
  }
}

namespace fw {

bool Time64ToLocalSystemTime(__time64_t t, SYSTEMTIME* out) {
  struct tm tmv;
  if (_localtime64_s(&tmv, &t) != 0) return false;
  *out = {};
  out->wYear = static_cast<WORD>(tmv.tm_year + 1900);
  out->wMonth = static_cast<WORD>(tmv.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(tmv.tm_wday);
  out->wDay = static_cast<WORD>(tmv.tm_mday);
  out->wHour = static_cast<WORD>(tmv.tm_hour);
  out->wMinute = static_cast<WORD>(tmv.tm_min);
  out->wSecond = static_cast<WORD>(tmv.tm_sec);
  return true;
}

bool LocalSystemTimeToTime64(const SYSTEMTIME& st, __time64_t* out) {
  struct tm tmv = {};
  tmv.tm_year = st.wYear - 1900;
  tmv.tm_mon = st.wMonth - 1;
  tmv.tm_mday = st.wDay;
  tmv.tm_hour = st.wHour;
  tmv.tm_min = st.wMinute;
  tmv.tm_sec = st.wSecond;
  tmv.tm_isdst = -1;
  __time64_t t = _mktime64(&tmv);
  if (t == -1) return false;
  *out = t;
  return true;
}

}  // namespace fw
