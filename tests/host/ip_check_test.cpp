// The decisions of one IP check: cutting the address, the stamp, a change.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/IpCheck.h"
#include "channels/StampTime.h"

namespace {

using app::ExtractBetween;

std::string Cut(const std::string& page, const app::LeadBytePredicate& lead = {}) {
  return ExtractBetween(page, app::kStartMarker, app::kEndMarker, 0, lead);
}

TEST(ExtractBetween, TakesTheTextBetweenTheMarkersUntrimmed) {
  EXPECT_EQ("203.0.113.7", Cut("<html>Your IP: <!--startip-->203.0.113.7<!--endip--> thanks</html>"));
  EXPECT_EQ("\r\n203.0.113.7 ", Cut("<!--startip-->\r\n203.0.113.7 <!--endip-->"));
  EXPECT_EQ("", Cut("<!--startip--><!--endip-->"));
}

TEST(ExtractBetween, OnlyTheFirstStartMarkerCounts) {
  EXPECT_EQ("a<!--startip-->b", Cut("<!--startip-->a<!--startip-->b<!--endip-->"));
  EXPECT_EQ("a", Cut("<!--startip-->a<!--endip--><!--startip-->b<!--endip-->"));
}

TEST(ExtractBetween, MissingOrMisplacedMarkersGiveTheEmptyAddress) {
  EXPECT_EQ("", Cut(""));
  EXPECT_EQ("", Cut("<!--endip-->203.0.113.7<!--startip-->"));
  EXPECT_EQ("", Cut("<!--startip-->203.0.113.7"));
  EXPECT_EQ("", Cut("<!--startip-->203.0.113.7<!--endip"));
  // No start marker at all: the empty address, rather than a cut taken from
  // the page's fourteenth character on.
  EXPECT_EQ("", Cut("0123456789ABCDEFGHIJ<!--endip-->"));
}

TEST(ExtractBetween, StartPositionsOutsideThePageFindNothing) {
  const std::string page = "<!--startip-->1.2.3.4<!--endip-->";
  EXPECT_EQ("", ExtractBetween(page, app::kStartMarker, app::kEndMarker, -1));
  EXPECT_EQ("", ExtractBetween(page, app::kStartMarker, app::kEndMarker, static_cast<int>(page.size()) + 1));
  EXPECT_EQ("", ExtractBetween(page, app::kStartMarker, app::kEndMarker, 1));
  EXPECT_EQ("1.2.3.4", ExtractBetween(page, app::kStartMarker, app::kEndMarker, 0));
}

TEST(ExtractBetween, NeverMatchesInsideATwoByteCharacter) {
  // 0x81..0x9F lead a two-byte character in the Japanese code page; '<' (0x3C)
  // is a valid trail byte there, so "\x81<!--startip-->" is a character
  // followed by "!--startip-->", not a marker.
  const auto shiftJisLead = [](unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); };
  const std::string hidden = "\x81<!--startip-->9.9.9.9<!--endip--><!--startip-->1.2.3.4<!--endip-->";
  EXPECT_EQ("1.2.3.4", Cut(hidden, shiftJisLead));
  EXPECT_EQ("9.9.9.9", Cut(hidden)) << "in a single-byte code page the first marker is real";
  const std::string endHidden = "<!--startip-->5.6.7.8\x81<!--endip-->tail<!--endip-->";
  EXPECT_EQ("5.6.7.8\x81<!--endip-->tail", Cut(endHidden, shiftJisLead));
}

class StampTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

TEST_F(StampTest, ReadsLikeTheStatusField) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 6;
  t.tm_hour = 14;
  t.tm_min = 5;
  t.tm_sec = 9;
  const std::time_t when = timegm(&t);
  EXPECT_EQ("Last Updated On\r\n\r\n03/06/2026 at 02:05:09 PM\r\n\r\nCurrent IP:", app::FormatStamp(when));
  EXPECT_EQ("03/06/2026 at 02:05:09 PM", channels::FormatStampTime(when));
  t.tm_hour = 0;
  EXPECT_EQ("Last Updated On\r\n\r\n03/06/2026 at 12:05:09 AM\r\n\r\nCurrent IP:", app::FormatStamp(timegm(&t)));
}

TEST(Decisions, AChangeIsANewNonEmptyAddressComparedExactly) {
  EXPECT_TRUE(app::IsChange("203.0.113.7", ""));
  EXPECT_TRUE(app::IsChange("203.0.113.8", "203.0.113.7"));
  EXPECT_TRUE(app::IsChange(" 203.0.113.7", "203.0.113.7")) << "a blank makes it another address";
  EXPECT_FALSE(app::IsChange("203.0.113.7", "203.0.113.7"));
  EXPECT_FALSE(app::IsChange("", "203.0.113.7"));
}

TEST(Notification, TheBodyGainsTheIpv6LineOnlyWhileIpv6IsWatched) {
  EXPECT_EQ("New IP Address:  203.0.113.7", app::NotificationText("203.0.113.7", "2001:db8::7", false))
      << "off: the text it always was";
  EXPECT_EQ("New IP Address:  203.0.113.7\r\nNew IPv6 Address:  2001:db8::7",
            app::NotificationText("203.0.113.7", "2001:db8::7", true));
  EXPECT_EQ("New IP Address:  203.0.113.7\r\nNo IPv6 address", app::NotificationText("203.0.113.7", "", true));
}

