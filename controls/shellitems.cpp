#include "shellitems.h"

#include <shellapi.h>

#include <cstring>
#include <mutex>

namespace {
IMalloc* gMalloc = nullptr;
IShellFolder* gDesktop = nullptr;

HIMAGELIST gSmall = nullptr;
HIMAGELIST gLarge = nullptr;
int gImageListUsers = 0;
std::mutex gImageListLock;
}  // namespace

IMalloc* ShellAllocator() {
  if (!gMalloc && FAILED(SHGetMalloc(&gMalloc))) gMalloc = nullptr;
  return gMalloc;
}

IShellFolder* ShellDesktopFolder() {
  if (!gDesktop && FAILED(SHGetDesktopFolder(&gDesktop))) gDesktop = nullptr;
  return gDesktop;
}

void ShellMemoryRelease() {
  if (gDesktop) gDesktop->Release();
  if (gMalloc) gMalloc->Release();
  gDesktop = nullptr;
  gMalloc = nullptr;
}

UINT PidlSize(LPCITEMIDLIST pidl) {
  UINT size = 0;
  for (; pidl && pidl->mkid.cb; pidl = PidlNext(pidl)) size += pidl->mkid.cb;
  return size;
}

LPCITEMIDLIST PidlNext(LPCITEMIDLIST pidl) {
  if (!pidl || !pidl->mkid.cb) return nullptr;
  return reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(pidl) + pidl->mkid.cb);
}

LPITEMIDLIST PidlConcat(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  IMalloc* m = ShellAllocator();
  if (!m) return nullptr;
  UINT sa = PidlSize(a), sb = PidlSize(b);
  auto* out = static_cast<BYTE*>(m->Alloc(sa + sb + sizeof(USHORT)));
  if (!out) return nullptr;
  if (sa) memcpy(out, a, sa);
  if (sb) memcpy(out + sa, b, sb);
  memset(out + sa + sb, 0, sizeof(USHORT));
  return reinterpret_cast<LPITEMIDLIST>(out);
}

LPITEMIDLIST PidlCopy(LPCITEMIDLIST pidl) { return PidlConcat(pidl, nullptr); }

void ShellFree(void* p) {
  if (p && ShellAllocator()) ShellAllocator()->Free(p);
}

LPITEMIDLIST PidlFromPath(const char* path) {
  IShellFolder* desk = ShellDesktopFolder();
  if (!desk || !path || !*path) return nullptr;
  wchar_t wide[MAX_PATH * 2];
  if (!MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH * 2)) return nullptr;
  LPITEMIDLIST pidl = nullptr;
  ULONG eaten = 0;
  if (FAILED(desk->ParseDisplayName(nullptr, nullptr, wide, &eaten, &pidl, nullptr))) return nullptr;
  return pidl;
}

CSystemImageList::CSystemImageList() {
  std::lock_guard<std::mutex> hold(gImageListLock);
  if (gImageListUsers++ > 0) return;
  SHFILEINFOA info = {};
  gSmall = reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(
      ".txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
      SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON));
  gLarge = reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(
      ".txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES));
  if (gSmall) ImageList_SetBkColor(gSmall, CLR_NONE);
  if (gLarge) ImageList_SetBkColor(gLarge, CLR_NONE);
}

CSystemImageList::~CSystemImageList() {
  std::lock_guard<std::mutex> hold(gImageListLock);
  if (--gImageListUsers > 0) return;
  // The system lists belong to the shell; only our references are dropped.
  gSmall = gLarge = nullptr;
}

HIMAGELIST CSystemImageList::GetImageList(BOOL small) const { return small ? gSmall : gLarge; }

int CSystemImageList::GetIconIndex(const char* path, BOOL realFile, BOOL openIcon, BOOL small) {
  UINT extra = (openIcon ? SHGFI_OPENICON : 0) | (small ? SHGFI_SMALLICON : 0);
  SHFILEINFOA info = {};
  if (!realFile) {
    if (!SHGetFileInfoA(path, FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                        SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | extra))
      return 0;
    return info.iIcon;
  }
  CShellPidl pidl(path);
  if (!pidl.Get()) return 0;
  if (!SHGetFileInfoA(reinterpret_cast<const char*>(pidl.Get()), 0, &info, sizeof info,
                      SHGFI_PIDL | SHGFI_SYSICONINDEX | extra))
    return 0;
  return info.iIcon;
}
