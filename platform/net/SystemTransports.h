#pragma once
// The way out every client of the program takes: Winsock for the
// connection, Schannel for TLS over it, checked against the Windows trust
// store. Wired once, so the mail and the web calls cannot drift apart.
#include "net/Transport.h"

namespace net {

struct SystemTransports {
  TransportFactory connect;
  TlsUpgrade secure;
};

SystemTransports WindowsTransports();

}  // namespace net
