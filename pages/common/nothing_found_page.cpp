#include "nothing_found_page.h"

#include "page_state.h"
#include "resource.h"
#include "page_host.h"

BEGIN_MESSAGE_MAP(CFindNoFileDlg, CWizardPage)
  ON_BN_CLICKED(IDC_NF_FINISH, &CFindNoFileDlg::OnFinish)
  ON_BN_CLICKED(IDC_NF_BACK, &CFindNoFileDlg::OnBack)
  ON_BN_CLICKED(IDC_CLOSE, &CFindNoFileDlg::OnBack)
  ON_BN_CLICKED(IDC_NF_DEEP, &CFindNoFileDlg::OnDeepScan)
  ON_WM_CLOSE()
END_MESSAGE_MAP()

CFindNoFileDlg::CFindNoFileDlg(CWnd* parent, CWnd* returnPage)
    : CWizardPage(IDD_NOTHING_FOUND, parent), m_returnPage(returnPage) {
  gDeepScanRequest = 0;
}

BOOL CFindNoFileDlg::OnInitDialog() {
  CWizardPage::OnInitDialog();
  m_backButton.SubclassDlgItem(IDC_NF_BACK, this);
  m_finish.SubclassDlgItem(IDC_NF_FINISH, this);
  m_deep.SubclassDlgItem(IDC_NF_DEEP, this);
  SkinBackButton(m_backButton);
  SkinForwardButton(m_finish);
  SkinForwardButton(m_deep);
  m_heading.SubclassDlgItem(IDC_PAGE_HEADING, this);
  StyleHeading(m_heading);
  m_explain.SubclassDlgItem(IDC_NF_EXPLAIN, this);
  StyleBodyText(m_explain);
  m_try.SubclassDlgItem(IDC_NF_TRY, this);
  StyleHeading(m_try);
  m_deepNote.SubclassDlgItem(IDC_NF_DEEP_NOTE, this);
  StyleBodyText(m_deepNote, true);
  // The deep-scan offer waits for ShowDeepScanOffer.
  for (int id : {IDC_NF_TRY, IDC_NF_DEEP_NOTE, IDC_NF_DEEP}) ::ShowWindow(::GetDlgItem(m_hWnd, id), SW_HIDE);
  return TRUE;
}

void CFindNoFileDlg::ShowDeepScanOffer() {
  // Only where the deep-recovery road can be opened.
  if (!PageHost()->CanOpenDeepScan()) return;
  for (int id : {IDC_NF_TRY, IDC_NF_DEEP_NOTE, IDC_NF_DEEP}) ::ShowWindow(::GetDlgItem(m_hWnd, id), SW_SHOW);
  Invalidate();
}

void CFindNoFileDlg::ShowFailure(const CString& heading, const CString& explanation) {
  if (!m_hWnd) return;
  m_failure = true;
  m_heading.SetText(heading);
  m_explain.SetText(explanation);
  // Four lines for the reason; what follows it moves down by the two added.
  CRect extra(0, 0, 0, 22);
  MapDialogRect(&extra);
  CRect explain;
  ::GetWindowRect(m_explain.m_hWnd, &explain);
  ScreenToClient(&explain);
  m_explain.SetWindowPos(nullptr, 0, 0, explain.Width(), explain.Height() + extra.bottom,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (int id : {IDC_NF_TRY, IDC_NF_DEEP_NOTE, IDC_NF_DEEP}) {
    HWND control = ::GetDlgItem(m_hWnd, id);
    CRect r;
    ::GetWindowRect(control, &r);
    ScreenToClient(&r);
    ::SetWindowPos(control, nullptr, r.left, r.top + extra.bottom, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  Invalidate();
}

void CFindNoFileDlg::ShowStopped() {
  if (!m_hWnd) return;
  m_stopped = true;
  CString heading, explanation;
  heading.LoadString(IDS_SCAN_STOPPED_HEADING);
  explanation.LoadString(IDS_SCAN_STOPPED_EXPLAIN);
  m_heading.SetText(heading);
  m_explain.SetText(explanation);
  Invalidate();
}

void CFindNoFileDlg::PaintBody(CDC* dc, const CRect&) {
  // A white panel behind the texts, the picture at its left.
  // It ends below the last text shown: the deep-scan offer when it is made.
  CRect heading, finish, last;
  ::GetWindowRect(::GetDlgItem(m_hWnd, IDC_PAGE_HEADING), &heading);
  ::GetWindowRect(::GetDlgItem(m_hWnd, IDC_NF_FINISH), &finish);
  HWND deep = ::GetDlgItem(m_hWnd, IDC_NF_DEEP);
  ::GetWindowRect(deep && ::IsWindowVisible(deep) ? deep : ::GetDlgItem(m_hWnd, IDC_NF_EXPLAIN), &last);
  ScreenToClient(&heading);
  ScreenToClient(&finish);
  ScreenToClient(&last);
  CRect panel(32, heading.top - 22, finish.right, last.bottom + 26);
  PaintPanel(dc, panel);
  CBitmap picture;
  if (picture.LoadBitmap(IDB_NOTHING_FOUND_PICTURE)) dc->DrawBitmap(picture, panel.left + 26, heading.top - 4);
}

void CFindNoFileDlg::OnFinish() {
  PageHost()->ShowMainWindow();
  EndDialog(IDOK);
}

void CFindNoFileDlg::OnBack() {
  if (m_returnPage && m_returnPage->m_hWnd)
    m_returnPage->ShowWindow(SW_SHOW);
  else
    PageHost()->ShowMainWindow();
  EndDialog(IDCANCEL);
}

void CFindNoFileDlg::OnDeepScan() {
  gDeepScanRequest = 1;
  gDeepScanDrive = static_cast<uint8_t>(m_driveIndex);
  if (!PageHost()->OpenDeepScan()) {
    gDeepScanRequest = 0;
    PageHost()->ShowMainWindow();
  }
  EndDialog(IDCANCEL);
}
