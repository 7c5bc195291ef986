#include "restova_dlg.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "about_dlg.h"
#include "deep_location_page.h"
#include "location_page.h"
#include "messages.h"
#include "module_path.h"
#include "page_state.h"
#include "partition_page.h"
#include "restova_app.h"
#include "scan_page.h"
#include "settings_dlgs.h"
#include "state.h"
#include "statistics.h"
#include "tarnclient.h"
#include "unformat_location_page.h"
#include "updata_dlg.h"
#include "version_checks.h"

namespace {

const UINT WM_TAB_CLICKED = WM_APP + 74;
const UINT_PTR kTipTimer = 1;
const COLORREF kHeadingColour = 0x5A5A5A;
const COLORREF kNoteColour = 0xA99D92;
const COLORREF kLinkColour = RGB(0, 21, 233);
// Where the tip link sits (client pixels).
const int kTipLeft = 15, kTipTop = 475, kTipBottom = 493;

// ---- the page kinds ---------------------------------------------------------------

// The pages ShowPage makes. A kind without a maker opens nothing. The deep-recovery
// kinds (3, 6, 7) share a slot; `prepare` sets a new page up for its kind
// once it exists (removable-device and whole-disk modes).
struct PageKindInfo {
  int slot;
  UINT dialog;
  bool inside;   // drawn inside the main window, which stays shown
  CDialog* (*make)(int kind);
  void (*prepare)(CDialog* page, int kind);
};

CDialog* MakeStartPage(int) { return new CMainPageDlg; }
CDialog* MakeToolBox(int) { return new CToolBoxDlg; }
CDialog* MakeDeletedLocation(int) { return new CRFilesDlg(nullptr); }
CDialog* MakeUnformatLocation(int) { return NewUnformatLocationPage(); }
CDialog* MakePartitionPage(int) { return NewPartitionPage(); }

const PageKindInfo kPageKinds[kPageKindCount] = {
    {0, IDD_MAIN_PAGE, true, MakeStartPage, nullptr},
    {1, IDD_DELETED_LOCATION, false, MakeDeletedLocation, nullptr},
    {2, IDD_UNFORMAT_LOCATION, false, MakeUnformatLocation, nullptr},
    {3, IDD_DEEP_LOCATION, false, MakeDeepLocationPage, PrepareDeepLocationPage},
    {4, IDD_PARTITION, false, MakePartitionPage, nullptr},
    {5, IDD_TOOLBOX, true, MakeToolBox, nullptr},
    {3, IDD_DEEP_LOCATION, false, MakeDeepLocationPage, PrepareDeepLocationPage},   // removable devices
    {3, IDD_DEEP_LOCATION, false, MakeDeepLocationPage, PrepareDeepLocationPage},   // lost-partition files
};

// The mode buttons: control, pictures (normal, pressed, hover), tooltip, caption, line.
struct ModeButtonInfo {
  int id;
  UINT normal, pressed, hover;
  UINT tip;
  UINT explanation;   // string id of the line under the button
};
const ModeButtonInfo kModeButtons[6] = {
    {IDC_MODE_DELETED, IDB_MODE_DELETED, IDB_MODE_DELETED_DOWN, IDB_MODE_DELETED_OVER, IDS_TIP_DELETED,
     IDS_MODE_NOTE_DELETED},
    {IDC_MODE_UNFORMAT, IDB_MODE_UNFORMAT, IDB_MODE_UNFORMAT_DOWN, IDB_MODE_UNFORMAT_OVER, IDS_TIP_UNFORMAT,
     IDS_MODE_NOTE_UNFORMAT},
    {IDC_MODE_DEEP, IDB_MODE_DEEP, IDB_MODE_DEEP_DOWN, IDB_MODE_DEEP_OVER, IDS_TIP_DEEP, IDS_MODE_NOTE_DEEP},
    {IDC_MODE_REMOVABLE, IDB_MODE_REMOVABLE, IDB_MODE_REMOVABLE_DOWN, IDB_MODE_REMOVABLE_OVER, IDS_TIP_REMOVABLE,
     IDS_MODE_NOTE_REMOVABLE},
    {IDC_MODE_RECYCLE, IDB_MODE_RECYCLE, IDB_MODE_RECYCLE_DOWN, IDB_MODE_RECYCLE_OVER, IDS_TIP_RECYCLE,
     IDS_MODE_NOTE_RECYCLE},
    {IDC_MODE_LOSTPART, IDB_MODE_LOSTPART, IDB_MODE_LOSTPART_DOWN, IDB_MODE_LOSTPART_OVER, IDS_TIP_LOSTPART,
     IDS_MODE_NOTE_LOSTPART},
};

void DrawCentredText(HDC dc, const std::string& text, RECT r, const LOGFONTA& lf, COLORREF colour, UINT format) {
  HFONT font = CreateFontIndirectA(&lf);
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour);
  DrawTextA(dc, text.c_str(), -1, &r, format);
  SelectObject(dc, old);
  DeleteObject(font);
}


}  // namespace

