// Buttons drawn from bitmaps: push buttons, check boxes and radio buttons
// with normal, pressed, hover, disabled and focused looks, an optional window
// shape cut by a mask bitmap, and tooltips.
//
//   CxSkinButton m_next;                     // in the page
//   m_next.SubclassDlgItem(1048, this);      // OnInitDialog
//   m_next.SetSkin(IDB_NEXT, IDB_NEXT_DOWN, IDB_NEXT_OVER, 0, 0, 0, 1, 0, 0);
#pragma once
#include <string>

#include "fwlink.h"

// Posted to the other radio buttons of a group when one becomes checked.
#define WM_SKIN_RADIO_CLEAR (WM_USER + 256)

namespace skin {
enum DrawMode { kCopy = 0, kStretch = 1, kTile = 2 };
// Draws bmp into rect of dc: tiled (kTile), else stretched (kStretch) or at
// its own size; with a mask, only where the mask is not white.
void DrawBitmap(HDC dc, HBITMAP bmp, const RECT& rect, int mode, HBITMAP mask);
// Text drawn twice, light then grey one pixel up-left: the disabled look.
void DrawEmbossed(HDC dc, const char* text, RECT rect, UINT format);
HBITMAP LoadBitmapId(UINT id);  // null for 0 or a missing resource
}  // namespace skin

class CxSkinButton : public CButton {
 public:
  CxSkinButton() = default;
  ~CxSkinButton() override;

  void SetSkin(UINT normal, UINT pressed, UINT hover, UINT disabled, UINT focused, UINT mask, short drawMode,
               short border, short margin);
  COLORREF SetTextColor(COLORREF colour);
  void SetToolTipText(const char* text);
  void SetMultilineToolTipText(const char* text, int maxWidth);

  int GetKind() const { return kind_; }       // 0 push, 2 check box, 4 radio
  BOOL IsChecked() const { return checked_ != 0; }
  HRGN GetSkinRegion() const { return region_; }

 protected:
  void PreSubclassWindow() override;
  void DrawItem(LPDRAWITEMSTRUCT dis) override;
  // The background part of DrawItem (steps that pick and draw the look);
  // returns the caption rectangle.
  RECT PaintLook(HDC dc, const RECT& item, UINT state, bool pressedLook);
  void CreateToolTip();
  void Relay(UINT msg, WPARAM wp, LPARAM lp);

  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnLButtonDown(UINT flags, CPoint point);
  void OnLButtonDblClk(UINT flags, CPoint point);
  void OnLButtonUp(UINT flags, CPoint point);
  void OnMouseMove(UINT flags, CPoint point);
  void OnMouseLeave();
  void OnKillFocus(CWnd* next);
  BOOL OnEraseBkgnd(CDC* dc);
  void OnKeyDown(UINT key, UINT repeat, UINT flags);
  LRESULT OnSetCheck(WPARAM wp, LPARAM lp);
  LRESULT OnGetCheck(WPARAM wp, LPARAM lp);
  LRESULT OnRadioClear(WPARAM wp, LPARAM lp);
  DECLARE_MESSAGE_MAP()

  void FreeBitmaps();
  bool CursorOver() const;

  BYTE checked_ = 0;
  int kind_ = 0;
  BYTE hover_ = 0;
  BYTE pressed_ = 0;
  HWND tip_ = nullptr;
  HBITMAP normal_ = nullptr, pressedBmp_ = nullptr, disabled_ = nullptr, mask_ = nullptr, hoverBmp_ = nullptr,
          focused_ = nullptr;
  short margin_ = 0;
  COLORREF textColour_ = GetSysColor(COLOR_BTNTEXT);
  HRGN region_ = nullptr;
  short border_ = 0;
  short drawMode_ = 0;
};

// A skin button with its own caption font, an icon and a second text line;
// the four drawing steps are virtual so that a page's button can replace one.
class CATSkinButton : public CxSkinButton {
 public:
  CATSkinButton();
  ~CATSkinButton() override;

