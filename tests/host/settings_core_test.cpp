// Password scrambling and the numbers the registry keeps as text.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "settings/NumberText.h"
#include "settings/RegistryText.h"
#include "settings/Scramble.h"
#include "settings/UnreadableNotice.h"

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
#include "settings/SettingsRules.h"

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

TEST(SettingsRules, OnlyAStoredOneTurnsIpv6On) {
  EXPECT_TRUE(settings::Ipv6OnFromText("1"));
  for (const char* off : {"0", "", "null", "2", " 1", "1 ", "01", "yes", "-1"}) {
    EXPECT_FALSE(settings::Ipv6OnFromText(off)) << off;
    EXPECT_EQ(0, settings::Ipv6IndexForText(off)) << off;
  }
  EXPECT_EQ(1, settings::Ipv6IndexForText("1"));
  EXPECT_EQ("1", settings::Ipv6TextForIndex(1));
  for (int index : {0, -1, 2}) EXPECT_EQ("0", settings::Ipv6TextForIndex(index)) << index;
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
  const std::string list = notice.Take({"WebTargetList", "WebTargets"});
  EXPECT_NE(std::string::npos, list.find("the web notifications (WebTargetList)"));
  EXPECT_NE(std::string::npos, list.find("the number of web notifications (WebTargets)"));
}

#include "settings/WebTargetList.h"

namespace {

using namespace std::string_literals;

std::vector<std::uint32_t> Ids(const settings::WebList& list) {
  std::vector<std::uint32_t> ids;
  for (const auto& target : list.targets) ids.push_back(target.id);
  return ids;
}

}  // namespace

// Texts that look like the form's own framing, blanks, line ends and zero
// bytes come back exactly, with each target's id and the next id.
TEST(WebList, EveryTargetComesBackExactlyWithItsId) {
  settings::WebList list;
  list.nextId = 12;
  list.targets = {{"https://c.example/x?k=1 2", "PUT", "X-C-Key: C-SECRET\r\nX-Two: 2",
                   std::string("a\0b\n7 GET 1 0 0\n", 16), 3, settings::WebWhen::KeepsFailing},
                  {"https://b.example/", "GET", "", "", 11, settings::WebWhen::EveryGoodCheck},
                  {"", "PATCH", "", "", 1}};
  const auto back = settings::DecodeWebList(settings::EncodeWebList(list));
  ASSERT_TRUE(back);
  EXPECT_EQ(12u, back->nextId);
  ASSERT_EQ(3u, back->targets.size());
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(list.targets[i].id, back->targets[i].id) << i;
    EXPECT_EQ(list.targets[i].method, back->targets[i].method) << i;
    EXPECT_EQ(list.targets[i].url, back->targets[i].url) << i;
    EXPECT_EQ(list.targets[i].headers, back->targets[i].headers) << i;
    EXPECT_EQ(list.targets[i].body, back->targets[i].body) << i;
    EXPECT_EQ(list.targets[i].when, back->targets[i].when) << i;
  }
  const auto empty = settings::DecodeWebList(settings::EncodeWebList({{}, 5}));
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->targets.empty());
  EXPECT_EQ(5u, empty->nextId) << "an empty list still keeps which ids were given";
  const auto odd = settings::DecodeWebList(settings::EncodeWebList({{{"https://a.example/", "GET x", "", "", 1}}, 2}));
  ASSERT_TRUE(odd) << "a method the reader would not take is stored as GET";
  EXPECT_EQ("GET", odd->targets[0].method);
}

// A list stored before targets had a choice of when they are called keeps
// every target and part, each target called on a change as it always was.
TEST(WebList, AListOfTheFirstFormReadsEveryTargetAsCalledOnAChange) {
  const auto read = settings::DecodeWebList(
      "Corvane web targets 1\nnext 9\n"
      "8 POST 18 0 2\nhttps://a.example/{}"
      "3 GET 0 0 0\n"s);
  ASSERT_TRUE(read);
  ASSERT_EQ(2u, read->targets.size());
  EXPECT_EQ(9u, read->nextId);
  EXPECT_EQ(8u, read->targets[0].id);
  EXPECT_EQ("POST", read->targets[0].method);
  EXPECT_EQ("https://a.example/", read->targets[0].url);
  EXPECT_EQ("{}", read->targets[0].body);
  for (const auto& target : read->targets) EXPECT_EQ(settings::WebWhen::OnChange, target.when) << target.id;
  const std::string written = settings::EncodeWebList(*read);
  EXPECT_EQ("Corvane web targets 2\nnext 9\n8 POST change 18 0 2\nhttps://a.example/{}3 GET change 0 0 0\n", written)
      << "written again in the form that keeps the choice";
}

