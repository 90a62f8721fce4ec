#include "http/ProxyRules.h"

#include <vector>

#include "base/AsciiText.h"
#include "base/HostPort.h"

namespace http {

namespace {

std::vector<std::string> Split(const std::string& text, const char* separators) {
  std::vector<std::string> parts;
  std::size_t at = text.find_first_not_of(separators);
  while (at != std::string::npos) {
    const std::size_t end = text.find_first_of(separators, at);
    parts.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    at = text.find_first_not_of(separators, end);
  }
  return parts;
}

// "host[:port]", perhaps after "http://"; any other scheme (socks://,
// https://) is a proxy spoken to in a way this program does not speak.
std::optional<Proxy> ParseProxy(std::string text) {
  const std::size_t scheme = text.find("://");
  if (scheme != std::string::npos) {
    if (base::Lower(text.substr(0, scheme)) != "http") return std::nullopt;
    text.erase(0, scheme + 3);
  }
  while (!text.empty() && text.back() == '/') text.pop_back();
  const base::HostPort split = base::SplitHostPort(text);
  if (split.fault != base::HostPortFault::None || split.host.empty()) return std::nullopt;
  Proxy proxy;
  proxy.host = split.host;
  proxy.port = split.port ? base::ParsePort(*split.port) : 80;
  if (proxy.port < 0) return std::nullopt;
  return proxy;
}

// '*' matches any run of characters, everything else itself.
bool Matches(const std::string& pattern, const std::string& text) {
  std::size_t p = 0, t = 0, star = std::string::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

std::optional<Proxy> ProxyForScheme(const std::string& setting, bool secure) {
  const std::string wanted = secure ? "https" : "http";
  std::optional<Proxy> forEveryScheme;
  bool sawForEveryScheme = false;
  for (const std::string& entry : Split(setting, "; \t")) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string::npos) {
      // The list is "[<scheme>=][<scheme>://]<server>[:<port>]" entries
      // apart by ';' or blanks, and the system takes them in order: of
      // several entries for every scheme the first is the one it uses (the
      // later ones are only where it fails over to, which we do not).
      if (!sawForEveryScheme) forEveryScheme = ParseProxy(entry);
      sawForEveryScheme = true;
    } else if (base::Lower(entry.substr(0, equals)) == wanted) {
      return ParseProxy(entry.substr(equals + 1));
    }
  }
  return forEveryScheme;
}

bool BypassesProxy(const std::string& list, const std::string& host) {
  const std::string name = base::Lower(host);
  for (const std::string& entry : Split(base::Lower(list), "; ,\t\r\n")) {
    if (entry == "<local>") {
      if (name.find('.') == std::string::npos && name.find(':') == std::string::npos) return true;
    } else if (Matches(entry, name)) {
      return true;
    }
  }
  return false;
}

std::optional<Proxy> ScriptProxyFor(const std::string& list, bool secure) {
  const std::vector<std::string> entries = Split(list, "; \t");
  if (entries.empty()) return std::nullopt;
  // The script's own words may come through as they are: "PROXY host:port"
  // or "SOCKS host:port", which split at the blank would read as a proxy
  // named after the keyword.
  const std::string keyword = base::Lower(entries.front());
  if (keyword == "socks" || keyword == "socks4" || keyword == "socks5") return std::nullopt;
  if (keyword == "proxy") return entries.size() > 1 ? ProxyForScheme(entries[1], secure) : std::nullopt;
  return ProxyForScheme(entries.front(), secure);
}

std::string ScriptUrl(const Url& url) { return url.Origin() + "/"; }

}  // namespace http
