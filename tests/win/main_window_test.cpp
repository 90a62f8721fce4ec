// The real main window under Wine: first run, the timer, the buttons, the
// tray, the About box, the History menu items and the face. Pages come from
// a real HTTP server.
#include <tuple>

#include "app/HistoryStore.h"
#include "app_harness.h"

namespace {

using app_test::AppTest;
using app_test::MainWindow;
using app_test::PageWith;
using app_test::TrayIconPresent;
using app_test::TrayWindow;
using ui_driver::Click;
using ui_driver::Pump;
using ui_driver::PumpUntil;
using ui_driver::Text;

// The static text of a dialog that shows exactly this text, if any.
bool ShowsText(HWND dialog, const std::string& wanted) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (fw::WindowText(child) == wanted) return true;
  return false;
}

class MainWindowTest : public AppTest {
 protected:
  // A window whose first check mails its address to quietMail, so that every
  // later check finds no change and nothing but the fetch happens.
  int StoreQuietSettings(const std::string& timer = "3600000") {
    const int http = StartHttp(PageWith(app_test::kAddress));
    quietMail = peers.StartSmtp("auth=login&user=alice&password=" + peers::PeerClient::Encode("s3cret pw"));
    app_test::StoreCompleteSettings(http, timer);
    return http;
  }
  int quietMail = 0;
};

TEST_F(MainWindowTest, FirstRunWritesTheDefaultsInOrderAndAsksForSettingsOnceTheAddressIsFound) {
  const int http = StartHttp(PageWith(app_test::kAddress));
  app_test::ProxyThrough proxy(http);
  MainWindow window;
  bool asked = false;
  std::string addressMeanwhile;
  scripts.Then([&](HWND settings) {
    asked = true;
    addressMeanwhile = Text(window.hwnd, IDC_IP);
    Click(settings, IDCANCEL);
  });
  Run(window, [&](HWND main) {
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(app_test::kAddress, Text(main, IDC_IP));
  });
  EXPECT_TRUE(asked);
  EXPECT_EQ("", addressMeanwhile) << "the address shows once the dialog has closed";
  EXPECT_EQ(1, peers.HttpHits(http));
  // Wine lists a key's values sorted by name, so only the set can be seen here.
  const std::vector<std::string> all{"Link",   "SMTPAuth",     "SMTPFrom", "SMTPPassword", "SMTPServer",
                                     "SMTPTo", "SMTPUsername", "Timer",    "Version"};
  EXPECT_EQ(all, app_test::StoredNames());
  EXPECT_EQ("1.0", app_test::Stored("Version"));
  for (const char* name : {"SMTPServer", "SMTPUsername", "SMTPPassword", "SMTPTo", "SMTPFrom"})
    EXPECT_EQ("null", app_test::Stored(name)) << name;
  EXPECT_EQ("2", app_test::Stored("SMTPAuth"));
  EXPECT_EQ(settings::kDefaultLink, app_test::Stored("Link"));
  EXPECT_EQ("900000", app_test::Stored("Timer"));
}

TEST_F(MainWindowTest, StoredTimerDrivesTheChecksAndUpdateChecksAtOnce) {
  const int http = StoreQuietSettings("300");
  MainWindow window;
  const DWORD opened = GetTickCount();
  window.smtpPort = quietMail;
  Run(window, [&](HWND main) {
    EXPECT_EQ(1, peers.HttpHits(http)) << "the check at opening";
    ASSERT_TRUE(PumpUntil([&] { return peers.HttpHits(http) >= 4; }, 10000)) << "three ticks never came";
    // The timer starts after the window opened, so three of its 300 ms ticks
    // cannot all have come sooner, however busy the machine.
    EXPECT_GE(GetTickCount() - opened, 850u) << "the ticks came faster than the stored interval";
    ASSERT_TRUE(app_test::CheckEnded(main));
    const int before = peers.HttpHits(http);
    app_test::CheckNow(main);
    EXPECT_LE(before + 1, peers.HttpHits(http)) << "Update fetched nothing";
  });
  EXPECT_TRUE(boxes.records.empty());
}