// ---- the command line ----------------------------------------------------------------

UINT LaunchCommandOf(const char* commandLine, bool* fromUsb) {
  if (fromUsb) *fromUsb = false;
  if (!commandLine) return 0;
  const char* dash = std::strrchr(commandLine, '-');
  if (!dash) return 0;
  static const struct {
    const char* option;
    UINT command;
  } kSwitches[] = {{"-fixusb", IDC_MODE_REMOVABLE},
                   {"-fixdel", IDC_MODE_DELETED},
                   {"-fixfmt", IDC_MODE_UNFORMAT},
                   {"-fixraw", IDC_MODE_DEEP}};
  for (const auto& s : kSwitches) {
    if (lstrcmpiA(dash, s.option) != 0) continue;
    if (fromUsb) *fromUsb = s.command == IDC_MODE_REMOVABLE;
    return s.command;
  }
  return 0;
}

// ---- mode buttons ------------------------------------------------------------------------

// The caption under the button's picture, and the line of explanation below it.
void CModeButton::DrawCaption(HDC dc, const RECT& item, UINT state) {
  RECT r = item;
  r.top = item.top + (item.bottom - item.top) * 60 / 100;
  r.bottom = r.top + 24;
  if ((state & ODS_SELECTED) || checked_) OffsetRect(&r, 1, 1);
  char text[128] = "";
  ::GetWindowTextA(m_hWnd, text, sizeof text);
  DrawCentredText(dc, text, r, captionFont_, textColour_, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
}

void CModeButton::DrawSubText(HDC dc, const RECT& item, UINT state) {
  if (subText_.empty()) return;
  RECT r = item;
  r.top = item.top + (item.bottom - item.top) * 60 / 100 + 24;
  r.bottom = item.bottom - 6;
  r.left += 6;
  r.right -= 6;
  if ((state & ODS_SELECTED) || checked_) OffsetRect(&r, 1, 1);
  DrawCentredText(dc, subText_, r, subFont_, subColour_, DT_CENTER | DT_WORDBREAK);
}

// ---- the start page and the tool box -----------------------------------------------------

BEGIN_MESSAGE_MAP(CMainPageDlg, CDialog)
  ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

BOOL CMainPageDlg::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  dc->FillSolidRect(&client, RGB(242, 246, 251));
  return TRUE;
}

