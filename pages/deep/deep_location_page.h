// The first page of three roads that end in the deep (signature) scan
// (dialog 284): deep recovery of a volume or a physical disk, recovery from a
// removable device, recovery of the files of lost partitions (a whole disk).
// It lists the matching devices, and Next opens the deep scan page on the
// chosen one. It owns the scan page and the result page it opens.
//
// The main window's ShowPage makes it through the two functions below:
//
//   CDialog* page = MakeDeepLocationPage(kind);      // kind 3, 6 or 7
//   page->Create(IDD_DEEP_LOCATION, mainWindow);
//   PrepareDeepLocationPage(page, kind);
//   page->CenterWindow(); page->ShowWindow(SW_SHOW); mainWindow->ShowWindow(SW_HIDE);
#pragma once
#include <cstdint>
#include <memory>

#include "deep_targets.h"
#include "imagelistbox.h"
#include "wizard_page.h"

class CPhotoScanDlg;
class CPtFileChosDlg;

// Page kinds of the main window that open this page.
enum DeepRoadKind { kDeepRoadRecovery = 3, kDeepRoadRemovable = 6, kDeepRoadLostPartition = 7 };

// A new page for ShowPage(kind): kind 7 gets its whole-disk flag before it is
// created, so it lists the physical disks.
CDialog* MakeDeepLocationPage(int kind);
// After Create: kinds 3 and 6 set the removable-device flag (0, 1), every
// kind lays the page out for its mode, kind 6 selects its first device.
void PrepareDeepLocationPage(CDialog* page, int kind);

class CPhotoRecoverDlg : public CWizardPage {
 public:
  explicit CPhotoRecoverDlg(CWnd* parent = nullptr);
  ~CPhotoRecoverDlg() override;

  // Set by the main window: the removable-device mode after Create, the
  // lost-partition (whole-disk) mode before it.
  uint32_t m_removable = 0;
  uint32_t m_lostPartition = 0;
  // Set by the page.
  uint32_t m_devicesFound = 0;   // the removable list has at least one device
  uint32_t m_listFilled = 0;     // the removable list has been built

  // Shows the selector and the texts of the mode.
  void ApplyModeLayout();
  // Selects the first device when the removable mode found one.
  void SelectFirstDevice();

  // The procedure the scan page runs; null: the scan itself (the tests put a
  // relay in front of it).
  UINT (*m_scanWorker)(LPVOID) = nullptr;

  // The machine's drives and disks; the tests give their own before Create.
  void SetDeviceProbe(DeepDeviceProbe* probe) { m_probe = probe ? probe : &m_machine; }

  CPhotoScanDlg* ScanPage() const { return m_scanPage.get(); }
  CPtFileChosDlg* ResultPage() const { return m_resultPage.get(); }
  // The scan page's end with hits: the result page of this scan replaces the
  // previous one (parent: the scan page), is shown and starts its list.
  // False when it cannot be made.
  bool OpenResultPage(CPhotoScanDlg* scanPage);

  CTreeCtrl& Tree() { return m_tree; }
  CListBoxST& List() { return m_list; }
  // The item data of the choice Next would take (list row, else tree item);
  // kDeepHeading when nothing can be scanned.
  uint32_t SelectedTarget() const;

 protected:
  BOOL OnInitDialog() override;
  void PaintBody(CDC* dc, const CRect& client) override;
  void OnNext();
  void OnBack();
  void OnClose() { OnBack(); }
  void OnRedetect();
  void OnWeb() { OnWebButton(); }
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  void BuildRemovableList();
  void BuildDiskList();
  void BuildTree();
  void FillList(const std::vector<DeepRow>& rows);
  void StartScan(uint8_t disk, uint8_t drive, bool requested);
  void DestroyChain();

  DeepDeviceProbe m_machine;
  DeepDeviceProbe* m_probe = &m_machine;
  std::unique_ptr<CPtFileChosDlg> m_resultPage;
  std::unique_ptr<CPhotoScanDlg> m_scanPage;

  CTreeCtrl m_tree;
  CFont m_treeFont;   // the tree's own font: it measures its labels with it
  CListBoxST m_list;
  CImageList m_treeImages;
  CImageList m_listImages;
  CATSkinButton m_next;
  CATSkinButton m_back;
  CLabel m_heading;
  CLabel m_noDevice;
  CLabel m_redetect;
  CLabel m_note;
};
