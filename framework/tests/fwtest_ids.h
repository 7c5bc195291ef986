// Ids of the class layer's test resources (kept clear of the program's own).
#pragma once
#define IDD_FW_CONTROLS 9100
#define IDD_FW_MAIN 9101
#define IDD_FW_PAGE 9102
#define IDD_FW_MODAL 9103

#define IDC_FW_EDIT 1001
#define IDC_FW_OWNERDRAW 1003
#define IDC_FW_STATIC 1004
#define IDC_FW_LIST 1005
#define IDC_FW_BUTTON 1006
#define IDC_FW_COMBO 1007
#define IDC_FW_CHECK 1008
#define IDC_FW_RADIO1 1009
#define IDC_FW_RADIO2 1010
#define IDC_FW_RADIO3 1011
#define IDC_FW_DATE 1012
#define IDC_FW_NUMBER 1013
#define IDC_FW_PLAIN 1014
#define IDC_FW_STATIC2 1015

#define IDC_FW_PAGE_EDIT1 1101
#define IDC_FW_PAGE_EDIT2 1102

#define IDS_FW_CHINESE 9001
#define IDS_FW_WITH_NUL 9002
#define IDS_FW_ASCII 9003
