#include "smtp/SmtpDialogue.h"

#include "net/Base64.h"
#include "smtp/SmtpCapabilities.h"

namespace smtp {

namespace {

bool SendsCredentials(const SendRequest& r) {
  return r.authenticationType == kAuthLogin || r.authenticationType == kAuthPlain;
}

Capabilities Hello(Session& s, const std::string& name) {
  s.At(Step::Ehlo);
  Reply reply = s.Exchange("EHLO " + name);
  if (reply.code == 250) return ParseCapabilities(reply);
  s.At(Step::Helo);
  Reply helo = s.Exchange("HELO " + name);
  if (helo.code != 250) s.Refuse("the server rejected the greeting HELO " + name, helo);
  return Capabilities{};
}

// The greeting and EHLO, then STARTTLS where it is wanted or offered, and
// EHLO again over TLS. Returns what the server offers once secured.
Capabilities Greet(Session& s, const SendRequest& r, const Server& server, const std::string& helloName,
                   const net::TlsUpgrade& upgrade) {
  s.At(Step::Greeting);
  Reply greeting = s.ReadReply();
  if (greeting.code != 220) s.Refuse("the server refused the connection", greeting);

  Capabilities caps = Hello(s, helloName);
  const bool wantStartTls = r.tls == TlsMode::StartTls || (r.tls == TlsMode::StartTlsIfOffered && caps.startTls);
  if (!wantStartTls) return caps;
  s.At(Step::StartTls);
  if (!caps.startTls) s.Fail("the server does not offer STARTTLS");
  Reply reply = s.Exchange("STARTTLS");
  if (reply.code != 220) s.Refuse("the server refused STARTTLS", reply);
  // Without a password on the line, an unverifiable certificate still
  // buys encryption; with one, or when the user demanded TLS, it ends here.
  const bool opportunistic = r.tls == TlsMode::StartTlsIfOffered && !SendsCredentials(r);
  Secure(s, server, upgrade, opportunistic ? net::TlsCheck::Opportunistic : net::TlsCheck::Strict);
  // What the server announced before TLS may have been tampered with.
  return Hello(s, helloName);
}

// Only a mechanism the server named: a guess would put the login on the
// line for a server that never asked for one.
void RequireMechanism(const Session& s, const Capabilities& caps, const std::string& mech) {
  if (caps.authMechs.empty()) {
    s.Fail(std::string("the server offers no authentication (") +
           (caps.extended ? "its reply to EHLO names no AUTH" : "it answers only HELO, which offers none") +
           "), so the user name and password were not sent; choose None if it takes mail without a login");
  }
  // Saying what the server does offer tells the user which setting to change.
  if (!caps.HasAuth(mech)) {
    std::string offered;
    for (const auto& m : caps.authMechs) offered += (offered.empty() ? "" : " ") + m;
    s.Fail("the server does not offer " + mech + " authentication (it offers: " + offered + ")");
  }
}

void Authenticate(Session& s, const SendRequest& r, const Server& server, const Capabilities& caps) {
  const bool login = r.authenticationType == kAuthLogin;
  const std::string mech = login ? "LOGIN" : "PLAIN";
  s.At(login ? Step::AuthLogin : Step::AuthPlain);
  RequireEncryption(s, server);
  RequireMechanism(s, caps, mech);
  auto failed = [&](const Reply& reply) { s.Refuse("authentication failed (" + mech + ")", reply); };
  // An empty value still has to be a line the server can read.
  auto encode = [](const std::string& v) { return v.empty() ? std::string("=") : net::Base64Encode(v); };
  Reply reply;
  if (!login) {
    std::string token = net::Base64Encode(std::string("\0", 1) + r.username + std::string("\0", 1) + r.password);
    if (token.size() + 13 <= kMaxCommand) {
      reply = s.Exchange("AUTH PLAIN " + token);
    } else {
      reply = s.Exchange("AUTH PLAIN");
      if (reply.code != 334) failed(reply);
      s.Write(token + "\r\n");
      reply = s.ReadReply();
    }
  } else {
    reply = s.Exchange("AUTH LOGIN");
    if (reply.code != 334) failed(reply);
    s.At(Step::AuthUserName);
    s.Write(encode(r.username) + "\r\n");
    reply = s.ReadReply();
    if (reply.code != 334) failed(reply);
    s.At(Step::AuthPassword);
    s.Write(encode(r.password) + "\r\n");
    reply = s.ReadReply();
  }
  if (reply.code != 235) failed(reply);
}

// The envelope and the message. Returns the server's acceptance.
Reply Transfer(Session& s, const PreparedMessage& message, const std::string& data, const Capabilities& caps) {
  s.At(Step::MessageSize);
  if (caps.size && caps.sizeLimit > 0 && data.size() > caps.sizeLimit) {
    s.Fail("the message (" + std::to_string(data.size()) + " bytes) is larger than the server accepts (" +
           std::to_string(caps.sizeLimit) + " bytes)");
  }
  s.At(Step::MailFrom);
  std::string mailFrom = "MAIL FROM:<" + message.sender + ">";
  if (caps.size) mailFrom += " SIZE=" + std::to_string(data.size());
  Reply reply = s.Exchange(mailFrom);
  if (reply.code != 250)
    s.Refuse("the server rejected the sender address " + (message.sender.empty() ? "<>" : message.sender), reply);
  s.At(Step::RcptTo);
  for (const std::string& rcpt : message.recipients) {
    reply = s.Exchange("RCPT TO:<" + rcpt + ">");
    if (reply.code != 250 && reply.code != 251) s.Refuse("the server rejected the recipient address " + rcpt, reply);
  }
  s.At(Step::Data);
  reply = s.Exchange("DATA");
  if (reply.code != 354) s.Refuse("the server did not accept the message", reply);
  s.At(Step::MessageEnd);
  s.Write(data);
  reply = s.ReadReply();
  if (reply.code != 250) s.Refuse("the server did not accept the message", reply);
  return reply;
}

}  // namespace

Reply RunSmtpDialogue(Session& s, const SendRequest& r, const Server& server, const PreparedMessage& message,
                      const std::string& data, const std::string& helloName, const net::TlsUpgrade& upgrade) {
  const Capabilities caps = Greet(s, r, server, helloName, upgrade);
  if (SendsCredentials(r)) Authenticate(s, r, server, caps);
  return Transfer(s, message, data, caps);
}

}  // namespace smtp
