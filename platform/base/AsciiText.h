#pragma once
// Case and blanks of protocol text: header and scheme names, host names,
// transfer encodings. Only ASCII letters fold, whatever the locale, so a
// byte of the ANSI code page never changes on the way.
#include <string>
#include <string_view>

namespace base {

std::string Lower(std::string_view text);
// Equal but for the case of ASCII letters.
bool SameLetters(std::string_view a, std::string_view b);
// Without the leading and trailing bytes found in `blanks`.
std::string Trim(std::string_view text, std::string_view blanks = " \t");

}  // namespace base
