#include "ProxyRules.h"

#include <vector>

namespace http {

namespace {

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

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

std::optional<Proxy> ParseProxy(std::string text) {
  const std::size_t scheme = text.find("://");
  if (scheme != std::string::npos) text.erase(0, scheme + 3);
  while (!text.empty() && text.back() == '/') text.pop_back();
  Proxy proxy;
  proxy.port = 80;
  const std::size_t colon = text.rfind(':');
  const bool bracketed = !text.empty() && text[0] == '[';
  if (colon != std::string::npos && (!bracketed || colon > text.find(']'))) {
    const std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
      return std::nullopt;
    proxy.port = std::stoi(digits);
    text.erase(colon);
  }
  if (bracketed && text.size() > 2 && text.back() == ']') text = text.substr(1, text.size() - 2);
  if (text.empty() || proxy.port < 1 || proxy.port > 65535) return std::nullopt;
  proxy.host = text;
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
  for (const std::string& entry : Split(setting, "; \t")) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string::npos) {
      if (!forEveryScheme) forEveryScheme = ParseProxy(entry);
    } else if (Lower(entry.substr(0, equals)) == wanted) {
      return ParseProxy(entry.substr(equals + 1));
    }
  }
  return forEveryScheme;
}

bool BypassesProxy(const std::string& list, const std::string& host) {
  const std::string name = Lower(host);
  for (const std::string& entry : Split(Lower(list), "; ,\t\r\n")) {
    if (entry == "<local>") {
      if (name.find('.') == std::string::npos && name.find(':') == std::string::npos) return true;
    } else if (Matches(entry, name)) {
      return true;
    }
  }
  return false;
}

std::string ScriptUrl(const Url& url) { return url.Origin() + "/"; }

}  // namespace http
