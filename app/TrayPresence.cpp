#include "app/TrayPresence.h"

namespace app {

namespace {

constexpr UINT kRetryMs = 2'000;
constexpr int kAttempts = 15;

}  // namespace

void TrayPresence::Hide(const std::string& tip) {
  m_hidden = true;
  m_window.ShowWindow(SW_HIDE);
  m_tray.reset();  // never two icons for one window
  m_tray = std::make_unique<CTrayIcon>(&m_window, m_icon, tip, m_menuId);
  m_attempts = 1;
  if (!m_tray->IsAdded()) m_window.SetTimer(m_retryTimer, kRetryMs);
}

void TrayPresence::Restore() {
  m_window.KillTimer(m_retryTimer);
  m_tray.reset();
  m_hidden = false;
  m_window.ShowWindow(SW_SHOW);
}

void TrayPresence::Leave() { m_tray.reset(); }

void TrayPresence::SetTip(const std::string& tip) {
  if (m_tray) m_tray->SetTooltip(tip);
}

bool TrayPresence::RetryFailed() {
  if (!m_tray || m_tray->Add()) {
    m_window.KillTimer(m_retryTimer);
    return false;
  }
  return ++m_attempts >= kAttempts;
}

}  // namespace app
