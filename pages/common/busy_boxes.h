// The small boxes that stand between a page and its worker thread.
//
// CStopScanMBDlg asks whether a running scan is to be stopped. It keeps its
// own answer, which every question starts at No; only the Yes button sets it
// (Enter, Esc and closing the box all mean No, as does the scan ending while
// the question is open). The page reads the answer when the box returns:
//
//   if (m_stopBox.Ask() == 1) { ... stop ... }
//
// The busy boxes are modeless: Show() disables the owner page until the box's
// window goes away, and the page ends the box when its worker has finished
// (WM_FILELIST_DONE for the fill boxes, WM_BUSYBOX_CLOSE or DestroyWindow for
// the stop box of a copy-out).
#pragma once
#include "bars.h"
#include "framework.h"
#include "label.h"
#include "messages.h"
#include "skinbutton.h"

// "Stop the scan?" (dialog 279).
class CStopScanMBDlg : public CDialog {
 public:
  explicit CStopScanMBDlg(CWnd* parent = nullptr);

  // Runs the question modally over the parent window; the answer is reset
  // to No first. Returns the answer: 1 stop, 0 go on.
  int Ask();
  INT_PTR DoModal() override;
  int Answer() const { return m_answer; }
  bool IsAsking() const { return IsModalRunning(); }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;       // Enter: the default button is No
  void OnCancel() override;   // Esc and the close command: No
  void OnYes();
  void OnNo();
  // WM_STOPBOX_END: the scan has ended while the question was open.
  LRESULT OnStopBoxEnd(WPARAM, LPARAM);
  BOOL OnEraseBkgnd(CDC* dc);
  LRESULT OnNcHitTest(CPoint point);
  DECLARE_MESSAGE_MAP()

  int m_answer = 0;
  CATSkinButton m_yes;
  CATSkinButton m_no;
  CLabel m_title;
  CLabel m_question;
  CLabel m_note;
};

// The one stop box of the scan pages that do not keep their own (made at
// start-up, no parent: those pages set m_pParentWnd before asking).
extern CStopScanMBDlg gStopScanBox;

// Busy box while a result page fills its list (dialog 261; the unformat and
// deep result pages use the twin CProtectingDlgUf, dialog 361).
class CProtectingDlg : public CDialog {
 public:
  explicit CProtectingDlg(CWnd* parent = nullptr);

  // Disables the parent's top-level window (when it is enabled) and creates
  // the box over it, hidden and centred; the page shows it. FALSE when the
  // box cannot be made (the owner is enabled again).
  BOOL Show(CWnd* parent);
  // Enables the owner again when this box disabled it, then destroys the box.
  BOOL DestroyWindow() override;
  // Dispatches whatever waits in the calling thread's queue.
  void PumpMessages();

  HWND Owner() const { return m_owner; }
  BOOL OwnerDisabledByBox() const { return m_ownerDisabled; }
  CQCBusyProgressCtrl& Bar() { return m_bar; }
  // The running count under the bar (boxes whose template has one).
  void SetCountText(const char* text);
  // The stop button was pressed (the page was sent WM_FILELIST_STOP).
  bool StopAsked() const { return m_stopAsked; }

 protected:
  CProtectingDlg(UINT templateId, CWnd* parent);
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnOK() override {}
  void OnCancel() override {}
  // WM_FILELIST_DONE, passed on by the page: the list is filled.
  LRESULT OnFileListDone(WPARAM, LPARAM);
  void OnSysCommand(UINT id, LPARAM lp);
  void OnDestroy();
  BOOL OnEraseBkgnd(CDC* dc);
  void OnStop();
  DECLARE_MESSAGE_MAP()

  CQCBusyProgressCtrl m_bar;
  CLabel m_title;
  CLabel m_text;
  CLabel m_count;
  CATSkinButton m_stop;
  HWND m_owner = nullptr;
  HWND m_page = nullptr;   // who is told of the stop
  BOOL m_ownerDisabled = FALSE;
  bool m_stopAsked = false;
};

class CProtectingDlgUf : public CProtectingDlg {
 public:
  explicit CProtectingDlgUf(CWnd* parent = nullptr);
};

// Busy box of the partition rebuild and of a cancelled copy-out (dialog 263).
class CStopRecoveryScrollBar : public CDialog {
 public:
  explicit CStopRecoveryScrollBar(CWnd* parent = nullptr);

  // As CProtectingDlg::Show, for a modeless box.
  BOOL Show(CWnd* parent);
  BOOL DestroyWindow() override;

  int m_messageMode = 0;   // 1: the label says the partition table is being rebuilt (string 49)
  HWND Owner() const { return m_owner; }
  BOOL OwnerDisabledByBox() const { return m_ownerDisabled; }

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnOK() override {}
  void OnCancel() override {}
  // WM_BUSYBOX_CLOSE: the worker has ended.
  LRESULT OnBusyBoxClose(WPARAM, LPARAM);
  void OnClose() {}
  void OnDestroy();
  BOOL OnEraseBkgnd(CDC* dc);
  DECLARE_MESSAGE_MAP()

  CLabel m_label;
  CLabel m_title;
  CQCBusyProgressCtrl m_bar;
  HWND m_owner = nullptr;
  BOOL m_ownerDisabled = FALSE;
};
