// The page a scan page shows when its scan found nothing: back one step,
// finish, or (after a deleted-file scan) a deep scan of the same drive. The
// same page says, in its own words, that a scan did not run because its
// source could not be read or holds a file system the road does not read:
// that is never shown as "nothing found".
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
  // The scan did not run: the heading and the explanation say why instead
  // of "nothing found" (the texts of source_texts.h). The explanation gets
  // the room of four lines; the deep-scan offer moves down below it.
  void ShowFailure(const CString& heading, const CString& explanation);
  bool ShowsFailure() const { return m_failure; }
  // The user stopped the scan before it had found anything: the page says
  // that, never that the files may have been overwritten.
  void ShowStopped();
  bool ShowsStopped() const { return m_stopped; }
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
  bool m_failure = false;
  bool m_stopped = false;
  CATSkinButton m_backButton;
  CATSkinButton m_finish;
  CATSkinButton m_deep;
  CLabel m_heading;
  CLabel m_explain;
  CLabel m_try;
  CLabel m_deepNote;
};
