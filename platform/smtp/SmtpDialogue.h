#pragma once
// The SMTP side of a send over an opened session: greeting, EHLO (HELO as
// fallback), STARTTLS where wanted or offered, authentication with a
// mechanism the server offered, envelope, DATA.
#include <string>

#include "net/Transport.h"
#include "smtp/SmtpMessage.h"
#include "smtp/SmtpReply.h"
#include "smtp/SmtpRequest.h"
#include "smtp/SmtpSession.h"

namespace smtp {

// Everything after the connection is open. Returns the server's acceptance
// of the message; QUIT is the session's.
Reply RunSmtpDialogue(Session& s, const SendRequest& r, const Server& server, const PreparedMessage& message,
                      const std::string& data, const std::string& helloName, const net::TlsUpgrade& upgrade);

}  // namespace smtp
