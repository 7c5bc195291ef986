// Dialog templates of salvora.exe, one per screen. The templates themselves live
// in rc/<area>.rc of the area that builds the screen.
#pragma once
#define IDD_MAIN 102                 // main window
#define IDD_DELETED_LOCATION 152     // deleted-file location page
#define IDD_SEARCH_CONDITIONS 156    // search conditions of the deleted-file road
#define IDD_PARTITION 159            // partition page
#define IDD_BACKUP_AND_REVERT 160    // twin of the partition page that nothing opens
#define IDD_DELETED_SCAN 162         // deleted-file (and recycle-bin) scan page
#define IDD_DELETED_RESULT 163       // deleted-file result page
#define IDD_DELETED_PROGRESS 168     // deleted-file copy-out progress page
#define IDD_DELETED_REPORT 169       // deleted-file report page
#define IDD_SCAN_SETTINGS 170        // deleted-file scan settings
#define IDD_BUSY_FILL 261            // busy box while a result list fills
#define IDD_NOTHING_FOUND 262        // nothing-found page
#define IDD_BUSY_STOP 263            // busy box of the partition rebuild and cancelled copy-outs
#define IDD_ABOUT 277                // About box
#define IDD_STOP_SCAN 279            // "stop the scan?" box
#define IDD_TOOLBOX 281              // tool box page
#define IDD_MAIN_PAGE 282            // start page inside the main window
#define IDD_UNFORMAT_LOCATION 283    // unformat location page
#define IDD_DEEP_LOCATION 284        // deep-scan location page
#define IDD_UNFORMAT_SCAN 289        // unformat scan page
#define IDD_DEEP_SCAN 290            // deep scan page
#define IDD_DEEP_RESULT 293          // deep-scan result page with preview
#define IDD_UNFORMAT_RESULT 311      // unformat result page
#define IDD_DELETED_DESTINATION 358  // deleted-file destination page
#define IDD_DEEP_PROGRESS 359        // deep copy-out progress page
#define IDD_UNFORMAT_PROGRESS 360    // unformat copy-out progress page
#define IDD_BUSY_FILL_UNFORMAT 361   // busy box of the unformat and deep result pages
#define IDD_UNFORMAT_DESTINATION 362 // unformat destination page
#define IDD_UNFORMAT_REPORT 363      // unformat report
#define IDD_DEEP_DESTINATION 364     // deep destination page
#define IDD_DEEP_REPORT 365          // deep report
#define IDD_UNFORMAT_SETTINGS 366    // unformat scan settings
#define IDD_UPDATE 473               // update dialog
