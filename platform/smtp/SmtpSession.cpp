#include "smtp/SmtpSession.h"

#include <algorithm>

#include "net/Loopback.h"

namespace smtp {

namespace {

std::string PortText(const std::string& host, int port) { return host + ", port " + std::to_string(port); }

}  // namespace

Session::Session(std::unique_ptr<net::Transport> transport, Dialect dialect, int timeoutMs,
                 net::Clock::time_point wholeDeadline, std::vector<std::string> secrets)
    : m_transport(std::move(transport)),
      m_dialect(dialect),
      m_timeoutMs(timeoutMs),
      m_wholeDeadline(wholeDeadline),
      m_secrets(std::move(secrets)) {
  m_secrets.erase(std::remove(m_secrets.begin(), m_secrets.end(), std::string()), m_secrets.end());
}

Session::~Session() {
  if (m_transport) m_transport->Close();
}

void Session::Connect(const std::string& host, int port) { m_transport->Connect(host, port, StepMs()); }

void Session::Write(std::string_view bytes) { m_transport->Send(bytes, StepMs()); }

void Session::Command(const std::string& line) {
  if (line.size() + 2 > kMaxCommand) Fail("the " + line.substr(0, line.find(' ')) + " command is too long");
  Write(line + "\r\n");
}

Reply Session::ReadReply() { return ReadReplyBy(StepDeadline()); }

std::string Session::ReadLine() { return ReadLineBy(StepDeadline()); }

Reply Session::Exchange(const std::string& line) {
  Command(line);
  return ReadReply();
}

Reply Session::ReadReplyBy(net::Clock::time_point deadline) {
  for (;;) {
    if (auto reply = TakeReply(m_pending, m_scan)) {
      m_greeted = true;
      return *reply;
    }
    ReadMore(deadline);
  }
}

std::string Session::ReadLineBy(net::Clock::time_point deadline) {
  std::size_t searched = 0;
  for (;;) {
    std::size_t end = m_pending.find('\n', searched);
    if (end != std::string::npos) {
      std::string line = m_pending.substr(0, end);
      m_pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      m_greeted = true;
      return line;
    }
    searched = m_pending.size();
    if (m_pending.size() > 4096) throw MalformedReply("the POP3 server's reply is too long");
    ReadMore(deadline);
  }
}

void Session::ReadMore(net::Clock::time_point deadline) {
  char buffer[4096];
  std::size_t n = m_transport->Receive(buffer, sizeof buffer, net::MillisLeftOrTimeOut(deadline));
  m_pending.append(buffer, n);
}

net::Clock::time_point Session::StepDeadline() const {
  return std::min(net::DeadlineAfter(m_timeoutMs), m_wholeDeadline);
}

// Anything the server sent after "220" to STARTTLS was sent in the clear
// and could be an attacker's; it must not be read as if it came over TLS.
void Session::UpgradeToTls(const net::TlsUpgrade& upgrade, const std::string& host, net::TlsCheck check) {
  m_pending.clear();
  m_scan = ReplyScan{};
  // Handed over whole: if the handshake fails, the connection goes with it.
  m_transport = upgrade(std::move(m_transport), host, StepMs(), check);
  if (!m_transport)
    throw net::TransportError(net::TransportError::Kind::Failed, "the TLS layer returned no connection");
  m_secured = true;
}

void Session::Abandon() {
  if (m_transport) m_transport->Close();
  m_transport.reset();
}

bool Session::ReachesLoopback(const std::string& host) const {
  return m_transport && net::IsLoopbackConnection(host, *m_transport);
}

void Session::QuitQuietly(After after) {
  if (!m_transport || !m_greeted) return;
  try {
    Command("QUIT");
    auto by = StepDeadline();
    if (after == After::Refusal) by = std::min(by, net::DeadlineAfter(kQuitGraceMs));
    if (m_dialect == Dialect::Smtp)
      ReadReplyBy(by);
    else
      ReadLineBy(by);
  } catch (...) {
  }
}

void Session::Fail(const std::string& text, int replyCode) const { throw SendError(stage(), text, replyCode); }

void Session::Refuse(const std::string& what, const Reply& reply) const {
  Fail(what + ": " + Quote(reply.Describe(), what), reply.code);
}

bool Session::Repeats(const std::string& serverText, const std::string& shownAlready) const {
  return std::any_of(m_secrets.begin(), m_secrets.end(), [&](const std::string& secret) {
    return serverText.find(secret) != std::string::npos && shownAlready.find(secret) == std::string::npos;
  });
}

std::string Session::Quote(const std::string& serverText, const std::string& shownAlready) const {
  if (!Repeats(serverText, shownAlready)) return serverText;
  // The first word is a reply code or "-ERR" from a server that speaks the
  // protocol, but whatever else sent it may be the login itself.
  const std::string first = serverText.substr(0, serverText.find(' '));
  if (Repeats(first, shownAlready)) return "(the server's text repeats the login, so it is not shown)";
  return first + " (the rest repeats the login, so it is not shown)";
}

std::string Session::TransportFailureText(const net::TransportError& e) const {
  const std::string where = std::string(" (") + NameOf(m_step).waitingFor + ")";
  switch (e.kind()) {
    case net::TransportError::Kind::TimedOut:
      return "timed out waiting for the server" + where;
    case net::TransportError::Kind::Closed:
    case net::TransportError::Kind::Ended:
    case net::TransportError::Kind::Reset:
      return "the server closed the connection unexpectedly" + where;
    default:
      return "the connection to the server failed" + where + ": " + e.what();
  }
}

// A garbled reply is quoted in part, so it may repeat the login as well.
std::string Session::GarbledReplyText(const MalformedReply& e) const {
  const std::string what =
      Repeats(e.what(), "") ? "the server's reply could not be read, and it repeats the login" : std::string(e.what());
  return what + " (" + NameOf(m_step).waitingFor + ")";
}

void Secure(Session& s, const Server& server, const net::TlsUpgrade& upgrade, net::TlsCheck check) {
  s.At(Step::TlsHandshake);
  if (!upgrade) {
    s.Abandon();
    s.Fail("this program has no TLS support for " + server.kind + server.host);
  }
  try {
    s.UpgradeToTls(upgrade, server.host, check);
  } catch (const net::TransportError& e) {
    s.Abandon();
    s.Fail("the TLS handshake with " + server.kind + server.host + " failed: " + e.what());
  }
}

void Open(Session& s, const Server& server, bool implicitTls, const net::TlsUpgrade& upgrade) {
  s.At(Step::Connect);
  try {
    s.Connect(server.host, server.port);
  } catch (const net::TransportError& e) {
    s.Fail("cannot connect to " + server.kind + PortText(server.host, server.port) + ": " + e.what());
  }
  if (implicitTls) Secure(s, server, upgrade, net::TlsCheck::Strict);
}

void RequireEncryption(const Session& s, const Server& server) {
  if (s.secured() || s.ReachesLoopback(server.host)) return;
  s.Fail((server.kind.empty() ? "the server " : server.kind) + server.host + " offered no encryption (" +
         server.tlsCommand + "), so the password was not sent; " + server.betterPort);
}

}  // namespace smtp
