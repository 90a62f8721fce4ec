// The whole dialogue against real servers on 127.0.0.1: aiosmtpd for mail,
// a small POP3 responder, and scripted TCP peers for servers that misbehave.
#include <gtest/gtest.h>

#include <chrono>

#include "net/PosixTransport.h"
#include "PeerClient.h"
#include "smtp/SmtpClient.h"
#include "smtp/SmtpError.h"
#include "smtp/SmtpMessage.h"

using namespace smtp;

namespace {

Client NativeClient(net::TlsUpgrade tls = {}) {
  return Client([] { return std::make_unique<net::PosixTransport>(); }, std::move(tls));
}

// A real connection that says its peer is elsewhere, as when a name typed as
// this machine was looked up to another host.
class ElsewherePeer final : public net::Transport {
 public:
  void Connect(const std::string& host, int port, int timeoutMs) override { m_real.Connect(host, port, timeoutMs); }
  void Send(std::string_view bytes, int timeoutMs) override { m_real.Send(bytes, timeoutMs); }
  std::size_t Receive(char* buffer, std::size_t capacity, int timeoutMs) override {
    return m_real.Receive(buffer, capacity, timeoutMs);
  }
  void Close() noexcept override { m_real.Close(); }
  bool PeerIsLoopback() const override { return false; }

 private:
  net::PosixTransport m_real;
};

class SmtpSend : public ::testing::Test {
 protected:
  peers::PeerClient peers = peers::PeerClient::FromEnvironment();

  SendRequest Request(int port) {
    SendRequest r;
    r.server = "127.0.0.1";
    r.port = port;
    r.sendTo = "ann@example.org";
    r.mailFrom = "corvane@example.net";
    r.messageSubject = "IP address changed";
    r.messageText = "Your new IP address is 203.0.113.7\nChecked just now.";
    r.clientHostName = "tester.example";
    r.timeoutMs = 5000;
    return r;
  }

  SendRequest AuthRequest(int port, int type, const std::string& user, const std::string& password) {
    SendRequest r = Request(port);
    r.authenticationType = type;
    r.username = user;
    r.password = password;
    return r;
  }

  SendError SendExpectingError(const SendRequest& r) {
    try {
      NativeClient().Send(r);
    } catch (const SendError& e) {
      return e;
    }
    ADD_FAILURE() << "the send succeeded";
    return SendError(Stage::Input, "");
  }

  static std::string Step(const std::string& bytes) { return "send:" + peers::PeerClient::Encode(bytes); }

  static std::string Header(const std::string& content, const std::string& name) {
    std::string head = "\r\n" + content.substr(0, content.find("\r\n\r\n") + 2);
    std::size_t at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "<missing>";
    at += name.size() + 4;
    return head.substr(at, head.find("\r\n", at) - at);
  }
  static std::string Body(const std::string& content) { return content.substr(content.find("\r\n\r\n") + 4); }
  static std::size_t Lines(const std::string& data) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = data.find("\r\n", at)) != std::string::npos; at += 2) ++n;
    return n;
  }
  // A raw peer's log with the lines after DATA up to the lone dot left out.
  static std::vector<std::string> WithoutMessage(const std::vector<std::string>& log) {
    std::vector<std::string> kept;
    bool inMessage = false;
    for (const std::string& line : log) {
      if (!inMessage) kept.push_back(line);
      if (line == "DATA")
        inMessage = true;
      else if (inMessage && line == ".")
        inMessage = false;
    }
    return kept;
  }
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The dialogue table: a scripted server, one request, what the server read
// from the client and how the send ended. Each reply is sent after the
// server read one line; after a "354" it reads the whole message first.
// "{size}" stands for the message's size as sent, "{size-1}" for a byte less.
struct DialogueCase {
  const char* name;
  std::vector<std::string> replies;  // the greeting first
  struct {
    int auth;
    std::string user;
    TlsMode tls;
  } request;
  std::vector<std::string> read;  // the message's own lines left out
  struct {
    Stage stage;  // Stage::Input: the send succeeded
    int code;
    std::string says;
    std::string neverSays;
  } outcome;
};

const std::string kEchoed = "pw-Secret9";

