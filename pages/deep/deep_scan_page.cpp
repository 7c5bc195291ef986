#include "deep_scan_page.h"

#include <algorithm>
#include <cstring>

#include "busy_boxes.h"
#include "deep_location_page.h"
#include "deep_targets.h"
#include "deepscan/deepscan.h"
#include "messages.h"
#include "nothing_found_page.h"
#include "records/records.h"
#include "recovery_totals.h"
#include "resource.h"
#include "source_texts.h"
#include "state.h"

namespace {

constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressPeriodMs = 200;
// The scan target's start shown before every hit but the first.
constexpr size_t kHitPrefixBytes = 8;

}  // namespace

BEGIN_MESSAGE_MAP(CPhotoScanDlg, CWizardPage)
  ON_BN_CLICKED(IDC_DS_STOP, &CPhotoScanDlg::OnStop)
  ON_BN_CLICKED(IDC_DS_BACK, &CPhotoScanDlg::OnBack)
  ON_BN_CLICKED(IDC_CLOSE, &CPhotoScanDlg::OnCloseBox)
  ON_WM_CLOSE()
  ON_MESSAGE(WM_RAWSCAN_PROGRESS, &CPhotoScanDlg::OnProgress)
  ON_MESSAGE(WM_RAWSCAN_FOUND, &CPhotoScanDlg::OnFound)
  ON_MESSAGE(WM_DELSCAN_DONE, &CPhotoScanDlg::OnDone)
  ON_WM_TIMER()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CPhotoScanDlg::CPhotoScanDlg(CPhotoRecoverDlg* owner) : CWizardPage(IDD_DEEP_SCAN, owner), m_owner(owner) {}

CPhotoScanDlg::~CPhotoScanDlg() {
  if (m_hWnd) DestroyWindow();   // joins the worker
}

void CPhotoScanDlg::SetTarget(uint8_t disk, uint8_t driveIndex) {
  m_disk = disk;
  m_drive = driveIndex;
  if (m_hWnd) ShowTargetText();
}

BOOL CPhotoScanDlg::StartWorker() { return StartWorker(&CPhotoScanDlg::ScanThreadProc); }

BOOL CPhotoScanDlg::StartWorker(WorkerProc proc) {
  if (m_worker || !m_hWnd) return FALSE;
  m_window = m_hWnd;
  // Cleared here, before the worker runs: a stop the user asks for from now
  // on is never lost to the worker's start.
  gDeepScanAbort = 0;
  m_worker = AfxBeginThread(proc, this);
  return m_worker != nullptr;
}

bool CPhotoScanDlg::WorkerRunning() const { return m_worker && m_worker->IsRunning(); }

UINT CPhotoScanDlg::ScanThreadProc(LPVOID param) {
  auto* page = static_cast<CPhotoScanDlg*>(param);
  std::memset(gScanTarget, 0, 260);
  const std::string target = DeepScanTargetText(page->m_disk, page->m_drive);
  int rc = kDeepScanNothing;
  // A target naming both a disk and a volume, or neither, is not scanned;
  // the page still hears that the scan has ended.
  if (!target.empty()) {
    std::memcpy(gScanTarget, target.c_str(), target.size());
    rc = RawSignatureScan(DeepScanTargetWord(page->m_disk, page->m_drive), &page->m_source);
  }
  page->m_scanResult = rc;
  ::SendMessageA(page->m_window, WM_DELSCAN_DONE, 0, 0);
  return target.empty() ? 0 : 1;
}

BOOL CPhotoScanDlg::OnInitDialog() {
  CWizardPage::OnInitDialog();
  m_stopButton.SubclassDlgItem(IDC_DS_STOP, this);
  m_backButton.SubclassDlgItem(IDC_DS_BACK, this);
  SkinForwardButton(m_stopButton);
  SkinBackButton(m_backButton);
  CString tip;
  tip.LoadString(IDS_TIP_SHOW_FOUND);
  m_stopButton.SetToolTipText(tip);

  CString face;
  face.LoadString(IDS_FONT_HEI);
  m_heading.SubclassDlgItem(IDC_PAGE_HEADING, this);
  StyleHeading(m_heading);
  m_heading.SetFontName(face);
  m_targetLabel.SubclassDlgItem(IDC_DS_TARGET, this);
  StyleBodyText(m_targetLabel, true);
  m_percentLabel.SubclassDlgItem(IDC_DS_PERCENT, this);
  StyleBodyText(m_percentLabel);
  m_countLabel.SubclassDlgItem(IDC_DS_COUNT, this);
  StyleBodyText(m_countLabel);
  m_foundLabel.SubclassDlgItem(IDC_DS_FOUND_LABEL, this);
  StyleBodyText(m_foundLabel, true);
  m_hitLabel.SubclassDlgItem(IDC_DS_HIT, this);
  StyleBodyText(m_hitLabel);
  m_bar.SubclassDlgItem(IDC_DS_PROGRESS, this);
  m_bar.SetPos(1000, 0);

  gDeepScanWindow = m_hWnd;
  m_timer = SetTimer(kProgressTimer, kProgressPeriodMs);
  ShowTargetText();
  ShowProgress();
  return TRUE;
}