TEST(TrayTip, ShowsBothAddressesWithinTheRoomAndCutsOnlyVisiblyAfterAWholeGroup) {
  const std::string longest6 = "ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255";  // 45
  const std::string full6 = "2001:0db8:85a3:0000:0000:8a2e:0370:7334";
  struct Case {
    const char* name;
    std::string v4;
    std::optional<std::string> v6;
    bool stopped;
    std::string tip;
  };
  const Case cases[] = {
      {"off, before the first check", "", std::nullopt, false, "Corvane by Orlimar"},
      {"off", "203.0.113.7", std::nullopt, false, "Corvane by Orlimar - 203.0.113.7"},
      {"off, web stopped", "203.0.113.7", std::nullopt, true,
       "Corvane by Orlimar - 203.0.113.7 (web notification stopped)"},
      {"on, both", "203.0.113.7", "2001:db8::7", false, "Corvane by Orlimar - 203.0.113.7 / 2001:db8::7"},
      {"on, no IPv6 address", "203.0.113.7", "", false, "Corvane by Orlimar - 203.0.113.7 / No IPv6 address"},
      {"on, no IPv4 address yet", "", "2001:db8::7", false, "Corvane by Orlimar - 2001:db8::7"},
      {"on, neither", "", "", true, "Corvane by Orlimar - No IPv6 address (web notification stopped)"},
      {"on, every group written out, stopped", "203.0.113.7", full6, true,
       "Corvane by Orlimar - 203.0.113.7 / " + full6 + " (web notification stopped)"},
      // The page may show an IPv6 literal too: two at their longest do not fit.
      {"two longest, stopped", longest6, longest6, true,
       "Corvane by Orlimar - ffff:ffff:ffff:ffff:ffff:ffff:255.... / ffff:ffff:ffff:ffff:ffff:ffff:255.... "
       "(web notification stopped)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string tip = app::TrayTipText(c.v4, c.v6, c.stopped);
    EXPECT_LE(tip.size(), app::kLongestTrayTip);
    EXPECT_EQ(c.tip, tip);
  }
  // However long the addresses, the tip fits, and a cut is marked right after a separator.
  for (std::size_t length = 40; length <= 200; length += 7) {
    const std::string v4(length, '1');
    std::string v6;
    while (v6.size() < length) v6 += "abcd:";
    const std::string tip = app::TrayTipText(v4, v6, true);
    EXPECT_LE(tip.size(), app::kLongestTrayTip) << length;
    const std::size_t mark = tip.find("... (web");
    ASSERT_NE(std::string::npos, mark) << tip;
    EXPECT_EQ(':', tip[mark - 1]) << tip;
  }
}

TEST(AddressLiteral, TakesIpv4AndIpv6FormsUpTo45CharactersAndNothingElse) {
  for (const char* good : {"203.0.113.7", "0.0.0.0", "255.255.255.255", "2001:db8::1", "::1", "::", "fe80::",
                           "1:2:3:4:5:6:7:8", "::ffff:192.0.2.1", "ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255"})
    EXPECT_TRUE(app::IsAddressLiteral(good)) << good;
  for (const char* bad :
       {"", "256.1.1.1", "1.2.3", "1.2.3.4.5", "01.2.3.4", "1.2.3.4 ", "1..2.3", "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8:9",
        "1::2::3", ":1::", "1:2:3:4:5:6:7::8", "12345::", "::1.2.3", "::1.2.3.4:5", "fe80::1%eth0",
        "<b>Service moved, see our new page</b>", "1.2.3.4\n", "0000:0000:0000:0000:0000:0000:255.255.255.255x"})
    EXPECT_FALSE(app::IsAddressLiteral(bad)) << bad;
  EXPECT_FALSE(app::IsAddressLiteral(std::string("1.2.3.4\0", 8)));
  // A single trailing colon, however the groups before it count.
  for (const char* bad : {"2001:db8::1:", "1:2:3:4:5:6:7:8:"}) EXPECT_FALSE(app::IsAddressLiteral(bad)) << bad;
}

TEST(AddressFromPage, MarkedCutOrPlainBodyTrimmedAndOnlyWhenItIsAnAddress) {
  EXPECT_EQ("203.0.113.7", app::AddressFromPage("<p><!--startip-->\r\n 203.0.113.7\t<!--endip--></p>"));
  EXPECT_EQ("2001:db8::7", app::AddressFromPage(" 2001:db8::7\r\n"));
  EXPECT_EQ("", app::AddressFromPage("<!--startip--><b>Service moved, see our new page</b><!--endip-->"));
  EXPECT_EQ("", app::AddressFromPage("<!--startip--><!--endip-->"));
  EXPECT_EQ("", app::AddressFromPage("<!--startip-->203.0.113.7")) << "a marked page is never read as plain";
  EXPECT_EQ("", app::AddressFromPage("<html>203.0.113.7</html>"));
  EXPECT_EQ("", app::AddressFromPage(""));
}

TEST(PageList, SplitsOnBlanksAndOneFailureReadsAsBefore) {
  EXPECT_EQ((std::vector<std::string>{"https://a.example/", "http://b.example/ip"}),
            app::SplitPageList("  https://a.example/ \t http://b.example/ip\r\n"));
  EXPECT_EQ(std::vector<std::string>{"http://a.example/"}, app::SplitPageList("http://a.example/"));
  EXPECT_TRUE(app::SplitPageList(" ").empty());
  EXPECT_EQ("Cannot fetch x: refused", app::CombinedFailure({"Cannot fetch x: refused"}));
  EXPECT_EQ("one\ntwo", app::CombinedFailure({"one", "two"}));
  // A page's login never reaches the box.
  EXPECT_EQ("The page at https://home.example/ip.php did not show an IP address.",
            app::NoAddressText("https://me:pw@home.example/ip.php"));
}

}  // namespace
