// The main window (IDD_MAIN) and the two pages drawn inside it (IDD_MAIN_PAGE,
// IDD_TOOLBOX). The logo is IDC_BANNER, the caption buttons IDC_MINIMISE and
// IDC_CLOSE (about.h).
#pragma once

// mode buttons
#define IDC_MODE_DELETED 2146
#define IDC_MODE_UNFORMAT 2147
#define IDC_MODE_DEEP 2148
#define IDC_MODE_REMOVABLE 2149
#define IDC_MODE_LOSTPART 1169
#define IDC_MODE_RECYCLE 1170

// labels
#define IDC_MAIN_SETTINGS 1150        // hidden: the deleted-file scan settings
#define IDC_MAIN_FORUM 1151
#define IDC_MAIN_FEEDBACK 1152
#define IDC_MAIN_HEADING 1156         // "请选择您遇到的问题"
#define IDC_MAIN_TIP 1176             // the rotating tip of "item.ini"
#define IDC_MAIN_NOTE 1179            // right-aligned: the version
#define IDC_MAIN_TABS 1074            // the road tab strip

// hidden controls, kept for their commands
#define IDC_MAIN_HOME 1035            // the home page, opened directly
#define IDC_MAIN_PAGE1 1050
#define IDC_MAIN_PAGE0 1051
#define IDC_MAIN_PAGE3 1052
#define IDC_MAIN_PAGE2 1053
#define IDC_MAIN_PAGE4 1054
#define IDC_MAIN_NOTHING 1055
#define IDC_MAIN_SERVICE 1133         // the service page (string 83)
#define IDC_MAIN_UPDATE 1135          // starts Update.exe
#define IDC_MAIN_PRODUCT 1143         // the product page (string 82)
#define IDC_MAIN_HIDDEN 1154

// commands of the program's menu
#define ID_SCAN_SETTINGS 32772
#define ID_TAB_DELETED 32773
#define ID_TAB_UNFORMAT 32774
#define ID_TAB_PARTITION 32775
#define ID_URL_HELP 32776
#define ID_README 32777
#define ID_URL_CONTACT 32778
#define ID_ABOUT 32784
#define ID_URL_SERVICE 32787
#define ID_TAB_DEEP 32788
#define ID_UNFORMAT_SETTINGS 32792
#define ID_UPDATE 32793
#define ID_HOME_BROWSER 32795

// the start page and the tool box
#define IDC_MAINPAGE_FILES 620
#define IDC_MAINPAGE_UNFORMAT 621
#define IDC_MAINPAGE_PHOTO 622
#define IDC_MAINPAGE_PARTITION 623
#define IDC_MAINPAGE_TOOLS 624
#define IDC_MAINPAGE_SIXTH 625
#define IDC_TOOLBOX_SEARCH 630
#define IDC_TOOLBOX_SHRED 631
#define IDC_TOOLBOX_BACKUP 632
#define IDC_TOOLBOX_BUTTON4 633

// pictures of the main window (resources/skin/parts/main.py; the background
// and mode buttons are in images.h)
#define IDB_MAIN_BANNER 482
