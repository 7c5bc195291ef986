// The deep-scan result page (dialog 293): the hits of gFoundFiles in one
// folder per type, a picture preview of the selected hit, ticks, and Next to
// the deep road's destination page.
//
// The scan page creates it when its scan ended with hits and calls
// StartBuildResultTree; a busy box covers the page while its worker hands
// the rows over. The page owns both of its workers (the list builder and the
// preview reader) and the preview's bytes, which stay the page's until the
// next preview or the page's end.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "busy_boxes.h"
#include "deep_results.h"
#include "picturestatic.h"
#include "recovery_road.h"
#include "treelist.h"
#include "wizard_page.h"

class CChoiceRecoveryPathDlgARW;

class CPtFileChosDlg : public CWizardPage, public CRecoveryResults {
 public:
  explicit CPtFileChosDlg(CWnd* parent);
  ~CPtFileChosDlg() override;

  // Shows the busy box over the page, starts the list's worker and shows the
  // page. FALSE when the worker cannot start.
  BOOL StartBuildResultTree();
  static UINT BuildResultTreeThreadProc(LPVOID page);
  static UINT PreviewThreadProc(LPVOID page);

  // For the tests and the pages after this one.
  bool Built() const { return m_built; }
  CTreeListCtrl& List() { return m_list; }
  // The rows: one top-level folder per type, the hits below it.
  const CResultTree& Tree() const { return m_tree; }
  // The hit of a tree row, -1 for a folder.
  int HitOfItem(HTREEITEM item) const;
  // Previews: reads started, the hit shown last, what the preview shows.
  int PreviewReads() const { return m_previewReads; }
  int LastPreviewed() const { return m_requests.Wanted(); }
  bool PreviewReading() const { return m_requests.Reading() >= 0 || m_nextRead >= 0; }
  enum PreviewShown { kShowsNothing, kShowsLoading, kShowsPicture, kShowsNoPreview };
  PreviewShown PreviewState() const { return m_previewShown; }
  CPictureStatic& Preview() { return m_preview; }
  const DeepSelection& Selection() const { return m_selection; }
  CChoiceRecoveryPathDlgARW* DestinationPage() const { return m_destination.get(); }

  // What the destination, progress and report pages ask of the result page.
  CDialog* ResultPage() override { return this; }
  uint32_t FoundFileCount() const override;
  uint32_t ChosenFileCount() const override { return m_selection.checked; }
  uint64_t ChosenSectors() const override { return m_selection.sectors; }
  bool Maximised() const { return m_maximised != 0; }

  // Takes the selected row as the one to preview (what a click or the
  // timer does).
  void PreviewSelected();

 protected:
  BOOL OnInitDialog() override;
  void OnNext();
  void OnBack();
  void OnClose() { OnBack(); }
  void OnCheckAll();
  void OnInvert();
  void OnExpandAll() { m_list.ExpandAll(TRUE); }
  void OnCollapseAll() { m_list.ExpandAll(FALSE); }
  void OnMaximise();
  void OnRestore();
  void OnBrowse();
  void OnWeb() { OnWebButton(); }
  void OnLButtonDown(UINT flags, CPoint point);
  void OnSelChanged(NMHDR* hdr, LRESULT* result);
  void OnTimer(UINT_PTR id);
  LRESULT OnAddRows(WPARAM, LPARAM batch);
  LRESULT OnBuilt(WPARAM, LPARAM);
  LRESULT OnPreviewData(WPARAM buffer, LPARAM size);
  void OnNcLButtonDblClk(UINT hit, CPoint point);
  LRESULT OnNcHitTest(CPoint point);
  void OnGetMinMaxInfo(MINMAXINFO* info);
  void OnSize(UINT type, int cx, int cy);
  BOOL OnEraseBkgnd(CDC* dc);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  struct Anchor {
    int id;
    bool moveX, moveY, growX, growY;
    CRect rect;   // in the client size of the template
  };
  void StartRead(int index);
  void FreePreviewBuffer();
  void ShowSummary(int index);
  void LayOut(int cx, int cy);
  void SetMaximised(bool maximised);
  int IconOfFolder(const ResultTreeNode* folder);

  // The list (filled on this thread from the worker's batches).
  CResultTree m_tree;
  std::unordered_map<const ResultTreeNode*, int> m_folderIcons;
  int m_folderImage = 0;
  int m_folderOpenImage = 0;
  bool m_built = false;
  bool m_drawingOff = false;
  std::unique_ptr<CWinThread> m_buildWorker;
  std::atomic<bool> m_stopWorkers{false};
  HWND m_window = nullptr;   // for the workers, set before they start

  // The preview.
  PreviewRequests m_requests;
  std::unique_ptr<CWinThread> m_previewWorker;
  int m_readIndex = -1;      // the hit the reader reads (set before it starts)
  int m_nextRead = -1;       // to read once the running reader has ended
  int m_previewReads = 0;
  uint8_t* m_previewBuffer = nullptr;
  int m_previewSize = 0;
  PreviewShown m_previewShown = kShowsNothing;
  uint32_t m_pictureWidth = 0, m_pictureHeight = 0;   // of the picture shown, from its header
  // The preview control in its place, of the picture's shape when one is shown.
  void FitPreview();

  DeepSelection m_selection;
  UINT_PTR m_timer = 0;
  uint32_t m_maximised = 0;
  bool m_destroying = false;
  CSize m_templateClient;
  std::vector<Anchor> m_anchors;

  CProtectingDlgUf m_busy;
  std::unique_ptr<CChoiceRecoveryPathDlgARW> m_destination;
  CTreeListCtrl m_list;
  CPictureStatic m_preview;
  CATSkinButton m_nextButton;
  CATSkinButton m_backButton;
  CATSkinButton m_checkAll;
  CATSkinButton m_invert;
  CATSkinButton m_expand;
  CATSkinButton m_collapse;
  CxSkinButton m_maximise;
  CxSkinButton m_restore;
  CLabel m_hint;
  CLabel m_previewLabel;
  CLabel m_summary;
  CLabel m_previewNote;
};

// A batch of hits of gFoundFiles the list's worker hands to the page (sent,
// never posted); the page lists them in its tree.
struct DeepResultBatch {
  size_t first;
  size_t count;
};
