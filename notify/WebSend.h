#pragma once
// The web notification sent for real: the values of this computer and this
// moment put in, the call made through the system's network under the page
// fetch's rules, and the answer read.
#include <ctime>
#include <string>

#include "WebNotify.h"

namespace notify {

// The values for a change from `old` to `ip` noticed at `now`.
WebValues ValuesFor(const std::string& ip, const std::string& old, std::time_t now);

// Sends one target: its method, its headers (refused as a whole, naming the
// line, when one is bad) and its body. Never throws: a call that cannot be
// made, for whatever reason, is a failed answer, whose words quote no more
// of the address than its scheme and host.
ChannelResult SendWebNotification(const settings::WebSettings& web, const WebValues& values);

inline constexpr char kBadAddress[] =
    "The web notification could not be sent: its address is not a complete http:// or https:// address.";

}  // namespace notify