// Bytes this program did not write as a list are no list: read as unreadable,
// never as some of the targets.
TEST(WebList, AnythingButAWholeListIsRefused) {
  const std::string head = "Corvane web targets 1\nnext 5\n", now = "Corvane web targets 2\nnext 5\n";
  ASSERT_TRUE(settings::DecodeWebList(head + "4 GET 3 0 0\nabc"));
  ASSERT_TRUE(settings::DecodeWebList(now + "4 GET failing 3 0 0\nabc"));
  const std::string nine = [&] {
    std::string bytes = "Corvane web targets 1\nnext 10\n";
    for (int id = 1; id <= 9; ++id) bytes += std::to_string(id) + " GET 0 0 0\n";
    return bytes;
  }();
  for (const std::string& bytes : {
           std::string(),
           "Corvane web targets 3\nnext 5\n"s,  // another form
           "Corvane web targets 1\nnext 0\n"s,  // no id could be given
           "Corvane web targets 1\nnext 05\n"s,
           "Corvane web targets 1\n"s,
           head + "0 GET 0 0 0\n",               // id 0
           head + "5 GET 0 0 0\n",               // not below the next
           head + "2 GET 0 0 0\n2 PUT 0 0 0\n",  // taken twice
           head + "2 DELETE 0 0 0\n",            // not among the four
           head + "2 get 0 0 0\n",
           head + "2 GET 4 0 0\nabc",   // runs past the end
           head + "2 GET 3 0 0\nabcd",  // bytes left over
           head + "2 GET 3 0\nabc",     // a length missing
           head + "2 GET -1 0 0\n",
           head + "2 GET 3 0 0",  // no line end
           head + "2  GET 0 0 0\n",
           nine,
           head + "2 GET change 0 0 0\n",  // the first form had no when
           now + "2 GET 0 0 0\n",          // this one always has
           now + "2 GET sometimes 0 0 0\n",
           now + "2 GET Change 0 0 0\n",
           now + "2 change GET 0 0 0\n",
       })
    EXPECT_FALSE(settings::DecodeWebList(bytes)) << bytes;
}

TEST(WebList, NewTargetsTakeIdsNeverGivenAndKeptOnesKeepTheirs) {
  struct Case {
    std::vector<std::uint32_t> ids;
    std::uint32_t next;
    std::vector<std::uint32_t> wantIds;
    std::uint32_t wantNext;
  } cases[] = {
      {{}, 1, {}, 1},         {{0, 0}, 1, {1, 2}, 3},
      {{1, 2}, 3, {1, 2}, 3}, {{2, 0}, 5, {2, 5}, 6},  // 3 and 4 were given to targets since removed
      {{0, 7}, 3, {8, 7}, 9},                          // the next is moved past every id first
      {{4, 4}, 5, {4, 5}, 6},                          // a copied target is a new one
  };
  for (const Case& c : cases) {
    settings::WebList list;
    list.nextId = c.next;
    for (const std::uint32_t id : c.ids) list.targets.push_back({"https://a.example/", "GET", "", "", id});
    settings::AssignWebIds(list);
    EXPECT_EQ(c.wantIds, Ids(list)) << c.ids.size() << " from " << c.next;
    EXPECT_EQ(c.wantNext, list.nextId) << c.ids.size() << " from " << c.next;
  }
}

// The count of the per-target form: a text that is no count is never taken
// for no targets, and one above the most reads as the most.
TEST(WebList, ThePerTargetCountIsDigitsOnly) {
  const std::pair<std::string, std::optional<int>> cases[] = {
      {"0", 0},
      {"3", 3},
      {"8", 8},
      {"9", 8},
      {"10", 8},
      {"003", 3},
      {"000", 0},
      {"99999999999999999999", 8},
      {"", std::nullopt},
      {"x", std::nullopt},
      {"-1", std::nullopt},
      {" 2", std::nullopt},
      {"2 ", std::nullopt},
      {"2x", std::nullopt},
      {"\x02", std::nullopt},
      {"+2", std::nullopt},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(want, settings::RowFormCount(text)) << '"' << text << '"';
}

TEST(WebList, ValuesOfThePerTargetFormAreKnownByName) {
  const std::pair<const char*, int> cases[] = {
      {"WebTarget1Url", 1},
      {"WebTarget8Method", 8},
      {"WebTarget12Headers", 12},
      {"WebTarget3Body", 3},
      {"WebTargets", 0},
      {"WebTargetList", 0},
      {"WebTarget1", 0},
      {"WebTargetUrl", 0},
      {"WebTarget1Urls", 0},
      {"WebTarget0Url", 0},
      {"WebTarget01Url", 0},
      {"webtarget1Url", 0},
      {"WebNotifyUrlProtected", 0},
      {"WebTarget99999999999Url", 0},
  };
  for (const auto& [name, want] : cases) EXPECT_EQ(want, settings::RowFormNumber(name)) << name;
}

// An unreadable value stays only with the target it was read for, while
// that target keeps its address.
TEST(WebList, AnUnreadableValueStaysOnlyWithItsUnchangedTarget) {
  const std::vector<settings::WebSettings> saved = {
      {"https://b.example/", "GET", "", "", 2}, {"", "GET", "", "", 4}, {"https://new.example/", "GET", "", "", 9}};
  struct Case {
    int number, rowsRead;
    const char* rowUrl;
    bool keeps;
  } cases[] = {
      {2, 3, "https://b.example/", true},
      {2, 3, "https://b-changed.example/", false},  // the address was edited
      {1, 3, "https://a.example/", false},          // the target was removed
      {3, 3, "https://b.example/", false},          // another row's address is not its own
      {4, 8, "", true},                             // an unreadable address, left as it was
      {4, 3, "", false},                            // beyond the count: never read
      {9, 9, "https://new.example/", false},        // beyond the most: never read
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.keeps, settings::KeepsUnreadableRow(c.number, c.rowsRead, c.rowUrl, saved)) << c.number;
}
