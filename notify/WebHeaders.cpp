#include "WebHeaders.h"

#include <algorithm>
#include <array>

namespace notify {

namespace {

// The engine frames the request with these; a second one from the user
// would let the service read the request differently from how it was sent.
constexpr std::array<std::string_view, 4> kEngineHeaders{"Host", "Content-Length", "Transfer-Encoding", "Connection"};

// A line quoted in a refusal is cut, so a pasted page does not fill the box.
constexpr std::size_t kLongestQuote = 60;

bool IsTokenChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text)
    if (!IsTokenChar(c)) return false;
  return true;
}

// Tab is the one control character a header value may hold.
bool HasControl(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7f) return true;
  }
  return false;
}

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Quote(std::string_view line) {
  std::string shown;
  for (const char c : line.substr(0, kLongestQuote))
    shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
  return line.size() > kLongestQuote ? shown + "..." : shown;
}

std::string Unchanged(std::string_view text) { return std::string(text); }

}  // namespace

bool SameHeaderName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

HeaderLines ReadHeaderLines(std::string_view typed, const WebValues& values) {
  HeaderLines result;
  int number = 0;
  for (size_t start = 0; start <= typed.size();) {
    ++number;
    const size_t end = std::min(typed.find('\n', start), typed.size());
    std::string_view line = typed.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trim(line).empty()) continue;
    const std::string prefix = "Header line " + std::to_string(number);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      result.refusal = prefix + " has no colon: " + Quote(line);
      return result;
    }
    const std::string_view name = Trim(line.substr(0, colon));
    if (!IsToken(name)) {
      result.refusal = prefix + " has a name that is not an HTTP token: " + Quote(line);
      return result;
    }
    for (const std::string_view own : kEngineHeaders) {
      if (SameHeaderName(name, own)) {
        result.refusal = prefix + " sets " + std::string(own) + ", which this program sets itself: " + Quote(line);
        return result;
      }
    }
    const std::string value = ExpandPlaceholders(Trim(line.substr(colon + 1)), values, Unchanged);
    if (HasControl(value)) {
      result.refusal = prefix + " has a control character in its value: " + Quote(line);
      return result;
    }
    result.headers.push_back({std::string(name), value});
  }
  return result;
}

}  // namespace notify
