#include "raw_recovery.h"

#include "copyout_progress_dlg.h"
#include "deepscan/found_files.h"
#include "messages.h"
#include "recovery_path_dlg.h"

namespace {
constexpr DWORD kQuestionPollMs = 500;
}

UINT RawRecoveryThreadProc(LPVOID param) {
  auto* page = static_cast<CRecoveryPathPage*>(param);
  // The page cleared gScanAbort before this thread started; the engine
  // polls it between files and refuses a destination that lies on the
  // scanned volume or disk.
  const int whole = CopyOutFoundFiles(page->DestinationFolder());
  page->SetRecoveredWhole(static_cast<uint32_t>(whole > 0 ? whole : 0));
  // The end is told once the user has answered a stop question that is up.
  CCopyOutProgressPage* progress = page->ProgressPage();
  do {
    Sleep(kQuestionPollMs);
  } while (progress && progress->AskingToStop());
  ::SendMessageA(page->m_hWnd, WM_RAWRECOVER_DONE, 0, 0);
  return 1;
}
