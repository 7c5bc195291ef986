#include "location_page.h"

#include <commctrl.h>

#include <cctype>
#include <ctime>

#include "framepaint.h"
#include "resource.h"
#include "page_host.h"
#include "scan_page.h"
#include "state.h"

// ---- checks ----------------------------------------------------------------------------

namespace {

// What the scan can take: its target is a 512-byte text.
const size_t kMaxTarget = 511;

UINT SystemDriveType(const char* root) { return GetDriveTypeA(root); }

int CalendarKey(const SYSTEMTIME& d) { return d.wYear * 400 + d.wMonth * 31 + d.wDay; }

}  // namespace

UINT CheckScanLocation(const std::string& chosen, std::string* target, UINT (*driveType)(const char*)) {
  std::string path = chosen;
  if (path.size() == 2 && path[1] == ':') path += '\\';
  if (target) *target = path;
  if (path.empty()) return IDS_CHOOSE_PATH;
  if (path.size() < 3 || path[1] != ':' || path[2] != '\\' || path.size() > kMaxTarget) return IDS_PATH_WRONG;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  if (letter < 'A' || letter > 'Z' || letter == 'A' || letter == 'B') return IDS_PATH_WRONG;
  path[0] = letter;
  if (target) *target = path;
  // The drive type is asked of the root: without its backslash the answer
  // would never be a CD-ROM or a network drive.
  const char root[4] = {letter, ':', '\\', 0};
  const UINT type = (driveType ? driveType : SystemDriveType)(root);
  if (type == DRIVE_CDROM || type == DRIVE_REMOTE) return IDS_PATH_WRONG;
  return 0;
}

bool ClampConditionDate(SYSTEMTIME* date) {
  const int key = CalendarKey(*date);
  SYSTEMTIME bound = {};
  if (key < 1970 * 400 + 1 * 31 + 2) {
    bound.wYear = 1970, bound.wMonth = 1, bound.wDay = 2, bound.wDayOfWeek = 5;
  } else if (key > 2038 * 400 + 1 * 31 + 18) {
    bound.wYear = 2038, bound.wMonth = 1, bound.wDay = 18, bound.wDayOfWeek = 1;
  } else {
    return false;
  }
  *date = bound;
  return true;
}

// ---- the location page ------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CRFilesDlg, CWizardPage)
  ON_BN_CLICKED(IDC_LOC_NEXT, &CRFilesDlg::OnNext)
  ON_BN_CLICKED(IDC_LOC_BACK, &CRFilesDlg::OnBack)
  ON_BN_CLICKED(IDC_LOC_BACK_TWIN, &CRFilesDlg::OnBack)
  ON_BN_CLICKED(IDC_CLOSE, &CRFilesDlg::OnBack)
  ON_BN_CLICKED(IDC_LOC_CONDITIONS, &CRFilesDlg::OnConditions)
  ON_BN_CLICKED(IDC_LOC_ABOUT_AREA, &CRFilesDlg::OnAboutArea)
  ON_BN_CLICKED(IDC_LOC_WEB, &CRFilesDlg::OnWeb)
  ON_STN_CLICKED(IDC_FORUM_LINK, &CRFilesDlg::OnForum)
  ON_WM_CLOSE()
END_MESSAGE_MAP()

CRFilesDlg::CRFilesDlg(CWnd* parent) : CWizardPage(IDD_DELETED_LOCATION, parent) {}