// ---- the main window ---------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CRestovaDlg, CDialog)
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_WM_ERASEBKGND()
  ON_WM_DESTROY()
  ON_WM_SYSCOMMAND()
  ON_WM_NCHITTEST()
  ON_WM_SHOWWINDOW()
  ON_WM_TIMER()
  ON_WM_CTLCOLOR()
  ON_MESSAGE(WM_SHOW_PAGE, &CRestovaDlg::OnShowPageMessage)
  ON_MESSAGE(WM_WINDOWPOSCHANGED, &CRestovaDlg::OnWindowPosChanged)
  ON_MESSAGE(WM_TAB_CLICKED, &CRestovaDlg::OnTabClicked)
  ON_COMMAND(ID_TAB_DELETED, &CRestovaDlg::OnMenuDeletedTab)
  ON_COMMAND(ID_TAB_UNFORMAT, &CRestovaDlg::OnMenuUnformatTab)
  ON_COMMAND(ID_TAB_PARTITION, &CRestovaDlg::OnMenuPartitionTab)
  ON_COMMAND(ID_TAB_DEEP, &CRestovaDlg::OnMenuDeepTab)
  ON_COMMAND_RANGE(IDC_MAIN_PAGE1, IDC_MAIN_PAGE4, &CRestovaDlg::OnPageCommand)
  ON_COMMAND(IDC_MAIN_NOTHING, &CRestovaDlg::OnNothing)
  ON_COMMAND(ID_SCAN_SETTINGS, &CRestovaDlg::OnScanSettings)
  ON_STN_CLICKED(IDC_MAIN_SETTINGS, &CRestovaDlg::OnScanSettings)
  ON_COMMAND(ID_UNFORMAT_SETTINGS, &CRestovaDlg::OnUnformatSettings)
  ON_BN_CLICKED(IDC_BANNER, &CRestovaDlg::OnAbout)
  ON_COMMAND(ID_ABOUT, &CRestovaDlg::OnAbout)
  ON_BN_CLICKED(IDC_MINIMISE, &CRestovaDlg::OnMinimise)
  ON_BN_CLICKED(IDC_CLOSE, &CRestovaDlg::OnCloseButton)
  ON_BN_CLICKED(IDC_MAIN_HOME, &CRestovaDlg::OnHomeDirect)
  ON_COMMAND(ID_HOME_BROWSER, &CRestovaDlg::OnHomeBrowser)
  ON_COMMAND(ID_URL_SERVICE, &CRestovaDlg::OnServicePage)
  ON_BN_CLICKED(IDC_MAIN_SERVICE, &CRestovaDlg::OnServicePage)
  ON_COMMAND(ID_URL_HELP, &CRestovaDlg::OnHelpPage)
  ON_COMMAND(ID_URL_CONTACT, &CRestovaDlg::OnContactPage)
  ON_BN_CLICKED(IDC_MAIN_PRODUCT, &CRestovaDlg::OnProductPage)
  ON_STN_CLICKED(IDC_MAIN_FORUM, &CRestovaDlg::OnForum)
  ON_COMMAND(ID_README, &CRestovaDlg::OnReadme)
  ON_BN_CLICKED(IDC_MAIN_UPDATE, &CRestovaDlg::OnUpdate)
  ON_COMMAND(ID_UPDATE, &CRestovaDlg::OnUpdate)
  ON_BN_CLICKED(IDC_MODE_DELETED, &CRestovaDlg::OnModeDeleted)
  ON_BN_CLICKED(IDC_MODE_UNFORMAT, &CRestovaDlg::OnModeUnformat)
  ON_BN_CLICKED(IDC_MODE_DEEP, &CRestovaDlg::OnModeDeep)
  ON_BN_CLICKED(IDC_MODE_REMOVABLE, &CRestovaDlg::OnModeRemovable)
  ON_BN_CLICKED(IDC_MODE_RECYCLE, &CRestovaDlg::OnModeRecycle)
  ON_BN_CLICKED(IDC_MODE_LOSTPART, &CRestovaDlg::OnModeLostPartition)
END_MESSAGE_MAP()

CRestovaDlg::CRestovaDlg() : CDialog(IDD_MAIN) {
  m_icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_MAIN));
}

CRestovaDlg::~CRestovaDlg() {
  for (CDialog*& page : m_kindPages) {
    delete page;   // deleting an object whose window still exists destroys it
    page = nullptr;
  }
}

LRESULT CRestovaDlg::OnWindowPosChanged(WPARAM, LPARAM) {
  const LRESULT result = Default();
  NotePageStood(m_hWnd);   // the first page of a road opens over it
  return result;
}

