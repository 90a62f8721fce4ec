// Faults of the page server, the mail server and the registry, met by the
// real main window under Wine. Each one is reported in a box (or passes
// silently where the program has nothing to say), within the control's
// time-out plus a second; the window keeps running, its timer keeps ticking,
// and the next good check works as usual - a notification that failed goes
// out with it. The suite ends by printing the whole matrix.
#include "app_harness.h"

#include <accctrl.h>
#include <aclapi.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <regex>

#include "res/Version.h"

namespace {

using app_test::PageWith;
using ui_driver::Click;
using ui_driver::PumpUntil;
using ui_driver::Text;
using Clock = std::chrono::steady_clock;

// Both controls get this bound, so a stalled server costs two seconds.
constexpr int kTimeoutMs = 2000;
constexpr long long kBoundMs = kTimeoutMs + 1000;
// Short, so the test can watch the timer start checks by itself.
constexpr int kTimerMs = 300;
constexpr char kPassword[] = "s3cret pw";

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// What one case came to, for the closing table.
struct MatrixRow {
  std::string name;
  std::string outcome;  // the box's text, "silent", or "settings dialog"
  long long ms = 0;
};
std::vector<MatrixRow>& Matrix() {
  static std::vector<MatrixRow> rows;
  return rows;
}

void PrintMatrix() {
  std::printf("\n%-34s | %-7s | %-6s | %s\n", "case", "ms", "bound", "outcome");
  std::printf("%s\n", std::string(120, '-').c_str());
  for (const auto& row : Matrix()) {
    std::string outcome = row.outcome;
    for (char& c : outcome)
      if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    if (outcome.size() > 160) outcome = outcome.substr(0, 157) + "...";
    std::printf("%-34s | %7lld | %-6s | %s\n", row.name.c_str(), row.ms, row.ms <= kBoundMs ? "yes" : "NO",
                outcome.c_str());
  }
  std::fflush(stdout);
}

// The matrix is printed once every suite has run.
class MatrixPrinter : public ::testing::Environment {
 public:
  void TearDown() override { PrintMatrix(); }
};
::testing::Environment* const kPrinter = ::testing::AddGlobalTestEnvironment(new MatrixPrinter);

// The main window with both controls bounded by kTimeoutMs and its mail
// control pointed at the test's server, set before the first check runs.
class BoundedWindow : public app_test::MainWindow {
 public:
  int mailPort = 0;

 protected:
  BOOL OnInitDialog() override {
    inet::RegisterInetControl(GetModuleHandleA(nullptr), kTimeoutMs);
    C_SMTP control;
    control.Attach(::GetDlgItem(m_hWnd, IDC_SMTP));
    SetSmtpProperty(control, smtp::dispid::kPort, std::int32_t{mailPort});
    SetSmtpProperty(control, smtp::dispid::kTimeout, std::int32_t{kTimeoutMs});
    control.Detach();
    return app_test::MainWindow::OnInitDialog();
  }
};

void SetMailPort(HWND main, int port) {
  C_SMTP control;
  control.Attach(GetDlgItem(main, IDC_SMTP));
  SetSmtpProperty(control, smtp::dispid::kPort, std::int32_t{port});
  control.Detach();
}

// A raw script step that sends these bytes.
std::string Send(const std::string& bytes) { return "send:" + peers::PeerClient::Encode(bytes); }

// A mail server that logs in with LOGIN and takes the envelope, up to the 354.
std::string UpTo354() {
  return Send("220 raw\r\n") + "|line|" + Send("250-raw\r\n250 AUTH LOGIN\r\n") + "|line|" +
         Send("334 VXNlcm5hbWU6\r\n") + "|line|" + Send("334 UGFzc3dvcmQ6\r\n") + "|line|" + Send("235 ok\r\n") +
         "|line|" + Send("250 ok\r\n") + "|line|" + Send("250 ok\r\n") + "|line|" + Send("354 go on\r\n");
}

class FaultFixture : public app_test::AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    boxes.answer = [this](const MessageBoxRecord&) {
      boxTimes.push_back(Clock::now());
      return IDOK;
    };
  }

  int StartGoodMail(const std::string& extra = "") {
    return peers.StartSmtp("auth=login,plain&user=alice&password=" + peers::PeerClient::Encode(kPassword) + extra);
  }
  void StartHttpOn(int port) { peers.Get("/http/start?port=" + std::to_string(port)); }
  void StartRawOn(int port, const std::string& script) {
    peers.Get("/raw/start?script=" + peers::PeerClient::Encode(script) + "&port=" + std::to_string(port));
  }
  void StopIfRunning(int port) {
    try {
      peers.Stop(port);
    } catch (const std::runtime_error&) {
      // Already stopped by the case itself.
    }
  }
  int MailCount(int port) { return static_cast<int>(peers.Messages(port).size()); }
  bool LastMailNames(int port, const std::string& address) {
    const auto mails = peers.Messages(port);
    return !mails.empty() && mails.back().content.find("New IP Address:  " + address) != std::string::npos;
  }

  // Adds the row; the outcome is the first box raised since `first`, if any.
  MatrixRow Record(const std::string& name, size_t first, Clock::time_point start, long long silentMs) {
    MatrixRow row{name, "silent", silentMs};
    if (boxes.records.size() > first) {
      row.outcome = boxes.records[first].text;
      row.ms = std::chrono::duration_cast<std::chrono::milliseconds>(boxTimes[first] - start).count();
    }
    Matrix().push_back(row);
    return row;
  }

  std::vector<Clock::time_point> boxTimes;
};