BOOL CRFilesDlg::OnInitDialog() {
  CWizardPage::OnInitDialog();
  m_tree.SubclassDlgItem(IDC_LOC_BROWSE_TREE, this);
  // The tree measures its items with the font it is given: the page's own,
  // so that drive names are not cut short.
  LOGFONTA lf = {};
  lf.lfHeight = -12;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(lf.lfFaceName, "宋体", LF_FACESIZE);
  m_treeFont.CreateFontIndirect(&lf);
  m_tree.SetFont(&m_treeFont);
  m_tree.Initialize(IDB_BROWSE_STATES, this);

  // The file-type choice (kept hidden by the template: the road scans for
  // every kind of file).
  CWnd* kind = GetDlgItem(IDC_LOC_KIND);
  if (kind) {
    for (UINT id = IDS_KIND_ALL; id <= IDS_KIND_WEB; ++id) {
      CString text;
      text.LoadString(id);
      int row = static_cast<int>(kind->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.GetString())));
      kind->SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(row), static_cast<LPARAM>(id - IDS_KIND_ALL));
    }
    kind->SendMessage(CB_SETCURSEL, 0, 0);
  }

  m_next.SubclassDlgItem(IDC_LOC_NEXT, this);
  m_back.SubclassDlgItem(IDC_LOC_BACK, this);
  SkinForwardButton(m_next);
  SkinBackButton(m_back);
  m_heading.SubclassDlgItem(IDC_PAGE_HEADING, this);
  StyleHeading(m_heading);
  m_note.SubclassDlgItem(IDC_LOC_NOTE, this);
  StyleBodyText(m_note, true);
  return TRUE;
}

void CRFilesDlg::PaintBody(CDC* dc, const CRect&) {
  CRect tree;
  ::GetWindowRect(::GetDlgItem(m_hWnd, IDC_LOC_BROWSE_TREE), &tree);
  ScreenToClient(&tree);
  DrawFrameRect(tree.left, tree.top, tree.right, tree.bottom, dc->m_hDC);
}

void CRFilesDlg::OnNext() {
  const UINT refusal = [&] {
    std::string target;
    UINT r = CheckScanLocation(std::string(m_tree.GetSelectedPath().GetString()), &target);
    m_path = target.c_str();
    return r;
  }();
  if (refusal) {
    CString text;
    text.LoadString(refusal);
    MessageBox(text, m_caption, MB_OK);
    return;
  }
  Sleep(200);
  CPageHost* host = PageHost();
  host->Stats().filtertype = 0;
  host->Stats().btnrecover = 0;

  // The kinds of files the road looks for (the choice stays at "all files"
  // while the template hides it).
  gCategoryFilterOn = 0;
  int kind = 0;
  if (CWnd* combo = GetDlgItem(IDC_LOC_KIND)) {
    int row = static_cast<int>(combo->SendMessage(CB_GETCURSEL));
    if (row >= 0) kind = static_cast<int>(combo->SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(row)));
  }
  if (kind >= 1 && kind <= 4) {
    static const uint8_t kFlags[5][CFileTypeFilter::kCategoryCount] = {
        {0, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 1, 0}, {1, 0, 0, 0, 0, 0}, {0, 1, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 1}};
    for (int c = 0; c < CFileTypeFilter::kCategoryCount; ++c)
      m_filter.SetEnabled(static_cast<CFileTypeFilter::Category>(c), kFlags[kind][c]);
    host->Stats().filtertype = kind;
    gCategoryFilterOn = 1;
  }
  m_filter.SetDateMode(CFileTypeFilter::kDateNone);

  // The previous scan page goes first: it waits for its worker, so nothing
  // appends to the results while they are emptied.
  host->DestroyPage(kScanPageSlot);
  ClearDeletedFiles();

  BeginOperation(host->Stats(), 1, 0);

  auto* scan = new CScanDelFilesDlg(this);
  scan->SetTarget(m_path);
  if (!ShowHeldPage(scan, kScanPageSlot, IDD_DELETED_SCAN, this)) return;
  ShowWindow(SW_HIDE);
}

void CRFilesDlg::OnBack() {
  PageHost()->ShowMainWindow();
  EndDialog(IDCANCEL);
}

void CRFilesDlg::OnClose() { OnBack(); }

void CRFilesDlg::OnConditions() {
  CRAppFilesDlg conditions(m_filter, this);
  conditions.DoModal();
  SetActiveWindow();
}

