#include "page_host.h"

#include "wizard_page.h"   // PlacePage

namespace {
// Constant-initialised, so a host built before main (the program's
// application object) may set itself from its constructor.
CPageHost* gPageHost = nullptr;
}  // namespace

CPageHost* PageHost() { return gPageHost; }

void SetPageHost(CPageHost* host) { gPageHost = host; }

void CPageHost::ShowMainWindow() {
  CWnd* main = MainWindow();
  if (!main || !main->m_hWnd) return;
  if (!main->IsWindowVisible()) PlacePage(main);
  main->ShowWindow(SW_SHOW);
}

void CPageHost::DestroyPage(int slot) {
  if (slot < 0 || slot >= kPageSlotCount || !m_pages[slot]) return;
  CDialog* page = m_pages[slot];
  m_pages[slot] = nullptr;   // emptied first: destroying windows may ask for the slot
  if (page->m_hWnd) page->DestroyWindow();
  delete page;
}

void CPageHost::HoldPage(int slot, CDialog* page) {
  if (slot < 0 || slot >= kPageSlotCount) return;
  DestroyPage(slot);
  m_pages[slot] = page;
}

void CPageHost::DestroyPages() {
  for (int slot = 0; slot < kPageSlotCount; ++slot) DestroyPage(slot);
}
