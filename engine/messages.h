// Private window messages between workers and pages. Workers never touch a
// page's controls: they send (or, where noted, post) these to the page window.
// Two offsets carry two meanings each (+145, +156); a receiver only ever gets
// the meaning that belongs to it.
//
// Every text in lParam is *sent*, never posted: it belongs to the sender and is
// valid only while the message is handled; the receiver copies it.
#pragma once

#include <windows.h>


enum : UINT {
  WM_UNFORMAT_DONE = WM_USER + 145,        // unformat worker -> unformat scan page
  WM_RAWSCAN_FOUND = WM_USER + 145,        // deep scan -> deep scan page; lParam: text of the hit
  WM_UNFORMAT_PROGRESS = WM_USER + 146,    // wParam total sectors, lParam sector being read
  WM_RAWRECOVER_DONE = WM_USER + 148,      // raw copy-out worker -> deep-mode destination page
  WM_RAWSCAN_PROGRESS = WM_USER + 155,     // wParam total sectors, lParam sector being read
  WM_RECOVERY_FINISHED = WM_USER + 156,    // unformat copy-out worker -> unformat destination page
  WM_PREVIEW_DATA = WM_USER + 156,         // preview reader -> deep result page; wParam buffer, lParam size
  WM_BUSYBOX_CLOSE = WM_USER + 157,        // destination pages -> busy box
  WM_UPDATE_NEEDS_RESTART = WM_USER + 222, // posted
  WM_UPDATE_PROGRESS = WM_USER + 223,      // posted; lParam percent
  WM_UPDATE_DONE = WM_USER + 224,          // posted
  WM_PARTSEARCH_DONE = WM_USER + 232,
  WM_DELSCAN_DONE = WM_USER + 350,
  WM_DELSCAN_PROGRESS = WM_USER + 351,     // scan: path text; copy-out: RecoverProgressBlock*
  WM_RECOVER_DONE = WM_USER + 352,
  WM_RECOVER_FILE = WM_USER + 353,         // RecoverProgressBlock*
  WM_FILELIST_ADD = WM_USER + 360,
  WM_FILELIST_DONE = WM_USER + 362,        // posted
  WM_UNFORMAT_PATH = WM_USER + 421,
  WM_STOPBOX_END = WM_USER + 422,
  WM_ABOUT_CLOSE = WM_USER + 500,
  WM_FILELIST_HAS_RESULTS = WM_USER + 777,
  WM_FILELIST_EMPTY = 0x30A,               // no WM_USER base
  WM_SHOW_PAGE = WM_USER + 1000,
};

// The 1 KB block of the copy-out progress messages.
struct RecoverProgressBlock {
  char source[512];
  char destination[512];
};
static_assert(sizeof(RecoverProgressBlock) == 1024, "progress block is 1 KB");
