#pragma once
#include <string>
#include <vector>

namespace smtp {

// One entry of an address list: what the header shows ("Ann <ann@x.org>" or
// "ann@x.org") and the bare address the envelope uses.
struct Address {
  std::string display;
  std::string mailbox;
};

// Splits "a@x, b@y; Name <c@z>" on commas and semicolons, trimming blanks and
// dropping empty entries. Throws SendError (Stage::Input) naming the field
// for an entry that cannot be a mailbox.
std::vector<Address> ParseAddressList(const std::string& list, const std::string& fieldName);

// Same for a field that holds one address; an empty field gives an empty mailbox.
Address ParseSingleAddress(const std::string& text, const std::string& fieldName);

// True when s holds CR, LF or NUL: any of them would let a value end an SMTP
// command or header line early and smuggle in one of its own.
bool HasLineBreakOrNul(const std::string& s);

}  // namespace smtp
