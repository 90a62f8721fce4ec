// The peer servers and their C++ client, checked end to end: every peer is a
// real server on 127.0.0.1 and is spoken to over real sockets.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "PeerClient.h"
#include "TcpConnection.h"

using peers::PeerClient;
using peers::TcpConnection;

namespace {

// A string literal with embedded NULs kept.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

struct Reply {
  int code = 0;
  std::string text;  // every line, CRLFs included
};

// Just enough SMTP to drive the peer: one command, one (possibly multi-line) reply.
class SmtpDialogue {
 public:
  explicit SmtpDialogue(int port) : m_connection(TcpConnection::Connect("127.0.0.1", port, 5000)) { greeting = Read(); }

  Reply Command(const std::string& line) {
    m_connection.Send(line + "\r\n");
    return Read();
  }
  // DATA body already dot-stuffed, without the final ".".
  Reply Body(const std::string& body) {
    m_connection.Send(body + ".\r\n");
    return Read();
  }

  Reply greeting;

 private:
  Reply Read() {
    Reply r;
    for (;;) {
      const std::string line = m_connection.ReadLine();
      r.text += line;
      if (line.size() < 4 || line[3] != '-') break;
    }
    r.code = std::stoi(r.text.substr(0, 3));
    return r;
  }
  TcpConnection m_connection;
};

class Peers : public ::testing::Test {
 protected:
  void TearDown() override { client.StopAll(); }
  PeerClient client = PeerClient::FromEnvironment();
};

// Sends one message from a@x to b@y and c@z; returns the reply to the final ".".
Reply SendMessage(SmtpDialogue& s, const std::string& body) {
  EXPECT_EQ(250, s.Command("MAIL FROM:<a@x>").code);
  EXPECT_EQ(250, s.Command("RCPT TO:<b@y>").code);
  EXPECT_EQ(250, s.Command("RCPT TO:<c@z>").code);
  EXPECT_EQ(354, s.Command("DATA").code);
  return s.Body(body);
}

TEST(PeerClientEncode, KeepsUnreservedAndEscapesEveryOtherByte) {
  EXPECT_EQ("aZ09-._~", PeerClient::Encode("aZ09-._~"));
  EXPECT_EQ("%20%26%25%2B%3D%7C%0D%0A%00%FF", PeerClient::Encode(Bytes(" &%+=|\r\n\0\xff")));
}

TEST_F(Peers, SmtpWithoutAuthRecordsEnvelopeHeloAndRawContent) {
  const int port = client.StartSmtp();
  SmtpDialogue s(port);
  EXPECT_EQ(220, s.greeting.code);
  const Reply ehlo = s.Command("EHLO tester");
  EXPECT_EQ(250, ehlo.code);
  EXPECT_EQ(std::string::npos, ehlo.text.find("AUTH")) << ehlo.text;
  // A leading dot doubled on the wire, a bare LF and binary bytes: the record
  // must show what arrived, unstuffed, with line ends untouched.
  const std::string wire = Bytes("Subject: t\r\n\r\n..dot\r\nbare\nlf\r\n\x01\xff\0x\r\n");
  EXPECT_EQ(250, SendMessage(s, wire).code);
  EXPECT_EQ(250, SendMessage(s, "second\r\n").code);
  EXPECT_EQ(221, s.Command("QUIT").code);

  const auto mails = client.Messages(port);
  ASSERT_EQ(2u, mails.size());
  EXPECT_EQ("a@x", mails[0].from);
  EXPECT_EQ((std::vector<std::string>{"b@y", "c@z"}), mails[0].to);
  EXPECT_EQ("tester", mails[0].helo);
  EXPECT_EQ("", mails[0].authMech);
  EXPECT_EQ("", mails[0].authUser);
  EXPECT_EQ(Bytes("Subject: t\r\n\r\n.dot\r\nbare\nlf\r\n\x01\xff\0x\r\n"), mails[0].content);
  EXPECT_EQ("second\r\n", mails[1].content);
}

TEST_F(Peers, SmtpAuthLoginAndPlainAreRecorded) {
  // A password with the bytes the record format escapes.
  const std::string password = "p%0A:\xe9";
  const int port = client.StartSmtp("auth=login,plain&user=user&password=" + PeerClient::Encode(password));
  {
    SmtpDialogue s(port);
    const Reply ehlo = s.Command("EHLO h1");
    EXPECT_NE(std::string::npos, ehlo.text.find("AUTH LOGIN PLAIN")) << ehlo.text;
    EXPECT_EQ(334, s.Command("AUTH LOGIN").code);
    EXPECT_EQ(334, s.Command("dXNlcg==").code);  // "user"
    EXPECT_EQ(235, s.Command("cCUwQTrp").code);  // password above
    EXPECT_EQ(250, SendMessage(s, "one\r\n").code);
  }
  const int plainPort = client.StartSmtp("auth=plain&user=test&password=1234");
  {
    SmtpDialogue s(plainPort);
    const Reply ehlo = s.Command("EHLO h2");
    EXPECT_NE(std::string::npos, ehlo.text.find("AUTH PLAIN\r\n")) << ehlo.text;
    EXPECT_EQ(504, s.Command("AUTH LOGIN").code);  // not offered
    EXPECT_EQ(235, s.Command("AUTH PLAIN AHRlc3QAMTIzNA==").code);
    EXPECT_EQ(250, SendMessage(s, "two\r\n").code);
  }
  const auto login = client.Messages(port);
  ASSERT_EQ(1u, login.size());
  EXPECT_EQ("LOGIN", login[0].authMech);
  EXPECT_EQ("user", login[0].authUser);
  EXPECT_EQ(password, login[0].authPassword);
  EXPECT_EQ("h1", login[0].helo);
  const auto plain = client.Messages(plainPort);
  ASSERT_EQ(1u, plain.size());
  EXPECT_EQ("PLAIN", plain[0].authMech);
  EXPECT_EQ("test", plain[0].authUser);
  EXPECT_EQ("1234", plain[0].authPassword);
}

TEST_F(Peers, SmtpWrongPasswordGets535AndRequiredAuthGets530) {
  const int port = client.StartSmtp("auth=login,plain&user=test&password=1234&require_auth=1");
  SmtpDialogue s(port);
  EXPECT_EQ(250, s.Command("EHLO h").code);
  EXPECT_EQ(535, s.Command("AUTH PLAIN AHRlc3QAMTIzNQ==").code);  // password 1235
  EXPECT_EQ(334, s.Command("AUTH LOGIN").code);
  EXPECT_EQ(334, s.Command("dGVzdA==").code);
  EXPECT_EQ(535, s.Command("MTIzNQ==").code);
  EXPECT_EQ(530, s.Command("MAIL FROM:<a@x>").code);
  EXPECT_TRUE(client.Messages(port).empty());
}

TEST_F(Peers, SmtpFailStagesAnswerWithTheGivenCode) {
  struct Case {
    const char* fail;
    int step;  // where the refusal must come: 0 greeting-EHLO, 1 AUTH, 2 MAIL, 3 RCPT, 4 DATA, 5 dot
  };
  for (const Case c : {Case{"ehlo:554", 0}, Case{"auth:454", 1}, Case{"mail:553", 2}, Case{"rcpt:550", 3},
                       Case{"data:451", 4}, Case{"dot:552", 5}}) {
    SCOPED_TRACE(c.fail);
    const int code = std::stoi(std::string(c.fail).substr(std::string(c.fail).find(':') + 1));
    const int port = client.StartSmtp("auth=plain&user=u&password=p&fail=" + std::string(c.fail));
    SmtpDialogue s(port);
    const std::vector<std::pair<std::string, int>> steps = {
        {"EHLO h", 250}, {"AUTH PLAIN AHUAcA==", 235}, {"MAIL FROM:<a@x>", 250}, {"RCPT TO:<b@y>", 250}, {"DATA", 354}};
    // Every step before the refused one passes; the refused one gets the code.
    for (int i = 0; i < static_cast<int>(steps.size()) && i <= c.step; ++i)
      EXPECT_EQ(i == c.step ? code : steps[i].second, s.Command(steps[i].first).code) << steps[i].first;
    if (c.step == 5) {
      EXPECT_EQ(code, s.Body("x\r\n").code);
    }
    EXPECT_TRUE(client.Messages(port).empty());
  }
  // A refused EHLO leaves HELO to work, and the reverse.
  const int port = client.StartSmtp("fail=helo:502:not%20here");
  SmtpDialogue s(port);
  const Reply helo = s.Command("HELO h");
  EXPECT_EQ(502, helo.code);
  EXPECT_EQ("502 not here\r\n", helo.text);
  EXPECT_EQ(250, s.Command("EHLO h").code);
}

TEST_F(Peers, Pop3ChecksCredentialsAndLogsEveryLine) {
  const int port = client.StartPop3("u", "secret");
  {
    TcpConnection c = TcpConnection::Connect("127.0.0.1", port, 5000);
    EXPECT_EQ("+OK", c.ReadLine().substr(0, 3));
    c.Send("USER u\r\n");
    EXPECT_EQ("+OK", c.ReadLine().substr(0, 3));
    c.Send("PASS wrong\r\n");
    EXPECT_EQ("-ERR", c.ReadLine().substr(0, 4));
    c.Send("PASS secret\r\n");
    EXPECT_EQ("+OK", c.ReadLine().substr(0, 3));
    c.Send("QUIT\r\n");
    EXPECT_EQ("+OK", c.ReadLine().substr(0, 3));
    EXPECT_EQ("", c.ReadAll());
  }
  EXPECT_EQ((std::vector<std::string>{"USER u", "PASS wrong", "PASS secret", "QUIT"}), client.Pop3Log(port));
}

std::string HttpGet(int port, const std::string& path = "/") {
  TcpConnection c = TcpConnection::Connect("127.0.0.1", port, 10000);
  c.Send("GET " + path + " HTTP/1.0\r\nHost: x\r\n\r\n");
  return c.ReadAll();
}

TEST_F(Peers, HttpServesTheSetPageAndCountsHits) {
  const int port = client.StartHttp();
  EXPECT_EQ(0, client.HttpHits(port));
  const std::string body = Bytes("<!--startip-->1.2.3.4<!--endip-->&+%\0\xff");
  client.SetPage(port, 200, body);
  std::string reply = HttpGet(port);
  EXPECT_EQ("HTTP/1.0 200", reply.substr(0, 12));
  EXPECT_EQ(body, reply.substr(reply.find("\r\n\r\n") + 4));

  client.SetPage(port, 404, "gone");
  reply = HttpGet(port, "/other");
  EXPECT_EQ("HTTP/1.0 404", reply.substr(0, 12));
  EXPECT_EQ("gone", reply.substr(reply.find("\r\n\r\n") + 4));

  EXPECT_THROW(client.SetPage(port, 99, "x"), std::runtime_error);
  EXPECT_EQ(2, client.HttpHits(port));
}

TEST_F(Peers, HttpRepeatRedirectAndDelay) {
  const int port = client.StartHttp();
  client.Get("/http/set?port=" + std::to_string(port) + "&body=0123456789&repeat=200000");
  std::string reply = HttpGet(port);
  const std::string body = reply.substr(reply.find("\r\n\r\n") + 4);
  ASSERT_EQ(2000000u, body.size());
  EXPECT_EQ("01234567890123456789", body.substr(1999980));
  EXPECT_NE(std::string::npos, reply.find("Content-Length: 2000000\r\n"));

  client.Get("/http/set?port=" + std::to_string(port) + "&location=" + PeerClient::Encode("http://127.0.0.1:1/x"));
  reply = HttpGet(port);
  EXPECT_EQ("HTTP/1.0 302", reply.substr(0, 12));
  EXPECT_NE(std::string::npos, reply.find("Location: http://127.0.0.1:1/x\r\n")) << reply;

  // While one GET waits out its delay, the control server still answers at once.
  client.SetPage(port, 200, "late", "delay_ms=2000");
  const auto start = std::chrono::steady_clock::now();
  auto slow = std::async(std::launch::async, [port] { return HttpGet(port); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(3, client.HttpHits(port));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  reply = slow.get();
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  EXPECT_EQ("late", reply.substr(reply.find("\r\n\r\n") + 4));
}

TEST_F(Peers, RawScriptRunsStepByStepForEachConnection) {
  const int port = client.StartRaw("send:" + PeerClient::Encode("220 hi|there\r\n") +
                                   "|line|sleep:50|sendn:100000:A|send:%0D%0A|close");
  for (int round = 0; round < 2; ++round) {
    TcpConnection c = TcpConnection::Connect("127.0.0.1", port, 5000);
    EXPECT_EQ("220 hi|there\r\n", c.ReadLine());
    c.Send("EHLO " + std::to_string(round) + "\r\n");
    EXPECT_EQ(std::string(100000, 'A') + "\r\n", c.ReadLine(200000));
    EXPECT_EQ("", c.ReadAll());
  }
  EXPECT_EQ((std::vector<std::string>{"EHLO 0", "EHLO 1"}), client.RawLog(port));
}

TEST_F(Peers, HeldConnectionStaysSilentUntilThePeerStops) {
  const int port = client.StartRaw("send:220%20x%0D%0A|hold");
  TcpConnection c = TcpConnection::Connect("127.0.0.1", port, 5000);
  EXPECT_EQ("220 x\r\n", c.ReadLine());
  c.SetTimeout(300);
  EXPECT_THROW(c.ReadSome(), std::runtime_error);
  c.SetTimeout(5000);
  client.Stop(port);
  EXPECT_EQ("", c.ReadAll());
  EXPECT_THROW(TcpConnection::Connect("127.0.0.1", port, 2000), std::runtime_error);
}

TEST_F(Peers, BadRequestsThrowWithTheServersReason) {
  auto reason = [&](const std::string& path) {
    try {
      client.Get(path);
    } catch (const std::runtime_error& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_NE(std::string::npos, reason("/nothing").find("400 unknown request: /nothing"));
  EXPECT_NE(std::string::npos, reason("/smtp/start?auth=cram").find("400 auth must be"));
  EXPECT_NE(std::string::npos, reason("/smtp/start?fail=quit:500").find("400 fail must be"));
  EXPECT_NE(std::string::npos, reason("/smtp/start?colour=red").find("unknown parameter: colour"));
  EXPECT_NE(std::string::npos, reason("/raw/start?script=dance").find("unknown script step"));
  const int http = client.StartHttp();
  EXPECT_NE(std::string::npos, reason("/smtp/messages?port=" + std::to_string(http)).find("no smtp on port"));
  EXPECT_NE(std::string::npos, reason("/http/set?port=" + std::to_string(http) + "&repeat=x").find("not a number"));
  client.Stop(http);
  EXPECT_THROW(client.Stop(http), std::runtime_error);
  EXPECT_THROW(client.HttpHits(http), std::runtime_error);
  EXPECT_THROW(PeerClient("127.0.0.1", 1).Get("/stopall"), std::runtime_error);
}

}  // namespace