BOOL CRestovaDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // The program opens in the middle of the screen; the pages follow it.
  CenterWindow();
  m_launchFromUsb = FALSE;

  CString caption;
  caption.LoadString(IDS_APP_TITLE);
  SetWindowText(caption);
  SetIcon(m_icon, TRUE);
  SetIcon(m_icon, FALSE);
  m_folder = CStringW(ModuleFolderW(nullptr));
  HMENU menu = GetSystemMenu(FALSE);
  DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
  DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);

  // The mode buttons.
  for (int i = 0; i < 6; ++i) {
    const ModeButtonInfo& info = kModeButtons[i];
    CModeButton& b = m_modes[i];
    if (!b.SubclassDlgItem(info.id, this)) continue;
    b.SetSkin(info.normal, info.pressed, info.hover, 0, 0, 0, skin::kStretch, 0, 0);
    b.SetCursor(IDCUR_HAND);
    b.SetFontName("黑体");
    b.SetFontSize(-16);
    b.SetFontBold(TRUE);
    b.SetTextColor(RGB(40, 52, 70));
    b.SetSubText(info.explanation);
    b.SetSubTextColor(RGB(120, 130, 142));
    b.SetSubTextLayout(1, 0, 36);
    CString tip;
    tip.LoadString(info.tip);
    b.SetMultilineToolTipText(tip, 5000);
  }
  // The logo with the product's name: it opens the About box.
  m_banner.SubclassDlgItem(IDC_BANNER, this);
  m_banner.SetSkin(IDB_MAIN_BANNER, IDB_MAIN_BANNER, IDB_MAIN_BANNER, 0, 0, 0, skin::kCopy, 0, 0);
  m_banner.SetFontName("黑体");
  m_banner.SetFontSize(-24);
  m_banner.SetFontBold(TRUE);
  m_banner.SetTextColor(RGB(255, 255, 255));
  m_banner.SetCaptionFormat(DT_LEFT);
  m_banner.SetSubTextLayout(2, 82, 30);
  m_banner.SetSubText(LoadText(IDS_MAIN_BANNER_NOTE));
  m_banner.SetSubTextColor(RGB(214, 230, 248));
  m_banner.SetCursor(IDCUR_HAND);
  m_minimise.SubclassDlgItem(IDC_MINIMISE, this);
  m_minimise.SetSkin(IDB_MAIN_MINIMISE, IDB_MAIN_MINIMISE, IDB_MAIN_MINIMISE_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
  m_close.SubclassDlgItem(IDC_CLOSE, this);
  m_close.SetSkin(IDB_MAIN_CLOSE, IDB_MAIN_CLOSE, IDB_MAIN_CLOSE_HOVER, 0, 0, 0, skin::kStretch, 0, 0);

  // Labels and links.
  HCURSOR hand = static_cast<HCURSOR>(
      LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDCUR_HAND), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  m_heading.SubclassDlgItem(IDC_MAIN_HEADING, this);
  m_heading.SetFontName("宋体").SetFontSize(14).SetFontBold(TRUE).SetTextColor(kHeadingColour).SetTransparent(TRUE);
  m_note.SubclassDlgItem(IDC_MAIN_NOTE, this);
  m_note.SetFontName("宋体").SetFontSize(12).SetTextColor(kNoteColour).SetTransparent(TRUE);
  m_forum.SubclassDlgItem(IDC_MAIN_FORUM, this);
  m_forum.SetFontName("宋体").SetFontSize(12).SetTextColor(kLinkColour).SetFontUnderline(TRUE);
  m_forum.SetLink(TRUE).SetLinkCursor(hand).SetTransparent(TRUE);
  CString contact;
  contact.LoadString(IDS_URL_CONTACT);
  m_feedback.SubclassDlgItem(IDC_MAIN_FEEDBACK, this);
  m_feedback.SetFontName("宋体").SetFontSize(12).SetTextColor(kLinkColour).SetFontUnderline(TRUE);
  m_feedback.SetLink(TRUE).SetLinkCursor(hand).SetLinkUrl(contact).SetTransparent(TRUE);
  m_settings.SubclassDlgItem(IDC_MAIN_SETTINGS, this);
  m_settings.SetTransparent(TRUE);
  m_tip.SubclassDlgItem(IDC_MAIN_TIP, this);
  m_tip.SetFontName("宋体").SetFontSize(12).SetTextColor(kLinkColour).SetFontUnderline(TRUE);
  m_tip.SetLink(TRUE).SetLinkCursor(hand).SetTransparent(TRUE);

  m_tabs.SubclassDlgItem(IDC_MAIN_TABS, this);
  const UINT tabs[4] = {IDS_TAB_DELETED, IDS_TAB_UNFORMAT, IDS_TAB_DEEP, IDS_TAB_PARTITION};
  for (int i = 0; i < 4; ++i) m_tabs.SetCaption(i, LoadText(tabs[i]));
  m_tabs.SetOwner(m_hWnd, WM_TAB_CLICKED);
  m_tabs.SetCurSel(0);

  // A switch on the command line starts its road once the window runs.
  bool fromUsb = false;
  if (UINT command = LaunchCommandOf(GetCommandLineA(), &fromUsb)) {
    PostMessage(WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    if (fromUsb) m_launchFromUsb = TRUE;
  }

  GetOwnVersionString(m_version);
  if (!m_version.IsEmpty()) {
    CString note;
    note.Format(LoadText(IDS_VERSION_NOTE), m_version.GetString());
    m_note.SetText(note);
  }
  ReportLaunch(m_launchFromUsb ? 1 : 0, m_version);

  // The tips of "item.ini".
  const CStringW ini = ItemIniPath();
  m_tipCount = ini.IsEmpty() ? 0 : static_cast<int>(GetPrivateProfileIntW(L"common", L"cont", 0, ini));
  if (m_tipCount < 0) m_tipCount = 0;
  SetTimer(kTipTimer, 2000);
  ShowNextTip();

  UpdateData(FALSE);
  return TRUE;
}

void CRestovaDlg::ShowNextTip() {
  if (m_tipCount <= 0) return;
  if (m_tipIndex >= m_tipCount) m_tipIndex = 0;
  const CStringW ini = ItemIniPath();
  if (ini.IsEmpty()) return;
  wchar_t section[32];
  wsprintfW(section, L"Item%d", m_tipIndex);
  wchar_t nameW[260] = L"", urlW[260] = L"";
  GetPrivateProfileStringW(section, L"Name", L"", nameW, 260, ini);
  GetPrivateProfileStringW(section, L"URL", L"", urlW, 260, ini);
  const CString name(nameW), url(urlW);
  m_tip.SetText(name);
  m_tip.SetLinkUrl(url);
  // Wide enough for the text as the label draws it (12-pixel 宋体, two
  // bytes a character), and the margin.
  CClientDC dc(&m_tip);
  LOGFONTA lf = {};
  lf.lfHeight = -12;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfUnderline = TRUE;
  lstrcpynA(lf.lfFaceName, "宋体", LF_FACESIZE);
  HFONT font = CreateFontIndirectA(&lf);
  HGDIOBJ old = ::SelectObject(dc.m_hDC, font);
  SIZE extent = {};
  ::GetTextExtentPoint32A(dc.m_hDC, name, lstrlenA(name), &extent);
  if (m_tipCharWidth == 0) {
    TEXTMETRICA tm = {};
    ::GetTextMetricsA(dc.m_hDC, &tm);
    m_tipCharWidth = tm.tmAveCharWidth > 0 ? tm.tmAveCharWidth : 6;
  }
  ::SelectObject(dc.m_hDC, old);
  DeleteObject(font);
  const int width = std::max((lstrlenA(name) + 1) * m_tipCharWidth, static_cast<int>(extent.cx)) + 15;
  m_tip.MoveWindow(kTipLeft, kTipTop, width, kTipBottom - kTipTop);
  m_tip.Invalidate();
  if (++m_tipIndex >= m_tipCount) m_tipIndex = 0;
}

void CRestovaDlg::OnTimer(UINT_PTR id) {
  if (id == kTipTimer) {
    if (!m_tipPaused) ShowNextTip();
    return;
  }
  CDialog::OnTimer(id);
}

void CRestovaDlg::OnShowWindow(BOOL show, UINT status) {
  CDialog::OnShowWindow(show, status);
  if (!show) {
    m_tipPaused = TRUE;
    return;
  }
  m_tipPaused = FALSE;
  // A road left before its report page is reported when the user is back.
  ReportPendingOperation(RestovaApp()->Stats(), m_version);
}

// ---- pages ----------------------------------------------------------------------------

bool CRestovaDlg::CanShowPage(int index) const {
  return index >= 0 && index < kPageKindCount && kPageKinds[index].make != nullptr;
}

CDialog* CRestovaDlg::PageOfKind(int index) const {
  if (index < 0 || index >= kPageKindCount) return nullptr;
  return m_kindPages[kPageKinds[index].slot];
}

void CRestovaDlg::DestroyPageAt(int slot) {
  CDialog* page = m_kindPages[slot];
  if (!page) return;
  m_kindPages[slot] = nullptr;
  if (page == m_current) m_current = nullptr;
  if (page->m_hWnd) page->DestroyWindow();
  delete page;
}

int CRestovaDlg::ShowPage(int index) {
  if (index > kPageLostPartition) {
    // The current page again; without one there is nothing to show.
    if (!m_current || !m_current->m_hWnd) return 0;
    m_current->ShowWindow(SW_SHOW);
    if (!(m_current->GetStyle() & WS_CHILD)) ShowWindow(SW_HIDE);
    return 1;
  }
  if (!CanShowPage(index)) return 0;
  const PageKindInfo& kind = kPageKinds[index];
  if (m_current && m_current->m_hWnd) m_current->ShowWindow(SW_HIDE);

  DestroyPageAt(kind.slot);
  CDialog* page = kind.make(index);
  m_kindPages[kind.slot] = page;
  if (!page->Create(kind.dialog, this)) {
    DestroyPageAt(kind.slot);
    ShowWindow(SW_SHOW);
    return 0;
  }
  if (kind.prepare) kind.prepare(page, index);
  m_current = page;
  if (kind.inside) {
    // Inside the main window, below its band; the window stays.
    page->SetWindowPos(nullptr, 0, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    page->ShowWindow(SW_SHOW);
    return 1;
  }
  PlacePage(page);
  page->ShowWindow(SW_SHOW);
  ShowWindow(SW_HIDE);
  return 1;
}

int CRestovaDlg::ShowDeepScanPage() {
  if (!gDeepScanRequest) return 0;
  return ShowPage(kPageDeepRecovery);
}

LRESULT CRestovaDlg::OnShowPageMessage(WPARAM, LPARAM lp) {
  const long page = static_cast<long>(lp);
  ShowPage(page < 0 ? kPageStart : static_cast<int>(page) + 1);
  return 0;
}

void CRestovaDlg::SelectTabAndShow(UINT tab, int page) {
  m_tabs.SetCurSel(tab);
  ShowPage(page);
}

void CRestovaDlg::OnMenuDeletedTab() { SelectTabAndShow(0, kPageDeletedFiles); }
void CRestovaDlg::OnMenuUnformatTab() { SelectTabAndShow(1, kPageUnformat); }
void CRestovaDlg::OnMenuPartitionTab() { SelectTabAndShow(3, kPagePartition); }
void CRestovaDlg::OnMenuDeepTab() { SelectTabAndShow(2, kPageDeepRecovery); }

// A click on the tab strip does what the menu command of that tab does.
LRESULT CRestovaDlg::OnTabClicked(WPARAM, LPARAM tab) {
  static const int kPages[4] = {kPageDeletedFiles, kPageUnformat, kPageDeepRecovery, kPagePartition};
  if (tab >= 0 && tab < 4) SelectTabAndShow(static_cast<UINT>(tab), kPages[tab]);
  return 0;
}

void CRestovaDlg::OnPageCommand(UINT id) {
  switch (id) {
    case IDC_MAIN_PAGE0: ShowPage(kPageStart); break;
    case IDC_MAIN_PAGE1: ShowPage(kPageDeletedFiles); break;
    case IDC_MAIN_PAGE2: ShowPage(kPageUnformat); break;
    case IDC_MAIN_PAGE3: ShowPage(kPageDeepRecovery); break;
    case IDC_MAIN_PAGE4: ShowPage(kPagePartition); break;
    default: break;
  }
}

// ---- the roads ------------------------------------------------------------------------------

void CRestovaDlg::StartRoad(int fixtype2, bool clearRecycleMode) {
  RestovaApp()->Stats().fixtype2 = fixtype2;
  if (clearRecycleMode) gRecycleBinMode = 0;
}

void CRestovaDlg::OnModeDeleted() {
  StartRoad(1, true);
  ShowPage(kPageDeletedFiles);
}

void CRestovaDlg::OnModeUnformat() {
  StartRoad(2, true);
  ShowPage(kPageUnformat);
}

void CRestovaDlg::OnModeDeep() {
  StartRoad(6, true);
  ShowPage(kPageDeepRecovery);
}

void CRestovaDlg::OnModeRemovable() {
  StartRoad(3, true);
  ShowPage(kPageRemovable);
}

void CRestovaDlg::OnModeLostPartition() {
  StartRoad(5, true);
  ShowPage(kPageLostPartition);
}

// The recycle-bin road starts its scan at once, from here.
void CRestovaDlg::OnModeRecycle() {
  StartRoad(4, false);
  std::memset(gScanTarget, 0, sizeof gScanTarget);
  CRestovaApp* app = RestovaApp();
  BeginOperation(app->Stats(), 1, 0);

  app->DestroyPage(kScanPageSlot);   // waits for the worker of a previous scan
  auto* scan = new CScanDelFilesDlg(this);
  scan->SetTarget("");
  scan->SetRecycleBin(TRUE);
  gRecycleBinMode = 1;
  if (!ShowHeldPage(scan, kScanPageSlot, IDD_DELETED_SCAN, this)) return;
  ShowWindow(SW_HIDE);
}

// ---- links, boxes and the rest -------------------------------------------------------------

void CRestovaDlg::OnScanSettings() {
  CFileScanSetingDlg settings(this);
  settings.DoModal();
}

void CRestovaDlg::OnUnformatSettings() {
  CUnformatSeting settings(this);
  settings.DoModal();
}

void CRestovaDlg::OnAbout() {
  CAboutDlg about(this);
  about.DoModal();
}

void CRestovaDlg::OnMinimise() { ShowWindow(SW_MINIMIZE); }

void CRestovaDlg::OnCloseButton() { CloseRoad(); }

// The close road: with the service library loaded, the update runs first,
// the main window hidden meanwhile.
void CRestovaDlg::CloseRoad() {
  if (GetServiceModuleClient().IsLoaded()) {
    ShowWindow(SW_HIDE);
    RunUpdateDialog(this);
  }
  CDialog::OnOK();
}

void CRestovaDlg::OpenInBrowser(UINT urlString) {
  CString url;
  if (url.LoadString(urlString)) ShellExecuteA(nullptr, "open", "IExplore.EXE", url, nullptr, SW_SHOW);
}

void CRestovaDlg::OnHomeDirect() {
  CString url;
  if (url.LoadString(IDS_URL_HOME)) ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOW);
}

void CRestovaDlg::OnHomeBrowser() { OpenInBrowser(IDS_URL_HOME); }
void CRestovaDlg::OnServicePage() { OpenInBrowser(IDS_URL_SERVICE); }
void CRestovaDlg::OnHelpPage() { OpenInBrowser(IDS_URL_HELP); }
void CRestovaDlg::OnContactPage() { OpenInBrowser(IDS_URL_CONTACT); }
void CRestovaDlg::OnProductPage() { OpenInBrowser(IDS_URL_PRODUCT); }

// The forum through the service library (nothing happens without it).
void CRestovaDlg::OnForum() {
  CString url;
  if (url.LoadString(IDS_URL_FORUM)) GetServiceModuleClient().OpenUrl(CStringW(url));
}

void CRestovaDlg::OnReadme() {
  // Opened by its full wide path: never a look-alike folder's file.
  HINSTANCE r = nullptr;
  if (!m_folder.IsEmpty()) {
    const CStringW path = m_folder + L"Readme.txt";
    r = ShellExecuteW(nullptr, L"open", path, nullptr, nullptr, SW_SHOW);
  }
  if (reinterpret_cast<INT_PTR>(r) <= 32) {
    CString text, caption;
    text.LoadString(IDS_README_FAILED);
    caption.LoadString(IDS_APP_TITLE);
    MessageBox(text, caption, MB_OK);
  }
}

void CRestovaDlg::OnUpdate() {
  bool started = false;
  if (!m_folder.IsEmpty()) {
    const std::wstring program = std::wstring(m_folder.GetString()) + L"Update.exe";
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    started = CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                             m_folder.GetString(), &si, &pi) != FALSE;
    if (started) {
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
  }
  if (!started) {
    CString text, caption;
    text.LoadString(IDS_UPDATE_START_FAILED);
    caption.LoadString(IDS_APP_TITLE);
    MessageBox(text, caption, MB_OK);
  }
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

void CRestovaDlg::OnPaint() {
  if (!IsIconic()) {
    CDialog::OnPaint();
    return;
  }
  CPaintDC dc(this);
  CRect client;
  GetClientRect(&client);
  const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
  dc.DrawIconEx((client.Width() - cx + 1) / 2, (client.Height() - cy + 1) / 2, m_icon, cx, cy);
}

HCURSOR CRestovaDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_icon); }

BOOL CRestovaDlg::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  CBitmap background;
  if (background.LoadBitmap(IDB_MAIN_BACKGROUND))
    dc->DrawBitmap(background, 0, 0, client.Width(), client.Height());
  else
    dc->FillSolidRect(&client, RGB(242, 246, 251));
  return TRUE;
}

HBRUSH CRestovaDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  if (kind != CTLCOLOR_STATIC) return CDialog::OnCtlColor(dc, wnd, kind);
  dc->SetBkMode(TRANSPARENT);
  return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

void CRestovaDlg::OnDestroy() {
  KillTimer(kTipTimer);
  for (int slot = 0; slot < 6; ++slot) DestroyPageAt(slot);
  CDialog::OnDestroy();
}
