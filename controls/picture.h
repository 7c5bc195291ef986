// Pictures for previews: decoded through the picture library (pictaran, a
// GDI+ bitmap made from a stream and drawn stretched) or as an OLE picture.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

// The two entry points of pictaran that pictures use. Start-up binds them
// after loading the library (both null while it is missing: every load
// through it then fails and previews stay empty).
using PictaranBitmapFromStreamFn = int (*)(IStream* stream);
using PictaranDrawFn = int (*)(HDC dc, int* rect);  // rect: {x, y, width, height}
void SetPictaranEntries(PictaranBitmapFromStreamFn fromStream, PictaranDrawFn draw);
bool PictaranBound();

class CPicture {
 public:
  CPicture() = default;
  virtual ~CPicture();
  CPicture(const CPicture&) = delete;
  CPicture& operator=(const CPicture&) = delete;

  // Copies the bytes and has the library decode them. The library keeps one
  // picture for the whole process: the last load wins in every CPicture.
  BOOL LoadFromBuffer(const BYTE* bytes, DWORD size);
  // A "Dat" resource of the program with this id, through LoadFromBuffer.
  BOOL LoadFromResource(UINT id);
  // An OLE picture (BMP, JPEG, GIF, ICO, WMF) read from the stream.
  BOOL LoadFromStream(IStream* stream);
  BOOL LoadFromFile(const char* path);

  // OLE picture size in device pixels (screen DC when none); (0, 0) without.
  SIZE GetSize(HDC dc = nullptr) const;
  // Renders the OLE picture; width/height 0 mean its own size.
  BOOL Render(HDC dc, int x, int y, int width = 0, int height = 0);
  // Draws the library picture stretched into the rectangle; 0 when none.
  int Draw(HDC dc, int x, int y, int width, int height);

  bool HasOlePicture() const { return oleLoaded_ && olePicture_; }
  bool HasLibraryPicture() const { return libraryLoaded_ && libraryBitmap_; }
  HRESULT LastResult() const { return lastResult_; }

 private:
  void FreeBlock();
  void ReleaseOle();

  int libraryBitmap_ = 0;
  BOOL oleLoaded_ = FALSE;
  BOOL libraryLoaded_ = FALSE;
  HGLOBAL block_ = nullptr;          // locked while the library picture is loaded
  IPicture* olePicture_ = nullptr;
  HRESULT lastResult_ = S_OK;
};

// A read-only stream over a memory block that the caller keeps alive. It knows
// the block's size and never reads past it; it keeps a position so that
// successive reads go on where the last one ended. The owner deletes it
// (AddRef and Release do not count).
class CMemStream : public IStream {
 public:
  CMemStream(const void* buffer, ULONG size) : data_(static_cast<const BYTE*>(buffer)), size_(buffer ? size : 0) {}
  virtual ~CMemStream() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 0; }
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG count, ULONG* written) override;
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

 private:
  const BYTE* data_;
  ULONG size_;
  ULONG pos_ = 0;
};