const DialogueCase kDialogues[] = {
    {"no AUTH offered: no login is tried",
     {"220 hi", "250-x\r\n250 SIZE 100000", "221 bye"},
     {kAuthPlain, "mailer", TlsMode::None},
     {"EHLO tester.example", "QUIT"},
     {Stage::Authentication, 0,
      "the server offers no authentication (its reply to EHLO names no AUTH), so the user name and password were "
      "not sent",
      ""}},
    {"HELO only: no login is tried",
     {"220 hi", "502 what", "250 hello", "221 bye"},
     {kAuthLogin, "mailer", TlsMode::None},
     {"EHLO tester.example", "HELO tester.example", "QUIT"},
     {Stage::Authentication, 0, "offers no authentication (it answers only HELO", ""}},
    {"another mechanism offered",
     {"220 hi", "250-x\r\n250 AUTH LOGIN", "221 bye"},
     {kAuthPlain, "mailer", TlsMode::None},
     {"EHLO tester.example", "QUIT"},
     {Stage::Authentication, 0, "does not offer PLAIN authentication (it offers: LOGIN)", ""}},
    {"a refused login still ends with QUIT",
     {"220 hi", "250-x\r\n250 AUTH PLAIN", "535 5.7.8 no", "221 bye"},
     {kAuthPlain, "mailer", TlsMode::None},
     {"EHLO tester.example", "AUTH PLAIN AG1haWxlcgBwdy1TZWNyZXQ5", "QUIT"},
     {Stage::Authentication, 535, "authentication failed (PLAIN): 535 5.7.8 no", ""}},
    {"a refusal repeating the password is not quoted",
     {"220 hi", "250-x\r\n250 AUTH PLAIN", "535 wrong password " + kEchoed, "221 bye"},
     {kAuthPlain, "mailer", TlsMode::None},
     {"EHLO tester.example", "AUTH PLAIN AG1haWxlcgBwdy1TZWNyZXQ5", "QUIT"},
     {Stage::Authentication, 535, "authentication failed (PLAIN): 535 (the rest repeats the login", kEchoed}},
    {"a refusal repeating the encoded user name is not quoted",
     {"220 hi", "250-x\r\n250 AUTH LOGIN", "334 VXNlcm5hbWU6", "334 UGFzc3dvcmQ6", "535 no such user bWFpbGVy",
      "221 bye"},
     {kAuthLogin, "mailer", TlsMode::None},
     {"EHLO tester.example", "AUTH LOGIN", "bWFpbGVy", "cHctU2VjcmV0OQ==", "QUIT"},
     {Stage::Authentication, 535, "authentication failed (LOGIN): 535 (the rest", "bWFpbGVy"}},
    // The user name is the sender address here, which the text names anyway.
    {"a refusal repeating an address the text shows is quoted",
     {"220 hi", "250-x\r\n250 AUTH PLAIN", "235 ok", "553 corvane@example.net may not send", "221 bye"},
     {kAuthPlain, "corvane@example.net", TlsMode::None},
     {"EHLO tester.example",
      "AUTH PLAIN AGNvcnZhbmVAZXhhbXBsZS5uZXQAcHctU2VjcmV0OQ==", "MAIL FROM:<corvane@example.net>", "QUIT"},
     {Stage::Sender, 553, "corvane@example.net: 553 corvane@example.net may not send", ""}},
    // What came before TLS may have been forged: only the second EHLO counts.
    {"AUTH offered before STARTTLS only",
     {"220 hi", "250-x\r\n250-AUTH PLAIN\r\n250 STARTTLS", "220 go ahead", "250 x", "221 bye"},
     {kAuthPlain, "mailer", TlsMode::StartTls},
     {"EHLO tester.example", "STARTTLS", "EHLO tester.example", "QUIT"},
     {Stage::Authentication, 0, "offers no authentication", ""}},
    {"a refused greeting is answered with QUIT",
     {"554 busy", "221 bye"},
     {kAuthNone, "", TlsMode::None},
     {"QUIT"},
     {Stage::Greeting, 554, "the server refused the connection: 554 busy", ""}},
    {"a message of exactly SIZE is sent",
     {"220 hi", "250-x\r\n250 SIZE {size}", "250 ok", "250 ok", "354 go", "250 queued", "221 bye"},
     {kAuthNone, "", TlsMode::None},
     {"EHLO tester.example", "MAIL FROM:<corvane@example.net> SIZE={size}", "RCPT TO:<ann@example.org>", "DATA",
      "QUIT"},
     {Stage::Input, 0, "", ""}},
    {"a message one byte over SIZE is not",
     {"220 hi", "250-x\r\n250 SIZE {size-1}", "221 bye"},
     {kAuthNone, "", TlsMode::None},
     {"EHLO tester.example", "QUIT"},
     {Stage::Message, 0, "is larger than the server accepts ({size-1} bytes)", ""}},
};

}  // namespace

