#pragma once
// Where a secret may travel without TLS: only to this machine itself, where
// a local relay or tunnel never crosses a network.
#include <string>

#include "net/Transport.h"

namespace net {

// True for a host typed as this machine: "localhost", "::1", or a canonical
// dotted quad in 127.0.0.0/8 (four parts, no leading zeros). Any other text,
// "127.0.0.08" among them, goes to the resolver and so may end up anywhere.
bool IsLoopbackName(const std::string& host);

// True for the four bytes of an IPv4 address in 127.0.0.0/8, or the sixteen
// of ::1 or of such an address mapped into IPv6 (`size` says which).
bool IsLoopbackAddress(const unsigned char* bytes, std::size_t size);

// The same for the address a socket API hands back (in_addr or in6_addr,
// which both APIs name alike).
template <class InAddr>
bool IsLoopbackAddress(const InAddr* address) {
  return IsLoopbackAddress(reinterpret_cast<const unsigned char*>(address), sizeof(InAddr));
}

// Both must hold before a secret goes out in clear: the host was typed as
// loopback, and the connection really reached a loopback address.
inline bool IsLoopbackConnection(const std::string& host, const Transport& connected) {
  return IsLoopbackName(host) && connected.PeerIsLoopback();
}

}  // namespace net
