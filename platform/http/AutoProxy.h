#pragma once
// The proxy a configuration script names for an address: the script at
// `script`, or one found on the network when `detect` is set.
#include <optional>
#include <string>

#include "HttpFetch.h"

namespace http {

// A proxy, "direct" (an engaged empty optional), or nothing usable (the
// caller falls back to the manual setting). The search and the script's
// download are given `timeoutMs`.
std::optional<std::optional<Proxy>> AutomaticProxy(const Url& url, const std::wstring& script, bool detect,
                                                   int timeoutMs);

}  // namespace http
