// The main window (dialog 102): six mode buttons that each start a recovery
// road, the About box behind the logo, links, a rotating tip from "item.ini",
// the command-line switches that start a road at once, the launch statistics
// event, and the page switcher: the first page of a road opens as a popup of
// its own while the main window hides.
#pragma once
#include "framework.h"
#include "label.h"
#include "resource.h"
#include "skinbutton.h"
#include "tabstrip.h"

// Page kinds of ShowPage.
enum PageKind {
  kPageStart = 0,           // the start page inside the main window
  kPageDeletedFiles = 1,    // deleted-file location page
  kPageUnformat = 2,        // unformat location page
  kPageDeepRecovery = 3,    // deep-recovery location page
  kPagePartition = 4,       // partition page
  kPageToolBox = 5,         // the tool box inside the main window
  kPageRemovable = 6,       // deep-recovery page for removable devices
  kPageLostPartition = 7,   // deep-recovery page over whole disks
  kPageKindCount = 8
};

// The command a command line asks for: the part from its last '-' on,
// compared whole and without regard to case with "-fixusb", "-fixdel",
// "-fixfmt", "-fixraw" (mode buttons 2149, 2146, 2147, 2148); 0 for anything
// else. fromUsb is set for "-fixusb".
UINT LaunchCommandOf(const char* commandLine, bool* fromUsb);

// A mode button: its picture, the caption under it and a line of explanation.
class CModeButton : public CATSkinButton {
 protected:
  void DrawCaption(HDC dc, const RECT& item, UINT state) override;
  void DrawSubText(HDC dc, const RECT& item, UINT state) override;
};

// The start page and the tool box: pages drawn inside the main window; their
// buttons do nothing of their own.
class CMainPageDlg : public CDialog {
 public:
  CMainPageDlg() : CDialog(IDD_MAIN_PAGE) {}

 protected:
  BOOL OnEraseBkgnd(CDC* dc);
  void OnOK() override {}
  void OnCancel() override {}
  DECLARE_MESSAGE_MAP()
};

class CToolBoxDlg : public CMainPageDlg {
 public:
  CToolBoxDlg() { m_nIDTemplate = IDD_TOOLBOX; }
};

class CRestovaDlg : public CDialog {
 public:
  CRestovaDlg();
  ~CRestovaDlg() override;

  // Shows the first page of a road (PageKind) and hides the main window; 1
  // when a page is shown. A kind above 7 shows the current page again; a
  // kind whose road is not in this build shows nothing and returns 0.
  int ShowPage(int index);
  bool CanShowPage(int index) const;
  // The deep-recovery page when the nothing-found page has asked for it.
  int ShowDeepScanPage();

  CDialog* CurrentPage() const { return m_current; }
  CDialog* PageOfKind(int index) const;
  BOOL LaunchedFromUsb() const { return m_launchFromUsb; }
  int TipIndex() const { return m_tipIndex; }
  int TipCount() const { return m_tipCount; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override {}
  void OnCancel() override {}
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  BOOL OnEraseBkgnd(CDC* dc);
  void OnDestroy();
  void OnSysCommand(UINT id, LPARAM lp);
  LRESULT OnNcHitTest(CPoint point);
  void OnShowWindow(BOOL show, UINT status);
  void OnTimer(UINT_PTR id);
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  LRESULT OnShowPageMessage(WPARAM, LPARAM lp);
  LRESULT OnTabClicked(WPARAM, LPARAM tab);

  void OnMenuDeletedTab();
  void OnMenuUnformatTab();
  void OnMenuPartitionTab();
  void OnMenuDeepTab();
  void OnPageCommand(UINT id);
  void OnNothing() {}
  void OnScanSettings();
  void OnUnformatSettings();
  void OnAbout();
  void OnMinimise();
  void OnCloseButton();
  void OnHomeDirect();
  void OnHomeBrowser();
  void OnServicePage();
  void OnHelpPage();
  void OnContactPage();
  void OnProductPage();
  void OnForum();
  void OnReadme();
  void OnUpdate();

  void OnModeDeleted();
  void OnModeUnformat();
  void OnModeDeep();
  void OnModeRemovable();
  void OnModeRecycle();
  void OnModeLostPartition();
  LRESULT OnWindowPosChanged(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  void CloseRoad();
  void ShowNextTip();
  // m_folder + "item.ini", or empty without the folder.
  CStringW ItemIniPath() const { return m_folder.IsEmpty() ? CStringW() : m_folder + L"item.ini"; }
  void SelectTabAndShow(UINT tab, int page);
  void OpenInBrowser(UINT urlString);
  // Mode buttons: the statistics' road, and whether the recycle-bin mode is left.
  void StartRoad(int fixtype2, bool clearRecycleMode);
  void DestroyPageAt(int slot);

  // One page per kind; the three deep-recovery kinds share a slot.
  CDialog* m_kindPages[6] = {};
  CDialog* m_current = nullptr;
  BOOL m_launchFromUsb = FALSE;
  int m_tipIndex = 0;
  int m_tipCount = 0;
  int m_tipCharWidth = 0;
  BOOL m_tipPaused = FALSE;
  CString m_version;
  CStringW m_folder;   // the program's folder, wide and whole (module_path.h)
  HICON m_icon = nullptr;

  CModeButton m_modes[6];
  CATSkinButton m_banner;
  CxSkinButton m_minimise;
  CxSkinButton m_close;
  CLabel m_heading;
  CLabel m_note;
  CLabel m_forum;
  CLabel m_feedback;
  CLabel m_settings;
  CLabel m_tip;
  CTabStatic m_tabs;
};
