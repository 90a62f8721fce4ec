#include "channels/MailSend.h"

namespace channels {

void SendMail(C_SMTP& smtp, const MailSettings& account, int authIndex, const std::string& subject,
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
  smtp.Send();
}

}  // namespace channels
