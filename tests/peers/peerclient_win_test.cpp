// The peers from inside Wine: CORVANE_PEERS must reach the Windows process and
// Winsock must reach the servers on the Linux loopback.
#include <gtest/gtest.h>

#include <string>

#include "PeerClient.h"
#include "TcpConnection.h"

using peers::PeerClient;
using peers::TcpConnection;

namespace {

std::string Command(TcpConnection& c, const std::string& line) {
  c.Send(line + "\r\n");
  std::string reply;
  do reply = c.ReadLine();
  while (reply.size() > 3 && reply[3] == '-');
  return reply.substr(0, 3);
}

TEST(PeersUnderWine, HttpPageAndSmtpMessageRoundTrip) {
  PeerClient client = PeerClient::FromEnvironment();

  const int http = client.StartHttp();
  client.SetPage(http, 200, "<!--startip-->10.0.0.1<!--endip-->");
  {
    TcpConnection c = TcpConnection::Connect("127.0.0.1", http, 10000);
    c.Send("GET / HTTP/1.0\r\n\r\n");
    const std::string reply = c.ReadAll();
    EXPECT_EQ("HTTP/1.0 200", reply.substr(0, 12));
    EXPECT_EQ("<!--startip-->10.0.0.1<!--endip-->", reply.substr(reply.find("\r\n\r\n") + 4));
  }
  EXPECT_EQ(1, client.HttpHits(http));

  const int smtp = client.StartSmtp("auth=login&user=u&password=secret");
  {
    TcpConnection c = TcpConnection::Connect("127.0.0.1", smtp, 10000);
    EXPECT_EQ("220", c.ReadLine().substr(0, 3));
    EXPECT_EQ("250", Command(c, "EHLO wine"));
    EXPECT_EQ("334", Command(c, "AUTH LOGIN"));
    EXPECT_EQ("334", Command(c, "dQ=="));
    EXPECT_EQ("235", Command(c, "c2VjcmV0"));
    EXPECT_EQ("250", Command(c, "MAIL FROM:<a@x>"));
    EXPECT_EQ("250", Command(c, "RCPT TO:<b@y>"));
    EXPECT_EQ("354", Command(c, "DATA"));
    EXPECT_EQ("250", Command(c, "Subject: from Wine\r\n\r\nhello\r\n."));
    EXPECT_EQ("221", Command(c, "QUIT"));
  }
  const auto mails = client.Messages(smtp);
  ASSERT_EQ(1u, mails.size());
  EXPECT_EQ("wine", mails[0].helo);
  EXPECT_EQ("LOGIN", mails[0].authMech);
  EXPECT_EQ("secret", mails[0].authPassword);
  EXPECT_EQ("Subject: from Wine\r\n\r\nhello\r\n", mails[0].content);
  client.StopAll();
}

}  // namespace
