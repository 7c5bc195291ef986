#include "busy_boxes.h"

#include "resource.h"
#include "wizard_page.h"

namespace {

// The busy bars in the product's blues on the light body of the boxes.
void StyleBusyBar(CQCBusyProgressCtrl& bar, int intervalMs) {
  bar.SetBlocks(20);
  bar.SetInterval(intervalMs);
  bar.SetRange(0, 100);
  bar.SetMoveMode(2);   // wrap forwards
  bar.SetColours(kPageBody, RGB(214, 230, 248), RGB(170, 196, 228), RGB(54, 125, 214), RGB(21, 66, 133));
  bar.Start();
}

void StyleBoxLabels(CLabel& title, CLabel& text) {
  StyleBandTitle(title, 13);
  StyleBodyText(text);
}

// The top-level window of parent, disabled (when it is enabled) while a busy
// box is up; the flag says whether the box did it.
HWND DisableOwnerOf(CWnd* parent, BOOL* disabledByBox) {
  *disabledByBox = FALSE;
  if (!parent || !parent->m_hWnd) return nullptr;
  HWND owner = parent->m_hWnd;
  while (owner && (GetWindowLongPtrA(owner, GWL_STYLE) & WS_CHILD)) owner = ::GetParent(owner);
  if (owner && ::IsWindowEnabled(owner)) {
    ::EnableWindow(owner, FALSE);
    *disabledByBox = TRUE;
  }
  return owner;
}

void EnableOwnerAgain(HWND owner, BOOL* disabledByBox) {
  if (*disabledByBox && owner && ::IsWindow(owner)) ::EnableWindow(owner, TRUE);
  *disabledByBox = FALSE;
}

}  // namespace

// ---- CStopScanMBDlg --------------------------------------------------------------

CStopScanMBDlg gStopScanBox;

BEGIN_MESSAGE_MAP(CStopScanMBDlg, CDialog)
  ON_BN_CLICKED(IDC_STOPBOX_YES, &CStopScanMBDlg::OnYes)
  ON_BN_CLICKED(IDC_STOPBOX_NO, &CStopScanMBDlg::OnNo)
  ON_MESSAGE(WM_STOPBOX_END, &CStopScanMBDlg::OnStopBoxEnd)
  ON_WM_ERASEBKGND()
  ON_WM_NCHITTEST()
END_MESSAGE_MAP()

CStopScanMBDlg::CStopScanMBDlg(CWnd* parent) : CDialog(IDD_STOP_SCAN, parent) {}

INT_PTR CStopScanMBDlg::DoModal() {
  m_answer = 0;   // every question starts at No
  return CDialog::DoModal();
}

int CStopScanMBDlg::Ask() {
  DoModal();
  return m_answer;
}

BOOL CStopScanMBDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CString caption;
  caption.LoadString(IDS_APP_TITLE);
  SetWindowText(caption);
  m_title.SubclassDlgItem(IDC_PAGE_TITLE, this);
  m_question.SubclassDlgItem(IDC_STOPBOX_QUESTION, this);
  m_note.SubclassDlgItem(IDC_STOPBOX_NOTE, this);
  StyleBoxLabels(m_title, m_question);
  m_question.SetFontBold(TRUE);
  StyleBodyText(m_note, true);
  m_yes.SubclassDlgItem(IDC_STOPBOX_YES, this);
  m_no.SubclassDlgItem(IDC_STOPBOX_NO, this);
  SkinBackButton(m_yes);
  SkinForwardButton(m_no);
  CenterWindow();
  GotoDlgCtrl(&m_no);
  return FALSE;   // the focus is on No
}

void CStopScanMBDlg::OnYes() {
  m_answer = 1;
  EndDialog(IDCANCEL);
}

void CStopScanMBDlg::OnNo() {
  m_answer = 0;
  EndDialog(IDCANCEL);
}

void CStopScanMBDlg::OnOK() {
  m_answer = 0;
  EndDialog(IDOK);
}

void CStopScanMBDlg::OnCancel() {
  m_answer = 0;
  EndDialog(IDCANCEL);
}

LRESULT CStopScanMBDlg::OnStopBoxEnd(WPARAM, LPARAM) {
  m_answer = 0;
  EndDialog(IDCANCEL);
  return 1;
}

BOOL CStopScanMBDlg::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  PaintBoxBackground(dc, client);
  return TRUE;
}

LRESULT CStopScanMBDlg::OnNcHitTest(CPoint point) {
  LRESULT hit = CDialog::OnNcHitTest(point);
  return hit == HTCLIENT ? HTCAPTION : hit;
}

// ---- CProtectingDlg ----------------------------------------------------------------

BEGIN_MESSAGE_MAP(CProtectingDlg, CDialog)
  ON_MESSAGE(WM_FILELIST_DONE, &CProtectingDlg::OnFileListDone)
  ON_BN_CLICKED(IDC_BUSY_STOP, &CProtectingDlg::OnStop)
  ON_WM_SYSCOMMAND()
  ON_WM_DESTROY()
  ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CProtectingDlg::CProtectingDlg(CWnd* parent) : CProtectingDlg(IDD_BUSY_FILL, parent) {}

CProtectingDlg::CProtectingDlg(UINT templateId, CWnd* parent) : CDialog(templateId, parent), m_bar(10, 0) {}

CProtectingDlgUf::CProtectingDlgUf(CWnd* parent) : CProtectingDlg(IDD_BUSY_FILL_UNFORMAT, parent) {}

