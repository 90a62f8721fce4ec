#include "smtp/SmtpClient.h"

#include <atomic>
#include <chrono>
#include <random>
#include <vector>

#include "base/AsciiText.h"
#include "net/Base64.h"
#include "net/Deadline.h"
#include "smtp/Pop3Login.h"
#include "smtp/SmtpAddress.h"
#include "smtp/SmtpDialogue.h"
#include "smtp/SmtpError.h"
#include "smtp/SmtpServerAddress.h"
#include "smtp/SmtpSession.h"

namespace smtp {

namespace {

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

// Every form the login takes on the wire, or none when it is not sent.
std::vector<std::string> LoginForms(const SendRequest& r) {
  if (r.authenticationType == kAuthNone) return {};
  const std::string nul(1, '\0');
  return {r.username, r.password, net::Base64Encode(r.username), net::Base64Encode(r.password),
          net::Base64Encode(nul + r.username + nul + r.password)};
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
    Session pop(m_makeTransport(), Dialect::Pop3, r.timeoutMs, wholeDeadline, LoginForms(r));
    pop.Run([&] { Pop3Login(pop, r, m_upgradeToTls); });
  }

  Session s(m_makeTransport(), Dialect::Smtp, r.timeoutMs, wholeDeadline, LoginForms(r));
  const Server server{"", r.server, r.port, "STARTTLS",
                      "use port 465 (" + r.server + ":465) or 587 if the provider has them"};
  Reply accepted;
  s.Run([&] {
    Open(s, server, r.tls == TlsMode::Implicit, m_upgradeToTls);
    accepted = RunSmtpDialogue(s, r, server, message, data, helloName, m_upgradeToTls);
  });
  return SendResult{"<" + stamp.uniqueId + "@" + stamp.host + ">", accepted};
}

}  // namespace smtp
