#pragma once
// An http:// or https:// address taken apart, and the address a redirect
// names resolved against the one it came from.
#include <optional>
#include <string>
#include <string_view>

namespace http {

struct Url {
  bool secure = false;         // https
  std::string user, password;  // from "user:password@", percent-decoded
  std::string host;            // without brackets: what lookup and the certificate check want
  int port = 0;                // the scheme's own when none is written
  std::string target;          // path and query as written, at least "/"; never the fragment

  // The host as a Host header or CONNECT line writes it: brackets around an
  // IPv6 address, the port only when it is not the scheme's own.
  std::string Authority() const;
  // "https://host" or "http://host:8080": all an error text may quote of an
  // address that can carry tokens in its path, query or user part.
  std::string Origin() const;
  // The whole address again, without the user part.
  std::string Text() const;
};

// Nothing but http and https with a host; a port from 1 to 65535; no blanks
// or control bytes anywhere. nullopt for anything else.
std::optional<Url> ParseUrl(std::string_view text);

// The address as typed with its user part ("user:password@") left out, and
// nothing else changed: what a box may quote of a page's address. Text
// that is not "scheme://..." comes back as it is.
std::string WithoutLogin(std::string_view address);

// The most an error text may quote of an address that may carry secrets and
// that ParseUrl may refuse: "scheme://host[:port]" without any user part
// when it has "//", else its scheme alone ("x-token:..."), else "...".
std::string QuotedOrigin(std::string_view address);

// The absolute address `location` names, read against `base` as a browser
// would (absolute, "//host/...", "/path", or relative to base's folder).
// The result may use any scheme; ParseUrl decides whether it can be fetched.
std::string ResolveLocation(const Url& base, const std::string& location);

}  // namespace http
