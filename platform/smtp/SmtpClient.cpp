#include "smtp/SmtpClient.h"

#include <atomic>
#include <chrono>
#include <random>

#include "base/AsciiText.h"
#include "net/Base64.h"
#include "net/Deadline.h"
#include "net/Loopback.h"
#include "smtp/SmtpAddress.h"
#include "smtp/SmtpCapabilities.h"
#include "smtp/SmtpError.h"
#include "smtp/SmtpServerAddress.h"

namespace smtp {

namespace {

constexpr std::size_t kMaxCommand = 512;  // octets including CRLF

std::string PortText(const std::string& host, int port) { return host + ", port " + std::to_string(port); }

// One connection's worth of state: the transport, bytes received but not yet
// parsed, and where in the dialogue we are, so that a transport failure can be
// reported as what the user was waiting for. Every wait is bounded twice: by
// the step's own time-out and by what is left of the whole send, so a server
// that answers each step just in time cannot hold the send for minutes.
class Session {
 public:
  Session(std::unique_ptr<net::Transport> transport, int timeoutMs, net::Clock::time_point wholeDeadline)
      : m_transport(std::move(transport)), m_timeoutMs(timeoutMs), m_wholeDeadline(wholeDeadline) {}
  ~Session() {
    if (m_transport) m_transport->Close();
  }

  void Connect(const std::string& host, int port) { m_transport->Connect(host, port, StepMs()); }

  void Write(std::string_view bytes) { m_transport->Send(bytes, StepMs()); }

  // Only the verb is ever quoted: the rest may be a password.
  void Command(const std::string& line) {
    if (line.size() + 2 > kMaxCommand)
      throw SendError(stage, "the " + line.substr(0, line.find(' ')) + " command is too long");
    Write(line + "\r\n");
  }

  // The whole reply must arrive within the time-out, however slowly it trickles in.
  Reply ReadReply() {
    auto deadline = StepDeadline();
    for (;;) {
      if (auto reply = TakeReply(m_pending, m_scan)) return *reply;
      ReadMore(deadline);
    }
  }

  // POP3 answers one line: "+OK ..." or "-ERR ...".
  std::string ReadLine() {
    auto deadline = StepDeadline();
    std::size_t searched = 0;
    for (;;) {
      std::size_t end = m_pending.find('\n', searched);
      if (end != std::string::npos) {
        std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
      }
      searched = m_pending.size();
      if (m_pending.size() > 4096) throw MalformedReply("the POP3 server's reply is too long");
      ReadMore(deadline);
    }
  }

  Reply Exchange(const std::string& line) {
    Command(line);
    return ReadReply();
  }

  // Anything the server sent after "220" to STARTTLS was sent in the clear
  // and could be an attacker's; it must not be read as if it came over TLS.
  void UpgradeToTls(const net::TlsUpgrade& upgrade, const std::string& host, net::TlsCheck check) {
    m_pending.clear();
    m_scan = ReplyScan{};
    m_transport = upgrade(std::move(m_transport), host, StepMs(), check);
    if (!m_transport)
      throw net::TransportError(net::TransportError::Kind::Failed, "the TLS layer returned no connection");
    m_secured = true;
  }
  bool secured() const { return m_secured; }
  // Typed as this machine and connected to it: only then may a secret go in clear.
  bool ReachesLoopback(const std::string& host) const { return net::IsLoopbackConnection(host, *m_transport); }

  // QUIT is a courtesy: the message is already accepted, so nothing it does
  // may turn success into failure.
  void QuitQuietly() {
    try {
      Command("QUIT");
      ReadReply();
    } catch (...) {
    }
  }

  Stage stage = Stage::Connect;
  std::string step;  // e.g. "the reply to RCPT TO"

 private:
  net::Clock::time_point StepDeadline() const { return std::min(net::DeadlineAfter(m_timeoutMs), m_wholeDeadline); }
  int StepMs() const { return net::MillisLeftOrTimeOut(StepDeadline()); }

