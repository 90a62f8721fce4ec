#pragma once
// The application object. The program defines exactly one; the entry point in
// AppMain.cpp runs its InitInstance, which is the program's whole life.
#include <windows.h>

#include "fw/Wnd.h"

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The program ends once it returns, whatever it answers.
  virtual BOOL InitInstance() { return FALSE; }

  CWnd* m_pMainWnd = nullptr;
  HINSTANCE m_hInstance = nullptr;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
