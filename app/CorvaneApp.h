#pragma once
// The application object: runs the main window modally; when it ends, the
// program ends. Only one copy runs per session; `/tray` starts it hidden.
#include "fw/WinApp.h"

class CCorvaneApp : public CWinApp {
 public:
  CCorvaneApp();
  ~CCorvaneApp() override;
  BOOL InitInstance() override;
};

extern CCorvaneApp g_corvaneApp;
