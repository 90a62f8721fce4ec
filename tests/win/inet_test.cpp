// The page-fetch control and its wrapper under Wine, the way the main window
// uses them: the control placed by a dialog template, CInet bound to it by
// data exchange, real HTTP and scripted TCP peers on 127.0.0.1.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/Inet.h"
#include "base/Text.h"
#include "fw/Dialog.h"
#include "fw/Exceptions.h"
#include "fw/Handles.h"
#include "http/AutoProxy.h"
#include "http/IdnHost.h"
#include "inet/InetControl.h"
#include "inet_test_ids.h"
#include "net/Transport.h"
#include "PeerClient.h"
#include "ProxyThrough.h"
#include "UiDriver.h"

namespace {

using ui_driver::DialogScripts;

class FetchDialog : public CDialog {
 public:
  FetchDialog() : CDialog(IDD_INET_TEST) {}
  CInet m_inet;
  std::string m_url;   // what the Fetch button fetches
  std::string m_page;  // what it got
  bool m_fetched = false;

 protected:
  void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_INET_CONTROL, m_inet); }
  BOOL OnCommand(UINT id, UINT code, HWND control) override {
    if (id == IDC_INET_FETCH) {
      m_page = m_inet.OpenURL(m_url);
      m_fetched = true;
      return TRUE;
    }
    return CDialog::OnCommand(id, code, control);
  }
};

struct Outcome {
  bool ok = false;
  std::string page;
  std::string error;
  std::string source;
  DWORD elapsedMs = 0;
};

class InetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(inet::RegisterInetControl(GetModuleHandleA(nullptr))); }

  // One OpenURL through a real dialog; timeoutMs 0 keeps the control's default.
  Outcome Fetch(const std::string& url, DWORD timeoutMs = 0) {
    const int handlesBefore = win::LiveHandles(win::HandleKind::Socket);
    Outcome outcome;
    DialogScripts scripts;
    FetchDialog dialog;
    inet::RegisterInetControl(GetModuleHandleA(nullptr), timeoutMs);
    scripts.Then([&](HWND hwnd) {
      const DWORD start = GetTickCount();
      try {
        outcome.page = dialog.m_inet.OpenURL(url);
        outcome.ok = true;
      } catch (const CDispatchException& e) {
        outcome.error = e.m_strDescription;
        outcome.source = e.m_strSource;
      }
      outcome.elapsedMs = GetTickCount() - start;
      EndDialog(hwnd, IDOK);
    });
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(handlesBefore, win::LiveHandles(win::HandleKind::Socket)) << "fetch of " << url << " kept a handle";
    return outcome;
  }

  static std::string Url(int port, const std::string& path = "/ip.php") {
    return "http://127.0.0.1:" + std::to_string(port) + path;
  }

  peers::PeerClient client = peers::PeerClient::FromEnvironment();
};

// A port nothing listens on: a peer's, after the peer stopped.
int ClosedPort(peers::PeerClient& client) {
  const int port = client.StartHttp();
  client.Stop(port);
  return port;
}

TEST_F(InetTest, PagesArriveWholeAndFreshEveryTime) {
  const int port = client.StartHttp();
  const std::string page = "<html><body>Current IP: <!--startip-->203.0.113.7<!--endip--></body></html>\r\n";
  client.SetPage(port, 200, page);
  Outcome first = Fetch(Url(port));
  ASSERT_TRUE(first.ok) << first.error;
  EXPECT_EQ(page, first.page);

  // No cache may answer for the server: a changed page shows at once.
  const std::string changed = "<!--startip-->198.51.100.23<!--endip-->";
  client.SetPage(port, 200, changed);
  Outcome second = Fetch(Url(port));
  ASSERT_TRUE(second.ok) << second.error;
  EXPECT_EQ(changed, second.page);
  EXPECT_EQ(2, client.HttpHits(port));

  client.SetPage(port, 200, "");
  Outcome empty = Fetch(Url(port));
  ASSERT_TRUE(empty.ok) << empty.error;
  EXPECT_EQ("", empty.page);
}

