#include "choice_files_dlg.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "deleted_copyout_pages.h"
#include "messages.h"
#include "recovery_totals.h"
#include "resource.h"
#include "page_host.h"
#include "result_match.h"
#include "scan_page.h"
#include "state.h"
#include "treeviewchecks.h"
#include "unformat/unformat.h"   // DetectVolumeFileSystem
#include "version_checks.h"

namespace {

// Sizes of the page in pixels (the template is laid out for them).
const int kMinWidth = 600;
const int kMinHeight = 450;
const int kBand = 64;
const int kListTop = 106;
const int kListLeft = 32;

const UINT kDateItems[] = {IDS_FILTER_DATE_ANY, IDS_FILTER_DATE_TODAY, IDS_FILTER_DATE_WEEK, IDS_FILTER_DATE_MONTH,
                           IDS_FILTER_DATE_YEAR};
const UINT kKindItems[] = {IDS_FILTER_KIND_ANY, IDS_FILTER_KIND_DOCUMENTS, IDS_FILTER_KIND_PICTURES,
                           IDS_FILTER_KIND_MEDIA, IDS_FILTER_KIND_WEB};
const UINT kSizeItems[] = {IDS_FILTER_SIZE_ANY, IDS_FILTER_SIZE_SMALL, IDS_FILTER_SIZE_MEDIUM, IDS_FILTER_SIZE_LARGE,
                           IDS_FILTER_SIZE_HUGE};

void FillCombo(CComboBox& combo, const UINT* items, int count) {
  combo.ResetContent();
  for (int i = 0; i < count; ++i) combo.SetItemData(combo.AddString(LoadText(items[i])), static_cast<DWORD_PTR>(i));
  combo.SetCurSel(0);
}

}  // namespace

// Hands the worker's results to the page: rows in batches by sent
// WM_FILELIST_ADD (the page makes them on its own thread), the end by a
// posted WM_FILELIST_DONE.
class CChoiceFilesDlg::FillSink : public ResultFillSink {
 public:
  explicit FillSink(CChoiceFilesDlg* page) : page_(page), window_(page->m_hWnd) { batch_.reserve(kBatch); }
  void Insert(ResultTreeNode* node, ResultTreeNode* parent, ResultTreeNode* previous, int32_t record) override {
    if (page_->m_job.abort.load()) return;
    batch_.push_back({node, parent, previous, record});
    if (batch_.size() >= kBatch) Flush();
  }
  void OutOfMemory() override {
    Flush();
    CString text, caption;
    text.LoadString(IDS_OUT_OF_MEMORY);
    caption.LoadString(IDS_APP_TITLE);
    ::MessageBoxA(window_, text, caption, MB_OK | MB_ICONWARNING);
  }
  void FillDone() override {
    Flush();
    ::PostMessageA(window_, WM_FILELIST_DONE, 0, 0);
  }
  void NothingListed() override { ::SendMessageA(window_, WM_FILELIST_EMPTY, 0, 0); }
  void NamesResolved(uint32_t done, uint32_t total) override { page_->ReportProgress(true, done, total, 0); }
  void RowsListed(uint32_t rows, uint32_t done, uint32_t total) override {
    page_->ReportProgress(false, done, total, rows);
  }
  void ResultsListed() override { ::SendMessageA(window_, WM_FILELIST_HAS_RESULTS, 0, 0); }

 private:
  // A message between threads costs far more than a row (several round trips
  // to the Wine server): rows go over a few thousand at a time.
  static constexpr size_t kBatch = 4096;
  void Flush() {
    if (!batch_.empty() && !page_->m_job.abort.load())
      ::SendMessageA(window_, WM_FILELIST_ADD, batch_.size(), reinterpret_cast<LPARAM>(batch_.data()));
    batch_.clear();
  }
  CChoiceFilesDlg* page_;
  HWND window_;
  std::vector<ResultRowRequest> batch_;
};

UINT FillResultTreeThreadProc(LPVOID param) {
  auto* job = static_cast<ResultFillJob*>(param);
  return job ? static_cast<UINT>(RunResultFill(*job)) : 0;
}

