// The texts the registry keeps numbers and choices in, as anyone could have
// edited them: whatever they hold, the timer gets a positive interval and the
// lists get an entry that exists.
#include <climits>
#include <string>

#include "FuzzCheck.h"
#include "settings/NumberText.h"
#include "settings/SettingsRules.h"

namespace {

// The same reading done another way: collect the digits first, then compare
// as text against the limits, so no arithmetic can overflow.
long long ReferenceLeadingInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::string digits;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    if (!(digits.empty() && text[i] == '0')) digits += text[i];
  if (digits.size() > 10) return negative ? INT_MIN : INT_MAX;
  const long long value = digits.empty() ? 0 : std::stoll(digits);
  if (negative) return -value < INT_MIN ? INT_MIN : -value;
  return value > INT_MAX ? INT_MAX : value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const int value = settings::LeadingInt(text);
  FUZZ_CHECK(value == ReferenceLeadingInt(text));

  const int interval = settings::IntervalFromText(text);
  FUZZ_CHECK(interval > 0);
  FUZZ_CHECK(interval == (value > 0 ? value : settings::kDefaultIntervalMs));

  const int auth = settings::AuthIndexForText(text);
  FUZZ_CHECK(auth >= -1 && auth < static_cast<int>(settings::kAuthTypes.size()));
  FUZZ_CHECK(auth == (value >= 0 && value <= 3 ? value : -1));

  const int index = settings::IntervalIndexForText(text);
  FUZZ_CHECK(index >= 0 && index < static_cast<int>(settings::kIntervals.size()));
  const std::string stored = settings::IntervalTextForIndex(index);
  // A known text maps to itself; anything else to the 15-minute default.
  FUZZ_CHECK(stored == text || index == settings::kDefaultIntervalIndex);
  FUZZ_CHECK(settings::IntervalFromText(stored) > 0);
  FUZZ_CHECK(settings::IntervalIndexForText(stored) == index);

  FUZZ_CHECK(settings::ShownText(text) == (text == "null" ? "" : text));
  return 0;
}
