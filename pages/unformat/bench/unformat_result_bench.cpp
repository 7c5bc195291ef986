// How the unformat result page copes with a large scan: the fill worker's
// tree and rows under the busy box, then check all, invert, expand all and
// the collection of the ticks into the records.
//   unformat_result_bench.exe [folders, default 200] [files per folder, default 100]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "records/records.h"
#include "resource.h"
#include "test_page_host.h"
#include "treelist.h"
#include "unformat_result_page.h"

pagetest::TestPageHost theApp;

namespace {

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

template <typename Pred>
void PumpUntil(Pred done) {
  while (!done()) {
    fw::PumpWaitingMessages();
    Sleep(1);
  }
}

void Click(CWnd* page, int id) {
  ::SendMessageA(page->m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(page->m_hWnd, id)));
}

}  // namespace

int main(int argc, char** argv) {
  const int folders = argc > 1 ? atoi(argv[1]) : 200;
  const int files = argc > 2 ? atoi(argv[2]) : 100;
  OleInitialize(nullptr);
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  RegisterTreeListClass(GetModuleHandleA(nullptr));

  for (int f = 0; f < folders; ++f)
    for (int i = 0; i < files; ++i) {
      UnformatFatRecord r = {};
      snprintf(r.path, sizeof r.path, "DIR%d\\Photos %04d\\IMG_%04d_%05d.%s", f % 7, f, f, i, i % 3 ? "JPG" : "docx");
      r.size = (f * 7919u + i * 104729u) % 90000000u;
      r.created = r.modified = r.accessed = SYSTEMTIME{2024, 2, 6, 10, 19, 32, 45, 0};
      r.sectorsPerCluster = 8;
      gUnformatFat32Files.push_back(r);
    }

  auto* page = new CUftFileChoseDlg(nullptr);
  if (!page->Create(IDD_UNFORMAT_RESULT, nullptr)) {
    fprintf(stderr, "no result page\n");
    return 1;
  }
  auto t0 = std::chrono::steady_clock::now();
  page->StartFillUnformatResults();
  PumpUntil([&] { return page->Filled(); });
  printf("fill (tree and rows) %8.0f ms  %u files, %zu rows\n", Ms(t0), page->ListedCount(), page->Tree().NodeCount());

  t0 = std::chrono::steady_clock::now();
  Click(page, IDC_UFRES_CHECK_ALL);
  printf("check all            %8.0f ms\n", Ms(t0));
  t0 = std::chrono::steady_clock::now();
  Click(page, IDC_UFRES_INVERT);
  Click(page, IDC_UFRES_INVERT);
  printf("invert twice         %8.0f ms\n", Ms(t0));
  t0 = std::chrono::steady_clock::now();
  const uint32_t ticked = page->CollectChecks();
  printf("collect              %8.0f ms  %u ticked\n", Ms(t0), ticked);
  t0 = std::chrono::steady_clock::now();
  Click(page, IDC_UFRES_EXPAND);
  fw::PumpWaitingMessages();
  printf("expand all           %8.0f ms\n", Ms(t0));
  t0 = std::chrono::steady_clock::now();
  page->DestroyWindow();
  delete page;
  printf("close                %8.0f ms\n", Ms(t0));
  gUnformatFat32Files.clear();
  return ticked == static_cast<uint32_t>(folders * files) ? 0 : 1;
}
