#include "settings_dlgs.h"

#include "resource.h"
#include "state.h"   // the scan options
#include "wizard_page.h"

// ---- common look -------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CSettingsBox, CDialog)
  ON_WM_ERASEBKGND()
  ON_WM_NCHITTEST()
  ON_WM_CTLCOLOR()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CSettingsBox::CSettingsBox(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {
  m_icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_MAIN));
}

BOOL CSettingsBox::OnInitDialog() {
  CDialog::OnInitDialog();
  CString caption;
  caption.LoadString(IDS_APP_TITLE);
  SetWindowText(caption);
  SetIcon(m_icon, FALSE);
  m_panel.CreateSolidBrush(kPagePanel);
  m_group.SubclassDlgItem(IDC_SETTINGS_GROUP, this);
  StyleBandTitle(m_group, 13);
  m_ok.SubclassDlgItem(IDC_SETTINGS_OK, this);
  m_cancel.SubclassDlgItem(IDC_SETTINGS_CANCEL, this);
  SkinForwardButton(m_ok);
  SkinBackButton(m_cancel);
  CenterWindow();
  return TRUE;
}

BOOL CSettingsBox::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  const int band = PaintBoxBackground(dc, client);
  // The options sit on a white panel between the band and the buttons.
  CRect ok;
  ::GetWindowRect(::GetDlgItem(m_hWnd, IDC_SETTINGS_OK), &ok);
  ScreenToClient(&ok);
  PaintPanel(dc, CRect(14, band + 12, client.right - 14, ok.top - 12));
  return TRUE;
}

LRESULT CSettingsBox::OnNcHitTest(CPoint point) {
  LRESULT hit = CDialog::OnNcHitTest(point);
  return hit == HTCLIENT ? HTCAPTION : hit;
}

// The check boxes draw on the white panel.
HBRUSH CSettingsBox::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  if (kind != CTLCOLOR_STATIC && kind != CTLCOLOR_BTN) return CDialog::OnCtlColor(dc, wnd, kind);
  dc->SetBkColor(kPagePanel);
  dc->SetTextColor(kPageText);
  return m_panel;
}

void CSettingsBox::OnDestroy() {
  m_panel.DeleteObject();
  CDialog::OnDestroy();
}

// ---- deleted-file scan settings --------------------------------------------------------

BEGIN_MESSAGE_MAP(CFileScanSetingDlg, CSettingsBox)
  ON_BN_CLICKED(IDC_OPT_SKIP_BEFORE_FOLDER, &CFileScanSetingDlg::OnSkipBeforeFolder)
  ON_BN_CLICKED(IDC_OPT_SKIP_TEMP_FOLDERS, &CFileScanSetingDlg::OnSkipTempFolders)
  ON_BN_CLICKED(IDC_OPT_SKIP_BAD_TIMES, &CFileScanSetingDlg::OnSkipBadTimes)
  ON_BN_CLICKED(IDC_SETTINGS_OK, &CFileScanSetingDlg::OnOK)
  ON_BN_CLICKED(IDC_SETTINGS_CANCEL, &CFileScanSetingDlg::OnCancelButton)
END_MESSAGE_MAP()

CFileScanSetingDlg::CFileScanSetingDlg(CWnd* parent) : CSettingsBox(IDD_SCAN_SETTINGS, parent) {}

BOOL CFileScanSetingDlg::OnInitDialog() {
  CSettingsBox::OnInitDialog();
  m_pendingSkipBeforeFolder = gOptSkipDeletedBeforeFolder;
  m_pendingSkipTempFolders = gOptSkipTempFolders;
  m_pendingSkipBadTimes = gOptSkipBadTimes;
  CheckDlgButton(IDC_OPT_SKIP_BEFORE_FOLDER, m_pendingSkipBeforeFolder == 1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(IDC_OPT_SKIP_TEMP_FOLDERS, m_pendingSkipTempFolders == 1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(IDC_OPT_SKIP_BAD_TIMES, m_pendingSkipBadTimes == 1 ? BST_CHECKED : BST_UNCHECKED);
  return TRUE;
}

void CFileScanSetingDlg::OnSkipBeforeFolder() {
  m_pendingSkipBeforeFolder = IsDlgButtonChecked(IDC_OPT_SKIP_BEFORE_FOLDER) == BST_CHECKED ? 1 : 0;
}

void CFileScanSetingDlg::OnSkipTempFolders() {
  m_pendingSkipTempFolders = IsDlgButtonChecked(IDC_OPT_SKIP_TEMP_FOLDERS) == BST_CHECKED ? 1 : 0;
}

void CFileScanSetingDlg::OnSkipBadTimes() {
  m_pendingSkipBadTimes = IsDlgButtonChecked(IDC_OPT_SKIP_BAD_TIMES) == BST_CHECKED ? 1 : 0;
}

void CFileScanSetingDlg::OnOK() {
  gOptSkipDeletedBeforeFolder = m_pendingSkipBeforeFolder;
  gOptSkipTempFolders = m_pendingSkipTempFolders;
  gOptSkipBadTimes = m_pendingSkipBadTimes;
  EndDialog(IDOK);
}

// ---- unformat settings --------------------------------------------------------------

BEGIN_MESSAGE_MAP(CUnformatSeting, CSettingsBox)
  ON_BN_CLICKED(IDC_SETTINGS_OK, &CUnformatSeting::OnOkButton)
  ON_BN_CLICKED(IDC_SETTINGS_CANCEL, &CUnformatSeting::OnCancelButton)
END_MESSAGE_MAP()

CUnformatSeting::CUnformatSeting(CWnd* parent) : CSettingsBox(IDD_UNFORMAT_SETTINGS, parent) {}

void CUnformatSeting::DoDataExchange(CDataExchange* dx) {
  CSettingsBox::DoDataExchange(dx);
  DDX_Check(dx, IDC_OPT_USE_NTFS_MFT, m_useMft);
}

BOOL CUnformatSeting::OnInitDialog() {
  m_useMft = gOptUseNtfsMft;
  CSettingsBox::OnInitDialog();   // shows the value
  return TRUE;
}

void CUnformatSeting::OnOkButton() {
  if (!UpdateData(TRUE)) return;
  gOptUseNtfsMft = m_useMft;
  EndDialog(IDOK);
}

void CUnformatSeting::OnOK() { EndDialog(IDOK); }
