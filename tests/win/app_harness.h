#pragma once
// What the main-window tests share: the real main window with its mail
// control pointed at a test server, the program's key in the registry, and
// ways to find the windows the main window creates.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>
#include <shellapi.h>

#include "app/CorvaneDlg.h"
#include "inet/InetControl.h"
#include "PeerClient.h"
#include "ProxyThrough.h"
#include "res/resource.h"
#include "settings/Registry.h"
#include "settings/Scramble.h"
#include "settings/StoredSettings.h"
#include "smtp/SmtpCall.h"
#include "SmtpPropertyAccess.h"
#include "TestAuthority.h"
#include "ui/WindowClassNames.h"
#include "UiDriver.h"

namespace app_test {

inline constexpr char kAddress[] = "203.0.113.7";

inline std::string PageWith(const std::string& address) {
  return "<html><body>Your address: <!--startip-->" + address + "<!--endip--></body></html>";
}
inline std::string PageWithoutAddress() { return "<html><body>no markers here</body></html>"; }

// The program always sends to port 25; the tests' mail server has a port of
// its own, so the window's mail control is told before the first check runs.
class MainWindow : public CCorvaneDlg {
 public:
  int smtpPort = 0;
  // The face has no system-menu style, and Wine gives such a window no system
  // menu; with the style the About item's placement can be seen.
  bool withSystemMenu = false;
  HWND hwnd = nullptr;

