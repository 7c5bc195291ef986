#include "deep_result_page.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "deep_copyout_pages.h"
#include "deepscan/found_files.h"
#include "messages.h"
#include "raw_recovery.h"
#include "records/records.h"
#include "resource.h"
#include "page_host.h"
#include "shellitems.h"
#include "state.h"
#include "treeviewchecks.h"

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollPeriodMs = 100;
constexpr size_t kRowsPerBatch = 64;
constexpr int kSizeColumnWidth = 90;
constexpr int kMinTrackWidth = 600;
constexpr int kMinTrackHeight = 450;
constexpr int kBandHeight = 64;

// The tree's rows keep their hit as user data: index + 1, 0 for a folder.
LPARAM RowData(size_t hit) { return static_cast<LPARAM>(hit + 1); }

}  // namespace

BEGIN_MESSAGE_MAP(CPtFileChosDlg, CWizardPage)
  ON_BN_CLICKED(IDC_DR_NEXT, &CPtFileChosDlg::OnNext)
  ON_BN_CLICKED(IDC_DR_BACK, &CPtFileChosDlg::OnBack)
  ON_BN_CLICKED(IDC_CLOSE, &CPtFileChosDlg::OnBack)
  ON_WM_CLOSE()
  ON_BN_CLICKED(IDC_DR_CHECK_ALL, &CPtFileChosDlg::OnCheckAll)
  ON_BN_CLICKED(IDC_DR_INVERT, &CPtFileChosDlg::OnInvert)
  ON_BN_CLICKED(IDC_DR_EXPAND, &CPtFileChosDlg::OnExpandAll)
  ON_BN_CLICKED(IDC_DR_COLLAPSE, &CPtFileChosDlg::OnCollapseAll)
  ON_BN_CLICKED(IDC_DR_MAXIMISE, &CPtFileChosDlg::OnMaximise)
  ON_BN_CLICKED(IDC_DR_RESTORE, &CPtFileChosDlg::OnRestore)
  ON_BN_CLICKED(IDC_DR_BROWSE, &CPtFileChosDlg::OnBrowse)
  ON_NOTIFY(TVN_SELCHANGEDA, IDC_TREELIST_TREE, &CPtFileChosDlg::OnSelChanged)
  ON_NOTIFY(TVN_SELCHANGEDW, IDC_TREELIST_TREE, &CPtFileChosDlg::OnSelChanged)
  ON_WM_LBUTTONDOWN()
  ON_WM_TIMER()
  ON_MESSAGE(WM_FILELIST_ADD, &CPtFileChosDlg::OnAddRows)
  ON_MESSAGE(WM_FILELIST_DONE, &CPtFileChosDlg::OnBuilt)
  ON_MESSAGE(WM_PREVIEW_DATA, &CPtFileChosDlg::OnPreviewData)
  ON_WM_NCLBUTTONDBLCLK()
  ON_WM_NCHITTEST()
  ON_WM_GETMINMAXINFO()
  ON_WM_SIZE()
  ON_WM_ERASEBKGND()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CPtFileChosDlg::CPtFileChosDlg(CWnd* parent) : CWizardPage(IDD_DEEP_RESULT, parent) {}

CPtFileChosDlg::~CPtFileChosDlg() {
  if (m_hWnd) DestroyWindow();   // joins the workers, frees the preview
  FreePreviewBuffer();
}

