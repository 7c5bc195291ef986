#include "updata_dlg.h"

#include "messages.h"
#include "resource.h"
#include "tarnclient.h"

namespace {

const COLORREF kTextColour = RGB(90, 90, 90);
const COLORREF kBackground = 0xFBF6F2;
// How long the finished state shows before the dialog goes.
const DWORD kDoneShowMs = 400;

}  // namespace

// ---- the callback: runs on the update worker, only posts --------------------

int TARN_THISCALL CQUpdateCallback::OnProgress(const wchar_t*, int, int percent) {
  if (StopRequested()) {
    InterlockedExchange(&m_stopSent, 1);
    return 0;
  }
  ::PostMessageA(m_dialog, WM_UPDATE_PROGRESS, 0, percent);
  return 1;
}

int TARN_THISCALL CQUpdateCallback::OnFinish(int code) {
  InterlockedExchange(&m_result, code);
  if (code == TARN_UPDATE_REUPDATE)
    ::PostMessageA(m_dialog, WM_UPDATE_NEEDS_RESTART, 0, 0);
  else if (code == 0 || code == 1 || code == 0x20010002 || code < 0)
    ::PostMessageA(m_dialog, WM_CLOSE, 0, 0);
  return 1;
}

// ---- the dialog ------------------------------------------------------------

BEGIN_MESSAGE_MAP(CUpdataDlg, CDialog)
  ON_MESSAGE(WM_UPDATE_PROGRESS, &CUpdataDlg::OnUpdateProgress)
  ON_MESSAGE(WM_UPDATE_NEEDS_RESTART, &CUpdataDlg::OnUpdateNeedsRestart)
  ON_MESSAGE(WM_UPDATE_DONE, &CUpdataDlg::OnUpdateDone)
  ON_BN_CLICKED(IDC_CLOSE, &CUpdataDlg::OnCloseButton)
  ON_WM_CLOSE()
  ON_WM_SYSCOMMAND()
  ON_WM_NCHITTEST()
  ON_WM_ERASEBKGND()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CUpdataDlg::CUpdataDlg(ITarnUpdate* updater, CWnd* parent)
    : CDialog(IDD_UPDATE, parent), m_updater(updater) {}

// A dialog object never outlives its worker: it holds the callback the
// worker calls.
CUpdataDlg::~CUpdataDlg() {
  m_callback.RequestStop();
  m_worker.reset();
}

void CUpdataDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_UPDATE_PROGRESS, m_progress);
  DDX_Control(dx, IDC_CLOSE, m_close);
  DDX_Control(dx, IDC_UPDATE_STATUS, m_statusLabel);
  DDX_Control(dx, IDC_UPDATE_TITLE, m_title);
  DDX_Text(dx, IDC_UPDATE_STATUS, m_status);
}

BOOL CUpdataDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_callback.m_dialog = m_hWnd;

  CString name;
  if (!name.LoadString(IDS_APP_TITLE)) name = "奎隆数据恢复";
  SetWindowText(name);   // no title bar: the name is for the task list
  m_icon = static_cast<HICON>(
      LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_UPDATE), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
  if (m_icon) {
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
  }

  m_close.SetSkin(IDB_CLOSE, IDB_CLOSE, IDB_CLOSE_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
  m_close.SetCursor(IDCUR_HAND);
  {
    // At the picture's own 30 x 24 in the corner: stretched, its gradient
    // would no longer meet the band's.
    CRect client;
    GetClientRect(&client);
    m_close.SetWindowPos(nullptr, client.right - 30, 0, 30, 24, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  m_title.SetText(name).SetTextColor(RGB(255, 255, 255)).SetFontBold(TRUE).SetFontSize(12).SetTransparent(TRUE);
  m_statusLabel.SetTextColor(kTextColour).SetTransparent(TRUE);
  m_progress.SetPos(100, 0);

  m_status = LoadText(IDS_UPDATE_RUNNING);
  UpdateData(FALSE);

  m_threadFinished = 0;
  if (m_updater) m_worker = AfxBeginThread(&CUpdataDlg::UpdateThreadProc, this);
  if (!m_worker) PostMessage(WM_UPDATE_DONE);   // nothing to run: end as after an update
  return TRUE;
}

UINT CUpdataDlg::UpdateThreadProc(LPVOID param) {
  CUpdataDlg* dlg = static_cast<CUpdataDlg*>(param);
  InterlockedExchange(&dlg->m_threadFinished, 0);
  dlg->m_updater->RunUpdate(&dlg->m_callback);   // returns after OnFinish
  InterlockedExchange(&dlg->m_threadFinished, 1);
  ::PostMessageA(dlg->m_callback.m_dialog, WM_UPDATE_DONE, 0, 0);
  return 0;
}

LRESULT CUpdataDlg::OnUpdateProgress(WPARAM, LPARAM percent) {
  m_progress.SetPos(100, static_cast<int>(percent));
  return 0;
}

LRESULT CUpdataDlg::OnUpdateNeedsRestart(WPARAM, LPARAM) {
  if (m_updater) m_updater->StartReupdate(nullptr, 0);
  return 0;
}

LRESULT CUpdataDlg::OnUpdateDone(WPARAM, LPARAM) {
  m_progress.SetPos(100, 100);
  // An update that failed says so; one that was stopped cannot say more than
  // that it ended (the library reports a stop like a finished run).
  UINT text = m_callback.Result() < 0 ? IDS_UPDATE_FAILED
              : m_callback.StopSent() ? IDS_UPDATE_ENDED
                                      : IDS_UPDATE_DONE;
  m_status = LoadText(text);
  UpdateData(FALSE);
  UpdateWindow();
  Sleep(kDoneShowMs);
  if (m_worker) m_worker->Join();   // it posted this as its last step
  EndDialog(IDCANCEL);
  return 0;
}

// Asks the update to stop; the dialog still ends through WM_UPDATE_DONE.
void CUpdataDlg::OnClose() { m_callback.RequestStop(); }

void CUpdataDlg::OnSysCommand(UINT id, LPARAM lParam) {
  if ((id & 0xFFF0) == SC_CLOSE && lParam == 0) return;
  Default();
}

// The close button stops the update the same way: ending the process here
// could cut a program file in the middle of its replacement.
void CUpdataDlg::OnCloseButton() {
  if (m_callback.StopRequested()) return;
  m_callback.RequestStop();
  m_close.EnableWindow(FALSE);
  m_status = LoadText(IDS_UPDATE_STOPPING);
  UpdateData(FALSE);
}

LRESULT CUpdataDlg::OnNcHitTest(CPoint point) {
  LRESULT hit = CDialog::OnNcHitTest(point);
  return hit == HTCLIENT ? HTCAPTION : hit;
}

BOOL CUpdataDlg::OnEraseBkgnd(CDC* dc) {
  CRect client;
  GetClientRect(&client);
  CBitmap background;
  if (!background.LoadBitmap(IDB_UPDATE_BACKGROUND)) {
    CBrush brush;
    brush.CreateSolidBrush(kBackground);
    dc->FillRect(&client, brush);
    return TRUE;
  }
  dc->DrawBitmap(background, 0, 0, client.Width(), client.Height());
  return TRUE;
}

void CUpdataDlg::OnDestroy() {
  if (m_icon) {
    DestroyIcon(m_icon);
    m_icon = nullptr;
  }
  CDialog::OnDestroy();
}

void RunUpdateDialog(CWnd* owner) {
  CTarnClient& client = GetServiceModuleClient();
  if (!client.IsLoaded() || !client.updater) return;
  CUpdataDlg dlg(client.updater, owner);
  dlg.DoModal();
}
