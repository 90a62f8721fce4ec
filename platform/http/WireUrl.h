#pragma once
// An address as a user types it (UTF-8, perhaps with letters beyond ASCII)
// made into one that can go on the wire: every byte beyond ASCII in the
// user part, path, query and fragment percent-encoded, and an international
// host name in its ASCII form. What is already ASCII, '%' escapes and
// reserved characters included, is left exactly as written.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace http {

// The ASCII form of a host name written in UTF-8; nullopt when it has none.
using HostToAscii = std::function<std::optional<std::string>(const std::string& utf8Host)>;

// nullopt when the host needs converting and `toAscii` refuses it. Text that
// is no http address at all comes back encoded as a whole, for the parser to
// refuse in its own words.
std::optional<std::string> WireUrl(std::string_view utf8, const HostToAscii& toAscii);

}  // namespace http