// ---------------------------------------------------------------------------
// Page and mail faults: the window starts with good servers, one check meets
// the fault, then the servers are mended and the timer's next check must
// show the newest address and send its mail.

enum class Expect { Box, Silent };

class ServerFaultTest;

struct ServerFault {
  const char* name;
  bool mail;  // a fault of the mail server (else of the page server)
  Expect expect;
  const char* boxSays;  // a piece of the box's text ("" for a silent case)
  // Arranges the fault: the page port is the Link's; for a mail fault it
  // returns the port the mail control is pointed at during the faulty check.
  std::function<int(ServerFaultTest&, int pagePort)> arrange;
  const char* accepted;  // the address the faulty check takes, or "" for none
};

void PrintTo(const ServerFault& fault, std::ostream* os) { *os << fault.name; }

class ServerFaultTest : public FaultFixture, public ::testing::WithParamInterface<ServerFault> {
 public:
  // For the cases' arrange functions.
  using FaultFixture::peers;
  using FaultFixture::StartGoodMail;
  using FaultFixture::StartRawOn;
};

constexpr char kFirst[] = "203.0.113.7";
constexpr char kDuring[] = "198.51.100.23";  // the page during the fault
constexpr char kAfter[] = "192.0.2.44";      // the page once mended

TEST_P(ServerFaultTest, IsReportedInTimeAndTheNextCheckWorks) {
  const ServerFault& fault = GetParam();
  const int page = StartHttp(PageWith(kFirst));
  const int mail = StartGoodMail();
  app_test::StoreCompleteSettings(page, std::to_string(kTimerMs));
  BoundedWindow window;
  window.mailPort = mail;
  Run(window, [&](HWND main) {
    ASSERT_EQ(kFirst, Text(main, IDC_IP));
    ASSERT_EQ(1, MailCount(mail));
    ASSERT_TRUE(boxes.records.empty()) << boxes.records.front().text;

    if (fault.mail) {
      SetMailPort(main, fault.arrange(*this, page));
      peers.SetPage(page, 200, PageWith(kDuring));
    } else {
      fault.arrange(*this, page);
    }
    ui_driver::SetText(main, IDC_STATUS, "before");
    const size_t first = boxes.records.size();
    const auto start = Clock::now();
    app_test::CheckNow(main);
    const MatrixRow row = Record(fault.name, first, start, MsSince(start));

    EXPECT_TRUE(IsWindow(main));
    EXPECT_LE(row.ms, kBoundMs) << row.outcome;
    if (fault.expect == Expect::Box) {
      ASSERT_EQ(first + 1, boxes.records.size()) << "one box for one failed check";
      EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), boxes.records[first].type & MB_ICONMASK);
      EXPECT_NE(std::string::npos, row.outcome.find(fault.boxSays)) << row.outcome;
      // Whatever the server sent, the box stays readable.
      EXPECT_LT(row.outcome.size(), 1000u);
      for (const char c : row.outcome)
        EXPECT_TRUE(c == '\r' || c == '\n' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F))
            << "control character " << static_cast<int>(c) << " in " << row.outcome;
      EXPECT_EQ("before", Text(main, IDC_STATUS)) << "a failed check shows nothing";
      EXPECT_EQ(kFirst, Text(main, IDC_IP));
    }
    const int mailsAfterFault = MailCount(mail);
    EXPECT_EQ(*fault.accepted ? 2 : 1, mailsAfterFault);
    if (fault.expect == Expect::Silent) {
      EXPECT_EQ(first, boxes.records.size()) << boxes.records.back().text;
      EXPECT_TRUE(app_test::IsStamp(Text(main, IDC_STATUS))) << Text(main, IDC_STATUS);
      EXPECT_EQ(*fault.accepted ? fault.accepted : kFirst, Text(main, IDC_IP));
      // The same page once more is no change: nothing is sent twice.
      app_test::CheckNow(main);
      EXPECT_EQ(first, boxes.records.size());
      EXPECT_EQ(mailsAfterFault, MailCount(mail)) << "the same page sent the notification again";
    }

    // Mended: the page answers again and mail goes to the good server. No
    // button is pressed: the timer has to start the next check.
    if (fault.mail) {
      SetMailPort(main, mail);
    } else {
      StopIfRunning(page);  // whatever stands on the page's port now
      StartHttpOn(page);
      peers.SetPage(page, 200, PageWith(kAfter));
    }
    const char* expected = fault.mail ? kDuring : kAfter;
    const bool recovered = PumpUntil([&] { return Text(main, IDC_IP) == expected; }, 4 * kBoundMs);
    EXPECT_TRUE(recovered) << "the timer's check did not show " << expected;
    EXPECT_TRUE(PumpUntil([&] { return LastMailNames(mail, expected); }, 1000))
        << (fault.mail ? "the failed notification was not sent again" : "the new address was not mailed");
    EXPECT_EQ(first + (fault.expect == Expect::Box ? 1 : 0), boxes.records.size()) << "the good checks raise no box";
  });
}

