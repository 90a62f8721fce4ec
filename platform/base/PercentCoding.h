#pragma once
// %XX escapes of addresses: what goes into one, and what a user typed into one.
#include <string>
#include <string_view>

namespace base {

// Every byte but letters, digits and "-._~" escaped, so a value stays one
// piece of an address whatever it holds.
std::string PercentEncode(std::string_view text);
// A '%' without two hex digits after it stays as it is.
std::string PercentDecode(std::string_view text);

}  // namespace base
