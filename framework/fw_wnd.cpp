#include "fw_wnd.h"

#include <commctrl.h>

#include <mutex>
#include <unordered_map>

#include "fw_app.h"

namespace {

// ---- the handle map: HWND -> the object that owns the window ----------------
std::mutex g_mapLock;   // constant-initialised: usable before any constructor runs

std::unordered_map<HWND, CWnd*>& HandleMap() {
  static auto* map = new std::unordered_map<HWND, CWnd*>;   // lives as long as the process
  return *map;
}

void MapInsert(HWND h, CWnd* w) {
  std::lock_guard<std::mutex> lock(g_mapLock);
  HandleMap()[h] = w;
}

void MapErase(HWND h, CWnd* w) {
  std::lock_guard<std::mutex> lock(g_mapLock);
  auto it = HandleMap().find(h);
  if (it != HandleMap().end() && it->second == w) HandleMap().erase(it);
}

// The window procedure a subclassed window had before ours, kept on the window
// itself so that it can still be called if our procedure outlives the object
// (another subclasser sitting on top of us).
const char kSuperProp[] = "fw.super";

// The message being handled on this thread (for CWnd::Default).
struct CurrentMessage {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
thread_local CurrentMessage t_current = {nullptr, 0, 0, 0};

// Temporary wrappers handed out by FromHandle for windows without an object.
constexpr int kTemporaries = 64;
thread_local CScrollBar* t_temporaries[kTemporaries];
thread_local int t_nextTemporary = 0;

// The object waiting for its window during CreateEx / CDialog creation.
thread_local CWnd* t_creating = nullptr;
thread_local char t_creatingClass[64];
thread_local HHOOK t_cbtHook = nullptr;
thread_local int t_hookUsers = 0;

bool IsCommandRow(UINT mapMsg) {
  return mapMsg == WM_COMMAND || mapMsg == WM_NOTIFY || mapMsg == fw::Reflected(WM_COMMAND) ||
         mapMsg == fw::Reflected(WM_NOTIFY);
}

bool IsCtlColor(UINT msg) { return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC; }

}  // namespace

namespace fw {

CreateHook::CreateHook(CWnd* wnd, const char* className) : saved_(t_creating) {
  lstrcpynA(savedClass_, t_creatingClass, sizeof savedClass_);
  t_creating = wnd;
  t_creatingClass[0] = '\0';
  if (className && !IS_INTRESOURCE(className)) lstrcpynA(t_creatingClass, className, sizeof t_creatingClass);
  if (t_hookUsers++ == 0) t_cbtHook = SetWindowsHookExA(WH_CBT, &CreateHook::CbtProc, nullptr, GetCurrentThreadId());
}

CreateHook::~CreateHook() {
  if (--t_hookUsers == 0 && t_cbtHook) {
    UnhookWindowsHookEx(t_cbtHook);
    t_cbtHook = nullptr;
  }
  t_creating = saved_;
  lstrcpynA(t_creatingClass, savedClass_, sizeof t_creatingClass);
}

LRESULT CALLBACK CreateHook::CbtProc(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND && t_creating) {
    HWND hwnd = reinterpret_cast<HWND>(wp);
    char cls[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    // The system may make helper windows of its own (IME) on the way: only the
    // window of the class we asked for is ours.
    if (t_creatingClass[0] == '\0' || lstrcmpiA(cls, t_creatingClass) == 0) {
      CWnd* wnd = t_creating;
      t_creating = nullptr;
      wnd->SubclassNow(hwnd);
      wnd->PreSubclassWindow();
    }
  }
  return CallNextHookEx(t_cbtHook, code, wp, lp);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
  if (!wnd) {
    WNDPROC super = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kSuperProp));
    if (msg == WM_NCDESTROY) RemovePropA(hwnd, kSuperProp);
    return super ? CallWindowProcA(super, hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
  }
  CurrentMessage saved = t_current;
  t_current = {hwnd, msg, wp, lp};
  LRESULT result = wnd->WindowProc(msg, wp, lp);
  t_current = saved;
  if (msg == WM_NCDESTROY) wnd->OnFinalNcDestroy();   // may delete the object
  return result;
}

BOOL PreTranslate(MSG* msg) {
  for (HWND h = msg->hwnd; h;) {
    CWnd* wnd = CWnd::FromHandlePermanent(h);
    if (wnd && wnd->PreTranslateMessage(msg)) return TRUE;
    if (!(GetWindowLongPtrA(h, GWL_STYLE) & WS_CHILD)) break;   // the top-level window was the last
    h = GetParent(h);
  }
  return FALSE;
}

BOOL PumpMessage() {
  MSG msg;
  BOOL got = GetMessageA(&msg, nullptr, 0, 0);
  if (got == 0) {
    PostQuitMessage(static_cast<int>(msg.wParam));   // for the loops further out
    return FALSE;
  }
  if (got == -1) return FALSE;
  if (!PreTranslate(&msg)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return TRUE;
}

void PumpWaitingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!PreTranslate(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

void InitCommonControlsOnce() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_STANDARD_CLASSES |
                                                ICC_USEREX_CLASSES};
    return InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

}  // namespace fw

// ---- handle map ----------------------------------------------------------------

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
  if (!hwnd) return nullptr;
  std::lock_guard<std::mutex> lock(g_mapLock);
  auto it = HandleMap().find(hwnd);
  return it == HandleMap().end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  if (CWnd* wnd = FromHandlePermanent(hwnd)) return wnd;
  CScrollBar*& slot = t_temporaries[t_nextTemporary];
  t_nextTemporary = (t_nextTemporary + 1) % kTemporaries;
  if (!slot) slot = new CScrollBar;   // one ring per thread, kept for the thread's life
  slot->m_hWnd = hwnd;
  return slot;
}

