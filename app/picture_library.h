// The picture library pictaran.dll, bound once at start-up from the program's
// own folder and released at exit. Everything here stays null while the
// library is missing or GDI+ does not start: callers then draw no pictures.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <string>

using PictureInitFn = int(__cdecl*)();
using PictureUnInitFn = int(__cdecl*)();
using PictureFromStreamFn = int(__cdecl*)(IStream* stream);
using PictureDrawFn = int(__cdecl*)(HDC dc, int* rect);   // rect: {x, y, width, height}

struct PictureLibrary {
  HMODULE module = nullptr;
  PictureInitFn InitGdiPlus = nullptr;
  PictureFromStreamFn BitmapFromStream = nullptr;
  PictureUnInitFn UnInitGdiPlus = nullptr;
  PictureDrawFn GdiDrewImage = nullptr;
};

// The process's binding; written only by the two functions below (UI thread).
extern PictureLibrary gPictureLibrary;

// Loads folder\pictaran.dll (folder ends with '\'), binds the four entry
// points and starts GDI+. 1 when all of it worked; else 0 with nothing bound.
// folder is the wide name (module_path.h); an empty one binds nothing.
int BindPictureLibraryFrom(const std::wstring& folder);
// Stops GDI+ and unloads the library if it is bound.
void UnbindPictureLibrary();
