#pragma once
// JSON as far as a program that only writes bodies needs it: whether a text
// is JSON, and a value escaped as the inside of a JSON string.
#include <string>
#include <string_view>

namespace base {

// True when the text is one whole JSON value (RFC 8259), blanks around it
// allowed; nesting deeper than a service would ever need counts as not JSON.
bool IsJson(std::string_view text);

// The text as the inside of a JSON string.
std::string JsonEscape(std::string_view text);

}  // namespace base
