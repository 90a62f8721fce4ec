#pragma once
// Case, blanks and hex digits of protocol text: header and scheme names, host
// names, transfer encodings, percent and quoted-printable escapes. Only ASCII
// letters fold, whatever the locale, so a byte of the ANSI code page never
// changes on the way.
#include <string>
#include <string_view>

namespace base {

std::string Lower(std::string_view text);
// Equal but for the case of ASCII letters (as HTTP compares header names).
bool SameLetters(std::string_view a, std::string_view b);
// Without the leading and trailing bytes found in `blanks`.
std::string Trim(std::string_view text, std::string_view blanks = " \t");

bool IsHexDigit(char c);
// 0 to 15 for a hex digit of either case, -1 for any other byte.
int HexValue(char c);
// The digit of the low four bits of `value`, upper case unless asked.
char HexDigit(unsigned value, bool lowerCase = false);

}  // namespace base
