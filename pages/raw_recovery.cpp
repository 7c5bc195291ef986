#include "raw_recovery.h"

uint64_t gRawSelectedSectors = 0;

CDialog* MakeDeepDestinationPage(CWnd*) { return nullptr; }

bool OpenDeepDestinationPage(CDialog*, CWnd*) { return false; }

UINT RawRecoveryThreadProc(LPVOID) { return 1; }