// Start-up and the change both read the web notification; a stored address
// this account cannot read is told about once, by name, and kept.
TEST_F(MainWindowTest, AnUnreadableWebAddressIsToldOnceByNameAndLeftAsItIs) {
  const int http = StoreQuietSettings();
  const std::vector<unsigned char> foreign{1, 0, 0, 0, 0xD0, 0x8C, 0x9D, 0xDF, 0x01, 0x15};
  {
    CRegistry r;
    r.OpenKey(settings::kRoot, settings::kKeyPath, 0);
    ASSERT_TRUE(r.WriteBinary(settings::kWebUrl, foreign));
  }
  MainWindow window;
  window.smtpPort = quietMail;
  Run(window, [&](HWND main) {
    EXPECT_EQ(app_test::kAddress, Text(main, IDC_IP)) << "the change went out by mail";
    app_test::CheckNow(main);
  });
  EXPECT_EQ(2, peers.HttpHits(http));
  ASSERT_EQ(1u, boxes.records.size());
  EXPECT_NE(std::string::npos, boxes.records[0].text.find("the web notification's address")) << boxes.records[0].text;
  CRegistry r;
  r.OpenKey(settings::kRoot, settings::kKeyPath, 0);
  std::vector<unsigned char> kept;
  ASSERT_TRUE(r.ReadBinary(settings::kWebUrl, kept));
  EXPECT_EQ(foreign, kept);
}

TEST_F(MainWindowTest, LongTimerMeansNoCheckBeyondTheFirst) {
  const int http = StoreQuietSettings("3600000");
  MainWindow window;
  window.smtpPort = quietMail;
  Run(window, [&](HWND) { Pump(800); });
  EXPECT_EQ(1, peers.HttpHits(http));
}

TEST_F(MainWindowTest, AFailedFirstCheckStillStartsTheTimer) {
  const int http = peers.StartHttp();
  peers.SetPage(http, 404, "gone");
  app_test::StoreCompleteSettings(http, "300");
  MainWindow window;
  Run(window, [&](HWND main) {
    EXPECT_TRUE(IsWindowVisible(main)) << "the window opens after the error";
    EXPECT_TRUE(PumpUntil([&] { return peers.HttpHits(http) >= 3; }, 3000));
  });
  ASSERT_FALSE(boxes.records.empty());
  EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), boxes.records[0].type & MB_ICONMASK);
}

TEST_F(MainWindowTest, HideAndMinimiseSwapTheWindowForTheTrayIconAndBothWaysBack) {
  StoreQuietSettings();
  MainWindow window;
  window.smtpPort = quietMail;
  Run(window, [&](HWND main) {
    ASSERT_EQ(nullptr, TrayWindow());

    Click(main, IDC_HIDE);
    EXPECT_FALSE(IsWindowVisible(main));
    const HWND tray = TrayWindow();
    EXPECT_TRUE(TrayIconPresent(tray));
    // The icon's double-click, as the shell reports it.
    SendMessageA(tray, RegisterWindowMessageA("MY_MSG"), IDR_TRAYMENU, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(main) != FALSE; }, 2000));
    EXPECT_FALSE(TrayIconPresent(tray));
    EXPECT_EQ(nullptr, TrayWindow());

    SendMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsWindowVisible(main));
    const HWND again = TrayWindow();
    EXPECT_TRUE(TrayIconPresent(again));
    SendMessageA(main, WM_COMMAND, ID_MENU_RESTORE, 0);  // Restore in the icon's menu
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_FALSE(TrayIconPresent(again));
    EXPECT_EQ(nullptr, TrayWindow());
  });
}

TEST_F(MainWindowTest, HiddenInTheTrayAChangeStillMailsShowsThePopupUnactivatedAndTheTooltipShowsTheAddress) {
  const int http = StartHttp(PageWith(app_test::kAddress));
  const int smtp = peers.StartSmtp("auth=login,plain&user=alice&password=" + peers::PeerClient::Encode("s3cret pw"));
  app_test::StoreCompleteSettings(http);
  MainWindow window;
  window.smtpPort = smtp;
  Run(window, [&](HWND main) {
    ASSERT_EQ(1u, peers.Messages(smtp).size());
    ASSERT_TRUE(PumpUntil([] { return !IsWindowVisible(app_test::Popup()); }, 6000));
    Click(main, IDC_HIDE);
    const auto* icon = dynamic_cast<CTrayIcon*>(CWnd::FromHandlePermanent(TrayWindow()));
    ASSERT_NE(nullptr, icon);
    EXPECT_STREQ("Corvane by Orlimar - 203.0.113.7", icon->IconData().szTip);

    peers.SetPage(http, 200, PageWith("198.51.100.9"));
    SetActiveWindow(nullptr);
    app_test::CheckNow(main);  // as a tick would
    EXPECT_TRUE(PumpUntil([] { return IsWindowVisible(app_test::Popup()) != FALSE; }, 5000))
        << "the popup shows while the window is hidden";
    EXPECT_NE(app_test::Popup(), GetActiveWindow()) << "the popup took activation";
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_STREQ("Corvane by Orlimar - 198.51.100.9", icon->IconData().szTip);
  });
  EXPECT_EQ(2u, peers.Messages(smtp).size());
  EXPECT_TRUE(boxes.records.empty()) << boxes.records.front().text;
}

