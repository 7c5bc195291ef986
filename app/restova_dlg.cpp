// STAND-IN for the main window; see restova_dlg.h.
#include "restova_dlg.h"

#include "resource.h"
#include "about_dlg.h"

BEGIN_MESSAGE_MAP(CRestovaDlg, CDialog)
  ON_BN_CLICKED(IDC_CLOSE, &CRestovaDlg::OnClose)
  ON_BN_CLICKED(IDC_MINIMISE, &CRestovaDlg::OnMinimise)
  ON_BN_CLICKED(IDC_BANNER, &CRestovaDlg::OnAbout)
  ON_BN_CLICKED(IDC_MAIN_ABOUT, &CRestovaDlg::OnAbout)
  ON_WM_SYSCOMMAND()
  ON_WM_NCHITTEST()
  ON_WM_ERASEBKGND()
  ON_WM_CTLCOLOR()
  ON_WM_DRAWITEM()
END_MESSAGE_MAP()

CRestovaDlg::CRestovaDlg() : CDialog(IDD_MAIN) {
  m_icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_MAIN));
}

BOOL CRestovaDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CString title;
  title.LoadString(IDS_APP_TITLE);
  SetWindowText(title);
  SetIcon(m_icon, TRUE);
  SetIcon(m_icon, FALSE);
  HMENU menu = GetSystemMenu(FALSE);
  DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
  DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
  LOGFONTA lf = {};
  lf.lfHeight = -22;
  lf.lfWeight = FW_BOLD;
  lf.lfCharSet = GB2312_CHARSET;
  lstrcpynA(lf.lfFaceName, "黑体", LF_FACESIZE);
  m_titleFont.CreateFontIndirect(&lf);
  GetDlgItem(IDC_MAIN_TITLE)->SetFont(&m_titleFont);
  return TRUE;
}

// The close road: the main window ends with IDOK.
void CRestovaDlg::CloseRoad() { EndDialog(IDOK); }
void CRestovaDlg::OnClose() { CloseRoad(); }
void CRestovaDlg::OnMinimise() { ShowWindow(SW_MINIMIZE); }

void CRestovaDlg::OnAbout() {
  CAboutDlg about(this);
  about.DoModal();
}

void CRestovaDlg::OnSysCommand(UINT id, LPARAM lp) {
  if ((id & 0xFFF0) == SC_CLOSE)
    CloseRoad();
  else
    CDialog::OnSysCommand(id, lp);
}

LRESULT CRestovaDlg::OnNcHitTest(CPoint point) {
  LRESULT hit = CDialog::OnNcHitTest(point);
  return hit == HTCLIENT ? HTCAPTION : hit;
}

BOOL CRestovaDlg::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  CBitmap background;
  if (background.LoadBitmap(IDB_PAGE_BACKGROUND))
    dc->DrawBitmap(background, 0, 0, client.Width(), client.Height());
  else
    dc->FillSolidRect(&client, GetSysColor(COLOR_BTNFACE));
  HICON logo = static_cast<HICON>(LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, 48, 48, 0));
  if (logo) {
    const int band = client.Height() * 64 / 480;   // the page background's band
    dc->DrawIconEx(16, (band - 48) / 2, logo, 48, 48);
    DestroyIcon(logo);
  }
  return TRUE;
}

HBRUSH CRestovaDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  if (kind != CTLCOLOR_STATIC) return CDialog::OnCtlColor(dc, wnd, kind);
  dc->SetBkMode(TRANSPARENT);
  const int id = wnd ? wnd->GetDlgCtrlID() : 0;
  dc->SetTextColor(id == IDC_MAIN_TITLE ? RGB(255, 255, 255) : RGB(90, 90, 90));
  return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

// The caption buttons and the About button are drawn from the skin's bitmaps.
void CRestovaDlg::OnDrawItem(int id, LPDRAWITEMSTRUCT dis) {
  UINT bitmap = 0;
  const bool down = (dis->itemState & ODS_SELECTED) != 0;
  if (id == IDC_CLOSE) bitmap = down ? IDB_CLOSE_HOVER : IDB_CLOSE;
  if (id == IDC_MINIMISE) bitmap = down ? IDB_MINIMISE_HOVER : IDB_MINIMISE;
  if (id == IDC_MAIN_ABOUT) bitmap = down ? IDB_ABOUT_OK_DOWN : IDB_ABOUT_OK;
  CDC dc;
  dc.Attach(dis->hDC);
  CRect r = dis->rcItem;
  CBitmap face;
  if (bitmap && face.LoadBitmap(bitmap)) dc.DrawBitmap(face, r.left, r.top, r.Width(), r.Height());
  if (id == IDC_MAIN_ABOUT) {
    char text[64] = "";
    ::GetWindowTextA(dis->hwndItem, text, sizeof text);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(RGB(255, 255, 255));
    dc.DrawText(text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  dc.Detach();
}
