// pictaran.dll: decodes one picture from a stream with GDI+ and draws it into a
// rectangle of a device context. One current picture serves the whole process;
// callers use the library from one thread (the user-interface thread).
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

extern "C" {
int npictaran = 0;   // exported as data; nothing reads it
}

namespace {

ULONG_PTR gToken = 0;
GpBitmap* gBitmap = nullptr;
// GDI+ decodes lazily from the stream it was given, for as long as the bitmap
// lives. The caller's stream and memory may go away as soon as the call
// returns, so the bitmap is made from a copy of the bytes that it owns with us.
IStream* gBitmapData = nullptr;

constexpr ULONGLONG kMaxPictureBytes = 256ull * 1024 * 1024;

void DropCurrentPicture() {
  if (gBitmap) {
    GdipDisposeImage(gBitmap);
    gBitmap = nullptr;
  }
  if (gBitmapData) {
    gBitmapData->Release();
    gBitmapData = nullptr;
  }
}

// Everything the stream holds from its current position on, in a stream of
// our own over a block that is freed with it. Null when it cannot be read or
// is empty or unreasonably large.
IStream* CopyOfStream(IStream* source) {
  HGLOBAL block = nullptr;
  SIZE_T size = 0, capacity = 0;
  BYTE chunk[64 * 1024];
  for (;;) {
    ULONG got = 0;
    HRESULT hr = source->Read(chunk, sizeof chunk, &got);
    if (FAILED(hr)) break;
    if (got) {
      if (size + got > kMaxPictureBytes) {
        if (block) GlobalFree(block);
        return nullptr;
      }
      if (size + got > capacity) {
        capacity = (size + got) * 2;
        HGLOBAL grown = block ? GlobalReAlloc(block, capacity, GMEM_MOVEABLE) : GlobalAlloc(GMEM_MOVEABLE, capacity);
        if (!grown) {
          if (block) GlobalFree(block);
          return nullptr;
        }
        block = grown;
      }
      BYTE* p = static_cast<BYTE*>(GlobalLock(block));
      CopyMemory(p + size, chunk, got);
      GlobalUnlock(block);
      size += got;
    }
    if (hr != S_OK || got < sizeof chunk) break;   // S_FALSE or a short read: the end
  }
  if (!block || size == 0) {
    if (block) GlobalFree(block);
    return nullptr;
  }
  IStream* copy = nullptr;
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &copy)) || !copy) {
    GlobalFree(block);
    return nullptr;
  }
  ULARGE_INTEGER exact;
  exact.QuadPart = size;
  copy->SetSize(exact);
  return copy;
}

}  // namespace

extern "C" {

int __cdecl InitGdiPlus() {
  if (gToken) return 1;   // already started: one token for the process
  GdiplusStartupInput input;   // version 1, no debug callback, background thread, external codecs
  ULONG_PTR token = 0;
  if (GdiplusStartup(&token, &input, nullptr) != Ok || !token) return 0;
  gToken = token;
  return 1;
}

int __cdecl UnInitGdiPlus() {
  // The bitmap belongs to GDI+: it goes before GDI+ does.
  DropCurrentPicture();
  if (gToken) {
    GdiplusShutdown(gToken);
    gToken = 0;
  }
  return 1;
}

int __cdecl BitmapFromStream(IStream* stream) {
  DropCurrentPicture();
  if (!stream || !gToken) return 0;
  IStream* data = CopyOfStream(stream);
  if (!data) return 0;
  GpBitmap* bitmap = nullptr;
  GpStatus status = GdipCreateBitmapFromStream(data, &bitmap);
  if (status != Ok || !bitmap) {
    if (bitmap) GdipDisposeImage(bitmap);
    data->Release();
    return 0;
  }
  gBitmap = bitmap;
  gBitmapData = data;
  return 1;
}

int __cdecl GdiDrewImage(HDC dc, int* rect) {
  if (!dc || !rect || !gToken) return 1;
  GpGraphics* graphics = nullptr;
  if (GdipCreateFromHDC(dc, &graphics) != Ok || !graphics) return 1;
  if (gBitmap) GdipDrawImageRectI(graphics, gBitmap, rect[0], rect[1], rect[2], rect[3]);
  GdipDeleteGraphics(graphics);
  return 1;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
