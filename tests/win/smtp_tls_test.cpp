// The mail control sending over TLS under Wine, through Schannel, against
// aiosmtpd peers on 127.0.0.1 with certificates from a throwaway authority:
// STARTTLS and TLS from the first byte, both logins, certificates that must
// be refused, servers without TLS, and the port in the server field.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <chrono>
#include <string>
#include <vector>

#include "PeerClient.h"
#include "smtp/SmtpCall.h"
#include "TestAuthority.h"

namespace {

namespace id = smtp::dispid;
using Strings = std::vector<std::string>;

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::string N(const std::wstring& w) { return std::string(w.begin(), w.end()); }
bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

smtp::SmtpCall MakeCall(std::int32_t dispid, smtp::SmtpCallKind kind, smtp::SmtpValue argument = {}) {
  smtp::SmtpCall call;
  call.dispid = dispid;
  call.kind = kind;
  call.argument = std::move(argument);
  return call;
}

// One control window, made in code as a diagnostic tool would; the calls are
// the same messages a dialog's wrapper sends.
class Control {
 public:
  Control() {
    smtp::RegisterSmtpControl(GetModuleHandleA(nullptr));
    m_window = CreateWindowExA(0, smtp::kSmtpControlClass, "", WS_POPUP, 0, 0, 40, 40, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  }
  ~Control() { DestroyWindow(m_window); }
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  HRESULT Call(smtp::SmtpCall& call) {
    return static_cast<HRESULT>(SendMessageA(m_window, WM_SMTP_INVOKE, 0, reinterpret_cast<LPARAM>(&call)));
  }
  void Put(std::int32_t dispid, smtp::SmtpValue value) {
    smtp::SmtpCall call = MakeCall(dispid, smtp::SmtpCallKind::PropertyPut, std::move(value));
    EXPECT_EQ(S_OK, Call(call)) << std::hex << dispid;
  }
  smtp::SmtpValue Get(std::int32_t dispid) {
    smtp::SmtpCall call = MakeCall(dispid, smtp::SmtpCallKind::PropertyGet);
    EXPECT_EQ(S_OK, Call(call)) << std::hex << dispid;
    return call.result;
  }
  std::string Text(std::int32_t dispid) {
    smtp::SmtpValue v = Get(dispid);
    return std::holds_alternative<std::wstring>(v) ? N(std::get<std::wstring>(v)) : "<not text>";
  }
  // Sends and returns the status: empty when the server accepted the mail.
  std::string Send() {
    smtp::SmtpCall call = MakeCall(id::kSend, smtp::SmtpCallKind::Method);
    EXPECT_EQ(S_OK, Call(call)) << N(call.errorDescription);
    return Text(id::kStatus);
  }
  bool exists() const { return m_window != nullptr; }

 private:
  HWND m_window;
};

struct Mail {
  std::string server;
  int authenticationType = 0;
  std::string username = "mailer", password = "s3cret pass";
};

void Fill(Control& c, const Mail& m) {
  c.Put(id::kServer, W(m.server));
  c.Put(id::kUsername, W(m.username));
  c.Put(id::kPassword, W(m.password));
  c.Put(id::kAuthenticationType, static_cast<std::int32_t>(m.authenticationType));
  c.Put(id::kSendTo, W("ann@example.org"));
  c.Put(id::kMailFrom, W("corvane@example.net"));
  c.Put(id::kMessageSubject, W("IP Address Change"));
  c.Put(id::kMessageText, W("New IP Address:  198.51.100.7"));
  c.Put(id::kTimeout, static_cast<std::int32_t>(8000));
}

std::string Local(int port) { return "localhost:" + std::to_string(port); }

// Where users get TLS from the first byte: a peer started with this listens
// there (the Windows tests have a network namespace of their own), and one
// test at a time holds it.
const std::string kOnImplicitPort = "&port=465";

class SmtpTls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test_authority::ForSuite::Begin(); }
  static void TearDownTestSuite() { test_authority::ForSuite::End(); }

