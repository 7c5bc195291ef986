// Controls and pictures of the pages after a scan: the deleted-file result
// page, and the destination, copy-out progress and report pages that the
// three recovery roads share (templates of each road, same controls).
#pragma once

// ---- pictures (resources/skin/parts/recovery.py)
#define IDB_MAXIMISE 700              // caption buttons of the resizable result page
#define IDB_MAXIMISE_HOVER 701
#define IDB_RESTORE_WINDOW 702
#define IDB_RESTORE_WINDOW_HOVER 703
#define IDB_SMALL_BUTTON 704          // the small tool buttons under a list: normal, pressed, hover, disabled
#define IDB_SMALL_BUTTON_DOWN 705
#define IDB_SMALL_BUTTON_OVER 706
#define IDB_SMALL_BUTTON_OFF 707
#define IDB_REPORT_PICTURE 708        // the report page's picture: the files are back
#define IDB_PROGRESS_PICTURE 709      // the progress page's picture: files on their way
#define IDB_REPORT_STOPPED_PICTURE 710  // the report after a stop: a pause mark, not a tick

// ---- deleted-file result page (IDD_DELETED_RESULT)
#define IDC_RES_LIST_FULL 1047        // tree-list of every file found
#define IDC_RES_LIST_FILTERED 1055    // tree-list of the files that pass the filters
#define IDC_RES_NEXT 1048
#define IDC_RES_BACK 1049
#define IDC_RES_CHECK_ALL 1050
#define IDC_RES_INVERT 1051
#define IDC_RES_BROWSE 1052           // hidden: destination chooser
#define IDC_RES_EXPAND 1053
#define IDC_RES_COLLAPSE 1054
#define IDC_RES_DEST 1071             // hidden: destination text
#define IDC_RES_MAXIMISE 1150
#define IDC_RES_RESTORE 1153
#define IDS_RES_SIZE_OVERWRITTEN 760   // the size column of a file another file has overwritten since
#define IDC_RES_FILTER 1164
#define IDC_RES_SHOW_ALL 1165
#define IDC_RES_DATE 1163             // last-modified date combo
#define IDC_RES_KIND 1161             // kind combo
#define IDC_RES_SIZE 1025             // size combo
#define IDC_RES_PATTERN 1027          // name pattern
#define IDC_RES_DATE_LABEL 720
#define IDC_RES_KIND_LABEL 721
#define IDC_RES_SIZE_LABEL 722
#define IDC_RES_PATTERN_LABEL 723

// ---- destination pages (IDD_DELETED_DESTINATION, IDD_UNFORMAT_DESTINATION, IDD_DEEP_DESTINATION)
#define IDC_DEST_BANNER 1136          // the logo: the About box
#define IDC_DEST_NEXT 1127
#define IDC_DEST_BACK 1128
#define IDC_DEST_BROWSE 1129
#define IDC_DEST_EDIT 1027
#define IDC_DEST_WARN_IF 1082         // "如果" (or the whole warning when no drive was found)
#define IDC_DEST_WARN_DRIVE 1084      // the proposed drive's letter
#define IDC_DEST_WARN_REST 1090       // "盘有文件需要恢复，..."
#define IDC_DEST_FILES_LABEL 1083     // "选择恢复文件："
#define IDC_DEST_FILE_COUNT 1086
#define IDC_DEST_FILES_UNIT 1089      // "个"
#define IDC_DEST_SIZE_LABEL 1085      // "文件大小总计："
#define IDC_DEST_SIZE 1087
#define IDC_DEST_SIZE_UNIT 1088

// ---- copy-out progress pages (IDD_DELETED_PROGRESS, IDD_UNFORMAT_PROGRESS, IDD_DEEP_PROGRESS)
#define IDC_PROG_BAR 1099
#define IDC_PROG_REPORT 1053          // stop, then the report ("下一步")
#define IDC_PROG_BACK 1054            // stop, then back to the destination page
#define IDC_PROG_FILE_LABEL 1082      // "正在恢复文件："
#define IDC_PROG_DEST_LABEL 1083      // "到以下路径："
#define IDC_PROG_FILE 1098
#define IDC_PROG_DEST 1097
#define IDC_PROG_EXTRA 1044           // always empty
#define IDC_PROG_PERCENT 730

// ---- report pages (IDD_DELETED_REPORT, IDD_UNFORMAT_REPORT, IDD_DEEP_REPORT)
#define IDC_REP_OPEN 1022             // "打开目录"
#define IDC_REP_BACK 1034
#define IDC_REP_ABOUT 1035            // the logo: the About box
#define IDC_REP_FOLDER 1055
#define IDC_REP_FOUND 1056
#define IDC_REP_CHOSEN 1057
#define IDC_REP_FINISH 1058
#define IDC_REP_RECOVERED 1073
#define IDC_REP_BIG_COUNT 1086
#define IDC_REP_PARTIAL 1087
#define IDC_REP_FOLDER_LABEL 740
#define IDC_REP_FOUND_LABEL 741
#define IDC_REP_CHOSEN_LABEL 742
#define IDC_REP_RECOVERED_LABEL 743
#define IDC_REP_DONE_BEFORE 744       // "已恢复完成，共恢复文件"
#define IDC_REP_DONE_AFTER 745        // "个"
#define IDC_REP_ENGLISH 746           // " Recovery Result "