// Holds the notification area's place for the program's icon as soon as the
// icon's window exists, so the shell refuses every add of the program's own,
// as it does before it is ready at log-on.
class IconPlaceTaken {
 public:
  IconPlaceTaken() : m_hook(SetWindowsHookExA(WH_CBT, Take, nullptr, GetCurrentThreadId())) {}
  ~IconPlaceTaken() { UnhookWindowsHookEx(m_hook); }
  IconPlaceTaken(const IconPlaceTaken&) = delete;
  IconPlaceTaken& operator=(const IconPlaceTaken&) = delete;

 private:
  static LRESULT CALLBACK Take(int code, WPARAM wParam, LPARAM lParam) {
    char cls[64] = {};
    if (code == HCBT_CREATEWND && GetClassNameA(reinterpret_cast<HWND>(wParam), cls, sizeof cls) &&
        std::string(cls) == ui::kTrayWindowClass) {
      NOTIFYICONDATAA data{};
      data.cbSize = NOTIFYICONDATAA_V2_SIZE;
      data.hWnd = reinterpret_cast<HWND>(wParam);
      data.uID = IDR_TRAYMENU;
      EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &data));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  HHOOK m_hook;
};

TEST_F(MainWindowTest, AnIconTheShellNeverTakesGivesTheWindowBack) {
  StoreQuietSettings();
  MainWindow window;
  IconPlaceTaken taken;
  Run(window, [&](HWND main) {
    Click(main, IDC_HIDE);
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(main) != FALSE; }, 90000)) << "hidden with no icon for good";
    EXPECT_EQ(nullptr, TrayWindow());
  });
}

TEST_F(MainWindowTest, ExitFromTheTrayRemovesTheIconAndEndsTheRun) {
  StoreQuietSettings();
  MainWindow window;
  window.smtpPort = quietMail;
  HWND tray = nullptr;
  const INT_PTR result = Run(window, [&](HWND main) {
    Click(main, IDC_HIDE);
    tray = TrayWindow();
    ASSERT_TRUE(TrayIconPresent(tray));
    SendMessageA(main, WM_COMMAND, ID_MENU_EXIT, 0);
    EXPECT_FALSE(TrayIconPresent(tray)) << "the icon goes before the window";
  });
  EXPECT_EQ(IDCANCEL, result);
  EXPECT_FALSE(IsWindow(tray));
  EXPECT_FALSE(IsWindow(window.hwnd));
}

TEST_F(MainWindowTest, EnterLeavesTheWindowOpenAndEscapeEndsIt) {
  StoreQuietSettings();
  bool openAfterOk = false;
  bool openAfterCancel = true;
  scripts.Then([&](HWND main) {
    SendMessageA(main, WM_COMMAND, IDOK, 0);
    Pump(100);
    openAfterOk = IsWindow(main) && IsWindowVisible(main);
    SendMessageA(main, WM_COMMAND, IDCANCEL, 0);
    Pump(100);
    openAfterCancel = IsWindowVisible(main) != FALSE;
  });
  MainWindow window;
  window.smtpPort = quietMail;
  EXPECT_EQ(IDCANCEL, window.DoModal());
  EXPECT_TRUE(openAfterOk);
  EXPECT_FALSE(openAfterCancel);
}

TEST_F(MainWindowTest, AboutOpensFromTheSystemMenuWhileTheTimerKeepsChecking) {
  const int http = StoreQuietSettings("300");
  MainWindow window;
  window.smtpPort = quietMail;
  bool aboutShown = false;
  bool tickedWhileOpen = false;
  Run(window, [&](HWND main) {
    scripts.Then([&](HWND about) {
      aboutShown = ShowsText(about, "Corvane Version 2.0");
      const int before = peers.HttpHits(http);
      tickedWhileOpen = PumpUntil([&] { return peers.HttpHits(http) >= before + 2; }, 10000);
      Click(about, IDOK);
    });
    SendMessageA(main, WM_SYSCOMMAND, ID_SYSCMD_ABOUT, 0);
  });
  EXPECT_TRUE(aboutShown);
  EXPECT_TRUE(tickedWhileOpen);
  EXPECT_EQ(0, scripts.Pending());
}

