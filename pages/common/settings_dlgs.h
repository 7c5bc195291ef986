// The scan settings dialogs, run modally from the main window. The options
// live in the engine's state for the life of the process; a scan reads them
// when it starts, so a change applies to the next scan.
#pragma once
#include "framework.h"
#include "label.h"
#include "skinbutton.h"

// Common look of the two dialogs: the small boxes' band with the group text,
// a white panel behind the check boxes.
class CSettingsBox : public CDialog {
 protected:
  CSettingsBox(UINT templateId, CWnd* parent);
  BOOL OnInitDialog() override;
  BOOL OnEraseBkgnd(CDC* dc);
  LRESULT OnNcHitTest(CPoint point);
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  void OnDestroy();
  DECLARE_MESSAGE_MAP()

  HICON m_icon = nullptr;
  CBrush m_panel;
  CLabel m_group;
  CATSkinButton m_ok;
  CATSkinButton m_cancel;
};

// Deleted-file scan settings (dialog 170): skip files deleted before their
// folder, skip temporary folders, skip files with invalid times.
class CFileScanSetingDlg : public CSettingsBox {
 public:
  explicit CFileScanSetingDlg(CWnd* parent = nullptr);

  // What OK will store (the options until then keep their values).
  uint32_t m_pendingSkipBeforeFolder = 0;
  uint32_t m_pendingSkipTempFolders = 0;
  uint32_t m_pendingSkipBadTimes = 0;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;   // Enter and button 1063 store the options
  void OnSkipBeforeFolder();
  void OnSkipTempFolders();
  void OnSkipBadTimes();
  void OnCancelButton() { OnCancel(); }
  DECLARE_MESSAGE_MAP()
};

// Unformat settings (dialog 366): use the NTFS volume's MFT.
class CUnformatSeting : public CSettingsBox {
 public:
  explicit CUnformatSeting(CWnd* parent = nullptr);

  uint32_t m_useMft = 0;   // exchanged with box 1137

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnOK() override;   // Enter ends with OK and stores nothing
  void OnOkButton();
  void OnCancelButton() { OnCancel(); }
  DECLARE_MESSAGE_MAP()
};
