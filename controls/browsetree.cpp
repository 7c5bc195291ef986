#include "browsetree.h"

#include <commctrl.h>
#include <shellapi.h>

#include <vector>

#include "browselogic.h"
#include "checktree.h"
#include "shellitems.h"
#include "treeviewchecks.h"

namespace {
// Shared by every browse tree: a wheel turn is one turn, whichever tree gets it.
int gWheelAccumulator = 0;

// The flat scroll bars of comctl32, bound when first used: the 32-bit import
// library of the cross compiler does not name them.
struct FlatScrollBars {
  BOOL(WINAPI* initialize)(HWND) = nullptr;
  HRESULT(WINAPI* uninitialize)(HWND) = nullptr;
  BOOL(WINAPI* enable)(HWND, int, UINT) = nullptr;
  BOOL(WINAPI* setProp)(HWND, UINT, INT_PTR, BOOL) = nullptr;
  int(WINAPI* setInfo)(HWND, int, LPSCROLLINFO, BOOL) = nullptr;
  bool Bound() const { return initialize && uninitialize && enable && setProp && setInfo; }
};

const FlatScrollBars& FlatSB() {
  static const FlatScrollBars bars = [] {
    FlatScrollBars b;
    if (HMODULE comctl = LoadLibraryA("comctl32.dll")) {
      b.initialize = reinterpret_cast<decltype(b.initialize)>(GetProcAddress(comctl, "InitializeFlatSB"));
      b.uninitialize = reinterpret_cast<decltype(b.uninitialize)>(GetProcAddress(comctl, "UninitializeFlatSB"));
      b.enable = reinterpret_cast<decltype(b.enable)>(GetProcAddress(comctl, "FlatSB_EnableScrollBar"));
      b.setProp = reinterpret_cast<decltype(b.setProp)>(GetProcAddress(comctl, "FlatSB_SetScrollProp"));
      b.setInfo = reinterpret_cast<decltype(b.setInfo)>(GetProcAddress(comctl, "FlatSB_SetScrollInfo"));
    }
    return b;
  }();
  return bars;
}

std::string DisplayName(LPCITEMIDLIST pidl) {
  SHFILEINFOA info = {};
  if (!SHGetFileInfoA(reinterpret_cast<const char*>(pidl), 0, &info, sizeof info, SHGFI_PIDL | SHGFI_DISPLAYNAME))
    return std::string();
  return info.szDisplayName;
}

int IconOf(LPCITEMIDLIST pidl, bool open) {
  SHFILEINFOA info = {};
  UINT flags = SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | (open ? SHGFI_OPENICON : 0);
  if (!SHGetFileInfoA(reinterpret_cast<const char*>(pidl), 0, &info, sizeof info, flags)) return 0;
  return info.iIcon;
}
}  // namespace

BEGIN_MESSAGE_MAP(CBrowseTreeCtrl, CTreeCtrl)
  ON_WM_KEYDOWN()
  ON_WM_LBUTTONDOWN()
  ON_WM_LBUTTONDBLCLK()
  ON_WM_VSCROLL()
  ON_WM_HSCROLL()
  ON_WM_MOUSEWHEEL()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CBrowseTreeCtrl::~CBrowseTreeCtrl() {
  FreeItems();
  if (desktop_) desktop_->Release();
  if (malloc_) malloc_->Release();
}

void CBrowseTreeCtrl::FreeItems() {
  for (auto& kv : items_)
    if (malloc_) malloc_->Free(kv.second);
  items_.clear();
}

void CBrowseTreeCtrl::OnDestroy() {
  FreeItems();
  Default();
}

