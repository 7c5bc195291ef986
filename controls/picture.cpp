#include "picture.h"

#include <cstring>

namespace {
PictaranBitmapFromStreamFn gFromStream = nullptr;
PictaranDrawFn gDraw = nullptr;
}  // namespace

void SetPictaranEntries(PictaranBitmapFromStreamFn fromStream, PictaranDrawFn draw) {
  gFromStream = fromStream;
  gDraw = draw;
}

bool PictaranBound() { return gFromStream && gDraw; }

CPicture::~CPicture() {
  ReleaseOle();
  FreeBlock();
}

void CPicture::FreeBlock() {
  if (!block_) return;
  GlobalUnlock(block_);
  GlobalFree(block_);
  block_ = nullptr;
}

void CPicture::ReleaseOle() {
  if (olePicture_) olePicture_->Release();
  olePicture_ = nullptr;
}

BOOL CPicture::LoadFromBuffer(const BYTE* bytes, DWORD size) {
  if (!bytes || !size) return FALSE;
  FreeBlock();
  libraryLoaded_ = oleLoaded_ = FALSE;
  libraryBitmap_ = 0;
  if (!gFromStream) return FALSE;
  block_ = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!block_) return FALSE;
  void* p = GlobalLock(block_);
  IStream* stream = nullptr;
  if (p) {
    memcpy(p, bytes, size);
    if (FAILED(CreateStreamOnHGlobal(block_, FALSE, &stream))) stream = nullptr;
  }
  if (stream) {
    libraryBitmap_ = gFromStream(stream);
    stream->Release();
  }
  if (!libraryBitmap_) {
    if (p) GlobalUnlock(block_);
    GlobalFree(block_);
    block_ = nullptr;
    return FALSE;
  }
  libraryLoaded_ = TRUE;
  return TRUE;
}

BOOL CPicture::LoadFromResource(UINT id) {
  HMODULE self = GetModuleHandleA(nullptr);
  HRSRC res = FindResourceA(self, MAKEINTRESOURCEA(id), "Dat");
  if (!res) return FALSE;
  DWORD size = SizeofResource(self, res);
  HGLOBAL h = LoadResource(self, res);
  const BYTE* bytes = h ? static_cast<const BYTE*>(LockResource(h)) : nullptr;
  if (!bytes || !size) return FALSE;
  return LoadFromBuffer(bytes, size);
}

BOOL CPicture::LoadFromStream(IStream* stream) {
  ReleaseOle();
  oleLoaded_ = libraryLoaded_ = FALSE;
  if (!stream) return FALSE;
  lastResult_ = OleLoadPicture(stream, 0, FALSE, IID_IPicture, reinterpret_cast<void**>(&olePicture_));
  if (FAILED(lastResult_) || !olePicture_) {
    olePicture_ = nullptr;
    return FALSE;
  }
  oleLoaded_ = TRUE;
  return TRUE;
}

BOOL CPicture::LoadFromFile(const char* path) {
  // The file is read whole into a block that its stream frees.
  HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return FALSE;
  LARGE_INTEGER size;
  BOOL ok = GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart < (1LL << 30);
  HGLOBAL block = ok ? GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size.QuadPart)) : nullptr;
  DWORD got = 0;
  if (block) {
    void* p = GlobalLock(block);
    ok = p && ReadFile(f, p, static_cast<DWORD>(size.QuadPart), &got, nullptr) && got == size.QuadPart;
    if (p) GlobalUnlock(block);
  }
  CloseHandle(f);
  IStream* stream = nullptr;
  if (!block || !ok || FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
    if (block) GlobalFree(block);
    return FALSE;
  }
  BOOL loaded = LoadFromStream(stream);
  stream->Release();
  return loaded;
}

SIZE CPicture::GetSize(HDC dc) const {
  SIZE s = {0, 0};
  if (!HasOlePicture()) return s;
  OLE_XSIZE_HIMETRIC w = 0;
  OLE_YSIZE_HIMETRIC h = 0;
  olePicture_->get_Width(&w);
  olePicture_->get_Height(&h);
  HDC screen = dc ? nullptr : GetDC(nullptr);
  HDC use = dc ? dc : screen;
  s.cx = MulDiv(w, GetDeviceCaps(use, LOGPIXELSX), 2540);
  s.cy = MulDiv(h, GetDeviceCaps(use, LOGPIXELSY), 2540);
  if (screen) ReleaseDC(nullptr, screen);
  return s;
}

BOOL CPicture::Render(HDC dc, int x, int y, int width, int height) {
  if (!HasOlePicture() || !dc) return FALSE;
  if (width == 0 || height == 0) {
    SIZE s = GetSize(dc);
    width = s.cx;
    height = s.cy;
  }
  OLE_XSIZE_HIMETRIC w = 0;
  OLE_YSIZE_HIMETRIC h = 0;
  olePicture_->get_Width(&w);
  olePicture_->get_Height(&h);
  lastResult_ = olePicture_->Render(dc, x, y, width, height, 0, h, w, -h, nullptr);
  return SUCCEEDED(lastResult_);
}

int CPicture::Draw(HDC dc, int x, int y, int width, int height) {
  if (!HasLibraryPicture() || !gDraw || !dc) return 0;
  int rect[4] = {x, y, width, height};
  try {
    gDraw(dc, rect);
  } catch (...) {
    libraryLoaded_ = oleLoaded_ = FALSE;
    return 0;
  }
  return 1;
}

HRESULT CMemStream::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IStream)) {
    *out = static_cast<IStream*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT CMemStream::Read(void* buffer, ULONG count, ULONG* read) {
  ULONG n = 0;
  if (buffer && pos_ < size_) {
    n = count < size_ - pos_ ? count : size_ - pos_;
    memcpy(buffer, data_ + pos_, n);
    pos_ += n;
  }
  if (read) *read = n;
  return n == count ? S_OK : S_FALSE;
}

HRESULT CMemStream::Write(const void*, ULONG count, ULONG* written) {
  if (written) *written = count;  // a sink: nothing is stored
  return S_OK;
}

HRESULT CMemStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) {
  LONGLONG base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? pos_ : size_;
  if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
  LONGLONG to = base + move.QuadPart;
  if (to < 0) return STG_E_INVALIDFUNCTION;
  pos_ = to > size_ ? size_ : static_cast<ULONG>(to);
  if (newPos) newPos->QuadPart = pos_;
  return S_OK;
}
