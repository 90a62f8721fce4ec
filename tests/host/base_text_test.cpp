// The protocol-text helpers every client shares: a fault here shows in each
// of them at once, so the tables hold the edges each caller relies on.
#include <gtest/gtest.h>

#include <string>

#include "base/AsciiText.h"
#include "base/HostPort.h"
#include "base/PercentCoding.h"

namespace {

TEST(AsciiText, OnlyAsciiLettersFoldAndBlanksAreTheCallersOwn) {
  EXPECT_EQ("content-length: 5 \xC4\xE9", base::Lower("Content-LENGTH: 5 \xC4\xE9"));
  EXPECT_TRUE(base::SameLetters("Transfer-Encoding", "transfer-encoding"));
  EXPECT_FALSE(base::SameLetters("Host", "Hos"));
  EXPECT_FALSE(base::SameLetters("\xC4", "\xE4"));  // a code-page letter keeps its case
  EXPECT_FALSE(base::SameLetters("[", "{"));        // 0x5B and 0x7B differ by the case bit alone

  EXPECT_EQ("a b", base::Trim(" \ta b\t "));
  EXPECT_EQ("", base::Trim(" \t "));
  EXPECT_EQ("x\r", base::Trim(" x\r"));
  EXPECT_EQ("x", base::Trim(" x\r", " \t\r"));
}

TEST(AsciiText, HexDigitsOfEitherCaseReadAndOnlyTheLowFourBitsWrite) {
  const std::string digits = "0123456789abcdefABCDEF";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    EXPECT_TRUE(base::IsHexDigit(digits[i])) << digits[i];
    EXPECT_EQ(i < 16 ? static_cast<int>(i) : static_cast<int>(i) - 6, base::HexValue(digits[i])) << digits[i];
  }
  // The bytes next to each digit range, and one whose low seven bits are a digit.
  for (const char c : {'/', ':', '@', 'G', '`', 'g', ' ', '\0', '\xB1'}) {
    EXPECT_FALSE(base::IsHexDigit(c)) << static_cast<int>(c);
    EXPECT_EQ(-1, base::HexValue(c)) << static_cast<int>(c);
  }
  EXPECT_EQ('0', base::HexDigit(0));
  EXPECT_EQ('F', base::HexDigit(15));
  EXPECT_EQ('f', base::HexDigit(15, true));
  EXPECT_EQ('A', base::HexDigit(0x1A));
  EXPECT_EQ('9', base::HexDigit(0xFFFFFFF9u, true));
}

TEST(PercentCoding, EncodeKeepsOnlyUnreservedAndDecodeUndoesIt) {
  const std::string every = std::string("\0 %+/:?#&=\x7f\x80\xff", 13) + "aZ09-._~";
  EXPECT_EQ("%00%20%25%2B%2F%3A%3F%23%26%3D%7F%80%FFaZ09-._~", base::PercentEncode(every));
  EXPECT_EQ(every, base::PercentDecode(base::PercentEncode(every)));
  EXPECT_EQ("a b", base::PercentDecode("a%20b"));
  EXPECT_EQ("\xAB", base::PercentDecode("%aB"));
  // A '%' without two hex digits is taken as typed, also at the very end.
  EXPECT_EQ("50% %G1 %4", base::PercentDecode("50% %G1 %4"));
  EXPECT_EQ("A", base::PercentDecode("%41"));
}

struct SplitRow {
  const char* text;
  base::HostPortFault fault;
  const char* host;
  bool bracketed;
  const char* port;  // nullptr: no ':' at all
};

TEST(HostPort, BracketsOrASingleColonSayWhereThePortBegins) {
  using F = base::HostPortFault;
  const SplitRow rows[] = {
      {"mail.example.org", F::None, "mail.example.org", false, nullptr},
      {"mail.example.org:587", F::None, "mail.example.org", false, "587"},
      {"host:", F::None, "host", false, ""},
      {":25", F::None, "", false, "25"},
      {"::1", F::None, "::1", false, nullptr},
      {"2001:db8::25:587", F::None, "2001:db8::25:587", false, nullptr},
      {"[::1]", F::None, "::1", true, nullptr},
      {"[::1]:995", F::None, "::1", true, "995"},
      {"[::1]:", F::None, "::1", true, ""},
      {"[::1", F::UnclosedBracket, "", true, nullptr},
      {"[]:25", F::UnclosedBracket, "", true, nullptr},
      {"[::1]995", F::TextAfterBracket, "", true, nullptr},
  };
  for (const SplitRow& row : rows) {
    SCOPED_TRACE(row.text);
    const base::HostPort split = base::SplitHostPort(row.text);
    EXPECT_EQ(row.fault, split.fault);
    if (row.fault != F::None) continue;
    EXPECT_EQ(row.host, split.host);
    EXPECT_EQ(row.bracketed, split.bracketed);
    ASSERT_EQ(row.port != nullptr, split.port.has_value());
    if (row.port) {
      EXPECT_EQ(row.port, *split.port);
    }
  }
}

TEST(HostPort, APortIsOneToFiveDigitsUpTo65535) {
  const std::pair<const char*, int> rows[] = {{"1", 1},      {"65535", 65535}, {"00080", 80}, {"0", -1},
                                              {"65536", -1}, {"000080", -1},   {"", -1},      {"8o", -1},
                                              {"+80", -1},   {" 80", -1}};
  for (const auto& [digits, port] : rows) EXPECT_EQ(port, base::ParsePort(digits)) << digits;
}

}  // namespace
