#include "app/CorvaneApp.h"

#include "app/CorvaneDlg.h"
#include "app/SingleInstance.h"
#include "app/StartOptions.h"
#include "inet/InetControl.h"
#include "smtp/SmtpCall.h"

CCorvaneApp g_corvaneApp;

CCorvaneApp::CCorvaneApp() = default;

CCorvaneApp::~CCorvaneApp() = default;

BOOL CCorvaneApp::InitInstance() {
  const app::StartOptions options = app::ParseCommandLine(GetCommandLineA());

  // A second copy would watch, and mail, a second time. It ends at once,
  // bringing the running copy forward as a user who started it expects;
  // a start asked to stay in the tray asks for no window, so it brings none.
  const app::SingleInstance instance;
  if (!instance.IsFirst()) {
    if (!options.inTray) app::SingleInstance::HandOver(CCorvaneDlg::kTitle);
    return FALSE;
  }

  // The two controls the main window's template places; a dialog whose
  // control cannot be created ends at once, and so the program ends silently.
  inet::RegisterInetControl(m_hInstance);
  smtp::RegisterSmtpControl(m_hInstance);

  CCorvaneDlg dialog;
  if (options.inTray) dialog.StartInTray();
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
