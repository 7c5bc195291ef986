// The page a scan page shows when its scan found nothing: back one step,
// finish, or (after a deleted-file scan) a deep scan of the same drive.
#pragma once
#include "wizard_page.h"

class CFindNoFileDlg : public CWizardPage {
 public:
  // parent: the scan page that opens it. returnPage: where Back leads (the
  // page that opened the scan page: the location page, or the main window on
  // the recycle-bin road).
  CFindNoFileDlg(CWnd* parent, CWnd* returnPage);

  // Shows the offer of a deep scan (the deleted-file road only).
  void ShowDeepScanOffer();
  void SetDriveIndex(int driveIndex) { m_driveIndex = driveIndex; }
  int DriveIndex() const { return m_driveIndex; }

  int m_modeKind = 0;   // the road that found nothing (1: deleted files)

 protected:
  BOOL OnInitDialog() override;
  void PaintBody(CDC* dc, const CRect& client) override;
  void OnFinish();
  void OnBack();
  void OnClose() { OnBack(); }
  void OnDeepScan();
  DECLARE_MESSAGE_MAP()

  CWnd* m_returnPage;
  int m_driveIndex = -1;   // drive letter - 'C' of the scanned volume, -1 when none
  CATSkinButton m_backButton;
  CATSkinButton m_finish;
  CATSkinButton m_deep;
  CLabel m_heading;
  CLabel m_explain;
  CLabel m_try;
  CLabel m_deepNote;
};
