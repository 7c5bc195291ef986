// The deep road after its result page: its destination page, the raw
// copy-out worker that the destination page starts, and the size of the
// selection that the result page hands on.
#pragma once
#include <windows.h>

#include <cstdint>

#include "framework.h"

// The destination page of the deep road, for the result page (its parent).
CDialog* MakeDeepDestinationPage(CWnd* resultPage);
// Creates its window over the result page and shows it; false when it
// cannot be made.
bool OpenDeepDestinationPage(CDialog* page, CWnd* resultPage);

// The raw copy-out: the ticked hits of gFoundFiles into the destination
// page's folder. Argument: the destination page.
UINT RawRecoveryThreadProc(LPVOID destinationPage);

// Sectors of the hits ticked on the result page (written by its Next).
extern uint64_t gRawSelectedSectors;
