// How a message reaches a handler: the handle map, subclassing, message-map
// chains, Default(), and reflection of control notifications to the
// control's own object.
#include <gtest/gtest.h>

#include "framework.h"
#include "fwtest_ids.h"

namespace {

constexpr UINT WM_TEST_A = WM_APP + 1;
constexpr UINT WM_TEST_B = WM_APP + 2;

// ---- map chains -------------------------------------------------------------

class CBaseWnd : public CWnd {
 public:
  int created = 0;
  int presubclassed = 0;
  int postNcDestroy = 0;
  std::vector<UINT> commands;

 protected:
  int OnCreate(LPCREATESTRUCT cs) {
    ++created;
    return CWnd::OnCreate(cs);
  }
  LRESULT OnTestA(WPARAM, LPARAM) { return 1; }
  LRESULT OnTestB(WPARAM wp, LPARAM) { return 100 + static_cast<LRESULT>(wp); }
  void OnRange(UINT id) { commands.push_back(id); }
  void PreSubclassWindow() override { ++presubclassed; }
  void PostNcDestroy() override { ++postNcDestroy; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
  ON_WM_CREATE()
  ON_MESSAGE(WM_TEST_A, &CBaseWnd::OnTestA)
  ON_MESSAGE(WM_TEST_B, &CBaseWnd::OnTestB)
  ON_COMMAND_RANGE(200, 210, &CBaseWnd::OnRange)
END_MESSAGE_MAP()

class CDerivedWnd : public CBaseWnd {
 protected:
  // Overrides A; B falls through to the base class's row.
  LRESULT OnTestA(WPARAM wp, LPARAM lp) { return 10 * CBaseWnd::OnTestA(wp, lp) + 2; }
  void OnExact() { commands.push_back(9999); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
  ON_MESSAGE(WM_TEST_A, &CDerivedWnd::OnTestA)
  ON_COMMAND(205, &CDerivedWnd::OnExact)
END_MESSAGE_MAP()

const char kTestClass[] = "FwTestWindow";

void RegisterTestClass() {
  static bool done = false;
  if (done) return;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kTestClass;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  RegisterClassA(&wc);
  done = true;
}

TEST(MessageMap, CreateExRoutesWmCreateAndChainsToTheBaseMap) {
  RegisterTestClass();
  CDerivedWnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, kTestClass, "t", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr));
  EXPECT_EQ(wnd.created, 1);          // WM_CREATE came through the map
  EXPECT_EQ(wnd.presubclassed, 1);
  EXPECT_EQ(CWnd::FromHandlePermanent(wnd.m_hWnd), &wnd);

  EXPECT_EQ(wnd.SendMessage(WM_TEST_A), 12);   // derived row, which calls the base handler
  EXPECT_EQ(wnd.SendMessage(WM_TEST_B, 5), 105);   // only the base has a row

  wnd.SendMessage(WM_COMMAND, MAKEWPARAM(205, 0), 0);   // exact row of the derived map wins
  wnd.SendMessage(WM_COMMAND, MAKEWPARAM(207, 1), 0);   // an accelerator is a command too
  wnd.SendMessage(WM_COMMAND, MAKEWPARAM(211, 0), 0);   // outside the range: nobody
  EXPECT_EQ(wnd.commands, (std::vector<UINT>{9999, 207}));

  HWND h = wnd.m_hWnd;
  EXPECT_TRUE(wnd.DestroyWindow());
  EXPECT_EQ(wnd.m_hWnd, nullptr);
  EXPECT_EQ(wnd.postNcDestroy, 1);
  EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
}

// ---- subclassing an existing control ------------------------------------------

class CSpyStatic : public CStatic {
 public:
  int presubclassed = 0;
  int textChanges = 0;

 protected:
  void PreSubclassWindow() override { ++presubclassed; }
  LRESULT OnTestA(WPARAM, LPARAM) { return 42; }
  // Runs the control's own WM_SETTEXT first, then counts it.
  LRESULT OnSetText(WPARAM, LPARAM) {
    LRESULT r = Default();
    ++textChanges;
    return r;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSpyStatic, CStatic)
  ON_MESSAGE(WM_TEST_A, &CSpyStatic::OnTestA)
  ON_MESSAGE(WM_SETTEXT, &CSpyStatic::OnSetText)
END_MESSAGE_MAP()

TEST(Subclassing, SubclassAndUnsubclassAnExistingWindow) {
  HWND h = CreateWindowExA(0, "STATIC", "before", WS_POPUP, 0, 0, 40, 20, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  const LONG_PTR original = GetWindowLongPtrA(h, GWLP_WNDPROC);
  {
    CSpyStatic spy;
    ASSERT_TRUE(spy.SubclassWindow(h));
    EXPECT_EQ(spy.presubclassed, 1);
    EXPECT_FALSE(CSpyStatic().SubclassWindow(h));   // one owner per window
    EXPECT_EQ(SendMessageA(h, WM_TEST_A, 0, 0), 42);
    SetWindowTextA(h, "after");                      // handler plus the control's own default
    EXPECT_EQ(spy.textChanges, 1);
    EXPECT_EQ(spy.GetWindowText(), "after");
    EXPECT_EQ(spy.UnsubclassWindow(), h);
    EXPECT_EQ(GetWindowLongPtrA(h, GWLP_WNDPROC), original);
    EXPECT_EQ(SendMessageA(h, WM_TEST_A, 0, 0), 0);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
  }
  EXPECT_TRUE(IsWindow(h));   // an unsubclassed window is left alone
  DestroyWindow(h);
}

TEST(Subclassing, DeletingTheObjectDestroysItsWindow) {
  HWND h = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 40, 20, nullptr, nullptr, nullptr, nullptr);
  auto* spy = new CSpyStatic;
  ASSERT_TRUE(spy->SubclassWindow(h));
  delete spy;
  EXPECT_FALSE(IsWindow(h));
}

TEST(HandleMap, AttachDetachAndTemporaries) {
  HWND h = CreateWindowExA(0, "STATIC", "x", WS_POPUP, 0, 0, 40, 20, nullptr, nullptr, nullptr, nullptr);
  CWnd* temp = CWnd::FromHandle(h);
  ASSERT_NE(temp, nullptr);
  EXPECT_EQ(temp->m_hWnd, h);
  EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
  EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);
  {
    CWnd wnd;
    ASSERT_TRUE(wnd.Attach(h));
    EXPECT_EQ(CWnd::FromHandle(h), &wnd);
    EXPECT_EQ(GetWindowLongPtrA(h, GWLP_WNDPROC), GetClassLongPtrA(h, GCLP_WNDPROC));   // not subclassed
    EXPECT_EQ(wnd.Detach(), h);
  }
  EXPECT_TRUE(IsWindow(h));
  DestroyWindow(h);
}

// ---- reflection -------------------------------------------------------------------

class CReflectButton : public CButton {
 public:
  int clicks = 0;

 protected:
  void OnReflectedClick() { ++clicks; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReflectButton, CButton)
  ON_CONTROL_REFLECT(BN_CLICKED, &CReflectButton::OnReflectedClick)
END_MESSAGE_MAP()

class COwnerDrawButton : public CButton {
 public:
  int draws = 0;
  UINT lastCtlId = 0;
  void DrawItem(LPDRAWITEMSTRUCT dis) override {
    ++draws;
    lastCtlId = dis->CtlID;
  }
};

class CColorStatic : public CStatic {
 public:
  CBrush brush{RGB(1, 2, 3)};
  int notifies = 0;
  BOOL passOn = FALSE;

 protected:
  HBRUSH CtlColor(CDC* dc, UINT nCtlColor) {
    EXPECT_EQ(nCtlColor, static_cast<UINT>(CTLCOLOR_STATIC));
    dc->SetTextColor(RGB(200, 0, 0));
    return brush;
  }
  void OnClick(NMHDR*, LRESULT* result) {
    ++notifies;
    *result = 7;
  }
  BOOL OnRightClick(NMHDR*, LRESULT*) {
    ++notifies;
    return !passOn;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CColorStatic, CStatic)
  ON_WM_CTLCOLOR_REFLECT()
  ON_NOTIFY_REFLECT(NM_CLICK, &CColorStatic::OnClick)
  ON_NOTIFY_REFLECT_EX(NM_RCLICK, &CColorStatic::OnRightClick)
END_MESSAGE_MAP()

class CMeasuredList : public CListBox {
 public:
  int measured = 0;
  int drawn = 0;
  void MeasureItem(LPMEASUREITEMSTRUCT mis) override {
    ++measured;
    mis->itemHeight = 33;
  }
  void DrawItem(LPDRAWITEMSTRUCT) override { ++drawn; }
};

class CRouteDlg : public CDialog {
 public:
  CRouteDlg() : CDialog(IDD_FW_CONTROLS) {}
  CReflectButton reflectButton;
  CButton plainButton;
  COwnerDrawButton ownerDraw;
  CColorStatic colorStatic;
  CMeasuredList list;
  CBrush parentBrush{RGB(9, 9, 9)};
  int parentClicks = 0;
  int plainClicks = 0;
  int parentNotifies = 0;
  int parentCtlColors = 0;

 protected:
  void OnParentReflectClick() { ++parentClicks; }
  void OnPlainClick() { ++plainClicks; }
  void OnParentNotify(NMHDR*, LRESULT* result) {
    ++parentNotifies;
    *result = 3;
  }
  HBRUSH OnCtlColor(CDC*, CWnd*, UINT) {
    ++parentCtlColors;
    return parentBrush;
  }
  void OnOK() override {}
  void OnCancel() override {}
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CRouteDlg, CDialog)
  ON_BN_CLICKED(IDC_FW_BUTTON, &CRouteDlg::OnParentReflectClick)
  ON_BN_CLICKED(IDC_FW_PLAIN, &CRouteDlg::OnPlainClick)
  ON_NOTIFY(NM_CLICK, IDC_FW_STATIC, &CRouteDlg::OnParentNotify)
  ON_NOTIFY(NM_RCLICK, IDC_FW_STATIC, &CRouteDlg::OnParentNotify)
  ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

class ReflectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dlg.Create(IDD_FW_CONTROLS));
    ASSERT_TRUE(dlg.reflectButton.SubclassDlgItem(IDC_FW_BUTTON, &dlg));
    ASSERT_TRUE(dlg.plainButton.SubclassDlgItem(IDC_FW_PLAIN, &dlg));
    ASSERT_TRUE(dlg.ownerDraw.SubclassDlgItem(IDC_FW_OWNERDRAW, &dlg));
    ASSERT_TRUE(dlg.colorStatic.SubclassDlgItem(IDC_FW_STATIC, &dlg));
    ASSERT_TRUE(dlg.list.SubclassDlgItem(IDC_FW_LIST, &dlg));
  }
  void TearDown() override { dlg.DestroyWindow(); }
  NMHDR Notify(UINT code) {
    NMHDR h = {dlg.colorStatic.m_hWnd, IDC_FW_STATIC, code};
    return h;
  }
  CRouteDlg dlg;
};

TEST_F(ReflectionTest, CommandGoesToTheControlThatHandlesItElseToTheParent) {
  dlg.reflectButton.SendMessage(BM_CLICK);
  EXPECT_EQ(dlg.reflectButton.clicks, 1);
  EXPECT_EQ(dlg.parentClicks, 0);   // eaten by the control
  dlg.plainButton.SendMessage(BM_CLICK);
  EXPECT_EQ(dlg.plainClicks, 1);    // an object without a reflect row passes it on
}

TEST_F(ReflectionTest, NotifyIsReflectedAndTheExFormCanPassItOn) {
  NMHDR click = Notify(NM_CLICK);
  EXPECT_EQ(dlg.SendMessage(WM_NOTIFY, IDC_FW_STATIC, reinterpret_cast<LPARAM>(&click)), 7);
  EXPECT_EQ(dlg.colorStatic.notifies, 1);
  EXPECT_EQ(dlg.parentNotifies, 0);

  NMHDR right = Notify(NM_RCLICK);
  dlg.colorStatic.passOn = TRUE;
  EXPECT_EQ(dlg.SendMessage(WM_NOTIFY, IDC_FW_STATIC, reinterpret_cast<LPARAM>(&right)), 3);
  EXPECT_EQ(dlg.colorStatic.notifies, 2);
  EXPECT_EQ(dlg.parentNotifies, 1);   // both saw it
}

TEST_F(ReflectionTest, CtlColorOfAChildWithAReflectHandlerIsItsOwn) {
  HDC dc = GetDC(dlg.m_hWnd);
  LRESULT mine = dlg.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(dlg.colorStatic.m_hWnd));
  EXPECT_EQ(reinterpret_cast<HBRUSH>(mine), static_cast<HBRUSH>(dlg.colorStatic.brush));
  EXPECT_EQ(GetTextColor(dc), RGB(200, 0, 0));
  EXPECT_EQ(dlg.parentCtlColors, 0);
  LRESULT other = dlg.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                  reinterpret_cast<LPARAM>(GetDlgItem(dlg.m_hWnd, IDC_FW_STATIC2)));
  EXPECT_EQ(reinterpret_cast<HBRUSH>(other), static_cast<HBRUSH>(dlg.parentBrush));
  EXPECT_EQ(dlg.parentCtlColors, 1);
  ReleaseDC(dlg.m_hWnd, dc);
}

