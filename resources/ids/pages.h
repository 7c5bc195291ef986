// Controls and pictures of the wizard pages of the deleted-file road (location,
// scan, nothing found), the small boxes (stop question, busy boxes) and the
// scan settings dialogs. Ids that every page uses come first.
#pragma once

// ---- on every page (with IDC_BANNER 1034, IDC_MINIMISE 1149, IDC_CLOSE 1134)
#define IDC_WEB_BUTTON 1072           // hidden: the service page of string 83
#define IDC_PAGE_HEADING 1094         // the first line of the body
#define IDC_FORUM_LINK 1151           // "论坛"
#define IDC_PAGE_TITLE 1152           // the title in the header band

// ---- pictures the pages share (resources/skin/parts/pages.py)
#define IDB_PAGE_BUTTON 600           // the step forward: normal, pressed, hover, disabled
#define IDB_PAGE_BUTTON_DOWN 601
#define IDB_PAGE_BUTTON_OVER 602
#define IDB_PAGE_BUTTON_OFF 603
#define IDB_PAGE_BACK_BUTTON 604      // the way back: normal, pressed, hover, disabled
#define IDB_PAGE_BACK_BUTTON_DOWN 605
#define IDB_PAGE_BACK_BUTTON_OVER 606
#define IDB_PAGE_BACK_BUTTON_OFF 607
#define IDB_PAGE_BANNER 608           // the logo on the header band, 48 x 48 at (12, 8)
#define IDB_BOX_BAND 610              // the band of the small boxes, stretched in width
#define IDB_SCAN_PICTURE 611          // the scan page's picture
#define IDB_NOTHING_FOUND_PICTURE 612 // the nothing-found page's picture

// ---- "stop the scan?" box (IDD_STOP_SCAN)
#define IDC_STOPBOX_YES 1034
#define IDC_STOPBOX_NO 1035
#define IDC_STOPBOX_QUESTION 640
#define IDC_STOPBOX_NOTE 641

// ---- busy boxes (IDD_BUSY_FILL, IDD_BUSY_FILL_UNFORMAT, IDD_BUSY_STOP)
#define IDC_BUSY_BAR 1100
#define IDC_BUSY_TEXT 642
#define IDC_BUSY_COUNT 2190   // the result list's busy box: the running count
#define IDC_BUSY_STOP 2191    // and its stop button
#define IDC_BUSYSTOP_BAR 1102
#define IDC_BUSYSTOP_LABEL 1106

// ---- scan settings (IDD_SCAN_SETTINGS, IDD_UNFORMAT_SETTINGS)
#define IDC_OPT_SKIP_BEFORE_FOLDER 1060
#define IDC_OPT_SKIP_TEMP_FOLDERS 1061
#define IDC_OPT_SKIP_BAD_TIMES 1062
#define IDC_SETTINGS_OK 1063
#define IDC_SETTINGS_CANCEL 1064
#define IDC_SETTINGS_GROUP 643
#define IDC_OPT_USE_NTFS_MFT 1137

// ---- deleted-file location page (IDD_DELETED_LOCATION)
#define IDC_LOC_NEXT 1005
#define IDC_LOC_BROWSE_TREE 1032
#define IDC_LOC_ABOUT_AREA 1035
#define IDC_LOC_BACK_TWIN 1042        // hidden
#define IDC_LOC_BACK 1046
#define IDC_LOC_CONDITIONS 1059       // hidden: the search conditions
#define IDC_LOC_LABEL_1080 1080       // hidden
#define IDC_LOC_LABEL_1082 1082       // hidden
#define IDC_LOC_KIND_LABEL 1083       // hidden
#define IDC_LOC_WEB 1122              // hidden
#define IDC_LOC_KIND 1161             // hidden: the file-type combo
#define IDC_LOC_NOTE 644              // the safety note under the tree

// ---- search conditions (IDD_SEARCH_CONDITIONS)
#define IDC_COND_PICTURES 1016
#define IDC_COND_OFFICE 1017
#define IDC_COND_ZRT 1018
#define IDC_COND_1022 1022
#define IDC_COND_DATE_MODE 1023
#define IDC_COND_NAME 1027
#define IDC_COND_1031 1031
#define IDC_COND_CANCEL 1043
#define IDC_COND_OK 1059
#define IDC_COND_FROM 1066
#define IDC_COND_TO 1067
#define IDC_COND_AUDIO 1069
#define IDC_COND_VIDEO 1070
#define IDC_COND_NAME_LABEL 645
#define IDC_COND_DATE_LABEL 646
#define IDC_COND_FROM_LABEL 647
#define IDC_COND_TO_LABEL 648
#define IDC_COND_KIND_LABEL 649

// ---- deleted-file scan page (IDD_DELETED_SCAN)
#define IDC_SCAN_PATH 1044            // the path being examined
#define IDC_SCAN_STOP 1045
#define IDC_SCAN_BACK 1046
#define IDC_SCAN_FOUND_LABEL 1082
#define IDC_SCAN_ROLL 1095

// ---- nothing-found page (IDD_NOTHING_FOUND)
#define IDC_NF_BACK 1050
#define IDC_NF_FINISH 1051
#define IDC_NF_LABEL_1082 1082
#define IDC_NF_LABEL_1083 1083
#define IDC_NF_EXPLAIN 1154
#define IDC_NF_TRY 1156
#define IDC_NF_DEEP_NOTE 1157
#define IDC_NF_DEEP 1160
