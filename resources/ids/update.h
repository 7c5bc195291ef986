// Controls of the update dialog (IDD_UPDATE); its close button is IDC_CLOSE.
#pragma once
#define IDC_UPDATE_PROGRESS 1099   // the bar
#define IDC_UPDATE_STATUS 1152     // "正在升级产品……" / "升级完成。"
#define IDC_UPDATE_TITLE 1178      // the program's name on the band
