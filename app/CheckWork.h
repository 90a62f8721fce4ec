#pragma once
// The network work of a check, each piece on a thread of its own: the page
// fetch, the mail and each web target. What each came to is posted back to
// the main window, which hands it here to become the conductor's input.
#include <cstdint>
#include <ctime>
#include <map>
#include <string>

#include <windows.h>

#include "app/CheckConductor.h"
#include "app/CheckPorts.h"
#include "app/Inet.h"
#include "channels/C_SMTP.h"

namespace app {

class CheckWork : public CheckNetwork {
 public:
  // The results are posted to `window`, whose controls these are.
  CheckWork(HWND window, CInet& inet, C_SMTP& smtp) : m_window(window), m_inet(inet), m_smtp(smtp) {}

  std::string StartPageFetch(std::uint32_t check, const std::string& url) override;
  std::string StartMail(std::uint32_t check, const MailJob& mail) override;
  std::string StartWebCall(std::uint32_t check, const channels::WebSettings& target, const Address& address,
                           const Address& old, std::time_t at, const std::string& error) override;

  // True when `message` is one of the results, which `conductor` has then been given.
  bool Deliver(UINT message, WPARAM wParam, LPARAM lParam, CheckConductor& conductor);

  static constexpr UINT WM_PAGE_READ = WM_APP + 3;
  static constexpr UINT WM_MAIL_SENT = WM_APP + 4;
  static constexpr UINT WM_WEB_CALLED = WM_APP + 5;

 private:
  struct WebCall {
    std::uint32_t check, target;
  };

  HWND m_window;
  CInet& m_inet;
  C_SMTP& m_smtp;
  // Each web call by its own number, so one that made no result still
  // names its target and the check it belongs to is not left waiting.
  std::map<WPARAM, WebCall> m_webCalls;
  WPARAM m_lastWebCall = 0;
};

}  // namespace app
