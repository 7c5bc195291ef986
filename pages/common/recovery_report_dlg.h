// The report pages at the end of every road: where the files went, how many
// the scan found, how many the user chose and how many were recovered whole
// (when that is fewer than chosen, a note counts the damaged, failed and
// not started ones apart; after a user's stop the heading says so and the note
// gives all four counts), a button that opens the folder, and the
// operation statistics sent as the page opens.
//
// The deleted-file report is a modeless page held in the application object;
// the unformat and deep reports run modally over their destination page.
#pragma once

#include "recovery_road.h"
#include "wizard_page.h"

// The note of a report where not every ticked file came back whole: how
// many came back whole, and (only those that are not 0) how many were written
// but are known damaged, failed, and were not started because the copy-out
// was stopped; then what a damaged file means, or else failedNote when files
// failed. Empty when every ticked file came back whole.
CString ReportBreakdown(const RecoveryReportFacts& facts, const CString& failedNote);

class CRecoveryReportPage : public CWizardPage {
 public:
  // parent: the page the report stands on; backTo: the page Back shows.
  CRecoveryReportPage(UINT templateId, CWnd* parent, const RecoveryReportFacts& facts, CWnd* backTo);

  const RecoveryReportFacts& Facts() const { return m_facts; }
  bool PartialNoteShown() const { return m_partialShown; }

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void PaintBody(CDC* dc, const CRect& client) override;
  void OnOpenFolder();
  void OnFinish();
  void OnCloseBox();
  void OnClose();
  void OnBackButton();
  void OnAboutArea() { OnBanner(); }
  // The heading's three parts placed after one another by their texts' widths.
  void LayOutHeading();
  CRect ChildRectOf(HWND child) const;
  DECLARE_MESSAGE_MAP()

  // How the report goes away: hidden (modeless) or ended (modal).
  virtual void EndReport() = 0;

  RecoveryReportFacts m_facts;
  CWnd* m_backTo;
  bool m_partialShown = false;
  CString m_folder, m_found, m_chosen, m_recovered, m_bigCount;
  CxSkinButton m_logo;
  CATSkinButton m_open, m_finish, m_back;
  CLabel m_labels[12];
  CLabel m_big;
};
