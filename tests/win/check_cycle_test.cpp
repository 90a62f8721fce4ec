// The IP check run by the real main window under Wine: the page comes from a
// real HTTP server, the notification goes to a real SMTP server, the popup
// and the settings dialog are the program's own windows.
#include "app_harness.h"
#include "SettingsRules.h"
#include "ProtectedValue.h"
#include "WebNotify.h"

namespace {

using app_test::AppTest;
using app_test::IsStamp;
using app_test::kAddress;
using app_test::MainWindow;
using app_test::PageWith;
using ui_driver::Click;
using ui_driver::PumpUntil;
using ui_driver::SetText;
using ui_driver::Text;

class CheckCycleTest : public AppTest {
 protected:
  // A server that wants the stored user and the unscrambled password.
  int StartMail(const std::string& extra = "") {
    return peers.StartSmtp("auth=login,plain&user=alice&password=" + peers::PeerClient::Encode("s3cret pw") + extra);
  }

  struct Servers {
    int http, smtp;
  };
  // The usual start: the page shows kAddress, the settings are complete and
  // the window's mail goes to a server that wants the stored login.
  Servers StartServers(MainWindow& window) {
    const Servers servers{StartHttp(PageWith(kAddress)), StartMail()};
    app_test::StoreCompleteSettings(servers.http);
    window.smtpPort = servers.smtp;
    return servers;
  }
};

TEST_F(CheckCycleTest, FirstCheckSendsOneMailWithTheUnscrambledPasswordAndShowsThePopup) {
  MainWindow window;
  const auto [http, smtp] = StartServers(window);
  bool popupShown = false;
  Run(window, [&](HWND main) {
    EXPECT_EQ(kAddress, Text(main, IDC_IP));
    EXPECT_TRUE(IsStamp(Text(main, IDC_STATUS))) << Text(main, IDC_STATUS);
    popupShown = PumpUntil([] { return app_test::Popup() && IsWindowVisible(app_test::Popup()); }, 3000);
  });
  EXPECT_TRUE(popupShown);
  EXPECT_TRUE(boxes.records.empty()) << boxes.records.front().text;
  EXPECT_EQ(1, peers.HttpHits(http));
  const auto mails = peers.Messages(smtp);
  ASSERT_EQ(1u, mails.size());
  EXPECT_EQ("ip@example.net", mails[0].from);
  EXPECT_EQ(std::vector<std::string>{"me@example.net"}, mails[0].to);
  EXPECT_EQ("LOGIN", mails[0].authMech);
  EXPECT_EQ("alice", mails[0].authUser);
  EXPECT_EQ("s3cret pw", mails[0].authPassword);
  EXPECT_NE(std::string::npos, mails[0].content.find("Subject: IP Address Change\r\n")) << mails[0].content;
  EXPECT_NE(std::string::npos, mails[0].content.find("\r\n\r\nNew IP Address:  203.0.113.7")) << mails[0].content;
  EXPECT_EQ("<missing>", app_test::Stored("IP")) << "the address is never stored";
}

TEST_F(CheckCycleTest, SameAddressOnlyRestampsAndANewOneSendsAgainWithTheSamePassword) {
  MainWindow window;
  const auto [http, smtp] = StartServers(window);
  Run(window, [&](HWND main) {
    ASSERT_EQ(1u, peers.Messages(smtp).size());
    // A text the program never writes, so the next stamp shows.
    SetText(main, IDC_STATUS, "stale");
    Click(main, IDC_UPDATE);
    EXPECT_TRUE(IsStamp(Text(main, IDC_STATUS))) << Text(main, IDC_STATUS);
    EXPECT_EQ(kAddress, Text(main, IDC_IP));
    EXPECT_EQ(1u, peers.Messages(smtp).size()) << "the same address is no change";

    peers.SetPage(http, 200, PageWith("198.51.100.23"));
    Click(main, IDC_UPDATE);
    EXPECT_EQ("198.51.100.23", Text(main, IDC_IP));

    // Markup where the address should be: a failed check that shows and
    // mails nothing.
    peers.SetPage(http, 200, PageWith("<b>Service moved, see our new page</b>"));
    SetText(main, IDC_STATUS, "stale");
    Click(main, IDC_UPDATE);
    EXPECT_EQ("stale", Text(main, IDC_STATUS));
    EXPECT_EQ("198.51.100.23", Text(main, IDC_IP));
  });
  ASSERT_EQ(1u, boxes.records.size());
  EXPECT_EQ("The page at http://127.0.0.1:" + std::to_string(http) + "/ip.php did not show an IP address.",
            boxes.records[0].text);
  EXPECT_EQ(4, peers.HttpHits(http));
  const auto mails = peers.Messages(smtp);
  ASSERT_EQ(2u, mails.size());
  EXPECT_NE(std::string::npos, mails[1].content.find("New IP Address:  198.51.100.23"));
  EXPECT_EQ("s3cret pw", mails[1].authPassword) << "the stored form is unscrambled afresh each time";
}

TEST_F(CheckCycleTest, FailedSendShowsTheErrorKeepsTheOldAddressAndTheNextCheckSends) {
  const int http = StartHttp(PageWith(kAddress));
  const int good = StartMail();
  const int refusing = StartMail("&fail=rcpt:550");
  app_test::StoreCompleteSettings(http);
  MainWindow window;
  window.smtpPort = good;
  Run(window, [&](HWND main) {
    ASSERT_EQ(kAddress, Text(main, IDC_IP));
    // The first check's popup goes first, so a new one would be seen.
    ASSERT_TRUE(PumpUntil([] { return app_test::Popup() && !IsWindowVisible(app_test::Popup()); }, 6000));
    C_SMTP control;
    control.Attach(GetDlgItem(main, IDC_SMTP));
    SetSmtpProperty(control, smtp::dispid::kPort, std::int32_t{refusing});

    peers.SetPage(http, 200, PageWith("198.51.100.23"));
    SetText(main, IDC_STATUS, "before");
    Click(main, IDC_UPDATE);
    ASSERT_EQ(1u, boxes.records.size());
    EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), boxes.records[0].type & MB_ICONMASK);
    EXPECT_EQ(kAddress, Text(main, IDC_IP)) << "the field still shows the old address";
    EXPECT_EQ("before", Text(main, IDC_STATUS)) << "nothing is shown after a failure";
    const HWND popup = app_test::Popup();
    ui_driver::Pump(700);
    EXPECT_FALSE(popup && IsWindowVisible(popup)) << "no popup after a failed send";

    SetSmtpProperty(control, smtp::dispid::kPort, std::int32_t{good});
    control.Detach();
    Click(main, IDC_UPDATE);
    EXPECT_EQ("198.51.100.23", Text(main, IDC_IP));
  });
  EXPECT_EQ(1u, boxes.records.size());
  const auto mails = peers.Messages(good);
  ASSERT_EQ(2u, mails.size());
  EXPECT_NE(std::string::npos, mails[1].content.find("New IP Address:  198.51.100.23"));
}

