// CDialog: a window made from a dialog template, modal or modeless.
//
// Modeless: page->Create(IDD_PAGE, parentPage); page->ShowWindow(SW_SHOW);
// Modal:    CAboutDlg dlg(this); dlg.DoModal();
//
// DoModal runs the framework's own message loop (not the system's dialog-box
// loop): every message is first offered to PreTranslateMessage of the objects
// of its target window and that window's parents, and CDialog answers keyboard
// messages for itself and its controls with IsDialogMessage. So Tab, Enter and
// Esc work in every dialog of the thread, in the modal one and in modeless pages
// shown while it runs. The owner (the parent's top-level window, else the active
// window) is disabled while a modal dialog runs.
//
// Enter and Esc arrive as IDOK / IDCANCEL commands, which call the virtual
// OnOK / OnCancel (override them empty to ignore the keys). OnOK reads the
// controls (UpdateData(TRUE)) and ends with IDOK; OnCancel ends with IDCANCEL.
// EndDialog on a modeless dialog only hides it.
//
// Data exchange: override DoDataExchange with DDX_ rows; UpdateData(FALSE)
// writes members into controls, UpdateData(TRUE) reads them back (FALSE when a
// value does not parse: that control gets the focus). OnInitDialog calls
// UpdateData(FALSE) before returning TRUE.
#pragma once
#include <windows.h>

#include "fw_wnd.h"

class CDataExchange {
 public:
  CDataExchange(CWnd* dlg, BOOL saveAndValidate) : m_pDlgWnd(dlg), m_bSaveAndValidate(saveAndValidate) {}
  HWND PrepareCtrl(int id);   // the control, remembered for Fail()
  void Fail();                // stop the exchange; the last control gets the focus

  CWnd* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
  HWND m_hWndLastControl = nullptr;
  bool m_bFailed = false;
};

class CDialog : public CWnd {
 public:
  CDialog() = default;
  explicit CDialog(UINT idTemplate, CWnd* parent = nullptr) : m_nIDTemplate(idTemplate), m_pParentWnd(parent) {}

  BOOL Create(UINT idTemplate, CWnd* parent = nullptr);   // modeless, hidden unless WS_VISIBLE
  virtual INT_PTR DoModal();                               // IDOK, IDCANCEL..., -1 when it cannot run
  void EndDialog(int result);
  bool IsModalRunning() const { return m_modalRunning; }

  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange*) {}
  BOOL UpdateData(BOOL saveAndValidate = TRUE);

  BOOL PreTranslateMessage(MSG* msg) override;
  void GotoDlgCtrl(CWnd* control);
  void NextDlgCtrl() { SendMessage(WM_NEXTDLGCTL, 0, 0); }
  void PrevDlgCtrl() { SendMessage(WM_NEXTDLGCTL, 1, 0); }
  void SetDefID(UINT id) { SendMessage(DM_SETDEFID, id, 0); }
  BOOL MapDialogRect(LPRECT r) const { return ::MapDialogRect(m_hWnd, r); }

  UINT m_nIDTemplate = 0;
  CWnd* m_pParentWnd = nullptr;

  DECLARE_MESSAGE_MAP()

 private:
  BOOL CreateFromTemplate(HWND parent);
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  bool m_modalRunning = false;
  bool m_modalDone = false;
  INT_PTR m_modalResult = -1;
};

// ---- data exchange rows -------------------------------------------------------
// Subclasses the control with the object (once; later calls do nothing).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
// Window text of an edit, static or button.
void DDX_Text(CDataExchange* dx, int id, CString& value);
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Text(CDataExchange* dx, int id, UINT& value);
void DDX_Text(CDataExchange* dx, int id, long& value);
void DDX_Text(CDataExchange* dx, int id, DWORD& value);
// Check box state: BST_UNCHECKED (0), BST_CHECKED (1), BST_INDETERMINATE (2).
void DDX_Check(CDataExchange* dx, int id, int& value);
void DDX_Check(CDataExchange* dx, int id, UINT& value);
void DDX_Check(CDataExchange* dx, int id, DWORD& value);
// Index of the checked radio button of the group that starts at id (-1: none).
void DDX_Radio(CDataExchange* dx, int id, int& value);
// Combo box / list box selection (-1: none) and combo box text.
void DDX_CBIndex(CDataExchange* dx, int id, int& value);
// Date-time picker: local calendar time, or seconds since 1970 (UTC) shown as
// local time.
void DDX_DateTimeCtrl(CDataExchange* dx, int id, SYSTEMTIME& value);
void DDX_DateTimeCtrl(CDataExchange* dx, int id, __time64_t& value);
// Limits an edit to maxChars (loading) / refuses a longer text (saving).
void DDV_MaxChars(CDataExchange* dx, const CString& value, int maxChars);

namespace fw {
// Conversions used by the date-time exchange (local time zone).
bool Time64ToLocalSystemTime(__time64_t t, SYSTEMTIME* out);
bool LocalSystemTimeToTime64(const SYSTEMTIME& st, __time64_t* out);
}  // namespace fw
