// What the destination, copy-out progress and report pages of the three
// recovery roads share, and how a road plugs into them.
//
// A road's result page implements CRecoveryResults and opens its destination
// page with itself; the destination page starts the copy-out with a progress
// page; the progress page opens the report with the counts it was given.
// Every page holds the pages it needs as explicit pointers (never by counting
// window parents); the main window comes from the application object.
//
// The deleted-file and recycle-bin roads run the engine's copy-out
// (RecoverDeletedFilesThreadProc). The unformat and deep roads give their
// destination pages their own workers when they make them: each is
// started with the road's destination page as argument, reads its
// DestinationFolder(), reports each file with WM_RECOVER_FILE to the window
// in gUnformatProgressWindow / gRawProgressWindow (set by the destination
// page before the start), polls the road's stop flag, and ends by sending
// WM_RECOVERY_FINISHED / WM_RAWRECOVER_DONE to the destination page. While
// the stop question is on screen the deep worker waits (AskingToStop()).
#pragma once

#include <windows.h>

#include <cstdint>

#include "framework.h"

class CDialog;

// What the pages after a result page ask of it.
class CRecoveryResults {
 public:
  virtual ~CRecoveryResults() = default;
  // The result page itself: shown again by the destination page's Back.
  virtual CDialog* ResultPage() = 0;
  // Files the scan listed, and files the user ticked before going on.
  virtual uint32_t FoundFileCount() const = 0;
  virtual uint32_t ChosenFileCount() const = 0;
  // The size of the ticked files in sectors, as the road counts it.
  virtual uint64_t ChosenSectors() const = 0;
};

// Counts that a report page shows. Every ticked file is one of: copied
// whole, written but known damaged, failed, or not started because the
// copy-out was stopped first: chosen = recovered + damaged + failed +
// notStarted.
struct RecoveryReportFacts {
  CString folder;           // where the files went
  uint32_t found = 0;       // files the scan listed
  uint32_t chosen = 0;      // files the user ticked
  uint32_t recovered = 0;   // files copied whole
  uint32_t damaged = 0;     // written, but the file system shows part of them gone
  uint32_t failed = 0;      // could not be copied (read failures, a full destination, ...)
  uint32_t notStarted = 0;  // left when the copy-out was stopped
  bool stopped = false;     // the user stopped the copy-out: the report says so
};

// The end of a copy-out in the facts: the whole, damaged and failed files as
// the road counted them; the ticked files none of those took are the ones the
// stop left. Counts that claim more files than were ticked are cut to them,
// the failed first, so the four always add up to the ticked.
void SetCopyOutCounts(RecoveryReportFacts* facts, uint32_t whole, uint32_t damaged, uint32_t failed);
