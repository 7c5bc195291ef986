// The words every road uses for a source it could not scan: which drive or
// disk, what failed, and what the user can do about it. Built from the
// engine's SourceReport with the string table's texts.
#pragma once

#include <vector>

#include "fw_string.h"
#include "source_report.h"

// "X: 盘" or "磁盘N".
CString SourceName(const SourceReport& report);

// The heading of the page that says the scan did not run.
CString SourceFailureHeading(const SourceReport& report);

// What failed and why, with what the user can do (run as administrator,
// insert the medium, ...); the system's own text of an error it has no
// words of its own for. Empty for a report of a scanned source.
CString DescribeSourceFailure(const SourceReport& report);

// Several sources, one paragraph each (the recycle-bin road scans every drive).
CString DescribeSourceFailures(const std::vector<SourceReport>& reports);

// Whether a source that a road only came across while going through every
// drive or disk (not one the user chose) is worth a word: a drive or disk
// that is not there, holds no medium, or is no disk at all is passed over
// quietly; one that is there but cannot be read, or whose file system the
// road does not read, is not.
bool WorthReporting(const SourceReport& report);