TEST_F(MainWindowTest, TheSystemMenuEndsWithASeparatorAboutAndHistory) {
  StoreQuietSettings();
  MainWindow window;
  window.smtpPort = quietMail;
  window.withSystemMenu = true;
  Run(window, [&](HWND main) {
    HMENU menu = GetSystemMenu(main, FALSE);
    ASSERT_NE(nullptr, menu);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 3);
    // Every item before ours is the system's own, untouched.
    for (auto [position, id, text] :
         {std::tuple{count - 2, ID_SYSCMD_ABOUT, "&About"}, std::tuple{count - 1, ID_SYSCMD_HISTORY, "&History..."}}) {
      EXPECT_EQ(static_cast<UINT>(id), GetMenuItemID(menu, position));
      char item[32] = {};
      GetMenuStringA(menu, static_cast<UINT>(position), item, sizeof item, MF_BYPOSITION);
      EXPECT_STREQ(text, item);
    }
    MENUITEMINFOA separator{};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoA(menu, count - 3, TRUE, &separator));
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
    GetSystemMenu(main, TRUE);  // the system's own menu, as a window without our items has it
    EXPECT_EQ(count - 3, GetMenuItemCount(GetSystemMenu(main, FALSE)));
  });
}

// Both menus open the dialog with what the store holds.
TEST_F(MainWindowTest, HistoryOpensFromTheSystemMenuAndTheTrayMenuWithTheStoredChanges) {
  StoreQuietSettings();
  app::StoreHistoryEntry({7, "2026-12-01 09:00", "198.51.100.2", {{"Mail", "sent 09:00"}}});
  MainWindow window;
  window.smtpPort = quietMail;
  std::vector<std::string> rows;
  Run(window, [&](HWND main) {
    for (auto [message, command] :
         {std::pair{WM_SYSCOMMAND, ID_SYSCMD_HISTORY}, std::pair{WM_COMMAND, ID_MENU_HISTORY}}) {
      scripts.Then([&](HWND history) {
        // Newest first: the change this start's check found, then the stored one.
        char row[256] = {};
        SendDlgItemMessageA(history, IDC_HISTORY_LIST, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(row));
        rows.push_back(fw::WindowText(history) + ": " + row);
        char first[256] = {};
        SendDlgItemMessageA(history, IDC_HISTORY_LIST, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first));
        EXPECT_NE(std::string::npos, std::string(first).find("  203.0.113.7  |  Mail: sent ")) << first;
        Click(history, IDCANCEL);
      });
      SendMessageA(main, message, static_cast<WPARAM>(command), 0);
    }
  });
  const std::string row = "History: 2026-12-01 09:00  198.51.100.2  |  Mail: sent 09:00";
  EXPECT_EQ((std::vector<std::string>{row, row}), rows);
  EXPECT_EQ(0, scripts.Pending());
}