// Every server the program asks learns which program and which system ask.
class UserAgentTest : public FaultFixture {};

TEST_F(UserAgentTest, ThePageRequestNamesTheProgramAndTheSystem) {
  const int page = StartHttp(PageWith(kFirst));
  app_test::StoreCompleteSettings(page, std::to_string(kTimerMs));
  BoundedWindow window;
  window.mailPort = StartGoodMail();
  Run(window, [&](HWND main) {
    ASSERT_EQ(kFirst, Text(main, IDC_IP));
    const std::vector<std::string> requests = peers.HttpRequests(page);
    ASSERT_FALSE(requests.empty());
    const std::regex agent("\r\nUser-Agent: Orlimar Corvane/" +
                           std::regex_replace(CORVANE_VERSION_FULL, std::regex("\\."), "\\.") +
                           " \\(Windows [0-9]+\\.[0-9]+; \\+https://orlimar\\.net/corvane\\)\r\n");
    EXPECT_TRUE(std::regex_search(requests[0], agent)) << requests[0];
  });
}

// A login in a page's address never goes in clear to another machine, and
// no box quotes it, whichever way each page failed.
class PageLoginTest : public FaultFixture {};

TEST_F(PageLoginTest, NeverGoesInClearAndNoBoxShowsIt) {
  const int clear = StartHttp(PageWith(kFirst));  // reached as mail.corvane.test, a name not this machine's
  const int noAddress = StartHttp("no address here");
  const int closed = peers.StartHttp();
  peers.Stop(closed);
  const auto at = [](const std::string& host, int port) { return host + ":" + std::to_string(port); };
  app_test::StoreCompleteSettings(noAddress, std::to_string(kTimerMs));
  app_test::Store(
      {{"Link", "http://me:pw@" + at("mail.corvane.test", clear) + "/ip.php http://me:pw@" +
                    at("127.0.0.1", noAddress) + "/ip.php https://me:pw@" + at("127.0.0.1", closed) + "/ip.php"}});
  BoundedWindow window;
  window.mailPort = StartGoodMail();
  Run(window, [&](HWND main) {
    const size_t first = boxes.records.size();
    app_test::CheckNow(main);
    ASSERT_LT(first, boxes.records.size());
    const std::string& text = boxes.records[first].text;
    EXPECT_NE(std::string::npos,
              text.find("Cannot fetch http://" + at("mail.corvane.test", clear) + "/ip.php: the address http://" +
                        at("mail.corvane.test", clear) + " is not https://"))
        << text;
    EXPECT_NE(std::string::npos,
              text.find("The page at http://" + at("127.0.0.1", noAddress) + "/ip.php did not show an IP address."))
        << text;
    EXPECT_NE(std::string::npos, text.find("Cannot fetch https://" + at("127.0.0.1", closed) + "/ip.php: ")) << text;
    for (const MessageBoxRecord& box : boxes.records) EXPECT_EQ(std::string::npos, box.text.find("pw@")) << box.text;
    EXPECT_EQ(0, peers.HttpHits(clear)) << "the login went in clear to another machine";
    EXPECT_NE(std::string::npos, peers.HttpRequests(noAddress).at(0).find("Authorization: Basic bWU6cHc="));
  });
}

