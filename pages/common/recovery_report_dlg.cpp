#include "recovery_report_dlg.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "resource.h"
#include "page_host.h"
#include "statistics.h"
#include "version_checks.h"

namespace {

const int kLabelIds[12] = {IDC_REP_FOLDER_LABEL, IDC_REP_FOLDER,         IDC_REP_FOUND_LABEL, IDC_REP_FOUND,
                           IDC_REP_CHOSEN_LABEL, IDC_REP_CHOSEN,         IDC_REP_RECOVERED_LABEL,
                           IDC_REP_RECOVERED,    IDC_REP_DONE_BEFORE,    IDC_REP_DONE_AFTER,
                           IDC_REP_PARTIAL,      IDC_REP_ENGLISH};
const COLORREF kFigure = RGB(33, 99, 186);

CString Counted(UINT format, uint32_t count) {
  CString f, text;
  f.LoadString(format);
  text.Format(f.GetString(), static_cast<unsigned>(count));
  return text;
}

}  // namespace

CString ReportBreakdown(const RecoveryReportFacts& facts, const CString& failedNote) {
  if (facts.stopped) {
    // A stop: all four counts, the ones at 0 too, so that nothing is left to guess.
    CString f, text;
    f.LoadString(IDS_REPORT_STOPPED_COUNTS);
    text.Format(f.GetString(), static_cast<unsigned>(facts.recovered), static_cast<unsigned>(facts.damaged),
                static_cast<unsigned>(facts.failed), static_cast<unsigned>(facts.notStarted));
    if (facts.damaged) {
      CString note;
      note.LoadString(IDS_REPORT_DAMAGED_NOTE);
      text += "\r\n";
      text += note;
    }
    return text;
  }
  if (facts.recovered == facts.chosen && !facts.damaged && !facts.failed && !facts.notStarted) return CString();
  CString text = Counted(IDS_REPORT_WHOLE, facts.recovered);
  const struct {
    uint32_t count;
    UINT format;
  } parts[] = {{facts.damaged, IDS_REPORT_DAMAGED}, {facts.failed, IDS_REPORT_FAILED},
               {facts.notStarted, IDS_REPORT_NOT_STARTED}};
  for (const auto& part : parts) {
    if (!part.count) continue;
    text += "，";
    text += Counted(part.format, part.count);
  }
  text += "。";
  CString note;
  if (facts.damaged)
    note.LoadString(IDS_REPORT_DAMAGED_NOTE);
  else if (facts.failed)
    note = failedNote;
  if (!note.IsEmpty()) {
    text += "\r\n";
    text += note;
  }
  return text;
}

BEGIN_MESSAGE_MAP(CRecoveryReportPage, CWizardPage)
  ON_BN_CLICKED(IDC_REP_OPEN, &CRecoveryReportPage::OnOpenFolder)
  ON_BN_CLICKED(IDC_REP_FINISH, &CRecoveryReportPage::OnFinish)
  ON_BN_CLICKED(IDC_CLOSE, &CRecoveryReportPage::OnCloseBox)
  ON_BN_CLICKED(IDC_REP_BACK, &CRecoveryReportPage::OnBackButton)
  ON_BN_CLICKED(IDC_REP_ABOUT, &CRecoveryReportPage::OnAboutArea)
  ON_WM_CLOSE()
END_MESSAGE_MAP()

CRecoveryReportPage::CRecoveryReportPage(UINT templateId, CWnd* parent, const RecoveryReportFacts& facts,
                                         CWnd* backTo)
    : CWizardPage(templateId, parent), m_facts(facts), m_backTo(backTo) {}

void CRecoveryReportPage::DoDataExchange(CDataExchange* dx) {
  CWizardPage::DoDataExchange(dx);
  // 1034 is the way back here; taken before the page base makes it the logo.
  DDX_Control(dx, IDC_REP_BACK, m_back);
  DDX_Text(dx, IDC_REP_FOLDER, m_folder);
  DDX_Text(dx, IDC_REP_FOUND, m_found);
  DDX_Text(dx, IDC_REP_CHOSEN, m_chosen);
  DDX_Text(dx, IDC_REP_RECOVERED, m_recovered);
  DDX_Text(dx, IDC_REP_BIG_COUNT, m_bigCount);
}

