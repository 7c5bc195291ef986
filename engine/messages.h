// Private window messages between workers and pages. Workers never touch a
// page's controls: they send (or, where noted, post) these to the page window.
// Two offsets carry two meanings each (+145, +156); a receiver only ever gets
// the meaning that belongs to it, and no window receives two messages of one
// value (checked below, receiver by receiver).
//
// Every text in lParam is *sent*, never posted: it belongs to the sender and is
// valid only while the message is handled; the receiver copies it.
#pragma once

#include <windows.h>

#include <initializer_list>

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
  // Not below WM_USER: there a code is the system's (0x30A is
  // WM_VSCROLLCLIPBOARD, which a page could be sent for real).
  WM_FILELIST_EMPTY = WM_USER + 778,
  WM_SHOW_PAGE = WM_USER + 1000,
};

// What a page posts to itself once its worker has ended (the worker may
// still be inside SendMessage when its end arrives), and the unformat result
// page's rows. WM_APP-based: private to the page's own window.
enum : UINT {
  WM_UNFORMAT_FINISHED = WM_APP + 145,   // unformat scan page, after WM_UNFORMAT_DONE
  WM_DISKS_NOT_READ = WM_APP + 232,      // partition page: disks it could not read, said once it shows
  WM_UFLIST_ADD = WM_APP + 311,          // unformat result fill -> its page: rows to add
  WM_DELSCAN_FINISHED = WM_APP + 350,    // deleted-file scan page, after WM_DELSCAN_DONE
  WM_COPYOUT_FINISHED = WM_APP + 352,    // copy-out progress pages, after the worker's end
  WM_FILELIST_COUNT = WM_APP + 361,      // deleted-file result page: its fill's running count changed
  WM_FILELIST_STOP = WM_APP + 362,       // its busy box -> the page: the user stopped the fill
};

namespace private_messages {

constexpr bool AllDistinct(std::initializer_list<UINT> codes) {
  for (const UINT* a = codes.begin(); a != codes.end(); ++a)
    for (const UINT* b = a + 1; b != codes.end(); ++b)
      if (*a == *b) return false;
  return true;
}

// Every window that receives these is a dialog: the dialog manager's own
// WM_USER-based messages come with each set.
#define SALVORA_DIALOG_MESSAGES DM_GETDEFID, DM_SETDEFID, DM_REPOSITION
static_assert(AllDistinct({SALVORA_DIALOG_MESSAGES, WM_DELSCAN_PROGRESS, WM_DELSCAN_DONE, WM_DELSCAN_FINISHED}),
              "deleted-file scan page");
static_assert(AllDistinct({SALVORA_DIALOG_MESSAGES, WM_UNFORMAT_PROGRESS, WM_UNFORMAT_PATH, WM_UNFORMAT_DONE,
                           WM_UNFORMAT_FINISHED}),
              "unformat scan page");
static_assert(AllDistinct({SALVORA_DIALOG_MESSAGES, WM_RAWSCAN_PROGRESS, WM_RAWSCAN_FOUND, WM_DELSCAN_DONE}),
              "deep scan page");
static_assert(AllDistinct({SALVORA_DIALOG_MESSAGES, WM_FILELIST_ADD, WM_FILELIST_DONE, WM_FILELIST_EMPTY,
                           WM_FILELIST_HAS_RESULTS, WM_ABOUT_CLOSE}),
              "deleted-file result page");
static_assert(AllDistinct({SALVORA_DIALOG_MESSAGES, WM_UFLIST_ADD, WM_FILELIST_DONE}), "unformat result page");
static_assert(AllDistinct({SALVORA_DIALOG_MESSAGES, WM_FILELIST_ADD, WM_FILELIST_DONE, WM_PREVIEW_DATA}),
              "deep-scan result page");
static_assert(AllDistinct({SALVORA_DIALOG_MESSAGES, WM_COPYOUT_FINISHED, WM_DELSCAN_PROGRESS, WM_RECOVER_DONE,
                           WM_RECOVER_FILE}),
              "copy-out progress pages");
static_assert(AllDistinct({SALVORA_DIALOG_MESSAGES, WM_RECOVERY_FINISHED, WM_RAWRECOVER_DONE}), "destination pages");
static_assert(AllDistinct({SALVORA_DIALOG_MESSAGES, WM_STOPBOX_END, WM_FILELIST_DONE, WM_BUSYBOX_CLOSE}),
              "stop and busy boxes");
static_assert(AllDistinct({SALVORA_DIALOG_MESSAGES, WM_PARTSEARCH_DONE, WM_DISKS_NOT_READ}), "partition page");
static_assert(AllDistinct({SALVORA_DIALOG_MESSAGES, WM_UPDATE_NEEDS_RESTART, WM_UPDATE_PROGRESS, WM_UPDATE_DONE}),
              "update dialog");
static_assert(AllDistinct({SALVORA_DIALOG_MESSAGES, WM_SHOW_PAGE, WM_ABOUT_CLOSE}), "main window, About box");
#undef SALVORA_DIALOG_MESSAGES

}  // namespace private_messages

// The 1 KB block of the copy-out progress messages.
struct RecoverProgressBlock {
  char source[512];
  char destination[512];
};
static_assert(sizeof(RecoverProgressBlock) == 1024, "progress block is 1 KB");