BOOL CBrowseTreeCtrl::Initialize(UINT stateBitmapId, void* callerContext) {
  context_ = callerContext;
  if (FAILED(SHGetDesktopFolder(&desktop_))) return FALSE;
  SHFILEINFOA info = {};
  auto sysSmall = reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(
      ".txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON));
  if (!sysSmall) return FALSE;
  TreeView_SetImageList(m_hWnd, sysSmall, TVSIL_NORMAL);
  stateImages_.Attach(ImageList_LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(stateBitmapId), 16, 1,
                                           RGB(255, 0, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION));
  if (stateImages_.m_hImageList) TreeView_SetImageList(m_hWnd, stateImages_.m_hImageList, TVSIL_STATE);
  if (FAILED(SHGetMalloc(&malloc_))) return FALSE;
  SHGetFileInfoA("c:\\orv6\\ORV32.EXE", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                 SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON);
  fileIcon_ = info.iIcon;
  struct {
    int csidl;
    char* out;
    bool path;
  } names[] = {{CSIDL_DESKTOP, desktopName_, false},
               {CSIDL_NETWORK, networkName_, false},
               {CSIDL_DRIVES, computerName_, false},
               {CSIDL_PERSONAL, documentsPath_, true}};
  for (auto& n : names) {
    LPITEMIDLIST pidl = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, n.csidl, &pidl)) || !pidl) {
      // The network neighbourhood may not exist; it is only a name here.
      if (n.csidl == CSIDL_NETWORK) continue;
      return FALSE;
    }
    if (n.path) SHGetPathFromIDListA(pidl, n.out);
    else lstrcpynA(n.out, DisplayName(pidl).c_str(), MAX_PATH);
    malloc_->Free(pidl);
  }
  if (!AddSpecialFolder(CSIDL_DRIVES)) return FALSE;
  flat_ = FALSE;
  initialized_ = TRUE;
  return TRUE;
}

HTREEITEM CBrowseTreeCtrl::AddSpecialFolder(int csidl) {
  LPITEMIDLIST pidl = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &pidl)) || !pidl) return nullptr;
  std::string name = DisplayName(pidl);
  std::string text = controls::BrowseRowText(name);
  TVINSERTSTRUCTA is = {};
  is.hParent = TVI_ROOT;
  is.hInsertAfter = TVI_LAST;
  is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_STATE;
  is.item.pszText = const_cast<char*>(text.c_str());
  is.item.iImage = IconOf(pidl, false);
  is.item.iSelectedImage = IconOf(pidl, true);
  is.item.cChildren = 1;
  is.item.state = INDEXTOSTATEIMAGEMASK(0);
  is.item.stateMask = TVIS_STATEIMAGEMASK;
  auto item = reinterpret_cast<HTREEITEM>(::SendMessageA(m_hWnd, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&is)));
  if (!item) {
    malloc_->Free(pidl);
    return nullptr;
  }
  items_[item] = pidl;
  if (name == computerName_) {
    ReadChildren(item);
    TreeView_Expand(m_hWnd, item, TVE_EXPAND);
  }
  return item;
}

LPITEMIDLIST CBrowseTreeCtrl::FullPidl(HTREEITEM item) const {
  // Join the lists from the top ancestor down.
  LPITEMIDLIST full = PidlCopy(nullptr);
  std::vector<HTREEITEM> chain;
  for (HTREEITEM i = item; i; i = TreeView_GetParent(m_hWnd, i)) chain.push_back(i);
  for (auto it = chain.rbegin(); it != chain.rend() && full; ++it) {
    auto found = items_.find(*it);
    if (found == items_.end()) continue;
    LPITEMIDLIST joined = PidlConcat(full, found->second);
    ShellFree(full);
    full = joined;
  }
  return full;
}

std::string CBrowseTreeCtrl::GetItemPath(HTREEITEM item) const {
  LPITEMIDLIST full = FullPidl(item);
  char path[MAX_PATH] = {};
  if (full && PidlSize(full) && !SHGetPathFromIDListA(full, path)) path[0] = 0;
  ShellFree(full);
  return path;
}

