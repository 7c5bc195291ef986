#include "picture_library.h"

#include "module_path.h"

PictureLibrary gPictureLibrary;

int BindPictureLibraryFrom(const std::wstring& folder) {
  HMODULE module = LoadLibraryBeside(folder, L"pictaran.dll");
  if (!module) return 0;
  PictureLibrary lib;
  lib.module = module;
  lib.InitGdiPlus = reinterpret_cast<PictureInitFn>(GetProcAddress(module, "InitGdiPlus"));
  lib.BitmapFromStream = reinterpret_cast<PictureFromStreamFn>(GetProcAddress(module, "BitmapFromStream"));
  lib.UnInitGdiPlus = reinterpret_cast<PictureUnInitFn>(GetProcAddress(module, "UnInitGdiPlus"));
  lib.GdiDrewImage = reinterpret_cast<PictureDrawFn>(GetProcAddress(module, "GdiDrewImage"));
  // A library without its entry points is as good as none.
  if (!lib.InitGdiPlus || !lib.BitmapFromStream || !lib.UnInitGdiPlus || !lib.GdiDrewImage ||
      !lib.InitGdiPlus()) {
    FreeLibrary(module);
    return 0;
  }
  gPictureLibrary = lib;
  return 1;
}

void UnbindPictureLibrary() {
  if (!gPictureLibrary.module) return;
  if (gPictureLibrary.UnInitGdiPlus) gPictureLibrary.UnInitGdiPlus();
  FreeLibrary(gPictureLibrary.module);
  gPictureLibrary = PictureLibrary();
}
