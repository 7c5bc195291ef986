// The deleted-file result page: the files a deleted-file (or recycle-bin) scan
// found, as a folder tree with five columns; the user ticks what to recover,
// narrows the list by date, kind, size and name, and goes on to the
// destination page. The model behind it is result_tree.h.
//
// The page fills its list on a worker (FillResultTreeThreadProc) while a busy
// box covers it; the worker hands the new rows to the page with sent
// WM_FILELIST_ADD messages, a batch at a time (a message between threads
// costs more than making the row). The page owns that worker: leaving or
// destroying the page raises the worker's flag and waits for it first.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "busy_boxes.h"
#include "filetype_filter.h"
#include "recovery_road.h"
#include "result_tree.h"
#include "shellitems.h"
#include "tracktooltip.h"
#include "treelist.h"
#include "wizard_page.h"

class CScanDelFilesDlg;
class CChoiceRecoveryPathDlg;

// The rows the fill worker hands over with one WM_FILELIST_ADD (wParam the
// count, lParam the first; sent, so valid while the page handles it). Rows
// are made in this order, so a node's parent and previous node have theirs.
struct ResultRowRequest {
  ResultTreeNode* node;
  ResultTreeNode* parent;     // null: a top-level row
  ResultTreeNode* previous;   // null: first on its level
  int32_t recordIndex;        // -1 for a folder
};

class CChoiceFilesDlg : public CWizardPage, public CRecoveryResults {
 public:
  // scanPage: the scan that made the records (its target, its recycle-bin
  // flag, its nothing-found page).
  explicit CChoiceFilesDlg(CScanDelFilesDlg* scanPage);
  ~CChoiceFilesDlg() override;

  // CRecoveryResults
  CDialog* ResultPage() override { return this; }
  uint32_t FoundFileCount() const override { return m_listedFileCount; }
  uint32_t ChosenFileCount() const override { return m_checkedCount; }
  uint64_t ChosenSectors() const override;

  CScanDelFilesDlg* ScanPage() const { return m_scanPage; }
  // The tree-list in use (full or filtered).
  CTreeListCtrl* ListInUse() const { return m_list; }
  CTreeListCtrl& FullList() { return m_listFull; }
  CTreeListCtrl& FilteredList() { return m_listFiltered; }
  // The model of the list in use.
  const CResultTree& ShownTree() const { return *m_shownTree; }
  // Rows are still being added. The worker outlives the rows by the pause
  // before the hint; the list is whole and takes the buttons meanwhile.
  bool Filling() const { return m_worker && m_worker->IsRunning() && !m_rowsDone; }
  bool HintShown() const { return m_hintShown; }
  // The destination page held in the application object (null: none).
  CChoiceRecoveryPathDlg* DestinationPage() const;

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnOK() override;   // Enter applies the filters
  void PaintBody(CDC* dc, const CRect& client) override;

  void OnNext();
  void OnBack();
  void OnClose();
  void OnCheckAll();
  void OnInvert();
  void OnExpand();
  void OnCollapse();
  void OnFilter();
  void OnShowAll();
  void OnMaximise();
  void OnRestore();
  void OnBrowse();
  LRESULT OnFileListAdd(WPARAM count, LPARAM rows);
  LRESULT OnFileListDone(WPARAM, LPARAM);
  LRESULT OnFileListEmpty(WPARAM, LPARAM);
  LRESULT OnMoved(WPARAM, LPARAM);
  LRESULT OnFileListHasResults(WPARAM, LPARAM);
  LRESULT OnFileListCount(WPARAM, LPARAM);
  LRESULT OnFileListStop(WPARAM, LPARAM);
  void OnActivate(UINT state, CWnd* other, BOOL minimised);
  void OnSizing(UINT edge, LPRECT rect);
  void OnSize(UINT type, int cx, int cy);
  void OnGetMinMaxInfo(MINMAXINFO* info);
  LRESULT OnNcHitTest(CPoint point);
  void OnNcLButtonDblClk(UINT hit, CPoint point);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  class FillSink;
  friend class FillSink;

  void StartFill();
  void InsertRow(const ResultRowRequest& row);
  void ShowFilledTree();   // the tree draws again once the fill is over
  void StopFill();   // raises the worker's flag and waits for it
  // From the worker: how far the fill is; the busy box is told soon after.
  void ReportProgress(bool names, uint32_t done, uint32_t total, uint32_t rows);
  void ShowList(CTreeListCtrl* list);
  void SetUpList(CTreeListCtrl& list);
  void Layout(int cx, int cy);
  void PlaceHint();
  CPoint HintPosition() const;   // where the hint bubble points, in screen coordinates
  void UpdateSummary();
  void LeaveBack();

  CScanDelFilesDlg* m_scanPage;
  CProtectingDlg m_busy;
  std::unique_ptr<FillSink> m_sink;
  // The model of each list; the one shown is the one the walks and Next read.
  CResultTree m_fullTree;
  CResultTree m_filteredTree;
  CResultTree* m_shownTree = &m_fullTree;
  ResultFillJob m_job;
  std::unique_ptr<CWinThread> m_worker;
  bool m_leaving = false;   // no more rows, no more pages: the page is going
  HWND m_fillingTree = nullptr;   // the tree being filled, hidden from drawing
  bool m_rowsDone = false;        // the fill has handed over its last row
  bool m_fatAccessDates = false;  // the scanned volume is FAT: last access is a day, no time
  LONG_PTR m_fillingStyle = 0;

  uint32_t m_listedFileCount = 0;
  uint32_t m_checkedCount = 0;
  bool m_fullStopped = false;       // the full list was stopped before its end
  bool m_filteredStopped = false;   // the filtered list was
  uint32_t m_filteredFileCount = 0;
  // The fill's running count, written by the worker, shown by the page.
  std::atomic<bool> m_countPosted{false};
  std::atomic<bool> m_countNames{false};
  std::atomic<uint32_t> m_countDone{0}, m_countTotal{0}, m_countRows{0};
  CTreeListCtrl m_listFull;
  CTreeListCtrl m_listFiltered;
  CTreeListCtrl* m_list = nullptr;
  CSystemImageList m_systemImages;
  std::map<std::string, int> m_icons;   // system icon of each extension
  int m_folderImage = 0;
  int m_openFolderImage = 0;
  CTrackToolTip m_hint;
  CString m_hintText;
  bool m_hintShown = false;
  BOOL m_maximised = FALSE;

  CComboBox m_date, m_kind, m_size;
  CString m_pattern;
  int m_lastDate = 0, m_lastKind = 0, m_lastSize = 0;
  char m_lastPattern[260] = {};
  CFileTypeFilter m_conditions;

  CATSkinButton m_next, m_back, m_filter, m_showAll;
  CATSkinButton m_checkAll, m_invert, m_expand, m_collapse;
  CxSkinButton m_maximise, m_restore;
  CLabel m_dateLabel, m_kindLabel, m_sizeLabel, m_patternLabel;
  CString m_titleText;

};

// Started by the page with AfxBeginThread; the argument is the page's
// ResultFillJob. Fills the job's tree (only what passes the filters when the
// job is the filtered fill).
UINT FillResultTreeThreadProc(LPVOID job);
