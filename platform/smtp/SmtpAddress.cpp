#include "smtp/SmtpAddress.h"

#include "base/AsciiText.h"
#include "smtp/SmtpError.h"

namespace smtp {

namespace {

// RFC 5321 limits a path to 256 octets including the angle brackets.
constexpr std::size_t kMaxMailbox = 254;
// A header line holds at most 998 octets, and an entry without blanks cannot
// be folded; the longest field name ("Reply-To: ") and a list's comma leave
// this much for one entry.
constexpr std::size_t kMaxEntry = 998 - 10 - 1;

Address ParseEntry(const std::string& entry, const std::string& field) {
  if (entry.size() > kMaxEntry) {
    throw SendError(Stage::Input, "the " + field + " address \"" + entry.substr(0, 40) + "...\" is too long");
  }
  Address a;
  a.display = entry;
  std::size_t open = entry.rfind('<');
  if (open != std::string::npos) {
    std::size_t close = entry.find('>', open);
    if (close == std::string::npos || close != entry.size() - 1) {
      throw SendError(Stage::Input, "the " + field + " address \"" + entry + "\" has an unmatched '<'");
    }
    a.mailbox = base::Trim(entry.substr(open + 1, close - open - 1));
  } else {
    a.mailbox = entry;
  }
  if (a.mailbox.empty()) throw SendError(Stage::Input, "the " + field + " address \"" + entry + "\" is empty");
  if (a.mailbox.size() > kMaxMailbox) {
    throw SendError(Stage::Input, "the " + field + " address \"" + a.mailbox.substr(0, 40) + "...\" is too long");
  }
  for (char c : a.mailbox) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= ' ' || u == 0x7f || c == '<' || c == '>' || c == ',' || c == ';') {
      throw SendError(Stage::Input,
                      "the " + field + " address \"" + a.mailbox + "\" contains a character an address cannot have");
    }
  }
  return a;
}

}  // namespace

bool HasLineBreakOrNul(const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }

std::vector<Address> ParseAddressList(const std::string& list, const std::string& field) {
  if (HasLineBreakOrNul(list)) {
    throw SendError(Stage::Input, "the " + field + " field contains a line break or NUL character");
  }
  std::vector<Address> out;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t sep = list.find_first_of(",;", start);
    if (sep == std::string::npos) sep = list.size();
    std::string entry = base::Trim(list.substr(start, sep - start));
    if (!entry.empty()) out.push_back(ParseEntry(entry, field));
    start = sep + 1;
  }
  return out;
}

Address ParseSingleAddress(const std::string& text, const std::string& field) {
  std::vector<Address> list = ParseAddressList(text, field);
  if (list.size() > 1) throw SendError(Stage::Input, "the " + field + " field must hold a single address");
  return list.empty() ? Address{} : list.front();
}

}  // namespace smtp
