// Message maps: a table per class that says which member handles which message.
//
//   class CAboutDlg : public CDialog {
//     ...
//     LRESULT OnAboutClose(WPARAM, LPARAM);
//     void OnProductLink();
//     DECLARE_MESSAGE_MAP()
//   };
//
//   BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
//     ON_WM_ERASEBKGND()                              // BOOL OnEraseBkgnd(CDC*)
//     ON_WM_NCHITTEST()                               // LRESULT OnNcHitTest(CPoint)
//     ON_MESSAGE(WM_USER + 500, &CAboutDlg::OnAboutClose)
//     ON_BN_CLICKED(1138, &CAboutDlg::OnProductLink)
//   END_MESSAGE_MAP()
//
// How a message reaches a handler (CWnd::WindowProc, fw_wnd.cpp):
//   1. WM_COMMAND and WM_NOTIFY from a control, WM_DRAWITEM, WM_MEASUREITEM,
//      WM_COMPAREITEM, WM_DELETEITEM and WM_CTLCOLOR* are first offered to the
//      control's own object (reflection, CWnd::OnChildNotify): its map rows
//      ON_CONTROL_REFLECT, ON_NOTIFY_REFLECT, ON_WM_CTLCOLOR_REFLECT, or the
//      DrawItem/MeasureItem virtuals of the control classes. If the control
//      handles it, the parent does not see it.
//   2. Otherwise the rows of the class's map are searched, then those of its
//      base class's map, and so on up to CWnd; the first row that matches runs.
//   3. No row: the window's previous window procedure (or DefWindowProc /
//      DefDlgProc) handles it. A handler can run that default itself with
//      Default(), as the base-class handlers CWnd::OnPaint() etc. do.
//
// Handlers are ordinary member functions named On<Event>; the ON_WM_xxx rows
// call the member with the fixed name and signature listed beside each macro.
// Note: DECLARE_MESSAGE_MAP() leaves the class in "protected:" access.
#pragma once
#include <windows.h>

class CWnd;

namespace fw {

// A row's handler: runs the member function and says whether it handled the
// message (the _EX reflect rows and a reflected WM_CTLCOLOR returning no brush
// can decline).
using MsgThunk = bool (*)(CWnd* self, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

struct MsgMapEntry {
  UINT message;   // the message, a pseudo code below, or 0 at the end
  UINT code;      // notification code of WM_COMMAND / WM_NOTIFY rows
  UINT idFirst;   // control ids of WM_COMMAND / WM_NOTIFY rows
  UINT idLast;
  MsgThunk thunk;
};

struct MsgMap {
  const MsgMap* (*base)();   // null for CWnd
  const MsgMapEntry* entries;
};

// Pseudo message codes used only inside maps.
constexpr UINT kAnyCtlColor = 0x0001FFFF;               // every WM_CTLCOLOR* (above real messages)
constexpr UINT Reflected(UINT msg) { return 0x7FFE0000u | msg; }

}  // namespace fw

#define DECLARE_MESSAGE_MAP()                          \
 protected:                                            \
  static const ::fw::MsgMap* GetThisMessageMap();      \
  const ::fw::MsgMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                         \
  const ::fw::MsgMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const ::fw::MsgMap* theClass::GetThisMessageMap() {                                  \
    using ThisClass [[maybe_unused]] = theClass;                                       \
    using TheBaseClass = baseClass;                                                    \
    static const ::fw::MsgMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                  \
      {0, 0, 0, 0, nullptr}};                                              \
    static const ::fw::MsgMap map = {&TheBaseClass::GetThisMessageMap, entries}; \
    return &map;                                                           \
  }

// The body of a row's handler; T is the class, w the CWnd*.
#define FW_THUNK(body)                                                                          \
  [](CWnd* w_, UINT msg_, WPARAM wp_, LPARAM lp_, LRESULT* r_) -> bool {                        \
    (void)msg_; (void)wp_; (void)lp_; (void)r_;                                                 \
    ThisClass* t_ = static_cast<ThisClass*>(w_);                                                \
    (void)t_;                                                                                   \
    body                                                                                        \
  }

