// The resources salvora.exe loads by id are there, in code page 936 where they
// are text, and in the sizes the windows lay themselves out for.
#include <windows.h>

#include <gtest/gtest.h>

#include "framework.h"
#include "resource.h"
#include "testsupport.h"
#include "version.h"

using testsupport::AnsiToUtf8;

namespace {

TEST(StringTable, EveryIdOfTheTableLoads) {
  // Every id that resources/ids/strings.h names.
  const UINT ids[] = {1,  2,  3,  5,  6,  7,  8,  9,  10, 11, 12, 14, 15, 16, 17, 18, 19, 20, 21,  22,
                      23, 24, 26, 27, 28, 29, 30, 31, 34, 35, 36, 37, 38, 39, 43, 45, 46, 47, 48,  49,
                      50, 52, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 74, 75,  76,
                      77, 78, 80, 82, 83, 84, 85, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100, 101, 102,
                      103, 104, 105, 106, 107, 108, 109, 110, 111, 479};
  for (UINT id : ids) {
    CString s;
    EXPECT_TRUE(s.LoadString(id)) << id;
    EXPECT_FALSE(s.IsEmpty()) << id;
  }
}

TEST(StringTable, TextsAreTheSystemsOwn) {
  CString s;
  ASSERT_TRUE(s.LoadString(IDS_APP_TITLE));
  EXPECT_EQ(AnsiToUtf8(s.GetString()), u8"奎隆数据恢复");
  ASSERT_TRUE(s.LoadString(IDS_DEST_ON_SCANNED));
  EXPECT_EQ(AnsiToUtf8(s.GetString()),
            u8"为保证数据完整性，恢复出来的文件不能保存到与扫描路径相同的磁盘分区中。\r\n"
            u8"请选择另一个磁盘分区来保存恢复出来的文件。");
  ASSERT_TRUE(s.LoadString(IDS_DISK3));
  EXPECT_EQ(AnsiToUtf8(s.GetString()), u8"磁盘3");
  ASSERT_TRUE(s.LoadString(IDS_FONT_SONG));
  EXPECT_EQ(AnsiToUtf8(s.GetString()), u8"宋体");
  ASSERT_TRUE(s.LoadString(IDS_DRIVE_HAS_FILES));
  EXPECT_EQ(AnsiToUtf8(s.GetString()), u8"盘有文件需要恢复，请另外选择目录存放恢复出来的文件。");
}

CSize BitmapSize(UINT id) {
  CBitmap b;
  if (!b.LoadBitmap(id)) return CSize(-1, -1);
  return b.GetSize();
}

TEST(Skin, BitmapsHaveTheirLayoutSizes) {
  EXPECT_EQ(BitmapSize(IDB_PAGE_BACKGROUND), CSize(640, 480));
  EXPECT_EQ(BitmapSize(IDB_ABOUT_BACKGROUND), CSize(420, 270));
  for (UINT id : {IDB_ABOUT_OK, IDB_ABOUT_OK_DOWN, IDB_ABOUT_OK_OVER}) EXPECT_EQ(BitmapSize(id), BitmapSize(IDB_ABOUT_OK));
  for (UINT id : {IDB_CLOSE, IDB_CLOSE_HOVER, IDB_MINIMISE, IDB_MINIMISE_HOVER}) EXPECT_EQ(BitmapSize(id), CSize(30, 24));
}

TEST(Skin, IconsAndTheHandCursor) {
  for (int size : {16, 32, 48}) {
    HICON icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON,
                                               size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm = {};
    GetObjectA(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
  EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_UPDATE)), nullptr);
  HCURSOR hand = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDCUR_HAND));
  ASSERT_NE(hand, nullptr);
  ICONINFO info = {};
  ASSERT_TRUE(GetIconInfo(hand, &info));
  EXPECT_FALSE(info.fIcon);
  EXPECT_EQ(info.xHotspot, 5u);   // the fingertip
  EXPECT_EQ(info.yHotspot, 0u);
  DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
}

TEST(Skin, DatPicturesAreWholeFilesOfTheirFormat) {
  auto bytes = [](UINT id) {
    HRSRC r = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "Dat");
    if (!r) return std::string();
    return std::string(static_cast<const char*>(LockResource(LoadResource(nullptr, r))), SizeofResource(nullptr, r));
  };
  std::string bmp = bytes(IDDAT_NO_PREVIEW);
  ASSERT_GT(bmp.size(), 54u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(*reinterpret_cast<const DWORD*>(bmp.data() + 2), bmp.size());
  std::string jpg = bytes(IDDAT_LOADING);
  ASSERT_GT(jpg.size(), 4u);
  EXPECT_EQ(jpg.substr(0, 3), "\xFF\xD8\xFF");
  EXPECT_EQ(jpg.substr(jpg.size() - 2), "\xFF\xD9");
}

TEST(VersionResource, CarriesTheProductVersion) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, &block[0]));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
  EXPECT_EQ(HIWORD(fixed->dwProductVersionMS), SALVORA_VERSION_MAJOR);
  EXPECT_EQ(LOWORD(fixed->dwProductVersionLS), SALVORA_VERSION_BUILD);
  char* product = nullptr;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\080404b0\\ProductName", reinterpret_cast<void**>(&product),
                             &len));
  EXPECT_EQ(AnsiToUtf8(product), u8"奎隆数据恢复");
}

}  // namespace
