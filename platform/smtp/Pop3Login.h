#pragma once
// POP-before-SMTP: the login to the POP3 server that lets the mail server
// take the message afterwards without AUTH.
#include "net/Transport.h"
#include "smtp/SmtpRequest.h"
#include "smtp/SmtpSession.h"

namespace smtp {

// Connects, upgrades with STLS where offered, and logs in with USER and PASS.
// QUIT is the session's.
void Pop3Login(Session& s, const SendRequest& r, const net::TlsUpgrade& upgrade);

}  // namespace smtp