BOOL CPtFileChosDlg::OnInitDialog() {
  CWizardPage::OnInitDialog();
  CRect client;
  GetClientRect(&client);
  m_templateClient = CSize(client.Width(), client.Height());

  m_list.SubclassDlgItem(IDC_DR_TREE, this);
  CString name, size;
  name.LoadString(IDS_COL_NAME);
  size.LoadString(IDS_COL_SIZE);
  CRect tree;
  m_list.GetClientRect(&tree);
  m_list.m_tree.InsertColumn(0, name, 0, std::max(169, tree.Width() - kSizeColumnWidth - 24));
  m_list.m_tree.InsertColumn(1, size, 1, kSizeColumnWidth);
  CSystemImageList system;
  m_list.SetImageList(system.GetImageList(TRUE), TVSIL_NORMAL);
  char windows[MAX_PATH] = "";
  if (GetWindowsDirectoryA(windows, sizeof windows)) {
    m_folderImage = CSystemImageList::GetIconIndex(windows, TRUE, FALSE, TRUE);
    m_folderOpenImage = CSystemImageList::GetIconIndex(windows, TRUE, TRUE, TRUE);
  }

  m_preview.SubclassDlgItem(IDC_DR_PREVIEW, this);
  if (PictaranBound()) m_preview.SetImage(IDDAT_NO_PREVIEW);

  m_nextButton.SubclassDlgItem(IDC_DR_NEXT, this);
  m_backButton.SubclassDlgItem(IDC_DR_BACK, this);
  SkinForwardButton(m_nextButton);
  SkinBackButton(m_backButton);
  for (auto [button, id] : {std::pair<CATSkinButton*, int>{&m_checkAll, IDC_DR_CHECK_ALL}, {&m_invert, IDC_DR_INVERT},
                            {&m_expand, IDC_DR_EXPAND}, {&m_collapse, IDC_DR_COLLAPSE}}) {
    button->SubclassDlgItem(id, this);
    SkinToolButton(*button);
  }
  m_maximise.SubclassDlgItem(IDC_DR_MAXIMISE, this);
  m_maximise.SetSkin(IDB_MAXIMISE, IDB_MAXIMISE, IDB_MAXIMISE_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
  m_restore.SubclassDlgItem(IDC_DR_RESTORE, this);
  m_restore.SetSkin(IDB_RESTORE_WINDOW, IDB_RESTORE_WINDOW, IDB_RESTORE_WINDOW_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
  m_restore.ShowWindow(SW_HIDE);

  m_hint.SubclassDlgItem(IDC_DR_HINT, this);
  StyleBodyText(m_hint);
  m_previewLabel.SubclassDlgItem(IDC_DR_PREVIEW_LABEL, this);
  StyleBodyText(m_previewLabel);
  m_previewLabel.SetFontBold(TRUE);
  m_summary.SubclassDlgItem(IDC_DR_SUMMARY, this);
  StyleBodyText(m_summary);
  m_previewNote.SubclassDlgItem(IDC_DR_PREVIEW_NOTE, this);
  StyleBodyText(m_previewNote, true);

  // Where each control goes when the page changes size.
  struct {
    int id;
    bool moveX, moveY, growX, growY;
  } const anchors[] = {
      {IDC_DR_TREE, false, false, true, true},       {IDC_DR_CHECK_ALL, false, true, false, false},
      {IDC_DR_INVERT, false, true, false, false},    {IDC_DR_EXPAND, false, true, false, false},
      {IDC_DR_COLLAPSE, false, true, false, false},  {IDC_FORUM_LINK, false, true, false, false},
      {IDC_DR_BACK, true, true, false, false},       {IDC_DR_NEXT, true, true, false, false},
      {IDC_DR_PREVIEW_LABEL, true, false, false, false}, {IDC_DR_PREVIEW, true, false, false, false},
      {IDC_DR_SUMMARY, true, false, false, false},   {IDC_DR_PREVIEW_NOTE, true, false, false, false},
      {IDC_MINIMISE, true, false, false, false},     {IDC_DR_MAXIMISE, true, false, false, false},
      {IDC_DR_RESTORE, true, false, false, false},   {IDC_CLOSE, true, false, false, false},
  };
  for (const auto& a : anchors) {
    HWND control = ::GetDlgItem(m_hWnd, a.id);
    if (!control) continue;
    CRect r;
    ::GetWindowRect(control, &r);
    ScreenToClient(&r);
    m_anchors.push_back(Anchor{a.id, a.moveX, a.moveY, a.growX, a.growY, r});
  }
  m_timer = SetTimer(kPollTimer, kPollPeriodMs);
  return TRUE;
}

// ---- the list ----------------------------------------------------------------------

BOOL CPtFileChosDlg::StartBuildResultTree() {
  if (!m_hWnd || m_buildWorker) return FALSE;
  m_tree.Clear();
  m_folderIcons.clear();
  m_built = false;
  m_list.m_tree.DeleteAllItems();
  CString title;
  title.Format(LoadText(ShowsScanStopped() ? IDS_RESULT_TITLE_STOPPED_COUNT : IDS_DEEP_RESULT_TITLE),
               static_cast<unsigned>(gFoundFiles.size()));
  m_title.SetText(title);
  if (CPageHost* host = PageHost()) host->Stats().scancount = static_cast<int32_t>(gFoundFiles.size());

  ShowWindow(SW_SHOW);
  if (m_busy.Show(this)) m_busy.ShowWindow(SW_SHOW);
  m_window = m_hWnd;
  m_drawingOff = false;
  m_buildWorker = AfxBeginThread(&CPtFileChosDlg::BuildResultTreeThreadProc, this);
  if (!m_buildWorker) {
    if (m_busy.m_hWnd) m_busy.DestroyWindow();
    return FALSE;
  }
  return TRUE;
}

UINT CPtFileChosDlg::BuildResultTreeThreadProc(LPVOID param) {
  auto* page = static_cast<CPtFileChosDlg*>(param);
  // The records do not change while the page lives: the next scan, which
  // empties them, destroys this page first.
  const size_t hits = gFoundFiles.size();
  for (size_t first = 0; first < hits && !page->m_stopWorkers; first += kRowsPerBatch) {
    DeepResultBatch batch{first, std::min(kRowsPerBatch, hits - first)};
    ::SendMessageA(page->m_window, WM_FILELIST_ADD, 0, reinterpret_cast<LPARAM>(&batch));
  }
  ::SendMessageA(page->m_window, WM_FILELIST_DONE, 0, 0);
  return 0;
}

int CPtFileChosDlg::IconOfFolder(const ResultTreeNode* folder) {
  auto found = m_folderIcons.find(folder);
  if (found != m_folderIcons.end()) return found->second;
  // Every hit of a folder has the folder's type as its extension.
  std::string probe = "x." + folder->name.str();
  int icon = CSystemImageList::GetIconIndex(probe.c_str(), FALSE, FALSE, TRUE);
  m_folderIcons.emplace(folder, icon);
  return icon;
}

LRESULT CPtFileChosDlg::OnAddRows(WPARAM, LPARAM param) {
  const auto* batch = reinterpret_cast<const DeepResultBatch*>(param);
  if (!batch || m_destroying) return 0;
  if (!m_drawingOff) {
    // The tree stays dark until the last row is in.
    m_drawingOff = true;
    LONG_PTR style = ::GetWindowLongPtrA(m_list.m_tree.m_hWnd, GWL_STYLE);
    ::SetWindowLongPtrA(m_list.m_tree.m_hWnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_VISIBLE));
  }
  const UINT unchecked = INDEXTOSTATEIMAGEMASK(1);
  for (size_t i = batch->first; i < batch->first + batch->count && i < gFoundFiles.size(); ++i) {
    bool folderIsNew = false;
    ResultTreeNode* file = AddFoundFile(m_tree, gFoundFiles[i], static_cast<int32_t>(i), &folderIsNew);
    ResultTreeNode* folder = file->parent;
    if (folderIsNew)
      folder->treeItem = m_list.m_tree.InsertItem(TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE, folder->name,
                                                  m_folderImage, m_folderOpenImage, unchecked, TVIS_STATEIMAGEMASK, 0,
                                                  TVI_ROOT, TVI_LAST);
    const int icon = IconOfFolder(folder);
    HTREEITEM item = m_list.m_tree.InsertItem(TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE, file->name, icon, icon,
                                              unchecked, TVIS_STATEIMAGEMASK, RowData(i), folder->treeItem, TVI_LAST);
    if (item) m_list.m_tree.SetItemText(item, 1, FoundSizeText(gFoundFiles[i]));
    file->treeItem = item;
  }
  return 0;
}

LRESULT CPtFileChosDlg::OnBuilt(WPARAM, LPARAM) {
  if (m_destroying) return 0;
  m_built = true;
  HWND tree = m_list.m_tree.m_hWnd;
  if (m_drawingOff) {
    m_drawingOff = false;
    ::SetWindowLongPtrA(tree, GWL_STYLE, ::GetWindowLongPtrA(tree, GWL_STYLE) | WS_VISIBLE);
  }
  // A short list opens its folders; a long one shows the types first.
  if (m_tree.FileCount() <= 200) m_list.ExpandAll(TRUE);
  m_list.m_tree.RecalcHorizontalRange();
  ::InvalidateRect(tree, nullptr, TRUE);
  if (m_busy.m_hWnd) m_busy.SendMessage(WM_FILELIST_DONE);
  return 0;
}

int CPtFileChosDlg::HitOfItem(HTREEITEM item) const {
  if (!item) return -1;
  const LPARAM data = m_list.m_tree.GetItemUserData(item);
  return data > 0 ? static_cast<int>(data - 1) : -1;
}

void CPtFileChosDlg::OnCheckAll() {
  HWND tree = m_list.m_tree.m_hWnd;
  TreeViewChecks checks{tree};
  TreeDrawingOff off(tree);
  m_tree.CheckAll(checks);
}

// Every hit row turns over (1 and 3 swap); each folder then shows what its
// rows say. Done in one pass with the drawing off: a row at a time with its
// own propagation costs a repaint per row.
void CPtFileChosDlg::OnInvert() {
  HWND tree = m_list.m_tree.m_hWnd;
  TreeViewChecks checks{tree};
  TreeDrawingOff off(tree);
  for (const ResultTreeNode* folder = m_tree.Root()->firstChild; folder; folder = folder->nextSibling) {
    if (!folder->treeItem) continue;
    std::vector<int> states;
    for (const ResultTreeNode* row = folder->firstChild; row; row = row->nextSibling) {
      if (!row->treeItem) continue;
      int s = checks.Check(row->treeItem);
      if (s == 1 || s == 3) {
        s = 4 - s;
        checks.SetCheck(row->treeItem, s);
      }
      states.push_back(s);
    }
    checks.SetCheck(folder->treeItem, FolderCheckOf(states, checks.Check(folder->treeItem)));
  }
}

// ---- the preview -------------------------------------------------------------------

void CPtFileChosDlg::OnLButtonDown(UINT flags, CPoint point) {
  PreviewSelected();
  CWizardPage::OnLButtonDown(flags, point);
}

void CPtFileChosDlg::OnSelChanged(NMHDR*, LRESULT* result) {
  *result = 0;
  if (m_built) PreviewSelected();
}

void CPtFileChosDlg::PreviewSelected() {
  if (!m_built || m_destroying) return;
  const int hit = HitOfItem(m_list.m_tree.GetSelectedItem());
  if (hit < 0 || static_cast<size_t>(hit) >= gFoundFiles.size()) return;   // a folder: the preview stays
  const PreviewRequests::Action action = m_requests.Select(hit);
  if (action == PreviewRequests::kNothing) return;
  ShowSummary(hit);
  if (PictaranBound()) {
    m_preview.SetImage(IDDAT_LOADING);
    m_previewShown = kShowsLoading;
    FitPreview();
  }
  if (action == PreviewRequests::kStartRead) StartRead(hit);
}

void CPtFileChosDlg::ShowSummary(int index) {
  const FoundFileRecord& hit = gFoundFiles[static_cast<size_t>(index)];
  CString text(hit.name, static_cast<int>(strnlen(hit.name, sizeof hit.name)));
  text += "\n";
  text += FoundSizeText(hit);
  m_summary.SetText(text);
}

void CPtFileChosDlg::StartRead(int index) {
  m_nextRead = -1;
  if (m_previewWorker) {
    m_previewWorker->Join();   // it has ended: its data was handled
    m_previewWorker.reset();
  }
  if (!PictaranBound()) {
    // Nothing could be drawn: nothing is read.
    bool show = false;
    m_requests.Arrived(index, &show);
    m_previewShown = kShowsNothing;
    FitPreview();
    return;
  }
  m_readIndex = index;
  m_window = m_hWnd;
  ++m_previewReads;
  m_previewWorker = AfxBeginThread(&CPtFileChosDlg::PreviewThreadProc, this);
  if (!m_previewWorker) {
    bool show = false;
    m_requests.Arrived(index, &show);
    m_preview.SetImage(IDDAT_NO_PREVIEW);
    m_previewShown = kShowsNoPreview;
    FitPreview();
  }
}

UINT CPtFileChosDlg::PreviewThreadProc(LPVOID param) {
  auto* page = static_cast<CPtFileChosDlg*>(param);
  uint8_t* data = nullptr;
  const int size = page->m_stopWorkers ? -1 : ReadFoundFileData(static_cast<size_t>(page->m_readIndex), &data);
  if (size <= 0 && data) {
    FreeFoundFileData(data);
    data = nullptr;
  }
  // The page answers 1 when it has taken the bytes; otherwise they are freed here.
  const LRESULT taken = ::SendMessageA(page->m_window, WM_PREVIEW_DATA, reinterpret_cast<WPARAM>(data),
                                       static_cast<LPARAM>(size > 0 ? size : 0));
  if (!taken && data) FreeFoundFileData(data);
  return 0;
}

LRESULT CPtFileChosDlg::OnPreviewData(WPARAM buffer, LPARAM size) {
  if (m_destroying) return 0;
  bool show = false;
  const int next = m_requests.Arrived(m_readIndex, &show);
  // The reader is still in this send: the next read starts on the timer.
  m_nextRead = next;
  if (!show || !PictaranBound()) return 0;
  FreePreviewBuffer();
  m_previewBuffer = reinterpret_cast<uint8_t*>(buffer);
  m_previewSize = static_cast<int>(size);
  m_pictureWidth = m_pictureHeight = 0;
  if (m_previewBuffer && m_previewSize > 0 &&
      m_preview.Picture().LoadFromBuffer(m_previewBuffer, static_cast<DWORD>(m_previewSize))) {
    m_previewShown = kShowsPicture;
    // The picture keeps its shape: the control takes it, inside the preview's place.
    PictureDimensions(m_previewBuffer, static_cast<size_t>(m_previewSize), &m_pictureWidth, &m_pictureHeight);
    FitPreview();
    m_preview.Invalidate();
  } else {
    m_preview.SetImage(IDDAT_NO_PREVIEW);
    m_previewShown = kShowsNoPreview;
    FitPreview();
  }
  return m_previewBuffer ? 1 : 0;
}

void CPtFileChosDlg::FreePreviewBuffer() {
  if (m_previewBuffer) FreeFoundFileData(m_previewBuffer);
  m_previewBuffer = nullptr;
  m_previewSize = 0;
}

void CPtFileChosDlg::OnTimer(UINT_PTR id) {
  if (id != kPollTimer) {
    CWizardPage::OnTimer(id);
    return;
  }
  if (!m_built || m_destroying || !IsWindowVisible()) return;
  if (m_nextRead >= 0 && !(m_previewWorker && m_previewWorker->IsRunning())) StartRead(m_nextRead);
  // The preview follows the selection also when it moves by keyboard.
  PreviewSelected();
}

// ---- leaving -----------------------------------------------------------------------

void CPtFileChosDlg::OnBack() {
  if (CPageHost* host = PageHost()) host->ShowMainWindow();
  EndDialog(IDCANCEL);
}

void CPtFileChosDlg::OnNext() {
  if (!m_built) return;
  TreeViewChecks checks{m_list.m_tree.m_hWnd};
  m_selection = ApplyResultChecks(m_tree, gFoundFiles, [&](const ResultTreeNode& file) {
    return file.treeItem ? checks.Check(file.treeItem) : 0;
  });
  gRawSelectedSectors = m_selection.sectors;
  if (m_selection.checked == 0) {
    CString text;
    text.LoadString(IDS_SELECT_FILES_TO_RECOVER);
    MessageBox(text, m_caption, MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (m_destination && m_destination->m_hWnd) m_destination->DestroyWindow();
  m_destination.reset();
  auto page = std::make_unique<CChoiceRecoveryPathDlgARW>(this, RawRecoveryThreadProc);
  if (!page->Create(IDD_DEEP_DESTINATION, this)) return;
  m_destination = std::move(page);
  PlacePage(m_destination.get());
  m_destination->ShowWindow(SW_SHOW);
  ShowWindow(SW_HIDE);
}

uint32_t CPtFileChosDlg::FoundFileCount() const { return static_cast<uint32_t>(gFoundFiles.size()); }

void CPtFileChosDlg::OnBrowse() {
  CString title;
  title.LoadString(IDS_CHOOSE_RECOVERY_PATH);
  CString folder;
  if (!PickFolder(m_hWnd, title, BIF_RETURNONLYFSDIRS | BIF_EDITBOX, &folder)) return;
  folder += folder.GetLength() && folder[folder.GetLength() - 1] == '\\' ? "ZUL\\" : "\\ZUL\\";
  SetDlgItemText(IDC_DR_BROWSE_EDIT, folder);
}

void CPtFileChosDlg::OnDestroy() {
  m_destroying = true;
  m_stopWorkers = true;
  // Both workers send to this window; Join handles their sends meanwhile.
  if (m_buildWorker) m_buildWorker->Join();
  if (m_previewWorker) m_previewWorker->Join();
  m_buildWorker.reset();
  m_previewWorker.reset();
  if (m_destination && m_destination->m_hWnd) m_destination->DestroyWindow();
  m_destination.reset();
  if (m_busy.m_hWnd) m_busy.DestroyWindow();
  if (m_timer) KillTimer(m_timer);
  m_timer = 0;
  FreePreviewBuffer();
  CWizardPage::OnDestroy();
}

// ---- size and look -----------------------------------------------------------------

void CPtFileChosDlg::SetMaximised(bool maximised) {
  m_maximised = maximised ? 1 : 0;
  ShowWindow(maximised ? SW_MAXIMIZE : SW_RESTORE);
  m_maximise.ShowWindow(maximised ? SW_HIDE : SW_SHOW);
  m_restore.ShowWindow(maximised ? SW_SHOW : SW_HIDE);
}

void CPtFileChosDlg::OnMaximise() { SetMaximised(true); }

void CPtFileChosDlg::OnRestore() { SetMaximised(false); }

void CPtFileChosDlg::OnNcLButtonDblClk(UINT, CPoint) { SetMaximised(!m_maximised); }

LRESULT CPtFileChosDlg::OnNcHitTest(CPoint point) {
  const LRESULT hit = CDialog::OnNcHitTest(point);
  if (hit != HTCLIENT) return hit;
  CRect window;
  GetWindowRect(&window);
  return ResizeHitTest(window, point, m_maximised != 0);
}

void CPtFileChosDlg::OnGetMinMaxInfo(MINMAXINFO* info) {
  info->ptMinTrackSize.x = kMinTrackWidth;
  info->ptMinTrackSize.y = kMinTrackHeight;
  FitMaximisedToWorkArea(info);
}

void CPtFileChosDlg::OnSize(UINT type, int cx, int cy) {
  CWizardPage::OnSize(type, cx, cy);
  if (type != SIZE_MINIMIZED && !m_anchors.empty()) LayOut(cx, cy);
}

void CPtFileChosDlg::LayOut(int cx, int cy) {
  const int dx = cx - m_templateClient.cx, dy = cy - m_templateClient.cy;
  HDWP defer = BeginDeferWindowPos(static_cast<int>(m_anchors.size()));
  for (const Anchor& a : m_anchors) {
    HWND control = ::GetDlgItem(m_hWnd, a.id);
    if (!control) continue;
    CRect r = a.rect;
    if (a.moveX) r.OffsetRect(dx, 0);
    if (a.moveY) r.OffsetRect(0, dy);
    if (a.growX) r.right += dx;
    if (a.growY) r.bottom += dy;
    if (defer) defer = DeferWindowPos(defer, control, nullptr, r.left, r.top, r.Width(), r.Height(),
                                      SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (defer) EndDeferWindowPos(defer);
  FitPreview();
  if (m_list.m_hWnd) {
    CRect tree;
    m_list.GetClientRect(&tree);
    m_list.m_tree.SetColumnWidth(0, std::max(169, tree.Width() - kSizeColumnWidth - 24));
  }
  Invalidate();
}

void CPtFileChosDlg::FitPreview() {
  HWND preview = m_preview.m_hWnd;
  if (!preview) return;
  CRect client;
  GetClientRect(&client);
  const int dx = client.Width() - m_templateClient.cx, dy = client.Height() - m_templateClient.cy;
  for (const Anchor& a : m_anchors) {
    if (a.id != IDC_DR_PREVIEW) continue;
    CRect area = a.rect;
    if (a.moveX) area.OffsetRect(dx, 0);
    if (a.moveY) area.OffsetRect(0, dy);
    if (a.growX) area.right += dx;
    if (a.growY) area.bottom += dy;
    // A picture of a known shape gets that shape; the placeholders the whole place.
    const bool picture = m_previewShown == kShowsPicture && m_pictureWidth && m_pictureHeight;
    const CRect r = picture ? CRect(FitKeepingShape(area, m_pictureWidth, m_pictureHeight)) : area;
    CRect now;
    ::GetWindowRect(preview, &now);
    ScreenToClient(&now);
    if (now != r) {
      ::SetWindowPos(preview, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
      Invalidate();
    }
    return;
  }
}

// The page can grow: its band keeps its height, the body takes the rest.
BOOL CPtFileChosDlg::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  PaintGrowingPageBackground(dc, client, kBandHeight + 1);   // the band and its dark line
  // The preview's panel.
  HWND preview = ::GetDlgItem(m_hWnd, IDC_DR_PREVIEW);
  if (preview) {
    CRect r;
    ::GetWindowRect(preview, &r);
    ScreenToClient(&r);
    r.InflateRect(1, 1);
    PaintPanel(dc, r);
  }
  return TRUE;
}
