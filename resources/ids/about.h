// Controls of the About box (IDD_ABOUT), and the logo and caption buttons that
// the main window and the pages share.
#pragma once
#define IDC_ABOUT_PRODUCT_LINK 1138   // product home page (string 82)
#define IDC_ABOUT_NOTE2 1087
#define IDC_ABOUT_VERSION 1103        // "a.b.c.d"
#define IDC_ABOUT_NOTE1 1086
#define IDC_ABOUT_FORUM_CAPTION 1085  // "产品论坛："
#define IDC_ABOUT_HOME_CAPTION 1084   // "产品主页："
#define IDC_ABOUT_VERSION_CAPTION 1083 // "产品版本："
#define IDC_ABOUT_PRODUCT_LINE 1082
#define IDC_ABOUT_PRODUCT_NAME 1094
#define IDC_ABOUT_FORUM_LINK 1105     // product forum (string 80)
#define IDC_ABOUT_COPYRIGHT 1104
#define IDC_BANNER 1034               // the logo banner (opens the About box on the pages)
#define IDC_MINIMISE 1149
#define IDC_CLOSE 1134
