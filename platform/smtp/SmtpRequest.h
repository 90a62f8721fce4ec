#pragma once
// Everything one send needs, as the mail control's properties hold it.
#include <string>

namespace smtp {

enum AuthenticationType {
  kAuthNone = 0,
  kAuthPop3 = 1,  // POP-before-SMTP: log in to the POP3 server first, then send without AUTH
  kAuthLogin = 2,
  kAuthPlain = 3,
};

enum class TlsMode {
  None,
  StartTlsIfOffered,  // upgrade when EHLO offers STARTTLS, else stay in plain text
  StartTls,           // required: a server without STARTTLS or a failed handshake ends the send
  Implicit,           // TLS from the first byte, before the greeting
};
// In every mode but None, a handshake that fails ends the send: once TLS has
// been tried, nothing more goes over the connection in plain text.

struct SendRequest {
  std::string server;
  int port = 25;
  std::string username;
  std::string password;
  int authenticationType = kAuthNone;
  std::string popServer;  // empty: the SMTP server itself
  int popPort = 110;
  std::string sendTo;    // comma- or semicolon-separated
  std::string mailFrom;  // may be empty: the null sender "<>"
  std::string cc;
  std::string bcc;  // envelope only, never a header
  std::string replyTo;
  std::string messageSubject;
  std::string messageText;
  std::string contentType = "text/plain";
  std::string charset = "us-ascii";
  std::string contentTransferEncoding = "7bit";
  std::string clientHostName;  // EHLO name; empty: the machine's name
  int timeoutMs = 10000;       // for each step
  int wholeSendMs = 60000;     // for everything, POP3 and name lookups included
  TlsMode tls = TlsMode::None;
  TlsMode popTls = TlsMode::StartTlsIfOffered;  // Implicit on 995
};

}  // namespace smtp
