// Moving bars: the bitmap progress bar of the scan, copy-out and update
// pages, the animated busy bar of the busy boxes, and the rolling strip.
#pragma once
#include "barmath.h"
#include "busyanimation.h"
#include "fwlink.h"

// A trough bitmap (408) filled from the left with a repeated tile (260).
class CMyProgressBar : public CStatic {
 public:
  CMyProgressBar();
  ~CMyProgressBar() override;
  // total and done in any unit (bytes, sectors, files, percent).
  int SetPos(int total, int done);
  void SetBackgroundBitmap(UINT id) { backgroundId_ = id; }
  const controls::ProgressValue& Value() const { return value_; }

 protected:
  void OnPaint();
  BOOL OnEraseBkgnd(CDC* dc);
  DECLARE_MESSAGE_MAP()

 private:
  HBRUSH background_;
  HBITMAP tile_ = nullptr;
  controls::ProgressValue value_;
  HBITMAP trough_ = nullptr;
  UINT backgroundId_ = 0;
};

// Private messages of the busy bar (wParam/lParam as listed).
enum BusyBarMessage {
  BBM_SETBLOCKS = WM_USER + 1, BBM_SETPOS, BBM_SETGAP, BBM_SETINTERVAL, BBM_SETRANGE, BBM_SETSTYLE,
  BBM_START, BBM_STOP, BBM_STEP, BBM_SETMOTION, BBM_SETBLOCKMODE, BBM_SETSUBSTEPS, BBM_SETBKCOLOR,
  BBM_SETBLOCKFILL, BBM_SETBLOCKOUTLINE, BBM_SETLITFILL, BBM_SETLITOUTLINE, BBM_LAYOUT, BBM_RESET,
  BBM_SETSYSBACKGROUND
};

// A row of blocks animated by a thread of its own.
class CQCBusyProgressCtrl : public CStatic {
 public:
  CQCBusyProgressCtrl(int blocks = 10, int startBlock = 0);
  ~CQCBusyProgressCtrl() override;

  virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
  virtual void DrawBackground(HDC dc, const RECT& r);
  virtual void DrawBlock(HDC dc, const RECT& r);
  virtual void DrawLitBlock(HDC dc, const RECT& r);
  virtual void DrawPartialBlock(HDC dc, const RECT& r, int width);

  void SetMoveMode(int mode);
  void SetBlockMode(int mode);
  void Start();
  void Stop();
  void RecalcLayout();
  void Reset();
  void StepIt();
  void SetInterval(int ms) { anim_.SetInterval(ms); interval_ = ms; }
  void SetRange(int low, int high);
  void SetBlocks(int count);
  void SetGap(int gap);
  void SetPos(int pos);
  void SetStyle(int style);
  void SetSubSteps(int n);
  void SetColours(COLORREF background, COLORREF blockFill, COLORREF blockOutline, COLORREF litFill,
                  COLORREF litOutline);
  bool IsRunning() const { return anim_.Running(); }
  controls::BusyBarState State() const { return anim_.Snapshot(); }

 protected:
  void PreSubclassWindow() override;
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnPaint();
  BOOL OnEraseBkgnd(CDC* dc);
  void OnSize(UINT type, int cx, int cy);
  void OnSysColorChange();
  DECLARE_MESSAGE_MAP()

 private:
  void FreeOffscreen();

  BusyAnimation anim_;
  RECT layout_ = {0, 0, 0, 0};
  int gap_ = 1;
  int interval_ = 100;
  BOOL systemBackground_ = TRUE;
  COLORREF background_, blockFill_ = RGB(165, 237, 197), blockOutline_ = RGB(108, 164, 166),
                        litFill_ = RGB(25, 243, 122), litOutline_ = RGB(108, 164, 166);
  HDC offDc_ = nullptr;
  HBITMAP offBmp_ = nullptr;
  HGDIOBJ offOld_ = nullptr;
};

// A small bitmap (228) rolling left to right over the trough (408), 20 ms a step.
class CRollItem : public CStatic {
 public:
  CRollItem();
  ~CRollItem() override;
  int GetRollX() const { return rollX_; }

 protected:
  void PreSubclassWindow() override;
  void OnTimer(UINT_PTR id);
  void OnPaint();
  BOOL OnEraseBkgnd(CDC* dc);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

  UINT_PTR timer_ = 0;
  int rollX_ = 5;
  HBITMAP rolling_ = nullptr;
  HBRUSH background_;
};

// A rolling strip that paints the bar tile (260) as its background.
class CQuillStaticScrollBar : public CRollItem {
 protected:
  BOOL OnEraseBkgnd(CDC* dc);
  DECLARE_MESSAGE_MAP()
};
