#include "base/HostPort.h"

namespace base {

HostPort SplitHostPort(std::string_view text) {
  HostPort split;
  if (!text.empty() && text.front() == '[') {
    split.bracketed = true;
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || close == 1) {
      split.fault = HostPortFault::UnclosedBracket;
      return split;
    }
    split.host = std::string(text.substr(1, close - 1));
    const std::string_view rest = text.substr(close + 1);
    if (rest.empty()) return split;
    if (rest.front() != ':') {
      split.fault = HostPortFault::TextAfterBracket;
      return split;
    }
    split.port = std::string(rest.substr(1));
    return split;
  }
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos) {
    split.host = std::string(text);
    return split;
  }
  split.host = std::string(text.substr(0, colon));
  split.port = std::string(text.substr(colon + 1));
  return split;
}

int ParsePort(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return -1;
  int port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    port = port * 10 + (c - '0');
  }
  return port >= 1 && port <= 65535 ? port : -1;
}

}  // namespace base