TEST_F(CheckCycleTest, FailedFetchShowsTheErrorAndChangesNoField) {
  MainWindow window;
  const auto [http, smtp] = StartServers(window);
  Run(window, [&](HWND main) {
    SetText(main, IDC_STATUS, "before");
    peers.SetPage(http, 404, PageWith("198.51.100.23"));
    Click(main, IDC_UPDATE);
    EXPECT_EQ(1u, boxes.records.size());
    EXPECT_EQ(kAddress, Text(main, IDC_IP));
    EXPECT_EQ("before", Text(main, IDC_STATUS));

    peers.Stop(http);  // now refused
    Click(main, IDC_UPDATE);
    EXPECT_EQ(2u, boxes.records.size());
    EXPECT_EQ(kAddress, Text(main, IDC_IP));
    EXPECT_EQ("before", Text(main, IDC_STATUS));
  });
  for (const auto& box : boxes.records) EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), box.type & MB_ICONMASK);
  EXPECT_EQ(1u, peers.Messages(smtp).size()) << "only the first check's mail";
}

TEST_F(CheckCycleTest, IncompleteSettingsOpenTheDialogAndTheChangeIsMailedOnceSaved) {
  const int http = StartHttp(PageWith(kAddress));
  const int smtp = peers.StartSmtp("auth=plain&user=bob&password=new%20pw");
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPServer", "null"}});
  MainWindow window;
  window.smtpPort = smtp;
  bool dialogOpened = false;
  scripts.Then([&](HWND settings) {
    dialogOpened = true;
    SetText(settings, IDC_SMTP_SERVER, "127.0.0.1");
    SetText(settings, IDC_USERNAME, "bob");
    SetText(settings, IDC_PASSWORD, "new pw");
    SendDlgItemMessageA(settings, IDC_AUTHENTICATION, CB_SETCURSEL, 3, 0);  // Plain
    SetText(settings, IDC_SENDTO, "bob@example.net");
    SetText(settings, IDC_FROM, "corvane@example.net");
    Click(settings, IDOK);
  });
  Run(window, [&](HWND main) {
    EXPECT_EQ(kAddress, Text(main, IDC_IP));
    EXPECT_EQ(1u, peers.Messages(smtp).size()) << "the change that opened the dialog is mailed once it is saved";
    Click(main, IDC_UPDATE);
    EXPECT_EQ(1u, peers.Messages(smtp).size()) << "the same address again sends nothing";
    peers.SetPage(http, 200, PageWith("198.51.100.23"));
    Click(main, IDC_UPDATE);
  });
  EXPECT_TRUE(dialogOpened);
  EXPECT_EQ(0, scripts.Pending());
  const auto mails = peers.Messages(smtp);
  ASSERT_EQ(2u, mails.size());
  EXPECT_NE(std::string::npos, mails[0].content.find("New IP Address:  203.0.113.7"));
  EXPECT_EQ("PLAIN", mails[0].authMech);
  EXPECT_EQ("bob", mails[0].authUser);
  EXPECT_EQ("new pw", mails[0].authPassword);
  EXPECT_EQ("corvane@example.net", mails[0].from);
  EXPECT_EQ(std::vector<std::string>{"bob@example.net"}, mails[0].to);
}