  peers::PeerClient peers = peers::PeerClient::FromEnvironment();
};

TEST_F(SmtpTls, StartTlsCarriesBothLoginsToAServerThatRefusesPlaintextAuth) {
  for (int type : {2, 3}) {
    const std::string mech = type == 2 ? "LOGIN" : "PLAIN";
    SCOPED_TRACE(mech);
    int port = peers.StartSmtp(
        "tls=starttls&auth=login,plain&user=mailer&password=s3cret%20pass&require_auth=1"
        "&auth_require_tls=1");
    Control c;
    Fill(c, Mail{Local(port), type});
    EXPECT_EQ("", c.Send());
    auto mails = peers.Messages(port);
    ASSERT_EQ(1u, mails.size());
    EXPECT_EQ(mech, mails[0].authMech);
    EXPECT_EQ("s3cret pass", mails[0].authPassword);
    EXPECT_NE(mails[0].content.find("\r\nSubject: IP Address Change\r\n"), std::string::npos);
    // The second EHLO and everything after it went inside TLS.
    EXPECT_EQ(peers.SmtpLog(port), (Strings{"EHLO plain", "STARTTLS plain", "EHLO tls", "AUTH tls", "MAIL tls",
                                            "RCPT tls", "DATA tls", "QUIT tls"}));
    EXPECT_EQ("QUIT", c.Text(id::kLastSmtpCommand)) << "commands after STARTTLS are still recorded";
  }
}

// A provider's name is not this machine's: the login goes out only because
// TLS came first (every other STARTTLS case here names localhost, where a
// login could go in clear).
TEST_F(SmtpTls, StartTlsCarriesTheLoginToAHostNotTypedAsThisMachine) {
  int port = peers.StartSmtp("tls=starttls&cert=remote&auth=login&user=mailer&password=s3cret%20pass&require_auth=1");
  Control c;
  Fill(c, Mail{"mail.corvane.test:" + std::to_string(port), 2});
  EXPECT_EQ("", c.Send()) << "mail.corvane.test must lead to 127.0.0.1 (the hosts file of scripts/test.sh)";
  auto mails = peers.Messages(port);
  ASSERT_EQ(1u, mails.size());
  EXPECT_EQ("LOGIN", mails[0].authMech);
  EXPECT_EQ(peers.SmtpLog(port), (Strings{"EHLO plain", "STARTTLS plain", "EHLO tls", "AUTH tls", "MAIL tls",
                                          "RCPT tls", "DATA tls", "QUIT tls"}));
}

TEST_F(SmtpTls, ImplicitTlsCarriesBothLoginsFromTheFirstByte) {
  for (int type : {2, 3}) {
    const std::string mech = type == 2 ? "LOGIN" : "PLAIN";
    SCOPED_TRACE(mech);
    int port = peers.StartSmtp("tls=implicit&auth=login,plain&user=mailer&password=s3cret%20pass&require_auth=1" +
                               kOnImplicitPort);
    Control c;
    Fill(c, Mail{Local(port), type});
    EXPECT_EQ("", c.Send());
    auto mails = peers.Messages(port);
    ASSERT_EQ(1u, mails.size());
    EXPECT_EQ(mech, mails[0].authMech);
    EXPECT_EQ(peers.SmtpLog(port), (Strings{"EHLO tls", "AUTH tls", "MAIL tls", "RCPT tls", "DATA tls", "QUIT tls"}));
    peers.Stop(port);
  }
}

