#include "app/CheckWork.h"

#include <exception>

#include "channels/MailSend.h"
#include "channels/WebSend.h"
#include "fw/BackgroundCall.h"
#include "fw/Exceptions.h"

namespace app {

namespace {

constexpr char kNoThread[] = "The check could not be started: the system refused a thread for it.";

constexpr char kNoMemory[] = "The web notification could not be sent: there is not enough memory.";

}  // namespace

std::string CheckWork::StartPageFetch(std::uint32_t check, const std::string& url) {
  return m_inet.StartOpenURL(url, m_window, WM_PAGE_READ, check) ? std::string() : kNoThread;
}

std::string CheckWork::StartMail(std::uint32_t check, const MailJob& mail) {
  try {
    return channels::StartMail(m_smtp, mail.account, mail.authIndex, mail.subject, mail.text, m_window, WM_MAIL_SENT,
                               check)
               ? std::string()
               : kNoThread;
  } catch (const CException& e) {
    std::string why;
    return e.GetErrorMessage(why) && !why.empty() ? why : kNoThread;
  }
}

std::string CheckWork::StartWebCall(std::uint32_t check, const channels::WebSettings& target, const Address& address,
                                    const Address& old, std::time_t at, const std::string& error) {
  channels::WebValues values = channels::ValuesFor(address.v4, old.v4, address.v6, old.v6, at);
  values.error = error;
  const WPARAM call = ++m_lastWebCall;
  m_webCalls[call] = {check, target.id};
  if (fw::StartBackgroundCall<ChannelResult>(
          m_window, WM_WEB_CALLED, call, [target, values] { return channels::SendWebNotification(target, values); }))
    return {};
  m_webCalls.erase(call);
  return kNoThread;
}

bool CheckWork::Deliver(UINT message, WPARAM wParam, LPARAM lParam, CheckConductor& conductor) {
  const auto check = static_cast<std::uint32_t>(wParam);
  switch (message) {
    case WM_PAGE_READ:
      if (const auto page = CInet::TakeFetchResult(m_window, lParam)) {
        if (page->ok())
          conductor.PageRead(check, page->body);
        else
          conductor.PageFailed(check, page->error);
      }
      return true;
    case WM_MAIL_SENT:
      if (const auto outcome = C_SMTP::TakeSendOutcome(m_window, lParam)) {
        if (outcome->ok())
          conductor.MailSent(check, {ChannelResult::Ok, "sent"});
        else
          conductor.MailSent(check, {ChannelResult::Transient, outcome->error});
      }
      return true;
    case WM_WEB_CALLED: {
      const auto call = m_webCalls.find(wParam);
      if (call == m_webCalls.end()) return true;  // not one of ours
      const WebCall made = call->second;
      m_webCalls.erase(call);
      const auto result = lParam ? fw::TakeBackgroundResult<ChannelResult>(m_window, lParam) : nullptr;
      conductor.WebCalled(made.check, made.target,
                          result ? *result : ChannelResult{ChannelResult::Transient, kNoMemory});
      return true;
    }
    default:
      return false;
  }
}

}  // namespace app