TEST_F(InetTest, AMebibytePageArrivesCompleteAndALargerOneIsRefused) {
  const int port = client.StartHttp();
  std::string block;
  for (int i = 0; i < 1024; ++i) block += static_cast<char>('a' + (i * 7) % 26);
  block.back() = '\n';
  const int repeat = 1024;
  client.SetPage(port, 200, block, "&repeat=" + std::to_string(repeat));
  Outcome outcome = Fetch(Url(port));
  ASSERT_TRUE(outcome.ok) << outcome.error;
  ASSERT_EQ(block.size() * repeat, outcome.page.size());
  for (int i = 0; i < repeat; ++i) {
    ASSERT_EQ(0, outcome.page.compare(block.size() * i, block.size(), block)) << "block " << i;
  }

  // Refused from the announced length, and when no length is announced, as
  // soon as the bytes read pass the limit.
  for (const char* announce : {"1", "0"}) {
    SCOPED_TRACE(announce);
    client.SetPage(port, 200, block, "&repeat=" + std::to_string(repeat + 1) + "&announce=" + announce);
    Outcome larger = Fetch(Url(port));
    EXPECT_FALSE(larger.ok);
    EXPECT_EQ("The page at " + Url(port) + " is larger than 1 MiB", larger.error);
  }
}

TEST_F(InetTest, EveryByteArrivesAsItsCodePageCharacter) {
  const int port = client.StartHttp();
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  bytes += bytes;  // a NUL in the middle too, not only at the start
  client.SetPage(port, 200, bytes);

  // At the control: one UTF-16 character per byte, each the code page's own.
  inet::InetOpenUrlCall call;
  DialogScripts scripts;
  FetchDialog dialog;
  LRESULT answered = FALSE;
  scripts.Then([&](HWND hwnd) {
    call.url = std::wstring(L"http://127.0.0.1:") + std::to_wstring(port) + L"/";
    answered = SendMessageA(GetDlgItem(hwnd, IDC_INET_CONTROL), WM_INET_OPENURL, 0, reinterpret_cast<LPARAM>(&call));
    EndDialog(hwnd, IDOK);
  });
  dialog.DoModal();
  ASSERT_TRUE(answered) << std::string(call.error.begin(), call.error.end());
  ASSERT_EQ(bytes.size(), call.body.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    wchar_t expected = 0;
    ASSERT_EQ(1, MultiByteToWideChar(CP_ACP, 0, &bytes[i], 1, &expected, 1));
    ASSERT_EQ(expected, call.body[i]) << "byte " << i % 256;
  }
  if (GetACP() == 1252) {
    EXPECT_EQ(L'\u20AC', call.body[0x80]);
    EXPECT_EQ(L'\u00E9', call.body[0xE9]);
  }

  // Through the wrapper: back in the code page, the page text is the bytes.
  Outcome outcome = Fetch(Url(port));
  ASSERT_TRUE(outcome.ok) << outcome.error;
  EXPECT_EQ(bytes, outcome.page);
}

TEST_F(InetTest, ErrorStatusesFailWithStatusAndReason) {
  const int port = client.StartHttp();
  client.SetPage(port, 404, "<html>no such page</html>");
  Outcome missing = Fetch(Url(port));
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ("The page at " + Url(port) + " could not be fetched: 404 Not Found", missing.error);
  EXPECT_EQ("CorvaneInet", missing.source);
  EXPECT_EQ("", missing.page);

  client.SetPage(port, 500, "oops");
  Outcome broken = Fetch(Url(port));
  EXPECT_FALSE(broken.ok);
  EXPECT_EQ("The page at " + Url(port) + " could not be fetched: 500 Internal Server Error", broken.error);
}

TEST_F(InetTest, RedirectIsFollowed) {
  const int target = client.StartHttp();
  client.SetPage(target, 200, "<!--startip-->192.0.2.1<!--endip-->");
  const int moved = client.StartHttp();
  client.SetPage(moved, 302, "", "&location=" + peers::PeerClient::Encode(Url(target, "/new.php")));
  Outcome outcome = Fetch(Url(moved));
  ASSERT_TRUE(outcome.ok) << outcome.error;
  EXPECT_EQ("<!--startip-->192.0.2.1<!--endip-->", outcome.page);
  EXPECT_EQ(1, client.HttpHits(moved));
  EXPECT_EQ(1, client.HttpHits(target));
}