// A web target that asks for a wait with Retry-After gets it, whatever
// changes meanwhile: the mail goes out at every change, the target is not
// called, and the one box says for how long.
class WebTargetFaultTest : public FaultFixture {};

TEST_F(WebTargetFaultTest, TooManyRequestsWithRetryAfterIsNotCalledForItsWait) {
  const int page = StartHttp(PageWith(kFirst));
  const int mail = StartGoodMail();
  const int target = StartHttp("OK");
  app_test::StoreCompleteSettings(page);
  app_test::StoreWeb("http://127.0.0.1:" + std::to_string(target) + "/hook?ip={ip}");
  BoundedWindow window;
  window.mailPort = mail;
  Run(window, [&](HWND main) {
    ASSERT_EQ(1, peers.HttpHits(target));
    peers.SetPage(target, 429, "slow down", "retry_after=600");
    peers.SetPage(page, 200, PageWith(kDuring));
    const size_t first = boxes.records.size();
    const auto start = Clock::now();
    app_test::CheckNow(main);
    Record("web: 429 with Retry-After: 600", first, start, MsSince(start));
    EXPECT_EQ(2, peers.HttpHits(target));
    // Answered well from now on, so a call made too early would pass unseen
    // but for the count.
    peers.SetPage(target, 200, "OK");
    for (const char* address : {kAfter, "192.0.2.45", "192.0.2.46"}) {
      peers.SetPage(page, 200, PageWith(address));
      app_test::CheckNow(main);
      EXPECT_EQ(address, Text(main, IDC_IP));
      EXPECT_TRUE(LastMailNames(mail, address)) << "the mail did not go out with the target waiting";
    }
  });
  EXPECT_EQ(2, peers.HttpHits(target)) << "called again within its ten minutes";
  EXPECT_EQ(5, MailCount(mail));
  ASSERT_EQ(1u, boxes.records.size());
  EXPECT_NE(std::string::npos, boxes.records[0].text.find("It will not be called again for 10 minutes."))
      << boxes.records[0].text;
}

