// Controls and pictures of the deep-scan road's pages: the location page
// (IDD_DEEP_LOCATION, also the first page of the removable-device and
// lost-partition roads), the scan page (IDD_DEEP_SCAN) and the result page
// with its preview (IDD_DEEP_RESULT). The band, banner, caption buttons, web
// button and forum link are those of every page (ids/pages.h, ids/about.h).
#pragma once

// ---- pictures (resources/skin/parts/deepscan.py; the result page's caption
//      and tool buttons are those of ids/recovery.h)
#define IDB_DL_DEVICE_ICONS 784        // the device list's row images: 2 x (32 x 32), disk and removable
#define IDB_DL_TREE_ICONS 785          // the location tree's images: 5 x (16 x 16), see DeepTreeImage

// ---- location page
#define IDC_DL_NEXT 1035
#define IDC_DL_LIST 1036               // removable devices / whole disks (CListBoxST)
#define IDC_DL_BACK 1046
#define IDC_DL_TREE 1111               // volumes and physical disks
#define IDC_DL_WEB 1126                // hidden: the service page of string 83
#define IDC_DL_REDETECT 1154           // "重新检测"
#define IDC_DL_NO_DEVICE 790           // the two lines shown when no removable device is found
#define IDC_DL_NOTE 791                // the read-only promise under the list

// ---- scan page
#define IDC_DS_HIT 1044                // the file found last
#define IDC_DS_FOUND_LABEL 1082        // "当前找到的文件："
#define IDC_DS_PROGRESS 1099
#define IDC_DS_STOP 1115
#define IDC_DS_BACK 1132
#define IDC_DS_TARGET 792              // what is being scanned
#define IDC_DS_PERCENT 793             // how far the scan has come
#define IDC_DS_COUNT 794               // how many files were found so far

// ---- result page
#define IDC_DR_BROWSE_EDIT 1027        // hidden with its Browse button
#define IDC_DR_BACK 1042
#define IDC_DR_TREE 1047
#define IDC_DR_EXPAND 1053
#define IDC_DR_COLLAPSE 1054
#define IDC_DR_NEXT 1113
#define IDC_DR_BROWSE 1114             // hidden
#define IDC_DR_CHECK_ALL 1118
#define IDC_DR_INVERT 1119
#define IDC_DR_PREVIEW 1120
#define IDC_DR_MAXIMISE 1150
#define IDC_DR_RESTORE 1153
#define IDC_DR_HINT 1154               // "请勾选您要恢复的文件，点击“下一步”进行恢复。"
#define IDC_DR_PREVIEW_LABEL 1156      // "图片预览："
#define IDC_DR_PREVIEW_NOTE 1157       // which files cannot be previewed
#define IDC_DR_SUMMARY 795             // what the preview shows: name and size of the selected file

// ---- strings (rc/deepscan.rc)
#define IDS_DEEP_NO_TABLE 780          // the signature table cannot be opened
#define IDS_DEEP_BAD_TABLE 781         // the signature table is damaged
