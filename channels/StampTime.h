#pragma once
// The moment of a check as text: the main window's stamp and the web
// notification's {time} write it alike.
#include <ctime>
#include <string>

namespace channels {

// `now` in local time by the standard strftime rules in its default locale;
// empty when the time cannot be converted or the text does not fit 128 bytes.
std::string FormatLocal(std::time_t now, const char* format);

// The stamp's date and time, as {time} gives it.
inline constexpr char kStampTimeFormat[] = "%m/%d/%Y at %I:%M:%S %p";
inline std::string FormatStampTime(std::time_t now) { return FormatLocal(now, kStampTimeFormat); }

}  // namespace channels