// ---- general -----------------------------------------------------------------
// LRESULT Fn(WPARAM, LPARAM)
#define ON_MESSAGE(msg, memberFxn) \
  {msg, 0, 0, 0, FW_THUNK(*r_ = (t_->*(memberFxn))(wp_, lp_); return true;)},

// ---- commands from menus, accelerators and controls ----------------------------
// void Fn()  (a button click is command code 0, so ON_COMMAND(IDOK, ...) catches it)
#define ON_COMMAND(id, memberFxn) \
  {WM_COMMAND, 0, (UINT)(id), (UINT)(id), FW_THUNK((t_->*(memberFxn))(); *r_ = 0; return true;)},
// void Fn(UINT id)
#define ON_COMMAND_RANGE(idFirst, idLast, memberFxn)                                \
  {WM_COMMAND, 0, (UINT)(idFirst), (UINT)(idLast),                                  \
   FW_THUNK((t_->*(memberFxn))((UINT)LOWORD(wp_)); *r_ = 0; return true;)},
// void Fn()
#define ON_CONTROL(code, id, memberFxn) \
  {WM_COMMAND, (UINT)(code), (UINT)(id), (UINT)(id), FW_THUNK((t_->*(memberFxn))(); *r_ = 0; return true;)},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_BN_DOUBLECLICKED(id, memberFxn) ON_CONTROL(BN_DOUBLECLICKED, id, memberFxn)
#define ON_STN_CLICKED(id, memberFxn) ON_CONTROL(STN_CLICKED, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_EN_KILLFOCUS(id, memberFxn) ON_CONTROL(EN_KILLFOCUS, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_CBN_DROPDOWN(id, memberFxn) ON_CONTROL(CBN_DROPDOWN, id, memberFxn)
#define ON_LBN_SELCHANGE(id, memberFxn) ON_CONTROL(LBN_SELCHANGE, id, memberFxn)
#define ON_LBN_DBLCLK(id, memberFxn) ON_CONTROL(LBN_DBLCLK, id, memberFxn)

// void Fn(NMHDR*, LRESULT*)
#define ON_NOTIFY(code, id, memberFxn)                                                   \
  {WM_NOTIFY, (UINT)(code), (UINT)(id), (UINT)(id),                                      \
   FW_THUNK(*r_ = 0; (t_->*(memberFxn))(reinterpret_cast<NMHDR*>(lp_), r_); return true;)},
// void Fn(UINT id, NMHDR*, LRESULT*)
#define ON_NOTIFY_RANGE(code, idFirst, idLast, memberFxn)                                      \
  {WM_NOTIFY, (UINT)(code), (UINT)(idFirst), (UINT)(idLast),                                   \
   FW_THUNK(*r_ = 0; (t_->*(memberFxn))((UINT)wp_, reinterpret_cast<NMHDR*>(lp_), r_); return true;)},

// ---- reflected to the control's own object ---------------------------------------
// void Fn(NMHDR*, LRESULT*)
#define ON_NOTIFY_REFLECT(code, memberFxn)                                               \
  {::fw::Reflected(WM_NOTIFY), (UINT)(code), 0, 0xFFFFFFFFu,                              \
   FW_THUNK(*r_ = 0; (t_->*(memberFxn))(reinterpret_cast<NMHDR*>(lp_), r_); return true;)},
// BOOL Fn(NMHDR*, LRESULT*): FALSE lets the parent handle it too
#define ON_NOTIFY_REFLECT_EX(code, memberFxn)                                            \
  {::fw::Reflected(WM_NOTIFY), (UINT)(code), 0, 0xFFFFFFFFu,                              \
   FW_THUNK(*r_ = 0; return (t_->*(memberFxn))(reinterpret_cast<NMHDR*>(lp_), r_) != FALSE;)},
