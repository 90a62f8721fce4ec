#pragma once
// Numbers the registry keeps as text.
#include <string>

namespace settings {

// Leading blanks, an optional sign, decimal digits; 0 when the text does not
// begin with a number. Out-of-range values stop at the int limits instead of
// wrapping.
int LeadingInt(const std::string& text);

// The check interval in milliseconds for a stored Timer text. A missing, zero,
// negative or non-numeric text would make the timer fire continuously or
// never, so it runs at the default 15 minutes instead.
constexpr int kDefaultIntervalMs = 900000;
int IntervalFromText(const std::string& text);

}  // namespace settings
