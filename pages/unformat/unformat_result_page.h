// The unformat result page: the files the unformat scan rebuilt, as a folder
// tree in a tree-list with five columns; the user ticks what to recover and
// goes on to the unformat destination page.
//
// The scan page opens it once its worker has ended:
//   auto* page = new CUftFileChoseDlg(scanPage);   // held in the unformat result-page slot
//   page->Create(IDD_UNFORMAT_RESULT, scanPage);
//   page->StartFillUnformatResults();
// The fill runs on the page's worker under the busy box; the worker builds
// the tree of nodes and hands the rows to the page in batches (rows are made
// on the page's thread). The page joins its worker before its window goes.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "busy_boxes.h"
#include "recovery_road.h"
#include "treelist.h"
#include "unformat_results.h"
#include "wizard_page.h"

class CUftFileChoseDlg : public CWizardPage, public CRecoveryResults {
 public:
  explicit CUftFileChoseDlg(CWnd* parent);
  ~CUftFileChoseDlg() override;

  // Shows the page and fills its list on the worker under the busy box.
  // FALSE (nothing shown) when the three result vectors are empty or the
  // worker cannot be started.
  BOOL StartFillUnformatResults();

  // What the destination and report pages read: the files listed, and the
  // files ticked when the user pressed Next.
  uint32_t ListedCount() const { return static_cast<uint32_t>(m_tree.FileCount()); }
  uint32_t CheckedCount() const { return m_checkedCount; }
  CDialog* ResultPage() override { return this; }
  uint32_t FoundFileCount() const override { return ListedCount(); }
  uint32_t ChosenFileCount() const override { return m_checkedCount; }
  // The ticked records of the three vectors in sectors (each file rounded up).
  uint64_t ChosenSectors() const override;

  // For the tests.
  CTreeListCtrl& List() { return m_list; }
  CResultTree& Tree() { return m_tree; }
  bool Filled() const { return m_filled; }
  bool Maximised() const { return m_maximised; }

  // The ticks become the records' selected bytes; the number of ticked files.
  uint32_t CollectChecks();

 protected:
  BOOL OnInitDialog() override;
  void PaintBody(CDC* dc, const CRect& client) override;
  void OnNext();
  void OnBack();
  void OnClose() { OnBack(); }
  void OnCheckAll();
  void OnInvert();
  void OnExpand();
  void OnCollapse();
  void OnMaximise();
  void OnRestore();
  void OnBrowse();
  void OnNcLButtonDblClk(UINT hit, CPoint point);
  LRESULT OnNcHitTest(CPoint point);
  void OnGetMinMaxInfo(MINMAXINFO* info);
  void OnSize(UINT type, int cx, int cy);
  BOOL OnEraseBkgnd(CDC* dc);
  LRESULT OnAddRows(WPARAM first, LPARAM end);
  LRESULT OnFillDone(WPARAM, LPARAM);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  static UINT FillThreadProc(LPVOID page);
  void JoinWorker();
  void SetMaximised(bool maximised);
  void Layout(int cx, int cy);
  int FileImage(const CString& name);
  void UpdateHeading();

  CResultTree m_tree;
  CTreeListCtrl m_list;
  CProtectingDlgUf m_busy;
  std::unique_ptr<CWinThread> m_worker;
  volatile bool m_stopFill = false;
  bool m_closing = false;
  bool m_filled = false;
  bool m_maximised = false;
  uint32_t m_checkedCount = 0;
  int m_folderImage = -1;
  int m_folderOpenImage = -1;
  std::unordered_map<std::string, int> m_imageByExtension;
  // The layout the template gives, which WM_SIZE follows.
  CSize m_layoutSize;
  CSize m_minTrack;
  std::map<int, CRect> m_layoutRects;

  CATSkinButton m_next;
  CATSkinButton m_back;
  CATSkinButton m_checkAll;
  CATSkinButton m_invert;
  CATSkinButton m_expand;
  CATSkinButton m_collapse;
  CxSkinButton m_maximise;
  CxSkinButton m_restore;
  CLabel m_heading;
  CLabel m_hint;
};
