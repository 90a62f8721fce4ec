#pragma once
// The system's manual proxy setting as Windows stores it, read without
// Windows: which proxy an address goes through, and which hosts bypass it.
#include <optional>
#include <string>

#include "http/HttpTypes.h"
#include "http/HttpUrl.h"

namespace http {

// The proxy for an http or https address from a setting that is either one
// "host:port" for every scheme or per-scheme entries such as
// "http=host:80;https=host:8443" (an entry may start with "http://"). A
// scheme the setting does not name goes direct. A missing port is 80. Of
// several entries for every scheme the first wins, as the system's own
// clients take the list in order.
std::optional<Proxy> ProxyForScheme(const std::string& setting, bool secure);

// The proxy a configuration script's answer (the system's proxy list for
// the address) names: its first entry, the one the script prefers, when
// that is an HTTP proxy for the address's scheme. nullopt for anything
// else, a SOCKS proxy above all: the caller then fails the fetch, since
// going direct would leave the way the script chose.
std::optional<Proxy> ScriptProxyFor(const std::string& list, bool secure);

// True when `host` matches the bypass list: entries separated by ';', ','
// or blanks, each a name or address with '*' standing for any run of
// characters, and "<local>" for every name without a dot. Case is ignored.
bool BypassesProxy(const std::string& list, const std::string& host);

// The address a proxy configuration script is asked about: scheme, host and
// port only. The script may come from anyone on the network (discovery) and
// can send what it is given out through name lookups, while a path or query
// may hold a token; which proxy to use never needs more than the origin.
std::string ScriptUrl(const Url& url);

}  // namespace http
