// Password scrambling and the numbers the registry keeps as text.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "NumberText.h"
#include "Scramble.h"

namespace {

TEST(Scramble, EveryTextOfEveryLengthComesBackUnchanged) {
  for (size_t length = 0; length <= 259; ++length) {
    std::string plain(length, '\0');
    for (size_t i = 0; i < length; ++i) plain[i] = static_cast<char>(1 + (i * 37 + length) % 255);
    const std::string stored = ScrambleText(plain);
    ASSERT_EQ(length, stored.size());
    ASSERT_EQ(plain, UnscrambleText(stored)) << "length " << length;
  }
}

TEST(Scramble, EveryByteValueAtEveryPositionRoundTrips) {
  for (int value = 1; value <= 255; ++value) {
    const std::string plain(259, static_cast<char>(value));
    ASSERT_EQ(plain, UnscrambleText(ScrambleText(plain))) << "byte " << value;
  }
}

TEST(Scramble, DependsOnPositionAndLeavesTheCallersTextAlone) {
  const std::string plain = "aaaa";
  const std::string stored = ScrambleText(plain);
  EXPECT_EQ("aaaa", plain);
  EXPECT_NE(plain, stored);
  // The same letter at different positions must not look the same when stored.
  EXPECT_FALSE(stored[0] == stored[1] && stored[1] == stored[2] && stored[2] == stored[3]);
  EXPECT_EQ("", ScrambleText(""));
  EXPECT_EQ("", UnscrambleText(""));
}

TEST(Scramble, SomePasswordsScrambleToZeroBytes) {
  // Why the store keeps a value's whole length: a zero byte inside the stored
  // form is possible, and must not cut the password short.
  bool found = false;
  for (int a = 1; a < 256 && !found; ++a)
    for (int b = 1; b < 256 && !found; ++b) {
      const std::string plain{static_cast<char>(a), static_cast<char>(b)};
      found = ScrambleText(plain).find('\0') != std::string::npos;
    }
  EXPECT_TRUE(found);
}

TEST(LeadingInt, FollowsTheRulesOfAtoi) {
  EXPECT_EQ(900000, LeadingInt("900000"));
  EXPECT_EQ(42, LeadingInt(" \t\n 42abc"));
  EXPECT_EQ(-1, LeadingInt("-1"));
  EXPECT_EQ(7, LeadingInt("+7"));
  EXPECT_EQ(0, LeadingInt("null"));
  EXPECT_EQ(0, LeadingInt(""));
  EXPECT_EQ(0, LeadingInt("- 5"));
  EXPECT_EQ(3, LeadingInt("3.9"));
}

TEST(LeadingInt, OutOfRangeStopsAtTheLimits) {
  EXPECT_EQ(INT_MAX, LeadingInt("99999999999999999999"));
  EXPECT_EQ(INT_MIN, LeadingInt("-99999999999999999999"));
  EXPECT_EQ(INT_MAX, LeadingInt("2147483647"));
  EXPECT_EQ(INT_MIN, LeadingInt("-2147483648"));
}

TEST(IntervalFromText, NeverYieldsAZeroOrNegativeInterval) {
  EXPECT_EQ(3600000, IntervalFromText("3600000"));
  EXPECT_EQ(120000, IntervalFromText("120000"));
  for (const char* bad : {"", "0", "-5", "abc", "null", "  ", "-2147483648"})
    EXPECT_EQ(kDefaultIntervalMs, IntervalFromText(bad)) << '"' << bad << '"';
}

}  // namespace
