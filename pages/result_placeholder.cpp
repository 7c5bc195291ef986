// STAND-IN for the deleted-file result page: until that page is built, a scan
// that found records opens this page, which only says how many. It goes when
// the result page defines OpenDeletedResultPage (with
// resources/rc/result_placeholder.rc and resources/ids/result_placeholder.h).
#include "resource.h"
#include "restova_app.h"
#include "scan_page.h"
#include "state.h"

namespace {

class CResultPlaceholderDlg : public CWizardPage {
 public:
  explicit CResultPlaceholderDlg(CScanDelFilesDlg* scan) : CWizardPage(IDD_RESULT_PLACEHOLDER, scan), m_scan(scan) {}

 protected:
  BOOL OnInitDialog() override {
    CWizardPage::OnInitDialog();
    m_heading.SubclassDlgItem(IDC_PAGE_HEADING, this);
    StyleHeading(m_heading);
    CString text;
    text.Format("共找到 %u 个已删除的文件。", static_cast<unsigned>(DeletedFileCount()));
    m_heading.SetText(text);
    m_back.SubclassDlgItem(IDC_RESULT_PLACEHOLDER_BACK, this);
    m_finish.SubclassDlgItem(IDC_RESULT_PLACEHOLDER_FINISH, this);
    SkinBackButton(m_back);
    SkinForwardButton(m_finish);
    return TRUE;
  }
  void OnFinish() {
    RestovaApp()->ShowMainWindow();
    EndDialog(IDOK);
  }
  void OnBack() {
    RestovaApp()->ShowMainWindow();
    EndDialog(IDCANCEL);
  }
  void OnClose() { OnBack(); }
  DECLARE_MESSAGE_MAP()

  CScanDelFilesDlg* m_scan;
  CLabel m_heading;
  CATSkinButton m_back, m_finish;
};

BEGIN_MESSAGE_MAP(CResultPlaceholderDlg, CWizardPage)
  ON_BN_CLICKED(IDC_RESULT_PLACEHOLDER_BACK, &CResultPlaceholderDlg::OnBack)
  ON_BN_CLICKED(IDC_RESULT_PLACEHOLDER_FINISH, &CResultPlaceholderDlg::OnFinish)
  ON_BN_CLICKED(IDC_CLOSE, &CResultPlaceholderDlg::OnBack)
  ON_WM_CLOSE()
END_MESSAGE_MAP()

}  // namespace

CDialog* OpenDeletedResultPage(CScanDelFilesDlg* scanPage) {
  CRestovaApp* app = RestovaApp();
  auto* page = new CResultPlaceholderDlg(scanPage);
  app->HoldPage(kResultPageSlot, page);
  if (!page->Create(IDD_RESULT_PLACEHOLDER, scanPage)) {
    app->DestroyPage(kResultPageSlot);
    return nullptr;
  }
  page->CenterWindow();
  page->ShowWindow(SW_SHOW);
  return page;
}
