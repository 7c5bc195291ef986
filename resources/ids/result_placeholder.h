// STAND-IN for the deleted-file result page until that page is built: its
// template and controls (pages/result_placeholder.cpp). Goes with it.
#pragma once
#define IDD_RESULT_PLACEHOLDER 699
#define IDC_RESULT_PLACEHOLDER_BACK 690
#define IDC_RESULT_PLACEHOLDER_FINISH 691
