// Where the unformat road goes after its result page: the unformat
// destination page of the shared family (unformat_copyout_pages.h), which
// starts this road's copy-out worker with its progress page and opens the
// report.
#pragma once
#include <windows.h>

class CUftFileChoseDlg;

// Opens the unformat destination page over the result page (its parent),
// held in the application object's destination-page slot, with this road's
// worker plugged in; true when shown. The caller hides the result page.
bool OpenUnformatDestinationPage(CUftFileChoseDlg* resultPage);

// The copy-out worker of the unformat road, given to its destination page. Its
// argument is the unformat destination page (a CRecoveryPathPage): it copies
// the ticked records of the three unformat vectors below the page's
// DestinationFolder() (NTFS, then FAT32, then FAT16; each file is reported to
// gUnformatProgressWindow and counted in gRecoveredSectors from 0;
// gRecoverAbort ends it early), tells the page how many files it copied
// whole, then sends it WM_RECOVERY_FINISHED. Returns 1.
UINT UnformatRecoveryThreadProc(LPVOID destinationPage);
