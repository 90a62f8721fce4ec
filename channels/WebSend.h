#pragma once
// The web notification sent for real: the values of this computer and this
// moment put in, the call made through the system's network under the page
// fetch's rules, and the answer read.
#include <ctime>
#include <string>

#include "channels/WebNotify.h"

namespace channels {

// The values for a change from `old` to `ip` noticed at `now`, with no
// IPv6 address: what a run that does not watch IPv6 sends.
WebValues ValuesFor(const std::string& ip, const std::string& old, std::time_t now);
// The same with the IPv6 address `ip6` and what this target was last told
// of it, `old6`.
WebValues ValuesFor(const std::string& ip, const std::string& old, const std::string& ip6, const std::string& old6,
                    std::time_t now);

// Sends one target: its method, its headers (refused as a whole, naming the
// line, when one is bad) and its body. Never throws: a call that cannot be
// made, for whatever reason, is a failed answer, whose words quote no more
// of the address than its scheme and host.
ChannelResult SendWebNotification(const channels::WebSettings& web, const WebValues& values);

inline constexpr char kBadAddress[] =
    "The web notification could not be sent: its address is not a complete http:// or https:// address.";

}  // namespace channels
