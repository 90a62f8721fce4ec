#include "channels/WebHeaders.h"

#include <algorithm>
#include <array>

#include "base/AsciiText.h"

namespace channels {

namespace {

// The engine frames the request with these; a second one from the user
// would let the service read the request differently from how it was sent.
constexpr std::array<std::string_view, 4> kEngineHeaders{"Host", "Content-Length", "Transfer-Encoding", "Connection"};

// A name quoted in a refusal is cut, so a pasted page does not fill the box.
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

std::string Quote(std::string_view name) {
  std::string shown;
  for (const char c : name.substr(0, kLongestQuote))
    shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
  return name.size() > kLongestQuote ? shown + "..." : shown;
}

std::string Unchanged(std::string_view text) { return std::string(text); }

}  // namespace

HeaderLines ReadHeaderLines(std::string_view typed, const WebValues& values) {
  HeaderLines result;
  int number = 0;
  for (size_t start = 0; start <= typed.size();) {
    ++number;
    const size_t end = std::min(typed.find('\n', start), typed.size());
    std::string_view line = typed.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (base::Trim(line).empty()) continue;
    const std::string prefix = "Header line " + std::to_string(number);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      // Without a colon there is no telling the name from a pasted value.
      result.refusal = prefix + " has no colon between its name and its value.";
      return result;
    }
    const std::string name = base::Trim(line.substr(0, colon));
    if (!IsToken(name)) {
      result.refusal = prefix + " has a name that is not an HTTP token: " + Quote(name);
      return result;
    }
    for (const std::string_view own : kEngineHeaders) {
      if (base::SameLetters(name, own)) {
        result.refusal = prefix + " sets " + std::string(own) + ", which this program sets itself.";
        return result;
      }
    }
    const std::string value = ExpandPlaceholders(base::Trim(line.substr(colon + 1)), values, Unchanged);
    if (HasControl(value)) {
      result.refusal = prefix + " has a control character in the value of " + Quote(name) + ".";
      return result;
    }
    result.headers.push_back({name, value});
  }
  return result;
}

}  // namespace channels
