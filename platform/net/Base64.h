#pragma once
#include <string>
#include <string_view>

namespace net {

// Standard alphabet (SMTP AUTH, MIME words, HTTP Basic authentication) with '=' padding, no line breaks.
std::string Base64Encode(std::string_view bytes);

}  // namespace net