std::string Name(const ::testing::TestParamInfo<ServerFault>& info) {
  std::string name = info.param.name;
  for (char& c : name)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

// The page's server answers with `status` and 2 GiB, streamed as fast as it goes.
int StreamTwoGiB(ServerFaultTest& t, int page, const std::string& status, const std::string& headers) {
  t.peers.Stop(page);
  t.StartRawOn(page, "line|" + Send("HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: 2147483648\r\n\r\n") +
                         "|sendn:1073741824:x|sendn:1073741824:x");
  return 0;
}

// The page's body padded with blanks to exactly `size` bytes.
std::string Padded(const std::string& body, size_t size) { return body + std::string(size - body.size(), ' '); }

const ServerFault kServerFaults[] = {
    {"page: connection refused", false, Expect::Box, "127.0.0.1",
     [](ServerFaultTest& t, int page) {
       t.peers.Stop(page);
       return 0;
     },
     ""},
    {"page: accepts, never answers", false, Expect::Box, "2 seconds",
     [](ServerFaultTest& t, int page) {
       t.peers.Stop(page);
       t.StartRawOn(page, "hold");
       return 0;
     },
     ""},
    {"page: headers, then stalls", false, Expect::Box, "2 seconds",
     [](ServerFaultTest& t, int page) {
       t.peers.Stop(page);
       t.StartRawOn(page, "line|" + Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc") + "|hold");
       return 0;
     },
     ""},
    {"page: closed without an answer", false, Expect::Box, "closed the connection without an answer",
     [](ServerFaultTest& t, int page) {
       t.peers.Stop(page);
       t.StartRawOn(page, "line|close");
       return 0;
     },
     ""},
    // The built-in pages are plain text of exactly this shape: a cut one
    // would otherwise show (and mail) a shorter, wrong address.
    {"page: cut short (length)", false, Expect::Box, "closed before the whole page arrived",
     [](ServerFaultTest& t, int page) {
       t.peers.Stop(page);
       t.StartRawOn(page, "line|" + Send("HTTP/1.1 200 OK\r\nContent-Length: 14\r\n\r\n198.51.100.2") + "|close");
       return 0;
     },
     ""},
    {"page: cut short (chunked)", false, Expect::Box, "closed before the whole page arrived",
     [](ServerFaultTest& t, int page) {
       t.peers.Stop(page);
       t.StartRawOn(
           page, "line|" + Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nc\r\n198.51.100.2") + "|close");
       return 0;
     },
     ""},
    // 2 GiB announced and streamed: refused or left unread, and closed
    // within the bound however fast the bytes come.
    {"page: 2 GiB with 200", false, Expect::Box, "is larger than 1 MiB",
     [](ServerFaultTest& t, int page) { return StreamTwoGiB(t, page, "200 OK", ""); }, ""},
    {"page: 2 GiB with 500", false, Expect::Box, "500 Internal Server Error",
     [](ServerFaultTest& t, int page) { return StreamTwoGiB(t, page, "500 Internal Server Error", ""); }, ""},
    {"page: 2 GiB with 302", false, Expect::Silent, "",
     [](ServerFaultTest& t, int page) {
       const int other = t.peers.StartHttp();
       t.peers.SetPage(other, 200, PageWith(kDuring));
       return StreamTwoGiB(t, page, "302 Found", "Location: http://127.0.0.1:" + std::to_string(other) + "/moved\r\n");
     },
     kDuring},
    {"page: 404", false, Expect::Box, "404",
     [](ServerFaultTest& t, int page) {
       t.peers.SetPage(page, 404, PageWith(kDuring));
       return 0;
     },
     ""},
    {"page: 500", false, Expect::Box, "500",
     [](ServerFaultTest& t, int page) {
       t.peers.SetPage(page, 500, PageWith(kDuring));
       return 0;
     },
     ""},
    // A reset is no end of a page, whatever arrived before it.
    {"page: reset mid-page", false, Expect::Box, "reset the connection",
     [](ServerFaultTest& t, int page) {
       t.peers.Stop(page);
       t.StartRawOn(page, "line|" + Send("HTTP/1.0 200 OK\r\n\r\n198.51.100.2") + "|sleep:100|reset");
       return 0;
     },
     ""},
    {"page: 300", false, Expect::Box, "answered 300",
     [](ServerFaultTest& t, int page) {
       t.peers.SetPage(page, 300, PageWith(kDuring));
       return 0;
     },
     ""},
    // The reason phrase is the server's to fill: 60,000 bytes, control
    // characters among them.
    {"page: 503 with a 60,000-byte reason", false, Expect::Box, "503 Busy",
     [](ServerFaultTest& t, int page) {
       t.peers.Stop(page);
       t.StartRawOn(page, "line|" + Send("HTTP/1.1 503 Busy\x01") + "|sendn:30000:A|" + Send("\x1b[2J") +
                              "|sendn:29990:%07|" + Send("\r\nContent-Length: 0\r\n\r\n") + "|close");
       return 0;
     },
     ""},
    {"page: 301 to another server", false, Expect::Silent, "",
     [](ServerFaultTest& t, int page) {
       const int other = t.peers.StartHttp();
       t.peers.SetPage(other, 200, PageWith(kDuring));
       t.peers.SetPage(page, 301, "",
                       "location=" + peers::PeerClient::Encode("http://127.0.0.1:" + std::to_string(other) + "/moved"));
       return 0;
     },
     kDuring},
    {"page: 302 to another server", false, Expect::Silent, "",
     [](ServerFaultTest& t, int page) {
       const int other = t.peers.StartHttp();
       t.peers.SetPage(other, 200, PageWith(kDuring));
       t.peers.SetPage(page, 302, "",
                       "location=" + peers::PeerClient::Encode("http://127.0.0.1:" + std::to_string(other) + "/moved"));
       return 0;
     },
     kDuring},
    {"page: empty body", false, Expect::Box, "did not show an IP address",
     [](ServerFaultTest& t, int page) {
       t.peers.SetPage(page, 200, "");
       return 0;
     },
     ""},
    // 51,200 copies of a 1 KB page: no address page is that large. Sent with
    // no length announced, so the read itself must stop it (a page that
    // announces its length is refused before reading, the 2 GiB rows).
    {"page: 50 MB body", false, Expect::Box, "is larger than 1 MiB",
     [](ServerFaultTest& t, int page) {
       t.peers.SetPage(page, 200, Padded(PageWith(kDuring), 1024), "repeat=51200&announce=0");
       return 0;
     },
     ""},
    {"page: NUL and non-ASCII bytes", false, Expect::Silent, "",
     [](ServerFaultTest& t, int page) {
       const std::string body =
           std::string("\0\xff\xfe<html>\x80\xe9\0 ", 11) + PageWith(kDuring) + std::string("\0\x81\xa0 tail \0", 10);
       t.peers.SetPage(page, 200, body);
       return 0;
     },
     kDuring},
    // Not an address as a whole, although the field would show one up to the NUL.
    {"page: NUL inside the address", false, Expect::Box, "did not show an IP address",
     [](ServerFaultTest& t, int page) {
       t.peers.SetPage(page, 200, PageWith(std::string(kDuring) + std::string("\0x", 2)));
       return 0;
     },
     ""},
    {"page: ends inside a marker", false, Expect::Box, "did not show an IP address",
     [](ServerFaultTest& t, int page) {
       t.peers.SetPage(page, 200, std::string("<html><!--startip-->") + kDuring + "<!--endi");
       return 0;
     },
     ""},

    {"mail: connection refused", true, Expect::Box, "connect",
     [](ServerFaultTest& t, int) {
       const int port = t.StartGoodMail();
       t.peers.Stop(port);
       return port;
     },
     ""},
    {"mail: no greeting", true, Expect::Box, "timed out",
     [](ServerFaultTest& t, int) { return t.peers.StartRaw("hold"); }, ""},
    {"mail: greeting 554", true, Expect::Box, "554",
     [](ServerFaultTest& t, int) { return t.peers.StartRaw(Send("554 go away\r\n") + "|hold"); }, ""},
    {"mail: EHLO and HELO refused", true, Expect::Box, "HELO",
     [](ServerFaultTest& t, int) { return t.StartGoodMail("&fail=ehlo:550&fail=helo:550"); }, ""},
    {"mail: 535 on AUTH", true, Expect::Box, "535",
     [](ServerFaultTest& t, int) { return t.StartGoodMail("&fail=auth:535"); }, ""},
    // Without an AUTH offer no login is tried, and the box says why.
    {"mail: no AUTH offered", true, Expect::Box, "offers no authentication",
     [](ServerFaultTest& t, int) { return t.peers.StartSmtp(); }, ""},
    {"mail: 550 on MAIL FROM", true, Expect::Box, "550",
     [](ServerFaultTest& t, int) { return t.StartGoodMail("&fail=mail:550"); }, ""},
    {"mail: 550 on RCPT", true, Expect::Box, "550",
     [](ServerFaultTest& t, int) { return t.StartGoodMail("&fail=rcpt:550"); }, ""},
    {"mail: 554 after DATA", true, Expect::Box, "554",
     [](ServerFaultTest& t, int) { return t.StartGoodMail("&fail=dot:554"); }, ""},
    {"mail: dropped inside DATA", true, Expect::Box, "closed",
     [](ServerFaultTest& t, int) { return t.peers.StartRaw(UpTo354() + "|line|close"); }, ""},
    {"mail: stalls after 354", true, Expect::Box, "timed out",
     [](ServerFaultTest& t, int) { return t.peers.StartRaw(UpTo354() + "|hold"); }, ""},
    {"mail: 100 KB reply line", true, Expect::Box, "too long",
     [](ServerFaultTest& t, int) {
       return t.peers.StartRaw(Send("220 ") + "|sendn:102400:x|" + Send("\r\n") + "|hold");
     },
     ""},
    {"mail: last line never ends", true, Expect::Box, "timed out",
     [](ServerFaultTest& t, int) { return t.peers.StartRaw(Send("220 hello, and then nothing") + "|hold"); }, ""},
};

INSTANTIATE_TEST_SUITE_P(Servers, ServerFaultTest, ::testing::ValuesIn(kServerFaults), Name);

// ---------------------------------------------------------------------------
// Registry faults: one stored value is unusable when the window starts. The
// window must come up, say what went wrong (or nothing), keep its timer and
// keep checking.

enum class Shape { Dword, Binary, MultiSz, Text259, Text260, Unterminated };
constexpr const char* kShapeNames[] = {"REG_DWORD", "REG_BINARY", "REG_MULTI_SZ",
                                       "259 bytes", "260 bytes",  "no terminator"};

struct RegistryFault {
  const char* value;
  Shape shape;
};

// A text of exactly `size` characters that keeps the good value's meaning
// where the value allows one so long.
std::string LongText(const std::string& value, const std::string& good, size_t size) {
  if (value == "Link") return good + "?" + std::string(size - good.size() - 1, 'p');
  if (value == "Timer") return std::string(size - good.size(), '0') + good;
  if (value == "SMTPAuth") return good + std::string(size - good.size(), ' ');
  return std::string(size, 'a');
}

void PrintTo(const RegistryFault& fault, std::ostream* os) {
  *os << fault.value << " " << kShapeNames[static_cast<int>(fault.shape)];
}

class RegistryFaultTest : public FaultFixture, public ::testing::WithParamInterface<RegistryFault> {};

TEST_P(RegistryFaultTest, StartsReportsAndKeepsChecking) {
  const auto [value, shape] = GetParam();
  const int page = StartHttp(PageWith(kFirst));
  const int mail = StartGoodMail();
  app_test::StoreCompleteSettings(page, std::to_string(kTimerMs));
  const std::string good = app_test::Stored(value);

  const std::string path = settings::kKeyPath;
  auto put = [&](DWORD type, const std::string& bytes) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, path.c_str(), value, type, bytes.data(),
                                             static_cast<DWORD>(bytes.size())));
  };
  const std::string name = std::string("registry: ") + value + " " + kShapeNames[static_cast<int>(shape)];
  switch (shape) {
    case Shape::Dword: {
      const DWORD number = std::string(value) == "Timer" ? kTimerMs : 2;
      put(REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number));
      break;
    }
    case Shape::Binary:
      put(REG_BINARY, std::string("\xde\xad\xbe\xef\x00\x01", 6));
      break;
    case Shape::MultiSz:
      put(REG_MULTI_SZ, good + std::string("\0second\0\0", 9));
      break;
    case Shape::Text259:
      put(REG_SZ, LongText(value, good, 259) + std::string(1, '\0'));
      break;
    case Shape::Text260:
      put(REG_SZ, LongText(value, good, 260) + std::string(1, '\0'));
      break;
    case Shape::Unterminated:
      put(REG_SZ, good);
      break;
  }

  BoundedWindow window;
  window.mailPort = mail;
  int settingsDialogs = 0;
  bool ranMain = false;
  const auto start = Clock::now();
  long long firstCheckMs = -1;
  // The settings dialog may open during the first check, before the main
  // window's loop; whichever dialog comes takes the next of these.
  const auto dialogOrMain = [&](HWND dialog) {
    if (dialog != window.hwnd) {
      ++settingsDialogs;
      Click(dialog, IDCANCEL);
      return;
    }
    ranMain = true;
    EXPECT_TRUE(app_test::CheckEnded(dialog));
    firstCheckMs = MsSince(start);
    // The timer keeps checking by itself: two more checks, each a fetch or a
    // box saying why there was none.
    const auto checks = [&] { return peers.HttpHits(page) + static_cast<int>(boxes.records.size()); };
    const int before = checks();
    const bool ticking = PumpUntil([&] { return checks() >= before + 2; }, 3000);
    // An interval that cannot be read falls back to 15 minutes (and a run
    // taken for the first one stores that); the button still checks.
    if (app_test::Stored("Timer") == std::to_string(kTimerMs)) {
      EXPECT_TRUE(ticking) << "no check from the timer";
    } else if (!ticking) {
      app_test::CheckNow(dialog);
      EXPECT_GT(checks(), before);
    }
    EXPECT_TRUE(IsWindow(dialog));
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  };
  for (int i = 0; i < 3; ++i) scripts.Then(dialogOrMain);
  window.DoModal();
  EXPECT_TRUE(ranMain);

  MatrixRow row{name, "silent", firstCheckMs};
  if (!boxes.records.empty()) {
    row.outcome = boxes.records[0].text;
    row.ms = std::chrono::duration_cast<std::chrono::milliseconds>(boxTimes[0] - start).count();
  } else if (settingsDialogs) {
    row.outcome = "settings dialog";
  } else if (MailCount(mail) == 1) {
    row.outcome = "silent (mailed)";
  }
  Matrix().push_back(row);
  EXPECT_LE(row.ms, kBoundMs) << row.outcome;
  for (const auto& box : boxes.records) {
    EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), box.type & MB_ICONMASK);
    EXPECT_FALSE(box.text.empty());
    // A box shows its text only up to a NUL: the reason after it would be lost.
    EXPECT_EQ(std::string::npos, box.text.find('\0')) << box.text.c_str();
  }
  // A value without its terminator is read whole and no further, and so is
  // one of the longest length the store takes: either way it keeps its
  // meaning and the check runs as with the plain value.
  const bool keepsMeaning = std::string(value) == "Link" || std::string(value) == "Timer" ||
                            std::string(value) == "SMTPAuth" || std::string(value) == "Version";
  if (shape == Shape::Unterminated || (shape == Shape::Text259 && keepsMeaning)) {
    EXPECT_EQ("silent (mailed)", row.outcome);
  }
  // A Version too long to read still exists: no first run, which would write
  // the defaults over the saved mail settings.
  if (std::string(value) == "Version") {
    EXPECT_EQ("silent (mailed)", row.outcome) << "Version read as a first run";
  }
}

