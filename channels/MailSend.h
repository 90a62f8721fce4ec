#pragma once
// One mail through the mail control, the way the program sends every mail:
// the account's six settings and the message set in the control's order,
// errors raised, then Send.
#include <string>

#include "channels/C_SMTP.h"
#include "channels/ChannelSettings.h"

namespace channels {

// `authIndex` is the control's authentication type (0 None ... 3 Plain). A
// failure of the control leaves as its CDispatchException.
void SendMail(C_SMTP& smtp, const MailSettings& account, int authIndex, const std::string& subject,
              const std::string& text);

// The same mail sent in the background: the settings go to the control here
// and now, the dialogue runs on a worker, and its C_SMTP::MailOutcome reaches
// `replyTo` as a posted `message` with wParam `tag` (C_SMTP::TakeSendOutcome).
// False with no control attached: then nothing will be posted.
bool StartMail(C_SMTP& smtp, const MailSettings& account, int authIndex, const std::string& subject,
               const std::string& text, HWND replyTo, UINT message, WPARAM tag);

}  // namespace channels
