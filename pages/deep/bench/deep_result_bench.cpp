// How the deep-scan result page copes with a whole disk's worth of hits under
// wine64: the list handed over by its worker and drawn, every hit ticked,
// every tick turned over and back, the folders opened, the ticks written into the
// records, the page destroyed.
//   deep_result_bench.exe [hits, default 20000] [types, default 16]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "deep_result_page.h"
#include "deep_results.h"
#include "records/records.h"
#include "resource.h"
#include "treelist.h"
#include "treeviewchecks.h"

namespace {

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

void Pump() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

const char* const kTypes[] = {"jpg", "png", "gif", "bmp", "pdf", "doc", "xls", "ppt",
                              "docx", "xlsx", "pptx", "zip", "avi", "wav", "mp3", "mpg"};

}  // namespace

int main(int argc, char** argv) {
  const int hits = argc > 1 ? atoi(argv[1]) : 20000;
  int types = argc > 2 ? atoi(argv[2]) : 16;
  if (types < 1 || types > 16) types = 16;
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  RegisterTreeListClass(GetModuleHandleA(nullptr));

  uint32_t counters[16] = {};
  gFoundFiles.clear();
  for (int i = 0; i < hits; ++i) {
    FoundFileRecord r = {};
    const int t = (i * 7 + i / 3) % types;
    MakeFoundFileName(kTypes[t], ++counters[t], r.name);
    r.firstSector = static_cast<uint32_t>(i) * 64;
    r.lastSector = r.firstSector + 63;
    r.source = 0xFF02;
    r.selected = 1;
    gFoundFiles.push_back(r);
  }

  CWnd scanPage;
  scanPage.CreateEx(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr);
  auto* page = new CPtFileChosDlg(&scanPage);
  if (!page->Create(IDD_DEEP_RESULT, &scanPage)) {
    fprintf(stderr, "no result page\n");
    return 1;
  }
  printf("%d hits in %d folders\n", hits, types);

  auto t0 = std::chrono::steady_clock::now();
  page->StartBuildResultTree();
  while (!page->Built()) {
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  Pump();
  page->UpdateWindow();
  printf("list built and drawn: %.0f ms\n", Ms(t0));

  t0 = std::chrono::steady_clock::now();
  ::SendMessageA(page->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DR_CHECK_ALL, BN_CLICKED), 0);
  Pump();
  page->UpdateWindow();
  printf("select all: %.0f ms\n", Ms(t0));

  // Twice, so that every hit is ticked again when the ticks are written into
  // the records below: once would leave nothing to write.
  t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 2; ++i) {
    ::SendMessageA(page->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DR_INVERT, BN_CLICKED), 0);
    Pump();
  }
  page->UpdateWindow();
  printf("invert twice: %.0f ms\n", Ms(t0));

  t0 = std::chrono::steady_clock::now();
  ::SendMessageA(page->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DR_EXPAND, BN_CLICKED), 0);
  Pump();
  page->UpdateWindow();
  printf("expand all: %.0f ms\n", Ms(t0));

  t0 = std::chrono::steady_clock::now();
  TreeViewChecks checks{page->List().m_tree.m_hWnd};
  DeepSelection s = ApplyResultChecks(page->Tree(), gFoundFiles, [&](const ResultTreeNode& file) {
    return checks.Check(file.treeItem);
  });
  printf("ticks into the records (%u ticked): %.0f ms\n", s.checked, Ms(t0));

  t0 = std::chrono::steady_clock::now();
  page->DestroyWindow();
  delete page;
  Pump();
  printf("page destroyed: %.0f ms\n", Ms(t0));
  scanPage.DestroyWindow();
  return 0;
}
