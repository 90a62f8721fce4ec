#include "IpCheck.h"

namespace ipcheck {

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

std::string FormatStamp(std::time_t now) {
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &now) != 0) return {};
#else
  if (!localtime_r(&now, &local)) return {};
#endif
  char buffer[128];
  const size_t n = std::strftime(buffer, sizeof buffer, kStampFormat, &local);
  return std::string(buffer, n);
}

bool IsChange(const std::string& address, const std::string& shown) { return !address.empty() && address != shown; }

bool MailSettingsIncomplete(const std::string& server, const std::string& to, const std::string& from) {
  for (const std::string* text : {&server, &to, &from})
    if (text->empty() || *text == "null") return true;
  return false;
}

}  // namespace ipcheck
