// The main window watching this computer's IPv6 address beside the page's
// IPv4 address, under Wine, in the network namespace its script makes: v0
// carries a global address beside link-local and unique-local ones, and the
// test replaces the global one through the peers while the window runs.
// Which channel is owed which family is the conductor's, and its table is
// native; here the real adapters, mail and targets meet.
#include "app_harness.h"

#include "settings/StoredSettings.h"

namespace {

using app_test::AppTest;
using app_test::kAddress;
using app_test::MainWindow;
using app_test::PageWith;
using ui_driver::PumpUntil;
using ui_driver::Text;

constexpr char kGlobal[] = "2001:db8:1::10";
constexpr char kNewGlobal[] = "2001:db8:2::20";

class Ipv6WindowTest : public AppTest {
 protected:
  // The page shows kAddress; the mail goes to a server that wants the stored
  // login; `ipv6` is the stored setting.
  void StartServers(MainWindow& window, const std::string& ipv6) {
    http = StartHttp(PageWith(kAddress));
    smtp = peers.StartSmtp("auth=login,plain&user=alice&password=" + peers::PeerClient::Encode("s3cret pw"));
    app_test::StoreCompleteSettings(http);
    app_test::Store({{"IPv6", ipv6}});
    window.smtpPort = smtp;
  }

  // One target a URL, each answering as a service that took the update.
  std::vector<int> StoreTargets(const std::vector<std::string>& paths) {
    std::vector<int> ports;
    std::vector<settings::WebSettings> targets(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
      ports.push_back(StartWeb("OK"));
      targets[i].url = WebUrl(ports.back(), paths[i]);
    }
    CRegistry r;
    settings::OpenStore(r);
    EXPECT_EQ("", settings::WriteWebTargets(r, targets));
    return ports;
  }

  // `add` comes before `remove` goes, as when the prefix changes. Called from
  // inside the window's loop, so a refusal is a failure, not an exception.
  bool ChangeGlobalAddress(const std::string& add, const std::string& remove) {
    try {
      peers.Get("/net/ipv6?dev=v0&add=" + peers::PeerClient::Encode(add + "/64") +
                "&del=" + peers::PeerClient::Encode(remove + "/64"));
      return true;
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
      return false;
    }
  }

  static std::string Body(const peers::ReceivedMail& mail) {
    const std::size_t end = mail.content.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : mail.content.substr(end + 4);
  }
  static std::string RequestLine(const std::string& request) { return request.substr(0, request.find("\r\n")); }

  int http = 0, smtp = 0;
};

// The first check reads both families and every channel hears of them; a
// new global address alone then reaches the mail and the targets that use
// it, with the IPv4 address unchanged, and not the target that uses only
// the IPv4 address.
TEST_F(Ipv6WindowTest, TheGlobalAddressIsShownMailedAndPublishedAndOnlyItsChannelsHearOfItsReplacement) {
  MainWindow window;
  StartServers(window, "1");
  const std::vector<int> targets = StoreTargets({"/nic/update?myip={ips}", "/v4?ip={ip}", "/v6?ip={ip6}&was={old6}"});
  const int both = targets[0], v4 = targets[1], v6 = targets[2];
  bool replaced = false;
  Run(window, [&](HWND main) {
    const HWND field = GetDlgItem(main, IDC_IP6);
    EXPECT_TRUE(IsWindowVisible(field)) << "the IPv6 field is part of the face";
    EXPECT_EQ(kGlobal, Text(main, IDC_IP6)) << "not the link-local or unique-local address";
    EXPECT_EQ(kAddress, Text(main, IDC_IP));
    ASSERT_EQ(1u, peers.Messages(smtp).size());

    replaced = ChangeGlobalAddress(kNewGlobal, kGlobal);
    ASSERT_TRUE(replaced);
    app_test::CheckNow(main);
    EXPECT_TRUE(PumpUntil([&] { return peers.Messages(smtp).size() == 2; }, 20'000))
        << "the new address was not mailed";
    EXPECT_TRUE(app_test::CheckEnded(main));
    EXPECT_EQ(kNewGlobal, Text(main, IDC_IP6));
    EXPECT_EQ(kAddress, Text(main, IDC_IP));
  });
  if (replaced) ChangeGlobalAddress(kGlobal, kNewGlobal);  // for the cases after this one
  EXPECT_TRUE(boxes.records.empty()) << boxes.records.front().text;
  EXPECT_EQ(2, peers.HttpHits(http)) << "one page read a check";

  const auto mails = peers.Messages(smtp);
  ASSERT_EQ(2u, mails.size());
  EXPECT_NE(std::string::npos, mails[0].content.find("Subject: IP Address Change\r\n")) << mails[0].content;
  EXPECT_EQ(0u, Body(mails[0]).find("New IP Address:  203.0.113.7\r\nNew IPv6 Address:  2001:db8:1::10"))
      << mails[0].content;
  EXPECT_EQ(0u, Body(mails[1]).find("New IP Address:  203.0.113.7\r\nNew IPv6 Address:  2001:db8:2::20"))
      << mails[1].content;

  const auto toBoth = peers.HttpRequests(both);
  ASSERT_EQ(2u, toBoth.size());
  EXPECT_EQ("GET /nic/update?myip=203.0.113.7%2C2001%3Adb8%3A1%3A%3A10 HTTP/1.1", RequestLine(toBoth[0]));
  EXPECT_EQ("GET /nic/update?myip=203.0.113.7%2C2001%3Adb8%3A2%3A%3A20 HTTP/1.1", RequestLine(toBoth[1]));
  const auto toV4 = peers.HttpRequests(v4);
  ASSERT_EQ(1u, toV4.size()) << "the IPv4 target was called for an IPv6 change";
  EXPECT_EQ("GET /v4?ip=203.0.113.7 HTTP/1.1", RequestLine(toV4[0]));
  const auto toV6 = peers.HttpRequests(v6);
  ASSERT_EQ(2u, toV6.size());
  EXPECT_EQ(0u, RequestLine(toV6[0]).find("GET /v6?ip=2001%3Adb8%3A1%3A%3A10&was=")) << toV6[0];
  EXPECT_EQ("GET /v6?ip=2001%3Adb8%3A2%3A%3A20&was=2001%3Adb8%3A1%3A%3A10 HTTP/1.1", RequestLine(toV6[1]));
}

// With the setting off the same adapters change nothing the user or a
// service sees: no field, a one-line mail, the IPv4 target's request as it
// always was.
TEST_F(Ipv6WindowTest, WithTheSettingOffNoIpv6AddressAppears) {
  MainWindow window;
  StartServers(window, "0");
  const std::vector<int> targets = StoreTargets({"/v4?ip={ip}&was={old}"});
  Run(window, [&](HWND main) {
    // Its own style, not the window's: the field stays hidden however the face shows.
    EXPECT_FALSE(GetWindowLongA(GetDlgItem(main, IDC_IP6), GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(kAddress, Text(main, IDC_IP));
  });
  EXPECT_TRUE(boxes.records.empty()) << boxes.records.front().text;
  const auto mails = peers.Messages(smtp);
  ASSERT_EQ(1u, mails.size());
  EXPECT_EQ("New IP Address:  203.0.113.7\r\n", Body(mails[0])) << mails[0].content;
  const auto requests = peers.HttpRequests(targets[0]);
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("GET /v4?ip=203.0.113.7&was= HTTP/1.1", RequestLine(requests[0]));
  EXPECT_EQ(std::string::npos, requests[0].find("2001")) << requests[0];
}

}  // namespace
