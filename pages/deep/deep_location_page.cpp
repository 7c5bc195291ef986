#include "deep_location_page.h"

#include "deep_result_page.h"
#include "deep_scan_page.h"
#include "page_state.h"
#include "resource.h"
#include "page_host.h"

CDialog* MakeDeepLocationPage(int kind) {
  auto* page = new CPhotoRecoverDlg(nullptr);
  if (kind == kDeepRoadLostPartition) page->m_lostPartition = 1;
  return page;
}

void PrepareDeepLocationPage(CDialog* dialog, int kind) {
  auto* page = dynamic_cast<CPhotoRecoverDlg*>(dialog);
  if (!page) return;
  if (kind == kDeepRoadRecovery) page->m_removable = 0;
  if (kind == kDeepRoadRemovable) page->m_removable = 1;
  page->ApplyModeLayout();
  if (kind == kDeepRoadRemovable) page->SelectFirstDevice();
}

BEGIN_MESSAGE_MAP(CPhotoRecoverDlg, CWizardPage)
  ON_BN_CLICKED(IDC_DL_NEXT, &CPhotoRecoverDlg::OnNext)
  ON_BN_CLICKED(IDC_DL_BACK, &CPhotoRecoverDlg::OnBack)
  ON_BN_CLICKED(IDC_CLOSE, &CPhotoRecoverDlg::OnBack)
  ON_BN_CLICKED(IDC_DL_REDETECT, &CPhotoRecoverDlg::OnRedetect)
  ON_BN_CLICKED(IDC_DL_WEB, &CPhotoRecoverDlg::OnWeb)
  ON_WM_CLOSE()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CPhotoRecoverDlg::CPhotoRecoverDlg(CWnd* parent) : CWizardPage(IDD_DEEP_LOCATION, parent) {}

CPhotoRecoverDlg::~CPhotoRecoverDlg() {
  if (m_hWnd) DestroyWindow();
  DestroyChain();
}

BOOL CPhotoRecoverDlg::OnInitDialog() {
  CWizardPage::OnInitDialog();
  m_devicesFound = 0;
  m_next.SubclassDlgItem(IDC_DL_NEXT, this);
  m_back.SubclassDlgItem(IDC_DL_BACK, this);
  SkinForwardButton(m_next);
  SkinBackButton(m_back);
  m_heading.SubclassDlgItem(IDC_PAGE_HEADING, this);
  StyleHeading(m_heading);
  m_noDevice.SubclassDlgItem(IDC_DL_NO_DEVICE, this);
  StyleBodyText(m_noDevice);
  m_redetect.SubclassDlgItem(IDC_DL_REDETECT, this);
  m_redetect.SetFontName("宋体").SetFontSize(12).SetTextColor(kPageLinkText).SetFontUnderline(TRUE);
  m_redetect.SetLinkCursor(m_hand).SetTransparent(TRUE);
  m_note.SubclassDlgItem(IDC_DL_NOTE, this);
  StyleBodyText(m_note, true);

  m_tree.SubclassDlgItem(IDC_DL_TREE, this);
  // Measured and drawn in one font, the page's own: "本地硬盘 (X:)" keeps its ")".
  LOGFONTA lf = {};
  lf.lfHeight = -12;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(lf.lfFaceName, "宋体", LF_FACESIZE);
  m_treeFont.CreateFontIndirect(&lf);
  m_tree.SetFont(&m_treeFont);
  m_treeImages.Create(IDB_DL_TREE_ICONS, 16, 0, RGB(255, 0, 255));
  ::SendMessageA(m_tree.m_hWnd, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(m_treeImages.m_hImageList));
  m_tree.SetItemHeight(20);
  m_list.SubclassDlgItem(IDC_DL_LIST, this);
  m_listImages.Create(IDB_DL_DEVICE_ICONS, 32, 0, RGB(255, 0, 255));
  m_list.SetImageList(&m_listImages);

  if (m_lostPartition)
    BuildDiskList();
  else
    BuildRemovableList();
  BuildTree();
  ApplyModeLayout();
  // The nothing-found page asked for a deep scan of the drive it scanned.
  if (gDeepScanRequest) PostMessage(WM_COMMAND, MAKEWPARAM(IDC_DL_NEXT, BN_CLICKED), 0);
  return TRUE;
}

