// Controls and pictures of the unformat road's pages: the location page
// (IDD_UNFORMAT_LOCATION), the scan page (IDD_UNFORMAT_SCAN) and the result
// page (IDD_UNFORMAT_RESULT). The band, banner, caption buttons, web button
// and forum link are those of every page (ids/pages.h, ids/about.h).
#pragma once

// ---- pictures (resources/skin/parts/unformat.py)
#define IDB_UF_VOLUME_ICONS 720        // the volume list's row images: 2 x (24 x 24), disk and removable
#define IDB_UF_LOCATION_PICTURE 721    // the location page's picture: a formatted volume coming back

// ---- location page
#define IDC_UFLOC_NEXT 1035
#define IDC_UFLOC_BACK 1046
#define IDC_UFLOC_FS_LABEL 1094        // "格式化前的文件系统："
#define IDC_UFLOC_HEADING 1095         // "请选择要恢复的分区"
#define IDC_UFLOC_VOLUMES 1107
#define IDC_UFLOC_FS 1108
#define IDC_UFLOC_NOTE 730             // the read-only promise under the list
#define IDC_UFLOC_FS_NOTE 731          // what the file-system choice means

// ---- scan page
#define IDC_UFSCAN_FOUND_LABEL 1082    // "当前扫描到的文件："
#define IDC_UFSCAN_HEADING 1094        // "正在扫描文件，请稍候……"
#define IDC_UFSCAN_PROGRESS 1099
#define IDC_UFSCAN_STOP 1115
#define IDC_UFSCAN_PATH 1130
#define IDC_UFSCAN_BACK 1131
#define IDC_UFSCAN_VOLUME 732          // the volume and file system being scanned
#define IDC_UFSCAN_PERCENT 733
#define IDC_UFSCAN_COUNT 734           // how many files were found so far

// ---- result page
#define IDC_UFRES_BROWSE_EDIT 1027     // hidden with its Browse button
#define IDC_UFRES_TREE 1047
#define IDC_UFRES_EXPAND 1053
#define IDC_UFRES_COLLAPSE 1054
#define IDC_UFRES_NEXT 1113
#define IDC_UFRES_BROWSE 1114          // hidden
#define IDC_UFRES_CHECK_ALL 1116
#define IDC_UFRES_INVERT 1117
#define IDC_UFRES_BACK 1131
#define IDC_UFRES_MAXIMISE 1150
#define IDC_UFRES_RESTORE 1153
#define IDC_UFRES_HEADING 735          // how many files the scan rebuilt
#define IDC_UFRES_HINT 736             // what to do with them
