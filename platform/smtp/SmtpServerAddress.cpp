#include "smtp/SmtpServerAddress.h"

#include "base/HostPort.h"
#include "smtp/SmtpError.h"

namespace smtp {

namespace {

int ParsePort(const std::string& digits, const std::string& whole) {
  auto bad = [&](const std::string& why) -> int {
    throw SendError(Stage::Input, "the server \"" + whole + "\" has " + why);
  };
  if (digits.empty()) return bad("no port number after the ':'");
  if (digits.find_first_not_of("0123456789") != std::string::npos) {
    return bad("an invalid port \"" + digits + "\" (a port is a number from 1 to 65535)");
  }
  // Leading zeros are harmless, but a long run of digits must not overflow.
  std::size_t first = digits.find_first_not_of('0');
  std::string significant = first == std::string::npos ? "0" : digits.substr(first);
  if (significant.size() > 5 || std::stol(significant) > 65535 || significant == "0") {
    return bad("an invalid port " + digits + " (a port is a number from 1 to 65535)");
  }
  return static_cast<int>(std::stol(significant));
}

}  // namespace

ServerAddress ParseServerAddress(const std::string& text, int defaultPort) {
  const base::HostPort split = base::SplitHostPort(text);
  if (split.fault == base::HostPortFault::UnclosedBracket)
    throw SendError(Stage::Input, "the server \"" + text + "\" has an unclosed or empty '[' address");
  if (split.fault == base::HostPortFault::TextAfterBracket)
    throw SendError(Stage::Input, "the server \"" + text + "\" has text after ']'");
  ServerAddress address;
  address.host = split.host;
  address.port = defaultPort;
  if (!split.port) return address;
  if (address.host.empty())
    throw SendError(Stage::Input, "the server \"" + text + "\" has no host name before the ':'");
  address.port = ParsePort(*split.port, text);
  return address;
}

TlsMode TlsModeForPort(int port) { return port == kImplicitTlsPort ? TlsMode::Implicit : TlsMode::StartTlsIfOffered; }

}  // namespace smtp