TEST_F(InetTest, RedirectsLeadOnlyToHttpOrHttps) {
  const int moved = client.StartHttp();
  client.SetPage(moved, 302, "", "&location=" + peers::PeerClient::Encode("ftp://127.0.0.1/ip.txt"));
  Outcome outcome = Fetch(Url(moved));
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ("Cannot fetch " + Url(moved) +
                ": the server redirected to ftp://127.0.0.1/ip.txt, which is not an http:// or https:// address that "
                "keeps the connection secured",
            outcome.error);

  // Out of a secured page, only to another secured one.
  const int secured = client.StartHttp();
  const app_test::ProxyThrough proxy(secured);
  client.SetPage(moved, 200, "<!--startip-->192.0.2.1<!--endip-->");
  client.SetPage(secured, 302, "", "&location=" + peers::PeerClient::Encode(Url(moved)));
  Outcome downgraded = Fetch("https://echo.example/ip.php");
  EXPECT_FALSE(downgraded.ok);
  EXPECT_EQ("Cannot fetch https://echo.example/ip.php: the server redirected to " + Url(moved) +
                ", which is not an http:// or https:// address that keeps the connection secured",
            downgraded.error);
  EXPECT_EQ(1, client.HttpHits(moved)) << "the unsecured page was fetched";
}

// Through the system's proxy an https page counts only when it comes through
// the tunnel: a proxy that answers CONNECT itself ends the fetch in its words.
TEST_F(InetTest, AProxyThatAnswersForAnHttpsPageEndsTheFetch) {
  const std::pair<const char*, const char*> cases[] = {
      {"302 Found\r\nLocation: https://evil.corvane.test/", "the proxy refused the tunnel: 302 Found"},
      {"407 Proxy Authentication Required", "the proxy wants a login"}};
  for (const auto& [answer, says] : cases) {
    SCOPED_TRACE(answer);
    const int proxy = client.StartRaw(
        "line|send:" + peers::PeerClient::Encode(std::string("HTTP/1.1 ") + answer + "\r\n\r\n") + "|hold");
    const app_test::ProxyThrough through(proxy);
    Outcome outcome = Fetch("https://echo.example/ip.php");
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(std::string::npos, outcome.error.find(says)) << outcome.error;
    client.Stop(proxy);
  }
}

// The script decides by the address it is given: only the bare origin
// leads to the proxy.
TEST_F(InetTest, AProxyScriptIsAskedAboutTheOriginOnly) {
  const int script = client.StartHttp();
  client.SetPage(script, 200,
                 "function FindProxyForURL(url, host) {"
                 " return url == 'https://echo.example/' ? 'PROXY 127.0.0.1:3128' : 'DIRECT'; }");
  const auto url = http::ParseUrl("https://bot:pw@echo.example/bot1:TOKEN/send?chat=9");
  const auto found = http::AutomaticProxy(*url, win::AnsiToWide(Url(script, "/proxy.pac")), false, 5000);
  ASSERT_EQ(http::ScriptProxy::Verdict::ThroughProxy, found.verdict)
      << "no proxy: the script was asked about more than the origin";
  EXPECT_EQ("127.0.0.1:3128", found.proxy.Text());
}

// A script that never arrives ends the search within its bound, saying why,
// rather than letting the fetch go direct past a proxy the network may need.
TEST_F(InetTest, AProxyScriptThatNeverArrivesFailsWithinTheBound) {
  const int silent = client.StartRaw("hold");
  const DWORD start = GetTickCount();
  try {
    http::AutomaticProxy(*http::ParseUrl("http://echo.example/ip.php"), win::AnsiToWide(Url(silent, "/proxy.pac")),
                         false, 1000);
    ADD_FAILURE() << "an answer from a script that never came";
  } catch (const net::TransportError& e) {
    EXPECT_NE(std::string::npos, std::string(e.what()).find("automatic proxy search")) << e.what();
  }
  EXPECT_LT(GetTickCount() - start, 2000u);
  client.Stop(silent);
}

// The system's own conversion of an international name; one it refuses
// leaves the address unusable.
TEST(IdnHost, AnInternationalNameGetsItsAsciiForm) {
  const std::string books =
      "b\xC3\xBC"
      "cher.example";  // "bücher", in UTF-8
  EXPECT_EQ("xn--bcher-kva.example", http::IdnHost(books).value_or("<refused>"));
  EXPECT_FALSE(http::IdnHost(std::string(64, 'a') + "\xC3\xBC.example")) << "a label longer than a name may have";
}