// ---- search conditions -------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CRAppFilesDlg, CDialog)
  ON_BN_CLICKED(IDC_COND_OK, &CRAppFilesDlg::OnApply)
  ON_BN_CLICKED(IDC_COND_CANCEL, &CRAppFilesDlg::OnLeave)
  ON_CBN_SELCHANGE(IDC_COND_DATE_MODE, &CRAppFilesDlg::OnDateModeChange)
  ON_NOTIFY(DTN_DATETIMECHANGE, IDC_COND_FROM, &CRAppFilesDlg::OnFromChange)
  ON_NOTIFY(DTN_DATETIMECHANGE, IDC_COND_TO, &CRAppFilesDlg::OnToChange)
  ON_BN_CLICKED(IDC_COND_PICTURES, &CRAppFilesDlg::OnNothing)
  ON_BN_CLICKED(IDC_COND_OFFICE, &CRAppFilesDlg::OnNothing)
  ON_BN_CLICKED(IDC_COND_ZRT, &CRAppFilesDlg::OnNothing)
  ON_BN_CLICKED(IDC_COND_1022, &CRAppFilesDlg::OnNothing)
  ON_BN_CLICKED(IDC_COND_1031, &CRAppFilesDlg::OnNothing)
  ON_WM_CLOSE()
  ON_WM_ERASEBKGND()
  ON_WM_NCHITTEST()
  ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

// Enter applies the conditions, as the OK button does.
void CRAppFilesDlg::OnOK() { OnApply(); }

CRAppFilesDlg::CRAppFilesDlg(CFileTypeFilter& filter, CWnd* parent)
    : CDialog(IDD_SEARCH_CONDITIONS, parent), m_filter(filter) {}

void CRAppFilesDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_COND_NAME, m_name);
  DDX_CBIndex(dx, IDC_COND_DATE_MODE, m_dateMode);
  DDX_DateTimeCtrl(dx, IDC_COND_FROM, m_from);
  DDX_DateTimeCtrl(dx, IDC_COND_TO, m_to);
  DDX_Check(dx, IDC_COND_PICTURES, m_pictures);
  DDX_Check(dx, IDC_COND_AUDIO, m_audio);
  DDX_Check(dx, IDC_COND_VIDEO, m_video);
  DDX_Check(dx, IDC_COND_OFFICE, m_office);
  DDX_Check(dx, IDC_COND_ZRT, m_zrt);
}

BOOL CRAppFilesDlg::OnInitDialog() {
  m_caption.LoadString(IDS_APP_TITLE);
  CWnd* combo = GetDlgItem(IDC_COND_DATE_MODE);
  for (UINT mode : {IDS_DATE_MODE_NONE, IDS_DATE_MODE_CREATED, IDS_DATE_MODE_MODIFIED, IDS_DATE_MODE_ACCESSED})
    combo->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadText(mode).GetString()));
  m_dateMode = 0;
  m_name.Empty();
  m_pictures = m_audio = m_video = m_office = m_zrt = 0;
  m_to = _time64(nullptr);
  CDialog::OnInitDialog();
  SetWindowText(m_caption);
  SYSTEMTIME from = {};
  from.wYear = 1970, from.wMonth = 1, from.wDay = 2;
  SetPicker(IDC_COND_FROM, from);
  GetDlgItem(IDC_COND_FROM)->EnableWindow(FALSE);
  GetDlgItem(IDC_COND_TO)->EnableWindow(FALSE);

  m_panel.CreateSolidBrush(kPagePanel);
  m_title.SubclassDlgItem(IDC_PAGE_TITLE, this);
  StyleBandTitle(m_title, 13);
  m_ok.SubclassDlgItem(IDC_COND_OK, this);
  m_cancel.SubclassDlgItem(IDC_COND_CANCEL, this);
  SkinForwardButton(m_ok);
  SkinBackButton(m_cancel);
  CenterWindow();
  return TRUE;
}

void CRAppFilesDlg::SetPicker(int id, const SYSTEMTIME& when) {
  SendDlgItemMessage(id, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&when));
}

