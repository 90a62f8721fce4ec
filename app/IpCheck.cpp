#include "app/IpCheck.h"

#include "base/AsciiText.h"
#include "channels/StampTime.h"
#include "http/HttpUrl.h"

namespace app {

namespace {

constexpr char kBlanks[] = " \t\r\n";
constexpr size_t kLongestAddress = 45;  // IPv6 with an IPv4 tail, every group full

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsIpv4(const std::string& text) {
  int parts = 0;
  size_t i = 0;
  while (true) {
    const size_t begin = i;
    int value = 0;
    while (i < text.size() && IsDigit(text[i]) && i - begin < 3) value = value * 10 + (text[i++] - '0');
    const size_t digits = i - begin;
    if (digits == 0 || value > 255 || (digits > 1 && text[begin] == '0')) return false;
    if (++parts == 4) return i == text.size();
    if (i >= text.size() || text[i] != '.') return false;
    ++i;
  }
}

// Groups of one to four hex digits, eight in all, where one "::" stands for
// one or more zero groups and a dotted quad may stand for the last two.
bool IsIpv6(const std::string& text) {
  if (text.size() < 2) return false;
  int groups = 0;
  bool compressed = false;
  size_t i = 0;
  if (text.compare(0, 2, "::") == 0) {
    compressed = true;
    i = 2;
    if (i == text.size()) return true;
  } else if (text[0] == ':') {
    return false;
  }
  while (i < text.size()) {
    const size_t begin = i;
    while (i < text.size() && base::IsHexDigit(text[i]) && i - begin < 4) ++i;
    if (i < text.size() && text[i] == '.') {
      // A dotted quad ends the literal.
      if (!IsIpv4(text.substr(begin))) return false;
      groups += 2;
      i = text.size();
      break;
    }
    if (i == begin) return false;
    ++groups;
    if (i == text.size()) break;
    if (text[i] != ':') return false;
    ++i;
    if (i < text.size() && text[i] == ':') {
      if (compressed) return false;
      compressed = true;
      ++i;
      if (i == text.size()) break;
    } else if (i == text.size()) {
      return false;  // a single trailing colon
    }
  }
  return compressed ? groups < 8 : groups == 8;
}

}  // namespace

size_t FindOnCharBoundary(const std::string& text, const std::string& needle, long long from,
                          const LeadBytePredicate& isLeadByte) {
  if (from < 0 || static_cast<unsigned long long>(from) > text.size()) return std::string::npos;
  // Walk character by character from the start, so `from` itself is honoured
  // only where a character begins.
  size_t i = 0;
  while (i < static_cast<size_t>(from)) i += (isLeadByte && isLeadByte(static_cast<unsigned char>(text[i]))) ? 2 : 1;
  for (; i + needle.size() <= text.size();) {
    if (text.compare(i, needle.size(), needle) == 0) return i;
    i += (isLeadByte && isLeadByte(static_cast<unsigned char>(text[i]))) ? 2 : 1;
  }
  return std::string::npos;
}

std::string ExtractBetween(const std::string& page, const std::string& startMarker, const std::string& endMarker,
                           int start, const LeadBytePredicate& isLeadByte) {
  const size_t at = FindOnCharBoundary(page, startMarker, start, isLeadByte);
  if (at == std::string::npos) return {};
  const std::string kept = page.substr(at + startMarker.size());
  const size_t end = FindOnCharBoundary(kept, endMarker, 0, isLeadByte);
  if (end == std::string::npos) return {};
  return kept.substr(0, end);
}

std::string FormatStamp(std::time_t now) { return channels::FormatLocal(now, kStampFormat); }

bool IsChange(const std::string& address, const std::string& shown) { return !address.empty() && address != shown; }

std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool IsAddressLiteral(const std::string& text) {
  if (text.empty() || text.size() > kLongestAddress) return false;
  return text.find(':') == std::string::npos ? IsIpv4(text) : IsIpv6(text);
}

std::string AddressFromPage(const std::string& page, const LeadBytePredicate& isLeadByte) {
  const bool marked = FindOnCharBoundary(page, kStartMarker, 0, isLeadByte) != std::string::npos;
  const std::string shown = TrimBlanks(marked ? ExtractBetween(page, kStartMarker, kEndMarker, 0, isLeadByte) : page);
  return IsAddressLiteral(shown) ? shown : std::string();
}

std::vector<std::string> SplitPageList(const std::string& link) {
  std::vector<std::string> urls;
  size_t at = link.find_first_not_of(kBlanks);
  while (at != std::string::npos) {
    const size_t end = link.find_first_of(kBlanks, at);
    urls.push_back(link.substr(at, end == std::string::npos ? std::string::npos : end - at));
    at = link.find_first_not_of(kBlanks, end);
  }
  return urls;
}

std::string NoAddressText(const std::string& url) {
  return "The page at " + http::WithoutLogin(url) + " did not show an IP address.";
}

std::string CombinedFailure(const std::vector<std::string>& reasons) {
  std::string text;
  for (const std::string& reason : reasons) {
    if (!text.empty()) text += "\n";
    text += reason;
  }
  return text;
}

std::string NotificationText(const std::string& v4, const std::string& v6, bool ipv6On) {
  std::string text = kNotificationPrefix + v4;
  if (!ipv6On) return text;
  return text + "\r\n" + (v6.empty() ? std::string(kNoIpv6Address) : kNotificationPrefix6 + v6);
}

namespace {

constexpr char kCutMark[] = "...";
constexpr std::size_t kCutMarkLength = sizeof kCutMark - 1;

// `address` within `room` characters: whole, or cut after its last whole
// group that leaves room for the mark, and marked.
std::string Shortened(const std::string& address, std::size_t room) {
  if (address.size() <= room) return address;
  if (room <= kCutMarkLength) return std::string(kCutMark).substr(0, room);
  std::string kept = address.substr(0, room - kCutMarkLength);
  const std::size_t boundary = kept.find_last_of(":.");
  // With no separator in reach the cut falls inside the first group; the
  // mark still shows the address goes on.
  if (boundary != std::string::npos && boundary > 0) kept.resize(boundary + 1);
  return kept + kCutMark;
}

}  // namespace

std::string TrayTipText(const std::string& v4, const std::optional<std::string>& v6, bool webStopped) {
  constexpr char kBetween[] = " - ";
  constexpr char kAnd[] = " / ";
  std::string first = v4;
  std::string second;
  if (v6) {
    second = v6->empty() ? std::string(kNoIpv6Address) : *v6;
    if (first.empty()) first.swap(second);
  }
  const std::string tail = webStopped ? kWebStoppedTip : "";
  if (first.empty()) return kTrayTipTitle + tail;
  const std::size_t fixed =
      (sizeof kTrayTipTitle - 1) + (sizeof kBetween - 1) + (second.empty() ? 0 : sizeof kAnd - 1) + tail.size();
  // The longer address gives way first, so a short one stays whole.
  const std::size_t room = kLongestTrayTip > fixed ? kLongestTrayTip - fixed : 0;
  if (first.size() + second.size() > room) {
    std::string& longer = second.size() >= first.size() ? second : first;
    std::string& shorter = &longer == &second ? first : second;
    shorter = Shortened(shorter, room / 2);
    longer = Shortened(longer, room - shorter.size());
  }
  std::string tip = kTrayTipTitle + std::string(kBetween) + first;
  if (!second.empty()) tip += kAnd + second;
  return tip + tail;
}

}  // namespace app
