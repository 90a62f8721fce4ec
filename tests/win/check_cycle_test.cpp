// The check's wiring in the real main window under Wine: the page comes from
// a real HTTP server, the mail goes to a real SMTP server, the targets are
// real HTTP servers, and the work runs on workers while the window answers.
// What the check decides is the conductor's, and its table is native.
#include "app_harness.h"

#include <atomic>
#include <thread>

#include "channels/WebNotify.h"
#include "fw/BackgroundCall.h"
#include "settings/ProtectedValue.h"
#include "settings/SettingsRules.h"

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

TEST_F(CheckCycleTest, ATickFetchesAndMailsWithTheStoredLoginAndShowsThePopup) {
  MainWindow window;
  const auto [http, smtp] = StartServers(window);
  bool popupShown = false;
  Run(window, [&](HWND main) {
    EXPECT_EQ(kAddress, Text(main, IDC_IP));
    EXPECT_TRUE(IsStamp(Text(main, IDC_STATUS))) << Text(main, IDC_STATUS);
    popupShown = PumpUntil([] { return app_test::Popup() && IsWindowVisible(app_test::Popup()); }, 3000);
    peers.SetPage(http, 200, PageWith("198.51.100.23"));
    SendMessageA(main, WM_TIMER, CCorvaneDlg::kCheckTimer, 0);
    EXPECT_TRUE(PumpUntil([&] { return peers.Messages(smtp).size() == 2; }, 20'000)) << "the tick mailed nothing";
    EXPECT_TRUE(app_test::CheckEnded(main));
    EXPECT_EQ("198.51.100.23", Text(main, IDC_IP));
  });
  EXPECT_TRUE(popupShown);
  EXPECT_TRUE(boxes.records.empty()) << boxes.records.front().text;
  EXPECT_EQ(2, peers.HttpHits(http));
  const auto mails = peers.Messages(smtp);
  ASSERT_EQ(2u, mails.size());
  EXPECT_EQ("ip@example.net", mails[0].from);
  EXPECT_EQ(std::vector<std::string>{"me@example.net"}, mails[0].to);
  EXPECT_EQ("LOGIN", mails[0].authMech);
  EXPECT_EQ("alice", mails[0].authUser);
  EXPECT_EQ("s3cret pw", mails[0].authPassword);
  EXPECT_NE(std::string::npos, mails[0].content.find("Subject: IP Address Change\r\n")) << mails[0].content;
  EXPECT_NE(std::string::npos, mails[0].content.find("\r\n\r\nNew IP Address:  203.0.113.7")) << mails[0].content;
  EXPECT_NE(std::string::npos, mails[1].content.find("New IP Address:  198.51.100.23"));
  EXPECT_EQ("s3cret pw", mails[1].authPassword) << "the stored form is unscrambled afresh each time";
  EXPECT_EQ("<missing>", app_test::Stored("IP")) << "the address is never stored";
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
    app_test::CheckNow(main);
    ASSERT_EQ(1u, boxes.records.size());
    EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), boxes.records[0].type & MB_ICONMASK);
    EXPECT_EQ(kAddress, Text(main, IDC_IP)) << "the field still shows the old address";
    EXPECT_EQ("before", Text(main, IDC_STATUS)) << "nothing is shown after a failure";
    const HWND popup = app_test::Popup();
    ui_driver::Pump(700);
    EXPECT_FALSE(popup && IsWindowVisible(popup)) << "no popup after a failed send";

    SetSmtpProperty(control, smtp::dispid::kPort, std::int32_t{good});
    control.Detach();
    app_test::CheckNow(main);
    EXPECT_EQ("198.51.100.23", Text(main, IDC_IP));
  });
  EXPECT_EQ(1u, boxes.records.size());
  const auto mails = peers.Messages(good);
  ASSERT_EQ(2u, mails.size());
  EXPECT_NE(std::string::npos, mails[1].content.find("New IP Address:  198.51.100.23"));
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
    app_test::CheckNow(main);
    EXPECT_EQ(1u, peers.Messages(smtp).size()) << "the same address again sends nothing";
    peers.SetPage(http, 200, PageWith("198.51.100.23"));
    app_test::CheckNow(main);
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

bool g_menuOpened = false;

void CALLBACK CloseOpenMenu(HWND, UINT, UINT_PTR, DWORD) {
  const HWND menu = FindWindowA("#32768", nullptr);
  if (menu && IsWindowVisible(menu)) {
    g_menuOpened = true;
    EndMenu();
  }
}