  void ReadMore(net::Clock::time_point deadline) {
    char buffer[4096];
    std::size_t n = m_transport->Receive(buffer, sizeof buffer, net::MillisLeftOrTimeOut(deadline));
    m_pending.append(buffer, n);
  }

  std::unique_ptr<net::Transport> m_transport;
  int m_timeoutMs;
  net::Clock::time_point m_wholeDeadline;
  std::string m_pending;
  ReplyScan m_scan;
  bool m_secured = false;
};

[[noreturn]] void Refuse(Stage stage, const std::string& what, const Reply& reply) {
  throw SendError(stage, what + ": " + reply.Describe(), reply.code);
}

std::string MakeUniqueId(std::int64_t now) {
  static std::atomic<unsigned> counter{0};
  static const std::uint64_t seed = [] {
    std::random_device rd;
    return (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
  }();
  std::mt19937_64 mix(seed ^ static_cast<std::uint64_t>(now) ^ (static_cast<std::uint64_t>(++counter) << 40));
  std::string id = std::to_string(now) + ".";
  std::uint64_t r = mix();
  for (int i = 0; i < 16; ++i, r >>= 4) id += base::HexDigit(static_cast<unsigned>(r), true);
  return id + "." + std::to_string(counter.load());
}

// A server of the send as its texts name it: the mail server, or the POP3
// server that POP-before-SMTP logs in to first.
struct Server {
  std::string kind;  // "" or "the POP3 server "
  std::string host;
  int port;
  std::string tlsCommand;  // how it upgrades: STARTTLS or STLS
  std::string betterPort;  // what to type instead when it offers no encryption
};

// The handshake, after the server agreed to STARTTLS or STLS, or at once for
// TLS from the first byte. Once TLS was tried there is no way back to plain
// text: a failure ends the send.
void Secure(Session& s, const Server& server, const net::TlsUpgrade& upgrade, net::TlsCheck check) {
  s.stage = Stage::Tls;
  s.step = "the TLS handshake";
  if (!upgrade) throw SendError(Stage::Tls, "this program has no TLS support for " + server.kind + server.host);
  try {
    s.UpgradeToTls(upgrade, server.host, check);
  } catch (const net::TransportError& e) {
    throw SendError(Stage::Tls, "the TLS handshake with " + server.kind + server.host + " failed: " + e.what());
  }
}

// Connects, and secures the connection at once where TLS starts with the
// first byte; what is not secured now may be later, by the server's command.
void Open(Session& s, const Server& server, bool implicitTls, const net::TlsUpgrade& upgrade) {
  s.stage = Stage::Connect;
  s.step = "connecting to " + server.kind + PortText(server.host, server.port);
  try {
    s.Connect(server.host, server.port);
  } catch (const net::TransportError& e) {
    throw SendError(Stage::Connect,
                    "cannot connect to " + server.kind + PortText(server.host, server.port) + ": " + e.what());
  }
  if (implicitTls) Secure(s, server, upgrade, net::TlsCheck::Strict);
}

// A password goes in clear only to this machine itself.
void RequireEncryption(const Session& s, const Server& server) {
  if (s.secured() || s.ReachesLoopback(server.host)) return;
  throw SendError(Stage::Authentication, (server.kind.empty() ? "the server " : server.kind) + server.host +
                                             " offered no encryption (" + server.tlsCommand +
                                             "), so the password was not sent; " + server.betterPort);
}

// A POP3 server may list STLS among its capabilities (RFC 2595). A server
// that does not know CAPA answers -ERR, which simply means no STLS.
bool Pop3OffersStls(Session& s) {
  s.step = "the reply to CAPA";
  s.Command("CAPA");
  if (s.ReadLine().rfind("+OK", 0) != 0) return false;
  bool stls = false;
  for (int lines = 0;; ++lines) {
    std::string line = s.ReadLine();
    if (line == ".") return stls;
    if (lines > 100) throw MalformedReply("the POP3 server's capability list does not end");
    if (line == "STLS" || line.rfind("STLS ", 0) == 0) stls = true;
  }
}

void Pop3Login(Session& s, const SendRequest& r, const net::TlsUpgrade& upgrade) {
  const std::string& host = r.popServer.empty() ? r.server : r.popServer;
  const Server server{"the POP3 server ", host, r.popPort, "STLS",
                      "use port 995 (" + host + ":995) if the server has it"};
  Open(s, server, r.popTls == TlsMode::Implicit, upgrade);
  s.stage = Stage::Authentication;
  auto expectOk = [&](const std::string& what) {
    std::string line = s.ReadLine();
    if (line.rfind("+OK", 0) != 0) throw SendError(Stage::Authentication, "POP3 login failed (" + what + "): " + line);
  };
  s.step = "the POP3 greeting";
  expectOk("greeting");
  if (!s.secured() && r.popTls != TlsMode::None && upgrade && Pop3OffersStls(s)) {
    s.step = "the reply to STLS";
    s.Command("STLS");
    expectOk("STLS");
    Secure(s, server, upgrade, net::TlsCheck::Strict);
    s.stage = Stage::Authentication;
  }
  RequireEncryption(s, server);
  s.step = "the reply to USER";
  s.Command("USER " + r.username);
  expectOk("USER");
  s.step = "the reply to PASS";
  s.Command("PASS " + r.password);
  expectOk("PASS");
  try {
    s.Command("QUIT");
    s.ReadLine();
  } catch (...) {
  }
}

void Authenticate(Session& s, const SendRequest& r, const Capabilities& caps) {
  const std::string mech = r.authenticationType == kAuthLogin ? "LOGIN" : "PLAIN";
  s.stage = Stage::Authentication;
  s.step = "the reply to AUTH " + mech;
  // Servers that announce AUTH but not this mechanism will only answer 504;
  // saying what they do offer tells the user which setting to change.
  if (caps.extended && !caps.authMechs.empty() && !caps.HasAuth(mech)) {
    std::string offered;
    for (const auto& m : caps.authMechs) offered += (offered.empty() ? "" : " ") + m;
    throw SendError(Stage::Authentication,
                    "the server does not offer " + mech + " authentication (it offers: " + offered + ")");
  }
  auto failed = [&](const Reply& reply) {
    Refuse(Stage::Authentication, "authentication failed (" + mech + ")", reply);
  };
  // An empty value still has to be a line the server can read.
  auto encode = [](const std::string& v) { return v.empty() ? std::string("=") : net::Base64Encode(v); };
  Reply reply;
  if (mech == "PLAIN") {
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
    s.step = "the reply to the user name";
    s.Write(encode(r.username) + "\r\n");
    reply = s.ReadReply();
    if (reply.code != 334) failed(reply);
    s.step = "the reply to the password";
    s.Write(encode(r.password) + "\r\n");
    reply = s.ReadReply();
  }
  if (reply.code != 235) failed(reply);
}

Capabilities Hello(Session& s, const std::string& name) {
  s.stage = Stage::Hello;
  s.step = "the reply to EHLO";
  Reply reply = s.Exchange("EHLO " + name);
  if (reply.code == 250) return ParseCapabilities(reply);
  s.step = "the reply to HELO";
  Reply helo = s.Exchange("HELO " + name);
  if (helo.code != 250) Refuse(Stage::Hello, "the server rejected the greeting HELO " + name, helo);
  return Capabilities{};
}

// The greeting and EHLO, then STARTTLS where it is wanted or offered, and
// EHLO again over TLS. Returns what the server offers once secured.
Capabilities Greet(Session& s, const SendRequest& r, const Server& server, const std::string& helloName,
                   bool sendsCredentials, const net::TlsUpgrade& upgrade) {
  s.stage = Stage::Greeting;
  s.step = "the greeting";
  Reply greeting = s.ReadReply();
  if (greeting.code != 220) Refuse(Stage::Greeting, "the server refused the connection", greeting);

  Capabilities caps = Hello(s, helloName);
  const bool wantStartTls = r.tls == TlsMode::StartTls || (r.tls == TlsMode::StartTlsIfOffered && caps.startTls);
  if (!wantStartTls) return caps;
  s.stage = Stage::Tls;
  s.step = "the reply to STARTTLS";
  if (!caps.startTls) throw SendError(Stage::Tls, "the server does not offer STARTTLS");
  Reply reply = s.Exchange("STARTTLS");
  if (reply.code != 220) Refuse(Stage::Tls, "the server refused STARTTLS", reply);
  // Without a password on the line, an unverifiable certificate still
  // buys encryption; with one, or when the user demanded TLS, it ends here.
  const bool opportunistic = r.tls == TlsMode::StartTlsIfOffered && !sendsCredentials;
  Secure(s, server, upgrade, opportunistic ? net::TlsCheck::Opportunistic : net::TlsCheck::Strict);
  // What the server announced before TLS may have been tampered with.
  return Hello(s, helloName);
}

// The envelope and the message. Returns the server's acceptance.
Reply Transfer(Session& s, const PreparedMessage& message, const std::string& data, const Capabilities& caps) {
  s.stage = Stage::Message;
  if (caps.size && caps.sizeLimit > 0 && data.size() > caps.sizeLimit) {
    throw SendError(Stage::Message, "the message (" + std::to_string(data.size()) +
                                        " bytes) is larger than the server accepts (" + std::to_string(caps.sizeLimit) +
                                        " bytes)");
  }
  s.stage = Stage::Sender;
  s.step = "the reply to MAIL FROM";
  std::string mailFrom = "MAIL FROM:<" + message.sender + ">";
  if (caps.size) mailFrom += " SIZE=" + std::to_string(data.size());
  Reply reply = s.Exchange(mailFrom);
  if (reply.code != 250) {
    Refuse(Stage::Sender, "the server rejected the sender address " + (message.sender.empty() ? "<>" : message.sender),
           reply);
  }
  s.stage = Stage::Recipient;
  s.step = "the reply to RCPT TO";
  for (const std::string& rcpt : message.recipients) {
    reply = s.Exchange("RCPT TO:<" + rcpt + ">");
    if (reply.code != 250 && reply.code != 251)
      Refuse(Stage::Recipient, "the server rejected the recipient address " + rcpt, reply);
  }
  s.stage = Stage::Message;
  s.step = "the reply to DATA";
  reply = s.Exchange("DATA");
  if (reply.code != 354) Refuse(Stage::Message, "the server did not accept the message", reply);
  s.step = "the reply after the message was sent; it may have been delivered";
  s.Write(data);
  reply = s.ReadReply();
  if (reply.code != 250) Refuse(Stage::Message, "the server did not accept the message", reply);
  return reply;
}

std::string TransportFailureText(const net::TransportError& e, const std::string& step) {
  std::string where = step.empty() ? "" : " (" + step + ")";
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

// Runs one session's part of the send, turning what its transport or a
// garbled reply throws into the one error a send ends with, named after the
// step the session had reached.
template <typename Body>
auto InSession(Session& s, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const net::TransportError& e) {
    throw SendError(s.stage, TransportFailureText(e, s.step));
  } catch (const MalformedReply& e) {
    throw SendError(s.stage, std::string(e.what()) + " (" + s.step + ")");
  }
}

}  // namespace

bool IsValidHostName(const std::string& name) {
  if (name.empty() || name.size() > 255) return false;
  if (name.front() == '[') {
    if (name.back() != ']' || name.size() < 3) return false;
    for (std::size_t i = 1; i + 1 < name.size(); ++i) {
      char c = name[i];
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == ':')) return false;
    }
    return true;
  }
  for (char c : name) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.')) return false;
  }
  return true;
}