BOOL CRecoveryReportPage::OnInitDialog() {
  m_folder = m_facts.folder;
  m_found.Format("%u", m_facts.found);
  m_chosen.Format("%u", m_facts.chosen);
  m_recovered.Format("%u", m_facts.recovered);
  m_bigCount.Format("%u", m_facts.recovered);
  CWizardPage::OnInitDialog();

  m_logo.SubclassDlgItem(IDC_REP_ABOUT, this);
  m_logo.SetSkin(IDB_PAGE_BANNER, IDB_PAGE_BANNER, IDB_PAGE_BANNER, 0, 0, 0, skin::kCopy, 0, 0);
  m_logo.SetWindowPos(nullptr, 12, 8, 48, 48, SWP_NOZORDER | SWP_NOACTIVATE);
  m_open.SubclassDlgItem(IDC_REP_OPEN, this);
  m_finish.SubclassDlgItem(IDC_REP_FINISH, this);
  SkinBackButton(m_open);
  SkinForwardButton(m_finish);
  SkinBackButton(m_back);
  for (int i = 0; i < 12; ++i) {
    m_labels[i].SubclassDlgItem(kLabelIds[i], this);
    StyleBodyText(m_labels[i], i % 2 == 0 && i < 8);
  }
  for (int i : {1, 3, 5, 7}) m_labels[i].SetTextColor(kFigure);
  for (int i : {8, 9}) StyleHeading(m_labels[i]);
  m_labels[10].SetTextColor(RGB(214, 94, 0));
  m_labels[11].SetTextColor(RGB(214, 230, 248)).SetFontName("Arial");
  // The big number in the gap of the sentence.
  m_big.SubclassDlgItem(IDC_REP_BIG_COUNT, this);
  m_big.SetFontName("Arial").SetFontSize(30).SetFontBold(TRUE).SetTextColor(kFigure).SetTransparent(TRUE);

  if (m_facts.stopped) {
    // Never "done" after a stop: the heading says the copy-out was stopped.
    CString stopped;
    stopped.LoadString(IDS_REPORT_STOPPED_BEFORE);
    m_labels[8].SetText(stopped);
  }
  LayOutHeading();

  // The note only when fewer files came back whole than were chosen, or the
  // copy-out was stopped: then it says what became of the others.
  m_partialShown = m_facts.recovered != m_facts.chosen || m_facts.stopped;
  if (m_partialShown) {
    CString failedNote;
    m_labels[10].GetWindowText(failedNote);   // the template's own words for failed files
    m_labels[10].SetText(ReportBreakdown(m_facts, failedNote));
  }
  m_labels[10].ShowWindow(m_partialShown ? SW_SHOW : SW_HIDE);

  if (CPageHost* host = PageHost()) {
    CString version;
    GetOwnVersionString(version);
    ReportRoadFinished(host->Stats(), version);
  }
  return TRUE;
}

namespace {

// The width the text of a control takes in its own font.
int TextWidthOf(HWND control) {
  char text[256] = "";
  const int length = ::GetWindowTextA(control, text, sizeof text);
  HDC dc = ::GetDC(control);
  if (!dc) return 0;
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)));
  SIZE size = {};
  ::GetTextExtentPoint32A(dc, text, length, &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  return size.cx;
}

}  // namespace

void CRecoveryReportPage::LayOutHeading() {
  // The sentence, the big number and "个" side by side, each as wide as its
  // text: a nine-digit count fits whole and never touches its neighbours.
  HWND before = ::GetDlgItem(m_hWnd, IDC_REP_DONE_BEFORE);
  HWND big = ::GetDlgItem(m_hWnd, IDC_REP_BIG_COUNT);
  HWND after = ::GetDlgItem(m_hWnd, IDC_REP_DONE_AFTER);
  if (!before || !big || !after) return;
  CRect b = ChildRectOf(before), n = ChildRectOf(big), a = ChildRectOf(after);
  const int gap = 8;
  const int beforeWidth = TextWidthOf(before) + 2;
  const int bigWidth = TextWidthOf(big) + 4;
  const int afterWidth = TextWidthOf(after) + 2;
  ::SetWindowPos(before, nullptr, b.left, b.top, beforeWidth, b.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
  const int bigLeft = b.left + beforeWidth + gap;
  ::SetWindowPos(big, nullptr, bigLeft, n.top, bigWidth, n.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
  ::SetWindowPos(after, nullptr, bigLeft + bigWidth + gap, a.top, afterWidth, a.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

CRect CRecoveryReportPage::ChildRectOf(HWND child) const {
  CRect r;
  ::GetWindowRect(child, &r);
  ScreenToClient(&r);
  return r;
}

void CRecoveryReportPage::PaintBody(CDC* dc, const CRect&) {
  CRect panel(48, 80, 592, 400);
  PaintPanel(dc, panel);
  CBitmap picture;
  if (picture.LoadBitmap(m_facts.stopped ? IDB_REPORT_STOPPED_PICTURE : IDB_REPORT_PICTURE))
    dc->DrawBitmap(picture, 60, 96, 80, 66);
}

void CRecoveryReportPage::OnOpenFolder() {
  if (PathFileExistsA(m_facts.folder)) {
    ShellExecuteA(m_hWnd, "Explore", m_facts.folder, nullptr, nullptr, SW_SHOWNORMAL);
    return;
  }
  CString text;
  text.LoadString(IDS_CANNOT_OPEN_PATH);
  MessageBox(text, m_caption, MB_OK);
}

void CRecoveryReportPage::OnFinish() {
  if (CPageHost* host = PageHost()) host->ShowMainWindow();
  EndReport();
}

void CRecoveryReportPage::OnCloseBox() { OnFinish(); }
void CRecoveryReportPage::OnClose() { OnFinish(); }

void CRecoveryReportPage::OnBackButton() {
  if (m_backTo) m_backTo->ShowWindow(SW_SHOW);
  EndReport();
}
