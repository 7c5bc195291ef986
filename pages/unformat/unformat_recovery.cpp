#include <cstring>

#include "messages.h"
#include "resource.h"
#include "page_host.h"
#include "state.h"
#include "unformat/unformat_copy.h"
#include "unformat_copyout_pages.h"
#include "unformat_destination.h"
#include "unformat_result_page.h"

UINT UnformatRecoveryThreadProc(LPVOID param) {
  auto* page = static_cast<CRecoveryPathPage*>(param);
  const HWND window = page->m_hWnd;
  // The page set its folder before starting the worker and does not change
  // it while the worker runs.
  char folder[512];
  std::memcpy(folder, page->DestinationFolder(), sizeof folder);
  folder[sizeof folder - 1] = 0;
  // Each writer counts every ticked file it takes on in gRecoverTakenFiles
  // (from 0: the page reset it before starting this worker); the files
  // copied whole are those less the ones it could not copy, and less the
  // ones it wrote but knows damaged (counted apart in the report).
  const int failed = RecoverUnformatFiles(folder);
  const uint32_t taken = gRecoverTakenFiles.load();
  const uint32_t notWhole = (failed > 0 ? static_cast<uint32_t>(failed) : 0u) + gRecoverDamagedFiles.load();
  page->SetRecoveredWhole(taken > notWhole ? taken - notWhole : 0u);
  SendMessageA(window, WM_RECOVERY_FINISHED, 0, 0);
  return 1;
}

bool OpenUnformatDestinationPage(CUftFileChoseDlg* resultPage) {
  return ShowHeldPage(new CChoiceRecoveryPathDlgUf(resultPage, UnformatRecoveryThreadProc), kDestinationPageSlot, IDD_UNFORMAT_DESTINATION,
                      resultPage);
}
