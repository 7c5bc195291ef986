// Controls and strings of the partition page (IDD_PARTITION): the disk list
// and the three operations on the chosen disk (back up the partition
// information, restore it from a file, rebuild a lost table). Its pictures
// (IDB_BACKUP ... IDB_PARTITION_PICTURE) are named in images.h and drawn by
// resources/skin/parts/partition.py.
#pragma once

#define IDC_PART_REBUILD 1034        // rebuild the partition table
#define IDC_PART_LINK 1035           // the service page (string 83)
#define IDC_PART_DISKS 1036          // list of the physical disks
#define IDC_PART_BACKUP 1038         // back up the partition information
#define IDC_PART_RESTORE 1039        // restore it from a backup file
#define IDC_PART_BADGE 1082          // white on orange: the word of warning before the note
#define IDC_PART_HEADING 1094        // "choose a disk"
#define IDC_PART_PICTURE 1142        // the picture over the operations

// Beside the controls every page has (IDC_MINIMISE, IDC_CLOSE, IDC_PAGE_TITLE):
#define IDC_PART_BACK 760            // back to the main window
#define IDC_PART_NOTE 761            // what the operations write
#define IDC_PART_OPERATIONS 762      // heading over the operations

// The file that keeps the sector 0 a rebuild replaced, named in the rebuild's
// success message.
#define IDS_PART_PREVIOUS_SECTOR0 768
// The line under each operation's caption.
#define IDS_PART_BACKUP_HINT 769
#define IDS_PART_RESTORE_HINT 770
#define IDS_PART_REBUILD_HINT 771

// What the operations say when they did not do what was asked: whether the
// disk was changed, and where the way back is kept.
#define IDS_PART_DISK_UNCHANGED 772      // appended to every failure that wrote nothing
#define IDS_PART_GPT_DISK 773            // a GPT disk: none of the three operations applies
#define IDS_PART_REBUILD_WRITE_FAILED 774    // sector 0 may be changed; IDS_PART_PREVIOUS_SECTOR0 follows
#define IDS_PART_RESTORE_INCOMPLETE 775  // the disk is partly rewritten; IDS_PART_KEPT_BEFORE_RESTORE follows
#define IDS_PART_KEPT_BEFORE_RESTORE 776 // where the sectors as they were before the restore are kept (%s)
#define IDS_PART_RESTORE_UNDONE 777      // a write failed and everything written was put back
#define IDS_PART_CANNOT_OPEN_FILE 778    // the backup file cannot be opened; its path follows
#define IDS_PART_CANNOT_KEEP_OLD 779     // the sectors to be replaced could not be saved first

// The rebuild's search: its progress in the busy box (%u: percent of the disk
// read), the box's stop button and what it says once pressed, the message of
// a stopped search, and the file systems found but not written (a heading,
// then one line each: kind, first sector, sectors).
#define IDS_PART_SEARCH_PROGRESS 1786
#define IDS_PART_SEARCH_STOP 1787
#define IDS_PART_SEARCH_STOPPING 1788
#define IDS_PART_SEARCH_STOPPED 1789
#define IDS_PART_FOUND_NOT_WRITTEN 1790
#define IDS_PART_FOUND_LINE 1791
#define IDS_PART_SEARCH_UNREAD 1792      // sectors the search could not read (%lu)