TEST_F(MainWindowTest, FaceTitleAndIcon) {
  StoreQuietSettings();
  MainWindow window;
  window.smtpPort = quietMail;
  Run(window, [&](HWND main) {
    RECT rc{};
    GetWindowRect(main, &rc);
    EXPECT_EQ(330, rc.right - rc.left);
    EXPECT_EQ(328, rc.bottom - rc.top);
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(main, &key, &alpha, &flags));
    EXPECT_TRUE(flags & LWA_COLORKEY);
    EXPECT_EQ(RGB(25, 35, 85), key);
    EXPECT_EQ("Corvane 2.1 by Orlimar", fw::WindowText(main));

    const HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    ASSERT_NE(nullptr, icon);
    EXPECT_EQ(reinterpret_cast<LRESULT>(icon), SendMessageA(main, WM_QUERYDRAGICON, 0, 0));
    EXPECT_EQ(reinterpret_cast<LRESULT>(icon), SendMessageA(main, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(reinterpret_cast<LRESULT>(icon), SendMessageA(main, WM_GETICON, ICON_SMALL, 0));

    // The IPv6 field waits hidden until the window shows it, read-only, in
    // the gap between the address and the buttons and centred under the
    // address. (Whether it stays on the disc depends on the font's base
    // units, which Wine's substitute font makes wider than Windows' own.)
    const HWND ip6 = GetDlgItem(main, IDC_IP6);
    ASSERT_NE(nullptr, ip6);
    EXPECT_FALSE(GetWindowLongA(ip6, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(GetWindowLongA(ip6, GWL_STYLE) & ES_READONLY);
    const auto placed = [main](int id) {
      RECT r{};
      GetWindowRect(GetDlgItem(main, id), &r);
      MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
      return r;
    };
    const RECT field = placed(IDC_IP6), address = placed(IDC_IP), update = placed(IDC_UPDATE);
    EXPECT_GE(field.top, address.bottom) << "under the address, not over it";
    EXPECT_LE(field.bottom, update.top) << "above the buttons";
    EXPECT_GE(field.bottom - field.top, 11) << "one line of digits";
    EXPECT_NEAR((field.left + field.right) / 2, (address.left + address.right) / 2, 1);

    // A click on the popup is answered and changes nothing.
    EXPECT_EQ(0, SendMessageA(main, WM_POPUP_CLICKED, 0, 0));
    EXPECT_TRUE(IsWindowVisible(main));
  });
}

// The targets called on the check's outcome and the history, through real
// checks: a heartbeat after each good check only, a warning once after three
// failed checks with the failure's words and once on recovery, and each
// change recorded with what the mail and a failing target made of it.
TEST_F(MainWindowTest, HeartbeatAlarmAndHistoryFollowTheChecks) {
  const int http = StoreQuietSettings();
  const int beat = StartWeb("OK"), alarm = StartWeb("OK"), dns = StartWeb("OK");
  {
    CRegistry r;
    settings::OpenStore(r);
    std::vector<settings::WebSettings> targets(3);
    targets[0].url = WebUrl(beat, "/ping");
    targets[0].when = settings::WebWhen::EveryGoodCheck;
    targets[1].url = WebUrl(alarm, "/fail?why={error}");
    targets[1].when = settings::WebWhen::KeepsFailing;
    targets[2].url = WebUrl(dns, "/nic/update?myip={ip}");
    ASSERT_EQ("", settings::WriteWebTargets(r, targets));
  }
  MainWindow window;
  window.smtpPort = quietMail;
  Run(window, [&](HWND main) {
    EXPECT_EQ(1, peers.HttpHits(beat)) << "the first check was a good one";
    peers.SetPage(http, 404, "gone");
    for (int i = 0; i < 3; ++i) app_test::CheckNow(main);
    EXPECT_EQ(1, peers.HttpHits(beat)) << "a failed check sends no heartbeat";
    EXPECT_EQ(1, peers.HttpHits(alarm)) << "told once, after the third failure";
    app_test::CheckNow(main);
    EXPECT_EQ(1, peers.HttpHits(alarm));
    peers.SetPage(http, 200, PageWith("198.51.100.23"));
    app_test::CheckNow(main);
    EXPECT_EQ(2, peers.HttpHits(alarm)) << "and once on recovery";
    EXPECT_EQ(2, peers.HttpHits(beat));
    peers.SetPage(dns, 503, "down");
    peers.SetPage(http, 200, PageWith("198.51.100.24"));
    app_test::CheckNow(main);
    EXPECT_EQ(2, peers.HttpHits(beat)) << "a check whose target failed is no good check";
  });
  const auto told = peers.HttpRequests(alarm);
  ASSERT_EQ(2u, told.size());
  EXPECT_EQ(0u, told[0].find("GET /fail?why=The%20page%20at%20http")) << told[0];
  EXPECT_EQ(0u, told[1].find("GET /fail?why= HTTP/1.1\r\n")) << told[1];
  EXPECT_EQ(3, peers.HttpHits(dns));
  // What a later start reads back, newest first.
  const std::vector<app::HistoryEntry> history = app::LoadHistory();
  ASSERT_EQ(3u, history.size());
  EXPECT_EQ("198.51.100.24", history[0].address);
  EXPECT_EQ("198.51.100.23", history[1].address);
  EXPECT_EQ(app_test::kAddress, history[2].address);
  const std::string target = "GET  http://127.0.0.1:" + std::to_string(dns);
  for (const app::HistoryEntry& entry : history) {
    SCOPED_TRACE(entry.address);
    ASSERT_EQ(2u, entry.outcomes.size());
    EXPECT_EQ("Mail", entry.outcomes[0].channel);
    EXPECT_EQ(0u, entry.outcomes[0].outcome.find("sent ")) << entry.outcomes[0].outcome;
    EXPECT_EQ(target, entry.outcomes[1].channel);
  }
  EXPECT_EQ(0u, history[0].outcomes[1].outcome.find("failed: ")) << history[0].outcomes[1].outcome;
  EXPECT_EQ(0u, history[1].outcomes[1].outcome.find("sent ")) << history[1].outcomes[1].outcome;
}

}  // namespace