TEST_F(SmtpSend, PlainMessageArrivesWithHeadersAndBody) {
  int port = peers.StartSmtp();
  SendResult result = NativeClient().Send(Request(port));
  EXPECT_EQ(result.accepted.code, 250);
  auto mails = peers.Messages(port);
  ASSERT_EQ(mails.size(), 1u);
  const auto& m = mails[0];
  EXPECT_EQ(m.from, "corvane@example.net");
  EXPECT_EQ(m.to, std::vector<std::string>{"ann@example.org"});
  EXPECT_EQ(m.helo, "tester.example");
  EXPECT_EQ(m.authMech, "");
  EXPECT_EQ(Header(m.content, "Subject"), "IP address changed");
  EXPECT_EQ(Header(m.content, "From"), "corvane@example.net");
  EXPECT_EQ(Header(m.content, "To"), "ann@example.org");
  EXPECT_EQ(Header(m.content, "Message-ID"), result.messageId);
  EXPECT_TRUE(Contains(result.messageId, "@tester.example>"));
  EXPECT_EQ(Header(m.content, "Content-Type"), "text/plain; charset=us-ascii");
  EXPECT_NE(Header(m.content, "Date"), "<missing>");
  EXPECT_EQ(Body(m.content), "Your new IP address is 203.0.113.7\r\nChecked just now.\r\n");
  // Every line end that reached the server is CRLF.
  for (std::size_t i = 0; i < m.content.size(); ++i) {
    bool lf = m.content[i] == '\n', cr = m.content[i] == '\r';
    ASSERT_FALSE(lf && (i == 0 || m.content[i - 1] != '\r')) << "bare LF at " << i;
    ASSERT_FALSE(cr && (i + 1 == m.content.size() || m.content[i + 1] != '\n')) << "bare CR at " << i;
  }
}

TEST_F(SmtpSend, LoginAndPlainAuthentication) {
  for (auto [mech, type] : {std::pair{"LOGIN", kAuthLogin}, std::pair{"PLAIN", kAuthPlain}}) {
    SCOPED_TRACE(mech);
    int port = peers.StartSmtp("auth=login,plain&user=mailer&password=s%C3%A9cret%20pass&require_auth=1");
    SendRequest r = AuthRequest(port, type, "mailer",
                                "s\xc3\xa9"
                                "cret pass");
    NativeClient().Send(r);
    auto mails = peers.Messages(port);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].authMech, mech);
    EXPECT_EQ(mails[0].authUser, "mailer");
    EXPECT_EQ(mails[0].authPassword,
              "s\xc3\xa9"
              "cret pass");
    peers.Stop(port);
  }
}

TEST_F(SmtpSend, WrongPasswordAndMissingMechanism) {
  int port = peers.StartSmtp("auth=login&user=mailer&password=right&require_auth=1");
  SendRequest r = AuthRequest(port, kAuthLogin, "mailer", "wrong");
  SendError e = SendExpectingError(r);
  EXPECT_EQ(e.stage(), Stage::Authentication);
  EXPECT_EQ(e.replyCode(), 535);
  EXPECT_TRUE(Contains(e.what(), "authentication failed (LOGIN): 535")) << e.what();

  r.authenticationType = kAuthPlain;
  e = SendExpectingError(r);
  EXPECT_TRUE(Contains(e.what(), "does not offer PLAIN authentication (it offers: LOGIN)")) << e.what();
  EXPECT_TRUE(peers.Messages(port).empty());
}

TEST_F(SmtpSend, ServerRefusalsNameTheStepAndQuoteTheServer) {
  struct Case {
    const char* fail;
    Stage stage;
    int code;
    const char* text;
  } cases[] = {
      {"rcpt:550", Stage::Recipient, 550, "the server rejected the recipient address ann@example.org: 550 Refused"},
      {"mail:553", Stage::Sender, 553, "the server rejected the sender address corvane@example.net: 553 Refused"},
      {"data:554", Stage::Message, 554, "the server did not accept the message: 554 Refused"},
      {"dot:552", Stage::Message, 552, "the server did not accept the message: 552 Refused"},
      // A transient refusal after the final dot is no delivery either.
      {"dot:451", Stage::Message, 451, "the server did not accept the message: 451 Refused"},
      {"ehlo:421", Stage::Hello, 421, "rejected the greeting HELO tester.example: 421"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fail);
    // HELO must fail too for the hello case; the other cases never reach it.
    int port = peers.StartSmtp(std::string("fail=") + c.fail + "&fail=helo:421");
    SendError e = SendExpectingError(Request(port));
    EXPECT_EQ(e.stage(), c.stage);
    EXPECT_EQ(e.replyCode(), c.code);
    EXPECT_TRUE(Contains(e.what(), c.text)) << e.what();
    EXPECT_TRUE(peers.Messages(port).empty());
    peers.Stop(port);
  }
}