  void SetFontBold(BOOL bold);
  void SetFontUnderline(BOOL underline);
  void SetFontItalic(BOOL italic);
  void SetFontSize(int points);
  void SetFontName(const char* face);
  BOOL SetCursor(int cursorId);
  BOOL SetSubTextLayout(int mode, int iconColumnWidth, int subTextHeight);
  void SetCaptionFormat(UINT format) { captionFormat_ = format; }
  void SetSubTextColor(COLORREF colour) { subColour_ = colour; }
  void SetSubText(const char* text);
  void SetSubText(UINT stringId);
  void SetIcon(HICON icon) { icon_ = icon; }

 protected:
  void DrawItem(LPDRAWITEMSTRUCT dis) override;
  virtual void DrawSubText(HDC dc, const RECT& item, UINT state);
  virtual void DrawIcon(HDC dc, const RECT& item, UINT state);
  virtual void DrawCaption(HDC dc, const RECT& item, UINT state);
  virtual void DrawBackground(HDC dc, const RECT& item, UINT state);
  BOOL OnSetCursor(CWnd* wnd, UINT hit, UINT message);
  DECLARE_MESSAGE_MAP()

  HCURSOR cursor_ = nullptr;
  LOGFONTA captionFont_;
  LOGFONTA subFont_;
  int subLayout_ = 0;
  int iconColumn_ = 0;
  int subHeight_ = 0;
  UINT captionFormat_ = DT_CENTER;
  COLORREF subColour_ = 0;
  std::string subText_;
  HICON icon_ = nullptr;
};

// The right-aligned caption variant with its own font, cursor and a caption
// that moves a little when hovered or pressed.
class CxSkinButton2 : public CButton {
 public:
  CxSkinButton2() = default;
  ~CxSkinButton2() override;

  void SetSkin(UINT normal, UINT pressed, UINT hover, UINT disabled, UINT mask, short drawMode, short border,
               short margin, BOOL fit, int hoverShift, int pressedShift);
  BOOL SetCursor(int cursorId);
  void SetFontBold(BOOL bold) { weight_ = bold ? FW_BOLD : FW_NORMAL; }
  void SetFontItalic(BOOL italic) { italic_ = italic ? 1 : 0; }
  void SetFontUnderline(BOOL underline) { underline_ = underline ? 1 : 0; }
  void SetFontSize(int size) { fontSize_ = size; }
  void SetTextOffset(int x, int y) { offsetX_ = x; offsetY_ = y; }
  void SetShadow(BOOL on, COLORREF colour) { shadow_ = on ? 1 : 0; shadowColour_ = colour; }
  COLORREF SetTextColor(COLORREF colour);
  void SetToolTipText(const char* text);
  void SetMultilineToolTipText(const char* text, int maxWidth);

 protected:
  void PreSubclassWindow() override;
  void DrawItem(LPDRAWITEMSTRUCT dis) override;
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnLButtonDown(UINT flags, CPoint point);
  void OnLButtonDblClk(UINT flags, CPoint point);
  void OnLButtonUp(UINT flags, CPoint point);
  void OnMouseMove(UINT flags, CPoint point);
  void OnMouseLeave();
  void OnKillFocus(CWnd* next);
  BOOL OnEraseBkgnd(CDC* dc);
  BOOL OnSetCursor(CWnd* wnd, UINT hit, UINT message);
  DECLARE_MESSAGE_MAP()

  void FreeBitmaps();

  int fontSize_ = 12;
  int weight_ = FW_NORMAL;
  BYTE italic_ = 0, underline_ = 0;
  int offsetX_ = 0, offsetY_ = 0;
  COLORREF shadowColour_ = 0;
  int shadow_ = 0;
  HCURSOR cursor_ = nullptr;
  BYTE hover_ = 0, pressed_ = 0;
  HWND tip_ = nullptr;
  HBITMAP normal_ = nullptr, pressedBmp_ = nullptr, disabled_ = nullptr, mask_ = nullptr, hoverBmp_ = nullptr;
  short margin_ = 0;
  COLORREF textColour_ = GetSysColor(COLOR_BTNTEXT);
  HRGN region_ = nullptr;
  short border_ = 0;
  short drawMode_ = 1;
  int hoverShift_ = 0, pressedShift_ = 0;
};
