#include "http/HttpUrl.h"

#include <algorithm>
#include <utility>

#include "base/AsciiText.h"
#include "base/HostPort.h"
#include "base/PercentCoding.h"

namespace http {

namespace {

// Blanks and control bytes end an address where a user typed one; inside
// one they could split a request line.
bool HasUnsafeByte(std::string_view text) {
  for (unsigned char c : text)
    if (c <= ' ' || c == 0x7F) return true;
  return false;
}

// "scheme:" first (a letter, then letters, digits, '+', '-' or '.'): the
// location is absolute, whatever the scheme.
bool HasScheme(std::string_view location) {
  const std::size_t colon = location.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = location[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) return false;
  }
  return true;
}

int DefaultPort(bool secure) { return secure ? 443 : 80; }

// Where the authority of an address "scheme://..." starts and ends (before
// its path, query or fragment); nullopt for any other text.
std::optional<std::pair<std::size_t, std::size_t>> AuthoritySpan(std::string_view address) {
  const std::size_t colon = address.find(':');
  if (!HasScheme(address) || address.compare(colon, 3, "://") != 0) return std::nullopt;
  const std::size_t start = colon + 3;
  return std::make_pair(start, std::min(address.find_first_of("/?#", start), address.size()));
}

}  // namespace

std::string WithoutLogin(std::string_view address) {
  const auto span = AuthoritySpan(address);
  if (!span) return std::string(address);
  const std::size_t at = address.substr(span->first, span->second - span->first).rfind('@');
  if (at == std::string_view::npos) return std::string(address);
  return std::string(address.substr(0, span->first)).append(address.substr(span->first + at + 1));
}

std::string QuotedOrigin(std::string_view address) {
  if (const auto span = AuthoritySpan(address)) {
    const std::string_view authority = address.substr(span->first, span->second - span->first);
    const std::size_t at = authority.rfind('@');
    return std::string(address.substr(0, span->first))
        .append(at == std::string_view::npos ? authority : authority.substr(at + 1));
  }
  if (!HasScheme(address)) return "...";
  return std::string(address.substr(0, address.find(':') + 1)) + "...";
}

std::optional<Url> ParseUrl(std::string_view text) {
  if (text.empty() || HasUnsafeByte(text)) return std::nullopt;
  const std::size_t schemeEnd = text.find("://");
  if (schemeEnd == std::string_view::npos) return std::nullopt;
  Url url;
  const std::string scheme = base::Lower(text.substr(0, schemeEnd));
  if (scheme == "https")
    url.secure = true;
  else if (scheme != "http")
    return std::nullopt;
  std::string_view rest = text.substr(schemeEnd + 3);
  const std::size_t fragment = rest.find('#');
  if (fragment != std::string_view::npos) rest = rest.substr(0, fragment);
  const std::size_t authorityEnd = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, authorityEnd);
  // A query straight after the host still asks for the root.
  std::string target(1, '/');
  if (authorityEnd != std::string_view::npos) target.append(rest.substr(authorityEnd + (rest[authorityEnd] == '/')));
  url.target = std::move(target);

  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view userInfo = authority.substr(0, at);
    const std::size_t colon = userInfo.find(':');
    url.user = base::PercentDecode(userInfo.substr(0, colon));
    if (colon != std::string_view::npos) url.password = base::PercentDecode(userInfo.substr(colon + 1));
    authority = authority.substr(at + 1);
  }
  const base::HostPort split = base::SplitHostPort(authority);
  if (split.fault != base::HostPortFault::None) return std::nullopt;
  url.host = split.host;
  if (split.bracketed) {
    if (url.host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos) return std::nullopt;
  } else if (url.host.find_first_of("[]\\:") != std::string::npos) {
    return std::nullopt;
  }
  if (url.host.empty()) return std::nullopt;
  url.host = base::Lower(url.host);
  url.port = DefaultPort(url.secure);
  if (split.port && !split.port->empty()) {
    url.port = base::ParsePort(*split.port);
    if (url.port < 0) return std::nullopt;
  }
  return url;
}

std::string Url::Authority() const {
  std::string text;
  if (host.find(':') != std::string::npos) {
    text.append(1, '[').append(host).append(1, ']');
  } else {
    text = host;
  }
  if (port != DefaultPort(secure)) text.append(1, ':').append(std::to_string(port));
  return text;
}

std::string Url::Origin() const { return (secure ? "https://" : "http://") + Authority(); }

std::string Url::Text() const { return Origin() + target; }

std::string ResolveLocation(const Url& base, const std::string& location) {
  if (HasScheme(location)) return location;
  if (location.rfind("//", 0) == 0) return (base.secure ? "https:" : "http:") + location;
  if (!location.empty() && location[0] == '/') return base.Origin() + location;
  // Relative to the folder of the current path (its query set aside).
  const std::string path = base.target.substr(0, base.target.find('?'));
  const std::string folder = path.substr(0, path.rfind('/') + 1);
  if (!location.empty() && location[0] == '?') return base.Origin() + path + location;
  return base.Origin() + folder + location;
}

}  // namespace http
