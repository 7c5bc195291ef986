// An owner-drawn list box with an icon per row, rows that can be disabled, a
// light selection colour and a separator under each row. The template gives
// it LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS.
#pragma once
#include <atomic>

#include "fwlink.h"

class CListBoxST : public CListBox {
 public:
  CListBoxST() = default;
  ~CListBoxST() override;

  int AddString(const char* text, int image = -1);
  int InsertString(int index, const char* text, int image = -1);
  int DeleteString(int index);
  void ResetContent();
  int SetItemData(int index, DWORD_PTR data);
  DWORD_PTR GetItemData(int index) const;   // (DWORD_PTR)-1 when the row has no record
  int SetImage(int index, int image, BOOL repaint = TRUE);
  void GetImage(int index, int* image) const;  // -1 when none
  int EnableItem(int index, BOOL enable, BOOL repaint = TRUE);
  BOOL IsItemEnabled(int index) const;
  void SetImageList(CImageList* list);
  int MoveItem(int from, int to, BOOL select = TRUE);
  int MoveUp(int index, BOOL select = TRUE) { return index > 0 ? MoveItem(index, index - 1, select) : LB_ERR; }
  int MoveDown(int index, BOOL select = TRUE);
  int MoveTop(int index, BOOL select = TRUE) { return index > 0 ? MoveItem(index, 0, select) : LB_ERR; }

  // Row records alive in all list boxes (checked by the tests).
  static int LiveRecords() { return liveRecords_; }

  virtual void DrawItemBackground(int row, HDC dc, const RECT& r, BOOL selected, BOOL disabled, COLORREF colour);
  virtual void DrawIconBackground(int row, HDC dc, const RECT& r, BOOL selected, BOOL disabled, COLORREF colour);
  virtual void DrawItemIcon(int row, HDC dc, const RECT& r, int image, BOOL disabled);

 protected:
  void DrawItem(LPDRAWITEMSTRUCT dis) override;
  void MeasureItem(LPMEASUREITEMSTRUCT mis) override;
  BOOL OnDblClkReflect();
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  struct Row {
    Row() { ++liveRecords_; }
    Row(const Row& o) : data(o.data), second(o.second), image(o.image), format(o.format), flags(o.flags) { ++liveRecords_; }
    ~Row() { --liveRecords_; }
    DWORD_PTR data = 0;
    DWORD_PTR second = 0;
    int image = -1;
    UINT format = 0;
    UINT flags = 0;  // bit 0: disabled
  };
  enum { kData = 1, kSecond = 2, kImage = 4, kFlags = 8 };
  Row* RowAt(int index) const;
  int UpdateRow(int index, UINT mask, const Row& values);
  void FreeAllRows();

  static inline std::atomic<int> liveRecords_{0};
  BYTE rowStyle_ = 0;
  CImageList* images_ = nullptr;
  int iconW_ = 0, iconH_ = 0;
};