std::vector<RegistryFault> AllRegistryFaults() {
  std::vector<RegistryFault> all;
  for (const char* value :
       {"Version", "SMTPServer", "SMTPUsername", "SMTPPassword", "SMTPAuth", "SMTPTo", "SMTPFrom", "Link", "Timer"})
    for (Shape shape :
         {Shape::Dword, Shape::Binary, Shape::MultiSz, Shape::Text259, Shape::Text260, Shape::Unterminated})
      all.push_back({value, shape});
  return all;
}

INSTANTIATE_TEST_SUITE_P(Values, RegistryFaultTest, ::testing::ValuesIn(AllRegistryFaults()),
                         [](const ::testing::TestParamInfo<RegistryFault>& info) {
                           std::string name =
                               std::string(info.param.value) + "_" + kShapeNames[static_cast<int>(info.param.shape)];
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// The program's key exists but its security lets nobody in: nothing can be
// read or written, so the program runs as on a first run that cannot save.
class UnopenableKeyTest : public FaultFixture {
 protected:
  void TearDown() override {
    Allow();
    FaultFixture::TearDown();
  }

  // An empty access list grants nothing to anybody.
  static bool Deny() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, settings::kKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return false;
    ACL empty;
    InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, &empty, FALSE);
    const LONG set = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
    RegCloseKey(key);
    return set == ERROR_SUCCESS;
  }
  // The owner may always change the access list back.
  static void Allow() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, settings::kKeyPath, 0, WRITE_DAC, &key) != ERROR_SUCCESS) return;
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
    RegCloseKey(key);
  }
};

