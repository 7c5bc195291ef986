// pictaran.dll as the program uses it: loaded by name, the five exports bound,
// pictures made by ImageMagick decoded from memory streams and drawn.
#include <windows.h>
#include <objidl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resource.h"
#include "testsupport.h"

using namespace testsupport;

namespace {

using InitFn = int(__cdecl*)();
using FromStreamFn = int(__cdecl*)(IStream*);
using DrawFn = int(__cdecl*)(HDC, int*);

struct Library {
  HMODULE module = nullptr;
  InitFn init = nullptr;
  InitFn uninit = nullptr;
  FromStreamFn fromStream = nullptr;
  DrawFn draw = nullptr;
  int* counter = nullptr;
};

Library& Lib() {
  static Library lib = [] {
    Library l;
    l.module = LoadLibraryA("pictaran.dll");
    if (l.module) {
      l.init = reinterpret_cast<InitFn>(GetProcAddress(l.module, "InitGdiPlus"));
      l.uninit = reinterpret_cast<InitFn>(GetProcAddress(l.module, "UnInitGdiPlus"));
      l.fromStream = reinterpret_cast<FromStreamFn>(GetProcAddress(l.module, "BitmapFromStream"));
      l.draw = reinterpret_cast<DrawFn>(GetProcAddress(l.module, "GdiDrewImage"));
      l.counter = reinterpret_cast<int*>(GetProcAddress(l.module, "npictaran"));
    }
    return l;
  }();
  return lib;
}

std::string ReadFixture(const char* name) {
  std::string data;
  EXPECT_TRUE(ReadWholeFile(FixtureDir("pictures") + name, &data)) << name;
  return data;
}

// As the picture control does it: a movable block, a stream that does not own it.
struct MemoryStream {
  HGLOBAL block = nullptr;
  IStream* stream = nullptr;
  explicit MemoryStream(const std::string& bytes) {
    block = GlobalAlloc(GMEM_MOVEABLE, bytes.size() ? bytes.size() : 1);
    void* p = GlobalLock(block);
    memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(block);
    CreateStreamOnHGlobal(block, FALSE, &stream);
  }
  ~MemoryStream() {
    if (stream) stream->Release();
    if (block) GlobalFree(block);
  }
};

int Load(const std::string& bytes) {
  MemoryStream m(bytes);
  return Lib().fromStream(m.stream);
}

// A white 32-bit surface to draw into.
struct Surface {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  int w, h;
  Surface(int width, int height) : w(width), h(height) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    old = SelectObject(dc, bitmap);
    RECT r = {0, 0, w, h};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  ~Surface() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  int Draw() {
    int rect[4] = {0, 0, w, h};
    return Lib().draw(dc, rect);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
};

bool IsRed(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) < 60 && GetBValue(c) < 60; }
bool IsBlue(COLORREF c) { return GetBValue(c) > 200 && GetRValue(c) < 60 && GetGValue(c) < 60; }
bool IsGreen(COLORREF c) { return GetGValue(c) > 200 && GetRValue(c) < 60 && GetBValue(c) < 60; }
bool IsWhite(COLORREF c) { return c == RGB(255, 255, 255); }

class PictureLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Lib().module, nullptr) << "pictaran.dll beside the test";
    ASSERT_TRUE(Lib().init && Lib().uninit && Lib().fromStream && Lib().draw && Lib().counter);
    ASSERT_EQ(Lib().init(), 1);
  }
  void TearDown() override { EXPECT_EQ(Lib().uninit(), 1); }
};

TEST(PictureLibraryExports, ExactlyTheFiveNamesAndTheCounterIsZero) {
  HMODULE m = Lib().module;
  ASSERT_NE(m, nullptr);
  auto* base = reinterpret_cast<BYTE*>(m);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(dir.VirtualAddress, 0u);
  auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  std::vector<std::string> names;
  auto* nameRvas = reinterpret_cast<DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.emplace_back(reinterpret_cast<char*>(base + nameRvas[i]));
  EXPECT_EQ(names, (std::vector<std::string>{"BitmapFromStream", "GdiDrewImage", "InitGdiPlus", "UnInitGdiPlus",
                                             "npictaran"}));
  EXPECT_EQ(exports->NumberOfFunctions, 5u);
  EXPECT_EQ(*Lib().counter, 0);
}

class DecodeEachFormat : public PictureLibrary, public ::testing::WithParamInterface<const char*> {};

TEST_P(DecodeEachFormat, DrawsTheRedAndBlueHalvesStretched) {
  ASSERT_EQ(Load(ReadFixture(GetParam())), 1);
  Surface s(400, 200);   // twice the picture's size: drawn stretched
  EXPECT_EQ(s.Draw(), 1);
  EXPECT_TRUE(IsRed(s.At(100, 100))) << std::hex << s.At(100, 100);
  EXPECT_TRUE(IsBlue(s.At(300, 100))) << std::hex << s.At(300, 100);
  EXPECT_TRUE(IsRed(s.At(5, 5)));
  EXPECT_TRUE(IsBlue(s.At(394, 194)));
}

INSTANTIATE_TEST_SUITE_P(ImageMagickFiles, DecodeEachFormat,
                         ::testing::Values("halves.jpg", "halves.png", "halves.gif"));

