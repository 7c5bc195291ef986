#include "label.h"

#include <shellapi.h>

#include "linkurl.h"

namespace {
const UINT_PTR kFlashTimer = 1;
}

BEGIN_MESSAGE_MAP(CLabel, CStatic)
  ON_WM_CTLCOLOR_REFLECT()
  ON_WM_TIMER()
  ON_WM_LBUTTONDOWN()
  ON_WM_SETCURSOR()
END_MESSAGE_MAP()

CLabel::CLabel()
    : textColour_(GetSysColor(COLOR_WINDOWTEXT)),
      background_(CreateSolidBrush(GetSysColor(COLOR_BTNFACE))),
      flashBackground_(CreateSolidBrush(GetSysColor(COLOR_BTNFACE))) {
  GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof logFont_, &logFont_);
  font_ = CreateFontIndirectA(&logFont_);
}

CLabel::~CLabel() {
  if (font_) DeleteObject(font_);
  DeleteObject(background_);
  DeleteObject(flashBackground_);
  if (tip_ && ::IsWindow(tip_)) ::DestroyWindow(tip_);
}

void CLabel::RebuildFont() {
  HFONT old = font_;
  font_ = CreateFontIndirectA(&logFont_);
  // The static control selects its own font when it paints, after asking us
  // for colours: give it ours.
  if (m_hWnd) ::SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  if (old) DeleteObject(old);
  Repaint();
}

void CLabel::PreSubclassWindow() {
  ::SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
}

void CLabel::Repaint() {
  if (m_hWnd) ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

CLabel& CLabel::SetTextColor(COLORREF colour) {
  textColour_ = colour;
  Repaint();
  return *this;
}

CLabel& CLabel::SetBkColor(COLORREF colour) {
  DeleteObject(background_);
  background_ = CreateSolidBrush(colour);
  Repaint();
  return *this;
}

CLabel& CLabel::SetFontBold(BOOL bold) {
  logFont_.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  RebuildFont();
  return *this;
}

CLabel& CLabel::SetFontUnderline(BOOL underline) {
  logFont_.lfUnderline = underline ? 1 : 0;
  RebuildFont();
  return *this;
}

CLabel& CLabel::SetFontItalic(BOOL italic) {
  logFont_.lfItalic = italic ? 1 : 0;
  RebuildFont();
  return *this;
}

CLabel& CLabel::SetFontSize(int size) {
  logFont_.lfHeight = -size;
  RebuildFont();
  return *this;
}

CLabel& CLabel::SetFontName(const char* face) {
  lstrcpynA(logFont_.lfFaceName, face ? face : "", LF_FACESIZE);
  // A Chinese face name asks for the Chinese character set, so that the
  // font mapper does not fall back to a Latin face without the glyphs.
  logFont_.lfCharSet = DEFAULT_CHARSET;
  RebuildFont();
  return *this;
}

CLabel& CLabel::SetText(const char* text) {
  if (m_hWnd) ::SetWindowTextA(m_hWnd, text ? text : "");
  return *this;
}

CLabel& CLabel::SetLink(BOOL link) {
  link_ = link;
  if (m_hWnd) ModifyStyle(link ? 0 : SS_NOTIFY, link ? SS_NOTIFY : 0);
  return *this;
}

CLabel& CLabel::SetLinkCursor(HCURSOR cursor) {
  linkCursor_ = cursor;
  return *this;
}

CLabel& CLabel::SetLinkUrl(const char* url) {
  url_ = url ? url : "";
  return *this;
}

CLabel& CLabel::SetTransparent(BOOL) {
  transparent_ = TRUE;
  Repaint();
  return *this;
}

CLabel& CLabel::FlashText(BOOL flash) {
  if (flashing_) {
    if (flashMode_ == 1 && m_hWnd) ::SetWindowTextA(m_hWnd, savedText_.c_str());
    if (m_hWnd) KillTimer(kFlashTimer);
    flashing_ = FALSE;
  }
  if (flash && m_hWnd) {
    CString now = GetWindowText();
    savedText_ = now.str();
    phase_ = FALSE;
    flashing_ = TRUE;
    flashMode_ = 1;
    SetTimer(kFlashTimer, 500);
  }
  return *this;
}

CLabel& CLabel::SetToolTipText(const char* text, BOOL activate) {
  if (!m_hWnd) return *this;
  if (!tip_) {
    tip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr, GetModuleHandleA(nullptr),
                           nullptr);
    if (tip_) ::SendMessageA(tip_, TTM_ACTIVATE, FALSE, 0);
  }
  if (!tip_) return *this;
  TOOLINFOA ti = {};
  ti.cbSize = sizeof ti;
  ti.hwnd = m_hWnd;
  ti.uId = 1;
  ti.lpszText = const_cast<char*>(text ? text : "");
  if (!hasTool_) {
    ::GetClientRect(m_hWnd, &ti.rect);
    hasTool_ = ::SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
  }
  ::SendMessageA(tip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
  ::SendMessageA(tip_, TTM_ACTIVATE, activate, 0);
  return *this;
}

LRESULT CLabel::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (tip_ && msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) {
    MSG m = {m_hWnd, msg, wp, lp, static_cast<DWORD>(GetMessageTime()), {}};
    ::SendMessageA(tip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
  }
  if (msg == WM_SETTEXT && transparent_) {
    // Repaint what lies under a transparent label so that the old text goes.
    LRESULT r = CStatic::WindowProc(msg, wp, lp);
    HWND parent = ::GetParent(m_hWnd);
    RECT rc;
    ::GetWindowRect(m_hWnd, &rc);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    ::InvalidateRect(parent, &rc, TRUE);
    ::UpdateWindow(parent);
    return r;
  }
  return CStatic::WindowProc(msg, wp, lp);
}

HBRUSH CLabel::CtlColor(CDC* dc, UINT) {
  ::SelectObject(dc->m_hDC, font_);
  ::SetTextColor(dc->m_hDC, textColour_);
  ::SetBkMode(dc->m_hDC, TRANSPARENT);
  if (flashing_ && flashMode_ == 2 && !phase_) return flashBackground_;
  if (transparent_) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  return background_;
}

void CLabel::OnTimer(UINT_PTR id) {
  if (id != kFlashTimer) {
    Default();
    return;
  }
  phase_ = !phase_;
  if (flashMode_ == 1) ::SetWindowTextA(m_hWnd, phase_ ? "" : savedText_.c_str());
  else ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CLabel::OnLButtonDown(UINT, CPoint) {
  if (controls::IsOpenableLink(url_.c_str()))
    ShellExecuteA(nullptr, "open", url_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  Default();
}

BOOL CLabel::OnSetCursor(CWnd*, UINT, UINT) {
  if (!linkCursor_) return static_cast<BOOL>(Default());
  ::SetCursor(linkCursor_);
  return TRUE;
}
