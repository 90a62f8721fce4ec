#pragma once
// The application object. The program defines exactly one; the entry point in
// AppMain.cpp runs its InitInstance, which is the program's whole life.
#include <windows.h>

#include "Wnd.h"

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // False ends the program once it returns: no message loop of the
  // application's own follows.
  virtual BOOL InitInstance() { return FALSE; }
  virtual int Run();

  CWnd* m_pMainWnd = nullptr;
  HINSTANCE m_hInstance = nullptr;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
