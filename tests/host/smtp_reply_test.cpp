// Reply parsing, EHLO capabilities and base64: the parts of the dialogue that
// decide what we believe the server said.
#include <gtest/gtest.h>

#include "net/Base64.h"
#include "smtp/SmtpCapabilities.h"
#include "smtp/SmtpReply.h"

using namespace smtp;

TEST(SmtpReply, TakesOneReplyAndLeavesTheRest) {
  std::string buf = "250-mail.example\r\n250-SIZE 1000\r\n250 HELP\r\n354 go\r\n";
  auto r = TakeReply(buf);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->code, 250);
  ASSERT_EQ(r->lines.size(), 3u);
  EXPECT_EQ(r->lines[1], "SIZE 1000");
  EXPECT_EQ(buf, "354 go\r\n");
  auto next = TakeReply(buf);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->code, 354);
  EXPECT_TRUE(buf.empty());
}

TEST(SmtpReply, IncompleteRepliesWaitForMoreBytes) {
  for (std::string partial : {"", "2", "250", "250 ok", "250 ok\r", "250-first\r\n", "250-first\r\n250 la"}) {
    std::string buf = partial;
    EXPECT_FALSE(TakeReply(buf)) << partial;
    EXPECT_EQ(buf, partial) << "nothing may be consumed from an incomplete reply";
  }
}

TEST(SmtpReply, AReplyArrivingByteByByteResumesWhereItLeftOff) {
  const std::string whole = "250-mail.example\r\n250-SIZE 1000\r\n250 HELP\r\n354 go\r\n";
  std::string buf;
  ReplyScan scan;
  std::optional<Reply> r;
  std::size_t fed = 0;
  while (!r && fed < whole.size()) {
    buf += whole[fed++];
    r = TakeReply(buf, scan);
  }
  ASSERT_TRUE(r);
  EXPECT_EQ(fed, whole.size() - 8) << "the reply ends with its last line";
  EXPECT_EQ(r->lines, (std::vector<std::string>{"mail.example", "SIZE 1000", "HELP"}));
  buf += whole.substr(fed);
  r = TakeReply(buf, scan);
  ASSERT_TRUE(r) << "the scan starts afresh after a reply was taken";
  EXPECT_EQ(r->code, 354);
}

TEST(SmtpReply, CodeOnlyLinesBareLfAndDescribe) {
  std::string buf = "250\r\n";
  auto r = TakeReply(buf);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Describe(), "250");
  buf = "550-5.1.1 no such\n550 user here\n";
  r = TakeReply(buf);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Describe(), "550 5.1.1 no such user here");
}

TEST(SmtpReply, MalformedRepliesAreRejected) {
  for (std::string bad : {"\r\n", "hello\r\n", "25 ok\r\n", "2x0 ok\r\n", "250:ok\r\n", "650 ok\r\n", "150 ok\r\n",
                          "250-a\r\n251 b\r\n", "+OK pop3 here\r\n"}) {
    std::string buf = bad;
    EXPECT_THROW(TakeReply(buf), MalformedReply) << bad;
  }
}

TEST(SmtpReply, OverlongRepliesAreRejectedEvenWithoutALineEnd) {
  std::string endless = "250 " + std::string(kMaxReplyBytes, 'a');
  EXPECT_THROW(TakeReply(endless), MalformedReply);
  std::string manyLines;
  while (manyLines.size() <= kMaxReplyBytes) manyLines += "250-" + std::string(100, 'x') + "\r\n";
  manyLines += "250 end\r\n";
  EXPECT_THROW(TakeReply(manyLines), MalformedReply);
  // Just under the cap is still a reply.
  std::string big = "250 " + std::string(kMaxReplyBytes - 10, 'a') + "\r\n";
  EXPECT_TRUE(TakeReply(big));
}

namespace {
Capabilities Caps(std::string text) {
  auto r = TakeReply(text);
  EXPECT_TRUE(r);
  return ParseCapabilities(*r);
}
}  // namespace

TEST(SmtpCapabilities, KeywordsAuthListsAndSize) {
  Capabilities c = Caps(
      "250-mx.example greets you\r\n250-PIPELINING\r\n250-size 35882577\r\n"
      "250-AUTH LOGIN plain XOAUTH2\r\n250-starttls\r\n250 8BITMIME\r\n");
  EXPECT_TRUE(c.extended);
  EXPECT_TRUE(c.startTls);
  EXPECT_TRUE(c.size);
  EXPECT_EQ(c.sizeLimit, 35882577u);
  EXPECT_TRUE(c.HasAuth("LOGIN"));
  EXPECT_TRUE(c.HasAuth("PLAIN"));
  EXPECT_TRUE(c.HasAuth("XOAUTH2"));
  EXPECT_FALSE(c.HasAuth("CRAM-MD5"));
}

TEST(SmtpCapabilities, OldAuthEqualsFormAndWholeWords) {
  Capabilities c = Caps(
      "250-old.example\r\n250-AUTH=LOGIN PLAIN\r\n250-STARTTLSX\r\n250-X-AUTH CRAM-MD5\r\n"
      "250 SIZE\r\n");
  EXPECT_TRUE(c.HasAuth("LOGIN"));
  EXPECT_TRUE(c.HasAuth("PLAIN"));
  EXPECT_FALSE(c.startTls) << "STARTTLSX is another keyword";
  EXPECT_FALSE(c.HasAuth("CRAM-MD5")) << "X-AUTH is not AUTH";
  EXPECT_TRUE(c.size);
  EXPECT_EQ(c.sizeLimit, 0u);
}

TEST(SmtpCapabilities, ASizeTooLargeToHoldIsNoLimitRatherThanAWrappedOne) {
  // 2^64 + 1 would wrap to a limit of one byte.
  Capabilities c = Caps("250-mx.example\r\n250 SIZE 18446744073709551617\r\n");
  EXPECT_TRUE(c.size);
  EXPECT_EQ(c.sizeLimit, 0u);
}

TEST(SmtpCapabilities, GreetingLineIsNotACapability) {
  // The first line is the server's name and free text, even if it looks like a keyword.
  Capabilities c = Caps("250-STARTTLS AUTH PLAIN\r\n250 HELP\r\n");
  EXPECT_FALSE(c.startTls);
  EXPECT_TRUE(c.authMechs.empty());
  c = Caps("250 only.the.name\r\n");
  EXPECT_TRUE(c.extended);
  EXPECT_FALSE(c.size);
}

TEST(SmtpBase64, KnownVectors) {
  EXPECT_EQ(net::Base64Encode(std::string("\0test\0"
                                          "1234",
                                          10)),
            "AHRlc3QAMTIzNA==");
  EXPECT_EQ(net::Base64Encode("user"), "dXNlcg==");
  EXPECT_EQ(net::Base64Encode("secret"), "c2VjcmV0");
  EXPECT_EQ(net::Base64Encode(""), "");
  EXPECT_EQ(net::Base64Encode("f"), "Zg==");
  EXPECT_EQ(net::Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(net::Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(net::Base64Encode("\xff\xfe\xfd"), "//79");
}
