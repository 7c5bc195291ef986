// Dialogs: the modal loop routes keyboard messages to modeless pages, modal
// dialogs disable and give back their owner, and data exchange moves values
// between members and controls.
#include <gtest/gtest.h>

#include "framework.h"
#include "fwtest_ids.h"
#include "testsupport.h"

namespace {

constexpr UINT WM_STEP = WM_APP + 10;
constexpr UINT_PTR kWatchdog = 77;

// ---- a modal main window with a modeless page, as the program runs -----------

class CMainDlg;

class CPageDlg : public CDialog {
 public:
  explicit CPageDlg(CMainDlg* main) : main_(main) {}
  HWND focusAfterTab = nullptr;
  HWND secondEdit = nullptr;
  int okCount = 0;

 protected:
  void OnOK() override;
  void OnCancel() override {}
  LRESULT OnStep(WPARAM step, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  CMainDlg* main_;
};

class CMainDlg : public CDialog {
 public:
  CMainDlg() : CDialog(IDD_FW_MAIN), page(this) {}
  CPageDlg page;
  bool timedOut = false;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    SetTimer(kWatchdog, 10000);   // never hang the test run
    // As the program does: the page is a modeless popup, the main window hides.
    page.Create(IDD_FW_PAGE, this);
    page.ShowWindow(SW_SHOW);
    ShowWindow(SW_HIDE);
    page.PostMessage(WM_STEP, 1);
    return TRUE;
  }
  void OnTimer(UINT_PTR id) {
    if (id == kWatchdog) {
      timedOut = true;
      EndDialog(-2);
    }
  }
  void OnOK() override {}   // Enter on the (hidden) main window does nothing
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CMainDlg, CDialog)
  ON_WM_TIMER()
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CPageDlg, CDialog)
  ON_MESSAGE(WM_STEP, &CPageDlg::OnStep)
END_MESSAGE_MAP()

// Keys are posted to the focused control, as the keyboard would deliver them:
// only a loop that offers them to the page's IsDialogMessage turns Tab into a
// focus move and Enter into the default button's IDOK.
LRESULT CPageDlg::OnStep(WPARAM step, LPARAM) {
  HWND edit1 = ::GetDlgItem(m_hWnd, IDC_FW_PAGE_EDIT1);
  if (step == 1) {
    SetForegroundWindow();
    ::SetFocus(edit1);
    ::PostMessageA(::GetFocus(), WM_KEYDOWN, VK_TAB, 0x000F0001);
    PostMessage(WM_STEP, 2);
  } else if (step == 2) {
    focusAfterTab = ::GetFocus();
    secondEdit = ::GetDlgItem(m_hWnd, IDC_FW_PAGE_EDIT2);
    ::PostMessageA(focusAfterTab, WM_KEYDOWN, VK_RETURN, 0x001C0001);
  }
  return 0;
}

void CPageDlg::OnOK() {
  ++okCount;
  main_->EndDialog(IDOK);
}

TEST(ModalLoop, KeyboardReachesTheModelessPageWhileTheMainWindowRunsModally) {
  CMainDlg main;
  EXPECT_EQ(main.DoModal(), IDOK);
  EXPECT_FALSE(main.timedOut);
  ASSERT_NE(main.page.secondEdit, nullptr);
  EXPECT_EQ(main.page.focusAfterTab, main.page.secondEdit);
  EXPECT_EQ(main.page.okCount, 1);
  EXPECT_EQ(main.page.m_hWnd, nullptr);   // an owned page goes with its owner
}

// ---- a modal box over a page --------------------------------------------------

class CModalDlg : public CDialog {
 public:
  explicit CModalDlg(CWnd* parent) : CDialog(IDD_FW_MODAL, parent) {}
  BOOL ownerEnabledInside = TRUE;
  CString text;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    ownerEnabledInside = ::IsWindowEnabled(m_pParentWnd->m_hWnd);
    SetTimer(kWatchdog, 10000, nullptr);
    // Esc on the edit box: the dialog manager makes it IDCANCEL.
    HWND edit = ::GetDlgItem(m_hWnd, IDC_FW_EDIT);
    ::SetFocus(edit);
    ::PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    return FALSE;   // focus set here
  }
  void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, IDC_FW_EDIT, text); }
  void OnTimer(UINT_PTR) { EndDialog(-2); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CModalDlg, CDialog)
  ON_WM_TIMER()
END_MESSAGE_MAP()

TEST(ModalLoop, ModalDialogDisablesItsOwnerAndEndsWithEsc) {
  CDialog owner(IDD_FW_PAGE);
  ASSERT_TRUE(owner.Create(IDD_FW_PAGE));
  owner.ShowWindow(SW_SHOW);
  CModalDlg box(&owner);
  box.text = "初始";
  EXPECT_EQ(box.DoModal(), IDCANCEL);
  EXPECT_FALSE(box.ownerEnabledInside);
  EXPECT_TRUE(owner.IsWindowEnabled());
  EXPECT_EQ(box.m_hWnd, nullptr);   // destroyed after the loop
  owner.DestroyWindow();
}

TEST(ModalLoop, MissingTemplateGivesMinusOne) {
  CDialog none(4242);
  EXPECT_EQ(none.DoModal(), -1);
}

// ---- data exchange -------------------------------------------------------------

