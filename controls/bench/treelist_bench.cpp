// How the result tree-list copes with a large scan: rows inserted the way the
// fill worker's messages insert them (name, size, three times), the whole tree
// expanded and painted, then emptied.
//   controls_bench.exe [folders, default 200] [files per folder, default 100]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "skinids.h"
#include "treelist.h"

namespace {
double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

void Pump() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}
}  // namespace

int main(int argc, char** argv) {
  int folders = argc > 1 ? atoi(argv[1]) : 200;
  int files = argc > 2 ? atoi(argv[2]) : 100;
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  RegisterTreeListClass(GetModuleHandleA(nullptr));

  CWnd host;
  host.CreateEx(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, nullptr, nullptr);
  CreateWindowExA(0, "MERLO_TREE_LIST_CTRL", "", WS_CHILD | WS_VISIBLE, 0, 0, 800, 600, host.m_hWnd,
                  reinterpret_cast<HMENU>(1047), GetModuleHandleA(nullptr), nullptr);
  CTreeListCtrl list;
  if (!list.SubclassDlgItem(1047, &host)) {
    fprintf(stderr, "no tree-list\n");
    return 1;
  }
  CColumnTreeCtrl& t = list.m_tree;
  const int widths[] = {200, 80, 100, 100, 100};
  for (int i = 0; i < 5; ++i) t.InsertColumn(i, "column", 0, widths[i]);

  auto t0 = std::chrono::steady_clock::now();
  char name[64], size[32];
  for (int f = 0; f < folders; ++f) {
    snprintf(name, sizeof name, "folder %04d", f);
    HTREEITEM dir = t.InsertItem(name, kRowFolder, kRowFolderOpen);
    for (int i = 0; i < files; ++i) {
      snprintf(name, sizeof name, "IMG_%04d_%05d.JPG", f, i);
      snprintf(size, sizeof size, "%u KB", (f * 7919u + i * 104729u) % 90000u);
      HTREEITEM h = t.InsertItem(name, kRowPicture, kRowPicture, dir);
      t.SetItemText(h, 1, size);
      t.SetItemText(h, 2, "2024-2-10 19:32:45");
      t.SetItemText(h, 3, "2024-2-10 19:32:45");
      t.SetItemText(h, 4, "2024-2-11 8:00:00");
      t.SetItemStateAndPropagate(h, INDEXTOSTATEIMAGEMASK(1), TVIS_STATEIMAGEMASK, FALSE);
    }
  }
  double insertMs = Ms(t0);
  int rows = folders * (files + 1);

  t0 = std::chrono::steady_clock::now();
  list.ExpandAll(TRUE);
  double expandMs = Ms(t0);

  const int frames = 100;
  t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < frames; ++i) {
    SendMessageA(t.m_hWnd, WM_VSCROLL, SB_PAGEDOWN, 0);
    RedrawWindow(t.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Pump();
  }
  double paintMs = Ms(t0) / frames;

  // The parts of a tick: reading and writing one row's state.
  TreeViewChecks view{t.m_hWnd};
  HTREEITEM first = TreeView_GetChild(t.m_hWnd, TreeView_GetRoot(t.m_hWnd));
  t0 = std::chrono::steady_clock::now();
  int sum = 0;
  for (int i = 0; i < 2000; ++i) sum += view.Check(first);
  double readUs = Ms(t0) * 1000 / 2000;
  t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 200; ++i) view.SetCheck(first, 1 + (i & 1) * 2);
  double writeUs = Ms(t0) * 1000 / 200;
  printf("read one state       %.1f us\n", readUs + (sum < 0));
  printf("write one state      %.1f us\n", writeUs);

  t0 = std::chrono::steady_clock::now();
  t.CheckAllTopLevel(TRUE);
  double checkMs = Ms(t0);

  t0 = std::chrono::steady_clock::now();
  t.DeleteAllItems();
  double deleteMs = Ms(t0);

  printf("rows                 %d (%d folders x %d files)\n", rows, folders, files);
  printf("insert with texts    %.0f ms (%.1f us a row)\n", insertMs, insertMs * 1000 / rows);
  printf("expand all           %.0f ms\n", expandMs);
  printf("paint one page       %.2f ms\n", paintMs);
  printf("tick everything      %.0f ms\n", checkMs);
  printf("delete all           %.0f ms\n", deleteMs);
  printf("row objects left     %d\n", CColumnTreeItem::Live());
  return CColumnTreeItem::Live() == 0 ? 0 : 1;
}