TEST_F(SmtpSend, DialogueTable) {
  const MessageStamp stamp{1700000000, 0, "1700000000.table", "tester.example"};
  net::TlsUpgrade passThrough = [](std::unique_ptr<net::Transport> plain, const std::string&, int, net::TlsCheck) {
    return plain;
  };
  for (const DialogueCase& c : kDialogues) {
    SCOPED_TRACE(c.name);
    SendRequest r = c.request.auth == kAuthNone ? Request(0) : AuthRequest(0, c.request.auth, c.request.user, kEchoed);
    r.tls = c.request.tls;
    const std::string data = DotStuff(PrepareMessage(r, stamp).content);
    auto fill = [&](std::string text) {
      for (auto [mark, value] : {std::pair{std::string("{size}"), data.size()}, {"{size-1}", data.size() - 1}}) {
        for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
          text.replace(at, mark.size(), std::to_string(value));
      }
      return text;
    };
    std::string script = Step(fill(c.replies[0]) + "\r\n");
    for (std::size_t i = 1; i < c.replies.size(); ++i) {
      const bool afterMessage = c.replies[i - 1].rfind("354", 0) == 0;
      for (std::size_t n = afterMessage ? Lines(data) : 1; n > 0; --n) script += "|line";
      script += "|" + Step(fill(c.replies[i]) + "\r\n");
    }
    r.port = peers.StartRaw(script);

    Stage stage = Stage::Input;
    int code = 0;
    std::string text;
    try {
      NativeClient(passThrough).Send(r, stamp);
    } catch (const SendError& e) {
      stage = e.stage();
      code = e.replyCode();
      text = e.what();
    }
    EXPECT_EQ(stage, c.outcome.stage) << text;
    EXPECT_EQ(code, c.outcome.code) << text;
    EXPECT_TRUE(Contains(text, fill(c.outcome.says))) << text;
    if (!c.outcome.neverSays.empty()) {
      EXPECT_FALSE(Contains(text, c.outcome.neverSays)) << text;
    }
    std::vector<std::string> read;
    for (const std::string& line : c.read) read.push_back(fill(line));
    EXPECT_EQ(WithoutMessage(peers.RawLog(r.port)), read);
    peers.Stop(r.port);
  }
}

TEST_F(SmtpSend, FallsBackToHeloWhenEhloIsRefused) {
  int port = peers.StartSmtp("fail=ehlo:502");
  NativeClient().Send(Request(port));
  auto mails = peers.Messages(port);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].helo, "tester.example");
}

TEST_F(SmtpSend, SeveralRecipientsDotsAndBcc) {
  int port = peers.StartSmtp();
  SendRequest r = Request(port);
  r.sendTo = "ann@example.org; Bob <bob@example.org>";
  r.cc = "carl@example.org";
  r.bcc = "dora@example.org";
  r.replyTo = "help@example.net";
  r.messageText = ".\n..two dots\n.three\nlast line.\n.";
  NativeClient().Send(r);
  auto mails = peers.Messages(port);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].to,
            (std::vector<std::string>{"ann@example.org", "bob@example.org", "carl@example.org", "dora@example.org"}));
  EXPECT_EQ(Header(mails[0].content, "To"), "ann@example.org, Bob <bob@example.org>");
  EXPECT_EQ(Header(mails[0].content, "Cc"), "carl@example.org");
  EXPECT_EQ(Header(mails[0].content, "Reply-To"), "help@example.net");
  EXPECT_FALSE(Contains(mails[0].content, "dora")) << "Bcc must stay in the envelope";
  EXPECT_EQ(Body(mails[0].content), ".\r\n..two dots\r\n.three\r\nlast line.\r\n.\r\n");
}

TEST_F(SmtpSend, RecipientAnsweredWillForwardIsAccepted) {
  // 251 is "not local, will forward": the dialogue goes on to DATA, refused
  // here so the peer needs no message reader.
  int port = peers.StartRaw(Step("220 hi\r\n") + "|line|" + Step("250 x\r\n") + "|line|" + Step("250 ok\r\n") +
                            "|line|" + Step("251 will forward\r\n") + "|line|" + Step("554 stop here\r\n") + "|line");
  SendError e = SendExpectingError(Request(port));
  EXPECT_EQ(e.stage(), Stage::Message) << e.what();
  EXPECT_EQ(e.replyCode(), 554);
  ASSERT_EQ(peers.RawLog(port).size(), 5u);
  EXPECT_EQ(peers.RawLog(port)[3], "DATA");
  EXPECT_EQ(peers.RawLog(port)[4], "QUIT");
}

TEST_F(SmtpSend, NullSenderIsSentAsEmptyPath) {
  int port = peers.StartSmtp();
  SendRequest r = Request(port);
  r.mailFrom = "";
  NativeClient().Send(r);
  auto mails = peers.Messages(port);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].from, "<>") << "aiosmtpd records the null reverse-path as <>";
}

TEST_F(SmtpSend, InjectionIsRefusedBeforeConnecting) {
  // A scripted peer logs every line it reads: an empty log means no byte left us.
  int port = peers.StartRaw(Step("220 hi\r\n") + "|line|line|line");
  SendRequest r = Request(port);
  r.messageSubject = "hi\r\nRCPT TO:<victim@example.org>";
  EXPECT_EQ(SendExpectingError(r).stage(), Stage::Input);
  r = Request(port);
  r.sendTo = "ann@example.org>\r\nRCPT TO:<victim@example.org";
  EXPECT_EQ(SendExpectingError(r).stage(), Stage::Input);
  r = Request(port);
  r.clientHostName = "x\nMAIL FROM:<a@b>";
  EXPECT_EQ(SendExpectingError(r).stage(), Stage::Input);
  EXPECT_TRUE(peers.RawLog(port).empty());
}

