// Static texts with their own colour, background, font, transparency, link
// behaviour (hand cursor, a click opens a URL) and flashing.
//
//   m_forum.SubclassDlgItem(1151, this);
//   m_forum.SetTextColor(RGB(0, 21, 233)).SetFontUnderline(TRUE).SetLink(TRUE)
//          .SetLinkCursor(handCursor).SetLinkUrl(url).SetTransparent(TRUE);
#pragma once
#include <string>

#include "fwlink.h"

class CLabel : public CStatic {
 public:
  CLabel();
  ~CLabel() override;

  CLabel& SetTextColor(COLORREF colour);
  CLabel& SetBkColor(COLORREF colour);
  CLabel& SetFontBold(BOOL bold);
  CLabel& SetFontUnderline(BOOL underline);
  CLabel& SetFontItalic(BOOL italic);
  CLabel& SetFontSize(int size);
  CLabel& SetFontName(const char* face);
  CLabel& SetText(const char* text);
  CLabel& SetLink(BOOL link);
  CLabel& SetLinkCursor(HCURSOR cursor);
  // A click opens it only when it is a web page or a mail address
  // (controls::IsOpenableLink): anything else is kept but never run.
  CLabel& SetLinkUrl(const char* url);
  CLabel& SetTransparent(BOOL = TRUE);  // always makes the label transparent
  CLabel& FlashText(BOOL flash);
  CLabel& SetToolTipText(const char* text, BOOL activate = TRUE);

  const std::string& GetLinkUrl() const { return url_; }
  bool IsFlashing() const { return flashing_ != FALSE; }

 protected:
  void PreSubclassWindow() override;
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  HBRUSH CtlColor(CDC* dc, UINT ctlColor);
  void OnTimer(UINT_PTR id);
  void OnLButtonDown(UINT flags, CPoint point);
  BOOL OnSetCursor(CWnd* wnd, UINT hit, UINT message);
  DECLARE_MESSAGE_MAP()

 private:
  void RebuildFont();
  void Repaint();

  COLORREF textColour_;
  HBRUSH background_;
  HBRUSH flashBackground_;
  LOGFONTA logFont_;
  HFONT font_ = nullptr;
  std::string savedText_;
  BOOL phase_ = FALSE;
  BOOL flashing_ = FALSE;
  BOOL link_ = FALSE;
  int flashMode_ = 0;
  HCURSOR linkCursor_ = nullptr;
  std::string url_;
  BOOL transparent_ = FALSE;
  HWND tip_ = nullptr;
  bool hasTool_ = false;
};