// void Fn()
#define ON_CONTROL_REFLECT(code, memberFxn) \
  {::fw::Reflected(WM_COMMAND), (UINT)(code), 0, 0xFFFFFFFFu, FW_THUNK((t_->*(memberFxn))(); *r_ = 0; return true;)},
// BOOL Fn(): FALSE lets the parent handle it too
#define ON_CONTROL_REFLECT_EX(code, memberFxn) \
  {::fw::Reflected(WM_COMMAND), (UINT)(code), 0, 0xFFFFFFFFu, FW_THUNK(*r_ = 0; return (t_->*(memberFxn))() != FALSE;)},
// HBRUSH CtlColor(CDC*, UINT nCtlColor): a null brush lets the parent decide
#define ON_WM_CTLCOLOR_REFLECT()                                                          \
  {::fw::Reflected(::fw::kAnyCtlColor), 0, 0, 0,                                          \
   FW_THUNK(CDC dc_; dc_.Attach(reinterpret_cast<HDC>(wp_));                                \
            HBRUSH b_ = t_->CtlColor(&dc_, msg_ - WM_CTLCOLORMSGBOX); dc_.Detach();          \
            *r_ = reinterpret_cast<LRESULT>(b_); return b_ != nullptr;)},

// ---- window messages (fixed handler names) --------------------------------------
#define ON_WM_CREATE() /* int OnCreate(LPCREATESTRUCT) */ \
  {WM_CREATE, 0, 0, 0, FW_THUNK(*r_ = t_->OnCreate(reinterpret_cast<LPCREATESTRUCT>(lp_)); return true;)},
#define ON_WM_DESTROY() /* void OnDestroy() */ \
  {WM_DESTROY, 0, 0, 0, FW_THUNK(t_->OnDestroy(); *r_ = 0; return true;)},
#define ON_WM_CLOSE() /* void OnClose() */ \
  {WM_CLOSE, 0, 0, 0, FW_THUNK(t_->OnClose(); *r_ = 0; return true;)},
#define ON_WM_PAINT() /* void OnPaint() */ \
  {WM_PAINT, 0, 0, 0, FW_THUNK(t_->OnPaint(); *r_ = 0; return true;)},
#define ON_WM_ERASEBKGND() /* BOOL OnEraseBkgnd(CDC*) */                                   \
  {WM_ERASEBKGND, 0, 0, 0,                                                                  \
   FW_THUNK(CDC dc_; dc_.Attach(reinterpret_cast<HDC>(wp_)); *r_ = t_->OnEraseBkgnd(&dc_);  \
            dc_.Detach(); return true;)},
#define ON_WM_CTLCOLOR() /* HBRUSH OnCtlColor(CDC*, CWnd*, UINT nCtlColor) */                \
  {::fw::kAnyCtlColor, 0, 0, 0,                                                              \
   FW_THUNK(CDC dc_; dc_.Attach(reinterpret_cast<HDC>(wp_));                                   \
            *r_ = reinterpret_cast<LRESULT>(t_->OnCtlColor(&dc_, CWnd::FromHandle(reinterpret_cast<HWND>(lp_)), \
                                                          msg_ - WM_CTLCOLORMSGBOX));          \
            dc_.Detach(); return true;)},
#define ON_WM_DRAWITEM() /* void OnDrawItem(int id, LPDRAWITEMSTRUCT) */ \
  {WM_DRAWITEM, 0, 0, 0, FW_THUNK(t_->OnDrawItem((int)wp_, reinterpret_cast<LPDRAWITEMSTRUCT>(lp_)); *r_ = TRUE; return true;)},
#define ON_WM_MEASUREITEM() /* void OnMeasureItem(int id, LPMEASUREITEMSTRUCT) */ \
  {WM_MEASUREITEM, 0, 0, 0, FW_THUNK(t_->OnMeasureItem((int)wp_, reinterpret_cast<LPMEASUREITEMSTRUCT>(lp_)); *r_ = TRUE; return true;)},
