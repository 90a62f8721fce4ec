#pragma once
// The system's conversion of international host names, and the address as
// it goes on the wire with it.
#include <optional>
#include <string>

namespace http {

// "bücher.example" (UTF-8) as "xn--bcher-kva.example"; nullopt for a name
// the system refuses (a label too long, a character no name may hold).
std::optional<std::string> IdnHost(const std::string& utf8Host);

// WireUrl with IdnHost: what Fetch is given for an address a user typed.
std::optional<std::string> WireAddress(const std::string& utf8);

}  // namespace http
