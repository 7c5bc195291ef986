// The first page of the unformat road: the user picks a volume and the file
// system it had before it was formatted, and goes on to the scan page.
//
// The main window makes it for ShowPage(2):
//   CDialog* page = NewUnformatLocationPage();   // new CFormatRecvrDlg(nullptr)
//   page->Create(IDD_UNFORMAT_LOCATION, mainWindow);
// The page owns the scan page it opened last (and, through it, the scan's
// worker): each Next replaces it, and it goes with this page.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "imagelistbox.h"
#include "wizard_page.h"

class CUnformatScanDlg;

// One row of the volume list.
struct UnformatVolumeRow {
  std::string text;     // "label (X:)", or "本地硬盘 (X:)" without a label
  int driveIndex = 0;   // drive letter - 'C'
  bool removable = false;
};

// The volumes the page lists: every drive of `logicalDrives` (the bits of
// GetLogicalDrives) from C: on, but CD-ROM drives. driveType and label are
// GetDriveTypeA and the volume label of a root ("X:\"), injectable for tests;
// localDisk is the text of a volume without a label (string 67).
std::vector<UnformatVolumeRow> ListUnformatVolumes(DWORD logicalDrives, UINT (*driveType)(const char* root),
                                                   std::string (*label)(const char* root), const char* localDisk);

// The file-system choices of the combo, in their order: "FAT16" 2, "FAT32" 1,
// "NTFS" 0, "自动识别" (string 64) 3; automatic detection is the default.
struct UnformatFsChoice {
  const char* text;   // null: string 64
  int kind;           // as the unformat scan takes it (UnformatKind)
};
extern const UnformatFsChoice kUnformatFsChoices[4];
constexpr int kUnformatFsDefaultRow = 3;

class CFormatRecvrDlg : public CWizardPage {
 public:
  explicit CFormatRecvrDlg(CWnd* parent = nullptr);
  ~CFormatRecvrDlg() override;

  // The scan page that Next opened last (null before the first Next).
  CUnformatScanDlg* ScanPage() const { return m_scanPage.get(); }
  CListBoxST& Volumes() { return m_volumes; }
  CComboBox& FileSystem() { return m_fs; }

 protected:
  BOOL OnInitDialog() override;
  void PaintBody(CDC* dc, const CRect& client) override;
  void OnNext();
  void OnBack();
  void OnClose() { OnBack(); }
  void OnFsChange();
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  void FillVolumes();
  void DestroyScanPage();

  std::unique_ptr<CUnformatScanDlg> m_scanPage;
  CListBoxST m_volumes;
  CImageList m_volumeImages;
  CComboBox m_fs;
  CATSkinButton m_next;
  CATSkinButton m_back;
  CLabel m_heading;
  CLabel m_fsLabel;
  CLabel m_fsNote;
  CLabel m_note;
};

// What the main window's ShowPage(2) makes (no parent; it calls Create).
CDialog* NewUnformatLocationPage();