BOOL CProtectingDlg::Show(CWnd* parent) {
  if (m_hWnd) return FALSE;
  m_owner = DisableOwnerOf(parent, &m_ownerDisabled);
  m_page = parent ? parent->m_hWnd : nullptr;
  m_stopAsked = false;
  if (!Create(m_nIDTemplate, parent)) {
    EnableOwnerAgain(m_owner, &m_ownerDisabled);
    return FALSE;
  }
  CenterWindow();
  return TRUE;
}

BOOL CProtectingDlg::DestroyWindow() {
  EnableOwnerAgain(m_owner, &m_ownerDisabled);
  return CDialog::DestroyWindow();
}

void CProtectingDlg::PumpMessages() { fw::PumpWaitingMessages(); }

void CProtectingDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_BUSY_BAR, m_bar);
}

BOOL CProtectingDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CString caption;
  caption.LoadString(IDS_APP_TITLE);
  SetWindowText(caption);
  m_title.SubclassDlgItem(IDC_PAGE_TITLE, this);
  m_text.SubclassDlgItem(IDC_BUSY_TEXT, this);
  StyleBoxLabels(m_title, m_text);
  StyleBusyBar(m_bar, 250);
  if (GetDlgItem(IDC_BUSY_COUNT)) {
    m_count.SubclassDlgItem(IDC_BUSY_COUNT, this);
    StyleBodyText(m_count, true);
  }
  if (GetDlgItem(IDC_BUSY_STOP)) {
    m_stop.SubclassDlgItem(IDC_BUSY_STOP, this);
    SkinBackButton(m_stop);
  }
  return TRUE;
}

void CProtectingDlg::SetCountText(const char* text) {
  if (m_count.m_hWnd) m_count.SetText(text);
}

// The list keeps what was filled: the page stops its worker and shows it.
void CProtectingDlg::OnStop() {
  if (m_stopAsked) return;
  m_stopAsked = true;
  if (m_stop.m_hWnd) m_stop.EnableWindow(FALSE);
  if (m_page && ::IsWindow(m_page)) ::PostMessageA(m_page, WM_FILELIST_STOP, 0, 0);
}

LRESULT CProtectingDlg::OnFileListDone(WPARAM, LPARAM) {
  m_bar.Stop();
  DestroyWindow();
  return 0;
}

// The close command from the keyboard (Alt+F4) is swallowed; Enter, Esc and
// the mouse's close end in the empty OnOK / OnCancel.
void CProtectingDlg::OnSysCommand(UINT id, LPARAM lp) {
  if ((id & 0xFFF0) == SC_CLOSE && lp == 0) return;
  CDialog::OnSysCommand(id, lp);
}

void CProtectingDlg::OnDestroy() {
  m_bar.Stop();   // its thread draws into the bar: stopped before the window goes
  CDialog::OnDestroy();
}

BOOL CProtectingDlg::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  PaintBoxBackground(dc, client);
  return TRUE;
}

// ---- CStopRecoveryScrollBar ----------------------------------------------------------

BEGIN_MESSAGE_MAP(CStopRecoveryScrollBar, CDialog)
  ON_MESSAGE(WM_BUSYBOX_CLOSE, &CStopRecoveryScrollBar::OnBusyBoxClose)
  ON_WM_CLOSE()
  ON_WM_DESTROY()
  ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CStopRecoveryScrollBar::CStopRecoveryScrollBar(CWnd* parent) : CDialog(IDD_BUSY_STOP, parent), m_bar(10, 0) {}

BOOL CStopRecoveryScrollBar::Show(CWnd* parent) {
  if (m_hWnd) return FALSE;
  m_owner = DisableOwnerOf(parent, &m_ownerDisabled);
  if (!Create(IDD_BUSY_STOP, parent)) {
    EnableOwnerAgain(m_owner, &m_ownerDisabled);
    return FALSE;
  }
  CenterWindow();
  return TRUE;
}

BOOL CStopRecoveryScrollBar::DestroyWindow() {
  EnableOwnerAgain(m_owner, &m_ownerDisabled);
  return CDialog::DestroyWindow();
}

void CStopRecoveryScrollBar::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_BUSYSTOP_LABEL, m_label);
  DDX_Control(dx, IDC_BUSYSTOP_BAR, m_bar);
}

BOOL CStopRecoveryScrollBar::OnInitDialog() {
  CDialog::OnInitDialog();
  CString caption;
  caption.LoadString(IDS_APP_TITLE);
  SetWindowText(caption);
  m_title.SubclassDlgItem(IDC_PAGE_TITLE, this);
  StyleBoxLabels(m_title, m_label);
  StyleBusyBar(m_bar, 130);
  if (m_messageMode == 1) {
    CString text;
    text.LoadString(IDS_REBUILDING);
    m_label.SetText(text);
  }
  if (IsModalRunning()) CenterWindow();
  return TRUE;
}

LRESULT CStopRecoveryScrollBar::OnBusyBoxClose(WPARAM, LPARAM) {
  // Run modally, the box ends its loop; shown modeless, ending it as a
  // dialog would only hide it and leave its owner disabled for good: the
  // window goes, and with it the owner is enabled again.
  if (IsModalRunning())
    CDialog::OnOK();
  else
    DestroyWindow();
  return 1;
}

void CStopRecoveryScrollBar::OnDestroy() {
  CDialog::OnDestroy();
  m_bar.Stop();
}

BOOL CStopRecoveryScrollBar::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  PaintBoxBackground(dc, client);
  return TRUE;
}
