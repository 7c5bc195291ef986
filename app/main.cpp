// salvora.exe: the one application object, built before WinMain runs.
#include "restova_app.h"

CRestovaApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int cmdShow) {
  return AfxWinMain(instance, previous, cmdLine, cmdShow);
}