void CPhotoScanDlg::PaintBody(CDC* dc, const CRect& client) {
  (void)client;
  CRect heading, hit;
  ::GetWindowRect(::GetDlgItem(m_hWnd, IDC_PAGE_HEADING), &heading);
  ::GetWindowRect(::GetDlgItem(m_hWnd, IDC_DS_HIT), &hit);
  ScreenToClient(&heading);
  ScreenToClient(&hit);
  CRect panel(32, heading.top - 22, client.right - 32, hit.bottom + 18);
  PaintPanel(dc, panel);
  CBitmap picture;
  if (picture.LoadBitmap(IDB_SCAN_PICTURE)) dc->DrawBitmap(picture, panel.left + 4, heading.top - 8);
}

void CPhotoScanDlg::ShowTargetText() {
  if (!m_targetLabel.m_hWnd) return;
  CString text;
  if (m_drive != 0xFF && m_disk == 0xFF)
    text.Format(LoadText(IDS_DEEP_TARGET_DRIVE), 'C' + m_drive);
  else if (m_disk != 0xFF && m_drive == 0xFF)
    text.Format(LoadText(IDS_DEEP_TARGET_DISK), m_disk);
  if (m_total) {
    text += LoadText(IDS_DEEP_TARGET_SIZE);
    text += DiskSizeText(m_total);
  }
  m_targetLabel.SetText(text);
}

void CPhotoScanDlg::ShowProgress() {
  // Hits found since the scan last told of one.
  if (m_worker) m_hitCount = std::max(m_hitCount, gDeepScanHitCount.load());
  int total = 0, done = 0;
  ScaleForBar(m_total, m_position, &total, &done);
  if (total > 0) m_bar.SetPos(total, done);
  const int percent = m_total ? static_cast<int>(std::min<uint64_t>(m_position, m_total) * 100 / m_total) : 0;
  if (percent != m_lastPercent && m_percentLabel.m_hWnd) {
    m_lastPercent = percent;
    CString text;
    text.Format(LoadText(IDS_DEEP_SCANNED_PERCENT), percent);
    m_percentLabel.SetText(text);
  }
  if (m_hitCount != m_lastCount && m_countLabel.m_hWnd) {
    m_lastCount = m_hitCount;
    CString text;
    text.Format(LoadText(IDS_FOUND_FILES_COUNT), m_hitCount);
    m_countLabel.SetText(text);
  }
}

LRESULT CPhotoScanDlg::OnProgress(WPARAM total, LPARAM position) {
  const bool firstTotal = m_total == 0 && total != 0;
  DecodeScanProgress(total, position, gDeepScanProgressShift.load(), &m_total, &m_position);
  if (firstTotal && !m_destroying) ShowTargetText();
  return 0;
}

void CPhotoScanDlg::OnTimer(UINT_PTR id) {
  if (id == kProgressTimer && !m_destroying) ShowProgress();
  Default();
}

LRESULT CPhotoScanDlg::OnFound(WPARAM hitsSoFar, LPARAM text) {
  const char* name = reinterpret_cast<const char*>(text);
  if (!name || m_destroying) return 0;
  // The scan tells of its newest hit now and then, with the count so far.
  m_hitCount = std::max<uint32_t>(m_hitCount + (hitsSoFar ? 0 : 1), static_cast<uint32_t>(hitsSoFar));
  // The text belongs to the scan and lives only while this message is handled.
  CString shown;
  if (++m_foundMessages > 1) shown = CString(gScanTarget, static_cast<int>(strnlen(gScanTarget, kHitPrefixBytes)));
  shown += CString(name, static_cast<int>(strnlen(name, sizeof(FoundFileRecord::name))));
  m_hitText = shown;
  if (m_hitLabel.m_hWnd) m_hitLabel.SetText(m_hitText);
  return 0;
}