BEGIN_MESSAGE_MAP(CChoiceFilesDlg, CWizardPage)
  ON_BN_CLICKED(IDC_RES_NEXT, &CChoiceFilesDlg::OnNext)
  ON_BN_CLICKED(IDC_RES_BACK, &CChoiceFilesDlg::OnBack)
  ON_BN_CLICKED(IDC_CLOSE, &CChoiceFilesDlg::OnBack)
  ON_BN_CLICKED(IDC_RES_CHECK_ALL, &CChoiceFilesDlg::OnCheckAll)
  ON_BN_CLICKED(IDC_RES_INVERT, &CChoiceFilesDlg::OnInvert)
  ON_BN_CLICKED(IDC_RES_EXPAND, &CChoiceFilesDlg::OnExpand)
  ON_BN_CLICKED(IDC_RES_COLLAPSE, &CChoiceFilesDlg::OnCollapse)
  ON_BN_CLICKED(IDC_RES_FILTER, &CChoiceFilesDlg::OnFilter)
  ON_BN_CLICKED(IDC_RES_SHOW_ALL, &CChoiceFilesDlg::OnShowAll)
  ON_BN_CLICKED(IDC_RES_MAXIMISE, &CChoiceFilesDlg::OnMaximise)
  ON_BN_CLICKED(IDC_RES_RESTORE, &CChoiceFilesDlg::OnRestore)
  ON_BN_CLICKED(IDC_RES_BROWSE, &CChoiceFilesDlg::OnBrowse)
  ON_MESSAGE(WM_FILELIST_ADD, &CChoiceFilesDlg::OnFileListAdd)
  ON_MESSAGE(WM_FILELIST_DONE, &CChoiceFilesDlg::OnFileListDone)
  ON_MESSAGE(WM_FILELIST_EMPTY, &CChoiceFilesDlg::OnFileListEmpty)
  ON_MESSAGE(WM_MOVE, &CChoiceFilesDlg::OnMoved)
  ON_MESSAGE(WM_FILELIST_HAS_RESULTS, &CChoiceFilesDlg::OnFileListHasResults)
  ON_MESSAGE(WM_FILELIST_COUNT, &CChoiceFilesDlg::OnFileListCount)
  ON_MESSAGE(WM_FILELIST_STOP, &CChoiceFilesDlg::OnFileListStop)
  ON_WM_CLOSE()
  ON_WM_ACTIVATE()
  ON_WM_SIZING()
  ON_WM_SIZE()
  ON_WM_GETMINMAXINFO()
  ON_WM_NCHITTEST()
  ON_WM_NCLBUTTONDBLCLK()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CChoiceFilesDlg::CChoiceFilesDlg(CScanDelFilesDlg* scanPage)
    : CWizardPage(IDD_DELETED_RESULT, scanPage), m_scanPage(scanPage), m_busy(this) {}

CChoiceFilesDlg::~CChoiceFilesDlg() { StopFill(); }

uint64_t CChoiceFilesDlg::ChosenSectors() const { return SelectedDeletedSectors(); }

void CChoiceFilesDlg::DoDataExchange(CDataExchange* dx) {
  CWizardPage::DoDataExchange(dx);
  DDX_Text(dx, IDC_RES_PATTERN, m_pattern);
  DDV_MaxChars(dx, m_pattern, 255);
}

void CChoiceFilesDlg::SetUpList(CTreeListCtrl& list) {
  list.SetImageList(m_systemImages.GetImageList(TRUE), TVSIL_NORMAL);
  const UINT headings[5] = {IDS_COL_NAME, IDS_COL_SIZE, IDS_COL_CREATED, IDS_COL_MODIFIED, IDS_COL_ACCESSED};
  const int widths[5] = {180, 80, 130, 130, 130};
  for (int i = 0; i < 5; ++i) {
    CString text;
    text.LoadString(headings[i]);
    list.m_tree.InsertColumn(i, text, 0, widths[i]);
  }
  list.m_tree.DeleteAllItems();
}

