// Which IPv6 address is this computer's stable global one, and its text.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <functional>

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

// A stable address of a router-advertised prefix, as Windows lists it; each
// row changes what it is about.
Ipv6UnicastAddress Address(const char* text, const std::function<void(Ipv6UnicastAddress&)>& change = {}) {
  Ipv6UnicastAddress a;
  a.bytes = Bytes(text);
  a.prefixOrigin = Ipv6PrefixOrigin::RouterAdvertisement;
  a.suffixOrigin = Ipv6SuffixOrigin::LinkLayerAddress;
  a.dadState = Ipv6DadState::Preferred;
  a.validLifetime = 86400;
  a.preferredLifetime = 14400;
  a.prefixLength = 64;
  if (change) change(a);
  return a;
}

Ipv6Adapter Ethernet(std::vector<Ipv6UnicastAddress> addresses) {
  Ipv6Adapter adapter;
  adapter.up = true;
  adapter.addresses = std::move(addresses);
  return adapter;
}

std::string Choose(std::vector<Ipv6Adapter> adapters) { return app::ChooseStableIpv6(adapters); }

struct Row {
  const char* what;
  std::vector<Ipv6Adapter> adapters;
  const char* chosen;
};

TEST(ChooseStableIpv6, Table) {
  auto on = [](Ipv6UnicastAddress a) { return std::vector<Ipv6Adapter>{Ethernet({a})}; };
  auto adapter = [](std::function<void(Ipv6Adapter&)> change) {
    Ipv6Adapter a = Ethernet({Address("2001:db8:1::10")});
    change(a);
    return std::vector<Ipv6Adapter>{a};
  };
  const Row rows[] = {
      {"advertised prefix, link-layer suffix", on(Address("2001:db8:1::10")), "2001:db8:1::10"},
      {"manual",
       on(Address("2a01:4f8::5",
                  [](auto& a) {
                    a.prefixOrigin = Ipv6PrefixOrigin::Manual;
                    a.suffixOrigin = Ipv6SuffixOrigin::Manual;
                  })),
       "2a01:4f8::5"},
      {"a DHCPv6 lease is a /128 and stays usable",
       on(Address("2001:db8:1::77",
                  [](auto& a) {
                    a.prefixOrigin = Ipv6PrefixOrigin::Dhcp;
                    a.suffixOrigin = Ipv6SuffixOrigin::Dhcp;
                    a.prefixLength = 128;
                  })),
       "2001:db8:1::77"},
      {"temporary",
       on(Address("2001:db8:1:0:5d1e:9a3b:c2f0:7a11", [](auto& a) { a.suffixOrigin = Ipv6SuffixOrigin::Random; })), ""},
      {"tentative", on(Address("2001:db8:1::10", [](auto& a) { a.dadState = Ipv6DadState::Tentative; })), ""},
      {"duplicate", on(Address("2001:db8:1::10", [](auto& a) { a.dadState = Ipv6DadState::Duplicate; })), ""},
      {"deprecated", on(Address("2001:db8:1::10", [](auto& a) { a.dadState = Ipv6DadState::Deprecated; })), ""},
      {"invalid", on(Address("2001:db8:1::10", [](auto& a) { a.dadState = Ipv6DadState::Invalid; })), ""},
      {"preferred lifetime 0", on(Address("2001:db8:1::10", [](auto& a) { a.preferredLifetime = 0; })), ""},
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
      {"adapter down", adapter([](auto& a) { a.up = false; }), ""},
      {"loopback adapter", adapter([](auto& a) { a.loopback = true; }), ""},
      {"tunnel adapter", adapter([](auto& a) { a.tunnel = true; }), ""},
      {"the old prefix alone, deprecated, with the longest valid lifetime",
       on(Address("2001:db8:1::10",
                  [](auto& a) {
                    a.preferredLifetime = 0;
                    a.dadState = Ipv6DadState::Deprecated;
                    a.validLifetime = 90000;
                  })),
       ""},
      {"the newest prefix wins over lower bytes",
       {Ethernet({Address("2001:db8:1::10", [](auto& a) { a.validLifetime = 3000; }),
                  Address("2001:db8:2::10", [](auto& a) { a.validLifetime = 86400; })})},
       "2001:db8:2::10"},
      {"a configured address outlives any advertised prefix",
       {Ethernet({Address("2001:db8:1::10", [](auto& a) { a.validLifetime = 2592000; }),
                  Address("2001:db8:9::1",
                          [](auto& a) {
                            a.prefixOrigin = Ipv6PrefixOrigin::Manual;
                            a.suffixOrigin = Ipv6SuffixOrigin::Manual;
                            a.validLifetime = app::kIpv6InfiniteLifetime;
                            a.preferredLifetime = app::kIpv6InfiniteLifetime;
                          })})},
       "2001:db8:9::1"},
      {"a temporary address with a longer lifetime is passed over",
       {Ethernet({Address("2001:db8:1::10"), Address("2001:db8:1::abcd",
                                                     [](auto& a) {
                                                       a.suffixOrigin = Ipv6SuffixOrigin::Random;
                                                       a.validLifetime = 604800;
                                                     })})},
       "2001:db8:1::10"},
      {"equal lifetimes: the lowest address, across adapters",
       {Ethernet({Address("2001:db8:5::1")}), Ethernet({Address("2001:db8:3::1"), Address("2001:db8:4::1")})},
       "2001:db8:3::1"},
      {"nothing usable",
       {Ethernet({Address("fe80::1"), Address("fd00::10"),
                  Address("2001:db8:1::abcd", [](auto& a) { a.suffixOrigin = Ipv6SuffixOrigin::Random; }),
                  Address("2001:db8:1::10", [](auto& a) { a.preferredLifetime = 0; })}),
        adapter([](auto& a) { a.tunnel = true; })[0], adapter([](auto& a) { a.up = false; })[0]},
       ""},
      {"no adapters", {}, ""},
  };
  for (const Row& row : rows) EXPECT_EQ(row.chosen, Choose(row.adapters)) << row.what;

  // The prefix change in full: the old address deprecated, with more of its
  // valid lifetime left than the new one has, loses to the new one.
  const auto oldAddress = Address("2001:db8:1::10", [](auto& a) {
    a.dadState = Ipv6DadState::Deprecated;
    a.preferredLifetime = 0;
    a.validLifetime = 7200;
  });
  const auto newAddress = Address("2001:db8:2::10", [](auto& a) { a.validLifetime = 3600; });
  EXPECT_EQ("2001:db8:2::10", Choose({Ethernet({oldAddress, newAddress})}));
}

TEST(ChooseStableIpv6, TheOrderOfTheListDoesNotChangeTheChoice) {
  const auto a = Address("2001:db8:7::2"), b = Address("2001:db8:7::1");
  EXPECT_EQ("2001:db8:7::1", Choose({Ethernet({a, b})}));
  EXPECT_EQ("2001:db8:7::1", Choose({Ethernet({b, a})}));
  EXPECT_EQ("2001:db8:7::1", Choose({Ethernet({a}), Ethernet({b})}));
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
