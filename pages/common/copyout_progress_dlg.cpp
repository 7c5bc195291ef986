#include "copyout_progress_dlg.h"

#include <cstring>

#include "messages.h"
#include "records/records.h"
#include "recovery_path_dlg.h"
#include "recovery_report_dlg.h"
#include "recovery_totals.h"
#include "resource.h"
#include "page_host.h"
#include "state.h"

namespace {

const UINT_PTR kTimer = 1;

}  // namespace

RecoveryReportFacts CCopyOutProgressPage::Facts() const {
  RecoveryReportFacts facts;
  facts.folder = m_owner ? m_owner->Destination() : CString();
  if (m_owner && m_owner->Results()) {
    facts.found = m_owner->Results()->FoundFileCount();
    facts.chosen = m_owner->Results()->ChosenFileCount();
  }
  SetCopyOutCounts(&facts, m_recovered, m_damaged, m_failed);
  facts.stopped = m_userStopped;
  return facts;
}

BEGIN_MESSAGE_MAP(CCopyOutProgressPage, CWizardPage)
  ON_BN_CLICKED(IDC_PROG_REPORT, &CCopyOutProgressPage::OnReportButton)
  ON_BN_CLICKED(IDC_PROG_BACK, &CCopyOutProgressPage::OnBackButton)
  ON_BN_CLICKED(IDC_CLOSE, &CCopyOutProgressPage::OnCloseBox)
  ON_MESSAGE(WM_COPYOUT_FINISHED, &CCopyOutProgressPage::OnCopyOutFinished)
  ON_WM_CLOSE()
  ON_WM_TIMER()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CCopyOutProgressPage::CCopyOutProgressPage(UINT templateId, CRecoveryPathPage* owner)
    : CWizardPage(templateId, owner), m_owner(owner) {}

CCopyOutProgressPage::~CCopyOutProgressPage() = default;

void CCopyOutProgressPage::DoDataExchange(CDataExchange* dx) {
  CWizardPage::DoDataExchange(dx);
  DDX_Control(dx, IDC_PROG_BAR, m_bar);
  DDX_Text(dx, IDC_PROG_EXTRA, m_extra);
}

BOOL CCopyOutProgressPage::OnInitDialog() {
  CWizardPage::OnInitDialog();
  m_report.SubclassDlgItem(IDC_PROG_REPORT, this);
  m_back.SubclassDlgItem(IDC_PROG_BACK, this);
  SkinForwardButton(m_report);
  SkinBackButton(m_back);
  m_heading.SubclassDlgItem(IDC_PAGE_HEADING, this);
  StyleHeading(m_heading);
  struct {
    CLabel* label;
    int id;
  } labels[] = {{&m_fileLabel, IDC_PROG_FILE_LABEL}, {&m_destLabel, IDC_PROG_DEST_LABEL},
                {&m_fileText, IDC_PROG_FILE},        {&m_destText, IDC_PROG_DEST},
                {&m_percent, IDC_PROG_PERCENT}};
  for (auto& l : labels) {
    l.label->SubclassDlgItem(l.id, this);
    StyleBodyText(*l.label);
  }
  m_fileText.SetTextColor(RGB(28, 92, 160));
  m_destText.SetTextColor(RGB(28, 92, 160));
  m_percent.SetTextColor(kPageQuietText);
  m_timerId = SetTimer(kTimer, 200);
  DrawBar();
  return TRUE;
}

void CCopyOutProgressPage::PaintBody(CDC* dc, const CRect&) {
  CRect panel(48, 88, 592, 372);
  PaintPanel(dc, panel);
  CBitmap picture;
  if (picture.LoadBitmap(IDB_PROGRESS_PICTURE)) dc->DrawBitmap(picture, 60, 98, 80, 66);
}

void CCopyOutProgressPage::DrawBar() {
  int total = 0, done = 0;
  ScaleForBar(m_totalSectors, gRecoveredSectors.load(), &total, &done);
  if (m_bar.m_hWnd) m_bar.SetPos(total, done);
  if (m_percent.m_hWnd) {
    CString text;
    text.Format("%d%%", total > 0 ? static_cast<int>(static_cast<int64_t>(done) * 100 / total) : 0);
    m_percent.SetText(text);
  }
}

void CCopyOutProgressPage::OnTimer(UINT_PTR id) {
  if (id == kTimer) DrawBar();
}

CString CCopyOutProgressPage::SourceText(const char* first) const {
  CString text(gScanTarget);
  text += first;
  return text;
}

void CCopyOutProgressPage::CountFile(uint32_t filesSoFar) {
  m_fileCount = filesSoFar ? filesSoFar : m_fileCount + 1;
}