class CExchangeDlg : public CDialog {
 public:
  CExchangeDlg() : CDialog(IDD_FW_CONTROLS) {}
  CString name = "数据恢复";
  int number = 42;
  int check = BST_CHECKED;
  int radio = 2;
  int combo = 1;
  __time64_t when = 0;
  CStatic label;

 protected:
  BOOL OnInitDialog() override {
    for (const char* entry : {"不检查日期", "文件创建日期", "文件修改日期"})
      SendDlgItemMessage(IDC_FW_COMBO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    return CDialog::OnInitDialog();
  }
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, IDC_FW_STATIC, label);
    DDX_Text(dx, IDC_FW_EDIT, name);
    DDV_MaxChars(dx, name, 259);
    DDX_Text(dx, IDC_FW_NUMBER, number);
    DDX_Check(dx, IDC_FW_CHECK, check);
    DDX_Radio(dx, IDC_FW_RADIO1, radio);
    DDX_CBIndex(dx, IDC_FW_COMBO, combo);
    DDX_DateTimeCtrl(dx, IDC_FW_DATE, when);
  }
  void OnOK() override {}
  void OnCancel() override {}
};

TEST(DataExchange, MembersToControlsAndBack) {
  CExchangeDlg dlg;
  SYSTEMTIME st = {2010, 6, 0, 15, 12, 34, 56, 0};
  ASSERT_TRUE(fw::LocalSystemTimeToTime64(st, &dlg.when));
  ASSERT_TRUE(dlg.Create(IDD_FW_CONTROLS));   // OnInitDialog: UpdateData(FALSE)

  EXPECT_EQ(CWnd::FromHandlePermanent(::GetDlgItem(dlg.m_hWnd, IDC_FW_STATIC)), &dlg.label);
  CString text;
  dlg.GetDlgItemText(IDC_FW_EDIT, text);
  EXPECT_EQ(text, CString("数据恢复"));
  dlg.GetDlgItemText(IDC_FW_NUMBER, text);
  EXPECT_EQ(text, "42");
  EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_FW_CHECK), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_FW_RADIO3), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_FW_RADIO1), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_EQ(dlg.SendDlgItemMessage(IDC_FW_COMBO, CB_GETCURSEL), 1);
  EXPECT_EQ(dlg.SendDlgItemMessage(IDC_FW_EDIT, EM_GETLIMITTEXT), 259);

  // The user changes everything...
  dlg.SetDlgItemText(IDC_FW_EDIT, "照片");
  dlg.SetDlgItemText(IDC_FW_NUMBER, "-7");
  dlg.CheckDlgButton(IDC_FW_CHECK, BST_UNCHECKED);
  dlg.CheckRadioButton(IDC_FW_RADIO1, IDC_FW_RADIO3, IDC_FW_RADIO1);
  dlg.SendDlgItemMessage(IDC_FW_COMBO, CB_SETCURSEL, 2);
  SYSTEMTIME later = {2038, 1, 0, 18, 0, 0, 0, 0};
  dlg.SendDlgItemMessage(IDC_FW_DATE, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&later));

  // ...and UpdateData(TRUE) reads it back.
  ASSERT_TRUE(dlg.UpdateData(TRUE));
  EXPECT_EQ(dlg.name, CString("照片"));
  EXPECT_EQ(dlg.number, -7);
  EXPECT_EQ(dlg.check, BST_UNCHECKED);
  EXPECT_EQ(dlg.radio, 0);
  EXPECT_EQ(dlg.combo, 2);
  SYSTEMTIME back;
  ASSERT_TRUE(fw::Time64ToLocalSystemTime(dlg.when, &back));
  EXPECT_EQ(back.wYear, 2038);
  EXPECT_EQ(back.wMonth, 1);
  EXPECT_EQ(back.wDay, 18);
  dlg.DestroyWindow();
}

TEST(DataExchange, ABadNumberFailsAndFocusesItsControl) {
  CExchangeDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_FW_CONTROLS));
  dlg.ShowWindow(SW_SHOW);
  dlg.SetForegroundWindow();
  dlg.SetDlgItemText(IDC_FW_NUMBER, "12x");
  dlg.SetDlgItemText(IDC_FW_EDIT, "新");
  EXPECT_FALSE(dlg.UpdateData(TRUE));
  EXPECT_EQ(dlg.number, 42);                     // unchanged
  EXPECT_EQ(dlg.name, CString("新"));            // rows before the failure were read
  EXPECT_EQ(dlg.check, BST_CHECKED);             // rows after it were not
  EXPECT_EQ(::GetFocus(), ::GetDlgItem(dlg.m_hWnd, IDC_FW_NUMBER));
  dlg.SetDlgItemText(IDC_FW_NUMBER, "4294967296");   // does not fit an int
  EXPECT_FALSE(dlg.UpdateData(TRUE));
  dlg.DestroyWindow();
}

TEST(DataExchange, ModelessEndDialogOnlyHides) {
  CExchangeDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_FW_CONTROLS));
  dlg.ShowWindow(SW_SHOW);
  dlg.EndDialog(IDOK);
  EXPECT_TRUE(dlg.IsWindow());
  EXPECT_FALSE(dlg.IsWindowVisible());
  dlg.DestroyWindow();
}

}  // namespace