CScrollBar* CScrollBar::FromBarHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  if (auto* bar = dynamic_cast<CScrollBar*>(FromHandlePermanent(hwnd))) return bar;
  CWnd* permanent = FromHandlePermanent(hwnd);
  if (!permanent) return static_cast<CScrollBar*>(FromHandle(hwnd));   // temporaries are scroll bars
  return nullptr;   // owned by an object of another kind
}

BOOL CWnd::Attach(HWND hwnd) {
  if (!hwnd || m_hWnd || FromHandlePermanent(hwnd)) return FALSE;
  m_hWnd = hwnd;
  MapInsert(hwnd, this);
  return TRUE;
}

HWND CWnd::Detach() {
  HWND hwnd = m_hWnd;
  if (!hwnd) return nullptr;
  if (m_pfnSuper) return UnsubclassWindow();
  MapErase(hwnd, this);
  m_hWnd = nullptr;
  return hwnd;
}

void CWnd::SubclassNow(HWND hwnd) {
  m_hWnd = hwnd;
  MapInsert(hwnd, this);
  auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC));
  if (current != fw::WndProc) {
    SetPropA(hwnd, kSuperProp, reinterpret_cast<HANDLE>(current));
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(fw::WndProc)));
  } else {
    m_pfnSuper = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kSuperProp));
  }
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
  if (!hwnd || !::IsWindow(hwnd) || m_hWnd || FromHandlePermanent(hwnd)) return FALSE;
  SubclassNow(hwnd);
  PreSubclassWindow();
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  if (!parent || !parent->m_hWnd) return FALSE;
  return SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow() {
  HWND hwnd = m_hWnd;
  if (!hwnd) return nullptr;
  if (m_pfnSuper && reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC)) == fw::WndProc) {
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    RemovePropA(hwnd, kSuperProp);
  }
  m_pfnSuper = nullptr;
  MapErase(hwnd, this);
  m_hWnd = nullptr;
  return hwnd;
}

void CWnd::OnFinalNcDestroy() {
  UnsubclassWindow();
  if (m_hWnd) {   // attached only
    MapErase(m_hWnd, this);
    m_hWnd = nullptr;
  }
  PostNcDestroy();
}

CWnd::~CWnd() {
  if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
    // Stop dispatching to this half-destroyed object before the window goes.
    HWND hwnd = m_hWnd;
    if (m_pfnSuper)
      UnsubclassWindow();
    else
      Detach();
    ::DestroyWindow(hwnd);
  }
}

// ---- creation ------------------------------------------------------------------

BOOL CWnd::CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                    int cx, int cy, HWND parent, HMENU idOrMenu, void* param) {
  if (m_hWnd) return FALSE;
  fw::InitCommonControlsOnce();
  CREATESTRUCTA cs = {};
  cs.dwExStyle = exStyle;
  cs.lpszClass = className;
  cs.lpszName = windowName;
  cs.style = style;
  cs.x = x;
  cs.y = y;
  cs.cx = cx;
  cs.cy = cy;
  cs.hwndParent = parent;
  cs.hMenu = idOrMenu;
  cs.hInstance = AfxGetInstanceHandle();
  cs.lpCreateParams = param;
  if (!PreCreateWindow(cs)) return FALSE;
  HWND hwnd;
  {
    fw::CreateHook hook(this, cs.lpszClass);
    hwnd = CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx, cs.cy,
                           cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
  }
  if (!hwnd) return FALSE;
  if (!m_hWnd) {   // the hook did not see it (should not happen): subclass now
    SubclassNow(hwnd);
    PreSubclassWindow();
  }
  return TRUE;
}