TEST_F(ReflectionTest, OwnerDrawAndMeasureReachTheControlsVirtuals) {
  dlg.ShowWindow(SW_SHOWNOACTIVATE);
  dlg.ownerDraw.Invalidate();
  dlg.ownerDraw.UpdateWindow();
  EXPECT_GE(dlg.ownerDraw.draws, 1);
  EXPECT_EQ(dlg.ownerDraw.lastCtlId, static_cast<UINT>(IDC_FW_OWNERDRAW));

  EXPECT_EQ(dlg.list.AddString("一行"), 0);
  EXPECT_EQ(dlg.list.measured, 1);
  EXPECT_EQ(dlg.list.GetItemHeight(0), 33);
  dlg.list.UpdateWindow();
  EXPECT_GE(dlg.list.drawn, 1);
}

}  // namespace

TEST(Placement, ABoxIsCentredOnItsOwnerAlsoBeforeTheOwnerIsShown) {
  RegisterTestClass();
  CWnd owner, box;
  ASSERT_TRUE(owner.CreateEx(0, kTestClass, "owner", WS_POPUP, 100, 80, 400, 300, nullptr, nullptr));
  ASSERT_TRUE(box.CreateEx(0, kTestClass, "box", WS_POPUP, 0, 0, 200, 100, owner.m_hWnd, nullptr));
  // The owner is still hidden (a page being filled before it is shown).
  box.CenterWindow();
  CRect r;
  box.GetWindowRect(&r);
  EXPECT_EQ(r.left, 100 + (400 - 200) / 2);
  EXPECT_EQ(r.top, 80 + (300 - 100) / 2);
  box.DestroyWindow();
  owner.DestroyWindow();
}
