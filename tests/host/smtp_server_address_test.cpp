// The server field as users type it: a name, a name with a port, IPv6
// addresses with and without brackets, and ports that must be refused before
// anything connects. The port decides how the connection is secured.
#include <gtest/gtest.h>

#include "net/Loopback.h"
#include "smtp/SmtpError.h"
#include "smtp/SmtpServerAddress.h"

using namespace smtp;

namespace {

void ExpectAddress(const std::string& text, int defaultPort, const std::string& host, int port) {
  SCOPED_TRACE(text);
  ServerAddress a = ParseServerAddress(text, defaultPort);
  EXPECT_EQ(a.host, host);
  EXPECT_EQ(a.port, port);
}

std::string Refusal(const std::string& text) {
  try {
    ParseServerAddress(text, 25);
  } catch (const SendError& e) {
    EXPECT_EQ(e.stage(), Stage::Input) << text;
    return e.what();
  }
  ADD_FAILURE() << "\"" << text << "\" was accepted";
  return "";
}

}  // namespace

TEST(ServerAddress, PortComesFromTheFieldOrTheDefault) {
  ExpectAddress("mail.example.org", 25, "mail.example.org", 25);
  ExpectAddress("mail.example.org", 2525, "mail.example.org", 2525);
  ExpectAddress("mail.example.org:587", 25, "mail.example.org", 587);
  ExpectAddress("smtp.example.org:465", 25, "smtp.example.org", 465);
  ExpectAddress("localhost:1", 25, "localhost", 1);
  ExpectAddress("localhost:65535", 25, "localhost", 65535);
  ExpectAddress("192.0.2.5:2525", 25, "192.0.2.5", 2525);
  ExpectAddress("localhost:00587", 25, "localhost", 587);
}

TEST(ServerAddress, Ipv6NeedsBracketsToCarryAPort) {
  ExpectAddress("[2001:db8::25]:587", 25, "2001:db8::25", 587);
  ExpectAddress("[::1]", 25, "::1", 25);
  // Without brackets every colon belongs to the address.
  ExpectAddress("2001:db8::25", 25, "2001:db8::25", 25);
  ExpectAddress("::1", 587, "::1", 587);
  ExpectAddress("fe80::1:465", 25, "fe80::1:465", 25);
}

TEST(ServerAddress, BadPortsAreRefusedWithTheirText) {
  EXPECT_NE(Refusal("mail.example.org:").find("no port number after the ':'"), std::string::npos);
  EXPECT_NE(Refusal("mail.example.org:0").find("invalid port 0"), std::string::npos);
  EXPECT_NE(Refusal("mail.example.org:000").find("invalid port 000"), std::string::npos);
  EXPECT_NE(Refusal("mail.example.org:65536").find("invalid port 65536"), std::string::npos);
  EXPECT_NE(Refusal("mail.example.org:99999999999999999999").find("invalid port"), std::string::npos);
  EXPECT_NE(Refusal("mail.example.org:smtp").find("invalid port \"smtp\""), std::string::npos);
  EXPECT_NE(Refusal("mail.example.org:-5").find("invalid port \"-5\""), std::string::npos);
  EXPECT_NE(Refusal("mail.example.org: 587").find("invalid port"), std::string::npos);
  EXPECT_NE(Refusal("[::1]:").find("no port number"), std::string::npos);
  EXPECT_NE(Refusal("[::1]:70000").find("invalid port 70000"), std::string::npos);
  EXPECT_NE(Refusal("[::1]587").find("text after ']'"), std::string::npos);
  EXPECT_NE(Refusal("[::1").find("unclosed"), std::string::npos);
  EXPECT_NE(Refusal("[]:25").find("empty"), std::string::npos);
  EXPECT_NE(Refusal(":587").find("no host name"), std::string::npos);
}

TEST(ServerAddress, Port465MeansTlsFromTheFirstByte) {
  EXPECT_EQ(TlsModeForPort(465), TlsMode::Implicit);
  EXPECT_EQ(TlsModeForPort(ParseServerAddress("smtp.example.org:465", 25).port), TlsMode::Implicit);
  EXPECT_EQ(TlsModeForPort(ParseServerAddress("smtp.example.org", 465).port), TlsMode::Implicit);
  for (int port : {25, 587, 2525, 4650, 1}) {
    EXPECT_EQ(TlsModeForPort(port), TlsMode::StartTlsIfOffered) << port;
  }
}

TEST(ServerAddress, OnlyHostsTypedAsThisMachineAreLoopback) {
  for (const char* host : {"localhost", "LocalHost", "127.0.0.1", "127.1.2.3", "127.255.255.255", "::1"})
    EXPECT_TRUE(net::IsLoopbackName(host)) << host;
  // Leading zeros and short forms go to the resolver as names, which the
  // network may answer with any address.
  for (const char* host : {"localhost.", "localhost.example.org", "127.0.0.1.example.org", "127.0.0", "127.0.0.256",
                           "127.0.0.08", "127.000.0.1", "127.1", "128.0.0.1", "::2", "mail.example.org", ""})
    EXPECT_FALSE(net::IsLoopbackName(host)) << host;

  const unsigned char v4[4] = {127, 9, 9, 9}, other4[4] = {126, 0, 0, 1};
  const unsigned char v6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  const unsigned char mapped[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 127, 0, 0, 1};
  EXPECT_TRUE(net::IsLoopbackAddress(v4, 4));
  EXPECT_TRUE(net::IsLoopbackAddress(v6, 16));
  EXPECT_TRUE(net::IsLoopbackAddress(mapped, 16));
  EXPECT_FALSE(net::IsLoopbackAddress(other4, 4));
}
