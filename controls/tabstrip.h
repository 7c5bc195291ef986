// A painted strip of four tabs (the main window's road selector): one bitmap
// per pair of selected and highlighted tab, polygon hit-testing, a hand
// cursor over a tab and a message to an owner window on a click.
#pragma once
#include <string>

#include "fwlink.h"

namespace controls {
// The four corners of tab i (0..3) on a strip `height` pixels high: tabs
// start at x 0, 54, 108 and 162 and are 66 wide with slanted sides.
void TabPolygon(int tab, int height, POINT out[4]);
// Bitmap index of a look: 4 * selected + highlighted.
inline int TabLookIndex(int selected, int highlighted) { return 4 * selected + highlighted; }
}  // namespace controls

class CTabStatic : public CStatic {
 public:
  CTabStatic();
  ~CTabStatic() override;

  BOOL SetCurSel(UINT tab);
  UINT GetCurSel() const { return current_; }
  void SetOwner(HWND owner, UINT message) { owner_ = owner; message_ = message; }
  void SetCaption(int tab, const char* text);
  // The tab under a point of the client area; -1 for none or the selected one.
  int HitTest(POINT p) const;
  int GetShownLook() const { return shown_; }

 protected:
  void PreSubclassWindow() override;
  void OnLButtonDown(UINT flags, CPoint point);
  void OnRButtonDown(UINT flags, CPoint point);
  void OnMouseMove(UINT flags, CPoint point);
  void OnMouseHover(UINT flags, CPoint point);
  void OnMouseLeave();
  BOOL OnSetCursor(CWnd* wnd, UINT hit, UINT message);
  BOOL OnEraseBkgnd(CDC* dc);
  void OnPaint();
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  void BuildRegions();
  void FreeRegions();

  UINT current_ = 0;
  int shown_ = 0;
  HBITMAP looks_[16] = {};
  struct TabRecord {
    HRGN regions[3] = {};
    int tabs[3] = {};
  } records_[4];
  std::string captions_[4];
  HCURSOR hand_ = nullptr;
  HCURSOR arrow_ = nullptr;
  HWND owner_ = nullptr;
  UINT message_ = 0;
  BOOL leaveRequested_ = FALSE;
  BOOL hover_ = FALSE;
};