BOOL CWnd::CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, const RECT& r,
                    CWnd* parent, UINT id, void* param) {
  return CreateEx(exStyle, className, windowName, style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                  parent ? parent->m_hWnd : nullptr, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), param);
}

BOOL CWnd::Create(const char* className, const char* windowName, DWORD style, const RECT& rect, CWnd* parent,
                  UINT id, void* param) {
  return CreateEx(0, className, windowName, style | WS_CHILD, rect, parent, id, param);
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  return ::DestroyWindow(m_hWnd);
}

// ---- dispatch ------------------------------------------------------------------

const fw::MsgMap* CWnd::GetThisMessageMap() {
  static const fw::MsgMapEntry entries[] = {{0, 0, 0, 0, nullptr}};
  static const fw::MsgMap map = {nullptr, entries};
  return &map;
}

const fw::MsgMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

bool CWnd::DispatchMap(UINT mapMsg, UINT realMsg, UINT code, UINT id, WPARAM wp, LPARAM lp, LRESULT* result) {
  const bool commandRow = IsCommandRow(mapMsg);
  for (const fw::MsgMap* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
    for (const fw::MsgMapEntry* e = map->entries; e->thunk; ++e) {
      if (e->message != mapMsg) continue;
      if (commandRow && (e->code != code || id < e->idFirst || id > e->idLast)) continue;
      if (e->thunk(this, realMsg, wp, lp, result)) return true;
    }
  }
  return false;
}

bool CWnd::ReflectToChild(HWND child, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  // Only our own direct children: a notification that a control passes on from
  // its own children must not be reflected a second time.
  if (!child || child == m_hWnd || ::GetParent(child) != m_hWnd) return false;
  CWnd* wnd = FromHandlePermanent(child);
  return wnd && wnd->OnChildNotify(msg, wp, lp, result);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (msg == WM_SETCURSOR && fw::WaitCursorShown()) {   // a CWaitCursor is up
    ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
    return TRUE;
  }
  switch (msg) {
    case WM_COMMAND:
      return OnCommand(wp, lp) ? 0 : DefWindowProc(msg, wp, lp);
    case WM_NOTIFY:
      return OnNotify(wp, lp, &result) ? result : DefWindowProc(msg, wp, lp);
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lp);
      if (dis && dis->CtlType != ODT_MENU && ReflectToChild(dis->hwndItem, msg, wp, lp, &result)) return result;
      break;
    }
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<LPMEASUREITEMSTRUCT>(lp);
      if (mis && mis->CtlType != ODT_MENU &&
          ReflectToChild(::GetDlgItem(m_hWnd, static_cast<int>(mis->CtlID)), msg, wp, lp, &result))
        return result;
      break;
    }
    case WM_COMPAREITEM: {
      auto* cis = reinterpret_cast<LPCOMPAREITEMSTRUCT>(lp);
      if (cis && ReflectToChild(cis->hwndItem, msg, wp, lp, &result)) return result;
      break;
    }
    case WM_DELETEITEM: {
      auto* dis = reinterpret_cast<LPDELETEITEMSTRUCT>(lp);
      if (dis && ReflectToChild(dis->hwndItem, msg, wp, lp, &result)) return result;
      break;
    }
    default:
      if (IsCtlColor(msg)) {
        if (ReflectToChild(reinterpret_cast<HWND>(lp), msg, wp, lp, &result)) return result;
        if (DispatchMap(fw::kAnyCtlColor, msg, 0, 0, wp, lp, &result)) return result;
        return DefWindowProc(msg, wp, lp);
      }
      break;
  }
  if (DispatchMap(msg, msg, 0, 0, wp, lp, &result)) return result;
  return DefWindowProc(msg, wp, lp);
}

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (m_pfnSuper) return CallWindowProcA(m_pfnSuper, m_hWnd, msg, wp, lp);
  return ::DefWindowProcA(m_hWnd, msg, wp, lp);
}

LRESULT CWnd::Default() { return DefWindowProc(t_current.message, t_current.wParam, t_current.lParam); }

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::OnCommand(WPARAM wp, LPARAM lp) {
  const UINT id = LOWORD(wp);
  UINT code = HIWORD(wp);
  const HWND control = reinterpret_cast<HWND>(lp);
  LRESULT result = 0;
  if (control && ReflectToChild(control, WM_COMMAND, wp, lp, &result)) return TRUE;
  if (!control) code = 0;   // menus (0) and accelerators (1) are both plain commands
  return DispatchMap(WM_COMMAND, WM_COMMAND, code, id, wp, lp, &result);
}