void ValidateRequest(const SendRequest& r) {
  auto refuse = [](const std::string& text) { throw SendError(Stage::Input, text); };
  if (r.server.empty()) refuse("no mail server was given");
  for (auto [value, name] : {std::pair{&r.server, "server name"},
                             {&r.popServer, "POP3 server name"},
                             {&r.username, "user name"},
                             {&r.password, "password"},
                             {&r.clientHostName, "client host name"}}) {
    if (HasLineBreakOrNul(*value)) refuse("the " + std::string(name) + " contains a line break or NUL character");
  }
  for (auto* host : {&r.server, &r.popServer}) {
    if (host->find_first_of(" \t") != std::string::npos) refuse("the server name \"" + *host + "\" contains a blank");
  }
  if (r.port < 1 || r.port > 65535) refuse("the port " + std::to_string(r.port) + " is not a valid port number");
  if (r.popPort < 1 || r.popPort > 65535) refuse("the POP3 port " + std::to_string(r.popPort) + " is not valid");
  if (r.timeoutMs <= 0) refuse("the time-out must be greater than zero");
  if (r.wholeSendMs <= 0) refuse("the time allowed for the whole send must be greater than zero");
  switch (r.authenticationType) {
    case kAuthNone:
      break;
    case kAuthPop3:
    case kAuthLogin:
    case kAuthPlain:
      if (r.username.empty()) refuse("authentication needs a user name");
      break;
    default:
      refuse("unknown authentication type " + std::to_string(r.authenticationType));
  }
  if (!r.clientHostName.empty() && !IsValidHostName(r.clientHostName)) {
    refuse("the client host name \"" + r.clientHostName + "\" is not a valid host name");
  }
}

