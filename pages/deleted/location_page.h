// First page of the deleted-file road: the user picks a drive or folder in a
// browse tree and goes on to the scan page. The search-conditions dialog
// edits the page's file-type filter (name part, date range, kinds).
#pragma once
#include <windows.h>

#include <string>

#include "browsetree.h"
#include "filetype_filter.h"
#include "wizard_page.h"

// ---- checks, without a window -------------------------------------------------------

// The scan target made of the tree's choice: a drive alone ("X:") gets its
// backslash, the drive letter is made upper-case. Returns 0 when the target
// may be scanned, else the string to show: 37 nothing chosen; 38 not a drive
// path, drive A: or B:, a CD-ROM or network drive, or a path too long for the
// scan. driveType is GetDriveTypeA (injectable for tests); it gets the root.
UINT CheckScanLocation(const std::string& chosen, std::string* target,
                       UINT (*driveType)(const char* root) = nullptr);

// Dates before 1970-01-02 become that day at 00:00, dates after 2038-01-18
// that day at 00:00. True when the date was changed.
bool ClampConditionDate(SYSTEMTIME* date);

// ---- the page ------------------------------------------------------------------------

class CRFilesDlg : public CWizardPage {
 public:
  explicit CRFilesDlg(CWnd* parent = nullptr);

  const CString& ChosenPath() const { return m_path; }
  CFileTypeFilter& Filter() { return m_filter; }
  CBrowseTreeCtrl& Tree() { return m_tree; }

 protected:
  BOOL OnInitDialog() override;
  void PaintBody(CDC* dc, const CRect& client) override;
  void OnNext();
  void OnBack();
  void OnClose();
  void OnConditions();
  void OnAboutArea() { OnBanner(); }
  void OnWeb() { OnWebButton(); }
  void OnForum() {}
  DECLARE_MESSAGE_MAP()

  CBrowseTreeCtrl m_tree;
  CFont m_treeFont;
  CString m_path;
  CFileTypeFilter m_filter;
  CATSkinButton m_next;
  CATSkinButton m_back;
  CLabel m_heading;
  CLabel m_note;
};

// The search conditions (dialog 156), run modally by the location page.
class CRAppFilesDlg : public CDialog {
 public:
  CRAppFilesDlg(CFileTypeFilter& filter, CWnd* parent);

  CString m_name;          // edit 1027
  int m_dateMode = 0;      // combo 1023
  __time64_t m_from = 0;   // picker 1066
  __time64_t m_to = 0;     // picker 1067
  int m_pictures = 0, m_audio = 0, m_video = 0, m_office = 0, m_zrt = 0;

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnOK() override;
  void OnApply();
  void OnLeave();
  void OnClose() { OnLeave(); }
  void OnDateModeChange();
  void OnFromChange(NMHDR* hdr, LRESULT* result);
  void OnToChange(NMHDR* hdr, LRESULT* result);
  void OnNothing() {}
  BOOL OnEraseBkgnd(CDC* dc);
  LRESULT OnNcHitTest(CPoint point);
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  DECLARE_MESSAGE_MAP()

 private:
  void SetPicker(int id, const SYSTEMTIME& when);
  void ClampPicker(int id);

  CFileTypeFilter& m_filter;
  CString m_caption;
  CBrush m_panel;
  CLabel m_title;
  CATSkinButton m_ok;
  CATSkinButton m_cancel;
};