BOOL CWnd::OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) {
  auto* hdr = reinterpret_cast<NMHDR*>(lp);
  if (!hdr) return FALSE;
  if (ReflectToChild(hdr->hwndFrom, WM_NOTIFY, wp, lp, result)) return TRUE;
  return DispatchMap(WM_NOTIFY, WM_NOTIFY, hdr->code, static_cast<UINT>(hdr->idFrom), wp, lp, result);
}

BOOL CWnd::OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  return ReflectChildNotify(msg, wp, lp, result);
}

BOOL CWnd::ReflectChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == WM_COMMAND) return DispatchMap(fw::Reflected(WM_COMMAND), msg, HIWORD(wp), 0, wp, lp, result);
  if (msg == WM_NOTIFY) {
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    return DispatchMap(fw::Reflected(WM_NOTIFY), msg, hdr->code, 0, wp, lp, result);
  }
  if (IsCtlColor(msg)) return DispatchMap(fw::Reflected(fw::kAnyCtlColor), msg, 0, 0, wp, lp, result);
  return DispatchMap(fw::Reflected(msg), msg, 0, 0, wp, lp, result);
}

// ---- wrappers ------------------------------------------------------------------

void CWnd::GetWindowText(CString& out) const {
  int n = ::GetWindowTextLengthA(m_hWnd);
  char* buf = out.GetBufferSetLength(n + 1);
  int got = ::GetWindowTextA(m_hWnd, buf, n + 1);
  out.ReleaseBuffer(got >= 0 && got <= n ? got : 0);
}

CString CWnd::GetWindowText() const {
  CString s;
  GetWindowText(s);
  return s;
}

int CWnd::GetDlgItemText(int id, CString& out) const {
  HWND item = ::GetDlgItem(m_hWnd, id);
  if (!item) {
    out.Empty();
    return 0;
  }
  int n = ::GetWindowTextLengthA(item);
  char* buf = out.GetBufferSetLength(n + 1);
  int got = ::GetWindowTextA(item, buf, n + 1);
  out.ReleaseBuffer(got >= 0 && got <= n ? got : 0);
  return out.GetLength();
}

void CWnd::ClientToScreen(LPRECT r) const {
  ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(&r->left));
  ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(&r->right));
}

void CWnd::ScreenToClient(LPRECT r) const {
  ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(&r->left));
  ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(&r->right));
}

void CWnd::CenterWindow(CWnd* alternateOwner) {
  CRect self;
  GetWindowRect(&self);
  if (GetStyle() & WS_CHILD) {   // a child is centred in its parent's client area
    CRect client;
    ::GetClientRect(::GetParent(m_hWnd), &client);
    ::SetWindowPos(m_hWnd, nullptr, (client.Width() - self.Width()) / 2, (client.Height() - self.Height()) / 2, 0,
                   0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return;
  }
  // A popup is centred over its owner, also one that is about to be shown
  // (a box opened while its page is still being prepared); over the work
  // area when there is none or it is minimised.
  HWND center = alternateOwner ? alternateOwner->m_hWnd : ::GetWindow(m_hWnd, GW_OWNER);
  CRect ownerRect;
  const bool useOwner = center && !::IsIconic(center) && ::GetWindowRect(center, &ownerRect) && !ownerRect.IsRectEmpty();
  MONITORINFO mi = {sizeof mi};
  GetMonitorInfoA(MonitorFromWindow(useOwner ? center : m_hWnd, MONITOR_DEFAULTTONEAREST), &mi);
  CRect work = mi.rcWork;
  CRect area = work;
  if (useOwner) ::GetWindowRect(center, &area);
  int x = area.left + (area.Width() - self.Width()) / 2;
  int y = area.top + (area.Height() - self.Height()) / 2;
  if (x + self.Width() > work.right) x = work.right - self.Width();
  if (y + self.Height() > work.bottom) y = work.bottom - self.Height();
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
  DWORD style = GetStyle();
  DWORD updated = (style & ~remove) | add;
  if (style == updated) return FALSE;
  ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(updated));
  if (swpFlags)
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
  return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags) {
  DWORD style = GetExStyle();
  DWORD updated = (style & ~remove) | add;
  if (style == updated) return FALSE;
  ::SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE, static_cast<LONG_PTR>(updated));
  if (swpFlags)
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
  return TRUE;
}

int CWnd::MessageBox(const char* text, const char* caption, UINT type) {
  if (!caption) caption = AfxGetAppName();
  return ::MessageBoxA(m_hWnd, text, caption, type);
}

BOOL CWnd::GetScrollInfo(int bar, LPSCROLLINFO info, UINT mask) {
  info->cbSize = sizeof(SCROLLINFO);
  info->fMask = mask;
  return ::GetScrollInfo(m_hWnd, bar, info);
}
