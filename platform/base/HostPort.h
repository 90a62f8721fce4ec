#pragma once
// "host", "host:port", "[v6]", "[v6]:port" or a bare IPv6 address, as users
// type servers and proxies. An IPv6 address is full of colons, so only the
// brackets (or a single colon) say where a port begins.
#include <optional>
#include <string>
#include <string_view>

namespace base {

enum class HostPortFault { None, UnclosedBracket, TextAfterBracket };

struct HostPort {
  HostPortFault fault = HostPortFault::None;
  std::string host;  // without brackets: what name lookup and a certificate check want
  bool bracketed = false;
  std::optional<std::string> port;  // the text after the ':', possibly empty; none without a ':'
};

// Two or more colons without brackets make the whole text the host.
HostPort SplitHostPort(std::string_view text);

// 1 to 65535 written in at most five digits; -1 for anything else.
int ParsePort(std::string_view digits);

}  // namespace base
