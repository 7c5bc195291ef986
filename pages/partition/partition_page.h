// The partition page: the physical disks of the machine and three operations
// on the one the user picks: back up its partition information to a ".VXB"
// file, restore it from such a file, and rebuild a lost partition table.
//
// The main window makes it for page kind 4:
//
//   CDialog* page = NewPartitionPage();
//   page->Create(IDD_PARTITION, this);      // then centre, show, hide itself
//
// Writes to a disk happen only in the engine's three partition operations,
// only to the disk of the selected row and only after the user has said Yes.
// The rebuild runs on a worker the page owns: the page waits for it when the
// search ends (WM_PARTSEARCH_DONE) and before its window goes away.
#pragma once
#include <memory>
#include <vector>

#include "busy_boxes.h"
#include "framework.h"
#include "label.h"
#include "skinbutton.h"
#include "source_report.h"

// Disks the page looks for: every number a disk path can carry.
constexpr int kPartitionPageDisks = 10;

// One operation tile: the caption and, under it, a line that says what the
// operation does, in the page's body font.
class CPartitionTile : public CATSkinButton {
 protected:
  void DrawSubText(HDC dc, const RECT& item, UINT state) override;
};

// The busy box of the rebuild: how much of the disk the search has read, and
// a button that stops it (the search ends before it writes anything).
class CRebuildBusyBox : public CStopRecoveryScrollBar {
 public:
  // Shows the share of the disk read so far (thousandths).
  void ShowProgress(unsigned permille);
  bool StopAsked() const { return m_stopAsked; }
  // Presses the stop button (for the keyboard and tests).
  void AskStop();

 protected:
  BOOL OnInitDialog() override;
  void OnCancel() override { AskStop(); }   // Esc stops too
  DECLARE_MESSAGE_MAP()

 private:
  CATSkinButton m_stop;
  bool m_stopAsked = false;
  unsigned m_shown = ~0u;
};

class CRPartitionDlg : public CDialog {
 public:
  explicit CRPartitionDlg(CWnd* parent = nullptr);
  ~CRPartitionDlg() override;

  // Lists the disks whose sector 0 can be read, each with its number kept in
  // the row. The page does it when it opens. A disk that is there but cannot
  // be read (no administrator rights, a failing device) is not listed but
  // told of once the page shows (WM_DISKS_NOT_READ).
  void FillDiskList();
  // The disks the last FillDiskList found but could not read.
  const std::vector<SourceReport>& UnreadDisks() const { return m_unreadDisks; }
  // The disk of the selected row; -1 when no row is selected.
  int SelectedDisk() const;
  // Selects the row of disk (for the keyboard and tests); false when the
  // disk is not listed.
  bool SelectDisk(int disk);
  CListCtrl& DiskList() { return m_disks; }
  bool IsRebuilding() const { return m_worker != nullptr; }
  // The busy box of the rebuild (shown while the worker runs).
  CRebuildBusyBox& BusyBox() { return m_busy; }

  // The rebuild's message for a search result: the string id it begins
  // with, and the whole text. A result that wrote nothing says so; a write
  // that failed names the file that keeps the old sector 0 (keptFile).
  static UINT RebuildResultString(int result);
  static CString RebuildResultText(int result, const char* keptFile);
  // The file systems the last search found and did not write, one a line
  // ("" when it wrote every one).
  static CString FindingsLeftOut();
  // The restore's closing message for a result, or 0 for none (the restore
  // has said why already, or the user declined). toldUser: the restore
  // showed one of its own messages. The text adds the backup file that
  // could not be opened, whether the disk was changed, and where the
  // sectors as they were before are kept (keptFile).
  static UINT RestoreResultString(int result, bool toldUser);
  static CString RestoreResultText(int result, bool toldUser, const char* backupFile, const char* keptFile);
  // The backup's message for a result (a string id).
  static UINT BackupResultString(int result);

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override {}
  void OnCancel() override {}
  void OnBackup();
  void OnRestore();
  void OnRebuild();
  void OnLink();
  void OnBack();
  void OnMinimise();
  LRESULT OnPartSearchDone(WPARAM, LPARAM);
  LRESULT OnDisksNotRead(WPARAM, LPARAM);
  void OnTimer(UINT_PTR id);
  BOOL OnEraseBkgnd(CDC* dc);
  LRESULT OnNcHitTest(CPoint point);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  static UINT RebuildPartitionTableThreadProc(LPVOID param);
  static bool AnswerRestoreCheck(void* context, int message);
  void LayOut();
  int Say(UINT stringId, UINT type);
  int SayText(const char* text, UINT type);
  // The save or open dialog of a backup file; false when the user cancels.
  bool ChooseBackupFile(bool forSaving, CString* path);
  void EndRebuild();

  CListCtrl m_disks;
  CPartitionTile m_backup;
  CPartitionTile m_restore;
  CPartitionTile m_rebuild;
  CATSkinButton m_link;
  CxSkinButton m_picture;
  CATSkinButton m_back;
  CxSkinButton m_minimise;
  CxSkinButton m_close;
  CLabel m_title;
  CLabel m_heading;
  CLabel m_operations;
  CLabel m_badge;
  CLabel m_note;
  HICON m_icon = nullptr;
  CString m_caption;   // the product name: caption of the page and its message boxes

  // The rebuild: the disk searched, the worker, its result (read after the
  // worker has been joined), the busy box over the page.
  int m_rebuildDisk = -1;
  int m_rebuildResult = 0;
  HWND m_notify = nullptr;
  std::unique_ptr<CWinThread> m_worker;
  CRebuildBusyBox m_busy;
  UINT_PTR m_progressTimer = 0;

  // Set by the restore's messages while it checks a file.
  bool m_restoreToldUser = false;
  std::vector<SourceReport> m_unreadDisks;
};

// The page for the main window's page kind 4 (not yet created).
CDialog* NewPartitionPage();
