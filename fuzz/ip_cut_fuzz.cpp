// The address cut: the markers and the page come from the input, and so does
// which bytes count as lead bytes of two-byte characters.
#include <string>

#include "app/IpCheck.h"
#include "FuzzCheck.h"

namespace {

// A walk from the start of the text, as a reader of the code page would do it.
bool OnBoundary(const std::string& text, size_t at, const app::LeadBytePredicate& isLead) {
  size_t i = 0;
  while (i < at) i += (isLead && isLead(static_cast<unsigned char>(text[i]))) ? 2 : 1;
  return i == at;
}

app::LeadBytePredicate PredicateFor(std::uint8_t choice) {
  switch (choice % 4) {
    case 0:
      return {};
    case 1:  // a double-byte code page's lead ranges
      return [](unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); };
    case 2:  // every high byte
      return [](unsigned char c) { return c >= 0x80; };
    default:  // one that claims nothing
      return [](unsigned char) { return false; };
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t choice = in.Byte();
  // Small signed starts around the page, including negative and past-the-end ones.
  const int start = static_cast<std::int8_t>(in.Byte());
  const bool ownMarkers = choice & 4;
  std::string startMarker = app::kStartMarker, endMarker = app::kEndMarker;
  if (ownMarkers) {
    startMarker = in.Field('\x01');
    endMarker = in.Field('\x01');
  }
  const std::string page = in.Rest();
  const app::LeadBytePredicate isLead = PredicateFor(choice);
  const bool simple = !isLead || (choice % 4) == 3;

  // FindOnCharBoundary: a hit is a real occurrence, at or after `from`, on a
  // character boundary; with single-byte characters it is exactly find().
  for (long long from : {static_cast<long long>(start), 0LL, static_cast<long long>(page.size())}) {
    const size_t at = app::FindOnCharBoundary(page, startMarker, from, isLead);
    if (simple) {
      const size_t expected = (from < 0 || static_cast<size_t>(from) > page.size())
                                  ? std::string::npos
                                  : page.find(startMarker, static_cast<size_t>(from));
      FUZZ_CHECK(at == expected);
    }
    if (at != std::string::npos) {
      FUZZ_CHECK(from >= 0 && at >= static_cast<size_t>(from));
      FUZZ_CHECK(at + startMarker.size() <= page.size());
      FUZZ_CHECK(page.compare(at, startMarker.size(), startMarker) == 0);
      FUZZ_CHECK(OnBoundary(page, at, isLead));
    }
  }

  const std::string cut = app::ExtractBetween(page, startMarker, endMarker, start, isLead);
  if (simple) {
    std::string expected;
    if (start >= 0 && static_cast<size_t>(start) <= page.size()) {
      const size_t a = page.find(startMarker, static_cast<size_t>(start));
      if (a != std::string::npos) {
        const size_t from = a + startMarker.size();
        const size_t b = page.find(endMarker, from);
        if (b != std::string::npos) expected = page.substr(from, b - from);
      }
    }
    FUZZ_CHECK(cut == expected);
  }
  // Whatever the code page, a non-empty cut sits between the two markers.
  if (!cut.empty()) FUZZ_CHECK(page.find(startMarker + cut + endMarker) != std::string::npos);
  // Without a predicate the default argument means single-byte characters.
  if (!isLead) FUZZ_CHECK(cut == app::ExtractBetween(page, startMarker, endMarker, start));
  return 0;
}
