// Building the message and refusing input that could break out of a header
// line or an SMTP command.
#include <gtest/gtest.h>

#include "smtp/SmtpAddress.h"
#include "smtp/SmtpClient.h"
#include "smtp/SmtpError.h"
#include "smtp/SmtpMessage.h"

using namespace smtp;

namespace {

SendRequest BasicRequest() {
  SendRequest r;
  r.server = "mail.example";
  r.sendTo = "ann@example.org";
  r.mailFrom = "corvane@example.net";
  r.messageSubject = "IP changed";
  r.messageText = "New address 203.0.113.7";
  return r;
}

MessageStamp Stamp() { return MessageStamp{1709626022, 60, "abc123", "host.example"}; }

std::string Header(const std::string& content, const std::string& name) {
  std::size_t end = content.find("\r\n\r\n");
  std::string head = "\r\n" + content.substr(0, end + 2);
  std::size_t at = head.find("\r\n" + name + ": ");
  if (at == std::string::npos) return "<missing>";
  at += name.size() + 4;
  return head.substr(at, head.find("\r\n", at) - at);
}

std::string Body(const std::string& content) { return content.substr(content.find("\r\n\r\n") + 4); }

void ExpectRefused(const SendRequest& r, const std::string& fragment) {
  try {
    ValidateRequest(r);
    PrepareMessage(r, Stamp());
    ADD_FAILURE() << "accepted, expected an error mentioning " << fragment;
  } catch (const SendError& e) {
    EXPECT_EQ(e.stage(), Stage::Input);
    EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
  }
}

}  // namespace

TEST(SmtpDate, EnglishNamesAndNumericZone) {
  EXPECT_EQ(FormatDate(1709626022, 60), "Tue, 05 Mar 2024 09:07:02 +0100");
  EXPECT_EQ(FormatDate(0, 0), "Thu, 01 Jan 1970 00:00:00 +0000");
  EXPECT_EQ(FormatDate(1709626022, -330), "Tue, 05 Mar 2024 02:37:02 -0530");
  EXPECT_EQ(FormatDate(951782400, 0), "Tue, 29 Feb 2000 00:00:00 +0000");  // leap day
  EXPECT_EQ(FormatDate(1704067199, 0), "Sun, 31 Dec 2023 23:59:59 +0000");
  EXPECT_EQ(FormatDate(1704067199, 1), "Mon, 01 Jan 2024 00:00:59 +0001");
  EXPECT_EQ(FormatDate(4102444800, 0), "Fri, 01 Jan 2100 00:00:00 +0000");  // past 2038
}

TEST(SmtpMessage, HeadersOfAPlainMessage) {
  SendRequest r = BasicRequest();
  r.sendTo = " ann@example.org ; Bob <bob@example.org>,";
  r.cc = "carl@example.org";
  r.bcc = "dora@example.org, ANN@example.org";
  r.replyTo = "help@example.net";
  r.charset = "iso-8859-1";
  PreparedMessage m = PrepareMessage(r, Stamp());
  EXPECT_EQ(m.sender, "corvane@example.net");
  EXPECT_EQ(m.recipients,
            (std::vector<std::string>{"ann@example.org", "bob@example.org", "carl@example.org", "dora@example.org"}));
  EXPECT_EQ(Header(m.content, "Date"), "Tue, 05 Mar 2024 09:07:02 +0100");
  EXPECT_EQ(Header(m.content, "From"), "corvane@example.net");
  EXPECT_EQ(Header(m.content, "To"), "ann@example.org, Bob <bob@example.org>");
  EXPECT_EQ(Header(m.content, "Cc"), "carl@example.org");
  EXPECT_EQ(Header(m.content, "Reply-To"), "help@example.net");
  EXPECT_EQ(Header(m.content, "Subject"), "IP changed");
  EXPECT_EQ(Header(m.content, "Message-ID"), "<abc123@host.example>");
  EXPECT_EQ(Header(m.content, "MIME-Version"), "1.0");
  EXPECT_EQ(Header(m.content, "Content-Type"), "text/plain; charset=iso-8859-1");
  EXPECT_EQ(Header(m.content, "Content-Transfer-Encoding"), "7bit");
  EXPECT_EQ(Header(m.content, "Bcc"), "<missing>");
  EXPECT_EQ(m.content.find("dora"), std::string::npos) << "Bcc recipients must not show in the message";
  EXPECT_EQ(Body(m.content), "New address 203.0.113.7");
}

