#pragma once
// The network as this Windows user has it: Winsock connections, Schannel TLS
// checked against the Windows trust store, and the proxy the user's Internet
// settings name (by hand, by a configuration script, or found automatically).
#include "http/HttpFetch.h"

namespace http {

Network SystemNetwork();

}  // namespace http
