// What a copy-out run came to, as its report counts it. Every road's
// copy-out fills one as it ends: each file the user ticked is whole,
// damaged, failed or not started (the stop came before it), and nothing is
// counted twice or left out. Benchmarks print it; the test bed checks every run.
#pragma once

#include <cstdint>

struct CopyOutTally {
  uint32_t ticked = 0;       // files ticked when the run began
  uint32_t whole = 0;        // written, exactly as the file system gives them
  uint32_t damaged = 0;      // written, but known to be partly gone
  uint32_t failed = 0;       // not recovered (or cut short, and removed)
  uint32_t notStarted = 0;   // the stop came before them: nothing written
  uint32_t copied = 0;       // taken on (as gRecoverTakenFiles counts them): whole + damaged + failed
  bool AddsUp() const {
    return whole + damaged + failed + notStarted == ticked && whole + damaged + failed == copied;
  }
};

// Called by a road's copy-out as it ends; road names it ("deleted", "unformat", ...).
// With SALVORA_TALLY_LOG set (the test bed sets it) the tally is also added
// as a line to that file, marked when it does not add up.
void ReportCopyOutTally(const char* road, const CopyOutTally& tally);

// The last run's tally.
CopyOutTally LastCopyOutTally();

// "ticked N whole N damaged N failed N not-started N" into out.
void FormatCopyOutTally(const CopyOutTally& tally, char* out, unsigned size);
