#include "net/Loopback.h"

#include <cstring>

#include "base/AsciiText.h"

namespace net {

namespace {

// Four decimal parts of 0 to 255, none with a leading zero: the only form
// every resolver reads as the same address.
bool IsCanonicalDottedQuad(const std::string& text) {
  std::size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t end = part < 3 ? text.find('.', start) : text.size();
    if (end == std::string::npos) return false;
    const std::string digits = text.substr(start, end - start);
    if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos)
      return false;
    if (digits.size() > 1 && digits[0] == '0') return false;
    if (std::stoi(digits) > 255) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

bool IsLoopbackAddress(const unsigned char* bytes, std::size_t size) {
  if (size == 4) return bytes[0] == 127;
  if (size != 16) return false;
  static constexpr unsigned char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  static constexpr unsigned char kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  if (std::memcmp(bytes, kMappedPrefix, 12) == 0) return bytes[12] == 127;
  return std::memcmp(bytes, kLoopback6, 16) == 0;
}

bool IsLoopbackName(const std::string& host) {
  const std::string lower = base::Lower(host);
  if (lower == "localhost" || lower == "::1") return true;
  return lower.rfind("127.", 0) == 0 && IsCanonicalDottedQuad(lower);
}

}  // namespace net