TEST_F(SmtpSend, PopBeforeSmtp) {
  int pop = peers.StartPop3("popuser", "poppass");
  int port = peers.StartSmtp();
  SendRequest r = AuthRequest(port, kAuthPop3, "popuser", "poppass");
  r.popPort = pop;
  NativeClient().Send(r);
  std::vector<std::string> log = peers.Pop3Log(pop);
  EXPECT_EQ(log, (std::vector<std::string>{"USER popuser", "PASS poppass", "QUIT"}));
  auto mails = peers.Messages(port);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].authMech, "") << "POP-before-SMTP sends no AUTH";

  r.password = "bad";
  SendError e = SendExpectingError(r);
  EXPECT_EQ(e.stage(), Stage::Authentication);
  EXPECT_TRUE(Contains(e.what(), "POP3 login failed (PASS): -ERR")) << e.what();
  EXPECT_EQ(peers.Pop3Log(pop).back(), "QUIT") << "a refused login is ended as a good one is";
  EXPECT_EQ(peers.Messages(port).size(), 1u) << "no mail after a failed POP3 login";
}

// "127.1" reaches the test servers, but only the usual spellings of this
// machine count as loopback, so it stands for a server across the network.
TEST_F(SmtpSend, NoPasswordInClearToAServerAcrossTheNetwork) {
  const int noStartTls = peers.StartSmtp("auth=login&user=mailer&password=pw");
  const int heloOnly = peers.StartRaw(Step("220 hi\r\n") + "|line|" + Step("502 no EHLO\r\n") + "|line|" +
                                      Step("250 hello\r\n") + "|line|line");
  for (int port : {noStartTls, heloOnly}) {
    SendRequest r = Request(port);
    r.server = "127.1";
    r.authenticationType = kAuthLogin;
    r.username = "mailer";
    r.password = "pw";
    SendError e = SendExpectingError(r);
    EXPECT_EQ(e.stage(), Stage::Authentication);
    EXPECT_TRUE(Contains(e.what(), "offered no encryption (STARTTLS), so the password was not sent")) << e.what();
  }
  EXPECT_EQ(peers.SmtpLog(noStartTls), (std::vector<std::string>{"EHLO plain", "QUIT plain"}));
  EXPECT_EQ(peers.RawLog(heloOnly), (std::vector<std::string>{"EHLO tester.example", "HELO tester.example", "QUIT"}));

  const int pop = peers.StartPop3("mailer", "pw");
  SendRequest r = Request(noStartTls);
  r.server = "127.1";
  r.authenticationType = kAuthPop3;
  r.username = "mailer";
  r.password = "pw";
  r.popPort = pop;
  SendError e = SendExpectingError(r);
  EXPECT_TRUE(Contains(e.what(), "offered no encryption (STLS), so the password was not sent")) << e.what();
  EXPECT_EQ(peers.Pop3Log(pop), std::vector<std::string>{"QUIT"});
  EXPECT_TRUE(peers.Messages(noStartTls).empty());

  // Typed as this machine but connected elsewhere: the name alone lets nothing out.
  const int elsewhere = peers.StartSmtp("auth=login&user=mailer&password=pw");
  r = AuthRequest(elsewhere, kAuthLogin, "mailer", "pw");
  e = SendError(Stage::Input, "");
  try {
    Client([] { return std::make_unique<ElsewherePeer>(); }).Send(r);
    ADD_FAILURE() << "the send succeeded";
  } catch (const SendError& refused) {
    e = refused;
  }
  EXPECT_EQ(e.stage(), Stage::Authentication);
  EXPECT_TRUE(Contains(e.what(), "offered no encryption (STARTTLS), so the password was not sent")) << e.what();
  EXPECT_EQ(peers.SmtpLog(elsewhere), (std::vector<std::string>{"EHLO plain", "QUIT plain"}));
}

TEST_F(SmtpSend, AUserWithNoPasswordStillLogsIn) {
  // Some relays take a user name alone; the empty password is still a line.
  const std::string script = Step("220 hi\r\n") + "|line|" + Step("250-x\r\n250 AUTH LOGIN PLAIN\r\n") + "|line|";
  const int login = peers.StartRaw(script + Step("334 VXNlcm5hbWU6\r\n") + "|line|" + Step("334 UGFzc3dvcmQ6\r\n") +
                                   "|line|" + Step("235 ok\r\n") + "|line|" + Step("550 stop here\r\n") + "|line");
  const int plain = peers.StartRaw(script + Step("235 ok\r\n") + "|line|" + Step("550 stop here\r\n") + "|line");
  for (auto [port, type] : {std::pair{login, kAuthLogin}, std::pair{plain, kAuthPlain}}) {
    SendError e = SendExpectingError(AuthRequest(port, type, "mailer", ""));
    EXPECT_EQ(e.stage(), Stage::Sender) << e.what();
  }
  EXPECT_EQ(peers.RawLog(login), (std::vector<std::string>{"EHLO tester.example", "AUTH LOGIN", "bWFpbGVy", "=",
                                                           "MAIL FROM:<corvane@example.net>", "QUIT"}));
  EXPECT_EQ(peers.RawLog(plain), (std::vector<std::string>{"EHLO tester.example", "AUTH PLAIN AG1haWxlcgA=",
                                                           "MAIL FROM:<corvane@example.net>", "QUIT"}));
}

