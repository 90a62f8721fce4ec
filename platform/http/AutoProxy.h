#pragma once
// The proxy a configuration script names for an address: the script at
// `script`, or one found on the network when `detect` is set.
#include <optional>
#include <string>

#include "HttpFetch.h"

namespace http {

// A proxy, "direct" (an engaged empty optional), or nothing usable (the
// caller falls back to the manual setting). The script sees only the
// address's origin. The search runs on a thread of its own and is given
// `timeoutMs`; one that has not answered by then, or one still running from
// an earlier fetch, is a net::TransportError, since going direct could
// bypass a proxy the user's network requires.
std::optional<std::optional<Proxy>> AutomaticProxy(const Url& url, const std::wstring& script, bool detect,
                                                   int timeoutMs);

}  // namespace http
