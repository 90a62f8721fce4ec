#include "fw/WinApp.h"

namespace {
// The one application object, as the system hands us one process.
CWinApp* g_app = nullptr;
}  // namespace

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

HINSTANCE AfxGetInstanceHandle() {
  if (g_app && g_app->m_hInstance) return g_app->m_hInstance;
  return GetModuleHandleA(nullptr);
}