TEST(SmtpMessage, EmptyOptionalFieldsAndNullSender) {
  SendRequest r = BasicRequest();
  r.mailFrom = "";
  r.sendTo = "";
  r.cc = "x@example.org";
  r.messageSubject = "";
  PreparedMessage m = PrepareMessage(r, Stamp());
  EXPECT_EQ(m.sender, "");
  EXPECT_EQ(Header(m.content, "From"), "<missing>");
  EXPECT_EQ(Header(m.content, "To"), "<missing>");
  EXPECT_EQ(Header(m.content, "Reply-To"), "<missing>");
  EXPECT_NE(m.content.find("\r\nSubject: \r\n"), std::string::npos);
  EXPECT_EQ(m.recipients, std::vector<std::string>{"x@example.org"});
}

TEST(SmtpMessage, LongAddressListsFoldAndNonAsciiSubjectsAreEncoded) {
  SendRequest r = BasicRequest();
  std::string list;
  for (int i = 0; i < 12; ++i) list += "someone" + std::to_string(i) + "@example.org,";
  r.sendTo = list;
  r.messageSubject = "Neue Adresse f\xfcr B\xfcro";
  r.charset = "iso-8859-1";
  PreparedMessage m = PrepareMessage(r, Stamp());
  std::size_t start = 0;
  for (std::size_t end; (end = m.content.find("\r\n", start)) != std::string::npos; start = end + 2) {
    if (start < m.content.find("\r\n\r\n")) {
      EXPECT_LE(end - start, 78u) << m.content.substr(start, end - start);
    }
  }
  EXPECT_NE(m.content.find("To: someone0@example.org, someone1@example.org"), std::string::npos);
  EXPECT_NE(m.content.find("\r\n someone"), std::string::npos);
  EXPECT_EQ(m.recipients.size(), 12u);
  EXPECT_EQ(Header(m.content, "Subject"), "=?iso-8859-1?B?TmV1ZSBBZHJlc3NlIGb8ciBC/HJv?=");
}

TEST(SmtpMessage, LineEndsAreNormalisedAndLongLinesBroken) {
  EXPECT_EQ(NormalizeText("a\nb\rc\r\nd\n\re"), "a\r\nb\r\nc\r\nd\r\n\r\ne");
  EXPECT_EQ(NormalizeText("end\r"), "end\r\n");
  std::string longLine(2000, 'x');
  std::string n = NormalizeText(longLine + "\nshort");
  EXPECT_EQ(n, std::string(998, 'x') + "\r\n" + std::string(998, 'x') + "\r\n" + "xxxx\r\nshort");
  EXPECT_EQ(NormalizeText(std::string(998, 'y')), std::string(998, 'y')) << "a line of exactly 998 stays whole";
}

TEST(SmtpMessage, DotStuffing) {
  EXPECT_EQ(DotStuff(".\r\n..x\r\na.b\r\n.end"), "..\r\n...x\r\na.b\r\n..end\r\n.\r\n");
  EXPECT_EQ(DotStuff(""), ".\r\n");
  EXPECT_EQ(DotStuff("text\r\n"), "text\r\n.\r\n");
  // A lone "." in the text must never end the message early.
  SendRequest r = BasicRequest();
  r.messageText = "one\n.\ntwo";
  std::string data = DotStuff(PrepareMessage(r, Stamp()).content);
  EXPECT_EQ(data.find("\r\n.\r\n"), data.size() - 5);
}

TEST(SmtpMessage, BodyEncodings) {
  SendRequest r = BasicRequest();
  r.messageText = "caf\xe9 = bar \nx";
  r.contentTransferEncoding = "Quoted-Printable";
  PreparedMessage m = PrepareMessage(r, Stamp());
  EXPECT_EQ(Header(m.content, "Content-Transfer-Encoding"), "quoted-printable");
  EXPECT_EQ(Body(m.content), "caf=E9 =3D bar=20\r\nx");
  r.messageText = std::string(200, 'q');
  std::string qp = Body(PrepareMessage(r, Stamp()).content);
  EXPECT_EQ(qp.substr(0, 77), std::string(75, 'q') + "=\r");
  r.contentTransferEncoding = "base64";
  r.messageText = "a\nb";
  EXPECT_EQ(Body(PrepareMessage(r, Stamp()).content), "YQ0KYg==\r\n");
  r.contentTransferEncoding = "uuencode";
  ExpectRefused(r, "uuencode");
}