TEST_F(SmtpSend, TheWholeSendIsBoundedHoweverPromptlyEachStepAnswers) {
  // Each reply comes well within the step's time-out, but the steps add up.
  std::string script = Step("220 hi\r\n");
  for (const char* reply : {"250 hello\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n"})
    script += "|line|sleep:400|" + Step(reply);
  const int port = peers.StartRaw(script + "|hold");
  SendRequest r = Request(port);
  r.timeoutMs = 1000;
  r.wholeSendMs = 1000;
  SendError e = SendExpectingError(r);
  EXPECT_TRUE(Contains(e.what(), "timed out waiting for the server")) << e.what();
  // Each step alone would have been answered: only the whole bound ends it before DATA.
  EXPECT_TRUE(e.stage() == Stage::Sender || e.stage() == Stage::Recipient) << e.what();
}

TEST_F(SmtpSend, ConnectionRefused) {
  int port = peers.StartRaw("close");
  peers.Stop(port);
  SendError e = SendExpectingError(Request(port));
  EXPECT_EQ(e.stage(), Stage::Connect);
  EXPECT_TRUE(Contains(e.what(), "cannot connect to 127.0.0.1, port " + std::to_string(port) + ": ")) << e.what();
}

TEST_F(SmtpSend, ServerThatNeverGreetsTimesOut) {
  int port = peers.StartRaw("hold");
  SendRequest r = Request(port);
  r.timeoutMs = 700;
  auto start = std::chrono::steady_clock::now();
  SendError e = SendExpectingError(r);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(e.stage(), Stage::Greeting);
  EXPECT_TRUE(Contains(e.what(), "timed out waiting for the server (the greeting)")) << e.what();
  EXPECT_GE(took, std::chrono::milliseconds(650));
  EXPECT_LT(took, std::chrono::milliseconds(2500));
}

TEST_F(SmtpSend, TricklingReplyCannotStretchTheTimeOut) {
  // One byte every 200 ms never completes a line; the time-out covers the whole reply.
  std::string script = Step("2");
  for (int i = 0; i < 30; ++i) script += "|sleep:200|" + Step("2");
  int port = peers.StartRaw(script);
  SendRequest r = Request(port);
  r.timeoutMs = 800;
  auto start = std::chrono::steady_clock::now();
  SendError e = SendExpectingError(r);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
  EXPECT_TRUE(Contains(e.what(), "timed out")) << e.what();
}

TEST_F(SmtpSend, APartReplyLeavesOnlyTheRestOfTheTimeOutForTheRest) {
  // The first byte comes after 800 ms and the rest 1000 ms later, past the
  // 1200 ms the whole reply may take; waiting the full time-out again after
  // the first byte would let it through.
  int port = peers.StartRaw("sleep:800|" + Step("2") + "|sleep:1000|" + Step("20 late\r\n") + "|line|close");
  SendRequest r = Request(port);
  r.timeoutMs = 1200;
  SendError e = SendExpectingError(r);
  EXPECT_EQ(e.stage(), Stage::Greeting) << e.what();
  EXPECT_TRUE(Contains(e.what(), "timed out")) << e.what();
}

TEST_F(SmtpSend, CommandsLongerThan512OctetsAreNeverSent) {
  int pop = peers.StartPop3("popuser", "poppass");
  SendRequest r = AuthRequest(peers.StartSmtp(), kAuthPop3, std::string(600, 'u'), "poppass");
  r.popPort = pop;
  SendError e = SendExpectingError(r);
  EXPECT_TRUE(Contains(e.what(), "too long")) << e.what();
  EXPECT_EQ(peers.Pop3Log(pop), std::vector<std::string>{"QUIT"}) << "the USER line must not reach the server";
}

TEST_F(SmtpSend, ServerDroppingTheConnectionInData) {
  int port = peers.StartRaw(Step("220 hi\r\n") + "|line|" + Step("250 ok\r\n") + "|line|" + Step("250 ok\r\n") +
                            "|line|" + Step("250 ok\r\n") + "|line|" + Step("354 go\r\n") + "|line|close");
  SendError e = SendExpectingError(Request(port));
  EXPECT_EQ(e.stage(), Stage::Message);
  EXPECT_TRUE(Contains(e.what(), "the server closed the connection unexpectedly")) << e.what();
  auto log = peers.RawLog(port);
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0], "EHLO tester.example");
  EXPECT_EQ(log[1], "MAIL FROM:<corvane@example.net>");
  EXPECT_EQ(log[2], "RCPT TO:<ann@example.org>");
  EXPECT_EQ(log[3], "DATA");
}