LRESULT CCopyOutProgressPage::OnFileMessage(WPARAM filesSoFar, LPARAM param) {
  const auto* block = reinterpret_cast<const RecoverProgressBlock*>(param);
  if (!block || m_leaving) return 0;
  // The block belongs to the worker: the texts are copied now.
  m_file = SourceText(CString(block->source, static_cast<int>(strnlen(block->source, sizeof block->source))));
  m_dest = CString(block->destination, static_cast<int>(strnlen(block->destination, sizeof block->destination)));
  CountFile(static_cast<uint32_t>(filesSoFar));
  if (m_fileText.m_hWnd) m_fileText.SetText(m_file);
  if (m_destText.m_hWnd) m_destText.SetText(m_dest);
  return 0;
}

void CCopyOutProgressPage::AskToStop(StopButton button) {
  if (m_finished || m_askState == 255 || Stopping()) return;
  m_askState = 255;
  CString question;
  question.LoadString(IDS_CANCEL_CONFIRM);
  const UINT defaultButton = button == StopButton::kClose ? CloseQuestionDefault() : MB_DEFBUTTON2;
  const int answer = MessageBox(question, m_caption, MB_YESNO | MB_ICONQUESTION | defaultButton);
  m_askState = answer;
  const bool yes = answer == IDYES;
  if (!yes && !m_endedDuringQuestion) return;   // the copy-out goes on
  // Back with Yes returns to the destination page; every other way ends in the report.
  m_goBack = button == StopButton::kBack && yes;
  if (m_endedDuringQuestion) {
    CopyOutEnded();
    return;
  }
  RaiseStopFlag();
  m_userStopped = true;
  if (!m_busy) m_busy = std::make_unique<CStopRecoveryScrollBar>(this);
  if (!m_busy->m_hWnd && m_busy->Show(this)) m_busy->ShowWindow(SW_SHOW);
}

void CCopyOutProgressPage::CloseBusyBox() {
  if (m_busy && m_busy->m_hWnd) m_busy->DestroyWindow();
  m_busy.reset();
}

LRESULT CCopyOutProgressPage::OnCopyOutFinished(WPARAM, LPARAM) {
  if (m_leaving) return 0;
  JoinWorker();
  CopyOutEnded();
  return 0;
}

void CCopyOutProgressPage::CopyOutEnded() {
  if (m_finished || m_leaving) return;
  m_ended = true;
  CloseAboutBox();
  if (m_askState == 255) {
    // The answer finishes the job.
    m_endedDuringQuestion = true;
    return;
  }
  CloseBusyBox();
  if (m_timerId) {
    KillTimer(m_timerId);
    m_timerId = 0;
  }
  DrawBar();
  m_recovered = CountRecovered();
  m_damaged = CountDamaged();
  m_failed = CountFailed();
  if (m_owner) m_owner->m_recoveredCount = m_recovered;
  if (CPageHost* host = PageHost()) host->Stats().recovercount = static_cast<int32_t>(m_recovered);
  m_finished = true;
  Finish(!m_goBack);
}

void CCopyOutProgressPage::OnDestroy() {
  m_leaving = true;
  if (m_timerId) {
    KillTimer(m_timerId);
    m_timerId = 0;
  }
  CloseBusyBox();
  if (!WorkerDone()) RaiseStopFlag();
  JoinWorker();
  CWizardPage::OnDestroy();
}

// ---- member pages of the unformat and deep-scan destination pages ------------------------

bool CMemberProgressPage::WorkerDone() const {
  auto* owner = static_cast<CWorkerRecoveryPathPage*>(m_owner);
  return !owner || !owner->WorkerRunning();
}

void CMemberProgressPage::JoinWorker() {
  if (m_owner) static_cast<CWorkerRecoveryPathPage*>(m_owner)->JoinWorker();
}

void CMemberProgressPage::CountFile(uint32_t filesSoFar) {
  CCopyOutProgressPage::CountFile(filesSoFar);
  if (m_owner) m_owner->m_recoveredCount = m_fileCount;
}

uint32_t CMemberProgressPage::CountRecovered() const {
  uint32_t whole = 0;
  if (m_owner && m_owner->RecoveredWholeKnown(&whole)) return whole;
  const uint32_t notWhole = m_damaged->load() + m_failed->load();
  return m_fileCount > notWhole ? m_fileCount - notWhole : 0;
}

CWnd* CMemberProgressPage::ReportBackPage() const {
  return m_owner && m_owner->Results() ? m_owner->Results()->ResultPage() : m_owner;
}