// Without a device, the place of the list stays a panel with the device's
// picture beside the two lines.
void CPhotoRecoverDlg::PaintBody(CDC* dc, const CRect&) {
  if (!m_noDevice.m_hWnd || !m_noDevice.IsWindowVisible()) return;
  CRect place, text;
  ::GetWindowRect(m_list.m_hWnd, &place);
  ::GetWindowRect(m_noDevice.m_hWnd, &text);
  ScreenToClient(&place);
  ScreenToClient(&text);
  PaintPanel(dc, place);
  m_listImages.Draw(dc, 1, CPoint(text.left - 44, text.top - 2), ILD_TRANSPARENT);
}

void CPhotoRecoverDlg::FillList(const std::vector<DeepRow>& rows) {
  m_list.ResetContent();
  for (const DeepRow& row : rows) {
    const int at = m_list.AddString(row.text, row.image);
    if (at >= 0) m_list.SetItemData(at, row.data);
  }
}

void CPhotoRecoverDlg::BuildRemovableList() {
  m_listFilled = 1;
  const std::vector<DeepRow> rows = ::BuildRemovableList(*m_probe);
  FillList(rows);
  m_devicesFound = rows.empty() ? 0 : 1;
}

void CPhotoRecoverDlg::BuildDiskList() { FillList(::BuildDiskList(*m_probe)); }

void CPhotoRecoverDlg::BuildTree() {
  m_tree.DeleteAllItems();
  const DeepTreeModel model = BuildDeepTree(*m_probe);
  CString computer, devices;
  computer.LoadString(IDS_MY_COMPUTER);
  devices.LoadString(IDS_PHYSICAL_DEVICES);
  const UINT mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
  HTREEITEM mine = m_tree.InsertItem(mask, computer, kImageComputer, kImageComputer, 0, 0,
                                     MakeDeepItemData(kDeepHeading, 0), TVI_ROOT, TVI_LAST);
  HTREEITEM physical = m_tree.InsertItem(mask, devices, kImageDisk, kImageDisk, 0, 0,
                                         MakeDeepItemData(kDeepHeading, 0), TVI_ROOT, TVI_LAST);
  // The tree measures a label a little shorter than it draws it ("本地硬盘 (X:)"
  // lost its ")"): two spaces after the text give it the room.
  for (const DeepRow& v : model.volumes)
    m_tree.InsertItem(mask, v.text + "  ", v.image, v.image, 0, 0, v.data, mine, TVI_LAST);
  for (const DeepRow& d : model.disks)
    m_tree.InsertItem(mask, d.text, d.image, d.image, 0, 0, d.data, physical, TVI_LAST);
  m_tree.Expand(mine, TVE_EXPAND);
  m_tree.Expand(physical, TVE_EXPAND);
}

void CPhotoRecoverDlg::ApplyModeLayout() {
  if (!m_hWnd) return;
  UINT heading = IDS_SELECT_VOLUME_OR_DEVICE;
  UINT title = IDS_DEEP_TITLE;
  bool list = false, noDevice = false;
  if (m_lostPartition) {
    list = true;
    title = IDS_LOSTPART_TITLE;
  } else if (m_removable) {
    list = m_devicesFound != 0;
    noDevice = !list;
    heading = IDS_SELECT_REMOVABLE;
    title = IDS_REMOVABLE_TITLE;
  }
  m_list.ShowWindow(list ? SW_SHOW : SW_HIDE);
  m_tree.ShowWindow(!list && !noDevice ? SW_SHOW : SW_HIDE);
  m_noDevice.ShowWindow(noDevice ? SW_SHOW : SW_HIDE);
  m_redetect.ShowWindow(noDevice ? SW_SHOW : SW_HIDE);
  Invalidate();
  CString text;
  if (m_lostPartition)
    text = LoadText(IDS_SELECT_DISK_TO_RECOVER);
  else
    text.LoadString(heading);
  m_heading.SetText(text);
  m_title.SetText(LoadText(title));
  m_next.EnableWindow(!noDevice);
}

void CPhotoRecoverDlg::SelectFirstDevice() {
  if (m_removable && m_devicesFound && m_list.GetCount() > 0) m_list.SetCurSel(0);
}

void CPhotoRecoverDlg::OnRedetect() {
  BuildRemovableList();
  ApplyModeLayout();
  SelectFirstDevice();
}