void CBrowseTreeCtrl::ReadChildren(HTREEITEM item) {
  if (!item || !desktop_ || (TreeView_GetItemState(m_hWnd, item, TVIS_EXPANDEDONCE) & TVIS_EXPANDEDONCE)) return;
  ++shellReads_;
  LPITEMIDLIST full = FullPidl(item);
  int added = 0;
  SHFILEINFOA info = {};
  info.dwAttributes = SFGAO_FOLDER;
  bool isFolder = full && SHGetFileInfoA(reinterpret_cast<const char*>(full), 0, &info, sizeof info,
                                         SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_ATTRIBUTES) &&
                  (info.dwAttributes & SFGAO_FOLDER);
  IShellFolder* folder = nullptr;
  if (isFolder) {
    if (!PidlSize(full)) {
      folder = desktop_;
      folder->AddRef();
    } else if (FAILED(desktop_->BindToObject(full, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder)))) {
      folder = nullptr;
    }
  }
  IEnumIDList* list = nullptr;
  if (folder && folder->EnumObjects(m_hWnd, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, &list) == S_OK && list) {
    TreeViewChecks checks{m_hWnd};
    int parentCheck = checks.Check(item);
    LPITEMIDLIST child = nullptr;
    ULONG got = 0;
    while (list->Next(1, &child, &got) == S_OK && got == 1) {
      SFGAOF attrs = SFGAO_HASSUBFOLDER | SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
      LPCITEMIDLIST one = child;
      HRESULT hr = folder->GetAttributesOf(1, &one, &attrs);
      bool keep = SUCCEEDED(hr) || hr == HRESULT_FROM_WIN32(ERROR_NOT_READY);
      keep = keep && (attrs & (SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR));
      if (!keep) {
        malloc_->Free(child);
        continue;
      }
      LPITEMIDLIST joined = PidlConcat(full, child);
      std::string name = controls::BrowseRowText(DisplayName(joined));
      char path[MAX_PATH] = {};
      if (!SHGetPathFromIDListA(joined, path)) path[0] = 0;
      // A new child starts as its parent when the parent is ticked or not;
      // items outside the file system get no box.
      int check = path[0] ? (parentCheck == 1 || parentCheck == 2 ? parentCheck : 1) : 0;
      TVINSERTSTRUCTA is = {};
      is.hParent = item;
      is.hInsertAfter = TVI_LAST;
      is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_STATE;
      is.item.pszText = const_cast<char*>(name.c_str());
      is.item.iImage = IconOf(joined, false);
      is.item.iSelectedImage = IconOf(joined, true);
      is.item.cChildren = (attrs & SFGAO_HASSUBFOLDER) ? 1 : 0;
      is.item.state = INDEXTOSTATEIMAGEMASK(check);
      is.item.stateMask = TVIS_STATEIMAGEMASK;
      ShellFree(joined);
      auto h = reinterpret_cast<HTREEITEM>(::SendMessageA(m_hWnd, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&is)));
      if (h) {
        items_[h] = child;
        ++added;
      } else {
        malloc_->Free(child);
      }
    }
    list->Release();
  }
  if (folder) folder->Release();
  ShellFree(full);
  TVITEMA it = {};
  it.mask = TVIF_STATE | (added ? 0 : TVIF_CHILDREN);
  it.hItem = item;
  it.state = TVIS_EXPANDEDONCE;
  it.stateMask = TVIS_EXPANDEDONCE;
  it.cChildren = 0;
  ::SendMessageA(m_hWnd, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
}

int CBrowseTreeCtrl::GetItemStateImage(HTREEITEM item) const { return TreeViewChecks{m_hWnd}.Check(item); }

void CBrowseTreeCtrl::SetItemStateImage(HTREEITEM item, int image) {
  TreeViewChecks t{m_hWnd};
  controls::SetBrowseCheck(t, item, image);
}

void CBrowseTreeCtrl::ChangeCheck(HTREEITEM item, bool) {
  // The scan reads one place, the one chosen last: its tick is the only one,
  // so that what is ticked is what is scanned.
  if (GetItemStateImage(item) == controls::kBrowseNone) return;
  TreeViewChecks t{m_hWnd};
  controls::SetOnlyBrowseCheck(t, item);
  selectedPath_ = GetItemPath(item);
}

BOOL CBrowseTreeCtrl::SelectPath(const char* path) {
  if (!path || !*path) return FALSE;
  std::string want = path;
  HTREEITEM best = nullptr;
  HTREEITEM root = TreeView_GetRoot(m_hWnd);
  ReadChildren(root);
  HTREEITEM level = root ? TreeView_GetChild(m_hWnd, root) : nullptr;
  while (level) {
    HTREEITEM match = nullptr;
    for (HTREEITEM c = level; c; c = TreeView_GetNextSibling(m_hWnd, c)) {
      std::string p = GetItemPath(c);
      if (!p.empty() && controls::PathLeadsTo(p, want)) {
        match = c;
        break;
      }
    }
    if (!match) break;
    best = match;
    if (controls::PathLeadsTo(want, GetItemPath(match))) break;  // the whole path
    ReadChildren(match);
    TreeView_Expand(m_hWnd, match, TVE_EXPAND);
    level = TreeView_GetChild(m_hWnd, match);
  }
  if (!best) return FALSE;
  TreeView_SelectItem(m_hWnd, best);
  TreeView_EnsureVisible(m_hWnd, best);
  selectedPath_ = GetItemPath(best);
  return TRUE;
}