// Stop protocol: the shared question over this page; the scan goes on while
// it is asked. A confirmed stop raises the flag the scan polls and keeps the
// page until the worker's end message.
void CPhotoScanDlg::AskToStop(AskedBy by) {
  if (m_ended || m_stopping || m_destroying || gStopScanBox.IsAsking()) return;
  m_stopAnswer = 255;
  gStopScanBox.m_pParentWnd = this;
  const int answer = gStopScanBox.Ask();
  gStopScanBox.m_pParentWnd = nullptr;
  Sleep(55);
  if (!IsWindow() || m_destroying) return;
  m_stopAnswer = static_cast<uint32_t>(answer);
  if (m_finishPending) {
    // The scan ended while the question was up: the question went as No.
    m_finishPending = false;
    FinishScan();
    return;
  }
  if (answer != 1) return;
  m_leave = by == kAskedByStop ? 0 : 1;
  m_stopping = true;
  m_stopButton.EnableWindow(FALSE);
  m_backButton.EnableWindow(FALSE);
  m_heading.SetText(LoadText(IDS_DEEP_STOPPING));
  gDeepScanAbort = 1;
}

LRESULT CPhotoScanDlg::OnDone(WPARAM, LPARAM) {
  if (m_ended) return 0;
  m_ended = true;
  if (m_destroying) return 0;
  if (!m_stopping) m_position = m_total;   // read to its end
  ShowProgress();
  if (gStopScanBox.IsAsking() && gStopScanBox.m_pParentWnd == this) {
    // Answered as No; the page goes on when the question has returned.
    m_finishPending = true;
    gStopScanBox.SendMessage(WM_STOPBOX_END);
    return 0;
  }
  FinishScan();
  return 0;
}

void CPhotoScanDlg::FinishScan() {
  CloseAboutBox();
  const int rc = m_scanResult.load();
  if (m_leave == 1) {
    // The user left the scan: back to the location page, nothing else opens.
    ShowWindow(SW_HIDE);
    if (m_owner && m_owner->m_hWnd) m_owner->ShowWindow(SW_SHOW);
    return;
  }
  if (rc == kDeepScanNoTable || rc == kDeepScanBadTable || rc == kDeepScanNoMemory) {
    // Without its table or its buffer the scan could not look: that is not
    // "nothing found".
    CString text;
    text.LoadString(rc == kDeepScanNoTable   ? IDS_DEEP_NO_TABLE
                    : rc == kDeepScanBadTable ? IDS_DEEP_BAD_TABLE
                                              : IDS_OUT_OF_MEMORY);
    MessageBox(text, m_caption, MB_OK | MB_ICONERROR);
    ShowWindow(SW_HIDE);
    if (m_owner && m_owner->m_hWnd) m_owner->ShowWindow(SW_SHOW);
    return;
  }
  if (gFoundFiles.empty()) {
    ShowWindow(SW_HIDE);
    if (m_nothingFound && m_nothingFound->m_hWnd) m_nothingFound->DestroyWindow();
    // Modeless, like the other roads' (the worker is not held while it is up).
    auto page = std::make_unique<CFindNoFileDlg>(this, m_owner);
    if (page->Create(IDD_NOTHING_FOUND, this)) {
      // A source that could not be read is said so: it is not one without files.
      if (rc == kDeepScanCannotOpen || rc == kDeepScanCannotRead)
        page->ShowFailure(SourceFailureHeading(m_source), DescribeSourceFailure(m_source));
      else if (StoppedByUser())
        page->ShowStopped();
      PlacePage(page.get());
      page->ShowWindow(SW_SHOW);
      m_nothingFound = std::move(page);
      return;
    }
    m_nothingFound = std::move(page);
    if (m_owner && m_owner->m_hWnd) m_owner->ShowWindow(SW_SHOW);
    return;
  }
  if (m_owner && m_owner->OpenResultPage(this)) ShowWindow(SW_HIDE);
}

void CPhotoScanDlg::OnDestroy() {
  m_destroying = true;
  if (m_worker) {
    // The scan sends to this window; Join handles those sends meanwhile.
    gDeepScanAbort = 1;
    m_worker->Join();
    m_worker.reset();
  }
  if (gDeepScanWindow == m_hWnd) gDeepScanWindow = nullptr;
  if (m_timer) KillTimer(m_timer);
  m_timer = 0;
  if (m_nothingFound && m_nothingFound->m_hWnd) m_nothingFound->DestroyWindow();
  m_nothingFound.reset();
  CWizardPage::OnDestroy();
}
