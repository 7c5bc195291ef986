#include "wizard_page.h"

#include <shellapi.h>
#include <shlobj.h>

#include "resource.h"
#include "page_host.h"

namespace {

// The page background is 640 x 480 with a 64-pixel band (skin/parts/common.py);
// the logo sits at (12, 8) of the band.
const int kBackgroundHeight = 480;
const int kBandHeight = 64;

HCURSOR HandCursor() {
  return static_cast<HCURSOR>(
      LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDCUR_HAND), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

void SkinPageButton(CATSkinButton& button, UINT first, COLORREF text) {
  if (!button.m_hWnd) return;
  button.SetSkin(first, first + 1, first + 2, first + 3, 0, 0, skin::kStretch, 0, 0);
  button.SetTextColor(text);
  button.SetFontName("宋体");
  button.SetFontSize(-13);
  button.SetCursor(IDCUR_HAND);
}

}  // namespace

void SkinForwardButton(CATSkinButton& button) {
  SkinPageButton(button, IDB_PAGE_BUTTON, RGB(255, 255, 255));
  if (button.m_hWnd) button.SetFontBold(TRUE);
}

void SkinBackButton(CATSkinButton& button) { SkinPageButton(button, IDB_PAGE_BACK_BUTTON, RGB(60, 70, 85)); }

void StyleHeading(CLabel& label) {
  if (!label.m_hWnd) return;
  label.SetFontName("宋体").SetFontSize(14).SetFontBold(TRUE).SetTextColor(kPageText).SetTransparent(TRUE);
}

void StyleBodyText(CLabel& label, bool quiet) {
  if (!label.m_hWnd) return;
  label.SetFontName("宋体").SetFontSize(12).SetTextColor(quiet ? kPageQuietText : kPageText).SetTransparent(TRUE);
}

void StyleBandTitle(CLabel& label, int pixels) {
  if (!label.m_hWnd) return;
  label.SetFontName("黑体").SetFontSize(pixels).SetFontBold(TRUE).SetTextColor(RGB(255, 255, 255)).SetTransparent(TRUE);
}

void PaintPanel(CDC* dc, const CRect& rect) {
  CBrush frame, panel;
  frame.CreateSolidBrush(RGB(215, 223, 238));
  panel.CreateSolidBrush(kPagePanel);
  CRect outer = rect;
  outer.InflateRect(1, 1);
  dc->FillRect(&outer, &frame);
  dc->FillRect(&rect, &panel);
}

int PaintBoxBackground(CDC* dc, const CRect& client) {
  CBrush body, frame;
  body.CreateSolidBrush(kPageBody);
  frame.CreateSolidBrush(RGB(21, 66, 133));
  dc->FillRect(&client, &body);
  int band = 0;
  CBitmap bitmap;
  if (bitmap.LoadBitmap(IDB_BOX_BAND)) {
    BITMAP info = {};
    ::GetObjectA(bitmap, sizeof info, &info);
    band = info.bmHeight;
    dc->DrawBitmap(bitmap, 0, 0, client.Width(), band);
  }
  dc->FrameRect(&client, &frame);
  return band;
}

void OpenServicePage(UINT urlString) {
  CString url;
  if (url.LoadString(urlString)) ShellExecuteA(nullptr, "open", "IExplore.EXE", url, nullptr, SW_SHOW);
}

BEGIN_MESSAGE_MAP(CWizardPage, CDialog)
  ON_BN_CLICKED(IDC_MINIMISE, &CWizardPage::OnMinimise)
  ON_BN_CLICKED(IDC_BANNER, &CWizardPage::OnBanner)
  ON_BN_CLICKED(IDC_WEB_BUTTON, &CWizardPage::OnWebButton)
  ON_WM_ERASEBKGND()
  ON_WM_NCHITTEST()
  ON_WM_CTLCOLOR()
  ON_MESSAGE(WM_WINDOWPOSCHANGED, &CWizardPage::OnWindowPosChanged)
END_MESSAGE_MAP()

CWizardPage::CWizardPage(UINT templateId, CWnd* parent) : CDialog(templateId, parent), m_about(parent) {
  m_icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_MAIN));
}