TEST_F(SmtpSend, HostileRepliesEndTheSend) {
  int endless = peers.StartRaw("sendn:100000:a|hold");
  SendError e = SendExpectingError(Request(endless));
  EXPECT_EQ(e.stage(), Stage::Greeting);
  EXPECT_TRUE(Contains(e.what(), "too long")) << e.what();

  int garbage = peers.StartRaw(Step("HTTP/1.1 400 Bad Request\r\n") + "|hold");
  e = SendExpectingError(Request(garbage));
  EXPECT_TRUE(Contains(e.what(), "not an SMTP reply")) << e.what();

  int busy = peers.StartRaw(Step("554 no service for you\r\n") + "|line");
  e = SendExpectingError(Request(busy));
  EXPECT_EQ(e.replyCode(), 554);
  EXPECT_TRUE(Contains(e.what(), "the server refused the connection: 554 no service for you")) << e.what();
}

TEST_F(SmtpSend, StartTlsDiscardsPlaintextLeftoversAndSaysHelloAgain) {
  // After "220 ready" the server slips in a fake reply; it must not be taken
  // as the answer to the second EHLO.
  int port = peers.StartRaw(Step("220 hi\r\n") + "|line|" + Step("250-x\r\n250 STARTTLS\r\n") + "|line|" +
                            Step("220 ready\r\n250 injected\r\n") + "|line|" + Step("250 x\r\n") + "|line|" +
                            Step("550 stop here\r\n") + "|line");
  int upgrades = 0;
  net::TlsUpgrade passThrough = [&](std::unique_ptr<net::Transport> plain, const std::string& host, int,
                                    net::TlsCheck) {
    ++upgrades;
    EXPECT_EQ(host, "127.0.0.1");
    return plain;
  };
  SendRequest r = Request(port);
  r.tls = TlsMode::StartTls;
  try {
    NativeClient(passThrough).Send(r);
    ADD_FAILURE() << "the send succeeded";
  } catch (const SendError& e) {
    EXPECT_EQ(e.stage(), Stage::Sender) << e.what();
    EXPECT_TRUE(Contains(e.what(), "550 stop here")) << e.what();
  }
  EXPECT_EQ(upgrades, 1);
  EXPECT_EQ(peers.RawLog(port), (std::vector<std::string>{"EHLO tester.example", "STARTTLS", "EHLO tester.example",
                                                          "MAIL FROM:<corvane@example.net>", "QUIT"}));
}

TEST_F(SmtpSend, RequiredTlsNeverFallsBackToPlaintext) {
  int port = peers.StartSmtp();
  SendRequest r = Request(port);
  r.tls = TlsMode::StartTls;
  int upgrades = 0;
  try {
    NativeClient([&](std::unique_ptr<net::Transport> p, const std::string&, int, net::TlsCheck) {
      ++upgrades;
      return p;
    }).Send(r);
    ADD_FAILURE() << "the send succeeded";
  } catch (const SendError& e) {
    EXPECT_EQ(e.stage(), Stage::Tls);
    EXPECT_TRUE(Contains(e.what(), "does not offer STARTTLS")) << e.what();
  }
  EXPECT_EQ(upgrades, 0);
  EXPECT_TRUE(peers.Messages(port).empty());
  EXPECT_EQ(SendExpectingError(r).stage(), Stage::Input) << "no TLS layer at all is refused up front";
}

TEST_F(SmtpSend, OfferedStartTlsIsTakenBeforeAuthenticationAndItsAbsenceKeepsPlainText) {
  // The upgrade writes a marker through the plain connection, standing in
  // for a handshake, so the server's log shows where it happened.
  int upgrades = 0;
  net::TlsCheck given = net::TlsCheck::Opportunistic;
  net::TlsUpgrade marker = [&](std::unique_ptr<net::Transport> plain, const std::string&, int timeoutMs,
                               net::TlsCheck check) {
    ++upgrades;
    given = check;
    plain->Send("TLS-HANDSHAKE\r\n", timeoutMs);
    return plain;
  };
  int port = peers.StartRaw(Step("220 hi\r\n") + "|line|" + Step("250-x\r\n250-AUTH LOGIN\r\n250 STARTTLS\r\n") +
                            "|line|" + Step("220 go ahead\r\n") + "|line|line|" + Step("250-x\r\n250 AUTH LOGIN\r\n") +
                            "|line|" + Step("535 no\r\n") + "|line");
  SendRequest r = AuthRequest(port, kAuthLogin, "u", "p");
  r.server = "127.1";  // not typed as this machine, as a provider's name is not: only TLS lets the login out
  r.tls = TlsMode::StartTlsIfOffered;
  try {
    NativeClient(marker).Send(r);
    ADD_FAILURE() << "the send succeeded";
  } catch (const SendError& e) {
    EXPECT_EQ(e.stage(), Stage::Authentication) << e.what();
  }
  EXPECT_EQ(upgrades, 1);
  EXPECT_EQ(given, net::TlsCheck::Strict) << "a login goes only to a verified server";
  EXPECT_EQ(peers.RawLog(port), (std::vector<std::string>{"EHLO tester.example", "STARTTLS", "TLS-HANDSHAKE",
                                                          "EHLO tester.example", "AUTH LOGIN", "QUIT"}));

  // No STARTTLS in the reply: the mail goes as it always did.
  int plain = peers.StartSmtp("auth=plain&user=u&password=p");
  r = AuthRequest(plain, kAuthPlain, "u", "p");
  r.tls = TlsMode::StartTlsIfOffered;
  NativeClient(marker).Send(r);
  EXPECT_EQ(upgrades, 1);
  ASSERT_EQ(peers.Messages(plain).size(), 1u);
  EXPECT_EQ(peers.Messages(plain)[0].authMech, "PLAIN");
}