TEST(SmtpInput, LineBreaksAndNulAreRefusedEverywhere) {
  const std::string evil[] = {"x\r\nRCPT TO:<victim@example.org>", "x\nBcc: v@example.org", "x\rY",
                              std::string("x\0y", 3)};
  for (const std::string& e : evil) {
    SCOPED_TRACE(e);
    SendRequest r = BasicRequest();
    r.messageSubject = e;
    ExpectRefused(r, "subject");
    r = BasicRequest(), r.sendTo = "ann@example.org" + e;
    ExpectRefused(r, "To");
    r = BasicRequest(), r.mailFrom = "me@example.org" + e;
    ExpectRefused(r, "From");
    r = BasicRequest(), r.cc = e;
    ExpectRefused(r, "Cc");
    r = BasicRequest(), r.bcc = e;
    ExpectRefused(r, "Bcc");
    r = BasicRequest(), r.replyTo = e;
    ExpectRefused(r, "Reply-To");
    r = BasicRequest(), r.server = "mail.example" + e;
    ExpectRefused(r, "server");
    r = BasicRequest(), r.clientHostName = "me" + e;
    ExpectRefused(r, "host name");
    r = BasicRequest(), r.authenticationType = kAuthLogin, r.username = "u" + e;
    ExpectRefused(r, "user name");
    r = BasicRequest(), r.authenticationType = kAuthPop3, r.username = "u", r.password = "p" + e;
    ExpectRefused(r, "password");
    r = BasicRequest(), r.charset = "us-ascii" + e;
    ExpectRefused(r, "character set");
    r = BasicRequest(), r.contentType = "text/plain" + e;
    ExpectRefused(r, "content type");
  }
}

TEST(SmtpInput, OtherRequestErrors) {
  SendRequest r = BasicRequest();
  r.authenticationType = -1;
  ExpectRefused(r, "unknown authentication type -1");
  r.authenticationType = 4;
  ExpectRefused(r, "unknown authentication type 4");
  r = BasicRequest(), r.authenticationType = kAuthPlain;
  ExpectRefused(r, "user name");
  r = BasicRequest(), r.server = "";
  ExpectRefused(r, "no mail server");
  r = BasicRequest(), r.port = 0;
  ExpectRefused(r, "port 0");
  r = BasicRequest(), r.port = 65536;
  ExpectRefused(r, "port 65536");
  r = BasicRequest(), r.sendTo = " ; , ";
  ExpectRefused(r, "no recipient");
  r = BasicRequest(), r.sendTo = "a b@example.org";
  ExpectRefused(r, "a b@example.org");
  r = BasicRequest(), r.sendTo = "Ann <ann@example.org";
  ExpectRefused(r, "unmatched");
  r = BasicRequest(), r.sendTo = std::string(250, 'a') + "@example.org";
  ExpectRefused(r, "too long");
  r = BasicRequest(), r.mailFrom = "a@example.org, b@example.org";
  ExpectRefused(r, "single address");
  r = BasicRequest(), r.contentType = "textplain";
  ExpectRefused(r, "type/subtype");
  r = BasicRequest(), r.clientHostName = "my host";
  ExpectRefused(r, "my host");
  r = BasicRequest(), r.messageSubject = std::string(1000, 's');
  ExpectRefused(r, "subject is too long");
}

TEST(SmtpInput, AnAddressEndsAtItsClosingBracketAndItsMailboxAt254Octets) {
  EXPECT_THROW(ParseAddressList("Ann <ann@example.org> junk", "To"), SendError);
  const std::string domain = "@example.org";
  const std::string longest = std::string(254 - domain.size(), 'a') + domain;
  EXPECT_EQ(longest, ParseSingleAddress("Ann <" + longest + ">", "From").mailbox);
  EXPECT_THROW(ParseSingleAddress("a" + longest, "From"), SendError);
}

TEST(SmtpInput, HostNames) {
  EXPECT_TRUE(IsValidHostName("pc-17.example.org"));
  EXPECT_TRUE(IsValidHostName("[127.0.0.1]"));
  EXPECT_TRUE(IsValidHostName("[IPv6:::1]"));
  EXPECT_FALSE(IsValidHostName(""));
  EXPECT_FALSE(IsValidHostName("under_score"));
  EXPECT_FALSE(IsValidHostName("[1.2.3.4"));
  EXPECT_FALSE(IsValidHostName("[]"));
}
