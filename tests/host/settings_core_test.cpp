// Password scrambling and the numbers the registry keeps as text.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "NumberText.h"
#include "RegistryText.h"
#include "Scramble.h"
#include "UnreadableNotice.h"

namespace {

TEST(Scramble, EveryTextOfEveryLengthComesBackUnchanged) {
  for (size_t length = 0; length <= 259; ++length) {
    std::string plain(length, '\0');
    for (size_t i = 0; i < length; ++i) plain[i] = static_cast<char>(1 + (i * 37 + length) % 255);
    const std::string stored = settings::ScrambleText(plain);
    ASSERT_EQ(length, stored.size());
    ASSERT_EQ(plain, settings::UnscrambleText(stored)) << "length " << length;
  }
}

TEST(Scramble, EveryByteValueAtEveryPositionRoundTrips) {
  for (int value = 1; value <= 255; ++value) {
    const std::string plain(259, static_cast<char>(value));
    ASSERT_EQ(plain, settings::UnscrambleText(settings::ScrambleText(plain))) << "byte " << value;
  }
}

TEST(Scramble, DependsOnPositionAndLeavesTheCallersTextAlone) {
  const std::string plain = "aaaa";
  const std::string stored = settings::ScrambleText(plain);
  EXPECT_EQ("aaaa", plain);
  EXPECT_NE(plain, stored);
  // The same letter at different positions must not look the same when stored.
  EXPECT_FALSE(stored[0] == stored[1] && stored[1] == stored[2] && stored[2] == stored[3]);
  EXPECT_EQ("", settings::ScrambleText(""));
  EXPECT_EQ("", settings::UnscrambleText(""));
}

TEST(Scramble, AKnownPasswordKeepsItsStoredForm) {
  // Passwords saved by earlier versions must keep unscrambling, so the
  // transform's constants can never change.
  const std::string stored("\xe5\xa6\x6e\x3e\xfd\xd4\x0c\xa1\x49\xe6");
  EXPECT_EQ(stored, settings::ScrambleText("Pa55 word!"));
  EXPECT_EQ("Pa55 word!", settings::UnscrambleText(stored));
}

TEST(Scramble, SomePasswordsScrambleToZeroBytes) {
  // Why the store keeps a value's whole length: a zero byte inside the stored
  // form is possible, and must not cut the password short.
  bool found = false;
  for (int a = 1; a < 256 && !found; ++a)
    for (int b = 1; b < 256 && !found; ++b) {
      const std::string plain{static_cast<char>(a), static_cast<char>(b)};
      found = settings::ScrambleText(plain).find('\0') != std::string::npos;
    }
  EXPECT_TRUE(found);
}

TEST(TextFromValueBytes, DropsOneTerminatorOnlyAndKeepsInnerZeros) {
  EXPECT_EQ("abc", settings::TextFromValueBytes("abc\0", 4));
  EXPECT_EQ("abc", settings::TextFromValueBytes("abc", 3)) << "stored without its terminator";
  EXPECT_EQ(std::string("a\0b\0", 4), settings::TextFromValueBytes("a\0b\0\0", 5))
      << "a scrambled password's zero bytes";
  EXPECT_EQ("", settings::TextFromValueBytes("", 0));
  EXPECT_EQ("", settings::TextFromValueBytes("\0", 1));
}

TEST(LeadingInt, FollowsTheRulesOfAtoi) {
  EXPECT_EQ(900000, settings::LeadingInt("900000"));
  EXPECT_EQ(42, settings::LeadingInt(" \t\n 42abc"));
  EXPECT_EQ(-1, settings::LeadingInt("-1"));
  EXPECT_EQ(7, settings::LeadingInt("+7"));
  EXPECT_EQ(0, settings::LeadingInt("null"));
  EXPECT_EQ(0, settings::LeadingInt(""));
  EXPECT_EQ(0, settings::LeadingInt("- 5"));
  EXPECT_EQ(3, settings::LeadingInt("3.9"));
}

TEST(LeadingInt, OutOfRangeStopsAtTheLimits) {
  EXPECT_EQ(INT_MAX, settings::LeadingInt("99999999999999999999"));
  EXPECT_EQ(INT_MIN, settings::LeadingInt("-99999999999999999999"));
  EXPECT_EQ(INT_MAX, settings::LeadingInt("2147483647"));
  EXPECT_EQ(INT_MIN, settings::LeadingInt("-2147483648"));
}

TEST(IntervalFromText, NeverYieldsAZeroOrNegativeInterval) {
  EXPECT_EQ(3600000, settings::IntervalFromText("3600000"));
  EXPECT_EQ(120000, settings::IntervalFromText("120000"));
  for (const char* bad : {"", "0", "-5", "abc", "null", "  ", "-2147483648"})
    EXPECT_EQ(settings::kDefaultIntervalMs, settings::IntervalFromText(bad)) << '"' << bad << '"';
}

}  // namespace

// What the settings dialog shows, checks and stores.
#include "SettingsRules.h"

