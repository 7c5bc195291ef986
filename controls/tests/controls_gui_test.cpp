// Every skinned control in one dialog under Wine and Xvfb: tree-list checks
// and columns, skin-button regions and radio groups, pictures, bars, the
// image list box, the tab strip, the folder browse tree and labels. The
// dialog is also saved as a screenshot for people to look at.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "bars.h"
#include "browsetree.h"
#include "celltext.h"
#include "controls_test_ids.h"
#include "framepaint.h"
#include "imagelistbox.h"
#include "label.h"
#include "picture.h"
#include "picturestatic.h"
#include "skinbutton.h"
#include "skinids.h"
#include "tabstrip.h"
#include "testsupport.h"
#include "tracktooltip.h"
#include "treelist.h"

using controls::kChecked;
using controls::kFixed;
using controls::kPartly;
using controls::kUnchecked;

namespace {

const UINT WM_TAB_CLICKED = WM_APP + 40;
const COLORREF kPageColour = RGB(242, 246, 251);

// The class layer compiles its users with code-page-936 literals, so the
// Chinese texts below are already what the pages pass.
std::string A(const char* text) { return text; }

void Pump(int rounds = 10) {
  MSG m;
  for (int i = 0; i < rounds; ++i) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    Sleep(10);
  }
}

// A page made of every control kind, set up the way the wizard pages do it.
class CControlsDlg : public CDialog {
 public:
  CControlsDlg() : CDialog(IDD_TEST_CONTROLS), m_busy(20, 0) {}

  CTabStatic m_tab;
  CLabel m_title, m_hint, m_status, m_path, m_percent, m_link, m_listLabel, m_previewLabel, m_kindLabel;
  CTreeListCtrl m_treeList;
  CBrowseTreeCtrl m_browse;
  CMyProgressBar m_progress;
  CQCBusyProgressCtrl m_busy;
  CRollItem m_roll;
  CListBoxST m_list;
  CPictureStatic m_picture;
  CATSkinButton m_next;
  CxSkinButton2 m_back;
  CxSkinButton m_badge, m_pillAll, m_pillPic, m_pillDoc, m_showDirs, m_minimise, m_close;
  CImageList m_rowImages;
  BOOL m_browseReady = FALSE;

  // What reached the page.
  UINT lastNotifyCode = 0;
  UINT_PTR lastNotifyId = 0;
  int listDoubleClicks = 0;
  int tabClicks = 0;
  LPARAM lastTab = -1;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    SetWindowText(A("奎隆数据恢复").c_str());
    m_tab.SubclassDlgItem(IDT_TAB, this);
    m_tab.SetOwner(m_hWnd, WM_TAB_CLICKED);
    m_tab.SetCurSel(0);

    struct {
      CLabel* label;
      int id;
    } labels[] = {{&m_title, IDT_TITLE}, {&m_hint, IDT_HINT}, {&m_status, IDT_STATUS},
                  {&m_path, IDT_PATH},   {&m_percent, IDT_PERCENT}, {&m_link, IDT_LINK},
                  {&m_listLabel, IDT_LISTLABEL}, {&m_previewLabel, IDT_PREVIEWLABEL},
                  {&m_kindLabel, IDT_KINDLABEL}};
    for (auto& l : labels) {
      l.label->SubclassDlgItem(l.id, this);
      l.label->SetFontName(A("宋体").c_str()).SetFontSize(13).SetTextColor(RGB(90, 90, 90)).SetTransparent(TRUE);
    }
    m_title.SetFontName(A("黑体").c_str()).SetFontSize(18).SetFontBold(TRUE).SetTextColor(RGB(255, 255, 255));
    m_minimise.SubclassDlgItem(IDT_MINIMISE, this);
    m_minimise.SetSkin(IDB_MINIMISE, IDB_MINIMISE, IDB_MINIMISE_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
    m_close.SubclassDlgItem(IDT_CLOSE, this);
    m_close.SetSkin(IDB_CLOSE, IDB_CLOSE, IDB_CLOSE_HOVER, 0, 0, 0, skin::kStretch, 0, 0);
    m_hint.SetTextColor(RGB(127, 127, 127));
    m_path.SetTextColor(RGB(28, 92, 160));
    m_link.SetTextColor(RGB(0, 21, 233)).SetFontUnderline(TRUE).SetLink(TRUE)
        .SetLinkCursor(LoadCursor(nullptr, IDC_HAND)).SetLinkUrl("");

    m_treeList.SubclassDlgItem(IDT_TREELIST, this);
    CColumnTreeCtrl& t = m_treeList.m_tree;
    t.InsertColumn(0, A("文件名").c_str(), 0, 196);
    t.InsertColumn(1, A("大小").c_str(), 1, 66);
    t.InsertColumn(2, A("修改时间").c_str(), 0, 136);

    m_browseReady = m_browse.SubclassDlgItem(IDT_BROWSE, this) && m_browse.Initialize(IDB_BROWSE_STATES, this);

    m_progress.SubclassDlgItem(IDT_PROGRESS, this);
    m_progress.SetPos(1000, 620);
    m_busy.SubclassDlgItem(IDT_BUSY, this);
    m_busy.SetInterval(250);
    m_busy.SetRange(0, 100);
    m_busy.SetMoveMode(controls::kMotionWrapForward);
    m_busy.SetColours(kPageColour, RGB(214, 236, 222), RGB(150, 190, 170), RGB(60, 176, 98), RGB(34, 128, 64));
    m_busy.SetPos(6);
    m_roll.SubclassDlgItem(IDT_ROLL, this);

    m_list.SubclassDlgItem(IDT_LIST, this);
    m_rowImages.Create(16, 16, ILC_COLOR24 | ILC_MASK, 10, 0);
    CBitmap rows;
    rows.LoadBitmap(IDB_TREE_ROW_IMAGES);
    m_rowImages.Add(&rows, RGB(255, 0, 255));
    m_list.SetImageList(&m_rowImages);
    int c = m_list.AddString(A("系统 (C:)").c_str(), kRowDrive);
    m_list.SetItemData(c, 0);
    int d = m_list.AddString(A("本地硬盘 (D:)").c_str(), kRowDrive);
    m_list.SetItemData(d, 1);
    int e = m_list.AddString(A("光盘 (E:)").c_str(), kRowDisk);
    m_list.SetItemData(e, 2);
    m_list.EnableItem(e, FALSE);
    m_list.SetCurSel(d);

    m_picture.SubclassDlgItem(IDT_PICTURE, this);

    m_next.SubclassDlgItem(IDT_NEXT, this);
    m_next.SetSkin(IDB_T_PUSH, IDB_T_PUSH_DOWN, IDB_T_PUSH_OVER, IDB_T_PUSH_OFF, IDB_T_PUSH_FOCUS, IDB_T_PUSH_MASK,
                   skin::kCopy, 0, 0);
    m_next.SetTextColor(RGB(255, 255, 255));
    m_next.SetFontName(A("宋体").c_str());
    m_next.SetFontSize(9);
    m_next.SetFontBold(TRUE);
    m_next.SetToolTipText(A("开始恢复选中的文件").c_str());
    m_back.SubclassDlgItem(IDT_BACK, this);
    m_back.SetSkin(IDB_T_PILL, IDB_T_PILL_ON, IDB_T_PILL_OVER, 0, 0, skin::kStretch, 0, 0, FALSE, 1, 1);
    m_back.SetTextColor(RGB(60, 70, 85));
    m_back.SetTextOffset(24, 0);
    m_back.SetFontSize(14);
    m_badge.SubclassDlgItem(IDT_BADGE, this);
    m_badge.SetSkin(IDB_T_BADGE, IDB_T_BADGE_DOWN, IDB_T_BADGE_OVER, 0, 0, IDB_T_BADGE_MASK, skin::kCopy, 0, 0);
    for (CxSkinButton* b : {&m_pillAll, &m_pillPic, &m_pillDoc, &m_showDirs}) {
      b->SubclassDlgItem(b == &m_pillAll ? IDT_PILL_ALL : b == &m_pillPic ? IDT_PILL_PIC
                                           : b == &m_pillDoc ? IDT_PILL_DOC : IDT_SHOWDIRS, this);
      b->SetSkin(IDB_T_PILL, IDB_T_PILL_ON, IDB_T_PILL_OVER, 0, 0, 0, skin::kStretch, 0, 4);
      b->SetTextColor(RGB(40, 60, 90));
    }
    m_pillAll.SetCheck(1);
    return TRUE;
  }

