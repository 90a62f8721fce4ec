// Which IPv6 address is this computer's stable global one, and its text.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "app/Ipv6Choice.h"

namespace {

using app::Ipv6Adapter;
using app::Ipv6DadState;
using app::Ipv6PrefixOrigin;
using app::Ipv6SuffixOrigin;
using app::Ipv6UnicastAddress;

app::Ipv6Bytes Bytes(const char* text) {
  app::Ipv6Bytes bytes{};
  EXPECT_EQ(1, inet_pton(AF_INET6, text, bytes.data())) << text;
  return bytes;
}

// A stable address of a router-advertised prefix, as Windows lists it; the
// functions below change what a row is about.
Ipv6UnicastAddress Address(const char* text) {
  Ipv6UnicastAddress a;
  a.bytes = Bytes(text);
  a.prefixOrigin = Ipv6PrefixOrigin::RouterAdvertisement;
  a.suffixOrigin = Ipv6SuffixOrigin::LinkLayerAddress;
  a.dadState = Ipv6DadState::Preferred;
  a.validLifetime = 86400;
  a.preferredLifetime = 14400;
  a.prefixLength = 64;
  return a;
}
Ipv6UnicastAddress Temporary(Ipv6UnicastAddress a) {
  a.suffixOrigin = Ipv6SuffixOrigin::Random;
  return a;
}
Ipv6UnicastAddress InState(Ipv6UnicastAddress a, Ipv6DadState state) {
  a.dadState = state;
  return a;
}
// What the old prefix's address looks like after a re-dial.
Ipv6UnicastAddress Deprecated(Ipv6UnicastAddress a) {
  a.dadState = Ipv6DadState::Deprecated;
  a.preferredLifetime = 0;
  return a;
}
Ipv6UnicastAddress Valid(Ipv6UnicastAddress a, std::uint32_t seconds) {
  a.validLifetime = seconds;
  return a;
}
Ipv6UnicastAddress From(Ipv6UnicastAddress a, Ipv6PrefixOrigin prefix, Ipv6SuffixOrigin suffix) {
  a.prefixOrigin = prefix;
  a.suffixOrigin = suffix;
  return a;
}

Ipv6Adapter Ethernet(std::vector<Ipv6UnicastAddress> addresses) {
  Ipv6Adapter adapter;
  adapter.up = true;
  adapter.addresses = std::move(addresses);
  return adapter;
}
Ipv6Adapter Down(Ipv6Adapter a) {
  a.up = false;
  return a;
}
Ipv6Adapter Loopback(Ipv6Adapter a) {
  a.loopback = true;
  return a;
}
Ipv6Adapter Tunnel(Ipv6Adapter a) {
  a.tunnel = true;
  return a;
}

struct Row {
  const char* what;
  std::vector<Ipv6Adapter> adapters;
  const char* chosen;
};

TEST(ChooseStableIpv6, Table) {
  using P = Ipv6PrefixOrigin;
  using S = Ipv6SuffixOrigin;
  auto on = [](Ipv6UnicastAddress a) { return std::vector<Ipv6Adapter>{Ethernet({a})}; };
  const auto global = Address("2001:db8:1::10");
  auto dhcpLease = From(Address("2001:db8:1::77"), P::Dhcp, S::Dhcp);
  dhcpLease.prefixLength = 128;
  auto configured = From(Address("2001:db8:9::1"), P::Manual, S::Manual);
  configured.validLifetime = configured.preferredLifetime = app::kIpv6InfiniteLifetime;
  auto preferredButNoLifetime = global;
  preferredButNoLifetime.preferredLifetime = 0;

  const Row rows[] = {
      {"advertised prefix, link-layer suffix", on(global), "2001:db8:1::10"},
      {"manual", on(From(Address("2a01:4f8::5"), P::Manual, S::Manual)), "2a01:4f8::5"},
      {"a DHCPv6 lease is a /128 and stays usable", on(dhcpLease), "2001:db8:1::77"},
      {"temporary", on(Temporary(Address("2001:db8:1:0:5d1e:9a3b:c2f0:7a11"))), ""},
      {"a random suffix on a prefix not advertised is no temporary address",
       on(From(Address("2001:db8:1::5d1e"), P::Manual, S::Random)), "2001:db8:1::5d1e"},
      {"tentative", on(InState(global, Ipv6DadState::Tentative)), ""},
      {"duplicate", on(InState(global, Ipv6DadState::Duplicate)), ""},
      {"deprecated", on(InState(global, Ipv6DadState::Deprecated)), ""},
      {"invalid", on(InState(global, Ipv6DadState::Invalid)), ""},
      {"preferred lifetime 0 in the preferred state", on(preferredButNoLifetime), ""},
      {"link-local", on(Address("fe80::1")), ""},
      {"unique-local fd00::/8", on(Address("fd00::10")), ""},
      {"unique-local fc00::/8", on(Address("fc00::10")), ""},
      {"Teredo", on(Address("2001:0:4136:e378:8000:63bf:3fff:fdd2")), ""},
      {"next to Teredo", on(Address("2001:1::1")), "2001:1::1"},
      {"6to4", on(Address("2002:c000:204::1")), ""},
      {"next to 6to4", on(Address("2003:e4::1")), "2003:e4::1"},
      {"mapped", on(Address("::ffff:192.0.2.1")), ""},
      {"multicast of global scope", on(Address("ff0e::101")), ""},
      {"loopback address", on(Address("::1")), ""},
      {"below 2000::/3", on(Address("1fff:ffff::1")), ""},
      {"above 2000::/3", on(Address("4000::1")), ""},
      {"top of 2000::/3", on(Address("3fff:ffff::1")), "3fff:ffff::1"},
      {"adapter down", {Down(Ethernet({global}))}, ""},
      {"loopback adapter", {Loopback(Ethernet({global}))}, ""},
      {"tunnel adapter", {Tunnel(Ethernet({global}))}, ""},
      {"prefix change: the old address deprecated with more valid lifetime left",
       {Ethernet({Valid(Deprecated(global), 7200), Valid(Address("2001:db8:2::10"), 3600)})},
       "2001:db8:2::10"},
      {"the newest prefix wins over lower bytes",
       {Ethernet({Valid(global, 3000), Valid(Address("2001:db8:2::10"), 86400)})},
       "2001:db8:2::10"},
      {"a configured address outlives any advertised prefix",
       {Ethernet({Valid(global, 2592000), configured})},
       "2001:db8:9::1"},
      {"a temporary address with a longer lifetime is passed over",
       {Ethernet({global, Valid(Temporary(Address("2001:db8:1::abcd")), 604800)})},
       "2001:db8:1::10"},
      {"equal lifetimes: the lowest address, wherever it is listed",
       {Ethernet({Address("2001:db8:5::1")}), Ethernet({Address("2001:db8:4::1"), Address("2001:db8:3::1")})},
       "2001:db8:3::1"},
      {"nothing usable",
       {Ethernet({Address("fe80::1"), Address("fd00::10"), Temporary(Address("2001:db8:1::abcd")), Deprecated(global)}),
        Tunnel(Ethernet({Address("2001:db8:7::1")})), Down(Ethernet({Address("2001:db8:8::1")}))},
       ""},
      {"no adapters", {}, ""},
  };
  for (const Row& row : rows) EXPECT_EQ(row.chosen, app::ChooseStableIpv6(row.adapters)) << row.what;
}

TEST(FormatIpv6, WritesRfc5952Text) {
  const struct {
    const char* in;
    const char* out;
  } rows[] = {
      {"2001:0DB8:0000:0000:0000:0000:0000:0001", "2001:db8::1"},
      {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},  // one zero group is not a run
      {"2001:0:0:1:0:0:0:1", "2001:0:0:1::1"},           // the longest run
      {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},     // the first of equal runs
      {"2001:db8:00ab:0010::", "2001:db8:ab:10::"},      // no leading zeros; a run at the end
      {"::1", "::1"},
      {"::", "::"},
      {"2001:db8:1:2:3:4:5:6", "2001:db8:1:2:3:4:5:6"},
      {"fe80::ABCD:ef01", "fe80::abcd:ef01"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.out, app::FormatIpv6(Bytes(row.in))) << row.in;
}

}  // namespace