// An address typed in the ANSI code page reaches the wire in UTF-8, percent-
// encoded, with the host converted (seen here in the proxy's request line).
TEST_F(InetTest, ATypedAddressBeyondAsciiGoesOutEncoded) {
  ASSERT_EQ(1252u, GetACP());
  const int proxy = client.StartHttp();
  client.SetPage(proxy, 200, "<!--startip-->192.0.2.1<!--endip-->");
  const app_test::ProxyThrough through(proxy);
  Outcome outcome = Fetch(
      "http://b\xFC"
      "cher.example/stra\xDF"
      "e?q=\xE9");
  EXPECT_TRUE(outcome.ok) << outcome.error;
  const auto requests = client.HttpRequests(proxy);
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(0u, requests[0].find("GET http://xn--bcher-kva.example/stra%C3%9Fe?q=%C3%A9 HTTP/1.1\r\n")) << requests[0];
}

TEST_F(InetTest, AServerThatClosesWithoutAnAnswerIsAFailedFetch) {
  for (const char* script : {"close", "line|close"}) {
    SCOPED_TRACE(script);
    const int port = client.StartRaw(script);
    Outcome outcome = Fetch(Url(port));
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ("Cannot fetch " + Url(port) + ": the server closed the connection without an answer", outcome.error);
  }
}

TEST_F(InetTest, UnreachableServersFailWithTextsUsersCanActOn) {
  const int closed = ClosedPort(client);
  Outcome refused = Fetch(Url(closed));
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(0u, refused.error.find("Cannot fetch " + Url(closed) + ": the server refused the connection"))
      << refused.error;
  EXPECT_EQ("CorvaneInet", refused.source);

  Outcome wrongScheme = Fetch("ftp://127.0.0.1/ip.txt");
  EXPECT_FALSE(wrongScheme.ok);
  EXPECT_EQ("Cannot fetch ftp://127.0.0.1/ip.txt: the address is not a valid http:// or https:// URL",
            wrongScheme.error);
}

// A login goes in clear only to this computer: to any other name the fetch
// fails before connecting, and neither the text nor the box quotes it.
TEST_F(InetTest, ALoginInClearToAnotherMachineIsNeverSentNorShown) {
  const int port = client.StartHttp();
  client.SetPage(port, 200, "203.0.113.9");
  const std::string page = "mail.corvane.test:" + std::to_string(port) + "/ip.php";
  Outcome outcome = Fetch("http://me:pw@" + page);
  EXPECT_EQ("Cannot fetch http://" + page + ": the address http://mail.corvane.test:" + std::to_string(port) +
                " is not https://, and a login or any other secret goes in clear only to this computer itself; "
                "nothing was sent",
            outcome.error);

  ui_driver::MessageBoxes boxes;
  DialogScripts scripts;
  FetchDialog dialog;
  dialog.m_url = "http://me:pw@" + page;
  scripts.Then([&](HWND hwnd) {
    ui_driver::Click(hwnd, IDC_INET_FETCH);
    EndDialog(hwnd, IDOK);
  });
  EXPECT_EQ(IDOK, dialog.DoModal());
  ASSERT_EQ(1u, boxes.records.size());
  EXPECT_EQ(0u, boxes.records[0].text.find("Cannot fetch http://" + page + ": ")) << boxes.records[0].text;
  EXPECT_EQ(0, client.HttpHits(port));
}

// A server that accepts and never answers, and one that trickles its page a
// byte at a time, both give up within the control's bound.
TEST_F(InetTest, SilentAndTricklingServersFailWithinTheBound) {
  constexpr DWORD kBoundMs = 2000;
  const std::string expectedTail = ": the server did not send the page within 2 seconds";

  const int silent = client.StartRaw("hold");
  Outcome held = Fetch(Url(silent), kBoundMs);
  EXPECT_FALSE(held.ok);
  EXPECT_EQ("Cannot fetch " + Url(silent) + expectedTail, held.error);
  EXPECT_LT(held.elapsedMs, kBoundMs + 1000);
  client.Stop(silent);

  std::string script = "line|send:" + peers::PeerClient::Encode("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n");
  for (int i = 0; i < 100; ++i) script += "|send:x|sleep:200";
  const int trickling = client.StartRaw(script);
  Outcome slow = Fetch(Url(trickling), kBoundMs);
  EXPECT_FALSE(slow.ok);
  EXPECT_EQ("Cannot fetch " + Url(trickling) + expectedTail, slow.error);
  EXPECT_LT(slow.elapsedMs, kBoundMs + 1000);
  EXPECT_GE(slow.elapsedMs, kBoundMs - 100) << "gave up before the bound";
  client.Stop(trickling);
}

