#include "SmtpServerAddress.h"

#include "SmtpError.h"

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
  ServerAddress address;
  address.port = defaultPort;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close == 1) {
      throw SendError(Stage::Input, "the server \"" + text + "\" has an unclosed or empty '[' address");
    }
    address.host = text.substr(1, close - 1);
    const std::string rest = text.substr(close + 1);
    if (rest.empty()) return address;
    if (rest.front() != ':') throw SendError(Stage::Input, "the server \"" + text + "\" has text after ']'");
    address.port = ParsePort(rest.substr(1), text);
    return address;
  }
  const std::size_t colon = text.find(':');
  // Two or more colons without brackets can only be an IPv6 address, and
  // then nothing in it is a port.
  if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) {
    address.host = text;
    return address;
  }
  address.host = text.substr(0, colon);
  if (address.host.empty())
    throw SendError(Stage::Input, "the server \"" + text + "\" has no host name before the ':'");
  address.port = ParsePort(text.substr(colon + 1), text);
  return address;
}

TlsMode TlsModeForPort(int port) { return port == kImplicitTlsPort ? TlsMode::Implicit : TlsMode::StartTlsIfOffered; }

}  // namespace smtp