TEST_F(UnopenableKeyTest, RunsOnDefaultsAndKeepsChecking) {
  const int page = StartHttp(PageWith(kFirst));
  app_test::ProxyThrough proxy(page);
  app_test::StoreCompleteSettings(page);
  ASSERT_TRUE(Deny());
  HKEY probe = nullptr;
  const LONG open = RegOpenKeyExA(HKEY_CURRENT_USER, settings::kKeyPath, 0, KEY_ALL_ACCESS, &probe);
  if (open == ERROR_SUCCESS) RegCloseKey(probe);
  ASSERT_EQ(ERROR_ACCESS_DENIED, open) << "the key's security is not enforced here";

  BoundedWindow window;
  window.mailPort = StartGoodMail();
  int settingsDialogs = 0;
  const auto start = Clock::now();
  const auto dialogOrMain = [&](HWND dialog) {
    if (dialog != window.hwnd) {
      ++settingsDialogs;
      Click(dialog, IDCANCEL);
      return;
    }
    EXPECT_TRUE(app_test::CheckEnded(dialog));
    EXPECT_EQ(kFirst, Text(dialog, IDC_IP)) << "the built-in page was fetched";
    const int hits = peers.HttpHits(page);
    app_test::CheckNow(dialog);
    EXPECT_EQ(hits + 1, peers.HttpHits(page));
    EXPECT_TRUE(IsWindow(dialog));
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  };
  for (int i = 0; i < 3; ++i) scripts.Then(dialogOrMain);
  window.DoModal();
  const long long ms = MsSince(start);
  EXPECT_EQ(1, settingsDialogs) << "a first run asks for the mail settings once";
  MatrixRow row{"registry: key denies all access", settingsDialogs ? "settings dialog" : "silent", ms};
  if (!boxes.records.empty()) {
    row.outcome = boxes.records[0].text;
    row.ms = std::chrono::duration_cast<std::chrono::milliseconds>(boxTimes[0] - start).count();
  }
  Matrix().push_back(row);
  EXPECT_TRUE(boxes.records.empty()) << boxes.records.front().text;
}

}  // namespace