TEST_F(CheckCycleTest, DiscardedDialogAsksAgainAtTheNextChangeAndATickMeanwhileStartsNoCheck) {
  const int http = StartHttp(PageWith(kAddress));
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPTo", ""}});
  MainWindow window;
  int opened = 0;
  int hitsBeforeTick = -1, hitsAfterTick = -1;
  scripts.Then([&](HWND settings) {
    ++opened;
    hitsBeforeTick = peers.HttpHits(http);
    SendMessageA(window.hwnd, WM_TIMER, CCorvaneDlg::kCheckTimer, 0);
    hitsAfterTick = peers.HttpHits(http);
    Click(settings, IDCANCEL);
  });
  // The main window takes one of these once the first dialog is gone; any
  // other dialog that opens takes another and is discarded at once (three, so
  // that a second dialog from the tick cannot leave the main window without).
  const auto mainOrSettings = [&](HWND dialog) {
    if (dialog != window.hwnd) {
      ++opened;
      Click(dialog, IDCANCEL);
      return;
    }
    EXPECT_EQ(kAddress, Text(dialog, IDC_IP));
    peers.SetPage(http, 200, PageWith("198.51.100.23"));
    Click(dialog, IDC_UPDATE);  // a change with the settings still incomplete
    EXPECT_EQ("198.51.100.23", Text(dialog, IDC_IP));
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  };
  for (int i = 0; i < 3; ++i) scripts.Then(mainOrSettings);
  EXPECT_EQ(IDCANCEL, window.DoModal());
  EXPECT_EQ(1, hitsBeforeTick);
  EXPECT_EQ(1, hitsAfterTick) << "a tick while the dialog is open starts no second check";
  EXPECT_EQ(2, opened) << "once at start, once for the later change";
  EXPECT_EQ("", app_test::Stored("SMTPTo"));
  EXPECT_TRUE(boxes.records.empty());
}

