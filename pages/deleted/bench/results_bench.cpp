// How the deleted-file result page copes with a large scan: the records of a
// scan that found many files, turned into the folder tree by the model alone
// and then by the real page (its fill worker handing rows to the tree-list
// in batches), filtered by kind, all ticked and collected into `selected`;
// the page's fill is also given as a ratio to the model's alone.
//   results_bench.exe [folders, default 200] [files per folder, default 100]
//                     [files in one extra folder, default 5000]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "choice_files_dlg.h"
#include "fw_wnd.h"
#include "resource.h"
#include "test_page_host.h"
#include "result_tree.h"
#include "scan_page.h"
#include "state.h"
#include "treeviewchecks.h"

pagetest::TestPageHost theApp;

namespace {

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

struct CountingSink : ResultFillSink {
  size_t rows = 0;
  void Insert(ResultTreeNode* node, ResultTreeNode*, ResultTreeNode*, int32_t) override {
    node->treeItem = reinterpret_cast<HTREEITEM>(++rows);
  }
  void OutOfMemory() override {}
  void FillDone() override {}
  void NothingListed() override {}
  void ResultsListed() override {}
};

// As a message loop waits: woken by every message, sent ones included.
template <class Pred>
void PumpUntil(Pred done) {
  while (!done()) {
    fw::PumpWaitingMessages();
    MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
  fw::PumpWaitingMessages();
}

}  // namespace

int main(int argc, char** argv) {
  const int folders = argc > 1 ? atoi(argv[1]) : 200;
  const int perFolder = argc > 2 ? atoi(argv[2]) : 100;
  const int flat = argc > 3 ? atoi(argv[3]) : 5000;
  const char* kinds[] = {".jpg", ".doc", ".txt", ".mp3"};
  ClearDeletedFiles();
  for (int f = 0; f < folders; ++f)
    for (int i = 0; i < perFolder; ++i) {
      DeletedFileRecord r = {};
      std::snprintf(r.path, sizeof r.path, "\\Folder %03d\\Sub %d\\file %05d%s", f, i % 7, (i * 7919) % 100000,
                    kinds[i % 4]);
      r.size = 1000 + i * 37;
      r.driveIndex = 1;
      AppendDeletedFile(r);
    }
  for (int i = 0; i < flat; ++i) {
    DeletedFileRecord r = {};
    std::snprintf(r.path, sizeof r.path, "\\Flat\\IMG_%05d.jpg", (i * 7919) % 100000);
    r.size = 200000;
    r.driveIndex = 1;
    AppendDeletedFile(r);
  }
  const size_t records = DeletedFileCount();
  std::printf("records: %zu (%d folders x %d files, %d in one folder)\n", records, folders, perFolder, flat);

  // The model alone.
  double modelMs = 0;
  {
    CResultTree tree;
    CountingSink sink;
    ResultFillJob job;
    job.sink = &sink;
    job.tree = &tree;
    job.hintDelayMs = 0;
    auto t = std::chrono::steady_clock::now();
    RunResultFill(job);
    modelMs = Ms(t);
    std::printf("model fill:            %8.0f ms (%zu rows)\n", modelMs, sink.rows);
  }

  // The real page: its worker, its busy box, the tree-list rows.
  RegisterTreeListClass(GetModuleHandleA(nullptr));
  CWnd main;
  main.CreateEx(0, "STATIC", "main", WS_POPUP, 0, 0, 10, 10, nullptr, 0);
  theApp.m_pMainWnd = &main;
  CScanDelFilesDlg scan(&main);
  scan.SetTarget("D:\\");
  auto t = std::chrono::steady_clock::now();
  auto* page = dynamic_cast<CChoiceFilesDlg*>(OpenDeletedResultPage(&scan));
  if (!page) {
    std::fprintf(stderr, "no result page\n");
    return 1;
  }
  // Filled when the busy box has gone (the hint comes 700 ms later).
  PumpUntil([&] { return page->IsWindowEnabled(); });
  const double pageMs = Ms(t);
  std::printf("page fill:             %8.0f ms (%u files listed)\n", pageMs, page->FoundFileCount());
  std::printf("ratio page/model fill: %8.2f\n", modelMs > 0 ? pageMs / modelMs : 0.0);
  PumpUntil([&] { return !page->Filling(); });

  t = std::chrono::steady_clock::now();
  page->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_RES_CHECK_ALL, BN_CLICKED), 0);
  std::printf("check all:             %8.0f ms\n", Ms(t));
  t = std::chrono::steady_clock::now();
  {
    TreeViewChecks checks{page->ListInUse()->m_tree.m_hWnd};
    const uint32_t n = CollectCheckedRecords(page->ShownTree(), checks);
    std::printf("collect ticks:         %8.0f ms (%u selected)\n", Ms(t), n);
  }

  ::SendDlgItemMessageA(page->m_hWnd, IDC_RES_KIND, CB_SETCURSEL, 2, 0);   // pictures
  t = std::chrono::steady_clock::now();
  page->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_RES_FILTER, BN_CLICKED), 0);
  PumpUntil([&] { return page->IsWindowEnabled(); });
  std::printf("filtered fill (jpg):   %8.0f ms\n", Ms(t));

  t = std::chrono::steady_clock::now();
  theApp.DestroyPagesAndResults();
  std::printf("close and free:        %8.0f ms\n", Ms(t));
  theApp.m_pMainWnd = nullptr;
  return 0;
}
