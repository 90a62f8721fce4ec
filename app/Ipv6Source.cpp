#include "app/Ipv6Source.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstring>

namespace app {

namespace {

// The list can grow between the call that sizes the buffer and the one that
// fills it (an adapter coming up); a few rounds are enough, a loop forever is not.
constexpr int kReadAttempts = 4;
// The size the system's documentation suggests for a first try.
constexpr ULONG kFirstBufferBytes = 15 * 1024;

Ipv6UnicastAddress ToAddress(const IP_ADAPTER_UNICAST_ADDRESS_LH& u) {
  Ipv6UnicastAddress a;
  std::memcpy(a.bytes.data(), &reinterpret_cast<const sockaddr_in6*>(u.Address.lpSockaddr)->sin6_addr, 16);
  a.prefixOrigin = static_cast<Ipv6PrefixOrigin>(u.PrefixOrigin);
  a.suffixOrigin = static_cast<Ipv6SuffixOrigin>(u.SuffixOrigin);
  a.dadState = static_cast<Ipv6DadState>(u.DadState);
  a.validLifetime = u.ValidLifetime;
  a.preferredLifetime = u.PreferredLifetime;
  a.prefixLength = u.OnLinkPrefixLength;
  return a;
}

}  // namespace

std::vector<Ipv6Adapter> ReadIpv6Adapters() {
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  // ULONGLONG elements: the structures the system writes need 8-byte alignment.
  std::vector<ULONGLONG> buffer;
  ULONG size = kFirstBufferBytes;
  ULONG status = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < kReadAttempts && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.assign((size + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG), 0);
    size = static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG));
    status =
        GetAdaptersAddresses(AF_INET6, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  std::vector<Ipv6Adapter> adapters;
  if (status != NO_ERROR) return adapters;  // ERROR_NO_DATA: no adapter has IPv6

  for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
    Ipv6Adapter adapter;
    adapter.up = a->OperStatus == IfOperStatusUp;
    adapter.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
    adapter.tunnel = a->IfType == IF_TYPE_TUNNEL;
    for (const IP_ADAPTER_UNICAST_ADDRESS_LH* u = a->FirstUnicastAddress; u; u = u->Next) {
      // An entry shorter than the structure lacks the fields read here.
      if (u->Length < sizeof(*u) || !u->Address.lpSockaddr || u->Address.iSockaddrLength < int{sizeof(sockaddr_in6)} ||
          u->Address.lpSockaddr->sa_family != AF_INET6)
        continue;
      adapter.addresses.push_back(ToAddress(*u));
    }
    adapters.push_back(std::move(adapter));
  }
  return adapters;
}

std::string StableIpv6Address() { return ChooseStableIpv6(ReadIpv6Adapters()); }

}  // namespace app