// A wake-up's check that comes due while a check waits in the settings
// dialog is kept, and runs once the dialog has closed.
TEST_F(CheckCycleTest, AWakeUpWhileTheDialogIsOpenChecksOnceItCloses) {
  const int http = StartHttp(PageWith(kAddress));
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPTo", ""}});
  MainWindow window;
  scripts.Then([&](HWND settings) {
    SendMessageA(window.hwnd, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    SendMessageA(window.hwnd, WM_TIMER, CCorvaneDlg::kSettleTimer, 0);  // its tick, while the dialog is open
    Click(settings, IDCANCEL);
  });
  scripts.Then([&](HWND main) {
    EXPECT_TRUE(PumpUntil([&] { return peers.HttpHits(http) == 2; }, 20000)) << "the wake-up's check was dropped";
    SendMessageA(main, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(IDCANCEL, window.DoModal());
}

TEST_F(CheckCycleTest, UserNullIsSentAsIsAndAuthNullReachesTheControlAsNone) {
  const int http = StartHttp(PageWith(kAddress));
  // Offers no AUTH at all: a login attempt would be refused with 502.
  const int smtp = peers.StartSmtp();
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPUsername", "null"}, {"SMTPAuth", "null"}});
  MainWindow window;
  window.smtpPort = smtp;
  std::int32_t authType = -1;
  std::wstring user;
  Run(window, [&](HWND main) {
    C_SMTP control;
    control.Attach(GetDlgItem(main, IDC_SMTP));
    authType = std::get<std::int32_t>(GetSmtpProperty(control, smtp::dispid::kAuthenticationType));
    user = std::get<std::wstring>(GetSmtpProperty(control, smtp::dispid::kUsername));
    control.Detach();
  });
  EXPECT_TRUE(boxes.records.empty()) << boxes.records.front().text;
  EXPECT_EQ(0, authType);
  EXPECT_EQ(L"null", user);
  const auto mails = peers.Messages(smtp);
  ASSERT_EQ(1u, mails.size());
  EXPECT_EQ("", mails[0].authMech);
}

TEST_F(CheckCycleTest, UserNullWithLoginIsSentAsTheUserName) {
  const int http = StartHttp(PageWith(kAddress));
  const int smtp = peers.StartSmtp("auth=login&user=null&password=" + peers::PeerClient::Encode("s3cret pw"));
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPUsername", "null"}});
  MainWindow window;
  window.smtpPort = smtp;
  Run(window, [](HWND) {});
  EXPECT_TRUE(boxes.records.empty()) << boxes.records.front().text;
  const auto mails = peers.Messages(smtp);
  ASSERT_EQ(1u, mails.size());
  EXPECT_EQ("null", mails[0].authUser);
}

TEST_F(CheckCycleTest, FirstStartWithNoKeyAsksWithoutABoxAndMailsTheAddressOnceSaved) {
  // The built-in pages are plain-text echo services, reached through the proxy.
  const int http = StartHttp("203.0.113.7\n");
  app_test::ProxyThrough proxy(http);
  const int smtp = peers.StartSmtp();
  MainWindow window;
  window.smtpPort = smtp;
  size_t boxesBefore = 99;
  std::string pageShown;
  scripts.Then([&](HWND settings) {
    boxesBefore = boxes.records.size();
    pageShown = Text(settings, IDC_LINK);
    SetText(settings, IDC_SMTP_SERVER, "127.0.0.1");
    SendDlgItemMessageA(settings, IDC_AUTHENTICATION, CB_SETCURSEL, 0, 0);  // None
    SetText(settings, IDC_SENDTO, "me@example.net");
    Click(settings, IDOK);
  });
  Run(window, [&](HWND main) { EXPECT_EQ(kAddress, Text(main, IDC_IP)); });
  EXPECT_EQ(0u, boxesBefore) << "no error box before the dialog";
  EXPECT_EQ(settings::kDefaultLink, pageShown);
  EXPECT_EQ(std::vector<std::string>{settings::kRestartNotice}, boxes.Texts());
  EXPECT_EQ(1, peers.HttpHits(http)) << "the first page answered";
  const auto mails = peers.Messages(smtp);
  ASSERT_EQ(1u, mails.size());
  EXPECT_EQ("<>", mails[0].from) << "an empty sender goes out as the test mail sends it";
  EXPECT_NE(std::string::npos, mails[0].content.find("New IP Address:  203.0.113.7")) << mails[0].content;
}

TEST_F(CheckCycleTest, AnUnreachableFirstPageIsPassedOverAndOnlyAllFailingShowOneBoxNamingEach) {
  const int dead = peers.StartHttp();
  peers.Stop(dead);
  const int http = StartHttp(" 2001:db8::7\r\n");
  const int smtp = StartMail();
  app_test::StoreCompleteSettings(http);
  const std::string first = "http://127.0.0.1:" + std::to_string(dead) + "/ip.php";
  const std::string second = "http://127.0.0.1:" + std::to_string(http) + "/";
  app_test::Store({{"Link", first + "  " + second}});
  MainWindow window;
  window.smtpPort = smtp;
  Run(window, [&](HWND main) {
    EXPECT_EQ("2001:db8::7", Text(main, IDC_IP));
    EXPECT_TRUE(boxes.records.empty());
    peers.SetPage(http, 200, "<html>moved</html>");
    Click(main, IDC_UPDATE);
  });
  const auto mails = peers.Messages(smtp);
  ASSERT_EQ(1u, mails.size());
  EXPECT_NE(std::string::npos, mails[0].content.find("New IP Address:  2001:db8::7"));
  ASSERT_EQ(1u, boxes.records.size());
  const std::string& text = boxes.records[0].text;
  EXPECT_EQ(0u, text.find("Cannot fetch " + first + ": ")) << text;
  EXPECT_NE(std::string::npos, text.find("\nThe page at " + second + " did not show an IP address.")) << text;
}

TEST_F(CheckCycleTest, CompleteSettingsWithAnEmptySenderMailWithoutAsking) {
  const int http = StartHttp(PageWith(kAddress));
  const int smtp = StartMail();
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPFrom", "null"}});
  MainWindow window;
  window.smtpPort = smtp;
  int settingsDialogs = 0;
  // Two scripts, so that a settings dialog opening first cannot leave the
  // main window without one.
  const auto closeAny = [&](HWND dialog) {
    if (dialog != window.hwnd) ++settingsDialogs;
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  };
  scripts.Then(closeAny);
  scripts.Then(closeAny);
  window.DoModal();
  EXPECT_EQ(0, settingsDialogs);
  EXPECT_TRUE(boxes.records.empty()) << boxes.records.front().text;
  const auto mails = peers.Messages(smtp);
  ASSERT_EQ(1u, mails.size());
  EXPECT_EQ("<>", mails[0].from);
}

TEST_F(CheckCycleTest, NoAuthenticationChosenFailsWithWhatToDo) {
  const int http = StartHttp(PageWith(kAddress));
  const int smtp = StartMail();
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPAuth", "-1"}});
  MainWindow window;
  window.smtpPort = smtp;
  Run(window, [](HWND) {});
  EXPECT_EQ(std::vector<std::string>{settings::kChooseAuth}, boxes.Texts());
  EXPECT_TRUE(peers.Messages(smtp).empty());
}

// The web notification beside the mail, against real servers on loopback.
class WebNotifyTest : public CheckCycleTest {
 protected:
  static void SetUpTestSuite() { test_authority::ForSuite::Begin(); }
  static void TearDownTestSuite() { test_authority::ForSuite::End(); }

  int StartWeb(const std::string& answer, const std::string& query = "") {
    const int web = peers.StartHttp(query);
    peers.SetPage(web, 200, answer);
    return web;
  }
  std::string WebUrl(int port, const std::string& rest = "/") {
    return "http://127.0.0.1:" + std::to_string(port) + rest;
  }
};

TEST_F(WebNotifyTest, OnlyTheWebNotificationSetUpGetsEveryPlaceholderEncodedShowsThePopupAndAsksNothing) {
  const int http = StartHttp(PageWith(kAddress));
  const int web = StartWeb("nochg 203.0.113.7");
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPServer", "null"}});
  app_test::StoreWeb(WebUrl(web, "/u?ip={ip}&old={old}&at={time}&pc={computer}"));
  MainWindow window;
  bool popupShown = false;
  Run(window, [&](HWND main) {
    popupShown = PumpUntil([] { return app_test::Popup() && IsWindowVisible(app_test::Popup()); }, 3000);
    peers.SetPage(http, 200, PageWith("2001:db8::7"));
    Click(main, IDC_UPDATE);
    Click(main, IDC_UPDATE);
  });
  EXPECT_TRUE(popupShown);
  EXPECT_TRUE(boxes.records.empty()) << boxes.records.front().text;
  char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof computer;
  GetComputerNameA(computer, &size);
  const std::string time = "[01][0-9]%2F[0-3][0-9]%2F[0-9]{4}%20at%20[01][0-9]%3A[0-5][0-9]%3A[0-6][0-9]%20[AP]M";
  const auto requests = peers.HttpRequests(web);
  ASSERT_EQ(2u, requests.size()) << "the same address again calls nothing";
  EXPECT_TRUE(std::regex_search(requests[0], std::regex("^GET /u\\?ip=203\\.0\\.113\\.7&old=&at=" + time +
                                                        "&pc=" + notify::PercentEncode(computer) + " HTTP/1\\.1\r\n")))
      << requests[0];
  EXPECT_EQ(0u, requests[1].find("GET /u?ip=2001%3Adb8%3A%3A7&old=203.0.113.7&at=")) << requests[1];
}

TEST_F(WebNotifyTest, AFailedChannelAloneIsRetriedAndTheOneThatGotThroughIsNotRepeated) {
  MainWindow window;
  const auto [http, smtp] = StartServers(window);
  const int refusing = StartMail("&fail=rcpt:550");
  const int web = StartWeb("good 203.0.113.7");
  app_test::StoreWeb(WebUrl(web));
  Run(window, [&](HWND main) {
    // Web down, mail through: the field shows what the mail got, one box,
    // then only the web again.
    peers.SetPage(web, 503, "busy");
    peers.SetPage(http, 200, PageWith("198.51.100.23"));
    Click(main, IDC_UPDATE);
    EXPECT_EQ("198.51.100.23", Text(main, IDC_IP));
    peers.SetPage(web, 200, "good 198.51.100.23");
    Click(main, IDC_UPDATE);

    // And the reverse: mail refused, web through; then only the mail again.
    C_SMTP control;
    control.Attach(GetDlgItem(main, IDC_SMTP));
    SetSmtpProperty(control, smtp::dispid::kPort, std::int32_t{refusing});
    peers.SetPage(http, 200, PageWith("192.0.2.9"));
    Click(main, IDC_UPDATE);
    EXPECT_EQ("192.0.2.9", Text(main, IDC_IP));
    SetSmtpProperty(control, smtp::dispid::kPort, std::int32_t{smtp});
    control.Detach();
    Click(main, IDC_UPDATE);
  });
  ASSERT_EQ(2u, boxes.records.size());
  EXPECT_EQ(0u, boxes.records[0].text.find("The web notification to http://127.0.0.1:" + std::to_string(web) +
                                           " failed: 503"))
      << boxes.records[0].text;
  EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), boxes.records[1].type & MB_ICONMASK);
  EXPECT_EQ(std::string::npos, boxes.records[1].text.find("web notification")) << boxes.records[1].text;
  EXPECT_EQ(4, peers.HttpHits(web)) << "first, refused, retried, then the next change; not again for the mail's retry";
  const auto mails = peers.Messages(smtp);
  ASSERT_EQ(3u, mails.size());
  EXPECT_NE(std::string::npos, mails[1].content.find("New IP Address:  198.51.100.23"));
  EXPECT_NE(std::string::npos, mails[2].content.find("New IP Address:  192.0.2.9"));
}

// Checks every 1.5 s, so many checks pass where the default back-off would
// have retried a refused call within a few minutes.
class WebRefusalTest : public WebNotifyTest {
 protected:
  static constexpr char kQuickTimer[] = "1500";
  static constexpr int kChecksWatched = 8;

  // Lets the timer run the given number of further checks.
  void WatchChecks(int http) {
    const int until = peers.HttpHits(http) + kChecksWatched;
    EXPECT_TRUE(PumpUntil([&] { return peers.HttpHits(http) >= until; }, 60'000)) << "the timer stopped checking";
  }
};

TEST_F(WebRefusalTest, ARefusalThatNeedsTheUserStopsTheWebAloneUntilItsSettingsAreSaved) {
  MainWindow window;
  const auto [http, smtp] = StartServers(window);
  app_test::Store({{"Timer", kQuickTimer}});
  const int web = StartWeb("badauth");
  app_test::StoreWeb(WebUrl(web, "/nic/update?myip={ip}"));
  int webHitsWhileStopped = -1;
  Run(window, [&](HWND main) {
    WatchChecks(http);
    webHitsWhileStopped = peers.HttpHits(web);
    // Saved in its dialog, behind Settings: the next change calls it again.
    scripts.Then([](HWND settings) {
      Click(settings, IDC_WEB_NOTIFY);
      Click(settings, IDCANCEL);
    });
    scripts.Then([](HWND webDialog) { Click(webDialog, IDOK); });
    Click(main, IDC_SETTINGS);
    peers.SetPage(web, 200, "good 198.51.100.23");
    peers.SetPage(http, 200, PageWith("198.51.100.23"));
    Click(main, IDC_UPDATE);
  });
  EXPECT_EQ(1, webHitsWhileStopped) << "a badauth is never repeated by itself";
  EXPECT_EQ(2, peers.HttpHits(web));
  ASSERT_EQ(1u, boxes.records.size()) << "said once";
  EXPECT_NE(std::string::npos, boxes.records[0].text.find("(badauth). It will not be called again until you change "
                                                          "its settings."))
      << boxes.records[0].text;
  EXPECT_EQ(2u, peers.Messages(smtp).size()) << "the mail goes on";
}

TEST_F(WebRefusalTest, AServiceInTroubleIsNotCalledAgainForHalfAnHour) {
  MainWindow window;
  const auto [http, smtp] = StartServers(window);
  app_test::Store({{"Timer", kQuickTimer}});
  const int web = StartWeb("911");
  app_test::StoreWeb(WebUrl(web));
  Run(window, [&](HWND) { WatchChecks(http); });
  EXPECT_EQ(1, peers.HttpHits(web));
  ASSERT_EQ(1u, boxes.records.size());
  EXPECT_NE(std::string::npos, boxes.records[0].text.find("(911). It will not be called again for 30 minutes."))
      << boxes.records[0].text;
}

TEST_F(WebNotifyTest, ATextBodyThatStartsWithAPlaceholderGoesAsText) {
  const int http = StartHttp(PageWith(kAddress));
  const int web = StartWeb("OK");
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPServer", "null"}});
  app_test::StoreWeb(WebUrl(web), "POST", "{computer} has a new address: {ip}");
  MainWindow window;
  Run(window, [](HWND) {});
  const auto requests = peers.HttpRequests(web);
  ASSERT_EQ(1u, requests.size());
  EXPECT_NE(std::string::npos, requests[0].find("\r\nContent-Type: text/plain; charset=utf-8\r\n")) << requests[0];
  EXPECT_NE(std::string::npos, requests[0].find(" has a new address: 203.0.113.7")) << requests[0];
}

TEST_F(WebNotifyTest, EveryTargetIsCalledOnAChangeAndOnlyTheOneThatFailedIsCalledAgain) {
  const int http = StartHttp(PageWith(kAddress));
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPServer", "null"}});
  const int ok1 = StartWeb("good 203.0.113.7"), busy = StartWeb("down"), ok2 = StartWeb("OK");
  peers.SetPage(busy, 503, "down");
  {
    CRegistry r;
    settings::OpenStore(r);
    std::vector<settings::WebSettings> targets(3);
    targets[0].url = WebUrl(ok1, "/nic/update?myip={ip}");
    targets[1].url = WebUrl(busy, "/hook");
    targets[1].method = "PATCH";
    targets[1].headers = "Authorization: Bearer t0ken";
    targets[1].body = "{\"content\":\"{ip}\"}";
    targets[2].url = WebUrl(ok2, "/duck?ip={ip}");
    ASSERT_EQ("", settings::WriteWebTargets(r, targets));
  }
  MainWindow window;
  Run(window, [&](HWND main) {
    peers.SetPage(busy, 200, "");
    Click(main, IDC_UPDATE);  // the same address: only the target still owed it
    peers.SetPage(http, 200, PageWith("198.51.100.23"));
    Click(main, IDC_UPDATE);  // a change: every target
  });
  EXPECT_EQ(2, peers.HttpHits(ok1));
  EXPECT_EQ(3, peers.HttpHits(busy));
  EXPECT_EQ(2, peers.HttpHits(ok2));
  ASSERT_EQ(1u, boxes.records.size());
  EXPECT_NE(std::string::npos, boxes.records[0].text.find("failed: 503")) << boxes.records[0].text;
  const auto patched = peers.HttpRequests(busy);
  ASSERT_EQ(3u, patched.size());
  EXPECT_EQ(0u, patched[2].find("PATCH /hook HTTP/1.1\r\n")) << patched[2];
  EXPECT_NE(std::string::npos, patched[2].find("\r\nAuthorization: Bearer t0ken\r\n")) << patched[2];
  EXPECT_NE(std::string::npos, patched[2].find("\r\n\r\n{\"content\":\"198.51.100.23\"}")) << patched[2];
}

TEST_F(WebNotifyTest, TheFirstReleasesSingleTargetIsCalledAfterTheUpgrade) {
  const int http = StartHttp(PageWith(kAddress));
  const int web = StartWeb("good 203.0.113.7");
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPServer", "null"}});
  {
    CRegistry r;
    settings::OpenStore(r);
    const std::string url = WebUrl(web, "/nic/update?myip={ip}");
    ASSERT_TRUE(r.WriteBinary(settings::kWebUrl, settings::ProtectValue(settings::kWebUrl, url)));
  }
  MainWindow window;
  Run(window, [](HWND) {});
  ASSERT_EQ(1u, peers.HttpRequests(web).size());
  EXPECT_EQ(0u, peers.HttpRequests(web)[0].find("GET /nic/update?myip=203.0.113.7 HTTP/1.1\r\n"));
  EXPECT_TRUE(boxes.records.empty());
}

TEST_F(WebNotifyTest, HttpsGoesToATrustedPeerOnlyAndClearTextOnlyToAnAddressTypedAsLoopback) {
  const int http = StartHttp(PageWith(kAddress));
  const int trusted = StartWeb("OK", "tls=implicit");
  const int untrusted = StartWeb("OK", "tls=implicit&cert=untrusted");
  const int plain = StartWeb("OK");
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPServer", "null"}});
  struct Case {
    std::string url;
    int port;
    bool reached;
  };
  const Case cases[] = {
      {"https://localhost:" + std::to_string(trusted) + "/k?t=t0ken", trusted, true},
      {"https://localhost:" + std::to_string(untrusted) + "/k?t=t0ken", untrusted, false},
      {"http://127.1:" + std::to_string(plain) + "/k?t=t0ken", plain, false},
  };
  for (const Case& c : cases) {
    app_test::StoreWeb(c.url);
    boxes.records.clear();
    MainWindow window;
    Run(window, [](HWND) {});
    EXPECT_EQ(c.reached ? 1 : 0, static_cast<int>(peers.HttpRequests(c.port).size())) << c.url;
    ASSERT_EQ(c.reached ? 0u : 1u, boxes.records.size()) << c.url;
    if (!c.reached) {
      const std::string& text = boxes.records[0].text;
      EXPECT_EQ(0u, text.find("The web notification to http")) << text;
      EXPECT_EQ(std::string::npos, text.find("t0ken")) << text;
    }
  }
}

}  // namespace
