// Texts of the three honest ends of every road: a source that could not be
// opened or read (and why), a file system the road does not read, and the
// report's counts of files recovered whole, damaged, failed and not started;
// and what a user's stop left: a scan stopped early, a copy-out stopped.
#pragma once
#define IDS_SOURCE_DRIVE 720              // "X: 盘" (format: the letter)
#define IDS_SOURCE_DISK 721               // "磁盘N" (format: the number)
#define IDS_SOURCE_CANNOT_OPEN 722        // format: the source's name
#define IDS_SOURCE_CANNOT_READ 723        // format: the source's name
#define IDS_SOURCE_NEED_ADMIN 724         // access denied
#define IDS_SOURCE_NOT_THERE 725          // no such drive, or no medium in it
#define IDS_SOURCE_NO_DATA 726            // it opened, but gave no data
#define IDS_SOURCE_SYSTEM_ERROR 727       // format: the code and the system's own text
#define IDS_SOURCE_UNSUPPORTED 728        // format: the source's name; a reason follows
#define IDS_FS_UNKNOWN 729
#define IDS_FS_SECTOR_SIZE 730            // format: the size
#define IDS_FS_RECORD_SIZE 731            // format: the size
#define IDS_FS_DAMAGED_BOOT 732
#define IDS_SOURCE_FAILED_HEADING 733
#define IDS_SOURCE_UNSUPPORTED_HEADING 734
#define IDS_SOURCES_NOT_READ 735          // the recycle-bin road: drives whose bins were not read
#define IDS_SOURCE_TRY_DEEP 736           // a deep scan reads no file system
#define IDS_REPORT_WHOLE 737              // format: files recovered whole
#define IDS_REPORT_DAMAGED 738            // format: files written but known damaged
#define IDS_REPORT_FAILED 739             // format: files that could not be recovered
#define IDS_REPORT_NOT_STARTED 740        // format: files left when the copy-out was stopped
#define IDS_REPORT_DAMAGED_NOTE 741       // the note beside a count of damaged files
#define IDS_DISKS_NOT_READ 742            // the partition page: disks that are there but cannot be read
#define IDS_SCAN_STOPPED_HEADING 743      // a stopped scan that had found nothing yet
#define IDS_SCAN_STOPPED_EXPLAIN 744
#define IDS_SCAN_STOPPED_LINE 745         // the result page of a stopped scan: what is listed
#define IDS_REPORT_STOPPED_BEFORE 746     // the report of a stopped copy-out: before the big number
#define IDS_REPORT_STOPPED_COUNTS 747     // format: whole, damaged, failed, not started
#define IDS_RESULT_TITLE_STOPPED 748      // the band title of a result page after a stopped scan
#define IDS_RESULT_TITLE_STOPPED_COUNT 749  // format: the files listed after a stopped scan
#define IDS_UNFORMAT_STOPPED_HEADING 750  // format: the same, the unformat result page's heading
#define IDS_DEEP_SOURCE_TEXT 751          // format: a carved file as its result row names it (it has no path)