uint32_t CPhotoRecoverDlg::SelectedTarget() const {
  // The visible selector decides: a hidden list's row is no choice.
  if (m_list.m_hWnd && m_list.IsWindowVisible()) {
    const int row = m_list.GetCurSel();
    if (row >= 0) return static_cast<uint32_t>(m_list.GetItemData(row));
    return MakeDeepItemData(kDeepHeading, 0);
  }
  HTREEITEM item = m_tree.GetSelectedItem();
  if (!item) return MakeDeepItemData(kDeepHeading, 0);
  TVITEMA it = {};
  it.mask = TVIF_PARAM;
  it.hItem = item;
  if (!m_tree.GetItem(&it)) return MakeDeepItemData(kDeepHeading, 0);
  return static_cast<uint32_t>(it.lParam);
}

void CPhotoRecoverDlg::OnNext() {
  const bool requested = gDeepScanRequest != 0;
  if (CPageHost* host = PageHost()) {
    StatisticsRecord& s = host->Stats();
    BeginOperation(s, m_removable ? 4 : 3, requested ? 1 : 0);
    s.filtertype = -1;
    s.btnrecover = 0;
  }
  if (requested) {
    gDeepScanRequest = 0;
    StartScan(0xFF, gDeepScanDrive, true);
    return;
  }
  const uint32_t data = SelectedTarget();
  const uint32_t kind = DeepItemKind(data), number = DeepItemNumber(data);
  if (kind == kDeepHeading || kind > kDeepRemovable || number > 0xFE) {
    CString text;
    text.LoadString(IDS_SELECT_VOLUME_OR_DISK);
    MessageBox(text, m_caption, MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (kind == kDeepVolume)
    StartScan(0xFF, static_cast<uint8_t>(number), false);
  else
    StartScan(static_cast<uint8_t>(number), 0xFF, false);
}

void CPhotoRecoverDlg::StartScan(uint8_t disk, uint8_t drive, bool requested) {
  // The new scan empties the hits that an earlier result page shows: that
  // page and its scan page go first.
  DestroyChain();
  m_scanPage = std::make_unique<CPhotoScanDlg>(this);
  if (!m_scanPage->Create(IDD_DEEP_SCAN, this)) {
    m_scanPage.reset();
    return;
  }
  CString title;
  title.LoadString(m_removable ? IDS_TITLE_REMOVABLE_SCAN : IDS_TITLE_DEEP_SCAN);
  m_scanPage->SetTitleText(title);
  m_scanPage->SetTarget(disk, drive);
  if (m_scanWorker)
    m_scanPage->StartWorker(m_scanWorker);
  else
    m_scanPage->StartWorker();
  if (requested) {
    if (CPageHost* host = PageHost()) {
      if (CWnd* main = host->MainWindow()) main->ShowWindow(SW_HIDE);
    }
  }
  PlacePage(m_scanPage.get());
  m_scanPage->ShowWindow(SW_SHOW);
  ShowWindow(SW_HIDE);
}

bool CPhotoRecoverDlg::OpenResultPage(CPhotoScanDlg* scanPage) {
  if (m_resultPage) {
    if (m_resultPage->m_hWnd) m_resultPage->DestroyWindow();
    m_resultPage.reset();
  }
  auto page = std::make_unique<CPtFileChosDlg>(scanPage);
  if (!page->Create(IDD_DEEP_RESULT, scanPage)) return false;
  PlacePage(page.get());
  if (scanPage && scanPage->StoppedByUser()) page->ShowScanStopped(IDC_DR_HINT);
  m_resultPage = std::move(page);
  if (!m_resultPage->StartBuildResultTree()) {
    m_resultPage->ShowWindow(SW_SHOW);
  }
  return true;
}

void CPhotoRecoverDlg::OnBack() {
  if (CPageHost* host = PageHost()) host->ShowMainWindow();
  EndDialog(IDCANCEL);
}

void CPhotoRecoverDlg::DestroyChain() {
  // The result page first: its window is owned by the scan page's.
  if (m_resultPage) {
    if (m_resultPage->m_hWnd) m_resultPage->DestroyWindow();
    m_resultPage.reset();
  }
  if (m_scanPage) {
    if (m_scanPage->m_hWnd) m_scanPage->DestroyWindow();
    m_scanPage.reset();
  }
}

void CPhotoRecoverDlg::OnDestroy() {
  CWizardPage::OnDestroy();
  DestroyChain();
}