TEST_F(PictureLibrary, KeepsItsOwnCopyOfThePictureBytes) {
  std::string png = ReadFixture("halves.png");
  {
    MemoryStream m(png);
    ASSERT_EQ(Lib().fromStream(m.stream), 1);
    // The caller lets go of everything, scribbling over its memory first.
    void* p = GlobalLock(m.block);
    memset(p, 0xCC, png.size());
    GlobalUnlock(m.block);
  }
  Surface s(200, 100);
  EXPECT_EQ(s.Draw(), 1);
  EXPECT_TRUE(IsRed(s.At(50, 50)));
  EXPECT_TRUE(IsBlue(s.At(150, 50)));
}

TEST_F(PictureLibrary, TheSecondPictureReplacesTheFirst) {
  ASSERT_EQ(Load(ReadFixture("halves.png")), 1);
  ASSERT_EQ(Load(ReadFixture("green.png")), 1);
  Surface s(200, 100);
  s.Draw();
  EXPECT_TRUE(IsGreen(s.At(50, 50)));
  EXPECT_TRUE(IsGreen(s.At(150, 50)));
}

TEST_F(PictureLibrary, AFailedLoadLeavesNoPictureToDraw) {
  ASSERT_EQ(Load(ReadFixture("halves.png")), 1);
  EXPECT_EQ(Load(ReadFixture("notapicture.jpg")), 0);
  Surface s(200, 100);
  EXPECT_EQ(s.Draw(), 1);
  EXPECT_TRUE(IsWhite(s.At(50, 50)));
  EXPECT_TRUE(IsWhite(s.At(150, 50)));
  EXPECT_EQ(Lib().fromStream(nullptr), 0);
  EXPECT_EQ(Load(std::string()), 0);
  EXPECT_EQ(Lib().draw(nullptr, nullptr), 1);
}

TEST_F(PictureLibrary, ATruncatedJpegShowsWhatItHoldsOrNothingButNeverThePictureBefore) {
  // Carved photos are often cut short. Windows' GDI+ draws what the bytes
  // hold; Wine's decoder refuses the file. Either way the picture shown
  // before it must not stay on screen, and drawing goes on working.
  ASSERT_EQ(Load(ReadFixture("halves.jpg")), 1);
  const int loaded = Load(ReadFixture("truncated.jpg"));
  Surface s(480, 360);
  EXPECT_EQ(s.Draw(), 1);
  int oldPicture = 0, drawnTop = 0, drawn = 0;
  for (int y = 10; y < 360; y += 20) {
    oldPicture += IsRed(s.At(100, y)) && IsBlue(s.At(380, y));
    for (int x = 10; x < 480; x += 20) {
      drawn += !IsWhite(s.At(x, y));
      if (y < 120) drawnTop += !IsWhite(s.At(x, y));
    }
  }
  EXPECT_EQ(oldPicture, 0);
  if (loaded) {
    EXPECT_GT(drawnTop, 100) << "the part the bytes hold is drawn";
  } else {
    EXPECT_EQ(drawn, 0) << "nothing is drawn for a picture that did not load";
  }
  // The library goes on working afterwards.
  ASSERT_EQ(Load(ReadFixture("halves.jpg")), 1);
  Surface t(200, 100);
  t.Draw();
  EXPECT_TRUE(IsRed(t.At(50, 50)));
}

TEST(PictureLibraryLifetime, ShutdownDropsThePictureAndARestartStartsEmpty) {
  ASSERT_NE(Lib().module, nullptr);
  EXPECT_EQ(Lib().init(), 1);
  ASSERT_EQ(Load(ReadFixture("halves.png")), 1);
  EXPECT_EQ(Lib().uninit(), 1);
  EXPECT_EQ(Load(ReadFixture("halves.png")), 0);   // GDI+ is not running
  EXPECT_EQ(Lib().uninit(), 1);                    // twice is harmless
  EXPECT_EQ(Lib().init(), 1);
  Surface s(200, 100);
  EXPECT_EQ(s.Draw(), 1);
  EXPECT_TRUE(IsWhite(s.At(50, 50)));
  EXPECT_EQ(Lib().uninit(), 1);
}

// The program's own "Dat" pictures decode too; all of it is saved for people to look at.
TEST_F(PictureLibrary, ScreenshotOfEveryPictureKind) {
  Surface sheet(520, 230);
  RECT all = {0, 0, sheet.w, sheet.h};
  FillRect(sheet.dc, &all, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
  int x = 10;
  for (const char* name : {"halves.jpg", "halves.png", "halves.gif"}) {
    ASSERT_EQ(Load(ReadFixture(name)), 1) << name;
    int rect[4] = {x, 10, 160, 60};
    Lib().draw(sheet.dc, rect);
    x += 170;
  }
  x = 10;
  for (int id : {IDDAT_LOADING, IDDAT_NO_PREVIEW}) {
    HRSRC r = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "Dat");
    ASSERT_NE(r, nullptr) << id;
    std::string bytes(static_cast<const char*>(LockResource(LoadResource(nullptr, r))), SizeofResource(nullptr, r));
    ASSERT_EQ(Load(bytes), 1) << id;
    int rect[4] = {x, 80, 240, 140};
    Lib().draw(sheet.dc, rect);
    x += 260;
  }
  HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE | SS_BITMAP, 20, 20, sheet.w, sheet.h, nullptr,
                           nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  SelectObject(sheet.dc, sheet.old);   // the static shows the bitmap itself
  SendMessageA(w, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(sheet.bitmap));
  for (int i = 0; i < 10; ++i) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    Sleep(20);
  }
  EXPECT_TRUE(SaveScreenshot(ArtifactPath("pictaran.bmp"), w));
  SendMessageA(w, STM_SETIMAGE, IMAGE_BITMAP, 0);
  DestroyWindow(w);
  sheet.old = SelectObject(sheet.dc, sheet.bitmap);
}

}  // namespace
