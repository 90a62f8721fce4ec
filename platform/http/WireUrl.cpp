#include "http/WireUrl.h"

#include <algorithm>

#include "base/AsciiText.h"

namespace http {

namespace {

bool IsAscii(std::string_view text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

std::string PercentEncodeNonAscii(std::string_view text) {
  std::string encoded;
  for (unsigned char c : text) {
    if (c < 0x80) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += base::HexDigit(c >> 4);
      encoded += base::HexDigit(c);
    }
  }
  return encoded;
}

}  // namespace

std::optional<std::string> WireUrl(std::string_view utf8, const HostToAscii& toAscii) {
  const std::size_t schemeEnd = utf8.find("://");
  if (schemeEnd == std::string_view::npos) return PercentEncodeNonAscii(utf8);
  const std::size_t authorityStart = schemeEnd + 3;
  const std::size_t authorityEnd = std::min(utf8.find_first_of("/?#", authorityStart), utf8.size());
  const std::string_view authority = utf8.substr(authorityStart, authorityEnd - authorityStart);

  const std::size_t at = authority.rfind('@');
  const std::string_view userInfo = at == std::string_view::npos ? std::string_view() : authority.substr(0, at + 1);
  const std::string_view hostPort = at == std::string_view::npos ? authority : authority.substr(at + 1);
  // An IPv6 literal is ASCII by nature; anything else in brackets is the
  // parser's to refuse.
  const std::size_t colon = hostPort.empty() || hostPort[0] == '[' ? std::string_view::npos : hostPort.rfind(':');
  std::string host(hostPort.substr(0, colon));
  if (!IsAscii(host)) {
    std::optional<std::string> ascii = toAscii(host);
    if (!ascii || !IsAscii(*ascii)) return std::nullopt;
    host = std::move(*ascii);
  }

  std::string wire(utf8.substr(0, authorityStart));
  wire += PercentEncodeNonAscii(userInfo);
  wire += host;
  if (colon != std::string_view::npos) wire += PercentEncodeNonAscii(hostPort.substr(colon));
  wire += PercentEncodeNonAscii(utf8.substr(authorityEnd));
  return wire;
}

}  // namespace http
