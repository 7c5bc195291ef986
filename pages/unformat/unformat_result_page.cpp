#include "unformat_result_page.h"

#include <shlobj.h>

#include <algorithm>

#include "messages.h"
#include "resource.h"
#include "page_host.h"
#include "shellitems.h"
#include "treeviewchecks.h"
#include "unformat_destination.h"

namespace {

// Rows handed to the page per message: enough to keep the worker's sends few,
// few enough to keep the page answering between them.
const size_t kRowsPerBatch = 200;

// The page background (640 x 480) has a 64-pixel band: it keeps that height
// whatever the page's size, only the body stretches.
const int kBandHeight = 64;

// How a control follows the page's size.
enum Anchor { kFixed = 0, kRight = 1, kBottom = 2, kGrowX = 4, kGrowY = 8 };
struct AnchoredControl {
  int id;
  int anchor;
};
const AnchoredControl kAnchors[] = {
    {IDC_MINIMISE, kRight},
    {IDC_UFRES_MAXIMISE, kRight},
    {IDC_UFRES_RESTORE, kRight},
    {IDC_CLOSE, kRight},
    {IDC_UFRES_HEADING, kGrowX},
    {IDC_UFRES_HINT, kGrowX},
    {IDC_UFRES_TREE, kGrowX | kGrowY},
    {IDC_UFRES_CHECK_ALL, kBottom},
    {IDC_UFRES_INVERT, kBottom},
    {IDC_UFRES_EXPAND, kBottom},
    {IDC_UFRES_COLLAPSE, kBottom},
    {IDC_FORUM_LINK, kBottom},
    {IDC_UFRES_BACK, kRight | kBottom},
    {IDC_UFRES_NEXT, kRight | kBottom},
};

// The rectangle of a child in the page's client coordinates.
CRect ChildRect(HWND page, int id) {
  CRect r;
  HWND child = ::GetDlgItem(page, id);
  if (!child) return r;
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The work area of the screen that holds the window (the taskbar stays visible).
CRect WorkAreaOf(HWND window) {
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  if (GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) return CRect(info.rcWork);
  CRect area;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

}  // namespace

BEGIN_MESSAGE_MAP(CUftFileChoseDlg, CWizardPage)
  ON_BN_CLICKED(IDC_UFRES_NEXT, &CUftFileChoseDlg::OnNext)
  ON_BN_CLICKED(IDC_UFRES_BACK, &CUftFileChoseDlg::OnBack)
  ON_BN_CLICKED(IDC_CLOSE, &CUftFileChoseDlg::OnBack)
  ON_BN_CLICKED(IDC_UFRES_CHECK_ALL, &CUftFileChoseDlg::OnCheckAll)
  ON_BN_CLICKED(IDC_UFRES_INVERT, &CUftFileChoseDlg::OnInvert)
  ON_BN_CLICKED(IDC_UFRES_EXPAND, &CUftFileChoseDlg::OnExpand)
  ON_BN_CLICKED(IDC_UFRES_COLLAPSE, &CUftFileChoseDlg::OnCollapse)
  ON_BN_CLICKED(IDC_UFRES_MAXIMISE, &CUftFileChoseDlg::OnMaximise)
  ON_BN_CLICKED(IDC_UFRES_RESTORE, &CUftFileChoseDlg::OnRestore)
  ON_BN_CLICKED(IDC_UFRES_BROWSE, &CUftFileChoseDlg::OnBrowse)
  ON_WM_CLOSE()
  ON_WM_NCLBUTTONDBLCLK()
  ON_WM_NCHITTEST()
  ON_WM_GETMINMAXINFO()
  ON_WM_SIZE()
  ON_WM_ERASEBKGND()
  ON_MESSAGE(WM_UFLIST_ADD, &CUftFileChoseDlg::OnAddRows)
  ON_MESSAGE(WM_FILELIST_DONE, &CUftFileChoseDlg::OnFillDone)
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CUftFileChoseDlg::CUftFileChoseDlg(CWnd* parent) : CWizardPage(IDD_UNFORMAT_RESULT, parent), m_busy(nullptr) {}

CUftFileChoseDlg::~CUftFileChoseDlg() {
  m_stopFill = true;
  JoinWorker();
}

BOOL CUftFileChoseDlg::OnInitDialog() {
  CWizardPage::OnInitDialog();
  CRect client;
  GetClientRect(&client);
  m_layoutSize = client.Size();
  CRect window;
  GetWindowRect(&window);
  m_minTrack = window.Size();   // the page is laid out for its template's size and above
  for (const AnchoredControl& a : kAnchors) m_layoutRects[a.id] = ChildRect(m_hWnd, a.id);
  if (m_banner.m_hWnd) m_banner.SetWindowPos(nullptr, 12, (kBandHeight - 48) / 2, 48, 48, SWP_NOZORDER | SWP_NOACTIVATE);

  m_next.SubclassDlgItem(IDC_UFRES_NEXT, this);
  m_back.SubclassDlgItem(IDC_UFRES_BACK, this);
  SkinForwardButton(m_next);
  SkinBackButton(m_back);
  m_checkAll.SubclassDlgItem(IDC_UFRES_CHECK_ALL, this);
  m_invert.SubclassDlgItem(IDC_UFRES_INVERT, this);
  m_expand.SubclassDlgItem(IDC_UFRES_EXPAND, this);
  m_collapse.SubclassDlgItem(IDC_UFRES_COLLAPSE, this);
  for (CATSkinButton* b : {&m_checkAll, &m_invert, &m_expand, &m_collapse}) SkinToolButton(*b, RGB(40, 60, 90));
  m_maximise.SubclassDlgItem(IDC_UFRES_MAXIMISE, this);
  m_maximise.SetSkin(IDB_MAXIMISE, IDB_MAXIMISE, IDB_MAXIMISE_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
  m_restore.SubclassDlgItem(IDC_UFRES_RESTORE, this);
  m_restore.SetSkin(IDB_RESTORE_WINDOW, IDB_RESTORE_WINDOW, IDB_RESTORE_WINDOW_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
  m_restore.ShowWindow(SW_HIDE);
  m_heading.SubclassDlgItem(IDC_UFRES_HEADING, this);
  StyleHeading(m_heading);
  m_hint.SubclassDlgItem(IDC_UFRES_HINT, this);
  StyleBodyText(m_hint, true);

  m_list.SubclassDlgItem(IDC_UFRES_TREE, this);
  static const UINT kColumns[5] = {IDS_COL_NAME, IDS_COL_SIZE, IDS_COL_CREATED, IDS_COL_MODIFIED, IDS_COL_ACCESSED};
  static const int kWidths[5] = {180, 80, 130, 130, 100};
  for (int i = 0; i < 5; ++i) {
    CString heading;
    heading.LoadString(kColumns[i]);
    m_list.m_tree.InsertColumn(i, heading, 0, kWidths[i]);
  }
  CSystemImageList system;
  m_list.SetImageList(system.GetImageList(TRUE), TVSIL_NORMAL);
  // Folders show the icons of the Windows folder, closed and open.
  char windows[MAX_PATH] = "";
  const UINT n = GetWindowsDirectoryA(windows, sizeof windows);
  if (n == 0 || n >= sizeof windows) {
    MessageBox("Error", m_caption, MB_OK | MB_ICONWARNING);
  } else {
    m_folderImage = CSystemImageList::GetIconIndex(windows, TRUE, FALSE, TRUE);
    m_folderOpenImage = CSystemImageList::GetIconIndex(windows, TRUE, TRUE, TRUE);
  }
  return TRUE;
}

BOOL CUftFileChoseDlg::StartFillUnformatResults() {
  if (!m_hWnd || m_worker || !UnformatResultsExist()) return FALSE;
  m_stopFill = false;
  m_filled = false;
  m_tree.Clear();
  m_list.m_tree.DeleteAllItems();
  ShowWindow(SW_SHOW);
  if (m_busy.Show(this)) m_busy.ShowWindow(SW_SHOW);
  // The list is hidden while it fills: a visible tree redraws for every row.
  m_list.m_tree.ShowWindow(SW_HIDE);
  m_worker = AfxBeginThread(FillThreadProc, this);
  if (!m_worker) {
    m_list.m_tree.ShowWindow(SW_SHOW);
    if (m_busy.m_hWnd) m_busy.DestroyWindow();
    ShowWindow(SW_HIDE);
    return FALSE;
  }
  return TRUE;
}

// The fill: the tree of nodes is built whole (it only reads the vectors),
// then its rows are handed to the page in the order the nodes were made, so
// a folder's row always exists before its children's.
UINT CUftFileChoseDlg::FillThreadProc(LPVOID param) {
  auto* page = static_cast<CUftFileChoseDlg*>(param);
  const HWND window = page->m_hWnd;
  BuildUnformatTree(&page->m_tree, &page->m_stopFill);
  const size_t count = page->m_tree.NodeCount();
  for (size_t first = 0; first < count && !page->m_stopFill; first += kRowsPerBatch) {
    const size_t end = std::min(count, first + kRowsPerBatch);
    ::SendMessageA(window, WM_UFLIST_ADD, static_cast<WPARAM>(first), static_cast<LPARAM>(end));
  }
  ::SendMessageA(window, WM_FILELIST_DONE, 0, 0);
  return 1;
}

int CUftFileChoseDlg::FileImage(const CString& name) {
  const int dot = name.ReverseFind('.');
  CString extension = dot >= 0 ? name.Mid(dot) : CString();
  extension.MakeLower();
  auto found = m_imageByExtension.find(extension.str());
  if (found != m_imageByExtension.end()) return found->second;
  const int image = CSystemImageList::GetIconIndex(name, FALSE, FALSE, TRUE);
  m_imageByExtension.emplace(extension.str(), image);
  return image;
}

LRESULT CUftFileChoseDlg::OnAddRows(WPARAM firstNode, LPARAM endNode) {
  if (m_closing) return 0;
  CColumnTreeCtrl& tree = m_list.m_tree;
  const size_t end = std::min(static_cast<size_t>(endNode), m_tree.NodeCount());
  for (size_t i = static_cast<size_t>(firstNode); i < end; ++i) {
    ResultTreeNode* node = m_tree.Node(i);
    const HTREEITEM parent = node->parent ? node->parent->treeItem : TVI_ROOT;
    if (!parent) continue;   // its folder's row could not be made
    if (!node->IsFile()) {
      node->treeItem = tree.InsertItem(node->name, m_folderImage, m_folderOpenImage, parent, TVI_LAST);
      continue;
    }
    const int image = FileImage(node->name);
    node->treeItem = tree.InsertItem(node->name, image, image, parent, TVI_LAST);
    if (!node->treeItem) continue;
    const UnformatRowTexts texts = UnformatRowTextsOf(UnformatVectorOf(*node), node->recordIndex);
    tree.SetItemText(node->treeItem, 1, texts.size);
    tree.SetItemText(node->treeItem, 2, texts.created);
    tree.SetItemText(node->treeItem, 3, texts.modified);
    tree.SetItemText(node->treeItem, 4, texts.accessed);
  }
  return 0;
}

LRESULT CUftFileChoseDlg::OnFillDone(WPARAM, LPARAM) {
  if (m_closing) return 0;
  m_filled = true;
  // The first level open: the lost folders show what they hold.
  CColumnTreeCtrl& tree = m_list.m_tree;
  for (HTREEITEM r = TreeView_GetRoot(tree.m_hWnd); r; r = TreeView_GetNextSibling(tree.m_hWnd, r))
    if (TreeView_GetChild(tree.m_hWnd, r)) TreeView_Expand(tree.m_hWnd, r, TVE_EXPAND);
  tree.RecalcHorizontalRange();
  tree.ShowWindow(SW_SHOW);
  if (m_busy.m_hWnd) m_busy.SendMessage(WM_FILELIST_DONE);
  UpdateHeading();
  return 0;
}

void CUftFileChoseDlg::UpdateHeading() {
  CString text;
  text.Format(LoadText(ShowsScanStopped() ? IDS_UNFORMAT_STOPPED_HEADING : IDS_UNFORMAT_DONE_HEADING), ListedCount());
  m_heading.SetText(text);
}

void CUftFileChoseDlg::JoinWorker() {
  if (!m_worker) return;
  m_worker->Join();   // rows it sends meanwhile are handled (or passed over when closing)
  m_worker.reset();
}

void CUftFileChoseDlg::OnCheckAll() {
  TreeViewChecks checks{m_list.m_tree.m_hWnd};
  m_list.m_tree.ShowWindow(SW_HIDE);   // one repaint instead of one per row
  m_tree.CheckAll(checks);
  m_list.m_tree.ShowWindow(SW_SHOW);
}

void CUftFileChoseDlg::OnInvert() {
  TreeViewChecks checks{m_list.m_tree.m_hWnd};
  m_list.m_tree.ShowWindow(SW_HIDE);
  m_tree.InvertChecks(checks);
  m_list.m_tree.ShowWindow(SW_SHOW);
}

void CUftFileChoseDlg::OnExpand() { m_list.ExpandAll(TRUE); }
void CUftFileChoseDlg::OnCollapse() { m_list.ExpandAll(FALSE); }

uint32_t CUftFileChoseDlg::CollectChecks() {
  TreeViewChecks checks{m_list.m_tree.m_hWnd};
  m_checkedCount = CollectUnformatChecks(m_tree, checks);
  return m_checkedCount;
}

uint64_t CUftFileChoseDlg::ChosenSectors() const { return SelectedUnformatSectors(); }

void CUftFileChoseDlg::OnNext() {
  if (!m_filled) return;
  JoinWorker();
  if (CollectChecks() == 0) {
    CString text;
    text.LoadString(IDS_SELECT_FILES_TO_RECOVER);
    MessageBox(text, m_caption, MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (OpenUnformatDestinationPage(this)) ShowWindow(SW_HIDE);
}

void CUftFileChoseDlg::OnBack() {
  PageHost()->ShowMainWindow();
  DestroyWindow();   // the object stays in the application object's slot
}

void CUftFileChoseDlg::OnBrowse() {
  CString title;
  title.LoadString(IDS_CHOOSE_RECOVERY_PATH);
  CString path;
  if (!PickFolder(m_hWnd, title, BIF_RETURNONLYFSDIRS | BIF_EDITBOX, &path)) return;
  path += path.GetLength() > 0 && path[path.GetLength() - 1] == '\\' ? "ORVFIX" : "\\ORVFIX";
  if (path.GetLength() >= MAX_PATH) {
    CString text;
    text.LoadString(IDS_DEST_TOO_LONG);
    MessageBox(text, m_caption, MB_OK | MB_ICONWARNING);
    return;
  }
  SetDlgItemText(IDC_UFRES_BROWSE_EDIT, path);
}

// ---- size and look ------------------------------------------------------------

void CUftFileChoseDlg::SetMaximised(bool maximised) {
  if (maximised == m_maximised) return;
  m_maximised = maximised;
  ShowWindow(maximised ? SW_MAXIMIZE : SW_RESTORE);
  m_maximise.ShowWindow(maximised ? SW_HIDE : SW_SHOW);
  m_restore.ShowWindow(maximised ? SW_SHOW : SW_HIDE);
  Invalidate();
}

void CUftFileChoseDlg::OnMaximise() { SetMaximised(true); }
void CUftFileChoseDlg::OnRestore() { SetMaximised(false); }

void CUftFileChoseDlg::OnNcLButtonDblClk(UINT hit, CPoint point) {
  if (hit == HTCAPTION) {
    SetMaximised(!m_maximised);
    return;
  }
  CWizardPage::OnNcLButtonDblClk(hit, point);
}

LRESULT CUftFileChoseDlg::OnNcHitTest(CPoint point) {
  if (m_maximised) return HTCAPTION;
  CRect window;
  GetWindowRect(&window);
  const int corner = 10, edge = 3;
  const bool left = point.x < window.left + edge, right = point.x >= window.right - edge;
  const bool top = point.y < window.top + edge, bottom = point.y >= window.bottom - edge;
  const bool nearLeft = point.x < window.left + corner, nearRight = point.x >= window.right - corner;
  const bool nearTop = point.y < window.top + corner, nearBottom = point.y >= window.bottom - corner;
  if ((top && nearLeft) || (left && nearTop)) return HTTOPLEFT;
  if ((top && nearRight) || (right && nearTop)) return HTTOPRIGHT;
  if ((bottom && nearLeft) || (left && nearBottom)) return HTBOTTOMLEFT;
  if ((bottom && nearRight) || (right && nearBottom)) return HTBOTTOMRIGHT;
  if (left) return HTLEFT;
  if (right) return HTRIGHT;
  if (top) return HTTOP;
  if (bottom) return HTBOTTOM;
  return HTCAPTION;
}

void CUftFileChoseDlg::OnGetMinMaxInfo(MINMAXINFO* info) {
  info->ptMinTrackSize.x = std::max<LONG>(info->ptMinTrackSize.x, m_minTrack.cx);
  info->ptMinTrackSize.y = std::max<LONG>(info->ptMinTrackSize.y, m_minTrack.cy);
  if (m_hWnd) {
    const CRect work = WorkAreaOf(m_hWnd);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
    // Maximised over the work area: the taskbar stays visible on whichever edge it is.
    info->ptMaxPosition.x = work.left - monitor.rcMonitor.left;
    info->ptMaxPosition.y = work.top - monitor.rcMonitor.top;
    info->ptMaxSize.x = work.Width();
    info->ptMaxSize.y = work.Height();
  }
}

void CUftFileChoseDlg::OnSize(UINT type, int cx, int cy) {
  CWizardPage::OnSize(type, cx, cy);
  if (type == SIZE_MINIMIZED || m_layoutRects.empty()) return;
  Layout(cx, cy);
}

void CUftFileChoseDlg::Layout(int cx, int cy) {
  const int dx = cx - m_layoutSize.cx, dy = cy - m_layoutSize.cy;
  for (const AnchoredControl& a : kAnchors) {
    HWND child = ::GetDlgItem(m_hWnd, a.id);
    auto found = m_layoutRects.find(a.id);
    if (!child || found == m_layoutRects.end()) continue;
    CRect r = found->second;
    if (a.anchor & kRight) r.OffsetRect(dx, 0);
    if (a.anchor & kBottom) r.OffsetRect(0, dy);
    if (a.anchor & kGrowX) r.right += dx;
    if (a.anchor & kGrowY) r.bottom += dy;
    ::SetWindowPos(child, nullptr, r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height()),
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  Invalidate();
}

BOOL CUftFileChoseDlg::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  PaintGrowingPageBackground(dc, client, kBandHeight);
  PaintBody(dc, client);
  return TRUE;
}

void CUftFileChoseDlg::PaintBody(CDC* dc, const CRect&) {
  const CRect list = ChildRect(m_hWnd, IDC_UFRES_TREE);
  if (!list.IsRectEmpty()) PaintPanel(dc, list);
}

void CUftFileChoseDlg::OnDestroy() {
  // Rows the worker still sends are passed over; it is waited for before the
  // nodes go.
  m_closing = true;
  m_stopFill = true;
  JoinWorker();
  if (m_busy.m_hWnd) m_busy.DestroyWindow();
  m_tree.Clear();
  m_imageByExtension.clear();
  CWizardPage::OnDestroy();
}
