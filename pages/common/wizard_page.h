// What every wizard page shares: the product name as caption, the program
// icon, no size or maximise in the system menu, the page background (the
// blue band with the logo and the title, the light body) stretched over the
// client area, dragging by the body, the minimise button, the About box
// behind the logo, the hidden service-page button and the forum link.
//
//   class CScanPage : public CWizardPage {
//     CScanPage(CWnd* parent) : CWizardPage(IDD_DELETED_SCAN, parent) {}
//     BOOL OnInitDialog() override { CWizardPage::OnInitDialog(); ... }
//   };
//
// Enter and Esc do nothing on a page. The close button (IDC_CLOSE) is skinned
// here but each page maps it itself. A page that shows its About box while a
// worker runs closes it with CloseAboutBox() when the worker ends.
#pragma once
#include "about_dlg.h"
#include "framework.h"
#include "label.h"
#include "skinbutton.h"

// Colours of the page texts.
constexpr COLORREF kPageText = RGB(90, 90, 90);       // 0x5A5A5A: headings and body text
constexpr COLORREF kPageQuietText = RGB(127, 127, 127);
constexpr COLORREF kPageLinkText = RGB(0, 21, 233);
constexpr COLORREF kPagePanel = RGB(255, 255, 255);
constexpr COLORREF kPageBody = RGB(242, 246, 251);    // the light body of the background

// The skin of a push button: the blue step forward or the white way back.
void SkinForwardButton(CATSkinButton& button);
void SkinBackButton(CATSkinButton& button);
// A heading of the body: bold, 14 pixels, 0x5A5A5A.
void StyleHeading(CLabel& label);
// Body text: 12 pixels, 0x5A5A5A (or the quiet grey).
void StyleBodyText(CLabel& label, bool quiet = false);
// The title in a header band: white, bold.
void StyleBandTitle(CLabel& label, int pixels);
// A white panel with a light frame round rect (in client coordinates).
void PaintPanel(CDC* dc, const CRect& rect);
// The background of a small box: its band (IDB_BOX_BAND) on top, the light
// body below, a frame round the whole. Returns the band's height.
int PaintBoxBackground(CDC* dc, const CRect& client);
// Opens a web page the way the pages' service buttons do: "IExplore.EXE"
// with the address of a string.
void OpenServicePage(UINT urlString);
// The background of a result page that can grow: the band (band pixels of
// the page background) keeps its height, the body below it stretches.
void PaintGrowingPageBackground(CDC* dc, const CRect& client, int band);
// Maximised, a page covers the work area and leaves the taskbar in view.
void FitMaximisedToWorkArea(MINMAXINFO* info);
// A page the application object holds in one of its slots (replacing the one
// there): created from its template as a child of parent, centred and shown.
// A page that cannot be created is destroyed and the slot left empty; then
// false. Without an application object the page is only created.
bool ShowHeldPage(CDialog* page, int slot, UINT templateId, CWnd* parent);
// Where pages open. Every page of a road has the same size; each opens
// centred where the last page shown stood (so it covers it exactly), the
// first one over the main window, which opens centred on the screen; with no
// page shown yet, centred on the screen. Always kept inside the work area.
// NotePageStood records a shown, restored page or main window (a maximised
// or minimised one is passed over: the next page opens where it stood before).
void NotePageStood(HWND window);
void PlacePage(CWnd* page);

// The hit-test code of a point of a resizable page that has no frame of its
// own: 10-pixel corners and 3-pixel edges size it, the rest drags it; a
// maximised page only drags. window: the page's rectangle on the screen.
LRESULT ResizeHitTest(const RECT& window, POINT point, bool maximised);

// Forgets where pages stood (tests start afresh).
void ForgetPagePlace();

// The small tool buttons of the result pages (tick all, invert, expand...):
// a window without a handle is left as it is.
void SkinToolButton(CATSkinButton& button, COLORREF text = RGB(60, 70, 85));
// The folder the user picks in the shell's folder box (title may be null),
// as a file-system path; false when none was picked or it has no path.
bool PickFolder(HWND owner, const char* title, UINT flags, CString* folder);

class CWizardPage : public CDialog {
 public:
  CWizardPage(UINT templateId, CWnd* parent);

  // Ends the About box if this page shows it (the page's worker has ended).
  void CloseAboutBox();
  // A result page after a scan the user stopped: the band title says so,
  // and the text of lineId (0: none) becomes the line that only what was
  // found before the stop is listed.
  void ShowScanStopped(int lineId);
  bool ShowsScanStopped() const { return m_scanStopped; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override {}
  void OnCancel() override {}
  // Paints over the background before the controls draw: panels, pictures.
  virtual void PaintBody(CDC* /*dc*/, const CRect& /*client*/) {}
  // Runs the About box modally (the banner and the About area).
  virtual void OnBanner();

  void OnMinimise();
  void OnWebButton();
  BOOL OnEraseBkgnd(CDC* dc);
  LRESULT OnNcHitTest(CPoint point);
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  LRESULT OnWindowPosChanged(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

  // The skinned parts every page has; a template without one of them leaves
  // that member without a window.
  CAboutDlg m_about;
  CxSkinButton m_banner;
  CxSkinButton m_minimise;
  CxSkinButton m_close;
  CLabel m_title;
  CLabel m_forum;
  HICON m_icon = nullptr;
  HCURSOR m_hand = nullptr;
  CString m_caption;   // the product name (string 3): caption and message boxes
  bool m_scanStopped = false;
};
