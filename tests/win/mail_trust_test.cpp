// Which mail servers get the password, seen as a user sees it: the test
// e-mail of the real settings dialog and the notification of the real main
// window, against TLS servers whose certificates a careful client refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_harness.h"
#include "settings/ProtectedValue.h"
#include "settings/Settings.h"
#include "TestAuthority.h"

namespace {

using app_test::AppTest;
using app_test::kAddress;
using app_test::MainWindow;
using app_test::PageWith;
using ui_driver::Click;
using ui_driver::SetText;

constexpr char kSent[] = "Settings OK! Test E-Mail Has Been Sent!";

// A short time-out, so a refused handshake costs the test little.
void UseShortTimeout(HWND control) {
  C_SMTP smtp;
  smtp.Attach(control);
  SetSmtpProperty(smtp, smtp::dispid::kTimeout, std::int32_t{5000});
  smtp.Detach();
}

class TlsWindow : public MainWindow {
 protected:
  BOOL OnInitDialog() override {
    UseShortTimeout(::GetDlgItem(m_hWnd, IDC_SMTP));
    return MainWindow::OnInitDialog();
  }
};

class MailTrustTest : public AppTest {
 protected:
  static void SetUpTestSuite() { test_authority::ForSuite::Begin(); }
  static void TearDownTestSuite() { test_authority::ForSuite::End(); }

  // The test e-mail from the settings dialog; returns the last box's text.
  std::string SendFromDialog(int port) {
    scripts.Then([&](HWND d) {
      UseShortTimeout(GetDlgItem(d, IDC_SMTP));
      SendDlgItemMessageA(d, IDC_AUTHENTICATION, CB_SETCURSEL, 2, 0);  // Login
      SetText(d, IDC_SMTP_SERVER, "localhost:" + std::to_string(port));
      SetText(d, IDC_USERNAME, "alice");
      SetText(d, IDC_PASSWORD, "s3cret pw");
      SetText(d, IDC_SENDTO, "me@example.net");
      SetText(d, IDC_FROM, "ip@example.net");
      Click(d, IDC_TEST_EMAIL);
      ui_driver::PumpUntil([&] { return !boxes.records.empty(); }, 30000);
      Click(d, IDCANCEL);
    });
    boxes.records.clear();
    settings::LoadStartupSettings();
    Settings().DoModal();
    return boxes.records.empty() ? "<no box>" : boxes.records.back().text;
  }

  // The first check of the main window finds a new address and mails it;
  // returns the error box's text, or "" when none came.
  std::string SendFromWindow(int port) {
    app_test::StoreCompleteSettings(StartHttp(app_test::PageWith(app_test::kAddress)));
    app_test::Store({{"SMTPServer", "localhost:" + std::to_string(port)}});
    TlsWindow window;
    boxes.records.clear();
    Run(window, [](HWND) {});
    app_test::ClearKey();
    return boxes.records.empty() ? "" : boxes.records.back().text;
  }
};

TEST_F(MailTrustTest, OnlyChainsEndingAtATrustedRootGetThePassword) {
  struct Case {
    const char* cert;
    const char* refusal;  // nullptr: accepted
  };
  // A good send comes first, so the refusals also show that nothing learnt
  // from a trusted server of the same name lets a forged one through.
  const Case cases[] = {
      {"localhost", nullptr},
      {"untrusted-leaf", "the server's certificate is not trusted"},
      {"localhost-leaf", nullptr},
      {"untrusted", "the server's certificate is not trusted"},
      {"expired", "the server's certificate has expired"},
      {"wronghost", "the certificate is for another host name, not localhost"},
  };
  for (const char* tls : {"starttls", "implicit"}) {
    const bool implicit = std::string(tls) == "implicit";
    for (const Case& k : cases) {
      SCOPED_TRACE(std::string(k.cert) + " " + tls);
      // TLS from the first byte is what users get on port 465.
      const int port = peers.StartSmtp(std::string("auth=login&user=alice&password=s3cret%20pw&tls=") + tls +
                                       "&cert=" + k.cert + (implicit ? "&port=465" : ""));
      const std::string dialog = SendFromDialog(port);
      const std::string window = SendFromWindow(port);
      if (k.refusal) {
        EXPECT_NE(std::string::npos, dialog.find(k.refusal)) << dialog;
        EXPECT_NE(std::string::npos, window.find(k.refusal)) << window;
        for (const std::string& command : peers.SmtpLog(port)) EXPECT_NE(0u, command.rfind("AUTH", 0)) << command;
        EXPECT_TRUE(peers.Messages(port).empty());
      } else {
        EXPECT_EQ(kSent, dialog);
        EXPECT_EQ("", window);
        const auto mails = peers.Messages(port);
        ASSERT_EQ(2u, mails.size());
        EXPECT_EQ("s3cret pw", mails[1].authPassword);
      }
      peers.Stop(port);
    }
  }
}

// Which web targets get their secrets, through the real main window.
class WebTrustTest : public AppTest {
 protected:
  static void SetUpTestSuite() { test_authority::ForSuite::Begin(); }
  static void TearDownTestSuite() { test_authority::ForSuite::End(); }
};

TEST_F(WebTrustTest, HttpsGoesToATrustedPeerOnlyAndClearTextOnlyToAnAddressTypedAsLoopback) {
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

TEST_F(WebTrustTest, TheFirstReleasesSingleTargetIsCalledAfterTheUpgrade) {
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

}  // namespace
