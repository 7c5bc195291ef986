// Bitmaps, icons, cursors and "Dat" pictures of salvora.exe. Their artwork is
// drawn by resources/skin/parts/<area>.py (normal / pressed / hover looks of a
// button are listed in that order).
#pragma once
// icons and cursor
#define IDI_MAIN 256                  // program icon
#define IDI_UPDATE 477                // update dialog icon
#define IDCUR_HAND 137                // hand cursor over links and buttons

// skinned controls
#define IDB_BROWSE_STATES 158         // folder browse tree state images, 16 px, magenta transparent
#define IDB_TREE_CHECKBOXES 166       // tree-list check boxes: 5 x (20 x 20), states 0..4
#define IDB_TREE_ROW_IMAGES 167       // tree-list row images: 10 x (16 x 16)
#define IDB_ROLL 228                  // rolling strip picture, 54 x 15
#define IDB_PROGRESS_BAR 260          // progress bar tile, 5 x 15
#define IDB_PROGRESS_BACKGROUND 408   // progress bar track, 510 x 17
#define IDB_LIST_SEPARATOR 469        // image list box row separator

// shared by the skinned windows
#define IDB_CLOSE_HOVER 430
#define IDB_CLOSE 431
#define IDB_MINIMISE_HOVER 432
#define IDB_MINIMISE 433
#define IDB_MAIN_CLOSE 490              // the same four for the main window's taller band
#define IDB_MAIN_CLOSE_HOVER 491
#define IDB_MAIN_MINIMISE 492
#define IDB_MAIN_MINIMISE_HOVER 493
#define IDB_PAGE_BACKGROUND 434       // stretched over a page's client area

// main window
#define IDB_MAIN_BACKGROUND 420
#define IDB_MODE_DELETED 421
#define IDB_MODE_DELETED_DOWN 422
#define IDB_MODE_DELETED_OVER 423
#define IDB_MODE_UNFORMAT_DOWN 424
#define IDB_MODE_UNFORMAT 425
#define IDB_MODE_UNFORMAT_OVER 426
#define IDB_MODE_DEEP 427
#define IDB_MODE_DEEP_DOWN 428
#define IDB_MODE_DEEP_OVER 429
#define IDB_MODE_REMOVABLE_DOWN 450
#define IDB_MODE_REMOVABLE 451
#define IDB_MODE_REMOVABLE_OVER 452
#define IDB_MODE_RECYCLE_OVER 462
#define IDB_MODE_RECYCLE_DOWN 463
#define IDB_MODE_RECYCLE 464
#define IDB_MODE_LOSTPART_OVER 465
#define IDB_MODE_LOSTPART_DOWN 466
#define IDB_MODE_LOSTPART 467

// About box
#define IDB_ABOUT_OK_DOWN 359
#define IDB_ABOUT_OK_OVER 360
#define IDB_ABOUT_OK 361
#define IDB_ABOUT_BACKGROUND 445
#define IDB_ABOUT_BANNER 480
#define IDB_ABOUT_BANNER_MASK 481

// partition page
#define IDB_BACKUP_DOWN 203
#define IDB_BACKUP_OVER 204
#define IDB_BACKUP 205
#define IDB_PARTITION_BACKGROUND 206
#define IDB_RESTORE_DOWN 207
#define IDB_RESTORE_OVER 208
#define IDB_RESTORE 209
#define IDB_REBUILD_DOWN 212
#define IDB_REBUILD_OVER 213
#define IDB_REBUILD 214
#define IDB_LINK_BUTTON 328
#define IDB_LINK_BUTTON_OVER 329
#define IDB_PARTITION_PICTURE 412

// destination pages and update dialog
#define IDB_DESTINATION_PICTURE 472
#define IDB_UPDATE_BACKGROUND 478

// "Dat" pictures of the preview area
#define IDDAT_NO_PREVIEW 367          // a bitmap file
#define IDDAT_LOADING 418             // a JPEG file
