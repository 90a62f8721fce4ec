// The program's entry point: hands control to the application object.
#include <windows.h>
#include <commctrl.h>

#include "fw/BackgroundCall.h"
#include "fw/WinApp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  app->m_hInstance = instance;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  // The program's whole life is its InitInstance (a modal main window); no
  // message loop of the application's own follows it.
  app->InitInstance();
  fw::EndProcessIfBackgroundCalls(0);
  return 0;
}
