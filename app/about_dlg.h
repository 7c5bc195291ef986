// The About box (dialog 277): the version, the product's home and forum pages
// as links, and OK. Pages build one on the stack and run it with DoModal; a
// page that keeps one as a member closes it with WM_ABOUT_CLOSE.
#pragma once
#include "framework.h"
#include "label.h"
#include "messages.h"   // WM_ABOUT_CLOSE
#include "skinbutton.h"

class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(CWnd* parent = nullptr);

  CString m_version;   // the text of control 1103

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  LRESULT OnAboutClose(WPARAM, LPARAM);
  void OnProductLink();
  void OnForumLink();
  LRESULT OnNcHitTest(CPoint point);
  BOOL OnEraseBkgnd(CDC* dc);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  void OpenPage(UINT urlString);
  CLabel& Label(int id);

  CBrush m_brush;
  CLabel m_labels[11];
  CATSkinButton m_ok;
  CxSkinButton m_banner;
  HCURSOR m_cursor = nullptr;
  CFont m_nameFont;
  CFont m_boldFont;
};