#define ON_WM_TIMER() /* void OnTimer(UINT_PTR id) */ \
  {WM_TIMER, 0, 0, 0, FW_THUNK(t_->OnTimer((UINT_PTR)wp_); *r_ = 0; return true;)},
#define ON_WM_SIZE() /* void OnSize(UINT type, int cx, int cy) */ \
  {WM_SIZE, 0, 0, 0, FW_THUNK(t_->OnSize((UINT)wp_, (short)LOWORD(lp_), (short)HIWORD(lp_)); *r_ = 0; return true;)},
#define ON_WM_SIZING() /* void OnSizing(UINT side, LPRECT) */ \
  {WM_SIZING, 0, 0, 0, FW_THUNK(t_->OnSizing((UINT)wp_, reinterpret_cast<LPRECT>(lp_)); *r_ = TRUE; return true;)},
#define ON_WM_GETMINMAXINFO() /* void OnGetMinMaxInfo(MINMAXINFO*) */ \
  {WM_GETMINMAXINFO, 0, 0, 0, FW_THUNK(t_->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lp_)); *r_ = 0; return true;)},
#define ON_WM_SHOWWINDOW() /* void OnShowWindow(BOOL show, UINT status) */ \
  {WM_SHOWWINDOW, 0, 0, 0, FW_THUNK(t_->OnShowWindow((BOOL)wp_, (UINT)lp_); *r_ = 0; return true;)},
#define ON_WM_SYSCOMMAND() /* void OnSysCommand(UINT id, LPARAM) */ \
  {WM_SYSCOMMAND, 0, 0, 0, FW_THUNK(t_->OnSysCommand((UINT)wp_, lp_); *r_ = 0; return true;)},
#define ON_WM_NCHITTEST() /* LRESULT OnNcHitTest(CPoint screenPoint) */ \
  {WM_NCHITTEST, 0, 0, 0, FW_THUNK(*r_ = t_->OnNcHitTest(CPoint(lp_)); return true;)},
#define ON_WM_NCLBUTTONDBLCLK() /* void OnNcLButtonDblClk(UINT hit, CPoint) */ \
  {WM_NCLBUTTONDBLCLK, 0, 0, 0, FW_THUNK(t_->OnNcLButtonDblClk((UINT)wp_, CPoint(lp_)); *r_ = 0; return true;)},
#define ON_WM_QUERYDRAGICON() /* HCURSOR OnQueryDragIcon() */ \
  {WM_QUERYDRAGICON, 0, 0, 0, FW_THUNK(*r_ = reinterpret_cast<LRESULT>(t_->OnQueryDragIcon()); return true;)},
#define ON_WM_ACTIVATE() /* void OnActivate(UINT state, CWnd* other, BOOL minimized) */           \
  {WM_ACTIVATE, 0, 0, 0, FW_THUNK(t_->OnActivate(LOWORD(wp_), CWnd::FromHandle(reinterpret_cast<HWND>(lp_)), \
                                                 HIWORD(wp_) != 0); *r_ = 0; return true;)},
#define FW_MOUSE_ROW(msg, fn) \
  {msg, 0, 0, 0, FW_THUNK(t_->fn((UINT)wp_, CPoint(lp_)); *r_ = 0; return true;)},