  BOOL OnEraseBkgnd(CDC* dc) {
    RECT r;
    GetClientRect(&r);
    // The program's page look: its background stretched over the client area.
    CBitmap page;
    if (page.LoadBitmap(IDB_PAGE_BACKGROUND)) {
      skin::DrawBitmap(dc->m_hDC, page, r, skin::kStretch, nullptr);
    } else {
      HBRUSH b = CreateSolidBrush(kPageColour);
      FillRect(dc->m_hDC, &r, b);
      DeleteObject(b);
    }
    auto frame = [&](int id, int (*painter)(int, int, int, int, HDC)) {
      RECT c;
      ::GetWindowRect(::GetDlgItem(m_hWnd, id), &c);
      ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&c), 2);
      painter(c.left, c.top, c.right, c.bottom, dc->m_hDC);
    };
    frame(IDT_TREELIST, DrawFrameRect);
    frame(IDT_BROWSE, DrawFrameRect);
    frame(IDT_LIST, DrawFrameRectLight);
    frame(IDT_PICTURE, DrawFrameRectTwoTone);
    return TRUE;
  }

  BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override {
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    if (hdr->code == NM_CLICK || hdr->code == TVN_SELCHANGEDA || hdr->code == TVN_SELCHANGEDW) {
      lastNotifyCode = hdr->code;
      lastNotifyId = hdr->idFrom;
    }
    return CDialog::OnNotify(wp, lp, result);
  }

  void OnListDblClk() { ++listDoubleClicks; }
  LRESULT OnTabClicked(WPARAM, LPARAM tab) {
    ++tabClicks;
    lastTab = tab;
    return 0;
  }
  void OnOK() override {}
  void OnCancel() override {}
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CControlsDlg, CDialog)
  ON_WM_ERASEBKGND()
  ON_LBN_DBLCLK(IDT_LIST, &CControlsDlg::OnListDblClk)
  ON_MESSAGE(WM_TAB_CLICKED, &CControlsDlg::OnTabClicked)
END_MESSAGE_MAP()

