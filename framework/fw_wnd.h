// CWnd: a window handle plus a message dispatch.
//
// An object becomes the window's owner ("permanent", in the handle map) by
// Create/CreateEx, SubclassWindow/SubclassDlgItem (our window procedure is put
// in front of the window's own) or Attach (map only, no subclassing). From then
// on every message of a subclassed window goes
//   fw::WndProc -> CWnd::WindowProc -> message map (fw_msgmap.h) -> handler
// and whatever no row handles goes to the previous window procedure (Default()).
// When the window is destroyed (WM_NCDESTROY) the object lets go of it and
// PostNcDestroy() runs; the object itself lives on until its owner deletes it.
// Deleting an object whose window still exists destroys the window.
//
// FromHandle/GetDlgItem/GetParent return the permanent object when there is
// one; for other windows they return a temporary wrapper that stays valid only
// for a short while (a ring of 64 per thread): use it at once, never keep it.
#pragma once
#include <windows.h>

#include "fw_gdi.h"
#include "fw_geometry.h"
#include "fw_msgmap.h"
#include "fw_string.h"

class CScrollBar;
class CWnd;

namespace fw {
LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// For the length of a window creation on this thread: the first window made
// whose class is className (any class for null) is subclassed for wnd before it
// gets its first message, so that WM_NCCREATE, WM_CREATE, WM_SETFONT... already
// reach wnd's map. Used by CWnd::CreateEx and CDialog.
struct CreateHook {
  CreateHook(CWnd* wnd, const char* className);
  ~CreateHook();
  CreateHook(const CreateHook&) = delete;
  CreateHook& operator=(const CreateHook&) = delete;