 protected:
  BOOL OnInitDialog() override {
    hwnd = m_hWnd;
    if (withSystemMenu) SetWindowLongA(m_hWnd, GWL_STYLE, GetWindowLongA(m_hWnd, GWL_STYLE) | WS_SYSMENU);
    if (smtpPort) {
      C_SMTP control;
      control.Attach(::GetDlgItem(m_hWnd, IDC_SMTP));
      SetSmtpProperty(control, smtp::dispid::kPort, std::int32_t{smtpPort});
      SetSmtpProperty(control, smtp::dispid::kTimeout, std::int32_t{5000});
      control.Detach();
    }
    return CCorvaneDlg::OnInitDialog();
  }
};

inline void ClearKey() { RegDeleteTreeA(HKEY_CURRENT_USER, settings::kKeyPath); }

// Written directly: the store itself never writes an empty text.
inline void Store(std::initializer_list<std::pair<const char*, std::string>> values) {
  for (const auto& [name, text] : values)
    RegSetKeyValueA(HKEY_CURRENT_USER, settings::kKeyPath, name, REG_SZ, text.c_str(),
                    static_cast<DWORD>(text.size() + 1));
}

inline std::string Stored(const char* name) {
  CRegistry r;
  r.OpenKey(settings::kRoot, settings::kKeyPath, 0);
  std::string text = "<missing>";
  r.ReadValue(name, text);
  return text;
}

// Names of the key's values in the order the registry keeps them.
inline std::vector<std::string> StoredNames() {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, settings::kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD length = sizeof name;
    if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

// A key as a user who saved complete settings has it.
inline void StoreCompleteSettings(int httpPort, const std::string& timer = "3600000") {
  Store({{"Version", "1.0"},
         {"SMTPServer", "127.0.0.1"},
         {"SMTPUsername", "alice"},
         {"SMTPPassword", settings::ScrambleText("s3cret pw")},
         {"SMTPAuth", "2"},
         {"SMTPTo", "me@example.net"},
         {"SMTPFrom", "ip@example.net"},
         {"Link", "http://127.0.0.1:" + std::to_string(httpPort) + "/ip.php"},
         {"Timer", timer}});
}

// One web target as its dialog saves it.
inline void StoreWeb(const std::string& url, const std::string& method = "GET", const std::string& body = "") {
  CRegistry r;
  r.OpenKey(settings::kRoot, settings::kKeyPath, 0);
  settings::WebSettings web;
  web.url = url;
  web.method = method;
  web.body = body;
  ASSERT_EQ("", settings::WriteWebTargets(r, {web}));
}

// Top-level windows of this thread with this class, hidden ones included.
inline std::vector<HWND> ThreadWindows(const char* className) {
  struct Search {
    std::string cls;
    std::vector<HWND> found;
  } search{className, {}};
  struct Visit {
    static BOOL CALLBACK Window(HWND hwnd, LPARAM lp) {
      auto* s = reinterpret_cast<Search*>(lp);
      char cls[64] = {};
      GetClassNameA(hwnd, cls, sizeof cls);
      if (s->cls == cls) s->found.push_back(hwnd);
      return TRUE;
    }
  };
  EnumThreadWindows(GetCurrentThreadId(), Visit::Window, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

inline HWND OnlyWindow(const char* className) {
  const auto found = ThreadWindows(className);
  return found.size() == 1 ? found[0] : nullptr;
}

inline HWND Popup() { return OnlyWindow(ui::kPopupWindowClass); }
inline HWND TrayWindow() { return OnlyWindow(ui::kTrayWindowClass); }

// Whether the notification area knows the tray icon by its window and id.
inline bool TrayIconPresent(HWND trayWindow) {
  if (!trayWindow) return false;
  NOTIFYICONDATAA probe{};
  probe.cbSize = NOTIFYICONDATAA_V2_SIZE;
  probe.hWnd = trayWindow;
  probe.uID = IDR_TRAYMENU;
  return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

inline bool IsStamp(const std::string& text) {
  static const std::regex stamp(
      "Last Updated On\r\n\r\n[01][0-9]/[0-3][0-9]/[0-9]{4} at [01][0-9]:[0-5][0-9]:[0-6][0-9] (AM|PM)\r\n\r\n"
      "Current IP:");
  return std::regex_match(text, stamp);
}

// The check runs on workers; the Update button is disabled while one does.
inline bool CheckEnded(HWND main, DWORD timeoutMs = 60'000) {
  return ui_driver::PumpUntil([main] { return !IsWindow(main) || IsWindowEnabled(GetDlgItem(main, IDC_UPDATE)); },
                              timeoutMs);
}

// Update pressed, and its check waited for.
inline void CheckNow(HWND main) {
  ui_driver::Click(main, IDC_UPDATE);
  EXPECT_TRUE(CheckEnded(main)) << "the check did not end";
}

// Registers the two controls the main window's template places; the program
// does the same at start-up.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(inet::RegisterInetControl(GetModuleHandleA(nullptr)));
    ASSERT_TRUE(smtp::RegisterSmtpControl(GetModuleHandleA(nullptr)));
    ClearKey();
  }
  void TearDown() override {
    ClearKey();
    peers.StopAll();
  }

  int StartHttp(const std::string& page) {
    const int port = peers.StartHttp();
    peers.SetPage(port, 200, page);
    return port;
  }
  // A web target's server, answering `answer`; `query` sets it up (TLS, ...).
  int StartWeb(const std::string& answer, const std::string& query = "") {
    const int web = peers.StartHttp(query);
    peers.SetPage(web, 200, answer);
    return web;
  }
  static std::string WebUrl(int port, const std::string& rest = "/") {
    return "http://127.0.0.1:" + std::to_string(port) + rest;
  }

  // Opens the main window and runs `script` inside its modal loop once it has
  // opened and its first check has ended (the scripts queued before are for
  // the dialogs that check opens); the window is closed with Escape
  // afterwards unless the script ended it. Returns what the modal run returned.
  INT_PTR Run(MainWindow& window, std::function<void(HWND)> script) {
    scripts.First([script = std::move(script)](HWND main) {
      if (!CheckEnded(main)) ADD_FAILURE() << "the first check did not end";
      script(main);
      if (IsWindow(main)) SendMessageA(main, WM_COMMAND, IDCANCEL, 0);
    });
    return window.DoModal();
  }

  peers::PeerClient peers = peers::PeerClient::FromEnvironment();
  ui_driver::DialogScripts scripts;
  ui_driver::MessageBoxes boxes;
};

}  // namespace app_test
