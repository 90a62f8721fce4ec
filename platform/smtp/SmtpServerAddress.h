#pragma once
// The mail server as the user types it: "host", "host:port", "[v6]:port" or a
// bare IPv6 address. Providers give their submission port with the name, so
// the one settings field has to carry both.
#include <string>

#include "smtp/SmtpRequest.h"

namespace smtp {

// The port that means TLS from the first byte; every other port starts in
// plain text and upgrades with STARTTLS when the server offers it.
inline constexpr int kImplicitTlsPort = 465;

struct ServerAddress {
  std::string host;  // without brackets: what name lookup and the certificate check want
  int port = 25;
};

// Splits off a port; without one, `defaultPort` applies. A port that is
// empty, not all digits, 0 or above 65535 throws SendError(Stage::Input)
// naming the text, so nothing is sent to a guessed port.
ServerAddress ParseServerAddress(const std::string& text, int defaultPort);

// The port that means TLS from the first byte for POP-before-SMTP.
inline constexpr int kImplicitPop3TlsPort = 995;

// How a connection to `port` secures itself: TLS from the first byte on 465,
// STARTTLS where the server offers it everywhere else.
TlsMode TlsModeForPort(int port);

}  // namespace smtp
