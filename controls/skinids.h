// Resource ids of the bitmaps and cursor the skinned controls load by
// themselves (resources/skin/parts/controls.py draws the bitmaps).
#pragma once

#define IDB_BROWSE_CHECKS 158     // 4 x 16x16: none, unchecked, checked, partly
#define IDB_TREELIST_CHECKS 166   // 5 x 20x20: state images 0..4
#define IDB_TREELIST_ROWS 167     // 10 x 16x16 row images
#define IDB_ROLLING 228           // 54 x 15, rolls over the bar background
#define IDB_BAR_TILE 260          // 5 x 15 progress tile
#define IDB_BAR_BACKGROUND 408    // 510 x 17 progress trough
#define IDB_LIST_SEPARATOR 469    // drawn under each image-list-box row
#define IDB_TAB_LOOK_FIRST 601    // 601..616: tab strip, look 4 * selected + highlighted
#define IDC_HAND_CURSOR 137       // the links' and buttons' hand cursor

// Row images of IDB_TREELIST_ROWS, in order.
enum TreeRowImage {
  kRowFolder, kRowFolderOpen, kRowFile, kRowPicture, kRowDocument,
  kRowMusic, kRowVideo, kRowWeb, kRowDrive, kRowDisk
};