// The window's thread never waits: another thread asks it for WM_NULL every
// 100 ms and keeps the slowest answer, while the page takes eight seconds;
// the tray menu opens meanwhile, and a tick or Update starts no second check.
TEST_F(CheckCycleTest, TheWindowAnswersThroughoutASlowPageAndItsTrayMenuOpens) {
  MainWindow window;
  const auto [http, smtp] = StartServers(window);
  g_menuOpened = false;
  Run(window, [&](HWND main) {
    Click(main, IDC_HIDE);
    peers.SetPage(http, 200, PageWith("198.51.100.23"), "delay_ms=8000");
    std::atomic<bool> done{false};
    std::atomic<DWORD> slowest{0};
    std::thread asker([&] {
      while (!done) {
        const DWORD start = GetTickCount();
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
        slowest = std::max<DWORD>(slowest, GetTickCount() - start);
        Sleep(100);
      }
    });
    Click(main, IDC_UPDATE);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, IDC_UPDATE))) << "the button shows a check is running";
    SendMessageA(main, WM_TIMER, CCorvaneDlg::kCheckTimer, 0);
    ui_driver::Pump(1000);
    // The menu's own loop runs a thread timer, which closes the menu it finds.
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, CloseOpenMenu);
    const HWND tray = app_test::TrayWindow();
    ASSERT_TRUE(tray);
    SendMessageA(tray, RegisterWindowMessageA("MY_MSG"), IDR_TRAYMENU, WM_RBUTTONUP);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(app_test::CheckEnded(main, 20'000));
    done = true;
    asker.join();
    EXPECT_LT(slowest.load(), 2000u) << "the window stopped answering during the check";
  });
  EXPECT_TRUE(g_menuOpened) << "the tray menu did not open during the check";
  EXPECT_EQ(2, peers.HttpHits(http)) << "the tick behind Update started no second check";
  EXPECT_EQ(2u, peers.Messages(smtp).size());
  EXPECT_TRUE(boxes.records.empty());
}

// Exit while the page still waits: the window ends at once, the worker is
// left to the process's end, and nothing it sends afterwards reaches a window.
TEST_F(CheckCycleTest, ExitDuringASlowCheckEndsTheWindowAtOnce) {
  MainWindow window;
  const auto [http, smtp] = StartServers(window);
  DWORD exited = 0;
  Run(window, [&](HWND main) {
    peers.SetPage(http, 200, PageWith("198.51.100.23"), "delay_ms=6000");
    Click(main, IDC_UPDATE);
    ASSERT_TRUE(PumpUntil([&] { return peers.HttpHits(http) == 2; }, 5000));
    exited = GetTickCount();
    SendMessageA(main, WM_COMMAND, ID_MENU_EXIT, 0);
  });
  EXPECT_LT(GetTickCount() - exited, 2000u) << "Exit waited for the check";
  EXPECT_EQ(1, fw::RunningBackgroundCalls()) << "the page's worker is still waiting on its server";
  EXPECT_TRUE(PumpUntil([] { return fw::RunningBackgroundCalls() == 0; }, 15'000));
  EXPECT_EQ(0, fw::WaitingBackgroundResults()) << "a result for a window that has closed was kept";
  EXPECT_EQ(1u, peers.Messages(smtp).size());
}
// The web notification beside the mail, against real servers on loopback.
class WebNotifyTest : public CheckCycleTest {
 protected:
  static void SetUpTestSuite() { test_authority::ForSuite::Begin(); }
  static void TearDownTestSuite() { test_authority::ForSuite::End(); }
};

// The targets of one change are called side by side: three that each answer
// after three seconds are all reached within a second of one another, and
// one that failed waits out its back-off while checks go on.
TEST_F(WebNotifyTest, EveryTargetIsCalledAtOnceAndOneThatFailedWaitsItsBackOff) {
  const int http = StartHttp(PageWith(kAddress));
  app_test::StoreCompleteSettings(http);
  app_test::Store({{"SMTPServer", "null"}});
  const int ok1 = StartWeb("good 203.0.113.7"), busy = StartWeb(""), ok2 = StartWeb("OK");
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
  DWORD reached[3] = {};
  Run(window, [&](HWND main) {
    peers.SetPage(http, 200, PageWith("198.51.100.23"));
    peers.SetPage(ok1, 200, "good 198.51.100.23", "delay_ms=3000");
    peers.SetPage(busy, 503, "down", "delay_ms=3000");
    peers.SetPage(ok2, 200, "OK", "delay_ms=3000");
    Click(main, IDC_UPDATE);
    const int ports[] = {ok1, busy, ok2};
    PumpUntil(
        [&] {
          for (int i = 0; i < 3; ++i)
            if (!reached[i] && peers.HttpHits(ports[i]) > 1) reached[i] = GetTickCount();
          return reached[0] && reached[1] && reached[2];
        },
        20'000);
    EXPECT_TRUE(app_test::CheckEnded(main));
    peers.SetPage(busy, 200, "");
    app_test::CheckNow(main);  // the failed target waits its minute; nobody else is owed
  });
  for (DWORD at : reached) ASSERT_NE(0u, at) << "a target was never called";
  const auto [first, last] = std::minmax({reached[0], reached[1], reached[2]});
  EXPECT_LT(last - first, 1000u) << "the targets were called one after the other";
  EXPECT_EQ(2, peers.HttpHits(ok1));
  EXPECT_EQ(2, peers.HttpHits(busy)) << "called again before its back-off";
  EXPECT_EQ(2, peers.HttpHits(ok2));
  ASSERT_EQ(1u, boxes.records.size());
  EXPECT_NE(std::string::npos, boxes.records[0].text.find("failed: 503")) << boxes.records[0].text;
  const auto patched = peers.HttpRequests(busy);
  ASSERT_EQ(2u, patched.size());
  EXPECT_EQ(0u, patched[1].find("PATCH /hook HTTP/1.1\r\n")) << patched[1];
  EXPECT_NE(std::string::npos, patched[1].find("\r\nAuthorization: Bearer t0ken\r\n")) << patched[1];
  EXPECT_NE(std::string::npos, patched[1].find("\r\n\r\n{\"content\":\"198.51.100.23\"}")) << patched[1];
}

}  // namespace
