#pragma once
// The SMTP dialogue: greeting, EHLO (HELO as fallback), optional STARTTLS,
// authentication, envelope, DATA, QUIT. It runs straight through over a
// net::Transport and ends either with the server's acceptance or one SendError.
#include <string>

#include "net/Transport.h"
#include "smtp/SmtpMessage.h"
#include "smtp/SmtpReply.h"
#include "smtp/SmtpRequest.h"

namespace smtp {

struct SendResult {
  std::string messageId;  // as written in the header, with the angle brackets
  Reply accepted;         // the server's reply to the final "."
};

class Client {
 public:
  explicit Client(net::TransportFactory makeTransport, net::TlsUpgrade upgradeToTls = {});

  // Checks the whole request before touching the network, so a refused field
  // never leaves a half-sent dialogue behind. Throws SendError.
  SendResult Send(const SendRequest& request);
  // The same with the Date and Message-ID given, for repeatable output.
  SendResult Send(const SendRequest& request, const MessageStamp& stamp);

  // The EHLO name used when the request gives none: the transport's idea of
  // this machine's name if it is a usable domain, else "localhost".
  std::string DefaultHostName();

 private:
  // The send itself, for a request already validated.
  SendResult Deliver(const SendRequest& request, const MessageStamp& stamp);

  net::TransportFactory m_makeTransport;
  net::TlsUpgrade m_upgradeToTls;
};

// Refuses what must never reach a server: line breaks in any field, an
// unknown authentication type, a missing server. Throws SendError(Stage::Input).
void ValidateRequest(const SendRequest& request);

// True for a name EHLO can carry: letters, digits, '-' and '.', or an
// address literal such as "[127.0.0.1]".
bool IsValidHostName(const std::string& name);

}  // namespace smtp
