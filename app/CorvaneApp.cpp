#include "CorvaneApp.h"

#include "CorvaneDlg.h"
#include "InetControl.h"
#include "SmtpControl.h"

CCorvaneApp g_corvaneApp;

CCorvaneApp::CCorvaneApp() = default;

CCorvaneApp::~CCorvaneApp() = default;

BOOL CCorvaneApp::InitInstance() {
  // The two controls the main window's template places; a dialog whose
  // control cannot be created ends at once, and so the program ends silently.
  RegisterInetControl(m_hInstance);
  RegisterSmtpControl(m_hInstance);

  CCorvaneDlg dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