Client::Client(net::TransportFactory makeTransport, net::TlsUpgrade upgradeToTls)
    : m_makeTransport(std::move(makeTransport)), m_upgradeToTls(std::move(upgradeToTls)) {}

std::string Client::DefaultHostName() {
  std::string name;
  try {
    name = m_makeTransport()->LocalHostName();
  } catch (...) {
  }
  return IsValidHostName(name) ? name : "localhost";
}

SendResult Client::Send(const SendRequest& request) {
  ValidateRequest(request);
  // Stamped only once the request is known to be sound.
  MessageStamp stamp;
  stamp.unixTime =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  stamp.zoneOffsetMinutes = LocalZoneOffsetMinutes(stamp.unixTime);
  stamp.uniqueId = MakeUniqueId(stamp.unixTime);
  stamp.host = request.clientHostName.empty() ? DefaultHostName() : request.clientHostName;
  return Deliver(request, stamp);
}

SendResult Client::Send(const SendRequest& request, const MessageStamp& stamp) {
  ValidateRequest(request);
  return Deliver(request, stamp);
}

SendResult Client::Deliver(const SendRequest& r, const MessageStamp& stamp) {
  PreparedMessage message = PrepareMessage(r, stamp);
  const std::string data = DotStuff(message.content);
  const std::string helloName = r.clientHostName.empty() ? stamp.host : r.clientHostName;
  if (r.tls != TlsMode::None && !m_upgradeToTls) {
    throw SendError(Stage::Input, "TLS was requested but this program has no TLS support");
  }

  const auto wholeDeadline = net::DeadlineAfter(r.wholeSendMs);
  if (r.authenticationType == kAuthPop3) {
    Session pop(m_makeTransport(), r.timeoutMs, wholeDeadline);
    InSession(pop, [&] { Pop3Login(pop, r, m_upgradeToTls); });
  }

  Session s(m_makeTransport(), r.timeoutMs, wholeDeadline);
  const Server server{"", r.server, r.port, "STARTTLS",
                      "use port 465 (" + r.server + ":465) or 587 if the provider has them"};
  const bool sendsCredentials = r.authenticationType == kAuthLogin || r.authenticationType == kAuthPlain;
  return InSession(s, [&] {
    Open(s, server, r.tls == TlsMode::Implicit, m_upgradeToTls);
    const Capabilities caps = Greet(s, r, server, helloName, sendsCredentials, m_upgradeToTls);
    if (sendsCredentials) {
      RequireEncryption(s, server);
      Authenticate(s, r, caps);
    }
    const Reply accepted = Transfer(s, message, data, caps);
    s.QuitQuietly();
    return SendResult{"<" + stamp.uniqueId + "@" + stamp.host + ">", accepted};
  });
}

}  // namespace smtp