// A failed fetch inside a handler reaches the handler-level catch: the
// control's text in a stop box, and the dialog carries on.
TEST_F(InetTest, FailedFetchInAHandlerShowsTheTextInAStopBox) {
  const int closed = ClosedPort(client);
  ui_driver::MessageBoxes boxes;
  DialogScripts scripts;
  FetchDialog dialog;
  dialog.m_url = Url(closed);
  scripts.Then([&](HWND hwnd) {
    ui_driver::Click(hwnd, IDC_INET_FETCH);
    EXPECT_TRUE(IsWindow(hwnd));
    EndDialog(hwnd, IDOK);
  });
  EXPECT_EQ(IDOK, dialog.DoModal());
  EXPECT_FALSE(dialog.m_fetched);
  ASSERT_EQ(1u, boxes.records.size());
  EXPECT_EQ(0u, boxes.records[0].text.find("Cannot fetch " + Url(closed) + ": ")) << boxes.records[0].text;
  EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), boxes.records[0].type & MB_ICONMASK);
}

// Fetches started together run side by side: the slow page's result comes
// after the quick failure's, each with its tag and with OpenURL's own texts.
TEST_F(InetTest, StartedFetchesRunSideBySideWithOpenUrlsTexts) {
  const int slow = client.StartHttp(), missing = client.StartHttp();
  client.SetPage(slow, 200, "198.51.100.7", "delay_ms=1500");
  client.SetPage(missing, 404, "no such page");
  constexpr UINT kFetched = WM_APP + 4;
  HWND receiver = ui_driver::MessageOnlyWindow();
  std::vector<std::pair<WPARAM, PageFetchResult>> arrived;
  std::string missingText;
  DialogScripts scripts;
  FetchDialog dialog;
  scripts.Then([&](HWND hwnd) {
    try {
      dialog.m_inet.OpenURL(Url(missing));
    } catch (const CDispatchException& e) {
      missingText = e.m_strDescription;
    }
    EXPECT_TRUE(dialog.m_inet.StartOpenURL(Url(slow), receiver, kFetched, 1));
    EXPECT_TRUE(dialog.m_inet.StartOpenURL(Url(missing), receiver, kFetched, 2));
    EndDialog(hwnd, IDOK);
  });
  ASSERT_EQ(IDOK, dialog.DoModal());
  for (int i = 0; i < 2; ++i) {
    MSG msg{};
    ASSERT_TRUE(ui_driver::NextPost(receiver, kFetched, msg));
    auto result = CInet::TakeFetchResult(receiver, msg.lParam);
    ASSERT_NE(nullptr, result);
    arrived.emplace_back(msg.wParam, *result);
  }
  ASSERT_EQ(2u, arrived.size());
  EXPECT_EQ(2u, arrived[0].first) << "the quick one first, though started second";
  EXPECT_FALSE(arrived[0].second.ok());
  EXPECT_EQ(missingText, arrived[0].second.error);
  EXPECT_EQ(1u, arrived[1].first);
  EXPECT_TRUE(arrived[1].second.ok()) << arrived[1].second.error;
  EXPECT_EQ("198.51.100.7", arrived[1].second.body);
  EXPECT_FALSE(CInet().StartOpenURL(Url(slow), receiver, kFetched, 3)) << "no control, no fetch";
  DestroyWindow(receiver);
}

TEST_F(InetTest, WithoutTheControlNothingHappens) {
  CInet detached;
  EXPECT_EQ("", detached.OpenURL(Url(ClosedPort(client))));
}

TEST_F(InetTest, DialogFailsToOpenWhenTheClassIsNotRegistered) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  ASSERT_TRUE(UnregisterClassA(inet::kInetControlClass, instance));
  FetchDialog dialog;
  EXPECT_EQ(-1, dialog.DoModal());
  ASSERT_TRUE(inet::RegisterInetControl(instance));
  ASSERT_TRUE(inet::RegisterInetControl(instance)) << "registering twice must not fail";
}

}  // namespace
