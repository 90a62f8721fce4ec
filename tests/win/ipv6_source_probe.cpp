// Prints what the IPv6 reader makes of this computer's adapters, for the
// script that changes them between runs: every address read, then the chosen
// one on a line "stable=<address>" (empty when there is none).
#include <cstdio>

#include "app/Ipv6Source.h"

int main() {
  for (const app::Ipv6Adapter& adapter : app::ReadIpv6Adapters()) {
    std::printf("adapter up=%d loopback=%d tunnel=%d\n", adapter.up, adapter.loopback, adapter.tunnel);
    for (const app::Ipv6UnicastAddress& a : adapter.addresses)
      std::printf("  %s/%u prefix=%d suffix=%d dad=%d valid=%lu preferred=%lu\n", app::FormatIpv6(a.bytes).c_str(),
                  unsigned{a.prefixLength}, static_cast<int>(a.prefixOrigin), static_cast<int>(a.suffixOrigin),
                  static_cast<int>(a.dadState), static_cast<unsigned long>(a.validLifetime),
                  static_cast<unsigned long>(a.preferredLifetime));
  }
  std::printf("stable=%s\n", app::StableIpv6Address().c_str());
  return 0;
}
