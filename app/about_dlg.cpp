#include "about_dlg.h"

#include "resource.h"
#include "tarnclient.h"
#include "version_checks.h"

namespace {

// The eleven labels of the template, in the order the members hold them.
const int kLabelIds[11] = {IDC_ABOUT_PRODUCT_LINK, IDC_ABOUT_NOTE2, IDC_ABOUT_VERSION, IDC_ABOUT_NOTE1,
                           IDC_ABOUT_FORUM_CAPTION, IDC_ABOUT_HOME_CAPTION, IDC_ABOUT_VERSION_CAPTION,
                           IDC_ABOUT_PRODUCT_LINE, IDC_ABOUT_PRODUCT_NAME, IDC_ABOUT_FORUM_LINK,
                           IDC_ABOUT_COPYRIGHT};
const COLORREF kBackground = 0xFBF6F2;
const COLORREF kLinkColour = 0xE91500;
const COLORREF kTextColour = RGB(90, 90, 90);
const COLORREF kQuietColour = RGB(146, 157, 169);
// The background bitmap is 270 pixels high with a 76-pixel band (skin/parts/about.py).
const int kBackgroundHeight = 270;
const int kBandHeight = 76;

}  // namespace

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
  ON_MESSAGE(WM_ABOUT_CLOSE, &CAboutDlg::OnAboutClose)
  ON_STN_CLICKED(IDC_ABOUT_PRODUCT_LINK, &CAboutDlg::OnProductLink)
  ON_STN_CLICKED(IDC_ABOUT_FORUM_LINK, &CAboutDlg::OnForumLink)
  ON_WM_NCHITTEST()
  ON_WM_ERASEBKGND()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg(CWnd* parent) : CDialog(IDD_ABOUT, parent) {}

void CAboutDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  for (int i = 0; i < 11; ++i) DDX_Control(dx, kLabelIds[i], m_labels[i]);
  DDX_Control(dx, IDOK, m_ok);
  DDX_Control(dx, IDC_BANNER, m_banner);
  DDX_Text(dx, IDC_ABOUT_VERSION, m_version);
}

BOOL CAboutDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText(LoadText(IDS_ABOUT_CAPTION));   // no title bar: the name is for the task list
  m_brush.CreateSolidBrush(kBackground);
  GetOwnVersionString(m_version);
  UpdateData(FALSE);

  for (CLabel& label : m_labels) label.SetTextColor(kTextColour).SetTransparent(TRUE);
  Label(IDC_ABOUT_PRODUCT_NAME).SetTextColor(RGB(255, 255, 255)).SetFontSize(20).SetFontBold(TRUE);
  Label(IDC_ABOUT_PRODUCT_LINE).SetTextColor(RGB(214, 230, 248));
  Label(IDC_ABOUT_COPYRIGHT).SetTextColor(kQuietColour);
  Label(IDC_ABOUT_NOTE1).SetTextColor(kQuietColour);
  Label(IDC_ABOUT_NOTE2).SetTextColor(kQuietColour);
  Label(IDC_ABOUT_VERSION).SetFontBold(TRUE);
  // The same faces as the control's own font too: some static controls select
  // their WM_SETFONT font after asking for colours.
  LOGFONTA lf = {};
  ::GetObjectA(GetFont() ? static_cast<HGDIOBJ>(GetFont()) : GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
  lf.lfWeight = FW_BOLD;
  m_boldFont.CreateFontIndirect(&lf);
  Label(IDC_ABOUT_VERSION).SetFont(&m_boldFont);
  lf.lfHeight = -20;
  m_nameFont.CreateFontIndirect(&lf);
  Label(IDC_ABOUT_PRODUCT_NAME).SetFont(&m_nameFont);

  m_cursor = static_cast<HCURSOR>(LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDCUR_HAND), IMAGE_CURSOR, 0,
                                             0, LR_DEFAULTSIZE));
  // The two links show their addresses; a click opens them through the service module.
  const struct {
    int id;
    UINT url;
  } links[] = {{IDC_ABOUT_PRODUCT_LINK, IDS_URL_PRODUCT}, {IDC_ABOUT_FORUM_LINK, IDS_URL_FORUM_ABOUT}};
  for (const auto& link : links) {
    CString url;
    url.LoadString(link.url);
    Label(link.id).SetText(url).SetLink(TRUE).SetTextColor(kLinkColour).SetFontUnderline(TRUE).SetLinkCursor(m_cursor);
  }

  m_ok.SetSkin(IDB_ABOUT_OK, IDB_ABOUT_OK_DOWN, IDB_ABOUT_OK_OVER, 0, 0, 0, 1, 0, 0);
  m_ok.SetTextColor(RGB(255, 255, 255));
  m_ok.SetFontBold(TRUE);
  m_ok.SetCursor(IDCUR_HAND);
  // The logo keeps its own size (draw mode 0 with its shape), centred in the band.
  m_banner.SetSkin(IDB_ABOUT_BANNER, IDB_ABOUT_BANNER, IDB_ABOUT_BANNER, 0, 0, IDB_ABOUT_BANNER_MASK, 0, 0, 0);
  CRect client;
  GetClientRect(&client);
  const int band = client.Height() * kBandHeight / kBackgroundHeight;
  m_banner.SetWindowPos(nullptr, 16, (band - 56) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return TRUE;
}

CLabel& CAboutDlg::Label(int id) {
  for (int i = 0; i < 11; ++i)
    if (kLabelIds[i] == id) return m_labels[i];
  return m_labels[0];
}

LRESULT CAboutDlg::OnAboutClose(WPARAM, LPARAM) {
  OnOK();
  return 1;
}

// Through the service module; without it the links do nothing.
void CAboutDlg::OpenPage(UINT urlString) {
  CString url;
  if (url.LoadString(urlString)) GetServiceModuleClient().OpenUrl(CStringW(url));
}

void CAboutDlg::OnProductLink() { OpenPage(IDS_URL_PRODUCT); }
void CAboutDlg::OnForumLink() { OpenPage(IDS_URL_FORUM_ABOUT); }

LRESULT CAboutDlg::OnNcHitTest(CPoint point) {
  LRESULT hit = CDialog::OnNcHitTest(point);
  return hit == HTCLIENT ? HTCAPTION : hit;
}

BOOL CAboutDlg::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  CBitmap background;
  if (!background.LoadBitmap(IDB_ABOUT_BACKGROUND)) {
    dc->FillRect(&client, m_brush);
    return TRUE;
  }
  dc->DrawBitmap(background, 0, 0, client.Width(), client.Height());
  return TRUE;
}

void CAboutDlg::OnDestroy() {
  if (m_cursor) {
    DestroyCursor(m_cursor);
    m_cursor = nullptr;
  }
  m_brush.DeleteObject();
  CDialog::OnDestroy();
}
