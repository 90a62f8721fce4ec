#include "channels/MailSend.h"

namespace channels {

namespace {

void SetUp(C_SMTP& smtp, const MailSettings& account, int authIndex, const std::string& subject,
           const std::string& text) {
  smtp.SetServer(account.server);
  smtp.SetUsername(account.username);
  smtp.SetPassword(account.password);
  smtp.SetAuthenticationType(authIndex);
  smtp.SetSendTo(account.to);
  smtp.SetMailFrom(account.from);
  smtp.SetMessageSubject(subject);
  smtp.SetMessageText(text);
  smtp.SetRaiseError(TRUE);
}

}  // namespace

void SendMail(C_SMTP& smtp, const MailSettings& account, int authIndex, const std::string& subject,
              const std::string& text) {
  SetUp(smtp, account, authIndex, subject, text);
  smtp.Send();
}

bool StartMail(C_SMTP& smtp, const MailSettings& account, int authIndex, const std::string& subject,
               const std::string& text, HWND replyTo, UINT message, WPARAM tag) {
  SetUp(smtp, account, authIndex, subject, text);
  return smtp.StartSend(replyTo, message, tag);
}

}  // namespace channels