 private:
  static LRESULT CALLBACK CbtProc(int code, WPARAM wp, LPARAM lp);
  CWnd* saved_;
  char savedClass_[64];
};
}  // namespace fw

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // ---- handle map ----
  static CWnd* FromHandle(HWND hwnd);            // permanent or temporary; null for null
  static CWnd* FromHandlePermanent(HWND hwnd);   // null unless an object owns it
  BOOL Attach(HWND hwnd);                        // map only
  HWND Detach();                                 // also undoes a subclassing
  virtual BOOL SubclassWindow(HWND hwnd);        // PreSubclassWindow, then subclass
  virtual BOOL SubclassDlgItem(UINT id, CWnd* parent);
  HWND UnsubclassWindow();
  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return GetSafeHwnd(); }

  // ---- creation ----
  virtual BOOL Create(const char* className, const char* windowName, DWORD style, const RECT& rect,
                      CWnd* parent, UINT id, void* param = nullptr);
  BOOL CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, const RECT& rect,
                CWnd* parent, UINT id, void* param = nullptr);
  BOOL CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                int cx, int cy, HWND parent, HMENU idOrMenu, void* param = nullptr);
  virtual BOOL DestroyWindow();

  // ---- dispatch (overridable) ----
  virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
  virtual LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp);
  // Called from the message loops for every message whose target is this window
  // or one of its children; TRUE means "consumed, do not dispatch".
  virtual BOOL PreTranslateMessage(MSG* msg);
  // WM_COMMAND / WM_NOTIFY: reflection first, then the map. TRUE when handled.
  virtual BOOL OnCommand(WPARAM wp, LPARAM lp);
  virtual BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result);
  // A message the parent received about this control (see fw_msgmap.h).
  virtual BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
  BOOL ReflectChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
  virtual void PreSubclassWindow() {}
  virtual BOOL PreCreateWindow(CREATESTRUCTA&) { return TRUE; }
  virtual void PostNcDestroy() {}
  // The default processing of the message being handled now.
  LRESULT Default();

  // ---- thin wrappers ----
  BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  BOOL IsZoomed() const { return ::IsZoomed(m_hWnd); }
  BOOL IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }

  void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
  void GetWindowText(CString& out) const;
  CString GetWindowText() const;
  int GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
  void SetDlgItemText(int id, const char* text) { ::SetDlgItemTextA(m_hWnd, id, text); }
  int GetDlgItemText(int id, CString& out) const;
  void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE) { ::SetDlgItemInt(m_hWnd, id, value, isSigned); }
  UINT GetDlgItemInt(int id, BOOL* ok = nullptr, BOOL isSigned = TRUE) const {
    return ::GetDlgItemInt(m_hWnd, id, ok, isSigned);
  }
  void CheckDlgButton(int id, UINT check) { ::CheckDlgButton(m_hWnd, id, check); }
  UINT IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
  void CheckRadioButton(int first, int last, int check) { ::CheckRadioButton(m_hWnd, first, last, check); }
  LRESULT SendDlgItemMessage(int id, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    return ::SendDlgItemMessageA(m_hWnd, id, msg, wp, lp);
  }

  CWnd* GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
  CWnd* GetOwner() const { return FromHandle(::GetWindow(m_hWnd, GW_OWNER)); }
  CWnd* GetWindow(UINT cmd) const { return FromHandle(::GetWindow(m_hWnd, cmd)); }
  CWnd* GetNextDlgGroupItem(CWnd* ctl, BOOL previous = FALSE) const {
    return FromHandle(::GetNextDlgGroupItem(m_hWnd, ctl ? ctl->m_hWnd : nullptr, previous));
  }
  CWnd* GetNextDlgTabItem(CWnd* ctl, BOOL previous = FALSE) const {
    return FromHandle(::GetNextDlgTabItem(m_hWnd, ctl ? ctl->m_hWnd : nullptr, previous));
  }
  CWnd* SetParent(CWnd* parent) { return FromHandle(::SetParent(m_hWnd, parent ? parent->m_hWnd : nullptr)); }

  void GetClientRect(LPRECT r) const { ::GetClientRect(m_hWnd, r); }
  void GetWindowRect(LPRECT r) const { ::GetWindowRect(m_hWnd, r); }
  void ClientToScreen(LPPOINT p) const { ::ClientToScreen(m_hWnd, p); }
  void ClientToScreen(LPRECT r) const;
  void ScreenToClient(LPPOINT p) const { ::ScreenToClient(m_hWnd, p); }
  void ScreenToClient(LPRECT r) const;
  void MoveWindow(int x, int y, int w, int h, BOOL repaint = TRUE) { ::MoveWindow(m_hWnd, x, y, w, h, repaint); }
  void MoveWindow(LPCRECT r, BOOL repaint = TRUE) {
    ::MoveWindow(m_hWnd, r->left, r->top, r->right - r->left, r->bottom - r->top, repaint);
  }
  // after: a window handle, HWND_TOP/HWND_TOPMOST..., or null with SWP_NOZORDER.
  BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
  }
  void CenterWindow(CWnd* alternateOwner = nullptr);
  int SetWindowRgn(HRGN rgn, BOOL redraw) { return ::SetWindowRgn(m_hWnd, rgn, redraw); }

  void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
  void InvalidateRect(LPCRECT r, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, r, erase); }
  void ValidateRect(LPCRECT r) { ::ValidateRect(m_hWnd, r); }
  void UpdateWindow() { ::UpdateWindow(m_hWnd); }
  BOOL RedrawWindow(LPCRECT r = nullptr, HRGN rgn = nullptr,
                    UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) {
    return ::RedrawWindow(m_hWnd, r, rgn, flags);
  }
  void SetRedraw(BOOL redraw = TRUE) { ::SendMessageA(m_hWnd, WM_SETREDRAW, redraw, 0); }
  BOOL LockWindowUpdate() { return ::LockWindowUpdate(m_hWnd); }
  void UnlockWindowUpdate() { ::LockWindowUpdate(nullptr); }

  LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::SendMessageA(m_hWnd, msg, wp, lp); }
  BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::PostMessageA(m_hWnd, msg, wp, lp); }
  UINT_PTR SetTimer(UINT_PTR id, UINT ms, TIMERPROC proc = nullptr) { return ::SetTimer(m_hWnd, id, ms, proc); }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

  void SetFont(HFONT font, BOOL redraw = TRUE) { ::SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw); }
  void SetFont(CFont* font, BOOL redraw = TRUE) { SetFont(font ? static_cast<HFONT>(*font) : nullptr, redraw); }
  HFONT GetFont() const { return reinterpret_cast<HFONT>(::SendMessageA(m_hWnd, WM_GETFONT, 0, 0)); }
  HICON SetIcon(HICON icon, BOOL big) {
    return reinterpret_cast<HICON>(::SendMessageA(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                                                  reinterpret_cast<LPARAM>(icon)));
  }
  HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }

  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
  DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE)); }
  BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
  BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags = 0);

  CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
  static CWnd* GetFocus() { return FromHandle(::GetFocus()); }
  CWnd* SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
  static CWnd* GetCapture() { return FromHandle(::GetCapture()); }
  CWnd* SetActiveWindow() { return FromHandle(::SetActiveWindow(m_hWnd)); }
  static CWnd* GetActiveWindow() { return FromHandle(::GetActiveWindow()); }
  BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
  void BringWindowToTop() { ::BringWindowToTop(m_hWnd); }
  HDC GetDC() { return ::GetDC(m_hWnd); }
  int ReleaseDC(HDC dc) { return ::ReleaseDC(m_hWnd, dc); }
  int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);

  BOOL GetScrollInfo(int bar, LPSCROLLINFO info, UINT mask = SIF_ALL);
  BOOL SetScrollInfo(int bar, LPSCROLLINFO info, BOOL redraw = TRUE) { return ::SetScrollInfo(m_hWnd, bar, info, redraw); }
  int GetScrollPos(int bar) const { return ::GetScrollPos(m_hWnd, bar); }
  int SetScrollPos(int bar, int pos, BOOL redraw = TRUE) { return ::SetScrollPos(m_hWnd, bar, pos, redraw); }
  void SetScrollRange(int bar, int lo, int hi, BOOL redraw = TRUE) { ::SetScrollRange(m_hWnd, bar, lo, hi, redraw); }
  void ScrollWindow(int dx, int dy, LPCRECT r = nullptr, LPCRECT clip = nullptr) { ::ScrollWindow(m_hWnd, dx, dy, r, clip); }
  void ShowScrollBar(int bar, BOOL show = TRUE) { ::ShowScrollBar(m_hWnd, bar, show); }

  HWND m_hWnd = nullptr;

 protected:
  // The message map of CWnd itself is empty; derived classes declare theirs
  // with DECLARE_MESSAGE_MAP / BEGIN_MESSAGE_MAP.
  static const fw::MsgMap* GetThisMessageMap();
  virtual const fw::MsgMap* GetMessageMap() const;
  // Runs the first matching row of the map chain; false when none matched.
  bool DispatchMap(UINT mapMsg, UINT realMsg, UINT code, UINT id, WPARAM wp, LPARAM lp, LRESULT* result);
  // Offers a message about the child hwnd to the child's object.
  bool ReflectToChild(HWND child, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

  // Default handlers: each runs the default processing (Default()).
  int OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
  void OnDestroy() { Default(); }
  void OnClose() { Default(); }
  void OnPaint() { Default(); }
  BOOL OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
  HBRUSH OnCtlColor(CDC*, CWnd*, UINT) { return reinterpret_cast<HBRUSH>(Default()); }
  void OnDrawItem(int, LPDRAWITEMSTRUCT) { Default(); }
  void OnMeasureItem(int, LPMEASUREITEMSTRUCT) { Default(); }
  void OnTimer(UINT_PTR) { Default(); }
  void OnSize(UINT, int, int) { Default(); }
  void OnSizing(UINT, LPRECT) { Default(); }
  void OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
  void OnShowWindow(BOOL, UINT) { Default(); }
  void OnSysCommand(UINT, LPARAM) { Default(); }
  LRESULT OnNcHitTest(CPoint) { return Default(); }
  void OnNcLButtonDblClk(UINT, CPoint) { Default(); }
  HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
  void OnActivate(UINT, CWnd*, BOOL) { Default(); }
  void OnLButtonDown(UINT, CPoint) { Default(); }
  void OnLButtonUp(UINT, CPoint) { Default(); }
  void OnLButtonDblClk(UINT, CPoint) { Default(); }
  void OnRButtonDown(UINT, CPoint) { Default(); }
  void OnRButtonUp(UINT, CPoint) { Default(); }
  void OnMouseMove(UINT, CPoint) { Default(); }
  void OnMouseHover(UINT, CPoint) { Default(); }
  void OnMouseLeave() { Default(); }
  BOOL OnMouseWheel(UINT, short, CPoint) { return static_cast<BOOL>(Default()); }
  BOOL OnSetCursor(CWnd*, UINT, UINT) { return static_cast<BOOL>(Default()); }
  void OnKeyDown(UINT, UINT, UINT) { Default(); }
  void OnKeyUp(UINT, UINT, UINT) { Default(); }
  void OnChar(UINT, UINT, UINT) { Default(); }
  void OnSetFocus(CWnd*) { Default(); }
  void OnKillFocus(CWnd*) { Default(); }
  void OnHScroll(UINT, UINT, CScrollBar*) { Default(); }
  void OnVScroll(UINT, UINT, CScrollBar*) { Default(); }
  void OnSysColorChange() { Default(); }
  UINT OnGetDlgCode() { return static_cast<UINT>(Default()); }
  void OnEnable(BOOL) { Default(); }

  WNDPROC m_pfnSuper = nullptr;   // the window procedure we replaced

 private:
  friend LRESULT CALLBACK fw::WndProc(HWND, UINT, WPARAM, LPARAM);
  friend struct fw::CreateHook;
  void SubclassNow(HWND hwnd);    // map + our window procedure, no PreSubclassWindow
  void OnFinalNcDestroy();
};

// The scroll-bar control (also the third argument of OnHScroll/OnVScroll,
// null when the message comes from the window's own scroll bar).
class CScrollBar : public CWnd {
 public:
  static CScrollBar* FromBarHandle(HWND hwnd);
  int GetScrollPos() const { return ::GetScrollPos(m_hWnd, SB_CTL); }
  int SetScrollPos(int pos, BOOL redraw = TRUE) { return ::SetScrollPos(m_hWnd, SB_CTL, pos, redraw); }
};

namespace fw {

// The window procedure of every subclassed window.
LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Offers msg to PreTranslateMessage of the objects of its target window and
// the target's ancestors up to and including its top-level window.
BOOL PreTranslate(MSG* msg);

// Gets one message (waiting for it), pre-translates and dispatches it.
// Returns FALSE on WM_QUIT (which is then left posted again for outer loops).
BOOL PumpMessage();

// Dispatches everything waiting in the calling thread's queue, without waiting.
void PumpWaitingMessages();

// Common controls are registered once per process.
void InitCommonControlsOnce();

}  // namespace fw