#define ON_WM_LBUTTONDOWN() FW_MOUSE_ROW(WM_LBUTTONDOWN, OnLButtonDown)     /* void (UINT flags, CPoint) */
#define ON_WM_LBUTTONUP() FW_MOUSE_ROW(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() FW_MOUSE_ROW(WM_LBUTTONDBLCLK, OnLButtonDblClk)
#define ON_WM_RBUTTONDOWN() FW_MOUSE_ROW(WM_RBUTTONDOWN, OnRButtonDown)
#define ON_WM_RBUTTONUP() FW_MOUSE_ROW(WM_RBUTTONUP, OnRButtonUp)
#define ON_WM_MOUSEMOVE() FW_MOUSE_ROW(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_MOUSEHOVER() FW_MOUSE_ROW(WM_MOUSEHOVER, OnMouseHover)
#define ON_WM_MOUSELEAVE() /* void OnMouseLeave() */ \
  {WM_MOUSELEAVE, 0, 0, 0, FW_THUNK(t_->OnMouseLeave(); *r_ = 0; return true;)},
#define ON_WM_MOUSEWHEEL() /* BOOL OnMouseWheel(UINT flags, short delta, CPoint screenPoint) */ \
  {WM_MOUSEWHEEL, 0, 0, 0, FW_THUNK(*r_ = t_->OnMouseWheel(LOWORD(wp_), (short)HIWORD(wp_), CPoint(lp_)); return true;)},
#define ON_WM_SETCURSOR() /* BOOL OnSetCursor(CWnd*, UINT hit, UINT message) */ \
  {WM_SETCURSOR, 0, 0, 0, FW_THUNK(*r_ = t_->OnSetCursor(CWnd::FromHandle(reinterpret_cast<HWND>(wp_)), LOWORD(lp_), HIWORD(lp_)); return true;)},
#define FW_KEY_ROW(msg, fn) \
  {msg, 0, 0, 0, FW_THUNK(t_->fn((UINT)wp_, LOWORD(lp_), HIWORD(lp_)); *r_ = 0; return true;)},
#define ON_WM_KEYDOWN() FW_KEY_ROW(WM_KEYDOWN, OnKeyDown)    /* void (UINT ch, UINT repeat, UINT flags) */
#define ON_WM_KEYUP() FW_KEY_ROW(WM_KEYUP, OnKeyUp)
#define ON_WM_CHAR() FW_KEY_ROW(WM_CHAR, OnChar)
#define ON_WM_SETFOCUS() /* void OnSetFocus(CWnd* old) */ \
  {WM_SETFOCUS, 0, 0, 0, FW_THUNK(t_->OnSetFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wp_))); *r_ = 0; return true;)},
#define ON_WM_KILLFOCUS() /* void OnKillFocus(CWnd* next) */ \
  {WM_KILLFOCUS, 0, 0, 0, FW_THUNK(t_->OnKillFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wp_))); *r_ = 0; return true;)},
#define ON_WM_HSCROLL() /* void OnHScroll(UINT code, UINT pos, CScrollBar* bar) */ \
  {WM_HSCROLL, 0, 0, 0, FW_THUNK(t_->OnHScroll(LOWORD(wp_), HIWORD(wp_), CScrollBar::FromBarHandle(reinterpret_cast<HWND>(lp_))); *r_ = 0; return true;)},
#define ON_WM_VSCROLL() /* void OnVScroll(UINT code, UINT pos, CScrollBar* bar) */ \
  {WM_VSCROLL, 0, 0, 0, FW_THUNK(t_->OnVScroll(LOWORD(wp_), HIWORD(wp_), CScrollBar::FromBarHandle(reinterpret_cast<HWND>(lp_))); *r_ = 0; return true;)},
#define ON_WM_SYSCOLORCHANGE() /* void OnSysColorChange() */ \
  {WM_SYSCOLORCHANGE, 0, 0, 0, FW_THUNK(t_->OnSysColorChange(); *r_ = 0; return true;)},
#define ON_WM_GETDLGCODE() /* UINT OnGetDlgCode() */ \
  {WM_GETDLGCODE, 0, 0, 0, FW_THUNK(*r_ = t_->OnGetDlgCode(); return true;)},
#define ON_WM_ENABLE() /* void OnEnable(BOOL) */ \
  {WM_ENABLE, 0, 0, 0, FW_THUNK(t_->OnEnable((BOOL)wp_); *r_ = 0; return true;)},
