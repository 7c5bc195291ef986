// The raw copy-out of the deep road: the worker that the deep destination
// page (CChoiceRecoveryPathDlgARW) is given and starts when the
// user has chosen a folder.
#pragma once
#include <windows.h>

// Argument: the destination page. Copies the ticked hits of gFoundFiles into
// its DestinationFolder(), each file reported to the progress page by the
// engine (WM_RECOVER_FILE to gRawProgressWindow); waits while the stop
// question is on screen; ends with WM_RAWRECOVER_DONE sent to the page.
UINT RawRecoveryThreadProc(LPVOID destinationPage);