class ControlsDialog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    OleInitialize(nullptr);
    RegisterTreeListClass(GetModuleHandleA(nullptr));
  }

  void SetUp() override {
    dlg = new CControlsDlg;
    ASSERT_TRUE(dlg->Create(IDD_TEST_CONTROLS, nullptr));
    ::SetWindowPos(dlg->m_hWnd, HWND_TOP, 30, 30, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    ::UpdateWindow(dlg->m_hWnd);
    Pump();
  }

  void TearDown() override {
    if (dlg) {
      dlg->m_busy.Stop();
      dlg->DestroyWindow();
      delete dlg;
    }
    Pump(2);
  }

  HWND Tree() const { return dlg->m_treeList.m_tree.m_hWnd; }

  // Clicks the check box of a row the way the mouse does.
  void ClickStateIcon(HTREEITEM item) {
    RECT r;
    ASSERT_TRUE(TreeView_GetItemRect(Tree(), item, &r, TRUE));
    int y = (r.top + r.bottom) / 2;
    for (int x = 0; x < r.left; ++x) {
      TVHITTESTINFO ht = {};
      ht.pt = POINT{x, y};
      if (TreeView_HitTest(Tree(), &ht) == item && (ht.flags & TVHT_ONITEMSTATEICON)) {
        // The tree tracks the mouse until the button goes up: queue that first.
        PostMessageA(Tree(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        SendMessageA(Tree(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        Pump(2);
        return;
      }
    }
    FAIL() << "no state icon found";
  }

  int Check(HTREEITEM i) { return dlg->m_treeList.m_tree.GetCheck(i); }

  HTREEITEM Add(const char* utf8, HTREEITEM parent, int state, int image = kRowFile) {
    CColumnTreeCtrl& t = dlg->m_treeList.m_tree;
    HTREEITEM h = t.InsertItem(A(utf8).c_str(), image, image, parent);
    t.SetItemStateAndPropagate(h, INDEXTOSTATEIMAGEMASK(state), TVIS_STATEIMAGEMASK, FALSE);
    return h;
  }

  // Clicks a button at its centre with the real cursor there.
  void ClickButton(HWND b) {
    RECT r;
    ::GetWindowRect(b, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    Pump(1);
    LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(b, WM_LBUTTONUP, 0, at);
    Pump(3);
  }

  COLORREF ScreenPixel(HWND w, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(w, &p);
    HDC dc = GetDC(nullptr);
    COLORREF c = GetPixel(dc, p.x, p.y);
    ReleaseDC(nullptr, dc);
    return c;
  }

  CControlsDlg* dlg = nullptr;
};

bool Reddish(COLORREF c) { return GetRValue(c) > 150 && GetBValue(c) < 120; }
bool Bluish(COLORREF c) { return GetBValue(c) > 150 && GetRValue(c) < 120; }

// ---- tree-list ---------------------------------------------------------------

TEST_F(ControlsDialog, TreeListClickPropagatesChecksAndPageSeesClick) {
  HTREEITEM root = Add("照片", TVI_ROOT, kPartly, kRowFolder);
  HTREEITEM dir = Add("2023年春节", root, kPartly, kRowFolder);
  HTREEITEM a = Add("全家福.jpg", dir, kChecked, kRowPicture);
  HTREEITEM b = Add("年夜饭.jpg", dir, kUnchecked, kRowPicture);
  HTREEITEM fixedRow = Add("系统文件.dat", dir, kFixed);
  HTREEITEM other = Add("旅行", root, kUnchecked, kRowFolder);
  TreeView_Expand(Tree(), root, TVE_EXPAND);
  TreeView_Expand(Tree(), dir, TVE_EXPAND);
  Pump(2);

  ClickStateIcon(dir);
  EXPECT_EQ(Check(dir), kChecked);
  EXPECT_EQ(Check(a), kChecked);
  EXPECT_EQ(Check(b), kChecked);
  EXPECT_EQ(Check(fixedRow), kFixed);
  EXPECT_EQ(Check(root), kPartly);  // "旅行" is still unchecked
  EXPECT_EQ(dlg->lastNotifyCode, static_cast<UINT>(NM_CLICK));
  EXPECT_EQ(dlg->lastNotifyId, static_cast<UINT_PTR>(IDC_TREELIST_TREE));

  ClickStateIcon(other);
  EXPECT_EQ(Check(root), kChecked);
  ClickStateIcon(a);  // checked -> unchecked, once (the tree does not toggle again)
  EXPECT_EQ(Check(a), kUnchecked);
  EXPECT_EQ(Check(dir), kPartly);
  EXPECT_EQ(Check(root), kPartly);
}

TEST_F(ControlsDialog, TreeListSpaceTogglesDoubleClickOnlyExpands) {
  HTREEITEM dir = Add("文档", TVI_ROOT, kUnchecked, kRowFolder);
  HTREEITEM f = Add("简历.doc", dir, kUnchecked, kRowDocument);
  TreeView_SelectItem(Tree(), dir);
  SendMessageA(Tree(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(Check(dir), kChecked);
  EXPECT_EQ(Check(f), kChecked);

  RECT r;
  TreeView_GetItemRect(Tree(), dir, &r, TRUE);
  LPARAM at = MAKELPARAM(r.left + 2, (r.top + r.bottom) / 2);
  SendMessageA(Tree(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  EXPECT_TRUE(TreeView_GetItemState(Tree(), dir, TVIS_EXPANDED) & TVIS_EXPANDED);
  EXPECT_EQ(Check(dir), kChecked);
  SendMessageA(Tree(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  EXPECT_FALSE(TreeView_GetItemState(Tree(), dir, TVIS_EXPANDED) & TVIS_EXPANDED);
}

TEST_F(ControlsDialog, TreeListColumnTexts) {
  CColumnTreeCtrl& t = dlg->m_treeList.m_tree;
  HTREEITEM h = t.InsertItem(A("报告.xls").c_str(), kRowDocument, kRowDocument);
  EXPECT_EQ(t.GetItemText(h, 0).str(), A("报告.xls"));
  EXPECT_TRUE(t.SetItemText(h, 3, "x"));
  EXPECT_EQ(t.GetItemText(h, 1).str(), "");
  EXPECT_EQ(t.GetItemText(h, 2).str(), "");
  EXPECT_EQ(t.GetItemText(h, 3).str(), "x");
  EXPECT_TRUE(t.SetItemText(h, 1, "12 KB"));
  EXPECT_EQ(t.GetItemText(h, 1).str(), "12 KB");
  EXPECT_EQ(t.GetItemText(h, 3).str(), "x");
  EXPECT_FALSE(t.SetItemText(nullptr, 1, "y"));
  EXPECT_EQ(t.GetColumnCount(), 3);
  EXPECT_EQ(t.GetColumnWidth(1), 66);
  EXPECT_EQ(t.GetColumnAlign(1), 1);
  EXPECT_EQ(t.GetColumnWidth(7), 0);
  EXPECT_EQ(t.SetColumnWidth(9, 0), 0);
  // Columns narrower than the window: no scroll range, header at x 0.
  EXPECT_EQ(t.GetOffset(), 0);
}

TEST_F(ControlsDialog, TreeListTruncatesChineseWithRealFontMeasure) {
  HDC dc = GetDC(Tree());
  HGDIOBJ old = SelectObject(dc, dlg->m_treeList.m_tree.m_font);
  auto width = [dc](const char* s, int n) {
    SIZE sz = {};
    GetTextExtentPoint32A(dc, s, n, &sz);
    return static_cast<int>(sz.cx);
  };
  std::string name = A("我的照片备份文件夹里所有的图片和视频文件.jpg");
  int full = width(name.data(), static_cast<int>(name.size()));
  ASSERT_GT(full, 60);
  for (int limit = 20; limit < full; limit += 3) {
    std::string out = controls::FitWithEllipsis(name, limit, width);
    ASSERT_EQ(out.substr(out.size() - 3), "...");
    std::string kept = out.substr(0, out.size() - 3);
    auto ends = controls::Cp936CharEnds(kept);
    EXPECT_TRUE(kept.empty() || ends.back() == kept.size()) << limit;
    EXPECT_EQ(name.compare(0, kept.size(), kept), 0);
    if (!kept.empty()) {
      EXPECT_LE(width(out.data(), static_cast<int>(out.size())), limit);
    }
  }
  SelectObject(dc, old);
  ReleaseDC(Tree(), dc);
}

TEST_F(ControlsDialog, TreeListDeletingFreesWholeSubtree) {
  int base = CColumnTreeItem::Live();
  HTREEITEM dir = Add("下载", TVI_ROOT, kUnchecked, kRowFolder);
  HTREEITEM sub = Add("音乐", dir, kUnchecked, kRowFolder);
  Add("歌曲1.mp3", sub, kUnchecked, kRowMusic);
  Add("歌曲2.mp3", sub, kUnchecked, kRowMusic);
  Add("说明.txt", dir, kUnchecked);
  Add("另一个.txt", TVI_ROOT, kUnchecked);
  EXPECT_EQ(CColumnTreeItem::Live(), base + 6);
  EXPECT_TRUE(dlg->m_treeList.m_tree.DeleteItem(dir));
  EXPECT_EQ(CColumnTreeItem::Live(), base + 1);
  Add("再来一个.txt", TVI_ROOT, kUnchecked);
  dlg->m_treeList.m_tree.DeleteAllItems();
  EXPECT_EQ(CColumnTreeItem::Live(), base);
  Add("关窗时释放.txt", TVI_ROOT, kUnchecked);
  EXPECT_EQ(CColumnTreeItem::Live(), base + 1);
  dlg->DestroyWindow();
  EXPECT_EQ(CColumnTreeItem::Live(), base);
}

// ---- skin buttons -----------------------------------------------------------

TEST_F(ControlsDialog, SkinButtonRegionComesFromMask) {
  HWND badge = dlg->m_badge.m_hWnd;
  RECT wr;
  GetWindowRect(badge, &wr);
  EXPECT_EQ(wr.right - wr.left, 48);  // draw mode 0: the size of the mask
  EXPECT_EQ(wr.bottom - wr.top, 48);
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(badge, rgn), ERROR);
  EXPECT_FALSE(PtInRegion(rgn, 1, 1));    // outside the circle
  EXPECT_FALSE(PtInRegion(rgn, 46, 46));
  EXPECT_TRUE(PtInRegion(rgn, 24, 24));
  EXPECT_TRUE(PtInRegion(rgn, 24, 2));
  DeleteObject(rgn);
  // A click at the corner is not the button's: it goes to what lies below.
  POINT corner = {wr.left + 1, wr.top + 1};
  EXPECT_NE(WindowFromPoint(corner), badge);
  POINT centre = {wr.left + 24, wr.top + 24};
  EXPECT_EQ(WindowFromPoint(centre), badge);

  // The rounded push button: resized to its mask, corners cut.
  RECT nr;
  GetWindowRect(dlg->m_next.m_hWnd, &nr);
  EXPECT_EQ(nr.right - nr.left, 96);
  EXPECT_EQ(nr.bottom - nr.top, 28);
  ASSERT_NE(dlg->m_next.GetSkinRegion(), nullptr);
  EXPECT_FALSE(PtInRegion(dlg->m_next.GetSkinRegion(), 0, 0));
  EXPECT_TRUE(PtInRegion(dlg->m_next.GetSkinRegion(), 48, 14));

  // Stretch mode keeps the template's size.
  RECT pr;
  GetWindowRect(dlg->m_pillPic.m_hWnd, &pr);
  RECT dlu = {0, 0, 56, 16};
  MapDialogRect(dlg->m_hWnd, &dlu);
  EXPECT_EQ(pr.right - pr.left, dlu.right);
}

TEST_F(ControlsDialog, RadioGroupKeepsOneCheckedAndCheckBoxIsSeparate) {
  EXPECT_EQ(dlg->m_pillAll.GetCheck(), 1);
  ClickButton(dlg->m_pillPic.m_hWnd);
  EXPECT_EQ(dlg->m_pillPic.GetCheck(), 1);
  EXPECT_EQ(dlg->m_pillAll.GetCheck(), 0);
  EXPECT_EQ(dlg->m_pillDoc.GetCheck(), 0);

  dlg->m_pillDoc.SetCheck(1);
  Pump(3);
  EXPECT_EQ(dlg->m_pillDoc.GetCheck(), 1);
  EXPECT_EQ(dlg->m_pillPic.GetCheck(), 0);
  EXPECT_EQ(dlg->m_pillAll.GetCheck(), 0);

  EXPECT_EQ(dlg->m_showDirs.GetCheck(), 0);
  ClickButton(dlg->m_showDirs.m_hWnd);
  EXPECT_EQ(dlg->m_showDirs.GetCheck(), 1);
  EXPECT_EQ(dlg->m_pillDoc.GetCheck(), 1);  // another group
  ClickButton(dlg->m_showDirs.m_hWnd);
  EXPECT_EQ(dlg->m_showDirs.GetCheck(), 0);

  // Released away from the button: no toggle.
  RECT r;
  GetWindowRect(dlg->m_showDirs.m_hWnd, &r);
  SetCursorPos(r.right + 200, r.bottom + 200);
  SendMessageA(dlg->m_showDirs.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(dlg->m_showDirs.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(300, 300));
  EXPECT_EQ(dlg->m_showDirs.GetCheck(), 0);

  // A push button never reports checked.
  dlg->m_next.SetCheck(1);
  EXPECT_EQ(dlg->m_next.GetCheck(), 0);
}

TEST_F(ControlsDialog, CaptionButtonSetters) {
  EXPECT_FALSE(dlg->m_next.SetSubTextLayout(3, 20, 12));
  EXPECT_TRUE(dlg->m_next.SetSubTextLayout(1, 0, 10));
  EXPECT_FALSE(dlg->m_next.SetCursor(-1));          // -1 keeps none
  EXPECT_FALSE(dlg->m_next.SetCursor(4321));        // no such cursor
  EXPECT_TRUE(dlg->m_back.SetCursor(-1));
  dlg->m_next.SetSubTextLayout(0, 0, 0);
  // Both still paint their looks (the pressed pill, the blue button).
  dlg->m_back.SendMessage(BM_SETSTATE, TRUE);
  dlg->m_back.UpdateWindow();
  dlg->m_next.RedrawWindow();
  Pump(3);
  COLORREF pushed = ScreenPixel(dlg->m_back.m_hWnd, 10, 8);
  EXPECT_GT(GetBValue(pushed), GetRValue(pushed)) << std::hex << pushed;
  COLORREF blue = ScreenPixel(dlg->m_next.m_hWnd, 8, 20);
  EXPECT_GT(GetBValue(blue), 150) << std::hex << blue;
  dlg->m_back.SendMessage(BM_SETSTATE, FALSE);
}

TEST_F(ControlsDialog, TrackToolTipShowsAndHides) {
  CTrackToolTip tip;
  RECT r;
  GetWindowRect(dlg->m_treeList.m_hWnd, &r);
  tip.Show(dlg->m_hWnd, A("请勾选您要恢复的文件，点击“下一步”进行恢复。").c_str(), "", r.left + 291, r.bottom - 24, 400, 0);
  Pump(3);
  HWND h = tip.GetSafeHwnd();
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(IsWindowVisible(h));
  tip.SetAutoHide(0);
  Pump(5);
  EXPECT_TRUE(IsWindowVisible(h));  // no auto-hide: it stays
  tip.Activate(SW_HIDE);
  Pump(2);
  EXPECT_FALSE(IsWindowVisible(h));
  tip.Activate(SW_SHOW);
  Pump(2);
  EXPECT_TRUE(IsWindowVisible(h));
  tip.SetAutoHide(30);
  for (int i = 0; i < 50 && IsWindowVisible(h); ++i) Pump(1);
  EXPECT_FALSE(IsWindowVisible(h));
  tip.Destroy();
  EXPECT_FALSE(IsWindow(h));
  // Destroyed by someone else, it is forgotten: no stale window to send to
  // (its number may be another window's by then), and it can be made again.
  tip.Show(dlg->m_hWnd, "hint", nullptr, r.left + 10, r.bottom - 24, 400, 0);
  ASSERT_NE(tip.GetSafeHwnd(), nullptr);
  DestroyWindow(tip.GetSafeHwnd());
  EXPECT_EQ(tip.GetSafeHwnd(), nullptr);
  tip.Show(dlg->m_hWnd, "hint", nullptr, r.left + 10, r.bottom - 24, 400, 0);
  EXPECT_TRUE(IsWindow(tip.GetSafeHwnd()));
}

// ---- pictures -----------------------------------------------------------------

struct Pictaran {
  HMODULE dll = LoadLibraryA("pictaran.dll");
  PictaranBitmapFromStreamFn fromStream = nullptr;
  PictaranDrawFn draw = nullptr;
  int (*init)() = nullptr;
  int (*uninit)() = nullptr;
  Pictaran() {
    if (!dll) return;
    fromStream = reinterpret_cast<PictaranBitmapFromStreamFn>(GetProcAddress(dll, "BitmapFromStream"));
    draw = reinterpret_cast<PictaranDrawFn>(GetProcAddress(dll, "GdiDrewImage"));
    init = reinterpret_cast<int (*)()>(GetProcAddress(dll, "InitGdiPlus"));
    uninit = reinterpret_cast<int (*)()>(GetProcAddress(dll, "UnInitGdiPlus"));
  }
  bool Usable() const { return fromStream && draw && init && uninit; }
};

TEST_F(ControlsDialog, PictureLoadsNothingFromEmptyOrMissingData) {
  CPicture p;
  EXPECT_FALSE(p.LoadFromBuffer(nullptr, 10));
  BYTE one = 0;
  EXPECT_FALSE(p.LoadFromBuffer(&one, 0));
  EXPECT_FALSE(p.LoadFromResource(4242));
  EXPECT_FALSE(p.LoadFromFile("Z:\\no\\such\\picture.jpg"));
  EXPECT_EQ(p.GetSize().cx, 0);
  EXPECT_EQ(p.Draw(nullptr, 0, 0, 1, 1), 0);
}

TEST_F(ControlsDialog, PictureControlDrawsThroughTheOleRoad) {
  std::string dir = testsupport::FixtureDir("controls-pictures");
  for (const char* file : {"halves.bmp", "halves.jpg", "halves.gif"}) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(dlg->m_picture.Picture().LoadFromFile((dir + file).c_str()));
    SIZE s = dlg->m_picture.Picture().GetSize();
    EXPECT_EQ(s.cx, 160);
    EXPECT_EQ(s.cy, 60);
    dlg->m_picture.RedrawWindow();
    Pump(2);
    EXPECT_TRUE(Reddish(ScreenPixel(dlg->m_picture.m_hWnd, 20, 20)));
    EXPECT_TRUE(Bluish(ScreenPixel(dlg->m_picture.m_hWnd, 100, 20)));
  }
}

TEST_F(ControlsDialog, PictureControlDrawsThroughPictaran) {
  Pictaran lib;
  if (!lib.Usable()) GTEST_SKIP() << "pictaran.dll is not built beside the tests";
  ASSERT_EQ(lib.init(), 1);
  SetPictaranEntries(lib.fromStream, lib.draw);
  std::string dir = testsupport::FixtureDir("controls-pictures");
  for (const char* file : {"halves.jpg", "halves.png", "halves.gif"}) {
    SCOPED_TRACE(file);
    std::string data;
    ASSERT_TRUE(testsupport::ReadWholeFile(dir + file, &data));
    ASSERT_TRUE(dlg->m_picture.Picture().LoadFromBuffer(reinterpret_cast<const BYTE*>(data.data()),
                                                        static_cast<DWORD>(data.size())));
    dlg->m_picture.RedrawWindow();
    Pump(2);
    RECT c;
    GetClientRect(dlg->m_picture.m_hWnd, &c);
    // Stretched over the whole control: left half red, right half blue.
    EXPECT_TRUE(Reddish(ScreenPixel(dlg->m_picture.m_hWnd, c.right / 4, c.bottom / 2)));
    EXPECT_TRUE(Bluish(ScreenPixel(dlg->m_picture.m_hWnd, c.right * 3 / 4, c.bottom / 2)));
  }
  // The "Dat" resource of the program.
  EXPECT_TRUE(dlg->m_picture.SetImage(IDDAT_LOADING));
  // A truncated JPEG either decodes in part or fails; it never takes the process down.
  std::string cut;
  ASSERT_TRUE(testsupport::ReadWholeFile(dir + "truncated.jpg", &cut));
  dlg->m_picture.Picture().LoadFromBuffer(reinterpret_cast<const BYTE*>(cut.data()), static_cast<DWORD>(cut.size()));
  dlg->m_picture.RedrawWindow();
  Pump(2);
  SetPictaranEntries(nullptr, nullptr);
  lib.uninit();
}

TEST_F(ControlsDialog, PictureControlFillsItsBackgroundWithoutAPicture) {
  SetPictaranEntries(nullptr, nullptr);
  dlg->m_picture.RedrawWindow();
  Pump(2);
  RECT c;
  GetClientRect(dlg->m_picture.m_hWnd, &c);
  EXPECT_EQ(ScreenPixel(dlg->m_picture.m_hWnd, c.right / 2, c.bottom / 2), GetSysColor(COLOR_BTNFACE));
}

TEST(MemStream, ReadsStayInsideTheBlockAndAdvance) {
  const char data[] = "0123456789";
  CMemStream s(data, 10);
  char buf[8] = {};
  ULONG got = 0;
  EXPECT_EQ(s.Read(buf, 4, &got), S_OK);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(s.Read(buf, 8, &got), S_FALSE);
  EXPECT_EQ(got, 6u);
  EXPECT_EQ(std::string(buf, 6), "456789");
  EXPECT_EQ(s.Read(buf, 8, &got), S_FALSE);
  EXPECT_EQ(got, 0u);
  LARGE_INTEGER to;
  to.QuadPart = 8;
  ULARGE_INTEGER now;
  EXPECT_EQ(s.Seek(to, STREAM_SEEK_SET, &now), S_OK);
  EXPECT_EQ(now.QuadPart, 8u);
  EXPECT_EQ(s.Read(buf, 8, &got), S_FALSE);
  EXPECT_EQ(std::string(buf, got), "89");
  to.QuadPart = -100;
  EXPECT_NE(s.Seek(to, STREAM_SEEK_CUR, &now), S_OK);
  void* itf = nullptr;
  EXPECT_EQ(s.QueryInterface(IID_IStream, &itf), S_OK);
  EXPECT_EQ(s.QueryInterface(IID_IPicture, &itf), E_NOINTERFACE);
}

// ---- bars ---------------------------------------------------------------------

TEST_F(ControlsDialog, ProgressBarFillsItsShare) {
  HWND bar = dlg->m_progress.m_hWnd;
  dlg->m_progress.SetPos(1000, 500);
  dlg->m_progress.UpdateWindow();
  Pump(3);  // the screen shows what was painted once the window surface is flushed
  COLORREF filled = ScreenPixel(bar, 240, 8);
  COLORREF empty = ScreenPixel(bar, 270, 8);
  EXPECT_GT(GetGValue(filled), GetRValue(filled) + 40) << std::hex << filled;  // green tile
  EXPECT_GT(GetRValue(empty), 200) << std::hex << empty;                        // light trough
  dlg->m_progress.SetPos(2000000000, 1000000000);  // totals above a million keep the proportion
  EXPECT_EQ(controls::ProgressFillWidth(dlg->m_progress.Value(), 510), 255);
  dlg->m_progress.SetPos(0, 0);
  dlg->m_progress.UpdateWindow();
}

TEST_F(ControlsDialog, BusyBarStopsRestartsAndKeepsThePagesMessages) {
  CQCBusyProgressCtrl& b = dlg->m_busy;
  b.SetInterval(10);
  SendMessageA(b.m_hWnd, BBM_START, 0, 0);
  EXPECT_TRUE(b.IsRunning());
  Pump(10);
  int moved = b.State().position;
  PostMessageA(dlg->m_hWnd, WM_TAB_CLICKED, 0, 3);
  b.Stop();
  EXPECT_FALSE(b.IsRunning());
  EXPECT_EQ(dlg->tabClicks, 0);
  Pump(2);
  EXPECT_EQ(dlg->tabClicks, 1);  // the stop did not throw the page's message away
  int stopped = b.State().position;
  Sleep(60);
  EXPECT_EQ(b.State().position, stopped);
  b.Start();
  Sleep(100);
  EXPECT_NE(b.State().position, stopped);
  (void)moved;
  SendMessageA(b.m_hWnd, BBM_SETBLOCKS, 0, 0);  // no blocks: still paints and runs
  b.RedrawWindow();
  Pump(3);
  b.Stop();
}

TEST_F(ControlsDialog, RollingStripRolls) {
  int x0 = dlg->m_roll.GetRollX();
  Pump(10);
  EXPECT_NE(dlg->m_roll.GetRollX(), x0);
}

// ---- image list box -------------------------------------------------------------

TEST_F(ControlsDialog, ListBoxDisabledRowsAndRecords) {
  CListBoxST& l = dlg->m_list;
  EXPECT_FALSE(l.IsItemEnabled(2));
  EXPECT_EQ(l.GetItemData(1), 1u);
  int image = 0;
  l.GetImage(0, &image);
  EXPECT_EQ(image, kRowDrive);

  auto dblclk = [&](int row) {
    l.SetCurSel(row);
    SendMessageA(dlg->m_hWnd, WM_COMMAND, MAKEWPARAM(IDT_LIST, LBN_DBLCLK), reinterpret_cast<LPARAM>(l.m_hWnd));
  };
  dblclk(2);
  EXPECT_EQ(dlg->listDoubleClicks, 0);
  dblclk(1);
  EXPECT_EQ(dlg->listDoubleClicks, 1);

  int raw = static_cast<int>(SendMessageA(l.m_hWnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("raw")));
  EXPECT_EQ(l.GetItemData(raw), static_cast<DWORD_PTR>(-1));
  l.GetImage(raw, &image);
  EXPECT_EQ(image, -1);

  EXPECT_EQ(l.MoveUp(0), LB_ERR);
  EXPECT_EQ(l.MoveDown(raw), LB_ERR);
  EXPECT_EQ(l.MoveDown(0), 1);
  EXPECT_EQ(l.GetItemData(1), 0u);
  EXPECT_EQ(l.GetItemData(0), 1u);

  int before = CListBoxST::LiveRecords();
  EXPECT_EQ(before, 3);
  l.DeleteString(0);
  EXPECT_EQ(CListBoxST::LiveRecords(), 2);
  dlg->DestroyWindow();
  EXPECT_EQ(CListBoxST::LiveRecords(), 0);
}

// ---- tab strip --------------------------------------------------------------------

TEST_F(ControlsDialog, TabStripHitTestsAndReports) {
  CTabStatic& t = dlg->m_tab;
  EXPECT_FALSE(t.SetCurSel(4));
  EXPECT_TRUE(t.SetCurSel(1));
  EXPECT_EQ(t.GetShownLook(), 5);
  EXPECT_EQ(t.HitTest(POINT{33, 15}), 0);
  EXPECT_EQ(t.HitTest(POINT{87, 15}), -1);  // the selected tab itself
  EXPECT_EQ(t.HitTest(POINT{195, 15}), 3);
  SendMessageA(t.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(140, 15));
  EXPECT_EQ(t.GetShownLook(), 6);
  SendMessageA(t.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(140, 15));
  EXPECT_EQ(dlg->tabClicks, 1);
  EXPECT_EQ(dlg->lastTab, 2);
  SendMessageA(t.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(87, 15));
  EXPECT_EQ(dlg->tabClicks, 1);
  t.SetCurSel(0);
}

// ---- folder browse tree -----------------------------------------------------------

TEST_F(ControlsDialog, BrowseTreeListsDrivesReadsOnceAndScrollsOncePerWheelLine) {
  ASSERT_TRUE(dlg->m_browseReady);
  CBrowseTreeCtrl& b = dlg->m_browse;
  HWND tree = b.m_hWnd;
  HTREEITEM computer = TreeView_GetRoot(tree);
  ASSERT_NE(computer, nullptr);
  EXPECT_TRUE(TreeView_GetItemState(tree, computer, TVIS_EXPANDED) & TVIS_EXPANDED);
  HTREEITEM c = nullptr;
  for (HTREEITEM i = TreeView_GetChild(tree, computer); i; i = TreeView_GetNextSibling(tree, i)) {
    std::string p = b.GetItemPath(i);
    if (p.size() >= 2 && (p[0] == 'C' || p[0] == 'c') && p[1] == ':') c = i;
  }
  ASSERT_NE(c, nullptr) << "drive C: is not listed";

  int reads = b.ShellReads();
  b.ReadChildren(c);
  b.ReadChildren(c);
  EXPECT_EQ(b.ShellReads(), reads + 1);

  ASSERT_TRUE(b.SelectPath("c:\\windows\\system32"));
  EXPECT_EQ(lstrcmpiA(b.GetSelectedPath(), "C:\\windows\\system32"), 0);

  SendMessageA(tree, WM_VSCROLL, SB_TOP, 0);
  int top = GetScrollPos(tree, SB_VERT);
  SendMessageA(tree, WM_MOUSEWHEEL, MAKEWPARAM(0, -360), 0);
  EXPECT_EQ(GetScrollPos(tree, SB_VERT), top + 3);
  for (int i = 0; i < 3; ++i) SendMessageA(tree, WM_MOUSEWHEEL, MAKEWPARAM(0, -40), 0);
  EXPECT_EQ(GetScrollPos(tree, SB_VERT), top + 4);
  SendMessageA(tree, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), 0);
  EXPECT_EQ(GetScrollPos(tree, SB_VERT), top + 2);

  // Ticking a folder ticks what was read below it.
  HTREEITEM sys = TreeView_GetSelection(tree);
  HTREEITEM windows = TreeView_GetParent(tree, sys);
  b.SetItemStateImage(windows, 2);
  EXPECT_EQ(b.GetItemStateImage(sys), 2);
}

// Where the ink of a text written with the tree's font ends, from its origin.
static int InkWidth(HWND tree, const std::string& text) {
  HDC screen = GetDC(tree);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 400, 40);
  HGDIOBJ oldBitmap = SelectObject(mem, bitmap);
  HGDIOBJ oldFont = SelectObject(mem, reinterpret_cast<HFONT>(SendMessageA(tree, WM_GETFONT, 0, 0)));
  RECT all = {0, 0, 400, 40};
  FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetTextColor(mem, RGB(0, 0, 0));
  TextOutA(mem, 0, 4, text.c_str(), static_cast<int>(text.size()));
  int width = 0;
  for (int x = 0; x < 400; ++x)
    for (int y = 0; y < 40; ++y)
      if (GetRValue(GetPixel(mem, x, y)) < 160) width = x + 1;
  SelectObject(mem, oldFont);
  SelectObject(mem, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(mem);
  ReleaseDC(tree, screen);
  return width;
}

// The tree view clips a row's text to its label; the whole drive name, both
// brackets included, must lie inside it.
TEST_F(ControlsDialog, BrowseTreeDriveRowsShowTheirWholeName) {
  ASSERT_TRUE(dlg->m_browseReady);
  HWND tree = dlg->m_browse.m_hWnd;
  HTREEITEM computer = TreeView_GetRoot(tree);
  ASSERT_NE(computer, nullptr);
  Pump(5);
  int drives = 0;
  for (HTREEITEM i = TreeView_GetChild(tree, computer); i; i = TreeView_GetNextSibling(tree, i)) {
    const std::string path = dlg->m_browse.GetItemPath(i);
    if (path.size() != 3 || path[1] != ':') continue;
    ++drives;
    char text[MAX_PATH] = "";
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = i;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ASSERT_TRUE(SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    const std::string name = text;
    EXPECT_NE(name.find("(" + path.substr(0, 2) + ")"), std::string::npos) << name;
    RECT label;
    std::memcpy(&label, &i, sizeof i);   // the message takes the item in the rectangle
    ASSERT_TRUE(SendMessageA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&label)));
    // The text is written two pixels into its label.
    EXPECT_LE(label.left + 2 + InkWidth(tree, name), label.right) << "cut short: " << name;
  }
  EXPECT_GE(drives, 2) << "C: and Z: at least";
}

// ---- labels -------------------------------------------------------------------------

TEST_F(ControlsDialog, FlashingTextComesBackExactly) {
  CLabel& l = dlg->m_path;
  std::string before = l.GetWindowText().str();
  l.FlashText(TRUE);
  for (int i = 0; i < 70 && l.GetWindowText().GetLength() != 0; ++i) Pump(1);
  EXPECT_EQ(l.GetWindowText().GetLength(), 0);  // the off phase shows nothing
  l.FlashText(FALSE);
  EXPECT_EQ(l.GetWindowText().str(), before);
  EXPECT_FALSE(l.IsFlashing());
}

TEST_F(ControlsDialog, TransparentLabelLeavesNoTraceOfOldText) {
  CLabel& l = dlg->m_path;
  HWND h = l.m_hWnd;
  RECT c;
  GetClientRect(h, &c);
  COLORREF background = ScreenPixel(h, c.right - 4, c.bottom / 2);
  l.SetText("WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW");
  Pump(3);
  int dark = 0;
  for (int x = 60; x < c.right - 8; ++x) dark += GetRValue(ScreenPixel(h, x, c.bottom / 2)) < 120;
  ASSERT_GT(dark, 10);  // the long text is there
  l.SetText("W");
  Pump(3);
  dark = 0;
  for (int x = 60; x < c.right - 8; ++x) {
    COLORREF p = ScreenPixel(h, x, c.bottom / 2);
    dark += std::abs(GetRValue(p) - GetRValue(background)) > 24;
  }
  EXPECT_EQ(dark, 0);  // and gone once the text is short
}

// ---- the whole dialog, for people to look at ---------------------------------------

TEST_F(ControlsDialog, Screenshot) {
  CColumnTreeCtrl& t = dlg->m_treeList.m_tree;
  struct Row {
    const char* name;
    const char* size;
    const char* time;
    int state, image, depth;
  } rows[] = {
      {"D:\\", "", "", kPartly, kRowDrive, 0},
      {"照片", "", "2024-2-11 20:15:02", kPartly, kRowFolder, 1},
      {"全家福_2024春节_客厅合影_高清原图.jpg", "4 812 KB", "2024-2-10 19:32:45", kChecked, kRowPicture, 2},
      {"年夜饭.jpg", "3 127 KB", "2024-2-9 18:05:11", kChecked, kRowPicture, 2},
      {"烟花.mp4", "85 330 KB", "2024-2-10 0:01:37", kUnchecked, kRowVideo, 2},
      {"文档", "", "2023-12-28 9:41:20", kChecked, kRowFolder, 1},
      {"年终总结.docx", "236 KB", "2023-12-28 9:41:20", kChecked, kRowDocument, 2},
      {"家庭账本.xlsx", "58 KB", "2023-12-30 21:10:03", kChecked, kRowDocument, 2},
      {"音乐", "", "2023-8-2 12:00:00", kFixed, kRowFolder, 1},
  };
  HTREEITEM parents[4] = {TVI_ROOT};
  for (const Row& r : rows) {
    HTREEITEM h = t.InsertItem(A(r.name).c_str(), r.image, r.image, parents[r.depth]);
    t.SetItemText(h, 1, r.size);
    t.SetItemText(h, 2, r.time);
    t.SetItemStateAndPropagate(h, INDEXTOSTATEIMAGEMASK(r.state), TVIS_STATEIMAGEMASK, FALSE);
    parents[r.depth + 1] = h;
  }
  dlg->m_treeList.ExpandAll(TRUE);
  TreeView_SelectItem(t.m_hWnd, parents[2]);

  std::string dir = testsupport::FixtureDir("controls-pictures");
  dlg->m_picture.Picture().LoadFromFile((dir + "photo.jpg").c_str());
  dlg->m_progress.SetPos(1000, 620);
  dlg->m_busy.Start();
  dlg->m_browse.SelectPath("c:\\windows");
  ::SetFocus(dlg->m_next.m_hWnd);
  dlg->RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(20);
  // What people look at must show what was set: the tree open on every row,
  // the photo drawn (many colours, not the control's background), and the
  // saved picture the whole dialog.
  EXPECT_EQ(TreeView_GetCount(t.m_hWnd), sizeof rows / sizeof rows[0]);
  for (HTREEITEM i = TreeView_GetRoot(t.m_hWnd); i; i = TreeView_GetNextVisible(t.m_hWnd, i)) {
    RECT r;
    EXPECT_TRUE(TreeView_GetItemRect(t.m_hWnd, i, &r, TRUE));
  }
  RECT pc;
  GetClientRect(dlg->m_picture.m_hWnd, &pc);
  std::set<COLORREF> colours;
  for (int x = 4; x < pc.right - 4; x += 5) colours.insert(ScreenPixel(dlg->m_picture.m_hWnd, x, pc.bottom / 2));
  EXPECT_GT(colours.size(), 8u) << "the photo is not drawn";
  EXPECT_EQ(colours.count(GetSysColor(COLOR_BTNFACE)), 0u);
  const std::string shot = testsupport::ArtifactPath("controls.bmp");
  ASSERT_TRUE(testsupport::SaveScreenshot(shot, dlg->m_hWnd));
  std::string bmp;
  ASSERT_TRUE(testsupport::ReadWholeFile(shot, &bmp));
  RECT w;
  GetWindowRect(dlg->m_hWnd, &w);
  ASSERT_GT(bmp.size(), 26u);
  int32_t width = 0, height = 0;
  memcpy(&width, bmp.data() + 18, 4);
  memcpy(&height, bmp.data() + 22, 4);
  EXPECT_EQ(width, w.right - w.left);
  EXPECT_EQ(height, w.bottom - w.top);
}

}  // namespace