BOOL CChoiceFilesDlg::OnInitDialog() {
  CWizardPage::OnInitDialog();
  if (m_scanPage && m_scanPage->StoppedByUser()) ShowScanStopped(0);
  // A FAT volume keeps only the day of a file's last access. (The recycle
  // bins' records carry whole times, whatever the volume.)
  if (m_scanPage && !m_scanPage->IsRecycleBinScan() && m_scanPage->ScanTarget().GetLength() >= 2) {
    const char letter = static_cast<char>(m_scanPage->ScanTarget()[0] & ~0x20);
    if (letter >= 'C' && letter <= 'Z') {
      const int kind = DetectVolumeFileSystem(letter - 'C', nullptr);
      m_fatAccessDates = kind == kUnformatFat32 || kind == kUnformatFat16;
    }
  }
  m_sink = std::make_unique<FillSink>(this);
  m_listFull.SubclassDlgItem(IDC_RES_LIST_FULL, this);
  m_listFiltered.SubclassDlgItem(IDC_RES_LIST_FILTERED, this);
  SetUpList(m_listFull);
  SetUpList(m_listFiltered);
  m_list = &m_listFull;

  char windows[MAX_PATH] = "";
  if (GetWindowsDirectoryA(windows, MAX_PATH)) {
    m_folderImage = CSystemImageList::GetIconIndex(windows, TRUE, FALSE, TRUE);
    m_openFolderImage = CSystemImageList::GetIconIndex(windows, TRUE, TRUE, TRUE);
  } else {
    CString text;
    text.LoadString(IDS_NO_FOLDER_ICON);
    MessageBox(text, m_caption);
  }

  m_next.SubclassDlgItem(IDC_RES_NEXT, this);
  m_back.SubclassDlgItem(IDC_RES_BACK, this);
  SkinForwardButton(m_next);
  SkinBackButton(m_back);
  m_filter.SubclassDlgItem(IDC_RES_FILTER, this);
  m_showAll.SubclassDlgItem(IDC_RES_SHOW_ALL, this);
  m_checkAll.SubclassDlgItem(IDC_RES_CHECK_ALL, this);
  m_invert.SubclassDlgItem(IDC_RES_INVERT, this);
  m_expand.SubclassDlgItem(IDC_RES_EXPAND, this);
  m_collapse.SubclassDlgItem(IDC_RES_COLLAPSE, this);
  for (CATSkinButton* b : {&m_filter, &m_showAll, &m_checkAll, &m_invert, &m_expand, &m_collapse}) SkinToolButton(*b);
  m_filter.SetToolTipText(LoadText(IDS_TIP_FILTER));
  m_showAll.SetToolTipText(LoadText(IDS_TIP_SHOW_ALL));
  m_maximise.SubclassDlgItem(IDC_RES_MAXIMISE, this);
  m_maximise.SetSkin(IDB_MAXIMISE, IDB_MAXIMISE, IDB_MAXIMISE_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
  m_restore.SubclassDlgItem(IDC_RES_RESTORE, this);
  m_restore.SetSkin(IDB_RESTORE_WINDOW, IDB_RESTORE_WINDOW, IDB_RESTORE_WINDOW_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
  m_restore.ShowWindow(SW_HIDE);

  struct {
    CLabel* label;
    int id;
  } labels[] = {{&m_dateLabel, IDC_RES_DATE_LABEL},
                {&m_kindLabel, IDC_RES_KIND_LABEL},
                {&m_sizeLabel, IDC_RES_SIZE_LABEL},
                {&m_patternLabel, IDC_RES_PATTERN_LABEL}};
  for (auto& l : labels) {
    l.label->SubclassDlgItem(l.id, this);
    StyleBodyText(*l.label);
  }

  m_date.SubclassDlgItem(IDC_RES_DATE, this);
  m_kind.SubclassDlgItem(IDC_RES_KIND, this);
  m_size.SubclassDlgItem(IDC_RES_SIZE, this);
  FillCombo(m_date, kDateItems, 5);
  FillCombo(m_kind, kKindItems, 5);
  FillCombo(m_size, kSizeItems, 5);
  m_size.SetDroppedWidth(130);
  SendDlgItemMessage(IDC_RES_PATTERN, EM_LIMITTEXT, 255);
  GetDlgItem(IDC_RES_SHOW_ALL)->EnableWindow(FALSE);

  CRect client;
  GetClientRect(&client);
  Layout(client.Width(), client.Height());

  // The first fill of every result page is the unfiltered one.
  m_fullTree.Clear();
  StartFill();
  return TRUE;
}

void CChoiceFilesDlg::PaintBody(CDC* dc, const CRect& client) {
  // A light frame round the list.
  CRect list(kListLeft, kListTop, client.Width() - kListLeft, client.Height() - 92);
  PaintPanel(dc, list);
}

void CChoiceFilesDlg::StartFill() {
  StopFill();
  m_list->m_tree.DeleteAllItems();
  m_rowsDone = false;
  m_job.abort = false;
  m_job.stop = false;
  m_job.sink = m_sink.get();
  m_job.tree = m_shownTree;
  m_job.filtered = m_shownTree == &m_filteredTree;
  m_job.conditions = &m_conditions;
  m_job.recycleBin = m_scanPage && m_scanPage->IsRecycleBinScan();
  m_job.vistaOrLater = IsVistaOrLater() != 0;
  m_hint.Destroy();
  m_hintShown = false;
  // The busy box covers the list while it fills: the tree does not draw
  // meanwhile (a visible tree view redraws for every row it gains).
  m_fillingTree = m_list->m_tree.m_hWnd;
  m_fillingStyle = ::GetWindowLongPtrA(m_fillingTree, GWL_STYLE);
  if (m_fillingStyle & WS_VISIBLE)
    ::SetWindowLongPtrA(m_fillingTree, GWL_STYLE, m_fillingStyle & ~static_cast<LONG_PTR>(WS_VISIBLE));
  if (m_busy.Show(this)) m_busy.ShowWindow(SW_SHOW);
  m_worker = AfxBeginThread(FillResultTreeThreadProc, &m_job);
  if (!m_worker) {
    ShowFilledTree();
    if (m_busy.m_hWnd) m_busy.DestroyWindow();
  }
}

void CChoiceFilesDlg::ShowFilledTree() {
  if (!m_fillingTree) return;
  if ((m_fillingStyle & WS_VISIBLE) && ::IsWindow(m_fillingTree)) {
    ::SetWindowLongPtrA(m_fillingTree, GWL_STYLE, ::GetWindowLongPtrA(m_fillingTree, GWL_STYLE) | WS_VISIBLE);
    ::InvalidateRect(m_fillingTree, nullptr, TRUE);
  }
  m_fillingTree = nullptr;
}

void CChoiceFilesDlg::StopFill() {
  if (!m_worker) return;
  m_job.abort = true;
  m_job.stop = true;
  m_worker->Join();   // rows it sends meanwhile are handled (and dropped)
  m_worker.reset();
}

LRESULT CChoiceFilesDlg::OnFileListAdd(WPARAM count, LPARAM rows) {
  const auto* requests = reinterpret_cast<const ResultRowRequest*>(rows);
  if (m_leaving || m_job.abort.load() || !requests || !m_list) return 0;
  for (WPARAM i = 0; i < count; ++i) InsertRow(requests[i]);
  return 0;
}

void CChoiceFilesDlg::InsertRow(const ResultRowRequest& row) {
  ResultTreeNode* node = row.node;
  CColumnTreeCtrl& tree = m_list->m_tree;
  const HTREEITEM parent = ParentRow(row.parent), after = RowBefore(row.previous);
  const UINT mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
  const UINT unchecked = INDEXTOSTATEIMAGEMASK(1);
  if (row.recordIndex < 0) {
    node->treeItem = tree.InsertItem(mask, node->name, m_folderImage, m_openFolderImage, unchecked,
                                     TVIS_STATEIMAGEMASK, 0, parent, after);
    return;
  }
  DeletedFileRecord record;
  {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    if (static_cast<size_t>(row.recordIndex) >= gDeletedFiles.size()) return;
    record = gDeletedFiles[static_cast<size_t>(row.recordIndex)];
  }
  // One icon lookup per extension: the shell is slow to ask row by row.
  const char* dot = std::strrchr(node->name.GetString(), '.');
  std::string ext = dot ? dot : "";
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  auto found = m_icons.find(ext);
  const int icon = found != m_icons.end() ? found->second
                                          : (m_icons[ext] = CSystemImageList::GetIconIndex(node->name, FALSE, FALSE, TRUE));
  // The five columns in one string, as the tree-list keeps them.
  std::string columns;
  columns.reserve(static_cast<size_t>(node->name.GetLength()) + 80);
  columns.append(node->name.GetString(), static_cast<size_t>(node->name.GetLength()));
  columns.push_back('\0');
  if (record.damaged) columns.append(RecordSizeText(record).GetString());
  else AppendRecordSizeText(record, &columns);
  for (const SYSTEMTIME* t : {&record.created, &record.modified}) {
    columns.push_back('\0');
    AppendRecordTimeText(*t, &columns);
  }
  // FAT keeps the day of the last access, no time: the day alone is shown.
  columns.push_back('\0');
  if (m_fatAccessDates) AppendRecordDateText(record.accessed, &columns);
  else AppendRecordTimeText(record.accessed, &columns);
  node->treeItem = tree.InsertItemColumns(mask, std::move(columns), icon, icon, unchecked, TVIS_STATEIMAGEMASK, 0,
                                          parent, after);
}

void CChoiceFilesDlg::ReportProgress(bool names, uint32_t done, uint32_t total, uint32_t rows) {
  m_countNames = names;
  m_countDone = done;
  m_countTotal = total;
  m_countRows = rows;
  if (!m_countPosted.exchange(true)) ::PostMessageA(m_hWnd, WM_FILELIST_COUNT, 0, 0);
}

LRESULT CChoiceFilesDlg::OnFileListCount(WPARAM, LPARAM) {
  m_countPosted = false;
  if (!m_busy.m_hWnd) return 0;
  CString text;
  if (m_countNames.load())
    text.Format(LoadText(IDS_FILL_NAMES), m_countDone.load(), m_countTotal.load());
  else
    text.Format(LoadText(IDS_FILL_LISTED), m_countRows.load(), m_countTotal.load(), m_countDone.load());
  m_busy.SetCountText(text);
  return 0;
}

// The user's stop: the worker ends where it is and the rows it made stay.
LRESULT CChoiceFilesDlg::OnFileListStop(WPARAM, LPARAM) {
  if (m_worker && !m_rowsDone) m_job.stop = true;
  return 0;
}

LRESULT CChoiceFilesDlg::OnFileListDone(WPARAM, LPARAM) {
  m_rowsDone = true;
  ShowFilledTree();
  if (!m_job.filtered) {
    m_listedFileCount = m_job.listedFileCount;
    m_fullStopped = m_job.stopped;
  } else {
    m_filteredFileCount = m_job.filteredFileCount;
    m_filteredStopped = m_job.stopped;
  }
  if (m_busy.m_hWnd) m_busy.SendMessage(WM_FILELIST_DONE);
  UpdateSummary();
  return 0;
}

void CChoiceFilesDlg::UpdateSummary() {
  CString title;
  const bool filtered = m_list == &m_listFiltered;
  if (filtered ? m_filteredStopped : m_fullStopped)
    title.Format(LoadText(IDS_RESULT_FILL_STOPPED), filtered ? m_filteredFileCount : m_listedFileCount);
  else if (m_listedFileCount)
    title.Format(LoadText(ShowsScanStopped() ? IDS_RESULT_TITLE_STOPPED_COUNT : IDS_RESULT_TITLE_COUNT),
                 m_listedFileCount);
  else
    title = LoadText(IDS_RESULT_TITLE);
  if (m_title.m_hWnd) m_title.SetText(title);
}

LRESULT CChoiceFilesDlg::OnFileListEmpty(WPARAM, LPARAM) {
  if (m_leaving) return 0;
  ShowWindow(SW_HIDE);
  if (m_scanPage) m_scanPage->ShowNothingFound();
  return 0;
}

CPoint CChoiceFilesDlg::HintPosition() const {
  // In the free room right of the tool buttons, below the list and above
  // Back and Next: it covers neither.
  CRect client;
  GetClientRect(&client);
  CPoint at(kListLeft + 230, client.Height() - 82);
  // A bubble too wide for the room up to the page's edge (the longer line
  // of a stopped scan on the smallest page) starts further left, but not
  // over the tool buttons.
  if (HWND tip = m_hint.GetSafeHwnd()) {
    CRect bubble;
    ::GetWindowRect(tip, &bubble);
    const LONG over = at.x + bubble.Width() - (client.Width() - 4);
    if (over > 0) at.x = std::max<LONG>(kListLeft + 214, at.x - over);
  }
  ClientToScreen(&at);
  return at;
}

void CChoiceFilesDlg::PlaceHint() {
  if (!m_hintShown || !m_list || !m_hint.GetSafeHwnd()) return;
  const CPoint at = HintPosition();
  m_hint.SetPosition(at.x, at.y);
}

LRESULT CChoiceFilesDlg::OnMoved(WPARAM, LPARAM) {
  // The bubble stands at a point of the screen: it goes where the page goes.
  PlaceHint();
  return Default();
}

LRESULT CChoiceFilesDlg::OnFileListHasResults(WPARAM, LPARAM) {
  if (m_leaving || !IsWindowVisible() || !m_list) return 0;
  const bool stopped = m_scanPage && m_scanPage->StoppedByUser();
  m_hintText = LoadText(stopped ? IDS_SCAN_STOPPED_LINE : IDS_RESULT_HINT);
  const CPoint at = HintPosition();
  m_hint.Show(m_hWnd, m_hintText, nullptr, at.x, at.y, 600, 0);
  // Drawn in the page's own font; shown again so that the bubble takes its size in it.
  if (HWND tip = m_hint.GetSafeHwnd()) {
    ::SendMessageA(tip, WM_SETFONT, ::SendMessageA(m_hWnd, WM_GETFONT, 0, 0), TRUE);
    m_hint.Show(m_hWnd, m_hintText, nullptr, at.x, at.y, 600, 0);
  }
  m_hint.SetAutoHide(6000);
  m_hintShown = true;
  PlaceHint();   // now that its width is known
  return 0;
}

void CChoiceFilesDlg::OnActivate(UINT state, CWnd* other, BOOL minimised) {
  CWizardPage::OnActivate(state, other, minimised);
  if (state == WA_INACTIVE) {
    m_hint.Destroy();
    m_hintShown = false;
    return;
  }
  if (minimised) m_hint.Activate(SW_HIDE);
  if (m_busy.m_hWnd) m_busy.SetActiveWindow();
}

void CChoiceFilesDlg::ShowList(CTreeListCtrl* list) {
  CTreeListCtrl* other = list == &m_listFull ? &m_listFiltered : &m_listFull;
  other->ShowWindow(SW_HIDE);
  list->ShowWindow(SW_SHOW);
  m_list = list;
  m_shownTree = list == &m_listFull ? &m_fullTree : &m_filteredTree;
}

// ---- the buttons -------------------------------------------------------------------

void CChoiceFilesDlg::OnOK() { OnFilter(); }

void CChoiceFilesDlg::OnFilter() {
  if (Filling()) return;
  UpdateData(TRUE);
  const int date = m_date.GetCurSel(), kind = m_kind.GetCurSel(), size = m_size.GetCurSel();
  CString pattern = m_pattern;
  pattern.Trim();
  if (date == m_lastDate && kind == m_lastKind && size == m_lastSize && pattern == m_lastPattern) return;
  ResultFilterChoice choice;
  choice.date = date;
  choice.kind = kind;
  choice.size = size;
  choice.pattern = pattern;
  SYSTEMTIME today;
  GetLocalTime(&today);
  if (!SetFilterConditions(choice, today, &m_conditions)) return;   // every choice at "不限"
  m_lastDate = date;
  m_lastKind = kind;
  m_lastSize = size;
  std::strncpy(m_lastPattern, pattern, sizeof m_lastPattern - 1);

  ShowList(&m_listFiltered);
  m_filteredTree.Clear();
  StartFill();
  GetDlgItem(IDC_RES_SHOW_ALL)->EnableWindow(TRUE);
}

void CChoiceFilesDlg::OnShowAll() {
  if (Filling()) return;
  ShowList(&m_listFull);
  UpdateSummary();
  m_date.SetCurSel(0);
  m_kind.SetCurSel(0);
  m_size.SetCurSel(0);
  m_pattern.Empty();
  SetDlgItemText(IDC_RES_PATTERN, "");
  GetDlgItem(IDC_RES_SHOW_ALL)->EnableWindow(FALSE);
  m_lastDate = m_lastKind = m_lastSize = 0;
  m_lastPattern[0] = 0;
}

void CChoiceFilesDlg::OnCheckAll() {
  if (!m_list || Filling()) return;
  TreeDrawingOff hold(m_list->m_tree.m_hWnd);
  TreeViewChecks checks{m_list->m_tree.m_hWnd};
  m_shownTree->CheckAll(checks);
}

void CChoiceFilesDlg::OnInvert() {
  if (!m_list || Filling()) return;
  TreeDrawingOff hold(m_list->m_tree.m_hWnd);
  TreeViewChecks checks{m_list->m_tree.m_hWnd};
  m_shownTree->InvertChecks(checks);
}

void CChoiceFilesDlg::OnExpand() {
  if (!m_list) return;
  m_list->ExpandAll(TRUE);
  // The list stays at its top: the user reads it from there.
  if (HTREEITEM first = TreeView_GetRoot(m_list->m_tree.m_hWnd)) TreeView_EnsureVisible(m_list->m_tree.m_hWnd, first);
}

void CChoiceFilesDlg::OnCollapse() {
  if (m_list) m_list->ExpandAll(FALSE);
}

void CChoiceFilesDlg::OnNext() {
  if (Filling()) return;
  if (CPageHost* host = PageHost()) host->Stats().scancount = static_cast<int32_t>(m_listedFileCount);
  UpdateData(TRUE);
  CString text;
  if (m_shownTree->Empty()) {
    text.LoadString(IDS_SELECT_FILES);
    MessageBox(text, m_caption);
    return;
  }
  TreeViewChecks checks{m_list->m_tree.m_hWnd};
  m_checkedCount = CollectCheckedRecords(*m_shownTree, checks);
  if (m_checkedCount == 0) {
    text.LoadString(IDS_SELECT_FILES);
    MessageBox(text, m_caption);
    return;
  }
  m_hint.Destroy();
  m_hintShown = false;
  if (!ShowHeldPage(new CChoiceRecoveryPathDlg(this), kDestinationPageSlot, IDD_DELETED_DESTINATION, this)) return;
  ShowWindow(SW_HIDE);
}

CChoiceRecoveryPathDlg* CChoiceFilesDlg::DestinationPage() const {
  CPageHost* host = PageHost();
  return host ? dynamic_cast<CChoiceRecoveryPathDlg*>(host->Page(kDestinationPageSlot)) : nullptr;
}

void CChoiceFilesDlg::LeaveBack() {
  StopFill();
  if (CPageHost* host = PageHost()) {
    // What the scan found goes with the road's statistics, whichever way it ends.
    if (m_listedFileCount) host->Stats().scancount = static_cast<int32_t>(m_listedFileCount);
    host->ShowMainWindow();
  }
  m_leaving = true;
  // The user is done with these results: the list and the records go.
  DestroyWindow();
  ClearDeletedFiles();
}

void CChoiceFilesDlg::OnBack() { LeaveBack(); }
void CChoiceFilesDlg::OnClose() { LeaveBack(); }

void CChoiceFilesDlg::OnBrowse() {
  CString path;
  if (!PickFolder(m_hWnd, nullptr, BIF_EDITBOX, &path)) return;
  path += path.GetLength() == 3 ? "ORVFIX" : "\\ORVFIX";
  const CString target = m_scanPage ? m_scanPage->ScanTarget() : CString();
  if (target.GetLength() > 3) {
    CString below = target.Mid(2);
    below.TrimRight('\\');
    path += below;
  }
  if (path.GetLength() >= MAX_PATH) {
    CString text;
    text.LoadString(IDS_DEST_TOO_LONG);
    MessageBox(text, m_caption);
    return;
  }
  SetDlgItemText(IDC_RES_DEST, path);
}

// ---- size and shape ------------------------------------------------------------------

void CChoiceFilesDlg::OnMaximise() {
  m_maximised = TRUE;
  ShowWindow(SW_MAXIMIZE);
  m_maximise.ShowWindow(SW_HIDE);
  m_restore.ShowWindow(SW_SHOW);
}

void CChoiceFilesDlg::OnRestore() {
  m_maximised = FALSE;
  ShowWindow(SW_RESTORE);
  m_restore.ShowWindow(SW_HIDE);
  m_maximise.ShowWindow(SW_SHOW);
}

void CChoiceFilesDlg::OnNcLButtonDblClk(UINT, CPoint) {
  if (m_maximised) OnRestore();
  else OnMaximise();
}

void CChoiceFilesDlg::Layout(int cx, int cy) {
  auto place = [&](int id, int x, int y, int w, int h) {
    if (HWND c = ::GetDlgItem(m_hWnd, id)) ::SetWindowPos(c, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  auto move = [&](int id, int x, int y) {
    if (HWND c = ::GetDlgItem(m_hWnd, id)) ::SetWindowPos(c, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
  };
  // Caption buttons at the right edge of the band.
  place(IDC_CLOSE, cx - 30, 0, 30, 24);
  place(IDC_RES_MAXIMISE, cx - 60, 0, 30, 24);
  place(IDC_RES_RESTORE, cx - 60, 0, 30, 24);
  place(IDC_MINIMISE, cx - 90, 0, 30, 24);
  // Both lists fill the body.
  const int listHeight = cy - kListTop - 92;
  place(IDC_RES_LIST_FULL, kListLeft + 1, kListTop + 1, cx - 2 * kListLeft - 2, listHeight - 2);
  place(IDC_RES_LIST_FILTERED, kListLeft + 1, kListTop + 1, cx - 2 * kListLeft - 2, listHeight - 2);
  const int tools = cy - 80;
  place(IDC_RES_CHECK_ALL, kListLeft, tools, 48, 22);
  place(IDC_RES_INVERT, kListLeft + 54, tools, 48, 22);
  place(IDC_RES_EXPAND, kListLeft + 108, tools, 48, 22);
  place(IDC_RES_COLLAPSE, kListLeft + 162, tools, 48, 22);
  move(IDC_FORUM_LINK, kListLeft, cy - 34);
  place(IDC_RES_BACK, cx - 2 * kListLeft - 186 + kListLeft, cy - 46, 90, 30);
  place(IDC_RES_NEXT, cx - kListLeft - 90, cy - 46, 90, 30);
  if (HWND title = ::GetDlgItem(m_hWnd, IDC_PAGE_TITLE)) {
    CRect r;
    ::GetWindowRect(title, &r);
    ScreenToClient(&r);
    ::SetWindowPos(title, nullptr, 0, 0, cx - 100 - r.left, r.Height(), SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  }
  Invalidate(TRUE);
}

void CChoiceFilesDlg::OnSize(UINT type, int cx, int cy) {
  CWizardPage::OnSize(type, cx, cy);
  if (type == SIZE_MINIMIZED || !m_list) return;
  Layout(cx, cy);
  PlaceHint();
}

void CChoiceFilesDlg::OnSizing(UINT edge, LPRECT rect) {
  CWizardPage::OnSizing(edge, rect);
  PlaceHint();
}

void CChoiceFilesDlg::OnGetMinMaxInfo(MINMAXINFO* info) {
  info->ptMinTrackSize.x = kMinWidth;
  info->ptMinTrackSize.y = kMinHeight;
  FitMaximisedToWorkArea(info);
}

LRESULT CChoiceFilesDlg::OnNcHitTest(CPoint point) {
  CRect w;
  GetWindowRect(&w);
  return ResizeHitTest(w, point, m_maximised != 0);
}

void CChoiceFilesDlg::OnDestroy() {
  m_leaving = true;
  StopFill();
  m_hint.Destroy();
  if (m_busy.m_hWnd) m_busy.DestroyWindow();
  m_fullTree.Clear();
  m_filteredTree.Clear();
  CWizardPage::OnDestroy();
}

CDialog* OpenDeletedResultPage(CScanDelFilesDlg* scanPage) {
  // Start-up registers the list's window class; registering again is harmless
  // and lets the page open wherever it is made.
  RegisterTreeListClass(AfxGetInstanceHandle());
  auto* page = new CChoiceFilesDlg(scanPage);
  return ShowHeldPage(page, kResultPageSlot, IDD_DELETED_RESULT, scanPage) ? page : nullptr;
}
