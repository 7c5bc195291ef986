// The pages' host for page tests that run without the program: an
// application object (the class layer wants one) keeping the page slots and
// the statistics as the program does, with whatever window the test sets as
// main window. It offers no deep-scan road: its main window has none.
#pragma once
#include "framework.h"
#include "page_host.h"
#include "recovery_road.h"
#include "picture.h"
#include "picture_library.h"
#include "module_path.h"
#include "records/records.h"
#include "state.h"
#include "unformat/unformat.h"

namespace pagetest {

class TestPageHost : public CWinApp, public CPageHost {
 public:
  TestPageHost() { SetPageHost(this); }
  ~TestPageHost() override {
    if (PageHost() == this) SetPageHost(nullptr);
  }

  CWnd* MainWindow() const override { return m_pMainWnd; }
  bool CanOpenDeepScan() const override { return false; }
  bool OpenDeepScan() override { return false; }

  // As the program ends: the pages first (they join their workers), then
  // the results they worked on.
  void DestroyPagesAndResults() {
    DestroyPages();
    ClearDeletedFiles();
    ClearUnformatResults();
    gFoundFiles.clear();
    gFoundFiles.shrink_to_fit();
  }

  // pictaran.dll from the test program's folder, bound for the picture
  // controls as the program binds it: 1 when started.
  int BindPictureLibrary() {
    const int bound = BindPictureLibraryFrom(ModuleFolderW(nullptr));
    if (bound) SetPictaranEntries(gPictureLibrary.BitmapFromStream, gPictureLibrary.GdiDrewImage);
    return bound;
  }
  void UnbindPictureLibrary() {
    SetPictaranEntries(nullptr, nullptr);
    ::UnbindPictureLibrary();
  }
};

// What the pages after a result page ask of it, without a result page.
struct StandInResults : CRecoveryResults {
  uint32_t found = 0, chosen = 0;
  uint64_t sectors = 0;
  CDialog* ResultPage() override { return nullptr; }
  uint32_t FoundFileCount() const override { return found; }
  uint32_t ChosenFileCount() const override { return chosen; }
  uint64_t ChosenSectors() const override { return sectors; }
};

// A click handled before it returns (a message box it opens runs inside it).
inline void ClickNow(CWnd* page, int id) {
  ::SendMessageA(page->m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(page->m_hWnd, id)));
}

}  // namespace pagetest