BOOL CWizardPage::OnInitDialog() {
  CDialog::OnInitDialog();
  m_about.m_pParentWnd = this;
  m_caption.LoadString(IDS_APP_TITLE);
  SetWindowText(m_caption);
  SetIcon(m_icon, TRUE);
  SetIcon(m_icon, FALSE);
  HMENU menu = GetSystemMenu(FALSE);
  DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
  DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
  m_hand = HandCursor();

  if (::GetDlgItem(m_hWnd, IDC_BANNER) && m_banner.SubclassDlgItem(IDC_BANNER, this)) {
    m_banner.SetSkin(IDB_PAGE_BANNER, IDB_PAGE_BANNER, IDB_PAGE_BANNER, 0, 0, 0, skin::kCopy, 0, 0);
    CRect client;
    GetClientRect(&client);
    const int band = client.Height() * kBandHeight / kBackgroundHeight;
    m_banner.SetWindowPos(nullptr, 12, (band - 48) / 2, 48, 48, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (::GetDlgItem(m_hWnd, IDC_MINIMISE) && m_minimise.SubclassDlgItem(IDC_MINIMISE, this))
    m_minimise.SetSkin(IDB_MINIMISE, IDB_MINIMISE, IDB_MINIMISE_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
  if (::GetDlgItem(m_hWnd, IDC_CLOSE) && m_close.SubclassDlgItem(IDC_CLOSE, this))
    m_close.SetSkin(IDB_CLOSE, IDB_CLOSE, IDB_CLOSE_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
  if (::GetDlgItem(m_hWnd, IDC_PAGE_TITLE) && m_title.SubclassDlgItem(IDC_PAGE_TITLE, this)) StyleBandTitle(m_title, 20);
  if (::GetDlgItem(m_hWnd, IDC_FORUM_LINK) && m_forum.SubclassDlgItem(IDC_FORUM_LINK, this)) {
    CString url;
    url.LoadString(IDS_URL_FORUM);
    m_forum.SetFontName("宋体").SetFontSize(12).SetTextColor(kPageLinkText).SetFontUnderline(TRUE);
    m_forum.SetLink(TRUE).SetLinkCursor(m_hand).SetLinkUrl(url).SetTransparent(TRUE);
  }
  return TRUE;
}

LRESULT CWizardPage::OnWindowPosChanged(WPARAM, LPARAM) {
  const LRESULT result = Default();
  NotePageStood(m_hWnd);
  return result;
}

void CWizardPage::ShowScanStopped(int lineId) {
  if (!m_hWnd) return;
  m_scanStopped = true;
  CString text;
  text.LoadString(IDS_RESULT_TITLE_STOPPED);
  if (m_title.m_hWnd)
    m_title.SetText(text);
  else
    SetDlgItemText(IDC_PAGE_TITLE, text);
  if (lineId && ::GetDlgItem(m_hWnd, lineId)) {
    text.LoadString(IDS_SCAN_STOPPED_LINE);
    SetDlgItemText(lineId, text);
  }
  Invalidate();
}

void CWizardPage::CloseAboutBox() {
  if (m_about.m_hWnd) m_about.SendMessage(WM_ABOUT_CLOSE);
}

void CWizardPage::OnBanner() {
  if (!m_about.m_hWnd) m_about.DoModal();
}

void CWizardPage::OnMinimise() { ShowWindow(SW_MINIMIZE); }

void CWizardPage::OnWebButton() { OpenServicePage(IDS_URL_SERVICE); }

BOOL CWizardPage::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  if (client.Height() > kBackgroundHeight) {
    // A page made larger (a maximised result page): the band keeps its
    // height, so that what sits below it stays on the light body.
    PaintGrowingPageBackground(dc, client, kBandHeight);
  } else {
    CBitmap background;
    if (background.LoadBitmap(IDB_PAGE_BACKGROUND))
      dc->DrawBitmap(background, 0, 0, client.Width(), client.Height());
    else
      dc->FillSolidRect(&client, kPageBody);
  }
  PaintBody(dc, client);
  return TRUE;
}

LRESULT CWizardPage::OnNcHitTest(CPoint point) {
  LRESULT hit = CDialog::OnNcHitTest(point);
  return hit == HTCLIENT ? HTCAPTION : hit;
}

HBRUSH CWizardPage::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  if (kind != CTLCOLOR_STATIC) return CDialog::OnCtlColor(dc, wnd, kind);
  dc->SetBkMode(TRANSPARENT);
  dc->SetTextColor(kPageText);
  return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

void SkinToolButton(CATSkinButton& button, COLORREF text) {
  if (!button.m_hWnd) return;
  button.SetSkin(IDB_SMALL_BUTTON, IDB_SMALL_BUTTON_DOWN, IDB_SMALL_BUTTON_OVER, IDB_SMALL_BUTTON_OFF, 0, 0,
                 skin::kStretch, 0, 0);
  button.SetTextColor(text);
  button.SetFontName("宋体");
  button.SetFontSize(-12);
  button.SetCursor(IDCUR_HAND);
}

bool PickFolder(HWND owner, const char* title, UINT flags, CString* folder) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  BROWSEINFOA info = {};
  info.hwndOwner = owner;
  info.lpszTitle = title;
  info.ulFlags = flags;
  char display[MAX_PATH] = "";
  info.pszDisplayName = display;
  LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
  if (!chosen) return false;
  char path[MAX_PATH] = "";
  const BOOL ok = SHGetPathFromIDListA(chosen, path);
  CoTaskMemFree(chosen);
  if (!ok) return false;
  *folder = path;
  return true;
}

void PaintGrowingPageBackground(CDC* dc, const CRect& client, int band) {
  CBitmap background;
  if (!background.LoadBitmap(IDB_PAGE_BACKGROUND)) {
    dc->FillSolidRect(&client, kPageBody);
    return;
  }
  BITMAP info = {};
  ::GetObjectA(background, sizeof info, &info);
  HDC source = ::CreateCompatibleDC(dc->m_hDC);
  HGDIOBJ old = ::SelectObject(source, background);
  ::SetStretchBltMode(dc->m_hDC, COLORONCOLOR);
  ::StretchBlt(dc->m_hDC, 0, 0, client.Width(), band, source, 0, 0, info.bmWidth, band, SRCCOPY);
  ::StretchBlt(dc->m_hDC, 0, band, client.Width(), client.Height() - band, source, 0, band, info.bmWidth,
               info.bmHeight - band, SRCCOPY);
  ::SelectObject(source, old);
  ::DeleteDC(source);
}

void FitMaximisedToWorkArea(MINMAXINFO* info) {
  RECT work;
  if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
    info->ptMaxPosition.x = work.left;
    info->ptMaxPosition.y = work.top;
    info->ptMaxSize.x = work.right - work.left;
    info->ptMaxSize.y = work.bottom - work.top;
  }
}

namespace {

// The last place a page (or the main window) stood on screen; written only
// here, by the pages of the user-interface thread.
RECT gPageStood = {};
bool gPageStoodKnown = false;

}  // namespace

void NotePageStood(HWND window) {
  if (!window || !::IsWindowVisible(window) || ::IsIconic(window) || ::IsZoomed(window)) return;
  if (::GetWindowLongA(window, GWL_STYLE) & WS_CHILD) return;
  RECT r;
  if (!::GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) return;
  gPageStood = r;
  gPageStoodKnown = true;
}

void ForgetPagePlace() { gPageStoodKnown = false; }

void PlacePage(CWnd* page) {
  if (!page || !page->m_hWnd || (page->GetStyle() & WS_CHILD)) return;
  CRect self;
  page->GetWindowRect(&self);
  MONITORINFO mi = {};
  mi.cbSize = sizeof mi;
  if (gPageStoodKnown)
    GetMonitorInfoA(MonitorFromRect(&gPageStood, MONITOR_DEFAULTTONEAREST), &mi);
  else
    GetMonitorInfoA(MonitorFromWindow(page->m_hWnd, MONITOR_DEFAULTTOPRIMARY), &mi);
  const CRect work = mi.rcWork;
  const CRect area = gPageStoodKnown ? CRect(gPageStood) : work;
  int x = area.left + (area.Width() - self.Width()) / 2;
  int y = area.top + (area.Height() - self.Height()) / 2;
  if (x + self.Width() > work.right) x = work.right - self.Width();
  if (y + self.Height() > work.bottom) y = work.bottom - self.Height();
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  ::SetWindowPos(page->m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool ShowHeldPage(CDialog* page, int slot, UINT templateId, CWnd* parent) {
  CPageHost* host = PageHost();
  if (host) host->HoldPage(slot, page);
  if (!page->Create(templateId, parent)) {
    if (host)
      host->DestroyPage(slot);
    else
      delete page;
    return false;
  }
  PlacePage(page);
  page->ShowWindow(SW_SHOW);
  return true;
}

LRESULT ResizeHitTest(const RECT& window, POINT p, bool maximised) {
  if (maximised) return HTCAPTION;
  constexpr int kCorner = 10, kEdge = 3;
  const bool left = p.x < window.left + kEdge, right = p.x >= window.right - kEdge;
  const bool top = p.y < window.top + kEdge, bottom = p.y >= window.bottom - kEdge;
  const bool nearLeft = p.x < window.left + kCorner, nearRight = p.x >= window.right - kCorner;
  const bool nearTop = p.y < window.top + kCorner, nearBottom = p.y >= window.bottom - kCorner;
  if (nearTop && nearLeft) return HTTOPLEFT;
  if (nearTop && nearRight) return HTTOPRIGHT;
  if (nearBottom && nearLeft) return HTBOTTOMLEFT;
  if (nearBottom && nearRight) return HTBOTTOMRIGHT;
  if (left) return HTLEFT;
  if (right) return HTRIGHT;
  if (top) return HTTOP;
  if (bottom) return HTBOTTOM;
  return HTCAPTION;
}
