// The update dialog (dialog 473): shown when the main window closes while the
// service library is loaded. A worker runs the library's update with a
// callback that turns progress and result into posted messages; the dialog
// ends when the worker has finished (WM_UPDATE_DONE), whatever the result.
// Closing it only asks the update to stop: the worker always ends first, so
// no file of the program is left half written.
#pragma once
#include <memory>

#include "bars.h"
#include "framework.h"
#include "label.h"
#include "skinbutton.h"
#include "tarnapi.h"

class CQUpdateCallback : public ITarnUpdateCallback {
 public:
  // A return of 0 asks the library to stop; otherwise the percent is posted.
  int TARN_THISCALL OnProgress(const wchar_t* text, int length, int percent) override;
  // Files in use: WM_UPDATE_NEEDS_RESTART; 0, 1, 0x20010002 and errors:
  // WM_CLOSE; any other code posts nothing.
  int TARN_THISCALL OnFinish(int code) override;

  void RequestStop() { InterlockedExchange(&m_cancel, 1); }
  bool StopRequested() const { return InterlockedCompareExchange(const_cast<LONG*>(&m_cancel), 0, 0) != 0; }
  LONG Result() const { return InterlockedCompareExchange(const_cast<LONG*>(&m_result), 0, 0); }
  bool StopSent() const { return InterlockedCompareExchange(const_cast<LONG*>(&m_stopSent), 0, 0) != 0; }

  volatile LONG m_cancel = 0;
  // What the library reported (an error until it reports), and whether the
  // library was asked to stop: the dialog's last words depend on both.
  volatile LONG m_result = -1;
  volatile LONG m_stopSent = 0;
  HWND m_dialog = nullptr;
};

class CUpdataDlg : public CDialog {
 public:
  // updater: the library's update object (the dialog neither owns nor releases it).
  explicit CUpdataDlg(ITarnUpdate* updater, CWnd* parent = nullptr);
  ~CUpdataDlg() override;

  CQUpdateCallback m_callback;
  volatile LONG m_threadFinished = 0;
  CMyProgressBar m_progress;
  CString m_status;

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnOK() override {}       // Enter does not close the dialog
  void OnCancel() override {}   // nor does Escape
  LRESULT OnUpdateProgress(WPARAM, LPARAM percent);
  LRESULT OnUpdateNeedsRestart(WPARAM, LPARAM);
  LRESULT OnUpdateDone(WPARAM, LPARAM);
  void OnClose();
  void OnSysCommand(UINT id, LPARAM lParam);
  void OnCloseButton();
  LRESULT OnNcHitTest(CPoint point);
  BOOL OnEraseBkgnd(CDC* dc);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  static UINT UpdateThreadProc(LPVOID param);

  ITarnUpdate* m_updater;
  std::unique_ptr<CWinThread> m_worker;
  CATSkinButton m_close;
  CLabel m_statusLabel;
  CLabel m_title;
  HICON m_icon = nullptr;
};

// Runs the dialog when the service library and its update object are there.
void RunUpdateDialog(CWnd* owner);
