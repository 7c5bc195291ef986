// STAND-IN for the main window (dialog 102). The real main window, with its
// mode buttons, tips, command line and page switching, replaces these two
// files (and resources/rc/main.rc); until then this window lets the program
// start, show the About box and close the way the main window does: the close
// button and the system close command end it with IDOK, Enter and Esc do not.
#pragma once
#include "framework.h"

class CRestovaDlg : public CDialog {
 public:
  CRestovaDlg();

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override {}
  void OnCancel() override {}
  void OnClose();
  void OnMinimise();
  void OnAbout();
  void OnSysCommand(UINT id, LPARAM lp);
  LRESULT OnNcHitTest(CPoint point);
  BOOL OnEraseBkgnd(CDC* dc);
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  void OnDrawItem(int id, LPDRAWITEMSTRUCT dis);
  DECLARE_MESSAGE_MAP()

 private:
  void CloseRoad();
  HICON m_icon = nullptr;
  CFont m_titleFont;
};
