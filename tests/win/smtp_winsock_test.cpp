// The SMTP client over Winsock, under Wine, against aiosmtpd and scripted
// peers on 127.0.0.1: the transport the program really ships with.
#include <gtest/gtest.h>

#include <chrono>

#include "net/WinsockTransport.h"
#include "PeerClient.h"
#include "smtp/SmtpClient.h"
#include "smtp/SmtpError.h"

using namespace smtp;

namespace {

Client WinsockClient() {
  return Client([] { return std::make_unique<net::WinsockTransport>(); });
}

SendRequest Request(int port) {
  SendRequest r;
  r.server = "127.0.0.1";
  r.port = port;
  r.sendTo = "ann@example.org, bob@example.org";
  r.mailFrom = "corvane@example.net";
  r.messageSubject = "IP address changed";
  r.messageText = "New address 198.51.100.4\n.\nend";
  r.timeoutMs = 5000;
  return r;
}

}  // namespace

TEST(SmtpWinsock, SendsAuthenticatedMail) {
  auto peers = peers::PeerClient::FromEnvironment();
  int port = peers.StartSmtp("auth=login&user=mailer&password=secret&require_auth=1");
  SendRequest r = Request(port);
  r.authenticationType = kAuthLogin;
  r.username = "mailer";
  r.password = "secret";
  SendResult result = WinsockClient().Send(r);
  EXPECT_EQ(result.accepted.code, 250);
  auto mails = peers.Messages(port);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].from, "corvane@example.net");
  EXPECT_EQ(mails[0].to, (std::vector<std::string>{"ann@example.org", "bob@example.org"}));
  EXPECT_EQ(mails[0].authMech, "LOGIN");
  EXPECT_EQ(mails[0].authUser, "mailer");
  EXPECT_EQ(mails[0].authPassword, "secret");
  EXPECT_FALSE(mails[0].helo.empty());
  EXPECT_NE(mails[0].content.find("\r\nSubject: IP address changed\r\n"), std::string::npos);
  EXPECT_NE(mails[0].content.find("\r\n\r\nNew address 198.51.100.4\r\n.\r\nend"), std::string::npos);
}

TEST(SmtpWinsock, RefusedAndSilentServers) {
  auto peers = peers::PeerClient::FromEnvironment();
  int closed = peers.StartRaw("close");
  peers.Stop(closed);
  try {
    WinsockClient().Send(Request(closed));
    ADD_FAILURE() << "sent to a closed port";
  } catch (const SendError& e) {
    EXPECT_EQ(e.stage(), Stage::Connect) << e.what();
    EXPECT_NE(std::string(e.what()).find("cannot connect to 127.0.0.1, port "), std::string::npos) << e.what();
  }

  int silent = peers.StartRaw("hold");
  SendRequest r = Request(silent);
  r.timeoutMs = 800;
  auto start = std::chrono::steady_clock::now();
  try {
    WinsockClient().Send(r);
    ADD_FAILURE() << "a server that never greets was accepted";
  } catch (const SendError& e) {
    EXPECT_EQ(e.stage(), Stage::Greeting) << e.what();
    EXPECT_NE(std::string(e.what()).find("timed out waiting for the server"), std::string::npos) << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}
