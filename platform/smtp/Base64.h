#pragma once
#include <string>
#include <string_view>

namespace smtp {

// Standard alphabet with '=' padding, no line breaks.
std::string Base64Encode(std::string_view bytes);

}  // namespace smtp