TEST_F(SmtpTls, RefusedCertificatesEndTheSendBeforeAnyLoginOrMail) {
  struct Case {
    const char* cert;
    const char* tls;
    const char* reason;
  };
  for (const Case& k : {Case{"wronghost", "starttls", "the certificate is for another host name, not localhost"},
                        Case{"untrusted", "starttls", "the server's certificate is not trusted"},
                        Case{"wronghost", "implicit", "the certificate is for another host name, not localhost"},
                        Case{"untrusted", "implicit", "the server's certificate is not trusted"},
                        Case{"expired", "starttls", "the server's certificate has expired"}}) {
    SCOPED_TRACE(std::string(k.cert) + " " + k.tls);
    const bool implicit = std::string(k.tls) == "implicit";
    int port = peers.StartSmtp(std::string("auth=login&user=mailer&password=s3cret%20pass&tls=") + k.tls +
                               "&cert=" + k.cert + (implicit ? kOnImplicitPort : ""));
    Control c;
    Fill(c, Mail{Local(port), 2});
    std::string status = c.Send();
    EXPECT_TRUE(Contains(status, "the TLS handshake with localhost failed: ")) << status;
    EXPECT_TRUE(Contains(status, k.reason)) << status;
    EXPECT_EQ(peers.SmtpLog(port), implicit ? Strings{} : (Strings{"EHLO plain", "STARTTLS plain"}));
    EXPECT_TRUE(peers.Messages(port).empty());

    // With raiseerror the same refusal comes back as the call's error.
    c.Put(id::kRaiseError, true);
    smtp::SmtpCall call = MakeCall(id::kSend, smtp::SmtpCallKind::Method);
    EXPECT_EQ(DISP_E_EXCEPTION, c.Call(call));
    EXPECT_TRUE(Contains(N(call.errorDescription), k.reason)) << N(call.errorDescription);
    peers.Stop(port);
  }
}

TEST_F(SmtpTls, AServerAskingForAnOptionalClientCertificateGetsTheMail) {
  for (const char* tls : {"starttls", "implicit"}) {
    SCOPED_TRACE(tls);
    int port = peers.StartSmtp(std::string("client_cert=optional&auth=login&user=mailer&password=s3cret%20pass&tls=") +
                               tls + (std::string(tls) == "implicit" ? kOnImplicitPort : ""));
    Control c;
    Fill(c, Mail{Local(port), 2});
    EXPECT_EQ("", c.Send());
    EXPECT_EQ(1u, peers.Messages(port).size());
    peers.Stop(port);
  }
}

TEST_F(SmtpTls, WithoutCredentialsAnUnverifiableStartTlsStillCarriesTheMailEncrypted) {
  int port = peers.StartSmtp("tls=starttls&cert=untrusted-leaf");
  Control c;
  Fill(c, Mail{Local(port), 0});
  EXPECT_EQ("", c.Send());
  EXPECT_EQ(1u, peers.Messages(port).size());
  EXPECT_EQ(peers.SmtpLog(port),
            (Strings{"EHLO plain", "STARTTLS plain", "EHLO tls", "MAIL tls", "RCPT tls", "DATA tls", "QUIT tls"}));
}

TEST_F(SmtpTls, PopBeforeSmtpLogsInOnlyOverATrustedTls) {
  const int smtp = peers.StartSmtp();
  struct Case {
    const char* query;
    bool implicit, accepted;
  };
  for (const Case& k : {Case{"&tls=stls", false, true}, Case{"&tls=implicit", true, true},
                        Case{"&tls=stls&cert=untrusted-leaf", false, false}}) {
    SCOPED_TRACE(k.query);
    const int pop = peers.StartPop3("mailer", "s3cret pass", k.query + std::string(k.implicit ? "&port=995" : ""));
    Control c;
    Fill(c, Mail{Local(smtp), 1});
    c.Put(id::kPopServer, W(Local(pop)));
    const std::string status = c.Send();
    const Strings log = peers.Pop3Log(pop);
    if (k.accepted) {
      EXPECT_EQ("", status);
      const Strings tail(log.end() - 3, log.end());
      EXPECT_EQ(tail, (Strings{"tls USER mailer", "tls PASS s3cret pass", "tls QUIT"}));
    } else {
      EXPECT_TRUE(Contains(status, "the server's certificate is not trusted")) << status;
      EXPECT_EQ(log, (Strings{"plain CAPA", "plain STLS"}));
    }
    peers.Stop(pop);
  }
}

