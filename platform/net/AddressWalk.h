#pragma once
// The two steps every TCP connect takes, whichever sockets it uses: the
// name looked up within the time left, then its addresses tried in turn
// until one connects, the one deadline bounding both.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#endif

#include <functional>
#include <memory>
#include <string>

#include "net/Deadline.h"

namespace net {

struct AddressListFree {
  void operator()(addrinfo* list) const noexcept { freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListFree>;

// The TCP addresses of host:port, never empty. An address typed as digits
// is read at once. A name is looked up on a thread of its own: the system's
// lookup has no time-out, and a resolver that hangs would hold the caller
// past every bound, so one still running at the deadline is left to finish
// alone, its answer dropped, and the caller gets a TimedOut TransportError.
// A failed lookup is a Failed one, its code worded by `errorText`.
AddressList LookUpWithin(const std::string& host, int port, Clock::time_point deadline,
                         const std::function<std::string(int code)>& errorText);

// How one address's connect ended. `error` words a failure.
struct Attempt {
  enum class Outcome { Connected, Failed, TimedOut };
  Outcome outcome = Outcome::Failed;
  std::string error;
};

// Tries the addresses in their order with `attempt` and returns the one
// that connected. An attempt that ran out of time ends the walk, since the
// deadline is the whole connect's. Throws TransportError: TimedOut, or
// Failed with the last address's words.
const addrinfo& ConnectFirst(const addrinfo* list, const std::function<Attempt(const addrinfo&)>& attempt);

// True when the address is this machine's own (127/8, ::1 or ::ffff:127/104).
bool IsLoopback(const addrinfo& address);

}  // namespace net