void CBrowseTreeCtrl::OnLButtonDown(UINT, CPoint point) {
  TVHITTESTINFO ht = {};
  ht.pt = point;
  HTREEITEM item = TreeView_HitTest(m_hWnd, &ht);
  if (!item) return;
  ::SetFocus(m_hWnd);
  TreeView_SelectItem(m_hWnd, item);
  selectedPath_ = GetItemPath(item);
  if (ht.flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON)) {
    ChangeCheck(item, false);
    TreeView_SelectItem(m_hWnd, item);
  } else if (ht.flags & TVHT_ONITEMBUTTON) {
    // The tree's own click on the button opens or shuts the item; toggling
    // here as well would undo it.
    ReadChildren(item);
    Default();
  }
}

void CBrowseTreeCtrl::OnLButtonDblClk(UINT, CPoint point) {
  TVHITTESTINFO ht = {};
  ht.pt = point;
  HTREEITEM item = TreeView_HitTest(m_hWnd, &ht);
  if (!item || !(ht.flags & TVHT_ONITEMLABEL)) return;
  TreeView_SelectItem(m_hWnd, item);
  ReadChildren(item);
  TreeView_Expand(m_hWnd, item, TVE_TOGGLE);
}

void CBrowseTreeCtrl::OnKeyDown(UINT key, UINT, UINT) {
  HTREEITEM sel = TreeView_GetSelection(m_hWnd);
  switch (key) {
    case VK_SPACE:
      if (sel) ChangeCheck(sel, true);
      return;
    case VK_LEFT:
      if (!sel) return;
      if (TreeView_GetItemState(m_hWnd, sel, TVIS_EXPANDED) & TVIS_EXPANDED) {
        TreeView_Expand(m_hWnd, sel, TVE_COLLAPSE);
      } else if (HTREEITEM parent = TreeView_GetParent(m_hWnd, sel)) {
        TreeView_Expand(m_hWnd, parent, TVE_COLLAPSE);
        TreeView_SelectItem(m_hWnd, parent);
        selectedPath_ = GetItemPath(parent);
      }
      return;
    case VK_RIGHT:
      if (sel && !(TreeView_GetItemState(m_hWnd, sel, TVIS_EXPANDED) & TVIS_EXPANDED)) {
        ReadChildren(sel);
        TreeView_Expand(m_hWnd, sel, TVE_EXPAND);
      }
      return;
    default:
      Default();
      if (HTREEITEM now = TreeView_GetSelection(m_hWnd)) selectedPath_ = GetItemPath(now);
  }
}

void CBrowseTreeCtrl::CopyScrollToFlat(int bar) {
  if (!flat_) return;
  SCROLLINFO si = {sizeof si, SIF_ALL};
  if (::GetScrollInfo(m_hWnd, bar, &si) && FlatSB().setInfo) FlatSB().setInfo(m_hWnd, bar, &si, TRUE);
}

void CBrowseTreeCtrl::OnVScroll(UINT, UINT, CScrollBar*) {
  Default();
  CopyScrollToFlat(SB_VERT);
}

void CBrowseTreeCtrl::OnHScroll(UINT, UINT, CScrollBar*) {
  Default();
  CopyScrollToFlat(SB_HORZ);
}

// Scrolls by whole lines of 120 units; smaller turns add up. The tree's own
// wheel handling is not run as well, so a turn scrolls once.
BOOL CBrowseTreeCtrl::OnMouseWheel(UINT, short delta, CPoint) {
  int lines = controls::TakeWheelLines(&gWheelAccumulator, delta);
  for (; lines > 0; --lines) ::SendMessageA(m_hWnd, WM_VSCROLL, SB_LINEUP, 0);
  for (; lines < 0; ++lines) ::SendMessageA(m_hWnd, WM_VSCROLL, SB_LINEDOWN, 0);
  return TRUE;
}
