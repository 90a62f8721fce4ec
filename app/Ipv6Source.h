#pragma once
// This computer's IPv6 addresses as the system reports them, and the stable
// global one among them.
#include <string>
#include <vector>

#include "app/Ipv6Choice.h"

namespace app {

// Every adapter with its IPv6 unicast addresses; empty when the system
// reports none or the list cannot be read.
std::vector<Ipv6Adapter> ReadIpv6Adapters();

// The stable global IPv6 address in its RFC 5952 text; empty when there is
// none (or the adapters cannot be read).
std::string StableIpv6Address();

}  // namespace app
