// A tree of the shell namespace (My Computer with its drives and folders)
// that reads a folder's children when it is first opened, keeps the path of
// the chosen item and marks items with check images.
#pragma once
#include <shlobj.h>

#include <map>
#include <string>

#include "fwlink.h"

class CBrowseTreeCtrl : public CTreeCtrl {
 public:
  CBrowseTreeCtrl() = default;
  ~CBrowseTreeCtrl() override;

  // stateBitmapId: strip of 16-pixel check images (none, off, on, partly).
  BOOL Initialize(UINT stateBitmapId, void* callerContext);
  CString GetSelectedPath() const { return CString(selectedPath_); }
  BOOL SelectPath(const char* path);
  void SetItemStateImage(HTREEITEM item, int image);
  int GetItemStateImage(HTREEITEM item) const;
  // The file-system path of an item ("" for items outside the file system).
  std::string GetItemPath(HTREEITEM item) const;
  // Reads the item's children from the shell once (TVIS_EXPANDEDONCE).
  void ReadChildren(HTREEITEM item);
  int ShellReads() const { return shellReads_; }

 protected:
  void OnKeyDown(UINT key, UINT repeat, UINT flags);
  void OnLButtonDown(UINT flags, CPoint point);
  void OnLButtonDblClk(UINT flags, CPoint point);
  void OnVScroll(UINT code, UINT pos, CScrollBar* bar);
  void OnHScroll(UINT code, UINT pos, CScrollBar* bar);
  BOOL OnMouseWheel(UINT flags, short delta, CPoint point);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  LPITEMIDLIST FullPidl(HTREEITEM item) const;  // shell memory, caller frees
  HTREEITEM AddSpecialFolder(int csidl);
  void ChangeCheck(HTREEITEM item, bool byKey);
  void CopyScrollToFlat(int bar);
  void FreeItems();

  IShellFolder* desktop_ = nullptr;
  CImageList stateImages_;
  IMalloc* malloc_ = nullptr;
  std::map<HTREEITEM, LPITEMIDLIST> items_;  // relative to the parent item
  std::string selectedPath_;
  int fileIcon_ = 0;
  char desktopName_[MAX_PATH] = {};
  char networkName_[MAX_PATH] = {};
  char documentsPath_[MAX_PATH] = {};
  char computerName_[MAX_PATH] = {};
  void* context_ = nullptr;
  BOOL initialized_ = FALSE;
  BOOL flat_ = FALSE;
  int shellReads_ = 0;
};