namespace {

using settings::CheckTestMailSettings;

TEST(SettingsRules, IntervalsMatchExactlyOrFallBackToFifteenMinutes) {
  EXPECT_EQ(0, settings::IntervalIndexForText("300000"));
  EXPECT_EQ(5, settings::IntervalIndexForText("86400000"));
  for (const char* other : {"120000", "", " 300000", "300000 ", "0900000"})
    EXPECT_EQ(2, settings::IntervalIndexForText(other)) << other;
  EXPECT_EQ("1800000", settings::IntervalTextForIndex(3));
  EXPECT_EQ("900000", settings::IntervalTextForIndex(-1)) << "no selection stores 15 minutes";
  EXPECT_EQ("900000", settings::IntervalTextForIndex(6)) << "one past the list";
  for (int i = 0; i < 6; ++i) EXPECT_EQ(i, settings::IntervalIndexForText(settings::IntervalTextForIndex(i)));
}

TEST(SettingsRules, AuthenticationCodesOutsideTheListSelectNothing) {
  EXPECT_EQ(2, settings::AuthIndexForText("2"));
  EXPECT_EQ(0, settings::AuthIndexForText("null")) << "text that is not a number is None";
  EXPECT_EQ(3, settings::AuthIndexForText(" 3x"));
  EXPECT_EQ(-1, settings::AuthIndexForText("-1"));
  EXPECT_EQ(-1, settings::AuthIndexForText("7"));
}

TEST(SettingsRules, OnlyTheExactMarkerShowsAsEmpty) {
  EXPECT_EQ("", settings::ShownText("null"));
  EXPECT_EQ("NULL", settings::ShownText("NULL"));
  EXPECT_EQ("null ", settings::ShownText("null "));
}

TEST(SettingsRules, LoginWithEverythingEmptyGivesFourMessagesInOrder) {
  const auto check = CheckTestMailSettings({"", "", "", "", "", settings::kAuthLogin});
  EXPECT_TRUE(check.failed);
  ASSERT_EQ(4u, check.messages.size());
  EXPECT_EQ(0u, check.messages[0].find("'SMTP Server' field cannot be empty.  Please enter your e-mail server name.\n"
                                       "Examples: "));
  EXPECT_EQ(0u, check.messages[1].find("Must enter username and password when 'Login'"));
  EXPECT_EQ("Must enter a valid e-mail address to send IP updates to!", check.messages[2]);
  EXPECT_EQ("Please be advised that if you leave the 'From' field blank, your e-mail may get rejected!",
            check.messages[3]);
}

TEST(SettingsRules, TheExamplesNameThreeHostsOnOneReservedDomain) {
  const std::string message = CheckTestMailSettings({"", "u", "p", "t", "f", 0}).messages.at(0);
  const std::string examples = message.substr(message.find("Examples: ") + 10);
  EXPECT_EQ("mail.example.com, smtp.example.com, outgoing.example.com", examples);
}

TEST(SettingsRules, LoginNeedsBothNamesOtherTypesNeither) {
  EXPECT_TRUE(CheckTestMailSettings({"s", "user", "", "t", "f", settings::kAuthLogin}).failed);
  EXPECT_EQ(1u, CheckTestMailSettings({"s", "", "", "t", "f", settings::kAuthLogin}).messages.size())
      << "one message when both are missing";
  for (int type : {0, 1, 3, -1}) EXPECT_FALSE(CheckTestMailSettings({"s", "", "", "t", "f", type}).failed);
}

TEST(SettingsRules, AMissingSenderOnlyWarnsAndBlanksCountAsText) {
  const auto check = CheckTestMailSettings({"s", "u", "p", "t", "", settings::kAuthLogin});
  EXPECT_FALSE(check.failed);
  EXPECT_EQ(1u, check.messages.size());
  EXPECT_FALSE(CheckTestMailSettings({" ", " ", " ", " ", " ", settings::kAuthLogin}).failed);
  EXPECT_TRUE(CheckTestMailSettings({" ", " ", " ", " ", " ", settings::kAuthLogin}).messages.empty());
}

TEST(SettingsRules, ANotificationNeedsServerAndRecipientButNoSender) {
  settings::MailSettings mail{"mail.example.net", "null", "", "2", "me@example.net", "null"};
  EXPECT_TRUE(settings::CanSendNotification(mail));
  mail.to = "null";
  EXPECT_FALSE(settings::CanSendNotification(mail));
  mail = {"", "", "", "2", "me@example.net", ""};
  EXPECT_FALSE(settings::CanSendNotification(mail));
}

}  // namespace

// A setting that cannot be read is told once per run, by the name the user
// knows, however many times the settings are read again.
TEST(UnreadableNotice, EachSettingIsToldOnceAndByItsName) {
  settings::UnreadableNotice notice;
  EXPECT_EQ("", notice.Take({}));
  const std::string first = notice.Take({"WebNotifyUrlProtected", "SMTPPasswordProtected"});
  EXPECT_NE(std::string::npos, first.find("the web notification's address (WebNotifyUrlProtected)"));
  EXPECT_NE(std::string::npos, first.find("the mail password (SMTPPasswordProtected)"));
  EXPECT_EQ("", notice.Take({"SMTPPasswordProtected", "WebNotifyUrlProtected"})) << "already told";
  const std::string later = notice.Take({"SMTPPasswordProtected", "WebTarget2UrlProtected"});
  EXPECT_NE(std::string::npos, later.find("WebTarget2UrlProtected")) << "a name it has no words for is still named";
  EXPECT_EQ(std::string::npos, later.find("mail password")) << "only what is new";
}
