#include "app/Ipv6Choice.h"

#include <cstdio>

namespace app {

bool IsGlobalIpv6(const Ipv6Bytes& b) {
  if ((b[0] & 0xE0) != 0x20) return false;
  const bool teredo = b[0] == 0x20 && b[1] == 0x01 && b[2] == 0x00 && b[3] == 0x00;
  const bool sixToFour = b[0] == 0x20 && b[1] == 0x02;
  return !teredo && !sixToFour;
}

// The system documents a random suffix as the anonymous address it makes from
// a router advertisement, and a suffix from the link-layer address (which it
// may itself randomise once, per interface, and then keep) as the address
// made from the same advertisement for the long term. So a random suffix on
// an advertised prefix is the temporary one, and every other pairing (manual,
// DHCPv6, link-layer suffix) names the computer for as long as the prefix
// lasts.
bool IsTemporaryIpv6(const Ipv6UnicastAddress& a) {
  return a.prefixOrigin == Ipv6PrefixOrigin::RouterAdvertisement && a.suffixOrigin == Ipv6SuffixOrigin::Random;
}

namespace {

bool IsUsable(const Ipv6UnicastAddress& a) {
  // A preferred lifetime of 0 is a deprecated address whatever state the
  // system still reports: the old prefix's address after a re-dial.
  return IsGlobalIpv6(a.bytes) && a.dadState == Ipv6DadState::Preferred && a.preferredLifetime != 0 &&
         !IsTemporaryIpv6(a);
}

// The newest prefix has the longest valid lifetime left (an infinite one, of a
// configured address, beats any); equal lifetimes fall to the lowest address,
// so the choice does not flip between checks with the order the system lists.
bool IsBetter(const Ipv6UnicastAddress& a, const Ipv6UnicastAddress& b) {
  if (a.validLifetime != b.validLifetime) return a.validLifetime > b.validLifetime;
  return a.bytes < b.bytes;
}

}  // namespace

std::string ChooseStableIpv6(const std::vector<Ipv6Adapter>& adapters) {
  const Ipv6UnicastAddress* best = nullptr;
  for (const Ipv6Adapter& adapter : adapters) {
    if (!adapter.up || adapter.loopback || adapter.tunnel) continue;
    for (const Ipv6UnicastAddress& address : adapter.addresses) {
      if (IsUsable(address) && (!best || IsBetter(address, *best))) best = &address;
    }
  }
  return best ? FormatIpv6(best->bytes) : std::string();
}

std::string FormatIpv6(const Ipv6Bytes& bytes) {
  std::array<unsigned, 8> groups{};
  for (size_t i = 0; i < groups.size(); ++i) groups[i] = (unsigned{bytes[2 * i]} << 8) | bytes[2 * i + 1];

  // The longest run of zero groups, the first when runs are equal; a single
  // zero group stays written out.
  size_t runStart = groups.size(), runLength = 0;
  for (size_t i = 0; i < groups.size();) {
    if (groups[i] != 0) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < groups.size() && groups[end] == 0) ++end;
    if (end - i > runLength) {
      runStart = i;
      runLength = end - i;
    }
    i = end;
  }
  if (runLength < 2) runStart = groups.size();

  std::string text;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (i == runStart) {
      text += "::";
      i += runLength - 1;
      continue;
    }
    if (!text.empty() && text.back() != ':') text += ':';
    char group[5];
    std::snprintf(group, sizeof group, "%x", groups[i]);
    text += group;
  }
  return text;
}

}  // namespace app
