// The shell's item-ID lists and system icon lists, for the folder browse tree
// and the result pages' file icons.
#pragma once
#include <windows.h>
#include <shlobj.h>

// Process-wide shell allocator and desktop folder, fetched on first use and
// released by ShellMemoryRelease (the program calls it at exit).
IMalloc* ShellAllocator();
IShellFolder* ShellDesktopFolder();
void ShellMemoryRelease();

// Item-ID list helpers. Sizes exclude the terminating zero item.
UINT PidlSize(LPCITEMIDLIST pidl);                     // 0 for none
LPCITEMIDLIST PidlNext(LPCITEMIDLIST pidl);            // null at the end
LPITEMIDLIST PidlConcat(LPCITEMIDLIST a, LPCITEMIDLIST b);  // shell memory; null on failure
LPITEMIDLIST PidlCopy(LPCITEMIDLIST pidl);                  // shell memory
void ShellFree(void* p);
// The path (code page of the program) parsed by the desktop folder.
LPITEMIDLIST PidlFromPath(const char* path);

// An item-ID list made from a path, freed with the shell allocator.
class CShellPidl {
 public:
  explicit CShellPidl(const char* path) : pidl_(PidlFromPath(path)) {}
  ~CShellPidl() { ShellFree(pidl_); }
  CShellPidl(const CShellPidl&) = delete;
  CShellPidl& operator=(const CShellPidl&) = delete;
  LPITEMIDLIST Get() const { return pidl_; }
  operator LPITEMIDLIST() const { return pidl_; }

 private:
  LPITEMIDLIST pidl_;
};

// The system's small and large icon lists, shared by every instance.
class CSystemImageList {
 public:
  CSystemImageList();
  virtual ~CSystemImageList();
  HIMAGELIST GetImageList(BOOL small) const;
  // Icon index of a path: by its name alone (realFile FALSE, the file need
  // not exist) or of the real file system object.
  static int GetIconIndex(const char* path, BOOL realFile, BOOL openIcon, BOOL small);
};
