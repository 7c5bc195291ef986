// How the recycle-bin result page copes with a bin of many items: the scan
// of an emptied bin, then the page from its start to its filled list (the
// names resolved from every "$I" partner, inside the fill), against the same
// records under plain names that need no resolving.
//   recycle_bench.exe X:\$Recycle.Bin
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "choice_files_dlg.h"
#include "fw_wnd.h"
#include "test_page_host.h"
#include "scan_page.h"
#include "state.h"

pagetest::TestPageHost theApp;

namespace {

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

template <class Pred>
void PumpUntil(Pred done) {
  while (!done()) {
    fw::PumpWaitingMessages();
    MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
  fw::PumpWaitingMessages();
}

bool Scan(const char* target) {
  ClearDeletedFiles();
  DeletedScanRequest req = {};
  std::strncpy(req.target, target, sizeof req.target - 1);
  req.recycleBin = 1;   // no window, no end message
  return RunDeletedFileScan(req) == 0;
}

// The page from its opening to the list filled; the files it listed.
double PageFill(CWnd* main, const char* target, bool recycleBin, uint32_t* listed) {
  CScanDelFilesDlg scan(main);
  scan.SetTarget(target);
  scan.SetRecycleBin(recycleBin ? TRUE : FALSE);
  auto t = std::chrono::steady_clock::now();
  auto* page = dynamic_cast<CChoiceFilesDlg*>(OpenDeletedResultPage(&scan));
  if (!page) return -1;
  PumpUntil([&] { return page->IsWindowEnabled(); });
  const double ms = Ms(t);
  *listed = page->FoundFileCount();
  PumpUntil([&] { return !page->Filling(); });
  theApp.DestroyPagesAndResults();
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: recycle_bench X:\\$Recycle.Bin\n");
    return 2;
  }
  RegisterTreeListClass(GetModuleHandleA(nullptr));
  CWnd main;
  main.CreateEx(0, "STATIC", "main", WS_POPUP, 0, 0, 10, 10, nullptr, 0);
  theApp.m_pMainWnd = &main;

  auto t = std::chrono::steady_clock::now();
  if (!Scan(argv[1])) {
    std::fprintf(stderr, "scan failed\n");
    return 1;
  }
  const double scanMs = Ms(t);
  const size_t records = DeletedFileCount();
  uint32_t binListed = 0, plainListed = 0;
  const double binMs = PageFill(&main, argv[1], true, &binListed);

  // The same records with names that are no bin's.
  if (!Scan(argv[1])) return 1;
  for (DeletedFileRecord& r : gDeletedFiles)
    for (char* p = std::strstr(r.path, "\\$"); p; p = std::strstr(p + 1, "\\$")) p[1] = 'p';
  const double plainMs = PageFill(&main, argv[1], false, &plainListed);

  std::printf("records:                     %8zu\n", records);
  std::printf("scan:                        %8.0f ms\n", scanMs);
  std::printf("bin page fill:               %8.0f ms (%u files listed)\n", binMs, binListed);
  std::printf("plain names page fill:       %8.0f ms (%u files listed)\n", plainMs, plainListed);
  std::printf("ratio bin/plain:             %8.2f\n", plainMs > 0 ? binMs / plainMs : 0.0);
  theApp.m_pMainWnd = nullptr;
  return 0;
}