TEST_F(SmtpSend, FailedHandshakeEndsTheDialogueAndImplicitTlsStartsBeforeTheGreeting) {
  int port = peers.StartRaw(Step("220 hi\r\n") + "|line|" + Step("250-x\r\n250-AUTH PLAIN\r\n250 STARTTLS\r\n") +
                            "|line|" + Step("220 go ahead\r\n") + "|line|line|line");
  SendRequest r = AuthRequest(port, kAuthPlain, "u", "secret");
  r.tls = TlsMode::StartTlsIfOffered;
  net::TlsUpgrade refusing = [](std::unique_ptr<net::Transport>, const std::string&, int,
                                net::TlsCheck) -> std::unique_ptr<net::Transport> {
    throw net::TransportError(net::TransportError::Kind::Failed, "the server's certificate is not trusted");
  };
  try {
    NativeClient(refusing).Send(r);
    ADD_FAILURE() << "the send succeeded";
  } catch (const SendError& e) {
    EXPECT_EQ(e.stage(), Stage::Tls);
    EXPECT_TRUE(Contains(e.what(), "the TLS handshake with 127.0.0.1 failed: the server's certificate is not trusted"))
        << e.what();
  }
  EXPECT_EQ(peers.RawLog(port), (std::vector<std::string>{"EHLO tester.example", "STARTTLS"}));

  // Implicit TLS: the handshake comes first; the greeting is read through it.
  int implicit = peers.StartRaw("line|" + Step("220 secure hi\r\n") + "|line|" + Step("250 x\r\n") + "|line|" +
                                Step("550 stop here\r\n") + "|line");
  r = Request(implicit);
  r.tls = TlsMode::Implicit;
  int upgrades = 0;
  net::TlsCheck given = net::TlsCheck::Opportunistic;
  try {
    NativeClient([&](std::unique_ptr<net::Transport> plain, const std::string&, int timeoutMs, net::TlsCheck check) {
      ++upgrades;
      given = check;
      plain->Send("TLS-HANDSHAKE\r\n", timeoutMs);
      return plain;
    }).Send(r);
    ADD_FAILURE() << "the send succeeded";
  } catch (const SendError& e) {
    EXPECT_TRUE(Contains(e.what(), "550 stop here")) << e.what();
  }
  EXPECT_EQ(upgrades, 1) << "no second handshake, and no STARTTLS inside TLS";
  EXPECT_EQ(given, net::TlsCheck::Strict) << "the user asked for TLS: no doubtful certificate is taken";
  EXPECT_EQ(peers.RawLog(implicit), (std::vector<std::string>{"TLS-HANDSHAKE", "EHLO tester.example",
                                                              "MAIL FROM:<corvane@example.net>", "QUIT"}));
}

TEST_F(SmtpSend, Pop3StlsHandshakesBeforeTheUserName) {
  const int pop = peers.StartRaw(Step("+OK hi\r\n") + "|line|" + Step("+OK\r\nUSER\r\nSTLS\r\n.\r\n") + "|line|" +
                                 Step("+OK go ahead\r\n") + "|line|line|" + Step("+OK\r\n") + "|line|" +
                                 Step("+OK\r\n") + "|line|" + Step("+OK bye\r\n") + "|line");
  const int port = peers.StartSmtp();
  SendRequest r = AuthRequest(port, kAuthPop3, "popuser", "poppass");
  r.server = "127.1";  // across the network as far as the name goes: only TLS lets the login out
  r.popPort = pop;
  net::TlsCheck given = net::TlsCheck::Opportunistic;
  NativeClient([&](std::unique_ptr<net::Transport> plainText, const std::string&, int timeoutMs, net::TlsCheck check) {
    given = check;
    plainText->Send("TLS-HANDSHAKE\r\n", timeoutMs);
    return plainText;
  }).Send(r);
  EXPECT_EQ(peers.RawLog(pop),
            (std::vector<std::string>{"CAPA", "STLS", "TLS-HANDSHAKE", "USER popuser", "PASS poppass", "QUIT"}));
  EXPECT_EQ(given, net::TlsCheck::Strict);
  EXPECT_EQ(peers.Messages(port).size(), 1u);
}
