// The string table of salvora.exe (texts in rc/strings.rc).
#pragma once
#define IDS_URL_HOME 1                 // opened by the main window's home link
#define IDS_COL_DISK 2
#define IDS_APP_TITLE 3                // the product name: captions and message boxes
#define IDS_SELECT_DISK 5
#define IDS_BACKUP_EXISTS 6
#define IDS_BACKUP_FAILED 7
#define IDS_BACKUP_DONE 8
#define IDS_DISK0 9                    // "磁盘0"; 10..12 are disks 1..3
#define IDS_DISK1 10
#define IDS_DISK2 11
#define IDS_DISK3 12
#define IDS_COL_DISK_SERIAL 14
#define IDS_USB_STORAGE 15
#define IDS_SELECT_DISK_TO_OPERATE 16
#define IDS_RESTORE_CONFIRM 17
#define IDS_RESTORE_DONE 18
#define IDS_OUT_OF_MEMORY 19
#define IDS_COL_NAME 20
#define IDS_COL_SIZE 21
#define IDS_COL_CREATED 22
#define IDS_COL_MODIFIED 23
#define IDS_COL_ACCESSED 24
#define IDS_DEST_TOO_LONG 26
#define IDS_DEST_EMPTY 27
#define IDS_DEST_WRONG 28
#define IDS_DEST_BAD_CHARS 29
#define IDS_DEST_ON_SCANNED 30
#define IDS_SELECT_FILES 31
#define IDS_URL_HELP 34
#define IDS_README_FAILED 35
#define IDS_URL_CONTACT 36
#define IDS_CHOOSE_PATH 37
#define IDS_PATH_WRONG 38
#define IDS_NAME_TOO_LONG 39
#define IDS_CANNOT_OPEN_PATH 43
#define IDS_REBUILD_CONFIRM 45
#define IDS_REBUILD_DONE 46
#define IDS_DISK_IO_ERROR 47
#define IDS_TABLE_OK 48
#define IDS_REBUILDING 49
#define IDS_CANCEL_CONFIRM 50
#define IDS_FONT_SONG 52
#define IDS_ANALYSING_FAT32 56
#define IDS_ZEPFR_MISSING 57
#define IDS_ZEPFR_DAMAGED 58
#define IDS_ANALYSING_NTFS 59
#define IDS_NTFS_NAMELESS_FOLDER 798     // the folder of deleted NTFS files found without a name (the engine holds a copy)
#define IDS_BACKUP_INVALID 60
#define IDS_BACKUP_NO_IDENTITY 61
#define IDS_BACKUP_OTHER_DISK 62
#define IDS_NO_PARTITION_FOUND 63
#define IDS_FS_AUTO 64
#define IDS_SELECT_VOLUME_OR_DISK 65
#define IDS_MY_COMPUTER 66
#define IDS_LOCAL_DISK 67
#define IDS_REMOVABLE_DEVICE 68
#define IDS_PHYSICAL_DISK 69
#define IDS_PHYSICAL_DEVICES 70
#define IDS_CLUSTER_SIZE 74
#define IDS_SELECT_FILES_TO_RECOVER 75
#define IDS_NO_FOLDER_ICON 76
#define IDS_CHOOSE_RECOVERY_PATH 77
#define IDS_UPDATE_START_FAILED 78
#define IDS_URL_FORUM_ABOUT 80         // About box: product forum
#define IDS_URL_PRODUCT 82             // About box: product home page
#define IDS_URL_SERVICE 83             // the service page behind the pages' hidden buttons
#define IDS_DEST_NO_SPACE 84
#define IDS_SELECT_VOLUME 85
#define IDS_TIP_DELETED 90             // tooltips of the main window's mode buttons
#define IDS_TIP_UNFORMAT 91
#define IDS_TIP_DEEP 92
#define IDS_TIP_REMOVABLE 93
#define IDS_SELECT_REMOVABLE 94
#define IDS_SELECT_VOLUME_OR_DEVICE 95
#define IDS_TITLE_REMOVABLE_SCAN 96
#define IDS_TITLE_DEEP_SCAN 97
#define IDS_FONT_HEI 98
#define IDS_TIP_SHOW_FOUND 99
#define IDS_KIND_ALL 100
#define IDS_KIND_DOCUMENTS 101
#define IDS_KIND_PICTURES 102
#define IDS_KIND_MEDIA 103
#define IDS_KIND_WEB 104
#define IDS_TIP_RECYCLE 105
#define IDS_TIP_LOSTPART 106
#define IDS_NEED_USB_RECYCLE 107
#define IDS_NEED_USB_SPACE 108
#define IDS_IF 109
#define IDS_NEED_SECOND_DISK 110
#define IDS_URL_FORUM 111
#define IDS_DRIVE_HAS_FILES 479
#define IDS_MODE_NOTE_DELETED 483      // the line under each mode button of the main window
#define IDS_MODE_NOTE_UNFORMAT 484
#define IDS_MODE_NOTE_DEEP 485
#define IDS_MODE_NOTE_REMOVABLE 486
#define IDS_MODE_NOTE_RECYCLE 487
#define IDS_MODE_NOTE_LOSTPART 488
#define IDS_MAIN_BANNER_NOTE 489       // under the product name on the main window's banner
#define IDS_TAB_DELETED 490            // the main window's tab captions
#define IDS_TAB_UNFORMAT 491
#define IDS_TAB_DEEP 492
#define IDS_TAB_PARTITION 493
#define IDS_VERSION_NOTE 494           // the main window's version line
#define IDS_ABOUT_CAPTION 495          // the About box's window text (task list)
#define IDS_TABSTRIP_DELETED 496       // the tab strip's own captions until its owner sets them
#define IDS_TABSTRIP_UNFORMAT 497
#define IDS_TABSTRIP_DEEP 498
#define IDS_TABSTRIP_PARTITION 499
#define IDS_UPDATE_RUNNING 800         // the update dialog's states
#define IDS_UPDATE_DONE 801
#define IDS_UPDATE_STOPPING 802
#define IDS_UPDATE_FAILED 803          // the library reported an error
#define IDS_UPDATE_ENDED 804           // stopped on request: done or not, the library does not say
#define IDS_UNFORMAT_DONE_HEADING 600  // heading of the unformat result page
#define IDS_UNFORMAT_VOLUME 601        // unformat scan page: the volume and the file system it was
#define IDS_FOUND_FILES_COUNT 602      // scan pages: files found so far
#define IDS_DEEP_TARGET_DRIVE 603      // deep scan page: what is scanned
#define IDS_DEEP_TARGET_DISK 604
#define IDS_DEEP_TARGET_SIZE 605       // followed by the size
#define IDS_DEEP_SCANNED_PERCENT 606
#define IDS_DEEP_STOPPING 607
#define IDS_DEEP_TITLE 608             // deep location page titles by mode
#define IDS_LOSTPART_TITLE 609
#define IDS_REMOVABLE_TITLE 610
#define IDS_SELECT_DISK_TO_RECOVER 611
#define IDS_REMOVABLE_ROW 612          // a removable device's row: letter, device word, number
#define IDS_DEEP_RESULT_TITLE 613
#define IDS_FILTER_DATE_ANY 614        // result page filters: date
#define IDS_FILTER_DATE_TODAY 615
#define IDS_FILTER_DATE_WEEK 616
#define IDS_FILTER_DATE_MONTH 617
#define IDS_FILTER_DATE_YEAR 618
#define IDS_FILTER_KIND_ANY 619        // kind
#define IDS_FILTER_KIND_DOCUMENTS 620
#define IDS_FILTER_KIND_PICTURES 621
#define IDS_FILTER_KIND_MEDIA 622
#define IDS_FILTER_KIND_WEB 623
#define IDS_FILTER_SIZE_ANY 624        // size
#define IDS_FILTER_SIZE_SMALL 625
#define IDS_FILTER_SIZE_MEDIUM 626
#define IDS_FILTER_SIZE_LARGE 627
#define IDS_FILTER_SIZE_HUGE 628
#define IDS_TIP_FILTER 629
#define IDS_TIP_SHOW_ALL 630
#define IDS_RESULT_TITLE_COUNT 631     // deleted-file result page
#define IDS_RESULT_TITLE 632
#define IDS_RESULT_HINT 633
#define IDS_FILL_LISTED 890            // busy box of the result list: rows listed so far
#define IDS_FILL_NAMES 891             // recycle-bin names resolved so far
#define IDS_RESULT_FILL_STOPPED 892   // the fill was stopped: what was listed by then
#define IDS_DATE_MODE_NONE 634         // search conditions: which date
#define IDS_DATE_MODE_CREATED 635
#define IDS_DATE_MODE_MODIFIED 636
#define IDS_DATE_MODE_ACCESSED 637
#define IDS_FOLDERLESS_FILES 690     // FAT scan: folder of files found without their folder
#define IDS_FREE_CLUSTER_PASS 691    // FAT scan: progress of the pass over free clusters