void CRAppFilesDlg::OnApply() {
  if (!UpdateData(TRUE)) return;
  if (m_name.GetLength() >= 260) {
    CString text;
    text.LoadString(IDS_NAME_TOO_LONG);
    MessageBox(text, m_caption, MB_OK);
    return;
  }
  const int mode = m_dateMode >= 0 && m_dateMode <= 3 ? m_dateMode : 0;
  m_filter.SetDateMode(static_cast<uint8_t>(mode));
  if (mode != 0 && m_from > m_to) {
    m_to = m_from;
    SYSTEMTIME st = {};
    if (fw::Time64ToLocalSystemTime(m_from, &st)) SetPicker(IDC_COND_TO, st);
    return;
  }
  lstrcpynA(m_filter.m_namePart, m_name, sizeof m_filter.m_namePart);
  m_filter.m_dateFrom = m_from;
  m_filter.m_dateTo = m_to;
  m_filter.SetEnabled(CFileTypeFilter::kPictures, m_pictures == BST_CHECKED);
  m_filter.SetEnabled(CFileTypeFilter::kAudio, m_audio == BST_CHECKED);
  m_filter.SetEnabled(CFileTypeFilter::kVideo, m_video == BST_CHECKED);
  m_filter.SetEnabled(CFileTypeFilter::kOffice, m_office == BST_CHECKED);
  m_filter.SetEnabled(CFileTypeFilter::kZrtOffice, m_zrt == BST_CHECKED);
  gCategoryFilterOn = 1;
  EndDialog(IDOK);
}

void CRAppFilesDlg::OnLeave() {
  if (m_pParentWnd && m_pParentWnd->m_hWnd) m_pParentWnd->ShowWindow(SW_SHOW);
  EndDialog(IDCANCEL);
}

void CRAppFilesDlg::OnDateModeChange() {
  const int mode = static_cast<int>(SendDlgItemMessage(IDC_COND_DATE_MODE, CB_GETCURSEL));
  const BOOL enable = mode > 0;
  if (!enable) {
    SYSTEMTIME from = {};
    from.wYear = 1970, from.wMonth = 1, from.wDay = 1, from.wHour = 8, from.wDayOfWeek = 4;
    SetPicker(IDC_COND_FROM, from);
    SYSTEMTIME now;
    GetLocalTime(&now);
    SetPicker(IDC_COND_TO, now);
  }
  GetDlgItem(IDC_COND_FROM)->EnableWindow(enable);
  GetDlgItem(IDC_COND_TO)->EnableWindow(enable);
}

void CRAppFilesDlg::ClampPicker(int id) {
  SYSTEMTIME st = {};
  if (SendDlgItemMessage(id, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) != GDT_VALID) return;
  if (ClampConditionDate(&st)) SetPicker(id, st);
}

void CRAppFilesDlg::OnFromChange(NMHDR*, LRESULT* result) {
  ClampPicker(IDC_COND_FROM);
  *result = 0;
}

void CRAppFilesDlg::OnToChange(NMHDR*, LRESULT* result) {
  ClampPicker(IDC_COND_TO);
  *result = 0;
}

BOOL CRAppFilesDlg::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  const int band = PaintBoxBackground(dc, client);
  CRect ok;
  ::GetWindowRect(::GetDlgItem(m_hWnd, IDC_COND_OK), &ok);
  ScreenToClient(&ok);
  PaintPanel(dc, CRect(14, band + 10, client.right - 14, ok.top - 10));
  return TRUE;
}

LRESULT CRAppFilesDlg::OnNcHitTest(CPoint point) {
  LRESULT hit = CDialog::OnNcHitTest(point);
  return hit == HTCLIENT ? HTCAPTION : hit;
}

HBRUSH CRAppFilesDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  if (kind != CTLCOLOR_STATIC && kind != CTLCOLOR_BTN) return CDialog::OnCtlColor(dc, wnd, kind);
  dc->SetBkColor(kPagePanel);
  dc->SetTextColor(kPageText);
  return m_panel;
}
