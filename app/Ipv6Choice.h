#pragma once
// Which of this computer's IPv6 addresses is its stable global one: the
// address a DNS name should carry, chosen from what the system reports of its
// adapters, free of any window or system call.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace app {

// The origins and states as the system numbers them, so a reader can copy the
// values across unchanged.
enum class Ipv6PrefixOrigin : int { Other = 0, Manual = 1, WellKnown = 2, Dhcp = 3, RouterAdvertisement = 4 };
enum class Ipv6SuffixOrigin : int { Other = 0, Manual = 1, WellKnown = 2, Dhcp = 3, LinkLayerAddress = 4, Random = 5 };
enum class Ipv6DadState : int { Invalid = 0, Tentative = 1, Duplicate = 2, Deprecated = 3, Preferred = 4 };

// A lifetime that never runs out, in seconds.
inline constexpr std::uint32_t kIpv6InfiniteLifetime = 0xFFFFFFFFu;

using Ipv6Bytes = std::array<std::uint8_t, 16>;

struct Ipv6UnicastAddress {
  Ipv6Bytes bytes{};
  Ipv6PrefixOrigin prefixOrigin = Ipv6PrefixOrigin::Other;
  Ipv6SuffixOrigin suffixOrigin = Ipv6SuffixOrigin::Other;
  Ipv6DadState dadState = Ipv6DadState::Invalid;
  std::uint32_t validLifetime = 0;      // seconds
  std::uint32_t preferredLifetime = 0;  // seconds; 0 once deprecated
  std::uint8_t prefixLength = 0;        // on-link prefix length
};

struct Ipv6Adapter {
  bool up = false;
  bool loopback = false;
  bool tunnel = false;
  std::vector<Ipv6UnicastAddress> addresses;
};

// True for a global unicast address (2000::/3) that is none of the kinds
// inside it that do not name this computer: Teredo (2001::/32) and 6to4
// (2002::/16). Link-local, unique-local, mapped and multicast addresses lie
// outside 2000::/3.
bool IsGlobalIpv6(const Ipv6Bytes& bytes);

// True for an address made for outgoing connections only and replaced about
// daily (a privacy address): a router-advertised prefix with a random suffix.
bool IsTemporaryIpv6(const Ipv6UnicastAddress& address);

// The stable global address among those of adapters that are up and neither
// loopback nor tunnel, in its RFC 5952 text; empty when none qualifies.
std::string ChooseStableIpv6(const std::vector<Ipv6Adapter>& adapters);

// RFC 5952 text: lower-case hexadecimal without leading zeros, the longest
// run of two or more zero groups (the first of equal runs) written as "::".
std::string FormatIpv6(const Ipv6Bytes& bytes);

}  // namespace app
