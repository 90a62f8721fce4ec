// The whole SMTP dialogue against a server whose every byte is the input,
// through the scripted transport, which keeps what the client wrote so the
// client's side can be checked.
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "net/Base64.h"
#include "ScriptTransport.h"
#include "smtp/SmtpClient.h"
#include "smtp/SmtpError.h"

namespace {

using fuzz::Script;
using fuzz::ScriptTransport;

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Every write is whole CRLF lines: no bare CR or LF, nothing after the last CRLF.
void CheckLines(const std::string& bytes) {
  FUZZ_CHECK(bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') FUZZ_CHECK(i + 1 < bytes.size() && bytes[i + 1] == '\n');
    if (bytes[i] == '\n') FUZZ_CHECK(i > 0 && bytes[i - 1] == '\r');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t flags = in.Byte();
  auto script = std::make_shared<Script>();
  script->pieceSeed = in.Byte();
  script->refuseConnect = (flags & 0x80) && (flags & 0x40);
  script->failHandshake = flags & 0x20;
  script->segments = {in.Rest()};

  smtp::SendRequest r;
  r.server = "mail.example.com";
  r.authenticationType = flags & 3;
  r.username = "user";
  r.password = (flags & 0x10) ? std::string(400, 'p') : "secret";  // long enough for a two-step AUTH PLAIN
  r.sendTo = "ann@example.com, Bob <bob@example.org>";
  r.cc = (flags & 8) ? "ann@example.com; carl@example.net" : "";
  r.mailFrom = (flags & 4) ? "" : "Corvane <me@example.com>";
  r.messageSubject = "IP Address Change";
  r.messageText = "New IP Address:  192.0.2.7\n.\n..and a line that starts with a dot\r\n";
  // The modes the program uses (TLS from the first byte on 465, STARTTLS when
  // offered on any other port) and the required STARTTLS.
  r.tls = (flags & 0x40)   ? smtp::TlsMode::StartTls
          : (flags & 0x80) ? smtp::TlsMode::Implicit
                           : smtp::TlsMode::StartTlsIfOffered;
  r.timeoutMs = 60000;

  smtp::MessageStamp stamp{1700000000, 60, "1700000000.fuzz", "fuzz.example"};
  auto upgrade = [script](std::unique_ptr<net::Transport> plain, const std::string&, int,
                          net::TlsCheck) -> std::unique_ptr<net::Transport> {
    FUZZ_CHECK(plain != nullptr);
    if (script->failHandshake) throw net::TransportError(net::TransportError::Kind::Failed, "handshake failed");
    script->upgraded = true;
    return plain;
  };
  smtp::Client client([script] { return std::make_unique<ScriptTransport>(script); }, upgrade);

  const bool authenticates = r.authenticationType == smtp::kAuthLogin || r.authenticationType == smtp::kAuthPlain;
  // Every form the password takes on the wire; the server is no loopback
  // host, so none of them may ever go out in the clear.
  const std::string secrets[] = {
      r.password, net::Base64Encode(r.password),
      net::Base64Encode(std::string("\0", 1) + r.username + std::string("\0", 1) + r.password)};

  bool sent = false;
  try {
    const smtp::SendResult result = client.Send(r, stamp);
    sent = true;
    FUZZ_CHECK(result.accepted.code == 250);
    FUZZ_CHECK(result.messageId == "<1700000000.fuzz@fuzz.example>");
  } catch (const smtp::SendError& e) {
    // The request is valid, so only the server can have ended the send.
    FUZZ_CHECK(e.stage() != smtp::Stage::Input);
    FUZZ_CHECK(e.replyCode() == 0 || (e.replyCode() >= 200 && e.replyCode() <= 599));
    FUZZ_CHECK(*e.what() != '\0');
    // A server that echoes the login never gets it quoted back in the text.
    if (r.authenticationType != smtp::kAuthNone) {
      for (const std::string& secret : secrets) FUZZ_CHECK(std::string(e.what()).find(secret) == std::string::npos);
    }
  }

  bool smtpStarted = false, dataSent = false, messageSent = false;
  std::size_t quitOn = 0;  // the connection that last sent QUIT
  for (const auto& w : script->writes) {
    // QUIT ends its connection: nothing follows it there.
    FUZZ_CHECK(quitOn == 0 || w.connection != quitOn);
    CheckLines(w.bytes);
    const bool quit = w.bytes == "QUIT\r\n";
    // After DATA comes the message, or the QUIT that follows its refusal.
    if (dataSent && !messageSent && !quit) {
      // The message itself: dot-stuffed and ended by a lone dot.
      messageSent = true;
      FUZZ_CHECK(w.bytes.size() >= 5 && w.bytes.find("\r\n.\r\n") == w.bytes.size() - 5);
      FUZZ_CHECK(w.bytes.find("\r\n..\r\n...and") != std::string::npos);
      continue;
    }
    // Everything else is one line; only AUTH's answers may pass the command limit.
    FUZZ_CHECK(w.bytes.find("\r\n") == w.bytes.size() - 2);
    FUZZ_CHECK(w.bytes.size() <= 512 || authenticates);
    if (StartsWith(w.bytes, "EHLO ") || StartsWith(w.bytes, "HELO ")) smtpStarted = true;
    if (quit) quitOn = w.connection;
    // POP-before-SMTP talks to its own server first; nothing else comes
    // before the hello but the QUIT that answers a refusing greeting.
    if (!smtpStarted) FUZZ_CHECK(r.authenticationType == smtp::kAuthPop3 || quit);
    // Once TLS was asked for, nothing but the hello, STARTTLS and the QUIT
    // after a refusal may go out in the clear.
    if (smtpStarted && r.tls == smtp::TlsMode::StartTls && !w.afterTls)
      FUZZ_CHECK(StartsWith(w.bytes, "EHLO ") || StartsWith(w.bytes, "HELO ") || w.bytes == "STARTTLS\r\n" || quit);
    if (!authenticates) FUZZ_CHECK(!StartsWith(w.bytes, "AUTH"));
    if (!w.afterTls) {
      for (const char* verb : {"AUTH", "USER ", "PASS "}) FUZZ_CHECK(!StartsWith(w.bytes, verb));
      for (const std::string& secret : secrets) FUZZ_CHECK(w.bytes.find(secret) == std::string::npos);
      if (smtpStarted) FUZZ_CHECK(r.tls != smtp::TlsMode::Implicit);
    }
    if (w.bytes == "DATA\r\n") dataSent = true;
  }
  if (sent) FUZZ_CHECK(messageSent);
  return 0;
}
