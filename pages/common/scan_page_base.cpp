#include "scan_page_base.h"

#include "resource.h"
#include "page_host.h"
#include "state.h"

void CScanPageBase::PaintScanPanel(CDC* dc, const CRect& client, int headingId, int backId, int headingMargin) {
  CRect heading, back;
  ::GetWindowRect(::GetDlgItem(m_hWnd, headingId), &heading);
  ::GetWindowRect(::GetDlgItem(m_hWnd, backId), &back);
  ScreenToClient(&heading);
  ScreenToClient(&back);
  CRect panel(32, heading.top - headingMargin, client.right - 32, back.top - 24);
  PaintPanel(dc, panel);
  CBitmap picture;
  if (picture.LoadBitmap(IDB_SCAN_PICTURE)) dc->DrawBitmap(picture, panel.left + 26, heading.top - headingMargin + 12);
}

void CScanPageBase::SetUpScanControls(int stopId, int backId, int headingId, int foundLabelId, int pathId) {
  m_stop.SubclassDlgItem(stopId, this);
  m_back.SubclassDlgItem(backId, this);
  SkinForwardButton(m_stop);
  SkinBackButton(m_back);
  CString tip;
  tip.LoadString(IDS_TIP_SHOW_FOUND);
  m_stop.SetToolTipText(tip);
  m_heading.SubclassDlgItem(headingId, this);
  m_heading.SetFontName("黑体").SetFontSize(16).SetFontBold(TRUE).SetTextColor(kPageText).SetTransparent(TRUE);
  m_foundLabel.SubclassDlgItem(foundLabelId, this);
  StyleBodyText(m_foundLabel, true);
  m_path.SubclassDlgItem(pathId, this);
  StyleBodyText(m_path);
  m_path.SetTextColor(RGB(28, 92, 160));
}

LRESULT CScanPageBase::OnScanFinished(WPARAM, LPARAM) {
  if (m_finished) return 0;
  if (m_left) {
    m_endedAfterLeaving = true;
    return 0;
  }
  if (m_modalDepth > 0) {
    m_finishPending = true;
    return 0;
  }
  FinishScan();
  return 0;
}

void CScanPageBase::RunPendingFinish() {
  if (m_modalDepth > 0 || !m_finishPending) return;
  m_finishPending = false;
  OnScanFinished(0, 0);
}

void CScanPageBase::OnBanner() {
  ++m_modalDepth;
  CWizardPage::OnBanner();
  --m_modalDepth;
  RunPendingFinish();
}

void CScanPageBase::Leave() {
  m_left = true;
  m_finishPending = false;
  gScanAbort = 1;
  JoinWorker();
  if (m_scanEnded) m_endedAfterLeaving = true;
  if (m_opener && m_opener->m_hWnd)
    m_opener->ShowWindow(SW_SHOW);
  else
    PageHost()->ShowMainWindow();
  EndDialog(IDCANCEL);
}

void CScanPageBase::JoinWorker() {
  if (!m_worker) return;
  m_worker->Join();   // the worker's sent messages are handled meanwhile
  m_worker.reset();
}

void CScanPageBase::StopWorker() {
  if (!m_worker) return;
  gScanAbort = 1;
  JoinWorker();
}