TEST_F(SmtpTls, ServersWithoutTlsGetMailAsBeforeButNeverAfterATlsStart) {
  int port = peers.StartSmtp("auth=login,plain&user=mailer&password=s3cret%20pass");
  {
    Control c;
    Fill(c, Mail{Local(port), 3});
    EXPECT_EQ("", c.Send());
  }
  {
    // The old way: a bare address and the port property.
    Control c;
    Fill(c, Mail{"127.0.0.1", 2});
    c.Put(id::kPort, static_cast<std::int32_t>(port));
    EXPECT_EQ("", c.Send());
  }
  auto mails = peers.Messages(port);
  ASSERT_EQ(2u, mails.size());
  EXPECT_EQ("PLAIN", mails[0].authMech);
  EXPECT_EQ("LOGIN", mails[1].authMech);

  // Asked for TLS from the first byte, a plain server is an error, not a
  // reason to carry on in the clear.
  int plain = peers.StartSmtp("auth=login&user=mailer&password=s3cret%20pass" + kOnImplicitPort);
  Control c;
  Fill(c, Mail{Local(plain), 2});
  // The plain greeting may read as the start of a long TLS record, so the
  // handshake can end by time-out rather than at once.
  c.Put(id::kTimeout, static_cast<std::int32_t>(2000));
  std::string status = c.Send();
  EXPECT_TRUE(Contains(status, "the TLS handshake with localhost failed")) << status;
  EXPECT_EQ(peers.SmtpLog(plain), Strings{});
  EXPECT_TRUE(peers.Messages(plain).empty());
  peers.Stop(plain);
}

TEST_F(SmtpTls, TheTimeOutBoundsTheHandshake) {
  // One server goes silent after its "220" to STARTTLS, the other never
  // says anything: both handshakes must give up within the time-out.
  const std::string hello = peers::PeerClient::Encode("220 hi\r\n");
  const std::string caps = peers::PeerClient::Encode("250-x\r\n250-AUTH LOGIN\r\n250 STARTTLS\r\n");
  const std::string ready = peers::PeerClient::Encode("220 go ahead\r\n");
  int afterStartTls = peers.StartRaw("send:" + hello + "|line|send:" + caps + "|line|send:" + ready + "|hold");
  int silent = std::stoi(peers.Get("/raw/start?script=hold" + kOnImplicitPort));
  for (int port : {afterStartTls, silent}) {
    Control c;
    Fill(c, Mail{Local(port), 2});
    c.Put(id::kTimeout, static_cast<std::int32_t>(1500));
    c.Put(id::kClientHostName, W("tester.example"));
    auto start = std::chrono::steady_clock::now();
    std::string status = c.Send();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(Contains(status, "the TLS handshake with localhost failed: timed out")) << status;
    EXPECT_GE(ms, 1300);
    EXPECT_LT(ms, 4000);
  }
  EXPECT_EQ(peers.RawLog(afterStartTls), (Strings{"EHLO tester.example", "STARTTLS"})) << "no AUTH after the failure";
  peers.Stop(silent);
}

TEST_F(SmtpTls, ThePortInTheServerFieldWinsAndBadOnesSendNothing) {
  int port = peers.StartSmtp();
  for (const char* text : {"localhost:", "localhost:0", "localhost:65536", "localhost:smtp", "[::1]587"}) {
    const std::string server = text;
    SCOPED_TRACE(server);
    Control c;
    Fill(c, Mail{server, 0});
    // Were the field read leniently, the port property would reach the peer.
    c.Put(id::kPort, static_cast<std::int32_t>(port));
    std::string status = c.Send();
    EXPECT_TRUE(Contains(status, "the server \"" + server + "\" has ")) << status;
    EXPECT_EQ("", c.Text(id::kLastSmtpCommand));
  }
  EXPECT_EQ(peers.SmtpLog(port), Strings{});

  Control c;
  Fill(c, Mail{"127.0.0.1:" + std::to_string(port), 0});
  EXPECT_EQ(smtp::SmtpValue(std::int32_t{25}), c.Get(id::kPort));
  EXPECT_EQ("", c.Send());
  EXPECT_EQ(1u, peers.Messages(port).size());
}

}  // namespace
